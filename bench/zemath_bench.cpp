// Maths: the cost of the hot routines, each beside a straightforward scalar
// form of the same work. The "per_op" counter is the time of one product,
// one inverse, one vector or one lookup.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <utility>

#include "zemath.h"

namespace {
constexpr int kMats = 64;      // matrices cycled through by the single-matrix benchmarks
constexpr int kVecs = 1024;    // vectors per batch
constexpr int kAngles = 4096;  // angles and directions per lookup run

struct Data {
  ZEMTX a[kMats], b[kMats], out[kMats];
  ZEVEC4 src[kVecs], dst[kVecs];
  int angles[kAngles];
  float dx[kAngles], dz[kAngles];
};

Data& D() {
  static Data* d = [] {
    static Data data;
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> u(-2.0f, 2.0f);
    for (int k = 0; k < kMats; k++)
      for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) data.a[k].m[i][j] = u(gen), data.b[k].m[i][j] = u(gen);
    for (auto& v : data.src) v = {u(gen), u(gen), u(gen), 1.0f};
    for (int i = 0; i < kAngles; i++) data.angles[i] = static_cast<int>(gen() & 0xffff), data.dx[i] = u(gen), data.dz[i] = u(gen);
    ZeTrigInit();
    return &data;
  }();
  return *d;
}

void PerOp(benchmark::State& state, int per_iteration) {
  state.counters["per_op"] =
      benchmark::Counter(per_iteration, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// ---- Scalar references ----

// Affine product, as ZeMtxMul computes it, one float at a time.
void RefMtxMul(ZEMTX* dst, const ZEMTX* a, const ZEMTX* b) {
  ZEMTX r;
  for (int i = 0; i < 4; i++) {
    for (int j = 0; j < 3; j++) {
      float s = a->m[i][0] * b->m[0][j] + a->m[i][1] * b->m[1][j] + a->m[i][2] * b->m[2][j];
      r.m[i][j] = i == 3 ? s + b->m[3][j] : s;
    }
    r.m[i][3] = i == 3 ? 1.0f : 0.0f;
  }
  *dst = r;
}

// Gauss-Jordan with partial pivoting on [A | I].
void RefMtxInv(ZEMTX* dst, const ZEMTX* src) {
  float a[4][8];
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) a[i][j] = src->m[i][j], a[i][j + 4] = i == j ? 1.0f : 0.0f;
  for (int c = 0; c < 4; c++) {
    int p = c;
    for (int r = c + 1; r < 4; r++)
      if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
    if (a[p][c] == 0.0f) return;
    if (p != c)
      for (int j = 0; j < 8; j++) std::swap(a[c][j], a[p][j]);
    float inv = 1.0f / a[c][c];
    for (int j = 0; j < 8; j++) a[c][j] *= inv;
    for (int r = 0; r < 4; r++) {
      if (r == c) continue;
      float f = a[r][c];
      for (int j = 0; j < 8; j++) a[r][j] -= f * a[c][j];
    }
  }
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) dst->m[i][j] = a[i][j + 4];
}

// (x, y, z, 1) times a 4x4 matrix, one column at a time.
void RefTransform(ZEVEC4* dst, const ZEVEC4* src, const ZEMTX* m, int n) {
  for (int k = 0; k < n; k++) {
    const ZEVEC4& s = src[k];
    float r[4];
    for (int j = 0; j < 4; j++) r[j] = s.x * m->m[0][j] + s.y * m->m[1][j] + s.z * m->m[2][j] + m->m[3][j];
    dst[k] = {r[0], r[1], r[2], r[3]};
  }
}

// ---- Matrix products and inverses ----

void BM_ZeMtxMul(benchmark::State& state) {
  Data& d = D();
  for (auto _ : state) {
    for (int k = 0; k < kMats; k++) ZeMtxMul(&d.out[k], &d.a[k], &d.b[k]);
    benchmark::ClobberMemory();
  }
  PerOp(state, kMats);
}
BENCHMARK(BM_ZeMtxMul);

void BM_RefMtxMul(benchmark::State& state) {
  Data& d = D();
  for (auto _ : state) {
    for (int k = 0; k < kMats; k++) RefMtxMul(&d.out[k], &d.a[k], &d.b[k]);
    benchmark::ClobberMemory();
  }
  PerOp(state, kMats);
}
BENCHMARK(BM_RefMtxMul);

void BM_ZeMtxInvH(benchmark::State& state) {
  Data& d = D();
  for (auto _ : state) {
    for (int k = 0; k < kMats; k++) ZeMtxInvH(&d.out[k], &d.a[k]);
    benchmark::ClobberMemory();
  }
  PerOp(state, kMats);
}
BENCHMARK(BM_ZeMtxInvH);

void BM_RefMtxInv(benchmark::State& state) {
  Data& d = D();
  for (auto _ : state) {
    for (int k = 0; k < kMats; k++) RefMtxInv(&d.out[k], &d.a[k]);
    benchmark::ClobberMemory();
  }
  PerOp(state, kMats);
}
BENCHMARK(BM_RefMtxInv);

// ---- Batch transforms (per vector) ----

void BM_ZeVecMtxTransformVU0NS(benchmark::State& state) {
  Data& d = D();
  ZEVU0BATCH batch = {d.dst, d.src, &d.a[0], kVecs, 16, 16};
  for (auto _ : state) {
    ZeVecMtxTransformVU0NS(&batch);
    benchmark::ClobberMemory();
  }
  PerOp(state, kVecs);
}
BENCHMARK(BM_ZeVecMtxTransformVU0NS);

void BM_ZeVec4MtxTransformVU0N(benchmark::State& state) {
  Data& d = D();
  for (auto _ : state) {
    ZeVec4MtxTransformVU0N(d.dst, d.src, &d.a[0], kVecs);
    benchmark::ClobberMemory();
  }
  PerOp(state, kVecs);
}
BENCHMARK(BM_ZeVec4MtxTransformVU0N);

void BM_RefTransform(benchmark::State& state) {
  Data& d = D();
  for (auto _ : state) {
    RefTransform(d.dst, d.src, &d.a[0], kVecs);
    benchmark::ClobberMemory();
  }
  PerOp(state, kVecs);
}
BENCHMARK(BM_RefTransform);

// ---- Sine and arctangent lookups ----

void BM_ZeTrigSine(benchmark::State& state) {
  Data& d = D();
  for (auto _ : state) {
    float s = 0;
    for (int a : d.angles) s += ZeTrigTable[(a >> 1) & 0x7fff];
    benchmark::DoNotOptimize(s);
  }
  PerOp(state, kAngles);
}
BENCHMARK(BM_ZeTrigSine);

void BM_RefSine(benchmark::State& state) {
  Data& d = D();
  for (auto _ : state) {
    float s = 0;
    for (int a : d.angles) s += std::sin(static_cast<float>(a) * 9.58738e-5f);
    benchmark::DoNotOptimize(s);
  }
  PerOp(state, kAngles);
}
BENCHMARK(BM_RefSine);

void BM_ZeAtan2D(benchmark::State& state) {
  Data& d = D();
  for (auto _ : state) {
    int s = 0;
    for (int i = 0; i < kAngles; i++) s += ZeAtan2D(d.dx[i], d.dz[i]);
    benchmark::DoNotOptimize(s);
  }
  PerOp(state, kAngles);
}
BENCHMARK(BM_ZeAtan2D);

void BM_RefAtan2(benchmark::State& state) {
  Data& d = D();
  for (auto _ : state) {
    int s = 0;
    for (int i = 0; i < kAngles; i++) s += static_cast<int>(std::atan2(d.dx[i], d.dz[i]) * 10430.378f);
    benchmark::DoNotOptimize(s);
  }
  PerOp(state, kAngles);
}
BENCHMARK(BM_RefAtan2);
}  // namespace
