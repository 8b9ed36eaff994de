// Writing PNG files with libpng, whole or a row at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lvs {

struct PngPicture {
  int width = 0;
  int height = 0;
  int channels = 4;  // 1 grey, 3 RGB, 4 RGBA
  int bitDepth = 8;  // 8 or 16
  // Rows top to bottom without padding; 16-bit samples in native order.
  std::vector<uint8_t> samples8;
  std::vector<uint16_t> samples16;
};

// A PNG written row by row, so that a large picture never has to be whole
// in memory, to an OutputFile: a file appears under its name only once
// finished (Finish), and a device or FIFO is written and left as it is.
class PngWriter {
 public:
  PngWriter() = default;
  ~PngWriter();
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;

  // "-" writes to standard output.
  bool Start(const std::string& path, int width, int height, int channels, int bitDepth, std::string* error);
  // One row of width x channels samples (uint16_t in native order at depth 16).
  bool Row(const void* samples, std::string* error);
  // After the last row.
  bool Finish(std::string* error);

  struct State;  // libpng's structures and the output

 private:
  bool Failed(std::string* error);

  State* state_ = nullptr;
};

// False and *error when the file cannot be written; "-" writes to standard
// output.
bool WritePng(const std::string& path, const PngPicture& picture, std::string* error);

}  // namespace lvs
