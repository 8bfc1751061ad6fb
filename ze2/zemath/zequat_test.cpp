#include <cmath>

#include "zemath_test.h"

namespace {
ZEQUAT AxisAngle(ZEVEC axis, double radians) {
  double s = std::sin(radians / 2), c = std::cos(radians / 2);
  return {static_cast<float>(axis.x * s), static_cast<float>(axis.y * s), static_cast<float>(axis.z * s),
          static_cast<float>(c)};
}

#define EXPECT_QUAT_NEAR(a, b, tol) \
  EXPECT_VEC4_NEAR((ZEVEC4{(a).x, (a).y, (a).z, (a).w}), (ZEVEC4{(b).x, (b).y, (b).z, (b).w}), tol)

// Exact spherical interpolation in double precision, along the shorter arc.
// th: the angle between them when known better than acos of their dot product.
ZEQUAT RefSlerp(const ZEQUAT& a, ZEQUAT b, double t, double th = -1) {
  double d = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
  if (d < 0) b = {-b.x, -b.y, -b.z, -b.w}, d = -d;
  if (th < 0) th = std::acos(std::min(d, 1.0));
  double wa = std::sin((1 - t) * th) / std::sin(th), wb = std::sin(t * th) / std::sin(th);
  return {static_cast<float>(wa * a.x + wb * b.x), static_cast<float>(wa * a.y + wb * b.y),
          static_cast<float>(wa * a.z + wb * b.z), static_cast<float>(wa * a.w + wb * b.w)};
}
}  // namespace

TEST(ZeQuat, ToMtxMatchesTheMatrixBuilders) {
  ZeTrigInit();
  ZEMTX m, e;
  const double th = 0x1800 * 2 * M_PI / 65536;
  ZEQUAT q = AxisAngle({0, 0, 1}, th);
  ZeQuatToMtx(&q, &m);
  ZeMtxSetRotationZ(&e, 0x1800);
  EXPECT_MTX_NEAR(m, e, 1e-6);
  EXPECT_NEAR(m.m[0][1], std::sin(th), 1e-6);
  EXPECT_NEAR(m.m[1][0], -std::sin(th), 1e-6);
  ZEVEC axis = {0.48f, 0.6f, 0.64f};
  ZeMtxSetRotationAxis(&e, 0x2344, &axis);
  q = AxisAngle(axis, 0x2344 * 2 * M_PI / 65536);
  ZeQuatToMtx(&q, &m);
  EXPECT_MTX_NEAR(m, e, 2e-6);
  // Not unit length: the rotation scaled by the squared length.
  ZEQUAT q2 = {q.x * 2, q.y * 2, q.z * 2, q.w * 2};
  ZEMTX m2;
  ZeQuatToMtx(&q2, &m2);
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) EXPECT_NEAR(m2.m[i][j], 4 * m.m[i][j], 1e-5);
  EXPECT_VEC4_NEAR((ZEVEC4{m2.m[3][0], m2.m[3][1], m2.m[3][2], m2.m[3][3]}), zevec4_w, 0);
}

TEST(ZeQuat, FromMtxTakesEveryBranch) {
  ZeTrigInit();
  ZEQUAT q;
  ZeMtxToQuat(&zemtx_identity, &q);
  EXPECT_QUAT_NEAR(q, (ZEQUAT{0, 0, 0, 1}), 0);
  ZEMTX m;
  ZeMtxSetRotationX(&m, 0x8000);  // trace -1: the diagonal branch
  ZeMtxToQuat(&m, &q);
  EXPECT_QUAT_NEAR(q, (ZEQUAT{1, 0, 0, 0}), 1e-6);
  // Half turns about Y and Z pick the other diagonal elements.
  ZeMtxSetRotationY(&m, 0x8000);
  ZeMtxToQuat(&m, &q);
  EXPECT_QUAT_NEAR(q, (ZEQUAT{0, 1, 0, 0}), 1e-6);
  ZeMtxSetRotationZ(&m, 0x8000);
  ZeMtxToQuat(&m, &q);
  EXPECT_QUAT_NEAR(q, (ZEQUAT{0, 0, 1, 0}), 1e-6);
  // Round trips for orthonormal matrices, including negative traces.
  ZeTestRandom rnd;
  int negative = 0;
  for (int k = 0; k < 200; k++) {
    ZEMTX r = rnd.Rigid(), back;
    r.m[3][0] = r.m[3][1] = r.m[3][2] = 0;
    negative += r.m[0][0] + r.m[1][1] + r.m[2][2] <= 0;
    ZeMtxToQuat(&r, &q);
    EXPECT_NEAR(ZeQuatMagnitude(&q), 1.0f, 1e-5);
    ZeQuatToMtx(&q, &back);
    EXPECT_MTX_NEAR(back, r, 2e-5);
  }
  EXPECT_GT(negative, 20);
}

TEST(ZeQuat, ProductComposesRotationsBFirst) {
  ZeTrigInit();
  ZeTestRandom rnd;
  for (int k = 0; k < 10; k++) {
    ZEVEC u = rnd.Vec(1), v = rnd.Vec(1);
    ZeVecNorm(&u, &u);
    ZeVecNorm(&v, &v);
    ZEQUAT a = AxisAngle(u, rnd.Uniform(-3, 3)), b = AxisAngle(v, rnd.Uniform(-3, 3)), ab;
    ZeQuatMul(&ab, &a, &b);
    ZEMTX ma, mb, mab, ref;
    ZeQuatToMtx(&a, &ma);
    ZeQuatToMtx(&b, &mb);
    ZeQuatToMtx(&ab, &mab);
    ZeMtxMulR(&ref, &mb, &ma);
    EXPECT_MTX_NEAR(mab, ref, 1e-5);
  }
}

TEST(ZeQuat, ArithmeticInverseAndNormalise) {
  ZEQUAT a = {1, 2, 3, 4}, b = {0.5f, -1, 2, 1}, d;
  ZeQuatAdd(&d, &a, &b);
  EXPECT_QUAT_NEAR(d, (ZEQUAT{1.5f, 1, 5, 5}), 0);
  ZeQuatSub(&d, &a, &b);
  EXPECT_QUAT_NEAR(d, (ZEQUAT{0.5f, 3, 1, 3}), 0);
  ZEQUAT w2 = {0, 0, 0, 2};
  EXPECT_EQ(ZeQuatMagnitude(&w2), 4.0f);
  ZEQUAT zero = {0, 0, 0, 0};
  ZeQuatNormalise(&d, &zero);
  EXPECT_QUAT_NEAR(d, zero, 0);
  d = a;
  ZeQuatNormalise(&d, &d);
  EXPECT_NEAR(ZeQuatMagnitude(&d), 1.0f, 1e-6);
  EXPECT_NEAR(d.w, 4 / std::sqrt(30.0f), 1e-6);
  ZEQUAT u = AxisAngle({0, 0.6f, 0.8f}, 1.0), inv;
  ZeQuatInv(&inv, &u);  // unit: the conjugate
  EXPECT_QUAT_NEAR(inv, (ZEQUAT{-u.x, -u.y, -u.z, u.w}), 1e-6);
  inv = a;
  ZeQuatInv(&inv, &inv);  // any length: a (x) inverse = identity
  ZeQuatMul(&d, &a, &inv);
  EXPECT_QUAT_NEAR(d, (ZEQUAT{0, 0, 0, 1}), 1e-6);
}

TEST(ZeQuat, LerpAndSlerpStartAtA) {
  ZeTrigInit();
  ZEQUAT a = AxisAngle({0, 1, 0}, 0.4), b = AxisAngle({1, 0, 0}, 1.2), d;
  ZeQuatLerp(&d, &a, &b, 0);
  EXPECT_QUAT_NEAR(d, a, 0);
  ZeQuatLerp(&d, &a, &b, 1);
  EXPECT_QUAT_NEAR(d, b, 0);
  ZeQuatLerp(&d, &a, &b, 0.25f);
  EXPECT_NEAR(d.w, 0.75f * a.w + 0.25f * b.w, 1e-7);
  ZeQuatSlerp(&d, &a, &b, 0);
  EXPECT_QUAT_NEAR(d, a, 1e-6);
  ZeQuatSlerp(&d, &a, &b, 1);
  EXPECT_QUAT_NEAR(d, b, 1e-6);
  // b on the far side: slerp goes to -b, the nearer of the two.
  ZEQUAT nb = {-b.x, -b.y, -b.z, -b.w};
  ZeQuatSlerp(&d, &a, &nb, 1);
  EXPECT_QUAT_NEAR(d, b, 1e-6);
  for (float t = 0.1f; t < 1.0f; t += 0.1f) {
    ZeQuatSlerp(&d, &a, &b, t);
    EXPECT_QUAT_NEAR(d, RefSlerp(a, b, t), 1e-3);
    d = a;
    ZeQuatSlerp(&d, &d, &b, t);  // dst may be a
    EXPECT_QUAT_NEAR(d, RefSlerp(a, b, t), 1e-3);
    d = b;
    ZeQuatSlerp(&d, &a, &d, t);  // or b
    EXPECT_QUAT_NEAR(d, RefSlerp(a, b, t), 1e-3);
    // q and -q coincide: q for every t.
    ZEQUAT na = {-a.x, -a.y, -a.z, -a.w};
    ZeQuatSlerp(&d, &a, &na, t);
    EXPECT_QUAT_NEAR(d, a, 1e-6);
  }
}

TEST(ZeQuat, SlerpOfNearlyEqualQuaternionsStaysUnitLength) {
  // A few table units apart the table weights are meaningless (at t = 0.3
  // they would give half of a); closer still the table sine is 0.
  ZeTrigInit();
  for (int units : {1, 2, 4, 8, 40, 200}) {
    ZEQUAT a = AxisAngle({0, 0, 1}, 0.3), b;
    const double half = units * 2 * M_PI / 65536;
    ZEQUAT step = AxisAngle({1, 0, 0}, 2 * half);  // a and b are half apart
    ZeQuatMul(&b, &step, &a);
    for (float t : {0.0f, 0.3f, 0.5f, 0.9f, 1.0f}) {
      ZEQUAT d;
      ZeQuatSlerp(&d, &a, &b, t);
      ASSERT_FALSE(std::isnan(d.x) || std::isnan(d.w)) << units << " " << t;
      EXPECT_NEAR(ZeQuatMagnitude(&d), 1.0f, 2e-4) << units << " " << t;
      EXPECT_QUAT_NEAR(d, RefSlerp(a, b, t, half), 1e-4);
    }
  }
}
