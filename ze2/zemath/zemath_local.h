// zemath's own helpers: the four-float vector type the quadword routines
// compute with.
#pragma once

#include <cstring>

#include "zemath.h"

// Four floats in one register. Element-wise products and sums round once
// each, exactly as the scalar forms do (no fused multiply-add in this build).
typedef float ZeV4 __attribute__((vector_size(16)));

inline ZeV4 ZeV4Load(const void* p) {
  ZeV4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void ZeV4Store(void* p, ZeV4 v) { std::memcpy(p, &v, sizeof v); }
inline ZeV4 ZeV4Splat(float f) { return ZeV4{f, f, f, f}; }
// A ZEVEC read by floats enters with w = 0.
inline ZeV4 ZeV4FromVec(const ZEVEC* v) { return ZeV4{v->x, v->y, v->z, 0.0f}; }
inline void ZeV4ToVec(ZEVEC* d, ZeV4 v) {
  d->x = v[0];
  d->y = v[1];
  d->z = v[2];
}

// The matrix rows in registers.
struct ZeV4Mtx {
  ZeV4 r0, r1, r2, r3;
};
inline ZeV4Mtx ZeV4LoadMtx(const ZEMTX* m) {
  return {ZeV4Load(m->m[0]), ZeV4Load(m->m[1]), ZeV4Load(m->m[2]), ZeV4Load(m->m[3])};
}
// (x, y, z, w) * M, summed in the order x, y, z, w.
inline ZeV4 ZeV4Xform(const ZeV4Mtx& m, float x, float y, float z, float w) {
  return m.r0 * x + m.r1 * y + m.r2 * z + m.r3 * w;
}
// (x, y, z, 1) * M.
inline ZeV4 ZeV4XformPoint(const ZeV4Mtx& m, float x, float y, float z) {
  return m.r0 * x + m.r1 * y + m.r2 * z + m.r3;
}
// (x, y, z, 0) * M: the translation row takes no part.
inline ZeV4 ZeV4XformDir(const ZeV4Mtx& m, float x, float y, float z) { return m.r0 * x + m.r1 * y + m.r2 * z; }
