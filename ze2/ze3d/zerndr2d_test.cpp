// Immediate 2-D primitives, run through the frame chain to the GS: what
// each call puts in the GS registers, in both coordinate families.
#include "ze3d_test.h"

#include <cstring>

namespace {

struct Prim2d : testing::Test {
  void SetUp() override {
    StartMachine();
    ZeRndrStreamInit(ZERNDRSTREAM_DEFAULT_BUFFER);
    zerndr_pixel_width = 640;
    zerndr_pixel_height = 224;
  }
  void TearDown() override { StopMachine(); }
  // Flushes and kicks the frame; the GS writes are captured.
  void Draw() {
    ZeRndrStreamFlush();
    ZePs2ScreenSwap(1);
    ZeRndrVu1Draw();
    KernelYield();
    ZeRndrSwapStreamBuffers();
  }
};

struct Xyz {
  int x, y;
  uint32_t z;
  bool operator==(const Xyz&) const = default;
};
std::vector<Xyz> Xyzs(const GsCapture& gs) {
  std::vector<Xyz> out;
  for (uint64_t v : gs.Values(GS_XYZ2)) out.push_back({int(v & 0xffff), int((v >> 16) & 0xffff), uint32_t(v >> 32)});
  return out;
}
float F(uint64_t v, int word) {
  float f;
  uint32_t w = uint32_t(v >> (32 * word));
  memcpy(&f, &w, 4);
  return f;
}
constexpr int X0 = (2048 - 320) * 16, Y0 = (2048 - 112) * 16;  // the display's top-left corner

}  // namespace

TEST_F(Prim2d, IntegerFamilyPutsTheTopLeftCornerOfItsBasisAtZero) {
  GsCapture gs;
  ZeRndrRect2di(0, 0, 160, 80, 0x80102030, nullptr);
  ZeRndrLineRect2di(16, 8, 160, 80, 0x80ffffff, nullptr);
  const ZECOLOUR32 four[4] = {1, 2, 3, 4};
  ZeRndrGradRect2di(0, 0, 32, 16, four, nullptr);
  // A render target of 256 x 256: the target basis moves, the display one not.
  zerndr_pixel_width = zerndr_pixel_height = 256;
  ZeRndrRectUV2di(0, 0, 16, 16, 0x80808080, nullptr, 0.25f, 0.5f, 0.75f, 1.0f);
  ZeRndrRect2di(0, 0, 16, 16, 0x80808080, nullptr);
  Draw();
  const std::vector<Xyz> want = {
      {X0, Y0, 0}, {X0 + 160, Y0 + 80, 0},  // the sprite
      {X0 + 16, Y0 + 8, 0}, {X0 + 16 + 144, Y0 + 8, 0}, {X0 + 16 + 144, Y0 + 8 + 72, 0}, {X0 + 16, Y0 + 8 + 72, 0},
      {X0 + 16, Y0 + 8, 0},  // the outline, closed
      {X0, Y0, 0}, {X0 + 32, Y0, 0}, {X0, Y0 + 16, 0}, {X0 + 32, Y0 + 16, 0},  // gradient corners
      {(2048 - 128) * 16, (2048 - 128) * 16, 0}, {(2048 - 128) * 16 + 16, (2048 - 128) * 16 + 16, 0},
      {X0, Y0, 0}, {X0 + 16, Y0 + 16, 0},
  };
  EXPECT_EQ(Xyzs(gs), want);
  EXPECT_EQ(gs.Values(GS_PRIM), (std::vector<uint64_t>{6, 2, 4, 6, 6}));
  auto rgba = gs.Values(GS_RGBAQ);
  ASSERT_GE(rgba.size(), 6u);
  EXPECT_EQ(rgba[0] & 0xffffffff, 0x80102030u);
  // Gradient: the four colours in corner order top-left, top-right, bottom-left, bottom-right.
  EXPECT_EQ(rgba[2] & 0xffffffff, 1u);
  EXPECT_EQ(rgba[5] & 0xffffffff, 4u);
  auto st = gs.Values(GS_ST);
  EXPECT_EQ(F(st[st.size() - 4], 0), 0.25f);
  EXPECT_EQ(F(st[st.size() - 3], 1), 1.0f);
}

TEST_F(Prim2d, FloatFamilyMapsViewportFractionsAndItsStForms) {
  GsCapture gs;
  ZEVTX2D v[8] = {};
  for (int i = 0; i < 8; i++) v[i] = {0.5f * float(i & 1), 0.25f * float(i >> 1), 7.9f, 0.5f, 0x80000000u + uint32_t(i), 0.5f, 1.0f};
  ZeRndrQuad2d(v, nullptr);
  ZeRndrTri2d(v, nullptr);
  ZeRndrLineStrip2d(v, nullptr, 8);
  ZeRndrTriStrip2d(v, nullptr, 0);  // an empty packet
  Draw();
  auto xyz = Xyzs(gs);
  ASSERT_EQ(xyz.size(), 4u + 3u + 8u);
  const ZEVIEWPORT* vp = ZeVpGetCurrentViewport();
  EXPECT_EQ(xyz[0], (Xyz{vp->x, vp->y, 7}));
  EXPECT_EQ(xyz[1].x, int(ZeVpPixelWidth(0.5f)));
  EXPECT_EQ(xyz[2].y, int(ZeVpPixelHeight(0.25f)));
  auto st = gs.Values(GS_ST);
  EXPECT_EQ(F(st[0], 0), 0.25f) << "the quad writes S = u * q";
  EXPECT_EQ(F(st[0], 1), 0.5f);
  EXPECT_EQ(F(st[4], 0), 0.5f) << "the triangle writes S = u";
  // Eight vertices of separate lines: four segments.
  EXPECT_EQ(gs.Values(GS_PRIM), (std::vector<uint64_t>{4, 3, 1, 4}));
}

TEST_F(Prim2d, RectUVStreamAppendsToTheCallersStreamOnly) {
  ZeRndrStreamLink(rndrstream_3d_u);
  uint32_t* before = rndrstream_3d_u->write;
  uint32_t* freeBefore = rndrstream_free;
  ZeRndrRectUVStream(rndrstream_3d_u, 0, 0, 32, 32, 0x80808080, 5, 0, 0, 1, 1);
  EXPECT_GT(rndrstream_3d_u->write.get(), before);
  EXPECT_EQ(rndrstream_free, freeBefore) << "no segment end";
  EXPECT_EQ(before[0] >> 28, uint32_t(DMATAG_CNT));
  EXPECT_EQ(before[3] >> 24, 0x50u) << "DIRECT";
}
