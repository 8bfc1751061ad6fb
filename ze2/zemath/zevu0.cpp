// The vector-unit-0 forms of the hot matrix and vector routines, computed
// with four-float vector arithmetic: a matrix is loaded into registers once
// and each vector costs one multiply and three multiply-adds. Matrices and
// quadword arguments move as whole four-float rows; ZEVEC arguments are read
// and written by floats and enter with w = 0. Results equal the plain forms,
// except where a routine's comment says otherwise.
#include <cfloat>

#include "zemath_local.h"

float ottri_scale = 3.0f;

namespace {
inline ZeV4 XformQ(const ZeV4Mtx& M, ZeV4 v) { return ZeV4Xform(M, v[0], v[1], v[2], v[3]); }

inline void MulH(ZEMTX* dst, const ZEMTX* a, const ZeV4Mtx& B) {
  ZeV4 r0 = XformQ(B, ZeV4Load(a->m[0]));
  ZeV4 r1 = XformQ(B, ZeV4Load(a->m[1]));
  ZeV4 r2 = XformQ(B, ZeV4Load(a->m[2]));
  ZeV4 r3 = XformQ(B, ZeV4Load(a->m[3]));
  ZeV4Store(dst->m[0], r0);
  ZeV4Store(dst->m[1], r1);
  ZeV4Store(dst->m[2], r2);
  ZeV4Store(dst->m[3], r3);
}

inline float Dot3(ZeV4 v) { return v[0] * v[0] + v[1] * v[1] + v[2] * v[2]; }

inline const char* Bytes(const void* p) { return static_cast<const char*>(p); }
}  // namespace

// ---- Matrix routines ----

void* ZeMtxCopy34VU0(ZEMTX* dst, const ZEMTX* src) {
  for (int i = 0; i < 3; i++) ZeV4Store(dst->m[i], ZeV4Load(src->m[i]));
  return dst->m[3];
}

void* ZeMtxCopy44VU0(ZEMTX* dst, const ZEMTX* src) {
  for (int i = 0; i < 4; i++) ZeV4Store(dst->m[i], ZeV4Load(src->m[i]));
  return dst + 1;
}

void ZeMtxMulVU0(ZEMTX* dst, const ZEMTX* a, const ZEMTX* b) { MulH(dst, a, ZeV4LoadMtx(b)); }

void ZeMtxMulRVU0(ZEMTX* dst, const ZEMTX* a, const ZEMTX* b) { ZeMtxMulR(dst, a, b); }

void ZeMtxMulArrayVU0(ZEMTX* dst, const ZEMTX* a, const ZEMTX* b, int n) {
  for (int k = 0; k < n; k++) MulH(&dst[k], &a[k], ZeV4LoadMtx(&b[k]));
}

void ZeMtxMulnVU0(ZEMTX* dst, const ZEMTX* a, const ZEMTX* const* bp, int n) {
  for (int k = 0; k < n; k++) MulH(&dst[k], &a[k], ZeV4LoadMtx(bp[k]));
}

// Rows 0-2 keep src's w components where the plain form writes 0.
void ZeMtxInvVU0(ZEMTX* dst, const ZEMTX* src) {
  float w0 = src->m[0][3], w1 = src->m[1][3], w2 = src->m[2][3];
  ZeMtxInv(dst, src);
  dst->m[0][3] = w0;
  dst->m[1][3] = w1;
  dst->m[2][3] = w2;
}

void ZeMtxScaleVU0(ZEMTX* m, const ZEVEC* s) {
  ZeV4 k = {s->x, s->y, s->z, 1.0f};
  for (int i = 0; i < 4; i++) ZeV4Store(m->m[i], ZeV4Load(m->m[i]) * k);
}

void ZeMtxPreScaleVU0(ZEMTX* m, const ZEVEC* s) {
  const float k[3] = {s->x, s->y, s->z};
  for (int i = 0; i < 3; i++) ZeV4Store(m->m[i], ZeV4Load(m->m[i]) * ZeV4{k[i], k[i], k[i], 1.0f});
}

void ZeMtxPreScaleUVU0(ZEMTX* m, float s) {
  ZeV4 k = {s, s, s, 1.0f};
  for (int i = 0; i < 3; i++) ZeV4Store(m->m[i], ZeV4Load(m->m[i]) * k);
}

void ZeMtxSetRotateXYZVU0(ZEMTX* m, const ZEANGVEC* angles) { ZeMtxSetRotateXYZ(m, angles); }
void ZeMtxSetRotateXYZVU0Obri(ZEMTX* m, const ZEANGVEC* angles) { ZeMtxSetRotateXYZ(m, angles); }
void ZeMtxSetRotateXYZVU0ORIG(ZEMTX* m, const ZEANGVEC* angles) { ZeMtxSetRotateXYZ(m, angles); }

void ZeMtxSetRotationXYVU0(ZEMTX* m, const ZEANGVEC* angles) {
  float cx = ZeTrigCos(angles->x), sx = ZeTrigSin(angles->x);
  float cy = ZeTrigCos(angles->y), sy = ZeTrigSin(angles->y);
  *m = {{{cy, 0, -sy, 0}, {-sx * sy, cx, -sx * cy, 0}, {cx * sy, sx, cx * cy, 0}, {0, 0, 0, 1}}};
}

void ZeMtxRotateYVU0(ZEMTX* m, int a) { ZeMtxRotateY(m, a); }

// ---- Vector routines ----

void ZeVecMtxTransformVU0(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m) {
  ZeV4ToVec(dst, ZeV4XformPoint(ZeV4LoadMtx(m), src->x, src->y, src->z));
}

void ZeVecMtxRotateVU0(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m) {
  ZeV4ToVec(dst, ZeV4XformDir(ZeV4LoadMtx(m), src->x, src->y, src->z));
}

void ZeVecInvMtxTransformVU0(ZEVEC* dst, const ZEVEC* src, const ZEMTX* m) { ZeVecInvMtxTransform(dst, src, m); }

int ZeVecClipTestPointVU0(const ZEVEC* p, const ZEMTX* m) {
  ZeV4 r = ZeV4XformPoint(ZeV4LoadMtx(m), p->x, p->y, p->z);
  float w = ZeFabs(r[3]);
  int flags = 0;
  for (int i = 0; i < 3; i++) {
    if (r[i] > w) flags |= 1 << (2 * i);
    if (r[i] < -w) flags |= 2 << (2 * i);
  }
  return flags;
}

float ZeVecMagVU0(const ZEVEC* v) { return ZeFsqrt(Dot3(ZeV4FromVec(v))); }

float ZeVecMagSqrVU0(const ZEVEC* v) { return Dot3(ZeV4FromVec(v)); }

float ZeVecDiffVU0(const ZEVEC* a, const ZEVEC* b) { return ZeFsqrt(Dot3(ZeV4FromVec(a) - ZeV4FromVec(b))); }

float ZeVecDiffSqrVU0(const ZEVEC* a, const ZEVEC* b) { return Dot3(ZeV4FromVec(a) - ZeV4FromVec(b)); }

void ZeVecNormVU0(ZEVEC* dst, const ZEVEC* src) {
  ZeV4 v = ZeV4FromVec(src);
  ZeV4ToVec(dst, v * (1.0f / ZeFsqrt(Dot3(v))));
}

void ZeVecLerpVU0(ZEVEC* dst, const ZEVEC* a, const ZEVEC* b, float t) {
  ZeV4ToVec(dst, ZeV4FromVec(a) * t + ZeV4FromVec(b) * (1.0f - t));
}

void ZeVecConvertToIntVU0(int* dst, const ZEVEC* src) {
  int x = EeFtoi(src->x), y = EeFtoi(src->y), z = EeFtoi(src->z);
  dst[0] = x;
  dst[1] = y;
  dst[2] = z;
}

void ZeVec4MtxTransformVU0(ZEVEC4* dst, const ZEVEC4* src, const ZEMTX* m) {
  ZeV4Store(dst, XformQ(ZeV4LoadMtx(m), ZeV4Load(src)));
}

void ZeVec4MtxTransformVU0N(ZEVEC4* dst, const ZEVEC4* src, const ZEMTX* m, int n) {
  ZeV4Mtx M = ZeV4LoadMtx(m);
  for (int k = 0; k < n; k++) ZeV4Store(&dst[k], XformQ(M, ZeV4Load(&src[k])));
}

void ZeVec4MtxTransformVU0x2(ZEVEC4* dst, const ZEVEC4* src, const ZEMTX* m) {
  ZeVec4MtxTransformVU0N(dst, src, m, 2);
}
void ZeVec4MtxTransformVU0x3(ZEVEC4* dst, const ZEVEC4* src, const ZEMTX* m) {
  ZeVec4MtxTransformVU0N(dst, src, m, 3);
}
void ZeVec4MtxTransformVU0x4(ZEVEC4* dst, const ZEVEC4* src, const ZEMTX* m) {
  ZeVec4MtxTransformVU0N(dst, src, m, 4);
}

// src.w is not read; x, y, z are divided by w and w is kept (the plain
// ZeVec4MtxTransformH uses src.w and divides nothing).
void ZeVec4MtxTransformHVU0(ZEVEC4* dst, const ZEVEC4* src, const ZEMTX* m) {
  ZeV4 r = ZeV4XformPoint(ZeV4LoadMtx(m), src->x, src->y, src->z);
  float w = r[3];
  ZeV4Store(dst, r / ZeV4{w, w, w, 1.0f});
}

void ZeVec4MtxInvTransformVU0(ZEVEC4* dst, const ZEVEC4* src, const ZEMTX* m) {
  float w = src->w;
  ZEVEC v = {src->x, src->y, src->z}, r;
  ZeVecInvMtxTransform(&r, &v, m);
  *dst = {r.x, r.y, r.z, w};
}

void ZeVec4MtxRotateVU0(ZEVEC4* dst, const ZEVEC4* src, const ZEMTX* m) {
  ZeV4 r = ZeV4XformDir(ZeV4LoadMtx(m), src->x, src->y, src->z);
  r[3] = src->w;
  ZeV4Store(dst, r);
}

// The length over x, y, z only (the plain ZeVec4Mag includes w).
float ZeVec4MagVU0(const ZEVEC4* v) { return ZeFsqrt(Dot3(ZeV4Load(v))); }

float ZeVec4MagSqrVU0(const ZEVEC4* v) { return Dot3(ZeV4Load(v)); }

float ZeVec4DiffVU0(const ZEVEC4* a, const ZEVEC4* b) { return ZeFsqrt(Dot3(ZeV4Load(a) - ZeV4Load(b))); }

float ZeVec4DiffSqrVU0(const ZEVEC4* a, const ZEVEC4* b) { return Dot3(ZeV4Load(a) - ZeV4Load(b)); }

void ZeVec4NormVU0(ZEVEC4* dst, const ZEVEC4* src) {
  ZeV4 v = ZeV4Load(src);
  float r = 1.0f / ZeFsqrt(Dot3(v));
  ZeV4Store(dst, v * ZeV4{r, r, r, 1.0f});
}

void ZeVec4AddVU0(ZEVEC4* dst, const ZEVEC4* a, const ZEVEC4* b) { ZeV4Store(dst, ZeV4Load(a) + ZeV4Load(b)); }

void ZeVec4LerpVU0(ZEVEC4* dst, const ZEVEC4* a, const ZEVEC4* b, const float* t) {
  float k = *t;
  ZeV4Store(dst, ZeV4Load(a) * k + ZeV4Load(b) * (1.0f - k));
}

void ZeVec4ConvertToIntVU0(int* dst, const ZEVEC4* src) {
  int r[4] = {EeFtoi(src->x), EeFtoi(src->y), EeFtoi(src->z), EeFtoi(src->w)};
  std::memcpy(dst, r, sizeof r);
}

void ZeVec4ScaleVU0(ZEVEC4* dst, const ZEVEC4* src, float s) { ZeV4Store(dst, ZeV4Load(src) * s); }

void ZeVec4ScaleXYZVU0(ZEVEC4* dst, const ZEVEC4* src, float s) {
  ZeV4Store(dst, ZeV4Load(src) * ZeV4{s, s, s, 1.0f});
}

void ZeVec4PersXYZVU0(ZEVEC4* dst, const ZEVEC4* src) {
  ZeV4 v = ZeV4Load(src);
  float w = v[3];
  ZeV4Store(dst, v / ZeV4{w, w, w, 1.0f});
}

// Loads both into the unit's scratch registers: nothing to see.
void ZeVecTestVU0(const ZEVEC4* a, const ZEVEC4* b) {}

// ---- Batches ----
// Counts below the routines' minimum are handled as an empty batch or a
// single vector.

void ZeVecMtxTransformVU0NS(const ZEVU0BATCH* batch) {
  ZeV4Mtx M = ZeV4LoadMtx(batch->mtx);
  char* d = static_cast<char*>(batch->dst.get());
  const char* s = Bytes(batch->src.get());
  for (int k = 0; k < batch->count; k++, d += batch->dststride, s += batch->srcstride) {
    ZeV4 v = ZeV4Load(s);
    ZeV4Store(d, ZeV4XformPoint(M, v[0], v[1], v[2]));
  }
}

void ZeVecMtxTransformZVU0NS(const ZEVU0BATCH* batch) {
  ZeV4Mtx M = ZeV4LoadMtx(batch->mtx);
  char* d = static_cast<char*>(batch->dst.get());
  const char* s = Bytes(batch->src.get());
  for (int k = 0; k < batch->count; k++, d += batch->dststride, s += batch->srcstride) {
    ZeV4 v = ZeV4Load(s);
    float z = ZeV4XformPoint(M, v[0], v[1], v[2])[2];
    std::memcpy(d, &z, sizeof z);
  }
}

void ZeVecMtxTransformWVU0NS(const ZEVU0BATCH* batch) {
  ZeV4Mtx M = ZeV4LoadMtx(batch->mtx);
  char* d = static_cast<char*>(batch->dst.get());
  const char* s = Bytes(batch->src.get());
  for (int k = 0; k < batch->count; k++, d += batch->dststride, s += batch->srcstride) {
    ZeV4 v = ZeV4Load(s);
    float w = ZeV4XformPoint(M, v[0], v[1], v[2])[3];
    std::memcpy(d, &w, sizeof w);
  }
}

// ---- Planes ----

void ZePlnEqnVU0(ZEVEC4* plane, const ZEVEC* p0, const ZEVEC* p1, const ZEVEC* p2) { ZePlnEqn(plane, p0, p1, p2); }

int ZePlnLineVU0(const ZEVEC4* plane, const ZEVEC* a, const ZEVEC* b, ZEVEC* hit) { return ZePlnLine(plane, a, b, hit); }

// ---- Triangle depths ----

float XFormVuTriZ(float* dst, const void* tri, const ZEMTX* m, int count) {
  ZeV4Mtx M = ZeV4LoadMtx(m);
  ZeV4 scale = ZeV4Splat(ottri_scale);
  float lowest = FLT_MAX;
  const char* base = Bytes(tri);
  for (int k = 0; k < count; k++) {
    const char* rec = base - static_cast<ptrdiff_t>(k) * ZEVU0_TRI_STRIDE;
    ZeV4 v0 = ZeV4Load(rec + ZEVU0_TRI_VERTEX[0]);
    ZeV4 v1 = ZeV4Load(rec + ZEVU0_TRI_VERTEX[1]);
    ZeV4 v2 = ZeV4Load(rec + ZEVU0_TRI_VERTEX[2]);
    ZeV4 s = (ZeV4XformPoint(M, v0[0], v0[1], v0[2]) + ZeV4XformPoint(M, v1[0], v1[1], v1[2]) +
              ZeV4XformPoint(M, v2[0], v2[1], v2[2])) *
             scale;
    float z = s[2];
    dst[-k] = z;
    if (z < lowest) lowest = z;
  }
  return lowest;
}
