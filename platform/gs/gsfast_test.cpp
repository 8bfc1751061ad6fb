// The fast rasteriser against the reference one: seeded random states and
// primitives replayed on the same memory by both paths must leave the same
// 4 MB, bit for bit.
#include <random>
#include <utility>
#include <vector>

#include "gs_local.h"
#include "gsfast_local.h"
#include "gs_testutil.h"
#include "platform_test.h"

namespace {

using Writes = std::vector<std::pair<int, uint64_t>>;

constexpr int W = 64, H = 48;
constexpr uint32_t kZbp = 4, kTbp = 16 * 32, kCbp = 40 * 32;

struct Scene {
  std::vector<uint8_t> memory;
  Writes writes;
};

uint64_t FloatBits(float a, float b) {
  uint32_t x, y;
  memcpy(&x, &a, 4);
  memcpy(&y, &b, 4);
  return x | uint64_t(y) << 32;
}

// A random state and a burst of random primitives; `kind` biases the
// state: 0 anything, 1 the common fast cases (32-bit targets), 2 those
// with mipmaps whose level follows each pixel's Q.
Scene MakeScene(uint32_t seed, int kind) {
  std::mt19937 rng(seed);
  auto r = [&](uint32_t n) { return uint32_t(rng() % n); };
  auto chance = [&](int percent) { return int(r(100)) < percent; };
  Scene sc;
  sc.memory.resize(GS_MEMORY_SIZE / 4);  // the first megabyte holds everything drawn
  for (uint8_t& b : sc.memory) b = uint8_t(rng());
  Writes& w = sc.writes;
  auto put = [&](int reg, uint64_t v) { w.emplace_back(reg, v); };

  const int fpsms[] = {PSMCT32, PSMCT24, PSMZ32, PSMZ24, PSMCT16};
  const int zpsms[] = {PSMZ32, PSMZ24, PSMZ16};
  const int tpsms[] = {PSMCT32, PSMCT24, PSMCT16, PSMT8, PSMT4, PSMT8H, PSMT4HL, PSMT4HH, PSMZ24};
  GsFRAME fr{};
  fr.FBW = 1;
  fr.PSM = uint32_t(kind ? (chance(70) ? PSMCT32 : PSMCT24) : fpsms[r(5)]);
  fr.FBMSK = chance(70) ? 0 : chance(50) ? 0xff000000 : uint32_t(rng());
  put(GS_FRAME_1, GsBits(fr));
  GsZBUF zb{};
  zb.ZBP = kZbp;
  zb.PSM = uint32_t(kind ? zpsms[r(2)] : zpsms[r(3)]) & 15;
  zb.ZMSK = chance(30);
  put(GS_ZBUF_1, GsBits(zb));
  GsSCISSOR sc1{};
  sc1.SCAX0 = r(8);
  sc1.SCAX1 = W - 1 - r(8);
  sc1.SCAY0 = r(8);
  sc1.SCAY1 = H - 1 - r(8);
  put(GS_SCISSOR_1, GsBits(sc1));
  const int ofs = 100 * 16;
  put(GS_XYOFFSET_1, uint64_t(ofs) | uint64_t(ofs) << 32);
  put(GS_PRMODECONT, 1);
  GsTEST t{};
  t.ATE = chance(40);
  t.ATST = r(8);
  t.AREF = r(256);
  t.AFAIL = r(4);
  t.DATE = chance(20);
  t.DATM = r(2);
  t.ZTE = 1;
  t.ZTST = chance(10) ? 0 : 1 + r(3);
  put(GS_TEST_1, GsBits(t));
  GsALPHA al{};
  al.A = r(3);
  al.B = r(3);
  al.C = r(3);
  al.D = r(3);
  al.FIX = r(256);
  put(GS_ALPHA_1, GsBits(al));
  put(GS_COLCLAMP, r(2));
  GsTEXA ta{};
  ta.TA0 = r(256);
  ta.TA1 = r(256);
  ta.AEM = r(2);
  put(GS_TEXA, GsBits(ta));
  // Texture: 32 x 32 at most, levels 1-3 behind it.
  const int tpsm = tpsms[r(9)];
  GsTEX0 t0{};
  t0.TBP0 = kTbp + r(4);  // sometimes not page aligned
  t0.TBW = 2;
  t0.PSM = uint32_t(tpsm);
  t0.TW = 2 + r(4);
  t0.TH = 2 + r(4);
  t0.TCC = r(2);
  t0.TFX = r(4);
  t0.CBP = kCbp;
  t0.CPSM = chance(70) ? PSMCT32 : PSMCT16;
  t0.CSA = r(32);
  t0.CLD = 1;
  put(GS_TEX0_1, GsBits(t0));
  GsTEX1 t1{};
  t1.LCM = chance(30);
  t1.MXL = chance(50) ? 0 : r(4);
  t1.MMAG = r(2);
  t1.MMIN = chance(60) ? t1.MMAG : r(6);
  t1.L = r(4);
  t1.K = uint32_t(int(r(97)) - 48) & 0xfff;
  if (kind == 2) {
    t1.LCM = 0;
    t1.MXL = 1 + r(3);
    t1.MMIN = 2 + r(4);
    t1.L = r(2);
    t1.K = uint32_t(int(r(33)) - 16) & 0xfff;
  }
  put(GS_TEX1_1, GsBits(t1));
  GsMIPTBP1 m1{};
  m1.TBP1 = kTbp + 64;
  m1.TBW1 = 1;
  m1.TBP2 = kTbp + 96;
  m1.TBW2 = 1;
  m1.TBP3 = kTbp + 128;
  m1.TBW3 = 1;
  put(GS_MIPTBP1_1, GsBits(m1));
  GsCLAMP cl{};
  cl.WMS = r(4);
  cl.WMT = r(4);
  cl.MINU = r(8);
  cl.MAXU = r(40);
  cl.MINV = r(8);
  cl.MAXV = r(40);
  put(GS_CLAMP_1, GsBits(cl));

  const bool iip = chance(50), tme = kind == 2 || chance(60), abe = chance(40);
  const bool fst = kind != 2 && chance(40);
  for (int n = 0; n < 12; n++) {
    int type = chance(60) ? 3 : chance(50) ? 4 : 6;
    GsPRIM p{};
    p.PRIM = uint32_t(type);
    p.IIP = iip;
    p.TME = tme;
    p.ABE = abe;
    p.FST = fst;
    put(GS_PRIM, GsBits(p));
    int verts = type == 6 ? 2 : type == 3 ? 3 : 5;
    for (int v = 0; v < verts; v++) {
      float q = chance(90) ? 0.25f + float(r(1000)) / 400.0f : -0.5f;
      put(GS_RGBAQ, rng() | uint64_t(FloatBits(q, q) >> 32) << 32);
      put(GS_ST, FloatBits((float(r(3000)) / 1000.0f - 1.0f) * q,
                           (float(r(3000)) / 1000.0f - 1.0f) * q));
      put(GS_UV, uint64_t(r(1200)) | uint64_t(r(1200)) << 16);
      uint32_t z = chance(20) ? uint32_t(rng()) : r(0x1000000);
      int x = ofs + int(r((W + 40) * 16)) - 20 * 16, y = ofs + int(r((H + 40) * 16)) - 20 * 16;
      put(GS_XYZ2, uint64_t(uint16_t(x)) | uint64_t(uint16_t(y)) << 16 | uint64_t(z) << 32);
    }
  }
  return sc;
}

// Replays a scene on one path; returns the first megabyte of memory.
std::vector<uint8_t> Replay(const Scene& sc, GsPath path, uint64_t* fast) {
  GsReset();
  GsSetPath(path);
  memcpy(GsMemory(), sc.memory.data(), sc.memory.size());
  GsMemInvalidate();
  for (auto& [reg, v] : sc.writes) GsWriteReg(reg, v);
  if (fast) *fast = GsGetStats().fastPrims;
  return std::vector<uint8_t>(GsMemory(), GsMemory() + sc.memory.size());
}

testing::AssertionResult SameMemory(const Scene& sc, const std::vector<uint8_t>& ref,
                                    const std::vector<uint8_t>& fast) {
  if (ref == fast) return testing::AssertionSuccess();
  size_t i = 0;
  while (ref[i] == fast[i]) i++;
  GsFRAME fr = GsAs<GsFRAME>(sc.writes[0].second);
  auto image = [&](const std::vector<uint8_t>& m, int psm, uint32_t bp) {
    memcpy(GsMemory(), m.data(), m.size());
    return GsTestRead(psm, bp, 1, W, H);
  };
  GsZBUF zb = GsAs<GsZBUF>(sc.writes[1].second);
  auto frame = GsTestSameImage(image(ref, int(fr.PSM), 0), image(fast, int(fr.PSM), 0), W, H);
  auto depth = GsTestSameImage(image(ref, 0x30 | int(zb.PSM), kZbp * 32),
                               image(fast, 0x30 | int(zb.PSM), kZbp * 32), W, H);
  return testing::AssertionFailure() << "first difference at byte 0x" << std::hex << i
                                     << std::dec << "\nframe: " << frame.message()
                                     << "\ndepth: " << depth.message();
}

// Both vector widths: four lanes (SSE2), and eight (AVX2) when this CPU
// has it.
TEST(GsFast, MatchesTheReferenceOnRandomScenes) {
  std::vector<int> widths = {4};
  if (GsSpanHaveAvx2() && __builtin_cpu_supports("avx2")) widths.push_back(8);
  for (int lanes : widths) {
    uint64_t fastPrims = 0;
    for (uint32_t seed = 1; seed <= 200; seed++) {
      Scene sc = MakeScene(seed, int(seed % 3));
      std::vector<uint8_t> ref = Replay(sc, GS_PATH_REFERENCE, nullptr);
      GsFastSetWidth(lanes);
      uint64_t fast = 0;
      std::vector<uint8_t> got = Replay(sc, GS_PATH_FAST, &fast);
      GsFastSetWidth(0);
      fastPrims += fast;
      ASSERT_TRUE(SameMemory(sc, ref, got)) << "seed " << seed << ", " << lanes << " lanes";
    }
    // The comparison means something only if the fast path drew.
    EXPECT_GT(fastPrims, 700u) << lanes << " lanes";
  }
}

}  // namespace

namespace {

// The decoded texels follow every change of what they were decoded from:
// uploads, drawing into the texture, new CLUT colours, TEXA for 16-bit
// CLUT entries, and direct writes announced with GsMemInvalidate.
TEST(GsFast, DecodedTexturesFollowTheirMemory) {
  GsReset();
  GsTestTarget(0, 0, PSMCT32, 16, 16);
  const uint32_t kTex = 64 * 32, kPal = 80 * 32;
  std::vector<uint32_t> idx(16 * 16, 1);
  GsTestUpload(PSMT8, kTex, 2, 0, 0, 16, 16, idx.data());
  std::vector<uint32_t> pal(256, 0x001f);  // entry 1: red, alpha bit clear
  GsTestUpload(PSMCT16, kPal, 1, 0, 0, 16, 16, pal.data());
  GsTEXA ta{};
  ta.TA0 = 0x40;
  GsWriteReg(GS_TEXA, GsBits(ta));
  GsTEX0 t{};
  t.TBP0 = kTex;
  t.TBW = 2;
  t.PSM = PSMT8;
  t.TW = 4;
  t.TH = 4;
  t.TCC = 1;
  t.TFX = 1;
  t.CBP = kPal;
  t.CPSM = PSMCT16;
  t.CLD = 1;
  GsWriteReg(GS_TEX0_1, GsBits(t));
  auto draw = [] {
    GsWriteReg(GS_PRIM, GsTestPrim(6, false, true, false, true));
    GsWriteReg(GS_UV, GsTestUv(0, 0));
    GsTestVertex(0, 0);
    GsWriteReg(GS_UV, GsTestUv(256, 256));
    GsTestVertex(256, 256);
    return GsMemReadPixel(PSMCT32, 0, 1, 5, 5);
  };
  EXPECT_EQ(draw(), 0x400000f8u);
  // An upload of new indices.
  std::fill(idx.begin(), idx.end(), 2);
  GsTestUpload(PSMT8, kTex, 2, 0, 0, 16, 16, idx.data());
  pal.assign(256, 0x03e0);  // green everywhere, loaded by the next TEX0
  GsTestUpload(PSMCT16, kPal, 1, 0, 0, 16, 16, pal.data());
  GsWriteReg(GS_TEX0_1, GsBits(t));
  EXPECT_EQ(draw(), 0x4000f800u);
  // TEXA changes the alpha of 16-bit CLUT colours.
  ta.TA0 = 0x20;
  GsWriteReg(GS_TEXA, GsBits(ta));
  EXPECT_EQ(draw(), 0x2000f800u);
  // Drawing into the texture: index 3 where a sprite of context 2 lands.
  GsTestTarget(1, kTex / 32, PSMCT32, 64, 64);
  GsWriteReg(GS_PRIM, GsTestPrim(6, false, false, false, false, 1));
  GsWriteReg(GS_RGBAQ, GsTestRgbaq(0x03030303));
  GsTestVertex(0, 0);
  GsTestVertex(16 * 8, 16 * 8);  // CT32 pixels (0..7, 0..7): T8 pixels (0..15, 0..15)
  pal[3] = 0x7c00;  // blue
  GsTestUpload(PSMCT16, kPal, 1, 0, 0, 16, 16, pal.data());
  GsWriteReg(GS_TEX0_1, GsBits(t));
  EXPECT_EQ(draw(), 0x20f80000u);
  // A direct write, announced.
  GsMemory()[GsPsm(PSMT8).addr(kTex, 2, 5, 5)] = 2;
  GsMemInvalidate();
  EXPECT_EQ(draw(), 0x2000f800u);
  EXPECT_GT(GsGetStats().fastPrims, 5u);
}

}  // namespace

namespace {

// FBMSK keeps bits one by one on both paths and at both widths, whatever
// the mask: a flat sprite over a known frame leaves (new & ~mask) |
// (old & mask) in every pixel, also where a failed alpha test keeps the
// alpha (RGB_ONLY), for 32-, 24- and 16-bit frames.
TEST(GsFast, FrameMaskWritesEveryUnmaskedBit) {
  std::vector<uint32_t> masks = {0,          0xff808080, 0x80808080, 0xaaaaaaaa, 0x55555555,
                                 0xff000000, 0x00ffffff, 0x7f7f7f7f, 0xfffffffe, 0x7fffffff,
                                 0x00808080, 0x80000000, 0xffffffff, 0x80ff8080};
  for (int i = 1; i <= 7; i++) masks.push_back(~(0x80000000u >> i));  // one writable bit
  for (int i = 0; i < 32; i += 5) masks.push_back(~(1u << i));
  std::vector<int> widths = {4};
  if (GsSpanHaveAvx2() && __builtin_cpu_supports("avx2")) widths.push_back(8);
  const uint32_t old32 = 0x22446688, old16 = 0x9a5c, src = 0xffffffff;
  for (GsPath path : {GS_PATH_REFERENCE, GS_PATH_FAST})
    for (int lanes : widths)
      for (int psm : {PSMCT32, PSMCT24, PSMCT16})
        for (bool rgbOnly : {false, true})
          for (uint32_t fbmsk : masks) {
            GsReset();
            GsSetPath(path);
            GsFastSetWidth(lanes);
            GsTestTarget(0, 0, psm, 64, 4);
            GsTestFrame(0, 0, 1, psm, fbmsk);
            GsTEST t = GsTestAlways();
            t.ATE = rgbOnly;
            t.ATST = 0;   // NEVER
            t.AFAIL = 3;  // RGB_ONLY
            GsWriteReg(GS_TEST_1, GsBits(t));
            const bool b16 = psm == PSMCT16;
            for (int y = 0; y < 4; y++)
              for (int x = 0; x < 64; x++)
                GsMemWritePixel(b16 ? PSMCT16 : PSMCT32, 0, 1, x, y, b16 ? old16 : old32);
            GsTestSprite(1, 1, 22, 3, src);  // narrow and wide groups, ragged ends
            uint32_t keep = fbmsk | (rgbOnly || psm == PSMCT24 ? 0xff000000 : 0);
            uint32_t old = b16 ? old16 : old32, val = b16 ? GsPack16(src) : src;
            if (b16) keep = GsPack16(keep);
            const uint32_t want = (val & ~keep) | (old & keep);
            // 24-bit frames: the top byte belongs to the word, read it whole.
            const uint32_t got = GsMemReadPixel(b16 ? PSMCT16 : PSMCT32, 0, 1, 12, 2);
            const uint32_t edge = GsMemReadPixel(b16 ? PSMCT16 : PSMCT32, 0, 1, 21, 1);
            const uint32_t out = GsMemReadPixel(b16 ? PSMCT16 : PSMCT32, 0, 1, 22, 1);
            GsFastSetWidth(0);
            EXPECT_TRUE(got == want && edge == want && out == old)
                << std::hex << "FBMSK 0x" << fbmsk << " PSM 0x" << psm << " rgbOnly " << rgbOnly
                << (path == GS_PATH_FAST ? " fast " : " reference ") << std::dec << lanes
                << " lanes: want 0x" << std::hex << want << ", got 0x" << got << ", edge 0x"
                << edge << ", beyond 0x" << out;
          }
}

// The case as first met: a 32-bit frame holding 0x22446688, FBMSK
// 0xff808080 (the shadow composite's), one flat white sprite over it.
TEST(GsFast, ShadowCompositeMaskWrites) {
  for (GsPath path : {GS_PATH_REFERENCE, GS_PATH_FAST}) {
    GsReset();
    GsSetPath(path);
    GsTestTarget(0, 0, PSMCT32, 64, 4);
    GsTestFrame(0, 0, 1, PSMCT32, 0xff808080);
    GsMemWritePixel(PSMCT32, 0, 1, 0, 0, 0x22446688);
    GsTestSprite(0, 0, 1, 1, 0xffffffff);
    EXPECT_EQ(GsMemReadPixel(PSMCT32, 0, 1, 0, 0), 0x227f7fffu) << int(path);
  }
}

}  // namespace
