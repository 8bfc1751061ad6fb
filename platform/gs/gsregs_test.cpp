// Registers: SIGNAL/FINISH/LABEL with CSR, IMR and the GS interrupt,
// TEX2 over TEX0, CSR RESET, and the display read-out.
#include <vector>

#include "gs_local.h"
#include "gs_testutil.h"
#include "platform_test.h"

namespace {

int g_irqs;
int CountIrq(int) {
  g_irqs++;
  return 0;
}

TEST(GsRegs, SignalFinishAndLabelReportThroughCsrAndInterrupt) {
  GsReset();
  g_irqs = 0;
  int id = AddIntcHandler(INTC_GS, CountIrq, 0);
  EnableIntc(INTC_GS);
  // SIGNAL: ID under IDMSK into SIGLBLID; masked by IMR after reset.
  GsPrivWrite(GS_SIGLBLID, 0x11112222);
  GsWriteReg(GS_SIGNAL, uint64_t(0x00ff00ff) << 32 | 0xabcdef01);
  EXPECT_EQ(GsPrivRead(GS_SIGLBLID) & 0xffffffff, 0x11cd2201u);
  EXPECT_EQ(GsPrivRead(GS_CSR) & 3, 1u);
  KernelYield();
  EXPECT_EQ(g_irqs, 0) << "SIGMSK is set after reset";
  // Unmasking a pending event interrupts.
  GsPrivWrite(GS_IMR, 0xff00 & ~0x100);
  KernelYield();
  EXPECT_EQ(g_irqs, 1);
  GsPrivWrite(GS_CSR, 1);  // writing 1 clears SIGNAL
  EXPECT_EQ(GsPrivRead(GS_CSR) & 3, 0u);
  // FINISH with FINISHMSK clear.
  GsPrivWrite(GS_IMR, 0xff00 & ~0x200);
  GsWriteReg(GS_FINISH, 0);
  KernelYield();
  EXPECT_EQ(g_irqs, 2);
  EXPECT_EQ(GsPrivRead(GS_CSR) & 3, 2u);
  GsPrivWrite(GS_CSR, 2);
  // LABEL changes LBLID only.
  GsWriteReg(GS_LABEL, uint64_t(0xffffffff) << 32 | 0x5a5a5a5a);
  EXPECT_EQ(GsPrivRead(GS_SIGLBLID), uint64_t(0x5a5a5a5a) << 32 | 0x11cd2201);
  KernelYield();
  EXPECT_EQ(g_irqs, 2);
  DisableIntc(INTC_GS);
  RemoveIntcHandler(INTC_GS, id);
}

TEST(GsRegs, Tex2RewritesTex0FormatAndClutFields) {
  GsReset();
  GsTEX0 t{};
  t.TBP0 = 100;
  t.TBW = 3;
  t.PSM = PSMCT32;
  t.TW = 5;
  t.TH = 6;
  t.TCC = 1;
  t.TFX = 2;
  GsWriteReg(GS_TEX0_2, GsBits(t));
  GsTEX2 t2{};
  t2.PSM = PSMT8;
  t2.CBP = 500;
  t2.CPSM = PSMCT16;
  t2.CSA = 3;
  GsWriteReg(GS_TEX2_2, GsBits(t2));
  GsTEX0 r = GsAs<GsTEX0>(GsGetReg(GS_TEX0_2));
  EXPECT_EQ(r.TBP0, 100u);
  EXPECT_EQ(r.TBW, 3u);
  EXPECT_EQ(r.TW, 5u);
  EXPECT_EQ(r.TFX, 2u);
  EXPECT_EQ(r.PSM, uint64_t(PSMT8));
  EXPECT_EQ(r.CBP, 500u);
  EXPECT_EQ(r.CPSM, uint64_t(PSMCT16));
  EXPECT_EQ(r.CSA, 3u);
  EXPECT_EQ(GsGetReg(GS_TEX0_1), 0u);
}

// CSR RESET empties the vertex queue: a triangle begun before it is gone.
TEST(GsRegs, CsrResetDropsTheDrawingState) {
  GsReset();
  GsTestTarget(0, 0, PSMCT32, 16, 16);
  GsWriteReg(GS_PRIM, GsTestPrim(3));
  GsWriteReg(GS_RGBAQ, GsTestRgbaq(0xff));
  GsTestVertex(0, 0);
  GsTestVertex(160, 0);
  GsPrivWrite(GS_CSR, 0x200);
  GsTestTarget(0, 0, PSMCT32, 16, 16);
  GsWriteReg(GS_RGBAQ, GsTestRgbaq(0xff));
  GsTestVertex(0, 160);
  EXPECT_EQ(GsMemReadPixel(PSMCT32, 0, 1, 1, 1), 0u);
}

void Display(int n, uint32_t fbp, uint32_t fbw, int psm, int dbx, int dby, int w, int h) {
  GsDISPFB fb{};
  fb.FBP = fbp;
  fb.FBW = fbw;
  fb.PSM = uint32_t(psm);
  fb.DBX = uint32_t(dbx);
  fb.DBY = uint32_t(dby);
  GsDISPLAY d{};
  d.MAGH = 3;
  d.DW = uint32_t(w * 4 - 1);
  d.DH = uint32_t(h - 1);
  GsPrivWrite(n == 1 ? GS_DISPFB1 : GS_DISPFB2, GsBits(fb));
  GsPrivWrite(n == 1 ? GS_DISPLAY1 : GS_DISPLAY2, GsBits(d));
}

TEST(GsRegs, DisplayReadsTheFrameBufferEachCircuitNames) {
  GsReset();
  uint32_t out[64];
  int w, h;
  EXPECT_FALSE(GsReadDisplay(1, out, 64, &w, &h));
  std::vector<uint32_t> img(16 * 8);
  for (size_t i = 0; i < img.size(); i++) img[i] = 0x10000000u * (i % 3) + uint32_t(i);
  GsTestUpload(PSMCT32, 64, 1, 0, 0, 16, 8, img.data());
  const uint32_t c16[2] = {0x801f, 0x03e0};
  GsTestUpload(PSMCT16, 128, 1, 0, 0, 2, 1, c16);
  Display(1, 2, 1, PSMCT32, 4, 2, 8, 4);  // an 8 x 4 window at (4, 2)
  Display(2, 4, 1, PSMCT16, 0, 0, 2, 1);
  GsPMODE pm{};
  pm.EN1 = 1;
  pm.EN2 = 1;
  pm.MMOD = 1;
  pm.ALP = 0xff;
  GsPrivWrite(GS_PMODE, GsBits(pm));
  ASSERT_TRUE(GsReadDisplay(1, out, 64, &w, &h));
  EXPECT_EQ(w, 8);
  EXPECT_EQ(h, 4);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 8; x++)
      EXPECT_EQ(out[y * 8 + x], img[size_t(y + 2) * 16 + size_t(x + 4)]) << x << ", " << y;
  ASSERT_TRUE(GsReadDisplay(2, out, 64, &w, &h));
  EXPECT_EQ(out[0], 0x800000f8u);
  EXPECT_EQ(out[1], 0x0000f800u);
  // Merged: circuit 1 at ALP 1.0 hides circuit 2; at 0 the background
  // colour shows when SLBG picks it.
  ASSERT_TRUE(GsReadDisplayMerged(out, 64, &w, &h));
  EXPECT_EQ(out[0], img[2 * 16 + 4] & 0xffffff);
  pm.ALP = 0;
  pm.SLBG = 1;
  GsPrivWrite(GS_PMODE, GsBits(pm));
  GsPrivWrite(GS_BGCOLOR, 0x332211);
  ASSERT_TRUE(GsReadDisplayMerged(out, 64, &w, &h));
  EXPECT_EQ(out[5], 0x332211u);
  // Fewer pixels than the picture: the buffer's size is respected.
  out[3] = 0xdeadbeef;
  ASSERT_TRUE(GsReadDisplay(1, out, 3, &w, &h));
  EXPECT_EQ(out[3], 0xdeadbeefu);
}

}  // namespace
