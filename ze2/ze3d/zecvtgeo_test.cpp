// Geometry to render-stream packets: the gamma table, compression values
// and colour references.
#include "ze3d_test.h"
#include "zecvtgeo_local.h"

#include <bit>
#include <cmath>

namespace {

struct Gamma : ::testing::Test {
  void TearDown() override {
    ambient_correction = 0;
    GenerateGammaTable(1.0f, 1.0f);
  }
};

TEST_F(Gamma, TableOfOneIsIdentityAndScaleTwoCapsFrom128) {
  GenerateGammaTable(1.0f, 1.0f);
  for (int i = 0; i < 256; i++) EXPECT_EQ(gamma_table[i], i) << i;
  GenerateGammaTable(1.0f, 2.0f);
  for (int i = 0; i < 128; i++) EXPECT_EQ(gamma_table[i], 2 * i) << i;
  for (int i = 128; i < 256; i++) EXPECT_EQ(gamma_table[i], 255) << i;
}

// k is rounded to single precision before the products: with gamma 2.2 the
// entries follow float(k) x i^2.2, not the double quotient.
TEST_F(Gamma, SingleRoundedFactorAndBlackAtEntryZero) {
  GenerateGammaTable(2.2f, 1.0f);
  const float k = float(255.0 / std::pow(255.0, double(2.2f)));
  for (int i = 0; i < 256; i++) {
    float v = float(double(k) * std::pow(double(i), double(2.2f)));
    if (v > 255.0f) v = 255.0f;
    EXPECT_EQ(gamma_table[i], int(v)) << i;
  }
  EXPECT_EQ(gamma_table[0], 0);
  EXPECT_EQ(gamma_table[255], 255);
  // gamma 0.5 brightens: the middle rises well above half.
  GenerateGammaTable(0.5f, 1.0f);
  EXPECT_EQ(gamma_table[0], 0);
  EXPECT_GT(gamma_table[64], 120);
}

TEST_F(Gamma, BlackStaysBlackOtherColoursTakeTheCorrection) {
  GenerateGammaTable(1.0f, 1.0f);
  ambient_correction = 10;
  struct Case {
    uint8_t in[4], out[4];
  } cases[] = {
      {{0, 0, 0, 77}, {0, 0, 0, 77}},           // black: entry 0 only, alpha untouched
      {{0, 0, 1, 200}, {10, 10, 11, 200}},      // any channel set: all three corrected
      {{250, 128, 0, 0}, {255, 138, 10, 0}},    // clamped at 255
  };
  for (auto& c : cases) {
    uint8_t b[4] = {c.in[0], c.in[1], c.in[2], c.in[3]};
    GammaCorrect(b);
    EXPECT_EQ(0, memcmp(b, c.out, 4)) << int(b[0]) << " " << int(b[1]) << " " << int(b[2]) << " " << int(b[3]);
  }
  ambient_correction = -20;
  uint8_t dark[3] = {5, 30, 0};
  GammaCorrect(dark);
  EXPECT_EQ(dark[0], 0);  // clamped at 0
  EXPECT_EQ(dark[1], 10);
  EXPECT_EQ(dark[2], 0);
}

// An all-zero table (never generated) turns every non-black colour into the
// correction alone: the trap the program avoids by generating it first.
TEST_F(Gamma, UngeneratedTableGivesTheCorrectionOnly) {
  memset(gamma_table, 0, sizeof gamma_table);
  ambient_correction = 3;
  uint8_t c[3] = {200, 100, 50};
  GammaCorrect(c);
  EXPECT_EQ(c[0], 3);
  EXPECT_EQ(c[1], 3);
  EXPECT_EQ(c[2], 3);
}

TEST(CvtSpan, SpanValueIsTheBitDistance) {
  EXPECT_EQ(ZeCvtSpanValue(1.0f, 1.0f), 0);
  EXPECT_EQ(ZeCvtSpanValue(std::nextafter(1.0f, 2.0f), 1.0f), 1);
  EXPECT_EQ(ZeCvtSpanValue(1.0f, std::nextafter(1.0f, 2.0f)), -1);
  EXPECT_EQ(ZeCvtSpanValue(2.0f, 1.0f), 0x800000);
}

}  // namespace

namespace {

// Records of two words a vertex: colours A' and B' (alpha halved, gamma),
// and under live prelighting the last word is the vertex id.
TEST(ColourRef, RecordsWordsAndEndRecord) {
  GenerateGammaTable(1.0f, 1.0f);
  alignas(16) static uint32_t table[32];
  alignas(16) static uint32_t packet[8];
  ZeCvtGeoBeginColourRef(table);
  ZeCvtGeoSetColourRefOffset(0x100);
  ZeCvtGeoStartColourRef(packet, 2);
  ZeCvtGeoAddColourRef(0xfe102030u, 0x80405060u, 0, 0, 0, 2);
  ZeCvtGeoAddColourRef(0x02020202u, 0x00000000u, 1, 1, 0, 2);
  g_live_prelight = 1;
  g_vertex_count = 1000;
  ZeCvtGeoAddColourRef(0x01010101u, 0x11111111u, 0, 7, g_vertex_count, 2);
  g_live_prelight = 0;
  void* end = ZeCvtGeoEndColourRef(2);
  EXPECT_EQ(table[0], EeAddrOf(packet) + 0x100);
  EXPECT_EQ(table[1], 3u);
  EXPECT_EQ(table[2], 0x7f102030u);
  EXPECT_EQ(table[3], 0x40405060u);
  EXPECT_EQ(table[4], 0x01010101u);  // each channel shifted by one, alpha halved
  EXPECT_EQ(table[5], 0x00000000u);
  EXPECT_EQ(table[6], 0x00010101u);
  EXPECT_EQ(table[7], 1007u);        // the vertex id replaces colour B
  EXPECT_EQ(table[8], 0x100u);       // end record: address 0 + offset, count 0
  EXPECT_EQ(table[9], 0u);
  EXPECT_EQ(end, &table[10]);
  EXPECT_EQ(colourref_enabled, 0);
  ZeCvtGeoFixup(table, 0x10, 2);
  EXPECT_EQ(table[0], EeAddrOf(packet) + 0x110);
  EXPECT_EQ(table[8], 0x100u);       // the end record is not moved
}

// The table has room for two words a vertex: a third set is refused, not
// written past the records.
TEST(ColourRef, MoreSetsThanTheTableHoldsAreRefused) {
  alignas(16) static uint32_t table[8];
  ZeCvtGeoBeginColourRef(table);
  EXPECT_HALT(ZeCvtGeoStartColourRef(table, 3), "at most 2");
  colourref_current = table;
  table[1] = 0;
  EXPECT_HALT(ZeCvtGeoAddColourRef(1, 2, 0, 0, 0, 3), "at most 2");
  EXPECT_EQ(table[1], 0u);
  colourref_enabled = 0;
}

}  // namespace
