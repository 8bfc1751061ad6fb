// Moving platforms: binding, instances made and deleted at run time, the
// two phases with the camera lists, the bounce spring, impacts, the carry
// of a rider, the push-out and turning platforms.
#include <cmath>

#include "terrain_local.h"
#include "terrain_test.h"

namespace {

struct Plats : TerrainTest {
  ZEMTX cam;
  TerrSet* set = nullptr;
  void SetUp() override {
    TerrainTest::SetUp();
    TestItem ground = StaticItem({50, -10, 50}, {Floor(0, 0, 1)});
    TestItem lift = StaticItem({}, {Floor(0, 0, 1)});
    lift.kind = 1, lift.instance = 1;
    TestItem turner = StaticItem({}, {Floor(2, 0, 1)});  // off the centre: x 1..3
    turner.kind = 1, turner.instance = 2, turner.platword = 1;
    Write("plats", {ground, lift, turner});
    set = Load("plats");
    ASSERT_NE(set, nullptr);
    ZeMtxSetIdentity(&cam);
    cam.m[3][2] = -3;
  }
  void Frame(float lifty) {
    TerrainPlatformOldUpdate();
    insts[1].mtx.m[3][1] += lifty;
    global_camera.mtx = cam;
    TerrainPlatformNewUpdate();
  }
};

}  // namespace

TEST_F(Plats, BindingFindAndRefusals) {
  EXPECT_EQ(FindPlatInst(1), 0);
  EXPECT_EQ(FindPlatInst(2), 1);
  EXPECT_EQ(FindPlatInst(-1), -1);
  EXPECT_EQ(CheckForPlatInst(5), 0);
  EXPECT_EQ(DeletePlatinst(0), 0) << "an instance from the file";
  EXPECT_EQ(DeletePlatinst(-1), 0);
  EXPECT_EQ(DeletePlatinst(180), 0);
  EXPECT_EQ(DeletePlatinst(50), 0) << "a free slot";
  ZEMTX m1, m2;
  ZeMtxSetIdentity(&m1);
  ZeMtxSetIdentity(&m2);
  m1.m[3][0] = 10, m2.m[3][0] = 20;
  EXPECT_EQ(NewPlatInst(nullptr, 1), -1);
  EXPECT_EQ(NewPlatInst(&m1, 7), -1) << "no instance with that scene id";
  int a = NewPlatInst(&m1, 1), b = NewPlatInst(&m2, 1);
  ASSERT_EQ(a, 2);
  ASSERT_EQ(b, 3);
  EXPECT_EQ(set->nitems, 5);
  EXPECT_EQ(set->plat[a].item, 3);
  EXPECT_EQ(set->buckets[TERR_PLAT_BUCKET].count, 4);
  // Deleting the last item leaves the others' items alone.
  EXPECT_EQ(DeletePlatinst(b), 1);
  EXPECT_EQ(set->plat[a].item, 3);
  EXPECT_EQ(set->plat[0].item, 1);
  EXPECT_EQ(set->nitems, 4);
  // Deleting one that is not last moves the last into its slot.
  b = NewPlatInst(&m2, 1);
  EXPECT_EQ(DeletePlatinst(a), 1);
  EXPECT_EQ(set->plat[b].item, 3);
  EXPECT_FLOAT_EQ(set->items.get()[3].pos.x, 20);
  const TerrBucket& pb = set->buckets[TERR_PLAT_BUCKET];
  EXPECT_EQ(pb.count, 3);
  std::vector<int> run(set->index + pb.first, set->index + pb.first + pb.count);
  std::sort(run.begin(), run.end());
  EXPECT_EQ(run, (std::vector<int>{1, 2, 3}));
  ZEVEC c;
  PlatInstCenter(b, &c);
  EXPECT_FLOAT_EQ(c.x, 20);
  ZEMTX *old = nullptr, *live = nullptr;
  TerrainPlatGetMtx(b, &old, &live);
  EXPECT_EQ(live, &m2);
  TerrainPlatGetMtx(-1, &old, &live);
  EXPECT_EQ(live, &m2) << "nothing for a negative index";
  // Casts find the copy where its matrix is.
  ZEVEC s = {20, 1, 0}, v = {0, -2, 0};
  TerrainPlatformOldUpdate();
  global_camera.mtx = cam;
  TerrainPlatformNewUpdate();
  EXPECT_EQ(NewRayCast(&s, &v, 0, 0), 1);
  EXPECT_EQ(TerrainPlatId(), b);
  PlatOnOff(b, 0);
  v = {0, -2, 0};
  EXPECT_EQ(NewRayCast(&s, &v, 0, 0), 0);
  PlatOnOff(b, 1);
}

TEST_F(Plats, BounceSpring) {
  PlatInstBounce(0, 0.2f, 0.1f, 0.1f);
  set->plat[0].flags |= 2;  // stood on this frame
  Frame(0);
  EXPECT_EQ(set->plat[0].btimer, 128);
  EXPECT_EQ(PlatInstGetHit(0), 0) << "the hit flag lives one frame";
  float off = 0, speed = 0, y = 0;
  for (int f = 0; f < 8; f++) {
    int timer = 128 - f;
    if (timer >= 125) speed += 0.2f - speed * 0.1f;
    else speed -= speed * 0.1f;
    speed -= 0.1f * off + 0.5f * 0.1f * off * std::fabs(off);
    off += speed;
    y += off;
    Frame(0);
    EXPECT_FLOAT_EQ(set->plat[0].boffset, off) << "frame " << f;
    EXPECT_FLOAT_EQ(insts[1].mtx.m[3][1], y);
    EXPECT_EQ(set->plat[0].btimer, timer - 1);
  }
  PlatInstBounce(0, 0.5f, 0.1f, 0.1f);
  EXPECT_FLOAT_EQ(set->plat[0].boffset, off) << "not reset while a strength was set";
}

TEST_F(Plats, PickupPlatformsAndImpacts) {
  std::vector<TestItem> shapes = {StaticItem({}, {Floor(0, 0, 0.5f)})};
  shapes[0].shapeid = 3;
  Write("pick", shapes);
  uint8_t* p = bufpos;
  terrainpickupinit("pick", &p, buf + bufsize);
  ZEMTX live, old;
  ZeMtxSetIdentity(&live);
  ZeMtxSetIdentity(&old);
  live.m[3][0] = -10;
  int before = set->nitems;
  EXPECT_EQ(AddPickupTerrRot(3, &live, nullptr, 1), -1) << "turning without an old matrix";
  EXPECT_EQ(set->nitems, before);
  int k = AddPickupTerrRot(3, &live, &old, 0);
  ASSERT_GE(k, 0);
  EXPECT_EQ(set->npickplats, 1);
  EXPECT_EQ(set->items.get()[set->plat[k].item].kind, 1);
  ReassignPickupInst(k, 3);
  // A sphere dropped on it: one pending impact, read once.
  ZEVEC pos = {-10, 0.5f, 0}, vel = {0, -1, 0};
  uint8_t info[2] = {};
  NewTerrain(&pos, &vel, info, -1, 0, 0.001f, 0.2f);
  ZEVEC n;
  int surface = -1, group = -1;
  EXPECT_EQ(PlatImpactInfo(&n, &surface, &group), k);
  EXPECT_NEAR(n.y, 1, 1e-5f);
  EXPECT_EQ(surface, 1);
  EXPECT_EQ(PlatImpactInfo(&n, &surface, &group), -1);
  EXPECT_TRUE(PlatInstGetHit(k));
  // The next old phase removes it.
  TerrainPlatformOldUpdate();
  EXPECT_EQ(set->nitems, before);
  EXPECT_FALSE(set->plat[k].live);
  NewPlatPickupInst(&live, 3);
  EXPECT_EQ(NewPlatPickupInst(&live, 99), -1);
}

TEST_F(Plats, LiftCarriesARiderAndAJumpLeavesIt) {
  ZEVEC pos = {0.2f, 0.05f, 0.1f}, vel = {0, -0.02f, 0};
  uint8_t info[2] = {};
  for (int f = 0; f < 5; f++) {  // land
    Frame(0);
    vel = {0, -0.02f, 0};
    NewTerrainScaleY(&pos, &vel, info, -1, 1, 0, 0.0001f, 0.3f, 1.0f);
  }
  ASSERT_NEAR(pos.y, 0, 0.02f);
  for (int f = 0; f < 20; f++) {
    Frame(0.03f);
    vel = {0, -0.02f, 0};
    NewTerrainScaleY(&pos, &vel, info, -1, 1, 0, 0.0001f, 0.3f, 1.0f);
    ASSERT_NEAR(pos.y, insts[1].mtx.m[3][1], 0.03f) << "frame " << f;
  }
  TerrTrack* tr = ScanTerrId(info);
  ASSERT_NE(tr, nullptr);
  EXPECT_TRUE(tr->flags & 1);
  EXPECT_EQ(tr->plat, 0);
  float lifty = insts[1].mtx.m[3][1];
  for (int f = 0; f < 5; f++) {
    Frame(0.03f);
    vel = {0, 0.1f, 0};
    NewTerrainScaleY(&pos, &vel, info, -1, 1, 0, 0.0001f, 0.3f, 1.0f);
  }
  EXPECT_GT(pos.y - insts[1].mtx.m[3][1], 0.25f) << "jumped clear of the lift at " << lifty;
}

TEST_F(Plats, DisabledInstanceTurningAndPushOut) {
  // Disabled: not collided with.
  ZEVEC s = {0, 1, 0}, v = {0, -2, 0};
  insts[1].flags &= ~1u;
  EXPECT_EQ(NewRayCast(&s, &v, 0, 0), 0);
  insts[1].flags |= 1;
  v = {0, -2, 0};
  EXPECT_EQ(NewRayCast(&s, &v, 0, 0), 1);
  // Turning a quarter turn about y takes the polygon from x 1..3 to z
  // -3..-1.
  ZeMtxSetRotationY(&insts[2].mtx, 0x4000);
  insts[2].mtx.m[3][0] = 30;
  Frame(0);
  s = {32, 1, 0}, v = {0, -2, 0};
  EXPECT_EQ(NewRayCast(&s, &v, 0, 0), 0);
  ZEVEC probe = {31, 0, 0}, at = {1, 0, 0};
  ZeVecMtxRotate(&at, &at, &insts[2].mtx);
  s = {30 + 2 * at.x, 1, 2 * at.z}, v = {0, -2, 0};
  EXPECT_EQ(NewRayCast(&s, &v, 0, 0), 1);
  EXPECT_EQ(plathitid, 1);
  EXPECT_EQ(platinrange, 1);
  (void)probe;
  EXPECT_EQ(NewRayCastPlatForm(&s, &(v = {0, -2, 0}), 1, 0, 0, 0.01f), 1);
  EXPECT_EQ(NewRayCastPlatForm(&s, &(v = {0, -2, 0}), 0, 0, 0, 0.01f), 0);
  EXPECT_FLOAT_EQ(NewShadow(&s, 0, 0, 0.5f), 0.0f);
  NewTerrPlatformsOff();
  EXPECT_FLOAT_EQ(NewShadow(&s, 0, 0, 0.5f), TERR_NO_HEIGHT) << "platforms off for one query";
  EXPECT_FLOAT_EQ(NewShadow(&s, 0, 0, 0.5f), 0.0f);
  // A lift rising into a resting sphere pushes it up onto itself.
  ZEVEC pos = {0.2f, 0.05f, 0.1f}, vel = {0, -0.001f, 0};
  uint8_t info[2] = {};
  Frame(0.2f);
  NewTerrain(&pos, &vel, info, -1, 0, 0.0001f, 0.3f);
  EXPECT_GT(pos.y, 0.15f);
  EXPECT_LT(pos.y, 0.3f);
  // A platform that did not move: the normal response, no push-out.
  Frame(0);
  pos = {0.2f, insts[1].mtx.m[3][1] - 0.05f, 0.1f}, vel = {0.01f, 0, 0};
  NewTerrain(&pos, &vel, info, -1, 0, 0.0001f, 0.3f);
  EXPECT_NEAR(pos.y, insts[1].mtx.m[3][1] - 0.05f + 0.04f, 0.002f)
      << "four embedded floor passes, 0.01 up each, no snap onto the top";
}

TEST_F(Plats, InRangeOverflowFallsBackToTheBucket) {
  std::vector<ZEMTX> mats(80);
  for (int i = 0; i < 80; i++) {
    ZeMtxSetIdentity(&mats[size_t(i)]);
    mats[size_t(i)].m[3][0] = -1.0f + 0.025f * float(i);
    mats[size_t(i)].m[3][1] = -3.0f;
  }
  auto* m = static_cast<ZEMTX*>(EeMalloc(sizeof(ZEMTX) * 80));
  std::copy(mats.begin(), mats.end(), m);
  for (int i = 0; i < 80; i++) ASSERT_GE(NewPlatInst(&m[i], 1), 0);
  Frame(0);
  EXPECT_EQ(set->ninrange, TERR_INRANGE + 1);
  ZEVEC s = {m[79].m[3][0] + 0.99f, -2.5f, 0.5f}, v = {0, -1, 0};
  EXPECT_EQ(NewRayCast(&s, &v, 0, 0), 1);
  EXPECT_EQ(plathitid, FindPlatInst(1) + 80 + 1) ;
  EeFree(m);
}
