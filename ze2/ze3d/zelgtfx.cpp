// Light unit: the effect surfaces and their materials, the static sprite
// packets, the per-frame surface set-up, the GS mode packets and the pool
// of directional lights.
#include "zelgt_local.h"

ZETEXID ZeLgtHSurf[ZELGT_SURFACES];
ZEMTL* ZeLgtSurf[ZELGT_SURFACES];
ZETEXID ZeLgtHLightMat[ZELGT_LIGHT_MATS];
ZEMTL* ZeLgtLightMat[ZELGT_LIGHT_MATS];
ZETEXID ZeLgtHFogMat[3];
ZEMTL* ZeLgtFogMat[3];
ZEMTL *ZeLightZMat, *ZeLightZBufMat, *ZeLgtBackBuff, *ZeLgtBackAlphaBuff, *ZeLightAddMat, *ZeLightAddMat2,
    *ZeLgtGreyMat, *ZeLgtGreyNZMat;
uint16_t ZeLgtSeed = 12345;
uint32_t ZeLgtCount111, ZeLgtCount371;
ZELIGHT ZeLightPool[ZELGT_LIGHTS];
uint32_t *ZeLgtFxSetCall, *ZeLgtFxFogCop, *ZeLgtFxFogClr;
uint32_t* ZeLgtBuff;

namespace {

// The unit's own packet memory: the three start-up packets and what
// modules build with the sprite-packet calls.
constexpr int LGT_AREA_WORDS = 8192;
alignas(16) uint32_t g_area[LGT_AREA_WORDS];
uint32_t* g_gifTag = nullptr;  // the open REGLIST packet's GIF tag
int g_loops = 0;

// Directional slots fed to the streams.
struct DirSlot {
  ZEVEC dir;
  ZEVEC colour;
  ZELIGHT* light;
  uint32_t stamp;
};
DirSlot g_dir[3];
ZEVEC g_ambient;
uint32_t g_stamp;

// ---- surfaces and materials ----

enum Size { S_WH, S_W4H, S_W2H, S_256 };
struct SurfRow {
  int k, type;
  Size size;
};
// Attribute fields of a material row: alpha mode, filter, wrap u and v,
// bits 12-13, depth mode, lighting, bit 18; then the low flag word, alpha.
struct Attr {
  int blend, filter, wu, wv, misc, depth, lighting, vtx;
  uint32_t flags;
  float alpha;
};
constexpr Attr A_COPY = {0, 0, 1, 1, 2, 3, 2, 1, 0x11, 0.999f};
constexpr float A_THIRD = 0.10101f;

ZETEXID MakeSurface(int type, Size size) {
  const int w = PS2_REZ_W, h = PS2_REZ_H;
  ZETEX img{};
  img.type = type;
  img.width = size == S_256 ? 256 : w;
  img.height = size == S_256 ? 256 : size == S_W4H ? 4 * h : size == S_W2H ? 2 * h : h;
  return ZeTexCreate(&img);
}

ZEMTL* MakeMtl(ZETEXID tex, const Attr& a, int pri, bool defaults) {
  ZEMTL* m = ZeMtlCreateEx(1, 23);
  if (!defaults) {
    m->diffuse[0] = m->diffuse[1] = m->diffuse[2] = 1.0f;
    m->sort_priority = int16_t(pri);
    m->alpha = a.alpha;
  }
  m->texture = tex;
  uint32_t at = m->attributes;
  auto set = [&at](int shift, int width, int v) {
    const uint32_t mask = ((1u << width) - 1) << shift;
    at = (at & ~mask) | (uint32_t(v) << shift & mask);
  };
  set(ZEMTLATTR_BLEND, 4, a.blend);
  set(ZEMTLATTR_FILTER, 2, a.filter);
  set(ZEMTLATTR_UWRAP, 2, a.wu);
  set(ZEMTLATTR_VWRAP, 2, a.wv);
  set(ZEMTLATTR_MISC, 2, a.misc);
  set(ZEMTLATTR_DEPTH, 2, a.depth);
  set(ZEMTLATTR_LIGHTING, 2, a.lighting);
  set(ZEMTLATTR_VTXCOL, 1, a.vtx);
  m->attributes = at;
  m->render_flags = a.flags;
  ZeMtlUpdate(m);
  return m;
}

Attr Mode(int blend, int filter, int depth, float alpha = 0.999f) {
  Attr a = A_COPY;
  a.blend = blend, a.filter = filter, a.depth = depth, a.alpha = alpha;
  return a;
}

// The attribute row of surface k's material.
Attr SurfAttr(int k) {
  switch (k) {
    case 2: {
      Attr a = Mode(3, 1, 3);
      a.flags = 0x71;
      return a;
    }
    case 6: case 16: return Mode(2, 0, 1);
    case 9: case 11: case 15: return Mode(0, 0, 1);
    case 10: return Mode(1, 1, 1, A_THIRD);
    case 12: return Mode(1, 0, 1);
    case 13: case 22: return Mode(2, 1, 1);
    case 14: case 26: case 17: return Mode(2, 0, 3);
    case 18: {
      Attr a = Mode(1, 1, 0);
      a.wu = a.wv = 0;
      return a;
    }
    case 23: return Mode(1, 0, 3);
    case 24: {
      Attr a = Mode(1, 0, 1);
      a.flags = 0x15;
      return a;
    }
    case 25: return Mode(1, 1, 3, A_THIRD);
    default: return A_COPY;
  }
}

const SurfRow SURFACES[] = {
    {1, 18, S_WH},  {2, 14, S_WH},  {3, 17, S_WH},  {4, 14, S_WH},  {5, 15, S_WH},  {6, 10, S_WH},
    {7, 14, S_WH},  {8, 14, S_WH},  {9, 14, S_WH},  {10, 14, S_WH}, {11, 14, S_WH}, {12, 14, S_WH},
    {13, 14, S_W4H}, {14, 9, S_W4H}, {15, 14, S_WH}, {16, 10, S_WH}, {17, 15, S_WH}, {18, 14, S_256},
    {20, 19, S_W2H}, {21, 16, S_W2H}, {22, 10, S_WH}, {23, 14, S_WH}, {24, 14, S_WH}, {25, 15, S_WH},
    {26, 14, S_WH},
};

void Surface(int k) {
  for (const SurfRow& r : SURFACES)
    if (r.k == k) {
      ZeLgtHSurf[k] = MakeSurface(r.type, r.size);
      ZeLgtSurf[k] = MakeMtl(ZeLgtHSurf[k], SurfAttr(k), 0x80, false);
      return;
    }
}

void GreyRamp(ZETEXID t) {
  uint32_t pal[256];
  for (uint32_t i = 0; i < 256; i++) pal[i] = i * 0x01010101u;
  ZeTexPalChange(t, pal);
}
void ReversedRamp(ZETEXID t) {
  uint32_t pal[256];
  for (uint32_t j = 0; j < 256; j++) {
    const uint32_t g = 255 - j;
    pal[j] = g * 0x010101u + ((g >> 2) << 24);
  }
  ZeTexPalChange(t, pal);
}
// The effect-parameter block of the palettised screen views: the screen
// offset and scale that turn pixels into texture coordinates.
void EffectBlock(ZEMTL* m, bool reduced) {
  const float w = float(PS2_REZ_W), h = float(PS2_REZ_H);
  const float pw = float(ZePower2(PS2_REZ_W)), ph = float(ZePower2(PS2_REZ_H));
  float e[8];
  if (reduced) {
    e[0] = ((w * 0.5f * 16.0f - 32768.0f) * 256.0f) / (pw * 10240.0f) + 384.0f / pw;
    e[1] = (h * 0.5f * 16.0f - 32768.0f) / (ph * 16.0f);
    e[4] = 256.0f / (pw * 10240.0f);
  } else {
    e[0] = (w * 8.0f - 32760.0f) / (pw * 16.0f);
    e[1] = (h * 8.0f - 32760.0f) / (ph * 16.0f);
    e[4] = 1.0f / (pw * 16.0f);
  }
  e[2] = e[3] = 0.0f;
  e[5] = 1.0f / (ph * 16.0f);
  e[6] = e[7] = 32.0f;
  memcpy(m->effect_block.get(), e, sizeof e);
}

// ---- the unit's packet memory ----

uint32_t* AreaCheck(uint32_t* p, int words) {
  if (p + words > g_area + LGT_AREA_WORDS) ZeError("Light unit packet area full");
  return p;
}

uint32_t* OpenList(uint32_t tagbits, int nreg, const int* regs) {
  uint32_t* p = AreaCheck(ZeLgtBuff, 16);
  uint32_t* start = p;
  p = vpDmaTag_RetEx(p, VIFCODE_NOP, 0);
  start[0] |= tagbits & 0xffff0000u;
  vtBeginDirect(start + 3, 0);
  uint64_t list = 0;
  for (int i = 0; i < nreg; i++) list |= uint64_t(regs[i]) << (4 * i);
  g_gifTag = p;
  g_loops = 0;
  p[0] = 0x8000u;  // EOP; NLOOP filled at the close
  p[1] = uint32_t(GIF_FLG_REGLIST) << 26 | uint32_t(nreg & 15) << 28;
  p[2] = uint32_t(list);
  p[3] = uint32_t(list >> 32);
  ZeLgtBuff = p + 4;
  return start;
}

}  // namespace

// ---- packet words ----

uint32_t* ZeLgtSpriteRegs(uint32_t* p, float s0, float t0, int x0, int y0, int x1, int y1, uint32_t colour, uint32_t z,
                          float s1, float t1) {
  p = ZeRndrPutD(p, GS_PRIM_SPRITE);
  p = ZeRndrPutD(p, ZeLgtRgbaq(colour));
  p = ZeRndrPutD(p, ZeLgtSt(s0, t0));
  p = ZeRndrPutD(p, ZeLgtXyz(x0, y0, z));
  p = ZeRndrPutD(p, ZeLgtSt(s1, t1));
  return ZeRndrPutD(p, ZeLgtXyz(x1, y1, z));
}

int ZeLgtX0() { return (PS2_VCNTR_X - zerndr_pixel_width / 2) * 16; }
int ZeLgtY0() { return (PS2_VCNTR_Y - zerndr_pixel_height / 2) * 16; }

uint32_t* ZeLgtModePacket(uint32_t* p, ZETEXID frameTex, uint32_t framemask, ZETEXID zTex, int zpsm, int zmask) {
  p = ZeRndrOpenAd(p, VIFCODE_FLUSH, 0);
  if (zpsm >= 0) {
    ZETEXSLOT* z = ZeTexLiveSlot(zTex);
    if (z)
      p = ZeRndrPutAd(p, GS_ZBUF_1,
                      uint64_t(ZeTexAddr(z) >> 5) | uint64_t(zpsm & 15) << 24 | uint64_t(zmask & 1) << 32);
  }
  uint64_t frame = cur_rt & 0xffffffffull;
  if (ZETEXSLOT* f = frameTex > 0 ? ZeTexLiveSlot(frameTex) : nullptr)
    frame = uint64_t((ZeTexAddr(f) / 32) & 0x1ff) | uint64_t(f->ps2.level_tbw[0] & 63) << 16 |
            uint64_t(f->ps2.psm & 63) << 24;
  p = ZeRndrPutAd(p, GS_FRAME_1, frame | uint64_t(framemask) << 32);
  return ZeRndrCloseAd(p);
}

void ZeLgtUseMtl(ZERNDRSTREAM* s, ZEMTL* mtl, uint64_t alpha) {
  // Made current afresh: the passes rewrite the material's GS state.
  ZeRndrStreamAddMtl(s, nullptr);
  s->tid = 0;
  ZeRndrStreamAddMtl(s, mtl);
  if (alpha != ~0ull) {
    uint32_t* p = ZeRndrOpenAd(s->write, VIFCODE_NOP, 0);
    p = ZeRndrPutAd(p, GS_ALPHA_1, alpha);
    s->write = ZeRndrCloseAd(p);
  }
  // Ended, so that a later link of the stream keeps it.
  ZeRndrEndSegment(s, s->write);
}

ZERNDRSTREAM* ZeLgtBeginFx(ZEMTL* mtl, uint64_t alpha) {
  ZERNDRSTREAM* s = rndrstream_fx;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  if (mtl) ZeLgtUseMtl(s, mtl, alpha);
  ZEMTX id;
  ZeMtxSetIdentity(&id);
  ZeRndrSetLocalMtx(&id, 2);
  s->view_mtx_id = -1;
  ZeRndrStreamSetViewMtx(s);
  ZeRndrStreamSetLocalMtx(s);
  ZeRndrStreamFxMPGEx(1, s);
  return s;
}

uint32_t* ZeLgtOpenSprites(ZERNDRSTREAM* s) {
  uint32_t* tag = s->write;
  uint32_t* p = vpDmaTag_CntEx(tag, VIFCODE_FLUSHE, 0);
  vtBeginDirect(tag + 3, 0);
  g_gifTag = p;
  p[0] = 0x8000u;
  p[1] = uint32_t(GIF_FLG_REGLIST) << 26 | 6u << 28;
  p[2] = uint32_t(GSR_PRIM) | uint32_t(GSR_RGBAQ) << 4 | uint32_t(GSR_ST) << 8 | uint32_t(GSR_XYZ2) << 12 |
         uint32_t(GSR_ST) << 16 | uint32_t(GSR_XYZ2) << 20;
  p[3] = 0;
  return p + 4;
}

void ZeLgtCloseSprites(ZERNDRSTREAM* s, uint32_t* end) {
  const uint32_t n = uint32_t((end - g_gifTag - 4) / 12);
  g_gifTag[0] = (g_gifTag[0] & ~0x7fffu) | (n & 0x7fff);
  ZeRndrEndSegment(s, vpDmaTag_Close(vtCloseDirect(end)));
}

uint32_t* ZeLgtColumnSprites(uint32_t* p, int x0, int x1, int y0, int y1, uint32_t colour, uint32_t z, float su,
                             float tv) {
  const int ox = ZeLgtX0(), oy = ZeLgtY0();
  for (int c = x0; c < x1;) {
    const int e = std::min(x1, (c / 64 + 1) * 64);
    p = ZeLgtSpriteRegs(p, float(c) * su, float(y0) * tv, ox + c * 16, oy + y0 * 16, ox + e * 16, oy + y1 * 16,
                        colour, z, float(e) * su, float(y1) * tv);
    c = e;
  }
  return p;
}

// ---- GS packet operations ----

void ZeLigthSetModeMaskRS(ZERNDRSTREAM* s, ZETEXID tex, int zpsm, uint32_t framemask, int zmask) {
  ZeRndrStreamLink(s);
  uint32_t* p = ZeRndrOpenAd(s->write, VIFCODE_FLUSH, 0);
  ZETEXSLOT* z = tex > 0 ? ZeTexLiveSlot(tex) : nullptr;
  if (z)
    p = ZeRndrPutAd(p, GS_ZBUF_1,
                    uint64_t(ZeTexAddr(z) >> 5) | uint64_t(zpsm & 15) << 24 | uint64_t(zmask & 1) << 32);
  p = ZeRndrPutAd(p, GS_FRAME_1, (cur_rt & 0xffffffffull) | uint64_t(framemask) << 32);
  ZeRndrEndSegment(s, ZeRndrCloseAd(p));
}
void ZeLigthSetModeMask(ZETEXID tex, int zpsm, uint32_t framemask, int zmask) {
  ZeLigthSetModeMaskRS(rndrstream_3d, tex, zpsm, framemask, zmask);
}

void ZeLgtRectUV3di(float s0, float t0, int x, int y, int w, int h, uint32_t colour, uint32_t z, float s1, float t1) {
  ZERNDRSTREAM* s = rndrstream_3d;
  ZeRndrStreamLink(s);
  uint32_t* p = ZeLgtOpenSprites(s);
  x += ZeLgtX0(), y += ZeLgtY0();
  ZeLgtCloseSprites(s, ZeLgtSpriteRegs(p, s0, t0, x, y, x + w, y + h, colour, z, s1, t1));
}

uint32_t* ZeLgtSetSpriteMode(uint32_t* p, uint32_t colour) {
  p = ZeRndrPutD(p, GS_PRIM_SPRITE);
  return ZeRndrPutD(p, ZeLgtRgbaq(colour));
}
uint32_t* ZeLgtRect3di(uint32_t* p, int x, int y, int w, int h, uint32_t colour) {
  p = ZeLgtSetSpriteMode(p, colour);
  p = ZeRndrPutD(p, ZeLgtSt(0, 0));
  p = ZeRndrPutD(p, ZeLgtXyz(x, y, 0));
  p = ZeRndrPutD(p, ZeLgtSt(0, 0));
  return ZeRndrPutD(p, ZeLgtXyz(x + w, y + h, 0));
}

uint32_t* ZeLightSprDmaOpen(uint32_t tagbits) {
  static const int regs[6] = {GSR_PRIM, GSR_RGBAQ, GSR_ST, GSR_XYZ2, GSR_ST, GSR_XYZ2};
  return OpenList(tagbits, 6, regs);
}
uint32_t* ZeLightQuadDmaOpen(uint32_t tagbits) {
  static const int regs[10] = {GSR_PRIM, GSR_RGBAQ, GSR_ST, GSR_XYZ2, GSR_ST, GSR_XYZ2, GSR_ST, GSR_XYZ2, GSR_ST, GSR_XYZ2};
  return OpenList(tagbits, 10, regs);
}
void ZeLightSprMake(float s0, float t0, int x, int y, int w, int h, uint32_t colour, uint32_t z, float s1, float t1) {
  ZeLgtBuff = ZeLgtSpriteRegs(AreaCheck(ZeLgtBuff, 12), s0, t0, x, y, x + w, y + h, colour, z, s1, t1);
  g_loops++;
}
void ZeLightQuadMake(float s0, float t0, int x, int y, int w, int h, uint32_t colour, uint32_t z, float s1, float t1) {
  uint32_t* p = AreaCheck(ZeLgtBuff, 20);
  p = ZeRndrPutD(p, GS_PRIM_TRISTRIP);
  p = ZeRndrPutD(p, ZeLgtRgbaq(colour));
  p = ZeRndrPutD(p, ZeLgtSt(s0, t0)), p = ZeRndrPutD(p, ZeLgtXyz(x, y, z));
  p = ZeRndrPutD(p, ZeLgtSt(s1, t0)), p = ZeRndrPutD(p, ZeLgtXyz(x + w, y, z));
  p = ZeRndrPutD(p, ZeLgtSt(s0, t1)), p = ZeRndrPutD(p, ZeLgtXyz(x, y + h, z));
  p = ZeRndrPutD(p, ZeLgtSt(s1, t1)), p = ZeRndrPutD(p, ZeLgtXyz(x + w, y + h, z));
  ZeLgtBuff = p;
  g_loops++;
}
void ZeLightSprDmaClose() {
  uint32_t* end = ZeLgtBuff;
  // An odd register count pads the list to a quadword.
  while ((end - g_gifTag) & 3) *end++ = 0;
  g_gifTag[0] = (g_gifTag[0] & ~0x7fffu) | uint32_t(g_loops & 0x7fff);
  ZeLgtBuff = vpDmaTag_Close(vtCloseDirect(end));
}

// ---- set-up ----

void ZeLightMatInit() {
  ZeLightReset();
  ZeLgtCreateFogMesh();
  for (int k : {1, 2, 3, 4, 18, 5}) Surface(k);
  Surface(6);
  GreyRamp(ZeLgtHSurf[6]);
  Surface(16);
  ReversedRamp(ZeLgtHSurf[16]);
  EffectBlock(ZeLgtSurf[16], true);
  for (int k : {7, 8, 17, 9, 10}) Surface(k);
  EffectBlock(ZeLgtSurf[10], true);
  Surface(11);
  Surface(13);
  ZeLightZMat = MakeMtl(-2, A_COPY, 0x80, false);
  for (int k : {14, 12, 15}) Surface(k);
  for (int i = 0; i < 3; i++) {
    ZeLgtHFogMat[i] = MakeSurface(ZETEX_RT_T8B, S_W4H);
    ZeLgtFogMat[i] = MakeMtl(ZeLgtHFogMat[i], Mode(i == 1 ? 0 : 2, 0, 3), 0x80, false);
  }
  for (int i = 0; i < ZELGT_LIGHT_MATS; i++) {
    ZeLgtHLightMat[i] = i < 16 ? MakeSurface(ZETEX_RT_T8H, S_WH) : MakeSurface(ZETEX_RT_T8B, S_W4H);
    ZeLgtLightMat[i] = MakeMtl(ZeLgtHLightMat[i], Mode(2, 0, 3), 0x80, false);
  }
  Attr grey = {0, 0, 1, 1, 0, 1, 2, 1, 0x11, 1.0f};
  ZeLgtGreyMat = MakeMtl(0, grey, 0, true);
  grey.depth = 3;
  ZeLgtGreyNZMat = MakeMtl(0, grey, 0, true);
  Attr zbuf = A_COPY;
  zbuf.wu = zbuf.wv = 0;
  ZeLightZBufMat = MakeMtl(-2, zbuf, 0x80, false);
  Attr add = Mode(2, 1, 1);
  add.vtx = 0;
  ZeLightAddMat = MakeMtl(0, add, 0x100, false);
  add.flags = 0x01;
  ZeLightAddMat2 = MakeMtl(0, add, 0x100, false);
  ZeLgtBackBuff = MakeMtl(-1, zbuf, 0x80, false);
  Attr backAlpha = Mode(1, 1, 1);
  backAlpha.wu = backAlpha.wv = 0;
  ZeLgtBackAlphaBuff = MakeMtl(-1, backAlpha, 0x80, false);
  for (int k : {20, 21}) Surface(k);
  Surface(22);
  ReversedRamp(ZeLgtHSurf[22]);
  EffectBlock(ZeLgtSurf[22], false);
  for (int k : {23, 24, 25, 26}) Surface(k);
}

void ZeLightInit() {
  memset(g_dir, 0, sizeof g_dir);
  g_ambient = {0.15f, 0.15f, 0.15f};
  for (int i = 0; i < ZELGT_LIGHTS; i++) {
    ZeLightPool[i] = {};
    ZeLightPool[i].index = i;
  }
  g_stamp = 0;
  ZeLightHazePolyCnt = 0;
  ZeLightHazePolymtl = nullptr;
  ZeLgtOldFadeSpot = ZELGT_NO_FADE;
  ZeLgtFadeSpot = ZELGT_NO_FADE;
  ZeLgtBuff = g_area;
  const int w = PS2_REZ_W, h = PS2_REZ_H;
  const int x0 = (PS2_VCNTR_X - w / 2) * 16, y0 = (PS2_VCNTR_Y - h / 2) * 16;
  const float th = float(h) / float(ZePower2(h));
  // The 640 texel columns of the depth buffer laid into a 256-pixel strip.
  ZeLgtFxSetCall = ZeLightSprDmaOpen(0);
  for (int i = 0; i < 10; i++) {
    const int xa = int(409.6 * i) - 8, xb = int(409.6 * (i + 1)) - 8;
    ZeLightSprMake((64.0f * float(i) + 0.5f) / 1024.0f, 0.0f, x0 + xa, y0, xb - xa, 16 * h - 8, 0x80808080u, 0,
                   (64.0f * float(i) + 63.5f) / 1024.0f, th);
  }
  ZeLightSprDmaClose();
  ZeLgtFxFogCop = ZeLightSprDmaOpen(0);
  for (int j = 0; j < 4; j++)
    ZeLightSprMake(64.0f * float(j) / 1024.0f, 0.0f, x0 + 6140 + 1024 * j, y0 - 4, 1024, 16 * h, 0x00808080u,
                   0x1ffffff, (64.0f * float(j) + 64.0f) / 1024.0f, th);
  ZeLightSprDmaClose();
  ZeLgtFxFogClr = ZeLightSprDmaOpen(0);
  for (int j = 0; j < 4; j++)
    ZeLightSprMake(0.0f, 0.0f, x0 + 6140 + 1024 * j, y0 - 4, 1024, 16 * h, 0, 0xffffffffu, 0.0f, 0.0f);
  ZeLightSprDmaClose();
}

void ZeLightClose() {}



void ZeLightFxSetup() {
  ZeTexFlushTemp();
  ZeTexAssignTempAddr(ZeLgtHSurf[1]);
  ZeTexAssignTempAddr(ZeLgtHSurf[2]);
  const int saved = txupload_on;
  txupload_on = 0;
  // The depth buffer copied into surface 1.
  ZeRndrBeginSceneEx(ZeLgtHSurf[1], -2, 0);
  ZERNDRSTREAM* s = rndrstream_3d_u;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeLgtUseMtl(s, ZeLightZMat, ~0ull);
  ZeRndrEndSegment(s, vpDmaTag_Call(s->write, ZeLgtFxSetCall));
  ZeRndrEndScene();
  static const int8_t ALIAS[ZELGT_SURFACES] = {0, 0, 0, 1, 0, 2, 1, 2, 1, 2, 2, 2, 2, 1,
                                               2, 0, 1, 1, 1, 0, 0, 1, 1, 0, 0, 0, 2};
  for (int k = 3; k < ZELGT_SURFACES; k++) {
    int from = ALIAS[k];
    if ((k == 16 || k == 21 || k == 22) && ZeLgtShadeFog) from = 2;
    if (from) ZeTexCloneTempAddr(ZeLgtHSurf[k], ZeLgtHSurf[from]);
  }
  ZeTexCloneZbufferAddr(ZeLgtHSurf[20]);
  txupload_on = saved;
  ZeLgtCount111 += 111;
  ZeLgtCount371 += 371;
}

// ---- directional lights ----

ZELIGHT* ZeLightCreate() {
  for (ZELIGHT& l : ZeLightPool)
    if (!l.inuse) {
      l.inuse = 1;
      return &l;
    }
  return nullptr;
}

ZELIGHT* ZeLightGetLight(int i) { return i >= 0 && i < ZELGT_LIGHTS ? &ZeLightPool[i] : nullptr; }

namespace {
void SendSlots() {
  ZeRndrSetDirectionalLights(&g_dir[0].dir, &g_dir[0].colour, &g_dir[1].dir, &g_dir[1].colour, &g_dir[2].dir,
                             &g_dir[2].colour);
}
}  // namespace

void ZeLightDestroy(ZELIGHT* light) {
  if (!light) return;
  light->inuse = 0;
  for (DirSlot& d : g_dir)
    if (d.light == light) d = {};
  SendSlots();
}

void ZeLightUpdate(ZELIGHT* light) {
  if (!light) return;
  int slot = 0;
  if (g_dir[0].light != light)
    for (int i = 1; i < 3; i++)
      if (g_dir[i].stamp < g_dir[slot].stamp) slot = i;
  const ZEVEC down = {0.0f, 0.0f, -1.0f};
  ZeVecMtxRotate(&g_dir[slot].dir, &down, &light->mtx);
  g_dir[slot].colour = {light->colour[0], light->colour[1], light->colour[2]};
  g_dir[slot].stamp = ++g_stamp;
  g_dir[slot].light = light;
  SendSlots();
}

int ZeLgtRand() {
  ZeLgtSeed = uint16_t((ZeLgtSeed + 1) & 0xffff);
  return ZeLgtSeed;
}
