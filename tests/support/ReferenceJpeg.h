// A second, deliberately plain baseline JPEG decoder, used only to check the
// plug-in's decoder byte for byte. It applies the plug-in's own refusals too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lvs_reference {

struct RefResult {
  int result = 0;  // the decoder's result codes, with the same numeric values
  int width = 0, height = 0, components = 0;
  std::vector<uint8_t> image;  // width x height x components bytes, only after success
};

RefResult ReferenceDecode(const uint8_t* data, size_t size);

}  // namespace lvs_reference
