// Procedural blend textures: the work buffer and its switch, each .raw
// layout's texels (read from the work buffer the conversion leaves), the
// native image in the caller's memory, and the refused inputs.
#include <array>
#include <cstdio>
#include <filesystem>
#include <set>
#include <vector>

#include "gamelib.h"
#include "platform_test.h"
#include "zecore.h"
#include "zecore_local.h"
#include "ze3d.h"
#include "zeps2.h"

namespace {

struct Blend : testing::Test {
  std::string dir = TestTempDir();
  char* texbuf = nullptr;
  char* pool = nullptr;
  void SetUp() override {
    PlatSetHostRoot(dir.c_str());
    ZeFileReset();
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    errmsg_disabled = 1;
    ZeTrigInit();
    texbuf = static_cast<char*>(ZeMemAlloc(ZeTexGetSysBuffSize(64) + 16));
    char* p = texbuf;
    ZeTexInitEx(&p, 64);
    ZeRndrStreamClearZBState();
    ZeRndrStreamInit(ZERNDRSTREAM_DEFAULT_BUFFER);
    pool = static_cast<char*>(ZeMemAlloc(ZeMtlGetSysBuffSize(32) + 16));
    p = pool;
    ZeMtlInitEx(&p, 32);
    glutils_raw_buffer = nullptr;
    glutils_raw_disabled = 0;
    glutils_high_count = 0;
  }
  void TearDown() override {
    ZeMtlClose();
    ZeMemFree(pool);
    ZeRndrStreamClose();
    ZeTexClose();
    ZeMemFree(texbuf);
    glutils_raw_buffer = nullptr;  // the heap block goes with the test's heap
    glutils_raw_disabled = 0;
    ZeFileReset();
    PlatSetHostRoot(nullptr);
    errmsg_disabled = 0;
  }
  void File(const char* name, const std::vector<uint8_t>& bytes) {
    FILE* f = fopen((dir + "/" + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }
  // Texel i of the work buffer: A, B, G, R.
  std::array<int, 4> Texel(int i, int offset = 0) {
    const uint8_t* t = glutils_raw_buffer + offset + 4 * i;
    return {t[0], t[1], t[2], t[3]};
  }
};

using T = std::array<int, 4>;

}  // namespace

TEST_F(Blend, WorkBufferFromTheHeapOnceOrLentBySetBalls) {
  File("A.RAW", std::vector<uint8_t>(64 * 64 * 4, 7));
  ConsoleCaptureScope console;
  errmsg_disabled = 0;
  ZEMTL* m = CreateAlphaBlendTexture64("a.raw", 0, 2, 300);
  errmsg_disabled = 1;
  ASSERT_NE(m, nullptr);
  EXPECT_NE(console.text().find("+ 2. Call SetBalls and tell it where it can temporarily get the memory from"),
            std::string::npos);
  uint8_t* heap = glutils_raw_buffer;
  ASSERT_NE(heap, nullptr);
  console.clear();
  errmsg_disabled = 0;
  CreateAlphaBlendTexture64("a.raw", 0, 2, 300);
  errmsg_disabled = 1;
  EXPECT_EQ(console.text().find("SetBalls"), std::string::npos) << "warned once";
  EXPECT_EQ(glutils_raw_buffer, heap);
  // A lent buffer: the cursor moves on by exactly the buffer's size.
  auto* lent = static_cast<char*>(EeMalloc(GLUTILS_RAW_BYTES + 64));
  char* cursor = lent;
  SetBalls(&cursor);
  EXPECT_EQ(cursor, lent + GLUTILS_RAW_BYTES);
  CreateAlphaBlendTexture64("a.raw", 0, 2, 300);
  EXPECT_EQ(glutils_raw_buffer, reinterpret_cast<uint8_t*>(lent));
  EXPECT_EQ(Texel(0), (T{7, 7, 7, 7}));
  // Switched off: every .raw conversion stops, even with a buffer.
  SetBalls(nullptr);
  EXPECT_HALT(CreateAlphaBlendTexture64("a.raw", 0, 2, 300),
              "You have attempted to load a .raw file - this feature has been disabled");
  EXPECT_NE(CreateSubtractiveTexture("missing.bmp"), nullptr) << "no bitmap: a material without a texture";
  ZeMemFreeTagged(heap);
  glutils_raw_buffer = nullptr;
  EeFree(lent);
}

TEST_F(Blend, SixteenBitTexelsAndTheGreenKey) {
  struct Case {
    int word;
    T texel;  // A, B, G, R
  } cases[] = {
      {0x03e0, {128, 0, 0, 0}},      // the key: black
      {0x7fff, {128, 255, 255, 255}},
      {0xffff, {128, 255, 255, 255}},  // the top bit never matters
      {0x001f, {128, 0, 0, 255}},    // red in the low bits
      {0x7c00, {128, 255, 0, 0}},    // blue in the high bits
      {0x0021, {128, 0, 8, 8}},      // 1 * 255 / 31 = 8
      {0x83e0, {128, 0, 255, 0}},    // green with the top bit is not the key
  };
  std::vector<uint8_t> file(131072, 0);
  const int n = int(sizeof cases / sizeof cases[0]);
  for (int i = 0; i < n; i++) file[size_t(2 * i)] = uint8_t(cases[i].word >> 8), file[size_t(2 * i + 1)] = uint8_t(cases[i].word);
  // The last word too: the expansion runs from the end.
  file[131070] = 0x7c, file[131071] = 0x1f;
  File("S.RAW", file);
  ZEMTL* m = CreateAlphaBlendTexture256("s.raw", 1, 5);
  for (int i = 0; i < n; i++) EXPECT_EQ(Texel(i), cases[i].texel) << std::hex << cases[i].word;
  EXPECT_EQ(Texel(65535), (T{128, 255, 0, 255}));
  EXPECT_EQ(m->attributes & 0xff0f, 0x2000u | 0x500u | 0x5u | 1u << ZEMTLATTR_DEPTH) << std::hex << m->attributes;
  EXPECT_EQ(m->render_flags & (ZEMTLRF_FST | ZEMTLRF_IIP | 3u), ZEMTLRF_FST | 1u);
  EXPECT_EQ(m->sort_priority, 256);
  EXPECT_NE(m->texture, 0);
  EXPECT_FLOAT_EQ(m->alpha, 0.999f);
}

TEST_F(Blend, ThirtyTwoBitLayoutsAndNoise) {
  std::vector<uint8_t> file(256 * 256 * 4);
  for (size_t i = 0; i < file.size(); i++) file[i] = uint8_t(i * 7 + i / 4);
  File("T.RAW", file);
  auto x = [&](int i, int k) { return int(file[size_t(4 * i + k)]); };
  ZEMTL* m = CreateAlphaBlendTexture256_32("t.raw", 0, 1, 40, 2);
  for (int i : {0, 1, 999, 65535}) EXPECT_EQ(Texel(i), (T{x(i, 3), x(i, 2), x(i, 1), x(i, 0)})) << i;
  EXPECT_EQ((m->attributes >> ZEMTLATTR_DEPTH) & 3, 2u);
  EXPECT_EQ(m->render_flags & ZEMTLRF_FST, 0u);
  CreateAlphaBlendTexturewh_32("t.raw", 1, 1, 40, 0, 32, 8);
  for (int i : {0, 5, 255}) EXPECT_EQ(Texel(i), (T{255, x(i, 2), x(i, 1), x(i, 0)})) << i;
  // Noise: alpha 128 or 255 only, colour times alpha kept.
  std::vector<uint8_t> table(2048);
  for (size_t i = 0; i < table.size(); i++) table[i] = uint8_t(i * 37 + 11);
  randtab_base = randtab_ptr = table.data();
  randtab_size = 2048, randtab_margin = 1500;
  CreateAlphaBlendTexturewhNoise_32("t.raw", 0, 1, 40, 0, 64, 64);
  std::set<int> alphas;
  for (int i = 0; i < 64 * 64; i++) {
    T t = Texel(i);
    alphas.insert(t[0]);
    int want = std::min(255, x(i, 0) * 128 / t[0]);
    ASSERT_EQ(t[3], want) << i;
  }
  EXPECT_EQ(alphas, (std::set<int>{128, 255}));
  randtab_base = randtab_ptr = nullptr;
}

TEST_F(Blend, DownscaleRefinesOnlyTheFirstTime) {
  // A 16 x 16 source of fine stripes for an 8 x 8 texture.
  std::vector<uint8_t> file(16 * 16 * 4);
  for (int y = 0; y < 16; y++)
    for (int xx = 0; xx < 16; xx++) {
      uint8_t* t = &file[size_t(4 * (y * 16 + xx))];
      t[0] = uint8_t(xx & 1 ? 240 : 20), t[1] = uint8_t(y * 15), t[2] = 100, t[3] = 0;
    }
  File("H.RAW", file);
  CreateAlphaBlendTexturewhHigh_32("h.raw", 0, 1, 40, 0, 8, 8);
  EXPECT_EQ(glutils_high_count, 1);
  std::set<int> alphas;
  for (int i = 0; i < 64; i++) alphas.insert(Texel(i)[0]);
  EXPECT_GT(alphas.size(), 1u) << "refinement varies the alpha";
  CreateAlphaBlendTexturewhHigh_32("h.raw", 0, 1, 40, 0, 8, 8);
  EXPECT_EQ(glutils_high_count, 2);
  for (int y = 0; y < 8; y++)
    for (int xx = 0; xx < 8; xx++) {
      // Point-sampled (2x, 2y) with alpha 128 (stage 2 changes the source
      // only).
      const uint8_t* s = &file[size_t(4 * (2 * y * 16 + 2 * xx))];
      ASSERT_EQ(Texel(y * 8 + xx), (T{128, s[2], s[1], s[0]})) << xx << "," << y;
    }
}

TEST_F(Blend, RefusedInputs) {
  File("T.RAW", std::vector<uint8_t>(1024, 1));
  struct Case {
    int which, w, h;
    const char* msg;
  } cases[] = {
      {0, 512, 256, "do not fit the work buffer"}, {0, 0, 8, "do not fit"}, {0, 8, -1, "do not fit"},
      {1, 65537, 1, "do not fit"},                 {2, 256, 128, "do not fit"}, {2, 12, 4, "not a power of two"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.which);
    if (c.which == 0) EXPECT_HALT(CreateAlphaBlendTexturewh_32("t.raw", 0, 1, 1, 0, c.w, c.h), c.msg);
    if (c.which == 1) EXPECT_HALT(CreateAlphaBlendTexturewhNoise_32("t.raw", 0, 1, 1, 0, c.w, c.h), c.msg);
    if (c.which == 2) EXPECT_HALT(CreateAlphaBlendTexturewhHigh_32("t.raw", 0, 1, 1, 0, c.w, c.h), c.msg);
  }
  EXPECT_NE(CreateAlphaBlendTexturewh_32("t.raw", 0, 1, 1, 0, 256, 256), nullptr) << "65,536 texels fit";
  auto* mem = static_cast<char*>(EeMalloc(4096));
  char* cursor = mem;
  EXPECT_HALT(CreateAlphaBlendTexture(&cursor, "gfx\\particle.pnt", 1, 2, 256, 0), "gfx\\particle.pnt");
  EXPECT_EQ(cursor, mem);
  EeFree(mem);
}

TEST_F(Blend, NativeImageStaysInTheCallersMemory) {
  // Native data recovered from a texture the engine made.
  alignas(16) static uint8_t texels[16 * 16 * 4];
  for (size_t i = 0; i < sizeof texels; i++) texels[i] = uint8_t(i);
  auto* img = static_cast<uint8_t*>(ZeMemAlloc(sizeof texels));
  memcpy(img, texels, sizeof texels);
  ZETEX t = {ZETEX_RGBA32, 16, 16, 1, img, nullptr};
  ZETEXID id = ZeTexCreate(&t);
  ASSERT_NE(id, 0);
  std::vector<uint8_t> native(8192);
  int size = ZeTexRecoverNativeData(id, native.data(), int(native.size()));
  ASSERT_GT(size, 0);
  native.resize(size_t(size) + 3);  // an odd size: the cursor is not rounded
  size += 3;
  File("P.PNT", native);
  auto* mem = static_cast<char*>(EeMalloc(size_t(size) + 64));
  char* cursor = mem;
  ZEMTL* m = CreateAlphaBlendTexture(&cursor, "p.pnt", 1, 2, 256, 0);
  EXPECT_EQ(cursor, mem + size);
  EXPECT_NE(m->texture, 0);
  EXPECT_EQ(m->render_flags & ZEMTLRF_FST, ZEMTLRF_FST);
  EXPECT_EQ(m->attributes & 15u, 2u);
  EXPECT_EQ(m->sort_priority, 256);
  ZeMemFree(img);
}
