// The upsampling filter in 16-bit lanes: the positive and the negative part
// of each filter sum are held apart, so every sum is formed exactly and the
// bytes are those of the portable filter (jpeg_upsample.cpp).
#include "jpeg_upsample.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace Jpeg {

#define AVX2 __attribute__((target("avx2")))

namespace {

AVX2 inline __m256i Load16(const uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// CF of (positive - negative), both already weighted, positive with +64.
AVX2 inline __m128i Finish(__m256i positive, __m256i negative) {
    __m256i v = _mm256_srli_epi16(_mm256_subs_epu16(positive, negative), 7);
    __m256i packed = _mm256_packus_epi16(v, v);
    return _mm256_castsi256_si128(_mm256_permute4x64_epi64(packed, 0x08));
}

AVX2 inline __m256i Mul16(__m256i v, int k) { return _mm256_mullo_epi16(v, _mm256_set1_epi16(short(k))); }

}  // namespace

AVX2 int32_t FilterRowsAvx2(uint8_t* out, const uint8_t* const rows[4], const int32_t weights[4],
                            int32_t count) {
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
    return x;
}

AVX2 int32_t UpsampleLineInteriorAvx2(const uint8_t* in, int32_t n, uint8_t* out) {
    int32_t j = 1;
    for (; j + 15 <= n - 3; j += 16) {
        __m256i a = Load16(in + j - 1), b = Load16(in + j), c = Load16(in + j + 1),
                d = Load16(in + j + 2);
        __m256i bias = _mm256_set1_epi16(64);
        __m128i odd = Finish(_mm256_add_epi16(_mm256_add_epi16(Mul16(b, 111), Mul16(c, 29)), bias),
                             _mm256_add_epi16(Mul16(a, 9), Mul16(d, 3)));
        __m128i even = Finish(_mm256_add_epi16(_mm256_add_epi16(Mul16(b, 29), Mul16(c, 111)), bias),
                              _mm256_add_epi16(Mul16(a, 3), Mul16(d, 9)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * j + 1), _mm_unpacklo_epi8(odd, even));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * j + 17), _mm_unpackhi_epi8(odd, even));
    }
    return j;
}
}  // namespace Jpeg

#else

namespace Jpeg {
int32_t FilterRowsAvx2(uint8_t*, const uint8_t* const*, const int32_t*, int32_t) { return 0; }
int32_t UpsampleLineInteriorAvx2(const uint8_t*, int32_t, uint8_t*) { return 1; }
}  // namespace Jpeg

#endif
