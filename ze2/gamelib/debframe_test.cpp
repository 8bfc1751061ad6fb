// The particle frame: the wheels' timing, triggers, emission, releases,
// bounces, collision spheres, passes, re-origining and pictures of the
// particles drawn through the particle program on the GS model.
#include <cmath>

#include "debris_sys_test.h"

namespace {

using Wheels = Particles;

DebrisEffectType Still(const char* name, float life = 1.0f) {
  DebrisEffectType t = TestType(name, life, 1);
  t.var = t.start = {0, 0, 0};
  t.width[0] = {0, 0.5f}, t.width[1] = {1, 0.5f};
  t.height[0] = {0, 0.5f}, t.height[1] = {1, 0.5f};
  t.alpha[0] = {0, 128}, t.alpha[1] = {1, 128};
  t.colour[0] = {0, 255, 0, 0}, t.colour[1] = {0.33f, 255, 0, 0};
  t.colour[2] = {0.34f, 0, 255, 0}, t.colour[3] = {0.66f, 0, 255, 0};
  t.colour[4] = {0.67f, 0, 0, 255}, t.colour[5] = {1, 0, 0, 255};
  t.cut_off = 0;
  return t;
}

TEST_F(Wheels, AKeyWithPhase70IsVisitedAgainAfter70Frames) {
  const int type = InstallType(Still("WHEEL"));
  int key = -1;
  AddDebrisEffect(&key, type, 0, 0, 0);
  DebrisStatusAlwaysOn(&key);
  K(key).phase = 70;
  Frames(70);
  EXPECT_EQ(K(key).cursor, 0) << "not visited with phase 0 yet";
  EXPECT_EQ(K(key).nchunks, 0);
  Frames(1);
  EXPECT_EQ(K(key).cursor, 1) << "two rounds of 32 and 6 slots, then it emits";
  EXPECT_EQ(K(key).nchunks, 2) << "60 particles of one life";
  Frames(1);
  EXPECT_EQ(K(key).cursor, 2) << "an active key comes back every frame";
}

TEST_F(Wheels, ASwitchThatIsOffNeverEmits) {
  const int type = InstallType(Still("SWITCH"));
  int key = -1;
  AddDebrisEffect(&key, type, 0, 0, 0);
  DebrisSetTrigger(key, 1, 3, 0);
  Frames(100);
  EXPECT_EQ(K(key).cursor, 0);
  EXPECT_EQ(K(key).nchunks, 0);
  object_switches[3] = 1;
  Frames(100);
  EXPECT_GT(K(key).cursor, 0);
  // A switch id past the table is a switch that is off.
  int k2 = -1;
  AddDebrisEffect(&k2, type, 0, 0, 0);
  DebrisSetTrigger(k2, 1, 100000, 0);
  Frames(100);
  EXPECT_EQ(K(k2).cursor, 0);
}

TEST_F(Wheels, EffectsOutsideTheirRadiiOrGroupDoNotEmit) {
  DebrisEffectType t = Still("RANGE");
  t.cut_on = 1, t.cut_off = 10;
  const int type = InstallType(t);
  ZEVEC camera = {0, 0, 0};
  DebrisRegisterCutoffCameraVec(&camera);
  int near = -1, far = -1, mid = -1, grouped = -1, forced = -1;
  AddDebrisEffect(&near, type, 0.5f, 0, 0);
  AddDebrisEffect(&far, type, 20, 0, 0);
  AddDebrisEffect(&mid, type, 5, 0, 0);
  AddDebrisEffect(&grouped, type, 5, 0, 0);
  AddDebrisEffect(&forced, type, 20, 0, 0);
  DebrisSetGroupID(grouped, 2);
  DebrisStatusAlwaysOn(&forced);
  DebrisSetRenderGroup(3);
  Frames(10);
  EXPECT_EQ(K(near).cursor, 0);
  EXPECT_EQ(K(far).cursor, 0);
  EXPECT_GT(K(mid).cursor, 0);
  EXPECT_EQ(K(grouped).cursor, 0);
  EXPECT_GT(K(forced).cursor, 0);
  // Moving out of range: its chunks fade out.
  const int chunks = K(mid).nchunks;
  EXPECT_GT(chunks, 0);
  camera = {100, 0, 0};
  Frames(3);
  EXPECT_EQ(K(mid).nchunks, 0);
  EXPECT_EQ(K(mid).want_chunks, 0);
}

TEST_F(Wheels, AReleasedChunkIsDrawnForItsFadeThenReturnedEightFramesLater) {
  DebrisEffectType t = Still("FADE", 0.5f);
  t.ghosts = 1, t.ghost_sep = 0.25f;  // (0.5 + 0.25) x 60 = 45 frames
  const int type = InstallType(t);
  int key = -1;
  AddDebrisEffect(&key, type, 0, 0, 0);
  DebReAlloc(key, 10);
  DebrisChunkRenderEntry* e = K(key).entry;
  ASSERT_NE(e, nullptr);
  DebFree(&key);
  int drawn = 0, returned = 0;
  for (int f = 1; f <= 60; f++) {
    Debris(0);
    if (e->chunk) drawn = f;
    if (!returned && FreeChunks() == 304) returned = f;
  }
  EXPECT_EQ(drawn, 45);
  EXPECT_EQ(returned, 54) << "emptied in frame 46, cut 4 frames on, returned 4 more on";
  EXPECT_EQ(freechunkcontrolsptr, 0);
  // The returned chunk's slots are dead.
  EXPECT_EQ(DebrisChunkParticles(freedebchunks[0])[5].birth, 1.0e10f);
}

TEST_F(Wheels, FiniteEffectsFreeThemselves) {
  DebrisEffectType t = Still("FINITE");
  t.on_time = 2, t.off_time = 3;
  const int type = InstallType(t);
  int key = -1;
  const ZEVEC at = {0, 0, 0};
  EXPECT_GE(AddFiniteShotDebrisEffect(&key, type, &at, 2), 0);
  const int k = key;
  Frames(40);
  EXPECT_EQ(K(k).type, 0) << "two on-periods, then freed";
  EXPECT_EQ(freedebkeyptr, 0);
}

TEST_F(Wheels, ShotChunksLeaveTheirKeyAsTheyExpire) {
  const int type = InstallType(Still("SHOTS", 0.5f));
  const ZEVEC at = {0, 0, 0};
  AddVariableShotDebrisEffect(type, &at, 40, 0, 0);
  const int key = debtab[type]->shared_keys[0];
  EXPECT_EQ(K(key).nchunks, 2);
  Frames(31);
  EXPECT_EQ(K(key).nchunks, 0) << "both chunks leave after 30 frames";
  EXPECT_EQ(K(key).capacity, 0);
  EXPECT_EQ(K(key).entry, nullptr);
  Frames(8);
  EXPECT_EQ(FreeChunks(), 304);
  // The key stays the type's, ready for the next burst.
  AddVariableShotDebrisEffect(type, &at, 3, 0, 0);
  EXPECT_EQ(debtab[type]->shared_keys[0], key);
  EXPECT_EQ(K(key).nchunks, 1);
}

TEST_F(Wheels, AFloorBounceReflectsWithTheFactorAndComesToRest) {
  DebrisEffectType t = Still("BALL", 4.0f);
  t.gen_rate = 0;
  t.gen_kind = 9;
  t.gravity = -5;
  const int type = InstallType(t);
  int key = -1;
  AddDebrisEffect(&key, type, 0, 0, 0);
  DebrisReflectionOrientation(key, 0, 0, -5.0f, 0.5f);
  DebReAlloc(key, 32);
  K(key).gen(&K(key), debtab[type], 0);
  DebrisParticle* p = DebrisChunkParticles(K(key).chunks[0]);
  Frames(61);
  // At t = 1 it falls at 10 a second; it leaves at 5, on the plane.
  EXPECT_FLOAT_EQ(p->vy + 2.0f * t.gravity * 1.0f, 5.0f);
  EXPECT_FLOAT_EQ(p->y + p->vy * 1.0f + t.gravity * 1.0f, -5.0f);
  EXPECT_EQ(freechunkcontrolsptr, 1) << "the next bounce is scheduled";
  // A factor so small that the next impact is within a frame: at rest.
  DebrisReflectionOrientation(key, 0, 0, -5.0f, 0.001f);
  K(key).gen(&K(key), debtab[type], 0);
  DebrisParticle* q = p + 1;
  Frames(61);
  EXPECT_EQ(q->vy, 0.0f);
  EXPECT_EQ(q->y, -5.0f);
}

TEST_F(Wheels, AWallBounceReflectsTheSpeedAcrossTheWall) {
  DebrisEffectType t = Still("WALL", 4.0f);
  t.gen_rate = 0;
  t.gen_kind = 10;
  t.base_speed = 1;
  const int type = InstallType(t);
  int key = -1;
  AddDebrisEffect(&key, type, 0, 0, 0);
  ZEMTX turn = zemtx_identity;  // the up speed along +x
  turn.m[0][0] = 0, turn.m[0][1] = -1;
  turn.m[1][0] = 1, turn.m[1][1] = 0;
  DebrisEmitterOrientationMtx(key, &turn);
  DebrisReflectionOrientation(key, 0, 0, 1.0f, 0.5f);
  DebReAlloc(key, 32);
  K(key).gen(&K(key), debtab[type], 0);
  DebrisParticle* p = DebrisChunkParticles(K(key).chunks[0]);
  Frames(62);
  EXPECT_FLOAT_EQ(p->vx, -0.5f);
  EXPECT_NEAR(p->x + p->vx * 1.0f, 1.0f, 1e-5f) << "the path passes the impact point";
  EXPECT_EQ(freechunkcontrolsptr, 0) << "one wall bounce a particle";
}

TEST_F(Wheels, CollisionSpheresByTable) {
  const ZEVEC origin = {0, 0, 0};
  EXPECT_EQ(DebrisCollisionCheck(&origin, 100.0f), -1) << "no spheres anywhere";
  DebrisEffectType t = Still("SPHERES");
  t.spheres = 2;
  t.base_speed = 6;
  t.collision[0] = {0, 0.5f}, t.collision[1] = {1, 1.5f};
  const int type = InstallType(t);
  int key = -1;
  AddDebrisEffect(&key, type, 10, 0, 0);
  DebrisStatusAlwaysOn(&key);
  Frames(31);
  // The first sphere started a frame after the key became active (frame 2)
  // and is 29 frames old: at y = 6 x 29 / 60 = 2.9, radius 0.5 + 29/60.
  const DebrisSphere& s = K(key).sphere[0];
  ASSERT_GE(s.age, 0.0f);
  const float y = 6.0f * s.age, r = 0.5f + s.age;
  const struct {
    ZEVEC p;
    float radius;
    int hit;
  } cases[] = {{{10, y, 0}, 0.0f, key}, {{10, y + r + 0.05f, 0}, 0.1f, key}, {{10, y + r + 0.15f, 0}, 0.1f, -1},
               {{0, 0, 0}, 1.0f, -1}};
  for (const auto& c : cases) EXPECT_EQ(DebrisCollisionCheck(&c.p, c.radius), c.hit) << c.p.y;
  EXPECT_NEAR(debris_collide_pt.x, 10.0f, 1e-5f);
}

TEST_F(Wheels, ShiftMovesEffectsAndOrphans) {
  const int type = InstallType(Still("SHIFT"));
  int key = -1, gone = -1;
  AddDebrisEffect(&key, type, 1, 2, 3);
  AddDebrisEffect(&gone, type, 4, 5, 6);
  DebReAlloc(gone, 10);
  DebrisChunkRenderEntry* orphan = K(gone).entry;
  DebFree(&gone);
  ZEMTX m = zemtx_identity;
  m.m[3][0] = 100;
  DebrisShift(&m);
  EXPECT_EQ(K(key).pos.x, 101.0f);
  EXPECT_EQ(K(key).effect.m[3][0], 0.0f) << "the orientation stays without translation";
  EXPECT_EQ(orphan->pos.x, 104.0f);
}

// ---- drawing -------------------------------------------------------------------

TEST_F(Wheels, EachTypeIsDrawnInItsOwnPass) {
  DebrisEffectType before = Still("BEFORE"), glass = Still("GLASS");
  before.draw_flag = 1;
  glass.blend = DEB_BLEND_GLASS;
  const int tb = InstallType(before), tg = InstallType(glass);
  const ZEVEC at = {0, 0, 0};
  AddVariableShotDebrisEffect(tb, &at, 3, 0, 0);
  AddVariableShotDebrisEffect(tg, &at, 3, 0, 0);
  int counts[4] = {};
  ObjDraw::Frame([&] {
    for (int pass = 0; pass < 4; pass++) {
      const int was = debris_drawn_total;
      DebrisDraw(0, pass);
      counts[pass] = debris_drawn_total - was;
    }
  });
  EXPECT_EQ(counts[0], 0);
  EXPECT_EQ(counts[1], 3) << "draw flag 1: the level pass only";
  EXPECT_EQ(counts[2], 3) << "glass: the glass pass";
  EXPECT_EQ(counts[3], 0);
  EXPECT_EQ(DebrisGlassParticlesActive(), 1);
}

TEST_F(Wheels, PictureOfParticlesAtThreeAgesAndExpired) {
  const int type = InstallType(Still("AGES"));
  // Bursts at x = -1.5, -0.5, 0.5 and 1.5 at falling times; drawn at time 10.
  const float born[4] = {9.0f, 9.5f, 9.8f, 7.0f};
  for (int i = 0; i < 4; i++) {
    globaltime = born[i];
    const ZEVEC at = {-1.5f + float(i), 0, 0};
    AddVariableShotDebrisEffect(type, &at, 1, 0, 0);
  }
  globaltime = 10.0f;
  const uint64_t frame = ObjDraw::Frame([&] { DebrisDraw(0, 0); });
  const Picture pic = Grab(frame, 160, 72, 320, 80, "particles_ages");
  float x, y;
  const ZEMTX here = zemtx_identity;
  const uint32_t want[4] = {0xff2020u, 0x20ff20u, 0x2020ffu, 0x202020u};  // additive over the clear grey
  const char* what[4] = {"age 0.98: blue", "age 0.48: green", "age 0.18: red", "expired"};
  for (int i = 0; i < 4; i++) {
    Project({-1.5f + float(i), 0, 0}, here, &x, &y);
    EXPECT_EQ(pic.at(int(x), int(y)), want[i]) << what[i];
  }
  EXPECT_EQ(pic.Count(0x202020u) + pic.Count(want[0]) + pic.Count(want[1]) + pic.Count(want[2]), int(pic.px.size()));
}

}  // namespace

namespace {

TEST_F(Wheels, PictureOfGlassOverACopiedFrame) {
  DebrisGlassInit();
  ASSERT_EQ(debris_glass_ready, 1);
  DebrisEffectType g = Still("SHARD");
  g.blend = DEB_BLEND_GLASS;
  g.width[0] = {0, 1}, g.width[1] = {1, 1};
  g.height[0] = {0, 1}, g.height[1] = {1, 1};
  for (DebColKey& c : g.colour) c = {c.time, 255, 64, 64};
  g.colour[7].time = 1;
  const int type = InstallType(g);
  globaltime = 9.9f;
  const ZEVEC at = {0, 0, 0};
  AddVariableShotDebrisEffect(type, &at, 1, 0, 0);
  globaltime = 10.0f;
  // The frame: left half blue, right half green; then the glass pass over it.
  const uint64_t frame = GlassFrame(*this, 0x00202020, [] {
    ZeRndrRect2di(0, 0, 320 * 16, 224 * 16, 0x80800000u, nullptr);
    ZeRndrRect2di(320 * 16, 0, 320 * 16, 224 * 16, 0x80008000u, nullptr);
  });
  const Picture pic = Grab(frame, 280, 92, 80, 40, "particles_glass");
  float x, y;
  Project({0, 0, 0}, zemtx_identity, &x, &y);
  // The shard shows the copy under it, tinted by its colour (255, 64, 64):
  // blue 0x80 x 64 / 128 on the left, green 0x80 x 64 / 128 on the right.
  EXPECT_EQ(pic.at(int(x) - 4, int(y)), 0x400000u);
  EXPECT_EQ(pic.at(int(x) + 4, int(y)), 0x004000u);
  EXPECT_EQ(pic.at(281, 93), 0x800000u) << "outside the shard: the frame";
  EXPECT_EQ(pic.at(358, 93), 0x008000u);
  EXPECT_GT(pic.Count(0x400000u), 20);
  EXPECT_EQ(pic.Count(0x400000u) + pic.Count(0x004000u) + pic.Count(0x800000u) + pic.Count(0x008000u),
            int(pic.px.size()));
}

}  // namespace

namespace {

TEST_F(Wheels, ALaterBurstIntoTheLastChunkKeepsItForItsOwnLife) {
  const int type = InstallType(Still("RETIME", 0.5f));
  const ZEVEC at = {0, 0, 0};
  AddVariableShotDebrisEffect(type, &at, 3, 0, 0);
  const int key = debtab[type]->shared_keys[0];
  Frames(20);
  AddVariableShotDebrisEffect(type, &at, 3, 0, 0);
  EXPECT_EQ(K(key).nchunks, 1);
  EXPECT_EQ(K(key).capacity, 6);
  Frames(25);
  EXPECT_EQ(K(key).nchunks, 1) << "30 frames from the second burst, not the first";
  Frames(6);
  EXPECT_EQ(K(key).nchunks, 0);
}

}  // namespace
