// Colour conversion of one row: Y, Cb, Cr to interleaved R, G, B, or to
// opaque A, R, G, B (alpha 255). Two kernels of each (jpeg_kernels.h) that
// give the same bytes.
#pragma once

#include <cstdint>

namespace Jpeg {

void ConvertRowPortable(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* rgb, int32_t width);
void ConvertRowArgbPortable(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* argb, int32_t width);

// x86 only: sixteen pixels a step, the rest of the row by the portable ones.
void ConvertRowAvx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* rgb, int32_t width);
void ConvertRowArgbAvx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* argb, int32_t width);

}  // namespace Jpeg
