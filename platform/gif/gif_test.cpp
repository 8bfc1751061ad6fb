#include "gfx_test.h"
#include "platform_test.h"

#include <bit>

namespace {

struct Gif : testing::Test {
  void SetUp() override { GifReset(); }
};

using Writes = std::vector<std::pair<int, uint64_t>>;

void PutQ(uint32_t* p, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  p[0] = a;
  p[1] = b;
  p[2] = c;
  p[3] = d;
}

}  // namespace

TEST_F(Gif, PackedRegistersPrimQFromStAndTheAdcBit) {
  EeQwords b(16);
  // PRE with PRIM 0x15; registers ST, RGBAQ, UV, XYZF2 (ADC set), XYZ2, FOG, A+D.
  PutGifTag(b.qw(0), 1, false, GIF_PACKED, 7, 0xea54312, true, 0x15);
  PutQ(b.qw(1), std::bit_cast<uint32_t>(0.25f), std::bit_cast<uint32_t>(0.5f), std::bit_cast<uint32_t>(2.0f), 0);
  PutQ(b.qw(2), 0x110, 0x22, 0x33, 0x144);  // colours keep their low 8 bits
  PutQ(b.qw(3), 0x4001, 0x2, 0, 0);
  PutQ(b.qw(4), 0x10008, 0x20, 0x123450, 0x8000 | 0xab0);  // X, Y, Z << 4, F << 4 and ADC
  PutQ(b.qw(5), 0x100, 0x200, 0xffffffff, 0);
  PutQ(b.qw(6), 0, 0, 0, 0x7f0);
  PutAd(b.qw(7), GS_TEXFLUSH, 9);
  // A second packet: Q starts at 1.0 again.
  PutGifTag(b.qw(8), 1, true, GIF_PACKED, 1, 0x1);
  PutQ(b.qw(9), 1, 2, 3, 4);
  GsCapture gs;
  GifWrite(GIF_PATH3, b.w, 10);
  Writes expect = {
      {GS_PRIM, 0x15},
      {GS_ST, uint64_t(std::bit_cast<uint32_t>(0.25f)) | uint64_t(std::bit_cast<uint32_t>(0.5f)) << 32},
      {GS_RGBAQ, 0x44332210ull | uint64_t(std::bit_cast<uint32_t>(2.0f)) << 32},
      {GS_UV, 0x0001 | 0x2 << 16},
      {GS_XYZF3, 0x0008 | 0x20 << 16 | uint64_t(0x12345) << 32 | uint64_t(0xab) << 56},
      {GS_XYZ2, 0x100 | 0x200 << 16 | uint64_t(0xffffffff) << 32},
      {GS_FOG, uint64_t(0x7f) << 56},
      {GS_TEXFLUSH, 9},
      {GS_RGBAQ, 0x04030201ull | uint64_t(std::bit_cast<uint32_t>(1.0f)) << 32},
  };
  EXPECT_EQ(gs.writes, expect);
  EXPECT_TRUE(GifPathIdle(GIF_PATH3));
}

TEST_F(Gif, Nreg0IsSixteenRegistersAndNloop0CarriesNoData) {
  EeQwords b(24);
  PutGifTag(b.qw(0), 0, false, GIF_PACKED, 1, 0xe);  // no data, packet goes on
  PutGifTag(b.qw(1), 1, true, GIF_PACKED, 0, 0xeeeeeeeeeeeeeeeeull);
  for (int i = 0; i < 16; i++) PutAd(b.qw(2 + i), GS_LABEL, uint64_t(i));
  GsCapture gs;
  GifWrite(GIF_PATH3, b.w, 1);
  EXPECT_FALSE(GifPathIdle(GIF_PATH3)) << "no EOP yet";
  GifWrite(GIF_PATH3, b.qw(1), 17);
  EXPECT_EQ(gs.Values(GS_LABEL).size(), 16u);
  EXPECT_EQ(gs.Values(GS_LABEL).back(), 15u);
  EXPECT_TRUE(GifPathIdle(GIF_PATH3));
}

TEST_F(Gif, ReglistPadsAnOddCountAndImageSkipsItsData) {
  EeQwords b(16);
  // REGLIST: NLOOP 3 of one register (PRIM): three items, one of padding.
  PutGifTag(b.qw(0), 3, false, GIF_REGLIST, 1, 0x0);
  PutQ(b.qw(1), 1, 0, 2, 0);
  PutQ(b.qw(2), 3, 0, 0xbad, 0xbad);
  // IMAGE: two quadwords that must not be read as registers.
  PutGifTag(b.qw(3), 2, false, GIF_IMAGE, 0, 0);
  PutGifTag(b.qw(4), 1, false, GIF_PACKED, 1, 0xe);
  PutAd(b.qw(5), GS_LABEL, 0xbad);
  // FLG 3 works as IMAGE.
  PutGifTag(b.qw(6), 1, false, GIF_DISABLE, 1, 0xe);
  PutAd(b.qw(7), GS_LABEL, 0xbad);
  PutAdPacket(b.qw(8), GS_LABEL, 5);
  GsCapture gs;
  GifWrite(GIF_PATH2, b.w, 10);
  EXPECT_EQ(gs.Values(GS_PRIM), (std::vector<uint64_t>{1, 2, 3}));
  EXPECT_EQ(gs.Values(GS_LABEL), (std::vector<uint64_t>{5}));
}

TEST_F(Gif, Path1ReadsVu1MemoryUpToTheEndOfPacket) {
  uint32_t* m = Vu1Quad(1020);
  PutGifTag(m, 1, false, GIF_PACKED, 1, 0xe);  // wraps at the end of memory
  PutAd(Vu1Quad(1021), GS_LABEL, 1);
  PutGifTag(Vu1Quad(1022), 2, true, GIF_PACKED, 1, 0xe);
  PutAd(Vu1Quad(1023), GS_LABEL, 2);
  PutAd(Vu1Quad(0), GS_LABEL, 3);
  PutAdPacket(Vu1Quad(1), GS_LABEL, 4);  // another packet: not sent
  GsCapture gs;
  EXPECT_EQ(Vu1Xgkick(1020), 5);
  EXPECT_EQ(gs.Values(GS_LABEL), (std::vector<uint64_t>{1, 2, 3}));
}
