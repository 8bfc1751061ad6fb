#include <cfloat>

#include "zemath_test.h"

namespace {
const float kTab = 1e-6f;
const float kSentinel = 12345.0f;

// A ZEVEC followed by a float that must survive every write to it.
struct alignas(16) GuardedVec {
  ZEVEC v;
  float guard = kSentinel;
};
}  // namespace

TEST(ZeVU0, CopiesReturnTheAddressAfterWhatTheyCopied) {
  ZeTestRandom rnd;
  ZEMTX src = rnd.Mtx(), dst = zemtx_identity;
  void* p = ZeMtxCopy34VU0(&dst, &src);
  EXPECT_EQ(p, static_cast<void*>(dst.m[3]));
  EXPECT_TRUE(SameBits(dst.m, src.m, 48));
  EXPECT_TRUE(SameBits(dst.m[3], zemtx_identity.m[3], 16)) << "row 3 untouched";
  ZEMTX two[2];
  EXPECT_EQ(ZeMtxCopy44VU0(&two[0], &src), static_cast<void*>(&two[1]));
  EXPECT_TRUE(SameBits(&two[0], &src, sizeof src));
}

TEST(ZeVU0, MatrixProductsAreFullFourByFour) {
  ZeTestRandom rnd;
  ZeTrigInit();
  ZEMTX a = rnd.Rigid(), b = rnd.Rigid(), v, p;
  ZeMtxMulVU0(&v, &a, &b);
  ZeMtxMul(&p, &a, &b);
  EXPECT_MTX_NEAR(v, p, 0);  // affine inputs: the same as ZeMtxMul
  a.m[0][3] = 0.5f;          // a non-affine left matrix brings its w column in
  a.m[3][3] = 2.0f;
  ZeMtxMulVU0(&v, &a, &b);
  ZeMtxMulH(&p, &a, &b);
  EXPECT_TRUE(SameBits(&v, &p, sizeof v));
  EXPECT_NE(v.m[0][0], (ZeMtxMul(&p, &a, &b), p.m[0][0]));
  v = a;
  ZeMtxMulVU0(&v, &v, &b);  // may alias
  ZeMtxMulH(&p, &a, &b);
  EXPECT_TRUE(SameBits(&v, &p, sizeof v));
  a = rnd.Mtx(), b = rnd.Mtx();
  ZeMtxMulRVU0(&v, &a, &b);
  ZeMtxMulR(&p, &a, &b);
  EXPECT_TRUE(SameBits(&v, &p, sizeof v));

  ZEMTX as[3], bs[3], out[3], ref;
  const ZEMTX* bp[3];
  for (int k = 0; k < 3; k++) as[k] = rnd.Mtx(), bs[k] = rnd.Mtx(), bp[k] = &bs[2 - k];
  ZeMtxMulArrayVU0(out, as, bs, 3);
  for (int k = 0; k < 3; k++) {
    ZeMtxMulH(&ref, &as[k], &bs[k]);
    EXPECT_TRUE(SameBits(&out[k], &ref, sizeof ref)) << k;
  }
  ZeMtxMulnVU0(out, as, bp, 3);
  for (int k = 0; k < 3; k++) {
    ZeMtxMulH(&ref, &as[k], bp[k]);
    EXPECT_TRUE(SameBits(&out[k], &ref, sizeof ref)) << k;
  }
}

TEST(ZeVU0, InverseCopiesTheWOfRowsZeroToTwo) {
  ZeTrigInit();
  ZeTestRandom rnd;
  ZEMTX m = rnd.Rigid(), v, p;
  ZeMtxInvVU0(&v, &m);
  ZeMtxInv(&p, &m);
  EXPECT_TRUE(SameBits(&v, &p, sizeof v));
  m.m[0][3] = 1, m.m[1][3] = 2, m.m[2][3] = 3;
  v = m;
  ZeMtxInvVU0(&v, &v);
  ZeMtxInv(&p, &m);
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(v.m[i][3], i + 1.0f);
    for (int j = 0; j < 3; j++) EXPECT_EQ(v.m[i][j], p.m[i][j]);
  }
  EXPECT_TRUE(SameBits(v.m[3], p.m[3], 16));
}

TEST(ZeVU0, ScalesLeaveTheWColumnAlone) {
  ZeTestRandom rnd;
  ZEMTX m = rnd.Mtx(), v, p;
  ZEVEC s = {2, 3, 4};
  v = m, p = m;
  ZeMtxScaleVU0(&v, &s);
  ZeMtxScale(&p, &s);
  EXPECT_TRUE(SameBits(&v, &p, sizeof v));
  v = m, p = m;
  ZeMtxPreScaleVU0(&v, &s);
  ZeMtxPreScale(&p, &s);
  EXPECT_TRUE(SameBits(&v, &p, sizeof v));
  v = m;
  ZeMtxPreScaleUVU0(&v, 0.5f);
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) EXPECT_EQ(v.m[i][j], (i < 3 && j < 3) ? m.m[i][j] * 0.5f : m.m[i][j]);
}

TEST(ZeVU0, RotationBuilders) {
  ZeTrigInit();
  ZEANGVEC a = {0x1234, 0x5678, -0x2345};
  ZEMTX m, v;
  ZeMtxSetRotateXYZ(&m, &a);
  using Set = void (*)(ZEMTX*, const ZEANGVEC*);
  for (Set f : {Set(ZeMtxSetRotateXYZVU0), Set(ZeMtxSetRotateXYZVU0Obri), Set(ZeMtxSetRotateXYZVU0ORIG)}) {
    f(&v, &a);
    EXPECT_MTX_NEAR(v, m, 1e-7);
  }
  a = {0x4000, 0, 0};
  ZeMtxSetRotationXYVU0(&v, &a);  // the rotation by -0x4000 about X
  ZEMTX e = {{{1, 0, 0, 0}, {0, 0, -1, 0}, {0, 1, 0, 0}, {0, 0, 0, 1}}};
  EXPECT_MTX_NEAR(v, e, kTab);
  a = {0x1234, -0x789, 0x7777};  // z is not read
  ZeMtxSetRotationXYVU0(&v, &a);
  ZEANGVEC neg = {-0x1234, -0x789, 0};
  ZeMtxSetRotateXYZ(&m, &neg);
  EXPECT_MTX_NEAR(v, m, kTab);
  ZeTestRandom rnd;
  m = rnd.Mtx(), v = m;
  ZeMtxRotateYVU0(&v, 0x2222);
  ZeMtxRotateY(&m, 0x2222);
  EXPECT_TRUE(SameBits(&v, &m, sizeof v));
}

TEST(ZeVU0, VectorRoutinesMatchThePlainForms) {
  ZeTrigInit();
  ZeTestRandom rnd;
  for (int k = 0; k < 20; k++) {
    ZEMTX m = rnd.Rigid();
    GuardedVec a, b, d;
    a.v = rnd.Vec(), b.v = rnd.Vec();
    ZEVEC e;
    ZeVecMtxTransformVU0(&d.v, &a.v, &m);
    ZeVecMtxTransform(&e, &a.v, &m);
    EXPECT_TRUE(SameBits(&d.v, &e, sizeof e));
    ZeVecMtxRotateVU0(&d.v, &a.v, &m);
    ZeVecMtxRotate(&e, &a.v, &m);
    EXPECT_TRUE(SameBits(&d.v, &e, sizeof e));
    ZeVecInvMtxTransformVU0(&d.v, &a.v, &m);
    ZeVecInvMtxTransform(&e, &a.v, &m);
    EXPECT_TRUE(SameBits(&d.v, &e, sizeof e));
    ZeVecNormVU0(&d.v, &a.v);
    ZeVecNorm(&e, &a.v);
    EXPECT_VEC_NEAR(d.v, e, 1e-7);
    ZeVecLerpVU0(&d.v, &a.v, &b.v, 0.3f);
    ZeVecLerp(&e, &a.v, &b.v, 0.3f);
    EXPECT_TRUE(SameBits(&d.v, &e, sizeof e));
    EXPECT_EQ(d.guard, kSentinel) << "a ZEVEC destination is written by floats";
    EXPECT_EQ(ZeVecMagVU0(&a.v), ZeVecMag(&a.v));
    EXPECT_EQ(ZeVecMagSqrVU0(&a.v), ZeVecMagSqr(&a.v));
    EXPECT_EQ(ZeVecDiffVU0(&a.v, &b.v), ZeVecDist(&a.v, &b.v, nullptr));
    EXPECT_EQ(ZeVecDiffSqrVU0(&a.v, &b.v), ZeVecDistSqr(&a.v, &b.v, nullptr));

    ZEVEC4 q = rnd.Vec4(), r, s;
    ZeVec4MtxTransformVU0(&r, &q, &m);
    ZeVec4MtxTransformH(&s, &q, &m);
    EXPECT_TRUE(SameBits(&r, &s, sizeof r));
    ZeVec4MtxRotateVU0(&r, &q, &m);
    ZEVEC qv = {q.x, q.y, q.z};
    ZeVecMtxRotate(&e, &qv, &m);
    EXPECT_VEC4_NEAR(r, (ZEVEC4{e.x, e.y, e.z, q.w}), 0);
    ZeVec4MtxInvTransformVU0(&r, &q, &m);
    ZeVecInvMtxTransform(&e, &qv, &m);
    EXPECT_VEC4_NEAR(r, (ZEVEC4{e.x, e.y, e.z, q.w}), 0);
  }
}

TEST(ZeVU0, QuadwordRoutinesAndTheirW) {
  ZEVEC4 d, s = {1, 2, 3, 7};
  ZeVec4MtxTransformHVU0(&d, &s, &zemtx_identity);  // src.w not read
  EXPECT_VEC4_NEAR(d, (ZEVEC4{1, 2, 3, 1}), 0);
  ZEMTX m = zemtx_identity;
  m.m[3][3] = 2;
  ZeVec4MtxTransformHVU0(&d, &s, &m);
  EXPECT_VEC4_NEAR(d, (ZEVEC4{0.5f, 1, 1.5f, 2}), 0);
  ZEVEC4 v = {3, 4, 0, 100}, w = {0, 0, 0, -50};
  EXPECT_EQ(ZeVec4MagVU0(&v), 5.0f);
  EXPECT_EQ(ZeVec4MagSqrVU0(&v), 25.0f);
  EXPECT_EQ(ZeVec4DiffVU0(&v, &w), 5.0f);
  EXPECT_EQ(ZeVec4DiffSqrVU0(&v, &w), 25.0f);
  ZeVec4NormVU0(&d, &v);
  EXPECT_VEC4_NEAR(d, (ZEVEC4{0.6f, 0.8f, 0, 100}), 1e-7);
  ZeVec4AddVU0(&d, &v, &w);
  EXPECT_VEC4_NEAR(d, (ZEVEC4{3, 4, 0, 50}), 0);
  float t = 1.0f;
  ZeVec4LerpVU0(&d, &v, &w, &t);
  EXPECT_TRUE(SameBits(&d, &v, sizeof d));
  t = 0.25f;
  ZeVec4LerpVU0(&d, &v, &w, &t);
  EXPECT_VEC4_NEAR(d, (ZEVEC4{0.75f, 1, 0, -12.5f}), 0);
  ZeVec4ScaleVU0(&d, &v, 2);
  EXPECT_VEC4_NEAR(d, (ZEVEC4{6, 8, 0, 200}), 0);
  ZeVec4ScaleXYZVU0(&d, &v, 2);
  EXPECT_VEC4_NEAR(d, (ZEVEC4{6, 8, 0, 100}), 0);
  s = {2, 4, -6, 2};
  ZeVec4PersXYZVU0(&d, &s);
  EXPECT_VEC4_NEAR(d, (ZEVEC4{1, 2, -3, 2}), 0);
  ZEVEC4 q[4] = {{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {1, 1, 1, 0}}, out[4];
  m = {{{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}}};
  ZeVec4MtxTransformVU0x4(out, q, &m);
  EXPECT_VEC4_NEAR(out[0], (ZEVEC4{14, 16, 18, 20}), 0);
  EXPECT_VEC4_NEAR(out[3], (ZEVEC4{15, 18, 21, 24}), 0);
  ZEVEC4 o2[4] = {};
  ZeVec4MtxTransformVU0x2(o2, q, &m);
  EXPECT_TRUE(SameBits(o2, out, 32));
  EXPECT_EQ(o2[2].x, 0.0f);
  ZeVec4MtxTransformVU0x3(o2, q, &m);
  EXPECT_TRUE(SameBits(o2, out, 48));
  EXPECT_EQ(o2[3].x, 0.0f);
  ZeVec4MtxTransformVU0N(o2, q, &m, 4);
  EXPECT_TRUE(SameBits(o2, out, 64));
  ZeVecTestVU0(&q[0], &q[1]);
}

TEST(ZeVU0, ClipFlagsAgainstAbsoluteW) {
  struct {
    ZEVEC p;
    float w;
    int flags;
  } cases[] = {
      {{2, 0, 0}, 1, 1},   {{0, 0, -2}, 1, 32}, {{1, 0, 0}, 1, 0},   {{-2, 3, 0}, 1, 2 | 4},
      {{0, -3, 5}, 1, 8 | 16}, {{0.5f, 0, 0}, -1, 0}, {{2, -2, 0}, -1, 1 | 8},
  };
  for (const auto& c : cases) {
    ZEMTX m = zemtx_identity;
    m.m[3][3] = c.w;  // w = c.w for every point
    EXPECT_EQ(ZeVecClipTestPointVU0(&c.p, &m), c.flags) << c.p.x << "," << c.p.y << "," << c.p.z;
  }
}

TEST(ZeVU0, ConversionsTruncate) {
  ZEVEC v = {-1.7f, 2.9f, 0.2f};
  int i[4] = {9, 9, 9, 9};
  ZeVecConvertToIntVU0(i, &v);
  EXPECT_EQ(i[0], -1);
  EXPECT_EQ(i[1], 2);
  EXPECT_EQ(i[2], 0);
  EXPECT_EQ(i[3], 9);
  alignas(16) int q[4];
  ZEVEC4 v4 = {-1.7f, 2.9f, 0.2f, -0.9f};
  ZeVec4ConvertToIntVU0(q, &v4);
  EXPECT_EQ(q[0], -1);
  EXPECT_EQ(q[1], 2);
  EXPECT_EQ(q[2], 0);
  EXPECT_EQ(q[3], 0);
}

TEST(ZeVU0, BatchesStepByTheirStrides) {
  ZeTrigInit();
  ZeTestRandom rnd;
  alignas(16) static ZEVEC4 src[10];   // every other quadword is a source
  alignas(16) static float dst[5 * 8];  // 32-byte destination stride
  alignas(16) static ZEMTX m;
  m = rnd.Mtx();
  for (auto& s : src) s = rnd.Vec4();
  for (float& f : dst) f = kSentinel;
  ZEVU0BATCH b = {dst, src, &m, 5, 32, 32};
  ZeVecMtxTransformVU0NS(&b);
  for (int k = 0; k < 5; k++) {
    ZEVEC4 e;
    ZEVEC p = {src[2 * k].x, src[2 * k].y, src[2 * k].z};  // w taken as 1
    ZeVec4MtxTransform(&e, &p, &m);
    EXPECT_TRUE(SameBits(&dst[8 * k], &e, sizeof e)) << k;
    EXPECT_EQ(dst[8 * k + 4], kSentinel);
  }
  for (float& f : dst) f = kSentinel;
  b.dststride = 4;  // packed floats
  ZeVecMtxTransformZVU0NS(&b);
  for (int k = 0; k < 5; k++) {
    ZEVEC4 e;
    ZEVEC p = {src[2 * k].x, src[2 * k].y, src[2 * k].z};
    ZeVec4MtxTransform(&e, &p, &m);
    EXPECT_EQ(dst[k], e.z) << k;
  }
  EXPECT_EQ(dst[5], kSentinel);
  ZeVecMtxTransformWVU0NS(&b);
  for (int k = 0; k < 5; k++) {
    ZEVEC4 e;
    ZEVEC p = {src[2 * k].x, src[2 * k].y, src[2 * k].z};
    ZeVec4MtxTransform(&e, &p, &m);
    EXPECT_EQ(dst[k], e.w) << k;
  }
  EXPECT_EQ(dst[5], kSentinel);
  b.count = 0;  // below the minimum: nothing
  dst[0] = kSentinel;
  ZeVecMtxTransformVU0NS(&b);
  EXPECT_EQ(dst[0], kSentinel);
}

TEST(ZeVU0, PlaneRoutinesAgreeWithThePlainForms) {
  ZEVEC p0 = {1, 2, 3}, p1 = {4, -1, 2}, p2 = {0, 5, -2};
  ZEVEC4 a, b;
  ZePlnEqnVU0(&a, &p0, &p1, &p2);
  ZePlnEqn(&b, &p0, &p1, &p2);
  EXPECT_TRUE(SameBits(&a, &b, sizeof a));
  ZEVEC4 plane = {0, 0, 1, -0.0f};
  struct {
    ZEVEC a, b;
  } segs[] = {
      {{0, 0, 1}, {0, 0, -1}},   {{0, 0, 0}, {1, 1, -1}},  {{0, 0, 0}, {1, 1, 0}},
      {{-1, -1, -0.0f}, {1, 1, 0}}, {{0, 0, 2}, {3, 3, 5}}, {{2, 0, -1}, {0, 2, 3}},
  };
  for (const auto& s : segs) {
    ZEVEC h1 = {7, 7, 7}, h2 = {7, 7, 7};
    EXPECT_EQ(ZePlnLineVU0(&plane, &s.a, &s.b, &h1), ZePlnLine(&plane, &s.a, &s.b, &h2));
    EXPECT_TRUE(SameBits(&h1, &h2, sizeof h1));
  }
}

TEST(ZeVU0, TriangleDepthsWalkDownwards) {
  alignas(16) static unsigned char recs[3 * ZEVU0_TRI_STRIDE];
  std::memset(recs, 0, sizeof recs);
  auto put = [](int r, int v, ZEVEC4 p) { std::memcpy(recs + r * ZEVU0_TRI_STRIDE + ZEVU0_TRI_VERTEX[v], &p, 16); };
  // Record r has vertex z values r, r + 1, r + 2 (w ignored).
  for (int r = 0; r < 3; r++)
    for (int v = 0; v < 3; v++) put(r, v, {1, 2, static_cast<float>(r + v), 99});
  ZEMTX m = zemtx_identity;
  m.m[3][2] = 10;  // the translation row takes part
  float dst[4] = {kSentinel, kSentinel, kSentinel, kSentinel};
  // One triangle: the result is the z it stored.
  float z = XFormVuTriZ(&dst[1], recs, &m, 1);
  EXPECT_EQ(z, dst[1]);
  EXPECT_EQ(z, (0 + 1 + 2 + 30) * 3.0f);
  EXPECT_EQ(dst[0], kSentinel);
  // Three: from the last record down, dst moving down with them.
  z = XFormVuTriZ(&dst[2], recs + 2 * ZEVU0_TRI_STRIDE, &m, 3);
  EXPECT_EQ(dst[2], (2 + 3 + 4 + 30) * 3.0f);
  EXPECT_EQ(dst[1], (1 + 2 + 3 + 30) * 3.0f);
  EXPECT_EQ(dst[0], (0 + 1 + 2 + 30) * 3.0f);
  EXPECT_EQ(dst[3], kSentinel);
  EXPECT_EQ(z, dst[0]);
  EXPECT_EQ(ottri_scale, 3.0f);
  EXPECT_EQ(XFormVuTriZ(dst, recs, &m, 0), FLT_MAX);
}
