// The fast rasteriser's spans four pixels at a time (SSE2, every x86-64).
#include "gsfast_local.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace {

struct Vec {
  using I = __m128i;
  using F = __m128;
  static constexpr int N = 4;
  static constexpr int kAllMask = 0xffff;
  static I Zero() { return _mm_setzero_si128(); }
  static I Set1(int32_t v) { return _mm_set1_epi32(v); }
  static I Set16(int16_t v) { return _mm_set1_epi16(v); }
  static I Set64(int64_t v) { return _mm_set1_epi64x(v); }
  static F Set1F(float v) { return _mm_set1_ps(v); }
  static I Ramp() { return _mm_set_epi32(3, 2, 1, 0); }
  static I RampTimes(uint32_t d) {
    return _mm_set_epi32(int32_t(3 * d), int32_t(2 * d), int32_t(d), 0);
  }
  static I Load(const int32_t* p) { return _mm_load_si128(reinterpret_cast<const I*>(p)); }
  static void Store(int32_t* p, I v) { _mm_store_si128(reinterpret_cast<I*>(p), v); }
  static I CastF(F a) { return _mm_castps_si128(a); }
  static I Add(I a, I b) { return _mm_add_epi32(a, b); }
  static I Sub(I a, I b) { return _mm_sub_epi32(a, b); }
  static I And(I a, I b) { return _mm_and_si128(a, b); }
  static I Or(I a, I b) { return _mm_or_si128(a, b); }
  static I AndNot(I a, I b) { return _mm_andnot_si128(a, b); }
  static I Xor(I a, I b) { return _mm_xor_si128(a, b); }
  static I CmpGt(I a, I b) { return _mm_cmpgt_epi32(a, b); }
  static I CmpLt(I a, I b) { return _mm_cmplt_epi32(a, b); }
  static I CmpEq(I a, I b) { return _mm_cmpeq_epi32(a, b); }
  template <int n> static I Srai(I a) { return _mm_srai_epi32(a, n); }
  template <int n> static I Srli(I a) { return _mm_srli_epi32(a, n); }
  static I SraN(I a, int n) { return _mm_sra_epi32(a, _mm_cvtsi32_si128(n)); }
  static I SllN(I a, int n) { return _mm_sll_epi32(a, _mm_cvtsi32_si128(n)); }
  static int Mask(I a) { return _mm_movemask_epi8(a); }
  static I Add16(I a, I b) { return _mm_add_epi16(a, b); }
  static I Sub16(I a, I b) { return _mm_sub_epi16(a, b); }
  static I Mullo16(I a, I b) { return _mm_mullo_epi16(a, b); }
  static I Mulhi16(I a, I b) { return _mm_mulhi_epi16(a, b); }
  static I Min16(I a, I b) { return _mm_min_epi16(a, b); }
  static I Max16(I a, I b) { return _mm_max_epi16(a, b); }
  template <int n> static I Slli16(I a) { return _mm_slli_epi16(a, n); }
  template <int n> static I Srli16(I a) { return _mm_srli_epi16(a, n); }
  static I Packs32(I a, I b) { return _mm_packs_epi32(a, b); }
  static I PackUs16(I a, I b) { return _mm_packus_epi16(a, b); }
  static I UnpackLo8(I a, I b) { return _mm_unpacklo_epi8(a, b); }
  static I UnpackHi8(I a, I b) { return _mm_unpackhi_epi8(a, b); }
  static I UnpackLo16(I a, I b) { return _mm_unpacklo_epi16(a, b); }
  static I UnpackHi16(I a, I b) { return _mm_unpackhi_epi16(a, b); }
  static I UnpackLo32(I a, I b) { return _mm_unpacklo_epi32(a, b); }
  static I UnpackHi32(I a, I b) { return _mm_unpackhi_epi32(a, b); }
  static I ShiftBytes8(I a) { return _mm_srli_si128(a, 8); }
  static I AlphaSpread(I a) { return _mm_shufflehi_epi16(_mm_shufflelo_epi16(a, 0xff), 0xff); }
  static F AddF(F a, F b) { return _mm_add_ps(a, b); }
  static F MulF(F a, F b) { return _mm_mul_ps(a, b); }
  static F DivF(F a, F b) { return _mm_div_ps(a, b); }
  static F MaxF(F a, F b) { return _mm_max_ps(a, b); }
  static F MinF(F a, F b) { return _mm_min_ps(a, b); }
  static I Cvtt(F a) { return _mm_cvttps_epi32(a); }
  static F Cvt(I a) { return _mm_cvtepi32_ps(a); }
  static I CmpGtF(F a, F b) { return _mm_castps_si128(_mm_cmpgt_ps(a, b)); }

  // Two pairs of neighbouring words.
  static I LoadPairs(const uint32_t* mem, const uint32_t* a) {
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const I*>(mem + a[0])),
                              _mm_loadl_epi64(reinterpret_cast<const I*>(mem + a[1])));
  }
  static void StorePairs(uint32_t* mem, const uint32_t* a, I v) {
    _mm_storel_epi64(reinterpret_cast<I*>(mem + a[0]), v);
    _mm_storel_epi64(reinterpret_cast<I*>(mem + a[1]), _mm_srli_si128(v, 8));
  }
  static I Gather(const uint32_t* t, I idx) {
    alignas(16) int32_t i[4];
    _mm_store_si128(reinterpret_cast<I*>(i), idx);
    return _mm_set_epi32(int32_t(t[i[3]]), int32_t(t[i[2]]), int32_t(t[i[1]]), int32_t(t[i[0]]));
  }
  // Texels idx and idx + 1 of every lane, as two vectors.
  static void GatherPairs(const uint32_t* t, I idx, I* left, I* right) {
    alignas(16) int32_t i[4];
    _mm_store_si128(reinterpret_cast<I*>(i), idx);
    auto ld = [&](int k) { return _mm_loadl_epi64(reinterpret_cast<const I*>(t + i[k])); };
    I p01 = _mm_unpacklo_epi32(ld(0), ld(1)), p23 = _mm_unpacklo_epi32(ld(2), ld(3));
    *left = _mm_unpacklo_epi64(p01, p23);
    *right = _mm_unpackhi_epi64(p01, p23);
  }

  // Depth as 64-bit lanes: (z0, z1), (z2, z3).
  struct Z {
    I a, b, step;
  };
  static void ZInit(Z* z, uint64_t zg, uint64_t dz) {
    z->a = _mm_set_epi64x(int64_t(zg + dz), int64_t(zg));
    z->b = _mm_set_epi64x(int64_t(zg + 3 * dz), int64_t(zg + 2 * dz));
    z->step = _mm_set1_epi64x(int64_t(4 * dz));
  }
  // The lanes' depths (>> 16) as 32-bit lanes; advances four pixels.
  static I ZNext(Z* z) {
    I r = _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(_mm_srli_epi64(z->a, 16)),
                                          _mm_castsi128_ps(_mm_srli_epi64(z->b, 16)),
                                          _MM_SHUFFLE(2, 0, 2, 0)));
    z->a = _mm_add_epi64(z->a, z->step);
    z->b = _mm_add_epi64(z->b, z->step);
    return r;
  }
};

}  // namespace

#include "gsspan.h"

GsSpanFn GsSpanPickSse2(bool tex, bool gouraud, bool z, bool blend, bool fst, bool mip) {
  return Pick(tex, gouraud, z, blend, fst, mip);
}

#else

GsSpanFn GsSpanPickSse2(bool, bool, bool, bool, bool, bool) { return nullptr; }

#endif
