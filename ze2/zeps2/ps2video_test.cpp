#include "zeps2.h"
#include "zecore.h"
#include "platform_test.h"
#include "gfx_test.h"

#include <string>

namespace {
std::string g_seen;
int OnS(int) { g_seen += "S"; return 1; }
int OnE(int) { g_seen += "E"; return 1; }

struct VBlankHolds : testing::Test {
  int s = 0, e = 0;
  void SetUp() override {
    vblanke_installed = vblanks_installed = 1;
    s = AddIntcHandler(INTC_VBLANK_S, OnS, 0);
    e = AddIntcHandler(INTC_VBLANK_E, OnE, 0);
    EnableIntc(INTC_VBLANK_S);
    EnableIntc(INTC_VBLANK_E);
    g_seen.clear();
  }
  void TearDown() override {
    DisableIntc(INTC_VBLANK_S);
    DisableIntc(INTC_VBLANK_E);
    RemoveIntcHandler(INTC_VBLANK_S, s);
    RemoveIntcHandler(INTC_VBLANK_E, e);
    vblanke_installed = vblanks_installed = 0;
  }
};
}  // namespace

TEST_F(VBlankHolds, OnlyTheOutermostReleaseUnmasksStartFirst) {
  ZeDisableVBlank();
  ZeDisableVBlank();
  EXPECT_EQ(vblanke_hold, 2);
  EXPECT_EQ(vblanks_hold, 2);
  IntcRaise(INTC_VBLANK_E);
  IntcRaise(INTC_VBLANK_S);
  KernelYield();
  ZeEnableVBlank();
  KernelYield();
  EXPECT_EQ(g_seen, "") << "still held once";
  ZeEnableVBlank();
  EXPECT_EQ(g_seen, "SE");
  EXPECT_EQ(vblanke_hold, 0);
}

TEST_F(VBlankHolds, VirtualFieldsDeliverBothInterruptsEachField) {
  KernelWaitVSync();
  g_seen.clear();
  KernelWaitVSync();  // this field's end, then the next field's start
  KernelWaitVSync();
  EXPECT_EQ(g_seen, "ESES");
  ZeDisableVBlankE();
  KernelWaitVSync();
  EXPECT_EQ(g_seen, "ESESS") << "the end interrupt waits for the release";
  ZeEnableVBlankE();
  EXPECT_EQ(g_seen, "ESESSE");
}

TEST(VBlankHoldsNotInstalled, HoldsCountNothing) {
  ZeDisableVBlank();
  EXPECT_EQ(vblanke_hold, 0);
  ZeEnableVBlank();
  EXPECT_EQ(vblanke_hold, 0);
}

TEST(TimingSets, SlotsAccumulateWrapAndFlip) {
  tbInit();
  ASSERT_NE(tb_default_set, nullptr);
  EXPECT_EQ(tb_default_set->colour[1], 0x22222240u);
  KernelWaitVSync();
  TimerSetCount(1, 0xff00);  // the field ahead wraps the 16-bit count
  tbslotBeginFn(nullptr, 17);  // slot 17 is slot 1
  KernelWaitVSync();
  EXPECT_EQ(tbslotEndFn(nullptr, 1), FIELD_LINES);
  tbslotBeginFn(nullptr, 1);
  KernelWaitVSync();
  EXPECT_EQ(tbslotEndFn(nullptr, 17), 2 * FIELD_LINES) << "ended twice: the sum";
  EXPECT_EQ(tbslotLastValue(nullptr, 1), 0);
  tbslotReset(nullptr, 17);
  EXPECT_EQ(tbslotLastValue(nullptr, 1), 2 * FIELD_LINES);
  tbslotBeginExFn(nullptr, 1, "frame");
  EXPECT_STREQ(tb_default_set->label[1], "frame");
  EXPECT_EQ(tbslotEndFn(nullptr, 1), 0) << "the running sum starts again";

  static const uint32_t colours[TB_SLOTS] = {1, 2, 3};
  TBSET* own = tbsetCreate(colours);
  EXPECT_EQ(own->colour[2], 3u);
  EXPECT_EQ(own->cur[0], 0);
  tbsetDestroy(own);
}

TEST(UserTimer, CountsBusClockOver256AndElapsedTimeWraps) {
  timeUserReset();
  EXPECT_EQ(timeUserRead(), 0);
  KernelWaitVSync();
  int t = timeUserRead();
  EXPECT_GT(t, 0);
  TimerSetMode(1, 0x83);
  KernelWaitVSync();
  TimerSetCount(1, 10);
  ps2video_last_swap = 0xfff0;
  EXPECT_EQ(GetElapsedTime(), 10 + 0x10000 - 0xfff0);
  ps2video_last_swap = 4;
  EXPECT_EQ(GetElapsedTime(), 6);
}

// ---- video mode, swap and handlers ----

namespace {

struct Video : testing::Test {
  void SetUp() override {
    ZePs2Init();
    ZePs2InitVideo(640, 224, PSMCT32, PSMZ24, 2);
    KernelYield();  // the VRAM clear's DMA end
  }
  void TearDown() override {
    ps2video_auto_swap = 0;
    ZeIntRemoveAllHandlers();
    tbsetDestroy(tb_default_set);
    tb_default_set = nullptr;
  }
  static uint64_t Ofy(uint64_t xyoffset) { return GS_XYOFFSET::OFY::get(xyoffset); }
};

}  // namespace

TEST_F(Video, ModeBuffersAndTheAreaLeftForTextures) {
  EXPECT_EQ(ps2_video_size, 262);
  EXPECT_EQ(zevideo_global_framerate, 60);
  EXPECT_EQ(ps2video_swap_count, 0);
  EXPECT_EQ(ZePs2GetRenderWidth(), 640.0f);
  EXPECT_EQ(ZePs2GetRenderYCentre(), 2048.0f);
  int block = 0, bytes = 0;
  ps2videoGetFreeMem(&block, &bytes);
  EXPECT_EQ(block, 6720);
  EXPECT_EQ(bytes, 2473984);
  ps2videoGetFreeMem(nullptr, nullptr);
  ZEVIEWPORT vp;
  ZePs2GetViewport(&vp);
  EXPECT_EQ(vp.x, 27648);
  EXPECT_EQ(vp.y, 30976);
  EXPECT_EQ(vp.width, 10240);
  EXPECT_EQ(vp.height, 3584);
  EXPECT_EQ(vp.zmin, 8388607.0f);
  EXPECT_EQ(vp.centrex, 0.0f);
  // Count even: the next frame draws into buffer 0; buffer 1 is the front.
  uint64_t back, front, z;
  ZePs2GetCurrentBackBuffer(&back);
  ZePs2GetCurrentFrontBuffer(&front);
  ZePs2GetCurrentZBuffer(&z);
  EXPECT_EQ(back, uint64_t(10) << 16);
  EXPECT_EQ(front, 70 | uint64_t(10) << 16);
  EXPECT_EQ(z, 140 | uint64_t(1) << 24);
  alignas(16) uint32_t ad[4];
  EXPECT_EQ(ZePs2CopyCurrentZBuffer(ad), ad + 4);
  EXPECT_EQ(ad[0], 140u | 1u << 24);
  EXPECT_EQ(ad[2], uint32_t(GS_ZBUF_1));
  ZePs2CopyCurrentFrontBuffer(ad);
  EXPECT_EQ(ad[0], 70u | 10u << 16);
  EXPECT_EQ(ad[2], uint32_t(GS_FRAME_1));
  EXPECT_HALT(ZePs2InitVideo(640, 224, PSMCT32, PSMZ24, 8), "unknown video mode 8");
}

TEST_F(Video, FlushVRamIsOneSpriteOverTheWholeMemory) {
  GsCapture gs;
  ZePs2FlushVRam(255, 0, 255);
  EXPECT_EQ(gs.Regs(), (std::vector<int>{GS_PRMODECONT, GS_FRAME_1, GS_ZBUF_1, GS_XYOFFSET_1, GS_SCISSOR_1,
                                         GS_TEST_1, GS_PRIM, GS_RGBAQ, GS_XYZ2, GS_XYZ2}));
  EXPECT_EQ(gs.Values(GS_FRAME_1)[0], 0x100000u);
  EXPECT_EQ(gs.Values(GS_ZBUF_1)[0], uint64_t(1) << 32);
  EXPECT_EQ(gs.Values(GS_RGBAQ)[0], 0x3f80000000ff00ffull);
  EXPECT_EQ(gs.Values(GS_XYZ2)[1], uint64_t(16384) | uint64_t(16384) << 16);
  EXPECT_EQ(gs_dma_status, 1);
  KernelYield();
  EXPECT_EQ(gs_dma_status, 0) << "the GIF DMA end clears it";
}

TEST_F(Video, SwapAppliesTheHalfPixelOffsetOnlyToAFrameThatMadeItsField) {
  const uint64_t display = ps2video_display_cfg.disp[0].display;
  ZePs2VideoSetPos(0, 1);  // an odd DY: field parity 1 (virtual time shows field 0)
  GsCapture gs;
  ps2video_last_swap = int((EeRegRead(T1_COUNT) - 262) & 0xffff);
  EXPECT_EQ(ZePs2ScreenSwap(1), 1);
  EXPECT_EQ(ps2video_frame_lines, 262);
  EXPECT_EQ(ps2video_field, 1);
  EXPECT_EQ(zerndr_half_offset, 8);
  EXPECT_EQ(ps2video_swap_count, 1);
  ASSERT_EQ(gs.Values(GS_XYOFFSET_1).size(), 1u);
  EXPECT_EQ(Ofy(gs.Values(GS_XYOFFSET_1)[0]), 1936u * 16 + 8);
  EXPECT_EQ(Ofy(gs.Values(GS_XYOFFSET_2)[0]), 1936u * 16 + 8);
  EXPECT_EQ(GsPrivRead(GS_DISPFB2), ps2video_display_cfg.disp[1].dispfb) << "set 1 shown";
  EXPECT_EQ(uint32_t(ps2video_last_swap), EeRegRead(T1_COUNT));

  gs.writes.clear();
  ps2video_last_swap = int((EeRegRead(T1_COUNT) - 263) & 0xffff);
  EXPECT_EQ(ZePs2ScreenSwap(1), 0);
  EXPECT_EQ(zerndr_half_offset, 0);
  EXPECT_EQ(Ofy(gs.Values(GS_XYOFFSET_1)[0]), 1936u * 16);

  ZePs2VideoSetPos(0, 0);
  EXPECT_EQ(ps2video_display_cfg.disp[0].display, display);
  EXPECT_EQ(ps2video_display_cfg.disp[1].display, display);
}

TEST_F(Video, SwapWithoutRequestKeepsTheBuffers) {
  GsCapture gs;
  ConsoleCaptureScope con;
  EXPECT_EQ(ZePs2ScreenSwap(0), 1);
  EXPECT_EQ(ps2video_swap_count, 0);
  EXPECT_NE(con.text().find("swap not"), std::string::npos);
  EXPECT_TRUE(gs.writes.empty());
}

TEST_F(Video, DisplayAddressesAreClampedAndWrapped) {
  ZePs2VideoSetDisplayAddr(600, 10, 1);
  EXPECT_EQ(GS_DISPFB::FBP::get(ps2video_display_cfg.disp[0].dispfb), 511u);
  EXPECT_EQ(GS_DISPFB::FBP::get(ps2video_display_cfg.disp[1].dispfb), 511u);
  EXPECT_EQ(GS_DISPFB::FBW::get(ps2video_display_cfg.disp[1].dispfb), 10u);
  ZePs2VideoSetDisplayAddr(-5, 74, 0);
  EXPECT_EQ(GS_DISPFB::FBP::get(ps2video_display_cfg.disp[0].dispfb), 0u);
  EXPECT_EQ(GS_DISPFB::FBP::get(ps2video_display_cfg.disp[1].dispfb), 70u);
  EXPECT_EQ(GS_DISPFB::FBW::get(ps2video_display_cfg.disp[0].dispfb), 10u);
}

TEST_F(Video, AutomaticSwapRunsFromTheVerticalBlankEnd) {
  ZePs2EnableAutoScreenSwap();
  EXPECT_EQ(ps2video_auto_swap, 1);
  int count = ps2video_swap_count;
  KernelWaitVSync();
  KernelWaitVSync();
  KernelWaitVSync();
  EXPECT_GE(ps2video_swap_count - count, 2);
  EXPECT_EQ(ps2video_frame_lines, 50) << "inside the handler";
  ZePs2DisableAutoScreenSwap();
  EXPECT_EQ(ps2video_auto_swap, 0);
  count = ps2video_swap_count;
  KernelWaitVSync();
  KernelWaitVSync();
  EXPECT_EQ(ps2video_swap_count, count);
}

TEST_F(Video, GrabScreenReadsTheDisplayedBuffer) {
  ps2video_swap_count = 1;
  GsCapture gs;
  void* buf = ZePs2GrabScreen(nullptr, 0, 8, 4, 16, 2);
  ASSERT_NE(buf, nullptr);
  EXPECT_EQ(gs.Regs(), (std::vector<int>{GS_BITBLTBUF, GS_TRXPOS, GS_TRXREG, GS_FINISH, GS_TRXDIR}));
  EXPECT_EQ(gs.Values(GS_BITBLTBUF)[0], uint64_t(2240) | uint64_t(10) << 16 | uint64_t(PSMCT24) << 24);
  EXPECT_EQ(gs.Values(GS_TRXPOS)[0], uint64_t(8) | uint64_t(4) << 16);
  EXPECT_EQ(gs.Values(GS_TRXREG)[0], uint64_t(16) | uint64_t(2) << 32);
  ZeMemFreeFn(buf, __FILE__, __LINE__);
  gs.writes.clear();
  alignas(16) static uint8_t mine[16 * 2 * 4];
  EXPECT_EQ(ZePs2GrabScreen(mine, 1, 0, 0, 16, 2), mine);
  EXPECT_EQ(gs.Values(GS_BITBLTBUF)[0] & 0x3fff, 0u) << "the other buffer";
  ps2video_swap_count = 0;
}

TEST_F(Video, InitVuLoadsTheResidentAndDefaultPrograms) {
  ConsoleCaptureScope con;
  ZePs2InitVU();
  KernelYield();
  EXPECT_NE(con.text().find("Loaded default mpg"), std::string::npos);
  EXPECT_STREQ(Vu1ProgramAt(0x000), "xform");
  EXPECT_STREQ(Vu1ProgramAt(0x27d), "xform");
  EXPECT_STREQ(Vu1ProgramAt(0x300), "tric");
  EXPECT_STREQ(Vu1ProgramAt(0x523), "tric");
  EXPECT_EQ(Vu1ProgramAt(0x524), nullptr);
  EXPECT_EQ(EeRegRead(VIF1_BASE), 0x100u);
  EXPECT_EQ(EeRegRead(VIF1_OFST), 0x180u);
  EXPECT_EQ(vu1_dma_status, 0);
  EXPECT_EQ(Vu1ProgramChainQwords(0x1800, 0x2920), 1 + (548 * 2 + 2 * 2 + 2 + 3) / 4);
}

// ---- vertical-blank lists ----

namespace {
std::string g_calls;
int g_sawInInterrupt;
void CallA() { g_calls += "A"; g_sawInInterrupt = ps2video_in_interrupt; }
void CallB() { g_calls += "B"; }
void CallC() { g_calls += "C"; }
}  // namespace

TEST_F(Video, ListsRunInPriorityOrderAndEqualOnesInOrderAdded) {
  static ZEVBLANKHANDLER a{nullptr, nullptr, CallA, 5}, b{nullptr, nullptr, CallB, 1}, c{nullptr, nullptr, CallC, 5};
  ZeIntAddVBlankS(&a);
  ZeIntAddVBlankS(&b);
  ZeIntAddVBlankS(&c);
  EXPECT_EQ(vblanks_list, &b);
  ZeIntAddAllHandlers();  // a second call installs nothing more
  g_calls.clear();
  int vbcnt = zevideo_global_vbcnt;
  KernelWaitVSync();
  EXPECT_EQ(g_calls, "BAC");
  EXPECT_EQ(zevideo_global_vbcnt, vbcnt + 1);
  EXPECT_EQ(g_sawInInterrupt, 1);
  EXPECT_EQ(ps2video_in_interrupt, 0);
  EXPECT_EQ(zevideo_in_vb, 1) << "until the vertical-blank end";
  ZeIntRemVBlankS(&b);
  EXPECT_EQ(vblanks_list, &a) << "the successor becomes the head";
  EXPECT_EQ(a.prev.get(), nullptr);
  EXPECT_EQ(b.next.get(), &a) << "the removed record keeps its links";
  ZeIntRemVBlankS(&c);
  ZeIntRemVBlankS(&a);
  EXPECT_EQ(vblanks_list, nullptr);

  ZeIntAddVBlankE(&c);
  g_calls.clear();
  ZeDisableVBlank();
  ZeDisableVBlank();
  KernelWaitVSync();
  KernelWaitVSync();
  ZeEnableVBlank();
  EXPECT_EQ(g_calls, "") << "still held once";
  ZeEnableVBlank();
  EXPECT_EQ(g_calls, "C");
  EXPECT_EQ(zevideo_in_vb, 0);
  ZeIntRemVBlankE(&c);
}

// ---- DMA-end handlers ----

TEST_F(Video, DmaEndsClearTheBusyFlagsAndCloseTheVu1Slot) {
  EeQwords b(8);
  PutTag(b.qw(0), 0, DMATAG_REFE, b.addr(4));  // marker 0, not an end tag
  GS_DmaWrite(b.w);
  EXPECT_EQ(gs_dma_status, 1);
  KernelYield();
  EXPECT_EQ(gs_dma_status, 0);

  tbslotReset(nullptr, 1);
  tbslotBeginFn(nullptr, 1);
  KernelWaitVSync();
  PutTag(b.qw(2), 0, DMATAG_END, 0, VIFCODE_FLUSHA, 0, false, DMAMK_STREAMFLUSHLNK);
  VU1_DmaWrite(b.qw(2));
  EXPECT_EQ(vu1_dma_status, 1);
  KernelYield();
  EXPECT_EQ(vu1_dma_status, 0);
  tbslotReset(nullptr, 1);
  EXPECT_GE(tbslotLastValue(nullptr, 1), FIELD_LINES - 22) << "slot 1 ended by the handler";
}

TEST_F(Video, DrawingWaitsAtASyncTagForTheTextureUpload) {
  EeQwords v(8), g(4);
  // Frame chain: a sync tag (marker 24, IRQ), then a packet and the end.
  PutTag(v.qw(0), 0, DMATAG_CNT, 0, 0, 0, true, DMAMK_FREE);
  PutTag(v.qw(1), 2, DMATAG_CNT, 0, 0, VIFCODE_DIRECT | 2);
  PutAdPacket(v.qw(2), GS_LABEL, 7);
  PutTag(v.qw(4), 0, DMATAG_END, 0, 0, 0, false, DMAMK_STREAMFLUSHLNK);
  // Texture chain: the end of an upload (marker 25, IRQ), then its end.
  PutTag(g.qw(0), 0, DMATAG_CNT, 0, 0, 0, true, DMAMK_TXTREND);
  PutTag(g.qw(1), 0, DMATAG_END, 0);
  GsCapture gs;
  VU1_DmaWrite(v.w);
  KernelYield();
  EXPECT_EQ(vif1_waiting, 1);
  EXPECT_EQ(vu1_dma_status, 1);
  EXPECT_TRUE(gs.writes.empty()) << "VIF1 stopped at the sync tag";
  GS_DmaWrite(g.w);
  KernelYield();
  EXPECT_EQ(vif1_waiting, 0);
  EXPECT_EQ(gs.Values(GS_LABEL), (std::vector<uint64_t>{7}));
  EXPECT_EQ(vu1_dma_status, 0);
  EXPECT_EQ(gs_dma_status, 0);
}

TEST_F(Video, BadStatusWhenTheFlagSaysIdleButTheChannelRuns) {
  EeQwords b(2);
  PutTag(b.qw(0), 0, DMATAG_END, 0);
  EeRegWrite(D_ENABLEW, D_ENABLE_SUSPEND);
  EeRegWrite(D1_TADR, b.addr(0));
  EeRegWrite(D1_CHCR, 0x1c5);
  EXPECT_HALT(VU1_DmaGetStatus(), "bad status");
  EeRegWrite(D_ENABLEW, 0);
  EXPECT_EQ(VU1_DmaGetStatusI(), 0);
  KernelYield();
}

TEST_F(Video, ScratchpadTransfersRoundTrip) {
  EeQwords b(4);
  for (int i = 0; i < 8; i++) b.w[i] = uint32_t(i * 3);
  ZeScratchReset();
  void* spr = ZeScratchAlloc128(32);
  SPR_DmaWriteN(spr, b.w, 2);
  SPR_DmaReadN(b.qw(2), spr, 2);
  EXPECT_EQ(b.qw(3)[3], 21u);
  EXPECT_EQ(SPR_DmaGetWriteStatus() | SPR_DmaGetReadStatus(), 0);
  ZeScratchRelease();
}
