// The reference rasteriser: plain per-pixel code that states the drawing
// rules once. Coverage by edge functions with the top-left rule, every
// fragment through GsRefPixel, every memory access through the format
// rows. The fast path is checked against it.
#include <algorithm>

#include "gs_local.h"

namespace {

// Colour of a frame pixel as blending sees it: 24-bit frames have no
// alpha and read as 0x80 (1.0); 16-bit ones read their alpha bit as 0x80.
uint32_t DestColour(GsFbFmt f, uint32_t bits) {
  switch (f) {
    case GS_FB_32: return bits;
    case GS_FB_24: return (bits & 0xffffff) | 0x80000000;
    case GS_FB_16: return GsExpand16(bits, (bits & 0x8000) ? 0x80 : 0);
    default: return 0;
  }
}

// FBMSK (bits set are kept) in the frame's own bits.
uint32_t FormatMask(GsFbFmt f, uint32_t fbmsk) {
  return f == GS_FB_16 ? GsPack16(fbmsk) : fbmsk;
}

uint32_t FormatBits(GsFbFmt f, uint32_t rgba) {
  switch (f) {
    case GS_FB_32: return rgba;
    case GS_FB_24: return rgba & 0xffffff;
    default: return GsPack16(rgba);
  }
}

// ((A - B) x C >> 7) + D on each of R, G, B; alpha stays the source's.
uint32_t Blend(const GsDrawEnv& e, uint32_t s, uint32_t d) {
  const int as = int(s >> 24), ad = int(d >> 24);
  const int cv = e.bc == 0 ? as : e.bc == 1 ? ad : int(e.bfix);
  uint32_t out = s & 0xff000000;
  for (int k = 0; k < 24; k += 8) {
    const int cs = int((s >> k) & 0xff), cd = int((d >> k) & 0xff);
    const int sel[4] = {cs, cd, 0, 0};
    int v = (((sel[e.ba] - sel[e.bb]) * cv) >> 7) + sel[e.bd];
    v = e.colclamp ? std::clamp(v, 0, 255) : (v & 0xff);
    out |= uint32_t(v) << k;
  }
  return out;
}

}  // namespace

bool GsAlphaPass(int atst, uint32_t a, uint32_t aref) {
  switch (atst) {
    case 0: return false;        // NEVER
    case 1: return true;         // ALWAYS
    case 2: return a < aref;     // LESS
    case 3: return a <= aref;    // LEQUAL
    case 4: return a == aref;    // EQUAL
    case 5: return a >= aref;    // GEQUAL
    case 6: return a > aref;     // GREATER
    default: return a != aref;   // NOTEQUAL
  }
}

void GsRefPixel(const GsDrawEnv& e, int x, int y, const GsFrag& f) {
  uint32_t src = f.rgba;
  if (e.tme) src = GsTfx(e.tex.tfx, e.tex.tcc, f.rgba, GsSampleRef(e.tex, f.u, f.v, f.q));
  // Alpha test: AFAIL says what a failing pixel still writes.
  bool frameWrite = e.ffmt != GS_FB_NONE, zWrite = !e.zmsk, rgbOnly = false;
  if (e.ate && !GsAlphaPass(e.atst, src >> 24, uint32_t(e.aref))) {
    switch (e.afail) {
      case 0: return;                                // KEEP
      case 1: zWrite = false; break;                 // FB_ONLY
      case 2: frameWrite = false; break;             // ZB_ONLY
      default: zWrite = false; rgbOnly = true; break;  // RGB_ONLY
    }
  }
  const GsPsmRow& fr = *e.fpsm;
  const uint32_t fe = fr.addr(e.fbp, e.fbw, x, y);
  const uint32_t dbits = fr.read(fe);
  const uint32_t dst = DestColour(e.ffmt, dbits);
  // Destination alpha test: the pixel's alpha MSB must equal DATM.
  if (e.date && (dst >> 31) != uint32_t(e.datm)) return;
  // Depth test, with Z clamped to what the buffer's format holds. The
  // depth buffer has the frame's width.
  const GsPsmRow& zr = *e.zpsm;
  const uint32_t ze = zr.addr(e.zbp, e.fbw, x, y);
  const uint32_t z = std::min(f.z, e.zmax);
  if (e.ztst != 1) {
    const uint32_t zd = zr.read(ze);
    bool pass = e.ztst == 2 ? z >= zd : e.ztst == 3 ? z > zd : false;
    if (!pass) return;
  }
  if (frameWrite) {
    uint32_t c = e.abe ? Blend(e, src, dst) : src;
    uint32_t mask = FormatMask(e.ffmt, e.fbmsk | (rgbOnly ? 0xff000000 : 0));
    fr.write(fe, (FormatBits(e.ffmt, c) & ~mask) | (dbits & mask));
  }
  if (zWrite) zr.write(ze, z);
}

void GsRefTriangle(const GsDrawEnv& e, const GsTri& t, const GsSetup& s) {
  int x0 = std::max((std::min({t.x[0], t.x[1], t.x[2]}) + 15) >> 4, e.scx0);
  int x1 = std::min((std::max({t.x[0], t.x[1], t.x[2]}) + 15) >> 4, e.scx1 + 1);
  int y0 = std::max((std::min({t.y[0], t.y[1], t.y[2]}) + 15) >> 4, e.scy0);
  int y1 = std::min((std::max({t.y[0], t.y[1], t.y[2]}) + 15) >> 4, e.scy1 + 1);
  // Edge a -> b: E(P) = (Xb - Xa)(Py - Ya) - (Yb - Ya)(Px - Xa) is positive
  // inside. A pixel centre exactly on an edge belongs to the triangle when
  // the edge is a left edge (going up) or a top edge (horizontal, going
  // right): the top-left rule, so shared edges are drawn once.
  bool incl[3];
  for (int k = 0; k < 3; k++) {
    int a = k, b = (k + 1) % 3;
    incl[k] = t.y[b] < t.y[a] || (t.y[b] == t.y[a] && t.x[b] > t.x[a]);
  }
  for (int y = y0; y < y1; y++) {
    for (int x = x0; x < x1; x++) {
      bool inside = true;
      for (int k = 0; k < 3 && inside; k++) {
        int a = k, b = (k + 1) % 3;
        int64_t E = int64_t(t.x[b] - t.x[a]) * (y * 16 - t.y[a]) -
                    int64_t(t.y[b] - t.y[a]) * (x * 16 - t.x[a]);
        inside = E > 0 || (E == 0 && incl[k]);
      }
      if (!inside) continue;
      GsFrag f;
      GsSetupFrag(e, s, x, y, &f);
      GsRefPixel(e, x, y, f);
      g_gs.stats.pixels++;
    }
  }
}

void GsRefSprite(const GsDrawEnv& e, int x0, int y0, int x1, int y1, const GsSetup& s) {
  for (int y = y0; y < y1; y++) {
    for (int x = x0; x < x1; x++) {
      GsFrag f;
      GsSetupFrag(e, s, x, y, &f);
      GsRefPixel(e, x, y, f);
      g_gs.stats.pixels++;
    }
  }
}
