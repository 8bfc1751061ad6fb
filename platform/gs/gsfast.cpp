// The fast rasteriser: triangles walked as exact spans (edge steps without
// divisions), sprites as rectangles, pixels four (SSE2) or eight (AVX2) at
// a time (gsspan.h), and textures sampled from a cache of decoded texels
// (through the format rows, after CLUT and TEXA) that page versions keep
// current. It computes
// exactly what the reference rasteriser does; a primitive it cannot draw
// that way (16-bit targets, textures drawn into) is left to the reference
// path. Where the frame and depth buffer share pages, groups of pixels whose
// words meet go through the reference pixel pipeline, in its order.
#include <algorithm>
#include <memory>
#include <vector>

#include "gsfast_local.h"

#if defined(__x86_64__) || defined(__i386__)

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
  uint64_t clutSerial;  // the CLUT buffer pal was last found equal to
  int cpsm, clutBase;
  std::vector<uint32_t> texels;
  std::vector<uint64_t> stamp;  // per tile: the serial it was decoded at, 0 never
  int tsx, tsy, tilesX, tilesY;
  uint64_t lastUse;
};

std::vector<std::unique_ptr<TexEntry>> g_cache;
size_t g_cacheBytes;
uint64_t g_useClock;

// TEXA shapes 24- and 16-bit texels, and the colours of 16-bit CLUTs.
uint32_t TexaKey(const GsTexEnv& t) {
  GsStore st = t.psm->store;
  bool uses = st == GS_ST_24 || st == GS_ST_16 || (t.indexed && t.cpsm != PSMCT32);
  return uses ? (t.ta0 | t.ta1 << 8 | t.aem << 16 | 1u << 24) : 0;
}

// The entry of a level, made when missing; entries used since `pin` stay.
// A CLUT texture's entry matches when its palette has the same colours.
TexEntry* CacheLookup(const GsTexEnv& t, int level, uint64_t pin) {
  const GsTexLevel& lv = t.lv[level];
  const uint32_t psm = t.psm->psm;
  const uint32_t key = TexaKey(t);
  const int palN = t.indexed ? (t.psm->bits == 4 ? 16 : 256) : 0;
  uint32_t pal[256];
  bool palMade = false;
  for (auto& e : g_cache) {
    if (e->psm != psm || e->tbp != lv.tbp || e->tbw != lv.tbw || e->tw != lv.tw ||
        e->th != lv.th || e->texaKey != key || e->palN != palN)
      continue;
    if (palN && (e->clutSerial != g_gs.clutSerial || e->cpsm != t.cpsm ||
                 e->clutBase != t.clutBase)) {
      if (!palMade) {
        for (int i = 0; i < palN; i++) pal[i] = GsClutColour(t, uint32_t(i));
        palMade = true;
      }
      if (memcmp(e->pal, pal, sizeof(uint32_t) * size_t(palN)) != 0) continue;
      e->clutSerial = g_gs.clutSerial;
      e->cpsm = t.cpsm;
      e->clutBase = t.clutBase;
    }
    e->lastUse = ++g_useClock;
    return e.get();
  }
  if (!palMade)
    for (int i = 0; i < palN; i++) pal[i] = GsClutColour(t, uint32_t(i));
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
  e->clutSerial = g_gs.clutSerial;
  e->cpsm = t.cpsm;
  e->clutBase = t.clutBase;
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
  // Word formats read their words directly (the bits as the format's row
  // reads them); the others through the row.
  const uint32_t* mem = GsMem32();
  const bool words = r.elemShift == 5;
  int shift = 0;
  uint32_t mask = 0xffffffff;
  switch (r.store) {
    case GS_ST_24: mask = 0xffffff; break;
    case GS_ST_8H: shift = 24, mask = 0xff; break;
    case GS_ST_4HL: shift = 24, mask = 15; break;
    case GS_ST_4HH: shift = 28, mask = 15; break;
    default: break;
  }
  for (int y = ya; y < yb; y++) {
    uint32_t* out = &e.texels[size_t(y) << e.tw];
    for (int x = xa; x < xb; x++) {
      const uint32_t el = GsAddrFast(r, e.tbp, e.tbw, x, y);
      uint32_t bits = words ? (mem[el] >> shift) & mask : r.read(el);
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
      GsMemNoteDecoded(p0);
      GsMemNoteDecoded(p1);
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

struct FastEnv {
  uint64_t serial;
  bool ok;
  GsRefReason why;  // when not ok
  GsFastEnv e;
  // texture
  bool tex, fst;
  bool mip;  // level and filter per pixel; else one of each for every primitive
  int filter, level;
  TexEntry* entry[7];
  uint64_t pin;
  GsSpanFn narrow, wide;  // primitives up to 8 pixels wide, and wider ones
};

FastEnv g_fe;
GsSpan g_spans[2048];  // the spans of the primitive being drawn (rows are below 2048)
int g_lanes;  // 0: by the CPU; 4 or 8: forced (tests)

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

void Derive(const GsDrawEnv& e) {
  FastEnv& fe = g_fe;
  fe = FastEnv{};
  fe.serial = g_gs.envSerial;
  GsFastEnv& f = fe.e;
  // 32-bit frames (colour or depth layouts) only.
  fe.why = GS_REF_FRAME_FORMAT;
  if (e.ffmt != GS_FB_32 && e.ffmt != GS_FB_24) return;
  f.env = &e;
  f.fintra = e.fpsm->intra;
  f.fbase = e.fbp * 64;
  f.fbw = e.fbw;
  f.f24 = e.ffmt == GS_FB_24;
  f.keep = e.fbmsk | (f.f24 ? 0xff000000 : 0);
  f.zTest = e.ztst != 1;
  f.zWrite = !e.zmsk;
  f.ztst = e.ztst;
  if (f.zTest || f.zWrite) {
    fe.why = GS_REF_DEPTH_FORMAT;
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
  f.ba = e.ba;
  f.bb = e.bb;
  f.bc = e.bc;
  f.bd = e.bd;
  f.fix = e.bfix;
  f.colclamp = e.colclamp;
  fe.tex = e.tme;
  fe.fst = e.fst;
  if (fe.tex) {
    const GsTexEnv& t = e.tex;
    fe.why = GS_REF_TEX_FORMAT;
    if (t.psm->store == GS_ST_NONE) return;
    f.tfx = t.tfx;
    f.tcc = t.tcc;
    // One filter and level for all pixels when the LOD cannot change them;
    // otherwise the per-pixel span variants.
    int minFilter = (t.mmin == 0 || t.mmin == 2 || t.mmin == 3) ? 0 : 1;
    int frac = 0;
    if (t.lcm) {
      LodChoice(t, t.k, &fe.filter, &fe.level, &frac);
      fe.mip = frac != 0;
    } else if ((t.mxl == 0 || t.mmin <= 1) && minFilter == t.mmag) {
      fe.filter = t.mmag;
      fe.level = 0;
    } else {
      fe.mip = true;
    }
    fe.pin = g_useClock;
  }
  const bool z = f.zTest || f.zWrite;
  const bool fill = !fe.tex && !e.iip && !f.zTest && !f.ate && !f.date && !e.abe;
  bool wide = g_lanes == 8 || (g_lanes == 0 && GsSpanHaveAvx2() && __builtin_cpu_supports("avx2"));
  fe.narrow = fill ? GsSpansFill : GsSpanPickSse2(fe.tex, e.iip, z, e.abe, fe.fst, fe.mip);
  fe.wide = fill   ? GsSpansFill
            : wide ? GsSpanPickAvx2(fe.tex, e.iip, z, e.abe, fe.fst, fe.mip)
                   : fe.narrow;
  if (g_lanes == 8) fe.narrow = fe.wide;
  fe.ok = fe.narrow && fe.wide;
  fe.why = GS_REF_NO_SIMD;
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

// Leaves the primitive to the reference path, saying why.
bool Decline(GsRefReason why) {
  g_gs.declined = why;
  return false;
}

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

// A level nobody may sample: one zero texel every coordinate reaches.
const uint32_t kNoTexel[1] = {0};
constexpr GsFastLevel kNoLevel = {kNoTexel, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// The texels [a, b] of one axis (before wrapping) reach, per wrap mode:
// a range, or the whole axis.
void TexelRange(int a, int b, int mode, int size, int lo, int hi, int* ra, int* rb) {
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
  *ra = 0;
  *rb = size - 1;
}

// Sets up the texture of a primitive: the levels it may sample, decoded
// where it may sample them (their pages added to `read`). False for the
// reference path.
bool PrepareTexture(const GsDrawEnv& e, FastEnv& f, const GsSetup& s, const Rect& r,
                    GsPageSet* read, GsFastTex* tv) {
  const GsTexEnv& t = e.tex;
  const int xs[2] = {r.x0, r.x1 - 1}, ys[2] = {r.y0, r.y1 - 1};
  tv->tw0 = t.lv[0].tw;
  tv->th0 = t.lv[0].th;
  tv->level = f.level;
  tv->bilinear = f.filter == 1;
  tv->lcm = t.lcm;
  tv->l = t.l;
  tv->k = t.k;
  tv->magBilinear = t.mmag == 1;
  tv->minBilinear = !(t.mmin == 0 || t.mmin == 2 || t.mmin == 3);
  tv->minMode = (t.mmin == 2 || t.mmin == 4) ? 1 : (t.mmin == 3 || t.mmin == 5) ? 2 : 0;
  tv->mxl = t.mxl;
  int lo = f.level, hi = f.level;
  if (f.mip) {
    // Q is affine over the rectangle: its extremes, and the LOD's (which
    // falls as |Q| grows), are at the corners, give or take rounding; the
    // levels between are the ones pixels may take.
    int lodMin = INT32_MAX, lodMax = INT32_MIN;
    for (int k = 0; k < 8; k++) {
      float q = FragQ(s, xs[k & 1], ys[(k >> 1) & 1]) * ((k & 4) ? 1.00001f : 0.99999f);
      if (!(q > 0.0f && q < 3.0e38f)) return Decline(GS_REF_Q_SIGN);
      int lod = GsTexLod(t, q);
      lodMin = std::min(lodMin, lod);
      lodMax = std::max(lodMax, lod);
    }
    int fl, frac;
    LodChoice(t, lodMin, &fl, &lo, &frac);
    LodChoice(t, lodMax, &fl, &hi, &frac);
    if (tv->minMode == 2) hi = std::min(hi + 1, t.mxl);  // the blend's second level
  }
  tv->levelLo = lo;
  tv->levelHi = hi;
  // The texels the rectangle's corners reach (level 0, 1/16 texel).
  int u0 = INT32_MAX, u1 = INT32_MIN, v0 = INT32_MAX, v1 = INT32_MIN;
  bool finite = true;
  for (int k = 0; k < 4 && finite; k++) {
    int u, v;
    FragUV(e, s, xs[k & 1], ys[k >> 1], &u, &v, &finite);
    u0 = std::min(u0, u);
    u1 = std::max(u1, u);
    v0 = std::min(v0, v);
    v1 = std::max(v1, v);
  }
  for (int i = 0; i < 7; i++) tv->lv[i] = kNoLevel;
  for (int level = lo; level <= hi; level++) {
    const GsTexLevel& lv = t.lv[level];
    const int w = 1 << lv.tw, h = 1 << lv.th;
    GsFastLevel& out = tv->lv[level];
    if (!WrapOf(t.wms, w, t.minu >> level, t.maxu >> level, &out.andU, &out.orU, &out.loU,
                &out.hiU) ||
        !WrapOf(t.wmt, h, t.minv >> level, t.maxv >> level, &out.andV, &out.orV, &out.loV,
                &out.hiV))
      return Decline(GS_REF_REGION);
    // With a margin for rounding and the second bilinear texel; all of an
    // axis when Q changes sign. With Q the same at every pixel, S / Q and
    // T / Q are monotonic along rows and columns (every step of the float
    // arithmetic is), so the corners bound them exactly: the texels are
    // those one filter takes there, which keeps a copy between parts of one
    // buffer apart from the part it writes.
    int ra = 0, rb = w - 1, rc = 0, rd = h - 1;
    if (finite) {
      int lo = -2, hi = 2, blo = 0;
      if (!e.fst && s.dqdx == 0.0f && s.dqdy == 0.0f && !f.mip) {
        lo = hi = 0;
        if (f.filter == 1) blo = -8, hi = 1;  // half a texel back, and the next texel
      }
      TexelRange((((u0 >> level) + blo) >> 4) + lo, (((u1 >> level) + blo) >> 4) + hi, t.wms, w,
                 out.loU, out.hiU, &ra, &rb);
      TexelRange((((v0 >> level) + blo) >> 4) + lo, (((v1 >> level) + blo) >> 4) + hi, t.wmt, h,
                 out.loV, out.hiV, &rc, &rd);
    }
    TexEntry*& ent = f.entry[level];
    if (!ent) ent = CacheLookup(t, level, f.pin);
    CacheEnsure(*ent, t, ra, rc, rb, rd, read);
    out.texels = ent->texels.data();
    out.tw = lv.tw;
  }
  return true;
}

// Common checks of a primitive covering rectangle r.
bool Prepare(const GsDrawEnv& e, const GsSetup& s, const Rect& r, GsWrites* w,
             GsFastTex* tv) {
  FastEnv& f = g_fe;
  const uint32_t fbw = f.e.fbw;
  // Pixels beyond the buffer's width would share memory with other rows.
  if (fbw == 0 || r.x1 > int(fbw) * 64) return Decline(GS_REF_WIDTH);
  // Nor may the rows reach round the end of memory onto themselves.
  if ((uint32_t((r.y1 - 1) >> 5) + 1) * fbw > GS_PAGES) return Decline(GS_REF_WIDTH);
  // The frame and the depth buffer in the same pages: the spans look for
  // groups whose words meet (the reference path's order matters there).
  f.e.alias = false;
  if (e.areaAlias) {
    const GsWrites& x = GsWritesExact(e, w);
    f.e.alias = x.frame.Intersects(x.depth);
  }
  // A texture that this primitive draws into is read as it is written.
  if (f.tex) {
    GsPageSet read;
    read.Clear();
    if (!PrepareTexture(e, f, s, r, &read, tv)) return false;
    if (read.Intersects(e.area)) {
      const GsWrites& x = GsWritesExact(e, w);
      if (read.Intersects(x.frame) || read.Intersects(x.depth)) return Decline(GS_REF_FEEDBACK);
    }
  }
  return true;
}

// ===================================================================
// Walking triangles
// ===================================================================

// floor(a / b) for b > 0 and |a| below 2^52, given inv = 1.0 / b: a
// double estimate, then the exact remainder corrects it.
int64_t FloorDiv(int64_t a, int64_t b, double inv) {
  int64_t q = int64_t(double(a) * inv);
  int64_t r = a - q * b;
  while (r < 0) {
    q--;
    r += b;
  }
  while (r >= b) {
    q++;
    r -= b;
  }
  return q;
}

// ceil(X(Y) / 16) of an edge at rows Y = 16 y, stepped row by row without
// division: X(Y) / 16 = N / D with N = Xa (Yb - Ya) + (Xb - Xa)(Y - Ya).
struct Edge {
  int64_t q, r, qi, ri, d;
  void Init(int xa, int ya, int xb, int yb, int y) {
    d = 16 * int64_t(yb - ya);
    const double inv = 1.0 / double(d);
    int64_t n = int64_t(xa) * (yb - ya) + int64_t(xb - xa) * (16 * int64_t(y) - ya);
    q = FloorDiv(n, d, inv);
    r = n - q * d;
    int64_t st = 16 * int64_t(xb - xa);
    qi = FloorDiv(st, d, inv);
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

bool GsFastTriangle(const GsDrawEnv& e, const GsTri& t, const GsSetup& s, GsWrites* w) {
  const FastEnv& f = FastEnvOf(e);
  if (!f.ok) return Decline(f.why);
  Rect r;
  r.x0 = std::max((std::min({t.x[0], t.x[1], t.x[2]}) + 15) >> 4, e.scx0);
  r.x1 = std::min((std::max({t.x[0], t.x[1], t.x[2]}) + 15) >> 4, e.scx1 + 1);
  r.y0 = std::max((std::min({t.y[0], t.y[1], t.y[2]}) + 15) >> 4, e.scy0);
  r.y1 = std::min((std::max({t.y[0], t.y[1], t.y[2]}) + 15) >> 4, e.scy1 + 1);
  GsFastTex tv;
  if (!Prepare(e, s, r, w, &tv)) return false;
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
  int n = 0;
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
      g_spans[n++] = GsSpan{y, xl, xr};
      pixels += uint64_t(xr - xl);
    }
    lng.Step();
    sht.Step();
  }
  GsBandSpans(r.x1 - r.x0 <= 8 ? f.narrow : f.wide, f.e, s, &tv, g_spans, n, pixels);
  g_gs.stats.pixels += pixels;
  return true;
}

bool GsFastSprite(const GsDrawEnv& e, int x0, int y0, int x1, int y1, const GsSetup& s,
                  GsWrites* w) {
  const FastEnv& f = FastEnvOf(e);
  if (!f.ok) return Decline(f.why);
  Rect r{x0, y0, x1, y1};
  GsFastTex tv;
  if (!Prepare(e, s, r, w, &tv)) return false;
  int n = 0;
  for (int y = y0; y < y1; y++) g_spans[n++] = GsSpan{y, x0, x1};
  const uint64_t pixels = uint64_t(x1 - x0) * uint64_t(y1 - y0);
  GsBandSpans(x1 - x0 <= 8 ? f.narrow : f.wide, f.e, s, &tv, g_spans, n, pixels);
  g_gs.stats.pixels += pixels;
  return true;
}

void GsFastReset() {
  g_gsDecoded.Clear();
  g_gsDecodedGen++;
  g_cache.clear();
  g_cacheBytes = 0;
  g_useClock = 0;
  g_fe = FastEnv{};
  g_fe.serial = ~uint64_t(0);
}

void GsFastSetWidth(int lanes) {
  GsSync();
  g_lanes = lanes;
  g_fe.serial = ~uint64_t(0);
}

#else  // not x86: the reference path draws everything

bool GsFastTriangle(const GsDrawEnv&, const GsTri&, const GsSetup&, GsWrites*) {
  g_gs.declined = GS_REF_NO_SIMD;
  return false;
}
bool GsFastSprite(const GsDrawEnv&, int, int, int, int, const GsSetup&, GsWrites*) {
  g_gs.declined = GS_REF_NO_SIMD;
  return false;
}
void GsFastReset() {}
void GsFastSetWidth(int) {}

#endif
