// Rope bridges and bridge pages: the page file's versions and limits, the
// refusals of bridges the record cannot hold, planks as platforms, the
// player's weight on the ropes and the settling.
#include <cmath>

#include "edtools.h"
#include "terrain_test.h"

namespace {

int LookupByName(const char* name, const ZEGSCENE*) {
  // "inst<N>" names scene instance N.
  if (strncmp(name, "inst", 4) == 0) return atoi(name + 4);
  return -1;
}

struct Bridge : TerrainTest {
  TerrSet* set = nullptr;
  void SetUp() override {
    TerrainTest::SetUp();
    // A scene of the fixture's instances and nothing else.
    const ZEGSCENE bare = {};
    *scene = bare;
    scene->ninst = 8;
    scene->insts = insts;
    TestItem ground = StaticItem({50, -10, 50}, {Floor(0, 0, 1)});
    TestItem plank = StaticItem({}, {Floor(0, 0, 0.4f)});
    plank.kind = 1, plank.instance = 3;
    Write("bridge", {ground, plank});
    set = Load("bridge");
    ASSERT_NE(set, nullptr);
    ZeBridgeInit();
    edbriReset();
    edbits_lookup_hook = LookupByName;
    global_camera.mtx = {};
    ZeMtxSetIdentity(&global_camera.mtx);
    global_camera.farclip = 100;
  }
  void TearDown() override {
    ZeBridgeInit();
    edbriReset();
    ZeBridgeProc = 0;
    edbits_lookup_hook = nullptr;
    TerrainTest::TearDown();
  }
  int Make(int n, ZEVEC end = {10, 0, 0}, float tension = 0, float damp = 0, float gravity = -0.01f) {
    ZEGSCNINST* planks[BRIDGE_PLANKS];
    for (auto& p : planks) p = &insts[3];
    ZEVEC start = {0, 0, 0};
    return ZeBridgeCreate(1.0f, tension, damp, gravity, 2.0f, 0.6f, 1.0f, scene, planks, nullptr, &start, &end, 0,
                          n, 2, 0x80ff0000);
  }
  static EdBridgeFileRec Rec(float x, int planks = 6) {
    EdBridgeFileRec r{};
    r.start = {x, 1, 0};
    r.length = 10, r.postoff = 0.5f;
    r.nplanks = int8_t(planks), r.postint = 2;
    strncpy(r.plank, "inst3", EDBRI_NAME);
    memset(r.post, 'x', EDBRI_NAME);  // a full field without its terminator
    r.tension = 0.05f, r.damp = 0.1f, r.gravity = -0.01f, r.weight = 1, r.ropeheight = 1, r.stability = 1;
    r.rgba[0] = 10, r.rgba[1] = 20, r.rgba[2] = 30, r.rgba[3] = 40;
    return r;
  }
};

}  // namespace

TEST_F(Bridge, CreateRefusesWhatTheRecordCannotHold) {
  struct Case {
    int planks;
    ZEVEC end;
    int want;      // -1 refused, else the planks kept
  } cases[] = {
      {1, {10, 0, 0}, -1}, {0, {10, 0, 0}, -1}, {-3, {10, 0, 0}, -1},  // fewer than 2 planks
      {6, {0, 0, 0}, -1},                                              // no span
      {2, {10, 0, 0}, 2}, {24, {10, 0, 0}, 24}, {40, {10, 0, 0}, 24},  // over 24: 24
      {3, {0, 5, 0}, 3},                                               // straight up: still a span
  };
  for (const Case& c : cases) {
    ZeBridgeInit();
    int k = Make(c.planks, c.end);
    if (c.want < 0) {
      EXPECT_EQ(k, -1) << c.planks;
      continue;
    }
    ASSERT_GE(k, 0) << c.planks;
    EXPECT_EQ(Bridges[k].nplanks, c.want);
    for (int i = 0; i < c.want; i++) EXPECT_TRUE(std::isfinite(Bridges[k].plank[i].m[3][0]));
  }
  ZeBridgeInit();
  for (int i = 0; i < BRIDGE_MAX; i++) EXPECT_EQ(Make(2), i);
  EXPECT_EQ(Make(2), -1) << "a ninth bridge";
}

TEST_F(Bridge, PlanksArePlatformsOnTheSpan) {
  int k = Make(5, {8, 4, 0});
  ASSERT_EQ(k, 0);
  const ZeBridge& b = Bridges[k];
  EXPECT_EQ(ZeBridgeProc, 1);
  for (int i = 0; i < 5; i++) {
    EXPECT_FLOAT_EQ(b.plank[i].m[3][0], 2.0f * float(i));
    EXPECT_FLOAT_EQ(b.plank[i].m[3][1], 1.0f * float(i));
    ASSERT_GE(b.plat[i], 0);
    EXPECT_EQ(set->plat[b.plat[i]].live.get(), &b.plank[i]);
    EXPECT_EQ(set->plat[b.plat[i]].flags & 1, 1u) << "carries riders round";
    // Rope A on the -z side, rope B on +z, half the stability out.
    EXPECT_FLOAT_EQ(b.rope[i][0].z, -0.5f);
    EXPECT_FLOAT_EQ(b.rope[i][1].z, 0.5f);
  }
  EXPECT_FLOAT_EQ(b.centre.x, 4);
  EXPECT_FLOAT_EQ(b.radsq, (80.0f / 4) + 1.0f);
  int before = set->nitems;
  ZeBridgeRemove(k);
  EXPECT_EQ(set->nitems, before - 5) << "the planks' platform instances are deleted";
  EXPECT_FALSE(Bridges[k].inuse);
}

TEST_F(Bridge, PlayerWeightPushesTheNearPairsAndTheNearRope) {
  // No springs and no damping: one frame's velocity is gravity plus the push.
  struct Case {
    ZEVEC player;
    int pair[2];
    float share[2];
    float c;
  } cases[] = {
      {{5, 0, 0}, {2, 3}, {0.5f, 0.5f}, 0},      // middle of 6 planks: both middle pairs
      {{4, 0, 0.5f}, {2, -1}, {1, 0}, 1},        // on pair 2, at rope B's side
      {{4, 0, -3}, {2, -1}, {1, 0}, -1},         // beyond rope A: c clamps to -1
      {{-5, 0, 0}, {-1, -1}, {0, 0}, 0},         // before the first plank: an end pair only
  };
  for (const Case& c : cases) {
    ZeBridgeInit();
    int k = Make(6);
    ASSERT_EQ(k, 0);
    ZeBridge& b = Bridges[k];
    b.visible = 1, b.touched = 5;
    ZeBridgeUpdate(&c.player);
    float g = -0.01f, w = 2.0f;
    for (int i = 1; i < 5; i++) {
      float a = g, bb = g;
      for (int j = 0; j < 2; j++)
        if (c.pair[j] == i) a += w * g * (3 - c.c) / 4 * c.share[j], bb += w * g * (3 + c.c) / 4 * c.share[j];
      EXPECT_NEAR(b.vel[i][0].y, a, 1e-6) << "pair " << i << " player x " << c.player.x;
      EXPECT_NEAR(b.vel[i][1].y, bb, 1e-6) << "pair " << i << " player x " << c.player.x;
    }
    EXPECT_EQ(b.vel[0][0].y, 0) << "end pairs stay anchored";
    EXPECT_EQ(b.touched, 4);
  }
}

TEST_F(Bridge, SettlesAfter180UntouchedFramesAndWakesOnAHit) {
  int k = Make(6, {10, 0, 0}, 0.05f, 0.1f);
  ZeBridge& b = Bridges[k];
  b.visible = 1;
  ZEVEC away = {100, 0, 100};
  for (int f = 0; f < BRIDGE_SETTLE - 1; f++) ZeBridgeUpdate(&away);
  float sag = b.rope[2][0].y;
  EXPECT_LT(sag, -0.1f) << "the ropes sag";
  EXPECT_LT(b.plank[2].m[3][1], -0.1f) << "the planks follow";
  ZeBridgeUpdate(&away);
  EXPECT_EQ(b.settle, BRIDGE_SETTLE);
  float y = b.rope[2][0].y;
  for (int f = 0; f < 50; f++) ZeBridgeUpdate(&away);
  EXPECT_EQ(b.rope[2][0].y, y) << "settled: no movement";
  set->plat[b.plat[3]].flags |= 2;  // the player lands on a plank
  ZeBridgeUpdate(&away);
  EXPECT_EQ(b.settle, 0);
  EXPECT_EQ(b.touched, 5);
  EXPECT_NE(b.rope[2][0].y, y);
  // A bridge out of the camera's reach is not simulated.
  global_camera.mtx.m[3][0] = 1000;
  y = b.rope[2][0].y;
  ZeBridgeUpdate(&away);
  EXPECT_EQ(b.nearcam, 0);
  EXPECT_EQ(b.rope[2][0].y, y);
}

TEST_F(Bridge, PagesReadVersions0And1AndRefuseLaterOnes) {
  std::vector<EdBridgeFileRec> recs = {Rec(0), Rec(20, 30)};
  struct Case {
    int version;
    int want;  // page, -1 refused
  } cases[] = {{0, 0}, {1, 0}, {2, -1}, {7, -1}, {-1, -1}};
  for (const Case& c : cases) {
    edbriReset();
    ASSERT_EQ(edbriWritePage("bri.dat", c.version, recs.data(), 2), 1);
    EXPECT_EQ(edbriLoadPage("bri.dat", scene), c.want) << "version " << c.version;
    EXPECT_EQ(edbri_bridges_used, c.want < 0 ? 0 : 2);
  }
  EXPECT_EQ(edbriLoadPage("missing.dat", scene), -1);
  // The page read back: names to instances (a full name field is read
  // within it), and started bridges.
  edbriReset();
  ASSERT_EQ(edbriWritePage("bri.dat", 1, recs.data(), 2), 1);
  int page = edbriLoadPage("bri.dat", scene);
  ASSERT_EQ(page, 0);
  EXPECT_EQ(edBridges[0].plankobj, 3);
  EXPECT_EQ(edBridges[0].postobj, -1);
  EXPECT_EQ(edBridges[1].nplanks, 30);
  EXPECT_EQ(edBridges[0].blue, 30);
  edbriStartPage(page);
  ASSERT_EQ(edBridges[0].bridge, 0);
  ASSERT_EQ(edBridges[1].bridge, 1);
  EXPECT_EQ(Bridges[1].nplanks, 24);
  EXPECT_EQ(Bridges[0].colour, 0x801e140au);
  EXPECT_FLOAT_EQ(Bridges[0].plank[5].m[3][0], 10);
  EXPECT_FLOAT_EQ(Bridges[0].plank[5].m[3][1], 1);
  edbriClearPage(page);
  EXPECT_EQ(edbri_bridges_used, 0);
  EXPECT_FALSE(Bridges[0].inuse);
  EXPECT_FALSE(edbri_page_used[page]);
}

TEST_F(Bridge, PageAndPlacementLimits) {
  std::vector<EdBridgeFileRec> recs(40, Rec(0, 0));  // zero planks: no live bridges
  ASSERT_EQ(edbriWritePage("big.dat", 1, recs.data(), 40), 1);
  EXPECT_EQ(edbriLoadPage("big.dat", scene), 0);
  EXPECT_EQ(edbriLoadPage("big.dat", scene), 1);
  EXPECT_EQ(edbri_bridges_used, EDBRI_PLACEMENTS) << "only as many as fit";
  for (int p = 2; p < EDBRI_PAGES; p++) EXPECT_EQ(edbriLoadPage("big.dat", scene), p);
  EXPECT_EQ(edbriLoadPage("big.dat", scene), -1) << "a ninth page";
  edbriClearPage(1);
  EXPECT_EQ(edbri_bridges_used, 40);
  edbriStartPage(0);
  EXPECT_EQ(edBridges[0].bridge, -1) << "a placement of 0 planks makes no bridge";
  // While any page is used, a new one is never page 0.
  edbriClearPage(0);
  EXPECT_EQ(edbriLoadPage("big.dat", scene), 1);
}
