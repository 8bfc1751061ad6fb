// Local memory layouts: addresses against the documented tables, every
// format's page filled exactly once, the fast addressing form, and one
// block read through several formats.
#include <random>
#include <set>
#include <sstream>
#include <vector>

#include "gs_local.h"
#include "gs_testutil.h"
#include "platform_test.h"

namespace {

const int kAllFormats[] = {PSMCT32, PSMCT24, PSMCT16, PSMCT16S, PSMT8, PSMT4, PSMT8H,
                           PSMT4HL, PSMT4HH, PSMZ32, PSMZ24, PSMZ16, PSMZ16S};

// Byte offset (times 2, plus 1 for a high nibble) of a pixel: nibble units.
uint32_t NibbleOf(int psm, uint32_t bp, uint32_t bw, int x, int y) {
  const GsPsmRow& r = GsPsm(psm);
  return (r.addr(bp, bw, x, y) << r.elemShift) >> 2;
}

TEST(GsMemory, AddressesFollowTheDocumentedTables) {
  struct Case {
    int psm;
    uint32_t bp, bw;
    int x, y;
    uint32_t byte;
    bool high = false;  // high nibble
  } cases[] = {
      {PSMCT32, 0, 1, 0, 0, 0},
      {PSMCT32, 0, 1, 9, 2, 324},         // block 1, column word 17
      {PSMCT32, 0, 1, 63, 31, 8188},      // block 31, word 63
      {PSMCT32, 0, 1, 64, 0, 8192},       // next page along the row
      {PSMCT32, 0, 2, 0, 32, 16384},      // two pages per row
      {PSMCT32, 1, 1, 8, 0, 512},         // BP is added: block 1 + 1
      {PSMCT32, 1, 1, 56, 24, 8192},      // ... and carries into the next page
      {PSMCT32, 16383, 1, 8, 0, 0},       // block numbers wrap at the end of memory
      {PSMCT24, 0, 1, 9, 2, 324},
      {PSMT8H, 0, 1, 9, 2, 324},
      {PSMCT16, 0, 1, 16, 0, 512},        // block 2
      {PSMCT16, 0, 1, 8, 1, 10},          // halfword 5
      {PSMCT16, 0, 1, 32, 0, 2048},       // block 8
      {PSMCT16S, 0, 1, 32, 0, 4096},      // block 16: its own order
      {PSMT8, 0, 2, 16, 0, 256},          // block 1
      {PSMT8, 0, 2, 4, 2, 1},             // byte 1
      {PSMT8, 0, 2, 128, 0, 8192},        // 128-pixel pages
      {PSMT8, 0, 4, 0, 64, 16384},        // BW 4: two pages per row
      {PSMT4, 0, 2, 32, 0, 512},          // block 2
      {PSMT4, 0, 2, 1, 0, 4},             // nibble 8: low half of byte 4
      {PSMT4, 0, 2, 4, 2, 0, true},       // nibble 1: high half of byte 0
      {PSMT4, 0, 2, 0, 128, 8192},        // 128 x 128 pages, one per row
      {PSMZ32, 0, 1, 0, 0, 6144},         // block 24
      {PSMZ24, 0, 1, 32, 16, 0},          // block 0
      {PSMZ16, 0, 1, 0, 0, 6144},         // block 24
      {PSMZ16, 0, 1, 48, 48, 1536},       // block 6
      {PSMZ16S, 0, 1, 32, 0, 2048},       // block 8
  };
  for (const Case& c : cases) {
    uint32_t n = NibbleOf(c.psm, c.bp, c.bw, c.x, c.y);
    EXPECT_EQ(n, c.byte * 2 + (c.high ? 1 : 0))
        << GsPsm(c.psm).name << " bp " << c.bp << " bw " << c.bw << " (" << c.x << ", " << c.y
        << ")";
  }
}

// A page of any format covers its 8 KB exactly once.
TEST(GsMemory, EveryFormatFillsItsPageOnce) {
  for (int psm : kAllFormats) {
    const GsPsmRow& r = GsPsm(psm);
    std::vector<int> hits(16384);
    bool duplicate = false;
    for (int y = 0; y < r.pageH; y++)
      for (int x = 0; x < r.pageW; x++) {
        uint32_t n = NibbleOf(psm, 0, 2, x, y);
        ASSERT_LT(n, 16384u) << r.name;
        int step = 1 << (r.elemShift - 2);  // nibbles per element
        for (int i = 0; i < step; i++) duplicate |= hits[n + i]++ != 0;
      }
    EXPECT_FALSE(duplicate) << r.name;
    int covered = 0;
    for (int h : hits) covered += h != 0;
    // 24-bit and high-bit formats use part of each word, but every word.
    EXPECT_EQ(covered, 16384) << r.name;
  }
}

TEST(GsMemory, FastAddressingMatchesTheAddressFunctions) {
  std::mt19937 rng(7);
  for (int psm : kAllFormats) {
    const GsPsmRow& r = GsPsm(psm);
    for (int i = 0; i < 20000; i++) {
      uint32_t bp = rng() % 16384, bw = rng() % 64;
      int x = int(rng() % 2048), y = int(rng() % 2048);
      ASSERT_EQ(GsAddrFast(r, bp, bw, x, y), r.addr(bp, bw, x, y))
          << r.name << " bp " << bp << " bw " << bw << " (" << x << ", " << y << ")";
    }
  }
}

// The top-byte formats share PSMCT32's words and change only their bits.
TEST(GsMemory, HighBitFormatsAliasTheTopOfCt32Words) {
  GsReset();
  GsMemWritePixel(PSMCT32, 64, 1, 5, 6, 0xa5123456);
  EXPECT_EQ(GsMemReadPixel(PSMT8H, 64, 1, 5, 6), 0xa5u);
  EXPECT_EQ(GsMemReadPixel(PSMT4HL, 64, 1, 5, 6), 0x5u);
  EXPECT_EQ(GsMemReadPixel(PSMT4HH, 64, 1, 5, 6), 0xau);
  EXPECT_EQ(GsMemReadPixel(PSMCT24, 64, 1, 5, 6), 0x123456u);
  GsMemWritePixel(PSMT4HL, 64, 1, 5, 6, 0xc);
  EXPECT_EQ(GsMemReadPixel(PSMCT32, 64, 1, 5, 6), 0xac123456u);
  GsMemWritePixel(PSMT4HH, 64, 1, 5, 6, 0x3);
  EXPECT_EQ(GsMemReadPixel(PSMCT32, 64, 1, 5, 6), 0x3c123456u);
  GsMemWritePixel(PSMT8H, 64, 1, 5, 6, 0x77);
  GsMemWritePixel(PSMCT24, 64, 1, 5, 6, 0xffabcdef);  // keeps the top byte
  EXPECT_EQ(GsMemReadPixel(PSMCT32, 64, 1, 5, 6), 0x77abcdefu);
  GsMemWritePixel(PSMZ32, 64, 1, 5, 6, 0x66000000);
  GsMemWritePixel(PSMZ24, 64, 1, 5, 6, 0xff000001);
  EXPECT_EQ(GsMemReadPixel(PSMZ32, 64, 1, 5, 6), 0x66000001u);
}

// "PSMT8 rows 0-3 of a block share PSMCT32 rows 0-1."
TEST(GsMemory, T8BlockRowsZeroToThreeShareCt32RowsZeroAndOne) {
  GsReset();
  for (int y = 0; y < 2; y++)
    for (int x = 0; x < 8; x++) GsMemWritePixel(PSMCT32, 0, 1, x, y, 0xffffffff);
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++)
      EXPECT_EQ(GsMemReadPixel(PSMT8, 0, 2, x, y), y < 4 ? 0xffu : 0u) << x << ", " << y;
}

// Z16 over Z32 pairs pixels as PSMCT16 over PSMCT32 does: the Z block
// tables are the colour ones with bits 3 and 4 inverted, in both sizes.
TEST(GsMemory, DepthFormatsAliasEachOtherAsColourFormatsDo) {
  auto pairing = [](int p16, int p32) {
    std::vector<uint32_t> out;  // for each 16-bit pixel: the 32-bit pixel holding it
    const GsPsmRow& r16 = GsPsm(p16);
    const GsPsmRow& r32 = GsPsm(p32);
    std::vector<int> owner(2048);
    for (int y = 0; y < 32; y++)
      for (int x = 0; x < 64; x++) owner[r32.addr(0, 1, x, y)] = y * 64 + x;
    for (int y = 0; y < 64; y++)
      for (int x = 0; x < 64; x++) {
        uint32_t h = r16.addr(0, 1, x, y);
        out.push_back(uint32_t(owner[h >> 1]) * 2 + (h & 1));
      }
    return out;
  };
  EXPECT_EQ(pairing(PSMZ16, PSMZ32), pairing(PSMCT16, PSMCT32));
  EXPECT_EQ(pairing(PSMZ16S, PSMZ32), pairing(PSMCT16S, PSMCT32));
}

// A 4-bit image of 128 x 128 and an 8-bit one of 128 x 64, converted to
// 32-bit words from the documented tables alone, sent up as PSMCT32 of a
// quarter and half the size, read back in their own formats.
TEST(GsMemory, PreSwizzledUploadsReadBackInTheirOwnFormat) {
  struct Fmt {
    int psm, w, h;
  } fmts[] = {{PSMT8, 128, 64}, {PSMT4, 128, 128}};
  for (const Fmt& f : fmts) {
    GsReset();
    std::mt19937 rng(f.psm);
    std::vector<uint32_t> image(size_t(f.w) * f.h);
    for (uint32_t& v : image) v = rng() & (f.psm == PSMT8 ? 0xff : 0xf);
    // Where each texel's bits go in a page, from the documented tables.
    std::vector<uint32_t> words(2048);
    for (int y = 0; y < f.h; y++)
      for (int x = 0; x < f.w; x++) {
        uint32_t nib;  // nibble offset in the page
        if (f.psm == PSMT8)
          nib = 2 * (kGsBlock32[y / 16][x / 16] * 256u + kGsColumn8[y % 16][x % 16]);
        else
          nib = kGsBlock16[y / 16][x / 32] * 512u + kGsColumn4[y % 16][x % 32];
        uint32_t bits = f.psm == PSMT8 ? 8 : 4;
        words[nib / 8] |= image[size_t(y) * f.w + x] << ((nib % 8) * 4);
        (void)bits;
      }
    // The PSMCT32 pixel of each word, by the documented tables.
    std::vector<uint32_t> ct32(64 * 32);
    for (int y = 0; y < 32; y++)
      for (int x = 0; x < 64; x++)
        ct32[y * 64 + x] = words[kGsBlock32[y / 8][x / 8] * 64u + kGsColumn32[y % 8][x % 8]];
    GsTestUpload(PSMCT32, 96, 1, 0, 0, 64, 32, ct32.data());
    std::vector<uint32_t> back(image.size());
    for (int y = 0; y < f.h; y++)
      for (int x = 0; x < f.w; x++)
        back[size_t(y) * f.w + x] = GsMemReadPixel(f.psm, 96, 2, x, y);
    EXPECT_TRUE(GsTestSameImage(image, back, f.w, f.h)) << GsPsm(f.psm).name;
  }
}

TEST(GsMemory, FourBitPixelsTakeTheLowNibbleFirst) {
  GsReset();
  GsMemWritePixel(PSMT4, 0, 2, 0, 0, 0x3);  // nibble 0
  GsMemWritePixel(PSMT4, 0, 2, 4, 2, 0xc);  // nibble 1
  EXPECT_EQ(GsMemory()[0], 0xc3);
}

}  // namespace
