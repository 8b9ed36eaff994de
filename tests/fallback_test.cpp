// The embedded fallback picture: the right bytes, the marker layout the
// plug-in's decoder is built for, and a picture an independent decoder reads.

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

struct Segment {
    uint8_t marker;
    std::vector<uint8_t> payload;
};

struct Layout {
    std::vector<Segment> segments;  // SOI to SOS inclusive, SOI without payload
    std::vector<uint8_t> entropy;   // between the scan header and EOI
};

unsigned be16(const uint8_t* p) { return (p[0] << 8) | p[1]; }

// Walks the markers up to the scan, then takes everything up to the final EOI
// as entropy data. Fails the calling test on anything malformed.
Layout walk(const uint8_t* data, size_t size) {
    Layout layout;
    if (size < 4 || be16(data) != 0xFFD8 || be16(data + size - 2) != 0xFFD9) {
        ADD_FAILURE() << "not framed by SOI and EOI";
        return layout;
    }
    layout.segments.push_back({0xD8, {}});
    size_t pos = 2;
    while (pos + 4 <= size) {
        if (data[pos] != 0xFF) {
            ADD_FAILURE() << "no marker at offset " << pos;
            return layout;
        }
        const uint8_t marker = data[pos + 1];
        const unsigned length = be16(data + pos + 2);
        if (length < 2 || pos + 2 + length > size) {
            ADD_FAILURE() << "bad length at offset " << pos;
            return layout;
        }
        layout.segments.push_back(
            {marker, std::vector<uint8_t>(data + pos + 4, data + pos + 2 + length)});
        pos += 2 + length;
        if (marker == 0xDA) {
            layout.entropy.assign(data + pos, data + size - 2);
            return layout;
        }
    }
    ADD_FAILURE() << "no scan";
    return layout;
}

const Segment* only(const Layout& layout, uint8_t marker) {
    const Segment* found = nullptr;
    for (const Segment& s : layout.segments) {
        if (s.marker == marker) {
            EXPECT_EQ(found, nullptr) << "second segment FF" << std::hex << int(marker);
            found = &s;
        }
    }
    return found;
}

bool startsWith(const std::vector<uint8_t>& v, const char* prefix, size_t n) {
    return v.size() >= n && std::memcmp(v.data(), prefix, n) == 0;
}

Layout embedded() { return walk(bin2c_update_preview, bin2c_update_preview_size); }

}  // namespace

TEST(FallbackPicture, EmbeddedArrayIsTheCommittedFile) {
    std::ifstream in(LVS_FALLBACK_JPG, std::ios::binary);
    ASSERT_TRUE(in) << LVS_FALLBACK_JPG;
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(bin2c_update_preview_size, 164586u);
    EXPECT_EQ(sizeof bin2c_update_preview, 164586u);
    ASSERT_EQ(file.size(), bin2c_update_preview_size);
    EXPECT_TRUE(std::equal(file.begin(), file.end(), bin2c_update_preview));
}

TEST(FallbackPicture, SegmentsComeInTheFixedOrder) {
    const Layout layout = embedded();
    std::vector<int> order;
    for (const Segment& s : layout.segments) {
        // The two quantisation tables may share a segment or have one each.
        if (s.marker != 0xDB || order.back() != 0xDB) order.push_back(s.marker);
    }
    const std::vector<int> expected{0xD8, 0xE1, 0xEC, 0xE1, 0xEE, 0xDB, 0xC0, 0xC4, 0xDA};
    EXPECT_EQ(order, expected);
}

TEST(FallbackPicture, MetadataSegments) {
    const Layout layout = embedded();
    ASSERT_GE(layout.segments.size(), 5u);

    // An empty Exif block: TIFF header, then one IFD with no entries and no
    // next IFD.
    const std::vector<uint8_t>& exif = layout.segments[1].payload;
    ASSERT_EQ(exif.size(), 20u);
    ASSERT_TRUE(startsWith(exif, "Exif\0\0MM\0\x2a", 10));
    EXPECT_EQ(be16(&exif[10]) << 16 | be16(&exif[12]), 8u);
    EXPECT_EQ(be16(&exif[14]), 0u);
    EXPECT_EQ(be16(&exif[16]) << 16 | be16(&exif[18]), 0u);

    EXPECT_FALSE(layout.segments[2].payload.empty());

    const std::vector<uint8_t>& xmp = layout.segments[3].payload;
    const char ns[] = "http://ns.adobe.com/xap/1.0/";
    ASSERT_TRUE(startsWith(xmp, ns, sizeof ns));  // with its terminating NUL
    const std::string packet(xmp.begin() + sizeof ns, xmp.end());
    EXPECT_EQ(packet.rfind("<?xpacket begin=", 0), 0u);
    EXPECT_NE(packet.find("<x:xmpmeta"), std::string::npos);
    EXPECT_NE(packet.find("</x:xmpmeta>"), std::string::npos);
    const std::string tail = "<?xpacket end=\"w\"?>";
    ASSERT_GE(packet.size(), tail.size());
    EXPECT_EQ(packet.substr(packet.size() - tail.size()), tail);

    // Transform 1 tells decoders the three components are YCbCr.
    const std::vector<uint8_t>& adobe = layout.segments[4].payload;
    ASSERT_EQ(adobe.size(), 12u);
    EXPECT_TRUE(startsWith(adobe, "Adobe", 5));
    EXPECT_EQ(adobe[11], 1);
}

TEST(FallbackPicture, FrameTablesAndScan) {
    const Layout layout = embedded();

    std::set<int> quantIds;
    for (const Segment& s : layout.segments) {
        if (s.marker != 0xDB) continue;
        ASSERT_EQ(s.payload.size() % 65, 0u) << "not all tables 8-bit";
        for (size_t i = 0; i < s.payload.size(); i += 65) {
            EXPECT_EQ(s.payload[i] >> 4, 0) << "16-bit table";
            EXPECT_TRUE(quantIds.insert(s.payload[i] & 15).second);
            EXPECT_EQ(std::count(&s.payload[i + 1], &s.payload[i + 65], 0), 0);
        }
    }
    EXPECT_EQ(quantIds, (std::set<int>{0, 1}));

    const Segment* sof = only(layout, 0xC0);
    ASSERT_NE(sof, nullptr);
    const std::vector<uint8_t>& f = sof->payload;
    ASSERT_EQ(f.size(), 15u);
    EXPECT_EQ(f[0], 8);
    EXPECT_EQ(be16(&f[1]), 720u);
    EXPECT_EQ(be16(&f[3]), 1280u);
    ASSERT_EQ(f[5], 3);
    const int quantOf[3] = {0, 1, 1};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(f[7 + 3 * c], 0x11) << "component " << c << " subsampled";
        EXPECT_EQ(f[8 + 3 * c], quantOf[c]) << "component " << c;
    }

    // One DHT segment holding DC and AC tables for luma and chroma, each with
    // a complete header and exactly as many symbols as its counts say.
    const Segment* dht = only(layout, 0xC4);
    ASSERT_NE(dht, nullptr);
    std::set<int> huffman;
    size_t pos = 0;
    const std::vector<uint8_t>& h = dht->payload;
    while (pos < h.size()) {
        ASSERT_LE(pos + 17, h.size());
        EXPECT_TRUE(huffman.insert(h[pos]).second) << "table " << int(h[pos]) << " twice";
        size_t symbols = 0;
        for (int i = 1; i <= 16; ++i) symbols += h[pos + i];
        EXPECT_LE(symbols, 256u);
        pos += 17 + symbols;
    }
    EXPECT_EQ(pos, h.size());
    EXPECT_EQ(huffman, (std::set<int>{0x00, 0x01, 0x10, 0x11}));

    EXPECT_EQ(only(layout, 0xDD), nullptr) << "restart interval";

    const Segment* sos = only(layout, 0xDA);
    ASSERT_NE(sos, nullptr);
    const std::vector<uint8_t>& s = sos->payload;
    ASSERT_EQ(s.size(), 10u);
    ASSERT_EQ(s[0], 3);
    const int tablesOf[3] = {0x00, 0x11, 0x11};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(s[1 + 2 * c], f[6 + 3 * c]) << "scan component " << c;
        EXPECT_EQ(s[2 + 2 * c], tablesOf[c]) << "scan component " << c;
    }
    EXPECT_EQ(s[7], 0);   // Ss
    EXPECT_EQ(s[8], 63);  // Se
    EXPECT_EQ(s[9], 0);   // Ah, Al

    // Only stuffed bytes in the entropy data: no restart or other markers.
    const std::vector<uint8_t>& e = layout.entropy;
    ASSERT_FALSE(e.empty());
    for (size_t i = 0; i < e.size(); ++i) {
        if (e[i] == 0xFF) {
            ASSERT_LT(i + 1, e.size()) << "entropy data ends in 0xFF";
            ASSERT_EQ(e[i + 1], 0x00) << "marker inside entropy data at " << i;
            ++i;
        }
    }
}

TEST(FallbackPicture, IndependentDecoderReadsIt) {
    tjhandle tj = tjInitDecompress();
    ASSERT_NE(tj, nullptr);
    int width = 0, height = 0, subsampling = -1, colourspace = -1;
    ASSERT_EQ(tjDecompressHeader3(tj, bin2c_update_preview, bin2c_update_preview_size,
                                  &width, &height, &subsampling, &colourspace),
              0)
        << tjGetErrorStr2(tj);
    EXPECT_EQ(width, 1280);
    EXPECT_EQ(height, 720);
    EXPECT_EQ(subsampling, TJSAMP_444);
    EXPECT_EQ(colourspace, TJCS_YCbCr);

    std::vector<uint8_t> rgb(size_t(1280) * 720 * 3);
    ASSERT_EQ(tjDecompress2(tj, bin2c_update_preview, bin2c_update_preview_size, rgb.data(),
                            1280, 0, 720, TJPF_RGB, 0),
              0)
        << tjGetErrorStr2(tj);
    tjDestroy(tj);

    // Black text on the middle band, and a pale background whose corners
    // differ in colour.
    auto at = [&](int x, int y) { return &rgb[(size_t(y) * 1280 + x) * 3]; };
    size_t dark = 0;
    for (int y = 280; y < 440; ++y)
        for (int x = 0; x < 1280; ++x)
            if (at(x, y)[0] < 40 && at(x, y)[1] < 40 && at(x, y)[2] < 40) ++dark;
    EXPECT_GT(dark, 10000u);
    const int corners[4][2] = {{8, 8}, {1271, 8}, {8, 711}, {1271, 711}};
    std::set<std::vector<uint8_t>> colours;
    for (const auto& c : corners) {
        const uint8_t* p = at(c[0], c[1]);
        EXPECT_GT(p[0] + p[1] + p[2], 3 * 150) << c[0] << "," << c[1];
        colours.insert({uint8_t(p[0] / 16), uint8_t(p[1] / 16), uint8_t(p[2] / 16)});
    }
    EXPECT_EQ(colours.size(), 4u);
}
