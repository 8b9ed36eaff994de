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
  int width = 0, height = 0, subsampling = -1, colourspace = -1;
  ASSERT_EQ(tjDecompressHeader3(tj, bin2c_update_preview, bin2c_update_preview_size, &width, &height, &subsampling,
                                &colourspace),
            0);
  EXPECT_EQ(width, 1280);
  EXPECT_EQ(height, 720);
  EXPECT_EQ(subsampling, TJSAMP_444);
  EXPECT_EQ(colourspace, TJCS_YCbCr);
  Bytes rgb(size_t(1280) * 720 * 3);
  ASSERT_EQ(tjDecompress2(tj, bin2c_update_preview, bin2c_update_preview_size, rgb.data(), 1280, 0, 720, TJPF_RGB, 0),
            0);
  tjDestroy(tj);
  EXPECT_GT(rgb[0] + rgb[1] + rgb[2], 3 * 150) << "a pale background";
}

}  // namespace
