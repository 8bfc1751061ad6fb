// Drawing rules on tiny targets: the pixel tests and AFAIL, depth clamping,
// blending and COLCLAMP, FBMSK, fill rules, the vertex queue and kicks,
// contexts, offsets and scissors. Each runs on both rasterisers.
#include <random>
#include <vector>

#include "gs_local.h"
#include "gs_testutil.h"
#include "platform_test.h"

namespace {

// Frame: PSMCT32 at page 0, 64 wide; depth: PSMZ32 at page 2.
constexpr uint32_t kZbp = 2;

class GsDraw : public testing::TestWithParam<GsPath> {
 protected:
  void SetUp() override {
    GsReset();
    GsSetPath(GetParam());
    GsTestTarget(0, 0, PSMCT32, 16, 16);
    GsTestZbuf(0, kZbp, PSMZ32, false);
  }
  static uint32_t Px(int x, int y) { return GsMemReadPixel(PSMCT32, 0, 1, x, y); }
  static uint32_t Zv(int x, int y) { return GsMemReadPixel(PSMZ32, kZbp * 32, 1, x, y); }
  static void Test(GsTEST t) { GsWriteReg(GS_TEST_1, GsBits(t)); }
  static void Alpha(int a, int b, int c, int d, uint32_t fix = 0) {
    GsALPHA al{};
    al.A = uint32_t(a);
    al.B = uint32_t(b);
    al.C = uint32_t(c);
    al.D = uint32_t(d);
    al.FIX = fix;
    GsWriteReg(GS_ALPHA_1, GsBits(al));
  }
  // Additive blending (Cs + Cd), so that a pixel drawn twice shows.
  static void Additive() {
    Alpha(0, 2, 2, 1, 0x80);
    GsWriteReg(GS_COLCLAMP, 1);
  }
  static void Pixel(int x, int y, uint32_t rgba, uint32_t z = 0, bool abe = false) {
    GsWriteReg(GS_PRIM, GsTestPrim(6, false, false, abe));
    GsWriteReg(GS_RGBAQ, GsTestRgbaq(rgba));
    GsTestVertex(x * 16, y * 16, z);
    GsTestVertex(x * 16 + 16, y * 16 + 16, z);
  }
  static void Tri(int prim, const int (*v)[2], int n, uint32_t rgba, bool abe = false) {
    GsWriteReg(GS_PRIM, GsTestPrim(prim, false, false, abe));
    GsWriteReg(GS_RGBAQ, GsTestRgbaq(rgba));
    for (int i = 0; i < n; i++) GsTestVertex(v[i][0], v[i][1]);
  }
  // A count image of the 16 x 16 target (red channel).
  static std::vector<uint32_t> Counts(int w = 16, int h = 16) {
    std::vector<uint32_t> c;
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) c.push_back(Px(x, y) & 0xff);
    return c;
  }
};

TEST_P(GsDraw, AlphaTestMethods) {
  // Per method, pass for alpha 0x7f, 0x80, 0x81 against AREF 0x80.
  const char* table[8] = {"000", "111", "100", "110", "010", "011", "001", "101"};
  for (int atst = 0; atst < 8; atst++) {
    GsTEST t = GsTestAlways();
    t.ATE = 1;
    t.ATST = uint32_t(atst);
    t.AREF = 0x80;
    Test(t);
    for (int i = 0; i < 3; i++) Pixel(i, atst, 0x7f000001u + (uint32_t(i) << 24), 7);
    for (int i = 0; i < 3; i++) {
      bool pass = table[atst][i] == '1';
      EXPECT_EQ(Px(i, atst) != 0, pass) << "ATST " << atst << " alpha " << std::hex << 0x7f + i;
      EXPECT_EQ(Zv(i, atst) == 7, pass) << "ATST " << atst;
    }
  }
}

TEST_P(GsDraw, AlphaFailWritesWhatAfailSays) {
  struct Case {
    int afail;
    uint32_t frame, z;
  } cases[] = {
      {0, 0xaa000000, 0},           // KEEP
      {1, 0x00123456, 0},           // FB_ONLY
      {2, 0xaa000000, 9},           // ZB_ONLY
      {3, 0xaa123456, 0},           // RGB_ONLY: alpha kept
  };
  for (const Case& c : cases) {
    Pixel(c.afail, 0, 0xaa000000);
    GsTEST t = GsTestAlways();
    t.ATE = 1;
    t.ATST = 0;  // NEVER
    t.AFAIL = uint32_t(c.afail);
    Test(t);
    Pixel(c.afail, 0, 0x00123456, 9);
    Test(GsTestAlways());
    EXPECT_EQ(Px(c.afail, 0), c.frame) << "AFAIL " << c.afail;
    EXPECT_EQ(Zv(c.afail, 0), c.z) << "AFAIL " << c.afail;
  }
}

TEST_P(GsDraw, DepthTestMethodsAndZmsk) {
  const char* table[4] = {"000", "111", "011", "001"};  // z 99, 100, 101 against 100
  for (int ztst = 0; ztst < 4; ztst++) {
    for (int i = 0; i < 3; i++) Pixel(i, ztst, 0, 100);
    GsTEST t = GsTestAlways();
    t.ZTST = uint32_t(ztst);
    Test(t);
    for (int i = 0; i < 3; i++) Pixel(i, ztst, 0xff, 99 + uint32_t(i));
    for (int i = 0; i < 3; i++) {
      bool pass = table[ztst][i] == '1';
      EXPECT_EQ(Px(i, ztst) == 0xff, pass) << "ZTST " << ztst << " z " << 99 + i;
      EXPECT_EQ(Zv(i, ztst), pass ? 99u + uint32_t(i) : 100u) << "ZTST " << ztst;
    }
    Test(GsTestAlways());
  }
  // ZMSK: tested, not written.
  GsTestZbuf(0, kZbp, PSMZ32, true);
  GsTEST t = GsTestAlways();
  t.ZTST = 2;
  Test(t);
  Pixel(5, 5, 0xff, 50);
  EXPECT_EQ(Px(5, 5), 0xffu);
  EXPECT_EQ(Zv(5, 5), 0u);
}

// Z beyond what the buffer holds is clamped to its maximum, then tested.
TEST_P(GsDraw, DepthIsClampedToTheFormatsMaximum) {
  struct Case {
    int psm;
    uint32_t max;
  } cases[] = {{PSMZ24, 0xffffff}, {PSMZ16, 0xffff}, {PSMZ16S, 0xffff}, {PSMZ32, 0xffffffff}};
  for (const Case& c : cases) {
    GsTestZbuf(0, kZbp, c.psm, false);
    Pixel(0, 0, 0, 0xfffffff0);
    EXPECT_EQ(GsMemReadPixel(c.psm, kZbp * 32, 1, 0, 0), std::min(c.max, 0xfffffff0u))
        << GsPsm(c.psm).name;
    // Equal after clamping: GREATER fails, GEQUAL passes.
    GsTEST t = GsTestAlways();
    t.ZTST = 3;
    Test(t);
    Pixel(0, 0, 0x11, 0xfffffff8);
    EXPECT_EQ(Px(0, 0) == 0x11, c.max == 0xffffffff) << GsPsm(c.psm).name;
    t.ZTST = 2;
    Test(t);
    Pixel(0, 0, 0x22, 0xfffffffc);
    EXPECT_EQ(Px(0, 0), 0x22u) << GsPsm(c.psm).name;
    Test(GsTestAlways());
  }
}

TEST_P(GsDraw, DestinationAlphaTest) {
  for (int datm = 0; datm < 2; datm++) {
    Pixel(0, datm, 0x80000000);  // alpha MSB set
    Pixel(1, datm, 0x7f000000);  // clear
    GsTEST t = GsTestAlways();
    t.DATE = 1;
    t.DATM = uint32_t(datm);
    Test(t);
    Pixel(0, datm, 0x00000055);
    Pixel(1, datm, 0x00000055);
    Test(GsTestAlways());
    EXPECT_EQ(Px(0, datm) == 0x55, datm == 1);
    EXPECT_EQ(Px(1, datm) == 0x55, datm == 0);
  }
}

TEST_P(GsDraw, BlendingFormulaAndColclamp) {
  struct Case {
    int a, b, c, d;
    uint32_t fix;
    bool clamp;
    uint32_t src, dst, want;
  } cases[] = {
      // (Cs - Cd) x As >> 7 + Cd: a half blend, up and down.
      {0, 1, 0, 1, 0, true, 0x40c8c8c8, 0x00646464, 0x40969696},
      {0, 1, 0, 1, 0, true, 0x40646464, 0x00c8c8c8, 0x40969696},
      // The shift floors: -1 x 1 >> 7 is -1.
      {0, 1, 0, 1, 0, true, 0x01636363, 0x00646464, 0x01636363},
      // Cs x FIX + Cd past 255: clamped, or wrapped without COLCLAMP.
      {0, 2, 2, 1, 0x80, true, 0x00c8c8c8, 0x00646464, 0x00ffffff},
      {0, 2, 2, 1, 0x80, false, 0x00c8c8c8, 0x00646464, 0x002c2c2c},
      // Below 0: clamped to 0, or wrapped.
      {2, 0, 2, 2, 0x80, true, 0x00101010, 0, 0},
      {2, 0, 2, 2, 0x80, false, 0x00101010, 0, 0x00f0f0f0},
      // C = Ad: the destination's alpha weighs.
      {0, 2, 1, 2, 0, true, 0x00808080, 0x40000000, 0x00404040},
      // Alpha weights beyond 0x80 amplify.
      {0, 2, 2, 2, 0xff, true, 0x00404040, 0, 0x007f7f7f},
  };
  for (const Case& c : cases) {
    Pixel(0, 0, c.dst);
    Alpha(c.a, c.b, c.c, c.d, c.fix);
    GsWriteReg(GS_COLCLAMP, c.clamp);
    Pixel(0, 0, c.src, 0, true);
    EXPECT_EQ(Px(0, 0), c.want) << std::hex << "src " << c.src << " dst " << c.dst << " ALPHA "
                                << c.a << c.b << c.c << c.d;
  }
}

// A 24-bit frame has no alpha: blending reads Ad as 0x80 and writes keep
// the memory's top byte.
TEST_P(GsDraw, Ct24FrameReadsAlphaAsOne) {
  GsTestFrame(0, 0, 1, PSMCT24);
  GsMemWritePixel(PSMCT32, 0, 1, 0, 0, 0x00102030);
  Alpha(0, 2, 1, 2);  // Cs x Ad >> 7
  Pixel(0, 0, 0x55646464, 0, true);
  EXPECT_EQ(GsMemReadPixel(PSMCT32, 0, 1, 0, 0), 0x00646464u);
}

TEST_P(GsDraw, FrameMaskKeepsBitByBit) {
  GsTestFrame(0, 0, 1, PSMCT32, 0x0f0f00ff);
  Pixel(0, 0, 0xffffffff);
  EXPECT_EQ(Px(0, 0), 0xf0f0ff00u);
  // 16-bit frames: the mask's bits map onto 5:5:5:1.
  GsTestFrame(0, 4, 1, PSMCT16, 0x80f800f8);  // keep A and B, R's top bits
  GsMemWritePixel(PSMCT16, 128, 1, 0, 0, 0x0000);
  Pixel(0, 0, 0xffffffff);
  EXPECT_EQ(GsMemReadPixel(PSMCT16, 128, 1, 0, 0), 0x03e0u);  // only green written
}

// Quads tiling the target from jittered sub-pixel corners: every pixel is
// drawn exactly once, shared edges and corners included.
TEST_P(GsDraw, SharedEdgesAreDrawnOnce) {
  Additive();
  std::mt19937 rng(11);
  const int n = 4, cell = 64;  // 4 x 4 cells of 4 pixels, in 1/16 pixel
  int vx[n + 1][n + 1], vy[n + 1][n + 1];
  for (int j = 0; j <= n; j++)
    for (int i = 0; i <= n; i++) {
      bool inner = i > 0 && i < n && j > 0 && j < n;
      vx[j][i] = i * cell + (inner ? int(rng() % 33) - 16 : 0);
      vy[j][i] = j * cell + (inner ? int(rng() % 33) - 16 : 0);
    }
  for (int j = 0; j < n; j++)
    for (int i = 0; i < n; i++) {
      const int a[3][2] = {{vx[j][i], vy[j][i]}, {vx[j][i + 1], vy[j][i + 1]},
                           {vx[j + 1][i + 1], vy[j + 1][i + 1]}};
      const int b[3][2] = {{vx[j][i], vy[j][i]}, {vx[j + 1][i + 1], vy[j + 1][i + 1]},
                           {vx[j + 1][i], vy[j + 1][i]}};
      Tri(3, a, 3, 1, true);
      Tri(3, b, 3, 1, true);
    }
  EXPECT_TRUE(GsTestSameImage(std::vector<uint32_t>(256, 1), Counts(), 16, 16));
}

// Pixel centres on an edge: left and top edges draw them, right and
// bottom ones do not; a sprite covers [x0, x1) x [y0, y1).
TEST_P(GsDraw, TopLeftRuleAndExclusiveSpriteEnds) {
  // A right triangle: left edge x = 2, top edge y = 1, hypotenuse to (10, 9).
  const int v[3][2] = {{32, 16}, {160, 16}, {32, 144}};
  Tri(3, v, 3, 1);
  std::vector<uint32_t> want(256, 0);
  for (int y = 1; y < 9; y++)
    for (int x = 2; x < 10; x++)
      if ((x - 2) + (y - 1) < 8) want[size_t(y) * 16 + size_t(x)] = 1;
  EXPECT_TRUE(GsTestSameImage(want, Counts(), 16, 16));
  // A sprite from (1.5, 2.5) to (4.5, 4.0): columns 2-4 of row 3.
  GsReset();
  GsSetPath(GetParam());
  GsTestTarget(0, 0, PSMCT32, 16, 16);
  GsWriteReg(GS_PRIM, GsTestPrim(6));
  GsWriteReg(GS_RGBAQ, GsTestRgbaq(1));
  GsTestVertex(24, 40);
  GsTestVertex(72, 64);  // (4.5, 4.0): covers x 2..4, y 3
  std::vector<uint32_t> s(256, 0);
  for (int x = 2; x <= 4; x++) s[3 * 16 + size_t(x)] = 1;
  EXPECT_TRUE(GsTestSameImage(s, Counts(), 16, 16));
}

TEST_P(GsDraw, VertexQueueAndKicks) {
  Additive();
  // A strip of 6 vertices: 4 triangles; the third is skipped by XYZ3.
  GsWriteReg(GS_PRIM, GsTestPrim(4, false, false, true));
  GsWriteReg(GS_RGBAQ, GsTestRgbaq(1));
  const int xs[6] = {0, 0, 64, 64, 128, 128}, ys[6] = {0, 64, 0, 64, 0, 64};
  for (int i = 0; i < 6; i++) GsTestVertex(xs[i], ys[i], 0, i != 4);
  std::vector<uint32_t> want(256, 0);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 8; x++) {
      // Triangle 3 (vertices 2, 3, 4) is the upper-right half of cell 2.
      bool skipped = x >= 4 && (x - 4) + y < 4;
      want[size_t(y) * 16 + size_t(x)] = skipped ? 0 : 1;
    }
  EXPECT_TRUE(GsTestSameImage(want, Counts(), 16, 16));
  // A fan keeps its first vertex; a PRIM write empties the queue.
  GsReset();
  GsSetPath(GetParam());
  GsTestTarget(0, 0, PSMCT32, 16, 16);
  Additive();
  GsWriteReg(GS_PRIM, GsTestPrim(5, false, false, true));
  GsWriteReg(GS_RGBAQ, GsTestRgbaq(1));
  GsTestVertex(0, 0);
  GsTestVertex(128, 0);
  GsWriteReg(GS_PRIM, GsTestPrim(5, false, false, true));  // restart
  GsTestVertex(0, 0);
  GsTestVertex(128, 0);
  GsTestVertex(128, 128);
  GsTestVertex(0, 128);
  std::vector<uint32_t> sq(256, 0);
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 8; x++) sq[size_t(y) * 16 + size_t(x)] = 1;
  EXPECT_TRUE(GsTestSameImage(sq, Counts(), 16, 16));
}

TEST_P(GsDraw, LinesAndPoints) {
  Additive();
  // A line strip doubling back: each joint once; ends exclusive.
  GsWriteReg(GS_PRIM, GsTestPrim(2, false, false, true));
  GsWriteReg(GS_RGBAQ, GsTestRgbaq(1));
  GsTestVertex(0, 16);
  GsTestVertex(96, 16);   // (0, 1) -> (6, 1): x 0..5
  GsTestVertex(96, 112);  // (6, 1) -> (6, 7): y 1..6
  std::vector<uint32_t> want(256, 0);
  for (int x = 0; x < 6; x++) want[16 + size_t(x)] = 1;
  for (int y = 1; y < 7; y++) want[size_t(y) * 16 + 6] = 1;
  // A diagonal rounds its minor coordinate: (0, 8) -> (8, 12): y = 8 + x / 2 rounded.
  GsWriteReg(GS_PRIM, GsTestPrim(1, false, false, true));
  GsTestVertex(0, 128);
  GsTestVertex(128, 192);
  for (int x = 0; x < 8; x++) want[size_t((16 * 8 + 8 * x + 8) / 16) * 16 + size_t(x)] += 1;
  // A point at (10.5, 12.0) lights (11, 12).
  GsWriteReg(GS_PRIM, GsTestPrim(0, false, false, true));
  GsTestVertex(168, 192);
  want[12 * 16 + 11] += 1;
  EXPECT_TRUE(GsTestSameImage(want, Counts(), 16, 16));
}

TEST_P(GsDraw, GouraudReachesVertexColoursAndFlatTakesTheLast) {
  GsWriteReg(GS_PRIM, GsTestPrim(3, true));
  GsWriteReg(GS_RGBAQ, GsTestRgbaq(0x000000ff));
  GsTestVertex(0, 0);
  GsWriteReg(GS_RGBAQ, GsTestRgbaq(0x0000ff00));
  GsTestVertex(256, 0);
  GsWriteReg(GS_RGBAQ, GsTestRgbaq(0x00ff0000));
  GsTestVertex(0, 256);
  EXPECT_EQ(Px(0, 0), 0x000000ffu);
  uint32_t mid = Px(7, 0);  // 7/16 along the top edge
  EXPECT_NEAR(int(mid & 0xff), 143, 1);
  EXPECT_NEAR(int((mid >> 8) & 0xff), 111, 1);
  EXPECT_EQ(mid >> 16, 0u);
  GsWriteReg(GS_PRIM, GsTestPrim(3, false));
  GsWriteReg(GS_RGBAQ, GsTestRgbaq(1));
  GsTestVertex(0, 0);
  GsWriteReg(GS_RGBAQ, GsTestRgbaq(2));
  GsTestVertex(256, 0);
  GsWriteReg(GS_RGBAQ, GsTestRgbaq(3));
  GsTestVertex(0, 256);
  EXPECT_EQ(Px(3, 3), 3u);
}

TEST_P(GsDraw, ContextsOffsetsScissorsAndPrmode) {
  // Context 2: its own frame (page 4), offset and scissor.
  GsTestTarget(1, 4, PSMCT32, 16, 16);
  GsTestScissor(1, 2, 5, 0, 15);
  GsWriteReg(GS_XYOFFSET_2, uint64_t(1024) | uint64_t(1024) << 32);  // (64, 64)
  GsWriteReg(GS_PRIM, GsTestPrim(6, false, false, false, false, 1));
  GsWriteReg(GS_RGBAQ, GsTestRgbaq(7));
  GsTestVertex(1024, 1024);
  GsTestVertex(1024 + 128, 1024 + 16);  // (0, 0) to (8, 1) after the offset
  for (int x = 0; x < 8; x++) {
    EXPECT_EQ(GsMemReadPixel(PSMCT32, 128, 1, x, 0), (x >= 2 && x <= 5) ? 7u : 0u) << x;
    EXPECT_EQ(Px(x, 0), 0u);
  }
  // PRMODECONT AC 0: the attributes come from PRMODE (context 2 here), not PRIM.
  GsWriteReg(GS_PRMODECONT, 0);
  GsPRMODE pm{};
  pm.CTXT = 1;
  GsWriteReg(GS_PRMODE, GsBits(pm));
  GsWriteReg(GS_PRIM, GsTestPrim(6, false, false, false, false, 0));
  GsWriteReg(GS_RGBAQ, GsTestRgbaq(9));
  GsTestVertex(1024, 1024 + 32);
  GsTestVertex(1024 + 128, 1024 + 48);
  EXPECT_EQ(GsMemReadPixel(PSMCT32, 128, 1, 3, 2), 9u);
  EXPECT_EQ(Px(3, 2), 0u);
}

INSTANTIATE_TEST_SUITE_P(Paths, GsDraw, testing::Values(GS_PATH_REFERENCE, GS_PATH_FAST),
                         [](const testing::TestParamInfo<GsPath>& i) {
                           return std::string(i.param == GS_PATH_FAST ? "Fast" : "Reference");
                         });

}  // namespace
