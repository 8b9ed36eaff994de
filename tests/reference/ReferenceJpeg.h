// A second, deliberately plain baseline JPEG decoder, used only to check the
// plug-in's decoder byte for byte: byte-at-a-time bit reader, full code
// tables, scalar transform. It applies the plug-in's own refusals too (width
// or height 0, the pixel bound, segment lengths below 2) and decodes
// one-component frames one block per MCU. Speed is no concern.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lvs_reference {

// The decoder's result codes, with the same numeric values.
enum RefCode : int {
    RefSuccess = 0,
    RefNoStartOfImage = 1,
    RefUnsupportedFeature = 2,
    RefAllocationFailed = 3,
    RefMalformedData = 5,
};

struct RefResult {
    int result = RefSuccess;
    int width = 0, height = 0, components = 0;
    std::vector<uint8_t> image;  // width x height x components bytes, only after RefSuccess
};

RefResult ReferenceDecode(const uint8_t* data, size_t size);

}  // namespace lvs_reference
