// Fuzz target: a block file read with the reading loop idiom, nested,
// reading part of each block as a reader that knows some ids would.
#include "fuzz.h"
#include "zecore.h"
#include "zecore_local.h"

namespace {

void ReadChildren(ZEFILE f, int depth, int* budget) {
  while (--*budget > 0) {
    int id = ZeFileBeginBlkRead(f, 0);
    if (!id) return;
    int size = ZeFileGetBlkSize();
    uint8_t scratch[64];
    switch (uint32_t(id) & 3) {
      case 0: if (depth < 16) ReadChildren(f, depth + 1, budget); break;
      case 1: ZeFileRead(f, scratch, size > 72 ? 64 : size - 8); break;
      case 2: ZeFileReadInt(f); ZeFileReadShort(f); break;
      default: ZeFileRead(f, scratch, 64); break;  // past the end of small blocks
    }
    ZeFileEndBlkRead(f);
  }
}

}  // namespace

void FuzzOne(const uint8_t* data, size_t size) {
  errmsg_disabled = 1;
  errmsg_to_console = 0;
  ZEFILE f = ZeMemFileOpen(const_cast<uint8_t*>(data), int(size), 0);
  if (!f) return;
  int budget = 10000;
  if (ZeFileBeginBlkRead(f, 0)) {
    ReadChildren(f, 0, &budget);
    ZeFileEndBlkRead(f);
  }
  ZeFileClose(f);
}

void FuzzReset() {
  ZeFileReset();
  errmsg_trap = 0;
}
