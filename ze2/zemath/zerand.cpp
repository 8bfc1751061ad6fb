// The engine's pseudo-random generators. All state is global and unguarded:
// a stream used by another thread needs a state of its own (ZeRand with the
// caller's state).
#include "zemath.h"

#include <cstring>

int ZeWindQS = 4965;

namespace {

int g_randState = 1;        // the shared minimal-standard state
uint64_t g_randSeed = 0;    // the shared LCG seed
constexpr int RAND_MASK = 0x75bd924;

}  // namespace

// Park and Miller's minimal standard (16807 modulo 2^31 - 1) by Schrage's
// method, on the state XOR-ed with a mask so that a state of 0 is usable.
int ZeRand(int* state) {
  if (!state) state = &g_randState;
  else if (*state == 0) *state = 1;
  int v = *state ^ RAND_MASK;
  int q = v / 127773;
  int r = v % 127773;
  v = 16807 * r - 2836 * q;
  if (v < 0) v += 0x7fffffff;
  v ^= RAND_MASK;
  *state = v;
  return v;
}

float ZeFloatRand(int* state) { return float(ZeRand(state)) * 4.656613e-10f; }

void ZeRandSetSeed(int* state, int value) { *(state ? state : &g_randState) = value; }

int ZeRandInt() {
  g_randSeed = g_randSeed * 1664525u + 1013904223u;
  return int(uint32_t(g_randSeed));
}

float ZeRandFloat() {
  g_randSeed = g_randSeed * 1664525u + 1013904223u;
  uint32_t bits = 0x3f800000u | (uint32_t(g_randSeed) & 0x7fffffu);
  float f;
  memcpy(&f, &bits, sizeof f);
  return f - 1.0f;
}

void ZeRandSeed(int64_t seed) { g_randSeed = uint64_t(seed); }
int64_t ZeRandReadSeed() { return int64_t(g_randSeed); }

int ZeWindRand() {
  ZeWindQS = (ZeWindQS * 9421 + 1) & 0xffff;
  return ZeWindQS;
}
