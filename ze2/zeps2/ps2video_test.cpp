#include "zeps2.h"
#include "zecore.h"
#include "platform_test.h"

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
