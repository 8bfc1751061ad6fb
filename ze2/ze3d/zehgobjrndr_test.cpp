// Posing hierarchical objects: rest pose, overrides, animations of both
// formats, deformer weights; drawing: layers, shadow-store entries.
#include "zehgobj_test.h"

namespace {

struct Pose : HgoAnims {
  ZEHGOBJ* o = nullptr;
  void SetUp() override {
    HgoAnims::SetUp();
    o = LoadModel(HgoFile(HgoInner(HgoTwoJoints())));
  }
};

AniNode Node(int flags, std::initializer_list<std::pair<int, float>> consts) {
  AniNode n;
  n.flags = flags;
  n.channels.resize(ZEANIM_SLOTS);
  for (int s = 6; s < 9; s++) n.channels[size_t(s)].constant = 1;
  for (auto [slot, v] : consts) n.channels[size_t(slot)].constant = v;
  return n;
}

void ExpectAt(const ZEMTX& m, float x, float y, float z) {
  EXPECT_NEAR(m.m[3][0], x, 1e-5f);
  EXPECT_NEAR(m.m[3][1], y, 1e-5f);
  EXPECT_NEAR(m.m[3][2], z, 1e-5f);
}

ZEJOINTANIM Override(int id, ZEVEC trans, int flags = 0) {
  ZEJOINTANIM o = {};
  o.joint = uint8_t(id);
  o.trans = trans;
  o.flags = uint8_t(flags);
  return o;
}

TEST_F(Pose, RootsTakeTheirLocalMatrixAndChildrenFollowTheirParents) {
  ZEMTX out[2];
  ZeHGobjEval(o, 0, nullptr, out);
  ExpectAt(out[0], 0, 1, 0);
  ExpectAt(out[1], 1, 1, 0);
}

TEST_F(Pose, OverridesApplyByJointIdTheLaterWinningAndUnmappedIdsIgnored) {
  const struct {
    std::vector<ZEJOINTANIM> ovr;
    ZEVEC arm;
  } cases[] = {
      {{Override(1, {0, 0, 2})}, {1, 1, 2}},                             // flags 0 still apply
      {{Override(1, {0, 0, 2}), Override(1, {0, 3, 0})}, {1, 4, 0}},     // the later one
      {{Override(2, {0, 0, 2}), Override(9, {5, 5, 5})}, {1, 1, 0}},     // mapped to 255, beyond the map
  };
  for (const auto& c : cases) {
    ZEMTX out[2];
    ZeHGobjEval(o, int(c.ovr.size()), c.ovr.data(), out);
    ExpectAt(out[0], 0, 1, 0);
    ExpectAt(out[1], c.arm.x, c.arm.y, c.arm.z);
  }
  // A rotation offset turns the joint before its rest offset.
  ZEJOINTANIM turn = Override(0, {0, 0, 0});
  turn.rot = {0, 0, 1.5707964f};
  ZEMTX out[2];
  ZeHGobjEval(o, 1, &turn, out);
  ExpectAt(out[0], 0, 1, 0);
  ExpectAt(out[1], 0, 2, 0);
}

TEST_F(Pose, MatrixOverridesByIdMultiplyTheRestMatrix) {
  const ZEMTX m[3] = {Translation(5, 0, 0), Translation(0, 9, 0), Translation(0, 0, 9)};
  const int16_t ids[3] = {0, -1, 3};
  ZEMTX out[2];
  ZeHGobjEvalX(o, m, ids, 3, out);
  ExpectAt(out[0], 5, 1, 0);
  ExpectAt(out[1], 6, 1, 0);
  ZeHGobjEvalX(o, nullptr, ids, 3, out);
  ExpectAt(out[1], 1, 1, 0);
}

TEST_F(Pose, SurplusJointsOfANewFormatAnimationAreIdentity) {
  AniDesc d;
  d.end = 4;
  d.nodes = {Node(0x02, {{0, 3}})};
  ZEANIMDATA2* a = Anim2(d, "ONE.ANI");
  ASSERT_NE(a, nullptr);
  ZEMTX out[2];
  out[1] = Translation(7, 7, 7);
  ZeHGobjEvalAnim2(o, a, 0, nullptr, out, 2);
  ExpectAt(out[0], 3, 0, 0);
  ZEMTX id;
  ZeMtxSetIdentity(&id);
  EXPECT_EQ(memcmp(&out[1], &id, sizeof id), 0);
  // The blend gives identity when either animation lacks the node.
  AniDesc e = d;
  e.nodes.push_back(Node(0x02, {{1, 1}}));
  ZEANIMDATA2* b = Anim2(e, "TWO.ANI");
  ZeHGobjEvalAnimBlend2(o, b, a, 0, nullptr, out, 2, 2, 0.5f);
  EXPECT_EQ(memcmp(&out[1], &id, sizeof id), 0);
  ZeHGobjEvalAnimBlend2(o, b, b, 0, nullptr, out, 2, 2, 0.5f);
  ExpectAt(out[1], 3, 1, 0);
}

TEST_F(Pose, Flag40HandsTheChildrenUnitScale) {
  // A scaled root with 0x40, a child that cancels its parent's scale: the
  // child sees scale 1, as under an unscaled root.
  auto make = [&](int rootflags, float scale, const char* name) {
    AniDesc d;
    d.end = 2;
    d.nodes = {Node(rootflags, {{6, scale}, {7, scale}, {8, scale}}), Node(0x02 | 0x10, {{0, 1}})};
    return Anim2(d, name);
  };
  ZEANIMDATA2* reset = make(0x08 | 0x40, 2, "RESET.ANI");
  ZEANIMDATA2* keep = make(0x08, 2, "KEEP.ANI");
  ZEANIMDATA2* unit = make(0x08, 1, "UNIT.ANI");
  ZEMTX r[2], k[2], u[2];
  ZeHGobjEvalAnim2(o, reset, 0, nullptr, r, 1);
  ZeHGobjEvalAnim2(o, keep, 0, nullptr, k, 1);
  ZeHGobjEvalAnim2(o, unit, 0, nullptr, u, 1);
  ZEMTX want;
  ZeMtxMulH(&want, &u[1], &r[0]);
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) EXPECT_NEAR(r[1].m[i][j], want.m[i][j], 1e-5f) << i << j;
  EXPECT_GT(std::fabs(k[1].m[0][0] - r[1].m[0][0]) + std::fabs(k[1].m[3][0] - r[1].m[3][0]), 1e-3f);
}

TEST_F(Pose, OldFormatAnimationsAndTheirBlend) {
  AniDesc a, b;
  a.end = b.end = 4;
  a.nodes = {Node(0x02, {{0, 2}}), Node(0x02, {{0, 1}})};
  b.nodes = {Node(0x02, {{0, 4}}), Node(0x02, {{0, 1}})};
  ZEANIMDATA* aa = Anim1(a, "A1.ANI");
  ZEANIMDATA* bb = Anim1(b, "B1.ANI");
  ASSERT_NE(aa, nullptr);
  ZEMTX out[2];
  ZeHGobjEvalAnim(o, aa, 0, nullptr, out, 2);
  ExpectAt(out[0], 2, 0, 0);
  ExpectAt(out[1], 3, 0, 0);
  ZeHGobjEvalAnimBlend(o, aa, bb, 0, nullptr, out, 2, 2, 0.25f);
  ExpectAt(out[0], 2.5f, 0, 0);
}

struct Weights : Pose {
  void SetUp() override {
    Pose::SetUp();
    ZeRndrBeginScene(-1);
  }
  void TearDown() override {
    ZeRndrEndScene();
    ZeRndrSwapStreamBuffers();
    Pose::TearDown();
  }
  static float W(void* p, int j) { return reinterpret_cast<float*>(p)[6 + j]; }
  static uint32_t N(void* p) { return static_cast<uint32_t*>(p)[3] & 0xffff; }
};

TEST_F(Weights, ListsGiveOneEntryAPositionNullForNegativeLayersAndEmptyBeyondTheNodes) {
  AniDesc d;
  d.end = 2;
  d.curves = 2;
  AniNode n;
  n.channels.resize(2);
  n.channels[0].constant = 0.25f;
  n.channels[1].constant = 0.75f;
  d.nodes = {n};
  ZEANIMDATA2* a = Anim2(d, "W.ANI");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(ZeHGobjEvalDwa2(1, nullptr, nullptr, 1), nullptr);
  EXPECT_EQ(ZeHGobjEvalDwa2(0, nullptr, a, 1), nullptr);
  void** one = ZeHGobjEvalDwa2(5, nullptr, a, 1);
  ASSERT_NE(one, nullptr);
  ASSERT_NE(one[0], nullptr);
  EXPECT_EQ(W(one[0], 0), 0.25f);
  EXPECT_EQ(W(one[0], 1), 0.75f);
  const int16_t list[3] = {0, -1, 4};
  void** three = ZeHGobjEvalDwa2(3, list, a, 1);
  ASSERT_NE(three, nullptr);
  EXPECT_NE(three[0], nullptr);
  EXPECT_EQ(three[1], nullptr);
  ASSERT_NE(three[2], nullptr);
  // Blends: the missing animation counts as zero weights.
  void** half = ZeHGobjEvalDwaBlend2(1, nullptr, a, nullptr, 1, 1, 0.5f);
  ASSERT_NE(half, nullptr);
  EXPECT_EQ(W(half[0], 1), 0.375f);
}

struct Draw : Pose {
  void TearDown() override {
    shadstorecnt = 0;
    Pose::TearDown();
  }
};

TEST_F(Draw, TheShadowStoreTakesExactly256EntriesAFrame) {
  ZEMTX joints[2];
  ZeHGobjEval(o, 0, nullptr, joints);
  const ZEMTX at = Translation(0, 0, 0);
  const int16_t none[1] = {-1};
  shadstorecnt = 0;
  const uint32_t before = shadidcounter;
  Frame([&] {
    for (int i = 0; i < 300; i++) ZeHGobjRndrMtx(o, &at, 1, none, joints);
  });
  EXPECT_EQ(shadstorecnt, 256);
  EXPECT_EQ(shadidcounter, before + 300);
  EXPECT_EQ(shadstore[255].group, uint8_t(before + 256));
  EXPECT_EQ(shadstore[0].nellipsoids, 1);
  ExpectAt(shadstore[0].matrix, 0, 1, 0);
  // Out of view: nothing queued, nothing drawn.
  shadstorecnt = 0;
  const ZEMTX behind = Translation(0, 0, -100);
  Frame([&] { EXPECT_EQ(ZeHGobjRndrMtx(o, &behind, 1, none, joints), 0); });
  EXPECT_EQ(shadstorecnt, 0);
}

}  // namespace

namespace {

// The heap object, its image and the image's relocated copy draw the same
// picture, at rest and posed; the old copy's buffer can go.
TEST_F(Draw, HeapImageAndRelocatedCopyDrawTheSamePicture) {
  HgoModel m = HgoTwoJoints();
  m.skin = true;
  m.sprites = {0, 3};
  ZEHGOBJ* heap = LoadModel(HgoFile(HgoInner(m)), "PIC.HGO");
  ASSERT_NE(heap, nullptr);
  ASSERT_NE(heap->layers[0].skin.get(), nullptr);
  ASSERT_NE(heap->layers[0].skin->geometries->skininst.get(), nullptr);
  ZeGHGWrite(heap, "PIC.GHG", 1 << 20);
  char* end;
  char* start = Buffer(1 << 20, &end);
  char* pos = start;
  ZEHGOBJ* img = ZeGHGRead("PIC.GHG", &pos, end);
  ASSERT_NE(img, nullptr);
  char* end2;
  char* pos2 = Buffer(1 << 20, &end2);
  ZEHGOBJ* moved = ZeGHGRelocate(img, &pos2);
  objs.push_back(moved);

  AniDesc d;
  d.end = 4;
  d.nodes = {Node(0x03, {{1, 1}, {5, 0.4f}}), Node(0x03, {{0, 1}, {5, 0.6f}})};
  ZEANIMDATA2* anim = Anim2(d, "POSE.ANI");
  ASSERT_NE(anim, nullptr);
  const ZEMTX at = Translation(-0.5f, -1, -6);
  auto draw = [&](ZEHGOBJ* obj, bool posed, const char* name) {
    ZEMTX joints[2];
    if (posed) ZeHGobjEvalAnim2(obj, anim, 0, nullptr, joints, 2);
    else ZeHGobjEval(obj, 0, nullptr, joints);
    const uint64_t f = Frame([&] { EXPECT_NE(ZeHGobjRndrMtx(obj, &at, 1, nullptr, joints), 0); });
    return Grab(f, 192, 32, 256, 160, name);
  };
  std::vector<uint32_t> rest;
  for (bool posed : {false, true}) {
    const Picture a = draw(heap, posed, posed ? "hgo_posed_heap" : "hgo_rest_heap");
    if (posed) {
      EXPECT_NE(a.px, rest);
    }
    rest = a.px;
    EXPECT_LT(a.Count(0x202020), int(a.px.size()) - 400);  // skin, triangle and sprites
    const Picture b = draw(img, posed, posed ? "hgo_posed_image" : "hgo_rest_image");
    EXPECT_EQ(a.px, b.px);
    ZeHGobjDestroy(img);
    memset(start, 0xcd, size_t(end - start));
    const Picture c = draw(moved, posed, posed ? "hgo_posed_moved" : "hgo_rest_moved");
    EXPECT_EQ(a.px, c.px);
    if (!posed) {
      // A new image in the same buffer for the posed round.
      pos = start;
      img = ZeGHGRead("PIC.GHG", &pos, end);
    }
  }
  ZeHGobjDestroy(img);
}

}  // namespace
