// The file I/O client: descriptors 0-15 mapped to host files. "host0:"
// names the host root directory, "cdrom0:" the disc root (read-only, ";1"
// version suffixes dropped). Paths use '\' and arrive upper-cased; each
// component is matched without regard to case, through cached listings of
// the host directories.
#include "platform.h"
#include "iop_local.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

std::string g_hostRoot = ".";
std::string g_discRoot;
int g_fd[SCE_MAX_FILES] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
int g_faults[2];  // reads, seeks still to fail
constexpr int CHUNK = 64 * 1024;  // reads and writes are safe points per chunk

enum { SCE_ENOENT = -2, SCE_EIO = -5, SCE_EBADF = -9, SCE_EINVAL = -22, SCE_EMFILE = -24, SCE_EROFS = -30 };

// A directory's entries by upper-cased name. Reloaded when the directory
// changed, and once more when a name is missing (a file made within the
// timestamp's resolution).
struct Listing {
  timespec mtime{};
  std::unordered_map<std::string, std::string> byUpper;
};
std::unordered_map<std::string, Listing> g_listings;

bool LoadListing(const std::string& dir, Listing* l) {
  struct stat st;
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  DIR* d = opendir(dir.c_str());
  if (!d) return false;
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
  }
  closedir(d);
  // Sorted, so that names differing only in case always resolve to the same one.
  std::sort(names.begin(), names.end());
  l->byUpper.clear();
  for (const std::string& n : names) l->byUpper.emplace(IopUpper(n), n);
  l->mtime = st.st_mtim;
  return true;
}

// The actual name of the entry of dir matching name, or false.
bool FindEntry(const std::string& dir, const std::string& name, std::string* actual) {
  struct stat st;
  if (stat((dir + "/" + name).c_str(), &st) == 0) {  // exact case: no listing needed
    *actual = name;
    return true;
  }
  if (stat(dir.c_str(), &st) != 0) return false;
  auto it = g_listings.find(dir);
  bool fresh = false;
  if (it == g_listings.end() || it->second.mtime.tv_sec != st.st_mtim.tv_sec ||
      it->second.mtime.tv_nsec != st.st_mtim.tv_nsec) {
    Listing l;
    if (!LoadListing(dir, &l)) return false;
    it = g_listings.insert_or_assign(dir, std::move(l)).first;
    fresh = true;
  }
  std::string key = IopUpper(name);
  auto e = it->second.byUpper.find(key);
  if (e == it->second.byUpper.end() && !fresh) {
    if (!LoadListing(dir, &it->second)) return false;
    e = it->second.byUpper.find(key);
  }
  if (e == it->second.byUpper.end()) return false;
  *actual = e->second;
  return true;
}

struct Target {
  std::string host;
  bool disc;
};

// The host file a console path names, or false.
bool HostPath(const char* path, bool create, Target* t) {
  std::string rel;
  if (strncmp(path, "host0:", 6) == 0) {
    rel = path + 6;
    t->disc = false;
    return IopResolvePath(g_hostRoot, rel, create, &t->host);
  }
  if (strncmp(path, "cdrom0:", 7) == 0 && !g_discRoot.empty()) {
    rel = path + 7;
    size_t semi = rel.rfind(';');
    if (semi != std::string::npos) rel.erase(semi);
    t->disc = true;
    return IopResolvePath(g_discRoot, rel, false, &t->host);
  }
  return false;
}

bool Valid(int fd) { return fd >= 0 && fd < SCE_MAX_FILES && g_fd[fd] >= 0; }

bool TakeFault(int kind) {
  if (g_faults[kind] <= 0) return false;
  g_faults[kind]--;
  return true;
}

}  // namespace

std::string IopUpper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return s;
}

bool IopResolvePath(const std::string& root, const std::string& rel, bool create, std::string* out) {
  std::vector<std::string> parts;
  std::string cur;
  for (size_t i = 0; i <= rel.size(); i++) {
    char c = i < rel.size() ? rel[i] : '/';
    if (c != '/' && c != '\\') {
      cur += c;
      continue;
    }
    if (cur == "..") {
      if (parts.empty()) return false;  // never above the root
      parts.pop_back();
    } else if (!cur.empty() && cur != ".") {
      parts.push_back(cur);
    }
    cur.clear();
  }
  std::string dir = root.empty() ? "." : root;
  for (size_t i = 0; i < parts.size(); i++) {
    std::string actual;
    if (!FindEntry(dir, parts[i], &actual)) {
      if (!create || i + 1 != parts.size()) return false;
      actual = parts[i];
    }
    dir += "/" + actual;
  }
  *out = dir;
  return true;
}

void PlatSetHostRoot(const char* dir) { g_hostRoot = dir && *dir ? dir : "."; }
const char* PlatGetHostRoot() { return g_hostRoot.c_str(); }

void PlatFileInjectFault(int kind, int count) {
  if (kind == PLAT_FAULT_READ || kind == PLAT_FAULT_SEEK) g_faults[kind] = count;
}

int sceOpen(const char* path, int flags, ...) {
  bool writes = (flags & 3) != SCE_RDONLY || (flags & (SCE_CREAT | SCE_TRUNC | SCE_APPEND));
  Target t;
  if (!path || !HostPath(path, writes && (flags & SCE_CREAT), &t)) return SCE_ENOENT;
  if (t.disc && writes) return SCE_EROFS;
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
  int fd = open(t.host.c_str(), oflags | O_CLOEXEC, 0644);
  if (fd < 0) return SCE_ENOENT;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    return SCE_ENOENT;
  }
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
  if (TakeFault(PLAT_FAULT_READ)) return SCE_EIO;
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
  if (TakeFault(PLAT_FAULT_SEEK)) return SCE_EIO;
  int w = whence == SCE_SEEK_CUR ? SEEK_CUR : whence == SCE_SEEK_END ? SEEK_END : SEEK_SET;
  off_t r = lseek(g_fd[fd], offset, w);
  return r < 0 || r > 0x7fffffff ? SCE_EINVAL : int(r);
}

int sceIoctl(int fd, int request, void* arg) {
  if (!Valid(fd)) return SCE_EBADF;
  // Requests finish inside the call: a no-wait request is never still running.
  if (request == SCE_FS_EXECUTING) return 0;
  return SCE_EINVAL;
}

// ---- the disc root (its sector map lives in cdvd.cpp) ----------------------

void PlatSetDiscRoot(const char* dir) {
  g_discRoot = dir && *dir ? dir : "";
  IopDiscRootChanged();
}
const char* PlatGetDiscRoot() { return g_discRoot.c_str(); }
