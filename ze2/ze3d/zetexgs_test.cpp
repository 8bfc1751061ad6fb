// Pictures: a texture of every type, uploaded by its own packets through
// VIF1 and selected by ZeTexSet, drawn as a sprite into a small target by
// the GS model; every pixel must be its texel.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "textool.h"
#include "ze3d_test.h"
#include "zetex_test.h"

namespace {

constexpr int FBP = 64;  // the target's page: far from the textures at the top

// Draws texture id as a w x h sprite with UV = pixel (nearest, decal) into
// the target at FBP and returns the target's pixels as 0xAABBGGRR.
std::vector<uint32_t> DrawSprite(ZETEXID id, int level, int w, int h) {
  EeQwords buf(256);
  uint32_t* p = buf.w;
  gs_ptr = gs_top;
  p = ZeTexAccomodate(p, id, 0);
  ZeTexSetTFXMode(id, 1);  // decal: the texel as it is
  p = ZeTexSet(p, id, 0);
  const int fbw = (w + 63) / 64;
  uint32_t* tag = p;
  p = vpDmaTag_CntEx(p, VIFCODE_FLUSH, 0);
  vtBeginDirect(tag + 3, 0);
  p = gsBeginGifPacket(p, 0, 1, 0, 0, GIF_FLG_PACKED, 1, GIF_REG_AD);
  auto ad = [&](int reg, uint64_t v) { p = ZeTexPutAd(p, v, reg); };
  ad(GS_FRAME_1, FBP | uint64_t(fbw) << 16 | uint64_t(PSMCT32) << 24);
  ad(GS_ZBUF_1, uint64_t(1) << 32);
  ad(GS_XYOFFSET_1, 0);
  ad(GS_SCISSOR_1, uint64_t(w - 1) << 16 | uint64_t(h - 1) << 48);
  ad(GS_TEST_1, 0);
  ad(GS_ALPHA_1, 0);
  ad(GS_PRMODECONT, 1);
  // Level `level` alone: MXL 0 and the level's base as TBP0.
  ad(GS_TEX1_1, 0);
  if (level) {
    // The level's address and size (known once its upload is placed).
    ZEPS2TEX* r = TexTable::Rec(id);
    uint64_t tex0 = Ps2TxGetTex0(r, nullptr) | uint64_t(1) << 35;
    tex0 = (tex0 & ~uint64_t(0xfffff)) | r->level_addr[level] | uint64_t(r->level_tbw[level]) << 14;
    tex0 = (tex0 & ~(uint64_t(0xff) << 26)) | uint64_t(r->tw - level) << 26 | uint64_t(r->th - level) << 30;
    ad(GS_TEX0_1, tex0);
  }
  ad(GS_PRIM, 6 | 1 << 4 | 1 << 8);  // sprite, textured, UV
  ad(GS_UV, 0);
  ad(GS_XYZ2, 0);
  ad(GS_UV, uint64_t(w << 4) | uint64_t(h << 4) << 16);
  ad(GS_XYZ2, uint64_t(w << 4) | uint64_t(h << 4) << 16);
  p = vpDmaTag_Close(vtCloseDirect(gsCloseGifPacket(p)));
  p = vpDmaTag_End(p);
  EXPECT_LT(p, buf.qw(256));
  VU1_DmaWrite(buf.w);
  vu1_dma_status = 0;
  std::vector<uint32_t> out(size_t(w) * size_t(h));
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) out[size_t(y) * size_t(w) + size_t(x)] = GsMemReadPixel(PSMCT32, FBP * 32, fbw, x, y);
  return out;
}

// Texel i of level l of an image of type 3, 4 or 5, as RGB.
uint32_t ImageTexel(const ZETEX& img, int l, int i) {
  const uint8_t* t = img.texels;
  for (int k = 0; k < l; k++) t += ZeTexLevelBytes(img.type, img.width >> k, img.height >> k);
  const uint8_t* pal = img.palette;
  switch (img.type) {
    case ZETEX_RGBA32: return uint32_t(t[4 * i + 3]) | uint32_t(t[4 * i + 2]) << 8 | uint32_t(t[4 * i + 1]) << 16;
    case ZETEX_PAL8: pal += 4 * t[i]; break;
    default: pal += 4 * ((i & 1) ? t[i / 2] & 15 : t[i / 2] >> 4); break;
  }
  return uint32_t(pal[0]) | uint32_t(pal[1]) << 8 | uint32_t(pal[2]) << 16;
}

struct Pictures : TexTable {
  void SetUp() override {
    TexTable::SetUp();
    GsReset();
  }
};

}  // namespace

TEST_F(Pictures, EveryTypeSamplesAsItsPicture) {
  struct Case {
    int type, w, h;
  } cases[] = {
      {ZETEX_RGB16, 16, 16}, {ZETEX_RGBA16, 16, 8},   {ZETEX_RGB24, 32, 16},    {ZETEX_RGBA32, 16, 16},
      {ZETEX_PAL4, 32, 16},  {ZETEX_PAL8, 16, 32},    {ZETEX_PAL4_SWZ, 128, 128}, {ZETEX_PAL8_SWZ, 128, 16},
  };
  for (const Case& c : cases) {
    RgbaImage pic = TestPattern(c.w, c.h);
    std::string error;
    ZETEX* img = TexFromRgba(pic, c.type, 1, &error);
    ASSERT_NE(img, nullptr) << error;
    ZETEXID id = ZeTexCreate(img);
    std::vector<uint32_t> got = DrawSprite(id, 0, c.w, c.h);
    int wrong = 0;
    for (size_t i = 0; i < got.size(); i++) wrong += (got[i] & 0xffffff) != (pic.pixels[i] & 0xffffff);
    EXPECT_EQ(wrong, 0) << "type " << c.type << ": first pixel " << std::hex << got[0] << " want " << pic.pixels[0];
  }
}

TEST_F(Pictures, SmallLevelsSampleFromTheirBlockOffsets) {
  // Levels of 32, 16 and 8 texels: the last two inside level 1's page... of
  // level 0's page for 32-bit, and of the 64-wide level's for 8-bit.
  for (int type : {ZETEX_RGBA32, ZETEX_PAL8, ZETEX_PAL4}) {
    const int size = type == ZETEX_RGBA32 ? 32 : 64;
    const int levels = type == ZETEX_RGBA32 ? 3 : 4;
    RgbaImage pic = TestPattern(size, size);
    std::string error;
    ZETEX* img = TexFromRgba(pic, type, levels, &error);
    ASSERT_NE(img, nullptr) << error;
    // The reference: each level's texels as the image holds them (an upload
    // that overwrote another level would show here).
    const ZETEX src = *img;
    ZETEXID id = ZeTexCreate(img);
    ZEPS2TEX* r = Rec(id);
    ASSERT_EQ(r->levels, levels);
    EXPECT_LT(r->level_vram[levels - 1], 256u) << "the smallest level has a block offset";
    for (int l = 1; l < levels; l++) {
      const int w = size >> l;
      std::vector<uint32_t> got = DrawSprite(id, l, w, w);
      int wrong = 0;
      for (int i = 0; i < w * w; i++) wrong += (got[size_t(i)] & 0xffffff) != ImageTexel(src, l, i);
      EXPECT_EQ(wrong, 0) << "type " << type << " level " << l;
    }
  }
}

TEST_F(Pictures, ATextureGoesUpThroughTheRenderListAndTheFrameKick) {
  ZeTrigInit();
  ZeRndrStreamClearZBState();
  ZeRndrStreamInit(ZERNDRSTREAM_DEFAULT_BUFFER);
  ZeMtlInit();
  RgbaImage pic = TestPattern(128, 16);
  std::string error;
  ZETEX* img = TexFromRgba(pic, ZETEX_PAL8_SWZ, 1, &error);
  ASSERT_NE(img, nullptr) << error;
  ZETEXID id = ZeTexCreate(img);
  ZEMTL* m = ZeMtlCreate(1);
  m->texture = id;
  ZeMtlUpdate(m);
  // Geometry for the material this frame: an empty packet by the protocol.
  ZeRndrStreamLink(&m->stream);
  uint32_t* p = vpDmaTag_Cnt(m->stream.write);
  p = vpDmaTag_Close(p);
  m->stream.write = p;
  rndrstream_free = vpDmaTag_Next(p, nullptr);

  ZeMtlBuildRenderList(0xffffff);
  ZeRndrStreamFlush();
  ZeRndrVu1Draw();
  vu1_dma_status = 0;  // no DMA-end handler is installed here
  RgbaImage got;
  // Read back where the frame put it (no second upload: the slot keeps the
  // addresses of the upload the render list placed).
  ZEPS2TEX* r = Rec(id);
  EXPECT_EQ(r->level_addr[0], 0x4000 - 32 - 32) << "a page below the palette at the stream's top";
  int wrong = 0;
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 128; x++) {
      uint32_t i = GsMemReadPixel(PSMT8, r->level_addr[0], r->level_tbw[0], x, y);
      const int j = int((i & ~0x18u) | ((i & 8) << 1) | ((i & 16) >> 1));
      uint32_t c = GsMemReadPixel(PSMCT32, r->cbp, 1, j % 16, j / 16);
      wrong += (c & 0xffffff) != (pic.pixels[size_t(y * 128 + x)] & 0xffffff);
    }
  EXPECT_EQ(wrong, 0);
  ZeMtlClose();
}

namespace {

struct TexturePage : testing::Test {
  char* texBuf = nullptr;
  char* mtlBuf = nullptr;
  void SetUp() override {
    StartRenderer(&texBuf, &mtlBuf, 16);
  }
  void TearDown() override {
    StopRenderer(texBuf, mtlBuf);
  }
};

// The textures the page view's materials show.
std::vector<ZETEXID> Shown() {
  std::vector<ZETEXID> out;
  for (ZEMTL* m = ZeMtlIterate(1); m; m = ZeMtlIterate(0))
    if (m->texture > 0 && (m->attributes >> 14 & 3) == 3) out.push_back(m->texture);
  return out;
}

}  // namespace

TEST_F(TexturePage, TexturesAreLaidOutPageByPage) {
  // 256 x 256 texels take 0.4 of the width and 0.57 of the height: the
  // second does not fit beside or below the first and starts page 1, where
  // the two 64 x 64 ones fit beside it.
  TestImage opaque(ZETEX_RGB24, 256, 256);
  TestImage big(ZETEX_RGBA32, 256, 256);
  TestImage small(ZETEX_PAL8, 64, 64);
  ZETEXID a = ZeTexCreate(&opaque.tex);
  ZETEXID b = ZeTexCreate(&big.tex);
  ZETEXID c = ZeTexCreate(&small.tex);
  ZETEXID d = ZeTexCreate(&small.tex);
  ZeRndrBeginScene(-1);
  ZeTexDisplayTexturePage(1, 2, 0.5f);
  EXPECT_EQ(Shown(), (std::vector<ZETEXID>{b, c, d}));
  ZEMTL* m = ZeMtlIterate(1);
  while (m && m->texture != c) m = ZeMtlIterate(0);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->attributes & 15, 2u) << "the alpha mode for a texture with alpha";
  EXPECT_EQ(m->attributes >> 4 & 3, 2u);
  EXPECT_EQ(m->diffuse[0], 1.0f);
  // Page 0 holds the first alone; its material is the cache's first again.
  ZeTexDisplayTexturePage(0, 2, 0.5f);
  m = ZeMtlIterate(1);
  while (m && m->texture != a) m = ZeMtlIterate(0);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->attributes & 15, 0u) << "no blending without alpha";
  int shownB = 0;
  for (ZETEXID t : Shown()) shownB += t == b;
  EXPECT_EQ(shownB, 0);
  ZeRndrEndScene();
}

TEST_F(TexturePage, APageIsDrawnOnScreen) {
  RgbaImage pic = TestPattern(64, 64);
  std::string error;
  ZETEX* img = TexFromRgba(pic, ZETEX_PAL8, 1, &error);
  ASSERT_NE(img, nullptr) << error;
  ZeTexCreate(img);
  ZeTexCreate(img);
  ZeRndrBeginScene(-1);
  ZeRndrGradClear(0x0, 0x202020, 0x202020, 1.0f);
  ZeTexDisplayTexturePage(0, 0, 0.5f);
  ZeRndrEndScene();
  ZeRndrSwapScreen(-1);
  KernelYield();
  ZeRndrSwapScreen(-1);
  KernelYield();
  int w = 0, h = 0;
  const uint32_t* shown = DisplayField(&w, &h);
  ASSERT_EQ(w, 640);
  // The first box from (64, 22), 64 x 32 pixels (a field has half the
  // lines): the middle of the pattern's 4 x 4 blocks (vertically 4 x 2).
  int wrong = 0;
  for (int by = 0; by < 8; by++)
    for (int bx = 0; bx < 16; bx++) {
      const int x = int(0.1f * 640) + bx * 4 + 2, y = int(0.1f * 224 + 0.5f) + by * 2 + 1;
      wrong += (shown[y * w + x] & 0xffffff) != (pic.pixels[size_t((by * 4 + 2) * 64 + bx * 4 + 2)] & 0xffffff);
    }
  EXPECT_EQ(wrong, 0);
}

// ---- small textures through a material --------------------------------------

namespace {

constexpr int SMALL_W = 128, SMALL_H = 128;  // the target: a 32-bit render-target texture

struct SmallCase {
  int w, h;
  int x = 0, y = 0;  // placement in the target
};

// Every power-of-two size from 1 x 1 to 32 x 32, square and not, and some
// sizes that are not powers of two, shelved across the target with a
// 2-pixel gap so that a primitive reaching past its place shows.
std::vector<SmallCase> SmallCases() {
  std::vector<SmallCase> out;
  for (int h = 1; h <= 32; h *= 2)
    for (int w = 1; w <= 32; w *= 2) out.push_back({w, h});
  for (auto [w, h] : {std::pair{3, 5}, {7, 7}, {12, 6}, {1, 3}, {5, 1}, {24, 2}}) out.push_back({w, h});
  int x = 2, y = 2, shelf = 0;
  for (SmallCase& c : out) {
    if (x + c.w + 2 > SMALL_W) x = 2, y += shelf + 2, shelf = 0;
    c.x = x, c.y = y;
    x += c.w + 2;
    shelf = std::max(shelf, c.h);
  }
  EXPECT_LE(y + shelf + 2, SMALL_H);
  return out;
}

// A seeded random image as the readers make it: rows of whole bytes, 4-bit
// texels left in the high nibble, palette entries R, G, B, A.
void FillRandom(TestImage* img, uint32_t seed) {
  uint32_t s = seed;
  auto next = [&s] {
    s = s * 1664525u + 1013904223u;
    return uint8_t(s >> 24);
  };
  const int bytes = ZeTexLevelBytes(img->tex.type, img->tex.width, img->tex.height);
  for (int i = 0; i < bytes; i++) img->texels[i] = next();
  if (img->palette)
    for (int i = 0; i < 1024; i++) img->palette[i] = next();
}

// The colour texel (x, y) of the image gives (0xAABBGGRR) when modulated by
// a vertex colour of 0x80 in every channel: the texel as the GS reads it.
uint32_t ExpectedTexel(const ZETEX& img, int x, int y) {
  static constexpr int BITS[6] = {16, 16, 24, 32, 4, 8};
  const int row = (img.width * BITS[img.type] + 7) / 8;
  const uint8_t* r = img.texels.get() + size_t(y) * size_t(row);
  auto entry = [&](int i) {
    const uint8_t* p = img.palette.get() + 4 * i;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  };
  switch (img.type) {
    case ZETEX_RGB16:
    case ZETEX_RGBA16: {
      const uint32_t v = uint32_t(r[2 * x]) | uint32_t(r[2 * x + 1]) << 8;
      // TEXA: alpha 0x80 for a clear top bit, 0 for a set one.
      return (v & 31) << 3 | ((v >> 5) & 31) << 11 | ((v >> 10) & 31) << 19 | ((v >> 15) ? 0u : 0x80u << 24);
    }
    case ZETEX_RGB24:  // B, G, R; no texel alpha: the vertex's
      return uint32_t(r[3 * x + 2]) | uint32_t(r[3 * x + 1]) << 8 | uint32_t(r[3 * x]) << 16 | 0x80u << 24;
    case ZETEX_RGBA32:  // A, B, G, R; alpha halved into the GS's range
      return uint32_t(r[4 * x + 3]) | uint32_t(r[4 * x + 2]) << 8 | uint32_t(r[4 * x + 1]) << 16 |
             uint32_t(r[4 * x] >> 1) << 24;
    case ZETEX_PAL8: return entry(r[x]);
    default: return entry((x & 1) ? r[x / 2] & 15 : r[x / 2] >> 4);
  }
}

// The renderer with a render target of its own: a frame drawn there keeps
// the alpha the pixels get (the display's frame mask keeps the old alpha).
struct SmallTextures : testing::Test {
  char* texBuf = nullptr;
  char* mtlBuf = nullptr;
  ZETEXID target = 0;
  void SetUp() override {
    StartRenderer(&texBuf, &mtlBuf, 64);
    ZETEX rt{};
    rt.type = ZETEX_RT_CT32R;
    rt.width = SMALL_W;
    rt.height = SMALL_H;
    target = ZeTexCreate(&rt);
  }
  void TearDown() override { StopRenderer(texBuf, mtlBuf); }
};

}  // namespace

TEST_F(SmallTextures, EverySmallSizeOfEveryFormatDrawsItsTexels) {
  const std::vector<SmallCase> cases = SmallCases();
  constexpr uint32_t CLEAR = 0x00563412;
  for (int type : {ZETEX_RGBA32, ZETEX_RGB24, ZETEX_RGBA16, ZETEX_PAL8, ZETEX_PAL4}) {
    std::vector<std::unique_ptr<TestImage>> images;
    std::vector<ZEMTL*> mtls;
    std::vector<uint32_t> want(size_t(SMALL_W) * SMALL_H, CLEAR);
    for (const SmallCase& c : cases) {
      images.push_back(std::make_unique<TestImage>(type, c.w, c.h));
      TestImage& img = *images.back();
      FillRandom(&img, uint32_t(type * 1000 + c.w * 37 + c.h));
      for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) want[size_t(c.y + y) * SMALL_W + size_t(c.x + x)] = ExpectedTexel(img.tex, x, y);
      ZEMTL* m = ZeMtlCreate(1);
      m->texture = ZeTexCreate(&img.tex);
      // Nearest texels, no blending, no depth test or write; alpha written.
      m->attributes = (m->attributes & ~0x3fu) | 3u << ZEMTLATTR_DEPTH | 1u << ZEMTLATTR_FRAMEALPHA;
      m->diffuse[0] = m->diffuse[1] = m->diffuse[2] = 1.0f;
      m->alpha = 1.0f;
      ZeMtlUpdate(m);
      mtls.push_back(m);
    }
    ZeRndrBeginScene(target);
    ZeRndrClear(0x700, CLEAR, 1.0f);
    for (size_t i = 0; i < cases.size(); i++) {
      const SmallCase& c = cases[i];
      // One texel a pixel: the picture's share of the 2^TW x 2^TH texture.
      const float ub = float(c.w) / float(1 << Ps2TxValToPowerOfTwo(c.w));
      const float vb = float(c.h) / float(1 << Ps2TxValToPowerOfTwo(c.h));
      ZeRndrRectUV2di(c.x * 16, c.y * 16, c.w * 16, c.h * 16, 0x80808080, mtls[i], 0, 0, ub, vb);
    }
    ZeRndrEndScene();
    ZePs2ScreenSwap(1);
    ZeRndrVu1Draw();
    KernelYield();
    ZeRndrSwapStreamBuffers();

    const ZEPS2TEX* rt = TexTable::Rec(target);
    const uint32_t fbp = rt->level_addr[0], fbw = rt->level_tbw[0];
    int wrong = 0;
    std::string first;
    for (int y = 0; y < SMALL_H; y++)
      for (int x = 0; x < SMALL_W; x++) {
        const uint32_t got = GsMemReadPixel(PSMCT32, fbp, fbw, x, y), w = want[size_t(y) * SMALL_W + size_t(x)];
        if (got == w) continue;
        if (!wrong++) {
          char buf[96];
          snprintf(buf, sizeof buf, "(%d, %d): %08x, want %08x", x, y, got, w);
          first = buf;
        }
      }
    EXPECT_EQ(wrong, 0) << "type " << type << ", first at " << first;
    for (ZEMTL* m : mtls) {
      ZeTexDestroy(m->texture);
      ZeMtlDestroy(m);
    }
  }
}
