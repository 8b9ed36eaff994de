// The upsampling filter in 16-bit lanes: the positive and the negative part
// of each filter sum are held apart, so every sum is formed exactly and the
// bytes are those of the portable filter (jpeg_upsample.cpp).
#include "jpeg_upsample.h"

#if LVS_JPEG_AVX2
#include "jpeg_avx2.h"

namespace Jpeg {
namespace {

// CF of (positive - negative), both already weighted, positive with +64.
LVS_AVX2 inline __m128i Finish(__m256i positive, __m256i negative) {
  return PackBytes16(_mm256_srli_epi16(_mm256_subs_epu16(positive, negative), 7));
}

}  // namespace

LVS_AVX2 void WeighRowsAvx2(uint8_t* out, const uint8_t* const rows[4], const int32_t weights[4], int32_t count) {
  int32_t x = 0;
  for (; x + 16 <= count; x += 16) {
    __m256i positive = _mm256_set1_epi16(64), negative = _mm256_setzero_si256();
    for (int i = 0; i < 4; ++i) {
      if (weights[i] == 0) continue;
      __m256i s = Load16(rows[i] + x);
      if (weights[i] > 0)
        positive = _mm256_add_epi16(positive, Mul16(s, weights[i]));
      else
        negative = _mm256_add_epi16(negative, Mul16(s, -weights[i]));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), Finish(positive, negative));
  }
  const uint8_t* const rest[4] = {rows[0] + x, rows[1] + x, rows[2] + x, rows[3] + x};
  WeighRowsPortable(out + x, rest, weights, count - x);
}

// Pairs of rows meet their pair of weights in one multiply-add of bytes:
// 111p - 9q and 29r - 3s each fit a signed 16-bit lane without saturating
// (at most 28,305 and 7,395 in size). Their sum, plus 64 for rounding and
// 3,072 (24 x 128) so that it cannot go below zero, lies in 76 to 38,836:
// an unsigned lane holds it exactly, and 24 comes off again after the shift.
LVS_AVX2 void WeighInnerRowsAvx2(uint8_t* out, const uint8_t* p, const uint8_t* q, const uint8_t* r, const uint8_t* s,
                                 int32_t count) {
  const __m256i first = _mm256_set1_epi16(short((uint16_t(uint8_t(int8_t(-9))) << 8) | 111));
  const __m256i second = _mm256_set1_epi16(short((uint16_t(uint8_t(int8_t(-3))) << 8) | 29));
  const __m256i bias = _mm256_set1_epi16(64 + 3072);
  const __m256i lift = _mm256_set1_epi16(24);
  int32_t x = 0;
  for (; x + 32 <= count; x += 32) {
    const __m256i vp = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + x));
    const __m256i vq = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + x));
    const __m256i vr = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r + x));
    const __m256i vs = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x));
    __m256i halves[2];
    for (int h = 0; h < 2; ++h) {
      const __m256i pq = h ? _mm256_unpackhi_epi8(vp, vq) : _mm256_unpacklo_epi8(vp, vq);
      const __m256i rs = h ? _mm256_unpackhi_epi8(vr, vs) : _mm256_unpacklo_epi8(vr, vs);
      const __m256i sum =
          _mm256_add_epi16(_mm256_add_epi16(_mm256_maddubs_epi16(pq, first), _mm256_maddubs_epi16(rs, second)), bias);
      halves[h] = _mm256_subs_epu16(_mm256_srli_epi16(sum, 7), lift);
    }
    // The unpacks and the pack both work within 128-bit halves, so the
    // samples come back in order.
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_packus_epi16(halves[0], halves[1]));
  }
  WeighInnerRowsPortable(out + x, p + x, q + x, r + x, s + x, count - x);
}

// Sixteen output pairs a step of the part without edge terms; the edges and
// the pairs left over are the portable line's.
LVS_AVX2 void DoubleLineAvx2(const uint8_t* in, int32_t n, int32_t stored, uint8_t* out) {
  int32_t j = 1;
  for (; j + 15 <= n - 3; j += 16) {
    __m256i a = Load16(in + j - 1), b = Load16(in + j), c = Load16(in + j + 1), d = Load16(in + j + 2);
    __m256i bias = _mm256_set1_epi16(64);
    __m128i odd = Finish(_mm256_add_epi16(_mm256_add_epi16(Mul16(b, 111), Mul16(c, 29)), bias),
                         _mm256_add_epi16(Mul16(a, 9), Mul16(d, 3)));
    __m128i even = Finish(_mm256_add_epi16(_mm256_add_epi16(Mul16(b, 29), Mul16(c, 111)), bias),
                          _mm256_add_epi16(Mul16(a, 3), Mul16(d, 9)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * j + 1), _mm_unpacklo_epi8(odd, even));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * j + 17), _mm_unpackhi_epi8(odd, even));
  }
  DoubleLineFrom(in, n, stored, out, j);
}

}  // namespace Jpeg

#endif
