#include "zemath_test.h"

namespace {
const float kTab = 1e-6f;  // within the sine table's precision
}

TEST(ZeVec, ConstantsSitInQuadwordSlotsWithZeroW) {
  const ZEVECSLOT* slots[] = {&zevec_zero, &zevec_one, &zevec_minus_one, &zevec_x, &zevec_y, &zevec_z};
  for (const ZEVECSLOT* s : slots) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(s) % 16, 0u);
    float q[4];
    std::memcpy(q, s, sizeof q);
    EXPECT_EQ(q[3], 0.0f);
  }
  const ZEVEC* y = &zevec_y;
  EXPECT_EQ(y->y, 1.0f);
  EXPECT_EQ(zevec_minus_one.z, -1.0f);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(&zevec4_w) % 16, 0u);
  EXPECT_EQ(zevec4_w.w, 1.0f);
  EXPECT_EQ(zevec4_one.x + zevec4_x.x + zevec4_y.y + zevec4_z.z + zevec4_zero.w, 4.0f);
}

TEST(ZeVec, LerpWeightsTheFirstSourceByT) {
  ZEVEC a = {1, 2, 3}, b = {-4, 5, 10}, d;
  ZeVecLerp(&d, &a, &b, 1.0f);
  EXPECT_TRUE(SameBits(&d, &a, sizeof d));
  ZeVecLerp(&d, &a, &b, 0.0f);
  EXPECT_TRUE(SameBits(&d, &b, sizeof d));
  ZeVecLerp(&d, &a, &b, 0.25f);
  EXPECT_VEC_NEAR(d, (ZEVEC{-2.75f, 4.25f, 8.25f}), 1e-6);
  ZEVEC4 a4 = {1, 2, 3, 4}, b4 = {-4, 5, 10, 0}, d4;
  ZeVec4Lerp(&d4, &a4, &b4, 1.0f);
  EXPECT_TRUE(SameBits(&d4, &a4, sizeof d4));
  ZeVec4Lerp(&d4, &a4, &b4, 0.0f);
  EXPECT_TRUE(SameBits(&d4, &b4, sizeof d4));
  ZeVec4Lerp(&d4, &a4, &b4, 0.25f);
  EXPECT_VEC4_NEAR(d4, (ZEVEC4{-2.75f, 4.25f, 8.25f, 1.0f}), 1e-6);
}

TEST(ZeVec, DestinationMayBeAnInput) {
  ZeTestRandom rnd;
  ZEMTX m = rnd.Rigid();
  for (int k = 0; k < 20; k++) {
    ZEVEC a = rnd.Vec(), b = rnd.Vec(), sep, v;
    using Op = void (*)(ZEVEC*, const ZEVEC*, const ZEVEC*);
    for (Op op : {Op(ZeVecAdd), Op(ZeVecSub), Op(ZeVecCross), Op(ZeVecMax), Op(ZeVecMin)}) {
      op(&sep, &a, &b);
      v = a;
      op(&v, &v, &b);
      EXPECT_TRUE(SameBits(&v, &sep, sizeof v));
      v = b;
      op(&v, &a, &v);
      EXPECT_TRUE(SameBits(&v, &sep, sizeof v));
    }
    using MOp = void (*)(ZEVEC*, const ZEVEC*, const ZEMTX*);
    for (MOp op : {MOp(ZeVecMtxTransform), MOp(ZeVecMtxRotate), MOp(ZeVecInvMtxTransform),
                   MOp(ZeVecInvMtxRotate), MOp(ZeVecMtxTransformH)}) {
      op(&sep, &a, &m);
      v = a;
      op(&v, &v, &m);
      EXPECT_TRUE(SameBits(&v, &sep, sizeof v));
    }
    ZeVecRotateY(&sep, &a, 0x1234);
    v = a;
    ZeVecRotateY(&v, &v, 0x1234);
    EXPECT_TRUE(SameBits(&v, &sep, sizeof v));
  }
}

TEST(ZeVec, ArithmeticAndLengths) {
  ZEVEC a = {3, 0, 4}, b = {1, 2, 2}, d;
  EXPECT_EQ(ZeVecNorm(&d, &a), 5.0f);  // the length of the input, not 1
  EXPECT_VEC_NEAR(d, (ZEVEC{0.6f, 0, 0.8f}), 1e-7);
  EXPECT_EQ(ZeVecMag(&b), 3.0f);
  EXPECT_EQ(ZeVecMagSqr(&b), 9.0f);
  EXPECT_EQ(ZeVecDot(&a, &b), 11.0f);
  ZeVecInvScale(&d, &a, 2.0f);
  EXPECT_VEC_NEAR(d, (ZEVEC{1.5f, 0, 2}), 0);
  d = {1, 1, 1};
  ZeVecScaleAccum(&d, &b, 2.0f);
  EXPECT_VEC_NEAR(d, (ZEVEC{3, 5, 5}), 0);
  ZeVecCrossRel(&d, &zevec_zero, &zevec_x, &zevec_y);
  EXPECT_VEC_NEAR(d, (ZEVEC{0, 0, 1}), 0);
  ZeVecSurfaceNormal(&d, &zevec_zero, &zevec_x, &zevec_y);  // opposite of CrossRel, unit length
  EXPECT_VEC_NEAR(d, (ZEVEC{0, 0, -1}), 0);
  ZEVEC p = {2, 7, 3}, q = {-1, 9, 7}, out = {5, 5, 5};
  EXPECT_EQ(ZeVecDist(&p, &q, &out), std::sqrt(29.0f));
  EXPECT_VEC_NEAR(out, (ZEVEC{3, -2, -4}), 0);
  EXPECT_EQ(ZeVecDistSqr(&p, &q, nullptr), 29.0f);
  EXPECT_EQ(ZeVecXZDist(&p, &q, &out), 5.0f);
  EXPECT_VEC_NEAR(out, (ZEVEC{3, 0, -4}), 0);  // y is 0 whatever a.y and b.y hold
  EXPECT_EQ(ZeVecXZDistSqr(&p, &q, nullptr), 25.0f);
  ZEVEC4 a4 = {1, 2, 2, 4}, b4 = {4, 1, 0, -1}, d4;
  EXPECT_EQ(ZeVec4Mag(&a4), 5.0f);
  EXPECT_EQ(ZeVec4Dot(&a4, &b4), 2.0f);
  ZeVec4Max(&d4, &a4, &b4);
  EXPECT_VEC4_NEAR(d4, (ZEVEC4{4, 2, 2, 4}), 0);
  ZeVec4Min(&d4, &a4, &b4);
  EXPECT_VEC4_NEAR(d4, (ZEVEC4{1, 1, 0, -1}), 0);
  ZeVec4Sub(&d4, &a4, &b4);
  ZeVec4ScaleAccum(&d4, &b4, 2.0f);
  ZeVec4Add(&d4, &d4, &zevec4_one);
  EXPECT_VEC4_NEAR(d4, (ZEVEC4{6, 4, 3, 4}), 0);
}

TEST(ZeVec, TransformsByMatrix) {
  ZEMTX m = {{{2, 0, 0, 0.5f}, {0, 3, 0, 0}, {0, 0, 4, 0}, {10, 20, 30, 2}}};
  ZEVEC v = {1, 1, 1}, d;
  ZeVecMtxTransform(&d, &v, &m);
  EXPECT_VEC_NEAR(d, (ZEVEC{12, 23, 34}), 0);
  ZeVecMtxTransformH(&d, &v, &m);  // w = 0.5 + 2
  EXPECT_VEC_NEAR(d, (ZEVEC{12 / 2.5f, 23 / 2.5f, 34 / 2.5f}), 1e-5);
  ZeVecMtxRotateH(&d, &v, &m);  // w = 0.5: the translation row takes no part
  EXPECT_VEC_NEAR(d, (ZEVEC{4, 6, 8}), 0);
  ZeVecMtxRotate(&d, &v, &m);
  EXPECT_VEC_NEAR(d, (ZEVEC{2, 3, 4}), 0);
  ZeVecMtxTranslate(&d, &v, &m);
  EXPECT_VEC_NEAR(d, (ZEVEC{11, 21, 31}), 0);
  ZeVecInvMtxTranslate(&d, &v, &m);
  EXPECT_VEC_NEAR(d, (ZEVEC{-9, -19, -29}), 0);
  ZeVecMtxScale(&d, &v, &m);
  EXPECT_VEC_NEAR(d, (ZEVEC{2, 3, 4}), 0);
  ZeVecInvMtxScale(&d, &v, &m);
  EXPECT_VEC_NEAR(d, (ZEVEC{0.5f, 1 / 3.0f, 0.25f}), 1e-7);
  ZEVEC4 d4, s4 = {1, 1, 1, 2};
  ZeVec4MtxTransform(&d4, &v, &m);
  EXPECT_VEC4_NEAR(d4, (ZEVEC4{12, 23, 34, 2.5f}), 0);
  ZeVec4MtxTransformH(&d4, &s4, &m);
  EXPECT_VEC4_NEAR(d4, (ZEVEC4{22, 43, 64, 4.5f}), 0);

  ZEMTX r = {{{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}, {0, 0, 0, 1}}};
  ZeVecMtxRotateValY(&d, &r, 2.0f);
  EXPECT_VEC_NEAR(d, (ZEVEC{8, 10, 12}), 0);
  ZeVecMtxRotateValX(&d, &r, 1.0f);
  EXPECT_VEC_NEAR(d, (ZEVEC{1, 2, 3}), 0);
  ZeVecMtxRotateValZ(&d, &r, -1.0f);
  EXPECT_VEC_NEAR(d, (ZEVEC{-7, -8, -9}), 0);
  d = {2, 5, 7};
  ZeVecInvMtxRotateValX(&d, &r);  // from the x held on entry
  EXPECT_VEC_NEAR(d, (ZEVEC{2, 8, 14}), 0);
  d = {2, 5, 7};
  ZeVecInvMtxRotateValY(&d, &r);
  EXPECT_VEC_NEAR(d, (ZEVEC{10, 25, 40}), 0);
  d = {2, 5, 7};
  ZeVecInvMtxRotateValZ(&d, &r);
  EXPECT_VEC_NEAR(d, (ZEVEC{21, 42, 63}), 0);
}

TEST(ZeVec, InverseTransformUndoesARigidTransform) {
  ZeTrigInit();
  ZeTestRandom rnd;
  for (int k = 0; k < 20; k++) {
    ZEMTX m = rnd.Rigid();
    ZEVEC v = rnd.Vec(), t, back;
    ZeVecMtxTransform(&t, &v, &m);
    ZeVecInvMtxTransform(&back, &t, &m);
    EXPECT_VEC_NEAR(back, v, 1e-4);
    ZeVecMtxRotate(&t, &v, &m);
    ZeVecInvMtxRotate(&back, &t, &m);
    EXPECT_VEC_NEAR(back, v, 1e-4);
  }
}

TEST(ZeVec, RotationsByAngle) {
  ZeTrigInit();
  ZEVEC d;
  ZeVecRotateY(&d, &zevec_x, 0x4000);
  EXPECT_VEC_NEAR(d, (ZEVEC{0, 0, -1}), kTab);
  ZeVecRotateX(&d, &zevec_y, 0x4000);
  EXPECT_VEC_NEAR(d, (ZEVEC{0, 0, 1}), kTab);
  ZeVecRotateZ(&d, &zevec_x, 0x4000);
  EXPECT_VEC_NEAR(d, (ZEVEC{0, 1, 0}), kTab);
  // Only the low 16 bits of an angle count.
  ZEVEC v = {0.3f, -2, 5}, e;
  using Rot = void (*)(ZEVEC*, const ZEVEC*, int);
  for (Rot r : {Rot(ZeVecRotateX), Rot(ZeVecRotateY), Rot(ZeVecRotateZ)}) {
    r(&d, &v, 0x14000);
    r(&e, &v, 0x4000);
    EXPECT_TRUE(SameBits(&d, &e, sizeof d));
    r(&d, &v, -0x4000);
    r(&e, &v, 0xc000);
    EXPECT_TRUE(SameBits(&d, &e, sizeof d));
  }
}

TEST(ZeVec, RotateAxisTruncatesItsAnglesAndMatchesTheXYZMatrix) {
  ZeTrigInit();
  ZEVEC v = {1, 2, 3}, d, e;
  ZEVEC angles = {1234.9f, -20000.7f, 40000.2f};
  ZeVecRotateAxis(&d, &v, nullptr, &angles);
  ZEANGVEC ia = {1234, -20000, 40000};
  ZEMTX m;
  ZeMtxSetRotateXYZ(&m, &ia);
  ZeVecMtxRotate(&e, &v, &m);
  EXPECT_VEC_NEAR(d, e, 1e-5);
  // Step by step: X, then Y, then Z.
  ZeVecRotateX(&e, &v, 1234);
  ZeVecRotateY(&e, &e, -20000);
  ZeVecRotateZ(&e, &e, 40000);
  EXPECT_TRUE(SameBits(&d, &e, sizeof d));
}

TEST(ZeVec, BoundingBoxToLine) {
  ZeTrigInit();
  const ZEVEC lo = {-1, -1, -1}, hi = {1, 1, 1};
  struct {
    ZEVEC s, e;
    float margin;
    int hit;
    const char* what;
  } cases[] = {
      {{0, 0, 0}, {100, 100, 100}, 0, 1, "start inside, end far outside"},
      {{100, 100, 100}, {0.5f, 0, 0}, 0, 1, "end inside"},
      {{2, 0, 0}, {50, 0, 0}, 0, 0, "both beyond the same face, long segment"},
      {{-5, 0, 0}, {5, 0, 0}, 0, 1, "through the X faces"},
      {{0.5f, 5, 0.5f}, {0.5f, -5, 0.5f}, 0, 1, "through the Y faces"},
      {{0, 0, -5}, {0, 0, 5}, 0, 1, "through the Z faces"},
      {{-5, 0, 4}, {4, 0, -5}, 0, 1, "across a corner region"},
      {{-5, 0, 2}, {2, 0, -5}, 0, 0, "passes beside"},
      {{0, 2, 0}, {2, 0, 0}, 0, 0, "grazes the edge x = y = 1"},
      {{-5, 1, 0}, {5, 1, 0}, 0, 0, "runs along the face y = 1"},
      {{1.5f, 0, 0}, {3, 0, 0}, 0.6f, 1, "start inside the grown box"},
      {{-5, 1.5f, 0}, {5, 1.5f, 0}, 0.6f, 1, "through the grown box"},
      {{1, 0, 0}, {3, 0, 0}, 0, 0, "start on the surface counts as outside"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(BoundingBoxToLine(&lo, &hi, &zemtx_identity, &c.s, &c.e, c.margin), c.hit) << c.what;

  // The box placed by a matrix: long along its own X, turned to lie along world Z.
  const ZEVEC blo = {-4, -1, -1}, bhi = {4, 1, 1};
  ZEMTX m;
  ZeMtxSetRotationY(&m, 0x4000);
  ZEVEC t = {10, 0, 0};
  ZeMtxTranslate(&m, &t);
  ZEVEC s = {10, -5, 3}, e = {10, 5, 3};
  EXPECT_EQ(BoundingBoxToLine(&blo, &bhi, &m, &s, &e, 0), 1);
  s = {13, -5, 0}, e = {13, 5, 0};
  EXPECT_EQ(BoundingBoxToLine(&blo, &bhi, &m, &s, &e, 0), 0);
}

TEST(ZeVec, LineLineIntersectFindsTheClosestPoints) {
  ZEVEC p1 = {0, 0, 0}, d1 = {1, 0, 0}, p2 = {2, 1, 5}, d2 = {0, 0, 1};
  float t1 = 0, t2 = 0;
  ZeLineLineIntersect(&p1, &d1, &p2, &d2, &t1, &t2);
  EXPECT_FLOAT_EQ(t1, 2.0f);
  EXPECT_FLOAT_EQ(t2, -5.0f);
  ZeTestRandom rnd;
  for (int k = 0; k < 20; k++) {
    p1 = rnd.Vec(), d1 = rnd.Vec(1), p2 = rnd.Vec(), d2 = rnd.Vec(1);
    ZeLineLineIntersect(&p1, &d1, &p2, &d2, &t1, &t2);
    ZEVEC a = p1, b = p2, ab;
    ZeVecScaleAccum(&a, &d1, t1);
    ZeVecScaleAccum(&b, &d2, t2);
    ZeVecSub(&ab, &b, &a);  // perpendicular to both lines
    EXPECT_NEAR(ZeVecDot(&ab, &d1), 0.0f, 2e-3f);
    EXPECT_NEAR(ZeVecDot(&ab, &d2), 0.0f, 2e-3f);
  }
}
