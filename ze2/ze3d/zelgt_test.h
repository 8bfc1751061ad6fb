// The light unit's and the shadows' tests: a renderer started as the
// program starts it with the light unit's surfaces, a camera at (0, 0, -10)
// looking along +z, and walls drawn straight into colour and depth.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "ptldraw.h"
#include "zelgt_local.h"
#include "zerndrobj_test.h"

struct Light : testing::Test {
  void SetUp() override {
    StartRenderer(&texBuf, &mtlBuf, 128);
    ZeLightInit();
    ZeLightMatInit();
    memset(ZeLightSpots, 0, sizeof ZeLightSpots);
    shadstorecnt = 0;
    ZeRndrShadMaskCount = 0;
    ZeLightReset();
    HazeColour = 0;
    tflip = 0;
    ZeLgtShadeFog = 0;
    ZeLgtFogPal = nullptr;
    ZECAMERA* cam = ZeCameraCreate();
    cam->mtx.m[3][2] = -10.0f;  // at (0, 0, -10) looking along +z
    ZeCameraSet(cam);
    ZeCameraDestroy(cam);
    wallMtl = ZeMtlCreate(1);
    wallMtl->attributes &= ~(3u << ZEMTLATTR_DEPTH);  // test and write
    ZeMtlUpdate(wallMtl);
  }
  void TearDown() override {
    StopRenderer(texBuf, mtlBuf);
  }
  // The depth value of a point at view distance d on the axis.
  static uint32_t DepthAt(float d) {
    ZEVEC4 p;
    const ZEVEC v = {0.0f, 0.0f, d};
    ZeVec4MtxTransform(&p, &v, ZeCameraGetPCSMtx());
    return uint32_t(p.z / p.w);
  }
  // A rectangle of the frame (pixels) at a depth, written into colour and
  // depth.
  void Wall(int x0, int y0, int x1, int y1, uint32_t colour, uint32_t z) {
    ZERNDRSTREAM* s = rndrstream_3d_u;
    ZeRndrStreamLink(s);
    ZeRndrStreamSetMisc(s);
    ZeLgtUseMtl(s, wallMtl, ~0ull);
    const int ox = ZeLgtX0(), oy = ZeLgtY0();
    uint32_t* p = ZeLgtOpenSprites(s);
    p = ZeLgtSpriteRegs(p, 0, 0, ox + x0 * 16, oy + y0 * 16, ox + x1 * 16, oy + y1 * 16, colour, z, 0, 0);
    ZeLgtCloseSprites(s, p);
  }
  // One frame: clear (far), the walls, the effects set-up and the glows.
  template <class F>
  uint64_t Frame(F walls, uint32_t clear = 0x00404040) {
    uint64_t frame;
    ZePs2GetCurrentBackBuffer(&frame);
    ZeRndrBeginScene(-1);
    ZeRndrClear(0x300, clear, 1.0f);
    walls();
    ZeRndrEndScene();
    ZeLightFxSetup();
    if (shadows) {
      const ZEVEC player = {0, 0, 0};
      ZeRndrShadowStencil(0, &player);
      ZeRndrShadow(0);
    }
    ZeLightProcessSpot(0);
    if (fog) ZeLightFogDraw(0);
    ZePs2ScreenSwap(1);
    ZeRndrVu1Draw();
    KernelYield();
    ZeRndrSwapStreamBuffers();
    return frame;
  }
  // The pixel a world point lands on.
  static void Screen(ZEVEC p, int* x, int* y) {
    ZEVEC4 q;
    ZeVec4MtxTransform(&q, &p, ZeCameraGetVPCSMtx());
    *x = int((q.x / q.w - 32768.0f) / 16.0f) + 320;
    *y = int((q.y / q.w - 32768.0f) / 16.0f) + 112;
  }
  // The effects texture as the tools draw it (ptldraw), and a material on it:
  // additive, with the depth mode given, no alpha test. The texels are the
  // caller's to free.
  static ZEMTL* EffectsMaterial(uint8_t** texels, int depthmode) {
    *texels = static_cast<uint8_t*>(ZeMemAlloc(256 * 256 * 4));
    PtlDrawParticleTexels(*texels);
    ZETEX img{ZETEX_RGBA32, 256, 256, 1, *texels, nullptr};
    ZEMTL* m = ZeMtlCreate(1);
    m->texture = ZeTexCreate(&img);
    m->diffuse[0] = m->diffuse[1] = m->diffuse[2] = 1.0f;
    m->attributes = (m->attributes & ~(15u << ZEMTLATTR_BLEND)) | 2u << ZEMTLATTR_BLEND;
    m->attributes = (m->attributes & ~(3u << ZEMTLATTR_DEPTH)) | uint32_t(depthmode) << ZEMTLATTR_DEPTH;
    m->attributes &= ~(7u << ZEMTLATTR_ATST);
    ZeMtlUpdate(m);
    return m;
  }
  // A 16 x 16 texture of white texels (alpha 0xff): every sample is the
  // same whatever the filter and the coordinates.
  static ZETEXID WhiteTexture() {
    auto* white = static_cast<uint8_t*>(ZeMemAlloc(16 * 16 * 4));
    memset(white, 0xff, 16 * 16 * 4);
    ZETEX img{ZETEX_RGBA32, 16, 16, 1, white, nullptr};
    const ZETEXID t = ZeTexCreate(&img);
    ZeMemFree(white);
    return t;
  }
  char* texBuf = nullptr;
  char* mtlBuf = nullptr;
  ZEMTL* wallMtl = nullptr;
  bool shadows = false;
  bool fog = false;
};


// The frame's pixels at (x, y), 0xBBGGRR.
inline uint32_t Px(uint64_t frame, int x, int y) {
  const uint32_t fbp = uint32_t(frame & 0x1ff) * 32, fbw = uint32_t(frame >> 16 & 0x3f);
  return GsMemReadPixel(PSMCT32, fbp, fbw, x, y) & 0xffffff;
}

