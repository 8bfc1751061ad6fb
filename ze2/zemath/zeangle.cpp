// Angles: the shared sine table, the arctangents that turn a direction into
// an angle, 16-bit angle arithmetic, arcsine and arccosine, and the small
// float helpers including the float accumulator.
#include <cmath>

#include "zecore.h"
#include "zemath_local.h"

float ZeTrigTable[ZETRIG_ENTRIES];

namespace {
constexpr float kTableStep = 1.917476e-4f;   // 2 pi / 32768
constexpr float kAngToRad = 9.58738e-5f;     // 2 pi / 65536
constexpr float kRadToAng = 10430.378f;      // 65536 / 2 pi
constexpr float kPi = 3.1415927f;
constexpr float kHalfPi = 1.5707964f;
constexpr float kThreeHalfPi = 4.712389f;

float equiv_tolerance = 0.01f;
float accumulator;

// Sign-extends the low 16 bits.
inline int Ang16(uint32_t a) { return static_cast<int16_t>(static_cast<uint16_t>(a)); }

// Table index from a float ratio in 0..512. Inputs the callers never pass
// (overflowing products, NaN) saturate in the conversion; keep the index
// inside the table all the same.
inline uint32_t AtanIndex(float r) {
  uint32_t i = static_cast<uint32_t>(EeFtoi(r));
  return i < ZEATAN_ENTRIES ? i : ZEATAN_ENTRIES - 1;
}

// First-quadrant angle of |x|, |z| from the table, no interpolation.
inline int AtanQuadrant(float X, float Z) {
  if (Z < X) return 0x4000 - ZeAtanTable[AtanIndex(Z * 512.0f / X)];
  return ZeAtanTable[AtanIndex(X * 512.0f / Z)];
}

// First-quadrant angle of two magnitudes in integer arithmetic.
inline int AtanQuadrantInt(uint32_t X, uint32_t Z) {
  if (Z < X) {
    uint32_t i = (Z << 9) / X;
    return 0x4000 - ZeAtanTable[i < ZEATAN_ENTRIES ? i : ZEATAN_ENTRIES - 1];
  }
  uint32_t i = (X << 9) / Z;
  return ZeAtanTable[i < ZEATAN_ENTRIES ? i : ZEATAN_ENTRIES - 1];
}

// Places a first-quadrant angle c in the quadrant of (x, z); neither is 0.
template <class T>
inline int AtanPlace(T x, T z, int c) {
  if (x > 0) return z > 0 ? c : 0x8000 - c;
  return z > 0 ? -c : 0x8000 + c;
}

uint32_t UnsignedAbs(int v) { return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v); }

// Arcsine of a in 0..1 in angle units, truncated.
int AsinUnits(float a) {
  float poly = ((-0.0187293f * a + 0.0742610f) * a - 0.2121144f) * a + 1.5707288f;
  return EeFtoi((kHalfPi - ZeFsqrt(1.0f - a) * poly) * kRadToAng);
}
}  // namespace

void ZeTrigInit() {
  for (int i = 0; i < ZETRIG_ENTRIES; i++) {
    float angle = static_cast<float>(i) * kTableStep;  // the product rounded to single precision
    ZeTrigTable[i] = static_cast<float>(std::sin(static_cast<double>(angle)));
  }
}

int ZeAtan2D(float x, float z) {
  if (x == 0.0f) return z < 0.0f ? 0x8000 : 0;
  if (z == 0.0f) return x < 0.0f ? 0xc000 : 0x4000;
  return AtanPlace(x, z, AtanQuadrant(ZeFabs(x), ZeFabs(z)));
}

int ZeAtan2DA(float x, float z) {
  if (x == 0.0f) return z < 0.0f ? 0x8000 : 0;
  if (z == 0.0f) return x < 0.0f ? 0xc000 : 0x4000;
  float X = ZeFabs(x), Z = ZeFabs(z);
  const uint16_t* T = ZeAtanTable;
  float c;
  if (Z < X) {
    float r = Z * 512.0f / X;
    uint32_t i = AtanIndex(r);
    if (i > ZEATAN_ENTRIES - 2) i = ZEATAN_ENTRIES - 2;  // r stays below 512 for real input
    float f = r - static_cast<float>(i);
    c = static_cast<float>(0x4000 - T[i]) * (1.0f - f) + static_cast<float>(0x4000 - T[i + 1]) * f;
  } else if (X == Z) {
    c = T[ZEATAN_ENTRIES - 1];
  } else {
    float r = X * 512.0f / Z;
    uint32_t i = AtanIndex(r);
    if (i > ZEATAN_ENTRIES - 2) i = ZEATAN_ENTRIES - 2;
    float f = r - static_cast<float>(i);
    c = static_cast<float>(T[i]) * (1.0f - f) + static_cast<float>(T[i + 1]) * f;
  }
  return AtanPlace(x, z, EeFtoi(c) & 0xffff);
}

float ZeAtan2(float x, float z) { return static_cast<float>(ZeAtan2D(x, z)) * kAngToRad; }

int ZeAtani(int x, int z) {
  if (x == 0) return z < 0 ? 0x8000 : 0;
  if (z == 0) return x < 0 ? 0xc000 : 0x4000;
  return AtanPlace(x, z, AtanQuadrantInt(UnsignedAbs(x), UnsignedAbs(z)));
}

float ZeAtanf(int x, int z) {
  if (x == 0) return z >= 0 ? 0.0f : kPi;
  if (z == 0) return x >= 0 ? kHalfPi : kThreeHalfPi;
  float k = static_cast<float>(AtanQuadrantInt(UnsignedAbs(x), UnsignedAbs(z))) * kAngToRad;
  if (x > 0) return z > 0 ? k : kPi - k;
  return z > 0 ? -k : kPi + k;
}

int ZeAngAdd(int a, int b) { return Ang16(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
int ZeAngSub(int a, int b) { return Ang16(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
int ZeAngDiff(int a, int b) { return Ang16(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }

// x >= 0 is tested as 0 <= x: -0.0 counts as positive.
int ZeASin(float x) {
  bool positive = 0.0f <= x;
  float a = ZeFabs(x);
  if (a >= 1.0f) return positive ? 0x4000 : -0x4000;
  int v = AsinUnits(a);
  return Ang16(static_cast<uint32_t>(positive ? v : -v));
}

int ZeACos(float x) {
  bool positive = 0.0f <= x;
  float a = ZeFabs(x);
  if (a >= 1.0f) return positive ? 0 : -0x8000;
  int v = AsinUnits(a);
  return Ang16(static_cast<uint32_t>(positive ? 0x4000 - v : 0x4000 + v));
}

float ZeFloor(float x) {
  float t = static_cast<float>(EeFtoi(x));
  return x < t ? t - 1.0f : t;
}

float ZeFmod(float a, float b) { return a - static_cast<float>(EeFtoi(a / b)) * b; }

int ZeEquiv(float a, float b) { return ZeFabs(a - b) < equiv_tolerance ? 1 : 0; }

void ZeEquivTollerance(float tol) { equiv_tolerance = tol; }

int ZePower2(int n) {
  // Past 2^30 the next power of two is not an int.
  if (n > (1 << 30)) ZeError("ZePower2: %d is above 2^30", n);
  int p = 1;
  while (p < n) p <<= 1;
  return p;
}

void ZeFadda(float a, float b) { accumulator = a + b; }
void ZeFsuba(float a, float b) { accumulator = a - b; }
void ZeFmula(float a, float b) { accumulator = a * b; }
void ZeFmadda(float a, float b) { accumulator = accumulator + a * b; }
void ZeFmsuba(float a, float b) { accumulator = accumulator - a * b; }
float ZeFmadd(float a, float b) { return accumulator + a * b; }
