#include <cfloat>
#include <climits>
#include <cmath>

#include "zemath_test.h"

TEST(ZeTrig, TableHoldsOneTurnOfSinesAndCosinesAreAQuarterOn) {
  ZeTrigInit();
  EXPECT_EQ(ZeTrigTable[0], 0.0f);
  double worst = 0.0;
  for (int i = 0; i < ZETRIG_ENTRIES; i++)
    worst = std::max(worst, std::fabs(ZeTrigTable[i] - std::sin(i * 2.0 * M_PI / ZETRIG_ENTRIES)));
  EXPECT_LT(worst, 5e-7);  // the angle itself is rounded to single precision
  // The angle is formed in single precision: (float)i * 1.917476e-4f.
  EXPECT_EQ(ZeTrigTable[12345], static_cast<float>(std::sin(static_cast<double>(12345.0f * 1.917476e-4f))));
  EXPECT_EQ(ZeTrigTable[0x2000], 1.0f);
  EXPECT_NEAR(ZeTrigTable[0x4000], 0.0f, 1e-6);
}

TEST(ZeTrig, ArctanTableIsTheRoundedArctangent) {
  for (int i = 0; i < ZEATAN_ENTRIES; i++)
    ASSERT_EQ(ZeAtanTable[i], std::lround(std::atan(i / 512.0) * 65536.0 / (2.0 * M_PI))) << "entry " << i;
  EXPECT_EQ(ZeAtanTable[0], 0);
  EXPECT_EQ(ZeAtanTable[1], 20);
  EXPECT_EQ(ZeAtanTable[2], 41);
  EXPECT_EQ(ZeAtanTable[170], 3344);
  EXPECT_EQ(ZeAtanTable[171], 3362);
  EXPECT_EQ(ZeAtanTable[256], 4836);
  EXPECT_EQ(ZeAtanTable[512], 0x2000);
}

TEST(ZeAtan, DirectionsGiveTheirAnglesWithoutReduction) {
  struct {
    float x, z;
    int angle;
  } cases[] = {
      {0, 0, 0},          {1, 0, 0x4000},      {0, -1, 0x8000},     {-1, 0, 0xc000},
      {-1, 1, -0x2000},   {1, 1, 0x2000},      {1, -1, 0x6000},     {-1, -1, 0xa000},
      {0, 5, 0},          {-0.0f, -2, 0x8000}, {1, 3, 3344},        {1, 2, 4836},
      {3, 1, 0x4000 - 3344}, {-1, 3, -3344},   {1, -3, 0x8000 - 3344}, {-1, -3, 0x8000 + 3344},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ZeAtan2D(c.x, c.z), c.angle) << c.x << ", " << c.z;
    EXPECT_EQ(ZeAtani(static_cast<int>(c.x), static_cast<int>(c.z)), c.angle) << c.x << ", " << c.z;
  }
  EXPECT_NEAR(ZeAtan2(-1, 1), -0.785f, 0.001f);
  EXPECT_NEAR(ZeAtan2(1, -1), 2.356f, 0.001f);
}

TEST(ZeAtan, InterpolatedFormBlendsNeighbouringEntries) {
  EXPECT_EQ(ZeAtan2DA(1, 3), 3356);
  EXPECT_EQ(ZeAtan2DA(1, 2), 4836);
  EXPECT_EQ(ZeAtan2D(1, 2), 4836);
  EXPECT_EQ(ZeAtan2DA(2, 2), 0x2000);
  EXPECT_EQ(ZeAtan2DA(-1, 1), -0x2000);
  EXPECT_EQ(ZeAtan2DA(0, -1), 0x8000);
  EXPECT_EQ(ZeAtan2DA(-1, 0), 0xc000);
  // Close to the true arctangent everywhere in the first quadrant.
  for (float a = 0.01f; a < 1.57f; a += 0.01f) {
    double exact = a * 65536.0 / (2.0 * M_PI);
    EXPECT_NEAR(ZeAtan2DA(std::sin(a), std::cos(a)), exact, 1.5) << a;
    EXPECT_NEAR(ZeAtan2D(std::sin(a), std::cos(a)), exact, 21.0) << a;
  }
}

TEST(ZeAtan, IntegerFormsFollowTheirQuadrantRules) {
  EXPECT_EQ(ZeAtani(100000, 300000), 3344);
  EXPECT_EQ(ZeAtani(-(1 << 22), 1 << 22), -0x2000);
  EXPECT_EQ(ZeAtani(INT_MIN, 0), 0xc000);
  EXPECT_FLOAT_EQ(ZeAtanf(0, 0), 0.0f);
  EXPECT_FLOAT_EQ(ZeAtanf(0, -4), 3.1415927f);
  EXPECT_FLOAT_EQ(ZeAtanf(4, 0), 1.5707964f);
  EXPECT_FLOAT_EQ(ZeAtanf(-4, 0), 4.712389f);
  const float k = 0x2000 * 9.58738e-5f;
  EXPECT_FLOAT_EQ(ZeAtanf(1, 1), k);
  EXPECT_FLOAT_EQ(ZeAtanf(1, -1), 3.1415927f - k);
  EXPECT_FLOAT_EQ(ZeAtanf(-1, -1), 3.1415927f + k);
  EXPECT_FLOAT_EQ(ZeAtanf(-1, 1), -k);
}

TEST(ZeAtan, InputsBeyondTheContractStayInsideTheTable) {
  // Overflowing products and NaN are not valid input; they must still not
  // read outside the table.
  for (float x : {1e37f, -1e37f, NAN, INFINITY, FLT_MIN})
    for (float z : {2e37f, -3e38f, NAN, 1.0f, -INFINITY}) {
      int a = ZeAtan2D(x, z), b = ZeAtan2DA(x, z);
      EXPECT_TRUE(a >= -0x4000 && a <= 0xc000) << a;
      EXPECT_TRUE(b >= -0x10000 && b <= 0x18000) << b;
    }
  int a = ZeAtani(1 << 30, (1 << 30) - 1);
  EXPECT_TRUE(a >= 0 && a <= 0x4000) << a;
}

TEST(ZeAng, ArithmeticWrapsToSignedSixteenBits) {
  EXPECT_EQ(ZeAngDiff(0x0100, 0xff00), 0x200);
  EXPECT_EQ(ZeAngDiff(0xff00, 0x0100), -0x200);
  EXPECT_EQ(ZeAngAdd(0x7000, 0x2000), -0x7000);
  EXPECT_EQ(ZeAngAdd(0x8000, 0), -0x8000);
  EXPECT_EQ(ZeAngSub(0x10005, 0x20003), 2);
  // Sums past the int range wrap without overflow.
  EXPECT_EQ(ZeAngAdd(INT_MAX, 1), 0);
  EXPECT_EQ(ZeAngSub(INT_MIN, 1), -1);
}

TEST(ZeAng, ArcsineAndArccosine) {
  EXPECT_EQ(ZeASin(1.0f), 0x4000);
  EXPECT_EQ(ZeASin(-2.0f), -0x4000);
  EXPECT_EQ(ZeASin(0.0f), 0);
  EXPECT_EQ(ZeASin(-0.0f), 0);
  EXPECT_EQ(ZeACos(1.0f), 0);
  EXPECT_EQ(ZeACos(0.0f), 0x4000);
  EXPECT_EQ(ZeACos(-0.0f), 0x4000);
  EXPECT_EQ(ZeACos(-1.0f), -0x8000);
  EXPECT_EQ(ZeACos(-3.0f), -0x8000);
  for (float x = -0.999f; x < 1.0f; x += 0.037f) {
    EXPECT_NEAR(ZeASin(x), std::asin(x) * 65536.0 / (2.0 * M_PI), 2.0) << x;
    // acos(x) for x < 0 lies above 0x4000 and wraps past 0x7fff only at -1.
    EXPECT_NEAR(ZeACos(x), std::acos(x) * 65536.0 / (2.0 * M_PI), 2.0) << x;
  }
}

TEST(ZeFloat, Helpers) {
  EXPECT_EQ(ZeFloor(-1.5f), -2.0f);
  EXPECT_EQ(ZeFloor(-2.0f), -2.0f);
  EXPECT_EQ(ZeFloor(1.5f), 1.0f);
  EXPECT_EQ(ZeFloor(0.0f), 0.0f);
  EXPECT_EQ(ZeFmod(-7.0f, 3.0f), -1.0f);
  EXPECT_EQ(ZeFmod(7.5f, 2.0f), 1.5f);
  EXPECT_EQ(ZeFsign(-0.0f), -1.0f);
  EXPECT_EQ(ZeFsign(0.0f), 1.0f);
  EXPECT_EQ(ZeFsign(-3.0f), -1.0f);
  EXPECT_EQ(ZeFabs(-2.5f), 2.5f);
  EXPECT_EQ(ZeFnabs(2.5f), -2.5f);
  EXPECT_TRUE(std::signbit(ZeFnabs(0.0f)));
  EXPECT_TRUE(std::signbit(ZeFneg(0.0f)));
  EXPECT_EQ(ZeFneg(-1.0f), 1.0f);
  EXPECT_EQ(ZeFsqrt(6.25f), 2.5f);
  EXPECT_EQ(ZeFrsqrt(3.0f, 2.25f), 2.0f);
}

TEST(ZeFloat, EquivIsStrictAgainstItsTolerance) {
  EXPECT_EQ(ZeEquiv(1.0f, 1.005f), 1);
  EXPECT_EQ(ZeEquiv(1.0f, 1.02f), 0);
  ZeEquivTollerance(0.5f);
  EXPECT_EQ(ZeEquiv(1.0f, 1.5f), 0);  // a difference equal to the tolerance
  EXPECT_EQ(ZeEquiv(1.0f, 1.25f), 1);
  ZeEquivTollerance(0.01f);
}

TEST(ZeFloat, PowerOfTwo) {
  struct {
    int n, p;
  } cases[] = {{-5, 1}, {0, 1}, {1, 1}, {2, 2}, {3, 4}, {5, 8}, {8, 8}, {9, 16}, {1 << 30, 1 << 30}};
  for (const auto& c : cases) EXPECT_EQ(ZePower2(c.n), c.p) << c.n;
  EXPECT_HALT(ZePower2((1 << 30) + 1), "above 2^30");
  errmsg_trap = 0;
}

TEST(ZeFloat, AccumulatorIsSharedState) {
  ZeFmula(2, 3);
  ZeFmadda(4, 5);
  EXPECT_EQ(ZeFmadd(1, 1), 27.0f);
  EXPECT_EQ(ZeFmadd(1, 1), 27.0f);  // reading leaves it alone
  ZeFmsuba(2, 2);
  EXPECT_EQ(ZeFmadd(0, 0), 22.0f);
  ZeFadda(1, 2);
  EXPECT_EQ(ZeFmadd(0, 0), 3.0f);
  ZeFsuba(1, 2);
  EXPECT_EQ(ZeFmadd(0, 0), -1.0f);
}
