// Geometry objects: the system list, strides, bounds, planes, render
// planes, the colour cross-fade and the star-field packet.
#include "zegeo_test.h"
#include "zetex_test.h"

#include <bit>
#include <cmath>

namespace {

struct Gobj : ::testing::Test {
  void SetUp() override {
    errmsg_disabled = 1;
    ZeTrigInit();
    ZeGobjInit();
  }
  void TearDown() override {
    ZeGobjClose();
    errmsg_disabled = 0;
  }
  // A geometry of n vertices (heap, owned by the geometry).
  ZEGEOM* Geom(ZEGOBJ* obj, std::initializer_list<ZEVEC> pos) {
    ZEGEOM* g = ZeGeomCreate();
    auto* v = static_cast<ZEVTX*>(ZeMemAllocTagged(int(pos.size() * sizeof(ZEVTX))));
    int i = 0;
    for (const ZEVEC& p : pos) {
      v[i] = {};
      v[i++].pos = p;
    }
    g->vtx = v;
    g->vtxcount = g->vtxmax = i;
    ZeGobjAddGeom(obj, g);
    return g;
  }
};

TEST_F(Gobj, TheSystemListKeepsNewestFirstAndUnlinksAnyObject) {
  ZEGOBJ* a = ZeGobjCreate();
  ZEGOBJ* b = ZeGobjCreate();
  ZEGOBJ* c = ZeGobjCreate();
  EXPECT_EQ(zegobj_list, c);
  ZeGobjDestroy(b);  // middle
  EXPECT_EQ(c->next.get(), a);
  EXPECT_EQ(a->prev.get(), c);
  ZeGobjDestroy(c);  // head: its successor becomes the head
  EXPECT_EQ(zegobj_list, a);
  ZeGobjDestroy(a);  // the only one
  EXPECT_EQ(zegobj_list, nullptr);
  // Serial numbers keep counting.
  const int s = zegeom_serial;
  ZEGEOM* g = ZeGeomCreate();
  EXPECT_EQ(g->serial, s);
  EXPECT_EQ(zegeom_serial, s + 1);
  ZeGeomDestroy(g);
}

TEST_F(Gobj, StridesAndPrimitiveCreation) {
  EXPECT_EQ(ZeVtxStride(0), 36);
  EXPECT_EQ(ZeVtxStride(1), 28);
  EXPECT_EQ(ZeVtxStride(2), 0);
  const int want[] = {0, 0, 0, 0, 4, 6, 0, 32, 0, 0};
  for (int k = 0; k < 10; k++) EXPECT_EQ(ZePrimStride(k), want[k]) << k;
  ZEPRIM* list = ZePrimCreate(9, ZEPRIM_LIST);
  ZEPRIM* idx = ZePrimCreate(9, ZEPRIM_STRIP);
  EXPECT_EQ(list->idx.get(), nullptr);
  ASSERT_NE(idx->idx.get(), nullptr);
  EXPECT_EQ(idx->max, 9);
  ZePrimDestroy(list);
  ZePrimDestroy(idx);
  ZePrimDestroy(nullptr);
}

TEST_F(Gobj, MeshBoundsAreBoxOriginSphereAndCentreSphere) {
  ZEGOBJ* obj = ZeGobjCreate();
  Geom(obj, {{1, 2, 3}, {-1, 0, 5}});
  Geom(obj, {{3, -2, 4}});
  const float r = ZeGobjCalcDims(obj);
  EXPECT_EQ(obj->min.x, -1.0f);
  EXPECT_EQ(obj->min.y, -2.0f);
  EXPECT_EQ(obj->max.z, 5.0f);
  EXPECT_FLOAT_EQ(obj->radius, std::sqrt(29.0f));
  EXPECT_EQ(obj->centre.x, 1.0f);
  EXPECT_EQ(obj->centre.z, 4.0f);
  EXPECT_FLOAT_EQ(obj->centre_radius, std::sqrt(8.0f));  // (3, -2, 4) from (1, 0, 4)
  EXPECT_EQ(r, obj->centre_radius);
  obj->geometries->vtx = nullptr;
  EXPECT_HALT(ZeGobjCalcDims(obj), "ZeGobjCalcDims : Lock VB failed!");
  obj->geometries = nullptr;
}

TEST_F(Gobj, SpriteBoundsWidenByTheLargestExtent) {
  ZEGOBJ* obj = ZeGobjCreate();
  ZEFACEONGEOM* f = ZeFaceOnGeomCreate();
  auto* s = static_cast<ZEFACEON*>(ZeMemAllocTagged(2 * sizeof(ZEFACEON)));
  s[0] = {{0, 0, 0}, 1.0f, 2.0f, 0};
  s[1] = {{10, 0, 0}, 0.5f, 0.25f, 0};
  f->sprites = s;
  f->count = 2;
  ZeGobjAddFaceOnGeom(obj, f);
  ZeGobjCalcFaceOnDims(obj);
  // First pass: -2..10.5 on x; then widened by the largest extent, 2.
  EXPECT_EQ(obj->min.x, -4.0f);
  EXPECT_EQ(obj->max.x, 12.5f);
  EXPECT_EQ(obj->max.y, 4.0f);
  EXPECT_EQ(obj->radius, 10.0f);
  EXPECT_EQ(obj->centre.x, 4.25f);
  // Sprite 0: (4.25 + 2)^2 + 2^2 + 2^2.
  EXPECT_FLOAT_EQ(obj->centre_radius, std::sqrt(6.25f * 6.25f + 8.0f));
}

TEST_F(Gobj, StripPlanesAlternateWindingAndASecondCallIsFatal) {
  ZEGOBJ* obj = ZeGobjCreate();
  // A flat zigzag in z = 0: every triangle faces the same way once the
  // winding alternates.
  ZEGEOM* g = Geom(obj, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {2, 0, 0}, {2, 1, 0}});
  ZEPRIM* strip = ZePrimCreate(6, ZEPRIM_STRIP);
  ZEPRIM* idx = ZePrimCreate(6, ZEPRIM_IDXLIST);
  for (int i = 0; i < 6; i++) idx->idx[i] = int16_t(5 - i);
  ZeGeomAddPrim(g, strip);
  ZeGeomAddPrim(g, idx);
  ZeGobjCalcPlanes(obj);
  for (int i = 0; i < 4; i++) {
    EXPECT_FLOAT_EQ(strip->planes[i].z, -1.0f) << i;
    EXPECT_EQ(strip->planes[i].w, 0.0f);
  }
  EXPECT_FLOAT_EQ(idx->planes[0].z, -1.0f);  // 5, 4, 3
  EXPECT_FLOAT_EQ(idx->planes[1].z, 1.0f);   // 2, 1, 0
  EXPECT_HALT(ZePrimCalcPlanes(strip, g), "assert");
  ZEPRIM* bad = ZePrimCreate(3, ZEPRIM_IDXSTRIP);
  bad->idx[0] = 0, bad->idx[1] = 1, bad->idx[2] = 6;
  EXPECT_HALT(ZePrimCalcPlanes(bad, g), "vertex index 6 past the 6 vertices");
  ZePrimDestroy(bad);
}

TEST_F(Gobj, ColourBlendEnds) {
  struct Case {
    uint32_t a, b;
    int t;
    uint32_t want;
  } cases[] = {
      {0x12345678u, 0x9abcdef0u, 0, 0x12345678u},
      {0x12345678u, 0x9abcdef0u, 255, 0x9abcdef0u},
      {0x00000000u, 0xffffffffu, 128, 0x7f7f7f7fu},
      {0xffffffffu, 0x00000000u, 128, 0x7e7e7e7eu},
      {0x00ff0080u, 0xff00ff00u, 64, (0xffu * 64 >> 8) << 24 | (0xffu * 191 >> 8) << 16 | (0xffu * 64 >> 8) << 8 |
                                         (0x80u * 191 >> 8)},
  };
  for (auto& c : cases) EXPECT_EQ(ZeGobjColourBlend(c.a, c.b, c.t), c.want) << c.t;
}

// Two runs of two and three colours, blended into a packet's colour words.
struct CrossFade : Gobj {
  uint32_t* packet = nullptr;
  uint32_t* table = nullptr;
  ZEGOBJ* obj = nullptr;
  void SetUp() override {
    Gobj::SetUp();
    packet = static_cast<uint32_t*>(EeMalloc(64));
    table = static_cast<uint32_t*>(EeMalloc(128));
    for (int i = 0; i < 8; i++) packet[i] = 0xaa000000u | uint32_t(i);
    uint32_t* t = table;
    *t++ = EeAddrOf(packet), *t++ = 2;
    for (int i = 0; i < 2; i++) *t++ = 0x11000000u, *t++ = 0x22ffffffu;
    *t++ = EeAddrOf(packet + 4), *t++ = 3;
    for (int i = 0; i < 3; i++) *t++ = 0x33ffffffu, *t++ = 0x44000000u;
    *t++ = 0, *t++ = 0;
    obj = ZeGobjCreate();
    obj->colourref = table;
  }
  void TearDown() override {
    EeFree(packet);
    EeFree(table);
    Gobj::TearDown();
  }
  ZECOLOURREF* Run(int k) { return reinterpret_cast<ZECOLOURREF*>(table + (k == 0 ? 0 : k == 1 ? 6 : 14)); }
};

TEST_F(CrossFade, ABudgetOfZeroDoesNothingAndKeepsTheStart) {
  ZECOLOURREF* resume = nullptr;
  EXPECT_EQ(ZeGobjApplyCrossFade(obj, 255, 0, &resume), 0);
  EXPECT_EQ(resume, Run(0));
  EXPECT_EQ(packet[0], 0xaa000000u);
}

TEST_F(CrossFade, AStartedRunFinishesAndTheFourthByteStays) {
  ZECOLOURREF* resume = nullptr;
  EXPECT_EQ(ZeGobjApplyCrossFade(obj, 255, 1, &resume), -1);  // the whole first run
  EXPECT_EQ(resume, Run(1));
  EXPECT_EQ(packet[0], 0xaaffffffu);
  EXPECT_EQ(packet[1], 0xaaffffffu);
  EXPECT_EQ(packet[4], 0xaa000004u);
  // Resumes at the second run.
  EXPECT_EQ(ZeGobjApplyCrossFade(obj, 0, 10, &resume), 7);
  EXPECT_EQ(resume, Run(2));  // the terminator
  for (int i = 4; i < 7; i++) EXPECT_EQ(packet[i], 0xaaffffffu) << i;
  EXPECT_EQ(packet[7], 0xaa000007u);
  // At the terminator the next call starts over.
  EXPECT_EQ(ZeGobjApplyCrossFade(obj, 255, 2, &resume), 0);
  EXPECT_EQ(packet[0], 0xaaffffffu);
  EXPECT_EQ(resume, Run(1));
  ZEGOBJ* none = ZeGobjCreate();
  EXPECT_EQ(ZeGobjApplyCrossFade(none, 1, 5, &resume), 5);
  obj->colourref = nullptr;
}

TEST_F(Gobj, StarFieldBatchesOf42AndAnEmptyField) {
  ZeRandSetSeed(nullptr, 99);
  auto* stars = static_cast<uint32_t*>(ZeCreateStarfield(43, 100.0f));
  ASSERT_NE(stars, nullptr);
  EXPECT_EQ(stars[0] >> 28, uint32_t(DMATAG_RET));
  auto ops = ParsePacket(stars);
  auto batches = Unpacks(ops, 0x6c0080d2u);
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_EQ(batches[0].code, 0x6c2d80d2u);  // 45 quadwords
  EXPECT_EQ(batches[1].code, 0x6c0480d2u);
  for (int b = 0; b < 2; b++) {
    const uint32_t* d = batches[b].data;
    const uint32_t c = b == 0 ? 42 : 1;
    for (int k = 0; k < 2; k++) {
      EXPECT_EQ(d[4 * k], 0x8000u | c);
      EXPECT_EQ(d[4 * k + 1], 0x20004000u);
      EXPECT_EQ(d[4 * k + 2], 0x51u);
    }
    EXPECT_EQ(d[8], c);
  }
  // The same positions from the same seed, the second angle doubled
  // without overflow.
  ZeRandSetSeed(nullptr, 99);
  for (int i = 0; i < 43; i++) {
    ZEVEC v = {0, 0, 100.0f};
    ZeVecRotateX(&v, &v, ZeRand(nullptr));
    const uint32_t second = uint32_t(ZeRand(nullptr));
    ZeVecRotateY(&v, &v, int(second * 2u));
    const uint32_t* s = (i < 42 ? batches[0].data : batches[1].data) + 12 + 4 * (i % 42);
    EXPECT_EQ(std::bit_cast<float>(s[0]), v.x) << i;
    EXPECT_EQ(std::bit_cast<float>(s[2]), v.z) << i;
    EXPECT_EQ(std::bit_cast<float>(s[3]), 255.0f);
    EXPECT_NEAR(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z), 100.0f, 0.1f);
  }
  int mscal = 0;
  for (auto& o : ops) mscal += o.code == 0x14000300u;
  EXPECT_EQ(mscal, 2);
  // The second batch lands at +0xd2: its tag, count and star.
  auto land = LandPacket(stars, int((stars[0] & 0xffff) * 16 + 16));
  EXPECT_EQ(land.qw(0x100 + 0xd2)[0], 0x8001u);
  EXPECT_EQ(land.qw(0x100 + 0xd4)[0], 1u);
  EXPECT_EQ(land.f(0x100 + 0xd5)[3], 255.0f);
  ZeMemFreeTagged(stars);
  auto* none = static_cast<uint32_t*>(ZeCreateStarfield(0, 1.0f));
  EXPECT_EQ(none[0], uint32_t(DMATAG_RET) << 28);  // QWC 0: the tag alone
  ZeMemFreeTagged(none);
}

}  // namespace

namespace {

// Materials of a real pool: each geometry's material moves to the plane;
// sprite sets keep theirs.
struct GobjPlanes : TexTable {
  char* pool = nullptr;
  void SetUp() override {
    TexTable::SetUp();
    ZeTrigInit();
    ZeRndrStreamInit(ZERNDRSTREAM_DEFAULT_BUFFER);
    pool = static_cast<char*>(ZeMemAlloc(ZeMtlGetSysBuffSize(8) + 16));
    char* p = pool;
    ZeMtlInitEx(&p, 8);
    ZeGobjInit();
  }
  void TearDown() override {
    ZeGobjClose();
    ZeMtlClose();
    ZeMemFree(pool);
    TexTable::TearDown();
  }
};

TEST_F(GobjPlanes, SetRenderPlaneMovesEveryGeometrysMaterial) {
  ZEGOBJ* obj = ZeGobjCreate();
  ZEMTL* a = ZeMtlCreate(1);
  ZEMTL* b = ZeMtlCreate(1);
  ZEMTL* sprite = ZeMtlCreate(1);
  for (ZEMTL* m : {a, b, static_cast<ZEMTL*>(nullptr)}) {
    ZEGEOM* g = ZeGeomCreate();
    g->mtl = m;
    ZeGobjAddGeom(obj, g);
  }
  ZEFACEONGEOM* f = ZeFaceOnGeomCreate();
  f->mtl = sprite;
  ZeGobjAddFaceOnGeom(obj, f);
  ZeGobjSetRenderPlane(obj, 5);
  EXPECT_EQ((a->flags & ZEMTL_PLANE_MASK) >> ZEMTL_PLANE_SHIFT, 5u);
  EXPECT_EQ((b->flags & ZEMTL_PLANE_MASK) >> ZEMTL_PLANE_SHIFT, 5u);
  EXPECT_EQ((sprite->flags & ZEMTL_PLANE_MASK) >> ZEMTL_PLANE_SHIFT, 0u);
}

}  // namespace
