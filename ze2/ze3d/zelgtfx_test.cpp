// The light unit: surfaces and packets, the glow's arithmetic, spot fading,
// and glows drawn on the GS model against walls at known depths.
#include <cmath>
#include <string>
#include <vector>

#include "zelgt_test.h"

namespace {

// ---- surfaces, materials and packets ----

TEST_F(Light, SurfacesAliasTwoBlocksAndTheDepthBuffer) {
  EXPECT_EQ(ZeLgtHSurf[0], 0);
  EXPECT_EQ(ZeLgtHSurf[19], 0);
  EXPECT_EQ(ZeTexType(ZeLgtHSurf[1]), ZETEX_RT_Z24);
  EXPECT_EQ(ZeTexType(ZeLgtHSurf[3]), ZETEX_RT_Z32);
  EXPECT_EQ(ZeTexType(ZeLgtHSurf[6]), ZETEX_RT_T8H);
  EXPECT_EQ(ZeTexType(ZeLgtHSurf[20]), ZETEX_RT_Z16);
  EXPECT_EQ(ZeTexHeight(ZeLgtHSurf[13]), 4 * 224);
  EXPECT_EQ(ZeTexWidth(ZeLgtHSurf[18]), 256);
  EXPECT_EQ(ZeTexType(ZeLgtHLightMat[3]), ZETEX_RT_T8H);
  EXPECT_EQ(ZeTexType(ZeLgtHLightMat[20]), ZETEX_RT_T8B);
  Frame([] {});
  auto addr = [](int k) { return ZeTexGetTextAddr(ZeLgtHSurf[k]); };
  EXPECT_NE(addr(1), addr(2));
  for (int k : {3, 6, 8, 13, 16, 17, 18, 21, 22}) EXPECT_EQ(addr(k), addr(1)) << k;
  for (int k : {5, 7, 9, 10, 11, 12, 14, 26}) EXPECT_EQ(addr(k), addr(2)) << k;
  uint64_t z;
  ZePs2GetCurrentZBuffer(&z);
  EXPECT_EQ(addr(20), int(z & 0x1ff) * 32);
  // Materials: the grey view's palette and the attribute rows.
  EXPECT_EQ(ZeLgtSurf[2]->render_flags, 0x71u);
  EXPECT_EQ(ZeLgtSurf[24]->render_flags, 0x15u);
  EXPECT_EQ(ZeLightAddMat2->render_flags, 0x01u);
  EXPECT_EQ(ZeLightAddMat->sort_priority, 0x100);
  EXPECT_FLOAT_EQ(ZeLgtSurf[10]->alpha, 0.10101f);
  EXPECT_EQ(ZeLgtSurf[18]->attributes >> ZEMTLATTR_DEPTH & 3, 0u);
  EXPECT_EQ(ZeLgtSurf[18]->attributes >> ZEMTLATTR_UWRAP & 3, 0u);
  EXPECT_EQ(ZeLgtCount111, 111u);
  EXPECT_EQ(ZeLgtCount371, 371u);
}

TEST_F(Light, TheDepthCopyPacketLays640ColumnsInto256Pixels) {
  // Ret tag, DIRECT, a REGLIST tag of 10 loops of 6 registers.
  const uint32_t* p = ZeLgtFxSetCall;
  EXPECT_EQ(p[0] >> 28 & 7, 6u) << "ret";
  EXPECT_EQ(p[4] & 0x7fff, 10u);
  EXPECT_EQ(p[5] >> 28, 6u);
  const int x0 = (2048 - 320) * 16;
  for (int i = 0; i < 10; i++) {
    const uint32_t* sp = p + 8 + 12 * i;
    const int xa = int(sp[6] & 0xffff) - x0, xb = int(sp[10] & 0xffff) - x0;
    EXPECT_EQ(xa, int(409.6 * i) - 8) << i;
    EXPECT_EQ(xb, int(409.6 * (i + 1)) - 8) << i;
    float s0, s1;
    memcpy(&s0, &sp[4], 4);
    memcpy(&s1, &sp[8], 4);
    EXPECT_FLOAT_EQ(s0 * 1024.0f, 64.0f * float(i) + 0.5f);
    EXPECT_FLOAT_EQ(s1 * 1024.0f, 64.0f * float(i) + 63.5f);
  }
  // The fog packets: depths at and above the formats' maxima.
  EXPECT_EQ(ZeLgtFxFogCop[4] & 0x7fff, 4u);
  EXPECT_EQ(ZeLgtFxFogCop[8 + 7], 0x1ffffffu);
  EXPECT_EQ(ZeLgtFxFogClr[8 + 7], 0xffffffffu);
}

// ---- arithmetic ----

TEST_F(Light, DepthWindowTable) {
  struct Case {
    int zb, zf, base, k;
  } cases[] = {
      {1000, 1100, 0, 3},          // d < 256, but the window must widen past a carry
      {0x100000, 0x100080, 0x100000, 0},
      {0x123456, 0x133456, 0x120000, 9},  // d = 0x10000: top bit of 1, + 9
      {0x200000, 0x2000ff, 0x200000, 0},
      {0, 0xffffff, 0, 17},         // the widest window: 255 << 17 covers the top
      {-5000, 0x1000, 0, 5},        // a back below 0 counts as 0 (the search used to never end)
      {-0x7fffffff, 0xffffff, 0, 17},
  };
  for (const Case& c : cases) {
    const ZELGTWINDOW w = ZeLgtDepthWindow(c.zb, c.zf);
    EXPECT_EQ(w.base, c.base) << c.zb << " " << c.zf;
    EXPECT_EQ(w.k, c.k) << c.zb << " " << c.zf;
    // The window holds both ends.
    EXPECT_LE(w.base, std::max(c.zb, 0));
    EXPECT_GE(int64_t(w.base) + (int64_t(255) << w.k), std::min(c.zf, 0xffffff));
  }
  EXPECT_EQ(ZeRndrTopBit[0], 0);
  EXPECT_EQ(ZeRndrTopBit[1], 0);
  EXPECT_EQ(ZeRndrTopBit[0x80], 7);
  EXPECT_EQ(ZeRndrTopBit[0xff], 7);
}

TEST_F(Light, GlowPaletteIsATriangleOverTheGlowsDepth) {
  // Depth b + a / d with a = 100, b = 0: distance 100 / Z. A glow from
  // distance 1 to 3.4 (back 3.4, size 1).
  const ZELGTWINDOW w = {0, 0};
  uint32_t pal[256];
  ZeLgtGlowPalette(pal, w, 2400.0f, 0.0f, 3.4f, 1.0f, 0x102030, 0x80);
  struct Case {
    float d;
    uint32_t alpha;
  } cases[] = {
      {3.4f, 0},      // the back: t = 0
      {2.2f, 0x80},   // the centre: full strength
      {1.6f, 0x40},   // half way to the front
      {0.9f, 0},      // nearer than the front
      {4.0f, 0},      // beyond the back
  };
  for (const Case& c : cases) {
    const int z = int(2400.0f / c.d + 0.5f);
    const int j = 255 - z;
    if (j < 0 || j > 255) continue;
    const float d = 2400.0f / float(z);
    int t = int((3.4f - d) / (2.4f / 65536.0f));
    if (t > 0x8000) t = 65536 - t;
    const uint32_t want = d > 3.4f || d < 1.0f ? 0 : uint32_t((0x80 * t) >> 15);
    EXPECT_EQ(pal[j] >> 24, want) << c.d;
    EXPECT_NEAR(double(pal[j] >> 24), double(c.alpha), 3.0) << c.d;
    if (want) {
      EXPECT_EQ(pal[j] & 0xffffff, 0x102030u);
    }
  }
}

// ---- spot table ----

TEST_F(Light, SpotFadesInAndOutInSixteenFrames) {
  ZEVEC pos = {0, 0, 0};
  int firstFull = -1;
  for (int f = 0; f < 20; f++) {
    ZeLightAddSpot(&pos, 0x80ffffff, 2, 0x400, 0x400, 1.0f);
    if (ZeLightSpots[0].intensity == 0x4000 && firstFull < 0) firstFull = f;
    ZeLgtCheckSpots();
  }
  EXPECT_EQ(firstFull, 15) << "full after 16 calls";
  int gone = -1;
  for (int f = 0; f < 20 && gone < 0; f++) {
    for (ZELGTSPOT& s : ZeLightSpots) s.refreshed = 0;  // what the glow pass does on its visit
    ZeLgtCheckSpots();  // not refreshed: fades
    if (!ZeLightSpots[0].active) gone = f;
  }
  EXPECT_EQ(gone, 15) << "gone 16 frames after the last call";
  // One-shot: a new slot every call, shown one frame.
  memset(ZeLightSpots, 0, sizeof ZeLightSpots);
  ZeLightAddSpot(&pos, 0x80ffffff, 0, 0, 0x400, 1.0f);
  ZeLightAddSpot(&pos, 0x80ffffff, 0, 0, 0x400, 1.0f);
  EXPECT_TRUE(ZeLightSpots[0].active && ZeLightSpots[1].active);
  EXPECT_EQ(ZeLightSpots[0].intensity, 0x4000);
  ZeLgtCheckSpots();
  EXPECT_FALSE(ZeLightSpots[0].active);
  // A 17th spot is ignored.
  memset(ZeLightSpots, 0, sizeof ZeLightSpots);
  ZEVEC keys[17];
  for (int i = 0; i < 17; i++) ZeLightAddSpot(&keys[i], 0x80ffffff, 0, 0x100, 0x100, 1.0f);
  int active = 0;
  for (const ZELGTSPOT& s : ZeLightSpots) {
    active += s.active;
    EXPECT_NE(s.key.get(), &keys[16]);
  }
  EXPECT_EQ(active, 16);
  // Under a fade colour the colour is inverted around 0x80, alpha kept.
  memset(ZeLightSpots, 0, sizeof ZeLightSpots);
  ZeLightSpotFadeSet(0x40404040);
  ZeLightAddSpot(&pos, 0x20102030, 0, 0x100, 0x100, 1.0f);
  EXPECT_EQ(ZeLightSpots[0].colour, 0x20706050u);
  ZeLgtFadeSpot = ZELGT_NO_FADE;
}

// ---- pictures ----

constexpr uint32_t CLEAR = 0x00404040;

// A red additive glow at the origin (view distance 10), size 1: the glow
// spans 8.8 to 11.2. Catches: single-bit FBMSK passes (a byte-level mask
// would write the whole index byte at once), the top byte read as T8H
// through the CT32 layout over a Z24 depth copy (linear memory puts the
// indices beside the depths they came from), and frame and depth buffer in
// one block.
TEST_F(Light, GlowBrightensAWallInsideItsDepthAndNotOneInFront) {
  ZEVEC pos = {0, 0, 0};
  struct Case {
    const char* name;
    float wall;  // view distance of the wall
    bool lit;
  } cases[] = {
      {"glow_wall_centre", 10.0f, true},
      {"glow_wall_in_front", 6.0f, false},
      {"glow_wall_behind", 14.0f, false},
  };
  for (const Case& c : cases) {
    memset(ZeLightSpots, 0, sizeof ZeLightSpots);
    ZeLightAddSpot(&pos, 0x800000ff, 2, 0, 0, 1.0f);
    const uint32_t zw = DepthAt(c.wall);
    const uint64_t f = Frame([&] { Wall(0, 0, 640, 224, CLEAR, zw); });
    Grab(f, 320 - 48, 112 - 24, 96, 48, c.name);
    const uint32_t centre = Px(f, 320, 112);
    if (!c.lit) {
      EXPECT_EQ(centre, CLEAR) << c.name;
      continue;
    }
    // Expected centre: the palette entry of the wall's index, alpha
    // modulated by the vertex alpha 0xff, added to the wall.
    float a, b;
    {
      const ZEVEC4 p1 = [] { ZEVEC4 p; ZEVEC v{0, 0, 1}; ZeVec4MtxTransform(&p, &v, ZeCameraGetPCSMtx()); return p; }();
      const ZEVEC4 p2 = [] { ZEVEC4 p; ZEVEC v{0, 0, 2}; ZeVec4MtxTransform(&p, &v, ZeCameraGetPCSMtx()); return p; }();
      a = 2.0f * (p1.z / p1.w - p2.z / p2.w);
      b = p1.z / p1.w - a;
    }
    const ZELGTWINDOW w = ZeLgtDepthWindow(int(DepthAt(11.2f)), int(DepthAt(8.8f)));
    uint32_t pal[256];
    ZeLgtGlowPalette(pal, w, a, b, 11.2f, 1.0f, 0x0000ff, 0x80);
    const int idx = 255 - int((zw - uint32_t(w.base)) >> w.k);
    const uint32_t af = (pal[idx] >> 24) * 0xff >> 7;
    const uint32_t red = std::min<uint32_t>(255, 0x40 + ((0xff * af) >> 7));
    EXPECT_GT(pal[idx] >> 24, 0x70u);
    EXPECT_EQ(centre, 0x404000u | red) << c.name;
    // Outside the outer rim nothing changes.
    EXPECT_EQ(Px(f, 320 + 200, 112), CLEAR);
  }
}

TEST_F(Light, GlowStraddlingAWallLightsOnlyTheWallInsideItsDepth) {
  ZEVEC pos = {0, 0, 0};
  ZeLightAddSpot(&pos, 0x80ff0000, 2, 0, 0, 1.0f);
  const uint32_t near = DepthAt(10.0f), far = DepthAt(30.0f);
  const uint64_t f = Frame([&] {
    Wall(0, 0, 320, 224, CLEAR, near);
    Wall(320, 0, 640, 224, CLEAR, far);
  });
  Grab(f, 320 - 48, 112 - 24, 96, 48, "glow_straddling");
  EXPECT_NE(Px(f, 310, 112), CLEAR) << "the near half glows";
  EXPECT_EQ(Px(f, 330, 112), CLEAR) << "the far half lies behind the glow";
}

TEST_F(Light, GlowModes) {
  ZEVEC pos = {0, 0, 0};
  // Mode 0 with a black palette colour brightens by 1 + alpha / 128; mode 1
  // covers the whole target.
  const uint32_t zw = DepthAt(10.0f);
  ZeLightAddSpot(&pos, 0x40000000, 0, 0, 0, 1.0f);
  uint64_t f = Frame([&] { Wall(0, 0, 640, 224, CLEAR, zw); });
  Grab(f, 320 - 48, 112 - 24, 96, 48, "glow_mode0");
  const uint32_t c0 = Px(f, 320, 112);
  EXPECT_GT(c0 & 0xff, 0x40u);
  EXPECT_EQ(c0 & 0xff, c0 >> 8 & 0xff) << "grey stays grey";
  memset(ZeLightSpots, 0, sizeof ZeLightSpots);
  ZeLightAddSpot(&pos, 0x80008000, 1, 0, 0, 1.0f);
  f = Frame([&] { Wall(0, 0, 640, 224, CLEAR, zw); });
  Grab(f, 0, 0, 160, 56, "glow_mode1");
  EXPECT_NE(Px(f, 320, 112), CLEAR);
}

TEST_F(Light, FadeColourTintsTheFrameForOneFrame) {
  ZeLightSpotFadeSet(0x80404040);
  const uint64_t f = Frame([] {}, 0x00808080);
  const uint32_t c = Px(f, 10, 10);
  EXPECT_LT(c & 0xff, 0x80u) << "tinted";
  const uint64_t g = Frame([] {}, 0x00808080);
  EXPECT_EQ(Px(g, 10, 10), 0x808080u) << "the next frame is untinted";
}

}  // namespace
