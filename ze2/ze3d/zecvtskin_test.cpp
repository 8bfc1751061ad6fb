// Skin packets: palettes, sorting and grouping, strips, reuse markers,
// weights, blend offsets, the instance chain and its fix-ups, the skin
// buffer, and where a skin lands in VU1 memory.
#include "zegeo_test.h"

#include <bit>
#include <map>

namespace {

struct Skins : ::testing::Test {
  static constexpr int BUFFER = 256 * 1024;
  ZEGOBJ* obj = nullptr;
  ZEGEOM* geom = nullptr;
  void SetUp() override {
    errmsg_disabled = 1;
    ZeGobjInit();
    InitSkinning(BUFFER);
    skin_reuse_limit = 100;
    obj = ZeGobjCreate();
    geom = ZeGeomCreate();
    geom->mtl = TestMtl(0, 0);
    ZeGobjAddGeom(obj, geom);
  }
  void TearDown() override {
    ZeGobjClose();
    CloseSkinning();
    skin_reuse_limit = 100;
    errmsg_disabled = 0;
  }
  // Vertices at x = index; each vertex weighed by the given {matrix, weight}.
  void Vertices(const std::vector<std::vector<std::pair<int, float>>>& weights) {
    const int n = int(weights.size());
    auto* v = static_cast<ZEVTX*>(ZeMemAllocTagged(n * int(sizeof(ZEVTX))));
    for (int i = 0; i < n; i++) {
      v[i] = {};
      v[i].pos = {float(i), 1.0f, 2.0f};
      v[i].normal = {0.0f, 0.0f, 1.0f};
      v[i].colour = 0x80000000u | uint32_t(i);
      v[i].u = 0.5f;
    }
    geom->vtx = v;
    geom->vtxcount = n;
    for (int i = 0; i < n; i++) {
      auto* s = static_cast<ZESKIN*>(ZeMemAllocTagged(sizeof(ZESKIN)));
      const int w = int(weights[i].size());
      auto* ids = static_cast<int32_t*>(ZeMemAllocTagged(4 * (w ? w : 1)));
      auto* ws = static_cast<float*>(ZeMemAllocTagged(4 * (w ? w : 1)));
      for (int k = 0; k < w; k++) ids[k] = weights[i][k].first, ws[k] = weights[i][k].second;
      *s = {};
      s->first = i;
      s->count = 1;
      s->nmtx = w;
      s->mtxids = ids;
      s->weights = ws;
      ZeGeomAddSkin(geom, s);
    }
  }
  void Triangles(const std::vector<int>& idx) {
    ZEPRIM* p = ZePrimCreate(int(idx.size()), ZEPRIM_IDXLIST);
    for (size_t i = 0; i < idx.size(); i++) p->idx[i] = int16_t(idx[i]);
    ZeGeomAddPrim(geom, p);
  }
  // Every vertex on matrix 3 alone.
  void Uniform(int n) { Vertices(std::vector<std::vector<std::pair<int, float>>>(n, {{3, 1.0f}})); }
  const uint32_t* Inst() const { return geom->skininst; }
  // The instance's call targets, in order.
  std::vector<const uint32_t*> Calls() const {
    std::vector<const uint32_t*> out;
    for (const uint32_t* t = Inst(); t[0] >> 28 != DMATAG_RET; t += 4)
      if (t[0] >> 28 == DMATAG_CALL) out.push_back(static_cast<const uint32_t*>(EeAddrToPtr(t[1])));
    return out;
  }
};

// The points of a packet as the VIF sees them: unpacks of runs and markers.
struct Points {
  std::vector<int> flags;     // strip flag per point
  std::vector<int> markers;   // earlier index + 1 per point (0 for a new point)
  std::vector<float> x;       // position x of new points (NaN for markers)
};

Points ReadPoints(const std::vector<VifOp>& ops, int w) {
  std::map<int, std::pair<int, int>> marker;  // slot address -> {index + 1, flag}
  std::map<int, const uint32_t*> fresh;
  for (auto& o : ops) {
    if ((o.code & 0xff00c000u) == 0x61008000u) marker[int(o.code & 0x3ff)] = {int16_t(o.data[0]), int16_t(o.data[0] >> 16)};
    if ((o.code & 0xff00c000u) == 0x6c008000u && (o.code >> 16 & 0xff) % (w == 5 ? 3 : 2) == 0 &&
        (o.code & 0x3ff) >= 3 && (o.code & 0x3ff) != 0xd2) {
      // A run: quadwords of 2 or 3 per point from slot address.
      const int per = w == 5 ? 3 : 2;
      const int n = int(o.code >> 16 & 0xff) / per;
      if (((o.code & 0x3ff) - 3) % w != 0) continue;  // weights, not points
      for (int i = 0; i < n; i++) fresh[int(o.code & 0x3ff) + i * w] = o.data + 4 * per * i;
    }
  }
  Points p;
  for (int a = 3;; a += w) {
    if (marker.count(a)) {
      p.markers.push_back(marker[a].first);
      p.flags.push_back(marker[a].second);
      p.x.push_back(std::nanf(""));
    } else if (fresh.count(a)) {
      const uint32_t* d = fresh[a];
      p.markers.push_back(int(d[3] & 0xff));
      p.flags.push_back(int(d[7] & 0xff));
      p.x.push_back(std::bit_cast<float>(d[0]));
    } else {
      break;
    }
  }
  return p;
}

TEST_F(Skins, ANinthMatrixIsReportedAndWeighsInSlotZero) {
  Vertices({{{1, 0.5f}, {2, 0.5f}, {3, 0.5f}}, {{4, 0.5f}, {5, 0.5f}, {6, 0.5f}}, {{7, 0.25f}, {8, 0.25f}, {9, 0.5f}}});
  ZEPRIMDEF rec;
  memset(&rec, 0, sizeof rec);
  for (int& p : rec.palette) p = -1;
  errmsg_disabled = 0;
  ConsoleCaptureScope console;
  for (int k = 0; k < 3; k++) ZeCvtSknAddVtxToPrimDef(&rec, k, geom->vtx, k, geom);
  EXPECT_NE(console.text().find("AddMtxToPrimDef:nummtx exceeded"), std::string::npos);
  errmsg_disabled = 1;
  EXPECT_EQ(rec.npalette, 8);
  EXPECT_EQ(rec.palette[7], 8);
  EXPECT_EQ(rec.weight[2][0], 0.5f);  // matrix 9's weight went to slot 0
  EXPECT_EQ(rec.weight[2][6], 0.25f);
  EXPECT_HALT(AddMtxToPrimDef(&rec, 256), "outside 0-255");
}

TEST_F(Skins, WeightsGoLargestFirstTiesByDescendingMatrix) {
  ZEPRIMDEF rec;
  memset(&rec, 0, sizeof rec);
  const int ids[5] = {10, 40, 20, 30, 5};
  const float w[5] = {0.1f, 0.2f, 0.2f, 0.4f, 0.1f};
  for (int i = 0; i < 5; i++) {
    rec.palette[i] = ids[i];
    rec.weight[0][i] = w[i];
  }
  rec.npalette = 5;
  uint32_t out[8];
  ASSERT_EQ(ZeCvtSknPointWeights(&rec, 0, out), 5);
  const int slots[5] = {3, 1, 2, 0, 4};  // 0.4; 0.2 of 40, of 20; 0.1 of 10, of 5
  for (int i = 0; i < 5; i++) {
    EXPECT_EQ(out[i] & 7, uint32_t(slots[i])) << i;
    EXPECT_EQ(out[i] & ~7u, std::bit_cast<uint32_t>(w[slots[i]]) & ~7u);
  }
}

TEST_F(Skins, ASharedEdgeMakesAStripOfFourPoints) {
  Uniform(4);
  Triangles({0, 1, 2, 2, 1, 3});
  ZePs2CreateSkin(obj);
  auto calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  auto p = ReadPoints(ParsePacket(calls[0]), 4);
  EXPECT_EQ(p.flags, (std::vector<int>{1, 1, 0, 0}));
  // The unshared corner of the first triangle first, then the shared edge.
  EXPECT_EQ(p.x, (std::vector<float>{0, 1, 2, 3}));
}

// 14 triangles with no shared edge and vertex colours: 42 points of five
// quadwords. The last point's colour lands on +0xd2 over the strip tag, so
// the count comes from the count vector at +2.
TEST_F(Skins, FourteenLoneTrianglesSendFortyTwoPoints) {
  geom->mtl = TestMtl(0, 1);
  Uniform(42);
  std::vector<int> idx;
  for (int i = 0; i < 42; i++) idx.push_back(i);
  Triangles(idx);
  ZePs2CreateSkin(obj);
  auto calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  auto ops = ParsePacket(calls[0]);
  auto p = ReadPoints(ops, 5);
  ASSERT_EQ(p.flags.size(), 42u);
  for (int i = 0; i < 42; i++) EXPECT_EQ(p.flags[i], i % 3 < 2 ? 1 : 0) << i;
  EXPECT_EQ(BatchSizes(ops), (std::vector<int>{42}));
  const uint32_t* cv = Unpacks(ops, 0x6d018002u)[0].data;
  EXPECT_EQ(cv[0], 210u | 1u << 16);
  // Through DMA and VIF: the palette, then the packet.
  auto* mtx = static_cast<float*>(EeMalloc(256 * 64));
  for (int i = 0; i < 256 * 16; i++) mtx[i] = float(i);
  auto* chain = static_cast<uint32_t*>(EeMalloc(1024));
  uint32_t* c = chain;
  for (const uint32_t* t = Inst();; t += 4) {
    memcpy(c, t, 16);
    if ((t[0] >> 28) == DMATAG_REF) c[1] = EeAddrOf(mtx) + t[1];
    c += 4;
    if ((t[0] >> 28) == DMATAG_RET) break;
  }
  // The walk of the chain, tag by tag, with the program starts as marks.
  std::vector<uint32_t> starts;
  auto* pk = const_cast<uint32_t*>(calls[0]);
  MarkStarts(pk + 4, pk + 4 + (pk[0] & 0xffff) * 4, &starts);
  memset(Vu1DataMem(), 0, VU1_MEM_SIZE);
  VifReset(1);
  EeQwords setup(3);
  PutTag(setup.w, 1, DMA_CNT, 0);
  setup.w[4] = 0x03000100u, setup.w[5] = 0x02000180u, setup.w[6] = setup.w[7] = 0;
  PutTag(setup.w + 8, 0, DMA_CALL, EeAddrOf(chain));
  PutTag(setup.w + 12 - 4 + 4, 0, DMA_END, 0);
  VU1_DmaWrite(setup.w);
  vu1_dma_status = 0;
  EXPECT_EQ(starts, (std::vector<uint32_t>{0x14000302u}));
  // Matrix 3's rows at 0x18 + 8r (slot 0).
  for (int r = 0; r < 4; r++) EXPECT_EQ(reinterpret_cast<float*>(Vu1DataMem() + 16 * (0x18 + 8 * r))[0], float(3 * 16 + 4 * r));
  auto Q = [](int a) { return reinterpret_cast<uint32_t*>(Vu1DataMem() + 16 * (0x100 + a)); };
  EXPECT_EQ(Q(2)[0], 210u);
  EXPECT_EQ(Q(2)[1], 1u);
  EXPECT_EQ(std::bit_cast<float>(Q(3 + 41 * 5)[0]), 41.0f);
  EXPECT_EQ(std::bit_cast<float>(Q(0xd2)[0]), 41.0f);   // the last point's red over the tag
  EXPECT_EQ(std::bit_cast<float>(Q(0xd2)[3]), 128.0f);
  EXPECT_EQ(Q(0xd3)[0], (std::bit_cast<uint32_t>(1.0f) & ~7u) | 0u);  // its weight, slot 0
  EeFree(chain);
  EeFree(mtx);
}

TEST_F(Skins, RepeatsBecomeMarkersUntilTheReuseLimit) {
  Uniform(3);
  Triangles({0, 1, 2, 0, 2, 1, 1, 0, 2});  // the same corners three times, no collapse
  // Shared edges make a strip; make them lone triangles by giving each its
  // own copy of the first: keep it simple with the limit instead.
  ZePs2CreateSkin(obj);
  auto p = ReadPoints(ParsePacket(Calls()[0]), 4);
  int markers = 0;
  for (int m : p.markers) markers += m > 0;
  EXPECT_GT(markers, 0);
  for (size_t i = 0; i < p.markers.size(); i++)
    if (p.markers[i] > 0) {
      EXPECT_LE(p.markers[i], int(i)) << i;  // refers back
    }
  // With a limit of 1 only the first repeat is a marker.
  ResetSkinning();
  skin_reuse_limit = 1;
  geom->skininst = nullptr;
  ZePs2CreateSkin(obj);
  auto q = ReadPoints(ParsePacket(Calls()[0]), 4);
  markers = 0;
  for (int m : q.markers) markers += m > 0;
  EXPECT_EQ(markers, 1);
  EXPECT_EQ(q.flags.size(), p.flags.size());
}

TEST_F(Skins, FiveWeightsSplitIntoFourAndOne) {
  std::vector<std::pair<int, float>> five = {{1, 0.3f}, {2, 0.25f}, {3, 0.2f}, {4, 0.15f}, {5, 0.1f}};
  Vertices({five, {{1, 1.0f}}, {{2, 1.0f}}});
  Triangles({0, 1, 2});
  ZePs2CreateSkin(obj);
  auto ops = ParsePacket(Calls()[0]);
  // Point 0: slot at 3, weights at 5 (V4-32) and 6 (V1-32).
  bool v4 = false, v1 = false;
  for (auto& o : ops) {
    if (o.code == 0x6c018005u) v4 = true;
    if (o.code == 0x60018006u) {
      v1 = true;
      EXPECT_EQ(o.data[0] & ~7u, std::bit_cast<uint32_t>(0.1f) & ~7u);
    }
  }
  EXPECT_TRUE(v4);
  EXPECT_TRUE(v1);
  for (auto& o : ops) {
    if ((o.code & 0xff00ffffu) == 0x6c008003u) {
      EXPECT_EQ(o.data[5] & 0xff, 4u);  // weights in the first weight quadword
      EXPECT_EQ(o.data[6] & 0xff, 1u);  // and after it
    }
  }
}

TEST_F(Skins, PalettesWithinTheFirstFormOneGroupAndOneCall) {
  Vertices({{{1, 1.0f}}, {{2, 1.0f}}, {{3, 1.0f}}, {{1, 0.5f}, {2, 0.5f}}, {{2, 1.0f}}, {{1, 1.0f}}});
  Triangles({0, 1, 2, 3, 4, 5});
  ZePs2CreateSkin(obj);
  int cnt = 0, refs = 0, calls = 0;
  for (const uint32_t* t = Inst(); t[0] >> 28 != DMATAG_RET; t += 4) {
    const uint32_t id = t[0] >> 28;
    cnt += id == DMATAG_CNT, refs += id == DMATAG_REF, calls += id == DMATAG_CALL;
    if (id == DMATAG_CNT) {
      EXPECT_EQ(t[2], 0x01000108u);
      EXPECT_EQ(t[0] >> 16 & 0xff, 7u);
    }
  }
  EXPECT_EQ(cnt, 1);
  EXPECT_EQ(refs, 3);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(geom->dmalen, int(skinbuffer_free - reinterpret_cast<uint8_t*>(geom->skininst.get())));
}

TEST_F(Skins, FixThenUnfixRestoresTheInstanceBitForBit) {
  Vertices({{{1, 1.0f}}, {{2, 1.0f}}, {{3, 1.0f}}, {{9, 1.0f}}, {{9, 1.0f}}, {{9, 1.0f}}});
  Triangles({0, 1, 2, 3, 4, 5});
  ZePs2CreateSkin(obj);
  auto* inst = geom->skininst.get();
  const std::vector<uint32_t> fixed(inst, inst + geom->dmalen / 4);
  ZeCvtSknInstUnFix(inst);
  // Unfixed calls hold offsets within the block.
  for (const uint32_t* t = inst; t[0] >> 28 != DMATAG_RET; t += 4)
    if (t[0] >> 28 == DMATAG_CALL) {
      EXPECT_LT(t[1], uint32_t(geom->dmalen));
    }
  ZeCvtSknInstFix(inst);
  EXPECT_EQ(std::vector<uint32_t>(inst, inst + geom->dmalen / 4), fixed);
  ZeCvtSknInstRelocate(inst, 0x40);
  ZeCvtSknInstRelocate(inst, -0x40);
  EXPECT_EQ(std::vector<uint32_t>(inst, inst + geom->dmalen / 4), fixed);
}

// Two triangles, one shared edge, matrices 3 and 5: every word.
TEST_F(Skins, GoldenTwoTriangleSkin) {
  Vertices({{{3, 1.0f}}, {{3, 0.75f}, {5, 0.25f}}, {{5, 1.0f}}, {{5, 1.0f}}});
  Triangles({0, 1, 2, 2, 1, 3});
  ZePs2CreateSkin(obj);
  const uint32_t* inst = Inst();
  const uint32_t base = EeAddrOf(inst);
  auto F = [](float f) { return std::bit_cast<uint32_t>(f); };
  auto L = [&](float f, int b) { return (F(f) & ~0xffu) | uint32_t(b); };
  const std::vector<uint32_t> want = {
      0x10070000u, 0, 0x01000108u, 0,                          // cnt, marker 7, STCYCL 1/8
      0x30080004u, 3 * 64, 0x10000000u, 0x6c040018u,           // ref matrix 3 to slot 0
      0x30080004u, 5 * 64, 0, 0x6c040019u,                     // ref matrix 5 to slot 1
      0x50000000u, base + 80, 0, 0,                            // call the packets after the five tags
      0x60000000u, 0, 0, 0,                                    // ret
      0x6006000eu, 0, 0x01000101u, 0,                          // the group's ret tag, 14 quadwords
      0x6c0180d2u, 0x8004, 0x30024000u, 0x512, 0,
      0x6d018002u, 16 | 1u << 16, 0,
      0x01000204u,
      0x6c088003u,                                             // four points, two quadwords each
      F(0), F(1), F(2), L(0, 0), L(0.5f, 0), L(0, 1), L(0, 0), L(1, 1),
      F(1), F(1), F(2), L(0, 0), L(0.5f, 0), L(0, 2), L(0, 0), L(1, 1),
      F(2), F(1), F(2), L(0, 0), L(0.5f, 0), L(0, 1), L(0, 0), L(1, 0),
      F(3), F(1), F(2), L(0, 0), L(0.5f, 0), L(0, 1), L(0, 0), L(1, 0),
      0x01000101u,
      0x60018005u, (F(1.0f) & ~7u) | 0,                        // point 0: matrix 3 (slot 0)
      0x64018009u, (F(0.75f) & ~7u) | 0, (F(0.25f) & ~7u) | 1, // point 1
      0x6001800du, (F(1.0f) & ~7u) | 1,
      0x60018011u, (F(1.0f) & ~7u) | 1,
      0x14000302u, 0, 0, 0};
  EXPECT_EQ(geom->dmalen, int(want.size() * 4));
  for (size_t i = 0; i < want.size(); i++) EXPECT_EQ(inst[i], want[i]) << i;
}

// Faults mended: no skin buffer is a fatal error, not a write at 0; an
// overflow stops before anything passes the buffer's end.
TEST_F(Skins, NoBufferAndOverflowAreFatalBeforeWriting) {
  Uniform(42);
  std::vector<int> idx;
  for (int i = 0; i < 42; i++) idx.push_back(i);
  Triangles(idx);
  CloseSkinning();
  EXPECT_HALT(ZePs2CreateSkin(obj), "without a skin buffer");
  auto* small = static_cast<uint8_t*>(EeMalloc(512 + 64));
  memset(small, 0xcd, 512 + 64);
  ZePs2SetTempSkinBuffer(small, 512);
  EXPECT_HALT(ZePs2CreateSkin(obj), "skin buffer has overflowed");
  for (int i = 512; i < 512 + 64; i++) ASSERT_EQ(small[i], 0xcd) << i;
  ZePs2SetTempSkinBuffer(nullptr, 0);
  EXPECT_EQ(skinbuffer_base, nullptr);  // the saved (closed) buffer is back
  EeFree(small);
}

// Work space comes from the heap at the geometry's size: a geometry larger
// than the renderer's stream buffers would hold converts, and nothing of
// the renderer is needed.
TEST_F(Skins, LargeGeometriesConvertWithoutTheStreamBuffers) {
  const int tris = 6000;
  Uniform(3 * tris);
  std::vector<int> idx;
  for (int i = 0; i < 3 * tris; i++) idx.push_back(i);
  Triangles(idx);
  CloseSkinning();
  InitSkinning(8 << 20);
  ZePs2CreateSkin(obj);
  EXPECT_EQ(Calls().size(), 1u);
  EXPECT_GT(geom->dmalen, tris * 100);
}

// Blend offsets: only the packet's own points, never slots of an earlier,
// longer packet.
TEST_F(Skins, BlendOffsetsCoverThePacketsOwnPointsOnly) {
  Uniform(45);
  std::vector<int> idx;
  for (int i = 0; i < 45; i++) idx.push_back(i);
  Triangles(idx);  // 15 lone triangles: packets of 42 and 3 points
  auto* morph = static_cast<ZEMORPH*>(ZeMemAllocTagged(sizeof(ZEMORPH)));
  auto* offs = static_cast<EePtr<ZEVEC>*>(ZeMemAllocTagged(8));
  auto* data = static_cast<ZEVEC*>(ZeMemAllocTagged(45 * 12));
  for (int i = 0; i < 45; i++) data[i] = {0.5f, 0, 0};
  offs[0] = data;
  offs[1] = nullptr;
  *morph = {};
  morph->count = 2;
  morph->offsets = offs;
  morph->data = reinterpret_cast<uint8_t*>(data);
  morph->values = static_cast<int32_t*>(ZeMemAllocTagged(8));
  geom->morph = morph;
  ZePs2CreateSkin(obj);
  auto ops = ParsePacket(Calls()[0]);
  std::vector<int> n;
  std::vector<uint32_t> starts;
  for (auto& o : ops) {
    if (o.code == 0x6e010038u) n.push_back(int(o.data[0] >> 8 & 0xff) - 58);
    if (o.cmd() == 0x14 || o.cmd() == 0x17) starts.push_back(o.code);
  }
  EXPECT_EQ(n, (std::vector<int>{42, 3}));
  EXPECT_EQ(starts, (std::vector<uint32_t>{0x1400000cu, 0x17000000u, 0x14000302u, 0x1400000cu, 0x17000000u,
                                           0x14000302u}));
  // The second packet's offsets name its slots 3, 7, 11.
  for (auto& o : ops)
    if (o.code == 0x6c030039u) {
      EXPECT_EQ(o.data[7], 7u);
    }
}

}  // namespace

namespace {

// Patches of six indices: corners at 0, 3 and 5 reach the packet.
TEST_F(Skins, PatchesSendTheirCorners) {
  Uniform(6);
  ZEPRIM* p = ZePrimCreate(6, ZEPRIM_PATCH6);
  for (int i = 0; i < 6; i++) p->idx[i] = int16_t(i);
  ZeGeomAddPrim(geom, p);
  ZePs2CreateSkin(obj);  // kind 8: the smooth converter
  auto pts = ReadPoints(ParsePacket(Calls()[0]), 4);
  EXPECT_EQ(pts.x, (std::vector<float>{0, 3, 5}));
  EXPECT_EQ(pts.flags, (std::vector<int>{1, 1, 0}));
  ResetSkinning();
  ZePs2CreateSkinSmoothOld(obj);
  pts = ReadPoints(ParsePacket(Calls()[0]), 4);
  EXPECT_EQ(pts.x, (std::vector<float>{0, 3, 5}));
}

// Per-vertex skin data: up to three weights, ending at the first 0.0.
TEST_F(Skins, PerVertexSkinDataGivesThePalette) {
  Vertices({{}, {}, {}});
  for (ZESKIN* s = geom->skins; s;) {
    ZESKIN* next = s->next;
    ZeMemFreeTagged(s->mtxids.get());
    ZeMemFreeTagged(s->weights.get());
    ZeMemFreeTagged(s);
    s = next;
  }
  geom->skins = nullptr;
  auto* ss = static_cast<ZESMOOTHSKIN*>(ZeMemAllocTagged(3 * sizeof(ZESMOOTHSKIN)));
  ss[0] = {{0.5f, 0.5f, 0.0f}, {4, 6, 9}, 0};
  ss[1] = {{1.0f, 0.0f, 0.7f}, {6, 1, 2}, 0};  // ends at the 0.0
  ss[2] = {{0.2f, 0.3f, 0.5f}, {7, 4, 6}, 0};
  geom->smoothskin = ss;
  Triangles({0, 1, 2});
  ZePs2CreateSkin(obj);
  std::vector<uint32_t> ids;
  for (const uint32_t* t = Inst(); t[0] >> 28 != DMATAG_RET; t += 4)
    if (t[0] >> 28 == DMATAG_REF) ids.push_back(t[1] / 64);
  EXPECT_EQ(ids, (std::vector<uint32_t>{4, 6, 7}));
}

// A collapsed triangle is dropped from the packets.
TEST_F(Skins, CollapsedTrianglesAreDropped) {
  Uniform(4);
  Triangles({0, 1, 1, 0, 2, 3});
  ZePs2CreateSkin(obj);
  auto pts = ReadPoints(ParsePacket(Calls()[0]), 4);
  EXPECT_EQ(pts.x, (std::vector<float>{0, 2, 3}));
  EXPECT_HALT(ZePs2CreateSkinNorm([&] {
                geom->prims->idx[5] = 4;
                return obj;
              }()),
              "vertex index 4 past the 4 vertices");
}

}  // namespace
