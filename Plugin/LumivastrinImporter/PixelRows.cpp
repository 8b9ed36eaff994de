#include "PixelRows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "SampleConvert.h"

namespace {

// The drawing world is always 8-bit, so its two widening conversions are
// the ones every drawn frame pays for. Sixteen samples per step, to exactly
// the values of Convert; each returns the samples done, the caller's loop
// takes the rest. Other pairs are left to the compiler.
template <class SourceSample, class TargetSample>
std::ptrdiff_t ConvertRowWide(const SourceSample*, TargetSample*, std::ptrdiff_t) {
  return 0;
}

#if defined(__SSE2__)
// (v * 32768 + 128) / 255 is 128v + 128(v + 1) / 255, and for the 16-bit
// numerator y = 128(v + 1), y / 255 is (y * 0x8081) >> 23 exactly: all in
// 16-bit lanes. Kept out of line: inlined into the row loop, the frame
// benchmark's 16-bit cells drew about 1% slower.
__attribute__((noinline)) std::ptrdiff_t ConvertRowWide(const uint8_t* from, uint16_t* to, std::ptrdiff_t samples) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = _mm_set1_epi16(1);
  const __m128i reciprocal = _mm_set1_epi16(static_cast<short>(0x8081));
  std::ptrdiff_t k = 0;
  for (; k + 16 <= samples; k += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k));
    const __m128i halves[2] = {_mm_unpacklo_epi8(bytes, zero), _mm_unpackhi_epi8(bytes, zero)};
    for (int h = 0; h < 2; ++h) {
      const __m128i y = _mm_slli_epi16(_mm_add_epi16(halves[h], one), 7);
      const __m128i fraction = _mm_srli_epi16(_mm_mulhi_epu16(y, reciprocal), 7);
      const __m128i result = _mm_add_epi16(_mm_slli_epi16(halves[h], 7), fraction);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + k + 8 * h), result);
    }
  }
  return k;
}
#endif

#if defined(__x86_64__) || defined(__i386__)
// The division dominates here, so it takes eight lanes where the processor
// has them; the packed division rounds like the scalar one, so the floats
// are the same. Without AVX2 the compiler's own vectorised loop does it.
__attribute__((target("avx2"))) std::ptrdiff_t ConvertRowAvx2(const uint8_t* from, float* to, std::ptrdiff_t samples) {
  const __m256 divisor = _mm256_set1_ps(255.0f);
  std::ptrdiff_t k = 0;
  for (; k + 16 <= samples; k += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k));
    const __m256 low = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(bytes));
    const __m256 high = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_srli_si128(bytes, 8)));
    _mm256_storeu_ps(to + k, _mm256_div_ps(low, divisor));
    _mm256_storeu_ps(to + k + 8, _mm256_div_ps(high, divisor));
  }
  return k;
}

// Asked on every row, as the decoder asks per picture: the answer is one
// load, and nothing is kept between callbacks.
std::ptrdiff_t ConvertRowWide(const uint8_t* from, float* to, std::ptrdiff_t samples) {
  return __builtin_cpu_supports("avx2") ? ConvertRowAvx2(from, to, samples) : 0;
}
#endif

}  // namespace

bool IsHandledFormat(PF_PixelFormat format) {
  return format == PF_PixelFormat_ARGB32 || format == PF_PixelFormat_ARGB64 || format == PF_PixelFormat_ARGB128;
}

// The wide steps where there are some, the rest one by one, to the same
// values.
template <class SourceSample, class TargetSample>
void ConvertRow(const SourceSample* __restrict from, TargetSample* __restrict to, std::ptrdiff_t samples) {
  for (std::ptrdiff_t k = ConvertRowWide(from, to, samples); k < samples; ++k) {
    to[k] = Convert<TargetSample, SourceSample>(from[k]);
  }
}

template void ConvertRow<uint8_t, uint16_t>(const uint8_t*, uint16_t*, std::ptrdiff_t);
template void ConvertRow<uint8_t, float>(const uint8_t*, float*, std::ptrdiff_t);
template void ConvertRow<uint16_t, uint8_t>(const uint16_t*, uint8_t*, std::ptrdiff_t);
template void ConvertRow<uint16_t, float>(const uint16_t*, float*, std::ptrdiff_t);
template void ConvertRow<float, uint8_t>(const float*, uint8_t*, std::ptrdiff_t);
template void ConvertRow<float, uint16_t>(const float*, uint16_t*, std::ptrdiff_t);
