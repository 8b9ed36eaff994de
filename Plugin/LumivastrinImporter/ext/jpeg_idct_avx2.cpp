// The vector transform: one 32-bit lane per row (row pass) or per column
// (column pass), so every lane performs exactly the portable arithmetic. The
// block is stored column by column, so the row pass loads its operands
// directly and only the step between the passes needs a transpose.
#include "jpeg_idct.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define LVS_JPEG_AVX2 1
#endif

namespace Jpeg {

#ifdef LVS_JPEG_AVX2

bool HasAvx2() { return __builtin_cpu_supports("avx2"); }

namespace {

#define AVX2_FN __attribute__((target("avx2"), always_inline)) static inline

AVX2_FN void Transpose(__m256i* v) {
    __m256i t0 = _mm256_unpacklo_epi32(v[0], v[1]), t1 = _mm256_unpackhi_epi32(v[0], v[1]);
    __m256i t2 = _mm256_unpacklo_epi32(v[2], v[3]), t3 = _mm256_unpackhi_epi32(v[2], v[3]);
    __m256i t4 = _mm256_unpacklo_epi32(v[4], v[5]), t5 = _mm256_unpackhi_epi32(v[4], v[5]);
    __m256i t6 = _mm256_unpacklo_epi32(v[6], v[7]), t7 = _mm256_unpackhi_epi32(v[6], v[7]);
    __m256i u0 = _mm256_unpacklo_epi64(t0, t2), u1 = _mm256_unpackhi_epi64(t0, t2);
    __m256i u2 = _mm256_unpacklo_epi64(t1, t3), u3 = _mm256_unpackhi_epi64(t1, t3);
    __m256i u4 = _mm256_unpacklo_epi64(t4, t6), u5 = _mm256_unpackhi_epi64(t4, t6);
    __m256i u6 = _mm256_unpacklo_epi64(t5, t7), u7 = _mm256_unpackhi_epi64(t5, t7);
    v[0] = _mm256_permute2x128_si256(u0, u4, 0x20);
    v[1] = _mm256_permute2x128_si256(u1, u5, 0x20);
    v[2] = _mm256_permute2x128_si256(u2, u6, 0x20);
    v[3] = _mm256_permute2x128_si256(u3, u7, 0x20);
    v[4] = _mm256_permute2x128_si256(u0, u4, 0x31);
    v[5] = _mm256_permute2x128_si256(u1, u5, 0x31);
    v[6] = _mm256_permute2x128_si256(u2, u6, 0x31);
    v[7] = _mm256_permute2x128_si256(u3, u7, 0x31);
}

AVX2_FN __m256i Mul(int k, __m256i v) { return _mm256_mullo_epi32(_mm256_set1_epi32(k), v); }
AVX2_FN __m256i Add(__m256i a, __m256i b) { return _mm256_add_epi32(a, b); }
AVX2_FN __m256i Sub(__m256i a, __m256i b) { return _mm256_sub_epi32(a, b); }
AVX2_FN __m256i K(int k) { return _mm256_set1_epi32(k); }

// The butterfly shared by both passes. Inputs x0..x7 as in the scalar code;
// `bias` is the rounding term added to the three odd products (0 for rows,
// 4 for columns) and `shift` the right shift applied to them (0 or 3).
template <int shift>
AVX2_FN void Butterfly(__m256i x0, __m256i x1, __m256i x2, __m256i x3, __m256i x4,
                       __m256i x5, __m256i x6, __m256i x7, __m256i bias, __m256i* o) {
    __m256i x8 = Add(Mul(565, Add(x4, x5)), bias);
    x4 = Add(x8, Mul(2276, x4));
    x5 = Sub(x8, Mul(3406, x5));
    x8 = Add(Mul(2408, Add(x6, x7)), bias);
    x6 = Sub(x8, Mul(799, x6));
    x7 = Sub(x8, Mul(4017, x7));
    if (shift) {
        x4 = _mm256_srai_epi32(x4, shift);
        x5 = _mm256_srai_epi32(x5, shift);
        x6 = _mm256_srai_epi32(x6, shift);
        x7 = _mm256_srai_epi32(x7, shift);
    }
    x8 = Add(x0, x1);
    x0 = Sub(x0, x1);
    x1 = Add(Mul(1108, Add(x3, x2)), bias);
    x2 = Sub(x1, Mul(3784, x2));
    x3 = Add(x1, Mul(1568, x3));
    if (shift) {
        x2 = _mm256_srai_epi32(x2, shift);
        x3 = _mm256_srai_epi32(x3, shift);
    }
    x1 = Add(x4, x6);
    x4 = Sub(x4, x6);
    x6 = Add(x5, x7);
    x5 = Sub(x5, x7);
    x7 = Add(x8, x3);
    x8 = Sub(x8, x3);
    x3 = Add(x0, x2);
    x0 = Sub(x0, x2);
    x2 = _mm256_srai_epi32(Add(Mul(181, Add(x4, x5)), K(128)), 8);
    x4 = _mm256_srai_epi32(Add(Mul(181, Sub(x4, x5)), K(128)), 8);
    o[0] = Add(x7, x1);
    o[1] = Add(x3, x2);
    o[2] = Add(x0, x4);
    o[3] = Add(x8, x6);
    o[4] = Sub(x8, x6);
    o[5] = Sub(x0, x4);
    o[6] = Sub(x3, x2);
    o[7] = Sub(x7, x1);
}

AVX2_FN __m256i ZeroMask(__m256i x1, const __m256i* v) {
    __m256i any = _mm256_or_si256(_mm256_or_si256(x1, v[6]), _mm256_or_si256(v[2], v[1]));
    any = _mm256_or_si256(any, _mm256_or_si256(_mm256_or_si256(v[7], v[5]), v[3]));
    return _mm256_cmpeq_epi32(any, _mm256_setzero_si256());
}


// The products of the butterfly by 16-bit multiply-adds, where the six
// values that are multiplied fit 16 bits: each pair of terms (2841 x4 +
// 565 x5, and so on) is one exact sum of two products in a 32-bit lane, and
// sums and products modulo 2^32 do not depend on how they are grouped, so
// every lane ends as the 32-bit arithmetic above ends.
AVX2_FN bool Fit16(const __m256i* v) {
    const __m256i hi = _mm256_max_epi32(_mm256_max_epi32(_mm256_max_epi32(v[1], v[2]), _mm256_max_epi32(v[3], v[5])),
                                        _mm256_max_epi32(v[6], v[7]));
    const __m256i lo = _mm256_min_epi32(_mm256_min_epi32(_mm256_min_epi32(v[1], v[2]), _mm256_min_epi32(v[3], v[5])),
                                        _mm256_min_epi32(v[6], v[7]));
    const __m256i out = _mm256_or_si256(_mm256_cmpgt_epi32(hi, K(32767)), _mm256_cmpgt_epi32(K(-32768), lo));
    return _mm256_testz_si256(out, out);
}

// Lane i of a and of b as the 16-bit pair (a_i, b_i), rows in order: the
// pack works within 128-bit halves, and so does the byte shuffle.
AVX2_FN __m256i Pairs(__m256i a, __m256i b) {
    const __m256i order = _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15,
                                           0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
    return _mm256_shuffle_epi8(_mm256_packs_epi32(a, b), order);
}

AVX2_FN __m256i Madd(__m256i pairs, int wa, int wb) {
    return _mm256_madd_epi16(pairs, _mm256_set1_epi32(int32_t((uint32_t(uint16_t(wb)) << 16) | uint16_t(wa))));
}

template <int shift>
AVX2_FN void Butterfly16(__m256i x0, __m256i x1, const __m256i* v, __m256i bias, __m256i* o) {
    const __m256i p17 = Pairs(v[1], v[7]), p53 = Pairs(v[5], v[3]), p26 = Pairs(v[2], v[6]);
    __m256i x4 = Add(Madd(p17, 2841, 565), bias);
    __m256i x5 = Add(Madd(p17, 565, -2841), bias);
    __m256i x6 = Add(Madd(p53, 1609, 2408), bias);
    __m256i x7 = Add(Madd(p53, 2408, -1609), bias);
    __m256i x2 = Add(Madd(p26, 1108, -2676), bias);
    __m256i x3 = Add(Madd(p26, 2676, 1108), bias);
    if (shift) {
        x4 = _mm256_srai_epi32(x4, shift);
        x5 = _mm256_srai_epi32(x5, shift);
        x6 = _mm256_srai_epi32(x6, shift);
        x7 = _mm256_srai_epi32(x7, shift);
        x2 = _mm256_srai_epi32(x2, shift);
        x3 = _mm256_srai_epi32(x3, shift);
    }
    __m256i x8 = Add(x0, x1);
    x0 = Sub(x0, x1);
    x1 = Add(x4, x6);
    x4 = Sub(x4, x6);
    x6 = Add(x5, x7);
    x5 = Sub(x5, x7);
    x7 = Add(x8, x3);
    x8 = Sub(x8, x3);
    x3 = Add(x0, x2);
    x0 = Sub(x0, x2);
    x2 = _mm256_srai_epi32(Add(Mul(181, Add(x4, x5)), K(128)), 8);
    x4 = _mm256_srai_epi32(Add(Mul(181, Sub(x4, x5)), K(128)), 8);
    o[0] = Add(x7, x1);
    o[1] = Add(x3, x2);
    o[2] = Add(x0, x4);
    o[3] = Add(x8, x6);
    o[4] = Sub(x8, x6);
    o[5] = Sub(x0, x4);
    o[6] = Sub(x3, x2);
    o[7] = Sub(x7, x1);
}

}  // namespace

__attribute__((target("avx2"))) void IdctBlockAvx2(int32_t* coefficients, uint8_t* out,
                                                   int32_t stride) {
    // v[j] holds coefficient j of every row.
    // Aligned loads, and the clearing spelled out store by store: otherwise
    // compilers split the loads in halves or turn the clearing into a
    // string instruction, either of which costs more than the transform.
    __m256i v[8], o[8];
    __m256i* block = reinterpret_cast<__m256i*>(coefficients);
    const __m256i zero = _mm256_setzero_si256();
    v[0] = _mm256_load_si256(block + 0), v[1] = _mm256_load_si256(block + 1);
    v[2] = _mm256_load_si256(block + 2), v[3] = _mm256_load_si256(block + 3);
    v[4] = _mm256_load_si256(block + 4), v[5] = _mm256_load_si256(block + 5);
    v[6] = _mm256_load_si256(block + 6), v[7] = _mm256_load_si256(block + 7);
    _mm256_store_si256(block + 0, zero), _mm256_store_si256(block + 1, zero);
    _mm256_store_si256(block + 2, zero), _mm256_store_si256(block + 3, zero);
    _mm256_store_si256(block + 4, zero), _mm256_store_si256(block + 5, zero);
    _mm256_store_si256(block + 6, zero), _mm256_store_si256(block + 7, zero);

    __m256i x1 = _mm256_slli_epi32(v[4], 11);
    __m256i flat = ZeroMask(x1, v);
    __m256i x0 = Add(_mm256_slli_epi32(v[0], 11), K(128));
    if (Fit16(v))
        Butterfly16<0>(x0, x1, v, _mm256_setzero_si256(), o);
    else
        Butterfly<0>(x0, x1, v[6], v[2], v[1], v[7], v[5], v[3], _mm256_setzero_si256(), o);
    __m256i dc = _mm256_slli_epi32(v[0], 3);
    for (int j = 0; j < 8; ++j)
        o[j] = _mm256_blendv_epi8(_mm256_srai_epi32(o[j], 8), dc, flat);

    // Column pass: transposed, o[k] holds row k of every column.
    Transpose(o);
    x1 = _mm256_slli_epi32(o[4], 8);
    flat = ZeroMask(x1, o);
    x0 = Add(_mm256_slli_epi32(o[0], 8), K(8192));
    if (Fit16(o))
        Butterfly16<3>(x0, x1, o, K(4), v);
    else
        Butterfly<3>(x0, x1, o[6], o[2], o[1], o[7], o[5], o[3], K(4), v);
    dc = Add(_mm256_srai_epi32(Add(o[0], K(32)), 6), K(128));
    for (int m = 0; m < 8; ++m) {
        __m256i s = _mm256_blendv_epi8(Add(_mm256_srai_epi32(v[m], 14), K(128)), dc, flat);
        // Saturating packs clip to 0..255 exactly like the scalar clip.
        __m128i w = _mm_packs_epi32(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + m * stride), _mm_packus_epi16(w, w));
    }
}

#else

bool HasAvx2() { return false; }
void IdctBlockAvx2(int32_t* coefficients, uint8_t* out, int32_t stride) {
    IdctBlockPortable(coefficients, out, stride);
}

#endif

}  // namespace Jpeg
