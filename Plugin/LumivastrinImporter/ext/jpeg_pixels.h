// AVX2 kernels for the pixel passes after the transform: the upsampling
// filter and the colour conversion. Each handles a prefix of its row (a
// multiple of 16 items) and returns how many it did; the portable code
// finishes the rest and is the only path on other processors. Both give the
// same bytes: every sum is formed exactly (16-bit lanes hold the positive
// and the negative part of a filter sum apart, 32-bit lanes the colour sums).
#pragma once

#include <cstdint>

namespace Jpeg {

// out[x] = CF(sum of weights[i] * rows[i][x]) for x below the returned count;
// weights: at most 139 in total on the positive side and 12 on the negative.
int32_t FilterRowsAvx2(uint8_t* out, const uint8_t* const rows[4], const int32_t weights[4],
                       int32_t count);

// Doubles a line of n samples for outputs 3 to 2n - 4 (the part of the
// filter without edge terms); returns the number j_end such that output
// pairs for j from 1 to j_end - 1 were written.
int32_t UpsampleLineInteriorAvx2(const uint8_t* in, int32_t n, uint8_t* out);

// Y, Cb, Cr to interleaved R, G, B for the returned number of pixels.
int32_t ConvertRowAvx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* rgb,
                       int32_t count);

}  // namespace Jpeg
