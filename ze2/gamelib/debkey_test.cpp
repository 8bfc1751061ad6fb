// Live effects: keys, chunks, bursts into shared keys, the generators and
// momentum adjusters, bounce scheduling and the pools' limits.
#include <cmath>

#include "debris_sys_test.h"

namespace {

using Keys = Particles;

DebrisEffectType Box(const char* name, int rate = 1) {
  DebrisEffectType t = TestType(name, 1.0f, rate);
  t.base_speed = 2;
  t.var = {0.5f, 0.5f, 0.5f};
  t.start = {0.25f, 0.25f, 0.25f};
  return t;
}

TEST_F(Keys, AddDebrisEffectSetsUpAKeyAndReusesTheVariablesKey) {
  DebrisEffectType t = Box("A");
  t.sounds[2].id = 4;
  const int type = InstallType(t);
  int key = -1;
  EXPECT_EQ(AddDebrisEffect(&key, type, 1, 2, 3), key);
  ASSERT_GE(key, 0);
  DebrisKey& k = K(key);
  EXPECT_EQ(k.type, type);
  EXPECT_EQ(k.pos.y, 2.0f);
  EXPECT_EQ(k.bounce, 0.9f);
  EXPECT_EQ(k.switch_id, -1);
  EXPECT_EQ(k.room, -1);
  EXPECT_EQ(k.has_sounds, 1);
  EXPECT_EQ(FindDebrisEffectStack(&k), &debris_emitter_stack[debris_emitter_stack_index]);
  // Again on the same variable: the same key, re-initialised in place.
  DebrisReflectionOrientation(key, 1, 2, 3.0f, 0.5f);
  const int before = key;
  AddDebrisEffect(&key, type, 4, 5, 6);
  EXPECT_EQ(key, before);
  EXPECT_EQ(k.pos.x, 4.0f);
  EXPECT_EQ(k.bounce, 0.9f);
  int n = 0;
  for (DebrisKey* p = debris_emitter_stack[debris_emitter_stack_index]; p; p = p->next) n++;
  EXPECT_EQ(n, 1) << "listed once";
  EXPECT_EQ(freedebkeyptr, 1);
}

TEST_F(Keys, KeysOutsideTheTableAndTypesThatAreNoneActAsNone) {
  const int type = InstallType(Box("A"));
  for (int bad : {-1, 0, 256, -5}) {
    int key = -1;
    EXPECT_EQ(AddDebrisEffect(&key, bad, 0, 0, 0), -1) << bad;
    EXPECT_EQ(key, -1);
  }
  int key = 600;
  AddDebrisEffect(&key, type, 0, 0, 0);
  EXPECT_EQ(key, 0) << "a key past the table counts as none";
  int stale = 7;  // a key that is free
  AddDebrisEffect(&stale, type, 0, 0, 0);
  EXPECT_EQ(stale, 1) << "a free key is not taken over";
  for (int k : {-1, 512, 9999}) {
    DebrisEmiterPos(k, 1, 1, 1);
    DebrisSetGroupID(k, 3);
    DebReAlloc(k, 10);
    int v = k;
    DebFree(&v);
    EXPECT_EQ(v, k);
    DebFreeInstantly(&v);
  }
  EXPECT_EQ(freedebkeyptr, 2);
}

TEST_F(Keys, AnEmptyKeyPoolLeavesTheVariableEmpty) {
  const int type = InstallType(Box("A"));
  for (int i = 0; i < DEB_KEYS; i++) {
    int key = -1;
    ASSERT_GE(AddDebrisEffect(&key, type, 0, 0, 0), 0);
  }
  int key = -1;
  EXPECT_EQ(AddDebrisEffect(&key, type, 0, 0, 0), -1);
  EXPECT_EQ(key, -1);
  EXPECT_EQ(DebAlloc(), -1);
}

TEST_F(Keys, StartOffsetLinesTheCycleUpWithTheFrameCount) {
  DebrisEffectType t = Box("A");
  t.on_time = 10, t.off_time = 20;
  const int type = InstallType(t);
  int key = -1;
  AddDebrisEffect(&key, type, 0, 0, 0);
  const struct {
    int frames, offset, phase;
  } cases[] = {{100, 5, 25}, {100, 10, 0}, {95, 0, 25}, {0, 0, 0}, {100, 40, 60}};
  for (const auto& c : cases) {
    globalframes = c.frames;
    DebrisStartOffset(key, c.offset);
    EXPECT_EQ(K(key).phase, c.phase) << c.frames << " " << c.offset;
    EXPECT_EQ(K(key).on_counter, 10);
  }
  // A damaged offset far outside the cycle lands within one period.
  for (int f : {INT32_MIN, INT32_MAX, -100000}) {
    DebrisStartOffset(key, f);
    EXPECT_GE(K(key).phase, 0) << f;
    EXPECT_LT(K(key).phase, 30) << f;
  }
  // No cycle (on and off 0), a random time: phase 0.
  t.on_time = t.off_time = 0;
  int k2 = -1;
  AddDebrisEffect(&k2, InstallType(t), 0, 0, 0);
  DebrisStartOffset(k2, 7);
  EXPECT_EQ(K(k2).phase, 0);
  t.on_time = 10, t.off_time = 20, t.rand_off_time = 3;
  int k3 = -1;
  AddDebrisEffect(&k3, InstallType(t), 0, 0, 0);
  DebrisStartOffset(k3, 7);
  EXPECT_EQ(K(k3).phase, 0);
}

TEST_F(Keys, ReAllocationCapsAtThirtyTwoChunks) {
  const int type = InstallType(Box("A"));
  int key = -1;
  AddDebrisEffect(&key, type, 0, 0, 0);
  DebReAlloc(key, 2000);
  EXPECT_EQ(K(key).nchunks, 32);
  EXPECT_EQ(K(key).capacity, 1024);
  EXPECT_EQ(FreeChunks(), 304 - 32);
  DebReAlloc(key, 40);
  EXPECT_EQ(K(key).nchunks, 2);
  EXPECT_EQ(K(key).capacity, 40);
  EXPECT_EQ(FreeChunks(), 304 - 32) << "released chunks wait under controls";
  EXPECT_EQ(freechunkcontrolsptr, 30);
  DebReAlloc(key, 50);
  EXPECT_EQ(K(key).nchunks, 2);
  EXPECT_EQ(K(key).capacity, 50) << "same chunks: only the capacity";
  DebrisEffectType g = Box("G");
  g.blend = DEB_BLEND_GLASS;
  int gk = -1;
  AddDebrisEffect(&gk, InstallType(g), 0, 0, 0);
  DebReAlloc(gk, 2000);
  EXPECT_EQ(K(gk).nchunks, 32);
  EXPECT_EQ(K(gk).capacity, 384);
  EXPECT_EQ(FreeGlass(), 0);
  // No glass chunk left: a second glass key gets none.
  int gk2 = -1;
  AddDebrisEffect(&gk2, debkeydata[gk].type, 0, 0, 0);
  DebReAlloc(gk2, 10);
  EXPECT_EQ(K(gk2).nchunks, 0);
}

TEST_F(Keys, BurstsFillTheTypesSharedKeys) {
  DebrisEffectType t = Box("SHOT");
  t.ghosts = 1;
  t.ghost_sep = 0.1f;
  const int type = InstallType(t);
  const ZEVEC at = {1, 2, 3};
  AddVariableShotDebrisEffect(type, &at, 40, 0, 0);
  const int key = debtab[type]->shared_keys[0];
  ASSERT_GE(key, 0);
  EXPECT_EQ(K(key).capacity, 80) << "40 particles and their ghosts";
  EXPECT_EQ(K(key).nchunks, 3);
  EXPECT_EQ(K(key).controlled, 3);
  EXPECT_EQ(K(key).origin.y, 2.0f);
  EXPECT_EQ(debtab[type]->shared_keys[1], -1);
  // A ghost is its particle's copy, one separation later.
  const DebrisParticle* p = DebrisChunkParticles(K(key).chunks[0]);
  EXPECT_EQ(p[1].x, p[0].x);
  EXPECT_FLOAT_EQ(p[1].birth, p[0].birth + 0.1f);
  EXPECT_NEAR(p[0].x, 1.0f, 0.26f) << "the burst position is added";
  // Up to 1024 a key, then the next slot; all four full: nothing more.
  for (int i = 0; i < 11; i++) AddVariableShotDebrisEffect(type, &at, 40, 0, 0);
  EXPECT_EQ(K(key).capacity, 960);
  AddVariableShotDebrisEffect(type, &at, 40, 0, 0);
  const int second = debtab[type]->shared_keys[1];
  ASSERT_GE(second, 0);
  EXPECT_EQ(K(second).capacity, 80);
  for (int i = 0; i < 12 * 2 + 11; i++) AddVariableShotDebrisEffect(type, &at, 40, 0, 0);
  for (int s : debtab[type]->shared_keys) ASSERT_GE(s, 0);
  const int used = freedebchkptr;
  const int64_t seed = debris_seed;
  AddVariableShotDebrisEffect(type, &at, 40, 0, 0);
  EXPECT_EQ(freedebchkptr, used) << "every shared key is full";
  EXPECT_EQ(debris_seed, seed);
}

TEST_F(Keys, BurstsOutsideTheRadiiMakeNoKey) {
  DebrisEffectType t = Box("FAR");
  t.cut_on = 2, t.cut_off = 10;
  const int type = InstallType(t);
  const ZEVEC camera = {0, 0, 0};
  DebrisRegisterCutoffCameraVec(&camera);
  for (float d : {1.0f, 10.0f, 20.0f}) {
    const ZEVEC at = {d, 0, 0};
    AddVariableShotDebrisEffect(type, &at, 5, 0, 0);
    EXPECT_EQ(debtab[type]->shared_keys[0], -1) << d;
  }
  const ZEVEC in = {5, 0, 0};
  AddVariableShotDebrisEffect(type, &in, 5, 0, 0);
  EXPECT_GE(debtab[type]->shared_keys[0], 0);
  EXPECT_FLOAT_EQ(CameraEmitterDistance(&in), 5.0f);
}

TEST_F(Keys, GlassIsTwelveToAChunkForEveryGenerator) {
  // Radial kinds emit nothing for glass; the position kinds index by 12.
  for (int kind = 0; kind < DEB_GENERATORS; kind++) {
    DebrisEffectType g = Box("GLASS");
    g.blend = DEB_BLEND_GLASS;
    g.gen_kind = int8_t(kind);
    g.pos_scale = {1.0f / 2147483648.0f, 0, 0};
    const int type = InstallType(g);
    int key = -1;
    AddDebrisEffect(&key, type, 0, 0, 0);
    DebReAlloc(key, 24);
    ASSERT_EQ(K(key).nchunks, 2);
    const int before = debris_generated_total;
    for (int i = 0; i < 13; i++) K(key).gen(&K(key), debtab[type], 0);
    (void)before;
    const DebrisParticle* second = DebrisChunkParticles(K(key).chunks[1]);
    const bool emits = kind < 6;
    EXPECT_EQ(K(key).cursor, emits ? 13 : 0) << kind;
    if (emits) {
      EXPECT_LT(second[0].birth, 1.0f) << "the 13th particle opens the second chunk, kind " << kind;
      EXPECT_EQ(second[1].rate, 32768.0f) << kind;
    }
    int k = key;
    DebFreeInstantly(&k);
  }
}

TEST_F(Keys, GeneratorsWriteTheirParticles) {
  globaltime = 10.0f;
  DebrisEffectType t = Box("GEN");
  t.pos_scale = {1.0f / 2147483648.0f, 0, 0};
  t.pos_base = {5, 6, 7};
  t.vel_base = {1, 2, 3};
  t.start = {2, 0, 0};
  t.var = {0, 0, 0};
  const struct {
    int kind;
    float birth;
    bool origin;
  } cases[] = {{0, 10 + 1.0f / 60, true}, {2, 10, false}, {5, 10, false}, {6, 10 + 1.0f / 60, true},
               {8, 10 + 1.0f / 60, true}, {11, 10 + 1.0f / 60, true}};
  for (const auto& c : cases) {
    t.gen_kind = int8_t(c.kind);
    const int type = InstallType(t);
    const ZEVEC at = {100, 0, 0};
    AddVariableShotDebrisEffect(type, &at, 1, 0, 0);
    const DebrisKey& k = K(debtab[type]->shared_keys[0]);
    const DebrisParticle& p = DebrisChunkParticles(k.chunks[0])[0];
    EXPECT_FLOAT_EQ(p.birth, c.birth) << c.kind;
    EXPECT_EQ(p.x > 50.0f, c.origin) << c.kind;
    if (c.kind == 2) {
      EXPECT_EQ(p.y, 6.0f);
      EXPECT_EQ(p.vz, 3.0f);
      EXPECT_FLOAT_EQ(p.rate, 64.0f);
    }
    if (c.kind == 6) {
      // (0, radius 2, 0) turned by no angle; the speed along the ray.
      EXPECT_FLOAT_EQ(p.y, 2.0f);
      EXPECT_FLOAT_EQ(p.vy, 2.0f);
    }
    if (c.kind == 11) {
      EXPECT_FLOAT_EQ(p.x, 102.0f);
      EXPECT_FLOAT_EQ(p.vx, 2.0f);
    }
  }
}

TEST_F(Keys, MomentumAdjustersSetTheVelocityFromThePosition) {
  DebrisParticle p = {1, 2, 3, 0, 10, 20, 30, 64};
  DebrisEffectType t = TestType("M");
  const struct {
    int kind;
    float vx, vy, vz;
  } cases[] = {{1, 2, 20, 6}, {2, -1, 20, -3}, {3, 4, 20, 12}, {4, 16, 20, 48}, {6, 5.4f, 10.8f, 16.2f}};
  for (const auto& c : cases) {
    DebrisParticle q = p;
    gencodetab[c.kind](nullptr, &t, &q);
    EXPECT_FLOAT_EQ(q.vx, c.vx) << c.kind;
    EXPECT_FLOAT_EQ(q.vy, c.vy) << c.kind;
    EXPECT_FLOAT_EQ(q.vz, c.vz) << c.kind;
  }
  DebrisParticle q = p;
  GenDebMomAdjFromPosRevTree(nullptr, &t, &q);
  EXPECT_FLOAT_EQ(q.vx, 10 - 0.6f);
  EXPECT_FLOAT_EQ(q.vy, 20 - 0.4f * std::sqrt(10.0f));
  EXPECT_LE(q.rate, 64.0f);
}

TEST_F(Keys, SolveQuadraticByTable) {
  const struct {
    float a, b, c;
    int result;
    float t1, t2;
  } cases[] = {{1, 0, -4, 1, -2, 2}, {1, 2, 1, 1, -1, -1}, {1, 0, 4, 0, 0, 0}, {0, 2, -4, 1, 2, 2}, {0, 0, 1, 0, 0, 0}};
  for (const auto& c : cases) {
    float t1 = 0, t2 = 0;
    EXPECT_EQ(SolveQuadratic(c.a, c.b, c.c, &t1, &t2), c.result);
    if (c.result) {
      EXPECT_EQ(t1, c.t1);
      EXPECT_EQ(t2, c.t2);
    }
  }
}

TEST_F(Keys, FloorBouncesAreScheduledAtTheImpact) {
  DebrisEffectType t = TestType("BOUNCE");
  t.gen_kind = 9;
  t.gravity = -5;
  t.base_speed = 0;
  t.var = t.start = {0, 0, 0};
  t.life = 2;
  const int type = InstallType(t);
  int key = -1;
  AddDebrisEffect(&key, type, 0, 0, 0);
  DebrisReflectionOrientation(key, 0, 0, -5.0f, 0.5f);
  DebReAlloc(key, 32);
  K(key).gen(&K(key), debtab[type], 0);
  // From height 0 to the plane at -5 with gravity -5: one second.
  ASSERT_EQ(freechunkcontrolsptr, 1);
  const DebrisChunkControl* c = debris_chunk_control_stack[debris_chunk_control_stack_index];
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->kind, DEBCTL_FLOOR);
  EXPECT_EQ(c->timer, 60);
  EXPECT_FLOAT_EQ(c->t, 1.0f);
  EXPECT_EQ(c->bounce, 0.5f);
  // A plane out of reach within the life: no bounce.
  DebrisReflectionOrientation(key, 0, 0, -50.0f, 0.5f);
  K(key).gen(&K(key), debtab[type], 0);
  EXPECT_EQ(freechunkcontrolsptr, 1);
}

TEST_F(Keys, WallBouncesNeedThePathToCrossTheWall) {
  DebrisEffectType t = TestType("WALL");
  t.gen_kind = 10;
  t.base_speed = 0;
  t.var = t.start = {0, 0, 0};
  t.life = 2;
  t.vel_base = {0, 0, 0};
  const int type = InstallType(t);
  int key = -1;
  AddDebrisEffect(&key, type, 0, 0, 0);
  DebReAlloc(key, 32);
  DebrisReflectionOrientation(key, 0, 0, 1.0f, 0.5f);
  K(key).gen(&K(key), debtab[type], 0);
  EXPECT_EQ(freechunkcontrolsptr, 0) << "standing still: no crossing";
  // Moving along +x at 1 a second from 0 meets the wall x = 1 after 1 s:
  // the emitter turns the up speed to +x.
  ZEMTX turn = zemtx_identity;
  turn.m[0][0] = 0, turn.m[0][1] = -1;
  turn.m[1][0] = 1, turn.m[1][1] = 0;
  DebrisEmitterOrientationMtx(key, &turn);
  debtab[type]->base_speed = 1;
  K(key).gen(&K(key), debtab[type], 0);
  ASSERT_EQ(freechunkcontrolsptr, 1);
  const DebrisChunkControl* c = debris_chunk_control_stack[debris_chunk_control_stack_index];
  EXPECT_EQ(c->kind, DEBCTL_WALL);
  EXPECT_NEAR(c->t, 1.0f, 1e-5f);
  EXPECT_EQ(c->timer, 59 + (c->t >= 1.0f));
}

TEST_F(Keys, FindAllOfTypeAndRings) {
  DebrisEffectType ring = Box("RING");
  ring.gen_kind = 11;
  ring.start = {3, 0, 0};
  const int type = InstallType(ring);
  int keys[3] = {-1, -1, -1};
  for (int i = 0; i < 3; i++) AddDebrisEffect(&keys[i], type, float(i), 0, 0);
  DebReAlloc(keys[1], 10);
  ZEVEC pos[4];
  int found[4];
  EXPECT_EQ(DebrisFindAllOfType(type, pos, found, 4, 0, 0), 3);
  EXPECT_EQ(found[2], keys[2]);
  EXPECT_EQ(DebrisFindAllOfType(type, pos, found, 1, 1, 0), 2);
  EXPECT_EQ(pos[0].x, 1.0f);
  EXPECT_EQ(DebrisFindAllOfType(type, nullptr, found, 4, 0, 1), 1);
  EXPECT_EQ(found[0], keys[1]);
  ZEVEC centre, axis;
  float r;
  EXPECT_EQ(DebrisGetRingProperties(keys[2], &centre, &axis, &r), 1);
  EXPECT_EQ(r, 3.0f);
  EXPECT_EQ(axis.y, 1.0f);
  EXPECT_EQ(centre.x, 2.0f);
  EXPECT_EQ(DebrisGetRingProperties(-1, &centre, &axis, &r), 0);
}

TEST_F(Keys, FreeingHandsTheChunksToControlsAndTheKeyBack) {
  DebrisEffectType t = Box("FREE");
  t.ghosts = 2, t.ghost_sep = 0.5f;
  const int type = InstallType(t);
  int key = -1;
  AddDebrisEffect(&key, type, 4, 5, 6);
  DebReAlloc(key, 64);
  const int k = key;
  DebrisChunkRenderEntry* e = K(k).entry;
  ASSERT_NE(e, nullptr);
  DebFree(&key);
  EXPECT_EQ(key, -1);
  EXPECT_EQ(K(k).type, 0);
  EXPECT_EQ(e->key, nullptr) << "an orphan";
  EXPECT_EQ(e->pos.y, 5.0f);
  EXPECT_EQ(freechunkcontrolsptr, 2);
  EXPECT_EQ(debris_chunk_control_stack[debris_chunk_control_stack_index]->timer, 120) << "(1 + 2 x 0.5) x 60";
  EXPECT_EQ(FindDebrisEffectStack(&K(k)), nullptr);
  EXPECT_EQ(freedebkeyptr, 0);
  // Instantly: the entry empties at once, the chunks return 4 frames on.
  int k2 = -1;
  AddDebrisEffect(&k2, type, 0, 0, 0);
  DebReAlloc(k2, 64);
  DebrisChunkRenderEntry* e2 = K(k2).entry;
  DebFreeInstantly(&k2);
  EXPECT_EQ(e2->chunk, nullptr);
  EXPECT_EQ(freechunkcontrolsptr, 4);
  DebFreeOrphansInstantly(type);
  EXPECT_EQ(e->chunk, nullptr);
  EXPECT_EQ(freechunkcontrolsptr, 4);
  // With every control taken the chunks go straight back to the free list.
  int k3 = -1;
  AddDebrisEffect(&k3, type, 0, 0, 0);
  DebReAlloc(k3, 64);
  const int taken = freedebchkptr;
  while (DebTakeControl()) {
  }
  DebFreeInstantly(&k3);
  EXPECT_EQ(freedebchkptr, taken - 2) << "both chunks of the key returned";
}

}  // namespace

namespace {

TEST_F(Keys, ANewSetUpForgetsTheTypesSharedKeys) {
  const int type = InstallType(Box("SHOT"));
  const ZEVEC at = {0, 0, 0};
  AddVariableShotDebrisEffect(type, &at, 5, 0, 0);
  ASSERT_GE(debtab[type]->shared_keys[0], 0);
  char* cursor = pool;
  DebrisSetup(&cursor, "gfx\\particle.pnt", 304);
  EXPECT_EQ(debtab[type]->shared_keys[0], -1);
  AddVariableShotDebrisEffect(type, &at, 5, 0, 0);
  const int key = debtab[type]->shared_keys[0];
  ASSERT_GE(key, 0);
  EXPECT_EQ(K(key).type, type);
  EXPECT_EQ(K(key).capacity, 5);
}

TEST_F(Keys, DamagedLivesAndGhostsGiveNoNegativeFade) {
  const struct {
    float life;
    int ghosts;
    float sep;
    int frames;
  } cases[] = {{1, 0, 0, 60}, {-1, 0, 0, 0}, {1, -5, 1, 0}, {1e30f, 0, 0, 1 << 24}, {1, 2, 0.5f, 120}};
  for (const auto& c : cases) {
    DebrisEffectType t = TestType("F", c.life);
    t.ghosts = int16_t(c.ghosts), t.ghost_sep = c.sep;
    EXPECT_EQ(DebFadeFrames(&t), c.frames) << c.life << " " << c.ghosts;
  }
  // A burst of a type with a negative ghost count emits nothing.
  DebrisEffectType t = Box("NEG");
  t.ghosts = -3;
  const int type = InstallType(t);
  const ZEVEC at = {0, 0, 0};
  AddVariableShotDebrisEffect(type, &at, 5, 0, 0);
  EXPECT_EQ(debtab[type]->shared_keys[0], -1);
}

}  // namespace

namespace {

TEST_F(Keys, SetUpFromAnUnalignedCursorAlignsWhatItCarves) {
  char* cursor = pool + 3;
  DebrisSetup(&cursor, "gfx\\particle.pnt", 304);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(debris_chunk_controls) % 16, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(ParticleChunkRenderStack) % 16, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(freedebchunks[0]) % 16, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(DmaDebTypes) % 16, 0u);
  int key = -1;
  AddDebrisEffect(&key, InstallType(Box("A")), 0, 0, 0);
  DebReAlloc(key, 100);
  EXPECT_EQ(K(key).nchunks, 4);
}

}  // namespace
