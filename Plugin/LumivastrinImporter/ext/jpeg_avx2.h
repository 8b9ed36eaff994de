// What the AVX2 twins of the pixel passes share. Included only by them,
// inside their check for an x86 processor.
#pragma once

#include <immintrin.h>

#include <cstdint>

#define LVS_AVX2 __attribute__((target("avx2")))
// For the transform's helpers, which must melt into their caller: passed
// as arguments, eight vectors would go through memory.
#define LVS_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace Jpeg {

// Sixteen bytes widened to sixteen 16-bit lanes.
LVS_AVX2 inline __m256i Load16(const uint8_t* p) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

LVS_AVX2 inline __m256i Mul16(__m256i v, int k) { return _mm256_mullo_epi16(v, _mm256_set1_epi16(short(k))); }

// Sixteen 16-bit lanes clipped to bytes, in order (the pack works within
// 128-bit halves; the permute brings the halves' results together).
LVS_AVX2 inline __m128i PackBytes16(__m256i v) {
  return _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi16(v, v), 0x08));
}

}  // namespace Jpeg
