// The EXIF orientation a JPEG file declares. The plug-in draws a preview's
// pixels as they are stored and never reads this tag, while every photo
// viewer turns the picture by it: a preview tagged other than 1 looks
// upright to its author and turned in the host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace lvs {

// The orientation (1 to 8) in the first EXIF segment before the picture
// data; none when there is no such segment or tag, or it holds another
// value. Never reads past `size`.
std::optional<int> ExifOrientation(const uint8_t* jpeg, size_t size);

}  // namespace lvs
