// Light unit: spot glows. A glow brightens what lies near its centre in
// depth: the reduced depth copy gets an 8-bit index of each pixel's depth
// inside the glow's depth window, built bit by bit by depth-tested sprites
// that write single bits, and the glow's ellipse samples those indices
// through a palette holding the glow's depth profile.
#include <algorithm>
#include <cmath>

#include "zelgt_local.h"

ZELGTSPOT ZeLightSpots[ZELGT_SPOTS];
uint32_t ZeLgtFadeSpot = ZELGT_NO_FADE, ZeLgtOldFadeSpot = ZELGT_NO_FADE;

// ---- the glow's arithmetic ----

ZELGTWINDOW ZeLgtDepthWindow(int zb, int zf) {
  // A back depth below 0 (beyond the far plane) would keep the search
  // below zf for ever and index past the table: it counts as 0.
  zb = std::clamp(zb, 0, 0xffffff);
  zf = std::clamp(zf, 0, 0xffffff);
  const int d = zf - zb;
  int k;
  if (d < 256) k = 0;
  else if (d < 65536) k = ZeRndrTopBit[d >> 8] + 1;
  else k = ZeRndrTopBit[d >> 16] + 9;
  while (((int64_t(zb >> (k + 8)) * 256 + 255) << k) < zf) k++;
  return {(zb >> (k + 8)) << (k + 8), k};
}

void ZeLgtGlowPalette(uint32_t* pal, ZELGTWINDOW w, float a, float b, float back, float size, uint32_t rgb,
                      int strength) {
  const float span = 2.4f * size;
  for (int j = 0; j < 256; j++) {
    const float z = float(int64_t(w.base) + (int64_t(255 - j) << w.k));
    const float d = a / (z - b);
    if (!(d <= back) || d < back - span) {
      pal[j] = 0;
      continue;
    }
    int t = int((back - d) / (span / 65536.0f));
    if (t > 0x8000) t = 65536 - t;
    pal[j] = (rgb & 0xffffff) | uint32_t((strength * t) >> 15 & 0xff) << 24;
  }
}

// ---- adding and fading ----

void ZeLightSpotFadeSet(uint32_t colour) { ZeLgtFadeSpot = colour; }

void ZeLightAddSpot(ZEVEC* pos, uint32_t colour, int mode, int fadein, int fadeout, float size) {
  if (ZeLgtFadeSpot != ZELGT_NO_FADE) colour = (colour & 0xff000000u) | (0x808080u - (colour & 0xffffff));
  const bool oneShot = fadein == 0 || fadeout == 0;
  if (oneShot) fadein = fadeout = 0x4000;
  auto fill = [&](ZELGTSPOT& s) {
    s.pos = *pos;
    s.size = size;
    s.colour = colour;
    s.mode = mode;
    s.scale = 1.0f;
    s.base_alpha = 0;
    s.spare = 0;
  };
  if (!oneShot)
    for (ZELGTSPOT& s : ZeLightSpots)
      if (s.active && s.key.get() == pos) {
        s.refreshed = 1;
        s.intensity = uint16_t(std::min<int>(int16_t(uint16_t(s.intensity + fadein)), 0x4000));
        fill(s);
        return;
      }
  for (ZELGTSPOT& s : ZeLightSpots)
    if (!s.active) {
      s.key = pos;
      s.active = 1;
      s.refreshed = oneShot ? 0 : 1;
      s.intensity = uint16_t(fadein);
      s.fadeout = uint16_t(fadeout);
      fill(s);
      return;
    }
}

void ZeLgtCheckSpots() {
  for (ZELGTSPOT& s : ZeLightSpots) {
    s.last_intensity = s.intensity;
    s.last_active = s.active;
    if (s.active && !s.refreshed) {
      s.intensity = uint16_t(s.intensity - s.fadeout);
      if (int16_t(s.intensity) <= 0) s.active = 0;
    }
  }
}

// ---- drawing ----

void ZeLgtIndexBits(ZERNDRSTREAM* s, ZETEXID index, bool whole, ZELGTWINDOW w, int x0, int x1, int y0, int y1,
                    const uint32_t* clearPacket) {
  const ZETEXID ct = ZeLgtHSurf[ZELGT_CT32VIEW1], z24 = ZeLgtHSurf[ZELGT_DEPTHCOPY];
  s->write = ZeTexSetRenderTarget(s->write, index);
  auto sprites = [&](ZEMTL* mtl, ZETEXID target, uint32_t mask, uint32_t colour, uint32_t z, bool clear) {
    ZeLgtUseMtl(s, mtl, ~0ull);
    s->write = ZeLgtModePacket(s->write, target, mask, ct, 1, 1);
    if (clear && clearPacket) {
      ZeRndrEndSegment(s, vpDmaTag_Call(s->write, clearPacket));
      return;
    }
    ZeLgtCloseSprites(s, ZeLgtColumnSprites(ZeLgtOpenSprites(s), x0, x1, y0, y1, colour, z, 0.0f, 0.0f));
  };
  if (!whole) sprites(ZeLgtGreyMat, index, 0x00ffffffu, 0, 0xffffffffu, true);
  for (int i = 0; i < 8; i++) {
    // Set index bit 7 - i where the remaining depth lies below base + 2^(7 - i + k)
    // (the sprite's depth may pass the format's top: the GS clamps it).
    const uint32_t threshold = uint32_t(int64_t(w.base) + (int64_t(1) << (7 - i + w.k)) - 1);
    sprites(ZeLightAddMat, index, ~(0x80000000u >> i), 0xff000000u, threshold, false);
    // Clear depth bit 7 - i + k.
    if (i < 7) sprites(ZeLgtGreyMat, whole ? ct : z24, ~uint32_t((uint64_t(0x80) << w.k) >> i), 0, 0xffffffffu, true);
  }
}

namespace {

struct Glow {
  int x0, y0, x1, y1;   // pixels of the target
  int c0, c1;           // columns of the reduced copy
  ZEVEC4 p;             // projected centre, homogeneous
  float size;
  int strength;         // A'
  uint32_t zdraw;
  ZELGTWINDOW win;
  float back;           // the back distance
};

ZEVEC4 Project(const ZEVEC& v) {
  ZEVEC4 p;
  ZeVec4MtxTransform(&p, &v, ZeCameraGetPCSMtx());
  return p;
}

// The projection's depth terms: depth = b + a / d.
void DepthTerms(float* a, float* b) {
  const ZEVEC4 p1 = Project({0.0f, 0.0f, 1.0f}), p2 = Project({0.0f, 0.0f, 2.0f});
  const float z1 = p1.z / p1.w, z2 = p2.z / p2.w;
  *a = 2.0f * (z1 - z2);
  *b = z1 - *a;
}

bool Place(const ZELGTSPOT& s, Glow* g) {
  const int w = zerndr_pixel_width, h = zerndr_pixel_height;
  ZEVEC v;
  ZeVecMtxTransform(&v, &s.pos, ZeCameraGetViewMtx());
  g->size = s.size;
  g->strength = int((s.colour >> 24) * s.intensity) >> 14;
  const float reach = 1.2f * g->size;
  if (v.z + reach <= 1.0f) return false;
  if (v.z < 1.0f) {
    const float f = (v.z + reach - 1.0f) / reach;
    g->size *= f;
    g->strength = int(float(g->strength) * f);
    v.z = 1.0f;
  }
  const float size = g->size;
  g->p = Project(v);
  const ZEVEC4& p = g->p;
  const float rx0 = (p.x - 8192.0f * size) / p.w, rx1 = (p.x + 8192.0f * size) / p.w;
  const float ry0 = (p.y - 4096.0f * size) / p.w, ry1 = (p.y + 4096.0f * size) / p.w;
  if (!(rx0 < 32768.0f + 8.0f * float(w) && rx1 > 32768.0f - 8.0f * float(w) && ry0 < 32768.0f + 8.0f * float(h) &&
        ry1 > 32768.0f - 8.0f * float(h)))
    return false;
  auto px = [](float c, int half, int lim) { return std::clamp(int((c - 32768.0f) / 16.0f) + half, 0, lim); };
  g->x0 = px(rx0, w / 2, w), g->x1 = px(rx1, w / 2, w);
  g->y0 = px(ry0, h / 2, h), g->y1 = px(ry1, h / 2, h);
  if (s.mode == 1) g->x0 = 0, g->y0 = 0, g->x1 = w, g->y1 = h;
  if (g->x1 <= g->x0 || g->y1 <= g->y0) return false;
  g->c0 = (g->x0 * 256) / 640;
  g->c1 = (g->x1 * 256 + 255) / 640;
  // Depths of the glow's back and front.
  g->back = v.z + 1.2f * size;
  const ZEVEC4 pb = Project({v.x, v.y, g->back});
  const float frontZ = std::max(v.z - 1.2f * size, 1.0f);
  const ZEVEC4 pf = Project({v.x, v.y, frontZ});
  const int zb = int(pb.z / pb.w);
  const float fdepth = pf.w > 0.0f ? pf.z / pf.w : -1.0f;
  const int zf = fdepth < 0.0f ? 0xffffff : int(std::min(fdepth, 16777215.0f));
  g->zdraw = v.z - 1.2f * size < 1.0f ? 0xffffffu : uint32_t(std::max(fdepth, 0.0f));
  g->win = ZeLgtDepthWindow(zb, zf);
  return true;
}

// The index pass: the top byte of each pixel of the copy becomes
// 255 - ((Z - base) >> k) for its depth Z inside the window.
void IndexPass(const Glow& g, bool whole) {
  ZeRndrBeginSceneEx(ZeLgtHSurf[ZELGT_Z32VIEW], -2, 0);
  ZERNDRSTREAM* s = rndrstream_3d_u;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  const int x0 = 384 + g.c0, x1 = 384 + g.c1;
  ZeLgtUseMtl(s, ZeLgtSurf[ZELGT_DEPTHCOPY], 0x8000000020ull);
  // Columns c of the copy into columns 384 + c.
  {
    uint32_t* p = ZeLgtOpenSprites(s);
    const int ox = ZeLgtX0(), oy = ZeLgtY0();
    for (int c = g.c0; c < g.c1;) {
      const int e = std::min(g.c1, (c / 64 + 1) * 64);
      p = ZeLgtSpriteRegs(p, float(c) / 1024.0f, float(g.y0) / 256.0f, ox + (384 + c) * 16, oy + g.y0 * 16,
                          ox + (384 + e) * 16, oy + g.y1 * 16, 0x808080u, 0x1ffffff, float(e) / 1024.0f,
                          float(g.y1) / 256.0f);
      c = e;
    }
    ZeLgtCloseSprites(s, p);
  }
  ZeLgtIndexBits(s, ZeLgtHSurf[ZELGT_CT32VIEW1], whole, g.win, x0, x1, g.y0, g.y1, nullptr);
  ZeRndrEndScene();
}

void FadeCopy(uint32_t fade) {
  // The frame into surface 26, then back over the frame tinted.
  const int w = PS2_REZ_W, h = PS2_REZ_H;
  ZeRndrBeginSceneEx(ZeLgtHSurf[ZELGT_FADECOPY], -2, 0);
  ZERNDRSTREAM* s = rndrstream_3d_u;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeLgtUseMtl(s, ZeLgtBackBuff, 0x20);
  ZeLgtCloseSprites(s, ZeLgtColumnSprites(ZeLgtOpenSprites(s), 0, w, 0, h, 0x80808080u, 0xffffff, 1.0f / 1024.0f,
                                          0.875f / float(h)));
  ZeRndrEndScene();
  ZeRndrBeginScene(-1);
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeLgtUseMtl(s, ZeLgtSurf[ZELGT_FADECOPY], 0x88);
  ZeLgtCloseSprites(s, ZeLgtColumnSprites(ZeLgtOpenSprites(s), 0, w, 0, h, fade, 0xffffff, 1.0f / 1024.0f,
                                          0.875f / float(h)));
  ZeRndrEndScene();
}

uint32_t* FanVertex(uint32_t* p, const Glow& g, float ox, float oy, uint32_t alpha, uint32_t z) {
  const float X = std::clamp((g.p.x + ox) / g.p.w, 0.0f, 65535.0f);
  const float Y = std::clamp((g.p.y + oy) / g.p.w, 0.0f, 65535.0f);
  const float px = (X - 32768.0f) / 16.0f, py = (Y - 32768.0f) / 16.0f;
  const float s = ((px + 320.5f) * 256.0f / 640.0f) / 1024.0f + 0.375f, t = (py + 112.0f) / 255.0f;
  p = ZeRndrPutSt(p, s, t, 1.0f);
  p = ZeRndrPutQ(p, 0x80, 0x80, 0x80, alpha);
  return ZeRndrPutXyz(p, int(X), int(Y), int(z));
}

void DrawGlow(const Glow& g, const ZELGTSPOT& spot, int n, uint32_t fade) {
  const bool faded = fade != ZELGT_NO_FADE;
  ZERNDRSTREAM* s = rndrstream_3d_u;
  if (faded) {
    ZeRndrBeginSceneEx(ZeLgtHSurf[ZELGT_FADECOPY], -2, 0);
    ZeRndrStreamLink(s);
    ZeRndrStreamSetMisc(s);
    ZeLgtUseMtl(s, ZeLightAddMat, ~0ull);
    ZeLgtCloseSprites(s, ZeLgtColumnSprites(ZeLgtOpenSprites(s), g.x0, g.x1, g.y0, g.y1, 0, 0xffffff, 0, 0));
  } else {
    ZeRndrBeginScene(-1);
    ZeRndrStreamLink(s);
    ZeRndrStreamSetMisc(s);
  }
  static constexpr uint64_t ALPHA_BY_MODE[3] = {0x41, 0x09, 0x48};
  const uint64_t alpha = spot.mode == 1 || spot.mode == 2 ? ALPHA_BY_MODE[spot.mode] : 0x41;
  ZeLgtUseMtl(s, ZeLgtLightMat[n], alpha);
  if (faded) s->write = ZeLgtModePacket(s->write, ZeLgtHSurf[ZELGT_FADECOPY], 0x00ffffffu, 0, -1, 0);
  const uint32_t z = spot.mode == 1 ? 1u << 25 : g.zdraw;
  const float sx = g.size * spot.scale, sy = g.size;
  // The centre and 33 rim points, then the strip out to a rim twice as large.
  uint32_t* tag = s->write;
  uint32_t* p = vpDmaTag_CntEx(tag, VIFCODE_FLUSHE, 0);
  vtBeginDirect(tag + 3, 0);
  p = gsBeginGifPacket(p, 34, 0, 1, GS_PRIM_TRIFAN, GIF_FLG_PACKED, 3, GSR_ST, GSR_RGBAQ, GSR_XYZ2);
  p = FanVertex(p, g, 0, 0, 0xff, z);
  for (int i = 0; i <= 32; i++) {
    const int a = 0x4000 + i * 0x800;
    const float sn = ZeTrigTable[(a >> 1) & 0x7fff], cs = ZeTrigTable[((a >> 1) + 0x2000) & 0x7fff];
    p = FanVertex(p, g, cs * 4096.0f * sx, sn * 2048.0f * sy, 0xff, z);
  }
  p = gsBeginGifPacket(p, 66, 1, 1, GS_PRIM_TRISTRIP, GIF_FLG_PACKED, 3, GSR_ST, GSR_RGBAQ, GSR_XYZ2);
  for (int i = 0; i <= 32; i++) {
    const int a = 0x4000 + i * 0x800;
    const float sn = ZeTrigTable[(a >> 1) & 0x7fff], cs = ZeTrigTable[((a >> 1) + 0x2000) & 0x7fff];
    p = FanVertex(p, g, cs * 4096.0f * sx, sn * 2048.0f * sy, 0xff, z);
    p = FanVertex(p, g, cs * 8192.0f * sx, sn * 4096.0f * sy, spot.base_alpha, z);
  }
  ZeRndrEndSegment(s, vpDmaTag_Close(vtCloseDirect(p)));
  ZeRndrEndScene();
  if (faded) {
    // Where the glow wrote its alpha, the untinted frame shows through.
    ZeRndrBeginScene(-1);
    ZeRndrStreamLink(s);
    ZeRndrStreamSetMisc(s);
    ZeLgtUseMtl(s, ZeLgtSurf[ZELGT_FADECOPY], ~0ull);
    const uint32_t c = (spot.colour & 0xffffff) | ((0x80 - (fade >> 24)) & 0xff) << 24;
    ZeLgtCloseSprites(s, ZeLgtColumnSprites(ZeLgtOpenSprites(s), g.x0, g.x1, g.y0, g.y1, c, 0xffffff,
                                            1.0f / 1024.0f, 1.0f / 256.0f));
    ZeRndrEndScene();
  }
}

}  // namespace

void ZeLightProcessSpot(int paused) {
  const int savedUpload = txupload_on;
  txupload_on = 0;
  if (paused) {
    ZeLgtFadeSpot = ZeLgtOldFadeSpot;
    for (ZELGTSPOT& s : ZeLightSpots) {
      s.intensity = s.last_intensity;
      s.active = uint8_t(s.last_active);
    }
  }
  const uint32_t fade = ZeLgtFadeSpot;
  if (fade != ZELGT_NO_FADE) FadeCopy(fade);
  float a, b;
  DepthTerms(&a, &b);
  int n = 0;
  for (ZELGTSPOT& spot : ZeLightSpots) {
    if (n >= ZELGT_SPOTS_DRAWN) break;
    if (!spot.active) continue;
    spot.refreshed = 0;
    Glow g;
    if (!Place(spot, &g)) continue;
    uint32_t pal[256];
    ZeLgtGlowPalette(pal, g.win, a, b, g.back, g.size, spot.colour, g.strength);
    ZeTexCloneTempAddr(ZeLgtHLightMat[n], ZeLgtHSurf[ZELGT_DEPTHCOPY]);
    ZeTexPalChangeStreamTemp(ZeLgtHLightMat[n], pal);
    const bool whole = g.x0 == 0 && g.y0 == 0 && g.x1 == zerndr_pixel_width && g.y1 == zerndr_pixel_height;
    IndexPass(g, whole);
    DrawGlow(g, spot, n, fade);
    n++;
  }
  ZeLgtOldFadeSpot = ZeLgtFadeSpot;
  ZeLgtCheckSpots();
  ZeLgtFadeSpot = ZELGT_NO_FADE;
  txupload_on = savedUpload;
}
