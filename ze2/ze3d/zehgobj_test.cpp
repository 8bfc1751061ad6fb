// Hierarchical objects: the model-file reader, releasing, the queries, the
// bounding tests and the sphere collision.
#include "zehgobj_test.h"

namespace {

TEST_F(Hgo, AModelWithoutJointsCarriesOnlyItsBoundsAndAZeroBoxBecomesTheUnitBox) {
  HgoModel m;
  m.joints.clear();
  for (float& v : m.bounds) v = 0;
  m.bounds[0] = 3;
  // A literal name: the messages lower-case a copy of it.
  ZEHGOBJ* o = LoadModel(HgoFile(HgoInner(m)), "ZERO.HGO");
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->njoint, 0);
  EXPECT_EQ(o->joints.get(), nullptr);
  EXPECT_EQ(o->layers.get(), nullptr);
  EXPECT_EQ(o->sphere_radius, 3.0f);
  EXPECT_EQ(o->boxmin.x, -1.0f);
  EXPECT_EQ(o->boxmin.z, -1.0f);
  EXPECT_EQ(o->boxmax.y, 1.0f);
  EXPECT_EQ(o->extra, 1.0f);
  EXPECT_EQ(o->imagetag, uint32_t(ZEHGOBJ_TAG_HEAP));
  // Only an all-zero corner is replaced.
  m.bounds[2] = 0.5f;
  ZEHGOBJ* p = LoadModel(HgoFile(HgoInner(m)), "HALF.HGO");
  EXPECT_EQ(p->boxmin.x, 0.5f);
  EXPECT_EQ(p->boxmin.y, 0.0f);
  EXPECT_EQ(p->boxmax.x, 1.0f);
}

TEST_F(Hgo, AMissingFileGivesNull) { EXPECT_EQ(ZeHGobjLoad("NONE.HGO"), nullptr); }

TEST_F(Hgo, JointsPointsLayersAndShadowsLoad) {
  ZEHGOBJ* o = LoadModel(HgoFile(HgoInner(HgoTwoJoints())));
  ASSERT_NE(o, nullptr);
  ASSERT_EQ(o->njoint, 2);
  EXPECT_STREQ(o->joints[0].name.get(), "root");
  EXPECT_STREQ(o->joints[1].name.get(), "arm");
  EXPECT_EQ(o->joints[0].parent, 255);
  EXPECT_EQ(o->joints[1].parent, 0);
  EXPECT_EQ(o->restmtx[1].m[3][0], 1.0f);
  EXPECT_EQ(o->jointmapsize, 3);
  EXPECT_EQ(o->npoint, 1);
  EXPECT_EQ(o->points[0].joint, 1);
  EXPECT_EQ(o->points[0].name.get(), nullptr);
  ASSERT_EQ(o->nlayer, 1);
  EXPECT_EQ(o->layers[0].objects[0].get(), nullptr);
  ASSERT_NE(o->layers[0].objects[1].get(), nullptr);
  EXPECT_NE(o->layers[0].objects[1]->geometries->dmastream.get(), nullptr);
  EXPECT_EQ(o->layers[0].skin.get(), nullptr);
  ASSERT_NE(o->shadows.get(), nullptr);
  EXPECT_EQ(o->shadows[0].nellipsoid, 1);
  EXPECT_EQ(o->shadows[0].joint, 0);
  EXPECT_EQ(o->shadows[1].joint, 255);
  EXPECT_EQ(o->nmtl, 1);
  EXPECT_EQ(o->collision.get(), nullptr);
}

TEST_F(Hgo, CheckedQueriesRefuseIdsAtTheMapSizeAndUnmappedIds) {
  ZEHGOBJ* o = LoadModel(HgoFile(HgoInner(HgoTwoJoints())));
  ASSERT_NE(o, nullptr);
  ZEMTX joints[2] = {Translation(0, 1, 0), Translation(1, 1, 0)};
  const ZEMTX obj = Translation(10, 0, 0);
  ZEMTX out, marker = Translation(7, 7, 7);
  const struct {
    int id, ok;
    float x;
  } joint_cases[] = {{0, 1, 10}, {1, 1, 11}, {2, 0, 7}, {3, 0, 7}, {-1, 0, 7}};
  for (const auto& c : joint_cases) {
    out = marker;
    EXPECT_EQ(ZeHGobjJointMtxWithCheck(o, c.id, &obj, joints, &out), c.ok) << c.id;
    EXPECT_EQ(out.m[3][0], c.x) << c.id;
  }
  out = marker;
  ASSERT_EQ(ZeHGobjPOIMtxWithCheck(o, 0, &obj, joints, &out), 1);
  EXPECT_EQ(out.m[3][0], 11.0f);
  EXPECT_EQ(out.m[3][1], 1.0f);
  EXPECT_EQ(out.m[3][2], 1.0f);
  out = marker;
  EXPECT_EQ(ZeHGobjPOIMtxWithCheck(o, 1, &obj, joints, &out), 0);  // the map size
  EXPECT_EQ(out.m[3][0], 7.0f);
  EXPECT_EQ(ZeHGobjGetPOI(o, 0), &o->points[0]);
  EXPECT_EQ(ZeHGobjGetPOI(o, 1), nullptr);
  ZeHGobjPOIMtxFromIX(o, 0, &obj, joints, &out);
  EXPECT_EQ(out.m[3][0], 11.0f);
  // The unchecked forms stop on an id the model does not have.
  ZeHGobjPOIMtx(o, 0, &obj, joints, &out);
  EXPECT_EQ(out.m[3][0], 11.0f);
  EXPECT_HALT(ZeHGobjPOIMtx(o, 1, &obj, joints, &out), "no point 1");
  EXPECT_HALT(ZeHGobjJointMtx(o, 2, &obj, joints, &out), "no joint 2");
  EXPECT_HALT(ZeHGobjJointMtx(o, -1, &obj, joints, &out), "no joint -1");
}

struct Bounds : Hgo {
  ZEHGOBJ* o = nullptr;
  void SetUp() override {
    Hgo::SetUp();
    HgoModel m;
    m.joints.clear();
    // Sphere radius 2 at height 1; box -1..1 in x and z, 0..2 in y;
    // cylinder base 0, height 2, radius 1.
    o = LoadModel(HgoFile(HgoInner(m)));
  }
};

TEST_F(Bounds, SpheresTouchingTheBoundingSpherePassTheBoundingTestButNotTheCollision) {
  const ZEMTX at = Translation(0, 0, 0);
  const struct {
    ZEVEC c;
    float r;
    int bound, collide;
  } cases[] = {
      {{5, 1, 0}, 3, 1, 0},     // touching exactly
      {{4.5f, 1, 0}, 3, 1, 1},  // overlapping
      {{6, 1, 0}, 3, 0, 0},     // apart
      {{0, 1, 0}, 0, 1, 1},     // at the centre
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ZeHGobjBoundingSphereToSphere(o, &at, &c.c, c.r), c.bound) << c.c.x;
    ZEVEC centre = {9, 9, 9};
    EXPECT_EQ(ZeHGobjCollideSphere(o, &at, nullptr, &c.c, &centre, c.r), c.collide) << c.c.x;
    // Without collision data the bounding sphere decides and its centre is reported.
    if (c.collide) EXPECT_EQ(centre.y, 1.0f);
    else EXPECT_EQ(centre.y, 9.0f);
  }
}

TEST_F(Bounds, TheCollisionCentreIsNotTurnedByTheObjectMatrix) {
  // Turned half a turn about z: the bounding-sphere test turns the height,
  // the collision does not.
  ZEMTX m = Translation(0, 0, 0);
  m.m[0][0] = m.m[1][1] = -1;
  const ZEVEC below = {0, -1, 0}, above = {0, 1, 0};
  EXPECT_EQ(ZeHGobjBoundingSphereToSphere(o, &m, &below, 0.1f), 1);
  ZEVEC c;
  EXPECT_EQ(ZeHGobjCollideSphere(o, &m, nullptr, &above, &c, 0.1f), 1);
  EXPECT_EQ(c.y, 1.0f);
}

TEST_F(Bounds, BoxAndCylinderAgainstSpheres) {
  const ZEMTX at = Translation(10, 0, 0);
  const struct {
    ZEVEC c;
    float r;
    int box, cyl;
  } cases[] = {
      {{10, 1, 0}, 0.1f, 1, 1}, {{12, 1, 0}, 1, 1, 1}, {{12.1f, 1, 0}, 1, 0, 0},
      {{10, 3.5f, 0}, 1, 0, 0}, {{10, -0.5f, 0}, 1, 1, 1}, {{11.6f, 1, 1.6f}, 0.7f, 1, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ZeHGobjBoundingBoxToSphere(o, &at, &c.c, c.r), c.box) << c.c.x << "," << c.c.y;
    EXPECT_EQ(ZeHGobjBoundingCylinderToSphere(o, &at, &c.c, c.r), c.cyl) << c.c.x << "," << c.c.y;
  }
}

TEST_F(Bounds, SegmentsAgainstTheBoxAndTheSphere) {
  const ZEMTX at = Translation(0, 0, 0);
  const struct {
    ZEVEC a, b;
    float g;
    int box;
  } cases[] = {
      {{0, 1, 0}, {5, 1, 0}, 0, 1},      // one end inside
      {{3, 1, 0}, {5, 1, 0}, 0, 0},      // both beyond +x
      {{3, -1, 0}, {5, 4, 0}, 0, 0},     // both beyond +x, crossing y
      {{-3, 1, 0}, {3, 1, 0}, 0, 1},     // through
      {{-3, 1, 2}, {3, 1, 2}, 0, 0},     // passes beyond the +z face
      {{-3, 1, 2}, {3, 1, 2}, 1.5f, 1},  // the grown box catches it
      {{-3, 3, 0}, {0, 3, 3}, 0, 0},     // above
  };
  for (const auto& c : cases)
    EXPECT_EQ(ZeHGobjBoundingBoxToLine(o, &at, &c.a, &c.b, c.g), c.box) << c.a.x << "," << c.a.z << " " << c.g;
  const ZEVEC a = {-5, 1, 2.5f}, b = {5, 1, 2.5f};
  EXPECT_EQ(ZeHGobjBoundingSphereToLine(o, &at, &a, &b, 0), 0);
  EXPECT_EQ(ZeHGobjBoundingSphereToLine(o, &at, &a, &b, 0.6f), 1);
}

TEST_F(Hgo, CollisionSpheresDecideOnceTheBoundingSphereIsMet) {
  HgoModel m = HgoTwoJoints();
  ZEHGOBJ* o = LoadModel(HgoFile(HgoInner(m, {HgoCollSphere({0, 0, 0}, 0.25f, 1)})));
  ASSERT_NE(o, nullptr);
  ASSERT_NE(o->collision.get(), nullptr);
  ASSERT_EQ(o->collision->count, 1u);
  EXPECT_EQ(o->collision->entries[0].shape->joint, 1);
  ZEMTX joints[2] = {Translation(0, 1, 0), Translation(1, 1, 0)};
  const ZEMTX at = Translation(0, 0, 0);
  ZEVEC hit = {1.2f, 1, 0}, miss = {-1, 1, 0}, c = {9, 9, 9};
  EXPECT_EQ(ZeHGobjCollideSphere(o, &at, joints, &miss, &c, 0.1f), 0);
  EXPECT_EQ(c.x, 9.0f);
  EXPECT_EQ(ZeHGobjCollideSphere(o, &at, joints, &hit, &c, 0.1f), 1);
  EXPECT_EQ(c.y, 1.0f);
}

TEST_F(Hgo, DamagedModelFilesStopWithAMessage) {
  HgoModel forward = HgoTwoJoints();
  forward.joints[0].parent = 1;
  EXPECT_SCENE_HALT(LoadModel(HgoFile(HgoInner(forward))), "parent 1");
  HgoModel badmap = HgoTwoJoints();
  badmap.jointmap = {0, 5};
  EXPECT_SCENE_HALT(LoadModel(HgoFile(HgoInner(badmap))), "maps to 5");
  HgoModel badname = HgoTwoJoints();
  badname.joints[1].name = 400;
  EXPECT_SCENE_HALT(LoadModel(HgoFile(HgoInner(badname))), "names offset");
  HgoModel badpoint = HgoTwoJoints();
  badpoint.points[0].joint = 2;
  EXPECT_SCENE_HALT(LoadModel(HgoFile(HgoInner(badpoint))), "on joint 2");
  // Collision offsets outside the block, and a sphere on a missing joint.
  Bytes far = HgoCollSphere({0, 0, 0}, 1, 0);
  far.b[4] = 200;
  EXPECT_SCENE_HALT(LoadModel(HgoFile(HgoInner(HgoTwoJoints(), {far}))), "outside the block");
  EXPECT_SCENE_HALT(LoadModel(HgoFile(HgoInner(HgoTwoJoints(), {HgoCollSphere({0, 0, 0}, 1, 9)}))), "joint 9");
  HgoModel bare = HgoTwoJoints();
  bare.layers.clear();
  Bytes cut = HgoBody(bare);
  cut.b.resize(cut.b.size() - 20);
  const std::string names("root\0arm\0", 9);
  Bytes outer;
  outer.Block("NTBL", Bytes().I32(9).Raw(names.data(), 9)).Block("MS00", Bytes().I32(0)).Block("HGO0", cut);
  EXPECT_SCENE_HALT(LoadModel(HgoFile(outer)), "cut short");
}

TEST_F(Hgo, DestroyingNullGivesZero) { EXPECT_EQ(ZeHGobjDestroy(nullptr), 0); }

TEST_F(Hgo, TheCutSceneReaderSharesTheScenesMaterials) {
  Bytes b;
  b.Block("HGO0", HgoBody(HgoTwoJoints()));
  Put("CUT.BIN", b.b);
  ZEGSCENE scene = {};
  std::string names("root\0arm\0", 9);
  scene.names = const_cast<char*>(names.c_str());
  scene.namesize = int32_t(names.size());
  SceneMaterial mat;
  uint8_t rec[ZEMTL_FILE_RECORD];
  SceneMaterialRecord(mat, rec);
  auto* mtls = static_cast<EePtr<ZEMTL>*>(ZeMemAllocTagged(4));
  ZEFILE mf = ZeMemFileOpen(rec, sizeof rec, 0);
  mtls[0] = ZeMtlRead(mf);
  ZeFileClose(mf);
  scene.mtls = mtls;
  scene.nmtl = 1;
  const ZEFILE f = ZeFileOpen("CUT.BIN", 0);
  ASSERT_NE(f, 0);
  ZEHGOBJ* o = ZeHGobjReadForCutScene(f, &scene);
  ZeFileClose(f);
  EXPECT_EQ(o->mtls.get(), mtls);
  EXPECT_EQ(o->njoint, 2);
  EXPECT_STREQ(o->joints[1].name.get(), "arm");
  EXPECT_EQ(o->layers[0].objects[1]->geometries->mtl.get(), mtls[0].get());
  // The scene keeps its tables: only the hierarchy is released.
  EXPECT_EQ(ZeHGobjDestroy(o), 1);
  EXPECT_STREQ(scene.names.get(), "root");
  ZeMtlDestroy(mtls[0]);
  ZeMemFreeTagged(mtls);
}

}  // namespace
