#include "jpeg_idct.h"

#include <cstring>

#include "jpeg_clip.h"

namespace Jpeg {
namespace {

// Products and sums in uint32_t wrap around like the two's-complement
// arithmetic the output is defined by, without signed overflow.
inline int32_t Sar(uint32_t v, int bits) { return int32_t(v) >> bits; }

// One row: in[0], in[8], ..., in[56] (the row's coefficients in the
// column-by-column block) to r[0..7].
void RowIdct(const int32_t* in, int32_t* r) {
  uint32_t x1 = uint32_t(in[32]) << 11, x2 = uint32_t(in[48]), x3 = uint32_t(in[16]);
  uint32_t x4 = uint32_t(in[8]), x5 = uint32_t(in[56]), x6 = uint32_t(in[40]);
  uint32_t x7 = uint32_t(in[24]);
  if ((x1 | x2 | x3 | x4 | x5 | x6 | x7) == 0) {
    int32_t v = int32_t(uint32_t(in[0]) * 8u);
    for (int i = 0; i < 8; ++i) r[i] = v;
    return;
  }
  uint32_t x0 = (uint32_t(in[0]) << 11) + 128u;
  uint32_t x8 = 565u * (x4 + x5);
  x4 = x8 + 2276u * x4;
  x5 = x8 - 3406u * x5;
  x8 = 2408u * (x6 + x7);
  x6 = x8 - 799u * x6;
  x7 = x8 - 4017u * x7;
  x8 = x0 + x1;
  x0 -= x1;
  x1 = 1108u * (x3 + x2);
  x2 = x1 - 3784u * x2;
  x3 = x1 + 1568u * x3;
  x1 = x4 + x6;
  x4 -= x6;
  x6 = x5 + x7;
  x5 -= x7;
  x7 = x8 + x3;
  x8 -= x3;
  x3 = x0 + x2;
  x0 -= x2;
  x2 = uint32_t(Sar(181u * (x4 + x5) + 128u, 8));
  x4 = uint32_t(Sar(181u * (x4 - x5) + 128u, 8));
  r[0] = Sar(x7 + x1, 8);
  r[1] = Sar(x3 + x2, 8);
  r[2] = Sar(x0 + x4, 8);
  r[3] = Sar(x8 + x6, 8);
  r[4] = Sar(x8 - x6, 8);
  r[5] = Sar(x0 - x4, 8);
  r[6] = Sar(x3 - x2, 8);
  r[7] = Sar(x7 - x1, 8);
}

void ColIdct(const int32_t* c, uint8_t* out, int32_t stride) {
  uint32_t x1 = uint32_t(c[32]) << 8, x2 = uint32_t(c[48]), x3 = uint32_t(c[16]);
  uint32_t x4 = uint32_t(c[8]), x5 = uint32_t(c[56]), x6 = uint32_t(c[40]);
  uint32_t x7 = uint32_t(c[24]);
  if ((x1 | x2 | x3 | x4 | x5 | x6 | x7) == 0) {
    const uint8_t v = FlatColumnSample(c[0]);
    for (int i = 0; i < 8; ++i) out[i * stride] = v;
    return;
  }
  uint32_t x0 = (uint32_t(c[0]) << 8) + 8192u;
  uint32_t x8 = 565u * (x4 + x5) + 4u;
  x4 = uint32_t(Sar(x8 + 2276u * x4, 3));
  x5 = uint32_t(Sar(x8 - 3406u * x5, 3));
  x8 = 2408u * (x6 + x7) + 4u;
  x6 = uint32_t(Sar(x8 - 799u * x6, 3));
  x7 = uint32_t(Sar(x8 - 4017u * x7, 3));
  x8 = x0 + x1;
  x0 -= x1;
  x1 = 1108u * (x3 + x2) + 4u;
  x2 = uint32_t(Sar(x1 - 3784u * x2, 3));
  x3 = uint32_t(Sar(x1 + 1568u * x3, 3));
  x1 = x4 + x6;
  x4 -= x6;
  x6 = x5 + x7;
  x5 -= x7;
  x7 = x8 + x3;
  x8 -= x3;
  x3 = x0 + x2;
  x0 -= x2;
  x2 = uint32_t(Sar(181u * (x4 + x5) + 128u, 8));
  x4 = uint32_t(Sar(181u * (x4 - x5) + 128u, 8));
  out[0 * stride] = Clip(Sar(x7 + x1, 14) + 128);
  out[1 * stride] = Clip(Sar(x3 + x2, 14) + 128);
  out[2 * stride] = Clip(Sar(x0 + x4, 14) + 128);
  out[3 * stride] = Clip(Sar(x8 + x6, 14) + 128);
  out[4 * stride] = Clip(Sar(x8 - x6, 14) + 128);
  out[5 * stride] = Clip(Sar(x0 - x4, 14) + 128);
  out[6 * stride] = Clip(Sar(x3 - x2, 14) + 128);
  out[7 * stride] = Clip(Sar(x7 - x1, 14) + 128);
}

}  // namespace

void IdctFirstRowOnly(int32_t* coefficients, uint8_t line[8]) {
  int32_t r[8];
  RowIdct(coefficients, r);
  for (int col = 0; col < 8; ++col) {
    line[col] = FlatColumnSample(r[col]);
    coefficients[8 * col] = 0;
  }
}

void IdctBlockPortable(int32_t* coefficients, uint8_t* out, int32_t stride) {
  int32_t rows[64];
  for (int row = 0; row < 8; ++row) RowIdct(coefficients + row, rows + 8 * row);
  for (int col = 0; col < 8; ++col) ColIdct(rows + col, out + col, stride);
  std::memset(coefficients, 0, 64 * sizeof *coefficients);
}

}  // namespace Jpeg
