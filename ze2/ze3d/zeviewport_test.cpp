#include "ze3d_test.h"

namespace {

struct Viewport : testing::Test {
  void SetUp() override {
    PS2_REZ_W = 640;
    PS2_REZ_H = 224;
    PS2_VCNTR_X = PS2_VCNTR_Y = 2048;
    ZeVpInit();
  }
  void TearDown() override { ZeVpInit(); }
};

}  // namespace

TEST_F(Viewport, TheDefaultViewportAndItsScalingMatrix) {
  EXPECT_EQ(ZeVpUpdate(), nullptr) << "nothing changed since the start";
  const ZEVIEWPORT* vp = ZeVpGetCurrentViewport();
  EXPECT_EQ(vp->x, 27648);
  EXPECT_EQ(vp->y, 30976);
  EXPECT_EQ(vp->width, 10240);
  EXPECT_EQ(vp->height, 3584);
  ZEMTX s;
  ZeVpGetScalingMtx(&s);
  ZEMTX expect = {};
  expect.m[0][0] = 5136;
  expect.m[1][1] = -1808;
  expect.m[2][2] = -8388607;
  expect.m[3][0] = 27632 + 5136;
  expect.m[3][1] = 30960 + 1808;
  expect.m[3][2] = 8388607;
  expect.m[3][3] = 1;
  EXPECT_EQ(memcmp(&s, &expect, sizeof s), 0);
  EXPECT_EQ(ZeVpPixelWidth(0.5f), 27648.0f + 5120.0f);
  EXPECT_EQ(ZeVpPixelHeight(1.0f), 30976.0f + 3584.0f);
  EXPECT_EQ(ZeVpVirtualWidth(5120.0f), 0.5f);
  EXPECT_EQ(vp->guardx, 10240.0f / 57600.0f);
}

TEST_F(Viewport, ClipWindowsClampAndGiveTheirFactors) {
  ZeVpSetClipping(-1, -1, 2, 2);
  ZEVIEWPORT* vp = ZeVpUpdate();
  ASSERT_NE(vp, nullptr);
  EXPECT_EQ(vp->clipx0, 0.0f);
  EXPECT_EQ(vp->clipy1, 1.0f);
  EXPECT_EQ(vp->vpclipx, 1.0f);
  EXPECT_EQ(vp->guardy, 3584.0f / 57600.0f);

  ZeVpSetClipping(0.25f, 0, 0.75f, 1);
  ZeVpUpdate();
  EXPECT_EQ(vp->vpclipx, 2.0f);
  EXPECT_EQ(vp->guardx, 2.0f);
  EXPECT_EQ(vp->vpclipy, 1.0f);
  EXPECT_EQ(vp->guardy, 3584.0f / 57600.0f);

  // Empty or inverted windows are refused: they would give infinite or
  // negative clip factors. NaN is clamped to the window's edge.
  EXPECT_HALT(ZeVpSetClipping(0.5f, 0, 0.5f, 1), "empty clip window");
  EXPECT_HALT(ZeVpSetClipping(0, 0.8f, 1, 0.2f), "empty clip window");
  EXPECT_EQ(vp->clipx0, 0.25f) << "a refused window changes nothing";
}

TEST_F(Viewport, SettersTakeEffectAtTheUpdateAndRestoreBringsTheDefaultBack) {
  ZeVpSetSize(2560.9f, 2560.0f);
  ZeVpSetPosition(100.7f, -4.2f);
  ZeVpSetZRange(1.0f, 0.0f);
  ZeVpSetCentre(0.25f, 0.75f);
  ZEVIEWPORT* vp = ZeVpUpdate();
  ASSERT_NE(vp, nullptr);
  EXPECT_EQ(vp->width, 2560) << "truncated";
  EXPECT_EQ(vp->y, -4);
  ZEMTX s;
  ZeVpGetScalingMtx(&s);
  EXPECT_EQ(s.m[3][0], float(100 - 16) + 2592.0f * 0.25f);
  EXPECT_EQ(s.m[2][2], -1.0f);
  EXPECT_EQ(ZeVpUpdate(), nullptr);
  ZeVpRestore();
  vp = ZeVpUpdate();
  ASSERT_NE(vp, nullptr);
  EXPECT_EQ(vp->width, 10240);
  EXPECT_EQ(vp->centrex, 0.5f);
}
