// The embedded fallback picture: the committed file, readable by an independent decoder.
#include "update_preview.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(FallbackPicture, EmbeddedArrayIsTheCommittedFile) {
  std::ifstream in(LVS_FALLBACK_JPG, std::ios::binary);
  const Bytes file{std::istreambuf_iterator<char>(in), {}};
  ASSERT_EQ(file.size(), bin2c_update_preview_size);
  EXPECT_TRUE(std::equal(file.begin(), file.end(), bin2c_update_preview));
}

TEST(FallbackPicture, IndependentDecoderReadsIt) {
  tjhandle tj = tjInitDecompress();
  ASSERT_NE(tj, nullptr);
  int width = 0, height = 0, subsampling = -1, colourspace = -1;
  ASSERT_EQ(tjDecompressHeader3(tj, bin2c_update_preview, bin2c_update_preview_size, &width, &height, &subsampling,
                                &colourspace),
            0);
  EXPECT_TRUE(width == 1280 && height == 720 && subsampling == TJSAMP_444 && colourspace == TJCS_YCbCr);
  Bytes rgb(size_t(1280) * 720 * 3);
  ASSERT_EQ(tjDecompress2(tj, bin2c_update_preview, bin2c_update_preview_size, rgb.data(), 1280, 0, 720, TJPF_RGB, 0),
            0);
  tjDestroy(tj);
  // Black text on the middle band of a pale background.
  auto at = [&](int x, int y) { return &rgb[(size_t(y) * 1280 + x) * 3]; };
  size_t dark = 0;
  for (int y = 280; y < 440; ++y)
    for (int x = 0; x < 1280; ++x) dark += at(x, y)[0] < 40 && at(x, y)[1] < 40 && at(x, y)[2] < 40;
  EXPECT_GT(dark, 10000u);
  EXPECT_GT(at(8, 8)[0] + at(8, 8)[1] + at(8, 8)[2], 3 * 150);
}

}  // namespace
