// The fast rasteriser: triangles walked as exact spans (edge steps without
// divisions), sprites as rectangles, pixels four at a time with SSE2, and
// textures sampled from a cache of decoded texels (through the format
// rows, after CLUT and TEXA) that page versions keep current. It computes
// exactly what the reference rasteriser does; a primitive it cannot draw
// that way (16-bit targets, aliasing buffers, varying mipmap levels) is
// left to the reference path.
#include <algorithm>
#include <memory>
#include <vector>

#include "gs_local.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace {

// ===================================================================
// Decoded textures
// ===================================================================

constexpr size_t kMaxEntries = 48;
constexpr size_t kMaxTexelBytes = size_t(96) << 20;

// One level of one texture as RGBA words, W x H, decoded a page-sized tile
// at a time when first sampled or when its pages were written since.
struct TexEntry {
  uint32_t psm, tbp, tbw;
  int tw, th;
  uint32_t texaKey;  // TEXA for 24- and 16-bit texels
  int palN;          // palette entries for CLUT formats (baked into the texels)
  uint32_t pal[256];
  std::vector<uint32_t> texels;
  std::vector<uint64_t> stamp;  // per tile: the serial it was decoded at, 0 never
  int tsx, tsy, tilesX, tilesY;
  uint64_t lastUse;
};

std::vector<std::unique_ptr<TexEntry>> g_cache;
size_t g_cacheBytes;
uint64_t g_useClock;

uint32_t TexaKey(const GsTexEnv& t) {
  GsStore st = t.psm->store;
  return (st == GS_ST_24 || st == GS_ST_16) ? t.ta0 | t.ta1 << 8 | t.aem << 16 : 0;
}

// The entry of a level, made when missing; entries used since `pin` stay.
TexEntry* CacheLookup(const GsTexEnv& t, int level, uint64_t pin) {
  const GsTexLevel& lv = t.lv[level];
  const uint32_t psm = t.psm->psm, key = TexaKey(t);
  const int palN = t.indexed ? (t.psm->bits == 4 ? 16 : 256) : 0;
  uint32_t pal[256];
  for (int i = 0; i < palN; i++) pal[i] = GsClutColour(t, uint32_t(i));
  for (auto& e : g_cache) {
    if (e->psm == psm && e->tbp == lv.tbp && e->tbw == lv.tbw && e->tw == lv.tw &&
        e->th == lv.th && e->texaKey == key && e->palN == palN &&
        memcmp(e->pal, pal, sizeof(uint32_t) * size_t(palN)) == 0) {
      e->lastUse = ++g_useClock;
      return e.get();
    }
  }
  const size_t bytes = (size_t(4) << (lv.tw + lv.th));
  while (g_cache.size() >= kMaxEntries || g_cacheBytes + bytes > kMaxTexelBytes) {
    auto old = g_cache.end();
    for (auto it = g_cache.begin(); it != g_cache.end(); ++it)
      if ((*it)->lastUse <= pin && (old == g_cache.end() || (*it)->lastUse < (*old)->lastUse))
        old = it;
    if (old == g_cache.end()) break;
    g_cacheBytes -= (*old)->texels.size() * 4;
    g_cache.erase(old);
  }
  auto e = std::make_unique<TexEntry>();
  e->psm = psm;
  e->tbp = lv.tbp;
  e->tbw = lv.tbw;
  e->tw = lv.tw;
  e->th = lv.th;
  e->texaKey = key;
  e->palN = palN;
  memcpy(e->pal, pal, sizeof(uint32_t) * size_t(palN));
  e->texels.assign(bytes / 4, 0);
  e->tsx = t.psm->pwShift;
  e->tsy = t.psm->phShift;
  e->tilesX = std::max(1, (1 << lv.tw) >> e->tsx);
  e->tilesY = std::max(1, (1 << lv.th) >> e->tsy);
  e->stamp.assign(size_t(e->tilesX) * size_t(e->tilesY), 0);
  e->lastUse = ++g_useClock;
  g_cacheBytes += bytes;
  g_cache.push_back(std::move(e));
  return g_cache.back().get();
}

// The pages a tile's texels lie in (two when the base is not page aligned).
void TilePages(const TexEntry& e, const GsPsmRow& r, int tx, int ty, uint32_t* p0, uint32_t* p1) {
  uint32_t block = (e.tbp + (uint32_t(tx) + uint32_t(ty) * GsPagesPerRow(r, e.tbw)) * 32) &
                   (GS_BLOCKS - 1);
  *p0 = block >> 5;
  *p1 = ((block + 31) >> 5) & (GS_PAGES - 1);
}

void DecodeTile(TexEntry& e, const GsTexEnv& t, int tx, int ty) {
  const GsPsmRow& r = *t.psm;
  const int w = 1 << e.tw, h = 1 << e.th;
  const int xa = tx << e.tsx, xb = std::min(w, (tx + 1) << e.tsx);
  const int ya = ty << e.tsy, yb = std::min(h, (ty + 1) << e.tsy);
  const uint32_t ta0 = t.ta0 << 24, ta1 = t.ta1 << 24;
  for (int y = ya; y < yb; y++) {
    uint32_t* out = &e.texels[size_t(y) << e.tw];
    for (int x = xa; x < xb; x++) {
      uint32_t bits = r.read(GsAddrFast(r, e.tbp, e.tbw, x, y));
      uint32_t c;
      switch (r.store) {
        case GS_ST_32: c = bits; break;
        case GS_ST_24: c = bits | ((t.aem && bits == 0) ? 0 : ta0); break;
        case GS_ST_16:
          c = GsExpand16(bits, 0) |
              ((bits & 0x8000) ? ta1 : (t.aem && (bits & 0x7fff) == 0) ? 0 : ta0);
          break;
        default: c = e.pal[bits & 255]; break;
      }
      out[x] = c;
    }
  }
}

// Makes texels [i0, i1] x [j0, j1] current; adds the pages read to `pages`.
void CacheEnsure(TexEntry& e, const GsTexEnv& t, int i0, int j0, int i1, int j1,
                 GsPageSet* pages) {
  const GsPsmRow& r = *t.psm;
  for (int ty = j0 >> e.tsy; ty <= std::min(j1 >> e.tsy, e.tilesY - 1); ty++) {
    for (int tx = i0 >> e.tsx; tx <= std::min(i1 >> e.tsx, e.tilesX - 1); tx++) {
      uint32_t p0, p1;
      TilePages(e, r, tx, ty, &p0, &p1);
      pages->Add(p0);
      pages->Add(p1);
      uint64_t& st = e.stamp[size_t(ty) * size_t(e.tilesX) + size_t(tx)];
      if (st == 0 || st < g_gsPageVersion[p0] || st < g_gsPageVersion[p1]) {
        DecodeTile(e, t, tx, ty);
        st = g_gsSerial;
      }
    }
  }
}

// ===================================================================
// The drawing environment as the fast path needs it
// ===================================================================

struct TexView {
  const uint32_t* texels;
  int tw;      // log2 of the level's width (row stride)
  int level;   // coordinates shift right by this
  int tw0, th0;  // log2 of level 0's size: STQ scales to it
  bool bilinear;
  // i = min(max((i & and) | or, lo), hi), per axis: every wrap mode in one form
  __m128i andU, orU, andV, orV, loUV, hiUV;  // lo and hi as 16-bit: U in the low half, V high
};

struct FastEnv;
using SpanFn = void (*)(const FastEnv& f, const GsSetup& s, const TexView* tv, int y, int x0,
                        int x1);

struct FastEnv {
  uint64_t serial;
  bool ok;
  // frame
  const uint16_t* fintra;
  uint32_t fbase, fbw;
  bool f24;
  uint32_t keep;  // stored bits never written: FBMSK, and the top byte of 24-bit frames
  // depth
  bool zTest, zWrite, z24;
  int ztst;
  const uint16_t* zintra;
  uint32_t zbase, zmax;
  // tests
  bool ate, date;
  int atst, afail;
  uint32_t aref, datm;
  // blending
  bool abe, colclamp;
  int ba, bb, bc, bd;
  uint32_t fix;
  // texture
  bool tex, fst;
  int tfx, tcc;
  bool lodConst;    // one filter and level for every primitive
  int filter, level;
  TexEntry* entry[7];
  uint64_t pin;
  SpanFn span;
};

FastEnv g_fe;

// The filter, level and level fraction a LOD selects (as GsSampleRef does).
void LodChoice(const GsTexEnv& t, int lod, int* filter, int* level, int* frac) {
  *level = 0;
  *frac = 0;
  if (lod < 0) {
    *filter = t.mmag;
    return;
  }
  switch (t.mmin) {
    case 0: *filter = 0; break;
    case 2:
    case 4:
      *filter = t.mmin == 4;
      *level = std::min((lod + 8) >> 4, t.mxl);
      break;
    case 3:
    case 5:
      *filter = t.mmin == 5;
      *level = lod >> 4;
      *frac = lod & 15;
      if (*level >= t.mxl) {
        *level = t.mxl;
        *frac = 0;
      }
      break;
    default: *filter = 1; break;
  }
}

// Wrap parameters of one axis at a level; false when the mode can reach
// texels outside the level (the reference path reads memory beyond it).
bool WrapOf(int mode, int size, int rmin, int rmax, int32_t* andm, int32_t* orm, int16_t* lo,
            int16_t* hi) {
  *andm = -1;
  *orm = 0;
  *lo = 0;
  *hi = int16_t(size - 1);
  switch (mode) {
    case 0: *andm = size - 1; return true;
    case 1: return true;
    case 2:
      *lo = int16_t(rmin);
      *hi = int16_t(rmax);
      return rmax <= size - 1;
    default:
      *andm = rmin;
      *orm = rmax;
      return (rmin | rmax) <= size - 1;
  }
}

template <bool kTex, bool kGouraud, bool kZ, bool kBlend, bool kFst>
void Span(const FastEnv& f, const GsSetup& s, const TexView* tv, int y, int x0, int x1);
void SpanFill(const FastEnv& f, const GsSetup& s, const TexView* tv, int y, int x0, int x1);

template <bool kTex, bool kGouraud, bool kZ, bool kBlend>
SpanFn PickFst(bool fst) {
  return fst ? Span<kTex, kGouraud, kZ, kBlend, true> : Span<kTex, kGouraud, kZ, kBlend, false>;
}
template <bool kTex, bool kGouraud, bool kZ>
SpanFn PickBlend(bool blend, bool fst) {
  return blend ? PickFst<kTex, kGouraud, kZ, true>(fst) : PickFst<kTex, kGouraud, kZ, false>(fst);
}
template <bool kTex, bool kGouraud>
SpanFn PickZ(bool z, bool blend, bool fst) {
  return z ? PickBlend<kTex, kGouraud, true>(blend, fst)
           : PickBlend<kTex, kGouraud, false>(blend, fst);
}
template <bool kTex>
SpanFn PickGouraud(bool g, bool z, bool blend, bool fst) {
  return g ? PickZ<kTex, true>(z, blend, fst) : PickZ<kTex, false>(z, blend, fst);
}

void Derive(const GsDrawEnv& e) {
  FastEnv& f = g_fe;
  f = FastEnv{};
  f.serial = g_gs.envSerial;
  // 32-bit frames (colour or depth layouts) only.
  if (e.ffmt != GS_FB_32 && e.ffmt != GS_FB_24) return;
  f.fintra = e.fpsm->intra;
  f.fbase = e.fbp * 64;
  f.fbw = e.fbw;
  f.f24 = e.ffmt == GS_FB_24;
  f.keep = e.fbmsk | (f.f24 ? 0xff000000 : 0);
  f.zTest = e.ztst != 1;
  f.zWrite = !e.zmsk;
  f.ztst = e.ztst;
  if (f.zTest || f.zWrite) {
    if (e.zpsm->store != GS_ST_32 && e.zpsm->store != GS_ST_24) return;
    f.z24 = e.zpsm->store == GS_ST_24;
    f.zintra = e.zpsm->intra;
    f.zbase = e.zbp * 64;
    f.zmax = e.zmax;
  }
  f.ate = e.ate && e.atst != 1;
  f.atst = e.atst;
  f.aref = uint32_t(e.aref);
  f.afail = e.afail;
  f.date = e.date;
  f.datm = e.datm;
  f.abe = e.abe;
  f.ba = e.ba;
  f.bb = e.bb;
  f.bc = e.bc;
  f.bd = e.bd;
  f.fix = e.bfix;
  f.colclamp = e.colclamp;
  f.tex = e.tme;
  f.fst = e.fst;
  if (f.tex) {
    const GsTexEnv& t = e.tex;
    if (t.psm->store == GS_ST_NONE) return;
    f.tfx = t.tfx;
    f.tcc = t.tcc;
    // One filter and level for all primitives when the LOD cannot change
    // them; otherwise each primitive checks its Q range.
    int minFilter = (t.mmin == 0 || t.mmin == 2 || t.mmin == 3) ? 0 : 1;
    if (t.lcm) {
      int frac;
      LodChoice(t, t.k, &f.filter, &f.level, &frac);
      if (frac) return;
      f.lodConst = true;
    } else if ((t.mxl == 0 || t.mmin <= 1) && minFilter == t.mmag) {
      f.filter = t.mmag;
      f.level = 0;
      f.lodConst = true;
    }
    f.pin = g_useClock;
  }
  bool fill = !f.tex && !e.iip && !f.zTest && !f.zWrite && !f.ate && !f.date && !f.abe &&
              f.keep == 0;
  f.span = fill ? SpanFill
           : f.tex ? PickGouraud<true>(e.iip, f.zTest || f.zWrite, f.abe, f.fst)
                   : PickGouraud<false>(e.iip, f.zTest || f.zWrite, f.abe, false);
  f.ok = true;
}

const FastEnv& FastEnvOf(const GsDrawEnv& e) {
  if (g_fe.serial != g_gs.envSerial) Derive(e);
  return g_fe;
}

// ===================================================================
// Per primitive: aliasing checks, the level, the texels it may sample
// ===================================================================

struct Rect {
  int x0, y0, x1, y1;  // [x0, x1) x [y0, y1)
};

float FragQ(const GsSetup& s, int x, int y) {
  return (s.q + s.dqdy * float(y - s.yo)) + s.dqdx * float(x - s.xo);
}

// Texture coordinates (1/16 texel of level 0) at pixel (x, y), as the
// pixel pipeline computes them.
void FragUV(const GsDrawEnv& e, const GsSetup& s, int x, int y, int* u, int* v, bool* finite) {
  GsFrag fr;
  GsSetupFrag(e, s, x, y, &fr);
  *u = fr.u;
  *v = fr.v;
  if (!e.fst) {
    float q = fr.q;
    *finite = q > 0 && q < 3.0e38f;
  }
}

// Sets up the texture view of a primitive: false for the reference path.
bool PrepareTexture(const GsDrawEnv& e, FastEnv& f, const GsSetup& s, const Rect& r,
                    const GsPageSet& written, TexView* tv) {
  const GsTexEnv& t = e.tex;
  const int xs[2] = {r.x0, r.x1 - 1}, ys[2] = {r.y0, r.y1 - 1};
  int filter = f.filter, level = f.level;
  if (!f.lodConst) {
    // Q is affine over the rectangle: its extremes, and the LOD's (which
    // falls as |Q| grows), are at the corners, give or take rounding. One
    // choice for all of them, or the reference path.
    for (int k = 0; k < 8; k++) {
      float q = FragQ(s, xs[k & 1], ys[(k >> 1) & 1]) * ((k & 4) ? 1.00001f : 0.99999f);
      if (!(q > 0.0f)) return false;
      int fl, lv, frac;
      LodChoice(t, GsTexLod(t, q), &fl, &lv, &frac);
      if (frac || (k && (fl != filter || lv != level))) return false;
      filter = fl;
      level = lv;
    }
  }
  const GsTexLevel& lv = t.lv[level];
  const int w = 1 << lv.tw, h = 1 << lv.th;
  int32_t au, ou, av, ov;
  int16_t lu, hu, lvv, hv;
  if (!WrapOf(t.wms, w, t.minu >> level, t.maxu >> level, &au, &ou, &lu, &hu) ||
      !WrapOf(t.wmt, h, t.minv >> level, t.maxv >> level, &av, &ov, &lvv, &hv))
    return false;
  // The texels the rectangle's corners reach, with a margin for rounding
  // and for the second bilinear texel; all of them when Q changes sign.
  int i0 = INT32_MAX, i1 = INT32_MIN, j0 = INT32_MAX, j1 = INT32_MIN;
  bool finite = true;
  for (int k = 0; k < 4; k++) {
    int u, v;
    FragUV(e, s, xs[k & 1], ys[k >> 1], &u, &v, &finite);
    if (!finite) break;
    i0 = std::min(i0, u >> level);
    i1 = std::max(i1, u >> level);
    j0 = std::min(j0, v >> level);
    j1 = std::max(j1, v >> level);
  }
  auto range = [](int a, int b, int mode, int size, int32_t andm, int32_t orm, int lo, int hi,
                  int* ra, int* rb) {
    a = (a >> 4) - 2;
    b = (b >> 4) + 2;
    if (mode == 0 && b - a < size) {
      a &= size - 1;
      b &= size - 1;
      if (a <= b) {
        *ra = a;
        *rb = b;
        return;
      }
    } else if (mode == 1 || mode == 2) {
      *ra = std::min(std::max(a, lo), hi);
      *rb = std::min(std::max(b, lo), hi);
      return;
    }
    (void)andm;
    (void)orm;
    *ra = 0;
    *rb = size - 1;
  };
  int ra, rb, rc, rd;
  if (finite) {
    range(i0, i1, t.wms, w, au, ou, lu, hu, &ra, &rb);
    range(j0, j1, t.wmt, h, av, ov, lvv, hv, &rc, &rd);
  } else {
    ra = rc = 0;
    rb = w - 1;
    rd = h - 1;
  }
  TexEntry*& ent = f.entry[level];
  if (!ent) ent = CacheLookup(t, level, f.pin);
  GsPageSet read;
  read.Clear();
  CacheEnsure(*ent, t, ra, rc, rb, rd, &read);
  // A texture that this primitive draws into is read as it is written.
  if (read.Intersects(written)) return false;
  tv->texels = ent->texels.data();
  tv->tw = lv.tw;
  tv->level = level;
  tv->tw0 = t.lv[0].tw;
  tv->th0 = t.lv[0].th;
  tv->bilinear = filter == 1;
  tv->andU = _mm_set1_epi32(au);
  tv->orU = _mm_set1_epi32(ou);
  tv->andV = _mm_set1_epi32(av);
  tv->orV = _mm_set1_epi32(ov);
  tv->loUV = _mm_set_epi16(lvv, lvv, lvv, lvv, lu, lu, lu, lu);
  tv->hiUV = _mm_set_epi16(hv, hv, hv, hv, hu, hu, hu, hu);
  return true;
}

// Common checks of a primitive covering rectangle r.
bool Prepare(const GsDrawEnv& e, const GsSetup& s, const Rect& r, TexView* tv) {
  FastEnv& f = g_fe;
  // Pixels beyond the buffer's width would share memory with other rows.
  if (f.fbw == 0 || r.x1 > int(f.fbw) * 64) return false;
  // Nor may the rows reach round the end of memory onto themselves.
  if ((uint32_t((r.y1 - 1) >> 5) + 1) * f.fbw > GS_PAGES) return false;
  GsPageSet frame, depth;
  frame.Clear();
  depth.Clear();
  GsMemRectPages(*e.fpsm, e.fbp, e.fbw, r.x0, r.y0, r.x1 - 1, r.y1 - 1, &frame);
  if (f.zTest || f.zWrite) {
    GsMemRectPages(*e.zpsm, e.zbp, e.fbw, r.x0, r.y0, r.x1 - 1, r.y1 - 1, &depth);
    if (frame.Intersects(depth)) return false;
    for (int i = 0; i < int(GS_PAGES / 64); i++) frame.w[i] |= depth.w[i];
  }
  if (f.tex && !PrepareTexture(e, f, s, r, frame, tv)) return false;
  return true;
}

// ===================================================================
// Pixels, four at a time
// ===================================================================

inline __m128i Sel(__m128i m, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(m, a), _mm_andnot_si128(m, b));
}
inline __m128i Not(__m128i a) { return _mm_xor_si128(a, _mm_set1_epi32(-1)); }
inline __m128i Load2(const uint32_t* mem, uint32_t a0, uint32_t a1) {
  return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(mem + a0)),
                            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(mem + a1)));
}
inline void Store2(uint32_t* mem, uint32_t a0, uint32_t a1, __m128i v) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(mem + a0), v);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(mem + a1), _mm_srli_si128(v, 8));
}
// Four 32-bit lanes of R, G, B, A to RGBA words, each clamped to 0..255.
inline __m128i PackChannels(__m128i r, __m128i g, __m128i b, __m128i a) {
  __m128i x = _mm_packus_epi16(_mm_packs_epi32(r, g), _mm_packs_epi32(b, a));
  __m128i u = _mm_unpacklo_epi8(x, _mm_srli_si128(x, 8));
  return _mm_unpacklo_epi8(u, _mm_srli_si128(u, 8));
}
// Each pixel's alpha (16-bit lane 3) across its four lanes.
inline __m128i AlphaSpread(__m128i v16) {
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v16, 0xff), 0xff);
}
inline __m128i Floor(__m128 f) {
  __m128i i = _mm_cvttps_epi32(f);
  return _mm_add_epi32(i, _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(i), f)));
}
inline __m128i StqCoord(__m128 st, __m128 rq, __m128 scale) {
  __m128 f = _mm_mul_ps(_mm_mul_ps(st, rq), scale);
  f = _mm_max_ps(f, _mm_set1_ps(-16777216.0f));
  f = _mm_min_ps(f, _mm_set1_ps(16777216.0f));
  return Floor(f);
}

inline __m128i AlphaPass(int atst, __m128i a, __m128i ref) {
  switch (atst) {
    case 0: return _mm_setzero_si128();
    case 2: return _mm_cmplt_epi32(a, ref);
    case 3: return Not(_mm_cmpgt_epi32(a, ref));
    case 4: return _mm_cmpeq_epi32(a, ref);
    case 5: return Not(_mm_cmplt_epi32(a, ref));
    case 6: return _mm_cmpgt_epi32(a, ref);
    case 7: return Not(_mm_cmpeq_epi32(a, ref));
    default: return _mm_set1_epi32(-1);
  }
}

// Texel indices of one axis after the wrap mode: 8 values (two sets of
// four) through and/or, then the 16-bit clamp to [lo, hi].
inline void Wrap2(__m128i a, __m128i b, __m128i andm, __m128i orm, __m128i lo, __m128i hi,
                  __m128i* ra, __m128i* rb) {
  a = _mm_or_si128(_mm_and_si128(a, andm), orm);
  b = _mm_or_si128(_mm_and_si128(b, andm), orm);
  __m128i p = _mm_min_epi16(_mm_max_epi16(_mm_packs_epi32(a, b), lo), hi);
  *ra = _mm_unpacklo_epi16(p, _mm_setzero_si128());
  *rb = _mm_unpackhi_epi16(p, _mm_setzero_si128());
}

__attribute__((always_inline)) inline __m128i Gather(const uint32_t* tex, __m128i idx) {
  alignas(16) int32_t i[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(i), idx);
  return _mm_set_epi32(int32_t(tex[i[3]]), int32_t(tex[i[2]]), int32_t(tex[i[1]]),
                       int32_t(tex[i[0]]));
}

// The texture's colour at (u, v), 1/16 texel of level 0, four pixels.
__attribute__((always_inline)) inline __m128i Sample(const TexView& tv, __m128i u, __m128i v) {
  const __m128i sh = _mm_cvtsi32_si128(tv.level), tws = _mm_cvtsi32_si128(tv.tw);
  u = _mm_sra_epi32(u, sh);
  v = _mm_sra_epi32(v, sh);
  const __m128i loU = _mm_shuffle_epi32(tv.loUV, 0x00), hiU = _mm_shuffle_epi32(tv.hiUV, 0x00);
  const __m128i loV = _mm_shuffle_epi32(tv.loUV, 0xff), hiV = _mm_shuffle_epi32(tv.hiUV, 0xff);
  if (!tv.bilinear) {
    __m128i i, j, dummy;
    Wrap2(_mm_srai_epi32(u, 4), _mm_srai_epi32(u, 4), tv.andU, tv.orU, loU, hiU, &i, &dummy);
    Wrap2(_mm_srai_epi32(v, 4), _mm_srai_epi32(v, 4), tv.andV, tv.orV, loV, hiV, &j, &dummy);
    return Gather(tv.texels, _mm_add_epi32(_mm_sll_epi32(j, tws), i));
  }
  const __m128i eight = _mm_set1_epi32(8), one = _mm_set1_epi32(1), f15 = _mm_set1_epi32(15);
  u = _mm_sub_epi32(u, eight);
  v = _mm_sub_epi32(v, eight);
  __m128i fu = _mm_and_si128(u, f15), fv = _mm_and_si128(v, f15);
  __m128i iu = _mm_srai_epi32(u, 4), jv = _mm_srai_epi32(v, 4);
  __m128i i0, i1, j0, j1;
  Wrap2(iu, _mm_add_epi32(iu, one), tv.andU, tv.orU, loU, hiU, &i0, &i1);
  Wrap2(jv, _mm_add_epi32(jv, one), tv.andV, tv.orV, loV, hiV, &j0, &j1);
  __m128i r0 = _mm_sll_epi32(j0, tws), r1 = _mm_sll_epi32(j1, tws);
  __m128i t00, t10, t01, t11;
  if (_mm_movemask_epi8(_mm_cmpeq_epi32(i1, _mm_add_epi32(i0, one))) == 0xffff) {
    // No lane wraps: each row's two texels are neighbours, one 64-bit load.
    alignas(16) int32_t a0[4], a1[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(a0), _mm_add_epi32(r0, i0));
    _mm_store_si128(reinterpret_cast<__m128i*>(a1), _mm_add_epi32(r1, i0));
    auto pairs = [&](const int32_t* a, __m128i* left, __m128i* right) {
      auto ld = [&](int k) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(tv.texels + a[k]));
      };
      __m128i p01 = _mm_unpacklo_epi32(ld(0), ld(1)), p23 = _mm_unpacklo_epi32(ld(2), ld(3));
      *left = _mm_unpacklo_epi64(p01, p23);
      *right = _mm_unpackhi_epi64(p01, p23);
    };
    pairs(a0, &t00, &t10);
    pairs(a1, &t01, &t11);
  } else {
    t00 = Gather(tv.texels, _mm_add_epi32(r0, i0));
    t10 = Gather(tv.texels, _mm_add_epi32(r0, i1));
    t01 = Gather(tv.texels, _mm_add_epi32(r1, i0));
    t11 = Gather(tv.texels, _mm_add_epi32(r1, i1));
  }
  // Weights per pixel across its four channels, 16-bit.
  __m128i fu16 = _mm_packs_epi32(fu, fu), fv16 = _mm_packs_epi32(fv, fv);
  fu16 = _mm_unpacklo_epi16(fu16, fu16);
  fv16 = _mm_unpacklo_epi16(fv16, fv16);
  const __m128i z = _mm_setzero_si128();
  __m128i out[2];
  for (int half = 0; half < 2; half++) {
    __m128i wu = half ? _mm_unpackhi_epi32(fu16, fu16) : _mm_unpacklo_epi32(fu16, fu16);
    __m128i wv = half ? _mm_unpackhi_epi32(fv16, fv16) : _mm_unpacklo_epi32(fv16, fv16);
    auto lo = [&](__m128i t) { return half ? _mm_unpackhi_epi8(t, z) : _mm_unpacklo_epi8(t, z); };
    __m128i a = lo(t00), b = lo(t10), c = lo(t01), d = lo(t11);
    // c00 (16 - fu) + c10 fu, then the same down: exact in 16 bits.
    __m128i h0 = _mm_add_epi16(_mm_slli_epi16(a, 4), _mm_mullo_epi16(_mm_sub_epi16(b, a), wu));
    __m128i h1 = _mm_add_epi16(_mm_slli_epi16(c, 4), _mm_mullo_epi16(_mm_sub_epi16(d, c), wu));
    __m128i r = _mm_add_epi16(_mm_slli_epi16(h0, 4), _mm_mullo_epi16(_mm_sub_epi16(h1, h0), wv));
    out[half] = _mm_srli_epi16(r, 8);
  }
  return _mm_packus_epi16(out[0], out[1]);
}

// The texture function on four pixels (as GsTfx).
__attribute__((always_inline)) inline __m128i Tfx(int tfx, int tcc, __m128i f, __m128i t) {
  const __m128i amask = _mm_set1_epi32(int32_t(0xff000000));
  if (tfx == 1) return tcc ? t : Sel(amask, f, t);
  const __m128i z = _mm_setzero_si128();
  __m128i r[2];
  const __m128i a16 = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
  for (int half = 0; half < 2; half++) {
    __m128i fx = half ? _mm_unpackhi_epi8(f, z) : _mm_unpacklo_epi8(f, z);
    __m128i tx = half ? _mm_unpackhi_epi8(t, z) : _mm_unpacklo_epi8(t, z);
    __m128i m = _mm_srli_epi16(_mm_mullo_epi16(tx, fx), 7);
    if (tfx != 0) m = _mm_add_epi16(Sel(a16, tx, m), AlphaSpread(fx));  // HIGHLIGHT(2): + Af
    r[half] = m;
  }
  __m128i c = _mm_packus_epi16(r[0], r[1]);
  if (!tcc) return Sel(amask, f, c);
  if (tfx == 3) return Sel(amask, t, c);
  return c;
}

// ((A - B) x C >> 7) + D on four pixels; alpha stays the source's.
__attribute__((always_inline)) inline __m128i Blend(const FastEnv& f, __m128i s, __m128i d) {
  const __m128i z = _mm_setzero_si128();
  const __m128i fix = _mm_set1_epi16(int16_t(f.fix << 2));
  __m128i r[2];
  for (int half = 0; half < 2; half++) {
    __m128i sx = half ? _mm_unpackhi_epi8(s, z) : _mm_unpacklo_epi8(s, z);
    __m128i dx = half ? _mm_unpackhi_epi8(d, z) : _mm_unpacklo_epi8(d, z);
    __m128i a = f.ba == 0 ? sx : f.ba == 1 ? dx : z;
    __m128i b = f.bb == 0 ? sx : f.bb == 1 ? dx : z;
    __m128i dd = f.bd == 0 ? sx : f.bd == 1 ? dx : z;
    __m128i c = f.bc == 0 ? _mm_slli_epi16(AlphaSpread(sx), 2)
              : f.bc == 1 ? _mm_slli_epi16(AlphaSpread(dx), 2) : fix;
    // (A - B) << 7 times C << 2, high half: (A - B) x C >> 7, floored.
    __m128i v = _mm_add_epi16(_mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(a, b), 7), c), dd);
    if (!f.colclamp) v = _mm_and_si128(v, _mm_set1_epi16(0xff));
    r[half] = v;
  }
  return Sel(_mm_set1_epi32(int32_t(0xff000000)), s, _mm_packus_epi16(r[0], r[1]));
}

// Frame or depth word addresses of pixels gx .. gx + 3 (gx a multiple of
// 4): two pairs of neighbouring words in the 32-bit layouts.
inline void Pairs(uint32_t rowBase, const uint16_t* intraRow, int gx, uint32_t* a0, uint32_t* a1) {
  uint32_t base = rowBase + (uint32_t(gx >> 6) << 11);
  *a0 = (base + intraRow[gx & 63]) & 0xfffff;
  *a1 = (base + intraRow[(gx & 63) + 2]) & 0xfffff;
}

// Interpolants of a span at the current group of four pixels.
struct Lanes {
  __m128i ch[4];     // R, G, B, A: 16.16
  __m128i u, v;      // UV: 16.16 of 1/16 texel
  __m128 s, t, q;    // STQ at the span's row; per pixel add d?dx (x - xo)
  __m128 dsdx, dtdx, dqdx, wScale, hScale;
  __m128i col;       // flat colour
};

// One group of four pixels past the depth test (the lanes in `live`):
// colour, texture, alpha and destination alpha tests, blending, writes.
template <bool kTex, bool kGouraud, bool kZ, bool kBlend, bool kFst>
inline void Pixels(const FastEnv& f, const GsSetup& s, const TexView* tv, const Lanes& l,
                   __m128i xv, __m128i live, __m128i dst, uint32_t fa0, uint32_t fa1, __m128i zv,
                   __m128i zd, uint32_t za0, uint32_t za1) {
  uint32_t* mem = GsMem32();
  const __m128i sign = _mm_set1_epi32(int32_t(0x80000000));
  const __m128i amask = _mm_set1_epi32(int32_t(0xff000000));
  __m128i c = l.col;
  if (kGouraud)
    c = PackChannels(_mm_srai_epi32(l.ch[0], 16), _mm_srai_epi32(l.ch[1], 16),
                     _mm_srai_epi32(l.ch[2], 16), _mm_srai_epi32(l.ch[3], 16));
  if (kTex) {
    __m128i u, v;
    if (kFst) {
      u = _mm_srai_epi32(l.u, 16);
      v = _mm_srai_epi32(l.v, 16);
    } else {
      __m128 fx = _mm_cvtepi32_ps(_mm_sub_epi32(xv, _mm_set1_epi32(s.xo)));
      __m128 q = _mm_add_ps(l.q, _mm_mul_ps(l.dqdx, fx));
      __m128 rq = _mm_div_ps(_mm_set1_ps(1.0f), q);
      u = StqCoord(_mm_add_ps(l.s, _mm_mul_ps(l.dsdx, fx)), rq, l.wScale);
      v = StqCoord(_mm_add_ps(l.t, _mm_mul_ps(l.dtdx, fx)), rq, l.hScale);
    }
    c = Tfx(f.tfx, f.tcc, c, Sample(*tv, u, v));
  }
  // Alpha test and AFAIL: which lanes write the frame, which the depth,
  // which keep their alpha.
  __m128i fw = live, zw = f.zWrite ? live : _mm_setzero_si128(), keepA = _mm_setzero_si128();
  if (f.ate) {
    __m128i pass = AlphaPass(f.atst, _mm_srli_epi32(c, 24), _mm_set1_epi32(int32_t(f.aref)));
    switch (f.afail) {
      case 0:
        fw = _mm_and_si128(fw, pass);
        zw = _mm_and_si128(zw, pass);
        break;
      case 1: zw = _mm_and_si128(zw, pass); break;
      case 2: fw = _mm_and_si128(fw, pass); break;
      default:
        zw = _mm_and_si128(zw, pass);
        keepA = _mm_andnot_si128(pass, amask);
        break;
    }
  }
  if (f.date) {
    __m128i pass = _mm_cmpeq_epi32(_mm_srli_epi32(dst, 31), _mm_set1_epi32(int32_t(f.datm)));
    fw = _mm_and_si128(fw, pass);
    zw = _mm_and_si128(zw, pass);
  }
  // 24-bit frames blend with a destination alpha of 0x80.
  if (kBlend) c = Blend(f, c, f.f24 ? _mm_or_si128(_mm_andnot_si128(amask, dst), sign) : dst);
  __m128i wm = _mm_andnot_si128(_mm_or_si128(_mm_set1_epi32(int32_t(f.keep)), keepA), fw);
  if (_mm_movemask_epi8(wm)) Store2(mem, fa0, fa1, Sel(wm, c, dst));
  if (kZ && f.zWrite) {
    __m128i zm = _mm_andnot_si128(_mm_set1_epi32(f.z24 ? int32_t(0xff000000) : 0), zw);
    if (_mm_movemask_epi8(zm)) Store2(mem, za0, za1, Sel(zm, zv, zd));
  }
}

template <bool kTex, bool kGouraud, bool kZ, bool kBlend, bool kFst>
void Span(const FastEnv& f, const GsSetup& s, const TexView* tv, int y, int x0, int x1) {
  uint32_t* mem = GsMem32();
  const int dy = y - s.yo;
  const uint32_t uy = uint32_t(dy);
  const uint32_t fRow = f.fbase + uint32_t(y >> 5) * f.fbw * 2048;
  const uint16_t* fIn = f.fintra + (y & 31) * 64;
  const uint32_t zRow = f.zbase + uint32_t(y >> 5) * f.fbw * 2048;
  const uint16_t* zIn = kZ ? f.zintra + (y & 31) * 64 : nullptr;
  const int gx0 = x0 & ~3;
  const uint32_t ux = uint32_t(gx0 - s.xo);
  const __m128i lanes = _mm_set_epi32(3, 2, 1, 0);
  const __m128i x0m1 = _mm_set1_epi32(x0 - 1), x1v = _mm_set1_epi32(x1);
  const __m128i sign = _mm_set1_epi32(int32_t(0x80000000));
  const __m128i zLow = _mm_set1_epi32(f.z24 ? 0xffffff : -1);
  // Interpolants at the first group's lanes; then steps of four pixels,
  // in the same wrapping arithmetic as the reference.
  auto start = [&](uint32_t v0, uint32_t d) {
    return _mm_add_epi32(_mm_set1_epi32(int32_t(v0)),
                         _mm_set_epi32(int32_t(3 * d), int32_t(2 * d), int32_t(d), 0));
  };
  Lanes l;
  l.col = _mm_set1_epi32(int32_t((s.c[0] >> 16) | (s.c[1] >> 16) << 8 | (s.c[2] >> 16) << 16 |
                                 (s.c[3] >> 16) << 24));
  __m128i chStep[4], uStep = _mm_setzero_si128(), vStep = uStep;
  if (kGouraud) {
    for (int k = 0; k < 4; k++) {
      l.ch[k] = start(s.c[k] + s.dcdy[k] * uy + s.dcdx[k] * ux, s.dcdx[k]);
      chStep[k] = _mm_set1_epi32(int32_t(4 * s.dcdx[k]));
    }
  }
  uint64_t zg = 0;
  const uint64_t dz = uint64_t(s.dzdx);
  // Depth lanes as 64-bit pairs when the whole span lies within the
  // format's range (no clamping: the depth is linear along the span).
  __m128i z01 = _mm_setzero_si128(), z23 = z01, zStep = z01;
  bool zSimd = false;
  if (kZ) {
    zg = uint64_t(s.z) + uint64_t(s.dzdy) * uint64_t(int64_t(dy)) +
         dz * uint64_t(int64_t(gx0 - s.xo));
    const int64_t lo = int64_t(zg), hi = int64_t(zg + dz * uint64_t(int64_t(x1 + 3 - gx0)));
    const int64_t top = (int64_t(f.zmax) << 16) | 0xffff;
    zSimd = lo >= 0 && hi >= 0 && lo <= top && hi <= top;
    if (zSimd) {
      z01 = _mm_set_epi64x(int64_t(zg + dz), int64_t(zg));
      z23 = _mm_set_epi64x(int64_t(zg + 3 * dz), int64_t(zg + 2 * dz));
      zStep = _mm_set1_epi64x(int64_t(4 * dz));
    }
  }
  if (kTex && kFst) {
    l.u = start(s.u + s.dudy * uy + s.dudx * ux, s.dudx);
    l.v = start(s.v + s.dvdy * uy + s.dvdx * ux, s.dvdx);
    uStep = _mm_set1_epi32(int32_t(4 * s.dudx));
    vStep = _mm_set1_epi32(int32_t(4 * s.dvdx));
  }
  if (kTex && !kFst) {
    l.s = _mm_set1_ps(s.s + s.dsdy * float(dy));
    l.t = _mm_set1_ps(s.t + s.dtdy * float(dy));
    l.q = _mm_set1_ps(s.q + s.dqdy * float(dy));
    l.dsdx = _mm_set1_ps(s.dsdx);
    l.dtdx = _mm_set1_ps(s.dtdx);
    l.dqdx = _mm_set1_ps(s.dqdx);
    l.wScale = _mm_set1_ps(float(16 << tv->tw0));
    l.hScale = _mm_set1_ps(float(16 << tv->th0));
  }
  for (int gx = gx0; gx < x1; gx += 4) {
    const __m128i xv = _mm_add_epi32(_mm_set1_epi32(gx), lanes);
    __m128i live = _mm_and_si128(_mm_cmpgt_epi32(xv, x0m1), _mm_cmplt_epi32(xv, x1v));
    uint32_t fa0, fa1;
    Pairs(fRow, fIn, gx, &fa0, &fa1);
    const __m128i dst = Load2(mem, fa0, fa1);
    __m128i zv = _mm_setzero_si128(), zd = zv;
    uint32_t za0 = 0, za1 = 0;
    if (kZ) {
      if (zSimd) {
        zv = _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(_mm_srli_epi64(z01, 16)),
                                             _mm_castsi128_ps(_mm_srli_epi64(z23, 16)),
                                             _MM_SHUFFLE(2, 0, 2, 0)));
        z01 = _mm_add_epi64(z01, zStep);
        z23 = _mm_add_epi64(z23, zStep);
      } else {
        zv = _mm_set_epi32(int32_t(GsClampZ(int64_t(zg + 3 * dz), f.zmax)),
                           int32_t(GsClampZ(int64_t(zg + 2 * dz), f.zmax)),
                           int32_t(GsClampZ(int64_t(zg + dz), f.zmax)),
                           int32_t(GsClampZ(int64_t(zg), f.zmax)));
      }
      zg += 4 * dz;
      Pairs(zRow, zIn, gx, &za0, &za1);
      zd = Load2(mem, za0, za1);
      if (f.zTest) {
        __m128i zs = _mm_xor_si128(zv, sign), ds = _mm_xor_si128(_mm_and_si128(zd, zLow), sign);
        __m128i pass = f.ztst == 2 ? Not(_mm_cmpgt_epi32(ds, zs)) : _mm_cmpgt_epi32(zs, ds);
        live = _mm_and_si128(live, pass);
      }
    }
    if (_mm_movemask_epi8(live) != 0)
      Pixels<kTex, kGouraud, kZ, kBlend, kFst>(f, s, tv, l, xv, live, dst, fa0, fa1, zv, zd, za0,
                                               za1);
    if (kGouraud)
      for (int k = 0; k < 4; k++) l.ch[k] = _mm_add_epi32(l.ch[k], chStep[k]);
    if (kTex && kFst) {
      l.u = _mm_add_epi32(l.u, uStep);
      l.v = _mm_add_epi32(l.v, vStep);
    }
  }
}

// Flat colour, no tests, no mask: stores only.
void SpanFill(const FastEnv& f, const GsSetup& s, const TexView*, int y, int x0, int x1) {
  uint32_t* mem = GsMem32();
  const uint32_t c = (s.c[0] >> 16) | (s.c[1] >> 16) << 8 | (s.c[2] >> 16) << 16 |
                     (s.c[3] >> 16) << 24;
  const uint32_t fRow = f.fbase + uint32_t(y >> 5) * f.fbw * 2048;
  const uint16_t* fIn = f.fintra + (y & 31) * 64;
  int x = x0;
  auto addr = [&](int xx) {
    return (fRow + (uint32_t(xx >> 6) << 11) + fIn[xx & 63]) & 0xfffff;
  };
  if (x & 1) mem[addr(x++)] = c;
  const uint64_t cc = uint64_t(c) | uint64_t(c) << 32;
  for (; x + 1 < x1; x += 2) memcpy(mem + addr(x), &cc, 8);
  if (x < x1) mem[addr(x)] = c;
}

// ===================================================================
// Walking triangles
// ===================================================================

int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
  int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}

// ceil(X(Y) / 16) of an edge at rows Y = 16 y, stepped row by row without
// division: X(Y) / 16 = N / D with N = Xa (Yb - Ya) + (Xb - Xa)(Y - Ya).
struct Edge {
  int64_t q, r, qi, ri, d;
  void Init(int xa, int ya, int xb, int yb, int y) {
    d = 16 * int64_t(yb - ya);
    int64_t n = int64_t(xa) * (yb - ya) + int64_t(xb - xa) * (16 * int64_t(y) - ya);
    q = FloorDiv(n, d);
    r = n - q * d;
    int64_t st = 16 * int64_t(xb - xa);
    qi = FloorDiv(st, d);
    ri = st - qi * d;
  }
  int Ceil() const { return int(q + (r != 0)); }
  void Step() {
    q += qi;
    r += ri;
    if (r >= d) {
      q++;
      r -= d;
    }
  }
};

}  // namespace

bool GsFastTriangle(const GsDrawEnv& e, const GsTri& t, const GsSetup& s) {
  const FastEnv& f = FastEnvOf(e);
  if (!f.ok) return false;
  Rect r;
  r.x0 = std::max((std::min({t.x[0], t.x[1], t.x[2]}) + 15) >> 4, e.scx0);
  r.x1 = std::min((std::max({t.x[0], t.x[1], t.x[2]}) + 15) >> 4, e.scx1 + 1);
  r.y0 = std::max((std::min({t.y[0], t.y[1], t.y[2]}) + 15) >> 4, e.scy0);
  r.y1 = std::min((std::max({t.y[0], t.y[1], t.y[2]}) + 15) >> 4, e.scy1 + 1);
  TexView tv;
  if (!Prepare(e, s, r, &tv)) return false;
  // Vertices by height: top, middle, bottom.
  int o[3] = {0, 1, 2};
  if (t.y[o[1]] < t.y[o[0]]) std::swap(o[0], o[1]);
  if (t.y[o[2]] < t.y[o[1]]) std::swap(o[1], o[2]);
  if (t.y[o[1]] < t.y[o[0]]) std::swap(o[0], o[1]);
  const int xt = t.x[o[0]], yt = t.y[o[0]], xm = t.x[o[1]], ym = t.y[o[1]];
  const int xb = t.x[o[2]], yb = t.y[o[2]];
  // The long edge (top to bottom) is on the right when the middle vertex
  // lies to its left.
  const bool longRight = int64_t(xb - xt) * (ym - yt) - int64_t(yb - yt) * (xm - xt) > 0;
  Edge lng, sht;
  lng.Init(xt, yt, xb, yb, r.y0);
  const int yMid = (ym + 15) >> 4;  // first row on the lower short edge
  bool upper = r.y0 < yMid;
  if (upper)
    sht.Init(xt, yt, xm, ym, r.y0);
  else
    sht.Init(xm, ym, xb, yb, r.y0);
  const int sx0 = r.x0, sx1 = r.x1;
  uint64_t pixels = 0;
  for (int y = r.y0; y < r.y1; y++) {
    if (upper && y >= yMid) {
      upper = false;
      sht.Init(xm, ym, xb, yb, y);
    }
    int a = lng.Ceil(), b = sht.Ceil();
    int xl = longRight ? b : a, xr = longRight ? a : b;
    xl = std::max(xl, sx0);
    xr = std::min(xr, sx1);
    if (xl < xr) {
      f.span(f, s, &tv, y, xl, xr);
      pixels += uint64_t(xr - xl);
    }
    lng.Step();
    sht.Step();
  }
  g_gs.stats.pixels += pixels;
  return true;
}

bool GsFastSprite(const GsDrawEnv& e, int x0, int y0, int x1, int y1, const GsSetup& s) {
  const FastEnv& f = FastEnvOf(e);
  if (!f.ok) return false;
  Rect r{x0, y0, x1, y1};
  TexView tv;
  if (!Prepare(e, s, r, &tv)) return false;
  for (int y = y0; y < y1; y++) f.span(f, s, &tv, y, x0, x1);
  g_gs.stats.pixels += uint64_t(x1 - x0) * uint64_t(y1 - y0);
  return true;
}

void GsFastReset() {
  g_cache.clear();
  g_cacheBytes = 0;
  g_useClock = 0;
  g_fe = FastEnv{};
  g_fe.serial = ~uint64_t(0);
}

#else  // no SSE2: the reference path draws everything

bool GsFastTriangle(const GsDrawEnv&, const GsTri&, const GsSetup&) { return false; }
bool GsFastSprite(const GsDrawEnv&, int, int, int, int, const GsSetup&) { return false; }
void GsFastReset() {}

#endif
