// Lasers, laser sprites and flares: the queues and their arithmetic, and
// beams, flares and full-screen glows drawn on the GS model with the effects
// texture the tools draw; the effects pass as a whole.
#include <algorithm>

#include "ptldraw.h"
#include "zelgt_test.h"

namespace {

// The GS's bilinear sample of a 256 x 256 picture (0xAABBGGRR) at (u, v)
// in 1/16 texel: half a texel back, the four texels weighed in 1/16 and the
// sum floored; coordinates clamped to the picture.
uint32_t Bilinear(const std::vector<uint32_t>& tex, int u, int v) {
  u -= 8, v -= 8;
  const int fu = u & 15, fv = v & 15;
  auto at = [&](int i, int j) { return tex[size_t(std::clamp(j, 0, 255) * 256 + std::clamp(i, 0, 255))]; };
  const int i = u >> 4, j = v >> 4;
  const uint32_t c00 = at(i, j), c10 = at(i + 1, j), c01 = at(i, j + 1), c11 = at(i + 1, j + 1);
  uint32_t out = 0;
  for (int c = 0; c < 32; c += 8) {
    const uint32_t h0 = (c00 >> c & 0xff) * uint32_t(16 - fu) + (c10 >> c & 0xff) * uint32_t(fu);
    const uint32_t h1 = (c01 >> c & 0xff) * uint32_t(16 - fu) + (c11 >> c & 0xff) * uint32_t(fu);
    out |= ((h0 * uint32_t(16 - fv) + h1 * uint32_t(fv)) >> 8 & 0xff) << c;
  }
  return out;
}

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
  // The beams' and flares' material on a white texture, additive as the
  // effects material.
  void FlatArcMaterial() {
    ZEMTL* flat = ZeMtlCreate(1);
    flat->texture = WhiteTexture();
    flat->attributes = mtl->attributes;
    ZeMtlUpdate(flat);
    ZeLgtSetArcMat(flat, 0.0f, 0.0f, 1.0f, 1.0f);
  }
  // A flare's position and world size whose sprite covers the 30 x 31
  // pixels from (305, 97) to (335, 128), its corners on pixel edges: the
  // centre half a pixel down so that the odd height starts on an edge.
  static ZEVEC FlareOnPixelEdges(float* w, float* h) {
    ZEVEC4 q, qx, qy;
    const ZEVEC centre = {0, 0, 0}, ex = {1, 0, 0}, ey = {0, 1, 0};
    ZeVec4MtxTransform(&q, &centre, ZeCameraGetVPCSMtx());
    ZeVec4MtxTransform(&qx, &ex, ZeCameraGetVPCSMtx());
    ZeVec4MtxTransform(&qy, &ey, ZeCameraGetVPCSMtx());
    const float sx = (qx.x / qx.w - q.x / q.w) / 16.0f, sy = (q.y / q.w - qy.y / qy.w) / 16.0f;
    *w = 30.0f / sx, *h = 31.0f / sy;
    return {0, -0.5f / sy, 0};
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

// A beam on a flat white texture (every sample 0xff whatever the filter and
// the pieces' texture coordinates), across the screen at y 0: its pixels
// take Cd + (Cs x As >> 7) exactly, Cs = 0xff x Cf >> 7 clamped to 255 and
// As = the texel's 0x7f x Af >> 7, its rows from the stated half-width;
// every other pixel keeps the clear colour. Only the columns at its two
// ends are left unchecked. Red 0xc0 modulates to 382 and must clamp
// to 255 (a wrapping texture function gives 0x7e), the red sum 0x40 + 253
// must clamp again under COLCLAMP 1 (wrapping gives 0x3d). Catches: the
// modulate's and the blend's clamps and floors, and a piece's seam that
// leaves a column undrawn or drawn twice.
TEST_F(Fx, LaserBeamOnAFlatTextureIsExact) {
  FlatArcMaterial();
  const ZEVEC a = {-3, 0, 0}, v = {6, 0, 0};
  const uint32_t colour = 0x802030c0;
  const uint64_t f = FxFrame([] {}, [&] { ZeLgtLaser(0, &a, &v, colour, 0.2f, 1.0f, 0.0f, 0.2f, 0.0f); });
  Grab(f, 128, 96, 384, 32, "laser_beam_flat");
  uint32_t want = 0;
  for (int c = 0; c < 3; c++) {
    const int cs = std::min(255, (0xff * int(colour >> (8 * c) & 0xff)) >> 7), as = (0x7f * int(colour >> 24)) >> 7;
    want |= uint32_t(std::min(255, 0x40 + ((cs * as) >> 7))) << (8 * c);
  }
  EXPECT_EQ(want, 0x7e9effu) << "by hand";
  // The beam's ends on screen, 3 either side; its half-width across a
  // horizontal beam is width x 5714.29 / w in 1/16 pixel (7.1 pixels at w
  // 10), whatever the projection's own scale.
  int x0, y0, x1, y1, yc;
  Screen({-3.0f, 0, 0}, &x0, &yc);
  Screen({3.0f, 0, 0}, &x1, &yc);
  ZEVEC4 q;
  const ZEVEC mid = {0, 0, 0};
  ZeVec4MtxTransform(&q, &mid, ZeCameraGetVPCSMtx());
  const float half = 0.2f * 5714.29f / q.w / 16.0f;
  y0 = int(std::floor(float(yc) - half)), y1 = int(std::ceil(float(yc) + half));
  ASSERT_GT(x1 - x0, 100);
  ASSERT_EQ(y1 - y0, 16);
  int inside = 0, away = 0;
  for (int y = 0; y < 224; y++)
    for (int x = 0; x < 640; x++) {
      if (x > x0 && x < x1 && y > y0 && y < y1) inside += Px(f, x, y) != want;
      if (x < x0 - 1 || x > x1 + 1 || y <= y0 || y >= y1) away += Px(f, x, y) != 0x404040u;
    }
  EXPECT_EQ(inside, 0) << "inside the beam: " << std::hex << Px(f, 320, 112);
  EXPECT_EQ(away, 0) << "away from the beam";
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
  for (int y = 0; y < 224; y++)
    for (int x = 0; x < 640; x++) changed += Px(f, x, y) != 0x404040u;
  EXPECT_EQ(changed, 0) << "no pixel of the frame";
  // Colour 0: no sprite, only the rings.
  f = FxFrame([] {}, [&] { ZeLgtFlare(&pos, 0x80402010, 0, 1.0f, 3.0f); });
  Grab(f, 240, 72, 160, 80, "flare_glow_only");
  EXPECT_NE(Px(f, 320, 112), 0x404040u);
}

// The flare's sprite alone (a black glow adds nothing): a sprite of 30 x 31
// pixels on pixel edges over texels 208.5-238.5 x 0.5-31.5, one texel a
// pixel. Each pixel is 0x40 + (Cs x As >> 7), Cs = T x Cf >> 7 clamped, As
// = Ta x Af >> 7, T the bilinear sample of the texels the drawing tool made
// with their alpha halved as the GS holds it. Catches: the sprite's texture
// coordinates off by half a texel, the texel alpha the GS holds, the
// modulate's clamp (blue 0xff), and any pixel drawn outside the square.
TEST_F(Fx, FlareSpriteTexels) {
  std::vector<uint32_t> tex(256 * 256);
  PtlDrawParticleTexture(tex.data());
  // The GS holds a texel's alpha halved (0x80 is one).
  for (uint32_t& t : tex) t = (t & 0xffffff) | (t >> 25) << 24;
  const uint32_t colour = 0x80ff8040;
  float w, h;
  const ZEVEC pos = FlareOnPixelEdges(&w, &h);
  const ZEVEC a = {pos.x - 0.5f * w, pos.y + 0.5f * h, 0}, b = {pos.x + 0.5f * w, pos.y - 0.5f * h, 0};
  ZEVEC4 c0, c1;
  ZeVec4MtxTransform(&c0, &a, ZeCameraGetVPCSMtx());
  ZeVec4MtxTransform(&c1, &b, ZeCameraGetVPCSMtx());
  // The corners lie on pixel edges: (305, 97) to (335, 128).
  ASSERT_EQ(c0.x / c0.w, 32528.0f);
  ASSERT_EQ(c0.y / c0.w, 32528.0f);
  ASSERT_EQ(c1.x / c1.w, 33008.0f);
  ASSERT_EQ(c1.y / c1.w, 33024.0f);
  const uint64_t f = FxFrame([] {}, [&] { ZeLgtFlareXY(&pos, 0x80000000, colour, w, h, 2.0f, 2.0f); });
  Grab(f, 288, 80, 64, 64, "flare_sprite");
  auto want = [&](uint32_t t) {
    uint32_t out = 0;
    const int as = (int(t >> 24) * int(colour >> 24)) >> 7;
    for (int c = 0; c < 3; c++) {
      const int cs = std::min(255, (int(t >> (8 * c) & 0xff) * int(colour >> (8 * c) & 0xff)) >> 7);
      out |= uint32_t(std::min(255, 0x40 + ((cs * as) >> 7))) << (8 * c);
    }
    return out;
  };
  // Outside the square every pixel is exact. Inside, the per-pixel texture
  // coordinates carry the interpolation's float rounding (a few 1/16
  // texel): each pixel must be the blend of a bilinear sample within a
  // quarter texel of its texel centre, which a half-texel error misses.
  int wrong = 0, lit = 0, off = 0;
  for (int y = 0; y < 224; y++)
    for (int x = 0; x < 640; x++) {
      if (!(x >= 305 && x < 335 && y >= 97 && y < 128)) {
        wrong += Px(f, x, y) != 0x404040u;
        continue;
      }
      bool near = false;
      for (int du = -4; du <= 4 && !near; du++)
        for (int dv = -4; dv <= 4 && !near; dv++)
          near = Px(f, x, y) == want(Bilinear(tex, 208 * 16 + 8 + 16 * (x - 305) + du, 8 + 16 * (y - 97) + dv));
      off += !near;
      lit += Px(f, x, y) != 0x404040u;
    }
  EXPECT_EQ(wrong, 0) << "outside the sprite";
  EXPECT_EQ(off, 0) << "inside the sprite";
  EXPECT_GT(lit, 400) << "the sprite covers most of its square";
}

// The glow rings alone over a flat mask: with a flat white effects
// texture the flare's mask in surface 25 is one rectangle of 0xff x 0x80
// >> 7 = 255 at As 0x7f, so 253, over the flare's 30 x 31 pixels; each of
// the eight rings (all larger than the flare) goes through the effect
// program's quads, whose alpha is Va / 128 x Da truncated (Va = 0x80 (15 -
// k) / 15, Da the mask material's 0.10101 x 128), samples the mask where it
// lies on screen and adds (253 x Cf >> 7) x As >> 7 (TEXA's alpha 0x80 for
// the CT24 mask). The rectangle's inside is exact, and every pixel a pixel
// away from it keeps the clear colour: the rings add nothing where the mask
// is black. Catches: the rings' screen-space texture coordinates (a mask
// sampled elsewhere moves the rectangle), the CT24 mask's alpha from TEXA,
// the program's material alpha, and the floor of each shift.
TEST_F(Fx, FlareRingsOverAFlatMask) {
  FlatArcMaterial();
  float w, h;
  const ZEVEC pos = FlareOnPixelEdges(&w, &h);
  const uint32_t glow = 0x80082050;
  const uint64_t f = FxFrame([] {}, [&] { ZeLgtFlareXY(&pos, glow, 0, w, h, 2.0f * w, 2.0f * h); });
  Grab(f, 288, 80, 64, 64, "flare_rings_flat_mask");
  uint32_t want = 0;
  for (int c = 0; c < 3; c++) {
    int d = 0x40;
    for (int k = 0; k < 8; k++) {
      const int va = 0x80 * (15 - k) / 15, as = int(float(va) / 128.0f * (0.10101f * 128.0f));
      d += (((253 * int(glow >> (8 * c) & 0xff)) >> 7) * as) >> 7;
    }
    want |= uint32_t(std::min(d, 255)) << (8 * c);
  }
  EXPECT_EQ(want, 0x455f98u) << "by hand: red 88 = 14 + 14 + 13 + 12 + 11 + 9 + 8 + 7";
  int inside = 0, away = 0;
  for (int y = 0; y < 224; y++)
    for (int x = 0; x < 640; x++) {
      if (x > 305 && x < 334 && y > 97 && y < 127) inside += Px(f, x, y) != want;
      if (x < 304 || x > 335 || y < 96 || y > 128) away += Px(f, x, y) != 0x404040u;
    }
  EXPECT_EQ(inside, 0) << std::hex << Px(f, 320, 112) << " want " << want;
  EXPECT_EQ(away, 0);
}

// A full-screen glow tested at depth 0x100: the far scene glows, a near wall
// does not. The mask in surface 25 holds 0x80 where the scene lies beyond
// the glow's depth and 0 in front; each of the eight rings, stretched by k
// x (8, 4) pixels, adds (mask x Cf >> 7) x As >> 7 with As = TEXA's 0x80
// x 0x80 (15 - k) / 15 >> 7. Every row away from the wall's edge is exact:
// the rings' red sums to 289 and must clamp to 255 (a wrapping COLCLAMP
// leaves 0x61), green and blue stay below. Catches: clamping under COLCLAMP
// 1, the floor of each of the sixteen shifts, the CT24 mask's alpha from
// TEXA, and a ring's stretch that samples the wrong mask row.
TEST_F(Fx, FullScreenGlowAtItsDepth) {
  const ZEVEC pos = {0, 0, 0};
  const uint32_t glow = 0x80040830;
  const uint64_t f = FxFrame([&] { Wall(0, 112, 640, 224, 0x00404040, DepthAt(5.0f)); },
                             [&] { ZeLgtFlareEx(&pos, glow, 0x80ffffff, 0x8000100, 1.0f, 1.0f); });
  Grab(f, 0, 0, 640, 224, "flare_full_screen");
  uint32_t far = 0;
  for (int c = 0; c < 3; c++) {
    int d = 0x40;
    for (int k = 0; k < 8; k++) {
      const int as = (0x80 * (0x80 * (15 - k) / 15)) >> 7;
      const int cs = (0x80 * int(glow >> (8 * c) & 0xff)) >> 7;
      d += (cs * as) >> 7;
    }
    far |= uint32_t(std::min(d, 255)) << (8 * c);
  }
  EXPECT_EQ(far, 0x556dffu) << "by hand: red 0x40 + 289 clamps";
  int wrong = 0;
  for (int y = 0; y < 224; y++)
    for (int x = 0; x < 640; x++)
      if (y != 112) wrong += Px(f, x, y) != (y < 112 ? far : 0x404040u);
  EXPECT_EQ(wrong, 0) << "far rows glow exactly, near rows are untouched";
  // The wall's top row lies on the mask's edge: the rings' bilinear samples
  // give it a part of the glow, the same across the row.
  const uint32_t edge = Px(f, 0, 112);
  for (int x = 0; x < 640; x++) ASSERT_EQ(Px(f, x, 112), edge) << x;
  for (int c = 0; c < 24; c += 8) {
    EXPECT_GT(edge >> c & 0xff, 0x40u);
    EXPECT_LT(edge >> c & 0xff, far >> c & 0xff);
  }
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
