// The fast rasteriser against the reference one: seeded random states and
// primitives replayed on the same memory by both paths must leave the same
// memory, bit for bit; and frame masks bit by bit on both.
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
// Each context's own frame and depth buffer (pages), the textures and the
// palettes (blocks): all in the first megabyte.
constexpr uint32_t kFbp[2] = {0, 8}, kZbp[2] = {4, 12};
constexpr uint32_t kTbp = 16 * 32, kCbp = 40 * 32;
constexpr int kOfs = 100 * 16;  // XYOFFSET, whole pixels

struct Scene {
  std::vector<uint8_t> memory;
  Writes writes;
  GsFRAME frame[2];  // as first written (later writes change FBMSK alone)
  GsZBUF zbuf[2];
};

struct Rand {
  std::mt19937 g;
  uint32_t Bits() { return uint32_t(g()); }
  uint32_t Below(uint32_t n) { return Bits() % n; }
  bool Chance(int percent) { return int(Below(100)) < percent; }
};

// What a scene draws: anything; the common fast cases (32-bit frames and
// depth); mipmaps whose level follows each pixel's Q; or 32-bit frames and
// depth buffers in the same pages (the light unit's depth passes: one
// writable frame bit, depth read as a Z layout of the frame's memory).
enum Kind { kAnything, kCommon, kPerPixelLod, kAliasing, kKinds };

uint64_t FloatBits(float a, float b) {
  uint32_t x, y;
  memcpy(&x, &a, 4);
  memcpy(&y, &b, 4);
  return x | uint64_t(y) << 32;
}

// FBMSK: none, whole bytes, bit patterns that keep every byte's top bit,
// one writable bit, or anything.
uint32_t RandomFbmsk(Rand& r) {
  static const uint32_t kMasks[] = {0xff000000, 0x00ffffff, 0xff808080, 0x80808080, 0xaaaaaaaa,
                                    0x55555555, 0x7f7f7f7f, 0x00808080, 0xffff0000, 0x0000ffff,
                                    0x80000000, 0xffffffff, 0x07070707, 0xfefefefe};
  switch (r.Below(6)) {
    case 0:
    case 1: return 0;
    case 2:
    case 3: return kMasks[r.Below(sizeof kMasks / 4)];
    case 4: return ~(1u << r.Below(32));
    default: return r.Bits();
  }
}

GsTEST RandomTest(Rand& r) {
  GsTEST t{};
  t.ATE = r.Chance(40);
  t.ATST = r.Below(8);
  t.AREF = r.Chance(50) ? 0x7f + r.Below(3) : r.Below(256);
  t.AFAIL = r.Below(4);
  t.DATE = r.Chance(25);
  t.DATM = r.Below(2);
  t.ZTE = !r.Chance(5);
  t.ZTST = r.Chance(10) ? 0 : 1 + r.Below(3);
  return t;
}

// Every A, B, C, D selection (3 included) and FIX.
GsALPHA RandomAlpha(Rand& r) {
  GsALPHA a{};
  auto sel = [&] { return r.Chance(90) ? r.Below(3) : 3u; };
  a.A = sel();
  a.B = sel();
  a.C = sel();
  a.D = sel();
  a.FIX = r.Chance(30) ? 0x80 : r.Below(256);
  return a;
}

GsTEXA RandomTexa(Rand& r) {
  GsTEXA t{};
  t.TA0 = r.Chance(20) ? 0 : r.Below(256);
  t.TA1 = r.Below(256);
  t.AEM = r.Below(2);
  return t;
}

// Wrap modes; region bounds mostly inside a texture of 2^tw x 2^th.
GsCLAMP RandomClamp(Rand& r, int tw, int th) {
  GsCLAMP c{};
  c.WMS = r.Below(4);
  c.WMT = r.Below(4);
  auto bound = [&](int log2) { return r.Chance(75) ? r.Below(1u << log2) : r.Below(1024); };
  c.MINU = bound(tw);
  c.MAXU = bound(tw);
  c.MINV = bound(th);
  c.MAXV = bound(th);
  return c;
}

GsSCISSOR RandomScissor(Rand& r, uint32_t fbw) {
  GsSCISSOR s{};
  s.SCAX0 = r.Below(8);
  s.SCAX1 = fbw * 64 - 1 - r.Below(8);
  s.SCAY0 = r.Below(8);
  s.SCAY1 = H - 1 - r.Below(8);
  switch (r.Below(12)) {
    case 0: s.SCAX1 = s.SCAX0 + r.Below(8); break;       // narrow
    case 1: s.SCAX1 = 64 + r.Below(60); break;            // beyond a 64-pixel frame
    case 2: s.SCAY1 = s.SCAY0 + r.Below(3); break;        // a few rows
    case 3: s.SCAX1 = s.SCAX0 > 0 ? s.SCAX0 - 1 : 0; break;  // empty (or one column)
    default: break;
  }
  return s;
}

GsPRMODE RandomAttributes(Rand& r, Kind kind) {
  GsPRMODE a{};
  a.IIP = r.Below(2);
  a.TME = kind == kPerPixelLod || r.Below(2);
  a.ABE = r.Below(2);
  a.FST = kind != kPerPixelLod && r.Below(2);
  a.CTXT = r.Below(2);
  return a;
}

// The registers of one context that shape its pixels.
void RandomContext(Rand& r, Kind kind, int c, Scene* sc) {
  Writes& w = sc->writes;
  auto put = [&](int reg, uint64_t v) { w.emplace_back(reg + c, v); };
  static const int kFrameFormats[] = {PSMCT32, PSMCT24, PSMZ32,  PSMZ24, PSMCT16,
                                      PSMCT16S, PSMZ16, PSMZ16S, PSMT8};
  static const int kDepthFormats[] = {PSMZ32, PSMZ24, PSMZ16, PSMZ16S};
  static const int kTexFormats[] = {PSMCT32, PSMCT24, PSMCT16, PSMCT16S, PSMT8,
                                    PSMT4,   PSMT8H,  PSMT4HL, PSMT4HH,  PSMZ24};
  GsFRAME& fr = sc->frame[c];
  fr.FBP = kFbp[c];
  fr.FBW = kind == kAnything && r.Chance(15) ? 2 : 1;
  // The 32-bit formats (the first four) most of the time: the fast path
  // draws into those alone.
  fr.PSM = uint32_t(kind == kAliasing ? kFrameFormats[r.Below(4)]
                    : kind != kAnything ? (r.Chance(70) ? PSMCT32 : PSMCT24)
                    : r.Chance(70)    ? kFrameFormats[r.Below(4)]
                                      : kFrameFormats[r.Below(r.Chance(90) ? 8 : 9)]);
  fr.FBMSK = RandomFbmsk(r);
  if (kind == kAliasing && r.Chance(50)) fr.FBMSK = ~(1u << r.Below(32));
  put(GS_FRAME_1, GsBits(fr));
  GsZBUF& zb = sc->zbuf[c];
  // Now and then the depth buffer shares the other context's, or the frame.
  zb.ZBP = r.Chance(90) ? kZbp[c] : r.Chance(50) ? kZbp[1 - c] : kFbp[c];
  // Aliasing: the frame's first or second page, or the other context's
  // frame (a 64 x 48 frame takes two pages).
  if (kind == kAliasing) zb.ZBP = r.Chance(80) ? kFbp[c] + r.Below(2) : kFbp[1 - c];
  zb.PSM = uint32_t(kDepthFormats[r.Below(kind != kAnything || r.Chance(70) ? 2 : 4)]) & 15;
  zb.ZMSK = r.Chance(kind == kAliasing ? 50 : 30);
  put(GS_ZBUF_1, GsBits(zb));
  put(GS_SCISSOR_1, GsBits(RandomScissor(r, uint32_t(fr.FBW))));
  put(GS_XYOFFSET_1, uint64_t(kOfs + r.Below(16)) | uint64_t(kOfs + r.Below(16)) << 32);
  put(GS_TEST_1, GsBits(RandomTest(r)));
  put(GS_ALPHA_1, GsBits(RandomAlpha(r)));
  // Texture: 64 x 64 at most, levels 1-6 behind it; sometimes the other
  // context's frame.
  GsTEX0 t0{};
  const bool fromFrame = r.Chance(10);
  t0.TBP0 = fromFrame ? kFbp[1 - c] * 32 : kTbp + r.Below(4);  // sometimes not page aligned
  t0.TBW = fromFrame ? 1 : 2;
  t0.PSM = uint32_t(fromFrame ? PSMCT32 : kTexFormats[r.Below(10)]);
  t0.TW = 2 + r.Below(r.Chance(90) ? 4 : 5);
  t0.TH = 2 + r.Below(r.Chance(90) ? 4 : 5);
  t0.TCC = r.Below(2);
  t0.TFX = r.Below(4);
  t0.CBP = kCbp + (r.Chance(20) ? 32 : 0);
  t0.CPSM = r.Chance(60) ? PSMCT32 : r.Chance(70) ? PSMCT16 : PSMCT16S;
  t0.CSM = r.Chance(15);
  t0.CSA = r.Below(32);
  t0.CLD = r.Chance(80) ? 1 : r.Below(6);
  put(GS_TEX0_1, GsBits(t0));
  GsTEX1 t1{};
  t1.LCM = r.Chance(30);
  t1.MXL = r.Chance(50) ? 0 : r.Below(r.Chance(80) ? 4 : 7);
  t1.MMAG = r.Below(2);
  t1.MMIN = r.Chance(60) ? t1.MMAG : r.Below(6);
  t1.L = r.Below(4);
  t1.K = uint32_t(int(r.Below(97)) - 48) & 0xfff;
  if (kind == kPerPixelLod) {
    t1.LCM = 0;
    t1.MXL = 1 + r.Below(3);
    t1.MMIN = 2 + r.Below(4);
    t1.L = r.Below(2);
    t1.K = uint32_t(int(r.Below(33)) - 16) & 0xfff;
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
  GsMIPTBP2 m2{};
  m2.TBP4 = kTbp + 160;
  m2.TBW4 = 1;
  m2.TBP5 = kTbp + 192;
  m2.TBW5 = 1;
  m2.TBP6 = kTbp + 224;
  m2.TBW6 = 1;
  put(GS_MIPTBP2_1, GsBits(m2));
  put(GS_CLAMP_1, GsBits(RandomClamp(r, int(t0.TW), int(t0.TH))));
}

// One register that changes between primitives: a new mask, test,
// blend, clamp, TEXA or the source of the attributes.
void RandomChange(Rand& r, Kind kind, Scene* sc) {
  const int c = int(r.Below(2));
  auto put = [&](int reg, uint64_t v) { sc->writes.emplace_back(reg, v); };
  switch (r.Below(9)) {
    case 0: {
      GsFRAME f = sc->frame[c];
      f.FBMSK = RandomFbmsk(r);
      put(GS_FRAME_1 + c, GsBits(f));
      break;
    }
    case 1: {
      GsZBUF z = sc->zbuf[c];
      z.ZMSK = r.Below(2);
      put(GS_ZBUF_1 + c, GsBits(z));
      break;
    }
    case 2: put(GS_TEST_1 + c, GsBits(RandomTest(r))); break;
    case 3: put(GS_ALPHA_1 + c, GsBits(RandomAlpha(r))); break;
    case 4: put(GS_COLCLAMP, r.Below(2)); break;
    case 5: put(GS_TEXA, GsBits(RandomTexa(r))); break;
    case 6: put(GS_CLAMP_1 + c, GsBits(RandomClamp(r, 2 + int(r.Below(4)), 2 + int(r.Below(4)))));
      break;
    case 7: put(GS_PRMODECONT, r.Below(2)); break;
    default: put(GS_PRMODE, GsBits(RandomAttributes(r, kind))); break;
  }
}

// A random state of both contexts and a burst of random primitives, with
// state changes between them.
Scene MakeScene(uint32_t seed, Kind kind) {
  Rand r{std::mt19937(seed)};
  Scene sc;
  sc.memory.resize(GS_MEMORY_SIZE / 4);  // the first megabyte holds everything drawn
  for (uint8_t& b : sc.memory) b = uint8_t(r.Bits());
  Writes& w = sc.writes;
  auto put = [&](int reg, uint64_t v) { w.emplace_back(reg, v); };
  for (int c = 0; c < 2; c++) RandomContext(r, kind, c, &sc);
  put(GS_COLCLAMP, r.Below(2));
  put(GS_TEXA, GsBits(RandomTexa(r)));
  GsTEXCLUT tc{};
  tc.CBW = 1;
  tc.COU = r.Below(2);
  tc.COV = r.Below(16);
  put(GS_TEXCLUT, GsBits(tc));
  // The attributes: PRIM's own, or PRMODE's.
  put(GS_PRMODE, GsBits(RandomAttributes(r, kind)));
  put(GS_PRMODECONT, r.Chance(25) ? 0 : 1);

  const bool iip = r.Chance(50), tme = kind == kPerPixelLod || r.Chance(60);
  const bool abe = r.Chance(40), fst = kind != kPerPixelLod && r.Chance(40);
  const bool both = r.Chance(50);  // both contexts, or the first alone
  for (int n = 0; n < 12; n++) {
    if (r.Chance(20)) RandomChange(r, kind, &sc);
    int type = r.Chance(60) ? 3 : r.Chance(50) ? 6 : r.Chance(50) ? 4 : 5;
    GsPRIM p{};
    p.PRIM = uint32_t(type);
    p.IIP = r.Chance(85) ? iip : !iip;
    p.TME = r.Chance(90) ? tme : !tme;
    p.ABE = r.Chance(85) ? abe : !abe;
    p.FST = r.Chance(90) ? fst : !fst;
    p.CTXT = both ? r.Below(2) : 0;
    put(GS_PRIM, GsBits(p));
    // Small primitives (the narrow spans) or any size.
    const bool small = r.Chance(25);
    const int cx = int(r.Below(W * 16)), cy = int(r.Below(H * 16));
    int verts = type == 6 ? 2 : type == 3 ? 3 : 5;
    // One Q for every vertex now and then (the texels reached are bounded
    // exactly then), taken from values drawn anyway so that the seeds keep
    // their scenes.
    const bool oneQ = (cx & 3) == 0;
    float firstQ = 0.0f;
    for (int v = 0; v < verts; v++) {
      float q = r.Chance(90) ? 0.25f + float(r.Below(1000)) / 400.0f : -0.5f;
      if (v == 0) firstQ = q;
      if (oneQ) q = firstQ;
      put(GS_RGBAQ, r.Bits() | uint64_t(FloatBits(q, q) >> 32) << 32);
      put(GS_ST, FloatBits((float(r.Below(3000)) / 1000.0f - 1.0f) * q,
                           (float(r.Below(3000)) / 1000.0f - 1.0f) * q));
      put(GS_UV, uint64_t(r.Below(1200)) | uint64_t(r.Below(1200)) << 16);
      uint32_t z = r.Chance(20) ? r.Bits() : r.Below(0x1000000);
      int x = small ? cx + int(r.Below(12 * 16)) : int(r.Below((W + 60) * 16)) - 20 * 16;
      int y = small ? cy + int(r.Below(12 * 16)) : int(r.Below((H + 40) * 16)) - 20 * 16;
      x += kOfs;
      y += kOfs;
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
  auto image = [&](const std::vector<uint8_t>& m, int psm, uint32_t bp) {
    memcpy(GsMemory(), m.data(), m.size());
    return GsTestRead(psm, bp, 1, W, H);
  };
  auto failure = testing::AssertionFailure();
  failure << "first difference at byte 0x" << std::hex << i << std::dec;
  for (int c = 0; c < 2; c++) {
    const int fpsm = int(sc.frame[c].PSM), zpsm = 0x30 | int(sc.zbuf[c].PSM);
    const uint32_t fbp = uint32_t(sc.frame[c].FBP) * 32, zbp = uint32_t(sc.zbuf[c].ZBP) * 32;
    auto frame = GsTestSameImage(image(ref, fpsm, fbp), image(fast, fpsm, fbp), W, H);
    auto depth = GsTestSameImage(image(ref, zpsm, zbp), image(fast, zpsm, zbp), W, H);
    if (!frame) failure << "\ncontext " << c + 1 << " frame: " << frame.message();
    if (!depth) failure << "\ncontext " << c + 1 << " depth: " << depth.message();
  }
  return failure;
}

// Both vector widths: four lanes (SSE2), and eight (AVX2) when this CPU
// has it.
std::vector<int> Widths() {
  std::vector<int> widths = {4};
  if (GsSpanHaveAvx2() && __builtin_cpu_supports("avx2")) widths.push_back(8);
  return widths;
}

// One scene on both paths; the fast path at `lanes` lanes.
testing::AssertionResult SameOnBothPaths(uint32_t seed, Kind kind, int lanes, uint64_t* fast) {
  Scene sc = MakeScene(seed, kind);
  std::vector<uint8_t> ref = Replay(sc, GS_PATH_REFERENCE, nullptr);
  GsFastSetWidth(lanes);
  std::vector<uint8_t> got = Replay(sc, GS_PATH_FAST, fast);
  GsFastSetWidth(0);
  return SameMemory(sc, ref, got) << "\nseed " << seed << ", kind " << int(kind) << ", "
                                  << lanes << " lanes";
}

// Scenes of this generator that once found the fast path wrong, with what
// they found. They stay whatever the seed range above becomes.
struct FoundCase {
  uint32_t seed;
  Kind kind;
  const char* found;
};
constexpr FoundCase kFound[] = {
    {4, kCommon, "FBMSK 0xff808080 (the shadow composite) written between primitives"},
    {14, kPerPixelLod, "FBMSK 0xfefefefe: bit 0 of each byte writable, under per-pixel mipmaps"},
    {19, kCommon, "one writable bit (FBMSK 0xffbfffff) with RGB_ONLY; 0xfffffffe on a 24-bit frame"},
    {30, kAnything, "one writable bit on a PSMZ24 frame of context 2, attributes from PRMODE"},
    {63, kAnything, "FBMSK 0x80808080 on a PSMZ32 frame"},
    {18, kAnything, "FBMSK 0xdebabfad on a 24-bit frame: no byte's top bit writable"},
    {171, kAliasing, "frame and written depth in one page: a lane's own frame and depth word meet"},
};

TEST(GsFast, MatchesTheReferenceOnScenesThatFoundFaults) {
  for (int lanes : Widths())
    for (const FoundCase& f : kFound)
      EXPECT_TRUE(SameOnBothPaths(f.seed, f.kind, lanes, nullptr)) << f.found;
}

TEST(GsFast, MatchesTheReferenceOnRandomScenes) {
  for (int lanes : Widths()) {
    uint64_t fastPrims = 0;
    for (uint32_t seed = 1; seed <= 400; seed++) {
      uint64_t fast = 0;
      ASSERT_TRUE(SameOnBothPaths(seed, Kind(seed % kKinds), lanes, &fast));
      fastPrims += fast;
    }
    // The comparison means something only if the fast path drew.
    EXPECT_GT(fastPrims, 1000u) << lanes << " lanes";
  }
}

// Drawing threads: four threads leave the memory one leaves, on both paths,
// with every fast primitive split into bands however small it is.
TEST(GsFast, FourThreadsDrawWhatOneDraws) {
  const int before = GsGetThreads();
  uint64_t fastPrims = 0;
  for (uint32_t seed = 1; seed <= 300; seed++) {
    const Scene sc = MakeScene(seed, Kind(seed % 3));
    for (GsPath path : {GS_PATH_FAST, GS_PATH_REFERENCE}) {
      GsSetThreads(1);
      const std::vector<uint8_t> one = Replay(sc, path, nullptr);
      GsSetThreads(4);
      GsSetBandMin(0);
      uint64_t fast = 0;
      const std::vector<uint8_t> four = Replay(sc, path, &fast);
      GsSetBandMin(1024);
      if (path == GS_PATH_FAST) fastPrims += fast;
      ASSERT_TRUE(SameMemory(sc, one, four)) << "seed " << seed << ", kind " << seed % 3
                                             << (path == GS_PATH_FAST ? ", fast" : ", reference");
    }
  }
  GsSetThreads(before);
  EXPECT_GT(fastPrims, 1000u);
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

namespace {

// A copy from one part of a buffer to the next part of it (rows 0-31 of a
// 64 x 64 PSMCT32 texture onto its rows 32-63, as the effects pass copies
// between surfaces): with Q the same everywhere the texels reached are
// known exactly, so the fast path draws the copy while no pixel reads a
// texel drawn before it, and leaves it to the reference path when the
// bilinear filter reaches the first rows written. Both paths leave the same
// memory for sprites and triangles, either filter, and T offsets that reach
// the written rows or stop short of them.
TEST(GsFast, CopiesWithinOneBufferAsTheReferenceDoes) {
  std::mt19937 g(7);
  std::vector<uint32_t> texels(64 * 64);
  for (uint32_t& t : texels) t = uint32_t(g());
  for (bool triangles : {false, true})
    for (int filter : {0, 1})
      for (int off16 : {0, 1, 8, 9, 15}) {
        std::vector<uint32_t> got[2];
        uint64_t fastPrims = 0;
        for (GsPath path : {GS_PATH_REFERENCE, GS_PATH_FAST}) {
          GsReset();
          GsSetPath(path);
          GsTestUpload(PSMCT32, 0, 1, 0, 0, 64, 64, texels.data());
          GsTestTarget(0, 1, PSMCT32, 64, 32);  // page 1: the texture's rows 32-63
          GsTEX0 t0{};
          t0.TBW = 1;
          t0.PSM = PSMCT32;
          t0.TW = 6;
          t0.TH = 6;
          t0.TCC = 1;
          t0.TFX = 1;  // DECAL
          GsWriteReg(GS_TEX0_1, GsBits(t0));
          GsTEX1 t1{};
          t1.MMAG = uint32_t(filter);
          t1.MMIN = uint32_t(filter);
          GsWriteReg(GS_TEX1_1, GsBits(t1));
          const float t0v = float(off16) / 16.0f / 64.0f, t1v = t0v + 0.5f;
          GsWriteReg(GS_RGBAQ, GsTestRgbaq(0x80808080, 1.0f));
          if (!triangles) {
            GsWriteReg(GS_PRIM, GsTestPrim(6, false, true));
            GsWriteReg(GS_ST, GsTestSt(0.0f, t0v));
            GsTestVertex(0, 0);
            GsWriteReg(GS_ST, GsTestSt(1.0f, t1v));
            GsTestVertex(64 * 16, 32 * 16);
          } else {
            GsWriteReg(GS_PRIM, GsTestPrim(4, false, true));
            const int xs[4] = {0, 64, 0, 64}, ys[4] = {0, 0, 32, 32};
            for (int v = 0; v < 4; v++) {
              GsWriteReg(GS_ST, GsTestSt(float(xs[v]) / 64.0f, ys[v] ? t1v : t0v));
              GsTestVertex(xs[v] * 16, ys[v] * 16);
            }
          }
          got[path] = GsTestRead(PSMCT32, 0, 1, 64, 64);
          if (path == GS_PATH_FAST) fastPrims = GsGetStats().fastPrims;
        }
        EXPECT_TRUE(GsTestSameImage(got[GS_PATH_REFERENCE], got[GS_PATH_FAST], 64, 64))
            << (triangles ? "triangles" : "sprite") << ", filter " << filter << ", T offset "
            << off16 << "/16";
        // Nearest from rows 0-31 reads nothing written: the fast path draws it.
        if (filter == 0) {
          EXPECT_GT(fastPrims, 0u) << (triangles ? "triangles" : "sprite") << ", T offset " << off16;
        }
      }
}

}  // namespace
