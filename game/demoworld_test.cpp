// The check program's world on the demo level's collision (the build's
// data directory): the character's feet over the steps and the ramp, and
// the thrown balls coming to rest on the ground and on the lift.
#include <cmath>

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
    DemoWorldInit(nullptr);
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
