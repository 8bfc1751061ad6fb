// Light unit: depth fog (modes N and G, the fog dome, blur) and heat haze
// (full screen and in queued polygons).
#include <algorithm>
#include <cmath>

#include "zelgt_local.h"

uint32_t HazeColour;
float Hazeampx = 24.0f, Hazeampy = 24.0f;
ZELGTHAZEPOLY ZeLgtPolyHazeData[ZELGT_HAZE_POLYS];
int ZeLightHazePolyCnt;
ZEMTL* ZeLightHazePolymtl;
float ZeLightHazePolyus[4], ZeLightHazePolyvs[4];
float ZeRndrFogNear, ZeRndrFogFar;
uint32_t ZeRndrFogCol, ZeRndrFogBlur, ZeRndrFogClear;
int ZeLgtFogDrawModeN;
const uint32_t* ZeLgtFogPal;
int ZeLgtShadeFog;
int fogshade_enable = 1;  // the command line's "OLDFOG" clears it
const uint32_t* ZeLgtFogColTab;
float ZeLgtFogAxis[3][4];
ZEVEC4 ZeLgtTAxis;
const ZEMTX* ZeLgtFogMtx;
float ZeLgtTime;
uint16_t ZeLgtUpTime;
int tflip, testfogspeed;
uint32_t* ZeLgtFogMesh;

namespace {

alignas(16) uint8_t FogMeshBuffer[ZELGT_FOG_MESH_BYTES];
ZEVTX g_domeVerts[32 * 16];


// The fog block the fog program reads (absolute 0x38-0x4c): the axis, then
// the two colour tables, a colour a quadword.
alignas(16) uint32_t g_fogBlock[4 + 21 * 4];

// The 10 strips (64 pixels, y -4 to 16 H - 8) of a full-screen pass in
// rndrstream_3d, with texture u from u0 + du i to u0 + du (i + 1).
void Strips(ZERNDRSTREAM* s, uint32_t colour, uint32_t z, float u0, float du) {
  const int h = PS2_REZ_H;
  const float v0 = -4.0f / (16.0f * float(ZePower2(h))), v1 = float(16 * h - 8) / (16.0f * float(ZePower2(h)));
  uint32_t* p = ZeLgtOpenSprites(s);
  const int ox = ZeLgtX0(), oy = ZeLgtY0();
  for (int i = 0; i < 10; i++)
    p = ZeLgtSpriteRegs(p, u0 + du * float(i), v0, ox + 1024 * i, oy - 4, ox + 1024 * (i + 1), oy + 16 * h - 8,
                        colour, z, u0 + du * float(i + 1), v1);
  ZeLgtCloseSprites(s, p);
}

}  // namespace

// ---- settings ------------------------------------------------------------------

void ZeLightReset() {
  ZeRndrFogNear = ZeRndrFogFar = 0.0f;
  ZeRndrFogCol = ZeRndrFogBlur = ZeRndrFogClear = 0;
}

void ZeLightFog(float near, float far, uint32_t colour, int blur, uint32_t hazecolour) {
  ZeRndrFogNear = near, ZeRndrFogFar = far, ZeRndrFogCol = colour;
  ZeRndrFogBlur = uint32_t(blur) << 24;
  HazeColour = hazecolour;
  ZeLgtFogDrawModeN = 1;
}
void ZeLightFogG(float near, float far, uint32_t colour, int blur, uint32_t hazecolour) {
  ZeLightFog(near, far, colour, blur, hazecolour);
  ZeLgtFogDrawModeN = 0;
}
void ZeLightFogPal(const uint32_t* table) { ZeLgtFogPal = table; }
void ZeLightFogClear(uint32_t value) { ZeRndrFogClear = value; }

void ZeLightAddHazePoly(const ZEVEC* pos, float width, float height) {
  if (ZeLightHazePolyCnt >= ZELGT_HAZE_POLYS) return;
  ZeLgtPolyHazeData[ZeLightHazePolyCnt++] = {*pos, width, height};
}

void ZeLigthSetPolyHazeMat(ZEMTL* mtl, const float* u, const float* v) {
  ZeLightHazePolymtl = mtl;
  const float us[4] = {u[0], u[1], u[0], u[1]}, vs[4] = {v[0], v[0], v[1], v[1]};
  memcpy(ZeLightHazePolyus, us, sizeof us);
  memcpy(ZeLightHazePolyvs, vs, sizeof vs);
}

// ---- colours -----------------------------------------------------------------------

uint32_t CrossFadeColour(float t, uint32_t a, uint32_t b) {
  if (t <= 0.0f) return a;
  if (t >= 1.0f) return b;
  uint32_t r = 0;
  for (int c = 0; c < 4; c++) {
    const int ca = int(a >> (8 * c) & 0xff), cb = int(b >> (8 * c) & 0xff);
    r |= (uint32_t(ca + int(float(cb - ca) * t)) & 0xff) << (8 * c);
  }
  return r;
}

uint32_t ZeLgtCalcFogCol(const ZEVEC* dir) {
  const float s = ZeLgtTAxis.x * dir->x + ZeLgtTAxis.z * dir->z;
  const float t = std::clamp(5.0f * s + 5.0f, 0.0f, 10.0f);
  const int i = int(t);
  const float f = t - float(i);
  const uint32_t* first = ZeLgtFogColTab;
  const uint32_t* second = ZeLgtFogColTab + 10;
  const uint32_t a = CrossFadeColour(f, second[i % 10], second[(i + 1) % 10]);
  const uint32_t b = CrossFadeColour(f, first[i % 10], first[(i + 1) % 10]);
  return CrossFadeColour(s, a, b);
}

void ZeLgtFogShadeAxis(const float* axis, const uint32_t* tables, const float* time, const ZEMTX* mtx) {
  ZEMTX inv;
  ZeMtxInv(&inv, mtx);
  ZEVEC t;
  const ZEVEC a0 = {axis[0], axis[1], axis[2]};
  ZeVecMtxRotate(&t, &a0, &inv);
  ZeLgtTAxis = {t.x, t.y, t.z, 0.0f};
  for (int r = 0; r < 3; r++) {
    for (int c = 0; c < 3; c++) ZeLgtFogAxis[r][c] = axis[3 * r + c];
    ZeLgtFogAxis[r][3] = (&t.x)[r];
  }
  ZeLgtFogMtx = mtx;
  ZeLgtTime = *time;
  ZeLgtFogColTab = tables;
  ZeLgtUpTime = uint16_t((ZeAtan2DA(axis[0], axis[2]) - 0x8000) & 0xffff);
  ZeLgtShadeFog = fogshade_enable;
}

// ---- the fog dome -------------------------------------------------------------------

void ZeLgtCreateFogMesh() {
  int n = 0;
  for (int l = 0; l < 0x10000; l += 0x800)
    for (int a = 0; a <= 0x8000; a += 0x1000)
      for (int second = 0; second < 2; second++) {
        if (second && (a == 0 || a == 0x8000)) continue;
        const int ll = l + (second ? 0x800 : 0);
        const float s = ZeTrigSin(a), c = ZeTrigCos(ll), nn = ZeTrigSin(ll);
        ZEVTX& v = g_domeVerts[n++];
        v = {};
        v.pos = {(c - nn) * s, std::max(ZeTrigCos(a), -0.35f) - 0.1f, (nn + c) * s};
        if (a <= 0x1000) v.normal = {0.0f, 1.0f, 0.0f};
        else if (a >= 0x7000) v.normal = {0.0f, -1.0f, 0.0f};
        else {
          const float m = ZeVecMag(&v.pos);
          v.normal = {v.pos.x / m, v.pos.y / m, v.pos.z / m};
        }
        v.colour = 0x80800000u + uint32_t(ll & 0xffff);
      }
  int bytes = 0;
  ZeLgtFogMesh = static_cast<uint32_t*>(
      ZeRndrStream3dClipKickModStaticData(g_domeVerts, n, 16, FogMeshBuffer, nullptr, nullptr, &bytes));
  if (bytes > ZELGT_FOG_MESH_BYTES) ZeError("Fog mesh of %d bytes overran its buffer", bytes);
}

void ZeLgtShowMesh() {
  for (int i = 0; i + 1 < 32 * 16; i++) {
    if ((i + 1) % 16 == 0) continue;
    const ZEVEC& a = g_domeVerts[i].pos;
    const ZEVEC& b = g_domeVerts[i + 1].pos;
    ZeRndrLine3dDbg(0x80ff00ff, a.x, a.y, a.z, b.x, b.y, b.z);
  }
}

void ZeLgtColFogDraw() {
  const ZEMTX saved = global_camera.mtx;
  ZECAMERA cam = global_camera;
  cam.mtx.m[3][0] = cam.mtx.m[3][1] = cam.mtx.m[3][2] = 0.0f;
  ZeCameraSetEx(&cam, 1);
  ZERNDRSTREAM* s = rndrstream_3d;
  ZeRndrStreamLink(s);
  ZeRndrStreamFxMPGEx(2, s);
  ZEMTX id;
  ZeMtxSetIdentity(&id);
  ZeRndrSetLocalMtx(ZeLgtFogMtx ? ZeLgtFogMtx : &id, 2);
  s->view_mtx_id = -1;
  ZeRndrStreamSetViewMtx(s);
  ZeRndrStreamSetLocalMtx(s);
  // The fog block: the axis and the two colour tables.
  uint32_t* b = vpDmaTag_RetEx(g_fogBlock, VIFCODE_FLUSH, 0x6C000000u | 21u << 16 | 0x38);
  memset(b, 0, 21 * 16);
  memcpy(b, &ZeLgtTAxis, 16);
  for (int i = 0; i < 20; i++) b[4 + 4 * i] = ZeLgtFogColTab ? ZeLgtFogColTab[i] : 0x80808080u;
  vpDmaTag_Close(b + 21 * 4);
  ZeRndrStreamCheckSpace(s->write, 64);
  uint32_t* p = vpDmaTag_Call(s->write, g_fogBlock);
  p = vpDmaTag_Call(p, ZeLgtFogMesh);
  ZeRndrEndSegment(s, p);
  ZeRndrStreamFxMPGEx(3, s);
  cam.mtx = saved;
  ZeCameraSetEx(&cam, 1);
}

// ---- fog -------------------------------------------------------------------------------

void ZeLgtFogDepths(float near, float far, int* zN, int* zF) {
  const ZEMTX* pr = ZeCameraGetProjectionMtx();
  const ZEMTX* sc = ZeCameraGetScalingMtx();
  const float a = pr->m[3][2] * sc->m[2][2], b = pr->m[2][2] * sc->m[2][2] + sc->m[3][2];
  *zN = int(a / near + b);
  *zF = int(a / far + b);
}

void ZeLgtFogPalette(uint32_t* pal, int modeG, ZELGTWINDOW w, int zN, int zF) {
  const int64_t span = int64_t(zN) - zF;
  const int bias = tflip == 0 ? (modeG ? 512 : 2 << w.k) : 0;
  const uint32_t A = ZeRndrFogCol >> 24, rgb = ZeRndrFogCol & 0xffffff;
  for (int j = 0; j < 256; j++) {
    const int64_t z = modeG ? int64_t(w.base) + (int64_t(j) << 8) + 0xff : int64_t(w.base) + (int64_t(255 - j) << w.k);
    const bool nearer = z >= zN, beyond = z <= zF;
    auto g = [&](int b, int64_t top) { return std::min<int64_t>((int64_t(zN) - z + b) * 65536 / span, top); };
    uint32_t e;
    if (ZeLgtShadeFog) {
      if (nearer) e = 0x40808080u;
      else if (beyond) e = 0x80808080u;
      else {
        const uint32_t gg = uint32_t(g(0, 0x10000));
        e = (gg >> 9) * 0x010101u | ((0x80 * gg) >> 16) << 24;
      }
    } else if (ZeLgtFogPal) {
      e = nearer || beyond ? ZeLgtFogPal[255] : ZeLgtFogPal[g(bias, 0xffff) >> 8];
    } else {
      if (nearer) e = rgb | (A >> 1) << 24;
      else if (beyond) e = ZeRndrFogCol;
      else e = rgb | uint32_t((int64_t(A) * g(bias, 0x10000)) >> 16) << 24;
    }
    pal[j] = e;
  }
}

namespace {

// Mode N's index: the reduced depth copy into columns 384-639 of block 1,
// then its top bytes (or block 2's, with shade fog) by successive
// approximation.
void IndexN(ZELGTWINDOW w) {
  ZeRndrBeginSceneEx(ZeLgtHSurf[ZELGT_CT32VIEW1], -2, 0);
  ZERNDRSTREAM* s = rndrstream_3d_u;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeLgtUseMtl(s, ZeLgtSurf[17], 0);
  s->write = vpDmaTag_Call(s->write, ZeLgtFxFogCop);
  ZETEXID index = ZeLgtHSurf[ZELGT_CT32VIEW1];
  if (ZeLgtShadeFog) {
    index = ZeLgtHSurf[7];
    s->write = ZeTexSetRenderTarget(s->write, index);
    ZeLgtUseMtl(s, ZeLgtGreyMat, ~0ull);
    s->write = ZeLgtModePacket(s->write, index, 0, ZeLgtHSurf[ZELGT_CT32VIEW1], 1, 1);
    s->write = vpDmaTag_Call(s->write, ZeLgtFxFogClr);
  }
  ZeLgtIndexBits(s, index, true, w, 384, 640, 0, PS2_REZ_H, ZeLgtFxFogClr);
  ZeRndrEndScene();
}

// Mode G's index: the depth buffer's 16-bit view copied half a column
// over into surface 21, so that the 8-bit view reads depth bits 8-15.
void IndexG() {
  ZeRndrBeginSceneEx(ZeLgtHSurf[21], -2, 0);
  ZERNDRSTREAM* s = rndrstream_3d_u;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeLgtUseMtl(s, ZeLgtSurf[20], ~0ull);
  uint32_t* p = ZeLgtOpenSprites(s);
  const int ox = ZeLgtX0(), oy = ZeLgtY0();
  const int h2 = 2 * PS2_REZ_H;
  const float th = float(h2) / float(ZePower2(h2));
  for (int i = 0; i < 40; i++)
    p = ZeLgtSpriteRegs(p, float(16 * i) / 1024.0f, 0.0f, ox + (16 * i) * 16 + 124, oy, ox + (16 * i) * 16 + 252,
                        oy + h2 * 16, 0x80808080u, 0, float(16 * i + 8) / 1024.0f, th);
  ZeLgtCloseSprites(s, p);
  ZeRndrEndScene();
}

void Blur() {
  ZERNDRSTREAM* s = rndrstream_3d;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeLgtUseMtl(s, ZeLgtBackAlphaBuff, 0x54);
  const uint32_t c = 0x808080u | (ZeRndrFogBlur & 0xff000000u);
  uint32_t* p = ZeLgtOpenSprites(s);
  const int ox = ZeLgtX0(), oy = ZeLgtY0(), h = PS2_REZ_H;
  const float th = float(h) / float(ZePower2(h));
  for (int i = 0; i < 10; i++) {
    const int x = 64 * i;
    p = ZeLgtSpriteRegs(p, float(x + 2) / 1024.0f, 0.0f, ox + x * 16, oy, ox + (x + 62) * 16, oy + h * 16, c, 0xffffff,
                        float(x + 64) / 1024.0f, th);
    p = ZeLgtSpriteRegs(p, float(x + 64) / 1024.0f, 0.0f, ox + (x + 62) * 16, oy, ox + (x + 64) * 16, oy + h * 16, c,
                        0xffffff, float(x + 66) / 1024.0f, th);
  }
  ZeLgtCloseSprites(s, p);
}

}  // namespace

void ZeLightFogDraw(int paused) {
  if (!(ZeRndrFogNear < ZeRndrFogFar)) return;
  const int saved = txupload_on;
  txupload_on = 0;
  if (tflip < 5) tflip = (tflip + 1) & 1;
  const float near = ZeRndrFogNear + 0.05f * float(tflip), far = ZeRndrFogFar + 0.05f * float(tflip);
  int zN, zF;
  ZeLgtFogDepths(near, far, &zN, &zF);
  bool modeN = ZeLgtFogDrawModeN || testfogspeed;
  ZELGTWINDOW w = ZeLgtDepthWindow(zF, zN);
  if (modeN && w.k >= 6 && w.k <= 8 && zF < 0x3000) modeN = false;
  uint32_t top, hazeLimit;
  ZEMTL* fogMtl;
  float u0, du;
  if (modeN) {
    top = uint32_t(((int64_t(zN - 1) >> w.k) << w.k) - 1);
    hazeLimit = top;
    IndexN(w);
    fogMtl = ZeLgtSurf[16];
    u0 = 384.0f / 1024.0f, du = 25.6f / 1024.0f;
  } else {
    zF = std::min(zF, 0x8000);
    zN = std::min(zN, 0xffff);
    w = {zF & ~0xffff, 8};
    top = uint32_t((int64_t(zN - 1) >> 8) * 256 - 1);
    hazeLimit = uint32_t(w.base + 0x10000);
    IndexG();
    fogMtl = ZeLgtSurf[22];
    u0 = 0.0f, du = 64.0f / 1024.0f;
  }
  uint32_t pal[256];
  ZeLgtFogPalette(pal, !modeN, w, zN, zF);
  ZeTexPalChangeStreamTemp(fogMtl->texture, pal);
  if (ZeRndrFogCol || ZeRndrFogBlur || (HazeColour >> 24)) {
    ZeRndrBeginSceneEx(-1, -2, 0);
    ZERNDRSTREAM* s = rndrstream_3d;
    ZeRndrStreamLink(s);
    ZeRndrStreamSetMisc(s);
    if (ZeRndrFogCol) {
      if (ZeLgtShadeFog) {
        fogMtl->effect_block.get()[3] = float(top);
        ZeLgtUseMtl(s, fogMtl, 0x44);
        ZeLgtColFogDraw();
      } else {
        ZeLgtUseMtl(s, fogMtl, 0x44);
        Strips(s, 0x80808080u, 0xffffff, u0, du);
      }
    }
    if (modeN && ZeRndrFogBlur) Blur();
    if (ZeRndrFogBlur || (HazeColour >> 24)) {
      // The fog's alpha into surface 12 for the haze passes.
      ZeLgtUseMtl(s, fogMtl, ~0ull);
      s->write = ZeLgtModePacket(s->write, ZeLgtHSurf[12], 0, 0, -1, 0);
      Strips(s, 0x80808080u, 0xffffff, u0, du);
    }
    ZeRndrEndScene();
  }
  ZeLightPolyHaze(paused);
  ZeLightHaze(hazeLimit, paused);
  ZeLgtShadeFog = 0;
  ZeLgtFogPal = nullptr;
  txupload_on = saved;
}

// ---- haze ------------------------------------------------------------------------------

namespace {

// The frame copied into target through the wobbling grid: cells 32 x 16
// pixels whose corners move by the grid's sines while their texture
// coordinates stay on the regular grid.
void DistortedCopy(ZETEXID target, int paused) {
  ZeRndrBeginSceneEx(target, -2, 0);
  ZERNDRSTREAM* s = rndrstream_3d_u;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeLgtUseMtl(s, ZeLgtBackBuff, 0x20);
  const int rows = std::min((ZePower2(PS2_REZ_H) >> 4) + 1, ZEGRID_ROWS);
  const int ox = ZeLgtX0(), oy = ZeLgtY0();
  const float pw = float(ZePower2(PS2_REZ_W)), ph = float(ZePower2(PS2_REZ_H));
  auto corner = [&](int c, int r, uint32_t*& p) {
    const uint16_t* e = Hazetab[r * ZEGRID_COLS + c];
    int dx = int(ZeTrigSin(e[0]) * Hazeampx), dy = int(ZeTrigCos(e[1]) * Hazeampy);
    const int x = c * 32, y = r * 16;
    // Corners on the frame's edges move only outward: moved inward they
    // would leave the copy's edge texels unwritten, and the composite
    // would show whatever the memory held.
    if (x == 0) dx = std::min(dx, 0);
    if (x == PS2_REZ_W) dx = std::max(dx, 0);
    if (y == 0) dy = std::min(dy, 0);
    if (y == PS2_REZ_H) dy = std::max(dy, 0);
    p = ZeRndrPutSt(p, float(x) / pw, float(y) / ph, 1.0f);
    p = ZeRndrPutRgba(p, 0x80808080u);
    p = ZeRndrPutXyz(p, ox + x * 16 + dx, oy + y * 16 + dy, 0);
  };
  for (int c = 0; c + 1 < ZEGRID_COLS; c++) {
    const int n = 2 * rows;
    ZeRndrStreamCheckSpace(s->write, (n * 3 + 4) * 16);
    uint32_t* tag = s->write;
    uint32_t* p = vpDmaTag_CntEx(tag, VIFCODE_FLUSHE, 0);
    vtBeginDirect(tag + 3, 0);
    p = gsBeginGifPacket(p, n, 1, 1, GS_PRIM_TRISTRIP, GIF_FLG_PACKED, 3, GSR_ST, GSR_RGBAQ, GSR_XYZ2);
    for (int r = 0; r < rows; r++) corner(c, r, p), corner(c + 1, r, p);
    ZeRndrEndSegment(s, vpDmaTag_Close(vtCloseDirect(p)));
  }
  ZeRndrEndScene();
  if (paused) return;
  for (int r = 0; r < rows; r++)
    for (int c = 0; c < ZEGRID_COLS; c++) {
      uint16_t* e = Hazetab[r * ZEGRID_COLS + c];
      e[0] = uint16_t(e[0] + e[2]);
      e[1] = uint16_t(e[1] + e[3]);
    }
}

// The distorted copy over the frame through surface 12, its alpha the
// fog's (or the haze polygons').
void HazeComposite(uint32_t depthlimit) {
  ZeRndrBeginSceneEx(-1, -2, 0);
  ZERNDRSTREAM* s = rndrstream_3d;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeLgtUseMtl(s, ZeLgtSurf[12], ~0ull);
  const int h = PS2_REZ_H;
  uint32_t* p = ZeLgtOpenSprites(s);
  p = ZeLgtSpriteRegs(p, 0.0f, 0.0f, ZeLgtX0(), ZeLgtY0(), ZeLgtX0() + 640 * 16, ZeLgtY0() + h * 16, HazeColour,
                      depthlimit, 639.5f / 1024.0f, (float(h) - 0.5f) / float(ZePower2(h)));
  ZeLgtCloseSprites(s, p);
  ZeRndrEndScene();
}

}  // namespace

void ZeLightHaze(uint32_t depthlimit, int paused) {
  if (!(HazeColour >> 24)) return;
  DistortedCopy(ZeLgtHSurf[5], paused);
  HazeComposite(depthlimit);
}

void ZeLightPolyHaze(int paused) {
  if (ZeLightHazePolyCnt <= 0 || !ZeLightHazePolymtl) return;
  // The distorted copy (colour only) into block 2, the polygons' alpha into
  // surface 12, then the composite.
  DistortedCopy(ZeLgtHSurf[5], paused);
  ZeRndrBeginSceneEx(ZeLgtHSurf[12], -2, 0);
  ZERNDRSTREAM* s = rndrstream_3d_u;
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeLgtUseMtl(s, ZeLgtGreyNZMat, ~0ull);
  s->write = ZeLgtModePacket(s->write, ZeLgtHSurf[12], 0x00ffffffu, 0, -1, 0);
  ZeLgtCloseSprites(s, ZeLgtColumnSprites(ZeLgtOpenSprites(s), 0, 640, 0, PS2_REZ_H, 0, 0, 0, 0));
  ZeLgtUseMtl(s, ZeLightHazePolymtl, ~0ull);
  s->write = ZeLgtModePacket(s->write, ZeLgtHSurf[12], 0x00ffffffu, 0, -1, 0);
  for (int i = 0; i < ZeLightHazePolyCnt; i++) {
    const ZELGTHAZEPOLY& h = ZeLgtPolyHazeData[i];
    ZEVEC4 q;
    ZeVec4MtxTransform(&q, &h.pos, ZeCameraGetVPCSMtx());
    if (q.w <= 0.0f) continue;
    const float x = q.x / q.w, y = q.y / q.w, hw = h.width * 4096.0f / q.w, hh = h.height * 2048.0f / q.w;
    uint32_t* tag = s->write;
    uint32_t* p = vpDmaTag_CntEx(tag, VIFCODE_FLUSHE, 0);
    vtBeginDirect(tag + 3, 0);
    p = gsBeginGifPacket(p, 4, 1, 1, GS_PRIM_TRISTRIP, GIF_FLG_PACKED, 3, GSR_ST, GSR_RGBAQ, GSR_XYZ2);
    const float cx[4] = {x - hw, x + hw, x - hw, x + hw}, cy[4] = {y - hh, y - hh, y + hh, y + hh};
    for (int k = 0; k < 4; k++) {
      p = ZeRndrPutSt(p, ZeLightHazePolyus[k], ZeLightHazePolyvs[k], 1.0f);
      p = ZeRndrPutRgba(p, 0x80808080u);
      p = ZeRndrPutXyz(p, int(std::clamp(cx[k], 0.0f, 65535.0f)), int(std::clamp(cy[k], 0.0f, 65535.0f)), 0);
    }
    ZeRndrEndSegment(s, vpDmaTag_Close(vtCloseDirect(p)));
  }
  ZeRndrEndScene();
  HazeComposite(0xffffff);
  if (!paused) ZeLightHazePolyCnt = 0;
}
