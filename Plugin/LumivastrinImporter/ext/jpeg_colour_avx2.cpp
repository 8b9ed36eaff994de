// The colour conversion in 16-bit lanes, sixteen pixels a step, giving the
// bytes of the portable conversion (jpeg_colour.cpp).
#include "jpeg_colour.h"
#include "jpeg_kernels.h"

#if LVS_JPEG_AVX2
#include "jpeg_avx2.h"

namespace Jpeg {
namespace {

// Each formula splits off a whole multiple of 256 from its weights, which
// leaves the floor of the division exact and the rest small enough for a
// 16-bit lane: (256 y + 359 cr + 128) >> 8 is y + cr + ((103 cr + 128) >> 8),
// (256 y - 88 cb - 183 cr + 128) >> 8 is y - cr + ((73 cr - 88 cb + 128) >> 8),
// (256 y + 454 cb + 128) >> 8 is y + cb + ((198 cb + 128) >> 8). The
// saturating pack clips as the portable conversion clips.
// R, G and B of sixteen pixels.
LVS_AVX2 inline void Channels(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, __m128i* r, __m128i* g,
                              __m128i* b) {
  const __m256i k128 = _mm256_set1_epi16(128);
  const __m256i yy = Load16(y);
  const __m256i bb = _mm256_sub_epi16(Load16(cb), k128);
  const __m256i rr = _mm256_sub_epi16(Load16(cr), k128);
  const __m256i red = _mm256_srai_epi16(_mm256_add_epi16(Mul16(rr, 103), k128), 8);
  const __m256i green = _mm256_srai_epi16(_mm256_add_epi16(_mm256_add_epi16(Mul16(rr, 73), Mul16(bb, -88)), k128), 8);
  const __m256i blue = _mm256_srai_epi16(_mm256_add_epi16(Mul16(bb, 198), k128), 8);
  *r = PackBytes16(_mm256_add_epi16(_mm256_add_epi16(yy, rr), red));
  *g = PackBytes16(_mm256_add_epi16(_mm256_sub_epi16(yy, rr), green));
  *b = PackBytes16(_mm256_add_epi16(_mm256_add_epi16(yy, bb), blue));
}

// Shuffles for interleaving: byte k of the three output vectors holds
// channel k % 3 of pixel k / 3; 0x80 leaves a byte for another channel.
struct Interleave {
  alignas(16) uint8_t m[3][3][16];
  constexpr Interleave() : m() {
    for (int part = 0; part < 3; ++part)
      for (int ch = 0; ch < 3; ++ch)
        for (int i = 0; i < 16; ++i) {
          const int pos = 16 * part + i;
          m[part][ch][i] = pos % 3 == ch ? uint8_t(pos / 3) : 0x80;
        }
  }
};
constexpr Interleave masks;

}  // namespace

LVS_AVX2 void ConvertRowAvx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* rgb, int32_t width) {
  int32_t x = 0;
  for (; x + 16 <= width; x += 16) {
    __m128i r, g, b;
    Channels(y + x, cb + x, cr + x, &r, &g, &b);
    for (int part = 0; part < 3; ++part) {
      auto m = [&](int ch) { return _mm_load_si128(reinterpret_cast<const __m128i*>(masks.m[part][ch])); };
      __m128i v =
          _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(r, m(0)), _mm_shuffle_epi8(g, m(1))), _mm_shuffle_epi8(b, m(2)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb + 3 * x + 16 * part), v);
    }
  }
  ConvertRowPortable(y + x, cb + x, cr + x, rgb + 3 * x, width - x);
}

// Opaque A, R, G, B: alpha and red, green and blue paired bytewise, then
// the pairs paired into pixels.
LVS_AVX2 void ConvertRowArgbAvx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* argb, int32_t width) {
  const __m128i alpha = _mm_set1_epi8(char(0xFF));
  int32_t x = 0;
  for (; x + 16 <= width; x += 16) {
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
  ConvertRowArgbPortable(y + x, cb + x, cr + x, argb + 4 * x, width - x);
}

}  // namespace Jpeg

#endif
