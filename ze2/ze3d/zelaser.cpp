// Light unit: queued lasers, arc lasers, laser sprites and flares, drawn
// once a frame by the effects pass, and the effects pass's order.
#include <algorithm>
#include <cmath>

#include "zelgt_local.h"

ZELGTLASER ZeLgtLaserData[ZELGT_LASERS];
int ZeLgtLaserCnt, ZeLgtLaserOldCnt;
ZELGTARCLASER ZeLgtArcLaserData[ZELGT_ARCLASERS];
int ZeLgtArcLaserCnt, ZeLgtArcLaserOldCnt;
ZELGTLASERSPR ZeLgtLaserSprData[ZELGT_LASERSPRS];
ZELGTFLARE ZeLgtFlareData[ZELGT_FLARES];
int ZeLgtFlareCnt, ZeLgtFlareOldCnt;
ZEMTL* ZeLgtArcMtl;
float ZeLgtArcU0, ZeLgtArcV0, ZeLgtArcU1, ZeLgtArcV1;
int ZeLgtArcLaserFrame;
int testflare = 0xff, testflarefulldepth, testflarefullx = 0x80, testflarefullytop = 0x40, testflarefully = 0x40;

namespace {


ZEVEC4 Vpcs(const ZEVEC& p) {
  ZEVEC4 q;
  ZeVec4MtxTransform(&q, &p, ZeCameraGetVPCSMtx());
  return q;
}
ZEVEC Lerp(const ZEVEC& a, const ZEVEC& b, float t) {
  return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
}
float Dist(const ZEVEC& a, const ZEVEC& b) {
  const float x = b.x - a.x, y = b.y - a.y, z = b.z - a.z;
  return std::sqrt(x * x + y * y + z * z);
}

int Step() { return ZeLgtSeed = uint16_t(ZeLgtLaserStep(ZeLgtSeed)); }

// A queued beam's seed: kept from last frame on odd frames, else new.
int32_t Seed(int32_t old) {
  int32_t seed = old;
  if ((ZeLgtArcLaserFrame & 1) == 0 || old == 0) seed = Step();
  for (int i = 0; i < 6; i++) Step();
  return seed;
}

// A beam's joints on screen and their pieces.
struct Beam {
  ZEVEC a, b;           // world ends (clipped to w >= 0.5)
  float fa, fb;         // their fraction of the queued beam
  float width;
  float texlen;
  float jitter;
  float startratio, taperlen;
  bool fade;
  uint32_t colour;
  int32_t seed;
  const ZEVEC* bulge;   // arc lasers: the bulge vector (null: straight)
  float minx, maxx, miny, maxy;  // the pieces' cull bounds
};

// One joint: its screen position and half-width vector.
struct Joint {
  float x, y, z, hx, hy;
  float f;  // fraction of the queued beam
};

uint32_t FadeColour(const Beam& b, float f) {
  if (!b.fade) return b.colour;
  const float k = std::clamp(1.0f - f, 0.0f, 1.0f);
  return (b.colour & 0xffffff) | uint32_t(float(b.colour >> 24) * k) << 24;
}

void DrawBeam(ZERNDRSTREAM* s, const Beam& bm, ZEVEC start) {
  ZEVEC4 e0 = Vpcs(bm.a), e1 = Vpcs(bm.b);
  const float x0 = e0.x / e0.w, y0 = e0.y / e0.w, x1 = e1.x / e1.w, y1 = e1.y / e1.w;
  float dx = (y1 - y0) * 2.857143f, dy = x0 - x1;
  const float dl = std::sqrt(dx * dx + dy * dy);
  if (dl > 0.0f) dx /= dl, dy /= dl;
  const float len = Dist(bm.a, bm.b);
  const float piece = ZeLgtLaserPiece(bm.texlen, len);
  const int pieces = int(std::ceil(1.0f / piece - 1e-6f));
  ZeLgtSeed = uint16_t(bm.seed);
  auto joint = [&](float t, bool inner, bool jit) {
    ZEVEC p = Lerp(bm.a, bm.b, t);
    if (bm.bulge) {
      const float f = bm.fa + (bm.fb - bm.fa) * t;
      const float k = ZeTrigSin(int(f * 32768.0f));
      p = {p.x + bm.bulge->x * k, p.y + bm.bulge->y * k, p.z + bm.bulge->z * k};
    }
    const ZEVEC4 q = Vpcs(p);
    Joint j;
    j.x = q.x / q.w, j.y = q.y / q.w, j.z = q.z / q.w;
    float w = bm.width;
    const float fromStart = Dist(start, p);
    if (bm.taperlen > 0.0f && fromStart < bm.taperlen)
      w *= bm.startratio + (1.0f - bm.startratio) * (fromStart / bm.taperlen);
    j.hx = dx * w * 2000.0f / q.w, j.hy = dy * w * 5714.29f / q.w;
    j.f = bm.fa + (bm.fb - bm.fa) * t;
    if (inner && bm.seed != 0) {
      const int v = (Step() & 0xff) - 128;
      if (jit) {
        const float k = float(v) * bm.jitter;
        j.x += j.hx * k, j.y += j.hy * k;
      }
    }
    return j;
  };
  Joint prev = joint(0.0f, false, false);
  for (int i = 0; i < pieces; i++) {
    const float ta = float(i) * piece, tb = std::min(1.0f, float(i + 1) * piece);
    const bool last = i + 1 == pieces;
    const Joint next = last ? joint(1.0f, false, false) : joint(tb, true, 1.0f - ta > 1.5f * piece);
    const float u1 = ZeLgtArcU0 + (ZeLgtArcU1 - ZeLgtArcU0) * ((tb - ta) / piece);
    const float cx[4] = {prev.x + prev.hx, prev.x - prev.hx, next.x + next.hx, next.x - next.hx};
    const float cy[4] = {prev.y + prev.hy, prev.y - prev.hy, next.y + next.hy, next.y - next.hy};
    bool out = true;
    for (int k = 0; k < 4 && out; k++) out = cx[k] < bm.minx;
    bool o2 = true;
    for (int k = 0; k < 4 && o2; k++) o2 = cx[k] > bm.maxx;
    bool o3 = true;
    for (int k = 0; k < 4 && o3; k++) o3 = cy[k] < bm.miny;
    bool o4 = true;
    for (int k = 0; k < 4 && o4; k++) o4 = cy[k] > bm.maxy;
    if (!(out || o2 || o3 || o4)) {
      ZeRndrStreamCheckSpace(s->write, 20 * 16);
      uint32_t* tag = s->write;
      uint32_t* p = vpDmaTag_CntEx(tag, VIFCODE_FLUSHE, 0);
      vtBeginDirect(tag + 3, 0);
      p = gsBeginGifPacket(p, 4, 1, 1, GS_PRIM_TRISTRIP, GIF_FLG_PACKED, 3, GSR_ST, GSR_RGBAQ, GSR_XYZ2);
      const float us[4] = {ZeLgtArcU0, ZeLgtArcU0, u1, u1}, vs[4] = {ZeLgtArcV0, ZeLgtArcV1, ZeLgtArcV0, ZeLgtArcV1};
      const float zs[4] = {prev.z, prev.z, next.z, next.z};
      const uint32_t cols[4] = {FadeColour(bm, prev.f), FadeColour(bm, prev.f), FadeColour(bm, next.f),
                                FadeColour(bm, next.f)};
      for (int k = 0; k < 4; k++) {
        p = ZeRndrPutSt(p, us[k], vs[k], 1.0f);
        p = ZeRndrPutRgba(p, cols[k]);
        p = ZeRndrPutXyz(p, int(std::clamp(cx[k], 0.0f, 65535.0f)), int(std::clamp(cy[k], 0.0f, 65535.0f)),
                         int(uint32_t(std::clamp(zs[k], 0.0f, 4294967040.0f))));
      }
      ZeRndrEndSegment(s, vpDmaTag_Close(vtCloseDirect(p)));
    }
    prev = next;
  }
}

// Clips a beam to w >= 0.5 (false: wholly behind) and tests its projected
// ends against the skip bounds.
bool Prepare(Beam* b, float skipx0, float skipx1, float skipy0, float skipy1) {
  const ZEVEC4 e0 = Vpcs(b->a), e1 = Vpcs(b->b);
  if (e0.w <= 0.5f && e1.w <= 0.5f) return false;
  b->fa = 0.0f, b->fb = 1.0f;
  if (e0.w < 0.5f) {
    const float t = (0.5f - e0.w) / (e1.w - e0.w);
    b->fa = t;
    b->a = Lerp(b->a, b->b, t);
  } else if (e1.w < 0.5f) {
    const float t = (0.5f - e0.w) / (e1.w - e0.w);
    b->fb = t;
    b->b = Lerp(b->a, b->b, t);
  }
  const ZEVEC4 p0 = Vpcs(b->a), p1 = Vpcs(b->b);
  const float x0 = p0.x / p0.w, y0 = p0.y / p0.w, x1 = p1.x / p1.w, y1 = p1.y / p1.w;
  if ((x0 < skipx0 && x1 < skipx0) || (x0 > skipx1 && x1 > skipx1) || (y0 < skipy0 && y1 < skipy0) ||
      (y0 > skipy1 && y1 > skipy1))
    return false;
  return true;
}

ZERNDRSTREAM* BeginBeams() {
  ZERNDRSTREAM* s = rndrstream_3d_u;
  rndrstream_3d = s;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeLgtUseMtl(s, ZeLgtArcMtl, ~0ull);
  return s;
}

// Quads for the effect program's quad entry, texture coordinates from 0..1.
struct QuadVert {
  ZEVEC p;
  float u, v;
  uint32_t colour;
};
void QuadBatch(ZERNDRSTREAM* s, const QuadVert* v, int n) {
  static ZERNDRQUADVTX q[4 * ZELGT_LASERSPRS];
  for (int i = 0; i < n; i++)
    q[i] = {v[i].p, i % 4 < 2 ? 0x8000u : 0u, int32_t(v[i].u * 4096.0f), int32_t(v[i].v * 4096.0f), v[i].colour};
  ZeRndrStreamQuads(s, q, n, VIFCODE_NOP);
  ZeRndrEndSegment(s, s->write);
}

// Back on the back buffer (alpha masked) with the frame's offset.
void RestoreOffset(ZERNDRSTREAM* s) {
  uint64_t frame;
  ZePs2GetCurrentBackBuffer(&frame);
  uint32_t* p = ZeRndrOpenAd(s->write, VIFCODE_FLUSH, 0);
  p = ZeRndrPutAd(p, GS_FRAME_1, (frame & 0xffffffffull) | uint64_t(0xff000000u) << 32);
  p = ZeRndrPutAd(p, GS_XYOFFSET_1,
                  uint64_t((0x800 - zerndr_pixel_width / 2) * 16) |
                      uint64_t((0x800 - zerndr_pixel_height / 2) * 16 + zerndr_half_offset) << 32);
  ZeRndrEndSegment(s, ZeRndrCloseAd(p));
}

void Sprite(ZERNDRSTREAM* s, float s0, float t0, int x0, int y0, int x1, int y1, uint32_t colour, uint32_t z,
            float s1, float t1) {
  ZeLgtCloseSprites(s, ZeLgtSpriteRegs(ZeLgtOpenSprites(s), s0, t0, x0, y0, x1, y1, colour, z, s1, t1));
}

// The glow rings' and full-screen glows' GS set-up: the back buffer with
// its alpha masked, the display depth buffer read only, surface 25 as the
// texture clamped to its picture, additive.
void RingState(ZERNDRSTREAM* s) {
  const int saved = txupload_on;
  txupload_on = 0;
  ZeLgtUseMtl(s, ZeLgtSurf[25], 0x48);
  txupload_on = saved;
  uint64_t frame, zbuf;
  ZePs2GetCurrentBackBuffer(&frame);
  ZePs2GetCurrentZBuffer(&zbuf);
  uint32_t* p = ZeRndrOpenAd(s->write, VIFCODE_FLUSH, 0);
  p = ZeRndrPutAd(p, GS_ZBUF_1, (zbuf & 0x1ff) | 1ull << 24 | 1ull << 32);
  p = ZeRndrPutAd(p, GS_FRAME_1, (frame & 0xffffffffull) | uint64_t(0xff000000u) << 32);
  const uint64_t clamp = 2 | 2ull << 2 | uint64_t(PS2_REZ_W - 2) << 14 | uint64_t(PS2_REZ_H - 2) << 34;
  p = ZeRndrPutAd(p, GS_CLAMP_1, clamp);
  ZeRndrEndSegment(s, ZeRndrCloseAd(p));
}

void MaskTarget(ZERNDRSTREAM* s) {
  ZeLgtUseMtl(s, ZeLightAddMat, 0x88);
  uint32_t* p = ZeRndrOpenAd(s->write, VIFCODE_FLUSH, 0);
  p = ZeRndrPutAd(p, GS_XYOFFSET_1,
                  uint64_t((0x800 - zerndr_pixel_width / 2) * 16) | uint64_t((0x800 - zerndr_pixel_height / 2) * 16)
                                                                        << 32);
  s->write = ZeRndrCloseAd(p);
  s->write = ZeLgtModePacket(s->write, ZeLgtHSurf[25], 0, 0, -1, 0);
  ZeRndrEndSegment(s, s->write);
}

}  // namespace

// ---- queues ------------------------------------------------------------------------

int ZeLgtLaserStep(int seed) { return (seed * 9421 + 1) & 0xffff; }

float ZeLgtLaserPiece(float texlen, float len) {
  // A texture length of 0 or less would cut the beam into pieces of no
  // length, without end: such a beam is one piece.
  if (!(texlen > 0.0f) || !(len > 0.0f)) return 1.0f;
  return std::min(texlen / len, 1.0f);
}

void ZeLgtSetArcMat(ZEMTL* mtl, float left, float top, float right, float bottom) {
  ZeLgtArcMtl = mtl;
  ZeLgtArcU0 = left, ZeLgtArcV0 = top, ZeLgtArcU1 = right, ZeLgtArcV1 = bottom;
}

namespace {
void QueueLaser(int kind, const ZEVEC* start, const ZEVEC* vec, uint32_t colour, float width, float texlen,
                float jitter, float startwidth, float taperlen, bool fade) {
  if (ZeLgtLaserCnt >= ZELGT_LASERS) return;
  ZELGTLASER& l = ZeLgtLaserData[ZeLgtLaserCnt];
  l.seed = Seed(l.seed);
  l.start = *start;
  l.end = {start->x + vec->x, start->y + vec->y, start->z + vec->z};
  l.width = width, l.texlen = texlen, l.jitter = jitter;
  l.startratio = width != 0.0f ? startwidth / width : 1.0f;
  l.taperlen = taperlen;
  l.kind = uint8_t(kind), l.fade = fade ? 1 : 0;
  l.colour = colour;
  ZeLgtLaserCnt++;
}
}  // namespace

void ZeLgtLaser(int kind, const ZEVEC* start, const ZEVEC* vec, uint32_t colour, float width, float texlen,
                float jitter, float startwidth, float taperlen) {
  QueueLaser(kind, start, vec, colour, width, texlen, jitter, startwidth, taperlen, false);
}
void ZeLgtLaserFade(int kind, const ZEVEC* start, const ZEVEC* vec, uint32_t colour, float width, float texlen,
                    float jitter, float startwidth, float taperlen) {
  QueueLaser(kind, start, vec, colour, width, texlen, jitter, startwidth, taperlen, true);
}

void ZeLgtArcLaser(int kind, const ZEVEC* start, const ZEVEC* end, const ZEVEC* bulge, float width, float texlen,
                   float jitter, float height, uint32_t colour) {
  if (ZeLgtArcLaserCnt >= ZELGT_ARCLASERS) return;
  ZELGTARCLASER& l = ZeLgtArcLaserData[ZeLgtArcLaserCnt];
  l.seed = Seed(l.seed);
  l.start = *start, l.end = *end, l.bulge = *bulge;
  l.width = width, l.texlen = texlen, l.jitter = jitter, l.height = height;
  l.kind = uint8_t(kind);
  l.colour = colour;
  ZeLgtArcLaserCnt++;
}

void ZeLgtLaserSprite(const ZEVEC* pos, int angle, uint32_t colour, int life, float width, float height, int frame) {
  for (ZELGTLASERSPR& s : ZeLgtLaserSprData)
    if (s.life == 0) {
      s = {*pos, width, height * 0.5f, colour, colour, int16_t(life), int16_t(life), int16_t(angle),
           int16_t(frame * 16 + 0x80)};
      return;
    }
}

void ZeLgtFlareXY(const ZEVEC* pos, uint32_t glowcolour, uint32_t colour, float width, float height, float width2,
                  float height2) {
  if (ZeLgtFlareCnt >= ZELGT_FLARES) return;
  ZeLgtFlareData[ZeLgtFlareCnt++] = {*pos, width, width2, height, height2, glowcolour, colour, -1};
}
void ZeLgtFlareEx(const ZEVEC* pos, uint32_t glowcolour, uint32_t colour, int id, float size, float size2) {
  if (ZeLgtFlareCnt >= ZELGT_FLARES) return;
  ZeLgtFlareData[ZeLgtFlareCnt++] = {*pos, size, size2, size, size2, glowcolour, colour, id};
}
void ZeLgtFlare(const ZEVEC* pos, uint32_t glowcolour, uint32_t colour, float size, float size2) {
  ZeLgtFlareEx(pos, glowcolour, colour, -1, size, size2);
}

// ---- drawing ------------------------------------------------------------------------

void ZeLgtLaserDraw(int paused) {
  const uint16_t saved = ZeLgtSeed;
  if (paused) ZeLgtLaserCnt = ZeLgtLaserOldCnt;
  if (!ZeLgtArcMtl || ZeLgtLaserCnt == 0) {
    ZeLgtLaserOldCnt = 0;
    return;
  }
  ZERNDRSTREAM* s = BeginBeams();
  for (int i = 0; i < ZeLgtLaserCnt; i++) {
    const ZELGTLASER& l = ZeLgtLaserData[i];
    Beam b{l.start, l.end, 0, 1, l.width, l.texlen, l.jitter, l.startratio, l.taperlen, l.fade != 0, l.colour,
           l.seed, nullptr, 24576.0f, 40960.0f, 30208.0f, 35328.0f};
    if (!Prepare(&b, 25088.0f, 40448.0f, 30208.0f, 35328.0f)) continue;
    DrawBeam(s, b, l.start);
  }
  ZeLgtLaserOldCnt = ZeLgtLaserCnt;
  ZeLgtLaserCnt = 0;
  ZeLgtSeed = saved;
}

void ZeLgtArcLaserDraw(int paused) {
  if (!paused) ZeLgtArcLaserFrame++;
  else ZeLgtArcLaserCnt = ZeLgtArcLaserOldCnt;
  const uint16_t saved = ZeLgtSeed;
  if (!ZeLgtArcMtl || ZeLgtArcLaserCnt == 0) {
    ZeLgtArcLaserOldCnt = 0;
    return;
  }
  ZERNDRSTREAM* s = BeginBeams();
  for (int i = 0; i < ZeLgtArcLaserCnt; i++) {
    const ZELGTARCLASER& l = ZeLgtArcLaserData[i];
    const float bl = std::sqrt(l.bulge.x * l.bulge.x + l.bulge.y * l.bulge.y + l.bulge.z * l.bulge.z);
    const ZEVEC bulge = bl > 0.0f ? ZEVEC{l.bulge.x * l.height / bl, l.bulge.y * l.height / bl,
                                          l.bulge.z * l.height / bl}
                                  : ZEVEC{0, 0, 0};
    Beam b{l.start, l.end, 0, 1, l.width, l.texlen, l.jitter, 1.0f, 0.0f, false, l.colour, l.seed, &bulge,
           22528.0f, 43008.0f, 28672.0f, 36864.0f};
    if (!Prepare(&b, 22528.0f, 43008.0f, 28672.0f, 36864.0f)) continue;
    DrawBeam(s, b, l.start);
  }
  ZeLgtArcLaserOldCnt = ZeLgtArcLaserCnt;
  ZeLgtArcLaserCnt = 0;
  ZeLgtSeed = saved;
}

void ZeLgtLaserSprDraw(int paused) {
  if (!ZeLgtArcMtl) return;
  const ZEMTX* cam = ZeCameraGetMtx();
  const ZEVEC R = {cam->m[0][0] * 0.5f, cam->m[0][1] * 0.5f, cam->m[0][2] * 0.5f};
  const ZEVEC U = {cam->m[1][0] * 0.5f, cam->m[1][1] * 0.5f, cam->m[1][2] * 0.5f};
  static QuadVert v[4 * ZELGT_LASERSPRS];
  int n = 0;
  for (ZELGTLASERSPR& sp : ZeLgtLaserSprData) {
    if (sp.life <= 0) continue;
    if (!paused) {
      sp.life--;
      if (sp.life > 0) {
        const float k = 1.0f - float(sp.life) / float(sp.initlife);
        sp.current = (sp.colour & 0xffffff) | uint32_t(float(sp.colour >> 24) * k) << 24;
      }
    }
    const float sa = ZeTrigSin(sp.angle), ca = ZeTrigCos(sp.angle);
    const ZEVEC P = {R.x * sa + U.x * ca, R.y * sa + U.y * ca, R.z * sa + U.z * ca};
    const ZEVEC Q = {R.x * ca - U.x * sa, R.y * ca - U.y * sa, R.z * ca - U.z * sa};
    const float h = sp.halfheight, w = sp.width;
    auto at = [&](float ph, float qw) {
      return ZEVEC{sp.pos.x + P.x * ph + Q.x * qw, sp.pos.y + P.y * ph + Q.y * qw, sp.pos.z + P.z * ph + Q.z * qw};
    };
    const float v0 = float(sp.row) / 256.0f, v1 = float(sp.row + 16) / 256.0f;
    v[n++] = {at(-h, -w), 0.0f, v0, sp.current};
    v[n++] = {at(-h, 0), 0x400 / 4096.0f, v0, sp.current};
    v[n++] = {at(h, -w), 0.0f, v1, sp.current};
    v[n++] = {at(h, 0), 0x400 / 4096.0f, v1, sp.current};
  }
  if (n == 0) return;
  ZERNDRSTREAM* s = ZeLgtBeginFx(ZeLgtArcMtl, ~0ull);
  QuadBatch(s, v, n);
  ZeRndrStreamFxMPGEx(0, s);
  ZeRndrEndSegment(s, s->write);
}

namespace {

struct FlareView {
  ZEVEC R, U;
};
FlareView FlareAxes() {
  const ZEMTX* cam = &global_camera.mtx;
  return {{cam->m[0][0] * 0.5f, cam->m[0][1] * 0.5f, cam->m[0][2] * 0.5f},
          {cam->m[1][0] * -0.5f, cam->m[1][1] * -0.5f, cam->m[1][2] * -0.5f}};
}

// Surface 25 takes temporary memory for the flares' masks.
void MaskMemory() {
  ZeTexFlushTemp();
  ZeTexAssignTempAddr(ZeLgtHSurf[25]);
}

}  // namespace

void ZeLgtFlareDrawFull(int paused) {
  if (paused) ZeLgtFlareCnt = ZeLgtFlareOldCnt;
  bool any = false;
  for (int i = 0; i < ZeLgtFlareCnt; i++) any = any || ZeLgtFlareData[i].depthid > 0x7ffffff;
  if (!any) return;
  MaskMemory();
  ZERNDRSTREAM* s = ZeLgtBeginFx(nullptr, ~0ull);
  const int ox = ZeLgtX0(), oy = ZeLgtY0(), w = PS2_REZ_W, h = PS2_REZ_H;
  for (int i = 0; i < ZeLgtFlareCnt; i++) {
    const ZELGTFLARE& f = ZeLgtFlareData[i];
    if (f.depthid <= 0x7ffffff) continue;
    const uint32_t z = testflarefulldepth ? uint32_t(testflarefulldepth) : uint32_t(f.depthid) & 0xffffff;
    if (testflare & 1) {
      // The mask: every pixel whose scene lies beyond z.
      MaskTarget(s);
      Sprite(s, 0, 0, ox, oy, ox + w * 16, oy + h * 16, 0x80000000u, 0xffffff, 0, 0);
      Sprite(s, 0, 0, ox, oy, ox + w * 16, oy + h * 16, 0x80808080u, z, 0, 0);
    }
    if (testflare & 0x10) {
      RingState(s);
      for (int k = 0; k < 8; k++) {
        const uint32_t a = uint32_t(int(f.glowcolour >> 24) * (15 - k) / 15);
        const uint32_t c = (f.glowcolour & 0xffffff) | a << 24;
        Sprite(s, 0, 0, ox - k * testflarefullx, oy - k * testflarefullytop, ox + w * 16 + k * testflarefullx,
               oy + h * 16 + k * testflarefully, c, z, 0.625f, 0.875f);
      }
    }
    RestoreOffset(s);
  }
  ZeRndrStreamFxMPGEx(0, s);
  ZeRndrEndSegment(s, s->write);
}

void ZeLgtFlareDraw(int paused) {
  const int count = ZeLgtFlareCnt;
  ZeLgtFlareDrawFull(paused);
  ZeLgtFlareCnt = count;
  MaskMemory();
  const FlareView ax = FlareAxes();
  if (paused) ZeLgtFlareCnt = ZeLgtFlareOldCnt;
  if (ZeLgtFlareCnt == 0 || !ZeLgtArcMtl) {
    ZeLgtFlareOldCnt = 0;
    ZeLgtFlareCnt = 0;
    return;
  }
  ZERNDRSTREAM* s = ZeLgtBeginFx(nullptr, ~0ull);
  const int W = PS2_REZ_W, H = PS2_REZ_H;
  const float pw = float(ZePower2(W)), ph = float(ZePower2(H));
  for (int i = 0; i < ZeLgtFlareCnt; i++) {
    const ZELGTFLARE& f = ZeLgtFlareData[i];
    if (f.depthid > 0x7ffffff) continue;
    const ZEVEC a = {f.pos.x - ax.R.x * f.width - ax.U.x * f.height, f.pos.y - ax.R.y * f.width - ax.U.y * f.height,
                     f.pos.z - ax.R.z * f.width - ax.U.z * f.height};
    const ZEVEC b = {f.pos.x + ax.R.x * f.width + ax.U.x * f.height, f.pos.y + ax.R.y * f.width + ax.U.y * f.height,
                     f.pos.z + ax.R.z * f.width + ax.U.z * f.height};
    ZEVEC4 c0 = Vpcs(a), c1 = Vpcs(b);
    if (c0.w <= 0.5f) continue;
    const float x0 = c0.x / c0.w, y0 = c0.y / c0.w, x1 = c1.x / c1.w, y1 = c1.y / c1.w;
    const float lx = 32768.0f - 8.0f * float(W - 16), hx = 32768.0f + 8.0f * float(W - 16);
    const float ly = 32768.0f - 8.0f * float(H - 16), hy = 32768.0f + 8.0f * float(H - 16);
    if ((x0 < lx && x1 < lx) || (x0 > hx && x1 > hx) || (y0 < ly && y1 < ly) || (y0 > hy && y1 > hy)) continue;
    const uint32_t z = f.depthid >= 0 ? uint32_t(f.depthid) : uint32_t(std::max(c0.z / c0.w, 0.0f));
    const int X0 = int(x0), Y0 = int(y0), X1 = int(x1), Y1 = int(y1);
    if (f.colour) {
      ZeLgtUseMtl(s, ZeLgtArcMtl, 0x48);
      Sprite(s, 0.814453f, 0.001953f, X0, Y0, X1, Y1, f.colour, z, 0.931641f, 0.123047f);
    }
    if (testflare & 1) {
      MaskTarget(s);
      Sprite(s, 0, 0, X0 - 48, Y0 - 48, X1 + 48, Y1 + 48, 0x80000000u, 0xffffff, 0, 0);
      ZeLgtUseMtl(s, ZeLgtArcMtl, 0x88);
      Sprite(s, 0.570312f, 0.0f, X0, Y0, X1, Y1, 0x80808080u, z, 0.683594f, 0.121094f);
    }
    if (testflare & 0x10) {
      RingState(s);
      QuadVert v[32];
      for (int k = 0; k < 8; k++) {
        const float sx = (f.width * float(15 - k) + f.width2 * float(k)) / 15.0f;
        const float ty = (f.height * float(15 - k) + f.height2 * float(k)) / 15.0f;
        const uint32_t c = (f.glowcolour & 0xffffff) | uint32_t(int(f.glowcolour >> 24) * (15 - k) / 15) << 24;
        const float sg[4][2] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
        for (int j = 0; j < 4; j++) {
          const ZEVEC p = {f.pos.x + ax.R.x * sx * sg[j][0] + ax.U.x * ty * sg[j][1],
                           f.pos.y + ax.R.y * sx * sg[j][0] + ax.U.y * ty * sg[j][1],
                           f.pos.z + ax.R.z * sx * sg[j][0] + ax.U.z * ty * sg[j][1]};
          const ZEVEC4 q = Vpcs(p);
          const float qx = q.w > 0.0f ? q.x / q.w : 32768.0f, qy = q.w > 0.0f ? q.y / q.w : 32768.0f;
          v[4 * k + j] = {p, ((qx - 32768.0f) / 16.0f + float(W) / 2.0f) / pw,
                          ((qy - 32768.0f) / 16.0f + float(H) / 2.0f) / ph, c};
        }
      }
      QuadBatch(s, v, 32);
    }
    RestoreOffset(s);
  }
  ZeRndrStreamFxMPGEx(0, s);
  ZeRndrEndSegment(s, s->write);
  ZeLgtFlareOldCnt = ZeLgtFlareCnt;
  ZeLgtFlareCnt = 0;
}

// ---- the effects pass -------------------------------------------------------------------

void ZeRndrFx(int paused, const ZEVEC* player) {
  ZERNDRSTREAM* s = rndrstream_system;
  ZeRndrStreamLink(s);
  ZeRndrSetRTarget(s, -1);
  ZeRndrSetZBuffer(s, -2);
  rndrstream_free = vpDmaTag_Next(s->write, nullptr);
  zerndr_curr_ho = 0;
  ZeRndrSetXYOffset((0x800 - zerndr_pixel_width / 2) * 16, (0x800 - zerndr_pixel_height / 2) * 16);
  ZeRndrSetScissor(0, 0, zerndr_pixel_width - 1, zerndr_pixel_height - 1);
  ZeRndrSetFrameMask(0xff000000u, 0);
  ZeLgtFlareDraw(paused);
  ZeLgtLaserDraw(paused);
  ZeLgtLaserSprDraw(paused);
  ZeLgtArcLaserDraw(paused);
  ZeRndrStreamFlush();
  ZeRndrShadowStencil(paused, player);
  // The surfaces are set up, and the shadow pass drawn, only for a pass
  // that reads them: an empty store's composite changes no pixel, so a
  // frame without shadows, glows or fog costs no GS work here.
  bool spots = false;
  for (const ZELGTSPOT& sp : ZeLightSpots) spots = spots || sp.active || (paused && sp.last_active);
  const bool shadows = zerndr_shadowson && shadstorecnt > 0;
  if (shadows || spots || ZeRndrFogNear < ZeRndrFogFar) ZeLightFxSetup();
  if (shadows) ZeRndrShadow(paused);
  ZeLightProcessSpot(paused);
  ZeLightFogDraw(paused);
  ZeRndrWater(paused);
}
