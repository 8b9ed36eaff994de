// The clip to 0..255 that ends every pass of the portable code; the vector
// code's saturating packs clip exactly so.
#pragma once

#include <cstdint>

namespace Jpeg {

inline uint8_t Clip(int32_t v) { return v < 0 ? 0 : v > 255 ? 255 : uint8_t(v); }

}  // namespace Jpeg
