// Helpers shared by zemath's tests.
#pragma once

#include <cstring>
#include <random>

#include "platform_test.h"
#include "zecore.h"
#include "zemath.h"

#define EXPECT_VEC_NEAR(a, b, tol)                          \
  do {                                                      \
    const ZEVEC va_ = (a), vb_ = (b);                       \
    EXPECT_NEAR(va_.x, vb_.x, tol) << #a " vs " #b " (x)";  \
    EXPECT_NEAR(va_.y, vb_.y, tol) << #a " vs " #b " (y)";  \
    EXPECT_NEAR(va_.z, vb_.z, tol) << #a " vs " #b " (z)";  \
  } while (0)

#define EXPECT_VEC4_NEAR(a, b, tol)                         \
  do {                                                      \
    const ZEVEC4 va_ = (a), vb_ = (b);                      \
    EXPECT_NEAR(va_.x, vb_.x, tol) << #a " vs " #b " (x)";  \
    EXPECT_NEAR(va_.y, vb_.y, tol) << #a " vs " #b " (y)";  \
    EXPECT_NEAR(va_.z, vb_.z, tol) << #a " vs " #b " (z)";  \
    EXPECT_NEAR(va_.w, vb_.w, tol) << #a " vs " #b " (w)";  \
  } while (0)

#define EXPECT_MTX_NEAR(a, b, tol)                                                        \
  do {                                                                                    \
    for (int r_ = 0; r_ < 4; r_++)                                                        \
      for (int c_ = 0; c_ < 4; c_++)                                                      \
        EXPECT_NEAR((a).m[r_][c_], (b).m[r_][c_], tol) << #a " vs " #b " at " << r_ << "," << c_; \
  } while (0)

// Bit-for-bit equality (distinguishes -0.0, matches NaN with itself).
inline bool SameBits(const void* a, const void* b, size_t n) { return std::memcmp(a, b, n) == 0; }

// Deterministic random data.
struct ZeTestRandom {
  std::mt19937 gen{12345};
  float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(gen); }
  ZEVEC Vec(float r = 10.0f) { return {Uniform(-r, r), Uniform(-r, r), Uniform(-r, r)}; }
  ZEVEC4 Vec4(float r = 10.0f) { return {Uniform(-r, r), Uniform(-r, r), Uniform(-r, r), Uniform(-r, r)}; }
  ZEMTX Mtx(float r = 2.0f) {
    ZEMTX m;
    for (auto& row : m.m)
      for (float& f : row) f = Uniform(-r, r);
    return m;
  }
  // A rotation with translation (rows orthonormal), column 3 (0, 0, 0, 1).
  ZEMTX Rigid() {
    ZEANGVEC a = {static_cast<int>(gen() & 0xffff), static_cast<int>(gen() & 0xffff),
                  static_cast<int>(gen() & 0xffff)};
    ZEMTX m;
    ZeMtxSetRotateXYZ(&m, &a);
    ZEVEC t = Vec();
    ZeMtxTranslate(&m, &t);
    return m;
  }
};
