// Texture sampling on small targets: nearest and bilinear at texel
// centres, wrap modes, CLUT loading (CSM1, CSM2, CSA, CLD), TEXA, the
// texture functions and mipmap levels. Each runs on both rasterisers.
#include <random>
#include <vector>

#include "gs_local.h"
#include "gs_testutil.h"
#include "platform_test.h"

namespace {

constexpr uint32_t kTbp = 256;   // texture at page 8
constexpr uint32_t kCbp = 1024;  // palette at page 32

class GsTex : public testing::TestWithParam<GsPath> {
 protected:
  void SetUp() override {
    GsReset();
    GsSetPath(GetParam());
    GsTestTarget(0, 0, PSMCT32, 16, 16);
    Filter(0, 0);
    Clamp(0, 0);
  }
  static uint32_t Px(int x, int y) { return GsMemReadPixel(PSMCT32, 0, 1, x, y); }
  static std::vector<uint32_t> Frame(int w, int h) { return GsTestRead(PSMCT32, 0, 1, w, h); }
  static void Tex0(int psm, int tw, int th, int tfx = 1, int tcc = 1, uint32_t tbp = kTbp,
                   uint32_t tbw = 2, int cpsm = PSMCT32, int csm = 0, int csa = 0, int cld = 1) {
    GsTEX0 t{};
    t.TBP0 = tbp;
    t.TBW = tbw;
    t.PSM = uint32_t(psm);
    t.TW = uint32_t(tw);
    t.TH = uint32_t(th);
    t.TCC = uint32_t(tcc);
    t.TFX = uint32_t(tfx);
    t.CBP = kCbp;
    t.CPSM = uint32_t(cpsm);
    t.CSM = uint32_t(csm);
    t.CSA = uint32_t(csa);
    t.CLD = uint32_t(cld);
    GsWriteReg(GS_TEX0_1, GsBits(t));
  }
  static void Filter(int mmag, int mmin, int mxl = 0, int lcm = 0, int k = 0, int l = 0) {
    GsTEX1 t{};
    t.MMAG = uint32_t(mmag);
    t.MMIN = uint32_t(mmin);
    t.MXL = uint32_t(mxl);
    t.LCM = uint32_t(lcm);
    t.K = uint32_t(k) & 0xfff;
    t.L = uint32_t(l);
    GsWriteReg(GS_TEX1_1, GsBits(t));
  }
  static void Clamp(int wms, int wmt, int minu = 0, int maxu = 0, int minv = 0, int maxv = 0) {
    GsCLAMP c{};
    c.WMS = uint32_t(wms);
    c.WMT = uint32_t(wmt);
    c.MINU = uint32_t(minu);
    c.MAXU = uint32_t(maxu);
    c.MINV = uint32_t(minv);
    c.MAXV = uint32_t(maxv);
    GsWriteReg(GS_CLAMP_1, GsBits(c));
  }
  // A UV sprite from pixel (0, 0) to (w, h), U and V in 1/16 texel.
  static void UvSprite(int w, int h, int u0, int v0, int u1, int v1, uint32_t rgba = 0x80808080) {
    GsWriteReg(GS_PRIM, GsTestPrim(6, false, true, false, true));
    GsWriteReg(GS_RGBAQ, GsTestRgbaq(rgba));
    GsWriteReg(GS_UV, GsTestUv(u0, v0));
    GsTestVertex(0, 0);
    GsWriteReg(GS_UV, GsTestUv(u1, v1));
    GsTestVertex(w * 16, h * 16);
  }
  static void StqSprite(int w, int h, float s0, float t0, float s1, float t1, float q = 1.0f) {
    GsWriteReg(GS_PRIM, GsTestPrim(6, false, true, false, false));
    GsWriteReg(GS_ST, GsTestSt(s0 * q, t0 * q));
    GsWriteReg(GS_RGBAQ, GsTestRgbaq(0x80808080, q));
    GsTestVertex(0, 0);
    GsWriteReg(GS_ST, GsTestSt(s1 * q, t1 * q));
    GsTestVertex(w * 16, h * 16);
  }
};

std::vector<uint32_t> Random(int n, uint32_t seed, uint32_t mask = 0xffffffff) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> v(static_cast<size_t>(n));
  for (uint32_t& x : v) x = rng() & mask;
  return v;
}

TEST_P(GsTex, NearestAndBilinearAtTexelCentresCopyExactly) {
  std::vector<uint32_t> tex = Random(64, 1);
  GsTestUpload(PSMCT32, kTbp, 2, 0, 0, 8, 8, tex.data());
  Tex0(PSMCT32, 3, 3);
  UvSprite(8, 8, 0, 0, 128, 128);  // pixel centres on texel corners: nearest
  EXPECT_TRUE(GsTestSameImage(tex, Frame(8, 8), 8, 8)) << "nearest UV";
  Filter(1, 1);
  UvSprite(8, 8, 8, 8, 136, 136);  // on texel centres: bilinear takes one texel
  EXPECT_TRUE(GsTestSameImage(tex, Frame(8, 8), 8, 8)) << "bilinear UV";
  StqSprite(8, 8, 0.0625f, 0.0625f, 1.0625f, 1.0625f, 2.0f);
  EXPECT_TRUE(GsTestSameImage(tex, Frame(8, 8), 8, 8)) << "bilinear STQ";
  Filter(0, 0);
  StqSprite(8, 8, 0.0f, 0.0f, 1.0f, 1.0f, 0.5f);
  EXPECT_TRUE(GsTestSameImage(tex, Frame(8, 8), 8, 8)) << "nearest STQ";
}

// Bilinear between two texels, at the right edge of a repeating texture
// and of a clamped one.
TEST_P(GsTex, BilinearWeightsAndEdges) {
  const uint32_t tex[2] = {0x00000000, 0xffffffff};
  GsTestUpload(PSMCT32, kTbp, 2, 0, 0, 2, 1, tex);
  Tex0(PSMCT32, 1, 0);
  Filter(1, 1);
  // One pixel per sample: u = 16 is halfway between the texel centres.
  UvSprite(1, 1, 16, 8, 32, 8);
  EXPECT_EQ(Px(0, 0), 0x7f7f7f7fu);
  UvSprite(1, 1, 12, 8, 28, 8);  // a quarter of the way
  EXPECT_EQ(Px(0, 0), 0x3f3f3f3fu);
  UvSprite(1, 1, 0, 8, 16, 8);  // u = 0: half texel 1 (wrapped) and half texel 0
  EXPECT_EQ(Px(0, 0), 0x7f7f7f7fu);
  Clamp(1, 1);
  UvSprite(1, 1, 0, 8, 16, 8);  // clamped: texel 0 alone
  EXPECT_EQ(Px(0, 0), 0u);
}

TEST_P(GsTex, WrapModes) {
  std::vector<uint32_t> tex(16);
  for (int i = 0; i < 16; i++) tex[size_t(i)] = uint32_t(i % 4) + 1;  // rows of 1 2 3 4
  GsTestUpload(PSMCT32, kTbp, 2, 0, 0, 4, 4, tex.data());
  Tex0(PSMCT32, 2, 2);
  struct Case {
    int wms, minu, maxu;
    uint32_t want[8];
  } cases[] = {
      {0, 0, 0, {1, 2, 3, 4, 1, 2, 3, 4}},  // REPEAT
      {1, 0, 0, {1, 2, 3, 4, 4, 4, 4, 4}},  // CLAMP
      {2, 1, 2, {2, 2, 3, 3, 3, 3, 3, 3}},  // REGION_CLAMP to texels 1..2
      {3, 1, 2, {3, 4, 3, 4, 3, 4, 3, 4}},  // REGION_REPEAT: (u & 1) | 2
  };
  for (const Case& c : cases) {
    Clamp(c.wms, 1, c.minu, c.maxu);
    UvSprite(8, 1, 0, 0, 128, 16);
    std::vector<uint32_t> want(c.want, c.want + 8);
    EXPECT_TRUE(GsTestSameImage(want, Frame(8, 1), 8, 1)) << "WMS " << c.wms;
  }
}

// 256 colours stored as a 16 x 16 image in CSM1 order (entries 8-15 and
// 16-23 of every 32 swapped); and the same palette's memory drawn into as
// an image, which the next CLUT load picks up.
TEST_P(GsTex, ClutCsm1ForEightBitTextures) {
  std::vector<uint32_t> pal = Random(256, 3);
  std::vector<uint32_t> stored(256);
  for (int i = 0; i < 256; i++) {
    int j = (i & ~0x18) | ((i & 8) << 1) | ((i & 0x10) >> 1);
    stored[size_t(j)] = pal[size_t(i)];
  }
  GsTestUpload(PSMCT32, kCbp, 1, 0, 0, 16, 16, stored.data());
  std::vector<uint32_t> idx(256);
  for (int i = 0; i < 256; i++) idx[size_t(i)] = uint32_t(i);
  GsTestUpload(PSMT8, kTbp, 2, 0, 0, 16, 16, idx.data());
  Tex0(PSMT8, 4, 4);
  UvSprite(16, 16, 0, 0, 256, 256);
  EXPECT_TRUE(GsTestSameImage(pal, Frame(16, 16), 16, 16));
  // Draw palette pixel (9, 0) (entry 17 in CSM1 order) as a CT32 image.
  GsTestTarget(1, kCbp / 32, PSMCT32, 64, 16);
  GsWriteReg(GS_PRIM, GsTestPrim(6, false, false, false, false, 1));
  GsWriteReg(GS_RGBAQ, GsTestRgbaq(0x12345678));
  GsTestVertex(9 * 16, 0);
  GsTestVertex(10 * 16, 16);
  Tex0(PSMT8, 4, 4);  // reloads the CLUT
  UvSprite(16, 16, 0, 0, 256, 256);
  EXPECT_EQ(Px(1, 1), 0x12345678u);  // index 17
}

// 16 colours: an 8 x 2 image; CSA picks the CLUT buffer's 16-entry slot,
// PSMCT16 entries take their alpha from TEXA.
TEST_P(GsTex, ClutFourBitWithCsaAndSixteenBitEntries) {
  std::vector<uint32_t> pal32 = Random(16, 5);
  GsTestUpload(PSMCT32, kCbp, 1, 0, 0, 8, 2, pal32.data());
  std::vector<uint32_t> idx(16);
  for (int i = 0; i < 16; i++) idx[size_t(i)] = uint32_t(15 - i);
  GsTestUpload(PSMT4, kTbp, 2, 0, 0, 16, 1, idx.data());
  Tex0(PSMT4, 4, 0, 1, 1, kTbp, 2, PSMCT32, 0, 5);
  UvSprite(16, 1, 0, 0, 256, 16);
  std::vector<uint32_t> want(16);
  for (int i = 0; i < 16; i++) want[size_t(i)] = pal32[size_t(15 - i)];
  EXPECT_TRUE(GsTestSameImage(want, Frame(16, 1), 16, 1)) << "PSMCT32, CSA 5";
  // PSMCT16 entries at CSA 20 leave the PSMCT32 slot 5 alone.
  std::vector<uint32_t> pal16 = Random(16, 6, 0xffff);
  pal16[3] = 0x8000;  // alpha bit, black
  pal16[4] = 0x0000;  // black: TEXA's AEM makes it transparent
  GsTestUpload(PSMCT16, kCbp + 32, 1, 0, 0, 8, 2, pal16.data());
  GsTEXA ta{};
  ta.TA0 = 0x40;
  ta.TA1 = 0x90;
  ta.AEM = 1;
  GsWriteReg(GS_TEXA, GsBits(ta));
  GsTEX0 t = GsAs<GsTEX0>(GsGetReg(GS_TEX0_1));
  t.CBP = kCbp + 32;
  t.CPSM = PSMCT16;
  t.CSA = 20;
  GsWriteReg(GS_TEX0_1, GsBits(t));
  UvSprite(16, 1, 0, 0, 256, 16);
  for (int i = 0; i < 16; i++) {
    uint32_t c = pal16[size_t(15 - i)];
    uint32_t a = (c & 0x8000) ? 0x90 : (c & 0x7fff) ? 0x40 : 0;
    want[size_t(i)] = GsExpand16(c, a);
  }
  EXPECT_TRUE(GsTestSameImage(want, Frame(16, 1), 16, 1)) << "PSMCT16, CSA 20";
  Tex0(PSMT4, 4, 0, 1, 1, kTbp, 2, PSMCT32, 0, 5, 0);  // no reload: slot 5 kept
  UvSprite(16, 1, 0, 0, 256, 16);
  EXPECT_EQ(Px(0, 0), pal32[15]);
}

// CSM2: entries along one line of a PSMCT16 buffer (TEXCLUT).
TEST_P(GsTex, ClutCsm2ReadsOneLine) {
  std::vector<uint32_t> line = Random(64, 8, 0x7fff);
  GsTestUpload(PSMCT16, kCbp, 1, 0, 3, 64, 1, line.data());
  GsTEXCLUT tc{};
  tc.CBW = 1;
  tc.COU = 2;  // entries from x = 32
  tc.COV = 3;
  GsWriteReg(GS_TEXCLUT, GsBits(tc));
  GsTEXA ta{};
  ta.TA0 = 0x80;
  GsWriteReg(GS_TEXA, GsBits(ta));
  std::vector<uint32_t> idx(16);
  for (int i = 0; i < 16; i++) idx[size_t(i)] = uint32_t(i);
  GsTestUpload(PSMT4, kTbp, 2, 0, 0, 16, 1, idx.data());
  Tex0(PSMT4, 4, 0, 1, 1, kTbp, 2, PSMCT16, 1, 0);
  UvSprite(16, 1, 0, 0, 256, 16);
  std::vector<uint32_t> want(16);
  for (int i = 0; i < 16; i++) want[size_t(i)] = GsExpand16(line[size_t(32 + i)], 0x80);
  EXPECT_TRUE(GsTestSameImage(want, Frame(16, 1), 16, 1));
}

// CLD 4: load only when CBP differs from CBP0 (and then remember it).
TEST_P(GsTex, ClutLoadControl) {
  const uint32_t red = 0x800000ff, green = 0x8000ff00;
  const uint32_t zero = 0;
  GsTestUpload(PSMT8, kTbp, 2, 0, 0, 1, 1, &zero);
  GsTestUpload(PSMCT32, kCbp, 1, 0, 0, 1, 1, &red);
  Tex0(PSMT8, 4, 4, 1, 1, kTbp, 2, PSMCT32, 0, 0, 4);
  GsTestUpload(PSMCT32, kCbp, 1, 0, 0, 1, 1, &green);
  Tex0(PSMT8, 4, 4, 1, 1, kTbp, 2, PSMCT32, 0, 0, 4);  // same CBP: kept
  UvSprite(1, 1, 0, 0, 16, 16);
  EXPECT_EQ(Px(0, 0), red);
  Tex0(PSMT8, 4, 4, 1, 1, kTbp, 2, PSMCT32, 0, 0, 1);  // CLD 1 always loads
  UvSprite(1, 1, 0, 0, 16, 16);
  EXPECT_EQ(Px(0, 0), green);
}

TEST_P(GsTex, TexaGivesAlphaToTwentyFourAndSixteenBitTexels) {
  const uint32_t t24[3] = {0x000000, 0x000001, 0xffffff};
  GsTestUpload(PSMCT24, kTbp, 2, 0, 0, 3, 1, t24);
  const uint32_t t16[3] = {0x0000, 0x8000, 0x0001};
  GsTestUpload(PSMCT16, kTbp + 64, 2, 0, 0, 3, 1, t16);
  for (int aem = 0; aem < 2; aem++) {
    GsTEXA ta{};
    ta.TA0 = 0x30;
    ta.TA1 = 0xa0;
    ta.AEM = uint32_t(aem);
    GsWriteReg(GS_TEXA, GsBits(ta));
    Tex0(PSMCT24, 2, 0);
    UvSprite(3, 1, 0, 0, 48, 16);
    std::vector<uint32_t> w24 = {(aem ? 0u : 0x30u) << 24, 0x30000001, 0x30ffffff};
    EXPECT_TRUE(GsTestSameImage(w24, Frame(3, 1), 3, 1)) << "PSMCT24 AEM " << aem;
    Tex0(PSMCT16, 2, 0, 1, 1, kTbp + 64);
    UvSprite(3, 1, 0, 0, 48, 16);
    std::vector<uint32_t> w16 = {(aem ? 0u : 0x30u) << 24, 0xa0000000, 0x30000008};
    EXPECT_TRUE(GsTestSameImage(w16, Frame(3, 1), 3, 1)) << "PSMCT16 AEM " << aem;
  }
}

TEST_P(GsTex, TextureFunctions) {
  const uint32_t texel = 0x60c04020;  // A 0x60, B 0xc0, G 0x40, R 0x20
  GsTestUpload(PSMCT32, kTbp, 2, 0, 0, 1, 1, &texel);
  struct Case {
    int tfx, tcc;
    uint32_t vertex, want;
  } cases[] = {
      {0, 1, 0x80808080, 0x60c04020},  // MODULATE by 1.0
      {0, 1, 0x40ff4080, 0x30ff2020},  // A 0.5, B 2.0 (clamped), G 0.5, R 1.0
      {0, 0, 0x40808080, 0x40c04020},  // TCC 0: the vertex's alpha
      {1, 1, 0x10101010, 0x60c04020},  // DECAL
      {1, 0, 0x10101010, 0x10c04020},
      {2, 1, 0x10808080, 0x70d05030},  // HIGHLIGHT: + Af, alpha At + Af
      {2, 0, 0x10808080, 0x10d05030},
      {3, 1, 0x10808080, 0x60d05030},  // HIGHLIGHT2: alpha At
      {3, 1, 0xf0808080, 0x60ffffff},  // + Af past 255 clamps
  };
  for (const Case& c : cases) {
    Tex0(PSMCT32, 0, 0, c.tfx, c.tcc);
    UvSprite(1, 1, 0, 0, 16, 16, c.vertex);
    EXPECT_EQ(Px(0, 0), c.want) << "TFX " << c.tfx << " TCC " << c.tcc << std::hex << " vertex "
                                << c.vertex;
  }
}

// Levels 0-3 in their own colours at MIPTBP addresses.
TEST_P(GsTex, MipmapLevelsByKAndByQ) {
  const uint32_t colours[4] = {0x80000010, 0x80000020, 0x80000030, 0x80000040};
  const uint32_t tbp[4] = {kTbp, kTbp + 32, kTbp + 64, kTbp + 96};
  for (int l = 0; l < 4; l++) {
    int size = 16 >> l;
    std::vector<uint32_t> fill(size_t(size * size), colours[l]);
    GsTestUpload(PSMCT32, tbp[l], 1, 0, 0, size, size, fill.data());
  }
  GsMIPTBP1 m{};
  m.TBP1 = tbp[1];
  m.TBW1 = 1;
  m.TBP2 = tbp[2];
  m.TBW2 = 1;
  m.TBP3 = tbp[3];
  m.TBW3 = 1;
  GsWriteReg(GS_MIPTBP1_1, GsBits(m));
  Tex0(PSMCT32, 4, 4, 1, 1, kTbp, 1);
  for (int l = 0; l < 5; l++) {
    Filter(0, 2, 3, 1, l * 16);  // NEAREST_MIPMAP_NEAREST, LOD = K
    UvSprite(1, 1, 0, 0, 16, 16);
    EXPECT_EQ(Px(0, 0), colours[std::min(l, 3)]) << "K " << l * 16;
  }
  Filter(0, 2, 3, 0, 0);  // LOD = log2(1/Q): Q 0.25 is level 2
  StqSprite(1, 1, 0.0f, 0.0f, 0.0625f, 0.0625f, 0.25f);
  EXPECT_EQ(Px(0, 0), colours[2]);
  Filter(0, 3, 3, 1, 24);  // NEAREST_MIPMAP_LINEAR at 1.5: levels 1 and 2 halved
  UvSprite(1, 1, 0, 0, 16, 16);
  EXPECT_EQ(Px(0, 0), 0x80000028u);
  Filter(0, 3, 3, 1, -8);  // LOD below 0: magnification takes level 0
  UvSprite(1, 1, 0, 0, 16, 16);
  EXPECT_EQ(Px(0, 0), colours[0]);
}

INSTANTIATE_TEST_SUITE_P(Paths, GsTex, testing::Values(GS_PATH_REFERENCE, GS_PATH_FAST),
                         [](const testing::TestParamInfo<GsPath>& i) {
                           return std::string(i.param == GS_PATH_FAST ? "Fast" : "Reference");
                         });

}  // namespace
