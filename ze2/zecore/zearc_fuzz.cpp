// Fuzz target: an archive file. Opens it (directory checks), looks up and
// loads every member by its path (packed members unpacked), opens and reads
// members; odd-sized inputs also go through the disc's sector path.
#include "fuzz.h"
#include "zecore.h"
#include "zecore_local.h"

#include <string>

namespace {

constexpr int LOAD_SIZE = 1 << 16;
uint8_t* g_load;

void Walk(ZEDAT* dat, int first, const std::string& prefix, int depth, int* budget) {
  for (int k = first; k != 0 && --*budget > 0; k = dat->nodes[k].sibling) {
    const ZEDATNODE& n = dat->nodes[k];
    std::string path = prefix + "\\" + n.name.get();
    if (n.child > 0) {
      if (depth < ZEDAT_MAXDEPTH) Walk(dat, n.child, path, depth + 1, budget);
      continue;
    }
    ZeDatFind(dat, path.c_str());
    ZeDatGetFileInfo(dat, path.c_str(), nullptr, nullptr);
    ZeDatFileLoadBuffer(dat, path.c_str(), g_load, LOAD_SIZE);
    if (ZEFILE h = ZeDatFileOpen(dat, path.c_str(), 0)) {
      ZeFileSeek(h, 3, 2);
      ZeFileRead(h, g_load, 16);
      ZeFilePos(h);
      ZeFileClose(h);
    }
  }
}

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  if (!g_load) {
    PlatSetDiscRoot(FuzzDir().c_str());
    g_load = static_cast<uint8_t*>(EeMalloc(LOAD_SIZE));
    errmsg_disabled = 1;
    errmsg_to_console = 0;
  }
  // Host inputs are memory files; the disc's sector path reads host files
  // (its map made again by the disc's start-up).
  bool disc = size & 1;
  if (disc) FuzzWriteHostFile("FUZZ.DAT", data, size);
  else FuzzWriteFile("FUZZ.DAT", data, size);
  ZeFileInitEx(disc ? ZEFILE_MEDIA_CD : ZEFILE_MEDIA_HOST, 0, 0);
  // Freed on every way out, a fatal error's unwinding included.
  struct Mem {
    char* p;
    ~Mem() { EeFree(p); }
  } mem{static_cast<char*>(EeMalloc(size + 64))};
  char* cursor = mem.p;
  int used = 0;
  ZEDAT* dat = ZeDatOpenEx("FUZZ.DAT", &cursor, &used, 0);
  if (dat) {
    int budget = 4096;
    if (dat->nodes[0].child > 0) Walk(dat, dat->nodes[0].child, "", 0, &budget);
    ZeDatFind(dat, "@dll\\a\\b");
    ZeDatClose(dat);
  }
}

void FuzzReset() {
  ZeFileReset();
  errmsg_trap = 0;
}
