#include "zemath_test.h"

namespace {
const float kTab = 1e-6f;  // within the sine table's precision

ZEMTX Translation(float x, float y, float z) {
  ZEMTX m;
  ZEVEC v = {x, y, z};
  ZeMtxSetTranslation(&m, &v);
  return m;
}

// Plain double-free reference product, full 4x4.
ZEMTX RefMul(const ZEMTX& a, const ZEMTX& b) {
  ZEMTX r;
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) {
      float s = 0;
      for (int k = 0; k < 4; k++) s += a.m[i][k] * b.m[k][j];
      r.m[i][j] = s;
    }
  return r;
}

// The general inverse one element at a time: Gauss-Jordan exchange with
// scaled partial pivoting, exactly as written out for ZeMtxInvH.
void ScalarInvH(ZEMTX* dst, const ZEMTX* src) {
  float A[4][4];
  int perm[4];
  std::memcpy(A, src->m, sizeof A);
  for (int i = 0; i < 4; i++) {
    float best = 0.0f;
    int bestrow = i;
    for (int j = i; j < 4; j++) {
      float scale = 0.0f;
      for (int k = i; k < 4; k++) scale += std::fabs(A[j][k]);
      if (scale == 0.0f) continue;
      float ratio = std::fabs(A[j][i]) / scale;
      if (ratio > best) best = ratio, bestrow = j;
    }
    if (best == 0.0f) return;
    perm[i] = bestrow;
    if (bestrow != i)
      for (int k = 0; k < 4; k++) std::swap(A[i][k], A[bestrow][k]);
    float p = A[i][i];
    for (int j = 0; j < 4; j++) {
      if (j == i) continue;
      A[i][j] = -A[i][j] / p;
      for (int k = 0; k < 4; k++)
        if (k != i) A[k][j] += A[k][i] * A[i][j];
    }
    for (int k = 0; k < 4; k++) A[k][i] = A[k][i] / p;
    A[i][i] = 1.0f / p;
  }
  for (int i = 3; i >= 0; i--)
    if (perm[i] != i)
      for (int k = 0; k < 4; k++) std::swap(A[k][i], A[k][perm[i]]);
  std::memcpy(dst->m, A, sizeof A);
}
}  // namespace

TEST(ZeMtx, SettersWriteWholeMatrices) {
  ZeTrigInit();
  ZEMTX m = {}, e;
  ZeMtxSetIdentity(&m);
  EXPECT_TRUE(SameBits(&m, &zemtx_identity, sizeof m));
  ZeMtxSetZero(&m);
  EXPECT_TRUE(SameBits(&m, &zemtx_zero, sizeof m));
  ZEVEC v = {2, 3, 4};
  ZeMtxSetScale(&m, &v);
  e = {{{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 4, 0}, {0, 0, 0, 1}}};
  EXPECT_MTX_NEAR(m, e, 0);
  ZeMtxSetTranslation(&m, &v);
  e = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {2, 3, 4, 1}}};
  EXPECT_MTX_NEAR(m, e, 0);
  ZeMtxSetRotationX(&m, 0x4000);
  e = {{{1, 0, 0, 0}, {0, 0, 1, 0}, {0, -1, 0, 0}, {0, 0, 0, 1}}};
  EXPECT_MTX_NEAR(m, e, kTab);
  ZeMtxSetRotationZ(&m, 0x4000);
  e = {{{0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
  EXPECT_MTX_NEAR(m, e, kTab);
}

TEST(ZeMtx, SetRotateXYZTurnsAboutXThenYThenZ) {
  ZeTrigInit();
  ZEMTX m, y;
  ZEANGVEC a = {0, 0x4000, 0};
  ZeMtxSetRotateXYZ(&m, &a);
  ZeMtxSetRotationY(&y, 0x4000);
  EXPECT_MTX_NEAR(m, y, kTab);
  EXPECT_VEC_NEAR((ZEVEC{m.m[0][0], m.m[0][1], m.m[0][2]}), (ZEVEC{0, 0, -1}), kTab);
  EXPECT_VEC_NEAR((ZEVEC{m.m[2][0], m.m[2][1], m.m[2][2]}), (ZEVEC{1, 0, 0}), kTab);
  a = {0x1234, -0x3456, 0x9abc};
  ZeMtxSetRotateXYZ(&m, &a);
  ZEMTX rx, ry, rz, p;
  ZeMtxSetRotationX(&rx, a.x);
  ZeMtxSetRotationY(&ry, a.y);
  ZeMtxSetRotationZ(&rz, a.z);
  ZeMtxMul(&p, &rx, &ry);
  ZeMtxMul(&p, &p, &rz);
  EXPECT_MTX_NEAR(m, p, 1e-6);
}

TEST(ZeMtx, SetRotationAxisUsesTheHalfAngle) {
  ZeTrigInit();
  ZEMTX m, e;
  ZEVEC z = {0, 0, 1};
  ZeMtxSetRotationAxis(&m, 0x4000, &z);
  ZeMtxSetRotationZ(&e, 0x4000);
  EXPECT_MTX_NEAR(m, e, 2e-6);
  // The half angle is looked up with the two lowest bits of the angle
  // dropped, so 0x2345 turns as 0x2344 does.
  ZEVEC axis = {0.48f, 0.6f, 0.64f};
  ZeMtxSetRotationAxis(&m, 0x2344, &axis);
  ZeMtxSetRotationAxis(&e, 0x2345, &axis);
  EXPECT_TRUE(SameBits(&m, &e, sizeof m));
  // A whole turn more negates the quaternion: the same matrix.
  ZeMtxSetRotationAxis(&e, 0x12344, &axis);
  EXPECT_MTX_NEAR(m, e, 2e-6);
  // The opposite angle is the inverse rotation.
  ZeMtxSetRotationAxis(&e, -0x2344, &axis);
  ZeMtxTranspose(&e, &e);
  EXPECT_MTX_NEAR(m, e, 2e-6);
  // The axis itself is left in place.
  ZEVEC r;
  ZeVecMtxRotate(&r, &axis, &m);
  EXPECT_VEC_NEAR(r, axis, 1e-6);
}

TEST(ZeMtx, MulIsAffineAndMayAlias) {
  ZeTestRandom rnd;
  ZEMTX a = rnd.Mtx(), b = rnd.Mtx(), sep, m;
  ZeMtxMul(&sep, &a, &b);
  m = a;
  ZeMtxMul(&m, &m, &b);
  EXPECT_TRUE(SameBits(&m, &sep, sizeof m));
  m = b;
  ZeMtxMul(&m, &a, &m);
  EXPECT_TRUE(SameBits(&m, &sep, sizeof m));
  // Column 3 of the inputs is not read; the result's is (0, 0, 0, 1).
  ZEMTX a0 = a, b0 = b;
  for (int i = 0; i < 4; i++) a0.m[i][3] = b0.m[i][3] = 0;
  a0.m[3][3] = b0.m[3][3] = 1;
  ZEMTX ref = RefMul(a0, b0);
  EXPECT_TRUE(SameBits(&sep, &ref, sizeof ref));
  for (int i = 0; i < 3; i++) EXPECT_EQ(sep.m[i][3], 0.0f);
  EXPECT_EQ(sep.m[3][3], 1.0f);
}

TEST(ZeMtx, MulHAndMulR) {
  ZeTestRandom rnd;
  ZEMTX a = rnd.Mtx(), b = rnd.Mtx(), m = a;
  ZeMtxMulH(&m, &m, &b);
  ZEMTX ref = RefMul(a, b);
  EXPECT_TRUE(SameBits(&m, &ref, sizeof m));
  m = b;
  ZeMtxMulR(&m, &a, &m);
  for (int i = 0; i < 3; i++) {
    for (int j = 0; j < 3; j++)
      EXPECT_FLOAT_EQ(m.m[i][j], a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j]);
    EXPECT_EQ(m.m[i][3], 0.0f);
    EXPECT_EQ(m.m[3][i], 0.0f);
  }
  EXPECT_EQ(m.m[3][3], 1.0f);
  ZeMtxAddR(&m, &a, &b);
  EXPECT_EQ(m.m[1][2], a.m[1][2] + b.m[1][2]);
  EXPECT_EQ(m.m[1][3], 0.0f);
  EXPECT_VEC4_NEAR((ZEVEC4{m.m[3][0], m.m[3][1], m.m[3][2], m.m[3][3]}), zevec4_w, 0);
  ZeMtxSubR(&m, &a, &b);
  EXPECT_EQ(m.m[2][0], a.m[2][0] - b.m[2][0]);
  EXPECT_EQ(m.m[0][3], 0.0f);
}

TEST(ZeMtx, PlainFormsApplyAfterAndPreFormsBefore) {
  ZeTrigInit();
  ZeTestRandom rnd;
  ZEMTX m = rnd.Rigid(), op, ref, r;
  ZEVEC v = {1.5f, -2, 0.5f};
  struct {
    void (*plain)(ZEMTX*, int);
    void (*pre)(ZEMTX*, int);
    void (*set)(ZEMTX*, int);
  } rots[] = {{ZeMtxRotateX, ZeMtxPreRotateX, ZeMtxSetRotationX},
              {ZeMtxRotateY, ZeMtxPreRotateY, ZeMtxSetRotationY},
              {ZeMtxRotateZ, ZeMtxPreRotateZ, ZeMtxSetRotationZ}};
  for (const auto& k : rots) {
    k.set(&op, 0x2345);
    r = m;
    k.plain(&r, 0x2345);
    ZeMtxMul(&ref, &m, &op);
    EXPECT_MTX_NEAR(r, ref, 1e-5);
    r = m;
    k.pre(&r, 0x2345);
    ZeMtxMul(&ref, &op, &m);
    EXPECT_MTX_NEAR(r, ref, 1e-5);
  }
  ZeMtxSetTranslation(&op, &v);
  r = m;
  ZeMtxTranslate(&r, &v);
  ZeMtxMul(&ref, &m, &op);
  EXPECT_MTX_NEAR(r, ref, 1e-5);
  r = m;
  ZeMtxPreTranslate(&r, &v);
  ZeMtxMul(&ref, &op, &m);
  EXPECT_MTX_NEAR(r, ref, 1e-5);
  ZeMtxSetScale(&op, &v);
  r = m;
  ZeMtxScale(&r, &v);
  ZeMtxMul(&ref, &m, &op);
  EXPECT_MTX_NEAR(r, ref, 1e-5);
  r = m;
  ZeMtxPreScale(&r, &v);
  ZeMtxMul(&ref, &op, &m);
  EXPECT_MTX_NEAR(r, ref, 1e-5);
}

TEST(ZeMtx, RotateYTurnsTheTranslationAndPreRotateYDoesNot) {
  ZeTrigInit();
  ZEMTX m = Translation(5, 0, 0);
  ZeMtxRotateY(&m, 0x4000);
  EXPECT_VEC_NEAR((ZEVEC{m.m[3][0], m.m[3][1], m.m[3][2]}), (ZEVEC{0, 0, -5}), 1e-5);
  m = Translation(5, 0, 0);
  ZeMtxPreRotateY(&m, 0x4000);
  EXPECT_VEC_NEAR((ZEVEC{m.m[3][0], m.m[3][1], m.m[3][2]}), (ZEVEC{5, 0, 0}), 0);
}

TEST(ZeMtx, RigidInverses) {
  ZeTrigInit();
  ZeTestRandom rnd;
  for (int k = 0; k < 10; k++) {
    ZEMTX m = rnd.Rigid(), inv, p;
    ZeMtxInv(&inv, &m);
    ZeMtxMul(&p, &inv, &m);
    EXPECT_MTX_NEAR(p, zemtx_identity, 1e-5);
    ZeMtxMul(&p, &m, &inv);
    EXPECT_MTX_NEAR(p, zemtx_identity, 1e-5);
    p = m;
    ZeMtxInv(&p, &p);
    EXPECT_TRUE(SameBits(&p, &inv, sizeof p));
    ZeMtxInvR(&inv, &m);
    ZeMtxMulR(&p, &m, &inv);
    EXPECT_MTX_NEAR(p, zemtx_identity, 1e-5);
  }
}

TEST(ZeMtx, InvRSSInvertsScaleAndShear) {
  ZeTrigInit();
  ZeTestRandom rnd;
  for (int k = 0; k < 10; k++) {
    ZEMTX m = rnd.Rigid(), inv, p;
    ZEVEC s = {0.5f, 3.0f, -2.0f};
    ZeMtxPreScale(&m, &s);
    m.m[1][0] += 0.7f;  // shear
    ZeMtxInvRSSH(&inv, &m);
    ZeMtxMul(&p, &m, &inv);
    EXPECT_MTX_NEAR(p, zemtx_identity, 1e-5);
    ZeMtxMul(&p, &inv, &m);
    EXPECT_MTX_NEAR(p, zemtx_identity, 1e-5);
    ZeMtxInvRSS(&inv, &m);
    EXPECT_VEC4_NEAR((ZEVEC4{inv.m[3][0], inv.m[3][1], inv.m[3][2], inv.m[3][3]}), zevec4_w, 0);
    ZeMtxMulR(&p, &m, &inv);
    EXPECT_MTX_NEAR(p, zemtx_identity, 1e-5);
    EXPECT_NEAR(ZeMtxDet3(&m) * ZeMtxDet3(&inv), 1.0f, 1e-5);
  }
  ZEMTX d = {{{2, 0, 0, 0}, {1, 3, 0, 0}, {4, 5, 6, 0}, {0, 0, 0, 1}}};
  EXPECT_EQ(ZeMtxDet3(&d), 36.0f);
}

TEST(ZeMtx, InvHPivotsAndLeavesSingularInputAlone) {
  // Rows (0, 1, 0, 0), (1, 0, 0, 0) need an exchange; the inverse is itself.
  ZEMTX m = {{{0, 1, 0, 0}, {1, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}}, inv;
  ZeMtxInvH(&inv, &m);
  EXPECT_MTX_NEAR(inv, m, 0);  // exact
  // A cyclic permutation: the inverse is the transpose.
  m = {{{0, 0, 1, 0}, {0, 0, 0, 1}, {1, 0, 0, 0}, {0, 1, 0, 0}}};
  ZeMtxInvH(&inv, &m);
  ZEMTX t;
  ZeMtxTranspose(&t, &m);
  EXPECT_MTX_NEAR(inv, t, 0);

  const ZEMTX sentinel = {{{9, 9, 9, 9}, {9, 9, 9, 9}, {9, 9, 9, 9}, {9, 9, 9, 9}}};
  const ZEMTX singular[] = {
      {{{0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}, {0, 1, 1, 1}}},  // column 0 all zero
      {{{0, 0, 0, 0}, {1, 2, 3, 4}, {0, 1, 0, 0}, {0, 0, 1, 0}}},  // a zero row never wins
      {{{1, 2, 3, 4}, {2, 4, 6, 8}, {0, 1, 0, 0}, {0, 0, 1, 0}}},  // dependent rows
  };
  for (const ZEMTX& s : singular) {
    ZEMTX d = sentinel;
    ZeMtxInvH(&d, &s);
    EXPECT_TRUE(SameBits(&d, &sentinel, sizeof d));
    d = s;
    ZeMtxInvH(&d, &d);
    EXPECT_TRUE(SameBits(&d, &s, sizeof d));
  }

  ZeTestRandom rnd;
  for (int k = 0; k < 2000; k++) {
    m = rnd.Mtx();
    for (int z = 0; z < k % 6; z++) m.m[rnd.gen() % 4][rnd.gen() % 4] = 0;  // row exchanges, ties, singular
    if (k % 7 == 0) m.m[1][2] = m.m[0][2], m.m[1][1] = m.m[0][1];
    ZEMTX ref = sentinel, d = sentinel;
    ScalarInvH(&ref, &m);
    ZeMtxInvH(&d, &m);
    ASSERT_TRUE(SameBits(&d, &ref, sizeof d)) << "matrix " << k;
  }
  for (int k = 0; k < 20; k++) {
    m = rnd.Mtx();
    if (k & 1) m.m[k % 4][k % 4] = 0;  // forces some row exchanges
    ZEMTX p;
    inv = m;
    ZeMtxInvH(&inv, &inv);  // may alias
    p = RefMul(m, inv);
    EXPECT_MTX_NEAR(p, zemtx_identity, 2e-4);
  }
}

TEST(ZeMtx, Transposes) {
  ZeTestRandom rnd;
  ZEMTX m = rnd.Mtx(), t, r;
  ZeMtxTranspose(&t, &m);
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) EXPECT_EQ(t.m[i][j], m.m[j][i]);
  r = m;
  ZeMtxTransposeR(&r, &r);  // in place; column 3 of rows 0-2 left as it was
  for (int i = 0; i < 3; i++) {
    for (int j = 0; j < 3; j++) EXPECT_EQ(r.m[i][j], m.m[j][i]);
    EXPECT_EQ(r.m[i][3], m.m[i][3]);
    EXPECT_EQ(r.m[3][i], m.m[3][i]);
  }
  EXPECT_EQ(r.m[3][3], m.m[3][3]);
}

TEST(ZeMtx, AlignZKeepsRowLengthsAndPicksTheRowToRebuild) {
  ZeTrigInit();
  // Rows of lengths 2, 3 and 4.
  ZEMTX base = {{{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 4, 0}, {7, 8, 9, 1}}};
  struct {
    ZEVEC dir;
    bool y_first;
  } cases[] = {{{0.3f, 0.01f, 1.0f}, false}, {{0.05f, 1.0f, 0.1f}, true}, {{1, 1, 1}, true}};
  for (const auto& c : cases) {
    ZEMTX m = base;
    ZeMtxAlignZ(&m, &c.dir);
    ZEVEC X, Y, Z, u;
    ZeMtxGetXAxis(&m, &X);
    ZeMtxGetYAxis(&m, &Y);
    ZeMtxGetZAxis(&m, &Z);
    ZEVEC scale = ZeMtxGetScale(&m);
    EXPECT_VEC_NEAR(scale, (ZEVEC{2, 3, 4}), 1e-5);
    ZeVecNorm(&u, &c.dir);
    ZeVecScale(&u, &u, 4);
    EXPECT_VEC_NEAR(Z, u, 1e-5);
    EXPECT_NEAR(ZeVecDot(&X, &Y), 0, 1e-4);
    EXPECT_NEAR(ZeVecDot(&X, &Z), 0, 1e-4);
    EXPECT_NEAR(ZeVecDot(&Y, &Z), 0, 1e-4);
    // The rebuilt order shows in the handedness against the old rows.
    ZEVEC oldX = {1, 0, 0};
    if (c.y_first) {
      ZEVEC y;
      ZeVecCross(&y, &Z, &oldX);  // Y from the X held on entry
      ZeVecNorm(&y, &y);
      ZeVecScale(&y, &y, 3);
      EXPECT_VEC_NEAR(Y, y, 1e-5);
    } else {
      ZEVEC x, oldY = {0, 3, 0};
      ZeVecCross(&x, &oldY, &Z);
      ZeVecNorm(&x, &x);
      ZeVecScale(&x, &x, 2);
      EXPECT_VEC_NEAR(X, x, 1e-5);
    }
    EXPECT_VEC_NEAR((ZEVEC{m.m[3][0], m.m[3][1], m.m[3][2]}), (ZEVEC{7, 8, 9}), 0);
  }
}

TEST(ZeMtx, LookAtAndAlignBuildOrthonormalFrames) {
  ZeTrigInit();
  ZEVEC target = {3, 4, 12}, X, Y, Z;
  const ZEVEC dir = {3 / 13.0f, 4 / 13.0f, 12 / 13.0f};
  auto check = [&](const ZEMTX& m, const ZEVEC& along) {
    ZeMtxGetXAxis(&m, &X);
    ZeMtxGetYAxis(&m, &Y);
    ZeMtxGetZAxis(&m, &Z);
    EXPECT_VEC_NEAR(along, dir, 1e-6);
    EXPECT_NEAR(ZeVecMag(&X), 1, 1e-5);
    EXPECT_NEAR(ZeVecMag(&Y), 1, 1e-5);
    ZEVEC c;
    ZeVecCross(&c, &X, &Y);  // right-handed: X x Y = Z
    EXPECT_VEC_NEAR(c, Z, 1e-5);
  };
  ZEMTX m = zemtx_identity;
  ZeMtxLookAtZ(&m, &target);
  check(m, ZEVEC{m.m[2][0], m.m[2][1], m.m[2][2]});
  m = zemtx_identity;
  ZeMtxLookAtX(&m, &target);
  check(m, ZEVEC{m.m[0][0], m.m[0][1], m.m[0][2]});
  m = zemtx_identity;
  ZeMtxLookAtY(&m, &target);
  check(m, ZEVEC{m.m[1][0], m.m[1][1], m.m[1][2]});
  m = zemtx_identity;
  ZeMtxAlignX(&m, &dir);
  check(m, ZEVEC{m.m[0][0], m.m[0][1], m.m[0][2]});
  m = zemtx_identity;
  ZeMtxAlignY(&m, &dir);
  check(m, ZEVEC{m.m[1][0], m.m[1][1], m.m[1][2]});
  // From a position: the direction is taken from row 3.
  m = Translation(3, 4, 0);
  target = {3, 4, 5};
  ZeMtxLookAtZ(&m, &target);
  EXPECT_VEC_NEAR((ZEVEC{m.m[2][0], m.m[2][1], m.m[2][2]}), (ZEVEC{0, 0, 1}), 1e-6);
  // Orth: X normalised, Y and Z not normalised again.
  m = {{{2, 0, 0, 0}, {1, 1, 0, 0}, {0, 0, 5, 0}, {0, 0, 0, 1}}};
  ZeMtxOrth(&m);
  EXPECT_VEC_NEAR((ZEVEC{m.m[0][0], m.m[0][1], m.m[0][2]}), (ZEVEC{1, 0, 0}), 0);
  EXPECT_VEC_NEAR((ZEVEC{m.m[2][0], m.m[2][1], m.m[2][2]}), (ZEVEC{0, 0, 0.70710677f}), 1e-6);
  EXPECT_VEC_NEAR((ZEVEC{m.m[1][0], m.m[1][1], m.m[1][2]}), (ZEVEC{0, 0.70710677f, 0}), 1e-6);
}

TEST(ZeMtx, SkewSymmetricGivesTheCrossProduct) {
  ZEVEC v = {1, -2, 3}, p = {4, 5, -6}, a, b;
  ZEMTX m;
  ZeMtxSkewSymmetric(&m, &v);
  ZeVecMtxTransform(&a, &p, &m);
  ZeVecCross(&b, &p, &v);
  EXPECT_VEC_NEAR(a, b, 0);
  EXPECT_VEC4_NEAR((ZEVEC4{m.m[3][0], m.m[3][1], m.m[3][2], m.m[3][3]}), zevec4_w, 0);
}

TEST(ZeMtx, ReadingAxes) {
  ZEMTX m = {{{1, 2, 3, 0}, {4, 5, 6, 0}, {0, 0, 2, 0}, {7, 8, 9, 1}}};
  ZEVEC v;
  ZeMtxGetTranslation(&m, &v);
  EXPECT_VEC_NEAR(v, (ZEVEC{7, 8, 9}), 0);
  ZeMtxGetYAxis(&m, &v);
  EXPECT_VEC_NEAR(v, (ZEVEC{4, 5, 6}), 0);
  EXPECT_VEC_NEAR(ZeMtxGetScale(&m), (ZEVEC{std::sqrt(14.0f), std::sqrt(77.0f), 2}), 1e-6);
}
