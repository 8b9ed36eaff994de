// Test pictures, their JPEG encodings by libjpeg-turbo's cjpeg tool, and libjpeg-turbo's own decode.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lvs_test {

// 8-bit samples, rows top to bottom without padding; 1 (grey) or 3 (RGB) channels.
struct Picture {
  int width = 0, height = 0, channels = 3;
  std::vector<uint8_t> pixels;
};

enum class Subsampling { S444, S422, S420, Grey };

struct JpegOptions {
  int quality = 90;
  Subsampling subsampling = Subsampling::S444;
  bool progressive = false;
};

// Gradients, a soft blob, texture and a little noise; the same seed gives the same picture.
Picture MakePhotoLikePicture(int width, int height, unsigned seed, int channels = 3);

std::vector<uint8_t> EncodeJpeg(const Picture& picture, const JpegOptions& options);  // both empty on failure
std::vector<uint8_t> EncodeWithCjpeg(const Picture& picture, const std::string& arguments);
Picture DecodeJpegReference(const std::vector<uint8_t>& file, int channels);  // libjpeg-turbo's decode

}  // namespace lvs_test
