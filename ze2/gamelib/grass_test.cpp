// Grass pages: the defaults of every file version, blade placement, the
// buffer and blade-count limits of the loader, starting and clearing pages
// with their wind and fade groups; wind sway and fade objects near the
// player.
#include <cmath>
#include <vector>

#include "edtools.h"
#include "terrain_test.h"

namespace {

int LookupByName(const char* name, const ZEGSCENE*) {
  if (strncmp(name, "inst", 4) == 0) return atoi(name + 4);
  return -1;
}

struct Grass : TerrainTest {
  uint8_t* cursor = nullptr;
  uint8_t* end = nullptr;
  void SetUp() override {
    TerrainTest::SetUp();
    // A scene of the fixture's instances and nothing else.
    const ZEGSCENE bare = {};
    *scene = bare;
    scene->ninst = 8;
    scene->insts = insts;
    edbits_lookup_hook = LookupByName;
    edgraClumpsReset();
    ZeWindInit();
    ZeFadeObjInit();
    cursor = buf;
    end = buf + bufsize;
    ZeMtxSetIdentity(&global_camera.mtx);
    global_camera.farclip = 100;
  }
  void TearDown() override {
    edgraClumpsReset();
    ZeWindInit();
    ZeFadeObjInit();
    edbits_lookup_hook = nullptr;
    TerrainTest::TearDown();
  }
  static EdGrassFileRec Rec(int count, int kind = 1, const char* name = "inst2") {
    EdGrassFileRec r{};
    snprintf(r.name, EDGRA_NAME, "%s", name);
    r.count = count;
    r.pos = {10, 0, 10};
    r.radius = 2, r.sway = 0.5f, r.group = 7, r.sway2 = 0.8f;
    r.dist = 2, r.sizemode = 2, r.kind = int8_t(kind);
    r.seed = 1234, r.minsize = 0.5f, r.maxsize = 1.0f;
    r.angz = 0, r.angy = 0, r.nearr = 5, r.farr = 9;
    r.follow = 0, r.tilt = 0, r.hoff = 0.25f;
    return r;
  }
  int Load(int version, std::vector<EdGrassFileRec> recs, int total = 1024) {
    EXPECT_EQ(edgraWritePage("gra.dat", version, recs.data(), int(recs.size()), total), 1);
    return edgraLoadPage("gra.dat", scene, &cursor, end);
  }
};

}  // namespace

TEST_F(Grass, OlderVersionsGetTheDefaultsOfTheirTime) {
  struct Want {
    int version, kind;
    int group;
    float sway2;
    int dist, sizemode, kind_read, seed;
    float minsize, nearr, farr;
    int follow, tilt;
    float hoff;
  } cases[] = {
      {1, 1, 1, 1.0f, 1, 1, 1, 0, 0.2f, 20, 20, 0, 0, 0},
      {2, 1, 7, 1.0f, 1, 1, 1, 0, 0.2f, 20, 20, 0, 0, 0},
      {3, 1, 7, 0.8f, 1, 1, 1, 0, 0.2f, 20, 20, 0, 0, 0},
      {4, 1, 7, 0.8f, 1, 1, 1, 1234, 0.5f, 20, 20, 0, 0, 0},  // ranges 20 replace 15/25
      {5, 2, 7, 0.8f, 2, 2, 1, 1234, 0.5f, 20, 20, 0, 0, 0},  // kind not stored: 1
      {6, 2, 7, 0.8f, 2, 2, 2, 1234, 0.5f, 5, 9, 1, 1, 0.05f},
      {6, 3, 7, 0.8f, 2, 2, 3, 1234, 0.5f, 5, 9, 0, 0, 0},
      {6, 1, 7, 0.8f, 2, 2, 1, 1234, 0.5f, 20, 20, 0, 0, 0},
      {7, 2, 7, 0.8f, 2, 2, 2, 1234, 0.5f, 5, 9, 0, 0, 0.25f},
      {8, 1, 7, 0.8f, 2, 2, 1, 1234, 0.5f, 5, 9, 0, 0, 0.25f},
  };
  for (const Want& w : cases) {
    edgraClumpsReset();
    cursor = buf;
    EdGrassFileRec r = Rec(6, w.kind);
    std::vector<GrassBlade> blades(6, GrassBlade{{0.5f, 0, 0}, 0.5f, 0, 0});
    r.blades = blades.data();
    ASSERT_EQ(Load(w.version, {r}), 0) << w.version;
    const GrassClump& c = GrassClumps[0];
    SCOPED_TRACE(testing::Message() << "version " << w.version << " kind " << w.kind);
    EXPECT_EQ(c.count, 6);
    EXPECT_EQ(c.object, 2);
    EXPECT_EQ(c.group, w.group);
    EXPECT_EQ(c.sway2, w.sway2);
    EXPECT_EQ(c.dist, w.dist);
    EXPECT_EQ(c.sizemode, w.sizemode);
    EXPECT_EQ(c.kind, w.kind_read);
    EXPECT_EQ(c.seed, w.seed);
    EXPECT_EQ(c.minsize, w.minsize);
    EXPECT_EQ(c.maxsize, w.version >= 4 ? 1.0f : 1.7625f);
    EXPECT_EQ(c.nearr, w.nearr);
    EXPECT_EQ(c.farr, w.farr);
    EXPECT_EQ(c.follow, w.follow);
    EXPECT_EQ(c.tilt, w.tilt);
    EXPECT_EQ(c.hoff, w.hoff);
    EXPECT_EQ(c.ind >= 0, w.kind_read == 3) << "individual blades from version 6";
    EXPECT_EQ(edgra_page_vectors_valid[0], w.version == 8);
  }
  edgraClumpsReset();
  EXPECT_EQ(Load(0, {Rec(4)}), -1);
  EXPECT_EQ(Load(9, {Rec(4)}), -1);
  EXPECT_EQ(edgraLoadPage("missing.dat", scene, &cursor, end), -1);
}

TEST_F(Grass, BladesPlacedSizedAndCounted) {
  EdGrassFileRec small = Rec(2);         // stored with 4 blades
  EdGrassFileRec grid = Rec(9);          // a 3 x 3 grid
  grid.dist = 4, grid.sizemode = 3, grid.kind = 2;
  EdGrassFileRec missing = Rec(5, 1, "nothing");  // dropped, but counted
  std::vector<ZEVEC> vec(9, ZEVEC{0, 0, 0});
  small.vectors = grid.vectors = vec.data();
  int page = Load(8, {small, missing, grid}, 4 + 5 + 9);
  ASSERT_EQ(page, 0);
  EXPECT_EQ(GrassClumps[0].count, 4);
  EXPECT_EQ(GrassClumps[1].count, 9) << "the dropped clump's slot stays free";
  EXPECT_EQ(edgra_clumps_used, 3);
  ASSERT_TRUE(GrassClumps[1].mtxs) << "version 8 calculates at load";
  const ZEMTX* m = GrassClumps[1].mtxs;
  for (int i = 0; i < 9; i++) {
    EXPECT_FLOAT_EQ(m[i].m[3][0], 10 + 2.0f * float(i / 3) - 2) << i;
    EXPECT_FLOAT_EQ(m[i].m[3][2], 10 + 2.0f * float(i % 3) - 2) << i;
    float r = std::sqrt(std::pow(m[i].m[3][0] - 10, 2.0f) + std::pow(m[i].m[3][2] - 10, 2.0f));
    float want = 1.0f - std::fmin(r, 2.0f) / 2 * 0.5f;  // linear fall-off from the maximum
    ZEVEC scale = ZeMtxGetScale(&m[i]);
    EXPECT_NEAR(scale.y, want, 1e-5) << i;
  }
  // Matrices from the cursor (128-aligned), then the vectors; the cursor
  // ends after the vectors.
  EXPECT_EQ(reinterpret_cast<uint8_t*>(GrassClumps[0].mtxs.get()), edgra_page_matrix_stack[page]);
  EXPECT_EQ(cursor, edgra_page_matrix_stack[page] + 18 * sizeof(ZEMTX) + 18 * sizeof(ZEVEC));
  // Same seed, same blades: a second page repeats the first's placement.
  uint8_t* c2 = cursor;
  ASSERT_EQ(edgraLoadPage("gra.dat", scene, &cursor, end), 1);
  const ZEMTX* a = GrassClumps[0].mtxs;
  const ZEMTX* b = GrassClumps[2].mtxs;
  EXPECT_GE(reinterpret_cast<uint8_t*>(GrassClumps[2].mtxs.get()), c2);
  for (int i = 0; i < 4; i++) EXPECT_EQ(memcmp(&a[i], &b[i], sizeof(ZEMTX)), 0);
}

TEST_F(Grass, LoaderLimits) {
  // The end check comes before anything is written past the cursor.
  uint8_t* tight = buf + 4096;
  memset(buf, 0xAB, 8192);
  std::vector<ZEVEC> vec(64, ZEVEC{});
  EdGrassFileRec r = Rec(64);
  r.vectors = vec.data();
  EdFileSetMedia(EDFILE_MEDIA_HOST);
  ASSERT_EQ(edgraWritePage("big.dat", 8, &r, 1, 64), 1);
  EXPECT_HALT(edgraLoadPage("big.dat", scene, &cursor, tight), "Insufficient buffer space to load grass data");
  for (int i = 0; i < 8192; i++) ASSERT_EQ(buf[i], 0xAB) << "written at " << i;
  EdFileClose();

  // Counts past the blade total: the rest of the page is not read.
  edgraClumpsReset();
  cursor = buf;
  EdGrassFileRec a = Rec(10), b = Rec(30), c = Rec(4);
  a.vectors = b.vectors = c.vectors = vec.data();
  ASSERT_EQ(Load(8, {a, b, c}, 20), 0);
  EXPECT_EQ(GrassClumps[0].count, 10);
  EXPECT_EQ(GrassClumps[1].count, 0);
  EXPECT_EQ(edgra_clumps_used, 1);
  EXPECT_EQ(Load(8, {a}, -5), -1) << "a negative total";

  // Kind 3 over 64 blades keeps 64; with no free block the clump is dropped.
  edgraClumpsReset();
  cursor = buf;
  std::vector<GrassBlade> blades(100);
  for (int i = 0; i < 100; i++) blades[size_t(i)] = {{float(i), 0, 0}, 0.5f, 0, 0};
  EdGrassFileRec k3 = Rec(100, 3);
  k3.blades = blades.data();
  EdGrassFileRec after = Rec(5);
  ASSERT_EQ(Load(6, {k3, after}), 0);
  EXPECT_EQ(GrassClumps[0].count, EDGRA_IND_BLADES);
  EXPECT_EQ(IndGrassClumps[GrassClumps[0].ind][63].offset.x, 63);
  EXPECT_EQ(GrassClumps[1].count, 5) << "the next record is read where it lies";
  EXPECT_EQ(GrassClumps[1].kind, 1);
  edgraClumpsReset();
  cursor = buf;
  for (int b = 0; b < EDGRA_IND_BLOCKS; b++) IndGrassClumpsUsed[b] = 1;
  ASSERT_EQ(Load(6, {Rec(8, 3), after}), 0);
  EXPECT_EQ(GrassClumps[0].count, 5) << "the kind-3 clump is dropped, the next takes its slot";
}

TEST_F(Grass, StartingAndClearingPages) {
  EdGrassFileRec wind = Rec(600), fade = Rec(500, 2);
  int p0 = Load(4, {wind});
  int p1 = Load(6, {fade});
  ASSERT_EQ(p0, 0);
  ASSERT_EQ(p1, 1);
  edgraStartPage(p0);
  edgraStartPage(p1);
  EXPECT_EQ(edgra_units_used, EDGRA_UNITS) << "blades beyond 1024 are not handed on";
  ASSERT_TRUE(ZeWindGroup[0].inuse);
  EXPECT_EQ(ZeWindGroup[0].count, 600);
  EXPECT_EQ(ZeWindGroup[0].height, 0.5f);
  EXPECT_EQ(ZeWindGroup[0].interact, 7);  // the group value
  ASSERT_TRUE(ZeFadeObjGroup[0].inuse);
  EXPECT_EQ(ZeFadeObjGroup[0].count, 424);
  EXPECT_EQ(ZeFadeObjGroup[0].fadestart, 5);
  EXPECT_EQ(ZeFadeObjMtxIndex, 0) << "the page's own matrices, not the pool's";
  // Kind-1 blades carry sway x distance in their last element.
  const ZEMTX* m = GrassClumps[0].mtxs;
  float r = std::sqrt(std::pow(m[3].m[3][0] - 10, 2.0f) + std::pow(m[3].m[3][2] - 10, 2.0f));
  EXPECT_GT(m[3].m[3][3], 0);
  EXPECT_LE(m[3].m[3][3], 0.5f * (r + 0.001f));
  edgraClearPage(p1);
  EXPECT_TRUE(edgra_page_on[p0]);
  EXPECT_TRUE(ZeWindGroup[0].inuse) << "the other page's clumps still sway";
  EXPECT_FALSE(ZeFadeObjGroup[0].inuse);
  EXPECT_EQ(edgra_units_used, 600);
  EXPECT_EQ(edgra_clumps_used, 1);
  EXPECT_FALSE(edgra_page_used[p1]);
}

TEST_F(Grass, WindLeansWithoutGrowingAndPartsRoundThePlayer) {
  ZEMTX* m = ZeWindAllocMtxs(16);
  ASSERT_NE(m, nullptr);
  for (int i = 0; i < 16; i++) {
    ZeMtxSetIdentity(&m[i]);
    m[i].m[3][0] = float(i % 4) * 0.3f, m[i].m[3][2] = float(i / 4) * 0.3f;
    m[i].m[3][3] = 0.1f;  // sway height
  }
  ZeWindGrp* g = ZeWindCreateMtx(0.1f, 1.0f, 5, 10, scene, 2, m, 16, 1);
  ASSERT_NE(g, nullptr);
  g->drawn = 1;
  ZEVEC away = {50, 0, 50};
  for (int f = 0; f < 100; f++) ZeWindUpdate(&away);
  for (int i = 0; i < 16; i++) {
    float len = std::sqrt(m[i].m[1][0] * m[i].m[1][0] + m[i].m[1][1] * m[i].m[1][1] + m[i].m[1][2] * m[i].m[1][2]);
    EXPECT_LT(len, 1.0f) << "the lean never lengthens the blade";
    EXPECT_GT(m[i].m[1][0] * m[0].m[1][0] + m[i].m[1][2] * m[0].m[1][2], 0) << "all lean the same way";
  }
  // The player in the middle: near blades bend away from him.
  ZEVEC in = {0.45f, 0, 0.45f};
  for (int f = 0; f < 60; f++) ZeWindUpdate(&in);
  const ZEMTX& near = m[5];  // at (0.3, 0.3)
  float ox = near.m[3][0] - in.x, oz = near.m[3][2] - in.z;
  EXPECT_GT(near.m[1][0] * ox + near.m[1][2] * oz, 0) << "bent away from the player";
  // Swinging back after he leaves is limited to 0.012 a frame.
  float x0 = near.m[1][0] * near.m[2][3], z0 = near.m[1][2] * near.m[2][3];
  ZEVEC out = {0.45f, 1.2f, 0.45f};  // inside the group, above the push height
  ZeWindUpdate(&out);
  float dx = near.m[1][0] * near.m[2][3] - x0, dz = near.m[1][2] * near.m[2][3] - z0;
  EXPECT_LE(std::sqrt(dx * dx + dz * dz), 0.0121f);
  // Pools: 257th group and 1025th matrix.
  ZeWindInit();
  for (int i = 0; i < ZEWIND_GROUPS; i++) ASSERT_NE(ZeWindAllocateGrp(), nullptr);
  EXPECT_EQ(ZeWindAllocateGrp(), nullptr);
  ZeWindInit();
  EXPECT_NE(ZeWindAllocMtxs(ZEWIND_MTXS), nullptr);
  EXPECT_EQ(ZeWindAllocMtxs(1), nullptr);
}

TEST_F(Grass, FadeStonesAreSolidOnlyNearThePlayer) {
  TestItem ground = StaticItem({50, -10, 50}, {Floor(0, 0, 1)});
  TestItem stone = StaticItem({}, {Floor(0, 0.5f, 0.4f)});
  stone.kind = 1, stone.instance = 4;
  Write("stones", {ground, stone});
  TerrSet* set = terraininit(0, &bufpos, buf + bufsize, 0, "stones", scene, 0);
  ASSERT_NE(set, nullptr);
  TerrainSetCur(set);
  ZEMTX* m = ZeFadeObjAllocMtxs(3);
  for (int i = 0; i < 3; i++) ZeMtxSetIdentity(&m[i]), m[i].m[3][0] = float(i) * 5;
  ZeFadeObjGrp* g = ZeFadeObjCreateMtx(5, 20, scene, 4, m, 3, 1);
  ASSERT_NE(g, nullptr);
  ZeFadeObjGrp* none = ZeFadeObjCreate(5, 0, 20, scene, 6, nullptr, 0, 1, 0);
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->solid, 0) << "no collision item: never solid";
  int16_t* ids = g->plat;
  ZEVEC p = {5.5f, 0, 1};
  ZeFadeObjUpdate(&p);
  EXPECT_EQ(ids[0], -1);
  ASSERT_GE(ids[1], 0) << "within 2 units";
  EXPECT_EQ(set->plat[ids[1]].live.get(), &m[1]);
  EXPECT_EQ(ids[2], -1);
  stopfadeup = 1;
  ZEVEC far = {40, 0, 0};
  ZeFadeObjUpdate(&far);
  EXPECT_GE(ids[1], 0) << "stopfadeup: nothing made or deleted";
  stopfadeup = 0;
  ZeFadeObjUpdate(&far);
  EXPECT_EQ(ids[1], -1) << "walking away deletes it";
  // Pools: the 65th group and the 1025th matrix or id.
  ZeFadeObjInit();
  for (int i = 0; i < ZEFADE_GROUPS; i++) ASSERT_NE(ZeFadeObjAllocateGrp(), nullptr);
  EXPECT_EQ(ZeFadeObjAllocateGrp(), nullptr);
  ZeFadeObjInit();
  EXPECT_NE(ZeFadeObjAllocMtxs(ZEFADE_MTXS), nullptr);
  EXPECT_EQ(ZeFadeObjAllocMtxs(1), nullptr);
  EXPECT_NE(ZeFadeObjAllocData(ZEFADE_MTXS), nullptr);
  EXPECT_EQ(ZeFadeObjAllocData(1), nullptr);
}

TEST_F(Grass, RefusedCreationsGiveBackOnlyPoolMatrices) {
  // A full group table: the pool's matrices go back, a page's own do not
  // touch the pool.
  ZEMTX* pool = ZeFadeObjAllocMtxs(10);
  ASSERT_NE(pool, nullptr);
  for (int i = 0; i < ZEFADE_GROUPS; i++) ASSERT_NE(ZeFadeObjAllocateGrp(), nullptr);
  auto* own = static_cast<ZEMTX*>(EeMalloc(sizeof(ZEMTX) * 4));
  EXPECT_EQ(ZeFadeObjCreateMtx(1, 2, scene, 0, own, 4, 0), nullptr);
  EXPECT_EQ(ZeFadeObjMtxIndex, 10);
  EXPECT_EQ(ZeFadeObjCreateMtx(1, 2, scene, 0, pool, 10, 0), nullptr);
  EXPECT_EQ(ZeFadeObjMtxIndex, 0);
  ZEMTX* wpool = ZeWindAllocMtxs(6);
  for (int i = 0; i < ZEWIND_GROUPS; i++) ASSERT_NE(ZeWindAllocateGrp(), nullptr);
  EXPECT_EQ(ZeWindCreateMtx(1, 1, 1, 2, scene, 0, own, 4, 0), nullptr);
  EXPECT_EQ(ZeWindMtxIndex, 6);
  EXPECT_EQ(ZeWindCreateMtx(1, 1, 1, 2, scene, 0, wpool, 6, 0), nullptr);
  EXPECT_EQ(ZeWindMtxIndex, 0);
  EeFree(own);
}

TEST_F(Grass, TiltWithoutTerrainFollowingStartsLevel) {
  // Older pages have no vectors: a clump that tilts but does not follow the
  // terrain must not read what the level buffer held before.
  memset(buf, 0x7f, 1 << 16);
  EdGrassFileRec r = Rec(9, 2);
  r.follow = 0, r.tilt = 1, r.dist = 4, r.sizemode = 0;
  ASSERT_EQ(Load(7, {r}), 0);
  edgraStartPage(0);
  const ZEMTX* m = GrassClumps[0].mtxs;
  for (int i = 0; i < 9; i++) {
    ASSERT_TRUE(std::isfinite(m[i].m[1][1]));
    EXPECT_NEAR(m[i].m[1][0], 0, 1e-6) << "upright: no tilt from stale bytes";
    EXPECT_NEAR(m[i].m[1][2], 0, 1e-6);
  }
}
