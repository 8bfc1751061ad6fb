#include "ze3d_test.h"

#include <cmath>
#include <cstring>

namespace {

struct StreamState : testing::Test {
  void SetUp() override {
    ZeTrigInit();
    ZeVpInit();
    ZeRndrStreamMtlIfReset();
    ZeRndrStreamInit(ZERNDRSTREAM_DEFAULT_BUFFER);
    ZeMtxSetIdentity(&global_camera.mtx);
    rndrstream_frame_flag = 1;
  }
  // Runs a writer on s linked for writing; returns the quadwords written.
  template <class F>
  int Written(ZERNDRSTREAM* s, F writer) {
    ZeRndrStreamLink(s);
    uint32_t* before = s->write;
    writer(s);
    uint32_t* after = s->write;
    rndrstream_free = vpDmaTag_Next(after, nullptr);
    return int(after - before) / 4;
  }
  static int Misc(StreamState* t, ZERNDRSTREAM* s) { return t->Written(s, ZeRndrStreamSetMisc); }
};

ZEMTX Translation(float x, float y, float z) {
  ZEMTX m;
  ZeMtxSetIdentity(&m);
  m.m[3][0] = x;
  m.m[3][1] = y;
  m.m[3][2] = z;
  return m;
}

float F(const uint32_t* p) {
  float f;
  memcpy(&f, p, 4);
  return f;
}

}  // namespace

TEST_F(StreamState, ScissorAndOffsetAreSentOnlyWhenChanged) {
  ZeRndrSetScissor(0, 0, 639, 223);
  ZeRndrSetXYOffset(1728 << 4, 1936 << 4);
  EXPECT_EQ(Misc(this, rndrstream_2d), 3 + 4) << "frame, scissor and offset";
  EXPECT_EQ(Misc(this, rndrstream_2d), 3) << "frame only";
  ZeRndrSetScissor(10, 20, 30, 40);
  ZeRndrStreamLink(rndrstream_2d);
  uint32_t* p = rndrstream_2d->write;
  ZeRndrStreamSetMisc(rndrstream_2d);
  EXPECT_EQ(rndrstream_2d->write.get(), p + 7 * 4);
  uint64_t v;
  memcpy(&v, p + 12 + 8, 8);
  EXPECT_EQ(v, uint64_t(1728 << 4) | uint64_t(1936 << 4) << 32);
  memcpy(&v, p + 12 + 12, 8);
  EXPECT_EQ(v, 10u | 30u << 16 | uint64_t(20) << 32 | uint64_t(40) << 48);
  EXPECT_EQ(*ZeRndrStreamGetScissor(), v);
  // The frame packet carries the frame mask.
  cur_rt = 0x12345;
  ZeRndrSetFrameMask(0xff000000u, 1);
  memcpy(&v, p + 8, 8);
  ZeRndrStreamLink(rndrstream_2d);
  p = rndrstream_2d->write;
  ZeRndrStreamSetMisc(rndrstream_2d);
  memcpy(&v, p + 8, 8);
  EXPECT_EQ(v, 0xff00000000012345ull);
  EXPECT_EQ(p[10], uint32_t(GS_FRAME_1));
}

TEST_F(StreamState, LightBlocksAreCopiedOncePerFlushAndReferencedAfter) {
  const ZEVEC d0 = {1, 0, 0}, d1 = {0, 1, 0}, d2 = {0, 0, 1}, c = {0.5f, 0.25f, 0.125f};
  ZeRndrSetDirectionalLights(&d0, &c, &d1, &c, &d2, &c);
  ZeRndrStreamLink(rndrstream_3d_l);
  uint32_t* p = rndrstream_3d_l->write;
  ZeRndrStreamSetMisc(rndrstream_3d_l);
  uint32_t* block = p + (3 + 4) * 4;
  EXPECT_EQ(rndrstream_3d_l->write.get(), block + 8 * 4) << "the whole light block";
  EXPECT_EQ(block[0], 0x10150007u) << "cnt, LIGHTLOAD, 7 quadwords";
  EXPECT_EQ(block[3], 0x6c07000cu);
  EXPECT_EQ(F(block + 4 + 2), 0.0f);
  EXPECT_EQ(F(block + 4 + 1 * 4 + 1), 1.0f) << "light 1's direction y";
  EXPECT_EQ(F(block + 4 + 5 * 4 + 3), 1.0f) << "light 2's colour w";
  EXPECT_EQ(rndrstream_rt_light_addr, block + 4);
  rndrstream_free = vpDmaTag_Next(rndrstream_3d_l->write, nullptr);

  // A second lit stream gets a ref tag to that copy; the first nothing more.
  ZeRndrStreamLink(rndrstream_ot_sort);
  p = rndrstream_ot_sort->write;
  ZeRndrStreamSetMisc(rndrstream_ot_sort);
  uint32_t* ref = p + 7 * 4;
  EXPECT_EQ(rndrstream_ot_sort->write.get(), ref + 4);
  EXPECT_EQ(ref[0], 0x30150007u) << "ref, LIGHTLOAD, 7 quadwords";
  EXPECT_EQ(ref[1], EeAddrOf(block + 4));
  rndrstream_free = vpDmaTag_Next(rndrstream_ot_sort->write, nullptr);
  EXPECT_EQ(Misc(this, rndrstream_3d_l), 3);

  // A new ambient light makes the next lit stream copy the block again.
  ZeRndrSetAmbientLight(&c);
  EXPECT_EQ(Misc(this, rndrstream_mtl_sort), 3 + 4 + 8);
  // A flush starts a new segment: every stream gets everything again.
  ZeRndrStreamFlush();
  EXPECT_EQ(Misc(this, rndrstream_ot_sort), 3 + 4 + 8);

  ZERNDRSTREAM* bad = ZeRndrStreamAllocStream(1, nullptr, 0x03);
  ZeRndrStreamLink(bad);
  EXPECT_HALT(ZeRndrStreamSetMisc(bad), "Invalid attribute combination in stream");
}

TEST_F(StreamState, MatricesAreSentByChangeIdWithTheModeAndTheKick) {
  rndrstream_local_mtx_id = -1;
  rndrstream_view_mtx_id = -1;
  auto local = [](ZERNDRSTREAM* s) { ZeRndrStreamSetLocalMtx(s); };
  auto localKick = [](ZERNDRSTREAM* s) { ZeRndrStreamSetLocalMtxEx(s, 1); };
  auto view = [](ZERNDRSTREAM* s) { ZeRndrStreamSetViewMtx(s); };
  auto scissorView = [](ZERNDRSTREAM* s) { ZeRndrStreamSetViewMtxScissorClip(s); };
  EXPECT_EQ(Written(rndrstream_3d_l, local), 0) << "no local matrix yet";
  EXPECT_EQ(Written(rndrstream_3d_l, view), 0) << "no view yet";

  const ZEMTX t = Translation(1, 2, 3);
  ZeRndrSetLocalMtx(&t, 1);
  ZeRndrStreamLink(rndrstream_3d_l);
  uint32_t* p = rndrstream_3d_l->write;
  EXPECT_EQ(ZeRndrStreamSetLocalMtx(rndrstream_3d_l), 1);
  EXPECT_EQ(p[0], 0x10140006u) << "cnt, MTXLOAD, 6 quadwords";
  EXPECT_EQ(p[3], 0x6c040000u);
  EXPECT_EQ(F(p + 4 * 4 + 2), 3.0f);
  EXPECT_EQ(p[20], 0x6d010017u);
  EXPECT_EQ(p[21], 1u) << "lit stream: mode 1";
  EXPECT_EQ(p[23], 0x14000000u) << "mode 1 starts at 0";
  EXPECT_EQ(p[24], 0x17000000u);
  rndrstream_free = vpDmaTag_Next(rndrstream_3d_l->write, nullptr);
  EXPECT_EQ(Written(rndrstream_3d_l, local), 0) << "already has this id";
  EXPECT_EQ(Written(rndrstream_system, local), 0) << "takes no local matrix";

  ZeRndrSetLocalMtx(&t, 2);
  ZERNDRSTREAM* specular = ZeRndrStreamAllocStream(1, vu_load_xformuv_mpg, 0x3e);
  ZeRndrStreamLink(specular);
  p = specular->write;
  EXPECT_EQ(ZeRndrStreamSetLocalMtxEx(specular, 1), 1);
  EXPECT_EQ(p[21], 4u) << "specular stream: mode 4";
  EXPECT_EQ(p[23], 0x14000002u) << "mode 2 starts at 2";
  EXPECT_EQ(p[28], 0x10000000u) << "the kick: an empty cnt";
  EXPECT_EQ(p[30], 0x1400000au);
  EXPECT_EQ(p[31], 0x17000000u);
  rndrstream_free = vpDmaTag_Next(specular->write, nullptr);
  EXPECT_EQ(Written(rndrstream_3d_u, localKick), 8);

  const ZEMTX v = Translation(0, 0, 5), c1 = Translation(1, 0, 0), c2 = Translation(2, 0, 0);
  ZeRndrSetViewMtx(&v, &c1, &c2);
  EXPECT_EQ(Written(rndrstream_3d_u, view), 10 + 2) << "view, clip and camera yaw";
  EXPECT_EQ(Written(rndrstream_3d_u, view), 0);
  EXPECT_EQ(Written(rndrstream_3d_u, scissorView), 10);
  EXPECT_EQ(Written(rndrstream_3d_u, view), 12) << "after the scissor clip the normal view is sent again";
  EXPECT_EQ(Written(rndrstream_2d, view), 0);

  // The depth fix moves the view along z; the same value again changes nothing.
  const int16_t id = rndrstream_view_mtx_id;
  ZeRndrSetZFix(0);
  EXPECT_EQ(rndrstream_view_mtx_id, id);
  ZeRndrSetZFix(100);
  EXPECT_NE(rndrstream_view_mtx_id, id);
  ZeRndrStreamLink(rndrstream_3d_u);
  p = rndrstream_3d_u->write;
  ZeRndrStreamSetViewMtx(rndrstream_3d_u);
  EXPECT_EQ(F(p + 4 * 4 + 2), 105.0f) << "view translation z + depth fix";
  EXPECT_EQ(F(p + 6 * 4), 1.0f) << "the clip matrix untouched";
  EXPECT_EQ(p[5 * 4 + 3], 0x6c040008u);
}

TEST_F(StreamState, ZMoveSlidesAlongTheLineFromTheCameraAndNotAtIt) {
  auto translation = [&] {
    ZeRndrStreamLink(rndrstream_3d_u);
    uint32_t* p = rndrstream_3d_u->write;
    ZeRndrStreamSetLocalMtx(rndrstream_3d_u);
    rndrstream_free = vpDmaTag_Next(rndrstream_3d_u->write, nullptr);
    return ZEVEC{F(p + 16), F(p + 17), F(p + 18)};
  };
  global_camera.mtx.m[3][0] = 1.0f;
  ZEMTX m = Translation(1, 0, 10);
  ZeRndrSetLocalMtxZMove(&m, 1, 5.0f);
  ZEVEC t = translation();
  EXPECT_EQ(t.x, 1.0f);
  EXPECT_EQ(t.z, 15.0f);
  m = Translation(1, 0, 0);
  ZeRndrSetLocalMtxZMove(&m, 1, 5.0f);
  t = translation();
  EXPECT_EQ(t.x, 1.0f) << "at the camera the translation stays";
  EXPECT_EQ(t.y, 0.0f);
  EXPECT_EQ(t.z, 0.0f);
}

TEST_F(StreamState, LandscapeLightsTurnOnceAndPortraitRestoresThem) {
  const ZEVEC d0 = {1, 0, 0}, d1 = {0, 0.6f, 0.8f}, d2 = {0, 0, 1}, c = {1, 1, 1};
  ZeRndrSetDirectionalLights(&d0, &c, &d1, &c, &d2, &c);
  float before[12];
  memcpy(before, rndrstream_rt_light_buffer + 4, sizeof before);
  ZeRndrSetDirectionalLightsLandscape();
  ZeRndrSetDirectionalLightsLandscape();
  const float* rows = reinterpret_cast<const float*>(rndrstream_rt_light_buffer + 4);
  // A quarter turn about the view axis (z): x goes to -y, y to x, z stays.
  const float expect[3][3] = {{0, 0.6f, 0}, {-1, 0, 0}, {0, 0.8f, 1}};
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) EXPECT_NEAR(rows[i * 4 + j], expect[i][j], 1e-6f) << i << "," << j;
  EXPECT_EQ(rndrstream_light_landscape, 1);
  ZeRndrSetDirectionalLightsPortrait();
  EXPECT_EQ(memcmp(before, rndrstream_rt_light_buffer + 4, sizeof before), 0);
  EXPECT_EQ(rndrstream_light_landscape, 0);
}

TEST_F(StreamState, SpecularStrengthFadesTowardTheViewAndNeverGivesNaN) {
  ZERNDRSTREAM* specular = ZeRndrStreamAllocStream(1, vu_load_xformuv_mpg, 0x3e);
  auto block = [&] {
    ZeRndrStreamLink(specular);
    uint32_t* p = specular->write;
    ZeRndrStreamSetMisc(specular);
    rndrstream_free = vpDmaTag_Next(specular->write, nullptr);
    const uint32_t* blk = p + (3 + 4) * 4;  // after the frame, scissor and offset
    EXPECT_EQ(blk[0], 0x10170005u) << "cnt, SPECLOAD, 5 quadwords";
    std::vector<float> b(20);
    memcpy(b.data(), blk + 4, 80);
    return b;
  };
  struct Case {
    ZEVEC dir;
    float strength;
  } cases[] = {
      {{0, 0, 1}, 0.0f},      // straight along the view: the half vector vanishes
      {{0, 0.6f, 0.8f}, 0.3f},  // strength x (1 - 0.8) x 2
      {{1, 0, 0}, 0.75f},     // below 0.5: the colour's own strength
  };
  for (const Case& c : cases) {
    const ZEVEC4 colour = {1, 0.5f, 0.25f, 0.75f};
    ZeRndrSetSpecularLight(&c.dir, &colour);
    std::vector<float> b = block();
    for (float f : b) EXPECT_TRUE(std::isfinite(f)) << c.dir.z;
    EXPECT_NEAR(b[16 + 3], c.strength, 1e-5f) << c.dir.z;
    EXPECT_EQ(b[16], 1.0f);
    EXPECT_EQ(b[12], 0.5f) << "row 3 = (0.5, 0.5, 0, 1)";
    EXPECT_EQ(b[15], 1.0f);
    const float len = std::sqrt(b[8] * b[8] + b[9] * b[9] + b[10] * b[10]);
    EXPECT_NEAR(len, 1.0f, 1e-5f) << "row 2 is the unit half vector, negated";
    ZeRndrStreamFlush();
  }
}
