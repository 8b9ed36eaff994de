// The pixel kernels a decoder runs, chosen once when it is made: the portable
// ones, or the AVX2 ones where the processor has them. The processor is asked
// for each decoder; nothing is kept from one to the next. Both sets give the
// same bytes, and every AVX2 kernel hands the end of its row that its vector
// steps do not cover to the portable kernel, so the portable code is the one
// statement of each formula.
#pragma once

#include <cstdint>

// The AVX2 kernels exist only where the compiler can target them.
#if defined(__x86_64__) || defined(__i386__)
#define LVS_JPEG_AVX2 1
#else
#define LVS_JPEG_AVX2 0
#endif

namespace Jpeg {

struct Kernels {
  // The inverse transform of one 8x8 block (jpeg_idct.h).
  void (*idct)(int32_t* coefficients, uint8_t* out, int32_t stride);
  // Y, Cb, Cr to interleaved R, G, B, and to opaque A, R, G, B (jpeg_colour.h).
  void (*convertRow)(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* rgb, int32_t width);
  void (*convertRowArgb)(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* argb, int32_t width);
  // The upsampling filter (jpeg_upsample.h): a line doubled, and a row
  // weighed from rows of the pass below, at the edges and inside.
  void (*doubleLine)(const uint8_t* in, int32_t n, int32_t stored, uint8_t* out);
  void (*weighRows)(uint8_t* out, const uint8_t* const rows[4], const int32_t weights[4], int32_t count);
  void (*weighInnerRows)(uint8_t* out, const uint8_t* p, const uint8_t* q, const uint8_t* r, const uint8_t* s,
                         int32_t count);
};

// True when the processor can run the AVX2 kernels.
bool HasAvx2();

Kernels PortableKernels();
// The AVX2 kernels when `allowVector` and the processor has them, else the
// portable ones.
Kernels ChooseKernels(bool allowVector);

}  // namespace Jpeg
