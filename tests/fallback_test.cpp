// The embedded fallback picture: the committed file's bytes, the marker
// layout the plug-in's decoder is built for, and a picture an independent
// decoder reads.
#include "update_preview.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

unsigned Be16(const uint8_t* p) { return (p[0] << 8) | p[1]; }

// The segments from SOI to SOS inclusive (marker, payload), and the entropy
// data between the scan header and the final EOI.
struct Layout {
  std::vector<std::pair<uint8_t, Bytes>> segments;
  Bytes entropy;
  const Bytes& Only(uint8_t marker) const {
    static const Bytes none;
    const Bytes* found = &none;
    for (const auto& s : segments)
      if (s.first == marker) {
        EXPECT_EQ(found, &none) << "second segment FF" << std::hex << int(marker);
        found = &s.second;
      }
    return *found;
  }
};

Layout Walk() {
  const uint8_t* data = bin2c_update_preview;
  const size_t size = bin2c_update_preview_size;
  Layout layout;
  EXPECT_TRUE(Be16(data) == 0xFFD8 && Be16(data + size - 2) == 0xFFD9) << "framed by SOI and EOI";
  for (size_t pos = 2; pos + 4 <= size;) {
    const unsigned length = Be16(data + pos + 2);
    if (data[pos] != 0xFF || length < 2 || pos + 2 + length > size) {
      ADD_FAILURE() << "no segment at offset " << pos;
      break;
    }
    const uint8_t marker = data[pos + 1];
    layout.segments.push_back({marker, Bytes(data + pos + 4, data + pos + 2 + length)});
    pos += 2 + length;
    if (marker == 0xDA) {
      layout.entropy.assign(data + pos, data + size - 2);
      break;
    }
  }
  return layout;
}

TEST(FallbackPicture, EmbeddedArrayIsTheCommittedFile) {
  std::ifstream in(LVS_FALLBACK_JPG, std::ios::binary);
  const Bytes file{std::istreambuf_iterator<char>(in), {}};
  EXPECT_EQ(sizeof bin2c_update_preview, 164586u);
  ASSERT_EQ(file.size(), bin2c_update_preview_size);
  EXPECT_TRUE(std::equal(file.begin(), file.end(), bin2c_update_preview));
}

TEST(FallbackPicture, SegmentsTablesAndScan) {
  const Layout layout = Walk();
  std::vector<int> order;
  for (const auto& s : layout.segments)  // the quantisation tables may share a segment or not
    if (s.first != 0xDB || order.back() != 0xDB) order.push_back(s.first);
  EXPECT_EQ(order, (std::vector<int>{0xE1, 0xEC, 0xE1, 0xEE, 0xDB, 0xC0, 0xC4, 0xDA}));
  ASSERT_GE(layout.segments.size(), 4u);
  EXPECT_EQ(layout.segments[0].second.size(), 20u) << "an empty Exif block";
  EXPECT_EQ(std::memcmp(layout.segments[0].second.data(), "Exif\0\0MM\0\x2a", 10), 0);
  EXPECT_EQ(std::memcmp(layout.segments[2].second.data(), "http://ns.adobe.com/xap/1.0/", 29), 0);
  const Bytes& adobe = layout.segments[3].second;
  ASSERT_EQ(adobe.size(), 12u);
  EXPECT_EQ(adobe[11], 1) << "colour transform: YCbCr";

  std::set<int> quantIds;
  for (const auto& s : layout.segments) {
    if (s.first != 0xDB) continue;
    ASSERT_EQ(s.second.size() % 65, 0u) << "only 8-bit tables";
    for (size_t i = 0; i < s.second.size(); i += 65) EXPECT_TRUE(quantIds.insert(s.second[i]).second);
  }
  EXPECT_EQ(quantIds, (std::set<int>{0, 1}));

  const Bytes& f = layout.Only(0xC0);
  ASSERT_EQ(f.size(), 15u);
  EXPECT_EQ(f[0], 8);
  EXPECT_EQ(Be16(&f[1]), 720u);
  EXPECT_EQ(Be16(&f[3]), 1280u);
  ASSERT_EQ(f[5], 3);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(f[7 + 3 * c], 0x11) << "component " << c << " subsampled";
    EXPECT_EQ(f[8 + 3 * c], c == 0 ? 0 : 1) << "quantisation table of component " << c;
  }
  // One DHT segment with all four tables, each exactly as long as its counts.
  const Bytes& h = layout.Only(0xC4);
  std::set<int> huffman;
  size_t pos = 0;
  while (pos + 17 <= h.size()) {
    EXPECT_TRUE(huffman.insert(h[pos]).second);
    size_t symbols = 0;
    for (int i = 1; i <= 16; ++i) symbols += h[pos + i];
    pos += 17 + symbols;
  }
  EXPECT_EQ(pos, h.size());
  EXPECT_EQ(huffman, (std::set<int>{0x00, 0x01, 0x10, 0x11}));
  EXPECT_TRUE(layout.Only(0xDD).empty()) << "no restart interval";

  const Bytes& s = layout.Only(0xDA);
  EXPECT_EQ(s, (Bytes{3, f[6], 0x00, f[9], 0x11, f[12], 0x11, 0, 63, 0}));
  // Only stuffed bytes in the entropy data: no restart or other markers.
  ASSERT_FALSE(layout.entropy.empty());
  for (size_t i = 0; i + 1 < layout.entropy.size(); ++i)
    if (layout.entropy[i] == 0xFF) {
      ASSERT_EQ(layout.entropy[++i], 0x00) << "marker at " << i;
    }
  EXPECT_NE(layout.entropy.back(), 0xFF);
}

TEST(FallbackPicture, IndependentDecoderReadsIt) {
  tjhandle tj = tjInitDecompress();
  ASSERT_NE(tj, nullptr);
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

  // Black text on the middle band, and a pale background whose corners
  // differ in colour.
  auto at = [&](int x, int y) { return &rgb[(size_t(y) * 1280 + x) * 3]; };
  size_t dark = 0;
  for (int y = 280; y < 440; ++y)
    for (int x = 0; x < 1280; ++x) dark += at(x, y)[0] < 40 && at(x, y)[1] < 40 && at(x, y)[2] < 40;
  EXPECT_GT(dark, 10000u);
  std::set<Bytes> colours;
  for (const auto& c : {std::make_pair(8, 8), std::make_pair(1271, 8), std::make_pair(8, 711), std::make_pair(1271, 711)}) {
    const uint8_t* p = at(c.first, c.second);
    EXPECT_GT(p[0] + p[1] + p[2], 3 * 150);
    colours.insert({uint8_t(p[0] / 16), uint8_t(p[1] / 16), uint8_t(p[2] / 16)});
  }
  EXPECT_EQ(colours.size(), 4u);
}

}  // namespace
