// The vector transform: one 32-bit lane per row (row pass) or per column
// (column pass), so every lane performs exactly the portable arithmetic. The
// block is stored column by column, so the row pass loads its operands
// directly and only the step between the passes needs a transpose.
#include "jpeg_idct.h"
#include "jpeg_kernels.h"

#if LVS_JPEG_AVX2
#include "jpeg_avx2.h"

namespace Jpeg {
namespace {

LVS_AVX2_INLINE void Transpose(__m256i* v) {
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

LVS_AVX2_INLINE __m256i Mul(int k, __m256i v) { return _mm256_mullo_epi32(_mm256_set1_epi32(k), v); }
LVS_AVX2_INLINE __m256i Add(__m256i a, __m256i b) { return _mm256_add_epi32(a, b); }
LVS_AVX2_INLINE __m256i Sub(__m256i a, __m256i b) { return _mm256_sub_epi32(a, b); }
LVS_AVX2_INLINE __m256i K(int k) { return _mm256_set1_epi32(k); }

// The butterfly shared by both passes. Inputs x0..x7 as in the scalar code;
// `bias` is the rounding term added to the three odd products (0 for rows,
// 4 for columns) and `shift` the right shift applied to them (0 or 3).
template <int shift>
LVS_AVX2_INLINE void Butterfly(__m256i x0, __m256i x1, __m256i x2, __m256i x3, __m256i x4, __m256i x5, __m256i x6,
                               __m256i x7, __m256i bias, __m256i* o) {
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

LVS_AVX2_INLINE __m256i ZeroMask(__m256i x1, const __m256i* v) {
  __m256i any = _mm256_or_si256(_mm256_or_si256(x1, v[6]), _mm256_or_si256(v[2], v[1]));
  any = _mm256_or_si256(any, _mm256_or_si256(_mm256_or_si256(v[7], v[5]), v[3]));
  return _mm256_cmpeq_epi32(any, _mm256_setzero_si256());
}

// True when every lane lies strictly between -limit and limit.
LVS_AVX2_INLINE bool Within(__m256i v, int32_t limit) {
  const __m256i shifted = Add(v, K(limit - 1));  // 0 to 2 limit - 2 when within
  const __m256i top = K(2 * limit - 2);
  return _mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_max_epu32(shifted, top), top)) == -1;
}

}  // namespace

LVS_AVX2 void IdctBlockAvx2(int32_t* coefficients, uint8_t* out, int32_t stride) {
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

  // A lane whose seven values after the first are zero takes the
  // shortcut. Unless its first value is so large that the full formula
  // wraps around (from 2^20 here, 2^23 - 32 in the column pass), the full
  // formula gives the shortcut's result, and the shortcut need not be
  // looked for.
  __m256i x1 = _mm256_slli_epi32(v[4], 11);
  const bool rowsPlain = Within(v[0], 1 << 20);
  __m256i flat = rowsPlain ? _mm256_setzero_si256() : ZeroMask(x1, v);
  __m256i x0 = Add(_mm256_slli_epi32(v[0], 11), K(128));
  __m256i dc = _mm256_slli_epi32(v[0], 3);
  Butterfly<0>(x0, x1, v[6], v[2], v[1], v[7], v[5], v[3], _mm256_setzero_si256(), o);
  for (int j = 0; j < 8; ++j) o[j] = _mm256_srai_epi32(o[j], 8);
  if (!rowsPlain)
    for (int j = 0; j < 8; ++j) o[j] = _mm256_blendv_epi8(o[j], dc, flat);

  // Column pass: transposed, o[k] holds row k of every column.
  Transpose(o);
  x1 = _mm256_slli_epi32(o[4], 8);
  const bool columnsPlain = Within(o[0], (1 << 23) - 32);
  flat = columnsPlain ? _mm256_setzero_si256() : ZeroMask(x1, o);
  x0 = Add(_mm256_slli_epi32(o[0], 8), K(8192));
  dc = Add(_mm256_srai_epi32(Add(o[0], K(32)), 6), K(128));
  Butterfly<3>(x0, x1, o[6], o[2], o[1], o[7], o[5], o[3], K(4), v);
  for (int m = 0; m < 8; ++m) {
    __m256i s = Add(_mm256_srai_epi32(v[m], 14), K(128));
    if (!columnsPlain) s = _mm256_blendv_epi8(s, dc, flat);
    // Saturating packs clip to 0..255 exactly like the scalar clip.
    __m128i w = _mm_packs_epi32(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + m * stride), _mm_packus_epi16(w, w));
  }
}

}  // namespace Jpeg

#endif
