#include "JpegFeatures.h"

#include <cstdio>

#include "jpeg_decoder.h"

namespace lvs {
namespace {

const char kGeneric[] = "uses a JPEG feature that the plug-in's decoder does not support";

bool PowerOfTwo(int v) { return v == 1 || v == 2 || v == 4 || v == 8; }

std::string MarkerHex(int code) {
  char text[8];
  std::snprintf(text, sizeof text, "0xFF%02X", code);
  return text;
}

// The frame types other than baseline, by their marker code.
const char* OtherFrameType(int code) {
  switch (code) {
    case 0xC1:
      return "uses extended sequential coding (not baseline)";
    case 0xC2:
      return "is a progressive JPEG";
    case 0xC3:
      return "is a lossless JPEG";
    case 0xC5:
    case 0xC6:
    case 0xC7:
      return "is a hierarchical JPEG";
    case 0xC9:
      return "uses arithmetic coding";
    case 0xCA:
      return "is a progressive JPEG with arithmetic coding";
    case 0xCB:
      return "is a lossless JPEG with arithmetic coding";
    case 0xCD:
    case 0xCE:
    case 0xCF:
      return "is a hierarchical JPEG with arithmetic coding";
    default:
      return nullptr;
  }
}

std::string FrameProblem(const uint8_t* seg, size_t len, int* componentCount) {
  if (len < 6) return {};
  const int precision = seg[0];
  const int height = (seg[1] << 8) | seg[2];
  const int width = (seg[3] << 8) | seg[4];
  const int count = seg[5];
  *componentCount = count;
  if (precision != 8) return "uses " + std::to_string(precision) + "-bit samples (only 8-bit JPEG is supported)";
  if (height == 0) return "leaves its height to be defined after the picture data (DNL)";
  if (count == 4) return "has four colour components (CMYK or YCCK); save it as RGB";
  if (count != 1 && count != 3)
    return "has " + std::to_string(count) + " colour components; only grey or RGB is supported";
  for (int c = 0; c < count && 6 + 3 * c + 2 < int(len); ++c) {
    const int h = seg[6 + 3 * c + 1] >> 4, v = seg[6 + 3 * c + 1] & 15;
    if (!PowerOfTwo(h) || !PowerOfTwo(v))
      return "uses a sampling factor of " + std::to_string(PowerOfTwo(h) ? v : h) +
             " (only 1, 2, 4 and 8 are supported)";
  }
  const uint64_t pixels = uint64_t(width) * uint64_t(height);
  if (pixels > Jpeg::Decoder::MaxPixels)
    return "is " + std::to_string(width) + " by " + std::to_string(height) + ", larger than the decoder accepts";
  return {};
}

}  // namespace

std::string DescribeUnsupportedJpeg(const uint8_t* data, size_t size) {
  if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return kGeneric;
  int frameComponents = 0;
  size_t pos = 2;
  while (pos + 4 <= size) {
    if (data[pos] != 0xFF) return kGeneric;
    const int code = data[pos + 1];
    if (code == 0xFF) return "has fill bytes between its markers, which the decoder does not accept";
    if (code == 0xD8) return "holds a second start-of-image marker";
    if (code == 0xD9) return "ends before its picture data";
    if (code >= 0xD0 && code <= 0xD7) return "has a restart marker outside its picture data";
    if (code == 0xCC) return "uses arithmetic coding";
    if (code == 0xDC) return "defines its height after the picture data (DNL)";
    const size_t length = (size_t(data[pos + 2]) << 8) | data[pos + 3];
    if (length < 2 || pos + 2 + length > size) return kGeneric;
    const uint8_t* seg = data + pos + 4;
    const size_t segLength = length - 2;

    if (const char* other = OtherFrameType(code)) {
      if (segLength >= 1 && seg[0] != 8) return std::string(other) + " with " + std::to_string(seg[0]) + "-bit samples";
      return other;
    }
    switch (code) {
      case 0xC0: {
        std::string problem = FrameProblem(seg, segLength, &frameComponents);
        if (!problem.empty()) return problem;
        break;
      }
      case 0xC4:
        for (size_t at = 0; at + 17 <= segLength;) {
          const int tableClass = seg[at] >> 4, id = seg[at] & 15;
          if (tableClass > 1 || id > 1)
            return "uses Huffman table number " + std::to_string(id) + " (only 0 and 1 are supported)";
          size_t codes = 0;
          for (int i = 1; i <= 16; ++i) codes += seg[at + i];
          at += 17 + codes;
        }
        break;
      case 0xDB:
        for (size_t at = 0; at < segLength;) {
          if (seg[at] >> 4) return "uses 16-bit quantisation tables (only 8-bit tables are supported)";
          at += 65;
        }
        break;
      case 0xDA: {
        const int scanComponents = segLength ? seg[0] : 0;
        if (frameComponents && scanComponents != frameComponents)
          return "stores its colour components in separate scans (not one interleaved scan)";
        return kGeneric;
      }
      case 0xDD:
      case 0xFE:
        break;
      default:
        if (code >= 0xE0 && code <= 0xEF) break;
        return "uses the marker " + MarkerHex(code) + ", which the decoder does not support";
    }
    pos += 2 + length;
  }
  return kGeneric;
}

}  // namespace lvs
