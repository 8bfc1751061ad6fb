// Effect pages: loads by kind, placed emitters of every version, starting,
// stopping, clearing and the editor's nearest emitter.
#include "debris_sys_test.h"

namespace {

using Pages = Particles;

std::vector<DebrisEffectType> OneType(const char* name) {
  DebrisEffectType t = TestType(name);
  t.on_time = 10, t.off_time = 20;
  return {t};
}

TEST_F(Pages, LevelLoadsTakeTheFirstFreePage) {
  std::vector<PlacedEmitter> em = {TestEmitter("FIRE", 1, 0, 0)};
  Write("LEVEL.DAT", 22, OneType("FIRE"), &em);
  EXPECT_EQ(edppLoadPage("LEVEL.DAT", 1, nullptr), 1);
  EXPECT_EQ(edppLoadPage("LEVEL.DAT", 2, nullptr), 2);
  EXPECT_EQ(edppLoadPage("LEVEL.DAT", 1, nullptr), 3);
  EXPECT_EQ(edpp_instances_used, 3);
  edppClearPage(2);
  EXPECT_EQ(edpp_page_used[2], 0);
  EXPECT_EQ(edpp_instances_used, 2);
  EXPECT_EQ(edpp_types_used, 3);
  EXPECT_EQ(edppLoadPage("LEVEL.DAT", 1, nullptr), 2);
  for (int p = 4; p < EDPP_PAGES; p++) EXPECT_EQ(edppLoadPage("LEVEL.DAT", 5, nullptr), p);
  EXPECT_EQ(edppLoadPage("LEVEL.DAT", 1, nullptr), -1) << "no page free";
  EXPECT_EQ(edppLoadPage("NONE.DAT", 0, nullptr), -1);
}

TEST_F(Pages, KindZeroLoadsBothFilesIntoPageZero) {
  Write("A.DAT", 22, OneType("A"));
  Write("B.DAT", 22, OneType("B"));
  EXPECT_EQ(edppLoadPage("A.DAT", 0, nullptr), 0);
  EXPECT_EQ(edppLoadPage("B.DAT", 0, nullptr), 0);
  EXPECT_EQ(debtab[LookupDebrisEffect("A")]->page, 0);
  EXPECT_EQ(debtab[LookupDebrisEffect("B")]->page, 0);
  EXPECT_EQ(edpp_instances_used, 0) << "types only";
}

TEST_F(Pages, EmittersOfEachVersionGetTheDefaultsTheyLack) {
  PlacedEmitter e = TestEmitter("FIRE", 1, 2, 3);
  e.orient_z = 5, e.orient_y = 6, e.emit_a = 7, e.emit_b = 8, e.emit_c = 9, e.start_offset = 10;
  e.trigger_kind = 1, e.switch_id = 4, e.switch_value = 0.5f;
  e.refl_a = 11, e.refl_b = 12, e.plane_offset = 1.5f, e.bounce = 0.25f, e.group = 13;
  const struct {
    int version, orient, emitC, offset, trigger, refl, bounce, group;
  } cases[] = {{22, 5, 9, 10, 1, 11, 1, 13}, {15, 5, 0, 10, 1, 11, 1, 13}, {12, 5, 0, 10, 1, 11, 0, 0},
               {8, 5, 0, 10, 0, 0, 0, 0},    {7, 5, 0, 0, 0, 0, 0, 0},     {5, 0, 0, 0, 0, 0, 0, 0}};
  for (const auto& c : cases) {
    std::vector<PlacedEmitter> em = {e};
    Write("E.DAT", c.version, OneType("FIRE"), &em);
    ParticleReset();
    ASSERT_GE(edppLoadPage("E.DAT", 1, nullptr), 1);
    const PlacedEmitter& r = edpp_ptls[0];
    EXPECT_EQ(r.pos.z, 3.0f);
    EXPECT_EQ(r.orient_z, c.orient ? 5 : 0) << c.version;
    EXPECT_EQ(r.emit_b, 8) << c.version;
    EXPECT_EQ(r.emit_c, c.emitC) << c.version;
    EXPECT_EQ(r.start_offset, c.offset) << c.version;
    EXPECT_EQ(r.trigger_kind, c.trigger) << c.version;
    EXPECT_EQ(r.switch_id, c.trigger ? 4 : -1) << c.version;
    EXPECT_EQ(r.refl_a, c.refl) << c.version;
    EXPECT_EQ(r.bounce, c.bounce ? 0.25f : 0.9f) << c.version;
    EXPECT_EQ(r.group, c.group) << c.version;
    EXPECT_EQ(r.key, EDPP_STOPPED);
    EXPECT_GT(r.type, 0);
    edppDestroyAllEffects();
  }
}

TEST_F(Pages, StartingStoppingAndStartingAgainKeepTheSettings) {
  PlacedEmitter e = TestEmitter("FIRE", 1, 2, 3);
  e.trigger_kind = 1, e.switch_id = 4, e.bounce = 0.25f, e.group = 7, e.start_offset = 5;
  std::vector<PlacedEmitter> em = {e, TestEmitter("LOST", 0, 0, 0)};
  Write("LEVEL.DAT", 22, OneType("FIRE"), &em);
  const int page = edppLoadPage("LEVEL.DAT", 1, nullptr);
  ASSERT_EQ(page, 1);
  EXPECT_EQ(edpp_num_orphans, 1);
  globalframes = 100;
  edppStartPage(page);
  const int key = edpp_ptls[0].key;
  ASSERT_GE(key, 0);
  ASSERT_LT(key, DEB_KEYS);
  EXPECT_EQ(edpp_ptls[1].key, EDPP_STOPPED) << "no such type: stays stopped";
  const DebrisKey before = K(key);
  EXPECT_EQ(before.switch_id, 4);
  EXPECT_EQ(before.bounce, 0.25f);
  EXPECT_EQ(before.group, 7);
  EXPECT_EQ(before.phase, 25);
  EXPECT_EQ(before.pos.y, 2.0f);
  // A burst of the page's type: stopping frees its shared key too.
  const ZEVEC at = {0, 0, 0};
  AddVariableShotDebrisEffect(edpp_ptls[0].type, &at, 5, 0, 0);
  const int shared = debtab[edpp_ptls[0].type]->shared_keys[0];
  ASSERT_GE(shared, 0);
  edppStopPage(page);
  EXPECT_EQ(edpp_ptls[0].key, EDPP_STOPPED);
  EXPECT_EQ(K(key).type, 0);
  EXPECT_EQ(K(shared).type, 0);
  EXPECT_EQ(freedebkeyptr, 0);
  edppStartPage(page);
  const int again = edpp_ptls[0].key;
  ASSERT_GE(again, 0);
  EXPECT_EQ(K(again).switch_id, before.switch_id);
  EXPECT_EQ(K(again).bounce, before.bounce);
  EXPECT_EQ(K(again).group, before.group);
  EXPECT_EQ(K(again).phase, before.phase);
  EXPECT_EQ(memcmp(&K(again).effect, &before.effect, sizeof(ZEMTX)), 0);
  // Restarting everything frees the running effects first.
  edppRestartAllEffectsInLevel();
  EXPECT_EQ(freedebkeyptr, 1);
  EXPECT_EQ(edpp_ptls[1].key, EDPP_STOPPED);
  // Clearing forgets emitters and types and returns the renderer blocks.
  const int type = edpp_ptls[0].type;
  GenericDebinfoDmaTypeUpdate(debtab[type]);
  EXPECT_EQ(freeDmaDebType, 1);
  edppClearPage(page);
  EXPECT_EQ(freeDmaDebType, 0);
  EXPECT_EQ(freedebkeyptr, 0);
  EXPECT_EQ(edpp_ptls[0].key, -1);
  EXPECT_EQ(debtab[type].get(), nullptr);
  EXPECT_EQ(edpp_instances_used, 0);
  EXPECT_EQ(edpp_types_used, 1);
}

TEST_F(Pages, TheNearestRunningEmitter) {
  std::vector<PlacedEmitter> em = {TestEmitter("FIRE", 0, 0, 0.9f), TestEmitter("FIRE", 0, 0, 0.5f),
                                   TestEmitter("FIRE", 0, 0, 5), TestEmitter("GONE", 0, 0, 0.1f)};
  Write("LEVEL.DAT", 22, OneType("FIRE"), &em);
  ASSERT_EQ(edppLoadPage("LEVEL.DAT", 1, nullptr), 1);
  edpp_cam_pos = {0, 0, 0};
  EXPECT_EQ(edppDetermineNearest(1.0f), 0) << "stopped emitters are not found";
  edppStartPage(1);
  const struct {
    ZEVEC cam;
    float limit;
    int nearest;
  } cases[] = {{{0, 0, 0}, 1.0f, 1}, {{0, 0, 4}, 1.0f, -1}, {{0, 0, 4}, -1.0f, 2}, {{0, 0, 0.95f}, 1.0f, 0}};
  for (const auto& c : cases) {
    edpp_nearest = -1;
    edpp_cam_pos = c.cam;
    edppDetermineNearest(c.limit);
    EXPECT_EQ(edpp_nearest, c.nearest) << c.cam.z;
  }
  // Exactly on the cursor it stays, whatever the limit.
  edpp_cam_pos = edpp_ptls[2].pos;
  edpp_nearest = 2;
  edppDetermineNearest(0.0f);
  EXPECT_EQ(edpp_nearest, 2);
}

TEST_F(Pages, DestroyAndResetFreeTheRunningEffects) {
  std::vector<PlacedEmitter> em = {TestEmitter("FIRE", 0, 0, 0), TestEmitter("FIRE", 1, 0, 0)};
  Write("LEVEL.DAT", 22, OneType("FIRE"), &em);
  ASSERT_EQ(edppLoadPage("LEVEL.DAT", 1, nullptr), 1);
  edppStartPage(1);
  EXPECT_EQ(freedebkeyptr, 2);
  edppDestroyAllParticles();
  EXPECT_EQ(freedebkeyptr, 0);
  EXPECT_EQ(edpp_instances_used, 0);
  ASSERT_EQ(edppLoadPage("LEVEL.DAT", 1, nullptr), 2);
  edppStartPage(2);
  ParticleReset();
  EXPECT_EQ(freedebkeyptr, 0);
  EXPECT_EQ(edpp_page_used[2], 0);
}

TEST_F(Pages, ResizingATypeResizesItsRunningEmitters) {
  std::vector<PlacedEmitter> em = {TestEmitter("FIRE", 0, 0, 0)};
  std::vector<DebrisEffectType> types = {TestType("FIRE", 1.0f, 1)};
  Write("LEVEL.DAT", 22, types, &em);
  ASSERT_EQ(edppLoadPage("LEVEL.DAT", 1, nullptr), 1);
  edppStartPage(1);
  const int key = edpp_ptls[0].key;
  DebrisStatusAlwaysOn(&edpp_ptls[0].key);
  Frames(2);
  EXPECT_EQ(K(key).nchunks, 2);
  DebrisEffectType* t = debtab[edpp_ptls[0].type];
  t->gen_rate = 4;
  edppCalcEffectParticleCount(t);
  EXPECT_EQ(t->particle_count, 240);
  EXPECT_EQ(K(key).nchunks, 8);
  EXPECT_EQ(K(key).capacity, 240);
}

}  // namespace
