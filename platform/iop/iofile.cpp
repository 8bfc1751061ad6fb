// The file I/O client: descriptors 0-15 mapped to host files. "host0:"
// names the host root directory, "cdrom0:" the disc root (read-only, ";1"
// version suffixes dropped). Paths use '\' and arrive upper-cased; each
// component is matched without regard to case, through cached listings of
// the host directories. Memory files stand in front of host0: files
// (PlatHostMemFile).
#include "platform.h"
#include "iop_local.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <memory>
#include <unordered_map>
#include <vector>

namespace {

std::string g_hostRoot = ".";
std::string g_discRoot;
int g_fd[SCE_MAX_FILES] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
int g_faults[2];  // reads, seeks still to fail
constexpr int CHUNK = 64 * 1024;  // reads and writes are safe points per chunk

enum { SCE_ENOENT = -2, SCE_EIO = -5, SCE_EBADF = -9, SCE_EEXIST = -17, SCE_EINVAL = -22, SCE_EMFILE = -24, SCE_EROFS = -30 };

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

// Memory files by key (the path's components upper-cased, '/' joined) and
// the descriptors open on them.
using MemBytes = std::shared_ptr<std::vector<uint8_t>>;
std::unordered_map<std::string, MemBytes> g_memFiles;
bool g_memWrites = false;
struct MemOpen {
  MemBytes file;  // null: not a memory descriptor
  size_t pos;
  bool reads, writes, append;
};
MemOpen g_mem[SCE_MAX_FILES];

// The key of a path under a root; false above the root.
bool MemKey(const char* rel, std::string* key) {
  std::vector<std::string> parts;
  std::string cur;
  for (const char* p = rel;; p++) {
    if (*p && *p != '/' && *p != '\\') {
      cur += *p;
      continue;
    }
    if (cur == "..") {
      if (parts.empty()) return false;
      parts.pop_back();
    } else if (!cur.empty() && cur != ".") {
      parts.push_back(IopUpper(cur));
    }
    cur.clear();
    if (!*p) break;
  }
  key->clear();
  for (const std::string& s : parts) *key += (key->empty() ? "" : "/") + s;
  return true;
}

bool Valid(int fd) { return fd >= 0 && fd < SCE_MAX_FILES && (g_fd[fd] >= 0 || g_mem[fd].file); }

int FreeSlot() {
  int slot = 0;
  while (slot < SCE_MAX_FILES && (g_fd[slot] >= 0 || g_mem[slot].file)) slot++;
  return slot;
}

// Opens host0: path rel in memory when it is a memory file's (or made
// one): true, with the descriptor or error in *result; false: the host's.
bool MemOpenPath(const char* rel, int flags, int* result) {
  std::string key;
  if ((g_memFiles.empty() && !g_memWrites) || !MemKey(rel, &key)) return false;
  auto it = g_memFiles.find(key);
  const bool create = g_memWrites && (flags & SCE_CREAT);
  if (it == g_memFiles.end() && !create) return false;
  const int slot = FreeSlot();
  *result = (flags & 3) == 0 ? SCE_EINVAL
          : it != g_memFiles.end() && create && (flags & SCE_EXCL) ? SCE_EEXIST
          : slot == SCE_MAX_FILES ? SCE_EMFILE : slot;
  if (*result < 0) return true;
  if (it == g_memFiles.end()) it = g_memFiles.emplace(key, std::make_shared<std::vector<uint8_t>>()).first;
  MemOpen& m = g_mem[slot];
  m.file = it->second;
  m.pos = 0;
  m.reads = (flags & 3) != SCE_WRONLY;
  m.writes = (flags & 3) != SCE_RDONLY;
  m.append = flags & SCE_APPEND;
  if (m.writes && (flags & SCE_TRUNC)) m.file->clear();
  return true;
}

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

void PlatHostMemFile(const char* path, const void* data, size_t size) {
  std::string key;
  if (!path || !MemKey(path, &key)) return;
  if (!data) {
    g_memFiles.erase(key);
    return;
  }
  const auto* b = static_cast<const uint8_t*>(data);
  MemBytes& f = g_memFiles[key];
  if (!f) f = std::make_shared<std::vector<uint8_t>>();
  f->assign(b, b + size);  // descriptors open on it see the new bytes
}

void PlatHostMemWrites(bool on) { g_memWrites = on; }

const uint8_t* PlatHostMemFileData(const char* path, size_t* size) {
  std::string key;
  if (!path || !MemKey(path, &key)) return nullptr;
  auto it = g_memFiles.find(key);
  if (it == g_memFiles.end()) return nullptr;
  *size = it->second->size();
  return it->second->data();
}

int sceOpen(const char* path, int flags, ...) {
  bool writes = (flags & 3) != SCE_RDONLY || (flags & (SCE_CREAT | SCE_TRUNC | SCE_APPEND));
  if (path && strncmp(path, "host0:", 6) == 0) {
    int result;
    if (MemOpenPath(path + 6, flags, &result)) return result;
  }
  Target t;
  if (!path || !HostPath(path, writes && (flags & SCE_CREAT), &t)) return SCE_ENOENT;
  if (t.disc && writes) return SCE_EROFS;
  const int slot = FreeSlot();
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
  if (g_mem[fd].file) {
    g_mem[fd] = {};
    return 0;
  }
  close(g_fd[fd]);
  g_fd[fd] = -1;
  return 0;
}

int sceRead(int fd, void* buf, int count) {
  if (!Valid(fd) || count < 0) return SCE_EBADF;
  if (TakeFault(PLAT_FAULT_READ)) return SCE_EIO;
  if (MemOpen& m = g_mem[fd]; m.file) {
    if (!m.reads) return SCE_EBADF;
    const size_t size = m.file->size();
    const int n = m.pos >= size ? 0 : int(std::min<size_t>(size_t(count), size - m.pos));
    if (n) memcpy(buf, m.file->data() + m.pos, size_t(n));
    m.pos += size_t(n);
    // The host read's safe points: one per chunk, at least one.
    for (int at = 0; count && (at == 0 || at < n); at += CHUNK) KernelYield();
    return n;
  }
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
  if (MemOpen& m = g_mem[fd]; m.file) {
    if (!m.writes) return SCE_EBADF;
    std::vector<uint8_t>& f = *m.file;
    if (m.append) m.pos = f.size();
    if (f.size() < m.pos + size_t(count)) f.resize(m.pos + size_t(count));  // a gap reads as zeros
    if (count) memcpy(f.data() + m.pos, buf, size_t(count));
    m.pos += size_t(count);
    for (int at = 0; count && (at == 0 || at < count); at += CHUNK) KernelYield();
    return count;
  }
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
  if (MemOpen& m = g_mem[fd]; m.file) {
    const int64_t base = whence == SCE_SEEK_CUR ? int64_t(m.pos) : whence == SCE_SEEK_END ? int64_t(m.file->size()) : 0;
    const int64_t pos = base + offset;
    if (pos < 0 || pos > 0x7fffffff) return SCE_EINVAL;
    m.pos = size_t(pos);
    return int(pos);
  }
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
