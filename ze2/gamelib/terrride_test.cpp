// A ball riding a turning platform, frame by frame as the game runs it: the
// old phase, the owner's matrix moved, the new phase, then the ball's move
// with gravity. The platform turns about its centre (yaw) or tilts (pitch).
#include <cmath>

#include "terrain_local.h"
#include "terrain_test.h"

namespace {

constexpr float BALL_R = 0.2f;
constexpr float GRAVITY = 0.01f;

struct Ride : TerrainTest {
  TerrSet* set = nullptr;
  ZEMTX cam;
  ZEVEC centre = {0, 1, 0};
  ZEVEC pos{}, vel{};
  uint8_t* info = nullptr;  // the mover's impact bytes, in EE memory

  // The platform's floor, in its frame: 4 x 4 about its centre.
  virtual TerrWritePoly Top() { return Floor(0, 0, 2); }
  void SetUp() override {
    TerrainTest::SetUp();
    info = static_cast<uint8_t*>(EeMalloc(2));
    info[0] = info[1] = 0;
    TestItem ground = StaticItem({0, -10, 0}, {Floor(0, 0, 20)});
    TestItem turner = StaticItem({}, {Top()});
    turner.kind = 1, turner.instance = 1, turner.platword = 1;
    Write("ride", {ground, turner});
    set = Load("ride");
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(FindPlatInst(1), 0);
    ZeMtxSetIdentity(&cam);
    cam.m[3][2] = -3;
    Pose(0, 0);
    Frame();
  }
  void TearDown() override {
    EeFree(info);
    TerrainTest::TearDown();
  }
  // The platform's matrix: turned by angle about the axis (0 x, 1 y) at
  // the centre.
  void Pose(int axis, int angle) {
    ZEMTX& m = insts[1].mtx;
    if (axis == 0) ZeMtxSetRotationX(&m, angle);
    else ZeMtxSetRotationY(&m, angle);
    m.m[3][0] = centre.x, m.m[3][1] = centre.y, m.m[3][2] = centre.z;
  }
  void Frame() {
    TerrainPlatformOldUpdate();
    global_camera.mtx = cam;
    TerrainPlatformNewUpdate();
  }
  // The ball's frame as the check program moves a thrown ball at rest.
  void BallStep(float ys = 1.0f) {
    vel.y -= GRAVITY;
    NewTerrainScaleY(&pos, &vel, info, -1, 1, 0, 0.001f, BALL_R, ys);
    if (info[1]) {
      if (vel.y < 0) vel.y = 0;
      vel.x *= 0.99f, vel.z *= 0.99f;
    }
  }
  // Where a point of the platform's frame is now.
  ZEVEC OnPlatform(const ZEVEC& local) {
    ZEVEC w;
    ZeVecMtxTransform(&w, &local, &insts[1].mtx);
    return w;
  }
  // The ball's centre in the platform's frame.
  ZEVEC CentreLocal() {
    ZEVEC c = {pos.x, pos.y + BALL_R, pos.z}, l;
    ZeVecInvMtxTransform(&l, &c, &insts[1].mtx);
    return l;
  }
  // One frame with the platform posed between the two phases.
  void Step(int axis, int angle) {
    TerrainPlatformOldUpdate();
    Pose(axis, angle);
    global_camera.mtx = cam;
    TerrainPlatformNewUpdate();
    BallStep();
  }
  // Put down at rest on the still platform, where the local point is.
  void Land(const ZEVEC& local) {
    pos = OnPlatform(local);
    pos.y += 0.05f;
    vel = {};
    for (int f = 0; f < 10; f++) Step(0, 0);
  }
  int Records() {
    int n = 0;
    for (auto& t : set->track) n += t.owner.get() == info;
    return n;
  }
};

}  // namespace

// Turning slowly or briskly either way, the platform takes the resting ball
// round with it: the ball keeps its place on the platform and its height.
TEST_F(Ride, YawTurnsTheBallWithThePlatform) {
  struct Case {
    int step;  // angle a frame (65536 a turn)
    ZEVEC local;
  };
  const Case cases[] = {{64, {1.2f, 0, 0.5f}}, {-128, {0.3f, 0, -1.6f}}, {512, {-1.5f, 0, 1.5f}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.step);
    Land(c.local);
    int angle = 0;
    for (int f = 0; f < 400; f++) {
      angle += c.step;
      Step(1, angle);
      const ZEVEC want = OnPlatform(c.local);
      ASSERT_NEAR(pos.x, want.x, 0.01f) << "frame " << f;
      ASSERT_NEAR(pos.z, want.z, 0.01f) << "frame " << f;
      ASSERT_GE(pos.y, centre.y);
      ASSERT_LT(pos.y, centre.y + 0.01f) << "frame " << f;
      ASSERT_EQ(info[1], 1) << "frame " << f;
    }
    TerrTrack* tr = ScanTerrId(info);
    ASSERT_NE(tr, nullptr);
    EXPECT_EQ(tr->plat, 0);
    EXPECT_EQ(tr->connect, 4);
    EXPECT_EQ(Records(), 1);
  }
}

// Tilted slowly, the platform carries the ball along its slope: the ball
// keeps touching it where it rests, and a tilt held still leaves it there
// (the carry stands it on a floor; its fall is slid along the ground normal
// of the last query, not the slope's). Past 45 degrees the top is no floor
// for the carry: the ball leaves it, slides down and falls to the ground.
TEST_F(Ride, TiltCarriesTheBallUntilTheSlopeIsAWall) {
  const ZEVEC local = {0.4f, 0, 1.2f};
  Land(local);
  int angle = 0, left = -1;
  ZEVEC held{};
  for (int f = 0; f < 900; f++) {
    if (angle < 3641 || f >= 350) angle += 16;  // up to 20 degrees, held, then on
    Step(0, angle);
    if (info[1] == 0) {
      left = angle;
      break;
    }
    // Touching the slope, its feet where they were put down.
    const ZEVEC c = CentreLocal();
    ZEVEC feet;
    ZeVecInvMtxTransform(&feet, &pos, &insts[1].mtx);
    ASSERT_GE(c.y, BALL_R) << "frame " << f;
    ASSERT_LT(c.y, BALL_R + 0.006f) << "frame " << f;
    ASSERT_NEAR(feet.x, local.x, 0.001f) << "frame " << f;
    ASSERT_NEAR(feet.z, local.z, 0.04f) << "frame " << f;
    if (f == 250) held = pos;
    if (f == 349) {
      EXPECT_NEAR(pos.y, held.y, 1e-5f) << "still while the tilt is held";
      EXPECT_NEAR(pos.z, held.z, 1e-5f);
    }
  }
  EXPECT_GT(left * 360.0f / 65536, 44.0f);
  EXPECT_LT(left * 360.0f / 65536, 46.0f);
  for (int f = 0; f < 120; f++) Step(0, left);
  EXPECT_NEAR(pos.y, -10.0f, 0.01f) << "slid off the slope onto the ground";
  EXPECT_GT(pos.z, 2.0f);
}

// A ball that once rode (its track record kept, the connection counted
// down in flight) comes down on the platform as it rises and turns into the
// ball: the push-out stands it on the platform and the floor hit after it
// connects its own record again, so that it is carried from then on. One
// record per mover: a second one would never be found, and four movers'
// worth were used up in three frames.
TEST_F(Ride, LandingAgainReconnectsTheOwnRecord) {
  Land({1.0f, 0, 0.5f});
  ASSERT_EQ(Records(), 1);
  int angle = 0;
  vel.y = 0.15f;
  bool landed = false;
  for (int f = 0; f < 60; f++) {
    angle += 300;
    centre.y += 0.04f;
    Step(1, angle);
    TerrTrack* tr = ScanTerrId(info);
    ASSERT_NE(tr, nullptr);
    ASSERT_EQ(Records(), 1) << "frame " << f;
    if (f == 5) {
      EXPECT_EQ(tr->connect, 0) << "counted down in flight";
    }
    if (!landed && info[1]) landed = true;
    if (landed) {
      EXPECT_EQ(tr->connect, 4) << "frame " << f;
      EXPECT_EQ(tr->plat, 0);
      EXPECT_GE(pos.y, centre.y);
      EXPECT_LT(pos.y, centre.y + 0.01f) << "frame " << f;
    }
  }
  EXPECT_TRUE(landed);
}

namespace {

// A pillar's top: 1 x 1, 4 above the point it turns about.
struct RideTall : Ride {
  TerrWritePoly Top() override { return Floor(0, 0, 0.5f, 4); }
};

}  // namespace

// Resting on a corner of the top of a tall turning platform, the ball lies
// beyond the root of the summed squares of the platform's radius and the
// move's reach from its foot, yet touches it: it is still gathered, and the
// carry takes it round.
TEST_F(RideTall, TheFarCornerOfATallTopIsRidden) {
  const ZEVEC local = {0.42f, 4, 0.42f};
  Land(local);
  ASSERT_EQ(info[1], 1);
  int angle = 0;
  for (int f = 0; f < 200; f++) {
    angle += 128;
    Step(1, angle);
    const ZEVEC want = OnPlatform(local);
    ASSERT_NEAR(pos.x, want.x, 0.01f) << "frame " << f;
    ASSERT_NEAR(pos.z, want.z, 0.01f) << "frame " << f;
    ASSERT_NEAR(pos.y, want.y + 0.005f, 0.005f) << "frame " << f;
  }
}

