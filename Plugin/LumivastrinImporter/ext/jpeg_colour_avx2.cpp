// The colour conversion in 32-bit lanes: each lane holds exactly the
// portable sum (jpeg_colour.cpp), so the bytes are the same.
#include "jpeg_colour.h"

#if defined(__x86_64__) || defined(__i386__)
#include "jpeg_avx2.h"

namespace Jpeg {

#define AVX2 LVS_AVX2

namespace {

// Sixteen pixels of one channel: the sums of two 16-bit products per 32-bit
// lane (madd) are exact, so each lane holds exactly the scalar sum. The
// unpacks and the saturating pack both work within 128-bit halves, so the
// pack puts the pixels back in order.
AVX2 inline __m128i Channel16(__m256i lo, __m256i hi) {
    __m256i k128 = _mm256_set1_epi32(128);
    lo = _mm256_srai_epi32(_mm256_add_epi32(lo, k128), 8);
    hi = _mm256_srai_epi32(_mm256_add_epi32(hi, k128), 8);
    __m256i words = _mm256_packs_epi32(lo, hi);
    __m256i bytes = _mm256_packus_epi16(words, words);
    return _mm256_castsi256_si128(_mm256_permute4x64_epi64(bytes, 0x08));
}

AVX2 inline __m256i Pair(int a, int b) {
    return _mm256_set1_epi32(int32_t(uint32_t(uint16_t(int16_t(a))) | (uint32_t(uint16_t(int16_t(b))) << 16)));
}

// R, G and B of sixteen pixels.
AVX2 inline void Channels(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, __m128i* r, __m128i* g,
                          __m128i* b) {
    const __m256i k128 = _mm256_set1_epi16(128);
    const __m256i yr = Pair(256, 359), yg = Pair(256, -183), bg = Pair(0, -88), yb = Pair(256, 454);
    __m256i yy = Load16(y);
    __m256i bb = _mm256_sub_epi16(Load16(cb), k128);
    __m256i rr = _mm256_sub_epi16(Load16(cr), k128);
    // (Y, Cr) and (Y, Cb) pairs, pixels 0-3 and 8-11 in lo, 4-7 and 12-15 in hi.
    __m256i ycrLo = _mm256_unpacklo_epi16(yy, rr), ycrHi = _mm256_unpackhi_epi16(yy, rr);
    __m256i ycbLo = _mm256_unpacklo_epi16(yy, bb), ycbHi = _mm256_unpackhi_epi16(yy, bb);
    *r = Channel16(_mm256_madd_epi16(ycrLo, yr), _mm256_madd_epi16(ycrHi, yr));
    *g = Channel16(_mm256_add_epi32(_mm256_madd_epi16(ycrLo, yg), _mm256_madd_epi16(ycbLo, bg)),
                   _mm256_add_epi32(_mm256_madd_epi16(ycrHi, yg), _mm256_madd_epi16(ycbHi, bg)));
    *b = Channel16(_mm256_madd_epi16(ycbLo, yb), _mm256_madd_epi16(ycbHi, yb));
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
        __m128i r, g, b;
        Channels(y + x, cb + x, cr + x, &r, &g, &b);
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

// Opaque A, R, G, B: alpha and red, green and blue paired bytewise, then
// the pairs paired into pixels.
AVX2 int32_t ConvertRowArgbAvx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* argb,
                                int32_t count) {
    const __m128i alpha = _mm_set1_epi8(char(0xFF));
    int32_t x = 0;
    for (; x + 16 <= count; x += 16) {
        __m128i r, g, b;
        Channels(y + x, cb + x, cr + x, &r, &g, &b);
        const __m128i arLo = _mm_unpacklo_epi8(alpha, r), arHi = _mm_unpackhi_epi8(alpha, r);
        const __m128i gbLo = _mm_unpacklo_epi8(g, b), gbHi = _mm_unpackhi_epi8(g, b);
        __m128i* out = reinterpret_cast<__m128i*>(argb + 4 * x);
        _mm_storeu_si128(out + 0, _mm_unpacklo_epi16(arLo, gbLo));
        _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(arLo, gbLo));
        _mm_storeu_si128(out + 2, _mm_unpacklo_epi16(arHi, gbHi));
        _mm_storeu_si128(out + 3, _mm_unpackhi_epi16(arHi, gbHi));
    }
    return x;
}

}  // namespace Jpeg

#else

namespace Jpeg {
int32_t ConvertRowAvx2(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, int32_t) { return 0; }
int32_t ConvertRowArgbAvx2(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, int32_t) { return 0; }
}  // namespace Jpeg

#endif
