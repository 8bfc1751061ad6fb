// The PNG pictures users bring, made here with libpng in every colour type,
// bit depth and interlace, with and without transparency chunks: read as the
// same pixels as the equivalent 8-bit RGBA file, and made by textool into
// the same texture.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "display/png.h"
#include "platform_test.h"

namespace {

// A PNG in the file's own layout: packed rows, and the palette and
// transparency chunk when it has them.
struct PngFile {
  int width = 0, height = 0, colorType = 0, depth = 8;
  bool interlace = false;
  std::vector<std::vector<uint8_t>> rows;
  std::vector<png_color> palette;
  std::vector<uint8_t> paletteAlpha;  // tRNS of a palette file
  bool key = false;                   // tRNS of a grey or RGB file: this colour is clear
  png_color_16 keyColor{};
};

// libpng reports errors by a long jump back here; nothing below owns memory.
bool WritePngFile(const char* path, const PngFile& f) {
  FILE* fp = fopen(path, "wb");
  if (!fp) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    fclose(fp);
    return false;
  }
  png_init_io(png, fp);
  png_set_IHDR(png, info, png_uint_32(f.width), png_uint_32(f.height), f.depth, f.colorType,
               f.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!f.palette.empty()) png_set_PLTE(png, info, f.palette.data(), int(f.palette.size()));
  if (!f.paletteAlpha.empty())
    png_set_tRNS(png, info, f.paletteAlpha.data(), int(f.paletteAlpha.size()), nullptr);
  if (f.key) png_set_tRNS(png, info, nullptr, 0, &f.keyColor);
  png_write_info(png, info);
  std::vector<png_bytep> rows;
  for (const std::vector<uint8_t>& r : f.rows) rows.push_back(const_cast<png_bytep>(r.data()));
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return fclose(fp) == 0;
}

// Sample v (of depth bits) at pixel x of a packed row; 16-bit samples
// big-endian.
void PutSample(std::vector<uint8_t>& row, int depth, int index, int v) {
  if (depth == 16) {
    row[size_t(2 * index)] = uint8_t(v >> 8);
    row[size_t(2 * index + 1)] = uint8_t(v);
  } else if (depth == 8) {
    row[size_t(index)] = uint8_t(v);
  } else {
    const int perByte = 8 / depth, shift = 8 - depth * (index % perByte + 1);
    row[size_t(index / perByte)] |= uint8_t(v << shift);
  }
}

uint32_t Rgba(int r, int g, int b, int a) { return uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16 | uint32_t(a) << 24; }

struct Case {
  const char* name;
  int colorType, depth;
  bool interlace, transparency;
};

// Sixteen colours in a pattern; each case keeps what its format holds of
// them. expect gets the pixels an 8-bit RGBA file of the same picture holds.
PngFile Make(const Case& c, int w, int h, std::vector<uint32_t>* expect) {
  PngFile f;
  f.width = w;
  f.height = h;
  f.colorType = c.colorType;
  f.depth = c.depth;
  f.interlace = c.interlace;
  const int channels = c.colorType == PNG_COLOR_TYPE_RGBA ? 4 : c.colorType == PNG_COLOR_TYPE_RGB ? 3
                       : c.colorType == PNG_COLOR_TYPE_GRAY_ALPHA                                   ? 2
                                                                                                   : 1;
  const int wide = c.depth == 16 ? 257 : 1;  // 8-bit value v is 16-bit v * 257
  if (c.colorType == PNG_COLOR_TYPE_PALETTE) {
    for (int k = 0; k < std::min(16, 1 << c.depth); k++) f.palette.push_back({uint8_t(17 * k), uint8_t(255 - 17 * k), uint8_t(k * 53)});
    if (c.transparency) f.paletteAlpha = {0, 128, 200};  // entries past these are opaque
  }
  const int keyK = 5;  // the colour a grey or RGB file's tRNS makes clear
  if (c.transparency && c.colorType != PNG_COLOR_TYPE_PALETTE) {
    f.key = true;
    const int grey = c.depth < 8 ? keyK % (1 << c.depth) : 17 * keyK * wide;
    f.keyColor.gray = png_uint_16(grey);
    f.keyColor.red = png_uint_16(17 * keyK * wide);
    f.keyColor.green = png_uint_16((255 - 17 * keyK) * wide);
    f.keyColor.blue = png_uint_16(keyK * 53 % 256 * wide);
  }
  expect->clear();
  for (int y = 0; y < h; y++) {
    std::vector<uint8_t> row(size_t((w * channels * c.depth + 7) / 8), 0);
    for (int x = 0; x < w; x++) {
      const int k = (5 * x + 3 * y) % 16;
      const int r = 17 * k, g = 255 - 17 * k, b = k * 53 % 256, a = 255 - 16 * k;
      switch (c.colorType) {
        case PNG_COLOR_TYPE_PALETTE:
          PutSample(row, c.depth, x, k % (1 << c.depth));
          {
            const int i = k % (1 << c.depth);
            const int pa = size_t(i) < f.paletteAlpha.size() ? f.paletteAlpha[size_t(i)] : 255;
            expect->push_back(Rgba(17 * i, 255 - 17 * i, i * 53 % 256, pa));
          }
          break;
        case PNG_COLOR_TYPE_GRAY:
        case PNG_COLOR_TYPE_GRAY_ALPHA: {
          // Grey of fewer bits stands for the 8-bit level scaled up to 255.
          const int levels = (1 << std::min(c.depth, 8)) - 1;
          const int v = c.depth < 8 ? k % (levels + 1) : r;
          const int grey = c.depth < 8 ? v * 255 / levels : r;
          PutSample(row, c.depth, x * channels, c.depth < 8 ? v : v * wide);
          if (channels == 2) PutSample(row, c.depth, x * channels + 1, a * wide);
          const bool clear = f.key && (c.depth < 8 ? v == keyK % (levels + 1) : k == keyK);
          expect->push_back(Rgba(grey, grey, grey, channels == 2 ? a : clear ? 0 : 255));
          break;
        }
        default: {
          const int v[4] = {r, g, b, a};
          for (int ch = 0; ch < channels; ch++) PutSample(row, c.depth, x * channels + ch, v[ch] * wide);
          expect->push_back(Rgba(r, g, b, channels == 4 ? a : f.key && k == keyK ? 0 : 255));
          break;
        }
      }
    }
    f.rows.push_back(row);
  }
  return f;
}

// The same pixels as an 8-bit RGBA file.
PngFile Reference(int w, int h, const std::vector<uint32_t>& px) {
  PngFile f;
  f.width = w;
  f.height = h;
  f.colorType = PNG_COLOR_TYPE_RGBA;
  for (int y = 0; y < h; y++) {
    std::vector<uint8_t> row;
    for (int x = 0; x < w; x++)
      for (int ch = 0; ch < 4; ch++) row.push_back(uint8_t(px[size_t(y * w + x)] >> (8 * ch)));
    f.rows.push_back(row);
  }
  return f;
}

std::vector<uint8_t> Slurp(const std::string& path) {
  std::vector<uint8_t> d;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return d;
  int ch;
  while ((ch = fgetc(f)) != EOF) d.push_back(uint8_t(ch));
  fclose(f);
  return d;
}

const Case CASES[] = {
    {"palette8-trns", PNG_COLOR_TYPE_PALETTE, 8, false, true},
    {"palette4", PNG_COLOR_TYPE_PALETTE, 4, false, false},
    {"palette2-trns-interlaced", PNG_COLOR_TYPE_PALETTE, 2, true, true},
    {"grey8", PNG_COLOR_TYPE_GRAY, 8, false, false},
    {"grey1", PNG_COLOR_TYPE_GRAY, 1, false, false},
    {"grey2-trns", PNG_COLOR_TYPE_GRAY, 2, false, true},
    {"grey4-interlaced", PNG_COLOR_TYPE_GRAY, 4, true, false},
    {"grey16-trns", PNG_COLOR_TYPE_GRAY, 16, false, true},
    {"grey-alpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false},
    {"grey-alpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, false},
    {"rgb8-trns", PNG_COLOR_TYPE_RGB, 8, false, true},
    {"rgb16", PNG_COLOR_TYPE_RGB, 16, false, false},
    {"rgb16-trns-interlaced", PNG_COLOR_TYPE_RGB, 16, true, true},
    {"rgba16", PNG_COLOR_TYPE_RGBA, 16, false, false},
    {"rgba8-interlaced", PNG_COLOR_TYPE_RGBA, 8, true, false},
    {"rgba16-interlaced", PNG_COLOR_TYPE_RGBA, 16, true, false},
};

}  // namespace

// Odd sizes leave Adam7 passes and packed bytes partly filled.
TEST(PngRead, EveryColourTypeDepthAndInterlaceReadsAsItsRgbaPixels) {
  const std::string dir = TestTempDir();
  for (const Case& c : CASES)
    for (auto [w, h] : {std::pair{13, 9}, std::pair{1, 1}, std::pair{16, 16}}) {
      SCOPED_TRACE(std::string(c.name) + " " + std::to_string(w) + " x " + std::to_string(h));
      std::vector<uint32_t> expect, got;
      const std::string path = dir + "/" + c.name + ".png";
      ASSERT_TRUE(WritePngFile(path.c_str(), Make(c, w, h, &expect)));
      int rw = 0, rh = 0;
      std::string error;
      ASSERT_TRUE(PngRead(path.c_str(), 4096, &got, &rw, &rh, &error)) << error;
      ASSERT_EQ(rw, w);
      ASSERT_EQ(rh, h);
      for (size_t i = 0; i < expect.size(); i++) ASSERT_EQ(got[i], expect[i]) << "pixel " << i;
    }
}

TEST(Textool, MakesTheSameTextureFromEveryKindOfPngAsFromItsRgbaFile) {
  const std::string dir = TestTempDir();
  for (const char* type : {"3", "1", "5"})
    for (const Case& c : CASES) {
      SCOPED_TRACE(std::string(c.name) + " type " + type);
      std::vector<uint32_t> px;
      const std::string in = dir + "/" + c.name + ".png", ref = dir + "/ref.png";
      ASSERT_TRUE(WritePngFile(in.c_str(), Make(c, 16, 16, &px)));
      ASSERT_TRUE(WritePngFile(ref.c_str(), Reference(16, 16, px)));
      const std::string make = std::string(TEXTOOL) + " make ", opt = std::string(" --type=") + type + " >/dev/null";
      ASSERT_EQ(system((make + in + " " + dir + "/t.pnt" + opt).c_str()), 0);
      ASSERT_EQ(system((make + ref + " " + dir + "/ref.pnt" + opt).c_str()), 0);
      const std::vector<uint8_t> t = Slurp(dir + "/t.pnt"), r = Slurp(dir + "/ref.pnt");
      EXPECT_GT(t.size(), 16u * 16u / 2);
      EXPECT_EQ(t, r);
    }
}

// A damaged or missing file is refused with the file's name and libpng's reason.
TEST(Textool, NamesTheFileAndTheReasonForAPictureItCannotRead) {
  const std::string dir = TestTempDir();
  std::vector<uint32_t> px;
  const std::string good = dir + "/good.png";
  ASSERT_TRUE(WritePngFile(good.c_str(), Make(CASES[0], 16, 16, &px)));
  std::vector<uint8_t> bytes = Slurp(good);
  struct Damage {
    const char* name;
    size_t keep;      // bytes kept
    long flip;        // a byte inverted (-1: none)
    const char* why;  // in libpng's message
  };
  const Damage damages[] = {
      {"cut.png", 60, -1, ""},                      // ends in the middle
      {"header.png", bytes.size(), 20, "CRC"},      // the header's check fails
      {"notpng.png", bytes.size(), 1, "PNG"},       // the signature is wrong
      {"missing.png", 0, -1, "No such file"},       // no file at all
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.name);
    const std::string path = dir + "/" + d.name, err = dir + "/err.txt";
    if (d.keep) {
      std::vector<uint8_t> b(bytes.begin(), bytes.begin() + long(d.keep));
      if (d.flip >= 0) b[size_t(d.flip)] ^= 0xff;
      FILE* f = fopen(path.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      fwrite(b.data(), 1, b.size(), f);
      fclose(f);
    }
    const std::string cmd = std::string(TEXTOOL) + " make " + path + " " + dir + "/x.pnt 2>" + err;
    EXPECT_NE(system(cmd.c_str()), 0);
    const std::vector<uint8_t> e = Slurp(err);
    const std::string message(e.begin(), e.end());
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_NE(message.find(d.why), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), message.size() - 1) << "one line: " << message;
  }
}

// A 4-bit texture of odd width keeps whole bytes a row: every texel comes back
// as its own colour, also one pixel wide.
TEST(Textool, FourBitTexturesOfOddWidthKeepEveryTexel) {
  const std::string dir = TestTempDir();
  for (auto [w, h] : {std::pair{1, 1}, std::pair{1, 4}, std::pair{3, 2}, std::pair{5, 3}, std::pair{7, 7}}) {
    SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
    std::vector<uint32_t> px;
    for (int i = 0; i < w * h; i++) {
      const uint32_t k = uint32_t(i % 16);
      px.push_back(0xff000000u | (k * 16) | (255 - k * 16) << 8 | (k * 8) << 16);  // 16 colours at most
    }
    const std::string in = dir + "/odd.png", pnt = dir + "/odd.pnt", out = dir + "/back.png";
    ASSERT_TRUE(WritePngFile(in.c_str(), Reference(w, h, px)));
    ASSERT_EQ(system((std::string(TEXTOOL) + " make " + in + " " + pnt + " --type=4 >/dev/null").c_str()), 0);
    ASSERT_EQ(system((std::string(TEXTOOL) + " show " + pnt + " " + out + " >/dev/null").c_str()), 0);
    std::vector<uint32_t> got;
    int rw = 0, rh = 0;
    std::string error;
    ASSERT_TRUE(PngRead(out.c_str(), 4096, &got, &rw, &rh, &error)) << error;
    ASSERT_EQ(rw, w);
    ASSERT_EQ(rh, h);
    for (size_t i = 0; i < px.size(); i++) EXPECT_EQ(got[i] & 0xffffff, px[i] & 0xffffff) << "texel " << i;
  }
}
