// Data archives: one read-only file holding many members under a tree of
// names. The directory is read whole and checked when the archive is
// opened (counts, offsets, indices and the shape of the tree), so lookups
// and loads can trust it. Members load into the caller's buffer, packed
// ones unpacked in place; on the disc, by whole sectors.
#include "zecore.h"
#include "zecore_local.h"
#include "zesound2.h"

#include <cstring>

ZEDATMEMBER zedat_member[ZEFILE_DATFILES];
ZEDAT* zedat_current = nullptr;

namespace {

constexpr int ARC_HEADER = 8;
constexpr int PATH_MAX_LEN = 256;

ZEDATMEMBER* MemberOf(ZEFILE h, const char* what) {
  int slot = h - ZEFILE_DATFILE_BASE;
  if (slot < 0 || slot >= ZEFILE_DATFILES || !zedat_member[slot].inuse)
    ZeError("%s - bad archive member handle %d", what, h);
  return &zedat_member[slot];
}

void WaitIdle(ZEFILE h) {
  while (ZeFileStatus(h) != 0) KernelYield();
}

[[noreturn]] void Damaged(const char* name, const char* what) {
  ZeError("ZeDatOpenEx - damaged archive %s: %s", name, what);
  KernelHalt();  // not reached: a fatal error does not return
}

// Reads count bytes at pos, starting again from a seek after a platform
// failure (bounded); the bytes read.
int ReadAt(ZEFILE f, int pos, void* dst, int count, const char* readMsg, const char* seekMsg) {
  for (int tries = 1;; tries++) {
    ZeFileSeekRetry(f, pos, SCE_SEEK_SET, seekMsg);
    int n = ZeFileRead(f, dst, count);
    if (n >= 0) return n;
    ZeDebugMsg("%s", readMsg);
    if (tries == ZEFILE_RETRIES) ZeError("%s - giving up after %d failures (%d)", readMsg, tries, n);
  }
}

int ReadWord(const uint8_t* dir, int64_t at) {
  int v;
  memcpy(&v, dir + at, 4);
  return v;
}

// Checks the directory as read (size bytes at dat + 1) and fills the
// record: every count within the directory, every member inside the
// archive file, every index within its table, every name inside the pool,
// and the nodes reachable from the root forming a tree.
void ParseDirectory(ZEDAT* dat, int size, int fileSize, const char* name) {
  const uint8_t* dir = reinterpret_cast<const uint8_t*>(dat + 1);
  if (size < 16) Damaged(name, "directory too small");
  dat->first = ReadWord(dir, 0);
  int n = ReadWord(dir, 4);
  int64_t at = 8;
  if (n < 0 || at + int64_t(n) * 16 + 4 > size) Damaged(name, "file count");
  dat->nfiles = n;
  dat->files = reinterpret_cast<ZEDATENTRY*>(const_cast<uint8_t*>(dir + at));
  at += int64_t(n) * 16;
  int m = ReadWord(dir, at);
  at += 4;
  if (m < 1 || m > 0x8000 || at + int64_t(m) * 8 + 4 > size) Damaged(name, "node count");
  dat->nnodes = m;
  dat->nodes = reinterpret_cast<ZEDATNODE*>(const_cast<uint8_t*>(dir + at));
  at += int64_t(m) * 8;
  int pool = ReadWord(dir, at);
  at += 4;
  if (pool < 1 || at + pool > size) Damaged(name, "name pool size");
  dat->poolsize = pool;
  dat->pool = reinterpret_cast<char*>(const_cast<uint8_t*>(dir + at));
  if (dat->pool[pool - 1] != 0) Damaged(name, "name pool not terminated");

  for (int i = 0; i < n; i++) {
    const ZEDATENTRY& e = dat->files[i];
    if (e.offset < 0 || e.stored < 0 || e.unpacked < 0 || int64_t(e.offset) + e.stored > fileSize ||
        ((e.flags & 1) && e.stored > 0 && e.stored < int(sizeof(ZEPPHEADER))))
      Damaged(name, "member entry");
  }
  for (int i = 0; i < m; i++) {
    ZEDATNODE& node = dat->nodes[i];
    uint32_t off = node.name.addr;  // still an offset into the pool
    if (off >= uint32_t(pool) || node.sibling < 0 || node.sibling >= m ||
        (node.child > 0 ? node.child >= m : i != 0 && -int(node.child) >= n))  // the root holds no file
      Damaged(name, "name node");
    node.name = dat->pool.get() + off;
  }
  // Walk the tree from the root: a node met twice (a cycle or a shared
  // list) or a tree deeper than a path can name is damage.
  int stack[ZEDAT_MAXDEPTH];
  int depth = 0, visits = 0;
  int k = dat->nodes[0].child > 0 ? dat->nodes[0].child : 0;
  for (;;) {
    if (k == 0) {
      if (depth == 0) break;
      k = stack[--depth];
      continue;
    }
    if (++visits >= m) Damaged(name, "node tree has a cycle");
    const ZEDATNODE& node = dat->nodes[k];
    if (node.child > 0) {
      if (depth == ZEDAT_MAXDEPTH) Damaged(name, "node tree too deep");
      stack[depth++] = node.sibling;
      k = node.child;
    } else {
      k = node.sibling;
    }
  }
}

// The member's packed or plain data is in the buffer (packed at off);
// unpack it to the start.
int Unpack(const ZEDATENTRY& e, uint8_t* buf, int64_t off, const char* path) {
  ZePPCheckHeader(buf + off, e.stored, e.unpacked, path);
  ZePPUnpack(buf + off, buf);
  return e.unpacked;
}

}  // namespace

ZEDAT* ZeDatOpenEx(const char* name, char** buffer, int* used, int mode) {
  ZEFILE f = ZeFileOpen(name, mode);
  if (!f) return nullptr;
  int header[2] = {0, 0};
  int got = ReadAt(f, 0, header, ARC_HEADER, "ZeDatOpenEx - recoverable read error, retrying",
                   "ZeDatOpenEx - recoverable seek error, retrying");
  if (mode == 3) WaitIdle(f);
  int fileSize = ZeFileOpenSize(f);
  int dirPos = header[0], dirSize = header[1];
  if (got != ARC_HEADER || dirPos < ARC_HEADER || dirSize < 16 || int64_t(dirPos) + dirSize > fileSize)
    Damaged(name, "header");

  int total = int(sizeof(ZEDAT)) + dirSize;
  ZEDAT* dat;
  if (buffer) {
    // Carved from the caller's buffer, aligned for the records' words.
    char* start = *buffer;
    char* at = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(start) + 15) & ~uintptr_t(15));
    dat = reinterpret_cast<ZEDAT*>(at);
    *buffer = at + total;
    if (used) *used = int(*buffer - start);
  } else {
    dat = static_cast<ZEDAT*>(ZeMemAllocFn(total, __FILE__, __LINE__));
    if (!dat) {
      ZeFileClose(f);
      return nullptr;
    }
  }
  memset(dat, 0, sizeof(ZEDAT));
  dat->heap = buffer ? 0 : 1;
  dat->mode = int16_t(mode);
  dat->file = f;
  got = ReadAt(f, dirPos, dat + 1, dirSize, "ZeDatOpenEx - recoverable read error, retrying",
               "ZeDatOpenEx - recoverable seek error, retrying");
  if (mode == 3) WaitIdle(f);
  if (got != dirSize) Damaged(name, "directory truncated");
  ParseDirectory(dat, dirSize, fileSize, name);
  // The archive file's own sectors, when it lies on the disc.
  ZEFILEREC* rec = f <= SCE_MAX_FILES ? ZeFileRecOf(f) : nullptr;
  dat->sector = !zesound_enabled && ZeFileIsDisc() && rec ? rec->sector : 0;
  return dat;
}

ZEDAT* ZeDatOpen(const char* name, char** buffer, int* used) { return ZeDatOpenEx(name, buffer, used, 0); }

void ZeDatClose(ZEDAT* dat) {
  if (!dat) return;
  if (dat->member) ZeDatFileClose(dat->member);
  ZeFileClose(dat->file);
  // A closed archive is no longer looked in.
  if (zedat_current == dat) zedat_current = nullptr;
  if (dat->heap) ZeMemFreeFn(dat, __FILE__, __LINE__);
}

ZEDAT* ZeDatSet(ZEDAT* dat) {
  ZEDAT* old = zedat_current;
  zedat_current = dat;
  return old;
}

int ZeDatFind(ZEDAT* dat, const char* path) {
  if (!dat || !path) return -1;
  if (path[0] == '@') {
    // "@dll" and "@sys" names find the same members as plain names.
    for (int k = 0; k < 4 && *path; k++) path++;
  }
  if (strlen(path) >= PATH_MAX_LEN) return -1;
  int k = dat->nodes[0].child;
  if (k <= 0) return -1;
  const char* p = path;
  for (;;) {
    while (*p == '\\') p++;  // empty components are skipped
    const char* end = p;
    while (*end && *end != '\\') end++;
    if (end == p) return -1;  // no component at all
    char component[PATH_MAX_LEN];
    memcpy(component, p, size_t(end - p));
    component[end - p] = 0;
    while (k != 0 && ZeStrICmp(dat->nodes[k].name, component) != 0) k = dat->nodes[k].sibling;
    if (k == 0) return -1;
    const char* next = end;
    while (*next == '\\') next++;
    const ZEDATNODE& node = dat->nodes[k];
    if (!*next) return node.child <= 0 ? -node.child : -1;
    if (node.child <= 0) return -1;
    k = node.child;
    p = next;
  }
}

int ZeDatGetFileInfo(ZEDAT* dat, const char* path, int* start, int* size) {
  int idx = ZeDatFind(dat, path);
  if (idx < 0) return -1;
  const ZEDATENTRY& e = dat->files[idx];
  if (start) *start = dat->sector ? dat->sector + e.offset / ZEFILE_SECTOR : e.offset;
  if (size) *size = e.stored;
  return idx;
}

ZEFILE ZeDatFileOpen(ZEDAT* dat, const char* path, int mode) {
  if (mode != 0 || dat->member) return 0;
  int slot = 0;
  while (slot < ZEFILE_DATFILES && zedat_member[slot].inuse) slot++;
  if (slot == ZEFILE_DATFILES) return 0;
  int idx = ZeDatFind(dat, path);
  if (idx < 0) {
    ZeDebugMsg("ZeDatFileOpen - File %s not found in datfile", path);
    return 0;
  }
  const ZEDATENTRY& e = dat->files[idx];
  if (e.stored == 0) return 0;
  zedat_member[slot] = {dat, e.offset, e.stored, e.unpacked, 1, e.flags};
  ZeFileSeekRetry(dat->file, e.offset, SCE_SEEK_SET, "ZeDatFileOpen - recoverable seek error - retrying");
  dat->member = ZEFILE_DATFILE_BASE + slot;
  ZeDebugMsg("ZeDatFileOpen - opened %s", path);
  return dat->member;
}

int ZeDatFileRead(ZEFILE h, void* data, int count) {
  return ZeFileRead(MemberOf(h, "ZeDatFileRead")->dat->file, data, count);
}

int ZeDatFileSeek(ZEFILE h, int offset, int whence) {
  ZEDATMEMBER* m = MemberOf(h, "ZeDatFileSeek");
  ZEFILE f = m->dat->file;
  int64_t pos = whence == SCE_SEEK_CUR ? int64_t(ZeFilePos(f)) + offset
              : whence == SCE_SEEK_END ? int64_t(m->start) + m->stored - offset : int64_t(m->start) + offset;
  if (pos < 0 || pos > 0x7fffffff) return -22;
  int r = ZeFileSeek(f, int(pos), SCE_SEEK_SET);
  return r < 0 ? r : r - m->start;
}

int ZeDatFilePos(ZEFILE h) {
  ZEDATMEMBER* m = MemberOf(h, "ZeDatFilePos");
  return ZeFilePos(m->dat->file) - m->start;
}

int ZeDatFileOpenSize(ZEFILE h) { return MemberOf(h, "ZeDatFileOpenSize")->stored; }

void ZeDatFileClose(ZEFILE h) {
  int slot = h - ZEFILE_DATFILE_BASE;
  if (slot < 0 || slot >= ZEFILE_DATFILES || !zedat_member[slot].inuse) return;
  ZEDAT* dat = zedat_member[slot].dat;
  if (dat->member == h) dat->member = 0;
  zedat_member[slot] = {};
}

int ZeDatFileLoadBuffer(ZEDAT* dat, const char* path, void* buffer, int size) {
  if (dat->sector) {
    int n = ZeDatFileLoadBufferLSN(dat, path, buffer, size);
    if (n >= 0) return n;
    ZeDebugMsg("ZeDatFileLoadBuffer \"%s\"- LSN Buffer Overrun - falling back to HFS", path);
  }
  ZEFILE h = ZeDatFileOpen(dat, path, 0);
  if (!h) return 0;
  if (dat->mode == 3) WaitIdle(dat->file);
  const ZEDATMEMBER m = *MemberOf(h, "ZeDatFileLoadBuffer");
  const ZEDATENTRY e = {m.start, m.stored, m.unpacked, m.flags};
  uint8_t* buf = static_cast<uint8_t*>(buffer);
  int64_t off = 0;
  if (m.flags & 1) {
    // The packed file goes to the tail so that its end lies 256 bytes past
    // the output; an incompressible member starts at the buffer itself.
    off = int64_t(m.unpacked) + ZEPP_MARGIN - m.stored;
    if (off < 0) off = 0;
    if (m.unpacked == 0 || size < int64_t(m.unpacked) + ZEPP_MARGIN || off + m.stored > size) {
      ZeDatFileClose(h);
      return 0;
    }
  } else if (m.stored > size) {
    ZeDatFileClose(h);
    return 0;
  }
  int got = ReadAt(dat->file, m.start, buf + off, m.stored, "ZeDatFileLoadBuffer - recoverable read error, retrying",
                   "ZeDatFileLoadBuffer - recoverable seek error, retrying");
  if (dat->mode == 3) WaitIdle(dat->file);
  ZeDatFileClose(h);
  if (got != m.stored) ZeError("ZeDatFileLoadBuffer - member %s truncated (%d of %d bytes)", path, got, m.stored);
  return m.flags & 1 ? Unpack(e, buf, off, path) : m.stored;
}

int ZeDatFileLoadBufferLSN(ZEDAT* dat, const char* path, void* buffer, int size) {
  if (!dat->sector || size < ZEFILE_SECTOR || dat->member) return 0;
  int idx = ZeDatFind(dat, path);
  if (idx < 0) return 0;
  const ZEDATENTRY& e = dat->files[idx];
  ZEASSERT(e.offset % ZEFILE_SECTOR == 0);
  sceCdSync(0);
  uint8_t* buf = static_cast<uint8_t*>(buffer);
  uintptr_t base = reinterpret_cast<uintptr_t>(buf);
  int64_t sectors = (int64_t(e.stored) + ZEFILE_SECTOR - 1) / ZEFILE_SECTOR;
  int64_t off = 0;
  bool packed = e.flags & 1;
  if (packed) {
    // The first 64-byte aligned address at or after buffer + U - S, plus
    // 256; never before the buffer.
    int64_t at = int64_t(base) + e.unpacked - e.stored;
    if (at < int64_t(base)) at = int64_t(base);
    off = ((at + 63) & ~int64_t(63)) + ZEPP_MARGIN - int64_t(base);
  }
  if (off + sectors * ZEFILE_SECTOR > size || (packed && int64_t(e.unpacked) + ZEPP_MARGIN > size)) return -1;
  if (packed) {
    ZeDebugMsg("ZeDatFileLoadBuffer - LSN Reading Packed file %s (%d->%d)", path, e.stored, e.unpacked);
  } else {
    ZeDebugMsg("ZeDatFileLoadBuffer - LSN Reading file %s (%d)", path, e.stored);
    if (base % 64) ZeDebugMsg("ZeDatFileLoadBuffer - not 64 byte aligned");
  }
  sceCdRMode rm = {255, 0, 0, 0};
  int ok = sceCdRead(uint32_t(dat->sector + e.offset / ZEFILE_SECTOR), uint32_t(sectors), buf + off, &rm);
  sceCdSync(0);
  if (!ok) return -1;
  return packed ? Unpack(e, buf, off, path) : e.stored;
}
