// The water surface: the water-level pass, water ripples, shaded polygons,
// footprints, ribbon trails and the debug sphere.
#include <algorithm>
#include <cmath>

#include "zelgt_local.h"

float ZeRndrWaterLevel = -10000.0f, OldZeRndrWaterLevel = -10000.0f, ZeRndrHackWaterLevel;
ZECOLOUR32 ZeRndrWaterTint;
float waveampx = 64.0f, waveampy = 32.0f;
ZERNDRWATERRIP ZeRndrWaterRipDat[ZERNDR_RIPPLES];
int ZeRndrWaterRipCnt;
ZERNDRSHADEDPOL ShadedPol[ZERNDR_SHADED];
int ZeRndrShadedCnt, ZeRndrOldShadedCnt;
ZERNDRFOOT ZeRndrFootData[ZERNDR_FOOTPRINTS];
int ZeRndrFootFree;
ZECOLOUR32 testfootcol;

namespace {


void EndFx(ZERNDRSTREAM* s) {
  ZeRndrStreamFxMPGEx(0, s);
  ZeRndrEndSegment(s, s->write);
}

void Flush() { ZeRndrStreamFlush(); }

}  // namespace

void ZeRndrWaterStartUp() {
  for (ZERNDRWATERRIP& r : ZeRndrWaterRipDat) r.remaining = 0;
}
void ZeRndrWaterWorld() {
  for (ZERNDRFOOT& f : ZeRndrFootData) f.life = 0;
}

// ---- the quad packets -------------------------------------------------------------

void ZeRndrStreamQuads(ZERNDRSTREAM* s, const ZERNDRQUADVTX* v, int n, uint32_t vif0) {
  ZeRndrStreamCheckSpace(s->write, 32);
  uint32_t* p = vpDmaTag_CntEx(s->write, vif0, 0x6C010056);
  const uint64_t fan = 1ull << 15 | 1ull << 46 | 5ull << 47 | 3ull << 60;
  p = ZeRndrPutQ(p, uint32_t(fan), uint32_t(fan >> 32), 0x512, 0);
  for (int done = 0; done < n;) {
    const int e = std::min(40, n - done);
    ZeRndrStreamCheckSpace(p, (12 + 3 * e) * 16);
    *p++ = 0x6C0180D2;
    const uint64_t strip = uint64_t(e) | 1ull << 15 | 1ull << 46 | 4ull << 47 | 3ull << 60;
    p = ZeRndrPutQ(p, uint32_t(strip), uint32_t(strip >> 32), 0x512, 0);
    *p++ = 0x6D018002;
    *p++ = uint32_t(3 * e) & 0xffff, *p++ = 0;
    *p++ = 0x01000103;
    *p++ = 0x6E00C005 | uint32_t(e) << 16;
    for (int i = 0; i < e; i++) *p++ = v[done + i].colour;
    *p++ = 0x01000203;
    *p++ = 0x6C008003 | uint32_t(2 * e) << 16;
    for (int i = 0; i < e; i++) {
      const ZERNDRQUADVTX& q = v[done + i];
      p = ZeRndrPutQ(p, ZeRndrFloatBits(q.pos.x), ZeRndrFloatBits(q.pos.y), ZeRndrFloatBits(q.pos.z), q.flag);
      p = ZeRndrPutQ(p, uint32_t(q.u), uint32_t(q.v), 0, 0);
    }
    *p++ = 0x01000101;
    *p++ = VIFCODE_MSCAL | 0x306;
    done += e;
  }
  s->write = vpDmaTag_Close(p);
}

// ---- the water-level pass ------------------------------------------------------------

void ZeRndrWaterLevelTint(float level, ZECOLOUR32 tint) {
  ZeRndrWaterLevel = level;
  ZeRndrWaterTint = tint;
}

int ZeRndrWaterLine(float level, float* y1, float* y2) {
  const ZEMTX* cam = &global_camera.mtx;
  if (!(level > -10000.0f) || !(cam->m[3][1] - 0.5f < level)) return 0;
  const int theta = ZeAtan2D(cam->m[1][1], cam->m[2][1]);
  const float st = ZeTrigSin(theta), ct = ZeTrigCos(theta);
  auto row = [&](float z) {
    const ZEVEC p = {0.0f, ((level - cam->m[3][1]) - z * ct) / st, z};
    ZEVEC4 q;
    ZeVec4MtxTransform(&q, &p, ZeCameraGetPCSMtx());
    return q.y / q.w;
  };
  *y1 = row(global_camera.nearclip);
  if (!(*y1 < 34944.0f)) return 0;
  *y2 = row(global_camera.nearclip + 0.1f);
  if (*y2 < *y1) std::swap(*y1, *y2);
  return 1;
}

void ZeRndrWater(int paused) {
  if (ZeRndrHackWaterLevel != 0.0f) {
    ZeRndrWaterLevel = ZeRndrHackWaterLevel;
    ZeRndrWaterTint = 0x80c08040u;
  }
  if (!paused) OldZeRndrWaterLevel = ZeRndrWaterLevel;
  ZeRndrWaterLevel = OldZeRndrWaterLevel;
  float y1, y2;
  if (!ZeRndrWaterLine(ZeRndrWaterLevel, &y1, &y2)) return;
  const int saved = txupload_on;
  txupload_on = 0;
  ZERNDRSTREAM* s = rndrstream_3d_u;
  rndrstream_3d = s;
  s->mtl = nullptr;
  s->tid = 0;
  const bool band = y2 > 30720.0f;
  if (band) {
    ZeRndrBeginSceneEx(-1, -2, 0);
    // The band marks the screen below the water line in the frame's alpha,
    // which the composite blends by: only the alpha byte is written (the
    // scene's mask, and ZeLightAddMat's, would keep it and the band would
    // mark nothing), and the rows above the line are cleared to alpha 0, so
    // that the mark does not depend on the alpha the scene left. The next
    // scene restores the mask.
    ZeRndrSetFrameMask(0x00ffffffu, 1);
    ZeRndrStreamLink(s);
    ZeRndrStreamSetMisc(s);
    ZeLgtUseMtl(s, ZeLightAddMat, ~0ull);
    struct Row {
      float y;
      uint32_t a;
    };
    Row rows[5];
    int n = 0;
    rows[n++] = {float(0x8000 - zerndr_pixel_height * 8 - 8), 0};
    if (y1 < y2) rows[n++] = {y1, 0}, rows[n++] = {y2, 0x80};
    else rows[n++] = {y2, 0x80};
    rows[n++] = {0x8800, 0x80};
    uint32_t* tag = s->write;
    uint32_t* p = vpDmaTag_CntEx(tag, VIFCODE_FLUSHE, 0);
    vtBeginDirect(tag + 3, 0);
    p = gsBeginGifPacket(p, 2 * n, 1, 1, GS_PRIM_TRISTRIP, GIF_FLG_PACKED, 2, GSR_RGBAQ, GSR_XYZ2);
    for (int r = 0; r < n; r++)
      for (int x : {0x6bf8, 0x9408}) {
        p = ZeRndrPutRgba(p, rows[r].a << 24);
        p = ZeRndrPutXyz(p, x, int(std::clamp(rows[r].y, 0.0f, 65535.0f)), 0xffffff);
      }
    ZeRndrEndSegment(s, vpDmaTag_Close(vtCloseDirect(p)));
    ZeRndrEndScene();
  }
  // The frame through the wobbling grid into surface 9.
  ZeRndrBeginSceneEx(ZeLgtHSurf[9], -2, 0);
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeLgtUseMtl(s, ZeLgtBackBuff, ~0ull);
  const int ox = (PS2_VCNTR_X - zerndr_pixel_width / 2) * 16, oy = (PS2_VCNTR_Y - zerndr_pixel_height / 2) * 16;
  for (int i = 0; i < 10; i++) {
    ZeRndrStreamCheckSpace(s->write, (14 * 12 + 4) * 16);
    uint32_t* tag = s->write;
    uint32_t* p = vpDmaTag_CntEx(tag, VIFCODE_FLUSHE, 0);
    vtBeginDirect(tag + 3, 0);
    p = gsBeginGifPacket(p, 14 * 4, 1, 1, GS_PRIM_TRISTRIP, GIF_FLG_PACKED, 3, GSR_ST, GSR_RGBAQ, GSR_XYZ2);
    for (int j = 0; j < 14; j++)
      for (int k = 0; k < 4; k++) {
        const int c = i + (k & 1), r = j + (k >> 1);
        const uint16_t* e = watertab[r * ZEGRID_COLS + c];
        p = ZeRndrPutSt(p, float(c) / 16.0f, float(r) / 16.0f, 1.0f);
        p = ZeRndrPutRgba(p, 0x80808080u);
        p = ZeRndrPutXyz(p, c * 1024 + int(ZeTrigSin(e[0]) * waveampx) - 8 + ox, r * 256 + int(ZeTrigCos(e[1]) * waveampy) - 8 + oy,
                         0xffffff);
      }
    ZeRndrEndSegment(s, vpDmaTag_Close(vtCloseDirect(p)));
  }
  ZeRndrEndScene();
  if (!paused)
    for (int r = 0; r < 15; r++)
      for (int c = 0; c < ZEGRID_COLS; c++) {
        uint16_t* e = watertab[r * ZEGRID_COLS + c];
        e[0] = uint16_t(e[0] + e[2]);
        e[1] = uint16_t(e[1] + e[3]);
      }
  // The tinted composite.
  ZeRndrBeginSceneEx(-1, -2, 0);
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  // With the band, (Cs - Cd) x Ad + Cd: the copy replaces the frame where
  // the band marked it. (The copy's own alpha cannot carry the mark: the
  // back buffer is read as a 24-bit texture.)
  ZeLgtUseMtl(s, ZeLgtSurf[band ? 10 : 9], band ? 0x54 : ~0ull);
  ZeRndrRectUV3di(-8, -8, 0x2800, zerndr_pixel_height * 16, ZeRndrWaterTint, 0x1ffffff, 1.0f / 256.0f,
                  1.0f / 64.0f, 0.62109375f, 0.859375f);
  ZeRndrEndSegment(s, s->write);
  Flush();
  txupload_on = saved;
}

// ---- ripples ------------------------------------------------------------------------------

void ZeRndrAddWaterRipple(ZEVEC* pos, int frames, ZECOLOUR32 colour, float startradius, float endradius) {
  for (ZERNDRWATERRIP& r : ZeRndrWaterRipDat)
    if (r.remaining == 0) {
      pos->y += 0.01f;
      r.pos = *pos;
      r.startradius = startradius, r.endradius = endradius, r.radius = startradius;
      r.colour = colour, r.current = colour & 0xffffff;
      r.remaining = r.duration = int16_t(frames);
      return;
    }
}

void ZeRndrWaterRippleUpdate(int n) {
  for (ZERNDRWATERRIP& r : ZeRndrWaterRipDat) {
    if (r.remaining == 0) continue;
    r.remaining = int16_t(r.remaining - n);
    if (r.remaining <= 0) {
      r.remaining = 0;
      continue;
    }
    const float t = float(r.remaining) / float(r.duration);
    r.radius = (r.startradius - r.endradius) * t + r.endradius;
    const float a = t > 0.75f ? (1.0f - t) * 4.0f : t * 1.3333334f;
    r.current = (uint32_t(int(float(r.colour >> 24) * a)) << 24) + (r.colour & 0xffffff);
  }
}

void ZeRndrStreamQuadWRip(ZERNDRSTREAM* s, const int* indices) {
  static ZERNDRQUADVTX v[4 * ZERNDR_RIPPLES];
  static const int32_t UV[4][3] = {{0x8000, 0x940, 0x200}, {0x8000, 0xac0, 0x200}, {0, 0x940, 0x3f0}, {0, 0xac0, 0x3f0}};
  int n = 0;
  for (int k = 0; k < ZeRndrWaterRipCnt; k++) {
    const ZERNDRWATERRIP& r = ZeRndrWaterRipDat[indices[k]];
    const float c[4][2] = {{-r.radius, -r.radius}, {r.radius, -r.radius}, {-r.radius, r.radius}, {r.radius, r.radius}};
    for (int j = 0; j < 4; j++)
      v[n++] = {{r.pos.x + c[j][0], r.pos.y, r.pos.z + c[j][1]}, uint32_t(UV[j][0]), UV[j][1], UV[j][2], r.current};
  }
  ZeRndrStreamQuads(s, v, n, VIFCODE_NOP);
}

void ZeRndrWaterRip(ZEMTL* mtl) {
  int idx[ZERNDR_RIPPLES];
  ZeRndrWaterRipCnt = 0;
  for (int i = 0; i < ZERNDR_RIPPLES; i++) {
    const ZERNDRWATERRIP& r = ZeRndrWaterRipDat[i];
    if (r.remaining && ZeCameraClipTestPoints(&r.pos, 1, nullptr) == 0) idx[ZeRndrWaterRipCnt++] = i;
  }
  if (!ZeRndrWaterRipCnt) return;
  ZERNDRSTREAM* s = ZeLgtBeginFx(mtl, ~0ull);
  ZeRndrStreamQuadWRip(s, idx);
  EndFx(s);
}

// ---- shaded polygons ----------------------------------------------------------------------

void ZeRndrAddShadedPol(const ZEVEC* corners, ZECOLOUR32 a, ZECOLOUR32 b) {
  if (ZeRndrShadedCnt >= ZERNDR_SHADED) return;
  ZERNDRSHADEDPOL& p = ShadedPol[ZeRndrShadedCnt++];
  for (int i = 0; i < 4; i++) p.corners[i] = corners[i];
  p.colourA = a, p.colourB = b;
}

void ZeRndrStreamShadedData(ZERNDRSTREAM* s) {
  static ZERNDRQUADVTX v[4 * ZERNDR_SHADED];
  int n = 0;
  for (int i = 0; i < ZeRndrShadedCnt; i++)
    for (int j = 0; j < 4; j++)
      v[n++] = {ShadedPol[i].corners[j], j < 2 ? 0x8000u : 0u, 0, 0, j < 2 ? ShadedPol[i].colourA : ShadedPol[i].colourB};
  ZeRndrStreamQuads(s, v, n, 0x13000000u);
}

void ZeRndrDrawShadedPols(int repeat) {
  if (repeat) ZeRndrShadedCnt = ZeRndrOldShadedCnt;
  if (ZeRndrShadedCnt > 0) {
    ZERNDRSTREAM* s = ZeLgtBeginFx(ZeLightAddMat, 0x44);
    ZeRndrStreamShadedData(s);
    EndFx(s);
  }
  ZeRndrOldShadedCnt = ZeRndrShadedCnt;
  ZeRndrShadedCnt = 0;
}

// ---- footprints -------------------------------------------------------------------------------

void ZeRndrAddFootPrint(int yaw, int alpha, const ZEVEC* pos, const ZEVEC* n, int image, ZECOLOUR32 colour,
                        float w, float l) {
  const float c = ZeTrigCos(yaw), s = ZeTrigSin(yaw);
  const int ax = ZeAtan2D(n->z, n->y);
  // n turned about X by -ax.
  const float sx = ZeTrigSin(-ax), cx = ZeTrigCos(-ax);
  const ZEVEC n2 = {n->x, n->y * cx - n->z * sx, n->y * sx + n->z * cx};
  const int az = -ZeAtan2D(n2.x, n2.y);
  const float sz = ZeTrigSin(az), cz = ZeTrigCos(az), sa = ZeTrigSin(ax), ca = ZeTrigCos(ax);
  ZERNDRFOOT& f = ZeRndrFootData[ZeRndrFootFree & (ZERNDR_FOOTPRINTS - 1)];
  const float lc[4][2] = {{w, l}, {-w, l}, {w, -l}, {-w, -l}};
  for (int k = 0; k < 4; k++) {
    ZEVEC p = {lc[k][0] * c + lc[k][1] * s, 0.0f, -lc[k][0] * s + lc[k][1] * c};
    p = {p.x * cz - p.y * sz, p.x * sz + p.y * cz, p.z};   // about Z
    p = {p.x, p.y * ca - p.z * sa, p.y * sa + p.z * ca};   // about X
    f.corners[k] = {p.x + pos->x, p.y + pos->y, p.z + pos->z};
  }
  f.alpha = int16_t(alpha);
  f.life = 16;
  f.image = int8_t(image * 4);
  f.colour = colour & 0xffffff;
  ZeRndrFootFree++;
  for (int k = 0; k < 8; k++) {
    ZERNDRFOOT& o = ZeRndrFootData[(ZeRndrFootFree + k) & (ZERNDR_FOOTPRINTS - 1)];
    if (o.life >= 16) o.life = 15;
  }
}

void ZeRndrFootPrints(ZEMTL* mtl, const float* ut, const float* vt) {
  static ZEVTX v[4 * ZERNDR_FOOTPRINTS];
  int n = 0;
  for (ZERNDRFOOT& f : ZeRndrFootData) {
    if (f.life <= 0) continue;
    if (f.life < 16) f.life = int8_t(f.life - 1);
    const ZECOLOUR32 col = (uint32_t((f.alpha * f.life) >> 4) << 24) + (testfootcol ? testfootcol : f.colour);
    for (int k = 0; k < 4; k++) {
      ZEVTX& x = v[n++];
      x = {};
      x.pos = f.corners[k];
      x.colour = col;
      x.u = ut[f.image + k];
      x.v = vt[f.image + k];
    }
  }
  if (!n) return;
  ZERNDRSTREAM* s = ZeLgtBeginFx(mtl, 0x44);
  ZeRndrStreamQuad3dClip(v, n, nullptr, s);
  EndFx(s);
}

// ---- trails ------------------------------------------------------------------------------------

int ZeRndrTrailVerts(int head, const ZERNDRTRAIL* ring, int size, ZEVTX* v) {
  // A ring is a power of two of at most 256 entries.
  if (size <= 0 || size > 256 || (size & (size - 1))) ZeError("ZeRndrTrail: ring of %d entries", size);
  int n = 0;
  auto at = [&](int k) -> const ZERNDRTRAIL& { return ring[(head - k) & (size - 1)]; };
  // Entries past the walked range (size - 1 back from the head) count as gaps.
  auto gap = [&](int k) { return k >= size - 1 || at(k).a.x == -10000.0f; };
  auto quad = [&](const ZEVEC& ea, const ZEVEC& eb, const ZEVEC& fa, const ZEVEC& fb, int32_t cp, int32_t cc,
                  bool sideA) {
    auto edge = [&](int32_t c) -> uint32_t {
      if (sideA) return c >= 0 ? uint32_t(c) + 0xffffffu : uint32_t(-c);
      return c >= 0 ? uint32_t(c) : 0xffffffu - uint32_t(c);
    };
    auto inner = [&](int32_t c) -> uint32_t {
      if (sideA) return c >= 0 ? 0xffffffu : 0u;
      return c >= 0 ? 0u : 0xffffffu;
    };
    const ZEVEC ia = {ea.x + 0.25f * (fa.x - ea.x), ea.y + 0.25f * (fa.y - ea.y), ea.z + 0.25f * (fa.z - ea.z)};
    const ZEVEC ib = {eb.x + 0.25f * (fb.x - eb.x), eb.y + 0.25f * (fb.y - eb.y), eb.z + 0.25f * (fb.z - eb.z)};
    const ZEVEC pos[4] = {ea, eb, ia, ib};
    const uint32_t col[4] = {edge(cp), edge(cc), inner(cp), inner(cc)};
    for (int j = 0; j < 4; j++) {
      ZEVTX& x = v[n++];
      x = {};
      x.pos = pos[j];
      x.colour = col[j];
    }
  };
  int prev = -1;
  int32_t prevCol = 0;
  bool prevNewest = false;
  for (int k = 0; k < size - 1; k++) {
    if (gap(k)) {
      prev = -1;
      continue;
    }
    if (prev < 0) {
      // The newest point of a strip only starts it; its colour is 0.
      prev = k, prevCol = 0, prevNewest = true;
      continue;
    }
    int32_t cc;
    if (gap(k + 1)) cc = 0;
    else if (gap(k + 2) || prevNewest) cc = int32_t(int8_t(at(k).colour >> 24) / 2) * (1 << 24);
    else cc = int32_t(at(k).colour);
    const ZERNDRTRAIL& p = at(prev);
    const ZERNDRTRAIL& c = at(k);
    quad(p.a, c.a, p.b, c.b, prevCol, cc, true);
    quad(p.b, c.b, p.a, c.a, prevCol, cc, false);
    prev = k, prevCol = cc, prevNewest = false;
  }
  return n;
}

void ZeRndrTrail(int head, const ZERNDRTRAIL* ring, int size) {
  static ZEVTX v[ZERNDR_TRAIL_VERTS];
  const int n = ZeRndrTrailVerts(head, ring, size, v);
  if (!n) return;
  ZERNDRSTREAM* s = ZeLgtBeginFx(ZeLightAddMat, 0x44);
  ZeRndrStreamQuad3dClip(v, n, nullptr, s);
  EndFx(s);
}

// ---- the debug sphere ---------------------------------------------------------------------------

void ZeRndrSphere(float r, const ZEVEC* c, ZECOLOUR32 colour, float yscale) {
  for (int k = 0; k < 8; k++) {
    const int a0 = k * 0x1000, a1 = (k + 1) * 0x1000;
    const float rho0 = r * ZeTrigSin(a0), rho1 = r * ZeTrigSin(a1);
    auto h = [&](float rho, int a) {
      const float y = std::sqrt(std::max(r * r - rho * rho, 0.0f)) * yscale;
      return a > 0x4000 ? -y : y;
    };
    const float y0 = h(rho0, a0), y1 = h(rho1, a1);
    for (int i = 0; i < 32; i++) {
      const int b0 = i * 0x800, b1 = (i + 1) * 0x800;
      const float x0 = ZeTrigSin(b0), z0 = ZeTrigCos(b0), x1 = ZeTrigSin(b1), z1 = ZeTrigCos(b1);
      ZeRndrLine3dDbg(colour, c->x + rho0 * x0, c->y + y0, c->z + rho0 * z0, c->x + rho0 * x1, c->y + y0,
                      c->z + rho0 * z1);
      ZeRndrLine3dDbg(colour, c->x + rho0 * x0, c->y + y0, c->z + rho0 * z0, c->x + rho1 * x0, c->y + y1,
                      c->z + rho1 * z0);
    }
  }
}
