// What the AVX2 twins of the pixel passes share. Included only by them,
// inside their check for an x86 processor.
#pragma once

#include <immintrin.h>

#include <cstdint>

#define LVS_AVX2 __attribute__((target("avx2")))

namespace Jpeg {

// Sixteen bytes widened to sixteen 16-bit lanes.
LVS_AVX2 inline __m256i Load16(const uint8_t* p) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

}  // namespace Jpeg
