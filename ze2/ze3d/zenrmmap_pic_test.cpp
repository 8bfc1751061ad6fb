// Screen-copy effects on the GS model: glass and water materials reading the
// screen copy through the triglass and water programs, a wateruv material's
// waves, and a normal-map material's palette drawn by the GS into its CLUT
// block and read back through the index order. Each picture is also written
// into the build directory (pictures/scrcopy_*.png).
#include "zelgt_test.h"

namespace {

// Channels are multiples of 4, so that an average of four is exact.
constexpr uint32_t TILE[3] = {0x00c02010, 0x0010c020, 0x002010c0};
// The region the tiles fill (pixels); the squares lie at z 0, the camera 10
// behind.
constexpr int X0 = 248, X1 = 392, Y0 = 52, Y1 = 172;

// Each channel of c times the vertex colour's (0x80 is one).
uint32_t Modulate(uint32_t c, uint32_t v) {
  uint32_t r = 0;
  for (int k = 0; k < 3; k++) r |= std::min(((c >> (8 * k) & 0xff) * (v >> (8 * k) & 0xff)) >> 7, 255u) << (8 * k);
  return r;
}

struct ScreenCopyPic : Light {
  void SetUp() override {
    Light::SetUp();
    ZeGlassInit(1);
    ZeWaterInit();
  }
  void TearDown() override {
    ZeNormalMapSetEnvUV(0.0f, 0.0f);
    if (zenormalmap_initialised) ZeNormalMapClose();
    ZeGlassClose();
    for (void* b : blocks) ZeMemFree(b);
    Light::TearDown();
  }
  void* Block(size_t bytes) {
    void* b = ZeMemAlloc(int(bytes + 16));
    memset(b, 0, bytes + 16);
    blocks.push_back(b);
    return b;
  }
  // A square of half side h about (cx, cy) at z 0 facing the camera, every
  // vertex one colour, texture corners (u0, v0)-(u1, v1), as a mesh object.
  ZEGOBJ* Square(ZEMTL* m, float cx, float cy, float h, uint32_t colour, float u0 = 0, float v0 = 0, float u1 = 1,
                 float v1 = 1) {
    const ZEVEC n = {0, 0, -1};
    const ZEVTX q[4] = {{{cx - h, cy + h, 0}, n, colour, u0, v0},
                        {{cx + h, cy + h, 0}, n, colour, u1, v0},
                        {{cx - h, cy - h, 0}, n, colour, u0, v1},
                        {{cx + h, cy - h, 0}, n, colour, u1, v1}};
    std::vector<ZEVTX> v;
    for (int i : {0, 1, 2, 1, 3, 2}) v.push_back(q[i]);
    auto* chain = static_cast<uint32_t*>(Block(4096));
    MeshPacket(chain, v, nullptr);
    const ZEVEC mn = {cx - h, cy - h, 0}, mx = {cx + h, cy + h, 0};
    ZEGOBJ* obj = OneNodeObject(static_cast<ZEGOBJ*>(Block(sizeof(ZEGOBJ))),
                                static_cast<ZEGEOM*>(Block(sizeof(ZEGEOM))), m, chain, mn, mx);
    obj->tricount = 2;
    return obj;
  }
  // Tiles of 4 x 4 pixels in three colours.
  void Tiles() {
    const uint32_t z = DepthAt(20.0f);
    for (int y = Y0; y < Y1; y += 4)
      for (int x = X0; x < X1; x += 4) Wall(x, y, x + 4, y + 4, TileAt(x, y), z);
  }
  static uint32_t TileAt(int x, int y) { return TILE[(x / 4 + 2 * (y / 4)) % 3]; }
  // Texel (x, y) of the screen copy (read from video memory).
  static uint32_t CopyAt(int x, int y) {
    ZETEXSLOT* slot;
    ZEPS2TEX* ps2;
    if (!ZeTexGetPointers(zeglass_rt, &slot, &ps2)) return 0xdeadbeef;
    return GsMemReadPixel(PSMCT32, uint32_t(ps2->fixed_addr), uint32_t(ps2->level_tbw[0]), x, y) & 0xffffff;
  }
  // What a bilinear read of the copy gives at pixel (x, y): ST maps pixel
  // x to texel x, which the GS samples at the pixel's integer position,
  // between texels x - 1 and x (and rows y - 1 and y), a quarter each.
  static uint32_t CopyBilinear(int x, int y) {
    uint32_t r = 0;
    for (int k = 0; k < 3; k++) {
      uint32_t sum = 0;
      for (int j = 0; j < 4; j++) sum += CopyAt(x - 1 + (j & 1), y - 1 + (j >> 1)) >> (8 * k) & 0xff;
      r |= (sum / 4) << (8 * k);
    }
    return r;
  }
  // One frame (a new wave time): the clear colour, the tiles when asked,
  // then the objects, each at the origin.
  uint64_t ObjFrame(const std::vector<ZEGOBJ*>& objs, bool tiles = false) {
    uint64_t frame;
    ZePs2GetCurrentBackBuffer(&frame);
    ZeWaterReset();
    ZeRndrBeginScene(-1);
    ZeRndrClear(0x300, 0x80404040, 1.0f);
    if (tiles) Tiles();
    ZEMTX id;
    ZeMtxSetIdentity(&id);
    for (ZEGOBJ* o : objs) ZeRndrGScnObj(o, &id);
    ZeRndrEndScene();
    ZePs2ScreenSwap(1);
    ZeRndrVu1Draw();
    KernelYield();
    ZeRndrSwapStreamBuffers();
    return frame;
  }
  // The pixel rectangle a square covers, one pixel in from its edges.
  static void Inside(float cx, float cy, float h, int* x0, int* y0, int* x1, int* y1) {
    Screen({cx - h, cy + h, 0}, x0, y0);
    Screen({cx + h, cy - h, 0}, x1, y1);
    *x0 += 1, *y0 += 1, *x1 -= 2, *y1 -= 2;
  }
  // A material of the effect, colour one, opaque.
  static ZEMTL* EffectMtl(int effect, ZETEXID tex = 0) {
    ZEMTL* m = ZeMtlCreate(1);
    m->diffuse[0] = m->diffuse[1] = m->diffuse[2] = 1.0f;
    m->alpha = 1.0f;
    m->texture = tex;
    m->effect_id = uint8_t(effect);
    ZeMtlUpdate(m);
    return m;
  }
  // A light material for normal maps: a 256 x 256 texture whose first
  // 16 x 16 window has texel (x, y) red 8 + 16 x, green 8 + 16 y and the
  // blue given; sampled nearest, in context 2.
  ZEMTL* LightMaterial(uint8_t blue) {
    auto* light = static_cast<uint8_t*>(Block(256 * 256 * 4));
    for (int y = 0; y < 16; y++)
      for (int x = 0; x < 16; x++) {
        uint8_t* t = light + 4 * (y * 256 + x);
        t[0] = 0xff, t[1] = blue, t[2] = uint8_t(8 + 16 * y), t[3] = uint8_t(8 + 16 * x);
      }
    ZETEX limg{ZETEX_RGBA32, 256, 256, 1, light, nullptr};
    ZEMTL* m = EffectMtl(0, ZeTexCreate(&limg));
    m->context = 1;
    m->attributes &= ~(3u << ZEMTLATTR_FILTER);
    ZeMtlUpdate(m);
    return m;
  }
  // A normal map of 16 x 16 indices, texel (x, y) the slope pair (x, y) in
  // the order the converter leaves.
  ZETEXID NormalMapTexture() {
    auto* idx = static_cast<uint8_t*>(Block(256));
    auto* pal = static_cast<uint8_t*>(Block(1024));
    for (int i = 0; i < 256; i++) idx[i] = ZeNormalMapSwizzle(i);
    ZETEX nimg{ZETEX_PAL8, 16, 16, 1, idx, pal};
    return ZeTexCreate(&nimg);
  }
  static ZEMTL* NormalMapMaterial(ZETEXID tex, ZEMTL* light) {
    ZEMTL* m = EffectMtl(0x8a, tex);
    const uint32_t addr = EeAddrOf(light);
    memcpy(&m->p[1], &addr, 4);
    ZeMtlUpdate(m);
    return m;
  }
  // Palette entry (x, y) of a light material with that blue: the texel
  // under the sprite's colour 0x7f.
  static uint32_t Entry(int x, int y, uint32_t blue) {
    return Modulate(uint32_t(8 + 16 * x) | uint32_t(8 + 16 * y) << 8 | blue << 16, 0x7f7f7f);
  }
  // A square of one texel of a normal map, over the clear colour 0x404040
  // with the palette's alpha 0x7e: (Cs - Cd) x As >> 7 + Cd.
  static uint32_t OnClear(uint32_t entry) {
    uint32_t want = 0;
    for (int k = 0; k < 3; k++) {
      const int cs = int(entry >> (8 * k) & 0xff), cd = 0x40;
      want |= uint32_t((((cs - cd) * 0x7e) >> 7) + cd) << (8 * k);
    }
    return want;
  }
  std::vector<void*> blocks;
};


// Glass with no distortion shows the pixels behind it, read from the screen
// copy and tinted by its vertex colour; pushed along its normal it shows
// them magnified about the screen's middle. Catches: the GS sampling a
// primitive at the pixel's integer position (a bilinear read of texel x at
// pixel x blends texels x - 1 and x), linear memory (the copy is a CT24 view
// of swizzled pages) and any texel of offset in the screen-to-UV mapping.
TEST_F(ScreenCopyPic, GlassShowsThePixelsBehindIt) {
  ZEMTL* glass = EffectMtl(0x82);
  EXPECT_EQ(glass->texture, zeglass_rt);
  const uint32_t tint = 0x80408080;  // blue halved
  ZEGOBJ* sq = Square(glass, 0, 0, 1, tint);
  const uint64_t f = ObjFrame({sq}, true);
  Grab(f, X0, Y0, X1 - X0, Y1 - Y0, "scrcopy_glass");
  int x0, y0, x1, y1;
  Inside(0, 0, 1, &x0, &y0, &x1, &y1);
  ASSERT_GT(x1 - x0, 20);
  int wrong = 0;
  for (int y = Y0; y < Y1; y++)
    for (int x = X0; x < X1; x++) {
      const bool in = x >= x0 && x <= x1 && y >= y0 && y <= y1;
      const bool edge = !in && x >= x0 - 2 && x <= x1 + 2 && y >= y0 - 2 && y <= y1 + 2;
      if (edge) continue;
      wrong += Px(f, x, y) != (in ? Modulate(CopyBilinear(x, y), tint) : TileAt(x, y));
    }
  EXPECT_EQ(wrong, 0);

  // Pushed half a unit toward the camera along the normal (the camera is
  // 10 away): pixel x reads the copy at 320 + (x - 320) x 10 / 9.5.
  glass->p[0] = 0.5f;
  ZeMtlUpdate(glass);
  const uint64_t g = ObjFrame({sq}, true);
  Grab(g, X0, Y0, X1 - X0, Y1 - Y0, "scrcopy_glass_pushed");
  int moved = 0;
  for (int y = y0; y <= y1; y++)
    for (int x = x0; x <= x1; x++) moved += Px(g, x, y) != Px(f, x, y);
  EXPECT_GT(moved, (x1 - x0) * (y1 - y0) / 4);
  const int xs[] = {x0 + 2, 300, x1 - 2};
  for (int x : xs) {
    const float fx = 320.0f + (float(x) - 320.0f) * 10.0f / 9.5f;
    // Between the texels about fx: one of the two reads either side.
    const int tx = int(std::floor(fx));
    const uint32_t c = Px(g, x, 112);
    EXPECT_TRUE(c == Modulate(CopyBilinear(tx, 112), tint) || c == Modulate(CopyBilinear(tx + 1, 112), tint))
        << x << " reads about " << fx;
  }
}

// A water material on the screen copy: with no wave scale it shows the
// pixels behind it as glass does; with waves the picture moves with the
// wave time and stands still while paused.
TEST_F(ScreenCopyPic, WaterReadsTheScreenCopyMovedByItsWaves) {
  ZEMTL* water = EffectMtl(0x84);
  water->p[0] = 1.0f, water->p[1] = 0.0f, water->p[2] = 0.0f, water->p[3] = 1.0f;
  ZeMtlUpdate(water);
  EXPECT_EQ(water->texture, zewater_rt);
  ZEGOBJ* sq = Square(water, 0, 0, 1, 0x80808080);
  const uint64_t f = ObjFrame({sq}, true);
  Grab(f, X0, Y0, X1 - X0, Y1 - Y0, "scrcopy_water_still");
  int x0, y0, x1, y1;
  Inside(0, 0, 1, &x0, &y0, &x1, &y1);
  int wrong = 0;
  for (int y = y0; y <= y1; y++)
    for (int x = x0; x <= x1; x++) wrong += Px(f, x, y) != CopyBilinear(x, y);
  EXPECT_EQ(wrong, 0) << "no wave scale: the copy under each pixel";

  // Entry 2 = ev2 / 48 / ev4; the vectors reach 0.05 ev4 (half of 0.1
  // ev4), so a pixel moves at most 0.05 x 8 / 48 of the 1024-wide copy:
  // about 8 pixels.
  water->p[1] = 8.0f;
  ZeMtlUpdate(water);
  auto waved = [&](const char* name) {
    const uint64_t g = ObjFrame({sq}, true);
    Grab(g, X0, Y0, X1 - X0, Y1 - Y0, name);
    std::vector<uint32_t> px;
    for (int y = y0; y <= y1; y++)
      for (int x = x0; x <= x1; x++) px.push_back(Px(g, x, y));
    return px;
  };
  const std::vector<uint32_t> a = waved("scrcopy_water_waves");
  const std::vector<uint32_t> b = waved("scrcopy_water_waves_later");
  int moved = 0;
  for (size_t i = 0; i < a.size(); i++) moved += a[i] != b[i];
  EXPECT_GT(moved, 0) << "the waves move with the time";
  ZeWaterSpeed(0.0f);
  const std::vector<uint32_t> c = waved("scrcopy_water_paused");
  const std::vector<uint32_t> d = waved("scrcopy_water_paused2");
  EXPECT_EQ(c, d) << "paused: still";
}

// wateruv: the material's own texture through its own coordinates, moved by
// the waves: with no wave scale a texel-exact copy of the texture, with one
// the same texels shifted.
TEST_F(ScreenCopyPic, WaterUvMovesItsOwnCoordinates) {
  // A 16 x 16 texture of 4 x 4 tiles of distinct colours.
  auto* texels = static_cast<uint8_t*>(Block(16 * 16 * 4));
  for (int i = 0; i < 256; i++) {
    const int tx = i % 16 / 4, ty = i / 64;
    uint8_t* t = texels + 4 * i;
    t[0] = 0xff, t[1] = uint8_t(0x30 * tx + 0x10), t[2] = uint8_t(0x10 * ty + 0x20), t[3] = 0x40;
  }
  ZETEX img{ZETEX_RGBA32, 16, 16, 1, texels, nullptr};
  ZEMTL* m = EffectMtl(0x86, ZeTexCreate(&img));
  m->p[0] = 1.0f, m->p[1] = 0.0f, m->p[2] = 0.0f, m->p[3] = 1.0f;
  ZeMtlUpdate(m);
  ZEGOBJ* sq = Square(m, 0, 0, 1, 0x80808080);
  const uint64_t f = ObjFrame({sq}, true);
  EXPECT_STREQ(Vu1ProgramAt(0x300), "wateruv");
  Grab(f, X0, Y0, X1 - X0, Y1 - Y0, "scrcopy_wateruv");
  int x0, y0, x1, y1;
  Inside(0, 0, 1, &x0, &y0, &x1, &y1);
  // Each quarter's middle pixel shows its texel: red 0x40, green by row,
  // blue by column.
  for (int ty = 0; ty < 4; ty++)
    for (int tx = 0; tx < 4; tx++) {
      const int x = x0 + (x1 - x0) * (2 * tx + 1) / 8, y = y0 + (y1 - y0) * (2 * ty + 1) / 8;
      const uint32_t want = 0x40u | uint32_t(0x10 * ty + 0x20) << 8 | uint32_t(0x30 * tx + 0x10) << 16;
      EXPECT_EQ(Px(f, x, y), want) << tx << "," << ty;
    }
  m->p[2] = 0.5f;  // entry 2 = p3 / p4
  ZeMtlUpdate(m);
  const uint64_t g = ObjFrame({sq}, true);
  Grab(g, X0, Y0, X1 - X0, Y1 - Y0, "scrcopy_wateruv_waves");
  int moved = 0;
  for (int y = y0; y <= y1; y++)
    for (int x = x0; x <= x1; x++) moved += Px(g, x, y) != Px(f, x, y);
  EXPECT_GT(moved, 0);
}

// A normal map lit through a palette the GS draws: the sprite copies a
// 16 x 16 window of the light texture into the reserved CLUT block (context
// 2), TEX0_1 reloads it, and a texel whose slope nibbles are (sx, sy) shows
// light texel (sx, sy). Catches: linear CLUT order (CSM1 keeps entries 8-15
// and 16-23 of every 32 swapped, which the index order undoes) and a
// palette that is not reloaded after the GS drew it.
TEST_F(ScreenCopyPic, NormalMapPaletteIsDrawnIntoItsClutBlock) {
  ZeNormalMapInit();
  ASSERT_NE(temp_pal, 0);
  ZEMTL* lightMtl = LightMaterial(0x30);
  const ZETEXID nmTex = NormalMapTexture();
  ZEMTL* nm = NormalMapMaterial(nmTex, lightMtl);
  // Squares each of one texel (its centre at every corner): slope pairs
  // across the swapped entries and the reordered index 0.
  const int pairs[][2] = {{0, 0}, {3, 0}, {9, 0}, {1, 1}, {12, 1}, {5, 9}, {15, 15}, {8, 2}};
  std::vector<ZEGOBJ*> objs;
  for (size_t i = 0; i < std::size(pairs); i++) {
    const float u = (float(pairs[i][0]) + 0.5f) / 16.0f, v = (float(pairs[i][1]) + 0.5f) / 16.0f;
    objs.push_back(Square(nm, -2.1f + 0.6f * float(i), 0.0f, 0.25f, 0x80808080, u, v, u, v));
  }
  const uint64_t f = ObjFrame(objs);
  Grab(f, 200, 92, 240, 40, "scrcopy_normalmap");
  // The CLUT block as an image: pixel (x, y) is light texel (x, y) under the
  // sprite's colour 0x7f, alpha 0x7f x 0x7f >> 7.
  std::vector<uint32_t> clut;
  int wrong = 0;
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) {
      const uint32_t c = GsMemReadPixel(PSMCT32, uint32_t(temp_pal_addr), 1, x, y);
      clut.push_back(c | 0xff000000u);
      wrong += c != (Entry(x, y, 0x30) | 0x7e000000u);
    }
  PngWrite(ZE_PICTURE_DIR "/scrcopy_normalmap_clut.png", clut.data(), 16, 16);
  EXPECT_EQ(wrong, 0) << "the palette image";
  // The squares: PRMODE 0x58 turns blending on over the clear colour.
  for (size_t i = 0; i < std::size(pairs); i++) {
    int x, y;
    Screen({-2.1f + 0.6f * float(i), 0.0f, 0.0f}, &x, &y);
    // Index 0 is never used: slope pair (0, 0) reads entry 1, pair (1, 0).
    const int sx = pairs[i][0] == 0 && pairs[i][1] == 0 ? 1 : pairs[i][0], sy = pairs[i][1];
    EXPECT_EQ(Px(f, x, y), OnClear(Entry(sx, sy, 0x30))) << pairs[i][0] << "," << pairs[i][1];
  }
}

// Two normal-map materials on one texture with different lights, in one
// frame: the second's palette is drawn over the first's in the same CLUT
// block, and must be loaded again although the block's address is the one
// the CLUT buffer already holds. Catches: a palette that is not reloaded
// after the GS draws it.
TEST_F(ScreenCopyPic, NormalMapsSharingATextureEachTakeTheirOwnPalette) {
  ZeNormalMapInit();
  const ZETEXID tex = NormalMapTexture();
  ZEMTL* a = NormalMapMaterial(tex, LightMaterial(0x30));
  ZEMTL* b = NormalMapMaterial(tex, LightMaterial(0xa0));
  const float u = 5.5f / 16.0f, v = 9.5f / 16.0f;
  const uint64_t f =
      ObjFrame({Square(a, -1, 0, 0.5f, 0x80808080, u, v, u, v), Square(b, 1, 0, 0.5f, 0x80808080, u, v, u, v)});
  Grab(f, 240, 92, 160, 40, "scrcopy_normalmap_two");
  int x, y;
  Screen({-1, 0, 0}, &x, &y);
  EXPECT_EQ(Px(f, x, y), OnClear(Entry(5, 9, 0x30))) << "the first light";
  Screen({1, 0, 0}, &x, &y);
  EXPECT_EQ(Px(f, x, y), OnClear(Entry(5, 9, 0xa0))) << "the second light";
}

}  // namespace
