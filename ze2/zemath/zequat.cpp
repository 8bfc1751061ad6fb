// Quaternions: conversion to and from rotation matrices, products, inverse,
// normalisation and interpolation. The quaternion of the rotation by theta
// about a unit axis n is (n sin(theta / 2), cos(theta / 2)); ZeQuatToMtx of
// it is the matrix ZeMtxSetRotationAxis builds.
#include "zemath_local.h"

namespace {
// Below this angle between two quaternions (in angle units, about 1.4
// degrees) the table-driven slerp weights are coarser than the error of
// plain linear weights, and at 0 or 1 the table sine is 0. Linear weights
// are used instead.
constexpr int kSlerpMinAngle = 0x100;
}  // namespace

void ZeMtxToQuat(const ZEMTX* m, ZEQUAT* q) {
  const auto& M = m->m;
  float trace = M[0][0] + M[1][1] + M[2][2];
  if (trace > 0.0f) {
    float s = ZeFsqrt(trace + 1.0f);
    float w = s * 0.5f;
    s = 0.5f / s;
    *q = {(M[1][2] - M[2][1]) * s, (M[2][0] - M[0][2]) * s, (M[0][1] - M[1][0]) * s, w};
    return;
  }
  // The largest diagonal element; ties keep the smaller index.
  static constexpr int next[3] = {1, 2, 0};
  int i = 0;
  if (M[0][0] < M[1][1]) i = 1;
  if (M[i][i] < M[2][2]) i = 2;
  int j = next[i], k = next[j];
  float c[3];
  float s = ZeFsqrt(M[i][i] - (M[j][j] + M[k][k]) + 1.0f);
  c[i] = s * 0.5f;
  if (s != 0.0f) s = 0.5f / s;
  float w = (M[j][k] - M[k][j]) * s;
  c[j] = (M[i][j] + M[j][i]) * s;
  c[k] = (M[k][i] + M[i][k]) * s;
  *q = {c[0], c[1], c[2], w};
}

// The diagonal is written as w^2 + x^2 - y^2 - z^2 and so on: a quaternion
// that is not of unit length gives the rotation scaled by its squared length.
void ZeQuatToMtx(const ZEQUAT* q, ZEMTX* m) {
  float x = q->x, y = q->y, z = q->z, w = q->w;
  float xx = x * x, yy = y * y, zz = z * z, ww = w * w;
  *m = {{{ww + xx - yy - zz, 2.0f * x * y + 2.0f * z * w, 2.0f * x * z - 2.0f * y * w, 0},
         {2.0f * x * y - 2.0f * z * w, ww - xx + yy - zz, 2.0f * y * z + 2.0f * x * w, 0},
         {2.0f * x * z + 2.0f * y * w, 2.0f * y * z - 2.0f * x * w, ww - xx - yy + zz, 0},
         {0, 0, 0, 1}}};
}

void ZeQuatAdd(ZEQUAT* dst, const ZEQUAT* a, const ZEQUAT* b) { ZeV4Store(dst, ZeV4Load(a) + ZeV4Load(b)); }

void ZeQuatSub(ZEQUAT* dst, const ZEQUAT* a, const ZEQUAT* b) { ZeV4Store(dst, ZeV4Load(a) - ZeV4Load(b)); }

void ZeQuatMul(ZEQUAT* dst, const ZEQUAT* a, const ZEQUAT* b) {
  float ax = a->x, ay = a->y, az = a->z, aw = a->w;
  float bx = b->x, by = b->y, bz = b->z, bw = b->w;
  *dst = {aw * bx + ax * bw + ay * bz - az * by, aw * by + ay * bw + az * bx - ax * bz,
          aw * bz + az * bw + ax * by - ay * bx, aw * bw - ax * bx - ay * by - az * bz};
}

void ZeQuatInv(ZEQUAT* dst, const ZEQUAT* src) {
  float n = ZeQuatMagnitude(src);
  *dst = {-src->x / n, -src->y / n, -src->z / n, src->w / n};
}

void ZeQuatNormalise(ZEQUAT* dst, const ZEQUAT* src) {
  float n = ZeQuatMagnitude(src);
  if (n > 0.0f) {
    ZeV4Store(dst, ZeV4Load(src) * (1.0f / ZeFsqrt(n)));
  } else {
    *dst = *src;
  }
}

float ZeQuatMagnitude(const ZEQUAT* q) { return q->x * q->x + q->y * q->y + q->z * q->z + q->w * q->w; }

void ZeQuatLerp(ZEQUAT* dst, const ZEQUAT* a, const ZEQUAT* b, float t) {
  ZeV4Store(dst, ZeV4Load(a) * (1.0f - t) + ZeV4Load(b) * t);
}

void ZeQuatSlerp(ZEQUAT* dst, const ZEQUAT* a, const ZEQUAT* b, float t) {
  ZeV4 va = ZeV4Load(a), vb = ZeV4Load(b);
  float d = a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
  if (d < 0.0f) {  // the shorter arc goes to -b
    vb = -vb;
    d = -d;
  }
  float wa = 1.0f - t, wb = t;
  if (1.0f - d > 0.0f) {
    int theta = ZeACos(d);
    if (theta >= kSlerpMinAngle) {
      float ftheta = static_cast<float>(theta);
      float sigma = ZeTrigSin(theta);
      wa = ZeTrigSin(EeFtoi((1.0f - t) * ftheta)) / sigma;
      wb = ZeTrigSin(EeFtoi(t * ftheta)) / sigma;
    }
  }
  ZeV4Store(dst, va * wa + vb * wb);
}
