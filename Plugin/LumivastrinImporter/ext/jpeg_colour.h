// Colour conversion of one row: Y, Cb, Cr to interleaved R, G, B.
#pragma once

#include <cstdint>

namespace Jpeg {

// The portable conversion, finishing after the vector one when `vector`.
void ConvertRow(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* rgb, int32_t width, bool vector);

// The same conversion written as opaque A, R, G, B (alpha 255).
void ConvertRowArgb(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* argb, int32_t width, bool vector);

// The AVX2 conversions of a prefix of the row (a multiple of 16 pixels);
// returns the pixels done. Gives the same bytes as the portable one.
int32_t ConvertRowAvx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* rgb, int32_t count);
int32_t ConvertRowArgbAvx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* argb, int32_t count);

}  // namespace Jpeg
