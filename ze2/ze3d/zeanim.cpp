// Animation data: the old format's heap records, its stream and tagged
// forms, the time of an animation and the value of one curve at that time
// (both formats). The image loaders are in zeanimimg, matrices in zeanimmtx.
#include "ze3d.h"
#include "zeanim_local.h"

#include <cmath>
#include <cstring>

// Filled before any code runs (constant data): a curve built in memory may
// be evaluated before any animation has been read or loaded.
#define ZEBITS2(n) n, n + 1, n + 1, n + 2
#define ZEBITS4(n) ZEBITS2(n), ZEBITS2(n + 1), ZEBITS2(n + 1), ZEBITS2(n + 2)
#define ZEBITS6(n) ZEBITS4(n), ZEBITS4(n + 1), ZEBITS4(n + 1), ZEBITS4(n + 2)
uint8_t bitCountTable[256] = {ZEBITS6(0), ZEBITS6(1), ZEBITS6(1), ZEBITS6(2)};
#undef ZEBITS6
#undef ZEBITS4
#undef ZEBITS2
int bitCountTableBuilt = 1;

void buildBitCountTable() {
  for (int v = 0; v < 256; v++) {
    int n = 0;
    for (int b = 0; b < 8; b++) n += (v >> b) & 1;
    bitCountTable[v] = uint8_t(n);
  }
  bitCountTableBuilt = 1;
}

// ---- building and freeing ---------------------------------------------------

namespace {

void* Zalloc(int64_t size) {
  ZEASSERT(size > 0 && size < (int64_t(1) << 30));
  void* p = ZeMemAllocTagged(int(size));
  memset(p, 0, size_t(size));
  return p;
}

}  // namespace

ZEANIMDATA* ZeAnimDataCreate(int nchunks) {
  ZEASSERT(nchunks >= 0 && nchunks <= ZEANIM_MAXCOUNT);
  auto* a = static_cast<ZEANIMDATA*>(Zalloc(int64_t(sizeof(ZEANIMDATA)) + 4 * int64_t(nchunks)));
  a->nchunks = nchunks;
  a->chunks = reinterpret_cast<EePtr<ZEANIMCHUNK>*>(a + 1);
  return a;
}

ZEANIMCHUNK* ZeAnimDataChunkCreate(int nnodes) {
  ZEASSERT(nnodes > 0 && nnodes <= ZEANIM_MAXCOUNT);
  auto* c = static_cast<ZEANIMCHUNK*>(Zalloc(sizeof(ZEANIMCHUNK)));
  c->nnodes = nnodes;
  c->sets = static_cast<EePtr<ZEANIMCURVESET>*>(Zalloc(4 * int64_t(nnodes)));
  return c;
}

ZEANIMCURVESET* ZeAnimCurveSetCreate(int nslots) {
  if (nslots == 0) return nullptr;
  ZEASSERT(nslots > 0 && nslots <= 127);
  auto* s = static_cast<ZEANIMCURVESET*>(Zalloc(sizeof(ZEANIMCURVESET)));
  s->nslots = int8_t(nslots);
  s->curves = static_cast<EePtr<ZEANIMCURVE>*>(Zalloc(4 * int64_t(nslots)));
  s->consts = static_cast<float*>(Zalloc(4 * int64_t(nslots)));
  return s;
}

ZEANIMCURVE* ZeAnimCurveCreate(int nkeys) {
  ZEASSERT(nkeys > 0 && nkeys <= ZEANIM_MAXCOUNT);
  auto* c = static_cast<ZEANIMCURVE*>(Zalloc(sizeof(ZEANIMCURVE)));
  c->nkeys = nkeys;
  c->keys = static_cast<ZEANIMKEY*>(Zalloc(int64_t(sizeof(ZEANIMKEY)) * nkeys));
  return c;
}

void ZeAnimCurveDestroy(ZEANIMCURVE* c) {
  if (c->keys) ZeMemFreeTagged(c->keys.get());
  ZeMemFreeTagged(c);
}

void ZeAnimCurveSetDestroy(ZEANIMCURVESET* s, int freecurves) {
  if (!s) return;
  if (s->curves) {
    if (freecurves)
      for (int k = 0; k < s->nslots; k++)
        if (ZEANIMCURVE* c = s->curves[k]) ZeAnimCurveDestroy(c);
    ZeMemFreeTagged(s->curves.get());
  }
  if (s->consts) ZeMemFreeTagged(s->consts.get());
  ZeMemFreeTagged(s);
}

void ZeAnimDataChunkDestroy(ZEANIMCHUNK* c) {
  // Curves read from a stream lie in the chunk's blocks, not on their own.
  for (int n = 0; n < c->nnodes; n++)
    if (ZEANIMCURVESET* s = c->sets[n]) ZeAnimCurveSetDestroy(s, !c->curveblock);
  if (c->keyblock) ZeMemFreeTagged(c->keyblock.get());
  if (c->curveblock) ZeMemFreeTagged(c->curveblock.get());
  ZeMemFreeTagged(c->sets.get());
  ZeMemFreeTagged(c);
}

void ZeAnimDataDestroy(ZEANIMDATA* a) {
  for (int i = 0; i < a->nchunks; i++)
    if (ZEANIMCHUNK* c = a->chunks[i]) ZeAnimDataChunkDestroy(c);
  if (a->names) ZeMemFreeTagged(a->names.get());
  ZeMemFreeTagged(a);
}

void ZeAnimCurveScale(ZEANIMCURVE* c, float a, float b) {
  for (int k = 0; k < c->nkeys; k++) {
    ZEANIMKEY& key = c->keys[k];
    key.time = key.time * a + b;
    key.invint /= a;
    key.tangent /= a;
  }
}

// ---- the stream form --------------------------------------------------------

namespace {

void ReadExact(ZEFILE f, void* data, int64_t count) {
  if (count > 0 && ZeFileRead(f, data, int(count)) != count) ZeError("ZeAnimDataRead: the animation ends early");
}

int ReadCount(ZEFILE f, int minimum) {
  int v = 0;
  ReadExact(f, &v, 4);
  if (v < minimum || v > ZEANIM_MAXCOUNT) ZeError("ZeAnimDataRead: count %d out of range", v);
  return v;
}

// Links the curves of a stream chunk to the slots marked FLT_MAX, in node
// and slot order. A damaged stream must not link a curve or a key past its
// block: more marked slots than curves, keys past the key block, or a mask
// whose keys (and the key that follows them) leave it are fatal.
void LinkChunk(ZEANIMCHUNK* c, int nkeys, int ncurves) {
  int curve = 0, key = 0;
  for (int n = 0; n < c->nnodes; n++) {
    ZEANIMCURVESET* s = c->sets[n];
    if (!s) continue;
    for (int k = 0; k < s->nslots; k++) {
      if (s->consts[k] != ZEANIM_FLTMAX) continue;
      if (curve >= ncurves) ZeError("ZeAnimDataRead: more animated slots than curves (%d)", ncurves);
      ZEANIMCURVE* cv = &c->curveblock[curve++];
      if (cv->nkeys < 0 || cv->nkeys > nkeys - key)
        ZeError("ZeAnimDataRead: curve keys past the key block (%d keys)", nkeys);
      const int reach = ZeAnimMaskKeys(cv->mask) + 1;
      if (!(cv->mask[0] & 1) || reach > nkeys - key)
        ZeError("ZeAnimDataRead: a curve's mask reaches past the key block");
      cv->keys = c->keyblock + key;
      key += cv->nkeys;
      s->curves[k] = cv;
      c->nlinked++;
    }
  }
}

}  // namespace

ZEANIMDATA* ZeAnimDataRead(ZEFILE f) {
  if (!bitCountTableBuilt) buildBitCountTable();
  const int namesize = ReadCount(f, 0);
  char* names = nullptr;
  if (namesize) {
    // One byte more than stored: the names are written back as a string.
    names = static_cast<char*>(Zalloc(namesize + 1));
    ReadExact(f, names, namesize);
  }
  float end = 0;
  ReadExact(f, &end, 4);
  // An animation of no chunks has none to evaluate: every time picks chunk 0.
  const int nchunks = ReadCount(f, 1);
  ZEANIMDATA* a = ZeAnimDataCreate(nchunks);
  a->end = end;
  a->names = names;
  for (int i = 0; i < nchunks; i++) {
    ZEANIMCHUNK* c = ZeAnimDataChunkCreate(ReadCount(f, 0));
    a->chunks[i] = c;
    const int nkeys = ReadCount(f, 0);
    if (nkeys) {
      c->keyblock = static_cast<ZEANIMKEY*>(Zalloc(int64_t(nkeys) * 16));
      ReadExact(f, c->keyblock, int64_t(nkeys) * 16);
    }
    const int ncurves = ReadCount(f, 0);
    if (ncurves) {
      c->curveblock = static_cast<ZEANIMCURVE*>(Zalloc(int64_t(ncurves) * 16));
      ReadExact(f, c->curveblock, int64_t(ncurves) * 16);
      for (int k = 0; k < ncurves; k++) c->curveblock[k].keys = nullptr;  // the writer's pointer
    }
    for (int n = 0; n < c->nnodes; n++) {
      uint8_t nslots = 0;
      ReadExact(f, &nslots, 1);
      if (!nslots) continue;
      if (nslots > 127) ZeError("ZeAnimDataRead: %d slots in a curve set", nslots);
      ZEANIMCURVESET* s = ZeAnimCurveSetCreate(nslots);
      c->sets[n] = s;
      ReadExact(f, &s->flags, 4);
      ReadExact(f, s->consts, 4 * int64_t(nslots));
    }
    LinkChunk(c, nkeys, ncurves);
  }
  return a;
}

namespace {

// Slot k of a set as the writer stores it: nine slots whatever the set holds.
ZEANIMCURVE* SlotCurve(const ZEANIMCURVESET* s, int k) { return k < s->nslots ? s->curves[k].get() : nullptr; }

}  // namespace

void ZeAnimDataWrite(ZEFILE f, const ZEANIMDATA* a) {
  if (a->names) {
    const int n = int(strlen(a->names)) + 1;
    ZeFileWriteInt(f, n);
    ZeFileWrite(f, a->names, n);
  } else {
    ZeFileWriteInt(f, 0);
  }
  ZeFileWriteFloat(f, a->end);
  ZeFileWriteInt(f, a->nchunks);
  for (int i = 0; i < a->nchunks; i++) {
    const ZEANIMCHUNK* c = a->chunks[i];
    ZeFileWriteInt(f, c->nnodes);
    int nkeys = 0, ncurves = 0;
    for (int n = 0; n < c->nnodes; n++)
      if (const ZEANIMCURVESET* s = c->sets[n])
        for (int k = 0; k < ZEANIM_SLOTS; k++)
          if (const ZEANIMCURVE* cv = SlotCurve(s, k)) nkeys += cv->nkeys, ncurves++;
    ZeFileWriteInt(f, nkeys);
    for (int n = 0; n < c->nnodes; n++)
      if (const ZEANIMCURVESET* s = c->sets[n])
        for (int k = 0; k < ZEANIM_SLOTS; k++)
          if (const ZEANIMCURVE* cv = SlotCurve(s, k)) ZeFileWrite(f, cv->keys, cv->nkeys * 16);
    ZeFileWriteInt(f, ncurves);
    for (int n = 0; n < c->nnodes; n++)
      if (const ZEANIMCURVESET* s = c->sets[n])
        for (int k = 0; k < ZEANIM_SLOTS; k++)
          if (const ZEANIMCURVE* cv = SlotCurve(s, k)) ZeFileWrite(f, cv, 16);
    for (int n = 0; n < c->nnodes; n++) {
      const ZEANIMCURVESET* s = c->sets[n];
      if (!s) {
        ZeFileWriteChar(f, 0);
        continue;
      }
      ZeFileWriteChar(f, ZEANIM_SLOTS);
      ZeFileWriteInt(f, s->flags);
      // An animated slot carries the marker the reader links curves by.
      for (int k = 0; k < ZEANIM_SLOTS; k++)
        ZeFileWriteFloat(f, SlotCurve(s, k) ? ZEANIM_FLTMAX : k < s->nslots ? s->consts[k] : 0.0f);
    }
  }
}

// ---- the tagged form --------------------------------------------------------

void ZeAnimKeyWrite(ZEFILE f, const ZEANIMKEY* key) {
  if (key) ZeFileWrite(f, key, 16);
}

int ZeAnimKeyRead(ZEFILE f, ZEANIMKEY* key) {
  ReadExact(f, key, 16);
  return 1;
}

void ZeAnimCurveWrite(ZEFILE f, const ZEANIMCURVE* c) {
  if (!c) {
    ZeFileWriteInt(f, 0);
    return;
  }
  ZeFileWriteInt(f, 1);
  ZeFileWriteInt(f, c->nkeys);
  ZeFileWrite(f, c->mask, 4);
  for (int k = 0; k < c->nkeys; k++) ZeAnimKeyWrite(f, &c->keys[k]);
  ZeFileWriteInt(f, c->flags);
}

ZEANIMCURVE* ZeAnimCurveRead(ZEFILE f) {
  int tag = 0;
  ReadExact(f, &tag, 4);
  if (!tag) return nullptr;
  int nkeys = 0;
  ReadExact(f, &nkeys, 4);
  ZEANIMCURVE* c = ZeAnimCurveCreate(nkeys);  // a count <= 0 is an assertion
  ReadExact(f, c->mask, 4);
  for (int k = 0; k < nkeys; k++) ZeAnimKeyRead(f, &c->keys[k]);
  ReadExact(f, &c->flags, 4);
  return c;
}

void ZeAnimCurveSetWrite(ZEFILE f, const ZEANIMCURVESET* s) {
  if (!s) {
    ZeFileWriteInt(f, 0);
    return;
  }
  ZeFileWriteInt(f, 1);
  ZeFileWriteInt(f, s->flags);
  for (int k = 0; k < ZEANIM_SLOTS; k++) ZeFileWriteFloat(f, k < s->nslots ? s->consts[k] : 0.0f);
  for (int k = 0; k < ZEANIM_SLOTS; k++) ZeAnimCurveWrite(f, SlotCurve(s, k));
}

// ---- time and values --------------------------------------------------------

namespace {

void CalcTime(float end, int nchunks, ZEANIMTIME* t, float f) {
  if (f >= end) {
    if (end == 1.0f) {
      *t = {1.0f, 1.0f, 0, 1, 0, 0};
      return;
    }
    f = end - 0.01f;
  } else if (f < 1.0f) {
    f = 1.0f;
  }
  // An end frame below 1.01 (or a NaN) must not give chunk -1 and slot -1.
  if (!(f >= 1.0f)) f = 1.0f;
  t->frame = f;
  int chunk = (EeFtoi(f) - 1) >> 5;
  if (chunk >= nchunks) chunk = nchunks - 1;
  if (chunk < 0) chunk = 0;
  t->chunk = chunk;
  t->tchunk = f - float(32 * chunk);
  int slot = EeFtoi(std::floor(t->tchunk)) - 1;
  // A chunk count short of the end frame would reach past the four mask bytes.
  if (slot > 31) slot = 31;
  t->slot = slot;
  t->maskbyte = uint32_t(slot / 8);
  t->keymask = ((1u << (slot % 8 + 1)) - 1) & 0xff;
}

inline float Hermite(float frame, float t0, float i0, float y0, float g0, float t1, float y1, float g1) {
  const float d = t1 - t0;
  const float s = (frame - t0) * i0;
  const float m0 = g0 * d, m1 = g1 * d, D = y0 - y1;
  return y0 + s * (m0 + s * (-3.0f * D - 2.0f * m0 - m1 + s * (2.0f * D + m0 + m1)));
}

inline float HermiteTangents(float s, float y0, float y1, float m0, float m1) {
  const float D = y0 - y1;
  return y0 + s * (m0 + s * (-3.0f * D - 2.0f * m0 - m1 + s * (2.0f * D + m0 + m1)));
}

}  // namespace

void ZeAnimDataCalcTime(const ZEANIMDATA* a, ZEANIMTIME* t, float frame) { CalcTime(a->end, a->nchunks, t, frame); }

void ZeAnimData2CalcTime(const ZEANIMDATA2* a, ZEANIMTIME* t, float frame) { CalcTime(a->end, a->nchunks, t, frame); }

float ZeAnimCurveCalcVal2(const ZEANIMCURVE* c, const ZEANIMTIME* t) {
  const int n = ZeAnimKeysTo(c->mask, t);
  const ZEANIMKEY* k = c->keys + (n - 1);
  if (c->flags & 1) return k[0].value;
  return Hermite(t->frame, k[0].time, k[0].invint, k[0].value, k[0].tangent, k[1].time, k[1].value, k[1].tangent);
}

float ZeAnimCurve2CalcValEx(const uint32_t* word, const ZEANIMTIME* t, int keytype) {
  const auto* c = static_cast<const ZEANIMCURVE2*>(EeAddrToPtr(*word));
  if (keytype == ZEANIMKEYTYPE_BOOLEAN) {
    // The slot is floor(time within chunk) - 1, kept within the word.
    const uint32_t bit = c->masks[t->chunk] & (1u << t->slot);
    return float(bit);
  }
  if (keytype == ZEANIMKEYTYPE_NONE) ZeError("ZeAnimCurve2CalcVal: should have already evaluated ZEANIMKEYTYPE_NONE");
  if (keytype < 0 || keytype > ZEANIMKEYTYPE_BOOLEAN) return 0.0f;
  uint32_t mask = c->masks[t->chunk];
  const int n = c->firstkeys[t->chunk] + ZeAnimKeysTo(reinterpret_cast<const uint8_t*>(&mask), t);
  switch (keytype) {
    case ZEANIMKEYTYPE_HERMITE: {
      const ZEANIMKEY2* k = static_cast<const ZEANIMKEY2*>(c->keydata.get()) + (n - 1);
      return Hermite(t->frame, k[0].time, k[0].invint, k[0].value, k[0].tangent, k[1].time, k[1].value, k[1].tangent);
    }
    case ZEANIMKEYTYPE_PACKED: {
      const float* scales = static_cast<const float*>(c->keydata.get());
      const auto* k = reinterpret_cast<const ZEANIMKEYPACKED*>(scales + 2) + (n - 1);
      const float ts = scales[0], vs = scales[1];
      const float f0 = float(k[0].frame), f1 = float(k[1].frame);
      const float d = f1 - f0;
      const float s = (t->frame - 1.0f - f0) / d;
      return HermiteTangents(s, float(k[0].value) * vs, float(k[1].value) * vs, float(k[0].tangent) * ts * d,
                             float(k[1].tangent) * ts * d);
    }
    default:  // step
      return static_cast<const ZEANIMKEYSTEP*>(c->keydata.get())[n - 1].value;
  }
}
