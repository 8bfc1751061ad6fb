// Bezier surfaces and curves: bicubic patches of 4x4 points (points, mixed
// partial derivatives up to third order in each direction, derivatives at
// the corners), quadratic triangles of six points, and one-dimensional
// cubics in Bezier and power form.
#include "zecore.h"
#include "zemath_local.h"

namespace {
// The cubic Bernstein weights of t and their derivatives, order 0..3.
void Weights(float t, int order, float w[4]) {
  float s = 1.0f - t;
  switch (order) {
    case 0:
      w[0] = s * s * s, w[1] = 3.0f * s * s * t, w[2] = 3.0f * s * t * t, w[3] = t * t * t;
      break;
    case 1:
      w[0] = -3.0f * s * s, w[1] = 9.0f * t * t - 12.0f * t + 3.0f, w[2] = 6.0f * t - 9.0f * t * t,
      w[3] = 3.0f * t * t;
      break;
    case 2:
      w[0] = 6.0f - 6.0f * t, w[1] = 18.0f * t - 12.0f, w[2] = 6.0f - 18.0f * t, w[3] = 6.0f * t;
      break;
    default:
      w[0] = -6.0f, w[1] = 18.0f, w[2] = -18.0f, w[3] = 6.0f;
      break;
  }
}

// Sum over the grid of P[i + 4j] wu[i] wv[j]; points of zero weight are skipped.
ZEVEC WeightedSum(const ZEVEC* P, const float wu[4], const float wv[4]) {
  ZEVEC r = zevec_zero;
  for (int j = 0; j < 4; j++) {
    if (wv[j] == 0.0f) continue;
    for (int i = 0; i < 4; i++)
      if (wu[i] != 0.0f) ZeVecScaleAccum(&r, &P[i + 4 * j], wu[i] * wv[j]);
  }
  return r;
}

// The derivative of orders (ou, ov) at the four corners, in the order
// (0, 0), (0, 1), (1, 0), (1, 1). Only the points nearest a corner have
// non-zero weight there.
void Corners(const ZEVEC* P, int ou, int ov, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11) {
  float u0[4], u1[4], v0[4], v1[4];
  Weights(0.0f, ou, u0);
  Weights(1.0f, ou, u1);
  Weights(0.0f, ov, v0);
  Weights(1.0f, ov, v1);
  *c00 = WeightedSum(P, u0, v0);
  *c01 = WeightedSum(P, u0, v1);
  *c10 = WeightedSum(P, u1, v0);
  *c11 = WeightedSum(P, u1, v1);
}

// The basis matrix: (a3, a2, a1, a0) = (p0, p1, p2, p3) * M.
alignas(16) const ZEMTX bez3_basis = {{{-1, 3, -3, 1}, {3, -6, 3, 0}, {-3, 3, 0, 0}, {1, 0, 0, 0}}};
}  // namespace

ZEVEC ZeBezierCubicPatchEvaluate(const ZEVEC* P, float u, float v) {
  return ZeBezierCubicPatchEvaluatePartials(P, u, v, 0, 0);
}

ZEVEC ZeBezierCubicPatchEvaluatePartials(const ZEVEC* P, float u, float v, int uorder, int vorder) {
  if (uorder < 0 || uorder > 3 || vorder < 0 || vorder > 3)
    ZeError("ZeBezierCubicPatchEvaluatePartials: derivative order (%d, %d) outside 0..3", uorder, vorder);
  float wu[4], wv[4];
  Weights(u, uorder, wu);
  Weights(v, vorder, wv);
  return WeightedSum(P, wu, wv);
}

void ZeBezierCubicPatchPartialsU(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11) {
  Corners(P, 1, 0, c00, c01, c10, c11);
}
void ZeBezierCubicPatchPartialsV(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11) {
  Corners(P, 0, 1, c00, c01, c10, c11);
}
void ZeBezierCubicPatchPartialsUU(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11) {
  Corners(P, 2, 0, c00, c01, c10, c11);
}
void ZeBezierCubicPatchPartialsVV(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11) {
  Corners(P, 0, 2, c00, c01, c10, c11);
}
void ZeBezierCubicPatchPartialsUUU(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11) {
  Corners(P, 3, 0, c00, c01, c10, c11);
}
void ZeBezierCubicPatchPartialsVVV(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11) {
  Corners(P, 0, 3, c00, c01, c10, c11);
}
void ZeBezierCubicPatchPartialsUUV(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11) {
  Corners(P, 2, 1, c00, c01, c10, c11);
}
void ZeBezierCubicPatchPartialsUVV(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11) {
  Corners(P, 1, 2, c00, c01, c10, c11);
}
void ZeBezierCubicPatchPartialsUUVV(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11) {
  Corners(P, 2, 2, c00, c01, c10, c11);
}
void ZeBezierCubicPatchPartialsUUVVV(const ZEVEC* P, ZEVEC* c00, ZEVEC* c01, ZEVEC* c10, ZEVEC* c11) {
  Corners(P, 2, 3, c00, c01, c10, c11);
}

ZEVEC ZeBezierQuadraticTriangleEvaluateBarycentric(const ZEVEC* Q, float a, float b, float c) {
  ZEVEC r;
  ZeVecScale(&r, &Q[0], a * a);
  ZeVecScaleAccum(&r, &Q[1], 2.0f * a * b);
  ZeVecScaleAccum(&r, &Q[2], 2.0f * a * c);
  ZeVecScaleAccum(&r, &Q[3], b * b);
  ZeVecScaleAccum(&r, &Q[4], 2.0f * b * c);
  ZeVecScaleAccum(&r, &Q[5], c * c);
  return r;
}

ZEVEC ZeBezierQuadraticTriangleEvaluateParametric(const ZEVEC* Q, float u, float v) {
  return ZeBezierQuadraticTriangleEvaluateBarycentric(Q, v, 1.0f - u - v, u);
}

namespace {
// 2 A - 4 B + 2 C.
ZEVEC SecondDifference(const ZEVEC* a, const ZEVEC* b, const ZEVEC* c) {
  ZEVEC r;
  ZeVecScale(&r, a, 2.0f);
  ZeVecScaleAccum(&r, b, -4.0f);
  ZeVecScaleAccum(&r, c, 2.0f);
  return r;
}
}  // namespace

ZEVEC ZeBezierQuadraticTrianglePartialsUU(const ZEVEC* Q) { return SecondDifference(&Q[3], &Q[4], &Q[5]); }
ZEVEC ZeBezierQuadraticTrianglePartialsVV(const ZEVEC* Q) { return SecondDifference(&Q[0], &Q[1], &Q[3]); }
ZEVEC ZeBezierQuadraticTrianglePartialsUeV(const ZEVEC* Q) { return SecondDifference(&Q[0], &Q[2], &Q[5]); }

void ZeBez3ToCubic(const float* bez, float* cubic) {
  ZEVEC4 p = {bez[0], bez[1], bez[2], bez[3]}, a;
  ZeVec4MtxTransformH(&a, &p, &bez3_basis);
  cubic[0] = a.x;
  cubic[1] = a.y;
  cubic[2] = a.z;
  cubic[3] = a.w;
}

void ZeCubicToBez3(const float* cubic, float* bez) {
  float a3 = cubic[0], a2 = cubic[1], a1 = cubic[2], a0 = cubic[3];
  bez[0] = a0;
  bez[1] = a0 + a1 / 3.0f;
  bez[2] = a0 + (2.0f * a1 + a2) / 3.0f;
  bez[3] = a3 + a2 + a1 + a0;
}

void ZeBez3Subdiv(const float* bez, float* left, float* right, float t) {
  float s = 1.0f - t;
  float p0 = bez[0], p1 = bez[1], p2 = bez[2], p3 = bez[3];
  float m01 = s * p0 + t * p1, m12 = s * p1 + t * p2, m23 = s * p2 + t * p3;
  float m012 = s * m01 + t * m12, m123 = s * m12 + t * m23;
  float k = s * m012 + t * m123;
  left[0] = p0, left[1] = m01, left[2] = m012, left[3] = k;
  right[0] = k, right[1] = m123, right[2] = m23, right[3] = p3;
}

float ZeBez3EvaluateX(const ZEVEC4* bez, float x) {
  ZEVEC4 a;
  ZeVec4MtxTransformH(&a, bez, &bez3_basis);
  ZEVEC4 powers = {x * x * x, x * x, x, 1.0f};
  return ZeVec4Dot(&a, &powers);
}
