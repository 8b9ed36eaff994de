// The pixel formats of worlds. Each code holds its four characters in memory
// order, the first in the least significant byte ("argb", "ae16", "ae32",
// "badf"): not the value of a four-character literal.
#pragma once

#include "A.h"

typedef A_long PF_PixelFormat;
enum {
  PF_PixelFormat_ARGB32 = 0x62677261,   // PF_Pixel, 8-bit samples 0..255
  PF_PixelFormat_ARGB64 = 0x36316561,   // PF_Pixel16, 16-bit samples 0..32768
  PF_PixelFormat_ARGB128 = 0x32336561,  // PF_PixelFloat, float samples 0.0..1.0
  PF_PixelFormat_INVALID = 0x66646162,
};
