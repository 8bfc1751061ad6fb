// Block files: nested blocks of four-character id and size on any ZEFILE,
// read with a stack that knows where each enclosing block ends, written
// with sizes patched in at the end; and the tables that save a web of
// records with its pointers as self-relative file distances.
#include "zecore.h"
#include "zecore_local.h"

#include <climits>

namespace {

ZEBLKENTRY g_read[ZEBLK_STACK];
ZEBLKENTRY g_write[ZEBLK_STACK];
int g_readDepth = 1;  // entry 0 is never used
int g_writeDepth = 1;

int g_addrCapacity = 0;
ZEFILEADDR* g_refs = nullptr;
ZEFILEADDR* g_targets = nullptr;
int g_refCount = 0, g_targetCount = 0;

constexpr int BLK_ALIGN = 16;
constexpr int BLK_HEADER = 8;

char IdChar(int id, int n) {
  char c = char(uint32_t(id) >> (8 * n));
  return c >= 32 && c < 127 ? c : '?';
}

// Whether the bytes from pos to end hold an 8-byte header-only block
// (a non-zero id and size 8, either sign) rather than padding. Leaves the
// file at pos.
bool HeaderOnlyBlockAt(ZEFILE file, int pos, int64_t end) {
  if (end - pos < BLK_HEADER) return false;
  int header[2] = {0, 0};
  const int got = ZeFileRead(file, header, BLK_HEADER);
  ZeFileSeek(file, pos, SCE_SEEK_SET);
  return got == BLK_HEADER && header[0] != 0 && (header[1] == BLK_HEADER || header[1] == -BLK_HEADER);
}

}  // namespace

void ZeFileBlkReset() {
  g_readDepth = 1;
  g_writeDepth = 1;
}

int ZeFileBeginBlkRead(ZEFILE file, int id) {
  int d = g_readDepth;
  int pos = ZeFilePos(file);
  int64_t parentEnd = 0;
  if (d >= 2) {
    parentEnd = int64_t(g_read[d - 1].start) + g_read[d - 1].size;
    // Blocks written here are multiples of 16, so fewer than 16 bytes left
    // are the enclosing block's padding: it is exhausted. The one block that
    // fits there is a header-only one (an id and size 8).
    if (parentEnd - pos < BLK_ALIGN && !HeaderOnlyBlockAt(file, pos, parentEnd)) return 0;
  }
  if (d >= ZEBLK_STACK) ZeError("ZeFileBeginBlkRead : blocks nested deeper than %d", ZEBLK_STACK - 1);
  int header[2] = {0, 0};
  if (ZeFileRead(file, header, BLK_HEADER) != BLK_HEADER)
    ZeError("ZeFileBeginBlkRead : truncated block header at %d", pos);
  int got = header[0], size = header[1];
  if (id && got != id) ZeError("ZeFileBeginBlkRead : Block header mismatch!");
  if (got == 0 || size == INT_MIN || (size < 0 ? -size : size) < BLK_HEADER)
    ZeError("ZeFileBeginBlkRead : damaged block (id %08x, size %d) at %d", unsigned(got), size, pos);
  if (size < 0) size = -size;
  if (pos + int64_t(size) > INT_MAX) ZeError("ZeFileBeginBlkRead : damaged block (size %d) at %d", size, pos);
  if (d >= 2 && pos + int64_t(size) > parentEnd)
    ZeError("ZeFileBeginBlkRead : block %c%c%c%c (size %d) at %d runs past its parent", IdChar(got, 0),
            IdChar(got, 1), IdChar(got, 2), IdChar(got, 3), size, pos);
  g_read[d] = {got, size, pos};
  g_readDepth = d + 1;
  return got;
}

void ZeFileEndBlkRead(ZEFILE file) {
  if (g_readDepth <= 1) ZeError("ZeFileEndBlkRead : no block open");
  const ZEBLKENTRY& e = g_read[--g_readDepth];
  int end = int(int64_t(e.start) + e.size);
  int pos = ZeFilePos(file);
  if (pos > end) ZeDebugMsg("ZeFileendBlockRead : read past end of block");
  if (pos != end) ZeFileSeek(file, end, SCE_SEEK_SET);
}

int ZeFileGetBlkSize() { return g_readDepth >= 2 ? g_read[g_readDepth - 1].size : 0; }

void ZeFileBeginBlkWrite(ZEFILE file, int id, int negative) {
  if (g_writeDepth >= ZEBLK_STACK) ZeError("ZeFileBeginBlkWrite : blocks nested deeper than %d", ZEBLK_STACK - 1);
  g_write[g_writeDepth++] = {id, negative == 1 ? -1 : 1, ZeFilePos(file)};
  ZeDebugMsg("ZeFileBeginBlkWrite : writing block... (id %c%c%c%c)", IdChar(id, 0), IdChar(id, 1), IdChar(id, 2),
             IdChar(id, 3));
  ZeFileWriteInt(file, id);
  ZeFileWriteInt(file, 0);
}

void ZeFileEndBlkWrite(ZEFILE file) {
  if (g_writeDepth <= 1) ZeError("ZeFileEndBlkWrite : no block open");
  const ZEBLKENTRY& e = g_write[--g_writeDepth];
  int size = ZeFilePos(file) - e.start;
  if (size % BLK_ALIGN) {
    static const uint8_t zeros[BLK_ALIGN] = {};
    int pad = BLK_ALIGN - size % BLK_ALIGN;
    ZeFileWrite(file, zeros, pad);
    size += pad;
  }
  ZeFileSeek(file, e.start + 4, SCE_SEEK_SET);
  ZeFileWriteInt(file, size * e.size);
  ZeFileSeek(file, e.start + size, SCE_SEEK_SET);
  ZeDebugMsg("ZeFileEndBlkWrite : ...close block (id %c%c%c%c, size %d)", IdChar(e.id, 0), IdChar(e.id, 1),
             IdChar(e.id, 2), IdChar(e.id, 3), size);
}

int ZeFileAlign(ZEFILE file, int mask) {
  int written = 0;
  // One byte at a time; a failing write ends it rather than looping.
  while ((ZeFilePos(file) & mask) != 0 && written <= mask) {
    if (ZeFileWriteChar(file, int8_t(0xFE)) != 1) break;
    written++;
  }
  return written;
}

// ---- pointer patching ------------------------------------------------------

void ZeFileInitAddress(int capacity) {
  if (capacity != g_addrCapacity) {
    ZeFileTidyAddress();
    if (capacity > 0) {
      g_refs = static_cast<ZEFILEADDR*>(ZeMemAllocFn(capacity * int(sizeof(ZEFILEADDR)), __FILE__, __LINE__));
      g_targets = static_cast<ZEFILEADDR*>(ZeMemAllocFn(capacity * int(sizeof(ZEFILEADDR)), __FILE__, __LINE__));
      g_addrCapacity = capacity;
    }
  }
  g_refCount = g_targetCount = 0;
}

void ZeFileTidyAddress() {
  if (g_refs) ZeMemFreeFn(g_refs, __FILE__, __LINE__);
  if (g_targets) ZeMemFreeFn(g_targets, __FILE__, __LINE__);
  g_refs = g_targets = nullptr;
  g_addrCapacity = g_refCount = g_targetCount = 0;
}

void ZeFileWriteAddress(ZEFILE file, const void* pointer) {
  if (pointer) {
    if (g_refCount >= g_addrCapacity) ZeError("ZeFileWriteAddress:- Need to expand MAX_FILE_ADDRESS");
    g_refs[g_refCount++] = {pointer, ZeFilePos(file)};
  }
  ZeFileWriteInt(file, 0);
}

void ZeFileSetAddress(ZEFILE file, const void* pointer) {
  if (!pointer) return;
  int pos = ZeFilePos(file);
  uint32_t a = EeAddrOf(pointer);
  for (int i = 0; i < g_targetCount; i++) {
    if (g_targets[i].pointer.addr == a) {
      g_targets[i].pos = pos;
      return;
    }
  }
  if (g_targetCount >= g_addrCapacity) ZeError("ZeFileSetAddress:- Need to expand MAX_FILE_ADDRESS");
  g_targets[g_targetCount++] = {pointer, pos};
}

void ZeFilePatchAddress(ZEFILE file) {
  for (int r = 0; r < g_refCount; r++) {
    for (int t = 0; t < g_targetCount; t++) {
      if (g_targets[t].pointer.addr != g_refs[r].pointer.addr) continue;
      ZeFileSeek(file, g_refs[r].pos, SCE_SEEK_SET);
      ZeFileWriteInt(file, g_targets[t].pos - g_refs[r].pos);
      break;  // a pointer is in the target table once
    }
  }
  ZeFileSeek(file, 0, SCE_SEEK_END);
}
