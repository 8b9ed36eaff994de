// Writing PNG files with libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lvs {

struct PngPicture {
  int width = 0;
  int height = 0;
  int channels = 4;   // 1 grey, 3 RGB, 4 RGBA
  int bitDepth = 8;   // 8 or 16
  // Rows top to bottom without padding; 16-bit samples in native order.
  std::vector<uint8_t> samples8;
  std::vector<uint16_t> samples16;
};

// False and *error when the file cannot be written.
bool WritePng(const std::string& path, const PngPicture& picture, std::string* error);

}  // namespace lvs
