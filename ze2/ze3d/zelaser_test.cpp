// Lasers, laser sprites and flares: the queues and their arithmetic, and
// beams, flares and full-screen glows drawn on the GS model with the effects
// texture the tools draw; the effects pass as a whole.
#include "zelgt_test.h"

namespace {

struct Fx : Light {
  void SetUp() override {
    Light::SetUp();
    memset(ZeLgtLaserData, 0, sizeof ZeLgtLaserData);
    memset(ZeLgtArcLaserData, 0, sizeof ZeLgtArcLaserData);
    memset(ZeLgtLaserSprData, 0, sizeof ZeLgtLaserSprData);
    ZeLgtLaserCnt = ZeLgtLaserOldCnt = ZeLgtArcLaserCnt = ZeLgtArcLaserOldCnt = ZeLgtFlareCnt = ZeLgtFlareOldCnt = 0;
    ZeLgtArcLaserFrame = 0;
    ZeLgtSeed = 12345;
    testflare = 0xff;
    testflarefulldepth = 0;
    // The effects material: additive, depth tested, not written.
    mtl = EffectsMaterial(&texels, 1);
    mtl->attributes = (mtl->attributes & ~(3u << ZEMTLATTR_LIGHTING)) | 3u << ZEMTLATTR_LIGHTING;
    ZeMtlUpdate(mtl);
    ZeLgtSetArcMat(mtl, PTLTEX_BEAM_U0 / 256.0f, PTLTEX_BEAM_V0 / 256.0f, PTLTEX_BEAM_U1 / 256.0f,
                   PTLTEX_BEAM_V1 / 256.0f);
  }
  void TearDown() override {
    ZeLgtArcMtl = nullptr;
    Light::TearDown();
    ZeMemFree(texels);
  }
  // One frame with the whole effects pass.
  template <class F, class G>
  uint64_t FxFrame(F walls, G queue, int paused = 0, uint32_t clear = 0x80404040) {
    uint64_t frame;
    ZePs2GetCurrentBackBuffer(&frame);
    ZeRndrBeginScene(-1);
    ZeRndrClear(0x300, clear, 1.0f);
    walls();
    ZeRndrEndScene();
    queue();
    const ZEVEC player = {0, 0, 0};
    ZeRndrFx(paused, &player);
    ZePs2ScreenSwap(1);
    ZeRndrVu1Draw();
    KernelYield();
    ZeRndrSwapStreamBuffers();
    return frame;
  }
  uint8_t* texels = nullptr;
  ZEMTL* mtl = nullptr;
};

TEST_F(Fx, LaserPiecesTable) {
  struct {
    float texlen, len, piece;
  } cases[] = {
      {1.0f, 4.0f, 0.25f},
      {8.0f, 4.0f, 1.0f},   // shorter than the texture: one piece in proportion
      {0.0f, 4.0f, 1.0f},   // no texture length: one piece (it used to be cut without end)
      {-2.0f, 4.0f, 1.0f},
      {1.0f, 0.0f, 1.0f},
  };
  for (auto& c : cases) EXPECT_FLOAT_EQ(ZeLgtLaserPiece(c.texlen, c.len), c.piece) << c.texlen << " " << c.len;
}

TEST_F(Fx, LaserSeedsChangeEverySecondFrame) {
  const ZEVEC a = {0, 0, 0}, v = {1, 0, 0};
  std::vector<int> seeds;
  for (int f = 0; f < 6; f++) {
    ZeLgtLaser(0, &a, &v, 0x80ffffff, 0.1f, 1.0f, 0.1f, 0.1f, 0.0f);
    seeds.push_back(ZeLgtLaserData[0].seed);
    ZeLgtLaserCnt = 0;
    ZeLgtArcLaserFrame++;  // what each drawn frame does
  }
  // Frames 0, 2, 4 (even) take a new seed; 1, 3, 5 keep it.
  EXPECT_EQ(seeds[1], seeds[0]);
  EXPECT_NE(seeds[2], seeds[1]);
  EXPECT_EQ(seeds[3], seeds[2]);
  EXPECT_NE(seeds[4], seeds[3]);
  // The global seed stepped once for the record and six more times.
  int s = 12345;
  s = ZeLgtLaserStep(s);
  EXPECT_EQ(seeds[0], s);
  EXPECT_EQ(ZeLgtLaserStep(12345), (12345 * 9421 + 1) & 0xffff);
}

TEST_F(Fx, QueuesDropWhatTheyCannotHold) {
  const ZEVEC a = {0, 0, 0}, v = {1, 0, 0};
  for (int i = 0; i < 70; i++) ZeLgtLaser(0, &a, &v, 0x80ffffff, 0.1f, 1.0f, 0, 0.1f, 0);
  EXPECT_EQ(ZeLgtLaserCnt, 64);
  for (int i = 0; i < 20; i++) ZeLgtArcLaser(0, &a, &v, &v, 0.1f, 1.0f, 0, 1.0f, 0x80ffffff);
  EXPECT_EQ(ZeLgtArcLaserCnt, 16);
  for (int i = 0; i < 20; i++) ZeLgtFlare(&a, 0x80ffffff, 0, 1.0f, 2.0f);
  EXPECT_EQ(ZeLgtFlareCnt, 16);
  for (int i = 0; i < 70; i++) ZeLgtLaserSprite(&a, 0, 0x80ffffff, 5, 1, 1, 0);
  int used = 0;
  for (const ZELGTLASERSPR& s : ZeLgtLaserSprData) used += s.life > 0;
  EXPECT_EQ(used, 64);
}

TEST_F(Fx, LaserSpriteFadesInOverItsLife) {
  const ZEVEC a = {0, 0, 0};
  ZeLgtLaserSprite(&a, 0, 0x80ffffff, 10, 1, 1, 2);
  EXPECT_EQ(ZeLgtLaserSprData[0].row, 2 * 16 + 0x80);
  EXPECT_FLOAT_EQ(ZeLgtLaserSprData[0].halfheight, 0.5f);
  std::vector<uint32_t> alphas;
  for (int f = 0; f < 11; f++) {
    ZeLgtLaserSprDraw(0);
    alphas.push_back(ZeLgtLaserSprData[0].current >> 24);
  }
  // Life 9 .. 1: alpha trunc(0x80 x (1 - life / 10)); life 0 keeps the last.
  for (int f = 0; f < 9; f++) EXPECT_EQ(alphas[size_t(f)], uint32_t(128.0f * (1.0f - float(9 - f) / 10.0f))) << f;
  EXPECT_EQ(ZeLgtLaserSprData[0].life, 0) << "free after its life";
}

// A beam across the screen: its middle lit, the frame beside it not; a beam
// behind the camera draws nothing.
TEST_F(Fx, LaserBeamAcrossTheScreen) {
  const ZEVEC a = {-3, 0, 0}, v = {6, 0, 0};
  uint64_t f = FxFrame([] {}, [&] { ZeLgtLaser(0, &a, &v, 0x80ffffff, 0.2f, 1.0f, 0.0f, 0.2f, 0.0f); });
  Grab(f, 160, 96, 320, 32, "laser_beam");
  int x, y;
  Screen({0, 0, 0}, &x, &y);
  EXPECT_GT(Px(f, x, y) & 0xff, 0x40u) << "the beam's middle adds";
  // Every pixel away from the beam (its ends and 0.2 across, with a margin
  // for the jitter) keeps the clear colour exactly.
  int x0, y0, x1, y1;
  Screen({-3.5f, 0.5f, 0}, &x0, &y0);
  Screen({3.5f, -0.5f, 0}, &x1, &y1);
  int away = 0;
  for (int yy = 0; yy < 224; yy++)
    for (int xx = 0; xx < 640; xx++)
      if (xx < x0 || xx > x1 || yy < y0 || yy > y1) away += Px(f, xx, yy) != 0x404040u;
  EXPECT_EQ(away, 0) << "beside the beam nothing changes";
  const ZEVEC b = {-3, 0, -20};
  f = FxFrame([] {}, [&] { ZeLgtLaser(0, &b, &v, 0x80ffffff, 0.2f, 1.0f, 0.0f, 0.2f, 0.0f); });
  int changed = 0;
  for (int yy = 0; yy < 224; yy += 4)
    for (int xx = 0; xx < 640; xx += 4) changed += Px(f, xx, yy) != 0x404040u;
  EXPECT_EQ(changed, 0) << "behind the camera";
  // A beam with no texture length is one piece (it used to never end).
  f = FxFrame([] {}, [&] { ZeLgtLaser(0, &a, &v, 0x80ffffff, 0.2f, 0.0f, 0.0f, 0.2f, 0.0f); });
  EXPECT_GT(Px(f, x, y) & 0xff, 0x40u);
}

// Pausing draws last frame's lasers again with the same jitter.
TEST_F(Fx, PausedFramesRedraw) {
  const ZEVEC a = {-3, 0, 0}, v = {6, 0, 0};
  const uint64_t f1 = FxFrame([] {}, [&] { ZeLgtLaser(0, &a, &v, 0x80ffffff, 0.2f, 1.0f, 0.5f, 0.2f, 0.0f); });
  std::vector<uint32_t> first;
  for (int x = 160; x < 480; x++) first.push_back(Px(f1, x, 112));
  const int frame = ZeLgtArcLaserFrame;
  const uint64_t f2 = FxFrame([] {}, [] {}, 1);
  EXPECT_EQ(ZeLgtArcLaserFrame, frame) << "paused: nothing advances";
  for (int x = 160; x < 480; x++) EXPECT_EQ(Px(f2, x, 112), first[size_t(x - 160)]) << x;
  // After a frame without lasers, a paused frame draws none.
  FxFrame([] {}, [] {});
  const uint64_t f3 = FxFrame([] {}, [] {}, 1);
  EXPECT_EQ(Px(f3, 320, 112), 0x404040u);
}

// A flare in view: sprite and rings add; behind a wall: its mask is empty
// and nothing changes. Catches: REGION_CLAMP of the rings' texture and the
// mask drawn into the CT24 surface with the offset of the target.
TEST_F(Fx, FlareInViewAndBehindAWall) {
  const ZEVEC pos = {0, 0, 0};
  uint64_t f = FxFrame([] {}, [&] { ZeLgtFlare(&pos, 0x80402010, 0x80ffffff, 1.0f, 3.0f); });
  Grab(f, 240, 72, 160, 80, "flare_in_view");
  EXPECT_GT(Px(f, 320, 112) & 0xff, 0x40u);
  const uint32_t zw = DepthAt(5.0f);
  f = FxFrame([&] { Wall(0, 0, 640, 224, 0x00404040, zw); },
              [&] { ZeLgtFlare(&pos, 0x80402010, 0x80ffffff, 1.0f, 3.0f); });
  Grab(f, 240, 72, 160, 80, "flare_behind_wall");
  int changed = 0;
  for (int y = 72; y < 152; y++)
    for (int x = 240; x < 400; x++) changed += Px(f, x, y) != 0x404040u;
  EXPECT_EQ(changed, 0);
  // Colour 0: no sprite, only the rings.
  f = FxFrame([] {}, [&] { ZeLgtFlare(&pos, 0x80402010, 0, 1.0f, 3.0f); });
  Grab(f, 240, 72, 160, 80, "flare_glow_only");
  EXPECT_NE(Px(f, 320, 112), 0x404040u);
}

// A full-screen glow tested at depth 0x100: the far scene glows, a near wall
// does not.
TEST_F(Fx, FullScreenGlowAtItsDepth) {
  const ZEVEC pos = {0, 0, 0};
  const uint64_t f = FxFrame([&] { Wall(0, 112, 640, 224, 0x00404040, DepthAt(5.0f)); },
                             [&] { ZeLgtFlareEx(&pos, 0x80203040, 0x80ffffff, 0x8000100, 1.0f, 1.0f); });
  Grab(f, 0, 0, 640, 224, "flare_full_screen");
  EXPECT_NE(Px(f, 320, 50), 0x404040u) << "far: glows";
  EXPECT_EQ(Px(f, 320, 170), 0x404040u) << "near: untouched";
}

// The effects pass in its order: a laser, a flare, a glow, fog and a shadow
// in one frame.
TEST_F(Fx, EffectsPassDrawsEverything) {
  const ZEVEC a = {-3, 1, 0}, v = {6, 0, 0}, fl = {2, -1, 0};
  ZEVEC glow = {-2, -1, 0};
  ZEMTX m;
  ZeMtxSetIdentity(&m);
  ZESHADCYL cyl{};
  const float w[13] = {0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 1, 0};
  memcpy(cyl.words, w, sizeof w);
  cyl.words[0] &= ~1u, cyl.words[1] &= ~2u;
  const uint64_t f = FxFrame([&] { Wall(0, 0, 640, 224, 0x80404040, DepthAt(11.5f)); },
                             [&] {
                               ZeLgtLaser(0, &a, &v, 0x80ffffff, 0.2f, 1.0f, 0.0f, 0.2f, 0.0f);
                               ZeLgtFlare(&fl, 0x80402010, 0x80ffffff, 0.5f, 1.5f);
                               ZeLightAddSpot(&glow, 0x800000ff, 2, 0, 0, 2.0f);
                               ZeLightFog(5.0f, 60.0f, 0x40806040, 0, 0);
                               ZESHADSTORE* e = ZeRndrAddShadowCylinder(&cyl, &m, 1);
                               e->light = {0, 0, 1}, e->alpha = 0x40, e->fade = 20, e->fadefar = 30;
                             });
  Grab(f, 0, 0, 640, 224, "effects_pass");
  // Each effect where it belongs: the fogged wall is the reference.
  const uint32_t ref = Px(f, 600, 20);
  int x, y;
  Screen({-2.0f, -1.0f, 1.5f}, &x, &y);
  EXPECT_GT(Px(f, x, y) & 0xff, (ref & 0xff) + 8) << "the glow adds red";
  Screen({0.0f, 1.0f, 0.0f}, &x, &y);
  EXPECT_GT(Px(f, x, y) >> 8 & 0xff, (ref >> 8 & 0xff) + 8) << "the laser";
  Screen({2.0f, -1.0f, 0.0f}, &x, &y);
  EXPECT_GT(Px(f, x, y) >> 8 & 0xff, (ref >> 8 & 0xff) + 8) << "the flare";
  Screen({0.0f, -1.5f, 1.5f}, &x, &y);
  EXPECT_LT(Px(f, x, y) >> 8 & 0xff, ref >> 8 & 0xff) << "the shadow";
  EXPECT_NE(ref, 0x404040u) << "the fog";
  EXPECT_EQ(shadstorecnt, 0);
  EXPECT_EQ(ZeLgtLaserCnt, 0);
  EXPECT_EQ(ZeLgtFlareCnt, 0);
}

}  // namespace
