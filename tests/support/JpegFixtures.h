// Test pictures and their JPEG encodings, made at test time with
// libjpeg-turbo (TurboJPEG for plain baseline files, the cjpeg tool for
// progressive files and anything given as extra cjpeg arguments).
//
//   Picture p = MakePhotoLikePicture(320, 240, 7);
//   JpegOptions o;  o.subsampling = Subsampling::S420;  o.quality = 85;
//   std::vector<uint8_t> file = EncodeJpeg(p, o);   // empty on failure
//   Picture back = DecodeJpegReference(file, 3);    // libjpeg-turbo's decode
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lvs_test {

// 8-bit samples, rows top to bottom without padding; channels 1 (grey) or 3
// (R, G, B interleaved).
struct Picture {
    int width = 0, height = 0, channels = 3;
    std::vector<uint8_t> pixels;
};

enum class Subsampling { S444, S422, S420, Grey };

struct JpegOptions {
    int quality = 90;
    Subsampling subsampling = Subsampling::S444;
    bool progressive = false;
    // More cjpeg arguments, e.g. "-restart 3B -optimize", "-arithmetic", or
    // "-sample 2x2" for grey; when given, cjpeg makes the file.
    std::string cjpegArguments;
};

// Smooth photographic-like content: gradients, soft blobs, some texture and a
// little noise; the same seed gives the same picture.
Picture MakePhotoLikePicture(int width, int height, unsigned seed, int channels = 3);

// With TurboJPEG when the options allow, else with cjpeg. Empty on failure.
std::vector<uint8_t> EncodeJpeg(const Picture& picture, const JpegOptions& options);
// cjpeg with free arguments, in a temporary directory; empty on failure.
std::vector<uint8_t> EncodeWithCjpeg(const Picture& picture, const std::string& arguments);

// libjpeg-turbo's own decode into 1 or 3 channels; empty picture on failure.
Picture DecodeJpegReference(const std::vector<uint8_t>& file, int channels);

// Peak signal-to-noise ratio in dB (99 for identical pictures) and the
// largest absolute sample difference of two pictures of the same layout.
double Psnr(const Picture& a, const Picture& b);
int LargestDifference(const Picture& a, const Picture& b);

}  // namespace lvs_test
