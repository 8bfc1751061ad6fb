// Frames built by the render streams and run through the graphics machine:
// the flush's chain reaches VIF1, VU1 and the GS, the resident transform
// program latches the camera's matrices, and the buffers alternate.
#include "ze3d_test.h"

#include <cstring>

namespace {

struct Frame3d : testing::Test {
  void SetUp() override {
    StartMachine();
    ZeRndrStreamInit(ZERNDRSTREAM_DEFAULT_BUFFER);
  }
  void TearDown() override { StopMachine(); }
};

// The writer's protocol with state only: link, state, open next tag.
void StateOnly(ZERNDRSTREAM* s) {
  ZeRndrStreamLink(s);
  ZeRndrStreamSetMisc(s);
  ZeRndrStreamSetViewMtx(s);
  ZeRndrStreamSetLocalMtx(s);
  rndrstream_free = vpDmaTag_Next(s->write, nullptr);
}

void ReadQuads(float* out, int qw, int n) { memcpy(out, Vu1Quad(qw), size_t(n) * 16); }

}  // namespace

TEST_F(Frame3d, AFlushedFrameReachesVu1AndTheGs) {
  ZECAMERA* cam = ZeCameraCreate();
  cam->mtx.m[3][2] = -10.0f;
  ZeCameraSet(cam);
  ZeCameraDestroy(cam);
  ZePs2GetCurrentBackBuffer(&cur_rt);
  ZeRndrSetFrameMask(0, 1);
  ZeRndrSetScissor(0, 0, 639, 223);
  ZeRndrSetXYOffset((2048 - 320) << 4, (2048 - 112) << 4);
  const ZEVEC dir = {0, 0, 1}, colour = {1, 1, 1};
  ZeRndrSetDirectionalLights(&dir, &colour, &dir, &colour, &dir, &colour);
  ZEMTX local;
  ZeMtxSetIdentity(&local);
  local.m[3][0] = 1.0f;
  local.m[3][1] = 2.0f;
  ZeRndrSetLocalMtx(&local, 1);
  StateOnly(rndrstream_3d_l);
  StateOnly(rndrstream_2d);
  ZeRndrStreamFlush();

  ZePs2ScreenSwap(1);
  GsCapture gs;
  ZeRndrVu1Draw();
  const std::vector<int> regs = gs.Regs();
  ASSERT_FALSE(regs.empty());
  EXPECT_EQ(regs[0], GS_PRMODECONT);
  EXPECT_EQ(gs.Values(GS_PRMODECONT), (std::vector<uint64_t>{0}));
  EXPECT_EQ(gs.Values(GS_FRAME_1), (std::vector<uint64_t>{cur_rt, cur_rt})) << "3d_l and 2d";
  EXPECT_EQ(gs.Values(GS_SCISSOR_1).size(), 2u);
  EXPECT_EQ(gs.Values(GS_XYOFFSET_1).back(), uint64_t(1728 << 4) | uint64_t(1936 << 4) << 32);

  // VU1 data memory holds the stream's state as laid out.
  float q[16];
  ReadQuads(q, ZEVU1_LOCAL_MTX, 4);
  EXPECT_EQ(q[12], 1.0f);
  EXPECT_EQ(q[13], 2.0f);
  ReadQuads(q, ZEVU1_VIEW_MTX, 4);
  EXPECT_EQ(memcmp(q, ZeCameraGetVPCSMtx(), 64), 0);
  ReadQuads(q, ZEVU1_CLIP_MTX, 4);
  EXPECT_EQ(memcmp(q, ZeCameraGetVPCMtx(), 64), 0);
  ReadQuads(q, ZEVU1_STATE_BLOCK, 1);
  EXPECT_EQ(q[2], 0.0f);
  ReadQuads(q, ZEVU1_STATE_BLOCK + 2, 1);
  EXPECT_EQ(q[0], 1.0f) << "light 0's direction z";
  ReadQuads(q, ZEVU1_CAMERA_YAW, 1);
  EXPECT_EQ(q[0], -1.0f) << "cos of the yaw facing the camera's back";
  EXPECT_EQ(q[1], 1.0f);
  EXPECT_EQ(Vu1Quad(ZEVU1_MODE)[0], 1u);

  // The resident program latched object to screen: the object's origin is
  // 1 right, 2 up, 10 ahead.
  ZEMTX screen;
  ZeMtxMulH(&screen, &local, ZeCameraGetVPCSMtx());
  for (int j = 0; j < 4; j++) EXPECT_NEAR(Vu1Vf(4)[j], screen.m[3][j], 1e-3f) << j;
  EXPECT_EQ(*Vu1Vi(1), 0) << "mode 1: no clipping";
  EXPECT_STREQ(Vu1ProgramAt(0x300), "tric") << "the lit stream's program was uploaded";
  EXPECT_STREQ(Vu1ProgramAt(0x000), "xform");
  KernelYield();
  EXPECT_EQ(vu1_dma_status, 0) << "the frame chain ended";
}

TEST_F(Frame3d, FramesKickAndSwapBuffersEveryFrame) {
  for (int f = 0; f < 4; f++) {
    EXPECT_EQ(rndrstream_frame_index, f & 1);
    WritePacket(rndrstream_2d, 0);  // an empty cnt packet: nothing for the VIF
    ZeRndrStreamFlush();
    ZePs2ScreenSwap(1);
    const uint64_t moved = DmaQwordsMoved();
    ZeRndrVu1Draw();
    EXPECT_GT(DmaQwordsMoved(), moved);
    ZeRndrSwapStreamBuffers();
    KernelYield();
    EXPECT_EQ(vu1_dma_status, 0);
  }
  // A frame with nothing flushed starts nothing.
  ZePs2ScreenSwap(1);
  const uint64_t moved = DmaQwordsMoved();
  ZeRndrVu1Draw();
  EXPECT_EQ(DmaQwordsMoved(), moved);
}

TEST_F(Frame3d, AnOverlayWithoutItsNativeProgramIsAClearFatalError) {
  EeQwords chain(4);
  vpDmaTag_Call(chain.qw(0), vu_load_cloud_mpg);
  vpDmaTag_EndEx(chain.qw(1), 0, 0x14000300);  // MSCAL 0x300
  EXPECT_HALT(VU1_DmaWrite(chain.w), "no native program named \"cloud\"");
  vu1_dma_status = 0;  // the halted transfer never raised its end interrupt
  EXPECT_STREQ(Vu1ProgramAt(0x300), "cloud");
}
