// Pictures of the world dressing, drawn in virtual time through the GS
// model: a wind group leaning in the wind and fading with distance through
// the fade-and-sway program, and a rope bridge's ropes sagging under the
// player. PNGs go into the build directory.
#include <cstdlib>

#include "gamelib.h"
#include "zeps2.h"
#include "zerndrobj_test.h"

namespace {

struct Dressing : ObjDraw {
  void SetUp() override {
    ObjDraw::SetUp();
    ZeWindInit();
    ZeBridgeInit();
  }
  void TearDown() override {
    ZeWindInit();
    ZeBridgeInit();
    ZeBridgeProc = 0;
    ObjDraw::TearDown();
  }
};

uint32_t Mix(uint32_t c, uint32_t d, int a) {
  uint32_t out = 0;
  for (int s = 0; s < 24; s += 8) {
    int cc = int(c >> s & 255), dd = int(d >> s & 255);
    out |= uint32_t((cc - dd) * a / 128 + dd) << s;
  }
  return out;
}

bool Near(uint32_t a, uint32_t b) {
  for (int s = 0; s < 24; s += 8)
    if (std::abs(int(a >> s & 255) - int(b >> s & 255)) > 1) return false;
  return true;
}

}  // namespace

TEST_F(Dressing, PictureOfALeaningFadingWindGroup) {
  ZEMTL* mtl = Material(2, true);
  mtl->attributes = (mtl->attributes & ~15u) | 1u;  // alpha blended
  ZeMtlUpdate(mtl);
  // A blade: a thin upright quad 0.3 wide and 2 high.
  const uint32_t col = 0x800080f0u;  // R 0xf0, G 0x80, B 0
  std::vector<ZEVTX> v = {
      {{-0.15f, 0, 0}, {0, 0, -1}, col, 0, 0}, {{0.15f, 0, 0}, {0, 0, -1}, col, 1, 0},
      {{-0.15f, 2, 0}, {0, 0, -1}, col, 0, 1}, {{0.15f, 0, 0}, {0, 0, -1}, col, 1, 0},
      {{0.15f, 2, 0}, {0, 0, -1}, col, 1, 1},  {{-0.15f, 2, 0}, {0, 0, -1}, col, 0, 1},
  };
  uint32_t* chain = Block<uint32_t>(4096);
  MeshPacket(chain, v, nullptr);
  ZEGOBJ* blade = OneNodeObject(Block<ZEGOBJ>(sizeof(ZEGOBJ)), Block<ZEGEOM>(sizeof(ZEGEOM)), mtl, chain,
                                {-0.15f, 0, 0}, {0.15f, 2, 0});
  EXPECT_EQ(ZeFadeSetFxCodeMtls(blade, vu_load_tricuf_mpg), 2);
  // A solid blade near the camera, one in the fade band, one beyond the
  // draw range.
  ZEMTX* m = ZeWindAllocMtxs(3);
  const ZEVEC at[3] = {{-2, -1, 0}, {1, -1, 2}, {3, -1, 5}};
  for (int i = 0; i < 3; i++) {
    ZeMtxSetIdentity(&m[i]);
    m[i].m[3][0] = at[i].x, m[i].m[3][1] = at[i].y, m[i].m[3][2] = at[i].z;
    m[i].m[3][3] = 1;  // sway height
  }
  ZeWindGrp* g = ZeWindCreateMtx(1, 1, 10.5f, 14, nullptr, -1, m, 3, 0);
  ASSERT_NE(g, nullptr);
  g->object = blade;
  const uint32_t back = 0x202020;
  ZEVEC away = {100, 0, 100};
  auto draw = [&] { ZeWindDraw(); };
  // All three in range first, to find the far blade's pixels.
  g->drawrange = 30, g->fadelen = 30 - 10.5f, g->rangesq = 2000;
  ZeWindUpdate(&away);
  const Picture all = Grab(Frame(draw), 160, 40, 320, 160, "dressing_wind_all");
  g->drawrange = 14, g->fadelen = 14 - 10.5f;
  ASSERT_TRUE(g->drawn);
  const Picture upright = Grab(Frame(draw), 160, 40, 320, 160, "dressing_wind_upright");
  for (int f = 0; f < 40; f++) ZeWindUpdate(&away);
  const Picture leaning = Grab(Frame(draw), 160, 40, 320, 160, "dressing_wind_leaning");
  // The solid blade in its own colour; the fading one blended by
  // (draw range - distance) / fade length.
  const uint32_t solid = 0x0080f0;
  const float d1 = std::sqrt(1.0f + 1.0f + 144.0f);
  const int a1 = int((14 - d1) / 3.5f * 128);
  const uint32_t faded = Mix(solid, back, a1);
  int nsolid = 0, nfaded = 0, nother = 0;
  for (uint32_t p : upright.px) {
    p &= 0xffffff;
    if (p == back) continue;
    if (p == solid) nsolid++;
    else if (Near(p, faded)) nfaded++;
    else nother++;
  }
  EXPECT_GT(nsolid, 50);
  EXPECT_GT(nfaded, 20);
  EXPECT_LT(nother, nsolid / 4) << "only edges differ";
  // The far blade is drawn with a large range and not with the real one.
  int farpx = 0;
  for (size_t i = 0; i < all.px.size(); i++)
    if ((all.px[i] & 0xffffff) != back && (upright.px[i] & 0xffffff) == back) farpx++;
  EXPECT_GT(farpx, 10) << "the blade beyond the draw range";
  // Leaning: the solid blade's top row moves sideways, its foot stays.
  auto span = [&](const Picture& p, bool top) {
    for (int k = 0; k < p.h; k++) {
      int y = top ? p.y0 + k : p.y0 + p.h - 1 - k;
      for (int x = p.x0; x < p.x0 + p.w; x++)
        if (p.at(x, y) == solid) return x;
    }
    return -1;
  };
  EXPECT_NEAR(span(upright, false), span(leaning, false), 1) << "the foot stays";
  EXPECT_GT(std::abs(span(upright, true) - span(leaning, true)), 3) << "the top leans";
}

TEST_F(Dressing, PictureOfABridgeWithRopesSaggingUnderThePlayer) {
  ZEMTL* rope = Material(2, true);
  const ZEVEC start = {-3, -1, 0}, end = {3, -1, 0};
  int k = ZeBridgeCreate(1.0f, 0.05f, 0.1f, -0.01f, 3.0f, 0.5f, 1.0f, nullptr, nullptr, nullptr, &start, &end, 0,
                         7, 3, 0x800000ffu);
  ASSERT_EQ(k, 0);
  ZeBridge& b = Bridges[k];
  ZEVEC player = {0, -1, 0};
  ZeBridgeUpdate(&player);  // near the camera
  ASSERT_TRUE(b.nearcam);
  auto draw = [&] { ZeBridgeDraw(rope); };
  const Picture level = Grab(Frame(draw), 200, 40, 240, 140, "dressing_bridge_level");
  b.visible = 1;
  for (int f = 0; f < 60; f++) {
    b.touched = 5;
    ZeBridgeUpdate(&player);
  }
  const Picture sagging = Grab(Frame(draw), 200, 40, 240, 140, "dressing_bridge_sagging");
  // The ropes in their colour, level at first; then the middle sinks
  // further than the parts near the ends.
  auto lowest = [](const Picture& p, int x) {
    for (int y = p.y0 + p.h - 1; y >= p.y0; y--)
      if (p.at(x, y) == 0x0000ff) return y;
    return -1;
  };
  EXPECT_GT(level.Count(0x0000ff), 100);
  const int mid = 320, side = 210;
  ASSERT_GE(lowest(level, mid), 0);
  ASSERT_GE(lowest(level, side), 0);
  EXPECT_EQ(lowest(level, mid), lowest(level, side)) << "level before the player's weight";
  const int midsag = lowest(sagging, mid) - lowest(level, mid), sidesag = lowest(sagging, side) - lowest(level, side);
  EXPECT_GT(midsag, sidesag + 2) << "the middle sags most";
  EXPECT_GT(sidesag, 0);
}
