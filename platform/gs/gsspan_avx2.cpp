// The fast rasteriser's spans eight pixels at a time (AVX2). This file
// alone is compiled for AVX2; the fast path calls it only when the CPU
// says it has AVX2.
#include "gsfast_local.h"

#if defined(__AVX2__)
#include <immintrin.h>

namespace {

struct Vec {
  using I = __m256i;
  using F = __m256;
  static constexpr int N = 8;
  static constexpr int kAllMask = -1;
  static I Zero() { return _mm256_setzero_si256(); }
  static I Set1(int32_t v) { return _mm256_set1_epi32(v); }
  static I Set16(int16_t v) { return _mm256_set1_epi16(v); }
  static I Set64(int64_t v) { return _mm256_set1_epi64x(v); }
  static F Set1F(float v) { return _mm256_set1_ps(v); }
  static I Ramp() { return _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7); }
  static I RampTimes(uint32_t d) { return _mm256_mullo_epi32(Set1(int32_t(d)), Ramp()); }
  static I Load(const int32_t* p) { return _mm256_load_si256(reinterpret_cast<const I*>(p)); }
  static void Store(int32_t* p, I v) { _mm256_store_si256(reinterpret_cast<I*>(p), v); }
  static I CastF(F a) { return _mm256_castps_si256(a); }
  static I Add(I a, I b) { return _mm256_add_epi32(a, b); }
  static I Sub(I a, I b) { return _mm256_sub_epi32(a, b); }
  static I And(I a, I b) { return _mm256_and_si256(a, b); }
  static I Or(I a, I b) { return _mm256_or_si256(a, b); }
  static I AndNot(I a, I b) { return _mm256_andnot_si256(a, b); }
  static I Xor(I a, I b) { return _mm256_xor_si256(a, b); }
  static I CmpGt(I a, I b) { return _mm256_cmpgt_epi32(a, b); }
  static I CmpLt(I a, I b) { return _mm256_cmpgt_epi32(b, a); }
  static I CmpEq(I a, I b) { return _mm256_cmpeq_epi32(a, b); }
  template <int n> static I Srai(I a) { return _mm256_srai_epi32(a, n); }
  template <int n> static I Srli(I a) { return _mm256_srli_epi32(a, n); }
  static I SraN(I a, int n) { return _mm256_sra_epi32(a, _mm_cvtsi32_si128(n)); }
  static I SllN(I a, int n) { return _mm256_sll_epi32(a, _mm_cvtsi32_si128(n)); }
  static int Mask(I a) { return _mm256_movemask_epi8(a); }
  static I Add16(I a, I b) { return _mm256_add_epi16(a, b); }
  static I Sub16(I a, I b) { return _mm256_sub_epi16(a, b); }
  static I Mullo16(I a, I b) { return _mm256_mullo_epi16(a, b); }
  static I Mulhi16(I a, I b) { return _mm256_mulhi_epi16(a, b); }
  static I Min16(I a, I b) { return _mm256_min_epi16(a, b); }
  static I Max16(I a, I b) { return _mm256_max_epi16(a, b); }
  template <int n> static I Slli16(I a) { return _mm256_slli_epi16(a, n); }
  template <int n> static I Srli16(I a) { return _mm256_srli_epi16(a, n); }
  // Packs and unpacks work within each 128-bit half, as the pipeline expects.
  static I Packs32(I a, I b) { return _mm256_packs_epi32(a, b); }
  static I PackUs16(I a, I b) { return _mm256_packus_epi16(a, b); }
  static I UnpackLo8(I a, I b) { return _mm256_unpacklo_epi8(a, b); }
  static I UnpackHi8(I a, I b) { return _mm256_unpackhi_epi8(a, b); }
  static I UnpackLo16(I a, I b) { return _mm256_unpacklo_epi16(a, b); }
  static I UnpackHi16(I a, I b) { return _mm256_unpackhi_epi16(a, b); }
  static I UnpackLo32(I a, I b) { return _mm256_unpacklo_epi32(a, b); }
  static I UnpackHi32(I a, I b) { return _mm256_unpackhi_epi32(a, b); }
  static I ShiftBytes8(I a) { return _mm256_srli_si256(a, 8); }
  static I AlphaSpread(I a) {
    return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(a, 0xff), 0xff);
  }
  static F AddF(F a, F b) { return _mm256_add_ps(a, b); }
  static F MulF(F a, F b) { return _mm256_mul_ps(a, b); }
  static F DivF(F a, F b) { return _mm256_div_ps(a, b); }
  static F MaxF(F a, F b) { return _mm256_max_ps(a, b); }
  static F MinF(F a, F b) { return _mm256_min_ps(a, b); }
  static I Cvtt(F a) { return _mm256_cvttps_epi32(a); }
  static F Cvt(I a) { return _mm256_cvtepi32_ps(a); }
  static I CmpGtF(F a, F b) { return _mm256_castps_si256(_mm256_cmp_ps(a, b, _CMP_GT_OQ)); }

  // Four pairs of neighbouring words.
  static __m128i Pair2(const uint32_t* m, uint32_t a, uint32_t b) {
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(m + a)),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(m + b)));
  }
  static I LoadPairs(const uint32_t* mem, const uint32_t* a) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(Pair2(mem, a[0], a[1])),
                                   Pair2(mem, a[2], a[3]), 1);
  }
  static void StorePairs(uint32_t* mem, const uint32_t* a, I v) {
    __m128i lo = _mm256_castsi256_si128(v), hi = _mm256_extracti128_si256(v, 1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(mem + a[0]), lo);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(mem + a[1]), _mm_srli_si128(lo, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(mem + a[2]), hi);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(mem + a[3]), _mm_srli_si128(hi, 8));
  }
  static I Gather(const uint32_t* t, I idx) {
    return _mm256_i32gather_epi32(reinterpret_cast<const int*>(t), idx, 4);
  }
  // Texels idx and idx + 1 of every lane: four 64-bit gathers' halves.
  static void GatherPairs(const uint32_t* t, I idx, I* left, I* right) {
    const long long* base = reinterpret_cast<const long long*>(t);
    F a = _mm256_castsi256_ps(_mm256_i32gather_epi64(base, _mm256_castsi256_si128(idx), 4));
    F b = _mm256_castsi256_ps(_mm256_i32gather_epi64(base, _mm256_extracti128_si256(idx, 1), 4));
    *left = _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(a, b, 0x88)), 0xd8);
    *right = _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(a, b, 0xdd)), 0xd8);
  }

  // Depth as 64-bit lanes (z0, z1, z4, z5) and (z2, z3, z6, z7), so that
  // one in-lane shuffle puts them in order.
  struct Z {
    I a, b, step;
  };
  static void ZInit(Z* z, uint64_t zg, uint64_t dz) {
    auto at = [&](uint64_t k) { return int64_t(zg + k * dz); };
    z->a = _mm256_set_epi64x(at(5), at(4), at(1), at(0));
    z->b = _mm256_set_epi64x(at(7), at(6), at(3), at(2));
    z->step = _mm256_set1_epi64x(int64_t(8 * dz));
  }
  static I ZNext(Z* z) {
    I r = _mm256_castps_si256(_mm256_shuffle_ps(_mm256_castsi256_ps(_mm256_srli_epi64(z->a, 16)),
                                                _mm256_castsi256_ps(_mm256_srli_epi64(z->b, 16)),
                                                0x88));
    z->a = _mm256_add_epi64(z->a, z->step);
    z->b = _mm256_add_epi64(z->b, z->step);
    return r;
  }
};

}  // namespace

#include "gsspan.h"

GsSpanFn GsSpanPickAvx2(bool tex, bool gouraud, bool z, bool blend, bool fst, bool mip) {
  return Pick(tex, gouraud, z, blend, fst, mip);
}
bool GsSpanHaveAvx2() { return true; }

#else

GsSpanFn GsSpanPickAvx2(bool, bool, bool, bool, bool, bool) { return nullptr; }
bool GsSpanHaveAvx2() { return false; }

#endif
