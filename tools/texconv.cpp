// texconv: the texture tool's conversions (see textool.h).
#include "textool.h"
#include "toolhalt.h"

// libjpeg's header needs FILE and size_t first.
#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "display/png.h"
#include "zecore.h"

// ---- pictures to images ---------------------------------------------------------------

namespace {

uint8_t Ch(uint32_t c, int i) { return uint8_t(c >> (8 * i)); }

// The box-filtered level below.
RgbaImage Half(const RgbaImage& s) {
  RgbaImage d;
  d.width = std::max(1, s.width / 2);
  d.height = std::max(1, s.height / 2);
  d.pixels.resize(size_t(d.width) * size_t(d.height));
  for (int y = 0; y < d.height; y++)
    for (int x = 0; x < d.width; x++) {
      uint32_t out = 0;
      for (int ch = 0; ch < 4; ch++) {
        int sum = 0;
        for (int k = 0; k < 4; k++) {
          int sx = std::min(s.width - 1, 2 * x + (k & 1)), sy = std::min(s.height - 1, 2 * y + (k >> 1));
          sum += Ch(s.pixels[size_t(sy) * size_t(s.width) + size_t(sx)], ch);
        }
        out |= uint32_t((sum + 2) / 4) << (8 * ch);
      }
      d.pixels[size_t(y) * size_t(d.width) + size_t(x)] = out;
    }
  return d;
}

uint32_t Reduce(uint32_t c, int drop) {
  const uint32_t keep = uint32_t(0xff << drop) & 0xff;
  const uint32_t m = keep | keep << 8 | keep << 16 | keep << 24;
  return c & m;
}

}  // namespace

ZETEX* TexFromRgba(const RgbaImage& pic, int type, int levels, std::string* error) {
  if (type < ZETEX_RGB16 || type > ZETEX_PAL8_SWZ) return *error = "type must be 0-7", nullptr;
  const bool swz = type == ZETEX_PAL4_SWZ || type == ZETEX_PAL8_SWZ;
  if (levels < 1 || levels > ZEPS2TEX_LEVELS || (swz && levels > 1))
    return *error = "levels must be 1-7 (1 for the rearranged types)", nullptr;
  const int base = swz ? type - 2 : type;
  std::vector<RgbaImage> chain{pic};
  for (int i = 1; i < levels; i++) chain.push_back(Half(chain.back()));

  int bytes = 0;
  for (const RgbaImage& l : chain) bytes += ZeTexImgSize(base, l.width, l.height);  // whole bytes a row
  auto* img = static_cast<ZETEX*>(ZeMemAlloc(int(sizeof(ZETEX))));
  memset(img, 0, sizeof *img);
  auto* t = static_cast<uint8_t*>(ZeMemAlloc(bytes + 1024 + 16));
  memset(t, 0, size_t(bytes) + 1024);
  img->type = base;
  img->width = pic.width;
  img->height = pic.height;
  img->mipcount = levels;
  img->texels = t;

  // Palettes: the colours used, with fewer bits while there are too many.
  const int entries = base == ZETEX_PAL4 ? 16 : base == ZETEX_PAL8 ? 256 : 0;
  std::map<uint32_t, int> index;
  int drop = 0;
  if (entries) {
    for (;; drop++) {
      index.clear();
      for (const RgbaImage& l : chain)
        for (uint32_t c : l.pixels) index.emplace(Reduce(c, drop), 0);
      if (int(index.size()) <= entries) break;
    }
    uint8_t* pal = t + bytes;
    int i = 0;
    for (auto& [c, at] : index) {
      at = i;
      pal[4 * i] = Ch(c, 0);
      pal[4 * i + 1] = Ch(c, 1);
      pal[4 * i + 2] = Ch(c, 2);
      pal[4 * i + 3] = uint8_t((Ch(c, 3) * 128 + 127) / 255);  // 0x80 is opaque
      i++;
    }
    img->palette = pal;
  }

  uint8_t* d = t;
  for (const RgbaImage& l : chain) {
    for (int y = 0; y < l.height; y++) {
      for (int x = 0; x < l.width; x++) {
        const uint32_t c = l.pixels[size_t(y) * size_t(l.width) + size_t(x)];
        const int r = Ch(c, 0), g = Ch(c, 1), b = Ch(c, 2), a = Ch(c, 3);
        switch (base) {
          case ZETEX_RGB16:
          case ZETEX_RGBA16: {
            // TEXA gives alpha bit 0 TA0 = 0x80 and bit 1 TA1 = 0: set marks clear.
            const int clear = base == ZETEX_RGBA16 && a < 128;
            const uint16_t v = uint16_t(r >> 3 | (g >> 3) << 5 | (b >> 3) << 10 | clear << 15);
            *d++ = uint8_t(v);
            *d++ = uint8_t(v >> 8);
            break;
          }
          case ZETEX_RGB24:
            *d++ = uint8_t(b), *d++ = uint8_t(g), *d++ = uint8_t(r);
            break;
          case ZETEX_RGBA32:
            *d++ = uint8_t(a), *d++ = uint8_t(b), *d++ = uint8_t(g), *d++ = uint8_t(r);
            break;
          case ZETEX_PAL4: {
            const int i = index[Reduce(c, drop)];
            if (x & 1) *d++ |= uint8_t(i);
            else *d = uint8_t(i << 4);
            break;
          }
          default: *d++ = uint8_t(index[Reduce(c, drop)]); break;
        }
      }
      if (base == ZETEX_PAL4 && (l.width & 1)) d++;  // a 4-bit row of odd width ends in a byte of its own
    }
  }
  if (swz) {
    ZeTexSwizzelBits(img);
    if (img->type != type) return *error = "the rearranged types take 4-bit images of 128 x 128 or more and 8-bit ones "
                                           "at least 128 wide and 16 high, sides powers of two",
                                  nullptr;
  }
  return img;
}

// ---- images as the BMP reader makes them ----------------------------------------------

bool ImageToRgba(const ZETEX* t, RgbaImage* img) {
  if (t->type != ZETEX_RGB24 && t->type != ZETEX_RGBA32 && t->type != ZETEX_PAL4 && t->type != ZETEX_PAL8) return false;
  // A palette's fourth byte is the entry's alpha (0x80 opaque) in the
  // system's own bitmaps; other writers leave it 0 everywhere, and such a
  // palette is opaque.
  bool palAlpha = false;
  if (t->type == ZETEX_PAL4 || t->type == ZETEX_PAL8)
    for (int i = 0; i < (t->type == ZETEX_PAL4 ? 16 : 256); i++) palAlpha |= t->palette.get()[4 * i + 3] != 0;
  img->width = t->width;
  img->height = t->height;
  img->pixels.resize(size_t(t->width) * size_t(t->height));
  const uint8_t* s = t->texels;
  const int rowBytes = (t->width * ZeTexPixelSize(t->type) + 7) / 8;
  for (int y = 0; y < t->height; y++)
    for (int x = 0; x < t->width; x++) {
      const uint8_t* r = s + size_t(y) * size_t(rowBytes);
      uint32_t c;
      switch (t->type) {
        case ZETEX_RGB24:  // B, G, R
          c = uint32_t(r[x * 3 + 2]) | uint32_t(r[x * 3 + 1]) << 8 | uint32_t(r[x * 3]) << 16 | 0xff000000u;
          break;
        case ZETEX_RGBA32: {  // A, B, G, R
          const uint8_t* p = r + x * 4;
          c = uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24;
          break;
        }
        default: {  // R, G, B, reserved entries; 4-bit texels left in the high nibble
          const int i = t->type == ZETEX_PAL4 ? ((x & 1) ? r[x / 2] & 15 : r[x / 2] >> 4) : r[x];
          const uint8_t* p = t->palette.get() + 4 * i;
          const uint32_t a = !palAlpha || p[3] >= 0x80 ? 255u : p[3] * 2u;
          c = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | a << 24;
          break;
        }
      }
      img->pixels[size_t(y) * size_t(t->width) + size_t(x)] = c;
    }
  return true;
}

// ---- textures back through the GS model --------------------------------------------------

bool TexToRgba(ZETEXID id, int level, RgbaImage* out, std::string* error) {
  ZETEXSLOT* slot;
  ZEPS2TEX* r;
  if (!ZeTexGetPointers(id, &slot, &r)) return *error = "no such texture", false;
  if (level < 0 || level >= r->levels) return *error = "no such level", false;
  // Upload from the top of video memory through VIF1, as a frame would.
  auto* chain = static_cast<uint32_t*>(ZeMemAlloc(64 * 16));
  gs_ptr = gs_top;
  uint32_t* p = ZeTexAccomodate(chain, id, 0);
  p[0] = uint32_t(DMATAG_END) << 28;
  p[1] = p[2] = p[3] = 0;
  VU1_DmaWrite(chain);
  vu1_dma_status = 0;
  ZeMemFree(chain);

  const int w = std::max(1, slot->tex.width >> level), h = std::max(1, slot->tex.height >> level);
  out->width = w;
  out->height = h;
  out->pixels.resize(size_t(w) * size_t(h));
  auto clut = [&](int i) {
    int x, y;
    if (r->psm == PSMT4) {
      x = i % 8, y = i / 8;
    } else {
      const int j = (i & ~0x18) | ((i & 8) << 1) | ((i & 16) >> 1);  // CSM1
      x = j % 16, y = j / 16;
    }
    return GsMemReadPixel(PSMCT32, r->cbp, r->cbw, x, y);
  };
  auto expandAlpha = [](uint32_t a) { return a >= 0x80 ? 255u : a * 2; };
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      uint32_t v = GsMemReadPixel(r->psm, r->level_addr[level], r->level_tbw[level], x, y), c;
      switch (r->psm) {
        case PSMCT32: c = (v & 0xffffff) | expandAlpha(v >> 24) << 24; break;
        case PSMCT24: c = (v & 0xffffff) | 0xff000000u; break;
        case PSMCT16: {
          auto e = [](uint32_t f) { return f << 3; };  // as the GS expands 5 bits
          c = e(v & 31) | e((v >> 5) & 31) << 8 | e((v >> 10) & 31) << 16 | ((v >> 15) & 1 ? 0u : 0xff000000u);
          break;
        }
        case PSMT8:
        case PSMT4: {
          uint32_t e = clut(int(v));
          c = (e & 0xffffff) | expandAlpha(e >> 24) << 24;
          break;
        }
        default: return *error = "a format the tool does not show", false;
      }
      out->pixels[size_t(y) * size_t(w) + size_t(x)] = c;
    }
  return true;
}

RgbaImage TestPattern(int w, int h) {
  static const uint8_t V[5] = {0x00, 0x40, 0x80, 0xc0, 0xf8};
  RgbaImage img;
  img.width = w;
  img.height = h;
  img.pixels.resize(size_t(w) * size_t(h));
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      const int k = (x / 4 + 3 * (y / 4)) % 16;
      img.pixels[size_t(y) * size_t(w) + size_t(x)] =
          uint32_t(V[k % 5]) | uint32_t(V[k / 5]) << 8 | uint32_t(V[(k * 2) % 5]) << 16 | 0xff000000u;
    }
  return img;
}

// ---- pictures users bring -----------------------------------------------------------------

namespace {

struct JpegError {
  jpeg_error_mgr mgr;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JpegFail(j_common_ptr c) {
  auto* e = reinterpret_cast<JpegError*>(c->err);
  (*c->err->format_message)(c, e->message);
  longjmp(e->jump, 1);
}
void JpegQuiet(j_common_ptr) {}

// A JPEG through libjpeg: grey and YCbCr as RGB, CMYK (Adobe's inverted
// form, as libjpeg hands it over) multiplied out; opaque.
bool JpegDecode(const uint8_t* bytes, size_t size, RgbaImage* out, std::string* error) {
  jpeg_decompress_struct d;
  JpegError e;
  d.err = jpeg_std_error(&e.mgr);
  e.mgr.error_exit = JpegFail;
  e.mgr.output_message = JpegQuiet;
  jpeg_create_decompress(&d);
  std::vector<uint8_t> row;
  if (setjmp(e.jump)) {
    jpeg_destroy_decompress(&d);
    *error = e.message;
    return false;
  }
  jpeg_mem_src(&d, bytes, static_cast<unsigned long>(size));
  jpeg_read_header(&d, TRUE);
  if (d.image_width > unsigned(TEXTOOL_MAX_SIDE) || d.image_height > unsigned(TEXTOOL_MAX_SIDE)) {
    jpeg_destroy_decompress(&d);
    *error = "size out of range (at most " + std::to_string(TEXTOOL_MAX_SIDE) + " pixels a side)";
    return false;
  }
  const bool cmyk = d.jpeg_color_space == JCS_CMYK || d.jpeg_color_space == JCS_YCCK;
  d.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&d);
  const int w = int(d.output_width), h = int(d.output_height), n = d.output_components;
  row.resize(size_t(w) * size_t(n));
  out->width = w, out->height = h;
  out->pixels.assign(size_t(w) * size_t(h), 0);
  for (int y = 0; y < h; y++) {
    JSAMPROW r = row.data();
    jpeg_read_scanlines(&d, &r, 1);
    for (int x = 0; x < w; x++) {
      const uint8_t* p = &row[size_t(x) * size_t(n)];
      uint32_t c;
      if (cmyk) {
        auto ch = [&](int i) { return uint32_t((p[i] * p[3] + 127) / 255); };
        c = ch(0) | ch(1) << 8 | ch(2) << 16;
      } else {
        c = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
      }
      out->pixels[size_t(y) * size_t(w) + size_t(x)] = c | 0xff000000u;
    }
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return true;
}

// A side's power of two: the nearest within 8-1024, a tie going up.
int FitSide(int n) {
  int p = 8;
  while (p < 1024 && n - p >= 2 * p - n) p *= 2;
  return p;
}

// The source pixels (and weights) each of `to` texels takes from `from`.
using Taps = std::vector<std::vector<std::pair<int, float>>>;
Taps Resample(int from, int to) {
  Taps taps(static_cast<size_t>(to));
  const double scale = double(from) / double(to);
  for (int i = 0; i < to; i++) {
    auto& t = taps[size_t(i)];
    if (to < from) {  // box: the source span [i, i + 1) x scale covers
      const double a = i * scale, b = (i + 1) * scale;
      for (int s = int(a); s < from && s < b; s++) {
        const double cover = std::min(b, s + 1.0) - std::max(a, double(s));
        if (cover > 0) t.push_back({s, float(cover / scale)});
      }
    } else {  // bilinear between pixel centres
      const double x = std::clamp((i + 0.5) * scale - 0.5, 0.0, double(from - 1));
      const int s = int(x);
      const float f = float(x - s);
      t.push_back({s, 1.0f - f});
      if (f > 0 && s + 1 < from) t.push_back({s + 1, f});
    }
  }
  return taps;
}

}  // namespace

bool PictureDecode(const uint8_t* bytes, size_t size, RgbaImage* out, std::string* error) {
  static const uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (size >= 8 && !memcmp(bytes, png, 8))
    return PngReadMemory(bytes, size, TEXTOOL_MAX_SIDE, &out->pixels, &out->width, &out->height, error);
  if (size >= 3 && bytes[0] == 0xff && bytes[1] == 0xd8 && bytes[2] == 0xff) return JpegDecode(bytes, size, out, error);
  *error = "not a PNG or JPEG picture";
  return false;
}

bool PictureRead(const std::string& path, RgbaImage* out, std::string* error) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return *error = strerror(errno), false;
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M') return PictureDecode(bytes.data(), bytes.size(), out, error);
  // A bitmap through the engine's reader, from the file's own directory.
  const std::filesystem::path a = std::filesystem::absolute(path);
  const std::string root = PlatGetHostRoot() ? PlatGetHostRoot() : "";
  ToolSetHostRoot(a.parent_path().c_str());
  const std::string name = "@loc" + a.filename().string();
  ZETEX* t = ZeTexReadBitmap(name.c_str());
  PlatSetHostRoot(root.empty() ? nullptr : root.c_str());
  if (!t || !ImageToRgba(t, out)) return *error = "not a bitmap the engine reads", false;
  return true;
}

RgbaImage PictureFit(const RgbaImage& pic) {
  const int w = FitSide(pic.width), h = FitSide(pic.height);
  if (w == pic.width && h == pic.height) return pic;
  // Premultiplied channels, rows first, then columns.
  const Taps tx = Resample(pic.width, w), ty = Resample(pic.height, h);
  std::vector<float> rows(size_t(w) * size_t(pic.height) * 4, 0.0f);
  for (int y = 0; y < pic.height; y++)
    for (int x = 0; x < w; x++)
      for (const auto& [s, wt] : tx[size_t(x)]) {
        const uint32_t c = pic.pixels[size_t(y) * size_t(pic.width) + size_t(s)];
        const float a = float(c >> 24) / 255.0f;
        float* o = &rows[(size_t(y) * size_t(w) + size_t(x)) * 4];
        for (int k = 0; k < 3; k++) o[k] += wt * a * float(Ch(c, k));
        o[3] += wt * a;
      }
  RgbaImage out;
  out.width = w, out.height = h;
  out.pixels.resize(size_t(w) * size_t(h));
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      float v[4] = {0, 0, 0, 0};
      for (const auto& [s, wt] : ty[size_t(y)])
        for (int k = 0; k < 4; k++) v[k] += wt * rows[(size_t(s) * size_t(w) + size_t(x)) * 4 + size_t(k)];
      uint32_t c = uint32_t(std::lround(std::clamp(v[3], 0.0f, 1.0f) * 255.0f)) << 24;
      for (int k = 0; k < 3 && v[3] > 0; k++)
        c |= uint32_t(std::lround(std::clamp(v[k] / v[3], 0.0f, 255.0f))) << (8 * k);
      out.pixels[size_t(y) * size_t(w) + size_t(x)] = c;
    }
  return out;
}

ZETEX* TexFromPicture(const RgbaImage& pic, std::string* error) {
  return TexFromRgba(PictureFit(pic), TEXTOOL_DEFAULT_TYPE, 1, error);
}
