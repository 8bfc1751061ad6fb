#include "zemath.h"
#include "platform_test.h"

TEST(ZeRand, SharedGeneratorsFromTheirStartingStates) {
  ZeRandSetSeed(nullptr, 1);  // the starting states
  ZeRandSeed(0);
  ZeWindQS = 4965;
  EXPECT_EQ(ZeRand(nullptr), 408344269);
  EXPECT_EQ(ZeRand(nullptr), 366231752);
  EXPECT_EQ(ZeRandReadSeed(), 0);
  EXPECT_EQ(ZeRandInt(), 1013904223);
  EXPECT_EQ(ZeRandInt(), 1196435762);
  EXPECT_EQ(ZeWindRand(), 48098);
  EXPECT_EQ(ZeWindRand(), 15355);
}

TEST(ZeRand, CallerStatesZeroAndTheFixedPoint) {
  int state = 0;
  EXPECT_EQ(ZeRand(&state), 408344269) << "0 starts as 1";
  EXPECT_EQ(state, 408344269);
  state = 0x75bd924;
  EXPECT_EQ(ZeRand(&state), 0x75bd924);
  EXPECT_EQ(state, 0x75bd924);
  ZeRandSetSeed(&state, 1);
  EXPECT_FLOAT_EQ(ZeFloatRand(&state), 408344269 * 4.656613e-10f);
  // Every result of a long run stays in range; floats are 0..1.
  for (int i = 0; i < 10000; i++) {
    float f = ZeFloatRand(&state);
    ASSERT_GE(f, 0.0f);
    ASSERT_LE(f, 1.0f);
  }
}

TEST(ZeRand, LcgFloatsAndSeeds) {
  // The low 23 bits of the new seed become the fraction: a seed giving low
  // bits 0 yields exactly 0, and no seed yields 1.
  ZeRandSeed(-5);  // callers pass ints, sign-extended
  EXPECT_EQ(ZeRandReadSeed(), -5);
  ZeRandSeed(17);
  int a = ZeRandInt();
  ZeRandSeed(17);
  EXPECT_EQ(ZeRandInt(), a) << "reseeding repeats the sequence";
  EXPECT_EQ(a, int(uint32_t(17u * 1664525u + 1013904223u)));

  // Find the seed whose successor has low bits 0: solve s * 1664525 + 1013904223 = 0 (mod 2^23).
  uint32_t inv = 1;
  for (int i = 0; i < 5; i++) inv *= 2 - 1664525u * inv;  // the inverse modulo 2^32
  uint32_t zero = uint32_t(0u - 1013904223u) * inv;
  ZeRandSeed(zero);
  EXPECT_EQ(ZeRandFloat(), 0.0f);
  ZeRandSeed(int64_t(uint32_t(0x7fffffu - 1013904223u) * inv));
  float top = ZeRandFloat();
  EXPECT_LT(top, 1.0f);
  EXPECT_EQ(top, 1.0f - 1.0f / 8388608.0f);
}
