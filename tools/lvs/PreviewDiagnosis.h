// Whether the draw shows a package's preview, known the way the draw knows
// it: the preview entry's bytes (as the plug-in's reader gives them)
// decoded by the plug-in's decoder exactly as the draw decodes them (only a
// picture of the footage size, a row at a time, each row as it lands in an
// 8-bit world). A preview that decodes to the footage size is shown,
// whatever its pixels; one that does not is refused for the cause the
// decoder names, worded here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Problems.h"
#include "jpeg_decoder.h"

namespace lvs {

// An 8-bit frame of the footage size as a draw left it: rows of A, R, G, B.
struct DrawnFrame {
  const uint8_t* data;
  std::ptrdiff_t rowBytes;
};

struct PreviewLook {
  std::vector<Problem> problems;  // none: the preview decodes to the footage size, and the draw shows it
  // A frame was given, the preview decoded, and its every row is the row
  // the draw left there.
  bool matchesDrawn = false;
  // What does not stop the draw showing the preview but will surprise its
  // author (an EXIF orientation the plug-in does not follow).
  std::vector<Problem> warnings;
};

// A preview's bytes.
PreviewLook LookAtPreviewBytes(const std::vector<uint8_t>& bytes, const DrawnFrame* drawn = nullptr);

// What stopped a decoder, in words that complete "The picture ...": "is a
// progressive JPEG", "ends before its scan does (after 12 whole MCUs)".
std::string CausePhrase(const Jpeg::Decoder& decoder);

}  // namespace lvs
