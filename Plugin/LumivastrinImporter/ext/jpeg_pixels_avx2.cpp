#include "jpeg_pixels.h"

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

namespace {

AVX2 inline __m256i Load8(const uint8_t* p) {
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}

AVX2 inline __m256i Mul32(__m256i v, int k) { return _mm256_mullo_epi32(v, _mm256_set1_epi32(k)); }

// Eight pixels in 32-bit lanes.
AVX2 inline void Convert8(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, __m256i* r,
                          __m256i* g, __m256i* b) {
    __m256i k128 = _mm256_set1_epi32(128);
    __m256i yy = _mm256_add_epi32(_mm256_slli_epi32(Load8(y), 8), k128);
    __m256i bb = _mm256_sub_epi32(Load8(cb), k128), rr = _mm256_sub_epi32(Load8(cr), k128);
    *r = _mm256_srai_epi32(_mm256_add_epi32(yy, Mul32(rr, 359)), 8);
    *g = _mm256_srai_epi32(_mm256_sub_epi32(yy, _mm256_add_epi32(Mul32(bb, 88), Mul32(rr, 183))), 8);
    *b = _mm256_srai_epi32(_mm256_add_epi32(yy, Mul32(bb, 454)), 8);
}

// Sixteen 32-bit values (two vectors) to sixteen clipped bytes in order.
AVX2 inline __m128i Bytes16(__m256i lo, __m256i hi) {
    __m256i w = _mm256_permute4x64_epi64(_mm256_packs_epi32(lo, hi), 0xD8);
    __m256i p = _mm256_packus_epi16(w, w);
    return _mm256_castsi256_si128(_mm256_permute4x64_epi64(p, 0x08));
}

}  // namespace

AVX2 int32_t ConvertRowAvx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* rgb,
                            int32_t count) {
    // Byte k of the three output vectors holds channel k % 3 of pixel k / 3.
    alignas(16) static const struct Masks {
        uint8_t m[3][3][16];
        Masks() {
            for (int part = 0; part < 3; ++part)
                for (int ch = 0; ch < 3; ++ch)
                    for (int i = 0; i < 16; ++i) {
                        int pos = 16 * part + i;
                        m[part][ch][i] = pos % 3 == ch ? uint8_t(pos / 3) : 0x80;
                    }
        }
    } masks;
    int32_t x = 0;
    for (; x + 16 <= count; x += 16) {
        __m256i r0, g0, b0, r1, g1, b1;
        Convert8(y + x, cb + x, cr + x, &r0, &g0, &b0);
        Convert8(y + x + 8, cb + x + 8, cr + x + 8, &r1, &g1, &b1);
        __m128i r = Bytes16(r0, r1), g = Bytes16(g0, g1), b = Bytes16(b0, b1);
        for (int part = 0; part < 3; ++part) {
            auto m = [&](int ch) {
                return _mm_load_si128(reinterpret_cast<const __m128i*>(masks.m[part][ch]));
            };
            __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(r, m(0)), _mm_shuffle_epi8(g, m(1))),
                                     _mm_shuffle_epi8(b, m(2)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb + 3 * x + 16 * part), v);
        }
    }
    return x;
}

}  // namespace Jpeg

#else

namespace Jpeg {
int32_t FilterRowsAvx2(uint8_t*, const uint8_t* const*, const int32_t*, int32_t) { return 0; }
int32_t UpsampleLineInteriorAvx2(const uint8_t*, int32_t, uint8_t*) { return 1; }
int32_t ConvertRowAvx2(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, int32_t) {
    return 0;
}
}  // namespace Jpeg

#endif
