// Bitmap files and native texture data: the BMP subset with its row
// padding and header checks, generated levels, and native data written
// from live textures and read back, in both header versions.
#include "textool.h"
#include "zetex_test.h"
#include "zecore_local.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// A bottom-up BMP: pixel (x, y) of the picture is px(x, y) (bytes as the
// file stores them), rows padded to 4 bytes.
std::vector<uint8_t> Bmp(int bits, int w, int h, const std::function<std::vector<uint8_t>(int, int)>& px,
                         int palEntries = 0) {
  const int row = (w * bits + 31) / 32 * 4;
  const int pal = palEntries * 4;
  std::vector<uint8_t> f(size_t(54 + pal + row * h), 0);
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; i++) f[size_t(at + i)] = uint8_t(v >> (8 * i));
  };
  f[0] = 'B', f[1] = 'M';
  put32(2, uint32_t(f.size()));
  put32(10, uint32_t(54 + pal));
  put32(14, 40);
  put32(18, uint32_t(w));
  put32(22, uint32_t(h));
  f[26] = 1;
  f[28] = uint8_t(bits);
  for (int i = 0; i < pal; i++) f[size_t(54 + i)] = uint8_t(i);  // entry e: B 4e, G 4e+1, R 4e+2, X 4e+3
  for (int y = 0; y < h; y++) {
    uint8_t* r = &f[size_t(54 + pal + (h - 1 - y) * row)];
    if (bits == 4) {
      for (int x = 0; x < w; x++) r[x / 2] = uint8_t(r[x / 2] | (x & 1 ? px(x, y)[0] : px(x, y)[0] << 4));
    } else {
      for (int x = 0; x < w; x++) {
        auto v = px(x, y);
        memcpy(r + x * bits / 8, v.data(), v.size());
      }
    }
  }
  return f;
}

struct TexFiles : TexTable {
  std::string dir = TestTempDir();
  void SetUp() override {
    TexTable::SetUp();
    PlatSetHostRoot(dir.c_str());
    ZeFileReset();
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    errmsg_disabled = 1;
  }
  void TearDown() override {
    ZeFileReset();
    ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
    PlatSetHostRoot(nullptr);
    errmsg_disabled = 0;
    TexTable::TearDown();
  }
  void Make(const char* name, const std::vector<uint8_t>& bytes) const {
    std::ofstream(dir + "/" + name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                           std::streamsize(bytes.size()));
  }
};

std::vector<uint8_t> Rgb(int x, int y) { return {uint8_t(x), uint8_t(y), uint8_t(x + y)}; }

}  // namespace

TEST_F(TexFiles, RowsArePaddedInTheFileAndFlippedInTheImage) {
  // 6 texels of 24 bits: 18 bytes a row, 20 in the file.
  Make("ODD.BMP", Bmp(24, 6, 3, Rgb));
  ZETEX* img = ZeTexReadBitmap("odd.bmp");
  ASSERT_NE(img, nullptr);
  EXPECT_EQ(img->type, ZETEX_RGB24);
  EXPECT_EQ(img->width, 6);
  EXPECT_EQ(img->mipcount, 1);
  const uint8_t* t = img->texels;
  for (int y = 0; y < 3; y++)
    for (int x = 0; x < 6; x++) ASSERT_EQ(std::vector<uint8_t>(t + (y * 6 + x) * 3, t + (y * 6 + x) * 3 + 3), Rgb(x, y));
  EXPECT_EQ(ZeTexReadBitmap("missing.bmp"), nullptr);
  // The texture tool takes it as the same picture.
  RgbaImage pic;
  ASSERT_TRUE(ImageToRgba(img, &pic));
  EXPECT_EQ(pic.pixels[size_t(2 * 6 + 5)], 0xff050207u) << "the file's B 5, G 2, R 7 at (5, 2)";
}

TEST_F(TexFiles, GeneratedLevelsAreSampledFromLevelZeroInOneAllocation) {
  Make("MIP.BMP", Bmp(24, 64, 64, Rgb));
  ZETEX* img = ZeTexReadBitmapMM("mip.bmp", 2);
  ASSERT_NE(img, nullptr);
  EXPECT_EQ(img->mipcount, 3);
  const uint8_t* l1 = img->texels + 64 * 64 * 3;
  const uint8_t* l2 = l1 + 32 * 32 * 3;
  EXPECT_EQ(std::vector<uint8_t>(l1 + (5 * 32 + 3) * 3, l1 + (5 * 32 + 3) * 3 + 3), Rgb(6, 10));
  EXPECT_EQ(std::vector<uint8_t>(l2 + (15 * 16 + 15) * 3, l2 + (15 * 16 + 15) * 3 + 3), Rgb(60, 60));

  // Into a caller's buffer: every allocation 16-aligned, the pointer advanced,
  // and too little room is fatal.
  EeQwords buf(1200);
  char* p = reinterpret_cast<char*>(buf.w);
  ZETEX* in = ZeTexReadBitmapMMEx("mip.bmp", 1, &p, reinterpret_cast<char*>(buf.qw(1200)));
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(reinterpret_cast<char*>(in), reinterpret_cast<char*>(buf.w));
  EXPECT_GE(p, reinterpret_cast<char*>(in->texels.get()) + (64 * 64 + 32 * 32) * 3);
  p = reinterpret_cast<char*>(buf.w);
  EXPECT_HALT(ZeTexReadBitmapMMEx("mip.bmp", 1, &p, reinterpret_cast<char*>(buf.qw(600))), "Buffer overflow");

  Make("PAL.BMP", Bmp(8, 16, 16, [](int x, int) { return std::vector<uint8_t>{uint8_t(x)}; }, 256));
  EXPECT_HALT(ZeTexReadBitmapMM("pal.bmp", 1), "Doh");
}

TEST_F(TexFiles, PalettesSwapRedAndBlueInBothReaders) {
  auto bmp = Bmp(4, 8, 2, [](int x, int) { return std::vector<uint8_t>{uint8_t(x)}; }, 16);
  Make("P4.BMP", bmp);
  ZETEX* f = ZeTexReadBitmap("p4.bmp");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->type, ZETEX_PAL4);
  EXPECT_EQ(f->texels[0], 0x01) << "left texel in the high nibble";
  EXPECT_EQ(f->palette[4 * 3 + 0], 14) << "red from the file's third byte";
  EXPECT_EQ(f->palette[4 * 3 + 2], 12);
  EXPECT_EQ(f->palette[4 * 3 + 3], 15);
  EeQwords mem(int(bmp.size() / 16 + 1));
  memcpy(mem.w, bmp.data(), bmp.size());
  ZETEX* m = ZeTexReadBitmapMem(mem.w);
  EXPECT_EQ(m->mipcount, 0);
  EXPECT_EQ(memcmp(m->palette, f->palette, 64), 0);
  EXPECT_EQ(memcmp(m->texels, f->texels, 8), 0);
}

// The texture tool reads a palette's fourth bytes as alpha (0x80 opaque),
// as the system's own bitmaps (the fonts) carry it, and keeps it through a
// palettised texture; a palette whose fourth bytes are all 0 (other
// writers) stays opaque.
TEST_F(TexFiles, TheToolKeepsPaletteAlpha) {
  const struct {
    uint8_t stored;
    uint32_t alpha;  // in the picture
  } entries[] = {{0x00, 0x00}, {0x01, 0x02}, {0x20, 0x40}, {0x7f, 0xfe}, {0x80, 0xff}, {0xc0, 0xff}};
  const int n = int(std::size(entries));
  for (const int bits : {4, 8}) {
    SCOPED_TRACE(bits);
    auto bmp = Bmp(bits, 8, 2, [](int x, int) { return std::vector<uint8_t>{uint8_t(x)}; }, bits == 4 ? 16 : 256);
    for (int e = 0; e < (bits == 4 ? 16 : 256); e++) bmp[size_t(54 + 4 * e + 3)] = e < n ? entries[e].stored : 0x80;
    Make("A.BMP", bmp);
    ZETEX* img = ZeTexReadBitmap("a.bmp");
    ASSERT_NE(img, nullptr);
    RgbaImage pic;
    ASSERT_TRUE(ImageToRgba(img, &pic));
    for (int x = 0; x < n; x++) {
      EXPECT_EQ(pic.pixels[size_t(x)] >> 24, entries[x].alpha) << "entry " << x;
      EXPECT_EQ(pic.pixels[size_t(x)] & 0xffffff, uint32_t(4 * x + 2) | uint32_t(4 * x + 1) << 8 | uint32_t(4 * x) << 16);
    }
    // Back to a palettised image: each entry's stored alpha, 0x80 and above as 0x80.
    std::string error;
    ZETEX* made = TexFromRgba(pic, bits == 4 ? ZETEX_PAL4 : ZETEX_PAL8, 1, &error);
    ASSERT_NE(made, nullptr) << error;
    for (int x = 0; x < n; x++) {
      const int i = bits == 4 ? (x & 1 ? made->texels[x / 2] & 15 : made->texels[x / 2] >> 4) : made->texels[x];
      EXPECT_EQ(made->palette[4 * i + 3], std::min<int>(entries[x].stored, 0x80)) << "entry " << x;
    }
    // Fourth bytes all 0: an opaque picture.
    for (int e = 0; e < (bits == 4 ? 16 : 256); e++) bmp[size_t(54 + 4 * e + 3)] = 0;
    Make("A.BMP", bmp);
    img = ZeTexReadBitmap("a.bmp");
    ASSERT_NE(img, nullptr);
    ASSERT_TRUE(ImageToRgba(img, &pic));
    for (int x = 0; x < 8; x++) EXPECT_EQ(pic.pixels[size_t(x)] >> 24, 0xffu) << "entry " << x;
  }
}

TEST_F(TexFiles, DamagedHeadersAreRefused) {
  auto good = Bmp(24, 8, 8, Rgb);
  struct Case {
    int at;
    uint32_t value;
    const char* message;
  } cases[] = {
      {28, 16, "Bad BitCount <16>"},
      {22, uint32_t(-8), "bad header"},   // top-down rows
      {18, 100000, "bad header"},          // huge width
      {18, 0, "bad header"},
      {30, 1, "bad header"},               // compressed
      {14, 108, "bad header"},             // another information header
  };
  for (const Case& c : cases) {
    auto bad = good;
    for (int i = 0; i < 4; i++) bad[size_t(c.at + i)] = uint8_t(c.value >> (8 * i));
    if (c.at == 28) bad[30] = 0, bad[29] = 0;
    Make("BAD.BMP", bad);
    SCOPED_TRACE(c.at);
    EXPECT_HALT(ZeTexReadBitmap("bad.bmp"), c.message);
  }
  good.resize(good.size() - 30);
  Make("SHORT.BMP", good);
  EXPECT_HALT(ZeTexReadBitmap("short.bmp"), "too short");
}

TEST_F(TexFiles, NativeDataRoundTripsWithNewAddressesAtUpload) {
  TestImage img(ZETEX_PAL8, 128, 128, 4);
  for (int i = 0; i < 128 * 128; i++) img.texels[i] = uint8_t(i * 7);
  for (int i = 0; i < 1024; i++) img.palette[i] = uint8_t(i);
  ZETEXID a = ZeTexCreate(&img.tex);
  ZEPS2TEX* ra = Rec(a);
  EeQwords buf(4096);
  const int bytes = ZeTexRecoverNativeData(a, buf.w, 4096 * 16);
  ASSERT_GT(bytes, 128 * 128);
  const uint8_t* h = reinterpret_cast<const uint8_t*>(buf.w);
  EXPECT_EQ(h[2], 1) << "version 1";
  EXPECT_EQ(h[15], 4 | 0x80) << "four levels, TCC";

  ZETEXID b = ZeTexCreateNative(buf.w);
  ASSERT_NE(b, 0);
  ZEPS2TEX* rb = Rec(b);
  EXPECT_EQ(ZeTexWidth(b), 128);
  EXPECT_EQ(ZeTexType(b), ZETEX_PAL8);
  EXPECT_EQ(rb->levels, ra->levels);
  EXPECT_EQ(rb->psm, ra->psm);
  EXPECT_EQ(rb->vram_size, ra->vram_size);
  EXPECT_EQ(rb->tw, ra->tw);
  EXPECT_EQ(rb->cbw, ra->cbw);
  EXPECT_EQ(rb->pal_size, ra->pal_size);
  EXPECT_EQ(memcmp(rb->pal_packet.get(), ra->pal_packet.get(), ra->pal_size), 0);
  for (int i = 0; i < 4; i++) {
    EXPECT_EQ(rb->level_vram[i], ra->level_vram[i]);
    EXPECT_EQ(rb->level_size[i], (ra->level_size[i] + 15) & ~15u);
    EXPECT_EQ(memcmp(rb->level_packet[i].get(), ra->level_packet[i].get(), ra->level_size[i]), 0);
    EXPECT_EQ((reinterpret_cast<const uint8_t*>(rb->level_packet[i].get()) - h) % 128, 0) << "level " << i;
  }
  EXPECT_EQ(rb->level_addr[0], 0) << "addresses are given at upload";
  EeQwords up(64);
  gs_ptr = 0x3000;
  ZeTexAccomodate(up.w, b, 0);
  EXPECT_EQ(rb->level_addr[0], 0x3000 - 32 - 64);
  ZETEXSLOT* s;
  ZeTexGetPointers(b, &s, nullptr);
  EXPECT_TRUE(s->flags & ZETEXSLOT_NOTOWNED);
  ZeTexDestroy(b);  // its packets are the data's: nothing is freed

  // The same data as version 0 reads the same texture.
  std::vector<uint8_t> v1(h, h + bytes), v0;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; i++) v0.push_back(uint8_t(v >> (8 * i)));
  };
  put32(128);
  put32(128);
  put32(ra->vram_size);
  v0.insert(v0.end(), {uint8_t(ZETEX_PAL8), PSMT8, 4, 1});
  size_t at = 16, palBlock = v1[at] | v1[at + 1] << 8 | v1[at + 2] << 16;
  v0.insert(v0.end(), v1.begin() + long(at), v1.begin() + long(at + palBlock));
  at += palBlock;
  for (int i = 0; i < 4; i++) {
    uint32_t size, pad;
    memcpy(&size, &v1[at], 4);
    memcpy(&pad, &v1[at + 16], 4);
    put32(size - 4);
    v0.insert(v0.end(), v1.begin() + long(at + 4), v1.begin() + long(at + 12));  // VRAM word, TBW
    const uint32_t pad0 = uint32_t(16 - (v0.size() + 4) % 16) % 16;  // the packet on a quadword
    put32(pad0);
    v0.insert(v0.end(), pad0, 0);
    v0.insert(v0.end(), v1.begin() + long(at + 20 + pad), v1.begin() + long(at + size + pad));
    at += size + pad;
  }
  EeQwords old(int(v0.size() / 16 + 1));
  memcpy(old.w, v0.data(), v0.size());
  ZETEXID c = ZeTexCreateNative(old.w);
  ASSERT_NE(c, 0);
  ZEPS2TEX* rc = Rec(c);
  EXPECT_EQ(rc->levels, 4);
  EXPECT_EQ(rc->xfer_psm, PSMT8);
  EXPECT_EQ(rc->level_dbw[1], ra->level_dbw[1]);
  EXPECT_EQ(memcmp(rc->level_packet[3].get(), ra->level_packet[3].get(), ra->level_size[3]), 0);

  // Another version, or more levels than a texture has, is unreadable.
  reinterpret_cast<uint8_t*>(old.w)[2] = 2;
  EXPECT_EQ(ZeTexCreateNative(old.w), 0);
  reinterpret_cast<uint8_t*>(buf.w)[15] = 0x88;
  EXPECT_EQ(ZeTexCreateNative(buf.w), 0);
  reinterpret_cast<uint8_t*>(buf.w)[15] = 0x84;
  const int live = zetex_alloc_cnt;
  uint8_t* lvl = reinterpret_cast<uint8_t*>(buf.w) + 16 + palBlock;
  lvl[16] = 3;  // padding that puts the packet off its quadword
  EXPECT_EQ(ZeTexCreateNative(buf.w), 0);
  lvl[16] = 0;
  EXPECT_EQ(ZeTexCreateNative(reinterpret_cast<uint8_t*>(buf.w) + 4), 0) << "data off its quadword";
  EXPECT_EQ(zetex_alloc_cnt, live) << "no slot is taken by unreadable data";
}

TEST_F(TexFiles, RecoveryFlagsPathThreeAndOverflow) {
  TestImage img(ZETEX_PAL4, 16, 16);
  ZETEXID a = ZeTexCreate(&img.tex);
  EeQwords buf(256);
  const uint8_t* b = reinterpret_cast<const uint8_t*>(buf.w);
  const int full = ZeTexRecoverNativeData(a, buf.w, 4096);
  memset(buf.w, 0xee, 4096);
  ZeTexRecoverNativeDataEx(a, buf.w, 4096, 0, 1, 0);
  EXPECT_EQ(b[0], 0xee) << "the header is skipped";
  EXPECT_EQ(b[16] | b[17] << 8, (Rec(a)->pal_size + 15) / 16 * 16 + 16) << "the palette block at 16";
  zetex_use_path3 = 1;
  ZeTexRecoverNativeData(a, buf.w, 4096);
  zetex_use_path3 = 0;
  const uint32_t* lvl = reinterpret_cast<const uint32_t*>(b + 16 + (b[16] | b[17] << 8));
  EXPECT_EQ((reinterpret_cast<const uint8_t*>(lvl) + 20 + lvl[4] - b) % 128, 112u) << "16 bytes before a boundary";
  // The written data always ends before the end of the buffer.
  EXPECT_HALT(ZeTexRecoverNativeData(a, buf.w, full), "Recovery buffer overflow");
  EXPECT_EQ(ZeTexRecoverNativeData(a, buf.w, full + 1), full);
  EXPECT_EQ(ZeTexRecoverNativeData(a + 1, buf.w, 4096), 0) << "not in use";

  // A native file loaded into a buffer that is not 16-aligned.
  std::vector<uint8_t> data(b, b + full);
  Make("T.PNT", data);
  EeQwords load(512);
  int used = 0;
  ZETEXID n = ZeTexReadNative("t.pnt", reinterpret_cast<uint8_t*>(load.w) + 4, 4000, &used);
  ASSERT_NE(n, 0);
  EXPECT_EQ(used, 12 + full);
  EXPECT_EQ(ZeTexReadNative("none.pnt", load.w, 4000, nullptr), 0);
}

// Native data from a file names its blocks and packets itself: what lies
// past the bytes loaded, a packet that does not end in RET inside its block
// or a palette smaller than its format's is refused (0), whatever the
// buffer holds beyond.
TEST_F(TexFiles, NativeDataStaysInsideItsBytes) {
  TestImage img(ZETEX_PAL4, 16, 16);
  ZETEXID a = ZeTexCreate(&img.tex);
  EeQwords buf(256);
  const int full = ZeTexRecoverNativeData(a, buf.w, 4096);
  auto* b = reinterpret_cast<uint8_t*>(buf.w);
  EXPECT_NE(ZeTexCreateNativeEx(b, full), 0);
  for (int cut : {full - 1, full - 16, 40, 15, 0}) EXPECT_EQ(ZeTexCreateNativeEx(b, cut), 0) << cut << " bytes";

  // A short file, loaded over a buffer still holding the whole data.
  const std::vector<uint8_t> whole(b, b + full);
  Make("SHORT.PNT", std::vector<uint8_t>(whole.begin(), whole.end() - 16));
  EeQwords load(256);
  memcpy(load.w, b, size_t(full));
  EXPECT_EQ(ZeTexReadNative("short.pnt", load.w, 4096, nullptr), 0);

  // The level's packet: its one chunk made to run on, or to jump elsewhere.
  const uint32_t palBlock = b[16] | b[17] << 8;
  uint8_t* lvl = b + 16 + palBlock;
  uint8_t* tag = lvl + 20 + (lvl[16] | lvl[17] << 8);
  ASSERT_EQ(tag[3] >> 4 & 7, DMATAG_RET);
  const uint8_t ret = tag[3];
  tag[3] = uint8_t((ret & 0x8f) | DMATAG_CNT << 4);
  EXPECT_EQ(ZeTexCreateNativeEx(b, full), 0) << "no RET inside the block";
  tag[3] = uint8_t((ret & 0x8f) | DMATAG_NEXT << 4);
  EXPECT_EQ(ZeTexCreateNative(b), 0) << "a jump";
  tag[3] = ret;
  tag[1] = 0x10;  // 4096 more quadwords
  EXPECT_EQ(ZeTexCreateNative(b), 0) << "a chunk past the block";
  tag[1] = 0;

  // A 16-entry palette block under an 8-bit sampling format would be
  // rewritten with 256 entries.
  b[13] = PSMT8;
  EXPECT_EQ(ZeTexCreateNativeEx(b, full), 0);
  b[13] = PSMT4;
  EXPECT_NE(ZeTexCreateNativeEx(b, full), 0);
}

// Fonts loaded into a caller's buffer (".fnt" and ".pnt"), with the
// materials their loader makes.
struct FontFiles : TexFiles {
  void SetUp() override {
    TexFiles::SetUp();
    ZeMtlInit();
  }
  void TearDown() override {
    ZeMtlClose();
    TexFiles::TearDown();
  }
  // Native data of an 8-bit picture, as a font's ".pnt" file holds.
  std::vector<uint8_t> Picture() {
    TestImage img(ZETEX_PAL8, 128, 16);
    ZETEXID a = ZeTexCreate(&img.tex);
    EeQwords pnt(2048);
    const int full = ZeTexRecoverNativeData(a, pnt.w, 2048 * 16);
    const auto* b = reinterpret_cast<const uint8_t*>(pnt.w);
    return std::vector<uint8_t>(b, b + full);
  }
};

// A font whose picture file is short is refused, its buffer untouched.
TEST_F(FontFiles, AShortPictureIsRefused) {
  const std::vector<uint8_t> pic = Picture();
  const uint8_t* b = pic.data();
  const int full = int(pic.size());
  Make("F.FNT", std::vector<uint8_t>(ariel16_fnt, ariel16_fnt + sizeof ariel16_fnt));
  Make("F.PNT", std::vector<uint8_t>(b, b + full - 64));
  // The buffer holds the whole picture where the short one will be loaded.
  EeQwords buf(4096);
  char* start = reinterpret_cast<char*>(buf.w);
  char* at = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(start) + sizeof ariel16_fnt + 127) & ~uintptr_t(127));
  memcpy(at, b, size_t(full));
  char* position = start;
  EXPECT_EQ(ZeFntLoadPtr("F", &position, start + 4096 * 16), nullptr);
  EXPECT_EQ(position, start);
  Make("F.PNT", std::vector<uint8_t>(b, b + full));
  ZEFNT* f = ZeFntLoadPtr("F", &position, start + 4096 * 16);
  ASSERT_NE(f, nullptr) << "the whole picture loads";
  EXPECT_GT(position, at);
}

// Cell heights and baselines beyond a glyph's 255 texels are damage: the
// font is refused (its metrics would overflow when scaled).
TEST_F(FontFiles, ADamagedHeightIsRefused) {
  Make("F.PNT", Picture());
  EeQwords buf(4096);
  char* start = reinterpret_cast<char*>(buf.w);
  struct Case {
    int at;  // the field's offset in the record
    int32_t value;
    bool loads;
  } cases[] = {{12, 255, true}, {12, 256, false}, {12, 0x20000080, false}, {20, -255, true}, {20, 300, false},
               {20, int32_t(0x80000000), false}};
  for (const Case& c : cases) {
    std::vector<uint8_t> fnt(ariel16_fnt, ariel16_fnt + sizeof ariel16_fnt);
    memcpy(&fnt[size_t(c.at)], &c.value, 4);
    Make("F.FNT", fnt);
    char* position = start;
    EXPECT_EQ(ZeFntLoadPtr("F", &position, start + 4096 * 16) != nullptr, c.loads) << c.at << ": " << c.value;
  }
  std::vector<uint8_t> fnt(ariel16_fnt, ariel16_fnt + sizeof ariel16_fnt);
  const int32_t huge = 0x20000080;
  memcpy(&fnt[12], &huge, 4);
  EXPECT_HALT(ZeFntLoadMem(fnt.data(), int(fnt.size()), ariel16_bmp), "unable to create memfont");
}
