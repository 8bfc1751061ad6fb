// The texture table: slots and the cursor, destruction, queries, video
// memory reservations and the placement of uploads.
#include "zetex_test.h"

#include <vector>

TEST_F(TexTable, FullTableWhateverTheCursor) {
  for (int start : {0, 17, SLOTS - 1}) {
    ZeTexClose();
    char* p = buffer;
    ZeTexInitEx(&p, SLOTS);
    zetex_cursor = start;
    TestImage img(ZETEX_RGBA32, 8, 8);
    for (int i = 0; i < SLOTS; i++) ASSERT_NE(ZeTexCreateStream(&img.tex), 0);
    EXPECT_EQ(zetex_alloc_cnt, SLOTS);
    EXPECT_EQ(ZeTexCreateStream(&img.tex), 0) << "cursor " << start;
    EXPECT_HALT(ZeTexCreate(&img.tex), "Unable to allocate texture");
    EXPECT_EQ(zetex_alloc_cnt, SLOTS);
  }
}

TEST_F(TexTable, FreedIdsComeBackOnlyWhenTheCursorPasses) {
  TestImage img(ZETEX_RGBA32, 8, 8);
  ZETEXID a = ZeTexCreate(&img.tex), b = ZeTexCreate(&img.tex), c = ZeTexCreate(&img.tex);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(c, 3);
  ZeTexDestroy(a);
  EXPECT_EQ(ZeTexCreate(&img.tex), 4) << "the search starts at the cursor, not at the freed slot";
  ZeTexDestroy(b);
  EXPECT_EQ(zetex_alloc_cnt, 2);
  EXPECT_EQ(ZeTexGetTextAddr(b), 0) << "a released slot";
}

TEST_F(TexTable, DestroyRefusesReleasedAndUnknownIds) {
  TestImage img(ZETEX_PAL8, 8, 8);
  ZETEXID a = ZeTexCreate(&img.tex);
  ZeTexCreate(&img.tex);
  ZeTexDestroy(a);
  EXPECT_EQ(zetex_alloc_cnt, 1);
  ZeTexDestroy(a);  // its packets are not freed twice
  EXPECT_EQ(zetex_alloc_cnt, 1) << "nor is it counted twice";
  ZeTexDestroy(0);
  ZeTexDestroy(-1);
  EXPECT_HALT(ZeTexDestroy(SLOTS + 1), "out of range");
  EXPECT_EQ(ZeTexType(SLOTS + 1), 0);
  EeQwords buf(8);
  EXPECT_HALT(ZeTexAccomodate(buf.w, a, 0), "Attempted to accomodate released texture");
}

TEST_F(TexTable, AFailedPacketAllocationFailsTheCreation) {
  // A region too small for the level packet: the texture is not made.
  TestImage img(ZETEX_RGBA32, 64, 64);
  EeQwords region(16);
  EXPECT_HALT(ZeTexCreateEx(&img.tex, region.w, region.qw(16)), "Unable to allocate texture");
  EXPECT_EQ(zetex_alloc_cnt, 0);
  // The palette too: a region holding the level but not the palette.
  TestImage pal(ZETEX_PAL8, 8, 8);
  EeQwords room(8 * 8 / 16 + 20);
  EXPECT_HALT(ZeTexCreateEx(&pal.tex, room.w, room.qw(8 * 8 / 16 + 20)), "Unable to allocate texture");
  // With room enough it is made, and its platform data is not the slot's to free.
  EeQwords big(200);
  ZETEXID id = ZeTexCreateEx(&pal.tex, big.w, big.qw(200));
  ZETEXSLOT* s;
  ASSERT_EQ(ZeTexGetPointers(id, &s, nullptr), 1);
  EXPECT_TRUE(s->flags & ZETEXSLOT_NOTOWNED);
  EXPECT_GE(reinterpret_cast<uint32_t*>(s->ps2.pal_packet.get()), big.w);
}

TEST_F(TexTable, QueriesAndSizes) {
  TestImage img(ZETEX_RGBA16, 16, 8);
  ZETEXID id = ZeTexCreate(&img.tex);
  EXPECT_EQ(ZeTexType(id), ZETEX_RGBA16);
  EXPECT_EQ(ZeTexWidth(id), 16);
  EXPECT_EQ(ZeTexHasAlpha(id), 1);
  EXPECT_EQ(ZeTexRef(id), 1);
  EXPECT_EQ(ZeTexRef(id), 2);
  EXPECT_EQ(ZeTexUnRef(id), 1);
  EXPECT_EQ(ZeTexRef(0), 0);
  EXPECT_EQ(ZeTexGetReqSize(id, 0), int(TexTable::Rec(id)->level_size[0]));
  EXPECT_EQ(ZeTexImgSizeMM(ZETEX_RGB24, 64, 64, 2), (64 * 64 + 32 * 32 + 16 * 16) * 3);
  // Rows of whole bytes: a 4-bit row of an odd width ends in a half byte.
  EXPECT_EQ(ZeTexImgSize(ZETEX_PAL4, 1, 1), 1);
  EXPECT_EQ(ZeTexImgSize(ZETEX_PAL4, 1, 4), 4);
  EXPECT_EQ(ZeTexImgSize(ZETEX_PAL4, 8, 2), 8);
  EXPECT_EQ(ZeTexImgSize(ZETEX_RGB24, 3, 2), 18);
  EXPECT_EQ(ZeTexPalSize(ZETEX_PAL4), 64);
  EXPECT_EQ(ZeTexPalSize(ZETEX_NRMMAP_SRC), 1024);
  EXPECT_EQ(ZeTexAlphaBits(ZETEX_RGBA16), 4);
  EXPECT_EQ(ZeTexPixelSize(ZETEX_PAL8_SWZ), 0);
  zetex_slots[id - 1].tex.type = ZETEX_NRMMAP_SRC;
  EXPECT_HALT(ZeTexGetReqSize(id, 0), "Unknown tex type in get req size.");
  zetex_slots[id - 1].tex.type = ZETEX_RGBA16;
}

TEST_F(TexTable, ASlotWithoutAnImageIsLeftToItsCaller) {
  // The caller fills the description and the platform record itself (the
  // planet's surface textures point their levels into streamed blocks):
  // nothing is built and nothing is reported, with or without a region.
  alignas(16) static char region[16];
  for (bool inRegion : {false, true}) {
    ConsoleCaptureScope console;
    const ZETEXID id = inRegion ? ZeTexCreateEx(nullptr, region, region + sizeof region) : ZeTexCreate(nullptr);
    ASSERT_GT(id, 0);
    EXPECT_EQ(console.text(), "") << "no message for a size not given yet";
    ZETEXSLOT* s;
    ZEPS2TEX* r;
    ASSERT_EQ(ZeTexGetPointers(id, &s, &r), 1);
    EXPECT_TRUE(s->flags & ZETEXSLOT_NOTOWNED);
    static const ZEPS2TEX cleared{};
    EXPECT_EQ(memcmp(r, &cleared, sizeof cleared), 0) << "the record is the caller's to fill";
    ZeTexDestroy(id);
    EXPECT_EQ(zetex_alloc_cnt, 0);
  }
}

TEST_F(TexTable, ReservationsArePageAlignedAndStayBelowTheTop) {
  gs_botfree = 100;
  EXPECT_EQ(ZeTexReserve(0), 128) << "a zero-size reservation still aligns";
  EXPECT_EQ(gs_botfree, 128);
  EXPECT_EQ(ZeTexReserve(300), 128);
  EXPECT_EQ(gs_botfree, 130);
  ZeTexUnReserve();
  EXPECT_EQ(gs_botfree, 128);
  ZeTexUnReserve();
  EXPECT_EQ(gs_botfree, 100);
  ZeTexUnReserve();
  EXPECT_EQ(gs_botfree, 100) << "nothing held";
  // Past the top of video memory: refused, nothing changes.
  EXPECT_EQ(ZeTexReserve((0x4000 - 128) * 256 + 1), 0);
  EXPECT_EQ(gs_botfree, 100);
  EXPECT_EQ(zetex_reserve_count, 0);
  for (int i = 0; i < ZETEX_MAX_RESERVE; i++) ASSERT_NE(ZeTexReserve(0), 0);
  EXPECT_EQ(ZeTexReserve(0), 0) << "the stack is full";
}

TEST_F(TexTable, UploadsWrapToTheTopAndOversizedTexturesAreRefused) {
  TestImage img(ZETEX_RGBA32, 64, 64);  // 64 blocks
  ZETEXID id = ZeTexCreate(&img.tex);
  EeQwords buf(32);
  gs_botfree = 0x4000 - 100;
  gs_ptr = gs_top;
  ZeTexAccomodate(buf.w, id, 0);
  EXPECT_EQ(ZeTexGetTextAddr(id), 0x4000 - 64);
  EXPECT_EQ(gs_ptr, 0x4000 - 64);
  ZeTexAccomodate(buf.w, id, 0);
  EXPECT_EQ(ZeTexGetTextAddr(id), 0x4000 - 64) << "no room below: placed from the top again";
  gs_botfree = 0x4000 - 63;
  EXPECT_HALT(ZeTexAccomodate(buf.w, id, 0), "needs 64 blocks of video memory");
  // Uploads off: only the palette goes up, at the top.
  txupload_on = 0;
  TestImage pal(ZETEX_PAL8, 8, 8);
  ZETEXID p = ZeTexCreate(&pal.tex);
  uint32_t* end = ZeTexAccomodate(buf.w, p, 0);
  EXPECT_EQ(end - buf.w, 20);
  EXPECT_EQ(TexTable::Rec(p)->cbp, 0x4000 - 32);
}

TEST_F(TexTable, FixedAddressesServeTexturesWithoutUploads) {
  TestImage rt(ZETEX_RT_Z24, 64, 32);
  rt.tex.texels = nullptr;
  ZETEXID id = ZeTexCreate(&rt.tex);
  EXPECT_EQ(ZeTexGetTextAddr(id), gs_botfree) << "no address yet";
  ZeTexAssignAddr(id, 0x1200);
  EXPECT_EQ(ZeTexGetTextAddr(id), 0x1200) << "the fixed address";
  ZeTexFlushTemp();
  TestImage rt2(ZETEX_RT_CT32, 64, 64);
  rt2.tex.texels = nullptr;
  ZETEXID t = ZeTexCreate(&rt2.tex);
  ZETEXID u = ZeTexCreate(&rt2.tex);
  ZeTexAssignTempAddr(t);
  ZeTexAssignTempAddr(u);
  const int first = (gs_botfree + 31) & ~31;
  EXPECT_EQ(ZeTexGetTextAddr(t), first);
  EXPECT_EQ(ZeTexGetTextAddr(u), first + 64);
  ZeTexCloneTempAddr(id, u);
  EXPECT_EQ(ZeTexGetTextAddr(id), first + 64);
}

namespace {

// The A+D writes of a cnt packet built by ZeTexSet and friends.
std::vector<std::pair<int, uint64_t>> AdWrites(const uint32_t* tag) {
  std::vector<std::pair<int, uint64_t>> out;
  const int qwc = int(tag[0] & 0xffff);
  for (int q = 2; q <= qwc; q++) {
    uint64_t v;
    memcpy(&v, tag + 4 * q, 8);
    out.emplace_back(int(tag[4 * q + 2]), v);
  }
  return out;
}

}  // namespace

TEST_F(TexTable, SetPacketsAndFixedAddressesForTargetsAndZBuffers) {
  TestImage img(ZETEX_RGBA32, 8, 8);
  ZETEXID id = ZeTexCreate(&img.tex);
  EeQwords buf(32);
  uint32_t* end = ZeTexSet(buf.w, id, 1);
  EXPECT_EQ(buf.w[0] >> 28, uint32_t(DMATAG_CNT));
  EXPECT_EQ((buf.w[0] >> 16) & 0xff, uint32_t(DMAMK_TXTRSET));
  EXPECT_EQ(buf.w[2], VIFCODE_FLUSHA);
  EXPECT_EQ(end - buf.w, 4 * (int(buf.w[0] & 0xffff) + 1));
  auto w = AdWrites(buf.w);
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(w[0].first, GS_TEXFLUSH);
  EXPECT_EQ(w[1].first, GS_TEX0_2);
  // The back buffer as a texture: FLUSH, no marker, PSMCT24.
  ZeTexSet(buf.w, -1, 0);
  EXPECT_EQ(buf.w[2], VIFCODE_FLUSH);
  EXPECT_EQ((buf.w[0] >> 16) & 0xff, 0u);
  w = AdWrites(buf.w);
  ASSERT_EQ(w.size(), 3u);
  EXPECT_EQ((w[1].second >> 20) & 63, uint64_t(PSMCT24));
  EXPECT_EQ(ZeTexSet(buf.w, 0, 0), buf.w) << "no texture: nothing";

  // A z-format target placed by its caller serves as z buffer and as render
  // target at that place.
  TestImage zt(ZETEX_RT_Z24, 64, 32);
  zt.tex.texels = nullptr;
  ZETEXID z = ZeTexCreate(&zt.tex);
  ZeTexAssignAddr(z, 0x1000);
  ZeRndrStreamClearZBState();
  end = ZeTexSetZBuffer(buf.w, z);
  EXPECT_EQ(rndrstream_zb_set, 1);
  EXPECT_EQ(end - buf.w, 12);
  uint64_t zbuf;
  memcpy(&zbuf, buf.w + 8, 8);
  EXPECT_EQ(zbuf & 0x1ff, 0x1000u / 32);
  EXPECT_EQ((zbuf >> 24) & 15, uint64_t(PSMZ24 & 15));
  EXPECT_EQ(zbuf >> 32, 0u) << "writes on";
  ZeRndrStreamClearZBState();

  const uint64_t before = cur_rt = 0xffu << 24 | uint64_t(0x12345678) << 32;
  ZeTexSetRenderTarget(buf.w, z);
  EXPECT_EQ((buf.w[0] >> 16) & 0xff, uint32_t(DMAMK_BEGINSCENE_FBT));
  w = AdWrites(buf.w);
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(w[1].first, GS_FRAME_1);
  EXPECT_EQ(w[1].second, cur_rt);
  EXPECT_EQ(cur_rt & 0x1ff, 0x1000u / 32);
  EXPECT_EQ((cur_rt >> 16) & 63, 1u);
  EXPECT_EQ((cur_rt >> 24) & 63, uint64_t(PSMZ24));
  EXPECT_EQ(cur_rt >> 32, before >> 32) << "the frame mask is kept";
  EXPECT_EQ(zerndr_pixel_width, 64);
  EXPECT_EQ(zerndr_pixel_p2h, 5);
  ZeTexDestroy(z);
  EXPECT_EQ(ZeTexSetRenderTarget(buf.w, z), buf.w) << "a released texture writes nothing";
}

TEST_F(TexTable, APaletteChangeForOneFrameEndsWithTheFrame) {
  ZeRndrStreamInit(ZERNDRSTREAM_DEFAULT_BUFFER);
  TestImage img(ZETEX_PAL4, 8, 8);
  ZETEXID id = ZeTexCreate(&img.tex);
  ZEPS2TEX* r = Rec(id);
  uint32_t colours[16];
  for (uint32_t& c : colours) c = 0x80112233;
  ZeTexPalChangeStreamTemp(id, colours);
  ASSERT_TRUE(r->pal_override);
  const uint32_t* copy = r->pal_override;
  EXPECT_EQ(copy[ZEPS2_PAL_HEADER / 4 + 5], 0x80112233u);
  EXPECT_NE(r->pal_packet[ZEPS2_PAL_HEADER / 4 + 5], 0x80112233u) << "the texture's own palette is kept";
  auto called = [&] {
    EeQwords buf(16);
    gs_ptr = gs_top;
    ZeTexAccomodate(buf.w, id, 0);
    return buf.w[4 * 4 + 1];  // the palette call's address
  };
  EXPECT_EQ(called(), EeAddrOf(copy));
  EXPECT_EQ(called(), EeAddrOf(copy)) << "every upload of the frame";
  ZeRndrSwapStreamBuffers();  // the frame ends (the screen swap swaps the stream buffers)
  EXPECT_EQ(called(), EeAddrOf(r->pal_packet.get()));
  EXPECT_FALSE(r->pal_override);
}

TEST_F(TexTable, APaletteChangeForOneFrameEndsWithItsStreamFrame) {
  // The loading screen and the memory-card save swap the stream buffers
  // without a screen swap: the override's copy lies in a buffer that is about
  // to be rebuilt, so the next stream frame sends the texture's own palette.
  ZeRndrStreamInit(ZERNDRSTREAM_DEFAULT_BUFFER);
  TestImage img(ZETEX_PAL4, 8, 8);
  ZETEXID id = ZeTexCreate(&img.tex);
  ZEPS2TEX* r = Rec(id);
  std::vector<uint32_t> colours(16, 0x80445566);
  auto called = [&] {
    EeQwords buf(16);
    gs_ptr = gs_top;
    ZeTexAccomodate(buf.w, id, 0);
    return buf.w[4 * 4 + 1];  // the palette call's address
  };
  const int swaps = ps2video_swap_count;
  for (int frame = 0; frame < 3; frame++) {
    ZeTexPalChangeStreamTemp(id, colours.data());
    const uint32_t* copy = r->pal_override;
    ASSERT_TRUE(copy);
    EXPECT_EQ(called(), EeAddrOf(copy)) << "frame " << frame;
    ZeRndrSwapStreamBuffers();
    EXPECT_EQ(called(), EeAddrOf(r->pal_packet.get())) << "frame " << frame;
    EXPECT_FALSE(r->pal_override);
  }
  EXPECT_EQ(ps2video_swap_count, swaps) << "no screen swap";
  // A stream frame begun in the same buffer again ends it too.
  ZeTexPalChangeStreamTemp(id, colours.data());
  ZeRndrStreamBeginFrame();
  EXPECT_EQ(called(), EeAddrOf(r->pal_packet.get()));
}
