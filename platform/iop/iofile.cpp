// The file I/O client: descriptors 0-15 mapped to host files. "host0:"
// names the host root directory; paths use '\' as the separator.
#include "platform.h"

#include <fcntl.h>
#include <unistd.h>
#include <cstring>
#include <string>

namespace {

std::string g_hostRoot = ".";
int g_fd[SCE_MAX_FILES] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
constexpr int CHUNK = 64 * 1024;  // reads and writes are safe points per chunk

enum { SCE_ENOENT = -2, SCE_EBADF = -9, SCE_EMFILE = -24, SCE_EINVAL = -22, SCE_EIO = -5 };

bool HostPath(const char* path, std::string* out) {
  if (strncmp(path, "host0:", 6) != 0) return false;
  std::string p = path + 6;
  for (char& c : p)
    if (c == '\\') c = '/';
  while (!p.empty() && p[0] == '/') p.erase(0, 1);
  *out = g_hostRoot + "/" + p;
  return true;
}

bool Valid(int fd) { return fd >= 0 && fd < SCE_MAX_FILES && g_fd[fd] >= 0; }

}  // namespace

void PlatSetHostRoot(const char* dir) { g_hostRoot = dir && *dir ? dir : "."; }
const char* PlatGetHostRoot() { return g_hostRoot.c_str(); }

int sceOpen(const char* path, int flags, ...) {
  std::string host;
  if (!path || !HostPath(path, &host)) return SCE_ENOENT;
  int slot = 0;
  while (slot < SCE_MAX_FILES && g_fd[slot] >= 0) slot++;
  if (slot == SCE_MAX_FILES) return SCE_EMFILE;
  int oflags = 0;
  switch (flags & 3) {
    case SCE_RDONLY: oflags = O_RDONLY; break;
    case SCE_WRONLY: oflags = O_WRONLY; break;
    case SCE_RDWR: oflags = O_RDWR; break;
    default: return SCE_EINVAL;
  }
  if (flags & SCE_APPEND) oflags |= O_APPEND;
  if (flags & SCE_CREAT) oflags |= O_CREAT;
  if (flags & SCE_TRUNC) oflags |= O_TRUNC;
  if (flags & SCE_EXCL) oflags |= O_EXCL;
  int fd = open(host.c_str(), oflags, 0644);
  if (fd < 0) return SCE_ENOENT;
  g_fd[slot] = fd;
  return slot;
}

int sceClose(int fd) {
  if (!Valid(fd)) return SCE_EBADF;
  close(g_fd[fd]);
  g_fd[fd] = -1;
  return 0;
}

int sceRead(int fd, void* buf, int count) {
  if (!Valid(fd) || count < 0) return SCE_EBADF;
  int done = 0;
  while (done < count) {
    int want = count - done < CHUNK ? count - done : CHUNK;
    ssize_t n = read(g_fd[fd], static_cast<char*>(buf) + done, want);
    if (n < 0) return SCE_EIO;
    done += int(n);
    KernelYield();
    if (n < want) break;
  }
  return done;
}

int sceWrite(int fd, const void* buf, int count) {
  if (!Valid(fd) || count < 0) return SCE_EBADF;
  int done = 0;
  while (done < count) {
    int want = count - done < CHUNK ? count - done : CHUNK;
    ssize_t n = write(g_fd[fd], static_cast<const char*>(buf) + done, want);
    if (n < 0) return SCE_EIO;
    done += int(n);
    KernelYield();
    if (n < want) break;
  }
  return done;
}

int sceLseek(int fd, int offset, int whence) {
  if (!Valid(fd)) return SCE_EBADF;
  int w = whence == SCE_SEEK_CUR ? SEEK_CUR : whence == SCE_SEEK_END ? SEEK_END : SEEK_SET;
  off_t r = lseek(g_fd[fd], offset, w);
  return r < 0 ? SCE_EINVAL : int(r);
}
