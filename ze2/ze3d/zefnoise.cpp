// Fractal noise for the prelighting: value noise through a Catmull-Rom
// spline over a lattice of random values, gradient noise over a lattice of
// random unit vectors, both hashed through a fixed permutation; and a
// rational cube root.
#include <cmath>

#include "ze3d.h"

const uint8_t zeprelit_permtab[256] = {
    225, 155, 210, 108, 175, 199, 221, 144, 203, 116, 70,  213, 69,  158, 33,  252,
    5,   82,  173, 133, 222, 139, 174, 27,  9,   71,  90,  246, 75,  130, 91,  191,
    169, 138, 2,   151, 194, 235, 81,  7,   25,  113, 228, 159, 205, 253, 134, 142,
    248, 65,  224, 217, 22,  121, 229, 63,  89,  103, 96,  104, 156, 17,  201, 129,
    36,  8,   165, 110, 237, 117, 231, 56,  132, 211, 152, 20,  181, 111, 239, 218,
    170, 163, 51,  172, 157, 47,  80,  212, 176, 250, 87,  49,  99,  242, 136, 189,
    162, 115, 44,  43,  124, 94,  150, 16,  141, 247, 32,  10,  198, 223, 255, 72,
    53,  131, 84,  57,  220, 197, 58,  50,  208, 11,  241, 28,  3,   192, 62,  202,
    18,  215, 153, 24,  76,  41,  15,  179, 39,  46,  55,  6,   128, 167, 23,  188,
    106, 34,  187, 140, 164, 73,  112, 182, 244, 195, 227, 13,  35,  77,  196, 185,
    26,  200, 226, 119, 31,  123, 168, 125, 249, 68,  183, 230, 177, 135, 160, 180,
    12,  1,   243, 148, 102, 166, 38,  238, 251, 37,  240, 126, 64,  74,  161, 40,
    184, 149, 171, 178, 101, 66,  29,  59,  146, 61,  254, 107, 42,  86,  154, 4,
    236, 232, 120, 21,  233, 209, 45,  98,  193, 114, 78,  19,  206, 14,  118, 127,
    48,  79,  147, 85,  30,  207, 219, 54,  88,  234, 190, 122, 95,  67,  143, 109,
    137, 214, 145, 93,  92,  100, 245, 0,   216, 186, 60,  83,  105, 97,  204, 52,
};

float zefnoise_value[256];      // value-noise lattice, -1..1
ZEVEC zefnoise_gradient[256];   // gradient-noise lattice, unit vectors

namespace {

int value_seed, gradient_seed;  // the seeds the tables were last built with

// The noise generator: two 16-bit values.
uint16_t gen_a = 0x3141, gen_b = 0x5926;

void GenSeed(int s) {
  gen_a = uint16_t(uint32_t(s) >> 16);
  gen_b = uint16_t(s & 0xffff);
}

uint16_t GenDraw() {
  gen_a = uint16_t(gen_a + gen_b);
  gen_b = uint16_t(gen_b + gen_a);
  return gen_a;
}

int Hash(int x, int y, int z) {
  const uint8_t* P = zeprelit_permtab;
  return P[(x + P[(y + P[z & 255]) & 255]) & 255];
}

// Catmull-Rom through the knots, the parameter clamped to 0..1 across the
// spans the knots make.
float Spline(float x, int nknots, const float* knot) {
  ZEASSERT(nknots >= 4);
  x = x < 0.0f ? 0.0f : x > 1.0f ? 1.0f : x;
  const int nspans = nknots - 3;
  x *= float(nspans);
  int span = int(x);
  if (span >= nspans) span = nspans - 1;
  x -= float(span);
  const float* k = knot + span;
  const float c3 = -0.5f * k[0] + 1.5f * k[1] - 1.5f * k[2] + 0.5f * k[3];
  const float c2 = 1.0f * k[0] - 2.5f * k[1] + 2.0f * k[2] - 0.5f * k[3];
  const float c1 = -0.5f * k[0] + 0.5f * k[2];
  const float c0 = k[1];
  return ((c3 * x + c2) * x + c1) * x + c0;
}

// The lattice cell of a point (floor, toward minus infinity) and the
// point's place in it.
struct Cell {
  int ix, iy, iz;
  float tx, ty, tz;
};
Cell Split(const ZEVEC* p) {
  const float fx = std::floor(p->x), fy = std::floor(p->y), fz = std::floor(p->z);
  return {int(fx), int(fy), int(fz), p->x - fx, p->y - fy, p->z - fz};
}

float ValueNoise(const ZEVEC* p) {
  const auto [ix, iy, iz, tx, ty, tz] = Split(p);
  float zk[4];
  for (int k = 0; k < 4; k++) {
    float yk[4];
    for (int j = 0; j < 4; j++) {
      float xk[4];
      for (int i = 0; i < 4; i++) xk[i] = zefnoise_value[Hash(ix + i - 1, iy + j - 1, iz + k - 1)];
      yk[j] = Spline(tx, 4, xk);
    }
    zk[k] = Spline(ty, 4, yk);
  }
  return Spline(tz, 4, zk);
}

float Smooth(float t) { return t * t * (3.0f - 2.0f * t); }
float Lerp(float t, float a, float b) { return a + t * (b - a); }

float GradientNoise(const ZEVEC* p) {
  const auto [ix, iy, iz, rx, ry, rz] = Split(p);
  float c[8];
  for (int n = 0; n < 8; n++) {
    const int dx = n & 1, dy = (n >> 1) & 1, dz = (n >> 2) & 1;
    const ZEVEC& g = zefnoise_gradient[Hash(ix + dx, iy + dy, iz + dz)];
    c[n] = g.x * (rx - float(dx)) + g.y * (ry - float(dy)) + g.z * (rz - float(dz));
  }
  const float sx = Smooth(rx), sy = Smooth(ry), sz = Smooth(rz);
  const float y0 = Lerp(sy, Lerp(sx, c[0], c[1]), Lerp(sx, c[2], c[3]));
  const float y1 = Lerp(sy, Lerp(sx, c[4], c[5]), Lerp(sx, c[6], c[7]));
  return Lerp(sz, y0, y1);
}

}  // namespace

// A seed of 0 draws on from the generator's current state; any other seed
// restarts it, and a table already built with that seed is kept.
int FNoiseInit(int type, int seed) {
  if (type != 0 && type != 1) {
    ZeError("FNoiseInit : Invalid noise type %d", type);
    return 0;
  }
  int& last = type == 0 ? value_seed : gradient_seed;
  if (seed != 0 && seed == last) return 0;
  last = seed;
  if (seed != 0) GenSeed(seed);
  for (int i = 0; i < 256; i++) {
    if (type == 0) {
      zefnoise_value[i] = 1.0f - 2.0f * float(GenDraw()) / 65535.0f;
    } else {
      const float z = 1.0f - 2.0f * float(GenDraw()) / 65535.0f;
      const float rho = std::sqrt(1.0f - z * z);
      const float theta = float(GenDraw()) / 65535.0f * 6.2831855f;
      zefnoise_gradient[i] = {rho * std::cos(theta), rho * std::sin(theta), z};
    }
  }
  return 1;
}

float FNoise(int type, const ZEVEC* point) {
  if (type == 0) return ValueNoise(point);
  if (type == 1) return GradientNoise(point);
  ZeError("FNoise : Invalid noise type %d", type);
  return 0.0f;
}

// m x 2^e with m in 0.5..1; the exponent's remainder by 3 moves into the
// mantissa (m' in 1/8..1) and a rational fit gives m'^(1/3). Zero and
// negative values are answered by symmetry: the fit holds for m' > 0 only.
float CubeRoot(float x) {
  if (x == 0.0f) return x;
  if (x < 0.0f) return -CubeRoot(-x);
  int e;
  const float m = std::frexp(x, &e);
  int k = e % 3;
  if (k > 0) k -= 3;
  const int e3 = (e - k) / 3;
  const float mk = std::ldexp(m, k);
  const float r = ((((45.254833f * mk + 192.27983f) * mk + 119.16548f) * mk + 13.432502f) * mk + 0.16361612f) /
                  ((((14.808841f * mk + 151.9714f) * mk + 168.52544f) * mk + 33.990593f) * mk + 1.0f);
  return std::ldexp(r, e3);
}
