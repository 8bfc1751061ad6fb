// bitconv: 4- and 8-bit texels rearranged so that an upload as 32-bit data
// leaves the 4- or 8-bit image in video memory, and the quantiser that
// reduces true-colour images to 256 colours.
#include "ze3d.h"
#include "zecore.h"
#include "zetex_local.h"

#include <cstring>

namespace {

// Byte offset, inside a 64 x 32 PSMCT32 page held row-major (256 bytes a
// row), of every texel of a PSMT8 page (128 x 64) and of every texel of a
// PSMT4 page (128 x 128, as the byte and nibble that holds it: offset x 2
// + nibble). Both are derived once from the hardware tables.
uint16_t g_page8[64][128];
uint16_t g_page4[128][128];
bool g_tablesReady = false;

// Where word w of a PSMCT32 page lies in the row-major page image.
int Ct32WordOffset(int word) {
  static int blockX[32], blockY[32], colX[64], colY[64];
  static bool ready = false;
  if (!ready) {
    for (int by = 0; by < 4; by++)
      for (int bx = 0; bx < 8; bx++) {
        blockX[BITCONV_BLOCK32[by][bx]] = bx;
        blockY[BITCONV_BLOCK32[by][bx]] = by;
      }
    for (int y = 0; y < 8; y++)
      for (int x = 0; x < 8; x++) {
        colX[BITCONV_COLUMN32[y][x]] = x;
        colY[BITCONV_COLUMN32[y][x]] = y;
      }
    ready = true;
  }
  int b = word / 64, i = word % 64;
  int x = blockX[b] * 8 + colX[i], y = blockY[b] * 8 + colY[i];
  return (y * 64 + x) * 4;
}

void BuildTables() {
  if (g_tablesReady) return;
  for (int y = 0; y < 64; y++)
    for (int x = 0; x < 128; x++) {
      int byte = BITCONV_BLOCK32[y / 16][x / 16] * 256 + BITCONV_COLUMN8[y % 16][x % 16];
      g_page8[y][x] = uint16_t(Ct32WordOffset(byte / 4) + byte % 4);
    }
  for (int y = 0; y < 128; y++)
    for (int x = 0; x < 128; x++) {
      int nib = BITCONV_BLOCK16[y / 16][x / 32] * 512 + BITCONV_COLUMN4[y % 16][x % 32];
      int byte = nib / 2;
      g_page4[y][x] = uint16_t((Ct32WordOffset(byte / 4) + byte % 4) * 2 + (nib & 1));
    }
  g_tablesReady = true;
}

// One PSMT8 page (up to 128 x rows texels of a w-wide image at src) into
// the 64 x 32 PSMCT32 page it occupies, written into the 32-bit image of
// width w / 2 at dst (the page's top-left texel).
void PageConv8to32(uint8_t* dst, int dstStride, const uint8_t* src, int srcStride, int rows) {
  alignas(16) static uint8_t page[8192];
  memset(page, 0, sizeof page);
  for (int y = 0; y < rows; y++)
    for (int x = 0; x < 128; x++) page[g_page8[y][x]] = src[y * srcStride + x];
  for (int y = 0; y < rows / 2; y++) memcpy(dst + y * dstStride, page + y * 256, 256);
}

// The same for a PSMT4 page (whole pages only: 128 x 128 texels, low
// nibble first) into its 64 x 32 PSMCT32 page.
void PageConv4to32(uint8_t* dst, int dstStride, const uint8_t* src, int srcStride) {
  alignas(16) static uint8_t page[8192];
  memset(page, 0, sizeof page);
  for (int y = 0; y < 128; y++)
    for (int x = 0; x < 128; x++) {
      uint8_t b = src[y * srcStride + x / 2];
      uint8_t v = (x & 1) ? uint8_t(b >> 4) : uint8_t(b & 15);
      int o = g_page4[y][x];
      page[o / 2] = uint8_t(page[o / 2] | ((o & 1) ? v << 4 : v));
    }
  for (int y = 0; y < 32; y++) memcpy(dst + y * dstStride, page + y * 256, 256);
}

bool SizeAccepted(int v) {
  for (int k = 0; k <= 10; k++)
    if (v == 1024 >> k) return true;
  return false;
}

}  // namespace

// w x h 8-bit texels (w a multiple of 128) rearranged in place into the
// (w / 2) x (h / 2) 32-bit image that uploads as them.
void Conv8to32(uint8_t* texels, int w, int h) {
  BuildTables();
  const int bytes = w * h;
  auto* copy = static_cast<uint8_t*>(ZeMemAlloc(bytes));
  memcpy(copy, texels, size_t(bytes));
  for (int py = 0; py < h; py += 64)
    for (int px = 0; px < w; px += 128) {
      int rows = h - py < 64 ? h - py : 64;
      PageConv8to32(texels + (py / 2) * (w * 2) + px * 2, w * 2, copy + py * w + px, w, rows);
    }
  ZeMemFree(copy);
}

// w x h 4-bit texels (low nibble first; w and h multiples of 128) into the
// (w / 2) x (h / 4) 32-bit image that uploads as them.
void Conv4to32(uint8_t* texels, int w, int h) {
  BuildTables();
  const int bytes = w * h / 2;
  auto* copy = static_cast<uint8_t*>(ZeMemAlloc(bytes));
  memcpy(copy, texels, size_t(bytes));
  for (int py = 0; py < h; py += 128)
    for (int px = 0; px < w; px += 128)
      PageConv4to32(texels + (py / 4) * (w * 2) + px * 2, w * 2, copy + py * (w / 2) + px / 2, w / 2);
  ZeMemFree(copy);
}

void ZeTexSwizzelBits(ZETEX* img) {
  if (img->mipcount > 1 || !img->texels) return;
  const int w = img->width, h = img->height;
  if (!SizeAccepted(w) || !SizeAccepted(h)) return;
  if (img->type == ZETEX_PAL4 && w >= 128 && h >= 128) {
    uint8_t* t = img->texels;
    for (int i = 0; i < w * h / 2; i++) t[i] = uint8_t(t[i] << 4 | t[i] >> 4);
    Conv4to32(t, w, h);
    img->type = ZETEX_PAL4_SWZ;
    img->width = w / 2;
    img->height = h / 4;
  } else if (img->type == ZETEX_PAL8 && w >= 128 && h >= 16) {
    // Fewer rows would leave a 32-bit image below the 8-row level minimum
    // (and under 4 rows the 8-bit rows share 32-bit ones): such images go
    // up in their own format.
    Conv8to32(img->texels, w, h);
    img->type = ZETEX_PAL8_SWZ;
    img->width = w / 2;
    img->height = h / 2;
  }
}

// ---- quantiser ------------------------------------------------------------------

constexpr int QUANT_INDEX_BYTES = 262144;
uint8_t* zetex_quant_index = nullptr;
uint32_t zetex_quant_palette[256];
int zetex_quant_colours = 0;

void QuantizeTexture(ZETEX* img) {
  zetex_quant_colours = 0;
  if (img->type != ZETEX_RGB24 && img->type != ZETEX_RGBA32) {
    ZeDebugMsg("Cannot quantise alpha textures");
    return;
  }
  // Every level held is quantised, one after another in the index buffer;
  // more texels than it holds are refused rather than written past it.
  const int levels = img->mipcount > 1 ? img->mipcount : 1;
  int64_t total = 0;
  for (int l = 0; l < levels; l++) total += int64_t(img->width >> l) * (img->height >> l);
  if (total > QUANT_INDEX_BYTES || img->width <= 0 || img->height <= 0 || !img->texels) {
    ZeDebugMsg("Cannot quantise a texture of %d x %d", img->width, img->height);
    return;
  }
  if (!zetex_quant_index) zetex_quant_index = static_cast<uint8_t*>(ZeMemAlloc(QUANT_INDEX_BYTES));
  const uint8_t* s = img->texels;
  int n = 0, out = 0;
  for (int l = 0; l < levels; l++) {
    const int w = img->width >> l, h = img->height >> l;
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        uint8_t r, g, b, a;
        if (img->type == ZETEX_RGB24) {
          b = s[0] & 0xf0;
          g = s[1] & 0xf8;
          r = s[2] & 0xf8;
          a = 0x80;
          s += 3;
        } else {
          int al = (s[0] & 0xf0) * 255 / 240;
          a = uint8_t(al < 0x80 ? al : 0x80);
          b = s[1] & 0xf0;
          g = s[2] & 0xf8;
          r = s[3] & 0xf0;
          s += 4;
        }
        uint32_t c = uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16 | uint32_t(a) << 24;
        int i = 0;
        while (i < n && zetex_quant_palette[i] != c) i++;
        if (i == n) {
          if (n == 256) {
            ZeDebugMsg("***********************************************");
            ZeDebugMsg("*********too many colours at (%d, %d)**********", x, y);
            ZeDebugMsg("***********************************************");
            return;
          }
          zetex_quant_palette[n++] = c;
        }
        zetex_quant_index[out++] = uint8_t(i);
      }
  }
  zetex_quant_colours = n;
}
