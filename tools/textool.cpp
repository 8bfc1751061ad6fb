// textool: native texture files (.pnt) from bitmaps (BMP, through the
// engine's own reader), PNG pictures (any kind libpng reads) or JPEG
// pictures (libjpeg-turbo), written by
// the engine's own native data writer; and .pnt files back to PNG, read
// through the engine and the GS model, for a look.
//   textool make <in.bmp|in.png> <out.pnt> [--type=N] [--levels=N]
//   textool make <in.bmp|in.png> <out.raw> [--raw=16|32]
//   textool make <in.bmp|in.png> <out.bmp>
//   textool show <in.pnt> <out.png> [--level=N]
//   textool info <in.pnt>
//   textool pattern <out.png> <width> <height>
// Types: 0/1 16-bit (1 with alpha), 2 24-bit, 3 32-bit, 4/5 4- and 8-bit
// palettised, 6/7 the same rearranged for 32-bit upload.
// .raw images are what the blend-texture makers convert: 32-bit bytes R, G,
// B, A a pixel, or 16-bit big-endian words of 5-bit red (bits 0-4), green
// (5-9) and blue (10-14), pixels with alpha below 128 as the key 0x03e0.
// .bmp pictures are 24-bit, bottom-up, read back through the engine.
#include "textool.h"

#include <cstdio>
#include <cstring>
#include <strings.h>
#include <fstream>
#include <string>
#include <vector>

#include "display/png.h"
#include "ze3d.h"
#include "zecore.h"
#include "toolhalt.h"

namespace {

int Usage() {
  fprintf(stderr,
          "usage: textool make <in.bmp|in.png|in.jpg> <out.pnt> [--type=N] [--levels=N]\n"
          "       textool make <in.bmp|in.png> <out.raw> [--raw=16|32]\n"
          "       textool make <in.bmp|in.png> <out.bmp>\n"
          "       textool show <in.pnt> <out.png> [--level=N]\n"
          "       textool info <in.pnt>\n"
          "       textool pattern <out.png> <width> <height>\n");
  return 2;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  out->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return true;
}

bool WriteFile(const std::string& path, const uint8_t* data, size_t n) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(data), std::streamsize(n));
  return bool(f);
}

bool EndsWith(const std::string& s, const char* ext) {
  const size_t n = strlen(ext);
  return s.size() >= n && !strcasecmp(s.c_str() + s.size() - n, ext);
}

// A .raw image of the picture (bits 16 or 32).
std::vector<uint8_t> RawImage(const RgbaImage& img, int bits) {
  std::vector<uint8_t> out;
  for (uint32_t px : img.pixels) {
    const int r = int(px & 255), g = int(px >> 8 & 255), b = int(px >> 16 & 255), a = int(px >> 24);
    if (bits == 16) {
      const int w = a < 128 ? 0x03e0 : (r >> 3) | (g >> 3) << 5 | (b >> 3) << 10;
      out.push_back(uint8_t(w >> 8));
      out.push_back(uint8_t(w));
    } else {
      out.insert(out.end(), {uint8_t(r), uint8_t(g), uint8_t(b), uint8_t(a)});
    }
  }
  return out;
}

// A 24-bit bottom-up BMP of the picture.
std::vector<uint8_t> BmpImage(const RgbaImage& img) {
  const int row = (img.width * 3 + 3) & ~3;
  const uint32_t size = 54 + uint32_t(row) * uint32_t(img.height);
  std::vector<uint8_t> out(size, 0);
  auto put = [&](size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; i++) out[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  out[0] = 'B', out[1] = 'M';
  put(2, size, 4), put(10, 54, 4), put(14, 40, 4), put(18, uint32_t(img.width), 4), put(22, uint32_t(img.height), 4);
  put(26, 1, 2), put(28, 24, 2), put(34, size - 54, 4);
  for (int y = 0; y < img.height; y++)
    for (int x = 0; x < img.width; x++) {
      const uint32_t px = img.pixels[size_t(y) * size_t(img.width) + size_t(x)];
      const size_t at = 54 + size_t(img.height - 1 - y) * size_t(row) + size_t(x) * 3;
      out[at] = uint8_t(px >> 16), out[at + 1] = uint8_t(px >> 8), out[at + 2] = uint8_t(px);
    }
  return out;
}

int MakeRawOrBmp(const RgbaImage& src, const std::string& out, int rawbits) {
  const bool bmp = EndsWith(out, ".bmp");
  if (!bmp && rawbits != 16 && rawbits != 32) return Usage();
  const std::vector<uint8_t> bytes = bmp ? BmpImage(src) : RawImage(src, rawbits);
  if (!WriteFile(out, bytes.data(), bytes.size())) {
    fprintf(stderr, "textool: cannot write %s\n", out.c_str());
    return 1;
  }
  if (bmp) {
    RgbaImage back;
    std::string error;
    if (!PictureRead(out, &back, &error) || back.width != src.width || back.height != src.height) {
      fprintf(stderr, "textool: %s is not read back by the engine\n", out.c_str());
      return 1;
    }
    printf("%s: bitmap, %d x %d, %zu bytes\n", out.c_str(), back.width, back.height, bytes.size());
  } else {
    printf("%s: raw %d-bit, %d x %d, %zu bytes\n", out.c_str(), rawbits, src.width, src.height, bytes.size());
  }
  return 0;
}

int Make(const std::string& in, const std::string& out, int type, int levels, int rawbits) {
  RgbaImage src;
  std::string error;
  if (!PictureRead(in, &src, &error)) {
    fprintf(stderr, "textool: %s: %s\n", in.c_str(), error.c_str());
    return 1;
  }
  if (EndsWith(out, ".raw") || EndsWith(out, ".bmp")) return MakeRawOrBmp(src, out, rawbits);
  ZETEX* img = TexFromRgba(src, type, levels, &error);
  if (!img) {
    fprintf(stderr, "textool: %s\n", error.c_str());
    return 1;
  }
  char* slots = static_cast<char*>(ZeMemAlloc(ZeTexGetSysBuffSize(4) + 16));
  char* p = slots;
  ZeTexInitEx(&p, 4);
  ZETEXID id = ZeTexCreate(img);
  // Room for every block with its largest padding, and the byte the writer
  // always leaves free.
  const ZEPS2TEX& r = zetex_slots[id - 1].ps2;
  int size = 16 + r.pal_size + 32 + 16;
  for (int i = 0; i < r.levels; i++) size += int(r.level_size[i]) + 20 + 128 + 16;
  auto* buf = static_cast<uint8_t*>(ZeMemAlloc(size));
  const int n = ZeTexRecoverNativeData(id, buf, size);
  if (!WriteFile(out, buf, size_t(n))) {
    fprintf(stderr, "textool: cannot write %s\n", out.c_str());
    return 1;
  }
  printf("%s: type %d, %d x %d, %d levels, %d bytes\n", out.c_str(), ZeTexType(id), ZeTexWidth(id), ZeTexHeight(id),
         zetex_slots[id - 1].ps2.levels, n);
  return 0;
}

// The native data of a file, in EE memory (16-aligned), made a texture.
ZETEXID LoadNative(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (!ReadFile(path, &bytes) || bytes.size() < 16) {
    fprintf(stderr, "textool: cannot read %s\n", path.c_str());
    return 0;
  }
  auto* data = static_cast<uint8_t*>(ZeMemAlloc(int(bytes.size())));
  memcpy(data, bytes.data(), bytes.size());
  char* slots = static_cast<char*>(ZeMemAlloc(ZeTexGetSysBuffSize(4) + 16));
  char* p = slots;
  ZeTexInitEx(&p, 4);
  ZETEXID id = ZeTexCreateNativeEx(data, int(bytes.size()));
  if (!id) fprintf(stderr, "textool: %s is not native texture data\n", path.c_str());
  return id;
}

int Show(const std::string& in, const std::string& out, int level) {
  ZETEXID id = LoadNative(in);
  if (!id) return 1;
  RgbaImage img;
  std::string error;
  if (!TexToRgba(id, level, &img, &error)) {
    fprintf(stderr, "textool: %s\n", error.c_str());
    return 1;
  }
  if (!PngWrite(out.c_str(), img.pixels.data(), img.width, img.height)) {
    fprintf(stderr, "textool: cannot write %s\n", out.c_str());
    return 1;
  }
  return 0;
}

int Info(const std::string& in) {
  ZETEXID id = LoadNative(in);
  if (!id) return 1;
  const ZEPS2TEX& r = zetex_slots[id - 1].ps2;
  printf("type %d, %d x %d, %d levels, PSM 0x%02x, upload PSM 0x%02x, TCC %d, %d blocks of VRAM%s\n", ZeTexType(id),
         ZeTexWidth(id), ZeTexHeight(id), r.levels, r.psm, r.xfer_psm, r.tcc, r.vram_size,
         r.cbw ? ", palette" : "");
  for (int i = 0; i < r.levels; i++)
    printf("  level %d: %u bytes, VRAM %s %u, TBW %d, DBW %d\n", i, r.level_size[i],
           r.level_vram[i] < 256 ? "offset" : "bytes", r.level_vram[i], r.level_tbw[i], r.level_dbw[i]);
  return 0;
}

int Pattern(const std::string& out, int w, int h) {
  if (w <= 0 || h <= 0 || w > TEXTOOL_MAX_SIDE || h > TEXTOOL_MAX_SIDE) return Usage();
  RgbaImage img = TestPattern(w, h);
  if (!PngWrite(out.c_str(), img.pixels.data(), w, h)) {
    fprintf(stderr, "textool: cannot write %s\n", out.c_str());
    return 1;
  }
  return 0;
}

int IntOption(int argc, char** argv, const char* name, int fallback) {
  const size_t n = strlen(name);
  for (int i = 1; i < argc; i++)
    if (!strncmp(argv[i], name, n)) return atoi(argv[i] + n);
  return fallback;
}

int Main(int argc, char** argv) {
  errmsg_disabled = 1;  // the engine reports every level it builds
  ZeFileInitEx(ZEFILE_MEDIA_HOST, 0, 0);
  if (argc >= 4 && !strcmp(argv[1], "make"))
    return Make(argv[2], argv[3], IntOption(argc, argv, "--type=", TEXTOOL_DEFAULT_TYPE), IntOption(argc, argv, "--levels=", 1),
                IntOption(argc, argv, "--raw=", 32));
  if (argc >= 4 && !strcmp(argv[1], "show")) return Show(argv[2], argv[3], IntOption(argc, argv, "--level=", 0));
  if (argc == 3 && !strcmp(argv[1], "info")) return Info(argv[2]);
  if (argc == 5 && !strcmp(argv[1], "pattern")) return Pattern(argv[2], atoi(argv[3]), atoi(argv[4]));
  return Usage();
}

}  // namespace

int main(int argc, char** argv) { return ToolRun("textool", Main, argc, argv); }
