// Vectors: arithmetic on ZEVEC and ZEVEC4, transformation by a matrix,
// rotation by angles through the sine table, distances and interpolation,
// and two small queries (a segment against a placed box, the closest
// approach of two lines). Every operation reads all of its inputs before it
// writes, so a destination may be any of the inputs.
#include "zemath_local.h"

alignas(16) const ZEVECSLOT zevec_zero = {{0.0f, 0.0f, 0.0f}, 0.0f};
alignas(16) const ZEVECSLOT zevec_one = {{1.0f, 1.0f, 1.0f}, 0.0f};
alignas(16) const ZEVECSLOT zevec_minus_one = {{-1.0f, -1.0f, -1.0f}, 0.0f};
alignas(16) const ZEVECSLOT zevec_x = {{1.0f, 0.0f, 0.0f}, 0.0f};
alignas(16) const ZEVECSLOT zevec_y = {{0.0f, 1.0f, 0.0f}, 0.0f};
alignas(16) const ZEVECSLOT zevec_z = {{0.0f, 0.0f, 1.0f}, 0.0f};
alignas(16) const ZEVEC4 zevec4_zero = {0.0f, 0.0f, 0.0f, 0.0f};
alignas(16) const ZEVEC4 zevec4_one = {1.0f, 1.0f, 1.0f, 1.0f};
alignas(16) const ZEVEC4 zevec4_x = {1.0f, 0.0f, 0.0f, 0.0f};
alignas(16) const ZEVEC4 zevec4_y = {0.0f, 1.0f, 0.0f, 0.0f};
alignas(16) const ZEVEC4 zevec4_z = {0.0f, 0.0f, 1.0f, 0.0f};
alignas(16) const ZEVEC4 zevec4_w = {0.0f, 0.0f, 0.0f, 1.0f};

// ---- ZEVEC arithmetic ----

void ZeVecAdd(ZEVEC* dst, const ZEVEC* a, const ZEVEC* b) {
  *dst = {a->x + b->x, a->y + b->y, a->z + b->z};
}

void ZeVecSub(ZEVEC* dst, const ZEVEC* a, const ZEVEC* b) {
  *dst = {a->x - b->x, a->y - b->y, a->z - b->z};
}

void ZeVecScale(ZEVEC* dst, const ZEVEC* v, float s) { *dst = {v->x * s, v->y * s, v->z * s}; }

void ZeVecInvScale(ZEVEC* dst, const ZEVEC* v, float s) {
  float r = 1.0f / s;
  *dst = {v->x * r, v->y * r, v->z * r};
}

void ZeVecScaleAccum(ZEVEC* dst, const ZEVEC* v, float s) {
  *dst = {dst->x + v->x * s, dst->y + v->y * s, dst->z + v->z * s};
}

void ZeVecCross(ZEVEC* dst, const ZEVEC* a, const ZEVEC* b) {
  *dst = {a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x};
}

void ZeVecCrossRel(ZEVEC* dst, const ZEVEC* a, const ZEVEC* b, const ZEVEC* c) {
  ZEVEC e, f;
  ZeVecSub(&e, b, a);
  ZeVecSub(&f, c, a);
  ZeVecCross(dst, &e, &f);
}

void ZeVecSurfaceNormal(ZEVEC* dst, const ZEVEC* a, const ZEVEC* b, const ZEVEC* c) {
  ZEVEC e, f, n;
  ZeVecSub(&e, a, c);
  ZeVecSub(&f, a, b);
  ZeVecCross(&n, &e, &f);
  ZeVecNorm(dst, &n);
}

float ZeVecDot(const ZEVEC* a, const ZEVEC* b) { return a->x * b->x + a->y * b->y + a->z * b->z; }

void ZeVecMax(ZEVEC* dst, const ZEVEC* a, const ZEVEC* b) {
  *dst = {b->x < a->x ? a->x : b->x, b->y < a->y ? a->y : b->y, b->z < a->z ? a->z : b->z};
}

void ZeVecMin(ZEVEC* dst, const ZEVEC* a, const ZEVEC* b) {
  *dst = {a->x < b->x ? a->x : b->x, a->y < b->y ? a->y : b->y, a->z < b->z ? a->z : b->z};
}

float ZeVecMag(const ZEVEC* v) { return ZeFsqrt(ZeVecMagSqr(v)); }

float ZeVecMagSqr(const ZEVEC* v) { return v->x * v->x + v->y * v->y + v->z * v->z; }

float ZeVecNorm(ZEVEC* dst, const ZEVEC* v) {
  float len = ZeVecMag(v);
  float r = 1.0f / len;
  *dst = {v->x * r, v->y * r, v->z * r};
  return len;
}

float ZeVecDist(const ZEVEC* a, const ZEVEC* b, ZEVEC* out) { return ZeFsqrt(ZeVecDistSqr(a, b, out)); }

float ZeVecDistSqr(const ZEVEC* a, const ZEVEC* b, ZEVEC* out) {
  ZEVEC d;
  ZeVecSub(&d, a, b);
  if (out) *out = d;
  return ZeVecMagSqr(&d);
}

float ZeVecXZDist(const ZEVEC* a, const ZEVEC* b, ZEVEC* out) { return ZeFsqrt(ZeVecXZDistSqr(a, b, out)); }

float ZeVecXZDistSqr(const ZEVEC* a, const ZEVEC* b, ZEVEC* out) {
  float dx = a->x - b->x, dz = a->z - b->z;
  if (out) *out = {dx, 0.0f, dz};
  return dx * dx + dz * dz;
}

void ZeVecLerp(ZEVEC* dst, const ZEVEC* a, const ZEVEC* b, float t) {
  float u = 1.0f - t;
  *dst = {a->x * t + b->x * u, a->y * t + b->y * u, a->z * t + b->z * u};
}

// ---- ZEVEC4 arithmetic ----

void ZeVec4Add(ZEVEC4* dst, const ZEVEC4* a, const ZEVEC4* b) {
  ZeV4Store(dst, ZeV4Load(a) + ZeV4Load(b));
}

void ZeVec4Sub(ZEVEC4* dst, const ZEVEC4* a, const ZEVEC4* b) {
  ZeV4Store(dst, ZeV4Load(a) - ZeV4Load(b));
}

void ZeVec4Scale(ZEVEC4* dst, const ZEVEC4* v, float s) { ZeV4Store(dst, ZeV4Load(v) * s); }

void ZeVec4ScaleAccum(ZEVEC4* dst, const ZEVEC4* v, float s) {
  ZeV4Store(dst, ZeV4Load(dst) + ZeV4Load(v) * s);
}

float ZeVec4Dot(const ZEVEC4* a, const ZEVEC4* b) {
  return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}

float ZeVec4Mag(const ZEVEC4* v) { return ZeFsqrt(ZeVec4MagSqr(v)); }

float ZeVec4MagSqr(const ZEVEC4* v) { return ZeVec4Dot(v, v); }

void ZeVec4Max(ZEVEC4* dst, const ZEVEC4* a, const ZEVEC4* b) {
  *dst = {a->x > b->x ? a->x : b->x, a->y > b->y ? a->y : b->y, a->z > b->z ? a->z : b->z,
          a->w > b->w ? a->w : b->w};
}

void ZeVec4Min(ZEVEC4* dst, const ZEVEC4* a, const ZEVEC4* b) {
  *dst = {a->x < b->x ? a->x : b->x, a->y < b->y ? a->y : b->y, a->z < b->z ? a->z : b->z,
          a->w < b->w ? a->w : b->w};
}

void ZeVec4Lerp(ZEVEC4* dst, const ZEVEC4* a, const ZEVEC4* b, float t) {
  ZeV4 vb = ZeV4Load(b);
  ZeV4Store(dst, vb + (ZeV4Load(a) - vb) * t);
}

// ---- Transformation by a matrix ----

void ZeVecMtxTransform(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m) {
  float x = src->x, y = src->y, z = src->z;
  const auto& M = m->m;
  *dst = {x * M[0][0] + y * M[1][0] + z * M[2][0] + M[3][0], x * M[0][1] + y * M[1][1] + z * M[2][1] + M[3][1],
          x * M[0][2] + y * M[1][2] + z * M[2][2] + M[3][2]};
}

void ZeVecMtxTransformH(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m) {
  ZeV4 r = ZeV4XformPoint(ZeV4LoadMtx(m), src->x, src->y, src->z);
  float q = 1.0f / r[3];
  *dst = {r[0] * q, r[1] * q, r[2] * q};
}

void ZeVecMtxRotate(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m) {
  float x = src->x, y = src->y, z = src->z;
  const auto& M = m->m;
  *dst = {x * M[0][0] + y * M[1][0] + z * M[2][0], x * M[0][1] + y * M[1][1] + z * M[2][1],
          x * M[0][2] + y * M[1][2] + z * M[2][2]};
}

void ZeVecMtxRotateH(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m) {
  ZeV4 r = ZeV4XformDir(ZeV4LoadMtx(m), src->x, src->y, src->z);
  float q = 1.0f / r[3];
  *dst = {r[0] * q, r[1] * q, r[2] * q};
}

void ZeVecMtxTranslate(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m) {
  *dst = {src->x + m->m[3][0], src->y + m->m[3][1], src->z + m->m[3][2]};
}

void ZeVecMtxScale(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m) {
  *dst = {src->x * m->m[0][0], src->y * m->m[1][1], src->z * m->m[2][2]};
}

void ZeVecMtxRotateValX(ZEVEC* dst, const ZEMTX* m, float s) {
  *dst = {s * m->m[0][0], s * m->m[0][1], s * m->m[0][2]};
}

void ZeVecMtxRotateValY(ZEVEC* dst, const ZEMTX* m, float s) {
  *dst = {s * m->m[1][0], s * m->m[1][1], s * m->m[1][2]};
}

void ZeVecMtxRotateValZ(ZEVEC* dst, const ZEMTX* m, float s) {
  *dst = {s * m->m[2][0], s * m->m[2][1], s * m->m[2][2]};
}

void ZeVecInvMtxTransform(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m) {
  const auto& M = m->m;
  float x = src->x - M[3][0], y = src->y - M[3][1], z = src->z - M[3][2];
  *dst = {x * M[0][0] + y * M[0][1] + z * M[0][2], x * M[1][0] + y * M[1][1] + z * M[1][2],
          x * M[2][0] + y * M[2][1] + z * M[2][2]};
}

void ZeVecInvMtxTranslate(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m) {
  *dst = {src->x - m->m[3][0], src->y - m->m[3][1], src->z - m->m[3][2]};
}

void ZeVecInvMtxRotate(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m) {
  const auto& M = m->m;
  float x = src->x, y = src->y, z = src->z;
  *dst = {x * M[0][0] + y * M[0][1] + z * M[0][2], x * M[1][0] + y * M[1][1] + z * M[1][2],
          x * M[2][0] + y * M[2][1] + z * M[2][2]};
}

void ZeVecInvMtxScale(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m) {
  *dst = {src->x / m->m[0][0], src->y / m->m[1][1], src->z / m->m[2][2]};
}

void ZeVecInvMtxRotateValX(ZEVEC* v, const ZEMTX* m) {
  float s = v->x;
  *v = {s * m->m[0][0], s * m->m[1][0], s * m->m[2][0]};
}

void ZeVecInvMtxRotateValY(ZEVEC* v, const ZEMTX* m) {
  float s = v->y;
  *v = {s * m->m[0][1], s * m->m[1][1], s * m->m[2][1]};
}

void ZeVecInvMtxRotateValZ(ZEVEC* v, const ZEMTX* m) {
  float s = v->z;
  *v = {s * m->m[0][2], s * m->m[1][2], s * m->m[2][2]};
}

void ZeVec4MtxTransform(ZEVEC4* dst, const ZEVEC* src, const ZEMTX* m) {
  ZeV4Store(dst, ZeV4XformPoint(ZeV4LoadMtx(m), src->x, src->y, src->z));
}

void ZeVec4MtxTransformH(ZEVEC4* dst, const ZEVEC4* src, const ZEMTX* m) {
  ZeV4Store(dst, ZeV4Xform(ZeV4LoadMtx(m), src->x, src->y, src->z, src->w));
}

// ---- Rotation by angles ----

void ZeVecRotateX(ZEVEC* dst, const ZEVEC* src, int a) {
  float c = ZeTrigCos(a), s = ZeTrigSin(a);
  float x = src->x, y = src->y, z = src->z;
  *dst = {x, y * c - z * s, y * s + z * c};
}

void ZeVecRotateY(ZEVEC* dst, const ZEVEC* src, int a) {
  float c = ZeTrigCos(a), s = ZeTrigSin(a);
  float x = src->x, y = src->y, z = src->z;
  *dst = {x * c + z * s, y, z * c - x * s};
}

void ZeVecRotateZ(ZEVEC* dst, const ZEVEC* src, int a) {
  float c = ZeTrigCos(a), s = ZeTrigSin(a);
  float x = src->x, y = src->y, z = src->z;
  *dst = {x * c - y * s, x * s + y * c, z};
}

void ZeVecRotateAxis(ZEVEC* dst, const ZEVEC* src, const void* unused, const ZEVEC* angles) {
  int ax = EeFtoi(angles->x), ay = EeFtoi(angles->y), az = EeFtoi(angles->z);
  ZeVecRotateX(dst, src, ax);
  ZeVecRotateY(dst, dst, ay);
  ZeVecRotateZ(dst, dst, az);
}

// ---- Queries ----

int BoundingBoxToLine(const ZEVEC* min, const ZEVEC* max, const ZEMTX* m, const ZEVEC* start,
                      const ZEVEC* end, float margin) {
  ZEVEC ls, le;
  ZeVecInvMtxTransform(&ls, start, m);
  ZEVEC lo = {min->x - margin, min->y - margin, min->z - margin};
  ZEVEC hi = {max->x + margin, max->y + margin, max->z + margin};
  int code1 = ZePointRelToBoundingBox(&ls, &hi, &lo);
  if (code1 == 0) return 1;
  ZeVecInvMtxTransform(&le, end, m);
  int code2 = ZePointRelToBoundingBox(&le, &hi, &lo);
  if (code2 == 0) return 1;
  // Both ends beyond one face. Otherwise no bit is shared, so every face
  // crossing tried below lies between the two ends.
  if (code1 & code2) return 0;

  ZEVEC d, p;
  ZeVecSub(&d, &le, &ls);
  ZeVecNorm(&d, &d);
  if (code1 & (1 | 8)) {
    ZeClipXPlane(&p, &ls, &d, (code1 & 1) ? &hi.x : &lo.x);
    if (lo.y < p.y && p.y < hi.y && lo.z < p.z && p.z < hi.z) return 1;
  }
  if (code1 & (2 | 16)) {
    ZeClipYPlane(&p, &ls, &d, (code1 & 2) ? &hi.y : &lo.y);
    if (lo.x < p.x && p.x < hi.x && lo.z < p.z && p.z < hi.z) return 1;
  }
  if (code1 & (4 | 32)) {
    ZeClipZPlane(&p, &ls, &d, (code1 & 4) ? &hi.z : &lo.z);
    if (lo.x < p.x && p.x < hi.x && lo.y < p.y && p.y < hi.y) return 1;
  }
  return 0;
}

void ZeLineLineIntersect(const ZEVEC* p1, const ZEVEC* d1, const ZEVEC* p2, const ZEVEC* d2, float* t1,
                         float* t2) {
  ZEVEC c, dp;
  ZeVecCross(&c, d1, d2);
  float r = 1.0f / ZeFsqrt(ZeVecMagSqr(&c));
  float q = r * r;
  ZeVecSub(&dp, p2, p1);
  ZEMTX m = {};
  auto set = [&m](int row, const ZEVEC* v) {
    m.m[row][0] = v->x;
    m.m[row][1] = v->y;
    m.m[row][2] = v->z;
  };
  set(0, &dp);
  set(1, d2);
  set(2, &c);
  float k1 = ZeMtxDet3(&m) * q;
  set(1, d1);
  float k2 = ZeMtxDet3(&m) * q;
  *t1 = k1;
  *t2 = k2;
}
