// The check program's world on the demo level's collision (the build's
// data directory): the character's feet over the steps and the ramp, and
// the thrown balls coming to rest on the ground and on the lift.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "coblib.h"
#include "demoworld.h"
#include "gamelib.h"
#include "gtest/gtest.h"
#include "platform_test.h"
#include "zecore.h"
#include "zecore_local.h"
#include "zeps2.h"

namespace {

struct DemoWorld : testing::Test {
  void SetUp() override {
    PlatSetHostRoot(ZE_DATA_DIR);
    ZeFileReset();
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    ZeTrigInit();
    InitLights();
    DemoWorldInit(nullptr, 0);
    ASSERT_NE(TerrainGetCur(), nullptr) << "levels\\demo.ter in " ZE_DATA_DIR;
  }
  void TearDown() override {
    DemoWorldEnd();
    ZeFileReset();
    PlatSetHostRoot(nullptr);
  }
};

// Walks at 0.05 a frame to each point in turn; the feet stay on the ground
// all the way and stand at the point's height when there.
TEST_F(DemoWorld, FeetKeepToTheGroundUpTheStepsAndDownTheRamp) {
  struct Point {
    float x, z, ground;
  };
  // Steps rise along z at x 4-8 (0.25 each, from z 20), the landing is at 1,
  // the ramp falls along x from 8 to 14 at z 23-24.
  const Point kPath[] = {{6, 19, 0},      {6, 20.5f, 0.25f}, {6, 21.5f, 0.5f}, {6, 22.5f, 0.75f},
                         {6, 23.5f, 1},   {9, 23.5f, 5.0f / 6}, {11, 23.5f, 0.5f}, {14.5f, 23.5f, 0},
                         {6, 23.5f, 1},   {6, 19, 0}};
  ZEVEC at = DemoWorldWalk({6, 0, 18}, {6, 0, 18});
  EXPECT_FLOAT_EQ(at.y, 0);
  for (const Point& p : kPath) {
    for (int f = 0; f < 400; f++) {
      const float dx = p.x - at.x, dz = p.z - at.z, d = std::sqrt(dx * dx + dz * dz);
      if (d < 1e-3f) break;
      const float k = d > 0.05f ? 0.05f / d : 1.0f;
      at = DemoWorldWalk(at, {at.x + dx * k, 0, at.z + dz * k});
      const float below = DemoWorldGround(at.x, at.z, at.y + 0.01f);
      ASSERT_NEAR(at.y, below, 1e-4f) << "at (" << at.x << ", " << at.z << ")";
    }
    EXPECT_NEAR(at.x, p.x, 1e-3f) << "reached (" << p.x << ", " << p.z << ")";
    EXPECT_NEAR(at.z, p.z, 1e-3f);
    EXPECT_NEAR(at.y, p.ground, 1e-3f) << "at (" << p.x << ", " << p.z << ")";
  }
}

// A wall (x -10 to -9, z 28 to 32, 2 high) stops the character.
TEST_F(DemoWorld, AWallStopsTheCharacter) {
  ZEVEC at = DemoWorldWalk({-12, 0, 30}, {-12, 0, 30});
  for (int f = 0; f < 200; f++) at = DemoWorldWalk(at, {at.x + 0.05f, 0, at.z});
  EXPECT_LT(at.x, -10.0f);
  EXPECT_GT(at.x, -10.6f);
  EXPECT_FLOAT_EQ(at.y, 0);
}

}  // namespace

namespace {

// The demo scene's instances as the collision binds them: the swinging
// pillar (instance 4) drives the lift and the turning platform.
struct DemoWorldScene : testing::Test {
  static constexpr int SWINGER = 4, INSTANCES = 8;
  ZEGSCNINST* insts = nullptr;
  ZEGSCENE* scene = nullptr;
  void SetUp() override {
    PlatSetHostRoot(ZE_DATA_DIR);
    ZeFileReset();
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    ZeTrigInit();
    insts = static_cast<ZEGSCNINST*>(EeMalloc(sizeof(ZEGSCNINST) * INSTANCES));
    scene = static_cast<ZEGSCENE*>(EeMalloc(sizeof(ZEGSCENE)));
    memset(insts, 0, sizeof(ZEGSCNINST) * INSTANCES);
    memset(static_cast<void*>(scene), 0, sizeof(ZEGSCENE));
    const ZEVEC at[INSTANCES] = {{0, 0, 20}, {-6, 0, 10}, {-6, 0, 18}, {-6, 0, 26}, {6, 0, 14}, {3, 0, 24}, {0, 1, 30}};
    for (int i = 0; i < INSTANCES; i++) {
      ZeMtxSetIdentity(&insts[i].mtx);
      insts[i].mtx.m[3][0] = at[i].x, insts[i].mtx.m[3][1] = at[i].y, insts[i].mtx.m[3][2] = at[i].z;
      insts[i].flags = 5;
    }
    scene->ninst = INSTANCES;
    scene->insts = insts;
    // The camera over the square, looking north.
    ZeMtxSetIdentity(&global_camera.mtx);
    global_camera.mtx.m[3][1] = 3, global_camera.mtx.m[3][2] = 4;
    InitLights();
    DemoWorldInit(scene, 0);
    ASSERT_NE(TerrainGetCur(), nullptr);
  }
  void TearDown() override {
    DemoWorldEnd();
    EeFree(insts);
    EeFree(scene);
    ZeMtxSetIdentity(&global_camera.mtx);
    ZeFileReset();
    PlatSetHostRoot(nullptr);
  }
  void Frame(int f, float lift) {
    DemoWorldBeforeScene(f);
    insts[SWINGER].mtx.m[3][1] += lift;  // the scene's update
    DemoWorldFrame(f);
  }
};

// Thrown, the balls come to rest: on the ground, on the lift (and then
// carried up with it), at the wall spline.
TEST_F(DemoWorldScene, BallsRestOnTheGroundRideTheLiftAndStopAtTheWallSpline) {
  for (int f = 0; f < 400; f++) Frame(f, 0.0f);
  const DemoBall& rolled = demo_balls[0];
  const DemoBall& lifted = demo_balls[1];
  const DemoBall& walled = demo_balls[3];
  EXPECT_GE(rolled.landings, 2) << "it bounced";
  EXPECT_NEAR(rolled.pos.y, 0.0f, 0.02f);
  EXPECT_LT(std::fabs(rolled.vel.y), 0.011f);
  EXPECT_NEAR(lifted.pos.y, 0.0f, 0.02f) << "on the pad (top at the pillar's foot)";
  EXPECT_NEAR(lifted.pos.x, 8.0f, 0.01f);
  EXPECT_NEAR(lifted.pos.z, 14.0f, 0.01f);
  // The wall spline runs from (0, 38) to (19, 39): the ball stops short of it.
  EXPECT_GT(walled.pos.z, 36.0f);
  EXPECT_LT(walled.pos.z, 38.0f);
  EXPECT_NEAR(walled.pos.y, 0.0f, 0.02f);
  // The lift rises 1.5 in 150 frames and the ball with it.
  for (int f = 400; f < 550; f++) Frame(f, 0.01f);
  EXPECT_NEAR(lifted.pos.y, 1.5f, 0.05f);
  EXPECT_NEAR(lifted.pos.x, 8.0f, 0.01f);
  EXPECT_NEAR(rolled.pos.y, 0.0f, 0.02f) << "the ground stays";
}

// The flicker light by the path reaches the character there and changes its
// light: both phases (toward the gradient colour and back) are seen.
TEST_F(DemoWorldScene, TheFlickerLightOnTheCharacter) {
  int flicker = -1;
  for (int i = 2; i < LIGHTS_MAX; i++)
    if (Lights[i].type == LEVLIGHT_FLICKER) flicker = i;
  ASSERT_GE(flicker, 0) << "the set's flicker light";
  const ZEVEC torva = {1.5f, 0.0f, 8.0f};
  int lowest = 255, highest = 0, changed = 0;
  uint8_t last[3] = {};
  for (int f = 0; f < 120; f++) {
    ProcessFlicker(&global_camera.mtx, 0, 1, 0);
    LIGHTSAMPLE s{};
    SearchLightsBasic(&global_camera.mtx, &torva, &s);
    lowest = std::min(lowest, int(Lights[flicker].flicklevel));
    highest = std::max(highest, int(Lights[flicker].flicklevel));
    changed += memcmp(last, s.cols[0], 3) != 0;
    memcpy(last, s.cols[0], 3);
  }
  EXPECT_EQ(lowest, 0);
  // No random table: each phase lasts its constant part, rising or falling
  // by the step a frame.
  EXPECT_EQ(highest, Lights[flicker].flickconst * Lights[flicker].flickstep);
  EXPECT_GT(changed, 10) << "the character's strongest light follows the flicker";
}

// The swinging pillar rocks about z (0.3 either way) and rises 0.5 over
// each second, as its keyed animation does: the ball let go above its top
// lands on the top and rides it through a swing and more, its feet on the
// top in the pillar's own frame.
TEST_F(DemoWorldScene, ABallRidesTheSwingingPillar) {
  const DemoBall& rider = demo_balls[2];
  const float foot_y = insts[SWINGER].mtx.m[3][1];
  int on_top = 0;
  for (int f = 0; f < 100; f++) {
    DemoWorldBeforeScene(f);
    const float phase = 6.2831853f * float(f + 1) / 60.0f;
    ZeMtxSetRotationZ(&insts[SWINGER].mtx, int(-0.3f * std::cos(phase) * 65536.0f / 6.2831853f));
    insts[SWINGER].mtx.m[3][0] = 6, insts[SWINGER].mtx.m[3][2] = 14;
    insts[SWINGER].mtx.m[3][1] = foot_y + 0.25f * (1.0f - std::cos(phase));
    DemoWorldFrame(f);
    ZEVEC feet;
    ZeVecInvMtxTransform(&feet, &rider.pos, &insts[SWINGER].mtx);
    if (f >= 10) {
      EXPECT_NEAR(feet.y, 4.0f, 0.03f) << "frame " << f;
      EXPECT_LT(std::fabs(feet.x), 0.7f) << "frame " << f;
    }
    on_top += std::fabs(feet.y - 4.0f) < 0.03f;
  }
  EXPECT_GE(on_top, 90);
}

}  // namespace
