// Transfers: host to local and back in every format, data split across
// chunks, local-to-local copies in the TRXPOS directions, wrapping at 2048.
#include <random>
#include <vector>

#include "gs_local.h"
#include "gs_testutil.h"
#include "platform_test.h"

namespace {

const int kAllFormats[] = {PSMCT32, PSMCT24, PSMCT16, PSMCT16S, PSMT8, PSMT4, PSMT8H,
                           PSMT4HL, PSMT4HH, PSMZ32, PSMZ24, PSMZ16, PSMZ16S};

std::vector<uint32_t> RandomPixels(int psm, int n, uint32_t seed) {
  std::mt19937 rng(seed);
  int bits = GsTestBits(psm);
  std::vector<uint32_t> v(static_cast<size_t>(n));
  for (uint32_t& p : v) p = bits == 32 ? rng() : rng() & ((1u << bits) - 1);
  return v;
}

// An odd rectangle at an odd place: not block aligned, rows of odd sizes.
TEST(GsTransfer, RoundTripsInEveryFormat) {
  for (int psm : kAllFormats) {
    GsReset();
    const int w = 13, h = 7, x = 5, y = 3;
    std::vector<uint32_t> px = RandomPixels(psm, w * h, uint32_t(psm) + 1);
    GsTestUpload(psm, 100, 2, x, y, w, h, px.data());
    EXPECT_TRUE(GsTestSameImage(px, GsTestDownload(psm, 100, 2, x, y, w, h), w, h))
        << GsPsm(psm).name;
    // What went up is what a pixel read sees.
    EXPECT_TRUE(GsTestSameImage(px, GsTestRead(psm, 100, 2, w, h, x, y), w, h))
        << GsPsm(psm).name;
  }
}

// IMAGE data comes in 8-byte pieces; 24- and 4-bit pixels straddle them.
TEST(GsTransfer, DataSplitIntoChunksGivesTheSameImage) {
  for (int psm : {PSMCT24, PSMT4, PSMCT16, PSMCT32}) {
    GsReset();
    const int w = 11, h = 5;
    std::vector<uint32_t> px = RandomPixels(psm, w * h, 9);
    GsTestUpload(psm, 0, 1, 1, 1, w, h, px.data(), 8);
    EXPECT_TRUE(GsTestSameImage(px, GsTestRead(psm, 0, 1, w, h, 1, 1), w, h))
        << GsPsm(psm).name;
  }
}

// 32-bit layouts go up two rows at a time where they can: rectangles on a
// column or not, from even and odd rows, wrapping at 2048, in chunks that
// split row pairs, with one drawing thread and with a queue to the worker;
// every pixel lands where a pixel write puts it.
TEST(GsTransfer, ThirtyTwoBitUploadsMatchPixelWrites) {
  const int before = GsGetThreads();
  std::mt19937 rng(5);
  for (int round = 0; round < 60; round++) {
    const int psm = round % 2 ? PSMZ32 : PSMCT32;
    const int w = 1 + int(rng() % 40), h = 1 + int(rng() % 12);
    const int x = rng() % 3 == 0 ? int(rng() % 64) : int(rng() % 8) * 8 + (rng() % 4 == 0 ? 2040 - 64 : 0);
    const int y = int(rng() % 40);
    const int chunk = rng() % 3 == 0 ? 8 * (1 + int(rng() % 40)) : 0;
    std::vector<uint32_t> px = RandomPixels(psm, w * h, uint32_t(round));
    GsSetThreads(round % 4 == 3 ? 2 : 1);
    GsReset();
    GsTestUpload(psm, 64, 32, x, y, w, h, px.data(), chunk);
    std::vector<uint8_t> got(GsMemory(), GsMemory() + GS_MEMORY_SIZE);
    GsReset();
    for (int j = 0; j < h; j++)
      for (int i = 0; i < w; i++)
        GsMemWritePixel(psm, 64, 32, (x + i) & 2047, (y + j) & 2047, px[size_t(j * w + i)]);
    ASSERT_TRUE(std::vector<uint8_t>(GsMemory(), GsMemory() + GS_MEMORY_SIZE) == got)
        << GsPsm(psm).name << " " << w << " x " << h << " at (" << x << ", " << y << "), chunk "
        << chunk << ", threads " << GsGetThreads();
  }
  GsSetThreads(before);
}

TEST(GsTransfer, Ct24UploadKeepsTheAlphaByteAndDataBeyondTheRectangleIsDropped) {
  GsReset();
  for (int x = 0; x < 4; x++) GsMemWritePixel(PSMCT32, 0, 1, x, 0, 0xab000000);
  GsMemWritePixel(PSMCT32, 0, 1, 4, 0, 0x11111111);
  // Two pixels of three bytes, then a third that does not belong.
  const uint32_t px[3] = {0x123456, 0x789abc, 0xdef012};
  GsTestUpload(PSMCT24, 0, 1, 0, 0, 2, 1, px);
  GsTestUpload(PSMCT24, 0, 1, 2, 0, 1, 1, px + 2);
  const uint8_t extra[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  GsWriteImage(extra, 8);  // the transfer has ended
  EXPECT_EQ(GsMemReadPixel(PSMCT32, 0, 1, 0, 0), 0xab123456u);
  EXPECT_EQ(GsMemReadPixel(PSMCT32, 0, 1, 1, 0), 0xab789abcu);
  EXPECT_EQ(GsMemReadPixel(PSMCT32, 0, 1, 2, 0), 0xabdef012u);
  EXPECT_EQ(GsMemReadPixel(PSMCT32, 0, 1, 3, 0), 0xab000000u);
  EXPECT_EQ(GsMemReadPixel(PSMCT32, 0, 1, 4, 0), 0x11111111u);
}

TEST(GsTransfer, CoordinatesWrapAt2048) {
  GsReset();
  const uint32_t px[4] = {1, 2, 3, 4};
  GsTestUpload(PSMCT32, 0, 32, 2047, 2047, 2, 2, px);
  EXPECT_EQ(GsMemReadPixel(PSMCT32, 0, 32, 2047, 2047), 1u);
  EXPECT_EQ(GsMemReadPixel(PSMCT32, 0, 32, 0, 2047), 2u);
  EXPECT_EQ(GsMemReadPixel(PSMCT32, 0, 32, 2047, 0), 3u);
  EXPECT_EQ(GsMemReadPixel(PSMCT32, 0, 32, 0, 0), 4u);
}

void CopyLocal(int spsm, uint32_t sbp, int sx, int sy, int dpsm, uint32_t dbp, int dx, int dy,
               int w, int h, int dir) {
  GsBITBLTBUF b{};
  b.SBP = sbp;
  b.SBW = 1;
  b.SPSM = uint32_t(spsm);
  b.DBP = dbp;
  b.DBW = 1;
  b.DPSM = uint32_t(dpsm);
  GsTRXPOS p{};
  p.SSAX = uint32_t(sx);
  p.SSAY = uint32_t(sy);
  p.DSAX = uint32_t(dx);
  p.DSAY = uint32_t(dy);
  p.DIR = uint32_t(dir);
  GsTRXREG r{};
  r.RRW = uint32_t(w);
  r.RRH = uint32_t(h);
  GsWriteReg(GS_BITBLTBUF, GsBits(b));
  GsWriteReg(GS_TRXPOS, GsBits(p));
  GsWriteReg(GS_TRXREG, GsBits(r));
  GsWriteReg(GS_TRXDIR, 2);
}

TEST(GsTransfer, LocalCopiesMovePixelValuesBetweenFormats) {
  GsReset();
  std::vector<uint32_t> px = RandomPixels(PSMCT32, 8 * 4, 3);
  GsTestUpload(PSMCT32, 0, 1, 0, 0, 8, 4, px.data());
  CopyLocal(PSMCT32, 0, 0, 0, PSMZ32, 64, 3, 2, 8, 4, 0);
  EXPECT_TRUE(GsTestSameImage(px, GsTestRead(PSMZ32, 64, 1, 8, 4, 3, 2), 8, 4));
  CopyLocal(PSMCT32, 0, 0, 0, PSMT8H, 128, 0, 0, 8, 4, 0);  // the low byte lands on top
  std::vector<uint32_t> low;
  for (uint32_t v : px) low.push_back(v & 0xff);
  EXPECT_TRUE(GsTestSameImage(low, GsTestRead(PSMT8H, 128, 1, 8, 4), 8, 4));
}

// Copying a row onto itself shifted right: only walking from the right
// (DIR bit 1) moves it intact; from the left it smears the first pixel.
TEST(GsTransfer, LocalCopyDirectionDecidesOverlaps) {
  for (int dir : {0, 2}) {
    GsReset();
    const uint32_t px[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    GsTestUpload(PSMCT32, 0, 1, 0, 0, 8, 1, px);
    CopyLocal(PSMCT32, 0, 0, 0, PSMCT32, 0, 1, 0, 7, 1, dir);
    std::vector<uint32_t> want = dir ? std::vector<uint32_t>{1, 1, 2, 3, 4, 5, 6, 7}
                                     : std::vector<uint32_t>{1, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_TRUE(GsTestSameImage(want, GsTestRead(PSMCT32, 0, 1, 8, 1), 8, 1)) << "DIR " << dir;
  }
  // Rows from the bottom (DIR bit 0) for a copy one row down.
  GsReset();
  const uint32_t col[4] = {1, 2, 3, 4};
  GsTestUpload(PSMCT32, 0, 1, 0, 0, 1, 4, col);
  CopyLocal(PSMCT32, 0, 0, 0, PSMCT32, 0, 0, 1, 1, 3, 1);
  EXPECT_TRUE(GsTestSameImage({1, 1, 2, 3}, GsTestRead(PSMCT32, 0, 1, 1, 4), 1, 4));
}

TEST(GsTransfer, LocalToHostPadsToWholeUnitsAndStops) {
  GsReset();
  const uint32_t px[3] = {0x112233, 0x445566, 0x778899};
  GsTestUpload(PSMCT24, 0, 1, 0, 0, 3, 1, px);
  GsBITBLTBUF b{};
  b.SBW = 1;
  b.SPSM = PSMCT24;
  GsTRXREG r{};
  r.RRW = 3;
  r.RRH = 1;
  GsWriteReg(GS_BITBLTBUF, GsBits(b));
  GsWriteReg(GS_TRXPOS, 0);
  GsWriteReg(GS_TRXREG, GsBits(r));
  GsWriteReg(GS_TRXDIR, 1);
  uint8_t out[32];
  memset(out, 0xee, sizeof out);
  EXPECT_EQ(GsReadImage(out, 32), 16);  // 9 bytes, padded to 16
  const uint8_t want[9] = {0x33, 0x22, 0x11, 0x66, 0x55, 0x44, 0x99, 0x88, 0x77};
  EXPECT_EQ(memcmp(out, want, 9), 0);
  EXPECT_EQ(out[9], 0);
  EXPECT_EQ(GsReadImage(out, 32), 0);
}

}  // namespace
