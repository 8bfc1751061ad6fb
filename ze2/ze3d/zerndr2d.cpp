// Immediate 2-D primitives: one self-contained GS packet per call straight
// into the 2-D stream (or a caller's stream), passed through VU1 to the GS
// by VIF DIRECT. The float family takes ZEVTX2D vertices in fractions of
// the viewport; the integer family 1/16 pixel from the top-left corner of
// the display or of the render target.
#include "zerndr_local.h"

int tri2dz = 1;

ZEMTL* ZeRndrMtl2d(ZEMTL* mtl) { return mtl ? mtl : zemtl_defaultmtl2d; }
ZEMTL* ZeRndrMtl3d(ZEMTL* mtl) { return mtl ? mtl : zemtl_defaultmtl3d; }

ZERNDRSTREAM* ZeRndrMtlStream(ZEMTL* mtl) {
  if (!mtl) ZeError("drawing through a material's stream with no material (materials not started)");
  return &mtl->stream;
}

uint32_t* ZeRndrBegin2d(ZEMTL* mtl) {
  ZERNDRSTREAM* s = rndrstream_2d;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeRndrStreamAddMtl(s, mtl);
  return s->write;
}

void ZeRndrEndSegment(ZERNDRSTREAM* s, uint32_t* end) {
  s->write = end;
  rndrstream_free = vpDmaTag_Next(end, nullptr);
}

int ZeRndrDisplayOffsetX() { return (PS2_VCNTR_X - PS2_REZ_W / 2) * 16; }
int ZeRndrDisplayOffsetY() { return (PS2_VCNTR_Y - PS2_REZ_H / 2) * 16; }
int ZeRndrTargetOffsetX() { return (PS2_VCNTR_X - zerndr_pixel_width / 2) * 16; }
int ZeRndrTargetOffsetY() { return (PS2_VCNTR_Y - zerndr_pixel_height / 2) * 16; }

namespace {

// ---- float family ------------------------------------------------------

enum StMode { ST_PLAIN, ST_TIMES_Q };

int Float2d(const ZEVTX2D* v, ZEMTL* mtl, int n, int prim, uint32_t flush, StMode st) {
  if (n < 0) n = 0;
  uint32_t* p = ZeRndrBegin2d(ZeRndrMtl2d(mtl));
  p = vpDmaTag_Cnt(p);
  p = ZeRndrPutQ(p, VIFCODE_NOP, VIFCODE_NOP, flush, VIFCODE_DIRECT | uint32_t(1 + 3 * n));
  p = gsBeginGifPacket(p, n, 1, 1, prim, GIF_FLG_PACKED, 3, GSR_ST, GSR_RGBAQ, GSR_XYZ2);
  for (int i = 0; i < n; i++) {
    const ZEVTX2D& x = v[i];
    if (st == ST_TIMES_Q) p = ZeRndrPutSt(p, x.u * x.q, x.v * x.q, x.q);
    else p = ZeRndrPutSt(p, x.u, x.v, x.q);
    p = ZeRndrPutRgba(p, x.colour);
    p = ZeRndrPutXyz(p, int(ZeVpPixelWidth(x.x)), int(ZeVpPixelHeight(x.y)), int(x.z));
  }
  ZeRndrEndSegment(rndrstream_2d, vpDmaTag_Close(p));
  return 1;
}

// ---- integer family ----------------------------------------------------

// Opens the packet: cnt tag with FLUSHE and DIRECT, GIF tag with the
// register list (NLOOP computed at the close).
template <typename... Regs>
uint32_t* OpenInt(uint32_t* p, int prim, Regs... regs) {
  uint32_t* tag = p;
  p = vpDmaTag_CntEx(p, VIFCODE_FLUSHE, 0);
  vtBeginDirect(tag + 3, 0);
  return gsBeginGifPacket(p, 0, 1, 1, prim, GIF_FLG_PACKED, int(sizeof...(regs)), int(regs)...);
}
uint32_t* CloseInt(uint32_t* p) { return vpDmaTag_Close(vtCloseDirect(gsCloseGifPacket(p))); }

uint32_t* SpriteUV(uint32_t* p, int x, int y, int z, int w, int h, ZECOLOUR32 c, float ua, float va, float ub,
                   float vb) {
  p = OpenInt(p, GS_PRIM_SPRITE, GSR_RGBAQ, GSR_ST, GSR_XYZ2, GSR_ST, GSR_XYZ2);
  p = ZeRndrPutRgba(p, c);
  p = ZeRndrPutSt(p, ua, va, 1.0f);
  p = ZeRndrPutXyz(p, x, y, z);
  p = ZeRndrPutSt(p, ub, vb, 1.0f);
  p = ZeRndrPutXyz(p, x + w, y + h, z);
  return CloseInt(p);
}

// Per-vertex RGBAQ, ST, XYZ2 (line strips and triangle strips of the
// integer family).
void VertexList(const int* xy, const float* uv, int n, ZECOLOUR32 c, ZEMTL* mtl, int prim, int ox, int oy, int z) {
  if (n < 0) n = 0;
  uint32_t* p = ZeRndrBegin2d(ZeRndrMtl2d(mtl));
  p = OpenInt(p, prim, GSR_RGBAQ, GSR_ST, GSR_XYZ2);
  for (int i = 0; i < n; i++) {
    p = ZeRndrPutRgba(p, c);
    p = ZeRndrPutSt(p, uv ? uv[2 * i] : 0.0f, uv ? uv[2 * i + 1] : 0.0f, 1.0f);
    p = ZeRndrPutXyz(p, xy[2 * i] + ox, xy[2 * i + 1] + oy, z);
  }
  ZeRndrEndSegment(rndrstream_2d, CloseInt(p));
}

}  // namespace

int ZeRndrLine2d(const ZEVTX2D* v, ZEMTL* mtl) { return Float2d(v, mtl, 2, GS_PRIM_LINE, VIFCODE_FLUSH, ST_PLAIN); }
int ZeRndrLineStrip2d(const ZEVTX2D* v, ZEMTL* mtl, int n) {
  // Separate segments: vertices paired 0-1, 2-3, ...
  return Float2d(v, mtl, n, GS_PRIM_LINE, VIFCODE_FLUSHE, ST_PLAIN);
}
int ZeRndrTri2d(const ZEVTX2D* v, ZEMTL* mtl) { return Float2d(v, mtl, 3, GS_PRIM_TRI, VIFCODE_FLUSHE, ST_PLAIN); }
int ZeRndrTriStrip2d(const ZEVTX2D* v, ZEMTL* mtl, int n) {
  return Float2d(v, mtl, n, GS_PRIM_TRISTRIP, VIFCODE_FLUSHE, ST_PLAIN);
}
int ZeRndrQuad2d(const ZEVTX2D* v, ZEMTL* mtl) {
  return Float2d(v, mtl, 4, GS_PRIM_TRISTRIP, VIFCODE_FLUSHE, ST_TIMES_Q);
}

int ZeRndrTriStripGif(const uint32_t* gsVerts, int n, ZEMTL* mtl) {
  if (n < 0) n = 0;
  uint32_t* p = ZeRndrBegin2d(ZeRndrMtl2d(mtl));
  p = vpDmaTag_Cnt(p);
  p = ZeRndrPutQ(p, VIFCODE_NOP, VIFCODE_NOP, VIFCODE_FLUSHE, VIFCODE_DIRECT | uint32_t(1 + 3 * n));
  p = gsBeginGifPacket(p, n, 1, 1, GS_PRIM_TRISTRIP, GIF_FLG_PACKED, 3, GSR_ST, GSR_RGBAQ, GSR_XYZ2);
  memcpy(p, gsVerts, size_t(n) * 48);
  ZeRndrEndSegment(rndrstream_2d, vpDmaTag_Close(p + n * 12));
  return 1;
}

int ZeRndrRect(const ZERECT* r) {
  ZEMTL* mtl = r->mtl.get();
  const float q = r->qscale > 1.0f ? 1.0f / r->qscale : 1.0f;
  const bool textured = mtl && zerndrstream_mtl_if.mtl_texture(mtl) > 0;
  const ZECOLOUR32 c = textured ? 0x80808080u : 0xffffffffu;
  const float z = 8388607.0f;
  const ZEVTX2D v[4] = {
      {r->x, r->y, z, q, c, r->ua, r->va},
      {r->x + r->width, r->y, z, q, c, r->ub, r->va},
      {r->x, r->y + r->height, z, q, c, r->ua, r->vb},
      {r->x + r->width, r->y + r->height, z, q, c, r->ub, r->vb},
  };
  return ZeRndrQuad2d(v, mtl);
}

void ZeRndrRect2di(int x, int y, int w, int h, ZECOLOUR32 colour, ZEMTL* mtl) {
  x += ZeRndrDisplayOffsetX();
  y += ZeRndrDisplayOffsetY();
  uint32_t* p = ZeRndrBegin2d(ZeRndrMtl2d(mtl));
  ZeRndrEndSegment(rndrstream_2d, SpriteUV(p, x, y, 0, w, h, colour, 0.0f, 0.0f, 1.0f, 1.0f));
}

void ZeRndrGradRect2di(int x, int y, int w, int h, const ZECOLOUR32* colours, ZEMTL* mtl) {
  x += ZeRndrDisplayOffsetX();
  y += ZeRndrDisplayOffsetY();
  uint32_t* p = ZeRndrBegin2d(ZeRndrMtl2d(mtl));
  p = OpenInt(p, GS_PRIM_TRISTRIP, GSR_RGBAQ, GSR_ST, GSR_XYZ2, GSR_RGBAQ, GSR_XYZ2, GSR_RGBAQ, GSR_XYZ2, GSR_RGBAQ,
              GSR_XYZ2);
  p = ZeRndrPutRgba(p, colours[0]);
  p = ZeRndrPutSt(p, 0.0f, 0.0f, 1.0f);
  p = ZeRndrPutXyz(p, x, y, 0);
  p = ZeRndrPutRgba(p, colours[1]);
  p = ZeRndrPutXyz(p, x + w, y, 0);
  p = ZeRndrPutRgba(p, colours[2]);
  p = ZeRndrPutXyz(p, x, y + h, 0);
  p = ZeRndrPutRgba(p, colours[3]);
  p = ZeRndrPutXyz(p, x + w, y + h, 0);
  ZeRndrEndSegment(rndrstream_2d, CloseInt(p));
}

void ZeRndrRectUV2di(int x, int y, int w, int h, ZECOLOUR32 colour, ZEMTL* mtl, float ua, float va, float ub,
                     float vb) {
  ZeRndrRectZUV2di(x, y, 0, w, h, colour, mtl, ua, va, ub, vb);
}

void ZeRndrRectZUV2di(int x, int y, int z, int w, int h, ZECOLOUR32 colour, ZEMTL* mtl, float ua, float va,
                      float ub, float vb) {
  x += ZeRndrTargetOffsetX();
  y += ZeRndrTargetOffsetY();
  uint32_t* p = ZeRndrBegin2d(ZeRndrMtl2d(mtl));
  ZeRndrEndSegment(rndrstream_2d, SpriteUV(p, x, y, z, w, h, colour, ua, va, ub, vb));
}

void ZeRndrRectUVStream(ZERNDRSTREAM* s, int x, int y, int w, int h, ZECOLOUR32 colour, int z, float ua, float va,
                        float ub, float vb) {
  x += ZeRndrTargetOffsetX();
  y += ZeRndrTargetOffsetY();
  s->write = SpriteUV(s->write, x, y, z, w, h, colour, ua, va, ub, vb);
}

void ZeRndrLine2di(int x0, int y0, int x1, int y1, ZECOLOUR32 colour, ZEMTL* mtl) {
  const int ox = ZeRndrDisplayOffsetX(), oy = ZeRndrDisplayOffsetY();
  uint32_t* p = ZeRndrBegin2d(ZeRndrMtl2d(mtl));
  p = OpenInt(p, GS_PRIM_LINE, GSR_RGBAQ, GSR_XYZ2, GSR_XYZ2);
  p = ZeRndrPutRgba(p, colour);
  p = ZeRndrPutXyz(p, x0 + ox, y0 + oy, 0);
  p = ZeRndrPutXyz(p, x1 + ox, y1 + oy, 0);
  ZeRndrEndSegment(rndrstream_2d, CloseInt(p));
}

void ZeRndrLineRect2di(int x, int y, int w, int h, ZECOLOUR32 colour, ZEMTL* mtl) {
  x += ZeRndrDisplayOffsetX();
  y += ZeRndrDisplayOffsetY();
  // The right and bottom edges fall inside the rectangle.
  w -= 16;
  h -= 8;
  uint32_t* p = ZeRndrBegin2d(ZeRndrMtl2d(mtl));
  p = OpenInt(p, GS_PRIM_LINESTRIP, GSR_RGBAQ, GSR_XYZ2, GSR_XYZ2, GSR_XYZ2, GSR_XYZ2, GSR_XYZ2);
  p = ZeRndrPutRgba(p, colour);
  p = ZeRndrPutXyz(p, x, y, 0);
  p = ZeRndrPutXyz(p, x + w, y, 0);
  p = ZeRndrPutXyz(p, x + w, y + h, 0);
  p = ZeRndrPutXyz(p, x, y + h, 0);
  p = ZeRndrPutXyz(p, x, y, 0);
  ZeRndrEndSegment(rndrstream_2d, CloseInt(p));
}

void ZeRndrTri2di(const int* xy, const float* uv, int count, ZECOLOUR32 colour, ZEMTL* mtl) {
  VertexList(xy, uv, count < 0 ? 0 : 3 * count, colour, mtl, GS_PRIM_TRI, ZeRndrTargetOffsetX(),
             ZeRndrTargetOffsetY(), tri2dz);
}
void ZeRndrTriStrip2di(const int* xy, const float* uv, int count, ZECOLOUR32 colour, ZEMTL* mtl) {
  VertexList(xy, uv, count, colour, mtl, GS_PRIM_TRISTRIP, ZeRndrDisplayOffsetX(), ZeRndrDisplayOffsetY(), 0);
}
void ZeRndrLineStrip2di(const int* xy, const float* uv, int count, ZECOLOUR32 colour, ZEMTL* mtl) {
  VertexList(xy, uv, count, colour, mtl, GS_PRIM_LINESTRIP, ZeRndrDisplayOffsetX(), ZeRndrDisplayOffsetY(), 0);
}
