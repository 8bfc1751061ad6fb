// Animated matrices: a pose written in engine space comes back through the
// node and joint forms of both formats; blends, overrides, clamps, scale
// inheritance, orientation and the pivot.
#include "zeanim_test.h"

#include <array>
#include <cmath>
#include <cstring>

namespace {

using Slots = std::array<float, 9>;

struct Matrices : AnimFiles {
  std::vector<ZEANIMCURVESET*> sets;
  ZEJOINT joint{};
  ZEANIMTIME time{1, 1, 0, 1, 0, 0};
  const ZEVEC one = {1, 1, 1};

  void SetUp() override {
    AnimFiles::SetUp();
    ZeMtxSetIdentity(&joint.orient);
  }
  void TearDown() override {
    for (ZEANIMCURVESET* s : sets) ZeAnimCurveSetDestroy(s, 1);
    AnimFiles::TearDown();
  }
  // An old-format set of constants, as stored (tool space).
  ZEANIMCURVESET* Set(int flags, const Slots& v) {
    ZEANIMCURVESET* s = ZeAnimCurveSetCreate(9);
    s->flags = flags;
    for (int k = 0; k < 9; k++) s->consts[k] = v[size_t(k)];
    sets.push_back(s);
    return s;
  }
};

void MirrorZ(ZEMTX* m) {
  for (auto [r, c] : {std::pair{0, 2}, {1, 2}, {2, 0}, {2, 1}, {2, 3}, {3, 2}}) m->m[r][c] = -m->m[r][c];
}

int Angle(float r) { return EeFtoi(r * 10430.378f); }

// The matrix of an engine-space pose: rotation, then scale, then translation.
ZEMTX Pose(const Slots& v) {
  ZEMTX m;
  const ZEANGVEC a = {Angle(v[3]), Angle(v[4]), Angle(v[5])};
  ZeMtxSetRotateXYZ(&m, &a);
  const ZEVEC s = {v[6], v[7], v[8]}, t = {v[0], v[1], v[2]};
  ZeMtxPreScale(&m, &s);
  ZeMtxTranslate(&m, &t);
  return m;
}

void ExpectNear(const ZEMTX& a, const ZEMTX& b, float tol = 1e-5f) {
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) EXPECT_NEAR(a.m[r][c], b.m[r][c], tol) << "row " << r << " column " << c;
}

bool Same(const ZEMTX& a, const ZEMTX& b) { return memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST_F(Matrices, APoseGivenInEngineSpaceComesBack) {
  const Slots pose = {1.5f, -2, 3, 0.3f, -0.4f, 0.5f, 1, 2, 0.5f};
  std::string text = "end 20\nnode n 0x0b\n";
  const char* names[] = {"tx", "ty", "tz", "rx", "ry", "rz", "sx", "sy", "sz"};
  for (int k = 0; k < 9; k++)
    text += std::string("channel ") + names[k] + " hermite\nkey 1 " + std::to_string(pose[size_t(k)]) + "\nkey 20 0\n";
  const AniDesc desc = Describe(text);
  const ZEMTX want = Pose(pose);
  // The sine table turns a negated angle into a neighbouring entry (a >> 1):
  // equal within its step.
  constexpr float kTable = 5e-4f;

  ZEANIMDATA2* a = LoadV2(desc, "POSE.ANI");
  ZEANIMTIME t;
  ZeAnimData2CalcTime(a, &t, 1);
  ZEMTX m;
  ZeAnimCurve2SetApplyToMatrix(a->words, a->keytypes, a->nodeflags[0], &t, &m);
  ExpectNear(m, want, kTable);
  ZEVEC s;
  ZeAnimCurve2SetApplyToJoint(a->words, a->keytypes, int8_t(a->nodeflags[0]), &t, &joint, &s, &one, &m, nullptr);
  ExpectNear(m, want, kTable);
  EXPECT_FLOAT_EQ(s.y, 2);

  ZEANIMDATA* a1 = LoadV1(desc, "POSE1.ANI");
  ZeAnimDataCalcTime(a1, &t, 1);
  ZeAnimCurveSetApplyToMatrix(a1->chunks[0]->sets[0], &t, &m);
  ExpectNear(m, want, kTable);
  ZeAnimCurveSetApplyToJoint2(a1->chunks[0]->sets[0], &t, &joint, &s, &one, &m, nullptr);
  ExpectNear(m, want, kTable);
}

TEST_F(Matrices, BlendFactorsZeroAndOneGiveEachAnimationExactly) {
  ZEANIMCURVESET* a = Set(0x0b, {1, 2, 3, 0.5f, 1, -1, 2, 1, 1});
  ZEANIMCURVESET* b = Set(0x0b, {-4, 0, 1, 0.25f, 0.5f, -0.5f, 1, 3, 2});
  const ZEVEC p = {2, 1, 0.5f};
  ZEMTX ma, mb, m;
  ZEVEC sa, sb, s;
  ZeAnimCurveSetApplyToJoint2(a, &time, &joint, &sa, &p, &ma, nullptr);
  ZeAnimCurveSetApplyToJoint2(b, &time, &joint, &sb, &p, &mb, nullptr);
  ZeAnimCurveSetApplyBlendToJoint2(a, &time, b, &time, &joint, &s, &p, &m, 0.0f, nullptr);
  EXPECT_TRUE(Same(m, ma));
  EXPECT_EQ(memcmp(&s, &sa, sizeof s), 0);
  ZeAnimCurveSetApplyBlendToJoint2(a, &time, b, &time, &joint, &s, &p, &m, 1.0f, nullptr);
  EXPECT_TRUE(Same(m, mb));
  EXPECT_EQ(memcmp(&s, &sb, sizeof s), 0);

  // The new format, on two one-node images of constants.
  ZEANIMDATA2* na = LoadV2(Describe("end 5\nnode a 0x0b\nchannel tx const 1\nchannel rz const 0.5\nchannel sy const 2\n"), "A.ANI");
  ZEANIMDATA2* nb = LoadV2(Describe("end 5\nnode b 0x09\nchannel ty const 3\nchannel rx const -1\n"), "B.ANI");
  ZEANIMTIME t;
  ZeAnimData2CalcTime(na, &t, 2);
  ZeAnimCurve2SetApplyToJoint(na->words, na->keytypes, int8_t(na->nodeflags[0]), &t, &joint, &sa, &p, &ma, nullptr);
  ZeAnimCurve2SetApplyToJoint(nb->words, nb->keytypes, int8_t(nb->nodeflags[0]), &t, &joint, &sb, &p, &mb, nullptr);
  ZeAnimCurve2SetApplyBlendToJoint2(na->words, na->keytypes, na->nodeflags[0], &t, nb->words, nb->keytypes,
                                    nb->nodeflags[0], &t, 0.0f, &joint, &s, &p, &m, nullptr);
  EXPECT_TRUE(Same(m, ma));
  ZeAnimCurve2SetApplyBlendToJoint2(na->words, na->keytypes, na->nodeflags[0], &t, nb->words, nb->keytypes,
                                    nb->nodeflags[0], &t, 1.0f, &joint, &s, &p, &m, nullptr);
  EXPECT_TRUE(Same(m, mb));
}

TEST_F(Matrices, BlendedAnglesGoTheShortWay) {
  ZEANIMCURVESET* a = Set(0x01, {0, 0, 0, 3.0f, 0, 0, 1, 1, 1});
  ZEANIMCURVESET* b = Set(0x01, {0, 0, 0, -3.0f, 0, 0, 1, 1, 1});
  ZEMTX m, want;
  ZeAnimCurveSetApplyBlendToJoint2(a, &time, b, &time, &joint, nullptr, &one, &m, 0.5f, nullptr);
  // About -3.1416 (half a turn), not 0.
  ZeAnimCurveSetApplyToJoint2(Set(0x01, {0, 0, 0, -3.1415927f, 0, 0, 1, 1, 1}), &time, &joint, nullptr, &one, &want,
                              nullptr);
  ExpectNear(m, want, 1e-3f);
  EXPECT_NEAR(m.m[1][1], -1.0f, 1e-3f);
}

TEST_F(Matrices, OverridesClampsAndScales) {
  ZEJOINTANIM o{};
  // A clamped angle wraps into -32768..32767 first: 4 radians is 41721,
  // -23815 after the wrap, so the lower limit applies, not the upper.
  o.flags = ZEJOINTANIM_ROT | ZEJOINTANIM_CLAMPX;
  o.rot = {4.0f, 0, 0};
  o.max[0] = 10000;
  o.min[0] = -10000;
  ZEMTX m, want;
  ZeAnimCurveSetApplyToJoint2(Set(0, {0, 0, 0, 0, 0, 0, 1, 1, 1}), &time, &joint, nullptr, &one, &m, &o);
  const ZEANGVEC lower = {-10000, 0, 0};
  ZeMtxSetRotateXYZ(&want, &lower);
  MirrorZ(&want);
  ExpectNear(m, want);

  // Scale offsets alone on a node without scale: scale by the offsets.
  o = {};
  o.flags = ZEJOINTANIM_SCALE;
  o.scale = {2, 3, 4};
  const ZEVEC p = {1, 2, 1};
  ZEVEC s;
  ZeAnimCurveSetApplyToJoint2(Set(0, {0, 0, 0, 0, 0, 0, 5, 5, 5}), &time, &joint, &s, &p, &m, &o);
  EXPECT_EQ(m.m[0][0], 2);
  EXPECT_EQ(m.m[1][1], 3);
  EXPECT_EQ(m.m[2][2], 4);
  EXPECT_EQ(s.y, 6);

  // Cancelling the parent's scale: the children get the node's own scale.
  const ZEVEC four = {4, 4, 4};
  ZeAnimCurveSetApplyToJoint2(Set(0x18, {0, 0, 0, 0, 0, 0, 2, 2, 2}), &time, &joint, &s, &four, &m, nullptr);
  EXPECT_EQ(s.x, 2);
  EXPECT_EQ(s.z, 2);
  EXPECT_EQ(m.m[1][1], 0.5f);

  // Without the rotation flag, rotation constants are not used; the
  // rotation-only form always uses them, and translation constants only.
  ZEANIMCURVESET* r = Set(0x00, {1, 2, 3, 0.5f, 0, 0, 1, 1, 1});
  ZeAnimCurveSetApplyToJoint2(r, &time, &joint, &s, &one, &m, nullptr);
  EXPECT_EQ(m.m[1][1], 1);
  EXPECT_EQ(m.m[3][2], -3);  // mirrored
  ZeAnimCurveSetApplyToJointBasic(r, &time, &joint, &s, &p, &m, nullptr);
  EXPECT_NEAR(m.m[1][1], std::cos(0.5f), 1e-4f);
  EXPECT_EQ(m.m[3][0], 1);
  EXPECT_EQ(m.m[3][2], -3);
  EXPECT_EQ(s.y, 2);  // the parent's scale passes on

  // Joint orientation multiplies the rotation.
  ZeMtxSetRotationY(&joint.orient, 0x2000);
  ZeAnimCurveSetApplyToJoint2(Set(0x21, {0, 0, 0, 0, 0, 0.3f, 1, 1, 1}), &time, &joint, nullptr, &one, &m, nullptr);
  const ZEANGVEC z = {0, 0, Angle(0.3f)};
  ZEMTX rz;
  ZeMtxSetRotateXYZ(&rz, &z);
  ZeMtxMulR(&want, &rz, &joint.orient);
  MirrorZ(&want);
  ExpectNear(m, want);
}

TEST_F(Matrices, ThePivotStaysInPlace) {
  joint.flags = ZEJOINT_PIVOT;
  joint.pivot = {1, 2, 3};
  ZEMTX m;
  ZeAnimCurveSetApplyToJoint2(Set(0x01, {0, 0, 0, 0.4f, 0.2f, 0.7f, 1, 1, 1}), &time, &joint, nullptr, &one, &m,
                              nullptr);
  // Minus the pivot, in the mirrored space: z keeps its sign.
  const ZEVEC p = {-1, -2, 3};
  ZEVEC q;
  ZeVecMtxTransform(&q, &p, &m);
  EXPECT_NEAR(q.x, p.x, 1e-5f);
  EXPECT_NEAR(q.y, p.y, 1e-5f);
  EXPECT_NEAR(q.z, p.z, 1e-5f);
}
