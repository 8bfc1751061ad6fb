// The memory-card library: each card (port, slot) is a host directory under
// the memory-card root, "mc<port>-<slot>", present when the card is
// formatted. Requests start one command at a time; sceMcSync runs it when it
// is collected (after the configured number of polls), so a card pulled
// between a request and its completion is seen by the command.
#include "platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int PORTS = 2;
constexpr int SLOTS = 4;
constexpr int MAX_FD = 16;
constexpr int CLUSTER = 1024;

struct Card {
  bool present;
  int id;        // changes with every insertion
  int infoId;    // the card the last sceMcGetInfo saw (0: none)
  std::string cwd;  // "/" or "/A/B"
  std::vector<sceMcTblGetDir> listing;  // the last listing, for continued calls
  size_t listPos;
};

struct McFile {
  bool used;
  bool stale;  // its card was pulled, swapped or formatted
  int port, slot;
  int host;    // host descriptor, -1 when stale
  bool canRead, canWrite;
  std::string path;  // host path
};

struct Pending {
  bool active;
  int cmd;
  int polls;       // polls still reported as running
  bool forced;     // a test hook decided the result
  int forcedResult;
  std::function<int()> run;
};

std::string g_root = "memcard";
bool g_started = false;
Card g_card[PORTS][SLOTS];
int g_nextId = 1;
McFile g_file[MAX_FD];
Pending g_pending;
int g_latency = 0;
int g_refuseNext = 0;
bool g_failNext = false;
int g_failResult = 0;

void CloseCardFiles(int port, int slot) {
  for (McFile& f : g_file) {
    if (f.used && !f.stale && f.port == port && f.slot == slot) {
      close(f.host);
      f.host = -1;
      f.stale = true;
    }
  }
}

void Insert(int port, int slot) {
  Card& c = g_card[port][slot];
  c.present = true;
  c.id = g_nextId++;
  c.cwd = "/";
  c.listing.clear();
  c.listPos = 0;
}

void Start() {
  if (g_started) return;
  g_started = true;
  for (int p = 0; p < PORTS; p++) {
    for (int s = 0; s < SLOTS; s++) g_card[p][s] = Card{false, 0, 0, "/", {}, 0};
    Insert(p, 0);
  }
}

bool ValidSlot(int port, int slot) { return port >= 0 && port < PORTS && slot >= 0 && slot < SLOTS; }

std::string CardDir(int port, int slot) {
  return g_root + "/mc" + std::to_string(port) + "-" + std::to_string(slot);
}

bool Formatted(int port, int slot) {
  std::error_code ec;
  return fs::is_directory(CardDir(port, slot), ec);
}

// 0 when the card can be used, else its result code.
int CardReady(int port, int slot) {
  if (!g_card[port][slot].present) return sceMcResNoCard;
  if (!Formatted(port, slot)) return sceMcResNoFormat;
  return sceMcResSucceed;
}

// Splits a card path (absolute, or relative to the card's current
// directory) into components; ".." stops at the root. False when a
// component is longer than a card name may be.
bool Resolve(const Card& c, const char* name, std::vector<std::string>* out) {
  std::string path = name[0] == '/' ? std::string(name) : c.cwd + "/" + name;
  out->clear();
  size_t i = 0;
  while (i <= path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    std::string comp = path.substr(i, j - i);
    i = j + 1;
    if (comp.empty() || comp == ".") continue;
    if (comp == "..") {
      if (!out->empty()) out->pop_back();
      continue;
    }
    if (comp.size() > size_t(MC_MAX_NAME)) return false;
    out->push_back(comp);
  }
  return true;
}

std::string HostPath(int port, int slot, const std::vector<std::string>& comps) {
  std::string p = CardDir(port, slot);
  for (const std::string& c : comps) p += "/" + c;
  return p;
}

std::string CardPath(const std::vector<std::string>& comps) {
  std::string p;
  for (const std::string& c : comps) p += "/" + c;
  return p.empty() ? "/" : p;
}

int UsedClusters(const std::string& dir) {
  int used = 0;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_directory(ec)) used += 1;
    else used += int((it->file_size(ec) + CLUSTER - 1) / CLUSTER);
  }
  return used;
}

int FreeClusters(int port, int slot) {
  return std::max(0, MC_CAPACITY_CLUSTERS - UsedClusters(CardDir(port, slot)));
}

bool Match(const char* pat, const char* s) {
  if (*pat == 0) return *s == 0;
  if (*pat == '*') return Match(pat + 1, s) || (*s && Match(pat, s + 1));
  if (*s && (*pat == '?' || *pat == *s)) return Match(pat + 1, s + 1);
  return false;
}

void FillDate(sceMcStDateTime* d, time_t t) {
  tm parts;
  gmtime_r(&t, &parts);
  d->Resv2 = 0;
  d->Sec = uint8_t(parts.tm_sec);
  d->Min = uint8_t(parts.tm_min);
  d->Hour = uint8_t(parts.tm_hour);
  d->Day = uint8_t(parts.tm_mday);
  d->Month = uint8_t(parts.tm_mon + 1);
  d->Year = uint16_t(parts.tm_year + 1900);
}

McFile* FileOf(int fd) {
  if (fd < 0 || fd >= MAX_FD || !g_file[fd].used) return nullptr;
  return &g_file[fd];
}

// A descriptor's result code when it cannot be used (0 when it can).
int FileState(McFile* f) {
  if (!f) return sceMcResDeniedPermit;
  if (f->stale) return g_card[f->port][f->slot].present ? sceMcResDeniedPermit : sceMcResNoCard;
  return sceMcResSucceed;
}

bool HasOpenFile(const std::string& host) {
  for (McFile& f : g_file) {
    if (f.used && !f.stale && f.path == host) return true;
  }
  return false;
}

// ---- the commands, run at completion ----------------------------------

int DoGetInfo(int port, int slot, int* type, int* free, int* format) {
  Card& c = g_card[port][slot];
  if (!c.present) {
    c.infoId = 0;
    return sceMcResNoCard;
  }
  bool formatted = Formatted(port, slot);
  if (type) *type = sceMcTypePS2;
  if (free) *free = formatted ? FreeClusters(port, slot) : 0;
  if (format) *format = formatted ? 1 : 0;
  if (c.infoId == c.id) return sceMcResSucceed;
  c.infoId = c.id;
  return formatted ? sceMcResChangedCard : sceMcResNoFormat;
}

int DoOpen(int port, int slot, const std::string& name, int mode) {
  if (int r = CardReady(port, slot)) return r;
  std::vector<std::string> comps;
  if (!Resolve(g_card[port][slot], name.c_str(), &comps) || comps.empty()) return sceMcResNoEntry;
  std::string host = HostPath(port, slot, comps);
  std::error_code ec;
  fs::file_status st = fs::status(host, ec);
  if (fs::is_directory(st)) return sceMcResDeniedPermit;
  bool exists = fs::exists(st);
  if (!exists) {
    if (!(mode & SCE_CREAT)) return sceMcResNoEntry;
    comps.pop_back();
    if (!fs::is_directory(HostPath(port, slot, comps), ec)) return sceMcResNoEntry;
    if (FreeClusters(port, slot) < 1) return sceMcResFullDevice;
  }
  int fd = 0;
  while (fd < MAX_FD && g_file[fd].used) fd++;
  if (fd == MAX_FD) return sceMcResUpLimitHandle;
  int access = mode & 3;
  if (access == 0) access = (mode & SCE_CREAT) ? SCE_RDWR : SCE_RDONLY;
  bool canRead = access != SCE_WRONLY;
  bool canWrite = access != SCE_RDONLY;
  int flags = canRead && canWrite ? O_RDWR : canWrite ? O_WRONLY : O_RDONLY;
  if (mode & SCE_CREAT) flags |= O_CREAT;
  if ((mode & SCE_TRUNC) && canWrite) flags |= O_TRUNC;
  int h = open(host.c_str(), flags, 0644);
  if (h < 0) return sceMcResDeniedPermit;
  g_file[fd] = McFile{true, false, port, slot, h, canRead, canWrite, host};
  return fd;
}

int DoClose(int fd) {
  McFile* f = FileOf(fd);
  if (!f) return sceMcResDeniedPermit;
  int r = FileState(f);
  if (!f->stale) close(f->host);
  *f = McFile{};
  return r;
}

int DoRead(int fd, void* buffer, int size) {
  McFile* f = FileOf(fd);
  if (int r = FileState(f)) return r;
  if (!f->canRead || size < 0) return sceMcResDeniedPermit;
  ssize_t n = read(f->host, buffer, size_t(size));
  return n < 0 ? sceMcResDeniedPermit : int(n);
}

int DoWrite(int fd, const void* buffer, int size) {
  McFile* f = FileOf(fd);
  if (int r = FileState(f)) return r;
  if (!f->canWrite || size < 0) return sceMcResDeniedPermit;
  struct stat st;
  fstat(f->host, &st);
  off_t pos = lseek(f->host, 0, SEEK_CUR);
  off_t newSize = std::max<off_t>(st.st_size, pos + size);
  long more = long((newSize + CLUSTER - 1) / CLUSTER - (st.st_size + CLUSTER - 1) / CLUSTER);
  if (more > FreeClusters(f->port, f->slot)) return sceMcResFullDevice;
  ssize_t n = write(f->host, buffer, size_t(size));
  return n < 0 ? sceMcResDeniedPermit : int(n);
}

int DoSeek(int fd, int offset, int origin) {
  McFile* f = FileOf(fd);
  if (int r = FileState(f)) return r;
  int w = origin == SCE_SEEK_CUR ? SEEK_CUR : origin == SCE_SEEK_END ? SEEK_END : SEEK_SET;
  off_t r = lseek(f->host, offset, w);
  return r < 0 ? sceMcResDeniedPermit : int(r);
}

int DoMkdir(int port, int slot, const std::string& name) {
  if (int r = CardReady(port, slot)) return r;
  std::vector<std::string> comps;
  if (!Resolve(g_card[port][slot], name.c_str(), &comps) || comps.empty()) return sceMcResNoEntry;
  std::string host = HostPath(port, slot, comps);
  std::error_code ec;
  if (fs::exists(host, ec)) return sceMcResDeniedPermit;
  comps.pop_back();
  if (!fs::is_directory(HostPath(port, slot, comps), ec)) return sceMcResNoEntry;
  if (FreeClusters(port, slot) < 1) return sceMcResFullDevice;
  return fs::create_directory(host, ec) ? sceMcResSucceed : sceMcResDeniedPermit;
}

int DoChdir(int port, int slot, const std::string& name, char* oldDir) {
  if (int r = CardReady(port, slot)) return r;
  Card& c = g_card[port][slot];
  std::vector<std::string> comps;
  if (!Resolve(c, name.c_str(), &comps)) return sceMcResNoEntry;
  std::error_code ec;
  if (!fs::is_directory(HostPath(port, slot, comps), ec)) return sceMcResNoEntry;
  if (oldDir) {
    strncpy(oldDir, c.cwd.c_str(), 1023);
    oldDir[1023] = 0;
  }
  c.cwd = CardPath(comps);
  return sceMcResSucceed;
}

int DoGetDir(int port, int slot, const std::string& name, unsigned mode, int maxEntries,
             sceMcTblGetDir* table) {
  if (int r = CardReady(port, slot)) return r;
  Card& c = g_card[port][slot];
  if (mode == 0) {
    std::string dir, pattern = name;
    size_t cut = name.rfind('/');
    if (cut != std::string::npos) {
      dir = cut == 0 ? "/" : name.substr(0, cut);
      pattern = name.substr(cut + 1);
    }
    if (pattern.empty()) pattern = "*";
    std::vector<std::string> comps;
    if (!Resolve(c, dir.empty() ? "." : dir.c_str(), &comps)) return sceMcResNoEntry;
    std::string host = HostPath(port, slot, comps);
    std::error_code ec;
    if (!fs::is_directory(host, ec)) return sceMcResNoEntry;
    c.listing.clear();
    c.listPos = 0;
    for (const fs::directory_entry& e : fs::directory_iterator(host, ec)) {
      std::string entry = e.path().filename().string();
      if (entry.size() > size_t(MC_MAX_NAME) || !Match(pattern.c_str(), entry.c_str())) continue;
      sceMcTblGetDir d{};
      struct stat st;
      if (stat(e.path().c_str(), &st) != 0) continue;
      FillDate(&d._Create, st.st_mtime);
      FillDate(&d._Modify, st.st_mtime);
      bool isDir = S_ISDIR(st.st_mode);
      d.FileSizeByte = isDir ? 0 : uint32_t(st.st_size);
      d.AttrFile = uint16_t(sceMcFileAttrExists | sceMcFileAttrClosed | sceMcFileAttrReadable |
                            sceMcFileAttrWriteable | sceMcFileAttrExecutable |
                            (isDir ? sceMcFileAttrSubdir : sceMcFileAttrFile));
      memcpy(d.EntryName, entry.c_str(), entry.size());
      c.listing.push_back(d);
    }
    std::sort(c.listing.begin(), c.listing.end(), [](const sceMcTblGetDir& a, const sceMcTblGetDir& b) {
      return strcmp(reinterpret_cast<const char*>(a.EntryName), reinterpret_cast<const char*>(b.EntryName)) < 0;
    });
  }
  int n = 0;
  while (n < maxEntries && c.listPos < c.listing.size()) table[n++] = c.listing[c.listPos++];
  return n;
}

int DoDelete(int port, int slot, const std::string& name) {
  if (int r = CardReady(port, slot)) return r;
  std::vector<std::string> comps;
  if (!Resolve(g_card[port][slot], name.c_str(), &comps) || comps.empty()) return sceMcResNoEntry;
  std::string host = HostPath(port, slot, comps);
  std::error_code ec;
  fs::file_status st = fs::status(host, ec);
  if (!fs::exists(st)) return sceMcResNoEntry;
  if (fs::is_directory(st)) {
    if (!fs::is_empty(host, ec)) return sceMcResNotEmpty;
  } else if (HasOpenFile(host)) {
    return sceMcResDeniedPermit;
  }
  return fs::remove(host, ec) ? sceMcResSucceed : sceMcResDeniedPermit;
}

int DoFormat(int port, int slot, bool format) {
  Card& c = g_card[port][slot];
  if (!c.present) return sceMcResNoCard;
  CloseCardFiles(port, slot);
  std::error_code ec;
  fs::remove_all(CardDir(port, slot), ec);
  if (format) fs::create_directories(CardDir(port, slot), ec);
  c.cwd = "/";
  c.listing.clear();
  c.listPos = 0;
  return ec ? sceMcResDeniedPermit : sceMcResSucceed;
}

// Starts a command: 0, or the refusal.
int Request(int cmd, std::function<int()> run) {
  Start();
  if (g_refuseNext) {
    int r = g_refuseNext;
    g_refuseNext = 0;
    return r;
  }
  if (g_pending.active) return sceMcResRefused;
  g_pending = Pending{true, cmd, g_latency, g_failNext, g_failResult, std::move(run)};
  g_failNext = false;
  return sceMcResSucceed;
}

}  // namespace

void PlatSetMemCardRoot(const char* dir) {
  g_root = dir && *dir ? dir : "memcard";
  PlatMcReset();
}

const char* PlatGetMemCardRoot() { return g_root.c_str(); }

int sceMcInit() {
  Start();
  return 0;
}

int sceMcGetInfo(int port, int slot, int* type, int* free, int* format) {
  if (!ValidSlot(port, slot)) return sceMcResRefused;
  return Request(sceMcFuncNoCardInfo, [=] { return DoGetInfo(port, slot, type, free, format); });
}

int sceMcOpen(int port, int slot, const char* name, int mode) {
  if (!ValidSlot(port, slot) || !name) return sceMcResRefused;
  std::string n = name;
  return Request(sceMcFuncNoOpen, [=] { return DoOpen(port, slot, n, mode); });
}

int sceMcClose(int fd) { return Request(sceMcFuncNoClose, [=] { return DoClose(fd); }); }

int sceMcRead(int fd, void* buffer, int size) {
  if (!buffer) return sceMcResRefused;
  return Request(sceMcFuncNoRead, [=] { return DoRead(fd, buffer, size); });
}

// The bytes are taken when the request is made (they travel to the I/O
// processor with it), so the caller's buffer may change at once.
int sceMcWrite(int fd, const void* buffer, int size) {
  if (!buffer || size < 0) return sceMcResRefused;
  std::string bytes(static_cast<const char*>(buffer), size_t(size));
  return Request(sceMcFuncNoWrite, [=] { return DoWrite(fd, bytes.data(), int(bytes.size())); });
}

int sceMcSeek(int fd, int offset, int origin) {
  return Request(sceMcFuncNoSeek, [=] { return DoSeek(fd, offset, origin); });
}

int sceMcMkdir(int port, int slot, const char* name) {
  if (!ValidSlot(port, slot) || !name) return sceMcResRefused;
  std::string n = name;
  return Request(sceMcFuncNoMkdir, [=] { return DoMkdir(port, slot, n); });
}

int sceMcChdir(int port, int slot, const char* newDir, char* oldDir) {
  if (!ValidSlot(port, slot) || !newDir) return sceMcResRefused;
  std::string n = newDir;
  return Request(sceMcFuncNoChDir, [=] { return DoChdir(port, slot, n, oldDir); });
}

int sceMcGetDir(int port, int slot, const char* name, unsigned mode, int maxEntries, sceMcTblGetDir* table) {
  if (!ValidSlot(port, slot) || !name || !table || maxEntries < 0) return sceMcResRefused;
  std::string n = name;
  return Request(sceMcFuncNoGetDir, [=] { return DoGetDir(port, slot, n, mode, maxEntries, table); });
}

int sceMcDelete(int port, int slot, const char* name) {
  if (!ValidSlot(port, slot) || !name) return sceMcResRefused;
  std::string n = name;
  return Request(sceMcFuncNoDelete, [=] { return DoDelete(port, slot, n); });
}

int sceMcFormat(int port, int slot) {
  if (!ValidSlot(port, slot)) return sceMcResRefused;
  return Request(sceMcFuncNoFormat, [=] { return DoFormat(port, slot, true); });
}

int sceMcUnformat(int port, int slot) {
  if (!ValidSlot(port, slot)) return sceMcResRefused;
  return Request(sceMcFuncNoUnformat, [=] { return DoFormat(port, slot, false); });
}

int sceMcSync(int mode, int* cmd, int* result) {
  if (!g_pending.active) return sceMcExecIdle;
  if (mode != 0 && g_pending.polls > 0) {
    g_pending.polls--;
    return sceMcExecRun;
  }
  Pending p = std::move(g_pending);
  g_pending = Pending{};
  int r = p.forced ? p.forcedResult : p.run();
  if (cmd) *cmd = p.cmd;
  if (result) *result = r;
  return sceMcExecFinish;
}

void PlatMcPullCard(int port, int slot) {
  if (!ValidSlot(port, slot)) return;
  Start();
  CloseCardFiles(port, slot);
  g_card[port][slot].present = false;
}

void PlatMcInsertCard(int port, int slot) {
  if (!ValidSlot(port, slot)) return;
  Start();
  CloseCardFiles(port, slot);
  Insert(port, slot);
}

void PlatMcSetLatency(int polls) { g_latency = polls < 0 ? 0 : polls; }
void PlatMcRefuseNext(int code) { g_refuseNext = code; }

void PlatMcFailNext(int result) {
  g_failNext = true;
  g_failResult = result;
}

void PlatMcReset() {
  for (McFile& f : g_file) {
    if (f.used && !f.stale) close(f.host);
    f = McFile{};
  }
  g_pending = Pending{};
  g_latency = 0;
  g_refuseNext = 0;
  g_failNext = false;
  g_started = false;
  Start();
}
