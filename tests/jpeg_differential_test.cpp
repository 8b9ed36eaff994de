// The plug-in's decoder against a plain reference decoder (result code, size,
// every byte, both code paths, nothing leaked) and close to libjpeg-turbo.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include "jpeg_test_util.h"
#include "ReferenceJpeg.h"
#include "JpegFixtures.h"

using namespace lvs_test;
using Jpeg::Decoder;

namespace {

// The rows as a sink receives them, each once and in order; one that takes
// colour rows as opaque A, R, G, B keeps R, G, B of them and checks alpha.
struct CollectedRows final : Jpeg::RowSink {
  explicit CollectedRows(int32_t w, bool argb) : width(w), wantsArgb(argb), argbRow(size_t(w) * 4) {}
  uint8_t* ArgbRow(int32_t) override { return wantsArgb ? argbRow.data() : nullptr; }
  void PutRow(int32_t row, const uint8_t* pixels, int32_t components) override {
    inOrder = inOrder && row == next++;
    if (components != 4) {
      image.insert(image.end(), pixels, pixels + size_t(width) * size_t(components));
      return;
    }
    for (int32_t x = 0; x < width; ++x) {
      opaque = opaque && pixels[4 * x] == 255;
      image.insert(image.end(), pixels + 4 * x + 1, pixels + 4 * x + 4);
    }
  }
  const int32_t width;
  const bool wantsArgb;
  std::vector<uint8_t> argbRow, image;
  int32_t next = 0;
  bool inOrder = true, opaque = true;
};

// Every way of driving the decoder, whole and in rows, with the file whole
// or in windows (of just what the decoder asks for, or of a few bytes more),
// on both code paths. Counts the inputs the reference decodes, to show a
// family reached the paths it is meant for.
testing::AssertionResult Agree(const std::vector<uint8_t>& file, int* succeeded = nullptr) {
  const lvs_reference::RefResult ref = lvs_reference::ReferenceDecode(file.data(), file.size());
  if (succeeded) *succeeded += ref.result == Decoder::Success;
  for (bool vector : {false, true}) {
    const Decoder::KernelChoice kernels = vector ? Decoder::KernelChoice::Best : Decoder::KernelChoice::Portable;
    std::unique_ptr<Decoder> d = Decode(file, -1, kernels);
    const bool same = d->GetResult() == ref.result && d->GetWidth() == ref.width && d->GetHeight() == ref.height &&
                      (ref.image.empty() || std::memcmp(d->GetImage(), ref.image.data(), ref.image.size()) == 0);
    d.reset();
    if (!same || MemoryLog::live != 0) return testing::AssertionFailure() << (vector ? "vector" : "portable");
    if (ref.result != Decoder::Success) continue;
    for (bool argb : {false, true}) {
      CollectedRows rows(ref.width, argb);
      MemoryLog::live = 0;
      {
        const Decoder strips(file.data(), file.size(), MemoryLog::Allocate, MemoryLog::Release, ref.width, ref.height,
                             rows, kernels);
        if (strips.GetResult() != ref.result || strips.GetImage() != nullptr || !rows.inOrder || !rows.opaque ||
            rows.next != ref.height || rows.image != ref.image)
          return testing::AssertionFailure() << (vector ? "vector" : "portable") << (argb ? " argb" : "") << " rows";
      }
      if (MemoryLog::live != 0) return testing::AssertionFailure() << "rows leaked";
    }
    for (size_t extra : {0, 5}) {
      WindowSource source(file, extra);
      CollectedRows rows(std::max(ref.width, 1), true);
      MemoryLog::live = 0;
      {
        const Decoder windowed(source, MemoryLog::Allocate, MemoryLog::Release, -1, -1, rows, kernels);
        if (windowed.GetResult() != ref.result ||
            (ref.result == Decoder::Success && (windowed.GetWidth() != ref.width || rows.image != ref.image)))
          return testing::AssertionFailure()
                 << (vector ? "vector" : "portable") << " in windows of " << extra << " more";
      }
      if (MemoryLog::live != 0) return testing::AssertionFailure() << "windows leaked";
    }
  }
  return testing::AssertionSuccess();
}

// Transform rounding and the chroma filter differ (measured 50-54 dB); a wrong
// constant or swapped chroma shared with the reference decoder falls below 30.
TEST(JpegDifferential, CloseToLibjpegTurbo) {
  const std::vector<uint8_t> file = EncodeJpeg(MakePhotoLikePicture(1280, 720, 11), {90, Subsampling::S420, false});
  const Picture theirs = DecodeJpegReference(file, 3);
  auto d = Decode(file);
  ASSERT_EQ(d->GetWidth() * d->GetHeight() * 3, int(theirs.pixels.size()));
  double sum = 0;
  for (size_t i = 0; i < theirs.pixels.size(); ++i) sum += std::pow(d->GetImage()[i] - theirs.pixels[i], 2);
  EXPECT_GE(10 * std::log10(255.0 * 255.0 * double(theirs.pixels.size()) / sum), 46);
}

TEST(JpegDifferential, RealEncodingsOfEverySamplingSizeQualityAndRestart) {
  const char* samplings[] = {"-sample 1x1", "-sample 2x1",         "-sample 2x2", "-sample 1x2",
                             "-sample 4x1", "-sample 1x1,2x2,2x2", "-grayscale",  "-grayscale -sample 2x2"};
  const char* extras[] = {"", "-restart 1B", "-optimize", "-restart 3B -optimize", "-restart 7B"};
  const std::pair<int, int> sizes[] = {{1, 1}, {7, 1}, {5, 5}, {15, 17}, {33, 31}, {1, 90}, {2000, 9}, {161, 123}};
  const int qualities[] = {1, 10, 50, 75, 90, 95, 100};
  int n = 0, succeeded = 0;
  for (const char* sampling : samplings) {
    for (auto size : sizes) {
      const std::string arguments =
          "-quality " + std::to_string(qualities[n % 7]) + " " + sampling + " " + extras[n % 5];
      std::vector<uint8_t> file =
          EncodeWithCjpeg(MakePhotoLikePicture(size.first, size.second, unsigned(n++)), arguments);
      ASSERT_FALSE(file.empty()) << arguments;
      EXPECT_TRUE(Agree(file, &succeeded)) << arguments << ", " << size.first << "x" << size.second;
    }
  }
  EXPECT_GT(succeeded, n / 2);  // only frames too small to upsample are refused
}

// Segments as long as a segment can be (a window must hold each whole), a
// comment among the tables, restart markers and bytes after the end.
TEST(JpegDifferential, LongSegmentsAndRestartsInWindows) {
  const std::vector<uint8_t> photo =
      EncodeWithCjpeg(MakePhotoLikePicture(320, 200, 5), "-quality 92 -sample 2x2 -restart 2B");
  ASSERT_FALSE(photo.empty());
  std::vector<uint8_t> file(photo.begin(), photo.begin() + 2);
  std::mt19937 random(7);
  for (int length : {65535, 2, 65535, 40000}) {
    file.insert(file.end(), {0xFF, uint8_t(length == 40000 ? 0xFE : 0xE5), uint8_t(length >> 8), uint8_t(length)});
    for (int i = 2; i < length; ++i) file.push_back(uint8_t(random()));
  }
  file.insert(file.end(), photo.begin() + 2, photo.end());
  file.insert(file.end(), 3000, 0xAB);
  int succeeded = 0;
  EXPECT_TRUE(Agree(file, &succeeded));
  EXPECT_EQ(succeeded, 1);
}

// Every truncation; then random edits, half of them in the entropy-coded data.
TEST(JpegDifferential, TruncationsAndRandomMutations) {
  std::mt19937 random(2024);
  auto below = [&random](int n) { return int(random() % unsigned(n)); };
  const std::vector<std::vector<uint8_t>> files = {
      EncodeWithCjpeg(MakePhotoLikePicture(24, 16, 1), "-quality 80 -sample 2x2"),
      EncodeWithCjpeg(MakePhotoLikePicture(21, 13, 3, 1), "-grayscale"),
      EncodeWithCjpeg(MakePhotoLikePicture(32, 24, 4), "-quality 85 -restart 1B -sample 2x1")};
  int succeeded = 0;
  for (const auto& file : files) {
    ASSERT_FALSE(file.empty());
    for (size_t cut = 0; cut <= file.size(); ++cut)
      ASSERT_TRUE(Agree(std::vector<uint8_t>(file.begin(), file.begin() + long(cut)), &succeeded));
  }
  EXPECT_GE(succeeded, 3);  // cut inside the data, read on as 1-bits
  const std::vector<uint8_t> inserts[] = {{0xFF, 0xD9}, {0xFF, 0xFF}, {0xFF, 0xD3}, {0xFF, 0xC4}, {0xFF}};
  succeeded = 0;
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> f = files[size_t(round) % files.size()];
    const uint8_t sos[] = {0xFF, 0xDA};  // the entropy-coded data starts after the scan header
    const size_t scan = size_t(std::search(f.begin(), f.end(), sos, sos + 2) - f.begin()),
                 start = scan + 2 + f[scan + 3];
    for (int e = 0, edits = 1 + below(3); e < edits && f.size() > start; ++e) {
      const size_t at = below(2) ? start + size_t(below(int(f.size() - start))) : size_t(below(int(f.size())));
      const std::vector<uint8_t>& insert = inserts[below(5)];
      switch (below(5)) {
        case 0:
          f[at] = uint8_t(random());
          break;
        case 1:
          f.erase(f.begin() + long(at));
          break;
        case 2:
          f[at] = 0xFF;
          break;
        case 3:
          f.insert(f.begin() + long(at), insert.begin(), insert.end());
          break;
        default:  // a restart marker renumbered
          for (size_t i = at; i + 1 < f.size(); ++i)
            if (f[i] == 0xFF && (f[i + 1] & 0xF8) == 0xD0) {
              f[i + 1] = uint8_t(0xD0 + ((f[i + 1] + 1 + below(7)) & 7));
              break;
            }
      }
    }
    ASSERT_TRUE(Agree(f, &succeeded)) << "round " << round;
  }
  EXPECT_GT(succeeded, 300);
  EXPECT_LT(succeeded, 2700);
}

}  // namespace
