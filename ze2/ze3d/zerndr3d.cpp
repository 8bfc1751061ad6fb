// Immediate 3-D primitives and sprites: world-space lines (clipped in
// homogeneous clip space), the per-frame debug-line queues, an unclipped
// strip, camera-facing sprites and depth rectangles, projected on the main
// processor and written as finished GS primitives.
#include "zerndr_local.h"

#include <cmath>

int LineCnt3dDbg = 0, LineCnt2dDbg = 0;

namespace {

struct Dbg3d {
  float x0, y0, z0, x1, y1, z1;
  ZECOLOUR32 colour;
};
struct Dbg2d {
  int x0, y0, x1, y1, z;
  ZECOLOUR32 colour;
};
Dbg3d g_dbg3d[ZERNDR_DBG_LINES];
Dbg2d g_dbg2d[ZERNDR_DBG_LINES];

struct H {
  float v[4];
};

H Xform(const ZEMTX& m, const float p[4]) {
  H r;
  for (int j = 0; j < 4; j++) r.v[j] = p[0] * m.m[0][j] + p[1] * m.m[1][j] + p[2] * m.m[2][j] + p[3] * m.m[3][j];
  return r;
}

// Moves the clipped end (screen copy ms, clip copy mc) toward the other
// end until it lies inside all six planes.
void ClipLinePoint(H& ms, const H& os, H& mc, const H& oc) {
  for (int k = 0; k < 6; k++) {
    const int axis = k >> 1;
    const float a = std::fabs(mc.v[3]);
    const float x = mc.v[axis], w = mc.v[3], xo = oc.v[axis], wo = oc.v[3];
    float t;
    if (!(k & 1)) {
      if (!(x > a)) continue;
      t = (x - w) / ((x - w) - (xo - wo));
    } else {
      if (!(x < -a)) continue;
      t = (-x - w) / ((xo - x) + (wo - w));
    }
    for (int i = 0; i < 4; i++) {
      ms.v[i] += (os.v[i] - ms.v[i]) * t;
      mc.v[i] += (oc.v[i] - mc.v[i]) * t;
    }
  }
}

uint64_t Rgbaq(ZECOLOUR32 c) { return uint64_t(c) | uint64_t(ZeRndrFloatBits(1.0f)) << 32; }
uint64_t Xyz(const H& s) {
  const float q = 1.0f / s.v[3];
  return (uint64_t(uint32_t(int(s.v[0] * q))) & 0xffff) | (uint64_t(uint32_t(int(s.v[1] * q))) & 0xffff) << 16 |
         uint64_t(uint32_t(int(s.v[2] * q))) << 32;
}
uint64_t XyzInt(int x, int y, int z) {
  return (uint64_t(uint32_t(x)) & 0xffff) | (uint64_t(uint32_t(y)) & 0xffff) << 16 | uint64_t(uint32_t(z)) << 32;
}
uint64_t St(float s, float t) { return uint64_t(ZeRndrFloatBits(s)) | uint64_t(ZeRndrFloatBits(t)) << 32; }

// Clips and projects one line; false when wholly outside one plane.
bool ProjectLine(const ZEVEC& a, const ZEVEC& b, const ZEMTX* local, H* sa, H* sb) {
  const ZEMTX* S = ZeCameraGetVPCSMtx();
  const ZEMTX* K = ZeCameraGetVPCMtx();
  ZEMTX LS, LK;
  if (local) {
    ZeMtxMulH(&LS, local, S);
    ZeMtxMulH(&LK, local, K);
    S = &LS;
    K = &LK;
  }
  const int ca = ZeCameraClipTestPoints(&a, 1, local), cb = ZeCameraClipTestPoints(&b, 1, local);
  if (ca & cb) return false;
  const float pa[4] = {a.x, a.y, a.z, 1.0f}, pb[4] = {b.x, b.y, b.z, 1.0f};
  *sa = Xform(*S, pa);
  *sb = Xform(*S, pb);
  if (ca | cb) {
    H ka = Xform(*K, pa), kb = Xform(*K, pb);
    if (ca) ClipLinePoint(*sa, *sb, ka, kb);
    if (cb) ClipLinePoint(*sb, *sa, kb, ka);
  }
  return true;
}

ZERNDRSTREAM* SpriteStream(ZEMTL* mtl) {
  ZERNDRSTREAM* s = ZeRndrMtlStream(mtl);
  rndrstream_3d = s;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  return s;
}

const float kCornerUV[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};  // a: 0, b: 1
// Corner offsets in the sprite's own axes, one order for both forms:
// top-left, top-right, bottom-left, bottom-right on the screen.
const float kCornerOff[4][2] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};

float CornerU(const ZESPRITE& s, int k) { return kCornerUV[k][0] == 0 ? s.ua : s.ub; }
float CornerV(const ZESPRITE& s, int k) { return kCornerUV[k][1] == 0 ? s.va : s.vb; }

}  // namespace

int ZeRndrLine3d(const ZEVTX* ends, ZEMTL* mtl, const ZEMTX* local) {
  H sa, sb;
  if (!ProjectLine(ends[0].pos, ends[1].pos, local, &sa, &sb)) return 0;
  uint32_t* p = ZeRndrBegin2d(ZeRndrMtl3d(mtl));
  p = vpDmaTag_CntEx(p, VIFCODE_FLUSHE, VIFCODE_DIRECT | 4);
  p = gsBeginGifPacket(p, 1, 1, 1, 0, GIF_FLG_REGLIST, 5, GSR_PRIM, GSR_RGBAQ, GSR_XYZ2, GSR_RGBAQ, GSR_XYZ2);
  p = ZeRndrPutD(p, GS_PRIM_LINE);
  p = ZeRndrPutD(p, Rgbaq(ends[0].colour));
  p = ZeRndrPutD(p, Xyz(sa));
  p = ZeRndrPutD(p, Rgbaq(ends[1].colour));
  p = ZeRndrPutD(p, Xyz(sb));
  p = ZeRndrPutD(p, 0);
  ZeRndrEndSegment(rndrstream_2d, vpDmaTag_Close(p));
  return 1;
}

void ZeRndrLine3dDbg(ZECOLOUR32 colour, float x0, float y0, float z0, float x1, float y1, float z1) {
  if (LineCnt3dDbg >= ZERNDR_DBG_LINES) return;
  g_dbg3d[LineCnt3dDbg++] = {x0, y0, z0, x1, y1, z1, colour};
}
void ZeRndr3dLine(ZECOLOUR32 colour, float x0, float y0, float z0, float x1, float y1, float z1) {
  ZeRndrLine3dDbg(colour, x0, y0, z0, x1, y1, z1);
}
void ZeRndrLine2dDbg(int x0, int y0, int x1, int y1, int z, ZECOLOUR32 colour) {
  if (LineCnt2dDbg >= ZERNDR_DBG_LINES) return;
  const int ox = ZeRndrDisplayOffsetX(), oy = ZeRndrDisplayOffsetY();
  g_dbg2d[LineCnt2dDbg++] = {x0 + ox, y0 + oy, x1 + ox, y1 + oy, z, colour};
}
void ZeRndr2dLine(int x0, int y0, int x1, int y1, int z, ZECOLOUR32 colour) {
  ZeRndrLine2dDbg(x0, y0, x1, y1, z, colour);
}

void ZeRndrLine3dDbgFlush() {
  if (!LineCnt3dDbg && !LineCnt2dDbg) return;
  ZERNDRSTREAM* s = rndrstream_2d;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeRndrStreamAddMtl(s, ZeRndrMtl3d(nullptr));
  uint32_t* tag = s->write;
  uint32_t* p = vpDmaTag_CntEx(tag, VIFCODE_FLUSHE, 0);
  vtBeginDirect(tag + 3, 0);
  p = gsBeginGifPacket(p, 1, 0, 0, 0, GIF_FLG_REGLIST, 2, GIF_REG_AD, GSR_PRIM);
  p = ZeRndrPutD(p, 0);
  p = ZeRndrPutD(p, GS_PRIM_LINE);
  p = gsBeginGifPacket(p, 0, 1, 0, 0, GIF_FLG_REGLIST, 2, GSR_RGBAQ, GSR_XYZ2);
  for (int i = 0; i < LineCnt3dDbg; i++) {
    const Dbg3d& d = g_dbg3d[i];
    const ZEVEC a = {d.x0, d.y0, d.z0}, b = {d.x1, d.y1, d.z1};
    H sa, sb;
    if (!ProjectLine(a, b, nullptr, &sa, &sb)) continue;
    p = ZeRndrPutD(p, Rgbaq(d.colour));
    p = ZeRndrPutD(p, Xyz(sa));
    p = ZeRndrPutD(p, Rgbaq(d.colour));
    p = ZeRndrPutD(p, Xyz(sb));
  }
  for (int i = 0; i < LineCnt2dDbg; i++) {
    const Dbg2d& d = g_dbg2d[i];
    p = ZeRndrPutD(p, Rgbaq(d.colour));
    p = ZeRndrPutD(p, XyzInt(d.x0, d.y0, d.z));
    p = ZeRndrPutD(p, Rgbaq(d.colour));
    p = ZeRndrPutD(p, XyzInt(d.x1, d.y1, d.z));
  }
  ZeRndrEndSegment(s, vpDmaTag_Close(vtCloseDirect(gsCloseGifPacket(p))));
  LineCnt3dDbg = LineCnt2dDbg = 0;
}

void ZeRndrCrossHair(const ZEVEC* c, float size) {
  for (int axis = 0; axis < 3; axis++) {
    ZEVTX e[2] = {};
    e[0].pos = *c;
    e[1].pos = *c;
    (&e[0].pos.x)[axis] -= size;
    (&e[1].pos.x)[axis] += size;
    e[0].colour = e[1].colour = 0xffffffffu;
    ZeRndrLine3d(e, nullptr, nullptr);
  }
}

int ZeRndrTriStrip3d(const ZEVTX* v, int count, ZEMTL* mtl, const ZEMTX* local) {
  const ZEMTX* S = ZeCameraGetVPCSMtx();
  ZEMTX LS;
  if (local) {
    ZeMtxMulH(&LS, local, S);
    S = &LS;
  }
  if (count < 0) count = 0;
  uint32_t* tag = ZeRndrBegin2d(ZeRndrMtl3d(mtl));
  uint32_t* p = vpDmaTag_CntEx(tag, VIFCODE_FLUSH, 0);
  vtBeginDirect(tag + 3, 0);
  p = gsBeginGifPacket(p, count, 1, 1, GS_PRIM_TRISTRIP, GIF_FLG_PACKED, 3, GSR_RGBAQ, GSR_ST, GSR_XYZ2);
  for (int i = 0; i < count; i++) {
    const float pt[4] = {v[i].pos.x, v[i].pos.y, v[i].pos.z, 1.0f};
    const H s = Xform(*S, pt);
    const float q = 1.0f / s.v[3];
    p = ZeRndrPutRgba(p, v[i].colour);
    p = ZeRndrPutSt(p, v[i].u, v[i].v, 1.0f);
    p = ZeRndrPutXyz(p, int(s.v[0] * q), int(s.v[1] * q), int(s.v[2] * q));
  }
  ZeRndrEndSegment(rndrstream_2d, vpDmaTag_Close(vtCloseDirect(p)));
  return 1;
}

int ZeRndrFaceOn(const ZESPRITE* sp, ZEMTL* mtl, const ZEMTX* local) {
  if (ZeCameraClipTestPoints(&sp->pos, 1, local)) return 0;
  const float pt[4] = {sp->pos.x, sp->pos.y, sp->pos.z, 1.0f};
  H c = Xform(*ZeCameraGetVPCSMtx(), pt);
  const float w = c.v[3], q = 1.0f / w;
  const float x = c.v[0] * q, y = c.v[1] * q, z = c.v[2] * q;
  float rx, ry;
  ZeCameraGetClippingRatios(&rx, &ry);
  const ZEVIEWPORT* vp = ZeVpGetCurrentViewport();
  const float sx = float(vp->width) / (2.0f * w * rx), sy = float(vp->height) / (2.0f * w * ry);
  float cx[4], cy[4], cz;
  if (sp->sine == 0.0f && sp->cosine == 1.0f) {
    for (int k = 0; k < 4; k++) {
      cx[k] = x + kCornerOff[k][0] * sp->width * sx;
      cy[k] = y + kCornerOff[k][1] * sp->height * sy;
    }
    cz = z + 500000.0f / (w * w);
  } else {
    for (int k = 0; k < 4; k++) {
      const float ox = kCornerOff[k][0] * sp->width, oy = kCornerOff[k][1] * sp->height;
      cx[k] = x + sx * (ox * sp->cosine + oy * sp->sine);
      cy[k] = y + sy * (oy * sp->cosine - ox * sp->sine);
    }
    cz = z;
  }
  ZERNDRSTREAM* s = SpriteStream(ZeRndrMtl3d(mtl));
  uint32_t* p = vpDmaTag_CntEx(s->write, VIFCODE_FLUSHE, VIFCODE_DIRECT | 13);
  p = gsBeginGifPacket(p, 4, 1, 1, GS_PRIM_TRISTRIP, GIF_FLG_PACKED, 3, GSR_ST, GSR_RGBAQ, GSR_XYZ2);
  for (int k = 0; k < 4; k++) {
    p = ZeRndrPutSt(p, CornerU(*sp, k), CornerV(*sp, k), 1.0f);
    p = ZeRndrPutQ(p, uint32_t(sp->colour[0]), uint32_t(sp->colour[1]), uint32_t(sp->colour[2]),
                   uint32_t(sp->colour[3]));
    p = ZeRndrPutXyz(p, int(cx[k]), int(cy[k]), int(cz));
  }
  ZeRndrEndSegment(s, vpDmaTag_Close(p));
  return 0;
}

namespace {

int CameraSprite(const ZESPRITE* sp, ZEMTL* mtl, const ZEMTX* local, bool rotate) {
  if (ZeCameraClipTestPoints(&sp->pos, 1, local)) return 0;
  ZEVEC c;
  ZeCameraTransformView(&c, &sp->pos, 1, local);
  const bool plain = !rotate || (sp->sine == 0.0f && sp->cosine == 1.0f);
  ZERNDRSTREAM* s = SpriteStream(ZeRndrMtl3d(mtl));
  uint32_t* p = vpDmaTag_Cnt(s->write);
  p = ZeRndrPutQ(p, VIFCODE_NOP, VIFCODE_NOP, VIFCODE_FLUSHE, VIFCODE_DIRECT | 13);
  p = gsBeginGifPacket(p, 4, 1, 1, GS_PRIM_TRISTRIP, GIF_FLG_PACKED, 3, GSR_ST, GSR_RGBAQ, GSR_XYZ2);
  const ZEMTX* pcs = ZeCameraGetPCSMtx();
  for (int k = 0; k < 4; k++) {
    const float ox = kCornerOff[k][0] * sp->width, oy = kCornerOff[k][1] * sp->height;
    float cx = ox, cy = oy;
    if (!plain) {
      cx = ox * sp->cosine + oy * sp->sine;
      cy = oy * sp->cosine - ox * sp->sine;
    }
    const float pt[4] = {c.x + cx, c.y + cy, c.z, 1.0f};
    const H h = Xform(*pcs, pt);
    const float q = 1.0f / h.v[3];
    p = ZeRndrPutSt(p, CornerU(*sp, k) * q, CornerV(*sp, k) * q, q);
    p = ZeRndrPutQ(p, uint32_t(sp->colour[0]), uint32_t(sp->colour[1]), uint32_t(sp->colour[2]),
                   uint32_t(sp->colour[3]));
    p = ZeRndrPutXyz(p, int(h.v[0] * q), int(h.v[1] * q), int(h.v[2] * q));
  }
  ZeRndrEndSegment(s, vpDmaTag_Close(p));
  return 0;
}

uint32_t* RectRegs(uint32_t* p, int x, int y, int w, int h, ZECOLOUR32 colour, int z, float ua, float va, float ub,
                   float vb) {
  x += ZeRndrTargetOffsetX();
  y += ZeRndrTargetOffsetY();
  p = ZeRndrPutD(p, GS_PRIM_SPRITE);
  p = ZeRndrPutD(p, Rgbaq(colour));
  p = ZeRndrPutD(p, St(ua, va));
  p = ZeRndrPutD(p, XyzInt(x, y, z));
  p = ZeRndrPutD(p, St(ub, vb));
  return ZeRndrPutD(p, XyzInt(x + w, y + h, z));
}

}  // namespace

int ZeRndrOldFaceOn(const ZESPRITE* sp, ZEMTL* mtl, const ZEMTX* local) { return CameraSprite(sp, mtl, local, true); }
int ZeRndrFaceY(const ZESPRITE* sp, ZEMTL* mtl, const ZEMTX* local) { return CameraSprite(sp, mtl, local, false); }

void ZeRndrRectUV3di(int x, int y, int w, int h, ZECOLOUR32 colour, int z, float ua, float va, float ub, float vb) {
  ZERNDRSTREAM* s = rndrstream_3d;
  uint32_t* tag = s->write;
  uint32_t* p = vpDmaTag_CntEx(tag, VIFCODE_FLUSHE, 0);
  vtBeginDirect(tag + 3, 0);
  p = gsBeginGifPacket(p, 1, 1, 1, GS_PRIM_SPRITE, GIF_FLG_REGLIST, 6, GSR_PRIM, GSR_RGBAQ, GSR_ST, GSR_XYZ2, GSR_ST,
                       GSR_XYZ2);
  p = RectRegs(p, x, y, w, h, colour, z, ua, va, ub, vb);
  s->write = vpDmaTag_Close(vtCloseDirect(p));
}

void ZeRndrRectUV3diNS(int x, int y, int w, int h, ZECOLOUR32 colour, int z, float ua, float va, float ub, float vb) {
  ZERNDRSTREAM* s = rndrstream_3d;
  s->write = RectRegs(s->write, x, y, w, h, colour, z, ua, va, ub, vb);
}
