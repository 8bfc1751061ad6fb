// Animation images: ".ani" files of version 1 (old format) and 2 (new
// format) loaded whole into a caller's buffer and fixed in place, and the
// relocation of a version 2 image. A loaded image is checked as it is
// fixed: every pointer must land inside the image with room for what it
// names, and every key an evaluation reads (up to the end frame) must lie
// inside it, so that evaluation never reads outside the file.
#include "ze3d.h"
#include "zeanim_local.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace {

// The image a fix-up checks against; no name: nothing is checked (images
// already checked, or embedded by callers that vouch for them).
struct Bounds {
  uint32_t lo = 0, hi = 0;
  const char* name = nullptr;
};

[[noreturn]] void Damaged(const Bounds& b, const char* what) {
  ZeError("ZeAnimDataLoadBuff: <%s> is damaged: %s", b.name, what);
  __builtin_unreachable();
}

// Adds delta to a non-null pointer; with bounds, the result must name
// bytes (a multiple of 4 bytes from the image start) inside the image.
template <class T>
T* Fix(EePtr<T>* p, int delta, const Bounds& b, int64_t bytes, bool nullok = true) {
  if (p->addr) p->addr += uint32_t(delta);
  if (!b.name) return p->get();
  if (!p->addr) {
    if (!nullok) Damaged(b, "a null pointer");
    return nullptr;
  }
  if (p->addr < b.lo || bytes < 0 || int64_t(p->addr) + bytes > int64_t(b.hi) || ((p->addr - b.lo) & 3))
    Damaged(b, "a pointer outside the image");
  return p->get();
}

// The latest time an evaluation reaches: that of the end frame (read as
// end - 0.01) or of the last frame below it, whichever is later; with an
// end frame that is not finite every frame is below it and every chunk is
// read to its last slot.
template <class A>
ZEANIMTIME EndTime(const A* a, void (*calc)(const A*, ZEANIMTIME*, float)) {
  ZEANIMTIME t, below;
  if (!(std::fabs(a->end) <= FLT_MAX)) {
    calc(a, &t, 1.0f);
    t.chunk = a->nchunks - 1, t.slot = 31, t.maskbyte = 3, t.keymask = 0xff;
    return t;
  }
  calc(a, &t, a->end);
  calc(a, &below, std::nextafter(a->end, -FLT_MAX));
  return below.chunk > t.chunk || (below.chunk == t.chunk && below.slot > t.slot) ? below : t;
}

// The last time an evaluation reads in a chunk: the end frame's time in the
// end frame's chunk, the chunk's last slot before it; chunk < 0: the chunk
// lies past the end frame and is never read.
ZEANIMTIME LastRead(const ZEANIMTIME& end, int chunk) {
  ZEANIMTIME t = end;
  if (chunk > end.chunk) t.chunk = -1;
  if (chunk >= end.chunk) return t;
  t.chunk = chunk, t.slot = 31, t.maskbyte = 3, t.keymask = 0xff;
  return t;
}

// The keys an evaluation of the chunk reads, from first, must lie inside the
// image: the previous key of every time up to the last one, and with 'next'
// the key after it.
void CheckKeys(const Bounds& b, const uint8_t* mask, const void* keys, int64_t first, int size, bool next, int64_t head,
               const ZEANIMTIME& last) {
  if (!b.name) return;
  if (!(mask[0] & 1)) Damaged(b, "a chunk without a key at its first frame");
  if (last.chunk < 0) return;
  const int64_t reach = head + (first + ZeAnimKeysTo(mask, &last) + (next ? 1 : 0)) * size;
  if (EeAddrOf(keys) + reach > int64_t(b.hi)) Damaged(b, "a key mask reaching past the image");
}

// The end frame's chunk must be one of the chunks.
void CheckChunks(const Bounds& b, float end, int nchunks) {
  if (!b.name) return;
  if (nchunks < 1 || !((int64_t(EeFtoi(end - 0.01f)) - 1) / 32 < nchunks)) Damaged(b, "too few chunks for the end frame");
}

ZEANIMDATA* FixV1(uint32_t record, int delta, const Bounds& b) {
  EePtr<ZEANIMDATA> rp;
  rp.addr = record;
  ZEANIMDATA* a = Fix(&rp, delta, b, sizeof(ZEANIMDATA));
  if (!a) return nullptr;
  if (char* names = Fix(&a->names, delta, b, 1)) {
    if (b.name && !memchr(names, 0, b.hi - EeAddrOf(names))) Damaged(b, "node names without an end");
  }
  if (b.name && (a->nchunks < 0 || a->nchunks > ZEANIM_MAXCOUNT)) Damaged(b, "a chunk count out of range");
  CheckChunks(b, a->end, a->nchunks);
  EePtr<ZEANIMCHUNK>* chunks = Fix(&a->chunks, delta, b, 4 * int64_t(a->nchunks), false);
  if (!chunks) return a;
  const ZEANIMTIME end = EndTime(a, ZeAnimDataCalcTime);
  for (int i = 0; i < a->nchunks; i++) {
    ZEANIMCHUNK* c = Fix(&chunks[i], delta, b, sizeof(ZEANIMCHUNK), false);
    if (!c) continue;
    if (b.name && (c->nnodes < 0 || c->nnodes > ZEANIM_MAXCOUNT)) Damaged(b, "a node count out of range");
    EePtr<ZEANIMCURVESET>* sets = Fix(&c->sets, delta, b, 4 * int64_t(c->nnodes), false);
    if (!sets) continue;
    for (int n = 0; n < c->nnodes; n++) {
      ZEANIMCURVESET* s = Fix(&sets[n], delta, b, sizeof(ZEANIMCURVESET));
      if (!s) continue;
      if (b.name && s->nslots < 0) Damaged(b, "a negative slot count");
      const bool any = s->nslots > 0;
      Fix(&s->consts, delta, b, 4 * int64_t(s->nslots), !any);
      EePtr<ZEANIMCURVE>* curves = Fix(&s->curves, delta, b, 4 * int64_t(s->nslots), !any);
      if (!curves) continue;
      for (int k = 0; k < s->nslots; k++) {
        ZEANIMCURVE* cv = Fix(&curves[k], delta, b, sizeof(ZEANIMCURVE));
        if (!cv) continue;
        ZEANIMKEY* keys = Fix(&cv->keys, delta, b, 16, false);
        CheckKeys(b, cv->mask, keys, 0, 16, !(cv->flags & 1), 0, LastRead(end, i));
      }
    }
  }
  return a;
}

ZEANIMDATA2* FixV2(uint32_t record, int delta, const Bounds& b) {
  EePtr<ZEANIMDATA2> rp;
  rp.addr = record;
  ZEANIMDATA2* a = Fix(&rp, delta, b, sizeof(ZEANIMDATA2));
  if (!a) return nullptr;
  if (b.name && (a->nnodes < 0 || a->ncurves < 0)) Damaged(b, "a negative node or curve count");
  CheckChunks(b, a->end, a->nchunks);
  const ZEANIMTIME end = EndTime(a, ZeAnimData2CalcTime);
  const int words = a->nnodes * a->ncurves;
  uint32_t* w = Fix(&a->words, delta, b, 4 * int64_t(words), words == 0);
  const int8_t* types = Fix(&a->keytypes, delta, b, words, words == 0);
  Fix(&a->nodeflags, delta, b, a->nnodes, a->nnodes == 0);
  if (!w || !types) return a;
  for (int i = 0; i < words; i++) {
    const int type = types[i];
    if (type == ZEANIMKEYTYPE_NONE) continue;
    auto* cp = reinterpret_cast<EePtr<ZEANIMCURVE2>*>(&w[i]);
    ZEANIMCURVE2* c = Fix(cp, delta, b, sizeof(ZEANIMCURVE2), false);
    if (!c) continue;
    // Keyed curves read masks, first keys and keys; boolean ones the masks
    // alone; other types nothing.
    const bool keyed = type >= ZEANIMKEYTYPE_HERMITE && type <= ZEANIMKEYTYPE_STEP;
    const uint32_t* masks = Fix(&c->masks, delta, b, 4 * int64_t(a->nchunks), !keyed && type != ZEANIMKEYTYPE_BOOLEAN);
    const uint16_t* first = Fix(&c->firstkeys, delta, b, 2 * int64_t(a->nchunks), !keyed);
    const void* keys = Fix(&c->keydata, delta, b, type == ZEANIMKEYTYPE_PACKED ? 8 : 4, !keyed);
    if (!keyed || !b.name) continue;
    for (int k = 0; k < a->nchunks; k++) {
      const auto* m = reinterpret_cast<const uint8_t*>(&masks[k]);
      const ZEANIMTIME last = LastRead(end, k);
      if (type == ZEANIMKEYTYPE_HERMITE) CheckKeys(b, m, keys, first[k], 16, true, 0, last);
      if (type == ZEANIMKEYTYPE_PACKED) CheckKeys(b, m, keys, first[k], 4, true, 8, last);
      if (type == ZEANIMKEYTYPE_STEP) CheckKeys(b, m, keys, first[k], 8, false, 0, last);
    }
  }
  return a;
}

// Loads a whole image at *position rounded up to 16; its start and size.
char* LoadImage(const char* name, char** position, char* end, int* size) {
  char* start = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(*position) + 15) & ~uintptr_t(15));
  const int64_t room = end - start;
  *size = room > 0 ? ZeFileLoadBuffer(name, start, int(room > 0x7fffffff ? 0x7fffffff : room)) : 0;
  if (*size == 0) ZeError("Could not read from <%s>, either file is not there or the buffer may be full", name);
  *position = start + *size;
  return start;
}

}  // namespace

ZEANIMDATA* ZeAnimDataFixPtrs(uint32_t record, int delta) {
  if (!bitCountTableBuilt) buildBitCountTable();
  return FixV1(record, delta, {});
}

ZEANIMDATA2* ZeAnimData2FixPtrs(uint32_t record, int delta) {
  if (!bitCountTableBuilt) buildBitCountTable();
  return FixV2(record, delta, {});
}

namespace {

// Loads an image and checks its header's size and version; the image's
// bounds and the fix-up's delta (load address - saved base).
ZEANIMFILEHDR* LoadChecked(const char* name, char** position, char* end, int version, const char* wrong, Bounds* b,
                           int* delta) {
  int size = 0;
  char* start = LoadImage(name, position, end, &size);
  *b = {EeAddrOf(start), EeAddrOf(start) + uint32_t(size), name};
  if (size < int(sizeof(ZEANIMFILEHDR))) Damaged(*b, "shorter than its header");
  auto* h = reinterpret_cast<ZEANIMFILEHDR*>(start);
  if (h->version != version) ZeError("%s", wrong);
  *delta = int(b->lo - uint32_t(h->base));
  if (!bitCountTableBuilt) buildBitCountTable();
  return h;
}

}  // namespace

ZEANIMDATA* ZeAnimDataLoadBuff(const char* name, char** position, char* end) {
  Bounds b;
  int delta = 0;
  ZEANIMFILEHDR* h =
      LoadChecked(name, position, end, 1, "ZeAnimDataLoadBuff: Is in new format, expecting old format.", &b, &delta);
  h->base = delta;
  ZEANIMDATA* a = FixV1(uint32_t(h->record), delta, b);
  if (!a) Damaged(b, "no animation record");
  h->record = int(EeAddrOf(a));
  return a;
}

ZEANIMDATA2* ZeAnimData2LoadBuffEx(const char* name, char** position, char* end, char** image) {
  Bounds b;
  int delta = 0;
  ZEANIMFILEHDR* h =
      LoadChecked(name, position, end, 2, "ZeAnimDataLoadBuff: Is in old format, expecting new format.", &b, &delta);
  *image = reinterpret_cast<char*>(h);
  h->version = int(b.hi - b.lo);  // the image's size
  ZEANIMDATA2* a = FixV2(uint32_t(h->record), delta, b);
  if (!a) Damaged(b, "no animation record");
  h->record = int(EeAddrOf(a));
  h->base = int(b.lo);
  return a;
}

ZEANIMDATA2* ZeAnimData2LoadBuff(const char* name, char** position, char* end) {
  char* image = nullptr;
  return ZeAnimData2LoadBuffEx(name, position, end, &image);
}

ZEANIMDATA2* ZeAnimData2Relocate(char** image, char** position) {
  auto* old = reinterpret_cast<ZEANIMFILEHDR*>(*image);
  const int size = old->version;  // a loaded image's size
  char* start = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(*position) + 15) & ~uintptr_t(15));
  memmove(start, old, size_t(size));
  auto* h = reinterpret_cast<ZEANIMFILEHDR*>(start);
  *image = start;
  *position = start + size;
  const int delta = int(EeAddrOf(start) - uint32_t(h->base));
  // The copy was checked when it was loaded; checking it again costs little.
  const Bounds b{EeAddrOf(start), EeAddrOf(start) + uint32_t(size), "relocated image"};
  ZEANIMDATA2* a = FixV2(uint32_t(h->record), delta, b);
  h->record = int(EeAddrOf(a));
  h->base = int(EeAddrOf(start));
  return a;
}

int ZeAnimDataFindVersion(const char* name) {
  ZEFILE f = ZeFileOpen(name, 0);
  if (!f) return -1;
  int version = 0;
  if (ZeFileOpenSize(f) > 0) ZeFileRead(f, &version, ZeFileOpenSize(f) < 4 ? ZeFileOpenSize(f) : 4);
  ZeFileClose(f);
  return version;
}

void ZeAnimDataLoad(const char* name) { ZeError("Obsolete - do not use!!!"); }
