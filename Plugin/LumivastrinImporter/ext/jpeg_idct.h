// Integer inverse DCT of one 8x8 block, in two interchangeable kernels that
// give the same bytes (jpeg_kernels.h): a portable one and an AVX2 one with
// 32-bit lanes.
//
// The arithmetic is signed 32-bit with two's-complement wrap-around, and a
// row or column whose seven values after the first are zero (after the
// wrap-around of its scaled fourth value) takes a shortcut whose result can
// differ from the full formula when that formula overflows; both versions
// take the shortcut lane by lane, so the output never depends on the version.
#pragma once

#include <cstdint>

#include "jpeg_clip.h"

namespace Jpeg {

// coefficients: 64 values stored column by column (index 8 x column + row),
// which lets the vector row pass load "coefficient j of every row" directly;
// 32-byte aligned.
// Both versions leave all 64 values zero, ready for the next block.
// out: top-left sample; stride: bytes between sample rows.
void IdctBlockPortable(int32_t* coefficients, uint8_t* out, int32_t stride);
void IdctBlockAvx2(int32_t* coefficients, uint8_t* out, int32_t stride);  // x86 only

// The sample of every row of a column whose values after the first are
// zero, from that first value (the row pass's output, wrapping as the
// passes do).
inline uint8_t FlatColumnSample(int32_t first) { return Clip((int32_t(uint32_t(first) + 32u) >> 6) + 128); }

// For a block whose only coefficient is its first: the one sample the whole
// block takes. Clears the coefficient.
inline uint8_t IdctDcOnly(int32_t* coefficients) {
  const int32_t row = int32_t(uint32_t(coefficients[0]) * 8u);  // the row pass's flat row
  coefficients[0] = 0;
  return FlatColumnSample(row);
}

// For a block whose rows 1 to 7 are all zero: the eight samples every row
// of the block receives (the block is eight copies of them). Clears the
// first row of the block.
void IdctFirstRowOnly(int32_t* coefficients, uint8_t line[8]);

}  // namespace Jpeg
