// The output rows: each component's row brought to the frame size
// (jpeg_upsample.h), then colour conversion, or the grey row as it is; into
// the picture, or handed to the caller's sink.
#include <cstddef>
#include <cstring>

#include "jpeg_decoder.h"
#include "jpeg_colour.h"

namespace Jpeg {
namespace {

inline uint8_t Clip(int32_t v) { return v < 0 ? 0 : v > 255 ? 255 : uint8_t(v); }

}  // namespace

void ConvertRow(const uint8_t* py, const uint8_t* pb, const uint8_t* pr, uint8_t* out, int32_t width, bool vector) {
  int32_t x = vector ? ConvertRowAvx2(py, pb, pr, out, width) : 0;
  for (; x < width; ++x) {
    int32_t y = py[x] * 256, b = pb[x] - 128, r = pr[x] - 128;
    out[3 * x + 0] = Clip((y + 359 * r + 128) >> 8);
    out[3 * x + 1] = Clip((y - 88 * b - 183 * r + 128) >> 8);
    out[3 * x + 2] = Clip((y + 454 * b + 128) >> 8);
  }
}

void ConvertRowArgb(const uint8_t* py, const uint8_t* pb, const uint8_t* pr, uint8_t* out, int32_t width, bool vector) {
  int32_t x = vector ? ConvertRowArgbAvx2(py, pb, pr, out, width) : 0;
  for (; x < width; ++x) {
    int32_t y = py[x] * 256, b = pb[x] - 128, r = pr[x] - 128;
    out[4 * x + 0] = 255;
    out[4 * x + 1] = Clip((y + 359 * r + 128) >> 8);
    out[4 * x + 2] = Clip((y - 88 * b - 183 * r + 128) >> 8);
    out[4 * x + 3] = Clip((y + 454 * b + 128) >> 8);
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
        ConvertRow(py, pb, pr, rgbImage + size_t(row) * size_t(width) * 3, width, vectorCode);
      } else if (uint8_t* argb = sink->ArgbRow(row)) {
        ConvertRowArgb(py, pb, pr, argb, width, vectorCode);
        sink->PutRow(row, argb, 4);
      } else {
        ConvertRow(py, pb, pr, rowBuffer, width, vectorCode);
        sink->PutRow(row, rowBuffer, 3);
      }
    }
  }
  if (endRow > rowsDone) rowsDone = endRow;
}

}  // namespace Jpeg
