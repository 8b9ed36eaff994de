// The output rows: each component's row brought to the frame size
// (jpeg_upsample.h), then colour conversion, or the grey row as it is; into
// the picture, or handed to the caller's sink.
#include <cstddef>
#include <cstring>

#include "jpeg_clip.h"
#include "jpeg_colour.h"
#include "jpeg_decoder.h"

namespace Jpeg {

namespace {

// R, G and B of one pixel into rgb[0..2].
inline void Pixel(uint8_t luma, uint8_t blue, uint8_t red, uint8_t* rgb) {
  const int32_t y = luma * 256, b = blue - 128, r = red - 128;
  rgb[0] = Clip((y + 359 * r + 128) >> 8);
  rgb[1] = Clip((y - 88 * b - 183 * r + 128) >> 8);
  rgb[2] = Clip((y + 454 * b + 128) >> 8);
}

}  // namespace

void ConvertRowPortable(const uint8_t* py, const uint8_t* pb, const uint8_t* pr, uint8_t* out, int32_t width) {
  for (int32_t x = 0; x < width; ++x) Pixel(py[x], pb[x], pr[x], out + 3 * x);
}

void ConvertRowArgbPortable(const uint8_t* py, const uint8_t* pb, const uint8_t* pr, uint8_t* out, int32_t width) {
  for (int32_t x = 0; x < width; ++x) {
    out[4 * x] = 255;
    Pixel(py[x], pb[x], pr[x], out + 4 * x + 1);
  }
}

void Decoder::_Convert(int32_t endRow) {
  if (endRow > height) endRow = height;
  if (componentCount == 1) {
    // A one-component frame is always sampled 1 x 1 (see _DecodeSOF), so
    // its rows already have the frame size. Decoded whole, the plane
    // loses its padding row by row; each row moves down to where no row
    // still to be read lies.
    Component& c = components[0];
    for (int32_t row = rowsDone; row < endRow; ++row) {
      const uint8_t* p = upsampled[0].Row(row);
      if (sink)
        sink->PutRow(row, p, 1);
      else if (row > 0 && c.width != c.stride)
        std::memmove(c.pixels + size_t(row) * size_t(c.width), p, size_t(c.width));
    }
  } else if (componentCount == 3) {
    for (int32_t row = rowsDone; row < endRow; ++row) {
      const uint8_t* py = upsampled[0].Row(row);
      const uint8_t* pb = upsampled[1].Row(row);
      const uint8_t* pr = upsampled[2].Row(row);
      if (!sink) {
        kernels.convertRow(py, pb, pr, rgbImage + size_t(row) * size_t(width) * 3, width);
      } else if (uint8_t* argb = sink->ArgbRow(row)) {
        kernels.convertRowArgb(py, pb, pr, argb, width);
        sink->PutRow(row, argb, 4);
      } else {
        kernels.convertRow(py, pb, pr, rowBuffer, width);
        sink->PutRow(row, rowBuffer, 3);
      }
    }
  }
  if (endRow > rowsDone) rowsDone = endRow;
}

}  // namespace Jpeg
