// The CD/DVD library over the virtual disc: the files under the disc root
// laid out as on a disc image, each from its own 2048-byte sector, in the
// order of their upper-cased paths (stable from run to run). Requests are
// served inside the call; sector reads are safe points.
#include "platform.h"
#include "iop_local.h"

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr uint32_t FIRST_LSN = 32;         // sectors before the first file (volume descriptors)
constexpr int SECTORS_PER_YIELD = 32;      // 64 KB of sectors between safe points

struct DiscFile {
  std::string key;   // upper-cased path from the root, '/' separated
  std::string host;  // the host file
  uint32_t lsn;
  uint32_t size;
};

std::vector<DiscFile> g_files;  // sorted by key (and so by lsn)
uint32_t g_endLsn = FIRST_LSN;
bool g_dirty = true;
int g_trayOpened = 0;
uint64_t g_sectorsRead = 0;

void BuildMap() {
  g_dirty = false;
  g_files.clear();
  g_endLsn = FIRST_LSN;
  std::string root = PlatGetDiscRoot();
  if (root.empty()) return;
  namespace fs = std::filesystem;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    std::string rel = it->path().lexically_relative(root).generic_string();
    uintmax_t size = it->file_size(ec);
    if (ec || size > 0xffffffffu) continue;
    g_files.push_back({IopUpper(rel), it->path().string(), 0, uint32_t(size)});
  }
  std::sort(g_files.begin(), g_files.end(), [](const DiscFile& a, const DiscFile& b) { return a.key < b.key; });
  for (DiscFile& f : g_files) {
    f.lsn = g_endLsn;
    g_endLsn += (f.size + SCECdSectorSize - 1) / SCECdSectorSize;
  }
}

void EnsureMap() {
  if (g_dirty) BuildMap();
}

// "\DIR\NAME.EXT;1" as a map key.
std::string KeyOf(const char* name) {
  std::string key, part;
  std::string s = name;
  size_t semi = s.rfind(';');
  if (semi != std::string::npos) s.erase(semi);
  for (size_t i = 0; i <= s.size(); i++) {
    char c = i < s.size() ? s[i] : '\\';
    if (c == '\\' || c == '/') {
      if (!part.empty()) key += (key.empty() ? "" : "/") + part;
      part.clear();
    } else {
      part += c;
    }
  }
  return IopUpper(key);
}

}  // namespace

void IopDiscRootChanged() { g_dirty = true; }

int sceCdInit(int) {
  g_dirty = true;  // a new disc may have been put in
  return 1;
}

int sceCdMmode(int media) { return media == SCECdCD || media == SCECdDVD ? 1 : 0; }
int sceCdDiskReady(int) { return SCECdComplete; }
int sceCdSync(int) { return 0; }
int sceCdStop() { return 1; }
int sceCdGetError() { return 0; }
uint64_t PlatCdSectorsRead() { return g_sectorsRead; }

int sceCdTrayReq(int mode, uint32_t* traycnt) {
  switch (mode) {
    case SCECdTrayOpen:
      g_trayOpened = 1;
      g_dirty = true;  // the disc may be changed while the tray is out
      return 1;
    case SCECdTrayClose:
      return 1;
    case SCECdTrayCheck:
      if (traycnt) *traycnt = uint32_t(g_trayOpened);
      g_trayOpened = 0;
      return 1;
    default:
      return 0;
  }
}

int sceCdSearchFile(sceCdlFILE* file, const char* name) {
  if (!file || !name) return 0;
  EnsureMap();
  std::string key = KeyOf(name);
  auto it = std::lower_bound(g_files.begin(), g_files.end(), key,
                             [](const DiscFile& f, const std::string& k) { return f.key < k; });
  if (it == g_files.end() || it->key != key) return 0;
  memset(file, 0, sizeof *file);
  file->lsn = it->lsn;
  file->size = it->size;
  std::string last = key.substr(key.rfind('/') + 1) + ";1";
  memcpy(file->name, last.c_str(), std::min(last.size(), sizeof file->name - 1));
  return 1;
}

int sceCdRead(uint32_t lsn, uint32_t sectors, void* buf, sceCdRMode* mode) {
  EnsureMap();
  if (!buf || (mode && mode->datapattern != 0)) return 0;
  if (uint64_t(lsn) + sectors > g_endLsn) return 0;  // past the end of the disc
  uint8_t* out = static_cast<uint8_t*>(buf);
  uint64_t begin = uint64_t(lsn) * SCECdSectorSize, end = begin + uint64_t(sectors) * SCECdSectorSize;
  memset(out, 0, size_t(end - begin));  // gaps and the tails of last sectors read as zeros
  auto it = std::upper_bound(g_files.begin(), g_files.end(), lsn,
                             [](uint32_t l, const DiscFile& f) { return l < f.lsn; });
  if (it != g_files.begin()) --it;
  for (; it != g_files.end() && uint64_t(it->lsn) * SCECdSectorSize < end; ++it) {
    uint64_t fbegin = uint64_t(it->lsn) * SCECdSectorSize, fend = fbegin + it->size;
    uint64_t from = std::max(begin, fbegin), to = std::min(end, fend);
    if (from >= to) continue;
    int fd = open(it->host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    uint64_t at = from;
    while (at < to) {
      size_t want = size_t(std::min<uint64_t>(to - at, uint64_t(SECTORS_PER_YIELD) * SCECdSectorSize));
      ssize_t n = pread(fd, out + (at - begin), want, off_t(at - fbegin));
      if (n <= 0) break;  // the file shrank: the rest stays zero
      at += uint64_t(n);
      KernelYield();
    }
    close(fd);
  }
  g_sectorsRead += sectors;
  return 1;
}
