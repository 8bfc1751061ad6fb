// A frame built by hand with the packet writers: GS state through VIF
// DIRECT, a texture upload, primitives on path 2 and through a VU1 program
// on path 1, the end of the chain, the kick and the swaps that show it.
// What reaches the GS is checked now; the picture is checked as soon as
// the GS model reads out a display (GsReadDisplay).
#include "zeps2.h"
#include "zecore.h"
#include "gfx_test.h"
#include "platform_test.h"
#include "display/png.h"

#include <bit>
#include <cstdio>
#include <string>

namespace {

constexpr int OX = 2048 - 320, OY = 2048 - 112;  // top-left corner of the screen in GS pixels
constexpr uint32_t TEXBP = 6720;                 // first block past the three buffers

uint32_t* Ad(uint32_t* p, int reg, uint64_t v) {
  uint64_t r = uint64_t(reg);
  memcpy(p, &v, 8);
  memcpy(p + 2, &r, 8);
  return p + 4;
}
uint64_t Xyz(int x, int y) { return uint64_t((OX + x) << 4) | uint64_t((OY + y) << 4) << 16; }
uint32_t Texel(int x, int y) { return ((x ^ y) & 1) ? 0x80ff0000u : 0x800000ffu; }  // blue / red

// A cnt packet of GS data on path 2: the tag, the DIRECT code and a GIF
// tag of A+D writes that the caller fills; Close ends all three.
uint32_t* OpenAd(uint32_t* p, uint32_t flush) {
  uint32_t* tag = p;
  p = vpDmaTag_CntEx(p, flush, 0);
  vtBeginDirect(tag + 3, 0);
  return gsBeginGifPacket(p, 0, 1, 0, 0, GIF_FLG_PACKED, 1, GIF_REG_AD);
}
uint32_t* Close(uint32_t* p) { return vpDmaTag_Close(vtCloseDirect(gsCloseGifPacket(p))); }

// Builds the frame chain at p; returns its end.
uint32_t* BuildFrame(uint32_t* p) {
  // 1. State: render target (the back buffer), no depth, offset, scissor.
  p = OpenAd(p, VIFCODE_FLUSHA);
  p = ZePs2CopyCurrentBackBuffer(p);
  uint64_t z;
  ZePs2GetCurrentZBuffer(&z);
  p = Ad(p, GS_ZBUF_1, z | uint64_t(1) << 32);
  p = Ad(p, GS_XYOFFSET_1, uint64_t(OX << 4) | uint64_t(OY << 4) << 32);
  p = Ad(p, GS_SCISSOR_1, uint64_t(639) << 16 | uint64_t(223) << 48);
  p = Ad(p, GS_TEST_1, 0);
  p = Ad(p, GS_PRMODECONT, 1);
  p = Close(p);

  // 2. An 8x8 PSMCT32 texture: transfer set-up, then the texels as IMAGE.
  p = OpenAd(p, 0);
  p = Ad(p, GS_BITBLTBUF, uint64_t(TEXBP) << 32 | uint64_t(1) << 48);
  p = Ad(p, GS_TRXPOS, 0);
  p = Ad(p, GS_TRXREG, 8 | uint64_t(8) << 32);
  p = Ad(p, GS_TRXDIR, 0);
  p = gsCloseGifPacket(p);
  p = gsBeginGifPacket(p, 0, 1, 0, 0, GIF_FLG_IMAGE, 0);
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 8; x++) *p++ = Texel(x, y);
  p = vpDmaTag_Close(vtCloseDirect(gsCloseGifPacket(p)));

  // 3. On path 2: a textured sprite (decal, scaled 2x) and a flat green one.
  p = OpenAd(p, VIFCODE_FLUSH);
  p = Ad(p, GS_TEXFLUSH, 0);
  p = Ad(p, GS_TEX0_1, TEXBP | uint64_t(1) << 14 | uint64_t(3) << 26 | uint64_t(3) << 30 | uint64_t(1) << 34 |
                           uint64_t(1) << 35);
  p = Ad(p, GS_PRIM, 6 | 1 << 4 | 1 << 8);  // sprite, textured, UV
  p = Ad(p, GS_UV, 0);
  p = Ad(p, GS_XYZ2, Xyz(100, 50));
  p = Ad(p, GS_UV, uint64_t(8 << 4) | uint64_t(8 << 4) << 16);
  p = Ad(p, GS_XYZ2, Xyz(116, 66));
  p = Ad(p, GS_PRIM, 6);
  p = Ad(p, GS_RGBAQ, 0x8000ff00);
  p = Ad(p, GS_XYZ2, Xyz(200, 100));
  p = Ad(p, GS_XYZ2, Xyz(232, 132));
  p = Close(p);

  // 4. Through VU1: the test program uploaded at 0x300, a flat yellow
  // sprite unpacked at TOPS, and MSCAL +0, which kicks it on path 1.
  uint32_t* tag = p;
  p = vpDmaTag_CntEx(p, 0, 0x4a000000 | 8 << 16 | 0x300);  // MPG 8 instructions at 0x300
  Vu1Signature sig{VU1_SIG_MAGIC, 8, "vu1test"};
  memcpy(p, &sig, sizeof sig);
  p += 16;
  *p++ = 0x6c048000;  // UNPACK V4-32 x4 to TOPS + 0
  p = gsBeginGifPacket(p, 1, 1, 1, 6, GIF_FLG_PACKED, 3, 1, 5, 5);
  p[0] = 0xff; p[1] = 0xff; p[2] = 0; p[3] = 0x80;
  p += 4;
  uint32_t xy[2][2] = {{300, 150}, {340, 190}};
  for (auto& v : xy) {
    p[0] = uint32_t((OX + int(v[0])) << 4);
    p[1] = uint32_t((OY + int(v[1])) << 4);
    p[2] = p[3] = 0;
    p += 4;
  }
  *p++ = 0x14000300;  // MSCAL 0x300
  p = vpDmaTag_Close(p);
  EXPECT_EQ(tag[0] & 0xffff, uint32_t(4 + 4 + 1)) << "MPG data, UNPACK and its data, MSCAL";

  // 5. The end of the frame.
  p = vpDmaTag_EndEx(p, VIFCODE_FLUSHA, 0);
  reinterpret_cast<uint8_t*>(p - 4)[2] = DMAMK_STREAMFLUSHLNK;
  return p;
}

struct Frame : testing::Test {
  void SetUp() override {
    ZePs2Init();
    ZePs2InitVideo(640, 224, PSMCT32, PSMZ24, 2);
    ZePs2InitVU();
    KernelYield();
  }
  void TearDown() override {
    ZeIntRemoveAllHandlers();
    tbsetDestroy(tb_default_set);
    tb_default_set = nullptr;
  }
};

}  // namespace

TEST_F(Frame, HandBuiltChainReachesTheGsAndTheDisplay) {
  EeQwords buf(256);
  uint64_t back;
  ZePs2GetCurrentBackBuffer(&back);
  uint32_t* end = BuildFrame(buf.w);
  ASSERT_LT(end, buf.qw(256));

  // Frame N is kicked right after the swap that ends it and shown at the next.
  ZePs2ScreenSwap(1);
  GsCapture gs;
  VU1_DmaWrite(buf.w);
  std::vector<int> regs = gs.Regs();
  EXPECT_EQ(gs.Values(GS_FRAME_1), (std::vector<uint64_t>{back}));
  EXPECT_EQ(gs.Values(GS_TRXDIR), (std::vector<uint64_t>{0}));
  EXPECT_EQ(gs.Values(GS_TEX0_1).size(), 1u);
  EXPECT_EQ(gs.Values(GS_PRIM), (std::vector<uint64_t>{6 | 1 << 4 | 1 << 8, 6, 6}));
  EXPECT_EQ(gs.Values(GS_RGBAQ).back(), 0x3f800000800000ffull | 0xff00) << "path 1: yellow, Q 1.0";
  EXPECT_EQ(gs.Values(GS_XYZ2).size(), 6u);
  EXPECT_EQ(gs.Values(GS_XYZ2).back(), Xyz(340, 190));
  EXPECT_STREQ(Vu1ProgramAt(0x300), "vu1test");
  KernelYield();
  EXPECT_EQ(vu1_dma_status, 0);
  ZePs2ScreenSwap(1);
  EXPECT_EQ(GsPrivRead(GS_DISPFB2), ps2video_display_cfg.disp[0].dispfb);
  EXPECT_EQ(GS_DISPFB::FBP::get(GsPrivRead(GS_DISPFB2)), GS_FRAME::FBP::get(back)) << "the buffer drawn is shown";

  // The display shows what the GS reads out; the snapshot is that field.
  int w = 0, h = 0;
  const uint32_t* shown = DisplayField(&w, &h);
  std::vector<uint32_t> gsField(640 * 224, 0);
  int gw = 640, gh = 224;
  bool readOut = GsReadDisplay(2, gsField.data(), int(gsField.size()), &gw, &gh);
  if (!readOut) {
    gw = 640;
    gh = 224;
  }
  ASSERT_EQ(w, gw);
  ASSERT_EQ(h, gh);
  EXPECT_EQ(memcmp(shown, gsField.data(), size_t(w) * size_t(h) * 4), 0);
  std::string path = TestTempDir() + "/frame.png";
  ASSERT_TRUE(DisplaySnapshot(path.c_str()));
  std::vector<uint32_t> snap;
  int sw = 0, sh = 0;
  std::string error;
  ASSERT_TRUE(PngRead(path.c_str(), 640, &snap, &sw, &sh, &error)) << error;
  ASSERT_EQ(snap.size(), size_t(w) * size_t(h));
  for (size_t i = 0; i < snap.size(); i++) ASSERT_EQ(snap[i], (shown[i] & 0xffffffu) | 0xff000000u) << "pixel " << i;

  if (!readOut) {
    GTEST_SKIP() << "the GS model reads out no display yet: the picture is not checked";
  }
  auto at = [&](int x, int y) { return shown[y * w + x] & 0xffffff; };
  EXPECT_EQ(at(100, 50), Texel(0, 0) & 0xffffff);
  EXPECT_EQ(at(102, 50), Texel(1, 0) & 0xffffff) << "the texture scaled twice";
  EXPECT_EQ(at(210, 110), 0x00ff00u);
  EXPECT_EQ(at(320, 170), 0x00ffffu) << "drawn by the VU1 program";
  EXPECT_EQ(at(50, 20), 0u) << "cleared to black";
}
