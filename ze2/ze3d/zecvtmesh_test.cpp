// Mesh packets: batching of lists and strips, flags, texture bases,
// compression, sizes against builders on random objects, golden words, and
// where each batch lands in VU1 memory.
#include "zegeo_test.h"

#include <bit>
#include <cmath>
#include <random>

namespace {

struct MeshPackets : ::testing::Test {
  void SetUp() override {
    errmsg_disabled = 1;  // the converters' statistics and range messages
    GenerateGammaTable(1.0f, 1.0f);
    ZeCvtSetMaxSpan(32.0f);
    ZeCvtPntOn = 0;
    ZeCvtUvOn = 0;
    colourref_enabled = 0;
  }
  void TearDown() override {
    errmsg_disabled = 0;
    ZeCvtSetMaxSpan(32.0f);
    ZeCvtPntOn = 0;
    ZeCvtUvOn = 0;
    show_strip = 0;
    colourref_enabled = 0;
    zegscn_generate_packetinfo = 0;
  }
  // Vertices on a line: x = index, u = index / 8.
  ZEVTX* Vertices(int n) {
    auto* v = static_cast<ZEVTX*>(EeMalloc(size_t(n) * sizeof(ZEVTX)));
    for (int i = 0; i < n; i++) {
      v[i] = {};
      v[i].pos = {float(i), float(i % 7) * 0.5f, 1.0f};
      v[i].normal = {0.0f, 1.0f, 0.0f};
      v[i].colour = 0xff000000u | uint32_t(i);
      v[i].u = float(i) / 8.0f;
      v[i].v = 0.25f;
    }
    return v;
  }
  int16_t* Indices(std::initializer_list<int> list) {
    auto* p = static_cast<int16_t*>(EeMalloc(list.size() * 2 + 2));
    int k = 0;
    for (int i : list) p[k++] = int16_t(i);
    return p;
  }
  uint32_t* Buffer(int bytes) { return static_cast<uint32_t*>(EeMalloc(size_t(bytes) + 16)); }
};

// Builds a list or strip packet and checks its size against the size function.
std::vector<VifOp> Build(bool strip, const ZEVTX* v, int nv, const int16_t* idx, int n, ZEMTL* mtl,
                         uint32_t** start = nullptr) {
  int refs = 0;
  const int size = strip ? ZeCvtSizeDmaTriStripCFromIdx(idx, n, mtl, &refs) : ZeCvtSizeDmaTriCFromIdx(idx, n, mtl, &refs);
  auto* buf = static_cast<uint32_t*>(EeMalloc(size_t(size) + 64));
  uint32_t* cursor = buf;
  uint32_t* pkt = strip ? ZeCvtDmaTriStripCFromIdx(&cursor, v, nv, nullptr, idx, n, mtl)
                        : ZeCvtDmaTriCFromIdx(&cursor, v, nv, nullptr, idx, n, mtl);
  EXPECT_EQ(pkt, buf);
  EXPECT_EQ(int((cursor - buf) * 4), size);
  if (start) *start = buf;
  return ParsePacket(buf);
}

std::vector<uint16_t> Flags(const std::vector<VifOp>& ops) {
  std::vector<uint16_t> f;
  for (auto& o : Unpacks(ops, 0x6c008003u))
    for (int i = 0; i < o.words / 4; i++) f.push_back(uint16_t(o.data[4 * i + 3]));
  return f;
}

std::vector<float> PosX(const std::vector<VifOp>& ops) {
  std::vector<float> x;
  for (auto& o : Unpacks(ops, 0x6c008003u))
    for (int i = 0; i < o.words / 4; i++) x.push_back(std::bit_cast<float>(o.data[4 * i]));
  return x;
}

TEST_F(MeshPackets, ListsBatchBy42AndFlagTheFirstTwoOfEveryTriangle) {
  ZEVTX* v = Vertices(64);
  auto* idx = static_cast<int16_t*>(EeMalloc(43 * 2));
  for (int i = 0; i < 43; i++) idx[i] = int16_t(i);
  auto ops = Build(false, v, 64, idx, 43, TestMtl(0, 1));
  EXPECT_EQ(BatchSizes(ops), (std::vector<int>{42, 1}));
  auto f = Flags(ops);
  ASSERT_EQ(f.size(), 43u);
  for (int i = 0; i < 43; i++) EXPECT_EQ(f[i], i % 3 < 2 ? 0x8001 : 0) << i;
  // One MSCAL of entry 0x300 per batch.
  int mscal = 0;
  for (auto& o : ops) mscal += o.code == 0x14000300u;
  EXPECT_EQ(mscal, 2);
}

// The last batch of a 43-index list is one vertex: its triangle's base comes
// from the indices within the count only. The two indices after the list
// name a vertex far below it in u, which must not move the base.
TEST_F(MeshPackets, ShortLastTriangleTakesItsBaseWithinTheCount) {
  ZEVTX* v = Vertices(64);
  v[63].u = -100.0f;
  auto* idx = static_cast<int16_t*>(EeMalloc(45 * 2));
  for (int i = 0; i < 43; i++) idx[i] = int16_t(i);
  idx[43] = idx[44] = 63;
  auto ops = Build(false, v, 64, idx, 43, TestMtl(0, 0));
  auto tex = Unpacks(ops, 0x6d008004u);
  ASSERT_EQ(tex.size(), 2u);
  // Vertex 42: u = 5.25, base 5: 0.25 x 4096.
  EXPECT_EQ(int16_t(tex[1].data[0] & 0xffff), 1024);
}

TEST_F(MeshPackets, LongStripsAreCutInto40WithTwoRepeated) {
  ZEVTX* v = Vertices(100);
  std::vector<int> runs = {100};
  for (int i = 0; i < 100; i++) runs.push_back(i);
  auto* idx = static_cast<int16_t*>(EeMalloc(runs.size() * 2));
  for (size_t i = 0; i < runs.size(); i++) idx[i] = int16_t(runs[i]);
  auto ops = Build(true, v, 100, idx, int(runs.size()), TestMtl(0, 0));
  EXPECT_EQ(BatchSizes(ops), (std::vector<int>{40, 42, 22}));
  auto x = PosX(ops);
  auto f = Flags(ops);
  ASSERT_EQ(x.size(), 104u);
  EXPECT_EQ(x[40], 38.0f);  // the second piece repeats 38, 39
  EXPECT_EQ(x[41], 39.0f);
  EXPECT_EQ(x[82], 78.0f);
  EXPECT_EQ(x[83], 79.0f);
  EXPECT_EQ(x[103], 99.0f);
  for (int i = 0; i < 104; i++) {
    const bool first2 = i == 0 || i == 1 || i == 40 || i == 41 || i == 82 || i == 83;
    EXPECT_EQ(f[i], first2 ? 0x8001 : 0) << i;
  }
}

TEST_F(MeshPackets, ShortStripsShareABatchWhileTheyFit) {
  ZEVTX* v = Vertices(64);
  std::vector<int16_t> runs;
  int next = 0;
  for (int len : {20, 20, 5}) {
    runs.push_back(int16_t(len));
    for (int i = 0; i < len; i++) runs.push_back(int16_t(next++));
  }
  auto* idx = static_cast<int16_t*>(EeMalloc(runs.size() * 2));
  memcpy(idx, runs.data(), runs.size() * 2);
  auto ops = Build(true, v, 64, idx, int(runs.size()), TestMtl(0, 0));
  EXPECT_EQ(BatchSizes(ops), (std::vector<int>{40, 5}));
  auto f = Flags(ops);
  for (int i : {0, 1, 20, 21, 40, 41}) EXPECT_EQ(f[i], 0x8001) << i;
  for (int i : {2, 19, 22, 39, 42, 44}) EXPECT_EQ(f[i], 0) << i;
}

TEST_F(MeshPackets, BadIndicesAndStripLengthsAreClearErrors) {
  ZEVTX* v = Vertices(8);
  ZEMTL* m = TestMtl(0, 0);
  uint32_t* buf = Buffer(4096);
  uint32_t* c = buf;
  EXPECT_HALT(ZeCvtDmaTriCFromIdx(&c, v, 8, nullptr, Indices({0, 1, 8}), 3, m), "vertex index 8 past the 8");
  c = buf;
  EXPECT_HALT(ZeCvtDmaTriCFromIdx(&c, v, 8, nullptr, Indices({0, -1, 2}), 3, m), "vertex index -1");
  c = buf;
  EXPECT_HALT(ZeCvtDmaTriStripCFromIdx(&c, v, 8, nullptr, Indices({1, 0}), 2, m), "invalid pkt count");
  EXPECT_HALT(ZeCvtSizeDmaTriStripCFromIdx(Indices({1, 0}), 2, m, nullptr), "invalid pkt count");
  EXPECT_HALT(ZeCvtSizeDmaTriStripCFromIdx(Indices({5, 0, 1}), 3, m, nullptr), "runs past");
  EXPECT_HALT(ZeCvtSizeDmaTriStripCFromIdx(Indices({-3, 0, 1}), 3, m, nullptr), "runs past");
  // A call whose worst case passes the largest cnt tag.
  EXPECT_HALT(ZeCvtSizeDmaTriCFromIdx(Indices({0}), 120000, m, nullptr), "vertex buffer too big");
}

TEST_F(MeshPackets, CompressionFollowsTheSpanAndTheMaterial) {
  ZEMTL* unlit = TestMtl(2, 0);
  const ZEVEC lo = {0, 0, 0};
  struct Case {
    float span, extent;
    ZEMTL* mtl;
    int on, uvon;
  } cases[] = {
      {32.0f, 32.0f, unlit, 0, 0},           // exactly the span: off
      {32.0f, 31.99f, unlit, 1, 0},
      {0.0f, 1.0f, unlit, 0, 1},             // disabled by a span of 0
      {32.0f, 1.0f, unlit, 1, 0},            // and enabled again
      {32.0f, 1.0f, TestMtl(0, 0), 0, 0},    // lit
      {32.0f, 1.0f, TestMtl(2, 0, 0x81), 0, 0},
      {32.0f, 1.0f, TestMtl(2, 0, 0, 1), 0, 1},  // scrolling texture
      {32.0f, 1.0f, nullptr, 0, 1},
  };
  for (auto& c : cases) {
    ZeCvtSetMaxSpan(c.span);
    const ZEVEC hi = {1.0f, c.extent, 0.5f};
    ZeCvtCalcFastPoint(&lo, &hi, c.mtl);
    EXPECT_EQ(ZeCvtPntOn, c.on) << c.span << " " << c.extent;
    EXPECT_EQ(ZeCvtUvOn, c.uvon) << c.span << " " << c.extent;
  }
  // The span magic: the extent's exponent raised by 10, mantissa 0x8000.
  ZeCvtSetMaxSpan(32.0f);
  const ZEVEC hi = {3.0f, 0.5f, 20.0f};
  ZeCvtCalcFastPoint(&lo, &hi, unlit);
  EXPECT_EQ(std::bit_cast<uint32_t>(ZeCvtPntSpan.x), (std::bit_cast<uint32_t>(3.0f) & 0x7f800000u) + 0x05008000u);
  EXPECT_EQ(ZeCvtPntMid.z, 10.0f);
}

// Compressed positions rebuilt as the program does: bits(S) + d read as a
// float, minus (S - mid) from the count vector.
TEST_F(MeshPackets, CompressedPositionsRebuildThroughTheCountVector) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> d(-12.0f, 12.0f);
  const int n = 42;
  auto* v = static_cast<ZEVTX*>(EeMalloc(n * sizeof(ZEVTX)));
  ZEVEC lo = {1e9f, 1e9f, 1e9f}, hi = {-1e9f, -1e9f, -1e9f};
  for (int i = 0; i < n; i++) {
    v[i] = {};
    v[i].pos = {d(rng) + 100.0f, d(rng), d(rng) * 0.01f};
    lo = {std::min(lo.x, v[i].pos.x), std::min(lo.y, v[i].pos.y), std::min(lo.z, v[i].pos.z)};
    hi = {std::max(hi.x, v[i].pos.x), std::max(hi.y, v[i].pos.y), std::max(hi.z, v[i].pos.z)};
  }
  auto* idx = static_cast<int16_t*>(EeMalloc(n * 2));
  for (int i = 0; i < n; i++) idx[i] = int16_t(i);
  ZEMTL* m = TestMtl(2, 0);
  ZeCvtCalcFastPoint(&lo, &hi, m);
  ASSERT_EQ(ZeCvtPntOn, 1);
  uint32_t* pkt;
  auto ops = Build(false, v, n, idx, n, m, &pkt);
  auto land = LandPacket(pkt, int((pkt[0] & 0xffff) * 16 + 16));
  const float* cv = land.f(0x100 + 2);
  EXPECT_EQ(land.qw(0x100 + 2)[0], uint32_t(3 * n));
  for (int i = 0; i < n; i++) {
    const uint32_t* q = land.qw(0x100 + 3 + 3 * i);
    const float p[3] = {std::bit_cast<float>(q[0]) - cv[1], std::bit_cast<float>(q[1]) - cv[2],
                        std::bit_cast<float>(q[2]) - cv[3]};
    const float want[3] = {v[i].pos.x, v[i].pos.y, v[i].pos.z};
    const float ext[3] = {hi.x - lo.x, hi.y - lo.y, hi.z - lo.z};
    for (int a = 0; a < 3; a++) EXPECT_NEAR(p[a], want[a], ext[a] / 16384.0f + 1e-6f) << i << " " << a;
    EXPECT_EQ(q[3], i % 3 < 2 ? 0xffff8001u : 0u);  // sign-extended flags
  }
  ZeCvtPntOn = 0;
}

// A 3-index list, lit and vertex-coloured, uncompressed, written word for word.
TEST_F(MeshPackets, GoldenThreeIndexList) {
  ZEVTX* v = Vertices(3);
  v[1].u = 1.5f;
  v[2].colour = 0x80402010u;
  ZEMTL* m = TestMtl(0, 1);
  uint32_t* pkt;
  Build(false, v, 3, Indices({0, 1, 2}), 3, m, &pkt);
  auto F = [](float f) { return std::bit_cast<uint32_t>(f); };
  const uint32_t n1 = F(0.0f) & 0xffff0000u;
  const std::vector<uint32_t> want = {
      0x10050000u | 10, 0, 0, 0,                               // cnt, marker 5, 10 quadwords
      0x6c010056u, 0x8000, 0x3002c000u, 0x512, 0,              // fan template
      0x6c0180d2u, 0x8003, 0x30024000u, 0x512, 0,              // strip tag
      0x6d018002u, 9, 0,                                       // count vector
      0x01000103u,
      0x6c038003u, F(0), F(0), F(1), n1 | 0x8001, F(1), F(0.5f), F(1), n1 | 0x8001, F(2), F(1), F(1), n1,
      // {u - 0, v - 0} and {ny, nz}, x 4096: v 0.25, ny 1.
      0x6d038004u, 0x04000000u, 4096, 0x04001800u, 4096, 0x04000400u, 4096,
      0x6e03c005u, 0x7f000000u, 0x7f000001u, 0x40402010u,     // alpha halved
      0x01000101u, 0x14000300u};
  ASSERT_EQ(pkt[0] & 0xffff, 10u);
  for (size_t i = 0; i < want.size(); i++) EXPECT_EQ(pkt[i], want[i]) << i;
}

// Sizes equal what the builders write, on random objects: lists and strips,
// every lighting mode, vertex colours, effects, scrolling textures,
// compression on and off, with and without colour references.
TEST_F(MeshPackets, SizesMatchBuildersOnRandomObjects) {
  std::mt19937 rng(1234);
  auto R = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto* table = static_cast<uint32_t*>(EeMalloc(1 << 20));
  for (int round = 0; round < 300; round++) {
    const int nv = R(3, 300);
    const float scale = R(0, 1) ? 5.0f : 60.0f;
    auto* v = static_cast<ZEVTX*>(EeMalloc(size_t(nv) * sizeof(ZEVTX)));
    ZEVEC lo = {1e9f, 1e9f, 1e9f}, hi = {-1e9f, -1e9f, -1e9f};
    for (int i = 0; i < nv; i++) {
      v[i].pos = {R(-1000, 1000) * scale / 1000, R(-1000, 1000) * scale / 1000, R(-1000, 1000) * scale / 1000};
      v[i].normal = {R(-100, 100) / 100.0f, R(-100, 100) / 100.0f, R(-100, 100) / 100.0f};
      v[i].colour = uint32_t(rng());
      v[i].u = R(-4000, 4000) / 100.0f;
      v[i].v = R(-4000, 4000) / 100.0f;
      lo = {std::min(lo.x, v[i].pos.x), std::min(lo.y, v[i].pos.y), std::min(lo.z, v[i].pos.z)};
      hi = {std::max(hi.x, v[i].pos.x), std::max(hi.y, v[i].pos.y), std::max(hi.z, v[i].pos.z)};
    }
    const bool strip = R(0, 1);
    std::vector<int16_t> idx;
    if (strip) {
      for (int s = R(1, 12); s > 0; s--) {
        const int len = R(0, 4) == 0 ? R(43, 130) : R(2, 42);
        idx.push_back(int16_t(len));
        for (int i = 0; i < len; i++) idx.push_back(int16_t(R(0, nv - 1)));
      }
      // A lone short strip must not make a batch of fewer than 2.
    } else {
      for (int i = R(1, 400); i > 0; i--) idx.push_back(int16_t(R(0, nv - 1)));
    }
    auto* ix = static_cast<int16_t*>(EeMalloc(idx.size() * 2 + 2));
    memcpy(ix, idx.data(), idx.size() * 2);
    ZEMTL* m = TestMtl(R(0, 3), R(0, 1), R(0, 3) == 0 ? 0x81 : 0, R(0, 5) == 0 ? 0x11 : 0);
    ZeCvtSetMaxSpan(R(0, 4) == 0 ? 0.0f : 32.0f);
    ZeCvtCalcFastPoint(&lo, &hi, m);
    show_strip = R(0, 9) == 0;
    const bool refs = R(0, 1);
    int refsize = 0;
    const int n = int(idx.size());
    const int size = strip ? ZeCvtSizeDmaTriStripCFromIdx(ix, n, m, &refsize) : ZeCvtSizeDmaTriCFromIdx(ix, n, m, &refsize);
    auto* buf = static_cast<uint32_t*>(EeMalloc(size_t(size) + 64));
    buf[size / 4] = 0xdeadbeefu;
    if (refs) ZeCvtGeoBeginColourRef(table);
    uint32_t* c = buf;
    if (strip)
      ZeCvtDmaTriStripCFromIdx(&c, v, nv, nullptr, ix, n, m);
    else
      ZeCvtDmaTriCFromIdx(&c, v, nv, nullptr, ix, n, m);
    ASSERT_EQ(int((c - buf) * 4), size) << "round " << round << (strip ? " strip" : " list");
    EXPECT_EQ(buf[size / 4], 0xdeadbeefu);
    if (refs) {
      auto* end = static_cast<uint32_t*>(ZeCvtGeoEndColourRef(2));
      EXPECT_LE(int((end - table) * 4), refsize) << round;
      if (m->attributes >> ZEMTLATTR_VTXCOL & 1 && !show_strip) {
        EXPECT_EQ(int((end - table) * 4), refsize) << round;
      }
    }
    EeFree(buf);
    EeFree(ix);
    EeFree(v);
  }
  EeFree(table);
}

// Uncompressed, lit: the count vector at +2, positions, texture words and
// colours three quadwords apart from +3, the strip tag at +0xd2, the fan
// template at absolute 0x56.
TEST_F(MeshPackets, LitBatchLandsWhereTheProgramReadsIt) {
  ZEVTX* v = Vertices(6);
  v[4].normal = {0.6f, -0.8f, 0.0f};
  ZEMTL* m = TestMtl(0, 1);
  uint32_t* pkt;
  Build(false, v, 6, Indices({0, 1, 2, 3, 4, 5}), 6, m, &pkt);
  auto land = LandPacket(pkt, int((pkt[0] & 0xffff) * 16 + 16));
  EXPECT_EQ(land.starts, (std::vector<uint32_t>{0x14000300u}));
  EXPECT_EQ(land.qw(0x56)[1], 0x3002c000u);
  EXPECT_EQ(land.qw(0x100 + 0xd2)[0], 0x8006u);
  EXPECT_EQ(land.qw(0x100 + 2)[0], 18u);
  EXPECT_EQ(land.qw(0x100 + 2)[1], 0u);
  for (int i = 0; i < 6; i++) {
    EXPECT_EQ(land.f(0x100 + 3 + 3 * i)[0], float(i));
    EXPECT_EQ(land.qw(0x100 + 3 + 3 * i)[3] & 0xffff, i % 3 < 2 ? 0x8001u : 0u);
    EXPECT_EQ(land.qw(0x100 + 5 + 3 * i)[0], uint32_t(i));  // red, one word a byte
    EXPECT_EQ(land.qw(0x100 + 5 + 3 * i)[3], 0x7fu);
  }
  EXPECT_EQ(int32_t(land.qw(0x100 + 4 + 3 * 4)[2]), int32_t(-0.8f * 4096.0f));
  EXPECT_EQ(land.qw(0x100 + 3 + 3 * 4)[3] >> 16, std::bit_cast<uint32_t>(0.6f) >> 16);
}

// The object entry: 6,001 indices make two calls (6,000 and 1); a skinned
// geometry gets no packets; the block is freed through the first geometry
// that has packets, however the list starts.
TEST_F(MeshPackets, ObjectsCallIn6000IndexChunksAndFreeTheirBlock) {
  ZeGobjInit();
  ZEMTL* mtl = TestMtl(0, 0);
  const size_t before = EeArenaBytesFree();
  ZEGOBJ* obj = ZeGobjCreate();
  ZEGEOM* skinned = ZeGeomCreate();
  skinned->smoothskin = static_cast<ZESMOOTHSKIN*>(ZeMemAllocTagged(16));
  ZEGEOM* plain = ZeGeomCreate();
  for (ZEGEOM* g : {skinned, plain}) {
    g->mtl = mtl;
    g->vtxcount = 3;
    auto* vv = static_cast<ZEVTX*>(ZeMemAllocTagged(3 * sizeof(ZEVTX)));
    memset(vv, 0, 3 * sizeof(ZEVTX));
    g->vtx = vv;
    ZEPRIM* p = ZePrimCreate(6001, ZEPRIM_IDXLIST);
    for (int i = 0; i < 6001; i++) p->idx[i] = int16_t(i % 3);
    ZeGeomAddPrim(g, p);
    ZeGobjAddGeom(obj, g);
  }
  ZeGobjCalcDims(obj);
  ZePs2CreateRenderStream(obj);
  EXPECT_EQ(skinned->dmastream.get(), nullptr);
  ASSERT_NE(plain->dmastream.get(), nullptr);
  std::vector<int> calls;
  const uint32_t* t = plain->dmastream;
  while ((t[0] >> 28 & 7) == DMATAG_CNT) {
    auto sizes = BatchSizes(ParsePacket(t));
    int sum = 0;
    for (int s : sizes) sum += s;
    calls.push_back(sum);
    t += 4 + (t[0] & 0xffff) * 4;
  }
  EXPECT_EQ(calls, (std::vector<int>{6000, 1}));
  EXPECT_EQ(t[0] >> 28 & 7, uint32_t(DMATAG_RET));
  EXPECT_EQ(plain->dmalen, int((t + 4 - plain->dmastream.get()) * 4));
  // Everything skinned: no block at all.
  ZEGOBJ* all = ZeGobjCreate();
  ZEGEOM* s2 = ZeGeomCreate();
  s2->skins = static_cast<ZESKIN*>(ZeMemAllocTagged(sizeof(ZESKIN)));
  memset(s2->skins.get(), 0, sizeof(ZESKIN));
  ZeGobjAddGeom(all, s2);
  ZePs2CreateRenderStream(all);
  EXPECT_EQ(s2->dmastream.get(), nullptr);
  // Both objects freed, the packet block with them (it was held by the
  // second geometry).
  ZeGobjClose();
  EXPECT_EQ(zegobj_list, nullptr);
  EXPECT_EQ(EeArenaBytesFree(), before);
}

TEST_F(MeshPackets, KindEightFirstListIsUnsupported) {
  ZeGobjInit();
  ZEGOBJ* obj = ZeGobjCreate();
  ZEGEOM* g = ZeGeomCreate();
  ZeGeomAddPrim(g, ZePrimCreate(6, ZEPRIM_PATCH6));
  ZeGobjAddGeom(obj, g);
  EXPECT_HALT(ZePs2CreateRenderStream(obj), "Unsupported prim type");
  ZeGobjClose();
}

// Strip batches recorded for the packet-info table: offsets of each batch's
// position data from the geometry's packets, and its vertex count.
TEST_F(MeshPackets, PacketInfoRecordsEveryStripBatch) {
  ZeGobjInit();
  ZEGOBJ* obj = ZeGobjCreate();
  ZEGEOM* g = ZeGeomCreate();
  g->mtl = TestMtl(0, 0);
  g->vtxcount = 100;
  auto* vv = static_cast<ZEVTX*>(ZeMemAllocTagged(100 * sizeof(ZEVTX)));
  memcpy(vv, Vertices(100), 100 * sizeof(ZEVTX));
  g->vtx = vv;
  ZEPRIM* p = ZePrimCreate(101, ZEPRIM_IDXSTRIP);
  p->idx[0] = 100;
  for (int i = 0; i < 100; i++) p->idx[1 + i] = int16_t(i);
  ZeGeomAddPrim(g, p);
  ZeGobjAddGeom(obj, g);
  ZeGobjCalcDims(obj);
  zegscn_generate_packetinfo = 1;
  ZePs2CreateRenderStream(obj);
  ASSERT_EQ(info_pktcnt, 3);
  const int want[3] = {40, 42, 22};
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(info_pktdata[2 * i + 1], want[i]);
    const auto* pos = reinterpret_cast<const uint32_t*>(reinterpret_cast<uint8_t*>(g->dmastream.get()) + info_pktdata[2 * i]);
    EXPECT_EQ(std::bit_cast<float>(pos[0]), float(i == 0 ? 0 : i == 1 ? 38 : 78));
  }
  ZeCvtDestroyPacketInfo();
  info_pktdata = nullptr;
  ZeGobjClose();
}

}  // namespace
