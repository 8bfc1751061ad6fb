// Moves and impact responses: the no-motion shortcut, floors and walls by
// the steepness bits, embedded pushes, the four passes, wall deflection of
// the velocity, settling, slides, track back, side clamp and the helpers.
#include <cmath>

#include "terrain_local.h"
#include "terrain_test.h"

namespace {

using Moves = TerrainTest;

// A floor at y 0 and two slopes: normal y 0.6 (steep) and 0.8 (not).
std::vector<TestItem> Slopes() {
  TestItem floor = StaticItem({}, {Floor(0, 0, 5)});
  // Rising along z: normal (0, cos, -sin).
  auto slope = [](float cx, float rise) {
    return StaticItem({cx, 0, 0}, {QPoly({-1, 0, -1}, {1, 0, -1}, {-1, 2 * rise, 1}, {1, 2 * rise, 1}, 2)});
  };
  TestItem steep = slope(20, 4.0f / 3.0f);  // normal y 0.6
  TestItem gentle = slope(30, 0.75f);       // normal y 0.8
  TestItem wall = StaticItem({0, 0, 10}, {QPoly({-5, 0, 0}, {5, 0, 0}, {-5, 5, 0}, {5, 5, 0}, 3)});
  TestItem classed = StaticItem({40, 0, 0}, {Floor(0, 0, 1, 0, 4, 0xF0)});  // wall class 1: always a wall
  return {floor, steep, gentle, wall, classed};
}

}  // namespace

TEST_F(Moves, ShortcutRestingAndFloorsAndWalls) {
  Write("slopes", Slopes());
  ASSERT_NE(Load("slopes"), nullptr);
  // No motion, byte 1 set, positive threshold: nothing changes.
  ZEVEC p = {0, 0, 0}, v = {0, 0, 0};
  uint8_t info[2] = {1, 1};
  NewTerrain(&p, &v, info, -1, 0, 0.001f, 0.3f);
  EXPECT_EQ(info[0], 1);
  EXPECT_EQ(info[1], 1);
  EXPECT_EQ(p.y, 0);
  // Resting exactly on the floor and moving along it: embedded (17), pushed
  // up 0.01, then the rest of the move.
  p = {1, 0, 2}, v = {0.1f, 0, 0};
  info[0] = info[1] = 0;
  ZEVEC s = {1, 0.3f, 2}, cv = v;
  EXPECT_EQ(NewRayCast(&s, &cv, 0, 0.3f), 17);
  NewTerrain(&p, &v, info, -1, 0, 0.001f, 0.3f);
  EXPECT_NEAR(p.y, 0.0103f, 1e-5f);
  EXPECT_NEAR(p.x, 1.1f, 1e-5f);
  // Falling on the floor: a floor impact.
  p = {1, 1, 2}, v = {0, -2, 0};
  info[0] = info[1] = 0;
  NewTerrain(&p, &v, info, -1, 0, 0.001f, 0.3f);
  // Stopped short by the back-off (0.01 of the vector); the last pass hit
  // nothing, which clears byte 0, byte 1 tells of the floor.
  EXPECT_EQ(terrhitflags & 3, 2);
  EXPECT_EQ(info[0], 0);
  EXPECT_EQ(info[1], 1);
  EXPECT_NEAR(p.y, 0.0206f, 1e-4f);
  EXPECT_NEAR(ShadNorm.y, 1, 1e-5f);
  EXPECT_EQ(TerrainInfo(), 1);
  // The pass that hit nothing keeps the floor as the move's hit.
  EXPECT_EQ(TerrainMoveImpactData(), 0) << "the floor it landed on";
  EXPECT_EQ(TerrPolyObj, 0);
  ASSERT_NE(TerrPoly, nullptr);
  EXPECT_EQ(TerrPoly->surface, 1);
  // Face hits on static slopes: the steep bit alone decides.
  struct Case {
    float x;
    int flags;
  } cases[] = {{20, 0x11 | 1}, {30, 2}, {40, 0x11 | 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x);
    p = {c.x, 3, 0}, v = {0, -4, 0};
    info[0] = info[1] = 0;
    NewTerrain(&p, &v, info, -1, 0, 0.001f, 0.2f);
    EXPECT_EQ(terrhitflags & 0x13, c.flags);
  }
  // A wall leaves the vertical velocity alone at deflect scale 0, and its
  // owner's track record remembers it.
  p = {0, 1, 9}, v = {0, 0.2f, 2};
  info[0] = info[1] = 0;
  NewTerrain(&p, &v, info, -1, 0, 0.001f, 0.3f);
  EXPECT_TRUE(terrhitflags & 0x11);
  EXPECT_FLOAT_EQ(v.y, 0.2f);
  EXPECT_LT(p.z, 9.7f + 0.01f);
  EXPECT_NEAR(TerrWallNorm.z, -1, 1e-5f);
  TerrTrack* tr = ScanTerrId(info);
  ASSERT_NE(tr, nullptr);
  EXPECT_EQ(tr->wall, 4);
  // Wall side slide along the remembered wall.
  ZEVEC vel = {0, 0.5f, 0};
  TerrainWallSideSlide(&vel, info, 0x4000, 0.1f, 0.5f);
  EXPECT_NEAR(vel.x, 0.1f, 1e-3f);
  EXPECT_FLOAT_EQ(vel.y, 0.25f);
  // Track back against the last hit polygon.
  ZEVEC dir = {0, 0, -1}, back;
  ZEVEC at = {0, 1.3f, 9.8f};
  int type = TerrainTrackBack(&at, &dir, &back, 0.3f, 0.01f);
  EXPECT_EQ(type & 15, 1);
  EXPECT_NEAR(back.z, 9.7f, 0.02f);
  // With a deflect scale the wall changes it.
  TerrainSetWallDeflectYScale(1.0f);
  p = {0, 1, 9}, v = {0, 0.2f, 2};
  ZEVEC n = {0, 0.6f, -0.8f};
  ZEVEC r;
  FullDeflectSmallY(&n, &v, &r);
  EXPECT_NE(r.y, v.y);
}

TEST_F(Moves, FourPassesEndAtTheWorkPosition) {
  // A narrow shaft: every pass meets a wall.
  TestItem shaft = StaticItem({}, {QPoly({-0.35f, -5, -1}, {-0.35f, -5, 1}, {-0.35f, 5, -1}, {-0.35f, 5, 1}),
                                   QPoly({0.35f, -5, -1}, {0.35f, 5, -1}, {0.35f, -5, 1}, {0.35f, 5, 1}),
                                   Floor(0, 0, 1, -5)});
  Write("shaft", {shaft});
  ASSERT_NE(Load("shaft"), nullptr);
  // Wider than the shaft: embedded in both walls on every pass.
  ZEVEC p = {0, 0, 0.3f}, v = {0.1f, 0, 0};
  uint8_t info[2] = {};
  NewTerrain(&p, &v, info, -1, 0, 0.001f, 0.4f);
  ASSERT_NE(TerI, nullptr);
  EXPECT_FLOAT_EQ(p.x, TerI->pos.x);
  EXPECT_FLOAT_EQ(p.y, TerI->pos.y - 0.4f);
  EXPECT_LT(std::fabs(p.x), 0.06f) << "kept between the walls";
}

TEST_F(Moves, ScaleYStandsSettlesAndShortcuts) {
  Write("floor", {StaticItem({}, {Floor(0, 0, 5)})});
  ASSERT_NE(Load("floor"), nullptr);
  ZEVEC p = {1, 1, 2}, v = {0, -2, 0};
  uint8_t info[2] = {};
  NewTerrainScaleY(&p, &v, info, -1, 1, 0, 0.001f, 0.3f, 2.0f);
  EXPECT_EQ(info[1], 1);
  EXPECT_NEAR(p.y, 0.01f, 0.002f) << "back-off 0.005 of the vector";
  EXPECT_NEAR(ShadNorm.y, 1, 1e-5f);
  // No motion: floor flag and an upright normal.
  ShadNorm = {1, 0, 0};
  v = {0, 0, 0};
  NewTerrainScaleY(&p, &v, info, -1, 1, 0, 0.001f, 0.3f, 2.0f);
  EXPECT_EQ(terrhitflags, 2);
  EXPECT_FLOAT_EQ(ShadNorm.y, 1);
  // Settling: just above the floor, moving sideways, bytes clear.
  p = {1, 0.002f, 2}, v = {0.05f, 0, 0};
  info[0] = info[1] = 0;
  NewTerrainScaleY(&p, &v, info, -1, 1, 0, 0.001f, 0.3f, 1.0f);
  EXPECT_LT(p.y, 0.0015f);
  EXPECT_EQ(info[0], 1);
  EXPECT_FLOAT_EQ(v.x, 0.05f) << "the velocity is put back";
  p = {1, 0.002f, 2};
  info[0] = info[1] = 0;
  NewTerrainScaleY(&p, &v, info, -1, 0, 0, 0.001f, 0.3f, 1.0f);
  EXPECT_NEAR(p.y, 0.002f, 1e-6f) << "no settling asked";
}

TEST_F(Moves, SideStepClampAndHelpers) {
  TerrShapeRec shape = {{5, 0, 1}, 0, 1.0f};  // facing +x (yaw 0: d = (1, 0, 0))
  ZEVEC pos = {10, 0, 10};
  NewTerrAxisFreedom(&shape, &pos);
  EXPECT_EQ(TerrShapeAdjCnt, 2);
  EXPECT_FLOAT_EQ(shape.offset.x, 1) << "forward part clamped to the limit";
  EXPECT_FLOAT_EQ(shape.offset.z, 0.2f) << "side part to a fifth of it";
  EXPECT_FLOAT_EQ(pos.x, 6);
  EXPECT_FLOAT_EQ(pos.z, 9.2f);
  TerrFlush();
  EXPECT_EQ(TerrShapeAdjCnt, 0);
  NewShapeInit(&shape);
  EXPECT_EQ(shape.offset.x, 0);

  ZEVEC n = {0, 1, 0}, v = {1, -2, 0}, r;
  FullDeflect(&n, &v, &r);
  EXPECT_NEAR(r.y, 0.0003f, 1e-7f);
  EXPECT_EQ(FullDeflectTest(&n, &v, &r), 1);
  ZEVEC away = {0, 2, 0};
  EXPECT_EQ(FullDeflectTest(&n, &away, &r), 0);
  FullReflect(&n, &v, &r);
  EXPECT_FLOAT_EQ(r.y, 2);
  FullReflectTest(&n, &v, &r);
  EXPECT_NEAR(ZeVecMag(&r), ZeVecMag(&v), 1e-6f);
  FullDeflectSize(&n, &v, &r);
  EXPECT_NEAR(r.x, 0.75f * std::sqrt(5.0f) + 0.25f, 1e-5f);
  EXPECT_FLOAT_EQ(r.y, 0);
  ZEVEC straight = {0, -1, 0};
  FullDeflectSize(&n, &straight, &r);
  EXPECT_EQ(ZeVecMag(&r), 0) << "nothing left: not scaled";
  TerrainWallAng(0.5f);
  EXPECT_FLOAT_EQ(wallover, 0.5f);

  ZEMTX a, b;
  ZeMtxSetIdentity(&a);
  ZeMtxSetIdentity(&b);
  a.m[3][0] = 5;
  ZeMtxSetRotationZ(&b, 0x1000);
  ZEVEC up = {0, 1, 0}, hit;
  ZEVEC q = CubeImpact(&a, &b, &up, &hit, 0.5f);
  EXPECT_FLOAT_EQ(q.y, -1) << "a bottom corner";
  EXPECT_FLOAT_EQ(hit.x, 5 + 0.5f * q.x);
  ZEVEC none = CubeImpact(&a, &a, &up, &hit, 1);
  EXPECT_FLOAT_EQ(none.x, -1) << "no corner qualifies: corner 0";
}

TEST_F(Moves, NoCurrentSetLeavesTheMover) {
  noterraininit();
  ZEVEC p = {1, 2, 3}, v = {1, 1, 1};
  uint8_t info[2] = {};
  NewTerrain(&p, &v, info, -1, 0, 0, 0.3f);
  NewTerrainScaleY(&p, &v, info, -1, 1, 0, 0, 0.3f, 2);
  EXPECT_EQ(p.x, 1);
  EXPECT_EQ(v.y, 1);
}

TEST_F(Moves, SideStepSlipsAlongAWall) {
  // A wall facing -z at z 1; the shape faces 45 degrees between +x and -z.
  Write("wall", {StaticItem({0, 0, 1}, {QPoly({-5, 0, 0}, {5, 0, 0}, {-5, 5, 0}, {5, 5, 0})})});
  ASSERT_NE(Load("wall"), nullptr);
  TerrShapeRec shape = {{0, 0, 0}, float(0x2000), 0.2f};
  ZEVEC p = {0, 0, 0.6f}, v = {0, 0, 0.2f};
  uint8_t info[2] = {};
  NewTerrAxisFreedom(&shape, &p);
  NewTerrainScaleY(&p, &v, info, -1, 0, 0, 0.0001f, 0.3f, 1.0f);
  EXPECT_EQ(TerrShapeAdjCnt, 0) << "side steps apply to one move";
  EXPECT_GT(p.x, 0.01f) << "slipped along the facing";
  EXPECT_LT(p.z, 0.7f + 1e-4f) << "not into the wall";
  EXPECT_LT(shape.offset.x, 0) << "the offset records the slip";
  // Without NewTerrAxisFreedom the same move only slides.
  ZEVEC q = {0, 0, 0.6f}, w = {0, 0, 0.2f};
  NewTerrainScaleY(&q, &w, info, -1, 0, 0, 0.0001f, 0.3f, 1.0f);
  EXPECT_NEAR(q.x, 0, 1e-4f);
}
