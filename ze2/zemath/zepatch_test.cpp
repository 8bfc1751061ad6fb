#include "zemath_test.h"

namespace {
struct Patch {
  ZEVEC P[16];
};

Patch RandomPatch() {
  static ZeTestRandom rnd;
  Patch p;
  for (ZEVEC& v : p.P) v = rnd.Vec(5);
  return p;
}

// Sum of weight * P[index] over a list of (weight, index) terms.
ZEVEC Terms(const ZEVEC* P, std::initializer_list<std::pair<float, int>> terms) {
  ZEVEC r = {0, 0, 0};
  for (auto [w, i] : terms) ZeVecScaleAccum(&r, &P[i], w);
  return r;
}

using CornerFn = void (*)(const ZEVEC*, ZEVEC*, ZEVEC*, ZEVEC*, ZEVEC*);
}  // namespace

TEST(ZePatch, CubicPatchPassesThroughItsCorners) {
  Patch p = RandomPatch();
  EXPECT_VEC_NEAR(ZeBezierCubicPatchEvaluate(p.P, 0, 0), p.P[0], 1e-6);
  EXPECT_VEC_NEAR(ZeBezierCubicPatchEvaluate(p.P, 1, 0), p.P[3], 1e-6);
  EXPECT_VEC_NEAR(ZeBezierCubicPatchEvaluate(p.P, 0, 1), p.P[12], 1e-6);
  EXPECT_VEC_NEAR(ZeBezierCubicPatchEvaluate(p.P, 1, 1), p.P[15], 1e-6);
  // The order-0 weights sum to 1 and the first-order weights to 0.
  Patch flat;
  for (ZEVEC& v : flat.P) v = {1, -2, 3};
  for (float u : {0.0f, 0.3f, 0.77f})
    for (float v : {0.1f, 0.5f, 1.0f}) {
      EXPECT_VEC_NEAR(ZeBezierCubicPatchEvaluate(flat.P, u, v), (ZEVEC{1, -2, 3}), 1e-5);
      EXPECT_VEC_NEAR(ZeBezierCubicPatchEvaluatePartials(flat.P, u, v, 1, 0), (ZEVEC{0, 0, 0}), 1e-5);
      EXPECT_VEC_NEAR(ZeBezierCubicPatchEvaluatePartials(flat.P, u, v, 0, 1), (ZEVEC{0, 0, 0}), 1e-5);
    }
}

TEST(ZePatch, PartialsOfALinearGridAreConstant) {
  const float h = 0.5f, k = 2.0f;
  Patch g;
  for (int j = 0; j < 4; j++)
    for (int i = 0; i < 4; i++) g.P[i + 4 * j] = {i * h, j * k, 0};
  for (float u : {0.0f, 0.25f, 0.6f, 1.0f})
    for (float v : {0.0f, 0.4f, 1.0f}) {
      EXPECT_VEC_NEAR(ZeBezierCubicPatchEvaluatePartials(g.P, u, v, 1, 0), (ZEVEC{3 * h, 0, 0}), 1e-5);
      EXPECT_VEC_NEAR(ZeBezierCubicPatchEvaluatePartials(g.P, u, v, 0, 1), (ZEVEC{0, 3 * k, 0}), 1e-5);
      EXPECT_VEC_NEAR(ZeBezierCubicPatchEvaluatePartials(g.P, u, v, 2, 0), (ZEVEC{0, 0, 0}), 1e-5);
      EXPECT_VEC_NEAR(ZeBezierCubicPatchEvaluatePartials(g.P, u, v, 0, 0), (ZEVEC{3 * h * u, 3 * k * v, 0}), 1e-5);
    }
}

TEST(ZePatch, PartialsMatchFiniteDifferences) {
  Patch p = RandomPatch();
  const float u = 0.4f, v = 0.7f, e = 1e-2f;
  auto at = [&](float du, float dv) { return ZeBezierCubicPatchEvaluate(p.P, u + du, v + dv); };
  ZEVEC a = at(e, 0), b = at(-e, 0), d;
  ZeVecSub(&d, &a, &b);
  ZeVecScale(&d, &d, 1 / (2 * e));
  EXPECT_VEC_NEAR(ZeBezierCubicPatchEvaluatePartials(p.P, u, v, 1, 0), d, 2e-2);
  a = at(0, e), b = at(0, -e);
  ZeVecSub(&d, &a, &b);
  ZeVecScale(&d, &d, 1 / (2 * e));
  EXPECT_VEC_NEAR(ZeBezierCubicPatchEvaluatePartials(p.P, u, v, 0, 1), d, 2e-2);
  // The third derivative is constant: the second derivative's slope.
  ZEVEC s1 = ZeBezierCubicPatchEvaluatePartials(p.P, u + 0.1f, v, 2, 1);
  ZEVEC s0 = ZeBezierCubicPatchEvaluatePartials(p.P, u, v, 2, 1);
  ZeVecSub(&d, &s1, &s0);
  ZeVecScale(&d, &d, 10);
  EXPECT_VEC_NEAR(ZeBezierCubicPatchEvaluatePartials(p.P, 0.9f, v, 3, 1), d, 1e-2);
}

TEST(ZePatch, CornerDerivativesFollowTheirFormulas) {
  Patch p = RandomPatch();
  const ZEVEC* P = p.P;
  struct {
    CornerFn fn;
    int ou, ov;
    ZEVEC first;  // the (0, 0) corner as written out
  } cases[] = {
      {ZeBezierCubicPatchPartialsU, 1, 0, Terms(P, {{-3, 0}, {3, 1}})},
      {ZeBezierCubicPatchPartialsV, 0, 1, Terms(P, {{-3, 0}, {3, 4}})},
      {ZeBezierCubicPatchPartialsUU, 2, 0, Terms(P, {{6, 0}, {-12, 1}, {6, 2}})},
      {ZeBezierCubicPatchPartialsVV, 0, 2, Terms(P, {{6, 0}, {-12, 4}, {6, 8}})},
      {ZeBezierCubicPatchPartialsUUU, 3, 0, Terms(P, {{-6, 0}, {18, 1}, {-18, 2}, {6, 3}})},
      {ZeBezierCubicPatchPartialsVVV, 0, 3, Terms(P, {{-6, 0}, {18, 4}, {-18, 8}, {6, 12}})},
      {ZeBezierCubicPatchPartialsUUV, 2, 1, Terms(P, {{-18, 0}, {36, 1}, {-18, 2}, {18, 4}, {-36, 5}, {18, 6}})},
      {ZeBezierCubicPatchPartialsUVV, 1, 2, Terms(P, {{-18, 0}, {18, 1}, {36, 4}, {-36, 5}, {-18, 8}, {18, 9}})},
      {ZeBezierCubicPatchPartialsUUVV, 2, 2,
       Terms(P, {{36, 0}, {-72, 1}, {36, 2}, {-72, 4}, {144, 5}, {-72, 6}, {36, 8}, {-72, 9}, {36, 10}})},
      {ZeBezierCubicPatchPartialsUUVVV, 2, 3,
       Terms(P, {{-36, 0}, {72, 1}, {-36, 2}, {108, 4}, {-216, 5}, {108, 6}, {-108, 8}, {216, 9}, {-108, 10},
                 {36, 12}, {-72, 13}, {36, 14}})},
  };
  for (const auto& c : cases) {
    ZEVEC k[4];
    c.fn(P, &k[0], &k[1], &k[2], &k[3]);
    EXPECT_VEC_NEAR(k[0], c.first, 5e-3);
    const float uv[4][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
    for (int i = 0; i < 4; i++) {
      SCOPED_TRACE(testing::Message() << c.ou << "," << c.ov << " corner " << i);
      EXPECT_VEC_NEAR(k[i], ZeBezierCubicPatchEvaluatePartials(P, uv[i][0], uv[i][1], c.ou, c.ov), 5e-3);
    }
  }
  // Stated corners of the first derivatives.
  ZEVEC k[4];
  ZeBezierCubicPatchPartialsU(P, &k[0], &k[1], &k[2], &k[3]);
  EXPECT_VEC_NEAR(k[1], Terms(P, {{-3, 12}, {3, 13}}), 1e-4);
  EXPECT_VEC_NEAR(k[2], Terms(P, {{-3, 2}, {3, 3}}), 1e-4);
  EXPECT_VEC_NEAR(k[3], Terms(P, {{-3, 14}, {3, 15}}), 1e-4);
  ZeBezierCubicPatchPartialsV(P, &k[0], &k[1], &k[2], &k[3]);
  EXPECT_VEC_NEAR(k[1], Terms(P, {{-3, 8}, {3, 12}}), 1e-4);
  EXPECT_VEC_NEAR(k[2], Terms(P, {{-3, 3}, {3, 7}}), 1e-4);
  EXPECT_VEC_NEAR(k[3], Terms(P, {{-3, 11}, {3, 15}}), 1e-4);
  ZeBezierCubicPatchPartialsUUU(P, &k[0], &k[1], &k[2], &k[3]);  // constant along u
  EXPECT_VEC_NEAR(k[0], k[2], 1e-4);
  EXPECT_VEC_NEAR(k[1], k[3], 1e-4);
  ZeBezierCubicPatchPartialsUUVVV(P, &k[0], &k[1], &k[2], &k[3]);  // constant along v
  EXPECT_VEC_NEAR(k[0], k[1], 1e-3);
  EXPECT_VEC_NEAR(k[2], k[3], 1e-3);
}

TEST(ZePatch, OrdersOutsideTheWeightsAreAnError) {
  Patch p = RandomPatch();
  EXPECT_HALT(ZeBezierCubicPatchEvaluatePartials(p.P, 0.5f, 0.5f, 4, 0), "outside 0..3");
  EXPECT_HALT(ZeBezierCubicPatchEvaluatePartials(p.P, 0.5f, 0.5f, 0, -1), "outside 0..3");
  errmsg_trap = 0;
}

TEST(ZePatch, QuadraticTriangle) {
  ZeTestRandom rnd;
  ZEVEC Q[6];
  for (ZEVEC& q : Q) q = rnd.Vec(5);
  EXPECT_VEC_NEAR(ZeBezierQuadraticTriangleEvaluateBarycentric(Q, 1, 0, 0), Q[0], 0);
  EXPECT_VEC_NEAR(ZeBezierQuadraticTriangleEvaluateBarycentric(Q, 0, 1, 0), Q[3], 0);
  EXPECT_VEC_NEAR(ZeBezierQuadraticTriangleEvaluateBarycentric(Q, 0, 0, 1), Q[5], 0);
  EXPECT_VEC_NEAR(ZeBezierQuadraticTriangleEvaluateParametric(Q, 0, 0), Q[3], 0);
  EXPECT_VEC_NEAR(ZeBezierQuadraticTriangleEvaluateParametric(Q, 1, 0), Q[5], 0);
  EXPECT_VEC_NEAR(ZeBezierQuadraticTriangleEvaluateParametric(Q, 0, 1), Q[0], 0);
  // Weights need not sum to 1.
  ZEVEC two = ZeBezierQuadraticTriangleEvaluateBarycentric(Q, 2, 0, 0), q4;
  ZeVecScale(&q4, &Q[0], 4);
  EXPECT_VEC_NEAR(two, q4, 1e-5);
  // Second derivatives of the quadratic surface: exact central differences.
  const float u = 0.2f, v = 0.3f, h = 0.25f;
  auto second = [&](float du, float dv) {
    ZEVEC a = ZeBezierQuadraticTriangleEvaluateParametric(Q, u + du, v + dv);
    ZEVEC b = ZeBezierQuadraticTriangleEvaluateParametric(Q, u, v);
    ZEVEC c = ZeBezierQuadraticTriangleEvaluateParametric(Q, u - du, v - dv);
    ZEVEC r = a;
    ZeVecScaleAccum(&r, &b, -2);
    ZeVecAdd(&r, &r, &c);
    ZeVecScale(&r, &r, 1 / (h * h));
    return r;
  };
  EXPECT_VEC_NEAR(ZeBezierQuadraticTrianglePartialsUU(Q), second(h, 0), 1e-3);
  EXPECT_VEC_NEAR(ZeBezierQuadraticTrianglePartialsVV(Q), second(0, h), 1e-3);
  EXPECT_VEC_NEAR(ZeBezierQuadraticTrianglePartialsUeV(Q), second(h, -h), 1e-3);
}

TEST(ZePatch, OneDimensionalCubics) {
  const float bez[4] = {1, -2, 4, 3};
  float cubic[4], back[4];
  ZeBez3ToCubic(bez, cubic);
  EXPECT_EQ(cubic[0], -1 + 3 * -2 - 3 * 4 + 3.0f);
  EXPECT_EQ(cubic[1], 3 * 1 - 6 * -2 + 3 * 4.0f);
  EXPECT_EQ(cubic[2], -3 * 1 + 3 * -2.0f);
  EXPECT_EQ(cubic[3], 1.0f);
  ZeCubicToBez3(cubic, back);
  for (int i = 0; i < 4; i++) EXPECT_NEAR(back[i], bez[i], 1e-5);

  const float hump[4] = {0, 1, 1, 0};
  float left[4], right[4];
  ZeBez3Subdiv(hump, left, right, 0.5f);
  const float wl[4] = {0, 0.5f, 0.75f, 0.75f}, wr[4] = {0.75f, 0.75f, 0.5f, 0};
  for (int i = 0; i < 4; i++) {
    EXPECT_EQ(left[i], wl[i]);
    EXPECT_EQ(right[i], wr[i]);
  }

  ZEVEC4 b4 = {bez[0], bez[1], bez[2], bez[3]};
  EXPECT_EQ(ZeBez3EvaluateX(&b4, 0), bez[0]);
  EXPECT_EQ(ZeBez3EvaluateX(&b4, 1), bez[3]);
  ZeBez3Subdiv(bez, left, right, 0.3f);  // the split point lies on the curve
  EXPECT_NEAR(ZeBez3EvaluateX(&b4, 0.3f), left[3], 1e-5);
}
