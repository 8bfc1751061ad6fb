// The display read circuits: DISPFB/DISPLAY of each circuit read through
// the format rows, and the merge circuit's picture (PMODE, BGCOLOR).
#include <algorithm>
#include <vector>

#include "gs_local.h"

namespace {

struct Circuit {
  bool on;
  GsDISPFB fb;
  int w, h;
};

Circuit CircuitOf(int n) {
  Circuit c{};
  GsPMODE pm = GsAs<GsPMODE>(g_gs.priv[GS_P_PMODE]);
  c.on = n == 1 ? pm.EN1 : pm.EN2;
  c.fb = GsAs<GsDISPFB>(g_gs.priv[n == 1 ? GS_P_DISPFB1 : GS_P_DISPFB2]);
  GsDISPLAY d = GsAs<GsDISPLAY>(g_gs.priv[n == 1 ? GS_P_DISPLAY1 : GS_P_DISPLAY2]);
  // DW and DH count video clocks and lines; MAGH and MAGV magnify pixels.
  c.w = int(d.DW + 1) / int(d.MAGH + 1);
  c.h = int(d.DH + 1) / int(d.MAGV + 1);
  return c;
}

// One row of a circuit's picture as 0xAABBGGRR words; 24-bit buffers have
// no alpha (0).
void RowOf(const Circuit& c, int y, int w, uint32_t* out) {
  const GsPsmRow& r = GsPsm(uint32_t(c.fb.PSM));
  const uint32_t bp = uint32_t(c.fb.FBP) * 32, bw = uint32_t(c.fb.FBW);
  const int yy = (int(c.fb.DBY) + y) & 2047;
  for (int x = 0; x < w; x++) {
    uint32_t bits = r.read(GsAddrFast(r, bp, bw, (int(c.fb.DBX) + x) & 2047, yy));
    switch (r.store) {
      case GS_ST_32:
      case GS_ST_24: out[x] = bits; break;
      case GS_ST_16: out[x] = GsExpand16(bits, (bits & 0x8000) ? 0x80 : 0); break;
      default: out[x] = 0; break;
    }
  }
}

}  // namespace

bool GsReadDisplay(int circuit, uint32_t* out, int maxPixels, int* width, int* height) {
  GsSync();
  *width = *height = 0;
  if (circuit != 1 && circuit != 2) return false;
  Circuit c = CircuitOf(circuit);
  if (!c.on) return false;
  *width = c.w;
  *height = c.h;
  for (int y = 0; y < c.h && (y + 1) * c.w <= maxPixels; y++) RowOf(c, y, c.w, out + y * c.w);
  return true;
}

bool GsReadDisplayMerged(uint32_t* out, int maxPixels, int* width, int* height) {
  GsSync();
  *width = *height = 0;
  Circuit c1 = CircuitOf(1), c2 = CircuitOf(2);
  if (!c1.on && !c2.on) return false;
  GsPMODE pm = GsAs<GsPMODE>(g_gs.priv[GS_P_PMODE]);
  GsBGCOLOR bg = GsAs<GsBGCOLOR>(g_gs.priv[GS_P_BGCOLOR]);
  const uint32_t bgc = uint32_t(bg.R) | uint32_t(bg.G) << 8 | uint32_t(bg.B) << 16;
  const Circuit& size = c1.on ? c1 : c2;
  *width = size.w;
  *height = size.h;
  std::vector<uint32_t> row1(size_t(std::max(c1.w, 0))), row2(size_t(std::max(c2.w, 0)));
  int n = 0;
  for (int y = 0; y < size.h; y++) {
    if (c1.on && y < c1.h) RowOf(c1, y, c1.w, row1.data());
    if (c2.on && y < c2.h) RowOf(c2, y, c2.w, row2.data());
    for (int x = 0; x < size.w && n < maxPixels; x++) {
      // Circuit 2 (or the background colour with SLBG) under circuit 1,
      // blended by ALP (MMOD 1) or by circuit 1's alpha (MMOD 0); 255 = 1.0.
      bool in2 = c2.on && !pm.SLBG && x < c2.w && y < c2.h;
      uint32_t under = in2 ? row2[size_t(x)] & 0xffffff : bgc;
      uint32_t px = under;
      if (c1.on && x < c1.w && y < c1.h) {
        uint32_t over = row1[size_t(x)];
        uint32_t a = pm.MMOD ? uint32_t(pm.ALP) : over >> 24;
        px = 0;
        for (int k = 0; k < 24; k += 8) {
          uint32_t o = (over >> k) & 0xff, u = (under >> k) & 0xff;
          px |= ((o * a + u * (255 - a) + 127) / 255) << k;
        }
      }
      out[n++] = px;
    }
  }
  return true;
}
