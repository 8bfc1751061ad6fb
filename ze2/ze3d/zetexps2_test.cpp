// Native texture formats: level and palette packets, small-level offsets,
// placement at upload, register state, the quantiser and the rearranged
// 4- and 8-bit types.
#include "ze3d.h"
#include "zetex_local.h"
#include "zetex_test.h"

#include <vector>

namespace {

// The chunks of a level packet: each tag's QWC and ID, the A+D transfer
// set-up of the first chunk and every IMAGE tag's NLOOP.
struct Chunks {
  std::vector<int> ids, qwc, nloop;
  uint64_t trxreg = 0;
  const uint8_t* data0 = nullptr;  // texels of the first chunk
};

Chunks WalkLevel(const uint32_t* p) {
  Chunks c;
  for (;;) {
    int qwc = int(p[0] & 0xffff), id = int(p[0] >> 28) & 7;
    c.ids.push_back(id);
    c.qwc.push_back(qwc);
    EXPECT_EQ(p[3], VIFCODE_DIRECT | uint32_t(qwc)) << "DIRECT carries the whole chunk";
    const uint32_t* g = p + 4;
    if (c.ids.size() == 1) {
      EXPECT_EQ(g[2], uint32_t(GIF_REG_AD));
      memcpy(&c.trxreg, g + 4 + 4, 8);
      EXPECT_EQ(g[4 + 4 + 2], uint32_t(GS_TRXREG));
      g += 16;
      c.data0 = reinterpret_cast<const uint8_t*>(g + 4);
    }
    uint64_t tag;
    memcpy(&tag, g, 8);
    EXPECT_EQ(GIF_TAG::FLG::get(tag), uint64_t(GIF_IMAGE));
    EXPECT_EQ(GIF_TAG::EOP::get(tag), 1u);
    c.nloop.push_back(int(GIF_TAG::NLOOP::get(tag)));
    p += 4 * (qwc + 1);
    if (id == DMATAG_RET) break;
    if (c.ids.size() > 64) break;
  }
  return c;
}

}  // namespace

TEST_F(TexTable, LevelPacketsSetUpTheTransferAndConvertTexels) {
  // 24-bit B, G, R texels go up as R, G, B; 32-bit A, B, G, R as R, G, B, A / 2.
  TestImage rgb(ZETEX_RGB24, 8, 8);
  rgb.texels[0] = 0x11, rgb.texels[1] = 0x22, rgb.texels[2] = 0x33;
  ZETEXID a = ZeTexCreate(&rgb.tex);
  ZEPS2TEX* r = Rec(a);
  EXPECT_EQ(r->psm, PSMCT24);
  EXPECT_EQ(r->tcc, 0);
  EXPECT_EQ(r->texa_mode, 1);
  Chunks c = WalkLevel(r->level_packet[0]);
  EXPECT_EQ(c.ids, (std::vector<int>{DMATAG_RET}));
  EXPECT_EQ(c.trxreg, 8u | uint64_t(8) << 32);
  EXPECT_EQ(c.nloop, (std::vector<int>{8 * 8 * 3 / 16}));
  EXPECT_EQ(c.data0[0], 0x33);
  EXPECT_EQ(c.data0[2], 0x11);

  TestImage rgba(ZETEX_RGBA32, 8, 8);
  uint8_t px[4] = {0xfe, 0x30, 0x20, 0x10};  // A, B, G, R
  memcpy(rgba.texels, px, 4);
  r = Rec(ZeTexCreate(&rgba.tex));
  c = WalkLevel(r->level_packet[0]);
  EXPECT_EQ(c.data0[0], 0x10);
  EXPECT_EQ(c.data0[2], 0x30);
  EXPECT_EQ(c.data0[3], 0x7f) << "alpha halved to the GS scale";

  // 4-bit: the left texel moves from the high nibble to the low one.
  TestImage p4(ZETEX_PAL4, 8, 8);
  p4.texels[0] = 0x12;
  r = Rec(ZeTexCreate(&p4.tex));
  c = WalkLevel(r->level_packet[0]);
  EXPECT_EQ(c.data0[0], 0x21);
  EXPECT_EQ(r->cbw, 1);
  EXPECT_EQ(r->vram_size, 32 + 32) << "one page of texels and one of palette";
}

TEST_F(TexTable, FourBitRowsOfAnOddWidthGoUpAsOneRunOfTexels) {
  // The image keeps whole bytes per row (left texel high); the GS takes the
  // rectangle's texels as one run, low nibble first, with no gap at a row's end.
  struct Case {
    int w, h;
    std::vector<uint8_t> image, sent;
  } cases[] = {
      {1, 1, {0x70}, {0x07}},
      {1, 4, {0x10, 0x20, 0x30, 0x40}, {0x21, 0x43}},
      {3, 2, {0xab, 0xc0, 0xde, 0xf0}, {0xba, 0xdc, 0xfe}},
      {2, 2, {0x12, 0x34}, {0x21, 0x43}},
  };
  for (const Case& k : cases) {
    TestImage img(ZETEX_PAL4, k.w, k.h);
    ASSERT_EQ(ZeTexImgSize(ZETEX_PAL4, k.w, k.h), int(k.image.size())) << k.w << " x " << k.h;
    memcpy(img.texels, k.image.data(), k.image.size());
    Chunks c = WalkLevel(Rec(ZeTexCreate(&img.tex))->level_packet[0]);
    EXPECT_EQ(c.trxreg, uint64_t(k.w) | uint64_t(k.h) << 32);
    EXPECT_EQ(c.nloop, std::vector<int>{1});
    EXPECT_EQ(std::vector<uint8_t>(c.data0, c.data0 + 16), [&] {
      std::vector<uint8_t> v = k.sent;
      v.resize(16);
      return v;
    }()) << k.w << " x " << k.h << ": zeros after the last texel";
  }
}

TEST_F(TexTable, LargeLevelsAreSplitIntoChunksAtRowStarts) {
  // 512 x 512 x 4 bytes: 250 rows of 2048 bytes make the first 512,000.
  TestImage img(ZETEX_RGBA32, 512, 512);
  ZEPS2TEX* r = Rec(ZeTexCreate(&img.tex));
  Chunks c = WalkLevel(r->level_packet[0]);
  EXPECT_EQ(c.ids, (std::vector<int>{DMATAG_CNT, DMATAG_CNT, DMATAG_RET}));
  EXPECT_EQ(c.nloop, (std::vector<int>{32000, 32000, 12 * 2048 / 16}));
  EXPECT_LE(int(c.qwc[0] + c.qwc[1] + c.qwc[2] + 3) * 16, int(r->level_size[0]));
}

TEST_F(TexTable, SmallLevelsShareTheLastPageAtBlockOffsets) {
  struct Case {
    int type, size, levels;
    std::vector<uint32_t> vram;  // per level: bytes of its own pages, or a block offset
  };
  const Case cases[] = {
      {ZETEX_RGBA32, 32, 3, {8192, 16, 20}},
      {ZETEX_RGB24, 64, 4, {16384, 8192, 16, 20}},
      {ZETEX_PAL8, 128, 5, {16384, 8192, 16, 20, 21}},
      {ZETEX_PAL4, 128, 5, {8192, 8192, 8, 10, 11}},
      {ZETEX_RGB16, 32, 3, {8192, 8192, 8192}},  // 16-bit levels keep pages of their own
  };
  for (const Case& k : cases) {
    TestImage img(k.type, k.size, k.size, k.levels);
    ZETEXID id = ZeTexCreate(&img.tex);
    ZEPS2TEX* r = Rec(id);
    ASSERT_EQ(r->levels, k.levels) << "type " << k.type;
    std::vector<uint32_t> vram(r->level_vram, r->level_vram + k.levels);
    EXPECT_EQ(vram, k.vram) << "type " << k.type;
    // Placed downward from the top: small levels inside the last own page.
    EeQwords buf(64);
    gs_ptr = gs_top;
    ZeTexAccomodate(buf.w, id, 0);
    int top = 0x4000 - (r->cbw ? 32 : 0), last = 0;
    for (int i = 0; i < k.levels; i++) {
      if (k.vram[i] >= 256) {
        top -= int(k.vram[i] / 256);
        last = top;
        EXPECT_EQ(r->level_addr[i], top) << "type " << k.type << " level " << i;
      } else {
        EXPECT_EQ(r->level_addr[i], last + int(k.vram[i])) << "type " << k.type << " level " << i;
      }
    }
    EXPECT_EQ(r->vram_bottom, top);
    EXPECT_EQ(gs_ptr, 0x4000 - r->vram_size);
  }
}

TEST_F(TexTable, GeneratedLevelsStopAtEightTexelsOrSevenLevels) {
  zemtl_force_mipmap = 1;
  TestImage a(ZETEX_PAL8, 256, 256, 0);
  EXPECT_EQ(Rec(ZeTexCreate(&a.tex))->levels, 6) << "256 down to 8";
  TestImage b(ZETEX_PAL8, 1024, 1024, 0);
  EXPECT_EQ(Rec(ZeTexCreate(&b.tex))->levels, 7) << "1024 down to 16";
  zemtl_force_mipmap = 0;
  // Level 1 is point-sampled from level 0: every second texel of every second row.
  zemtl_force_mipmap = 1;
  TestImage c(ZETEX_PAL8, 16, 16, 0);
  for (int i = 0; i < 256; i++) c.texels[i] = uint8_t(i);
  ZEPS2TEX* r = Rec(ZeTexCreate(&c.tex));
  zemtl_force_mipmap = 0;
  ASSERT_EQ(r->levels, 2);
  Chunks l1 = WalkLevel(r->level_packet[1]);
  EXPECT_EQ(l1.data0[0], 0);
  EXPECT_EQ(l1.data0[1], 2);
  EXPECT_EQ(l1.data0[8], 32);

  // Level 0 is built whatever its size; only the generated levels stop at
  // 8 texels. A 7 x 7 image uploads its palette and its one level, a page
  // of its own.
  zemtl_force_mipmap = 1;
  TestImage d(ZETEX_PAL8, 7, 7, 0);
  ZETEXID id = ZeTexCreate(&d.tex);
  zemtl_force_mipmap = 0;
  ASSERT_EQ(Rec(id)->levels, 1);
  EXPECT_EQ(Rec(id)->level_vram[0], 8192u);
  EXPECT_EQ(Rec(id)->vram_size, 32 + 32);
  EeQwords buf(16);
  uint32_t* end = ZeTexAccomodate(buf.w, id, 0);
  EXPECT_EQ(end - buf.w, 2 * 5 * 4) << "the palette's and the level's set-up (tag, GIF tag, two writes) and calls";
  Chunks l0 = WalkLevel(Rec(id)->level_packet[0]);
  EXPECT_EQ(l0.trxreg, uint64_t(7) | uint64_t(7) << 32);
  EXPECT_EQ(l0.nloop, std::vector<int>{4}) << "49 texels in whole quadwords";
}

TEST_F(TexTable, PalettesGoUpInCsm1Order) {
  TestImage img(ZETEX_PAL8, 8, 8);
  for (int i = 0; i < 256; i++) memcpy(img.palette + 4 * i, &i, 4);
  ZEPS2TEX* r = Rec(ZeTexCreate(&img.tex));
  const uint32_t* pkt = r->pal_packet;
  EXPECT_EQ(pkt[0] >> 28, uint32_t(DMATAG_RET));
  EXPECT_EQ(int(pkt[0] & 0xffff), (96 - 16 + 1024) / 16) << "the count ends with the last entry";
  EXPECT_EQ(r->pal_size, 1024 + 128);
  const uint32_t* e = pkt + ZEPS2_PAL_HEADER / 4;
  for (int i : {0, 7, 8, 15, 16, 23, 24, 31, 40, 255}) {
    int pos = (i & ~0x18) | ((i & 8) << 1) | ((i & 16) >> 1);
    EXPECT_EQ(e[pos], uint32_t(i)) << "entry " << i;
  }
  // 16 entries stay in order.
  TestImage p4(ZETEX_PAL4, 8, 8);
  for (int i = 0; i < 16; i++) memcpy(p4.palette + 4 * i, &i, 4);
  ZEPS2TEX* r4 = Rec(ZeTexCreate(&p4.tex));
  for (int i = 0; i < 16; i++) EXPECT_EQ(r4->pal_packet[ZEPS2_PAL_HEADER / 4 + i], uint32_t(i));

  // A permanent change rewrites the packet in the same order.
  std::vector<uint32_t> colours(256);
  for (int i = 0; i < 256; i++) colours[size_t(i)] = uint32_t(1000 + i);
  ZePs2ChangeTexPal(r, colours.data());
  EXPECT_EQ(e[16], 1008u);
  EXPECT_EQ(e[8], 1016u);
}

TEST_F(TexTable, StateDataSelectsTheTextureAndItsLevels) {
  TestImage img(ZETEX_PAL8, 128, 128, 5);
  ZETEXID id = ZeTexCreate(&img.tex);
  ZEPS2TEX* r = Rec(id);
  ASSERT_EQ(r->levels, 5);
  EeQwords buf(64);
  gs_ptr = gs_top;
  ZeTexAccomodate(buf.w, id, 0);
  uint32_t* end = Ps2TxSetStateData(buf.w, r, nullptr, 1);
  std::vector<std::pair<int, uint64_t>> ad;
  for (uint32_t* p = buf.w; p < end; p += 4) {
    uint64_t v;
    memcpy(&v, p, 8);
    ad.emplace_back(int(p[2]), v);
  }
  ASSERT_EQ(ad.size(), 5u);
  EXPECT_EQ(ad[0].first, GS_TEXCLUT);
  EXPECT_EQ(ad[1].first, GS_TEXFLUSH);
  EXPECT_EQ(ad[2].first, GS_TEX0_2);
  EXPECT_EQ(ad[3].first, GS_MIPTBP1_2);
  EXPECT_EQ(ad[4].first, GS_MIPTBP2_2);
  uint64_t tex0 = ad[2].second;
  EXPECT_EQ(tex0 & 0x3fff, r->level_addr[0]);
  EXPECT_EQ((tex0 >> 20) & 63, uint64_t(PSMT8));
  EXPECT_EQ((tex0 >> 26) & 15, 7u);
  EXPECT_EQ((tex0 >> 37) & 0x3fff, r->cbp);
  EXPECT_EQ(tex0 >> 61, 4u) << "CLD 4 in context 2";
  EXPECT_EQ(ad[3].second & 0x3fff, r->level_addr[1]);
  EXPECT_EQ((ad[3].second >> 40) & 0x3fff, r->level_addr[3]);
  EXPECT_EQ(ad[4].second & 0x3fff, r->level_addr[4]);
  // The TEX0 query has CLD 2 from the texture's own palette and no TFX.
  EXPECT_EQ(ZeTexGetTex0(id, 0), Ps2TxGetTex0(r, nullptr));
  EXPECT_EQ(ZeTexGetTex0(id, 0) >> 61, 2u);
}

TEST_F(TexTable, RenderTargetsTakeTheirFormatsAndReservations) {
  const int before = gs_botfree;
  TestImage t11(ZETEX_RT_CT32R, 64, 64);
  t11.tex.texels = nullptr;
  ZEPS2TEX* r = Rec(ZeTexCreate(&t11.tex));
  EXPECT_EQ(r->psm, PSMCT32);
  EXPECT_EQ(r->level_addr[0], (before + 31) & ~31);
  EXPECT_EQ(r->level_size[0], 64u * 64 * 4 / 256);
  EXPECT_EQ(gs_botfree, r->level_addr[0] + 64);
  TestImage t8(ZETEX_RT_T8, 64, 32);
  t8.tex.texels = nullptr;
  r = Rec(ZeTexCreate(&t8.tex));
  EXPECT_EQ(r->psm, PSMT8);
  EXPECT_EQ(r->level_tbw[0], 2);
  ASSERT_TRUE(r->pal_packet);
  EXPECT_EQ(r->pal_packet[ZEPS2_PAL_HEADER / 4 + 16], 0x0800u) << "ramp: entry 8 (CSM1 place 16) is green 8";
  TestImage z(ZETEX_RT_Z24, 64, 32);
  z.tex.texels = nullptr;
  EXPECT_EQ(Rec(ZeTexCreate(&z.tex))->psm, PSMZ24);
  TestImage bad(ZETEX_NRMMAP_SRC, 8, 8);
  EXPECT_HALT(ZeTexCreate(&bad.tex), "unsupported texture format");
}

TEST_F(TexTable, QuantiserKeepsImagesOfMoreThan256Colours) {
  zetex_force_quantisation = 1;
  TestImage few(ZETEX_RGB24, 16, 16);
  for (int i = 0; i < 256; i++) few.texels[3 * i] = uint8_t((i % 16) << 4);  // 16 blues
  ZETEXID a = ZeTexCreate(&few.tex);
  EXPECT_EQ(ZeTexType(a), ZETEX_PAL8);
  EXPECT_EQ(zetex_quant_colours, 16);
  EXPECT_EQ(Rec(a)->psm, PSMT8);
  EXPECT_EQ(zetex_quant_palette[1], 0x80100000u) << "R, G, B, alpha 0x80";

  TestImage many(ZETEX_RGB24, 32, 16);
  for (int i = 0; i < 512; i++) {
    many.texels[3 * i + 1] = uint8_t((i & 31) << 3);
    many.texels[3 * i + 2] = uint8_t((i >> 5) << 3);
  }
  {
    ConsoleCaptureScope console;
    ZETEXID b = ZeTexCreate(&many.tex);
    EXPECT_EQ(ZeTexType(b), ZETEX_RGB24) << "the 257th colour ends the attempt";
    EXPECT_NE(console.text().find("too many colours at (0, 8)"), std::string::npos);
  }
  // More texels than the index buffer holds are refused, not written past it.
  TestImage huge(ZETEX_RGB24, 1024, 512);
  QuantizeTexture(&huge.tex);
  EXPECT_EQ(zetex_quant_colours, 0);
  zetex_force_quantisation = 0;
}

TEST_F(TexTable, SwizzleAcceptsOnlyTheSizesItCanRearrange) {
  TestImage p4(ZETEX_PAL4, 128, 128);
  ZeTexSwizzelBits(&p4.tex);
  EXPECT_EQ(p4.tex.type, ZETEX_PAL4_SWZ);
  EXPECT_EQ(p4.tex.width, 64);
  EXPECT_EQ(p4.tex.height, 32);
  TestImage small4(ZETEX_PAL4, 64, 128);
  ZeTexSwizzelBits(&small4.tex);
  EXPECT_EQ(small4.tex.type, ZETEX_PAL4);
  TestImage p8(ZETEX_PAL8, 256, 16);
  ZeTexSwizzelBits(&p8.tex);
  EXPECT_EQ(p8.tex.type, ZETEX_PAL8_SWZ);
  EXPECT_EQ(p8.tex.height, 8);
  TestImage thin8(ZETEX_PAL8, 128, 8);
  ZeTexSwizzelBits(&thin8.tex);
  EXPECT_EQ(thin8.tex.type, ZETEX_PAL8) << "fewer than 8 rows once rearranged";
  TestImage odd(ZETEX_PAL8, 384, 128);
  ZeTexSwizzelBits(&odd.tex);
  EXPECT_EQ(odd.tex.type, ZETEX_PAL8);

  // A rearranged texture is sampled as the 8-bit image it holds.
  TestImage s8(ZETEX_PAL8, 128, 64);
  ZeTexSwizzelBits(&s8.tex);
  ZETEXID id = ZeTexCreate(&s8.tex);
  ZEPS2TEX* r = Rec(id);
  EXPECT_EQ(ZeTexWidth(id), 128);
  EXPECT_EQ(ZeTexHeight(id), 64);
  EXPECT_EQ(r->psm, PSMT8);
  EXPECT_EQ(r->xfer_psm, PSMCT32);
  EXPECT_EQ(r->tw, 7);
  EXPECT_EQ(r->th, 6);
  EXPECT_EQ(r->level_tbw[0], 2);
  EXPECT_EQ(r->level_dbw[0], 1);
}
