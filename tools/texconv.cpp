// texconv: the texture tool's conversions (see textool.h).
#include "textool.h"

#include <algorithm>
#include <cstring>
#include <map>

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
