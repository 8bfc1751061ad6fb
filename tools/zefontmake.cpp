// zefontmake: bitmap fonts in the engine's formats from a TrueType font,
// rasterised with FreeType. The characters 32-127 are packed into a
// 4-bit image (palette: white, alpha by coverage) and described by a font
// record (header, character map, glyphs) stored as it lies in memory.
//
//   zefontmake FONT.ttf PIXELS HEIGHT BASE --fnt OUT     OUT.fnt and OUT.bmp
//   zefontmake FONT.ttf PIXELS HEIGHT BASE --cpp OUT.cpp NAME
//                                                  NAME_fnt and NAME_bmp arrays
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int FIRST = 32, COUNT = 96;

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
void PutF(std::vector<uint8_t>& b, size_t at, float f) {
  uint32_t v;
  memcpy(&v, &f, 4);
  Put32(b, at, v);
}

struct Glyph {
  int x, y, w;
};

// 4-bit BMP: 14-byte file header, 40-byte info header, 16 palette entries,
// rows bottom-up padded to 4 bytes.
std::vector<uint8_t> Bmp(const std::vector<uint8_t>& pix, int w, int h) {
  const int row = (w / 2 + 3) & ~3;
  const int off = 14 + 40 + 64;
  std::vector<uint8_t> b(size_t(off + row * h), 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, uint32_t(b.size()));
  Put32(b, 10, uint32_t(off));
  Put32(b, 14, 40);
  Put32(b, 18, uint32_t(w));
  Put32(b, 22, uint32_t(h));
  b[26] = 1;
  b[28] = 4;
  Put32(b, 46, 16);
  for (int i = 0; i < 16; i++) {
    uint8_t* e = &b[size_t(54 + i * 4)];
    e[0] = e[1] = e[2] = 0xff;
    // Alpha by coverage; half coverage and more is opaque (0x80).
    const int a = i * 2 * 128 / 15;
    e[3] = uint8_t(a > 128 ? 128 : a);
  }
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x += 2)
      b[size_t(off + (h - 1 - y) * row + x / 2)] =
          uint8_t(pix[size_t(y * w + x)] << 4 | pix[size_t(y * w + x + 1)]);
  return b;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& d) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = fwrite(d.data(), 1, d.size(), f) == d.size();
  return fclose(f) == 0 && ok;
}

void CArray(FILE* f, const char* name, const std::vector<uint8_t>& d) {
  fprintf(f, "alignas(16) extern const uint8_t %s[%zu] = {", name, d.size());
  for (size_t i = 0; i < d.size(); i++) fprintf(f, "%s%u,", i % 24 ? "" : "\n", d[i]);
  fprintf(f, "\n};\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 7) {
    fprintf(stderr, "usage: zefontmake FONT.ttf PIXELS HEIGHT BASE --fnt OUT | --cpp OUT.cpp NAME\n");
    return 2;
  }
  const int pixels = atoi(argv[2]), height = atoi(argv[3]), base = atoi(argv[4]);
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  if (FT_Init_FreeType(&lib) || FT_New_Face(lib, argv[1], 0, &face) || FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixels))) {
    fprintf(stderr, "zefontmake: cannot load %s at %d pixels\n", argv[1], pixels);
    if (face) FT_Done_Face(face);
    if (lib) FT_Done_FreeType(lib);
    return 1;
  }
  // Pack the glyphs into the smallest of 128x128, 256x128, 256x256, 512x256.
  const int sizes[][2] = {{128, 128}, {256, 128}, {256, 256}, {512, 256}, {512, 512}};
  int W = 0, H = 0;
  std::vector<Glyph> glyphs(COUNT);
  std::vector<int> adv(COUNT);
  for (int c = 0; c < COUNT; c++) {
    if (FT_Load_Char(face, FT_ULong(FIRST + c), FT_LOAD_DEFAULT)) {
      fprintf(stderr, "zefontmake: no glyph for %d in %s\n", FIRST + c, argv[1]);
      FT_Done_Face(face);
      FT_Done_FreeType(lib);
      return 1;
    }
    adv[size_t(c)] = int((face->glyph->advance.x + 32) >> 6);
    if (c == 0) adv[0] = height >> 2;
  }
  for (const auto& s : sizes) {
    int x = 0, y = 0;
    bool fits = true;
    for (int c = 0; c < COUNT && fits; c++) {
      const int w = adv[size_t(c)] + 1;
      if (x + w > s[0]) {
        x = 0;
        y += height;
      }
      if (y + height > s[1]) fits = false;
      glyphs[size_t(c)] = {x, y, w};
      x += w + 1;
    }
    if (fits) {
      W = s[0];
      H = s[1];
      break;
    }
  }
  if (!W) {
    fprintf(stderr, "zefontmake: glyphs too large\n");
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
    return 1;
  }
  std::vector<uint8_t> pix(size_t(W * H), 0);
  bool rendered = true;
  for (int c = 1; c < COUNT && rendered; c++) {
    if (FT_Load_Char(face, FT_ULong(FIRST + c), FT_LOAD_RENDER)) {
      rendered = false;
      break;
    }
    const FT_Bitmap& bm = face->glyph->bitmap;
    const int ox = glyphs[size_t(c)].x + face->glyph->bitmap_left, oy = glyphs[size_t(c)].y + base - face->glyph->bitmap_top;
    for (int r = 0; r < int(bm.rows); r++)
      for (int q = 0; q < int(bm.width); q++) {
        const int px = ox + q, py = oy + r;
        if (px < glyphs[size_t(c)].x || px >= glyphs[size_t(c)].x + glyphs[size_t(c)].w || py < glyphs[size_t(c)].y ||
            py >= glyphs[size_t(c)].y + height)
          continue;
        const int v = bm.buffer[r * bm.pitch + q] * 15 / 255;
        uint8_t& d = pix[size_t(py * W + px)];
        if (v > d) d = uint8_t(v);
      }
  }
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
  if (!rendered) {
    fprintf(stderr, "zefontmake: cannot render %s\n", argv[1]);
    return 1;
  }
  // The font record: 288 bytes of header and map, 20 bytes a glyph.
  std::vector<uint8_t> fnt(size_t(288 + 20 * COUNT), 0);
  PutF(fnt, 8, float(height) / 480.0f);
  Put32(fnt, 12, uint32_t(height));
  PutF(fnt, 16, float(base) / 480.0f);
  Put32(fnt, 20, uint32_t(base));
  Put32(fnt, 28, COUNT);
  for (int i = 0; i < 256; i++) fnt[size_t(32 + i)] = 255;
  for (int c = 0; c < COUNT; c++) {
    fnt[size_t(32 + FIRST + c)] = uint8_t(c);
    const Glyph& g = glyphs[size_t(c)];
    const size_t at = size_t(288 + 20 * c);
    PutF(fnt, at + 0, float(g.x) / float(W));
    PutF(fnt, at + 4, float(g.y) / float(H));
    PutF(fnt, at + 8, float(g.x + g.w - 1) / float(W));
    PutF(fnt, at + 12, float(g.y + height - 1) / float(H));
    fnt[at + 16] = uint8_t(g.w);
    fnt[at + 17] = uint8_t(height);
  }
  const std::vector<uint8_t> bmp = Bmp(pix, W, H);
  const std::string mode = argv[5];
  if (mode == "--fnt") {
    const std::string out = argv[6];
    if (!WriteFile(out + ".fnt", fnt) || !WriteFile(out + ".bmp", bmp)) {
      fprintf(stderr, "zefontmake: cannot write %s\n", out.c_str());
      return 1;
    }
    return 0;
  }
  if (mode == "--cpp" && argc >= 8) {
    FILE* f = fopen(argv[6], "w");
    if (!f) return 1;
    fprintf(f, "// Generated by zefontmake from %s: do not edit.\n#include <cstdint>\n\n", argv[1]);
    CArray(f, (std::string(argv[7]) + "_fnt").c_str(), fnt);
    CArray(f, (std::string(argv[7]) + "_bmp").c_str(), bmp);
    return fclose(f) == 0 ? 0 : 1;
  }
  fprintf(stderr, "zefontmake: unknown mode %s\n", mode.c_str());
  return 2;
}
