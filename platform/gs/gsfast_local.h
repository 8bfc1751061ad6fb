// What the fast rasteriser's parts share: the drawing environment reduced
// to plain values, a texture level view, and the span functions compiled
// for each vector width (gsspan.h in gsspan_sse2.cpp and gsspan_avx2.cpp).
#pragma once

#include <cstdint>

#include "gs_local.h"

// The drawing environment as the span functions need it.
struct GsFastEnv {
  // frame: a 32-bit layout (its page table), base in words, width in pages
  const uint16_t* fintra;
  uint32_t fbase, fbw;
  bool f24;
  uint32_t keep;  // stored bits never written: FBMSK, and the top byte of 24-bit frames
  // depth: a 32-bit layout
  bool zTest, zWrite, z24;
  int ztst;
  const uint16_t* zintra;
  uint32_t zbase, zmax;
  // tests
  bool ate, date;
  int atst, afail;
  uint32_t aref, datm;
  // blending
  bool colclamp;
  int ba, bb, bc, bd;
  uint32_t fix;
  // texture function
  int tfx, tcc;
  // The environment itself, for groups drawn by GsRefPixel.
  const GsDrawEnv* env;
  // Per primitive: frame and depth buffer share pages under it. A group
  // whose frame and depth words meet is then drawn pixel by pixel through
  // GsRefPixel, in the reference path's order.
  bool alias;
};

// One texture level as decoded RGBA words, and how coordinates reach it.
struct GsFastLevel {
  const uint32_t* texels;
  int tw;  // log2 of the level's width: the row stride
  // Per axis, i = min(max((i & and) | or, lo), hi): every wrap mode in one form.
  int32_t andU, orU, andV, orV;
  int16_t loU, hiU, loV, hiV;
};

// The texture of a primitive: the levels it may sample, and how a pixel
// picks one.
struct GsFastTex {
  GsFastLevel lv[7];
  int tw0, th0;  // log2 of level 0's size: STQ scales to it
  // One level and filter for the whole primitive...
  int level;
  bool bilinear;
  // ... or per pixel from Q (the per-pixel span variants), as GsSampleRef.
  bool lcm;
  int l, k;           // LOD = K with LCM, else (log2(1/Q) << L) + K, in 1/16
  bool magBilinear, minBilinear;
  int minMode;        // 0 level 0; 1 nearest level (rounded); 2 two levels blended
  int mxl;
  int levelLo, levelHi;  // the levels made ready for this primitive
};

// Pixels [x0, x1) of row y.
struct GsSpan {
  int y, x0, x1;
};

// Draws the spans of one primitive.
using GsSpanFn = void (*)(const GsFastEnv& f, const GsSetup& s, const GsFastTex* t,
                          const GsSpan* spans, int n);

// The span function for a set of features, per vector width.
// mip: the level and filter vary per pixel (a texture's LOD from Q).
GsSpanFn GsSpanPickSse2(bool tex, bool gouraud, bool z, bool blend, bool fst, bool mip);
GsSpanFn GsSpanPickAvx2(bool tex, bool gouraud, bool z, bool blend, bool fst, bool mip);
bool GsSpanHaveAvx2();  // compiled in (the CPU is asked separately)
// Flat, untested, unblended and untextured: one colour (and depth) stored,
// whole blocks at a time (gsfill.cpp).
void GsSpansFill(const GsFastEnv& f, const GsSetup& s, const GsFastTex* t, const GsSpan* spans,
                 int n);

// Tests: force a vector width (4 or 8; 0 picks by the CPU).
void GsFastSetWidth(int lanes);

// Draws a primitive's spans (rising rows): on the worker, bands of rows
// shared with the helper threads when the primitive covers enough pixels.
void GsBandSpans(GsSpanFn fn, const GsFastEnv& f, const GsSetup& s, const GsFastTex* t,
                 const GsSpan* spans, int n, uint64_t pixels);
// Tests: split primitives of at least this many pixels (default 1024).
void GsSetBandMin(int pixels);
