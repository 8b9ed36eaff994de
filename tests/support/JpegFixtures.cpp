#include "JpegFixtures.h"

#include <turbojpeg.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "TestPlatform.h"

namespace lvs_test {

Picture MakePhotoLikePicture(int width, int height, unsigned seed, int channels) {
  Picture p{width, height, channels, std::vector<uint8_t>(size_t(width) * height * channels)};
  uint32_t state = seed * 2654435761u + 12345u;
  auto noise = [&state]() {
    state = state * 1664525u + 1013904223u;
    return int((state >> 24) % 7) - 3;
  };
  const double phase = seed * 0.7;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double u = double(x) / width, v = double(y) / height;
      double blob = std::exp(-((u - 0.6) * (u - 0.6) + (v - 0.4) * (v - 0.4)) * 12.0);
      double texture = std::sin(x * 0.21 + phase) * std::cos(y * 0.17 - phase);
      double base[3] = {60 + 150 * u + 40 * blob + 10 * texture,
                        40 + 120 * v + 70 * blob * std::sin(phase + u * 3) + 8 * texture,
                        200 - 140 * u * v + 30 * std::cos(v * 5 + phase) - 12 * texture};
      for (int c = 0; c < channels; ++c) {
        int s = int(std::lround(channels == 1 ? (base[0] + base[1] + base[2]) / 3 : base[c])) + noise();
        p.pixels[(size_t(y) * width + x) * channels + c] = uint8_t(s < 0 ? 0 : s > 255 ? 255 : s);
      }
    }
  }
  return p;
}

std::vector<uint8_t> EncodeWithCjpeg(const Picture& picture, const std::string& arguments) {
  namespace fs = std::filesystem;
  static std::atomic<unsigned> serial{0};
  const fs::path dir =
      fs::temp_directory_path() / ("lvs_jpeg_" + std::to_string(ProcessId()) + "_" + std::to_string(serial++));
  std::error_code error;
  fs::create_directories(dir, error);
  if (error) return {};
  const std::string in = (dir / "in.pnm").string(), out = (dir / "out.jpg").string();
  {
    std::ofstream f(in, std::ios::binary);
    f << (picture.channels == 1 ? "P5\n" : "P6\n") << picture.width << ' ' << picture.height << "\n255\n";
    f.write(reinterpret_cast<const char*>(picture.pixels.data()), std::streamsize(picture.pixels.size()));
  }
  std::vector<std::string> command = {LVS_CJPEG};
  std::istringstream words(arguments);
  for (std::string word; words >> word;) command.push_back(word);
  command.insert(command.end(), {"-outfile", out, in});
  std::vector<uint8_t> bytes;
  if (RunProgram(command) == 0) {
    std::ifstream f(out, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  fs::remove_all(dir, error);
  return bytes;
}

std::vector<uint8_t> EncodeJpeg(const Picture& picture, const JpegOptions& options) {
  static const char* const sampling[] = {"-sample 1x1", "-sample 2x1", "-sample 2x2", "-grayscale"};
  return EncodeWithCjpeg(picture, "-quality " + std::to_string(options.quality) + " " +
                                      sampling[int(options.subsampling)] +
                                      (options.progressive ? " -progressive" : ""));
}

Picture DecodeJpegReference(const std::vector<uint8_t>& file, int channels) {
  Picture p;
  tjhandle handle = tjInitDecompress();
  unsigned char* data = const_cast<unsigned char*>(file.data());
  int subsampling = 0, colourspace = 0;
  if (handle && tjDecompressHeader3(handle, data, file.size(), &p.width, &p.height, &subsampling, &colourspace) == 0) {
    p.channels = channels;
    p.pixels.resize(size_t(p.width) * p.height * channels);
    if (tjDecompress2(handle, data, file.size(), p.pixels.data(), p.width, 0, p.height,
                      channels == 1 ? TJPF_GRAY : TJPF_RGB, 0) != 0)
      p = Picture();
  }
  if (handle) tjDestroy(handle);
  return p;
}

}  // namespace lvs_test
