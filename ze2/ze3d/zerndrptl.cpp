// Particle groups and their packets (the particle program's chunks, the
// per-type block, the header of each render type) and the effect program's
// jobs: one sprite, the fixed-blend sprites and the sprite sets, drawn in
// absolute screen coordinates (docs/vu1.md, "ptl" and "fx").
#include "zerndr_local.h"
#include "zestream_local.h"

#include <initializer_list>

void* testforcepart = nullptr;
int debugpart = 0;

namespace {

constexpr uint32_t UNPACK_FLG = 0x8000;
constexpr uint32_t Unpack(int qwords, int addr, bool rel) {
  return 0x6c000000u | uint32_t(qwords & 0xff) << 16 | uint32_t(addr & 0x3ff) | (rel ? UNPACK_FLG : 0);
}
constexpr uint32_t VIFCODE_MSCNT = 0x17000000;

enum { GR_RGBAQ = 1, GR_ST = 2, GR_UV = 3, GR_XYZ2 = 5, GR_AD = 14 };

// A GIF tag from its fields and up to 16 register nibbles.
void GifTag(uint32_t* q, int nloop, bool eop, bool pre, int prim, int flg, std::initializer_list<int> regs) {
  uint64_t lo = uint64_t(nloop & 0x7fff) | uint64_t(eop) << 15 | uint64_t(pre) << 46 | uint64_t(prim & 0x7ff) << 47 |
                uint64_t(flg & 3) << 58 | uint64_t(regs.size() & 15) << 60;
  uint64_t hi = 0;
  int i = 0;
  for (int r : regs) hi |= uint64_t(r & 15) << (4 * i++);
  q[0] = uint32_t(lo);
  q[1] = uint32_t(lo >> 32);
  q[2] = uint32_t(hi);
  q[3] = uint32_t(hi >> 32);
}

// The templates of the render types (strip quads, sprites) and of the chunks.
void StripTemplate(uint32_t* q, bool rgbaFirst) {
  if (rgbaFirst)
    GifTag(q, 32, true, true, GS_PRIM_TRISTRIP, GIF_FLG_PACKED,
           {GR_RGBAQ, GR_UV, GR_XYZ2, GR_UV, GR_XYZ2, GR_UV, GR_XYZ2, GR_UV, GR_XYZ2});
  else
    GifTag(q, 32, true, true, GS_PRIM_TRISTRIP, GIF_FLG_PACKED,
           {GR_UV, GR_RGBAQ, GR_XYZ2, GR_UV, GR_XYZ2, GR_UV, GR_XYZ2, GR_UV, GR_XYZ2});
}
void SpriteTemplate(uint32_t* q) {
  GifTag(q, 32, true, true, GS_PRIM_SPRITE, GIF_FLG_PACKED, {GR_UV, GR_RGBAQ, GR_XYZ2, GR_UV, GR_XYZ2});
}

uint32_t* Words(uint32_t* p, std::initializer_list<uint32_t> w) {
  for (uint32_t x : w) *p++ = x;
  return p;
}

}  // namespace

// ---- particle packets ----------------------------------------------------------

void* CreateDmaParticleSet(void* buffer, int* size) {
  uint32_t* p = static_cast<uint32_t*>(buffer);
  uint32_t* q = vpDmaTag_RetEx(p, VIFCODE_NOP, Unpack(65, 0, true));
  StripTemplate(q, false);
  memset(q + 4, 0, 64 * 16);
  q = Words(q + 4 + 64 * 4, {VIFCODE_MSCNT});
  q = vpDmaTag_Close(q);
  if (size) *size = int((q - p) * 4);
  return buffer;
}

void* CreateDmaParticleSetGlass(void* buffer, int* size) {
  uint32_t* p = static_cast<uint32_t*>(buffer);
  uint32_t* q = vpDmaTag_RetEx(p, VIFCODE_NOP, Unpack(25, 0, true));
  GifTag(q, 24, true, true, GS_PRIM_TRISTRIP, GIF_FLG_PACKED,
         {GR_ST, GR_RGBAQ, GR_XYZ2, GR_ST, GR_XYZ2, GR_RGBAQ, GR_ST, GR_XYZ2, GR_RGBAQ, GR_ST, GR_XYZ2, GR_ST, GR_XYZ2});
  memset(q + 4, 0, 24 * 16);
  q = vpDmaTag_Close(Words(q + 4 + 24 * 4, {VIFCODE_MSCNT}));
  if (size) *size = int((q - p) * 4);
  return buffer;
}

void* CreateDmaPartEffectList(void* buffer, int* size) {
  DebrisDmaTypeInfo* t = static_cast<DebrisDmaTypeInfo*>(buffer);
  memset(t, 0, sizeof *t);
  uint32_t* q = vpDmaTag_RetEx(t->header_tag, VIFCODE_FLUSH, Unpack(2, 0x3b, false));
  vpDmaTag_Close(q + 8);
  q = vpDmaTag_RetEx(t->block_tag, VIFCODE_FLUSH, Unpack(131, 0x3d, false));
  q = vpDmaTag_Close(Words(q + 131 * 4, {VIFCODE_MSCAL | 0x302}));
  if (size) *size = int(sizeof *t);
  return buffer;
}

void LinkDmaParticalSets(void** packets, int n) {
  // The tags keep IRQ, PCE and QWC, and bit 31 of the address word.
  constexpr uint32_t KEEP = 0x80000000u | 0x0c000000u | 0xffffu;
  for (int i = 0; i < n; i++) {
    uint32_t* tag = static_cast<uint32_t*>(packets[i]);
    const bool last = i == n - 1;
    tag[0] = (tag[0] & KEEP) | uint32_t(last ? DMATAG_RET : DMATAG_NEXT) << 28;
    tag[1] = (tag[1] & 0x80000000u) | (last ? 0u : EeAddrOf(packets[i + 1]) & 0x7fffffffu);
  }
}

void PartDebugHeader(void* record, int type) {
  static const uint16_t CODE[8] = {0x302, 0x300, 0x306, 0x304, 0x30a, 0x308, 0x30c, 0x30e};
  if (type < 0 || type > 7) return;
  DebrisDmaTypeInfo* t = static_cast<DebrisDmaTypeInfo*>(record);
  uint32_t code = CODE[type];
  if ((type == 4 || type == 5) && debugpart) code = 0x310;
  if (type != 4 && type != 5) {
    // The type's output template, to the particle stream's input buffer.
    ZERNDRSTREAM* s = rndrstream_ptl;
    ZeRndrStreamCheckSpace(s->write, 48);
    uint32_t* q = vpDmaTag_CntEx(s->write, VIFCODE_NOP, Unpack(1, 0, true));
    if (type == 2 || type == 3 || type == 7) SpriteTemplate(q);
    else StripTemplate(q, type == 1);
    s->write = vpDmaTag_Close(q + 4);
  }
  t->start[0] = VIFCODE_MSCAL | code;
}

void ZeRndrParticleGroup(void* chain, void* record, ZEMTL* mtl, const ZEMTX* m, int type, float a, float b, float c,
                         float d) {
  DebrisDmaTypeInfo* t = static_cast<DebrisDmaTypeInfo*>(testforcepart ? testforcepart : record);
  const float words[4] = {a, b / 16384.0f, c / 4096.0f, d};
  memcpy(&t->header[3], words, 16);  // words 7-10 of the record
  uint32_t* header = static_cast<uint32_t*>(ZeRndrStreamAlloc(3));
  memcpy(header, t, 48);

  ZERNDRSTREAM* s = rndrstream_ptl;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeRndrEndSegment(s, vpDmaTag_Close(vpDmaTag_CntEx(s->write, VIFCODE_FLUSHA, 0)));

  ZeRndrSetLocalMtx(m, 1);
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  s->view_mtx_id = -1;
  ZeRndrStreamSetViewMtx(s);
  ZeRndrStreamSetLocalMtx(s);
  ZeRndrStreamAddMtl(s, mtl);
  PartDebugHeader(t, type);
  ZeRndrStreamCheckSpace(s->write, 4 * 16 + 16);
  uint32_t* p = vpDmaTag_Call(s->write, header);
  p = vpDmaTag_Call(p, t->block_tag);
  if (chain) p = vpDmaTag_Call(p, chain);
  ZeRndrEndSegment(s, vpDmaTag_Close(vpDmaTag_CntEx(p, VIFCODE_FLUSHA, 0)));
}

// ---- effect jobs -------------------------------------------------------------

namespace {

// The job packet's head at p: the ret tag uploading qwords to relative 0,
// then the colour template (PRE only for the sprite sets) and the sprite
// template. Returns the position after them.
uint32_t* JobHead(uint32_t* p, int qwords, bool prePrim) {
  uint32_t* q = vpDmaTag_RetEx(p, VIFCODE_FLUSHA, Unpack(qwords, 0, true));
  GifTag(q, 1, true, prePrim, GS_PRIM_SPRITE, GIF_FLG_PACKED, {GR_RGBAQ});
  GifTag(q + 4, 1, true, true, GS_PRIM_SPRITE, GIF_FLG_REGLIST, {GR_ST, GR_XYZ2, GR_ST, GR_XYZ2});
  return q + 8;
}
uint32_t* JobEnd(uint32_t* q, int code) { return vpDmaTag_Close(Words(q, {VIFCODE_MSCAL | uint32_t(code), VIFCODE_FLUSHA})); }

uint32_t FloatWord(float f) { return ZeRndrFloatBits(f); }

void CheckSet(int n, int most) {
  if (n < 0 || n > most) ZeError("effect sprite set of %d sprites (at most %d)", n, most);
}

// One sprite from data words 0-3 (floats) and 4 (int: converted or not).
void* OneSprite(int code, const void* data, bool convert) {
  const uint32_t* w = static_cast<const uint32_t*>(data);
  uint32_t* p = static_cast<uint32_t*>(ZeRndrStreamAlloc(16));
  uint32_t* q = JobHead(p, 4, false);
  q = Words(q, {w[0], w[1], w[2], w[3], convert ? FloatWord(float(int32_t(w[4]))) : w[4], 0, 0, 0});
  JobEnd(q, code);
  return p;
}

// A sprite set's packet: per quadwords a sprite in stream memory
// (*packet), the templates and the set's header words (hw: the record).
uint32_t* SetHead(uint32_t** packet, int code, int n, int most, int per, const uint32_t* hw) {
  CheckSet(n, most);
  *packet = static_cast<uint32_t*>(ZeRndrStreamAlloc(per * n + 8));
  uint32_t* q = JobHead(*packet, per * n + 4, true);
  return Words(q, {hw[0], 0, hw[1], uint32_t(n), hw[5], hw[6], hw[3], hw[4]});
}
// (0, 0, 0, depth) and the colour's bytes as words.
uint32_t* SpriteHead(uint32_t* q, int32_t base, uint32_t c) {
  return Words(q, {0, 0, 0, uint32_t(base), c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff, c >> 24});
}

uint32_t* A_D(uint32_t* q, int reg, uint64_t v) { return Words(q, {uint32_t(v), uint32_t(v >> 32), uint32_t(reg), 0}); }

}  // namespace

void* ZeRndrFxSpriteSet(int code, const ZEFXSPRITESET* set) {
  uint32_t* p;
  uint32_t* q = SetHead(&p, code, set->n, 16, 5, reinterpret_cast<const uint32_t*>(set));
  auto a = [&](int k, int i) { return FloatWord(set->a[k - 1][i]); };  // A1 .. A12
  for (int i = 0; i < set->n; i++) {
    q = SpriteHead(q, set->base[i], set->colour[i]);
    q = Words(q, {a(3, i), a(4, i), a(1, i), a(2, i), a(7, i), a(8, i), a(5, i), a(6, i)});
    q = Words(q, {a(11, i), a(12, i), a(9, i), a(10, i)});
  }
  JobEnd(q, code);
  return p;
}

void* ZeRndrFxSprite2Set(int code, const ZEFXSPRITE2SET* set) {
  uint32_t* p;
  uint32_t* q = SetHead(&p, code, set->n, 8, 8, reinterpret_cast<const uint32_t*>(set));
  for (int i = 0; i < set->n; i++) {
    q = SpriteHead(q, set->base[i], set->colour[i]);
    for (int j = 0; j < 6; j++)
      q = Words(q, {FloatWord(set->a[4 * j + 2][i]), FloatWord(set->a[4 * j + 3][i]), FloatWord(set->a[4 * j][i]),
                    FloatWord(set->a[4 * j + 1][i])});
  }
  JobEnd(q, code);
  return p;
}

void* ZeRndrFxBlueAndGreenData(int code, const void*) {
  uint32_t* p = static_cast<uint32_t*>(ZeRndrStreamAlloc(24));
  uint32_t* q = vpDmaTag_RetEx(p, VIFCODE_FLUSHA, Unpack(21, 0, true));
  GifTag(q, 1, true, false, GS_PRIM_SPRITE, GIF_FLG_PACKED, {GR_RGBAQ});
  GifTag(q + 4, 1, true, false, 0, GIF_FLG_PACKED, {GR_AD});
  q = A_D(q + 8, GS_ALPHA_1, 10);
  q = A_D(q, GS_ALPHA_1, 0x8000000068ull);
  GifTag(q, 1, true, true, GS_PRIM_SPRITE, GIF_FLG_REGLIST, {GR_ST, GR_XYZ2, GR_ST, GR_XYZ2});
  q += 4;
  for (int i = 0; i < 8; i++) {
    const float s = float(i) * 128.0f / 1024.0f + 0.0625f;
    const int x = (i & 1) * 320, y = (i & ~1) * 256;
    q = Words(q, {FloatWord(0.0f), FloatWord(s), FloatWord(float(x * 16)), FloatWord(float(y))});
    q = Words(q, {FloatWord(0.015625f), FloatWord(s), FloatWord(float((x + 64) * 16)), FloatWord(float(y))});
  }
  JobEnd(q, code);
  return p;
}

void* ZeRndrFxBlueOrGreenData(int code, const void* data) { return OneSprite(code, data, false); }

void ZeRndrFxCode(int code, const void* data, void* extra, ZEMTL* mtl) {
  void* job;
  switch (code) {
    case 0x300:
    case 0x302: job = OneSprite(code, data, true); break;
    case 0x304: job = ZeRndrFxBlueAndGreenData(code, data); break;
    case 0x306: job = ZeRndrFxSpriteSet(code, static_cast<const ZEFXSPRITESET*>(data)); break;
    case 0x308:
    case 0x30a: job = ZeRndrFxSprite2Set(code, static_cast<const ZEFXSPRITE2SET*>(data)); break;
    default: return;
  }
  ZERNDRSTREAM* s = rndrstream_fx;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeRndrStreamAddMtl(s, mtl);
  // The job draws in absolute screen coordinates.
  uint32_t* p = ZeRndrCloseAd(ZeRndrPutAd(ZeRndrOpenAd(s->write, VIFCODE_FLUSHA, 0), GS_XYOFFSET_1, 0));
  if (extra) p = vpDmaTag_Call(p, extra);
  p = vpDmaTag_Call(p, job);
  // Restored to the target's centre, without the half pixel.
  const uint64_t x = uint64_t((PS2_VCNTR_X - int(ZePs2GetRenderWidth()) / 2) * 16);
  const uint64_t y = uint64_t((PS2_VCNTR_Y - int(ZePs2GetRenderHeight()) / 2) * 16);
  p = ZeRndrCloseAd(ZeRndrPutAd(ZeRndrOpenAd(p, VIFCODE_FLUSHA, 0), GS_XYOFFSET_1, x | y << 32));
  ZeRndrEndSegment(s, p);
}
