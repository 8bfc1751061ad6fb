// The fast rasteriser's pixel pipeline over one span, N pixels at a time,
// written once over a vector record `Vec` (4 lanes with SSE2, 8 with AVX2)
// that the including file defines. It computes exactly what GsRefPixel
// does. Everything here has internal linkage, so each width keeps its own
// code: nothing compiled for AVX2 can stand in for the SSE2 copy.
//
// Included only by gsspan_sse2.cpp and gsspan_avx2.cpp, after Vec.

namespace {

using I = Vec::I;
using F = Vec::F;
constexpr int N = Vec::N;

inline uint32_t ClampZ(int64_t z16, uint32_t zmax) {
  int64_t z = z16 >> 16;
  return z < 0 ? 0 : z > int64_t(zmax) ? zmax : uint32_t(z);
}

inline I Sel(I m, I a, I b) { return Vec::Or(Vec::And(m, a), Vec::AndNot(m, b)); }
// Whether any bit of any lane is set. Write masks are bit masks (FBMSK keeps
// single bits), so a store is needed when any bit is writable: Vec::Mask
// sees only the top bit of each byte and cannot answer that.
inline bool AnyBit(I m) { return Vec::Mask(Vec::CmpEq(m, Vec::Zero())) != Vec::kAllMask; }
inline I Not(I a) { return Vec::Xor(a, Vec::Set1(-1)); }
inline I AlphaMask() { return Vec::Set1(int32_t(0xff000000)); }

// R, G, B, A lanes (32-bit) to RGBA words, each clamped to 0..255.
inline I PackChannels(I r, I g, I b, I a) {
  I x = Vec::PackUs16(Vec::Packs32(r, g), Vec::Packs32(b, a));
  I u = Vec::UnpackLo8(x, Vec::ShiftBytes8(x));
  return Vec::UnpackLo8(u, Vec::ShiftBytes8(u));
}

inline I Floor(F f) {
  I i = Vec::Cvtt(f);
  return Vec::Add(i, Vec::CmpGtF(Vec::Cvt(i), f));
}

// As GsStqToCoord: (st x 1/q) x size in 1/16 texel, limited, floored.
inline I StqCoord(F st, F rq, F scale) {
  F f = Vec::MulF(Vec::MulF(st, rq), scale);
  f = Vec::MaxF(f, Vec::Set1F(-16777216.0f));
  f = Vec::MinF(f, Vec::Set1F(16777216.0f));
  return Floor(f);
}

inline I AlphaPass(int atst, I a, I ref) {
  switch (atst) {
    case 0: return Vec::Zero();
    case 2: return Vec::CmpLt(a, ref);
    case 3: return Not(Vec::CmpGt(a, ref));
    case 4: return Vec::CmpEq(a, ref);
    case 5: return Not(Vec::CmpLt(a, ref));
    case 6: return Vec::CmpGt(a, ref);
    case 7: return Not(Vec::CmpEq(a, ref));
    default: return Vec::Set1(-1);
  }
}

struct Wrap {
  I andm, orm, lo, hi;  // lo and hi: 16-bit lanes
};

// Texel indices of one axis through the wrap mode: two sets at once,
// and/or in 32 bits, then the clamp in 16 bits (after a saturating pack,
// which keeps order).
inline void Wrap2(I a, I b, const Wrap& w, I* ra, I* rb) {
  a = Vec::Or(Vec::And(a, w.andm), w.orm);
  b = Vec::Or(Vec::And(b, w.andm), w.orm);
  I p = Vec::Min16(Vec::Max16(Vec::Packs32(a, b), w.lo), w.hi);
  *ra = Vec::UnpackLo16(p, Vec::Zero());
  *rb = Vec::UnpackHi16(p, Vec::Zero());
}

// Per-pixel weights (0..15, 32-bit lanes) across each pixel's four 16-bit
// channels: for the pixels of UnpackLo8 and of UnpackHi8.
inline void Weights(I w, I* lo, I* hi) {
  I w16 = Vec::Packs32(w, w);
  w16 = Vec::UnpackLo16(w16, w16);
  *lo = Vec::UnpackLo32(w16, w16);
  *hi = Vec::UnpackHi32(w16, w16);
}

struct LevelLanes {
  const uint32_t* texels;
  int tw;
  Wrap u, v;
};

inline LevelLanes LevelOf(const GsFastLevel& l) {
  Wrap u{Vec::Set1(l.andU), Vec::Set1(l.orU), Vec::Set16(l.loU), Vec::Set16(l.hiU)};
  Wrap v{Vec::Set1(l.andV), Vec::Set1(l.orV), Vec::Set16(l.loV), Vec::Set16(l.hiV)};
  return LevelLanes{l.texels, l.tw, u, v};
}

// The texture's colour at (u, v), 1/16 texel of level 0, from one level
// (as GsSampleRef's SampleLevel).
inline I Sample(const LevelLanes& t, int level, bool bilinear, I u, I v) {
  u = Vec::SraN(u, level);
  v = Vec::SraN(v, level);
  if (!bilinear) {
    I i, j, unused;
    Wrap2(Vec::Srai<4>(u), Vec::Srai<4>(u), t.u, &i, &unused);
    Wrap2(Vec::Srai<4>(v), Vec::Srai<4>(v), t.v, &j, &unused);
    return Vec::Gather(t.texels, Vec::Add(Vec::SllN(j, t.tw), i));
  }
  const I one = Vec::Set1(1), f15 = Vec::Set1(15);
  u = Vec::Sub(u, Vec::Set1(8));
  v = Vec::Sub(v, Vec::Set1(8));
  I fu = Vec::And(u, f15), fv = Vec::And(v, f15);
  I iu = Vec::Srai<4>(u), jv = Vec::Srai<4>(v);
  I i0, i1, j0, j1;
  Wrap2(iu, Vec::Add(iu, one), t.u, &i0, &i1);
  Wrap2(jv, Vec::Add(jv, one), t.v, &j0, &j1);
  I r0 = Vec::SllN(j0, t.tw), r1 = Vec::SllN(j1, t.tw);
  I t00, t10, t01, t11;
  if (Vec::Mask(Vec::CmpEq(i1, Vec::Add(i0, one))) == Vec::kAllMask) {
    // No lane wraps: each row's two texels are neighbours, loaded together.
    Vec::GatherPairs(t.texels, Vec::Add(r0, i0), &t00, &t10);
    Vec::GatherPairs(t.texels, Vec::Add(r1, i0), &t01, &t11);
  } else {
    t00 = Vec::Gather(t.texels, Vec::Add(r0, i0));
    t10 = Vec::Gather(t.texels, Vec::Add(r0, i1));
    t01 = Vec::Gather(t.texels, Vec::Add(r1, i0));
    t11 = Vec::Gather(t.texels, Vec::Add(r1, i1));
  }
  // Weights per pixel across its four channels, 16-bit; the low and high
  // unpacks of each 128-bit lane hold pixels (0, 1) and (2, 3).
  I wuL, wuH, wvL, wvH;
  Weights(fu, &wuL, &wuH);
  Weights(fv, &wvL, &wvH);
  const I z = Vec::Zero();
  I out[2];
  for (int half = 0; half < 2; half++) {
    I wu = half ? wuH : wuL, wv = half ? wvH : wvL;
    auto w16 = [&](I x) { return half ? Vec::UnpackHi8(x, z) : Vec::UnpackLo8(x, z); };
    I a = w16(t00), b = w16(t10), c = w16(t01), d = w16(t11);
    // c00 (16 - fu) + c10 fu, then the same down: exact in 16 bits.
    I h0 = Vec::Add16(Vec::Slli16<4>(a), Vec::Mullo16(Vec::Sub16(b, a), wu));
    I h1 = Vec::Add16(Vec::Slli16<4>(c), Vec::Mullo16(Vec::Sub16(d, c), wu));
    I r = Vec::Add16(Vec::Slli16<4>(h0), Vec::Mullo16(Vec::Sub16(h1, h0), wv));
    out[half] = Vec::Srli16<8>(r);
  }
  return Vec::PackUs16(out[0], out[1]);
}

// (c0 (16 - f) + c1 f) >> 4 per channel: two levels blended.
inline I LerpLevels(I c0, I c1, I f) {
  const I z = Vec::Zero();
  I wl, wh;
  Weights(f, &wl, &wh);
  I r[2];
  for (int half = 0; half < 2; half++) {
    I a = half ? Vec::UnpackHi8(c0, z) : Vec::UnpackLo8(c0, z);
    I b = half ? Vec::UnpackHi8(c1, z) : Vec::UnpackLo8(c1, z);
    r[half] = Vec::Srli16<4>(
        Vec::Add16(Vec::Slli16<4>(a), Vec::Mullo16(Vec::Sub16(b, a), half ? wh : wl)));
  }
  return Vec::PackUs16(r[0], r[1]);
}

inline int Wrap1(int i, int32_t andm, int32_t orm, int lo, int hi) {
  i = (i & andm) | orm;
  i = i < -32768 ? -32768 : i > 32767 ? 32767 : i;  // as the saturating pack
  i = i > lo ? i : lo;
  return i < hi ? i : hi;
}

// One pixel from one level, as Sample does for a lane.
inline uint32_t SampleOne(const GsFastLevel& l, int level, bool bilinear, int u, int v) {
  u >>= level;
  v >>= level;
  auto at = [&](int i, int j) {
    return l.texels[(uint32_t(Wrap1(j, l.andV, l.orV, l.loV, l.hiV)) << l.tw) +
                    uint32_t(Wrap1(i, l.andU, l.orU, l.loU, l.hiU))];
  };
  if (!bilinear) return at(u >> 4, v >> 4);
  u -= 8;
  v -= 8;
  const uint32_t fu = uint32_t(u & 15), fv = uint32_t(v & 15);
  const int i = u >> 4, j = v >> 4;
  uint32_t c00 = at(i, j), c10 = at(i + 1, j), c01 = at(i, j + 1), c11 = at(i + 1, j + 1);
  uint32_t out = 0;
  for (int c = 0; c < 32; c += 8) {
    uint32_t h0 = ((c00 >> c) & 0xff) * (16 - fu) + ((c10 >> c) & 0xff) * fu;
    uint32_t h1 = ((c01 >> c) & 0xff) * (16 - fu) + ((c11 >> c) & 0xff) * fu;
    out |= (((h0 * (16 - fv) + h1 * fv) >> 8) & 0xff) << c;
  }
  return out;
}

// LOD per pixel from Q (as GsTexLod), in 1/16.
inline I LodLanes(const GsFastTex& t, F q) {
  if (t.lcm) return Vec::Set1(t.k);
  I bits = Vec::And(Vec::CastF(q), Vec::Set1(0x7fffffff));
  I log16 = Vec::Sub(Vec::Srli<19>(bits), Vec::Set1(127 * 16));
  I lod = Vec::Add(Vec::SllN(Vec::Sub(Vec::Zero(), log16), t.l), Vec::Set1(t.k));
  lod = Sel(Vec::CmpEq(bits, Vec::Zero()), Vec::Set1(0x7fff), lod);
  return Sel(Vec::CmpGt(bits, Vec::Set1(0x7f7fffff)), Vec::Set1(-0x8000), lod);
}

// The texture's colour when the level and filter follow each pixel's LOD
// (as GsSampleRef): one vector sample (two levels blended) when the live
// lanes agree on level and filter, else lane by lane.
inline I SampleMip(const GsFastTex& t, const LevelLanes* lanes, I live, I u, I v, F q) {
  const I lod = LodLanes(t, q);
  const I mag = Vec::CmpLt(lod, Vec::Zero());
  I lvl = Vec::Zero(), frac = Vec::Zero();
  if (t.minMode == 1) {
    lvl = Vec::Srai<4>(Vec::Add(lod, Vec::Set1(8)));
    lvl = Sel(Vec::CmpGt(lvl, Vec::Set1(t.mxl)), Vec::Set1(t.mxl), lvl);
  } else if (t.minMode == 2) {
    lvl = Vec::Srai<4>(lod);
    frac = Vec::And(lod, Vec::Set1(15));
    I over = Vec::CmpGt(lvl, Vec::Set1(t.mxl - 1));
    lvl = Sel(over, Vec::Set1(t.mxl), lvl);
    frac = Vec::AndNot(over, frac);
  }
  lvl = Vec::AndNot(mag, lvl);
  frac = Vec::AndNot(mag, frac);
  alignas(32) int32_t L[N], M[N], Fr[N];
  Vec::Store(L, lvl);
  Vec::Store(M, mag);
  Vec::Store(Fr, frac);
  const int liveBits = Vec::Mask(live);
  int first = -1;
  bool uniform = true, anyFrac = false;
  for (int i = 0; i < N; i++) {
    if (!((liveBits >> (i * 4)) & 1)) continue;  // four mask bits a lane
    if (first < 0) first = i;
    uniform &= L[i] == L[first] && M[i] == M[first];
    anyFrac |= Fr[i] != 0;
  }
  if (first < 0) return Vec::Zero();
  if (uniform) {
    const int level = L[first];
    const bool bil = M[first] ? t.magBilinear : t.minBilinear;
    I c = Sample(lanes[level], level, bil, u, v);
    if (anyFrac) c = LerpLevels(c, Sample(lanes[level + 1], level + 1, bil, u, v), frac);
    return c;
  }
  alignas(32) int32_t U[N], V[N], C[N];
  Vec::Store(U, u);
  Vec::Store(V, v);
  for (int i = 0; i < N; i++) {
    const int level = L[i];
    const bool bil = M[i] ? t.magBilinear : t.minBilinear;
    uint32_t c = SampleOne(t.lv[level], level, bil, U[i], V[i]);
    if (Fr[i]) {
      const uint32_t c1 = SampleOne(t.lv[level + 1], level + 1, bil, U[i], V[i]);
      const uint32_t f = uint32_t(Fr[i]);
      uint32_t out = 0;
      for (int b = 0; b < 32; b += 8)
        out |= (((((c >> b) & 0xff) * (16 - f) + ((c1 >> b) & 0xff) * f) >> 4) & 0xff) << b;
      c = out;
    }
    C[i] = int32_t(c);
  }
  return Vec::Load(C);
}

// The texture function (as GsTfx).
inline I Tfx(int tfx, int tcc, I f, I t) {
  const I amask = AlphaMask();
  if (tfx == 1) return tcc ? t : Sel(amask, f, t);
  const I z = Vec::Zero();
  I r[2];
  for (int half = 0; half < 2; half++) {
    I fx = half ? Vec::UnpackHi8(f, z) : Vec::UnpackLo8(f, z);
    I tx = half ? Vec::UnpackHi8(t, z) : Vec::UnpackLo8(t, z);
    I m = Vec::Srli16<7>(Vec::Mullo16(tx, fx));
    if (tfx != 0) {
      // HIGHLIGHT(2): plus Af; the alpha lane starts from At.
      const I alpha16 = Vec::Set64(int64_t(0xffff000000000000ull));
      m = Vec::Add16(Sel(alpha16, tx, m), Vec::AlphaSpread(fx));
    }
    r[half] = m;
  }
  I c = Vec::PackUs16(r[0], r[1]);
  if (!tcc) return Sel(amask, f, c);
  if (tfx == 3) return Sel(amask, t, c);
  return c;
}

struct BlendLanes {
  int ba, bb, bc, bd;
  bool colclamp;
  I fix;  // FIX << 2 in 16-bit lanes
};

// ((A - B) x C >> 7) + D on each colour channel; alpha stays the source's.
inline I Blend(const BlendLanes& bl, I s, I d) {
  const I z = Vec::Zero();
  I r[2];
  for (int half = 0; half < 2; half++) {
    I sx = half ? Vec::UnpackHi8(s, z) : Vec::UnpackLo8(s, z);
    I dx = half ? Vec::UnpackHi8(d, z) : Vec::UnpackLo8(d, z);
    I a = bl.ba == 0 ? sx : bl.ba == 1 ? dx : z;
    I b = bl.bb == 0 ? sx : bl.bb == 1 ? dx : z;
    I dd = bl.bd == 0 ? sx : bl.bd == 1 ? dx : z;
    I c = bl.bc == 0   ? Vec::Slli16<2>(Vec::AlphaSpread(sx))
          : bl.bc == 1 ? Vec::Slli16<2>(Vec::AlphaSpread(dx))
                       : bl.fix;
    // (A - B) << 7 times C << 2, high half: (A - B) x C >> 7, floored.
    I v = Vec::Add16(Vec::Mulhi16(Vec::Slli16<7>(Vec::Sub16(a, b)), c), dd);
    if (!bl.colclamp) v = Vec::And(v, Vec::Set16(0xff));
    r[half] = v;
  }
  return Sel(AlphaMask(), s, Vec::PackUs16(r[0], r[1]));
}

// Word addresses of the pixel pairs (gx + 2k, gx + 2k + 1) of a group: in
// the 32-bit layouts the two pixels of a pair are neighbouring words.
inline void Pairs(uint32_t rowBase, const uint16_t* intraRow, int gx, uint32_t* a) {
  const uint32_t base = rowBase + (uint32_t(gx >> 6) << 11);
  for (int k = 0; k < N / 2; k++) a[k] = (base + intraRow[(gx & 63) + 2 * k]) & 0xfffff;
}

// Whether a group's frame and depth words meet (pairs of neighbouring words
// at fa[k] and za[m], both even): lanes sharing a word would see each
// other's writes in the reference path's order. A lane's own frame and
// depth word meet harmlessly unless depth is written: its store puts back
// the word as read before the frame's store.
inline bool WordsMeet(const uint32_t* fa, const uint32_t* za, bool zWrite) {
  for (int k = 0; k < N / 2; k++)
    for (int m = 0; m < N / 2; m++)
      if (fa[k] == za[m] && (k != m || zWrite)) return true;
  return false;
}

// Pixels [xa, xb) of row y through the reference pixel pipeline, in order.
inline void RefPixels(const GsFastEnv& f, const GsSetup& s, int y, int xa, int xb) {
  for (int x = xa; x < xb; x++) {
    GsFrag fr;
    GsSetupFrag(*f.env, s, x, y, &fr);
    GsRefPixel(*f.env, x, y, fr);
  }
}

struct Lanes {
  I ch[4];   // R, G, B, A: 16.16
  I u, v;    // UV: 16.16 of 1/16 texel
  F s, t, q; // STQ at the span's row; each pixel adds d?dx (x - xo)
  F dsdx, dtdx, dqdx, wScale, hScale;
  I col;     // flat colour
  I xo;
};

struct Consts {
  I keep, zKeep, zLow, aref, datm;
  // Interpolant offsets of the lanes (gradient x lane) and steps of a group.
  I chRamp[4], chStep[4], uRamp, uStep, vRamp, vStep;
  BlendLanes blend;
  const GsFastTex* tex;
  LevelLanes level[7];  // the levels the primitive may sample
};

// One group past the depth test (the lanes in `live`): colour, texture,
// the alpha and destination alpha tests, blending, the writes.
template <bool kTex, bool kGouraud, bool kZ, bool kBlend, bool kFst, bool kMip>
inline void Pixels(const GsFastEnv& f, const Consts& k, const Lanes& l, I xv, I live, I dst,
                   const uint32_t* fa, I zv, I zd, const uint32_t* za) {
  uint32_t* mem = reinterpret_cast<uint32_t*>(g_gsMem);
  const I amask = AlphaMask();
  I c = l.col;
  if (kGouraud)
    c = PackChannels(Vec::Srai<16>(l.ch[0]), Vec::Srai<16>(l.ch[1]), Vec::Srai<16>(l.ch[2]),
                     Vec::Srai<16>(l.ch[3]));
  if (kTex) {
    I u, v;
    F q = Vec::Set1F(1.0f);
    if (kMip || !kFst) {
      F fx = Vec::Cvt(Vec::Sub(xv, l.xo));
      q = Vec::AddF(l.q, Vec::MulF(l.dqdx, fx));
      if (!kFst) {
        F rq = Vec::DivF(Vec::Set1F(1.0f), q);
        u = StqCoord(Vec::AddF(l.s, Vec::MulF(l.dsdx, fx)), rq, l.wScale);
        v = StqCoord(Vec::AddF(l.t, Vec::MulF(l.dtdx, fx)), rq, l.hScale);
      }
    }
    if (kFst) {
      u = Vec::Srai<16>(l.u);
      v = Vec::Srai<16>(l.v);
    }
    const GsFastTex& t = *k.tex;
    I texel = kMip ? SampleMip(t, k.level, live, u, v, q)
                   : Sample(k.level[t.level], t.level, t.bilinear, u, v);
    c = Tfx(f.tfx, f.tcc, c, texel);
  }
  // Alpha test and AFAIL: which lanes write the frame, which the depth,
  // which keep their alpha.
  I fw = live, zw = f.zWrite ? live : Vec::Zero(), keepA = Vec::Zero();
  if (f.ate) {
    I pass = AlphaPass(f.atst, Vec::Srli<24>(c), k.aref);
    switch (f.afail) {
      case 0:
        fw = Vec::And(fw, pass);
        zw = Vec::And(zw, pass);
        break;
      case 1: zw = Vec::And(zw, pass); break;
      case 2: fw = Vec::And(fw, pass); break;
      default:
        zw = Vec::And(zw, pass);
        keepA = Vec::AndNot(pass, amask);
        break;
    }
  }
  if (f.date) {
    I pass = Vec::CmpEq(Vec::Srli<31>(dst), k.datm);
    fw = Vec::And(fw, pass);
    zw = Vec::And(zw, pass);
  }
  // 24-bit frames blend with a destination alpha of 0x80.
  if (kBlend)
    c = Blend(k.blend, c,
              f.f24 ? Vec::Or(Vec::AndNot(amask, dst), Vec::Set1(int32_t(0x80000000))) : dst);
  // The bits each lane writes: its lane mask less the kept bits.
  I wm = Vec::AndNot(Vec::Or(k.keep, keepA), fw);
  if (AnyBit(wm)) Vec::StorePairs(mem, fa, Sel(wm, c, dst));
  if (kZ && f.zWrite) {
    I zm = Vec::AndNot(k.zKeep, zw);
    if (AnyBit(zm)) Vec::StorePairs(mem, za, Sel(zm, zv, zd));
  }
}

template <bool kTex, bool kGouraud, bool kZ, bool kBlend, bool kFst, bool kMip>
inline void Span(const GsFastEnv& f, const GsSetup& s, const GsFastTex* tv, const Consts& k, int y,
                 int x0, int x1) {
  uint32_t* mem = reinterpret_cast<uint32_t*>(g_gsMem);
  const int dy = y - s.yo;
  const uint32_t uy = uint32_t(dy);
  const uint32_t fRow = f.fbase + uint32_t(y >> 5) * f.fbw * 2048;
  const uint16_t* fIn = f.fintra + (y & 31) * 64;
  const uint32_t zRow = f.zbase + uint32_t(y >> 5) * f.fbw * 2048;
  const uint16_t* zIn = kZ ? f.zintra + (y & 31) * 64 : nullptr;
  const int gx0 = x0 & ~(N - 1);
  const uint32_t ux = uint32_t(gx0 - s.xo);
  const I ramp = Vec::Ramp();
  const I x0m1 = Vec::Set1(x0 - 1), x1v = Vec::Set1(x1);
  const I sign = Vec::Set1(int32_t(0x80000000));

  // Interpolants at the first group's lanes, then steps of N pixels, in
  // the same wrapping arithmetic as the reference.
  Lanes l;
  l.col = Vec::Set1(int32_t((s.c[0] >> 16) | (s.c[1] >> 16) << 8 | (s.c[2] >> 16) << 16 |
                            (s.c[3] >> 16) << 24));
  l.xo = Vec::Set1(s.xo);
  if (kGouraud)
    for (int c = 0; c < 4; c++)
      l.ch[c] = Vec::Add(Vec::Set1(int32_t(s.c[c] + s.dcdy[c] * uy + s.dcdx[c] * ux)), k.chRamp[c]);
  // Depth: 64-bit lanes when the whole span lies within the format's
  // range (no clamping; depth is linear along the span), else per pixel.
  uint64_t zg = 0;
  const uint64_t dz = uint64_t(s.dzdx);
  typename Vec::Z zs{};
  bool zSimd = false;
  if (kZ) {
    zg = uint64_t(s.z) + uint64_t(s.dzdy) * uint64_t(int64_t(dy)) +
         dz * uint64_t(int64_t(gx0 - s.xo));
    const int64_t lo = int64_t(zg), hi = int64_t(zg + dz * uint64_t(int64_t(x1 + N - 1 - gx0)));
    const int64_t top = (int64_t(f.zmax) << 16) | 0xffff;
    zSimd = lo >= 0 && hi >= 0 && lo <= top && hi <= top;
    if (zSimd) Vec::ZInit(&zs, zg, dz);
  }
  if (kTex && kFst) {
    l.u = Vec::Add(Vec::Set1(int32_t(s.u + s.dudy * uy + s.dudx * ux)), k.uRamp);
    l.v = Vec::Add(Vec::Set1(int32_t(s.v + s.dvdy * uy + s.dvdx * ux)), k.vRamp);
  }
  if (kTex && (kMip || !kFst)) {
    l.q = Vec::Set1F(s.q + s.dqdy * float(dy));
    l.dqdx = Vec::Set1F(s.dqdx);
  }
  if (kTex && !kFst) {
    l.s = Vec::Set1F(s.s + s.dsdy * float(dy));
    l.t = Vec::Set1F(s.t + s.dtdy * float(dy));
    l.dsdx = Vec::Set1F(s.dsdx);
    l.dtdx = Vec::Set1F(s.dtdx);
    l.wScale = Vec::Set1F(float(16 << tv->tw0));
    l.hScale = Vec::Set1F(float(16 << tv->th0));
  }
  for (int gx = gx0; gx < x1; gx += N) {
    const I xv = Vec::Add(Vec::Set1(gx), ramp);
    I live = Vec::And(Vec::CmpGt(xv, x0m1), Vec::CmpLt(xv, x1v));
    uint32_t fa[N / 2], za[N / 2] = {};
    Pairs(fRow, fIn, gx, fa);
    if (kZ) Pairs(zRow, zIn, gx, za);
    if (kZ && f.alias && WordsMeet(fa, za, f.zWrite)) {
      RefPixels(f, s, y, gx > x0 ? gx : x0, gx + N < x1 ? gx + N : x1);
      if (zSimd) Vec::ZNext(&zs);
      zg += uint64_t(N) * dz;
    } else {
      const I dst = Vec::LoadPairs(mem, fa);
      I zv = Vec::Zero(), zd = zv;
      if (kZ) {
        if (zSimd) {
          zv = Vec::ZNext(&zs);
        } else {
          alignas(32) int32_t zz[N];
          for (int i = 0; i < N; i++)
            zz[i] = int32_t(ClampZ(int64_t(zg + dz * uint64_t(i)), f.zmax));
          zv = Vec::Load(zz);
        }
        zg += uint64_t(N) * dz;
        zd = Vec::LoadPairs(mem, za);
        if (f.zTest) {
          I zsg = Vec::Xor(zv, sign), dsg = Vec::Xor(Vec::And(zd, k.zLow), sign);
          I pass = f.ztst == 2 ? Not(Vec::CmpGt(dsg, zsg)) : Vec::CmpGt(zsg, dsg);
          live = Vec::And(live, pass);
        }
      }
      if (Vec::Mask(live) != 0)
        Pixels<kTex, kGouraud, kZ, kBlend, kFst, kMip>(f, k, l, xv, live, dst, fa, zv, zd, za);
    }
    if (kGouraud)
      for (int c = 0; c < 4; c++) l.ch[c] = Vec::Add(l.ch[c], k.chStep[c]);
    if (kTex && kFst) {
      l.u = Vec::Add(l.u, k.uStep);
      l.v = Vec::Add(l.v, k.vStep);
    }
  }
}

// The spans of one primitive: what stays the same across them, set once.
template <bool kTex, bool kGouraud, bool kZ, bool kBlend, bool kFst, bool kMip>
void Spans(const GsFastEnv& f, const GsSetup& s, const GsFastTex* tv, const GsSpan* sp, int n) {
  Consts k;
  k.keep = Vec::Set1(int32_t(f.keep));
  k.zKeep = Vec::Set1(f.z24 ? int32_t(0xff000000) : 0);
  k.zLow = Vec::Set1(f.z24 ? 0xffffff : -1);
  k.aref = Vec::Set1(int32_t(f.aref));
  k.datm = Vec::Set1(int32_t(f.datm));
  if (kBlend) k.blend = BlendLanes{f.ba, f.bb, f.bc, f.bd, f.colclamp,
                                   Vec::Set16(int16_t(f.fix << 2))};
  if (kTex) {
    k.tex = tv;
    if (kMip)
      for (int i = tv->levelLo; i <= tv->levelHi; i++) k.level[i] = LevelOf(tv->lv[i]);
    else
      k.level[tv->level] = LevelOf(tv->lv[tv->level]);
  }

  if (kGouraud)
    for (int c = 0; c < 4; c++) {
      k.chRamp[c] = Vec::RampTimes(s.dcdx[c]);
      k.chStep[c] = Vec::Set1(int32_t(uint32_t(N) * s.dcdx[c]));
    }
  if (kTex && kFst) {
    k.uRamp = Vec::RampTimes(s.dudx);
    k.vRamp = Vec::RampTimes(s.dvdx);
    k.uStep = Vec::Set1(int32_t(uint32_t(N) * s.dudx));
    k.vStep = Vec::Set1(int32_t(uint32_t(N) * s.dvdx));
  }
  for (int i = 0; i < n; i++)
    Span<kTex, kGouraud, kZ, kBlend, kFst, kMip>(f, s, tv, k, sp[i].y, sp[i].x0, sp[i].x1);
}

template <bool kTex, bool kGouraud, bool kZ, bool kBlend, bool kFst>
GsSpanFn PickMip(bool mip) {
  return mip ? Spans<kTex, kGouraud, kZ, kBlend, kFst, true>
             : Spans<kTex, kGouraud, kZ, kBlend, kFst, false>;
}
template <bool kTex, bool kGouraud, bool kZ, bool kBlend>
GsSpanFn PickFst(bool fst, bool mip) {
  return fst ? PickMip<kTex, kGouraud, kZ, kBlend, true>(mip)
             : PickMip<kTex, kGouraud, kZ, kBlend, false>(mip);
}
template <bool kTex, bool kGouraud, bool kZ>
GsSpanFn PickBlend(bool blend, bool fst, bool mip) {
  return blend ? PickFst<kTex, kGouraud, kZ, true>(fst, mip)
               : PickFst<kTex, kGouraud, kZ, false>(fst, mip);
}
template <bool kTex, bool kGouraud>
GsSpanFn PickZ(bool z, bool blend, bool fst, bool mip) {
  return z ? PickBlend<kTex, kGouraud, true>(blend, fst, mip)
           : PickBlend<kTex, kGouraud, false>(blend, fst, mip);
}
inline GsSpanFn Pick(bool tex, bool gouraud, bool z, bool blend, bool fst, bool mip) {
  if (!tex)
    return gouraud ? PickZ<false, true>(z, blend, false, false)
                   : PickZ<false, false>(z, blend, false, false);
  return gouraud ? PickZ<true, true>(z, blend, fst, mip) : PickZ<true, false>(z, blend, fst, mip);
}

}  // namespace
