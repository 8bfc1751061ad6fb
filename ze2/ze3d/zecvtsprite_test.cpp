// Sprite, Bezier-triangle and sorter-record packets; the sprite block of an
// object.
#include "zegeo_test.h"

#include <bit>

namespace {

struct SpritePackets : ::testing::Test {
  void SetUp() override {
    errmsg_disabled = 1;
    GenerateGammaTable(1.0f, 1.0f);
    ZeGobjInit();
  }
  void TearDown() override {
    ZeGobjClose();
    errmsg_disabled = 0;
  }
  ZEFACEON* Sprites(int n) {
    auto* s = static_cast<ZEFACEON*>(ZeMemAllocTagged(n * int(sizeof(ZEFACEON)) + 4));
    for (int i = 0; i < n; i++) s[i] = {{float(i), 1.0f, 2.0f}, 1.0f + i, 2.0f, 0xff000000u | uint32_t(i)};
    return s;
  }
};

uint32_t F(float f) { return std::bit_cast<uint32_t>(f); }

TEST_F(SpritePackets, GoldenTwoFaceOnSprites) {
  ZEFACEON s[2] = {{{1, 2, 3}, 1.0f, 2.0f, 0x80102030u}, {{4, 5, 6}, 0.5f, 0.25f, 0xff0000ffu}};
  auto* buf = static_cast<uint32_t*>(EeMalloc(256));
  uint32_t* c = buf;
  EXPECT_EQ(ZeCvtDmaFaceOn(&c, s, 2, 2, nullptr), buf);
  EXPECT_EQ(int((c - buf) * 4), ZeCvtSizeDmaFaceOn(nullptr, 2, 0, nullptr));
  const std::vector<uint32_t> want = {
      0x10000007u, 0, 0, 0,                                 // cnt, no marker, no VIF codes
      0x6c018000u, 0x8002, 0x50034000u, 0x00052521u, 0,     // sprite tag to +0
      0x6d018001u, 6, 0,                                    // count vector
      0x01000103u,
      0x68028004u, F(1), F(2), F(3), F(4), F(5), F(6),
      0x64028005u, F(-4900.0f), F(-4600.0f), F(-2450.0f), F(-575.0f),
      0x6e02c006u, 0x40302010u, 0x7fff0000u,                // B, G, R, A words to R, G, B, A / 2
      0x01000101u, 0x14000304u, 0, 0};
  for (size_t i = 0; i < want.size(); i++) EXPECT_EQ(buf[i], want[i]) << i;
  EeFree(buf);
}

TEST_F(SpritePackets, FaceYBatchesOfTenLandWhereTheProgramReadsThem) {
  ZEFACEON* s = Sprites(25);
  const int size = ZeCvtSizeDmaFaceY(nullptr, 25, 0, nullptr);
  auto* buf = static_cast<uint32_t*>(EeMalloc(size_t(size) + 16));
  uint32_t* c = buf;
  ZeCvtDmaFaceY(&c, s, 25, 2, nullptr);
  EXPECT_EQ(int((c - buf) * 4), size);
  EXPECT_EQ(buf[0] >> 16 & 0xff, 5u);  // marker
  EXPECT_EQ(zecvtgeo_lasttag, buf);
  auto ops = ParsePacket(buf);
  std::vector<int> n;
  for (auto& o : Unpacks(ops, 0x6c018000u)) n.push_back(int(o.data[0] & 0x7fff));
  EXPECT_EQ(n, (std::vector<int>{10, 10, 5}));
  auto land = LandPacket(buf, size);
  EXPECT_EQ(land.starts, (std::vector<uint32_t>{0x14000306u, 0x14000306u, 0x14000306u}));
  // The last batch: sprites 20-24.
  EXPECT_EQ(land.qw(0x100)[2], 0x12512512u);
  EXPECT_EQ(land.qw(0x100 + 1)[0], 15u);
  for (int i = 0; i < 5; i++) {
    EXPECT_EQ(land.f(0x100 + 4 + 3 * i)[0], float(20 + i));
    EXPECT_EQ(land.f(0x100 + 5 + 3 * i)[0], (21.0f + i) * 0.5f);
    EXPECT_EQ(land.qw(0x100 + 6 + 3 * i)[2], uint32_t(20 + i));  // blue from byte 0
    EXPECT_EQ(land.qw(0x100 + 6 + 3 * i)[3], 0x7fu);
  }
  EXPECT_EQ(land.qw(0x56)[1], 0x3002c000u);
  EeFree(buf);
  ZeMemFreeTagged(s);
}

TEST_F(SpritePackets, ObjectSpriteBlockAndTheSetLimit) {
  ZEGOBJ* obj = ZeGobjCreate();
  for (int style = 0; style < 3; style++) {
    ZEFACEONGEOM* f = ZeFaceOnGeomCreate();
    f->style = style;
    f->count = 30;
    f->sprites = Sprites(30);
    ZeGobjAddFaceOnGeom(obj, f);
  }
  ZePs2CreateFaceOn(obj);
  EXPECT_EQ(faceon_dmalen_cnt, 3);
  EXPECT_EQ(faceon_dmalen[0], ZeCvtSizeDmaFaceOn(nullptr, 30, 0, nullptr) + 16);
  EXPECT_EQ(faceon_dmalen[1], ZeCvtSizeDmaFaceY(nullptr, 30, 0, nullptr) + 16);
  EXPECT_EQ(faceon_dmalen[2], 16);  // an unknown style gets its ret tag only
  ZEFACEONGEOM* f = obj->faceons;
  EXPECT_EQ(f->next->dma.get(), f->dma.get() + faceon_dmalen[0] / 4);
  ZEGOBJ* many = ZeGobjCreate();
  for (int i = 0; i < 257; i++) ZeGobjAddFaceOnGeom(many, ZeFaceOnGeomCreate());
  EXPECT_HALT(ZePs2CreateFaceOn(many), "faceon dmalen buffer overrun.");
  EXPECT_EQ(faceon_dmalen_cnt, 256);
}

TEST_F(SpritePackets, BezierPatchLandsCornersAndEdges) {
  auto* v = static_cast<ZEVTX*>(EeMalloc(6 * sizeof(ZEVTX)));
  for (int i = 0; i < 6; i++) {
    v[i] = {};
    v[i].pos = {float(i), 0, 0};
    v[i].colour = 0x02100f20u;  // R 0x20, G 0x0f, B 0x10, A 2
    v[i].u = 1.5f + i;
  }
  const int16_t idx[6] = {0, 1, 2, 3, 4, 5};
  const int size = ZeCvtSizeDmaBezTriCFromIdx(nullptr, 3);
  auto* buf = static_cast<uint32_t*>(EeMalloc(size_t(size) + 16));
  uint32_t* c = buf;
  ZeCvtDmaBezTriCFromIdx(&c, v, idx, 3);
  EXPECT_EQ(int((c - buf) * 4), size);
  auto land = LandPacket(buf, size);
  EXPECT_EQ(land.starts, (std::vector<uint32_t>{0x14000308u}));
  EXPECT_EQ(land.qw(0x100 + 0xd2)[0], 0x8003u);
  EXPECT_EQ(land.qw(0x100 + 1)[0], 0x8003u);
  EXPECT_EQ(land.qw(0x100 + 2)[0], 9u);
  const float corners[3] = {0, 3, 5}, edges[3] = {1, 2, 4};
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(land.f(0x100 + 3 + 3 * i)[0], corners[i]);
    EXPECT_EQ(land.f(0x100 + 13 + i)[0], edges[i]);
  }
  // u - floor(1.5) for corner 3: 3.5 x 4096; colours x 16 capped, alpha x 128.
  EXPECT_EQ(int16_t(land.qw(0x100 + 7)[0]), 14336);
  EXPECT_EQ(land.qw(0x100 + 5)[0], 255u);
  EXPECT_EQ(land.qw(0x100 + 5)[1], 240u);
  EXPECT_EQ(land.qw(0x100 + 5)[3], 255u);
  EXPECT_EQ(land.qw(0x100 + 12)[0], 0x800cu);
  EXPECT_HALT(ZeCvtSizeDmaBezTriCFromIdx(nullptr, 4), "three a patch");
  EeFree(buf);
  EeFree(v);
}

TEST_F(SpritePackets, SorterRecordsOfAStripDoNotAlternate) {
  auto* v = static_cast<ZEVTX*>(EeMalloc(4 * sizeof(ZEVTX)));
  for (int i = 0; i < 4; i++) {
    v[i] = {};
    v[i].pos = {float(i), 0, 0};
    v[i].normal = {0.5f, 0.25f, -1.0f};
    v[i].colour = 0xff204060u;
    v[i].u = 0.5f;
  }
  const int16_t strip[5] = {4, 0, 1, 2, 3};
  auto* buf = static_cast<uint32_t*>(EeMalloc(2 * 160 + 16));
  uint32_t* c = buf;
  EXPECT_EQ(ZeCvtTriStripStreamCFromIdx(&c, v, strip, 5, TestMtl(2, 1)), 2);
  EXPECT_EQ(c, buf + 80);
  const uint32_t* r = buf + 40;  // the second record: 1, 2, 3
  EXPECT_EQ(r[0], 9u | uint32_t(DMATAG_REF) << 28);
  EXPECT_EQ(r[1], EeAddrOf(r + 4));
  EXPECT_EQ(r[3], 0x6c098003u);
  for (int k = 0; k < 3; k++) {
    EXPECT_EQ(std::bit_cast<float>(r[4 + 12 * k]), float(1 + k));
    EXPECT_EQ(r[7 + 12 * k] & 0xffff, k < 2 ? 0x8001u : 0u);
    EXPECT_EQ(int32_t(r[8 + 12 * k]), 2048);
    EXPECT_EQ(int32_t(r[11 + 12 * k]), -4096);
    EXPECT_EQ(r[12 + 12 * k], 0x60u);
    EXPECT_EQ(r[15 + 12 * k], 0x7fu);
  }
  // Lit: the low byte is the flag.
  c = buf;
  const int16_t list[3] = {0, 1, 2};
  ZeCvtTriStreamCFromIdx(&c, v, list, 3, TestMtl(0, 0));
  EXPECT_EQ(buf[7] & 0xff, 1u);
  EXPECT_EQ(buf[31] & 0xff, 0u);
  EXPECT_EQ(buf[12], 0u);  // no vertex colours, lit: black
  c = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(buf) + 4);
  EXPECT_HALT(ZeCvtTriStreamCFromIdx(&c, v, list, 3, TestMtl(0, 0)), "Blaaargh");
  EeFree(buf);
  EeFree(v);
}

}  // namespace
