// Textures: the CLUT buffer and its loading (CLD, CSM1/CSM2, CSA), the
// texture description a kick sees (levels, filters, wrap modes, TEXA),
// texel colours, LOD from Q, the texture function, and the reference
// sampler that reads local memory through the format rows.
#include <algorithm>

#include "gs_local.h"

namespace {

bool IsIndexed(uint32_t psm) {
  return psm == PSMT8 || psm == PSMT4 || psm == PSMT8H || psm == PSMT4HL || psm == PSMT4HH;
}
bool Is4Bit(uint32_t psm) { return psm == PSMT4 || psm == PSMT4HL || psm == PSMT4HH; }

// CPSM is four bits: PSMCT16 and PSMCT16S by name, anything else reads as PSMCT32.
int ClutFormat(uint32_t cpsm) {
  return cpsm == PSMCT16 ? PSMCT16 : cpsm == PSMCT16S ? PSMCT16S : PSMCT32;
}

// First CLUT buffer entry: CSA selects a 16-entry palette of a 4-bit
// texture (CSA 0-15 for PSMCT32 entries, 0-31 for 16-bit ones).
int ClutBase(uint32_t psm, int cpsm, uint32_t csa) {
  if (!Is4Bit(psm)) return 0;
  return cpsm == PSMCT32 ? int(csa & 15) * 16 : int(csa) * 16;
}

uint32_t Alpha16(const GsTexEnv& t, uint32_t c) {
  if (c & 0x8000) return t.ta1;
  return (t.aem && (c & 0x7fff) == 0) ? 0 : t.ta0;
}

uint32_t Texel(const GsTexEnv& t, const GsTexLevel& lv, int i, int j) {
  const GsPsmRow& r = *t.psm;
  return GsTexelColour(t, r.read(r.addr(lv.tbp, lv.tbw, i, j)));
}

uint32_t Lerp4(uint32_t a, uint32_t b, int f, int shift) {
  uint32_t out = 0;
  for (int c = 0; c < 32; c += 8) {
    uint32_t x = (a >> c) & 0xff, y = (b >> c) & 0xff;
    out |= (((x * uint32_t((1 << shift) - f) + y * uint32_t(f)) >> shift) & 0xff) << c;
  }
  return out;
}

// One level, nearest (filter 0) or bilinear (filter 1). Coordinates and
// the region bounds scale down with the level.
uint32_t SampleLevel(const GsTexEnv& t, int level, int u, int v, int filter) {
  const GsTexLevel& lv = t.lv[level];
  int w = 1 << lv.tw, h = 1 << lv.th;
  int uu = u >> level, vv = v >> level;
  int minu = t.minu >> level, maxu = t.maxu >> level, minv = t.minv >> level,
      maxv = t.maxv >> level;
  if (filter == 0) {
    int i = GsWrapCoord(uu >> 4, t.wms, w, minu, maxu);
    int j = GsWrapCoord(vv >> 4, t.wmt, h, minv, maxv);
    return Texel(t, lv, i, j);
  }
  // Bilinear: texel centres sit at half-texel positions; weights in 1/16.
  uu -= 8;
  vv -= 8;
  int fu = uu & 15, fv = vv & 15;
  int i0 = GsWrapCoord(uu >> 4, t.wms, w, minu, maxu);
  int i1 = GsWrapCoord((uu >> 4) + 1, t.wms, w, minu, maxu);
  int j0 = GsWrapCoord(vv >> 4, t.wmt, h, minv, maxv);
  int j1 = GsWrapCoord((vv >> 4) + 1, t.wmt, h, minv, maxv);
  uint32_t c00 = Texel(t, lv, i0, j0), c10 = Texel(t, lv, i1, j0);
  uint32_t c01 = Texel(t, lv, i0, j1), c11 = Texel(t, lv, i1, j1);
  uint32_t out = 0;
  for (int c = 0; c < 32; c += 8) {
    uint32_t h0 = ((c00 >> c) & 0xff) * uint32_t(16 - fu) + ((c10 >> c) & 0xff) * uint32_t(fu);
    uint32_t h1 = ((c01 >> c) & 0xff) * uint32_t(16 - fu) + ((c11 >> c) & 0xff) * uint32_t(fu);
    out |= (((h0 * uint32_t(16 - fv) + h1 * uint32_t(fv)) >> 8) & 0xff) << c;
  }
  return out;
}

}  // namespace

void GsClutLoad(const GsTEX0& tex0) {
  uint32_t psm = uint32_t(tex0.PSM);
  if (!IsIndexed(psm)) return;
  uint32_t cbp = uint32_t(tex0.CBP);
  switch (tex0.CLD) {
    case 1: break;
    case 2: g_gs.cbp0 = cbp; break;
    case 3: g_gs.cbp1 = cbp; break;
    case 4:
      if (cbp == g_gs.cbp0) return;
      g_gs.cbp0 = cbp;
      break;
    case 5:
      if (cbp == g_gs.cbp1) return;
      g_gs.cbp1 = cbp;
      break;
    default: return;  // 0: no load; 6 and 7 are not defined
  }
  int cpsm = ClutFormat(uint32_t(tex0.CPSM));
  const GsPsmRow& r = GsPsm(uint32_t(cpsm));
  GsTEXCLUT tc = GsAs<GsTEXCLUT>(g_gs.reg[GS_TEXCLUT]);
  int entries = Is4Bit(psm) ? 16 : 256;
  int base = ClutBase(psm, cpsm, uint32_t(tex0.CSA));
  uint16_t before[512];
  memcpy(before, g_gs.clut, sizeof before);
  for (int i = 0; i < entries; i++) {
    int x, y;
    uint32_t bw = 1;
    if (tex0.CSM == 0) {
      // CSM1: a 16 x 16 image with entries 8-15 and 16-23 of every 32
      // trading places, or an 8 x 2 image for 16 entries.
      if (entries == 256) {
        int j = (i & ~0x18) | ((i & 8) << 1) | ((i & 0x10) >> 1);
        x = j & 15;
        y = j >> 4;
      } else {
        x = i & 7;
        y = i >> 3;
      }
    } else {
      // CSM2: one line of the buffer TEXCLUT describes.
      x = int(tc.COU) * 16 + i;
      y = int(tc.COV);
      bw = uint32_t(tc.CBW);
    }
    uint32_t c = r.read(r.addr(cbp, bw, x & 2047, y & 2047));
    if (cpsm == PSMCT32) {
      int e = (base + i) & 255;
      g_gs.clut[e] = uint16_t(c);
      g_gs.clut[e + 256] = uint16_t(c >> 16);
    } else {
      g_gs.clut[(base + i) & 511] = uint16_t(c);
    }
  }
  // Decoded textures remember the buffer's serial: it moves only when the
  // colours change.
  if (memcmp(before, g_gs.clut, sizeof before) != 0) g_gs.clutSerial++;
  g_gs.envDirty = true;
}

void GsTexEnvBuild(GsTexEnv* t, const GsTEX0& tex0, const GsTEX1& tex1, const GsCLAMP& clamp,
                   uint64_t miptbp1, uint64_t miptbp2, const GsTEXA& texa) {
  uint32_t psm = uint32_t(tex0.PSM);
  t->psm = &GsPsm(psm);
  t->indexed = IsIndexed(psm);
  t->tfx = int(tex0.TFX);
  t->tcc = int(tex0.TCC);
  int tw = std::min(int(tex0.TW), 10), th = std::min(int(tex0.TH), 10);
  GsMIPTBP1 m1 = GsAs<GsMIPTBP1>(miptbp1);
  GsMIPTBP2 m2 = GsAs<GsMIPTBP2>(miptbp2);
  const uint32_t tbp[7] = {uint32_t(tex0.TBP0), uint32_t(m1.TBP1), uint32_t(m1.TBP2),
                           uint32_t(m1.TBP3),   uint32_t(m2.TBP4), uint32_t(m2.TBP5),
                           uint32_t(m2.TBP6)};
  const uint32_t tbw[7] = {uint32_t(tex0.TBW), uint32_t(m1.TBW1), uint32_t(m1.TBW2),
                           uint32_t(m1.TBW3),  uint32_t(m2.TBW4), uint32_t(m2.TBW5),
                           uint32_t(m2.TBW6)};
  for (int l = 0; l < 7; l++) t->lv[l] = GsTexLevel{tbp[l], tbw[l], std::max(tw - l, 0),
                                                    std::max(th - l, 0)};
  t->mxl = std::min(int(tex1.MXL), 6);
  t->lcm = int(tex1.LCM);
  t->mmag = int(tex1.MMAG);
  t->mmin = int(tex1.MMIN);
  t->l = int(tex1.L);
  t->k = int32_t(uint32_t(tex1.K) << 20) >> 20;  // signed 7.4
  t->wms = int(clamp.WMS);
  t->wmt = int(clamp.WMT);
  t->minu = int(clamp.MINU);
  t->maxu = int(clamp.MAXU);
  t->minv = int(clamp.MINV);
  t->maxv = int(clamp.MAXV);
  t->ta0 = uint32_t(texa.TA0);
  t->ta1 = uint32_t(texa.TA1);
  t->aem = uint32_t(texa.AEM);
  t->cpsm = ClutFormat(uint32_t(tex0.CPSM));
  t->clutBase = ClutBase(psm, t->cpsm, uint32_t(tex0.CSA));
}

uint32_t GsClutColour(const GsTexEnv& t, uint32_t index) {
  if (t.cpsm == PSMCT32) {
    uint32_t e = (uint32_t(t.clutBase) + index) & 255;
    return g_gs.clut[e] | uint32_t(g_gs.clut[e + 256]) << 16;
  }
  uint32_t c = g_gs.clut[(uint32_t(t.clutBase) + index) & 511];
  return GsExpand16(c, Alpha16(t, c));
}

uint32_t GsTexelColour(const GsTexEnv& t, uint32_t bits) {
  switch (t.psm->store) {
    case GS_ST_32: return bits;
    case GS_ST_24: {
      uint32_t rgb = bits & 0xffffff;
      return rgb | ((t.aem && rgb == 0) ? 0 : t.ta0) << 24;
    }
    case GS_ST_16: return GsExpand16(bits, Alpha16(t, bits));
    case GS_ST_NONE: return 0;
    default: return GsClutColour(t, bits);
  }
}

int GsWrapCoord(int i, int mode, int size, int rmin, int rmax) {
  switch (mode) {
    case 0: return i & (size - 1);                 // REPEAT
    case 1: return std::clamp(i, 0, size - 1);     // CLAMP
    case 2: return std::min(std::max(i, rmin), rmax);  // REGION_CLAMP
    default: return (i & rmin) | rmax;             // REGION_REPEAT: MINU masks, MAXU fixes
  }
}

int GsTexLod(const GsTexEnv& t, float q) {
  if (t.lcm) return t.k;
  uint32_t bits;
  memcpy(&bits, &q, 4);
  bits &= 0x7fffffff;
  if (bits == 0) return 0x7fff;                // 1/Q without end: the smallest level
  if (bits >= 0x7f800000) return -0x8000;      // infinite or not a number: magnified
  // log2 |Q| in 1/16: the exponent, and the mantissa's top four bits as
  // the fraction (linear between powers of two).
  int log16 = int(bits >> 19) - 127 * 16;
  return -log16 * (1 << t.l) + t.k;
}

int GsStqToCoord(float st, float rq, int log2size) {
  float f = (st * rq) * float(16 << log2size);
  // Out-of-range and NaN values settle at the limits, as SSE's max/min do.
  f = f > -16777216.0f ? f : -16777216.0f;
  f = f < 16777216.0f ? f : 16777216.0f;
  int i = int(f);
  return float(i) > f ? i - 1 : i;
}

uint32_t GsSampleRef(const GsTexEnv& t, int u, int v, float q) {
  int lod = GsTexLod(t, q);
  int filter, level = 0, frac = 0;
  if (lod < 0) {
    filter = t.mmag;
  } else {
    switch (t.mmin) {
      case 0: filter = 0; break;
      case 2:
      case 4:  // NEAREST_MIPMAP_NEAREST, LINEAR_MIPMAP_NEAREST
        filter = t.mmin == 4;
        level = std::min((lod + 8) >> 4, t.mxl);
        break;
      case 3:
      case 5:  // NEAREST_MIPMAP_LINEAR, LINEAR_MIPMAP_LINEAR
        filter = t.mmin == 5;
        level = lod >> 4;
        frac = lod & 15;
        if (level >= t.mxl) {
          level = t.mxl;
          frac = 0;
        }
        break;
      default: filter = 1; break;
    }
  }
  uint32_t c = SampleLevel(t, level, u, v, filter);
  if (frac) c = Lerp4(c, SampleLevel(t, level + 1, u, v, filter), frac, 4);
  return c;
}

uint32_t GsTfx(int tfx, int tcc, uint32_t f, uint32_t t) {
  uint32_t af = f >> 24, at = t >> 24;
  uint32_t out = 0;
  for (int c = 0; c < 24; c += 8) {
    uint32_t cf = (f >> c) & 0xff, ct = (t >> c) & 0xff, v;
    switch (tfx) {
      case 0: v = std::min((ct * cf) >> 7, 255u); break;        // MODULATE
      case 1: v = ct; break;                                    // DECAL
      default: v = std::min(((ct * cf) >> 7) + af, 255u); break;  // HIGHLIGHT, HIGHLIGHT2
    }
    out |= v << c;
  }
  uint32_t a = af;
  if (tcc) {
    switch (tfx) {
      case 0: a = std::min((at * af) >> 7, 255u); break;
      case 2: a = std::min(at + af, 255u); break;
      default: a = at; break;  // DECAL, HIGHLIGHT2
    }
  }
  return out | a << 24;
}
