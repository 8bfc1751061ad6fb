// The water surface: ripple ageing, footprints, the water line, and the
// water pass, ripples, a footprint and a trail drawn on the GS model
// through the effect program's quad entry (0x306).
#include "zelgt_test.h"

namespace {

struct Water : Light {
  void SetUp() override {
    Light::SetUp();
    ZeRndrWaterLevel = OldZeRndrWaterLevel = -10000.0f;
    ZeRndrHackWaterLevel = 0.0f;
    ZeRndrWaterStartUp();
    ZeRndrWaterWorld();
    ZeRndrFootFree = 0;
    ZeRndrShadedCnt = ZeRndrOldShadedCnt = 0;
    mtl = EffectsMaterial(&texels, 3);
  }
  void TearDown() override {
    Light::TearDown();
    ZeMemFree(texels);
  }
  // A frame whose drawing runs inside the scene, then the water pass.
  template <class F>
  uint64_t WaterFrame(F draw, int paused = 0, uint32_t clear = 0x80404040) {
    uint64_t frame;
    ZePs2GetCurrentBackBuffer(&frame);
    ZeRndrBeginScene(-1);
    ZeRndrClear(0x300, clear, 1.0f);
    draw();
    ZeRndrEndScene();
    // The light unit's surfaces get their memory first, as in the effects
    // pass.
    ZeLightFxSetup();
    ZeRndrWater(paused);
    ZePs2ScreenSwap(1);
    ZeRndrVu1Draw();
    KernelYield();
    ZeRndrSwapStreamBuffers();
    return frame;
  }
  // A level just below the camera whose water line lies in the middle rows
  // of the screen (0 if none), and the line's rows.
  static float CrossingLevel(float* y1, float* y2) {
    for (float d = 0.001f; d < 0.5f; d += 0.001f)
      if (ZeRndrWaterLine(-d, y1, y2) && *y1 > 32768.0f - 60 * 16 && *y1 < 32768.0f + 60 * 16) return -d;
    return 0.0f;
  }
  uint8_t* texels = nullptr;
  ZEMTL* mtl = nullptr;
};

TEST_F(Water, RippleAgeing) {
  ZEVEC p = {0, 0, 0};
  ZeRndrAddWaterRipple(&p, 8, 0x80ffffff, 1.0f, 3.0f);
  EXPECT_FLOAT_EQ(p.y, 0.01f) << "the caller's position is raised";
  struct {
    int remaining;
    uint32_t alpha;
    float radius;
  } want[] = {
      {7, uint32_t(128 * (1.0f - 7.0f / 8.0f) * 4.0f), (1.0f - 3.0f) * 7.0f / 8.0f + 3.0f},
      {6, 128, (1.0f - 3.0f) * 6.0f / 8.0f + 3.0f},  // full after two frames
      {5, uint32_t(128 * (5.0f / 8.0f) * 1.3333334f), (1.0f - 3.0f) * 5.0f / 8.0f + 3.0f},
      {1, uint32_t(128 * (1.0f / 8.0f) * 1.3333334f), (1.0f - 3.0f) * 1.0f / 8.0f + 3.0f},
  };
  int at = 8;
  for (auto& w : want) {
    ZeRndrWaterRippleUpdate(at - w.remaining);
    at = w.remaining;
    EXPECT_EQ(ZeRndrWaterRipDat[0].remaining, w.remaining);
    EXPECT_EQ(ZeRndrWaterRipDat[0].current >> 24, w.alpha) << w.remaining;
    EXPECT_FLOAT_EQ(ZeRndrWaterRipDat[0].radius, w.radius);
  }
  ZeRndrWaterRippleUpdate(0);  // paused: no ageing
  EXPECT_EQ(ZeRndrWaterRipDat[0].remaining, 1);
  ZeRndrWaterRippleUpdate(1);
  EXPECT_EQ(ZeRndrWaterRipDat[0].remaining, 0) << "free";
  // A full table ignores the 33rd.
  for (int i = 0; i < 33; i++) ZeRndrAddWaterRipple(&p, 8, 0x80ffffff, 1.0f, 3.0f);
  int live = 0;
  for (const ZERNDRWATERRIP& r : ZeRndrWaterRipDat) live += r.remaining != 0;
  EXPECT_EQ(live, 32);
}

TEST_F(Water, FootprintsFadeBeforeTheirSlotIsReused) {
  const ZEVEC pos = {0, 0, 0}, up = {0, 1, 0};
  ZeRndrAddFootPrint(0, 0x80, &pos, &up, 1, 0x204060, 0.5f, 1.0f);
  EXPECT_EQ(ZeRndrFootData[0].life, 16);
  EXPECT_EQ(ZeRndrFootData[0].image, 4);
  // Flat on the ground: the corners lie at y 0, half width in x, half length in z.
  EXPECT_NEAR(ZeRndrFootData[0].corners[0].x, 0.5f, 1e-5f);
  EXPECT_NEAR(ZeRndrFootData[0].corners[0].z, 1.0f, 1e-5f);
  EXPECT_NEAR(ZeRndrFootData[0].corners[0].y, 0.0f, 1e-5f);
  for (int i = 0; i < 55; i++) ZeRndrAddFootPrint(0, 0x80, &pos, &up, 0, 0, 0.5f, 1.0f);
  EXPECT_EQ(ZeRndrFootData[0].life, 16) << "55 later: still fresh";
  ZeRndrAddFootPrint(0, 0x80, &pos, &up, 0, 0, 0.5f, 1.0f);  // the 56th: slot 0 is 8 ahead
  EXPECT_EQ(ZeRndrFootData[0].life, 15) << "starts fading";
  // A fading footprint is gone 15 draws later.
  const float ut[8] = {0, 1, 0, 1, 0, 1, 0, 1}, vt[8] = {0, 0, 1, 1, 0, 0, 1, 1};
  for (int i = 0; i < 15; i++) WaterFrame([&] { ZeRndrFootPrints(mtl, ut, vt); });
  EXPECT_LE(ZeRndrFootData[0].life, 0);
}

// Trail colours: each segment's pair of point colours (older end first),
// the point's own colour in the middle of a strip, half its alpha next to
// the strip's ends and 0 at them; a gap breaks the strip.
TEST_F(Water, TrailColoursTable) {
  constexpr int32_t HALF = 0x20000000;  // alpha 0x40 halved, RGB 0
  const struct {
    const char* name;
    uint32_t colour;   // entry i has colour | i
    uint8_t gaps;      // entries that are gaps (bit i)
    std::vector<std::pair<int32_t, int32_t>> segments;
  } cases[] = {
      {"a whole ring (head 7, the walk reaches entry 1)", 0x40000000u, 0,
       {{0, HALF}, {HALF, 0x40000005}, {0x40000005, 0x40000004}, {0x40000004, 0x40000003}, {0x40000003, HALF},
        {HALF, 0}}},
      {"a gap at entry 4: two strips", 0x40000000u, 1u << 4, {{0, HALF}, {HALF, 0}, {0, HALF}, {HALF, 0}}},
      {"gaps at 6 and 3: strips of one segment fade to 0 at both ends", 0x40000000u, 1u << 6 | 1u << 3,
       {{0, 0}, {0, 0}}},
      {"gaps at 6 and 2: a strip of two segments", 0x40000000u, 1u << 6 | 1u << 2, {{0, HALF}, {HALF, 0}}},
      {"a negative alpha halves toward zero", 0x81000000u, 0,
       {{0, int32_t(0xc1000000u)}, {int32_t(0xc1000000u), int32_t(0x81000005u)},
        {int32_t(0x81000005u), int32_t(0x81000004u)}, {int32_t(0x81000004u), int32_t(0x81000003u)},
        {int32_t(0x81000003u), int32_t(0xc1000000u)}, {int32_t(0xc1000000u), 0}}},
      {"all gaps but the head: nothing", 0x40000000u, 0x7f, {}},
  };
  // The colour words of a point of colour c on quad A's and quad B's edge
  // and inner vertices.
  auto edgeA = [](int32_t c) { return c >= 0 ? uint32_t(c) + 0xffffffu : uint32_t(-int64_t(c)); };
  auto innerA = [](int32_t c) { return c >= 0 ? 0xffffffu : 0u; };
  auto edgeB = [](int32_t c) { return c >= 0 ? uint32_t(c) : 0xffffffu - uint32_t(c); };
  auto innerB = [](int32_t c) { return c >= 0 ? 0u : 0xffffffu; };
  EXPECT_EQ(edgeA(int32_t(0x81000005u)), 0x7efffffbu);
  EXPECT_EQ(edgeB(int32_t(0x81000005u)), 0x7ffffffau);
  EXPECT_EQ(edgeA(0x40000005), 0x41000004u);
  for (const auto& c : cases) {
    ZERNDRTRAIL ring[8];
    for (int i = 0; i < 8; i++) {
      const float x = float(i);
      ring[i] = {{(c.gaps >> i & 1) ? -10000.0f : x, 0, 0}, {x, 1, 0}, c.colour | uint32_t(i), 0};
    }
    std::vector<ZEVTX> v(ZERNDR_TRAIL_VERTS);
    const int n = ZeRndrTrailVerts(7, ring, 8, v.data());
    ASSERT_EQ(n, int(8 * c.segments.size())) << c.name;
    for (size_t k = 0; k < c.segments.size(); k++) {
      const auto [p, q] = c.segments[k];
      const uint32_t want[8] = {edgeA(p), edgeA(q), innerA(p), innerA(q), edgeB(p), edgeB(q), innerB(p), innerB(q)};
      for (int j = 0; j < 8; j++)
        EXPECT_EQ(v[8 * k + size_t(j)].colour, want[j]) << c.name << " segment " << k << " vertex " << j;
    }
  }
  // A ring whose size is not a power of two of at most 256 is refused.
  ZERNDRTRAIL ring[8] = {};
  std::vector<ZEVTX> v(ZERNDR_TRAIL_VERTS);
  EXPECT_HALT(ZeRndrTrailVerts(0, ring, 6, v.data()), "ring of 6 entries");
  EXPECT_HALT(ZeRndrTrailVerts(0, ring, 512, v.data()), "ring of 512 entries");
}

TEST_F(Water, TheWaterLineNeedsTheCameraNearTheLevel) {
  float y1, y2;
  // The camera at y 0, looking 60 degrees down, near plane 0.5 (the water
  // line at the near plane must lie on the screen).
  ZECAMERA* cam = ZeCameraCreate();
  cam->nearclip = 0.5f;
  const float a = 1.0471976f;
  cam->mtx.m[1][1] = std::cos(a), cam->mtx.m[1][2] = std::sin(a);
  cam->mtx.m[2][1] = -std::sin(a), cam->mtx.m[2][2] = std::cos(a);
  ZeCameraSet(cam);
  ZeCameraDestroy(cam);
  EXPECT_EQ(ZeRndrWaterLine(-0.4f, &y1, &y2), 1) << "0.4 above the level";
  EXPECT_EQ(ZeRndrWaterLine(-0.6f, &y1, &y2), 0) << "0.6 above";
  EXPECT_EQ(ZeRndrWaterLine(-10000.0f, &y1, &y2), 0) << "no water";
  EXPECT_EQ(ZeRndrWaterLine(0.2f, &y1, &y2), 1);
  EXPECT_LE(y1, y2);
}

// Below the water: the frame through the wobbling grid into surface 9 and
// back, tinted. Catches: the CT24 read of the back buffer and the grid's
// texture coordinates at (c / 16, r / 16) of the 1024 x 256 copy.
TEST_F(Water, WaterPassTintsTheFrame) {
  std::vector<uint8_t> bytes(20 + 4 * 21 * 33, 0);
  for (size_t i = 0; i < bytes.size(); i++) bytes[i] = uint8_t(i * 13 + 5);
  ZeRndrShadowInit(bytes.data());
  ZeRndrWaterLevelTint(5.0f, 0x80c08040);
  auto stripes = [&] {
    for (int x = 0; x < 640; x += 16) Wall(x, 0, x + 8, 224, 0x00c0c0c0, DepthAt(20.0f));
  };
  WaterFrame(stripes);
  const uint64_t f = WaterFrame(stripes);
  Grab(f, 0, 0, 640, 224, "water_below");
  int tinted = 0;
  for (int x = 0; x < 640; x++) tinted += Px(f, x, 112) != 0x404040u && Px(f, x, 112) != 0xc0c0c0u;
  EXPECT_GT(tinted, 100);
  // Above the water nothing happens.
  ZeRndrWaterLevelTint(-5.0f, 0x80c08040);
  const uint64_t g = WaterFrame(stripes);
  EXPECT_EQ(Px(g, 4, 112), 0xc0c0c0u);
  EXPECT_EQ(Px(g, 12, 112), 0x404040u);
}

// The composite's arithmetic on a uniform frame: whatever the grid's
// wobble, every texel of the copy it samples is the clear colour C, and the
// whole frame becomes (Cs - Cd) x As >> 7 + Cd with Cs = C x tint >> 7 and
// As = TEXA's 0x80 x the tint's 0x80 >> 7: exactly Cs, every pixel. Then,
// without the wobble (the copy is the frame itself), stripes 8 pixels wide
// through the zoom of texels 4-636 onto 640 pixels: each pixel whose sample
// lies in the same texel, a sixteenth or more from its edges, under either
// pixel-centre convention shows the tinted stripe of that texel (blue 0xc0
// x 0xc0 >> 7 clamps to 255). Catches: copy texels the grid left unwritten
// (the frame's edges), the zoom's origin and scale (a 640 / 640 copy moves
// the stripe edges by up to 8 pixels), and the modulate's floor and clamp.
TEST_F(Water, TheCompositeExactlyOverAUniformFrameAndThroughTheZoom) {
  std::vector<uint8_t> bytes(20 + 4 * 21 * 33, 0);
  for (size_t i = 0; i < bytes.size(); i++) bytes[i] = uint8_t(i * 13 + 5);
  ZeRndrShadowInit(bytes.data());
  const uint32_t tint = 0x80c08040;
  ZeRndrWaterLevelTint(5.0f, tint);
  auto tinted = [&](uint32_t c) {
    uint32_t out = 0;
    for (int k = 0; k < 24; k += 8) out |= std::min(255u, (c >> k & 0xff) * (tint >> k & 0xff) >> 7) << k;
    return out;
  };
  EXPECT_EQ(tinted(0x404040u), 0x604020u) << "by hand";
  WaterFrame([] {});
  uint64_t f = WaterFrame([] {});
  Grab(f, 0, 0, 640, 224, "water_composite_uniform");
  int wrong = 0;
  for (int y = 0; y < 224; y++)
    for (int x = 0; x < 640; x++) wrong += Px(f, x, y) != 0x604020u;
  EXPECT_EQ(wrong, 0) << std::hex << Px(f, 0, 0) << " " << Px(f, 320, 112);
  // Still water: stripes through the zoom.
  const float ax = waveampx, ay = waveampy;
  waveampx = waveampy = 0.0f;
  auto stripes = [&] {
    for (int x = 0; x < 640; x += 16) Wall(x, 0, x + 8, 224, 0x00c0c0c0, DepthAt(20.0f));
  };
  f = WaterFrame(stripes);
  waveampx = ax, waveampy = ay;
  Grab(f, 0, 100, 640, 24, "water_composite_zoom");
  int checked = 0;
  wrong = 0;
  for (int x = 0; x < 640; x++) {
    // The rectangle runs from -0.5 to 640 pixels over texels 4 to 636.
    int texel = -1;
    bool sure = true;
    for (float at : {float(x), float(x) + 0.5f}) {
      const float u = 4.0f + (at + 0.5f) * 632.0f / 640.5f, frac = u - std::floor(u);
      sure = sure && frac >= 0.0625f && frac <= 0.9375f && (texel < 0 || texel == int(u));
      texel = int(u);
    }
    if (!sure) continue;
    checked++;
    const uint32_t want = tinted(texel % 16 < 8 ? 0xc0c0c0u : 0x404040u);
    for (int y = 8; y < 216; y++) wrong += Px(f, x, y) != want;
  }
  EXPECT_GT(checked, 200);
  EXPECT_EQ(wrong, 0);
  // The water line across the screen: the band's alpha picks the rows, the
  // bilinear copy of a uniform frame is uniform, and (Cs - Cd) x Ad >> 7 +
  // Cd with Ad 0x80 below the line is exactly Cs; above it Ad is 0.
  float y1 = 0.0f, y2 = 0.0f;
  const float level = CrossingLevel(&y1, &y2);
  ASSERT_LT(level, 0.0f);
  ZeRndrWaterLevelTint(level, tint);
  f = WaterFrame([] {}, 0, 0x00404040);
  Grab(f, 0, 0, 640, 224, "water_composite_crossing");
  const int top = int((y1 - 32768.0f) / 16.0f) + 112, bottom = int((y2 - 32768.0f) / 16.0f) + 112 + 1;
  wrong = 0;
  for (int y = 0; y < 224; y++)
    for (int x = 0; x < 640; x++)
      if (y < top || y > bottom) wrong += Px(f, x, y) != (y < top ? 0x404040u : 0x604020u);
  EXPECT_EQ(wrong, 0) << "rows 0-" << top << " and " << bottom << "-223";
}

// The camera just above the level: the water line crosses the screen. The
// band marks the rows below it in the frame's alpha, and the composite
// (surface 10, the same memory as surface 9) tints and redraws only there:
// the rows above the line keep their exact pixels. Catches: a frame mask
// that keeps the alpha byte (the band then marks nothing and the pass
// changes no pixel) and the frame's alpha read back through a CT32 alias.
TEST_F(Water, WaterLineCrossingTintsOnlyBelowTheLine) {
  std::vector<uint8_t> bytes(20 + 4 * 21 * 33, 0);
  for (size_t i = 0; i < bytes.size(); i++) bytes[i] = uint8_t(i * 13 + 5);
  ZeRndrShadowInit(bytes.data());
  // A level whose line lies in the middle rows of the screen.
  float y1 = 0.0f, y2 = 0.0f;
  const float level = CrossingLevel(&y1, &y2);
  ASSERT_LT(level, 0.0f);
  ASSERT_GT(y2, 30720.0f) << "the band is drawn";
  ZeRndrWaterLevelTint(level, 0x80c08040);
  auto stripes = [&] {
    for (int x = 0; x < 640; x += 16) Wall(x, 0, x + 8, 224, 0x00c0c0c0, DepthAt(20.0f));
  };
  const uint64_t f = WaterFrame(stripes, 0, 0x00404040);
  Grab(f, 0, 0, 640, 224, "water_crossing");
  const int top = int((y1 - 32768.0f) / 16.0f) + 112, bottom = int((y2 - 32768.0f) / 16.0f) + 112 + 1;
  int wrong = 0, tinted = 0, below = 0;
  for (int y = 0; y < 224; y++)
    for (int x = 0; x < 640; x++) {
      const uint32_t plain = (x % 16) < 8 ? 0xc0c0c0u : 0x404040u;
      if (y < top) wrong += Px(f, x, y) != plain;
      if (y > bottom) below++, tinted += Px(f, x, y) != plain;
    }
  EXPECT_EQ(wrong, 0) << "above the line, rows 0-" << top;
  EXPECT_EQ(tinted, below) << "below the line, rows " << bottom << "-223";
}

// A ripple, a shaded polygon and a footprint through the effect program's
// quad entry (0x306), on a white texture so that each fills its shape with
// one colour, seen from above at 30 degrees: (Cs - Cd) x As >> 7 + Cd over
// the clear colour, Cs the texel times the vertex colour and As the texel's
// alpha (0xff held as 0x7f) times the vertex alpha; the polygon's As is
// the vertex alpha times ZeLightAddMat's 0.999. The pixels about each
// shape's middle and every pixel away from the shapes are exact. Catches:
// the signed (Cs - Cd) blend, the texel alpha the GS holds, and the ripple's
// current colour and radius after ageing.
TEST_F(Water, RippleShadedPolygonAndFootprintPixels) {
  ZECAMERA* cam = ZeCameraCreate();
  const float a = 0.5235988f;
  cam->mtx.m[1][1] = std::cos(a), cam->mtx.m[1][2] = std::sin(a);
  cam->mtx.m[2][1] = -std::sin(a), cam->mtx.m[2][2] = std::cos(a);
  cam->mtx.m[3][1] = 2.0f, cam->mtx.m[3][2] = -6.0f;
  ZeCameraSet(cam);
  ZeCameraDestroy(cam);
  ZEMTL* m = ZeMtlCreate(1);
  m->texture = WhiteTexture();
  m->diffuse[0] = m->diffuse[1] = m->diffuse[2] = 1.0f;
  m->alpha = 1.0f;
  m->attributes = (m->attributes & ~(15u << ZEMTLATTR_BLEND)) | 1u << ZEMTLATTR_BLEND;  // 0x44
  m->attributes = (m->attributes & ~(3u << ZEMTLATTR_DEPTH)) | 3u << ZEMTLATTR_DEPTH;
  m->attributes &= ~(7u << ZEMTLATTR_ATST);
  ZeMtlUpdate(m);
  // The ripple: centre (-2, -1.5, -1), radius 1.5 after two of eight frames
  // (start 1, end 3), alpha at its peak.
  ZEVEC c = {-2, -1.51f, -1};
  ZeRndrAddWaterRipple(&c, 8, 0x80c08020, 1.0f, 3.0f);
  ZeRndrWaterRippleUpdate(2);
  ASSERT_EQ(ZeRndrWaterRipDat[0].current, 0x80c08020u);
  ASSERT_FLOAT_EQ(ZeRndrWaterRipDat[0].radius, 1.5f);
  // The shaded polygon: one colour on all corners.
  const ZEVEC corners[4] = {{-1, 0.5f, 4}, {1, 0.5f, 4}, {-1, -0.5f, 4}, {1, -0.5f, 4}};
  ZeRndrAddShadedPol(corners, 0x80ff2000, 0x80ff2000);
  // The footprint: flat on the ground, fresh (life 16), alpha 0x60.
  const ZEVEC fp = {2, -1.5f, -1}, up = {0, 1, 0};
  ZeRndrAddFootPrint(0, 0x60, &fp, &up, 0, 0x0040a0e0, 1.0f, 0.75f);
  const float ut[4] = {0, 1, 0, 1}, vt[4] = {0, 0, 1, 1};
  const uint64_t f = WaterFrame([&] {
    ZeRndrDrawShadedPols(0);
    ZeRndrWaterRip(m);
    ZeRndrFootPrints(m, ut, vt);
  });
  Grab(f, 0, 0, 640, 224, "ripple_polygon_footprint");
  auto blend = [](uint32_t vc, int as, bool textured) {
    uint32_t out = 0;
    for (int k = 0; k < 3; k++) {
      const int v = int(vc >> (8 * k) & 0xff), cd = 0x40;
      const int cs = textured ? std::min(255, (255 * v) >> 7) : v;
      out |= uint32_t((((cs - cd) * as) >> 7) + cd) << (8 * k);
    }
    return out;
  };
  const struct {
    const char* name;
    ZEVEC corner[4];
    uint32_t want;
  } shapes[] = {
      {"ripple", {{-3.5f, -1.5f, -2.5f}, {-0.5f, -1.5f, -2.5f}, {-3.5f, -1.5f, 0.5f}, {-0.5f, -1.5f, 0.5f}},
       blend(0x80c08020u, (0x7f * 0x80) >> 7, true)},
      {"shaded polygon", {corners[0], corners[1], corners[2], corners[3]}, blend(0x80ff2000u, 127, false)},
      {"footprint", {{1, -1.5f, -1.75f}, {3, -1.5f, -1.75f}, {1, -1.5f, -0.25f}, {3, -1.5f, -0.25f}},
       blend(0x0040a0e0u, (0x7f * 0x60) >> 7, true)},
  };
  std::vector<uint8_t> near(640 * 224, 0);
  for (const auto& sh : shapes) {
    int x0 = 640, y0 = 224, x1 = -1, y1 = -1;
    for (const ZEVEC& p : sh.corner) {
      int x, y;
      Screen(p, &x, &y);
      x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    }
    for (int y = std::max(0, y0 - 2); y <= std::min(223, y1 + 2); y++)
      for (int x = std::max(0, x0 - 2); x <= std::min(639, x1 + 2); x++) near[size_t(y * 640 + x)] = 1;
    ASSERT_GT(x1 - x0, 20) << sh.name;
    ASSERT_GT(y1 - y0, 8) << sh.name;
    // The middle (the centre of the corners' box, a 9 x 5 block).
    const int mx = (x0 + x1) / 2, my = (y0 + y1) / 2;
    int wrong = 0;
    for (int y = my - 2; y <= my + 2; y++)
      for (int x = mx - 4; x <= mx + 4; x++) wrong += Px(f, x, y) != sh.want;
    EXPECT_EQ(wrong, 0) << sh.name << " at " << mx << "," << my << ": " << std::hex << Px(f, mx, my) << " want "
                        << sh.want;
  }
  int away = 0;
  for (int y = 0; y < 224; y++)
    for (int x = 0; x < 640; x++) away += !near[size_t(y * 640 + x)] && Px(f, x, y) != 0x404040u;
  EXPECT_EQ(away, 0) << "pixels away from the shapes";
}

// A trail's shape: each segment is two quads from its outer edges a quarter
// of the way in, colour fading from the edge toward the middle, so the
// middle half of the ribbon and everything outside it keep the clear colour
// exactly, while the rows along both edges change. Catches: quads drawn
// across the whole ribbon, edges and inner points swapped, and a segment
// drawn out of the walked range.
TEST_F(Water, TrailShapeLeavesItsMiddleHalfAndItsSurroundingsExactly) {
  ZERNDRTRAIL ring[8] = {};
  for (int i = 0; i < 8; i++) {
    const float x = -3.0f + 0.75f * float(i);
    ring[i] = {{x, -1.0f, 0}, {x, 1.0f, 0}, 0x4000ff40, 0};
  }
  const uint64_t f = WaterFrame([&] { ZeRndrTrail(7, ring, 8); }, 0, 0x00404040);
  Grab(f, 160, 40, 320, 144, "trail_shape");
  // The walk from the head (entry 7) reaches entry 1: x -2.25 to 2.25.
  int x0, x1, ya, yb, yia, yib, dummy;
  Screen({-2.25f, -1.0f, 0}, &x0, &ya);
  Screen({2.25f, 1.0f, 0}, &x1, &yb);
  Screen({0, -0.5f, 0}, &dummy, &yia);
  Screen({0, 0.5f, 0}, &dummy, &yib);
  ASSERT_GT(ya - yb, 40);
  int away = 0, middle = 0;
  for (int y = 0; y < 224; y++)
    for (int x = 0; x < 640; x++) {
      if (x < x0 - 1 || x > x1 + 1 || y < yb - 1 || y > ya + 1) away += Px(f, x, y) != 0x404040u;
      if (x >= x0 - 1 && x <= x1 + 1 && y > yib + 1 && y < yia - 1) middle += Px(f, x, y) != 0x404040u;
    }
  EXPECT_EQ(away, 0) << "outside the ribbon";
  EXPECT_EQ(middle, 0) << "the middle half, rows " << yib << "-" << yia;
  // Both edges change along the inner segments.
  int edges = 0;
  for (int x = x0 + (x1 - x0) / 6; x < x1 - (x1 - x0) / 6; x++)
    edges += (Px(f, x, yb + 1) != 0x404040u) + (Px(f, x, ya - 1) != 0x404040u);
  EXPECT_GT(edges, (x1 - x0) * 4 / 3 - 4);
}

// Ripples, a shaded polygon and a trail through the quad entry.
TEST_F(Water, RipplesPolygonsAndTrails) {
  ZEVEC p = {0, -1, 2};
  ZeRndrAddWaterRipple(&p, 8, 0x80ffffff, 1.0f, 3.0f);
  ZeRndrWaterRippleUpdate(2);  // full alpha
  const ZEVEC corners[4] = {{-4, 2, 0}, {-3, 2, 0}, {-4, 1, 0}, {-3, 1, 0}};
  ZeRndrAddShadedPol(corners, 0x80ff0000, 0x800000ff);
  ZERNDRTRAIL ring[16] = {};
  for (int i = 0; i < 16; i++) {
    const float x = 2.0f + 0.25f * float(i);
    ring[i] = {{x, 1.0f, 0}, {x, 1.5f, 0}, 0x8000ff00, 0};
  }
  ring[8].a.x = -10000.0f;  // a gap: two strips
  const uint64_t f = WaterFrame([&] {
    ZeRndrDrawShadedPols(0);
    ZeRndrWaterRip(mtl);
    ZeRndrTrail(15, ring, 16);
  });
  Grab(f, 0, 0, 640, 224, "ripples_trail");
  int x, y;
  Screen({-3.5f, 1.5f, 0}, &x, &y);
  EXPECT_NE(Px(f, x, y), 0x404040u) << "the shaded polygon";
  int x0, y0, x1, y1;
  Screen({-1.5f, -1.0f, 0.5f}, &x0, &y0);
  Screen({1.5f, -1.0f, 3.5f}, &x1, &y1);
  int rippled = 0;
  for (int yy = std::min(y0, y1); yy <= std::max(y0, y1); yy++)
    for (int xx = x0; xx <= x1; xx++) rippled += Px(f, xx, yy) != 0x404040u;
  EXPECT_GT(rippled, 10) << "the ripple";
  Screen({0.0f, 2.0f, 0.0f}, &x, &y);
  EXPECT_EQ(Px(f, x, y), 0x404040u);
  // Paused: the same polygons again.
  const uint64_t g = WaterFrame([&] { ZeRndrDrawShadedPols(1); });
  Screen({-3.5f, 1.5f, 0}, &x, &y);
  EXPECT_NE(Px(g, x, y), 0x404040u);
}

}  // namespace
