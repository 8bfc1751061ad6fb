// Fills: a flat primitive with no texture, alpha or depth test and no
// blending stores one colour (and its depth) in every pixel it covers. Where
// eight rows of its spans cover whole 8 x 8 blocks, those blocks are filled as
// the 64 words they are in memory, whatever the layout's order inside them;
// the rest pixel by pixel. Clears run at the speed of memory this way.
#include <algorithm>

#include "gsfast_local.h"

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>

namespace {

// n words (a multiple of 4, 16-byte aligned) to c, keeping the bits of keep.
inline void FillWords(uint32_t* p, int n, uint32_t c, uint32_t keep) {
  __m128i* v = reinterpret_cast<__m128i*>(p);
  const __m128i cv = _mm_set1_epi32(int32_t(c & ~keep));
  if (keep == 0) {
    for (int i = 0; i < n / 4; i++) _mm_store_si128(v + i, cv);
    return;
  }
  const __m128i kv = _mm_set1_epi32(int32_t(keep));
  for (int i = 0; i < n / 4; i++)
    _mm_store_si128(v + i, _mm_or_si128(_mm_and_si128(_mm_load_si128(v + i), kv), cv));
}

// One buffer (frame or depth) of a 32-bit layout, as the fill writes it.
struct Target {
  bool on;
  uint32_t base, bw;
  const uint16_t* intra;
  uint32_t keep;
  uint32_t Addr(int x, int y) const {
    return (base + uint32_t(y >> 5) * bw * 2048 + (uint32_t(x >> 6) << 11) +
            intra[(y & 31) * 64 + (x & 63)]) &
           0xfffff;
  }
};

struct Fill {
  Target fr, z;
  uint32_t c;
  const GsSetup* s;
  uint32_t zmax;
  bool zFlat;  // one depth for every pixel
  uint32_t zc;
  uint32_t ZAt(int x, int y) const {
    if (zFlat) return zc;
    const uint64_t z = uint64_t(s->z) + uint64_t(s->dzdy) * uint64_t(int64_t(y - s->yo)) +
                       uint64_t(s->dzdx) * uint64_t(int64_t(x - s->xo));
    return GsClampZ(int64_t(z), zmax);
  }
};

inline void Put(uint32_t* mem, const Target& t, int x, int y, uint32_t v) {
  uint32_t& w = mem[t.Addr(x, y)];
  w = t.keep ? (v & ~t.keep) | (w & t.keep) : v;
}

void Pixels(const Fill& k, int y, int x0, int x1) {
  uint32_t* mem = GsMem32();
  for (int x = x0; x < x1; x++) {
    if (k.fr.on) Put(mem, k.fr, x, y, k.c);
    if (k.z.on) Put(mem, k.z, x, y, k.ZAt(x, y));
  }
}

// Blocks [bx0, bx1) of block row by (x and y in blocks of 8).
void Blocks(const Fill& k, int by, int bx0, int bx1) {
  uint32_t* mem = GsMem32();
  for (int bx = bx0; bx < bx1; bx++) {
    if (k.fr.on) FillWords(mem + (k.fr.Addr(bx * 8, by * 8) & ~63u), 64, k.c, k.fr.keep);
    if (k.z.on) FillWords(mem + (k.z.Addr(bx * 8, by * 8) & ~63u), 64, k.zc, k.z.keep);
  }
}

}  // namespace

void GsSpansFill(const GsFastEnv& f, const GsSetup& s, const GsFastTex*, const GsSpan* sp,
                 int n) {
  Fill k;
  k.fr = Target{f.keep != 0xffffffff, f.fbase, f.fbw, f.fintra, f.keep};
  k.z = Target{f.zWrite, f.zbase, f.fbw, f.zintra, f.z24 ? 0xff000000u : 0u};
  k.c = (s.c[0] >> 16) | (s.c[1] >> 16) << 8 | (s.c[2] >> 16) << 16 | (s.c[3] >> 16) << 24;
  k.s = &s;
  k.zmax = f.zmax;
  k.zFlat = s.dzdx == 0 && s.dzdy == 0;
  k.zc = GsClampZ(s.z, f.zmax);
  int i = 0;
  while (i < n) {
    // Eight rows of one block row, each present: the blocks all of them
    // cover are filled whole (depth too when it is flat).
    const int y = sp[i].y;
    int cx0 = sp[i].x0, cx1 = sp[i].x1;
    bool whole = (y & 7) == 0 && i + 8 <= n && (k.zFlat || !k.z.on);
    for (int r = 1; whole && r < 8; r++) {
      whole = sp[i + r].y == y + r;
      cx0 = std::max(cx0, sp[i + r].x0);
      cx1 = std::min(cx1, sp[i + r].x1);
    }
    const int bx0 = (cx0 + 7) >> 3, bx1 = cx1 >> 3;
    if (!whole || bx0 >= bx1) {
      Pixels(k, y, sp[i].x0, sp[i].x1);
      i++;
      continue;
    }
    Blocks(k, y >> 3, bx0, bx1);
    for (int r = 0; r < 8; r++) {
      Pixels(k, y + r, sp[i + r].x0, bx0 * 8);
      Pixels(k, y + r, bx1 * 8, sp[i + r].x1);
    }
    i += 8;
  }
}

#endif
