// Entropy-coded data, transform, upsampling and colour conversion on
// hand-made streams whose exact output is known.
#include <gtest/gtest.h>

#include <algorithm>

#include "jpeg_test_util.h"

using namespace lvs_test;
using Jpeg::Decoder;

namespace {

const FixedCodeTable kDc = SmallDcTable(), kAc = SmallAcTable();

// The level a DC-only block decodes to, for a wanted sample value.
int DcFor(int sample) { return 8 * (sample - 128); }

// Appends DC-only blocks of the given DC levels to one component's chain.
void FlatBlocks(BitWriter& b, const std::vector<int>& levels, int& previous) {
    for (int level : levels) {
        b.PutDc(kDc, level - previous);
        b.PutEndOfBlock(kAc);
        previous = level;
    }
}

struct Decoded {
    Decoder::ResultCode code;
    std::vector<uint8_t> image;  // only after Success
};
Decoded DecodeOf(const HandMade& m, const std::vector<uint8_t>& entropy) {
    auto d = Decode(m.Build(entropy));
    if (d->GetResult() != Decoder::Success) return {d->GetResult(), {}};
    const size_t size = size_t(d->GetWidth()) * d->GetHeight() * (m.frame.size() == 1 ? 1 : 3);
    return {Decoder::Success, std::vector<uint8_t>(d->GetImage(), d->GetImage() + size)};
}

TEST(JpegScan, DcIsDequantisedPredictedAndGivesTheWorkedValues) {
    // Quantisation 8: levels 0, 80, -80, 2040, -2040 are DC values 0, 10, -10, 255, -255.
    HandMade m(8);
    m.width = 40;
    std::vector<uint8_t> g = DecodeOf(m, m.FlatEntropy({0, 10, -10, 255, -255})).image;
    ASSERT_EQ(g.size(), 320u);
    const uint8_t expected[5] = {128, 138, 118, 255, 0};
    for (int i = 0; i < 320; ++i) ASSERT_EQ(g[i], expected[i % 40 / 8]) << i;
}

TEST(JpegScan, BadSymbolsOverlongRunsAndInvalidCodesAreMalformed) {
    HandMade m;
    m.width = 16;
    auto withAc = [&](std::initializer_list<uint8_t> symbols) {
        BitWriter b;
        b.PutDc(kDc, 0);
        for (uint8_t s : symbols) b.PutSymbol(kAc, s);
        b.PutEndOfBlock(kAc);
        int previous = 0;
        FlatBlocks(b, {0}, previous);
        b.Finish();
        return DecodeOf(m, b.Data()).code;
    };
    EXPECT_EQ(withAc({0x10}), Decoder::MalformedData);  // no size, run 1
    EXPECT_EQ(withAc({0x20}), Decoder::MalformedData);
    EXPECT_EQ(withAc({0xF0, 0xF0, 0xF0, 0xF0}), Decoder::MalformedData);  // past 63
    EXPECT_EQ(withAc({0xF0, 0xF0, 0xF0}), Decoder::Success);
    // The second block reads padding: DC code 1111 does not exist.
    EXPECT_EQ(DecodeOf(m, m.FlatEntropy({0})).code, Decoder::MalformedData);
    // A table that was never defined has no codes at all.
    const std::vector<FrameComponent> grey = {{1, 1, 1, 0}};
    EXPECT_EQ(Decode(JpegWriter().Soi().Sof(8, 8, grey).Sos(grey).Bytes({0x00, 0x00}).Data())->GetResult(),
              Decoder::MalformedData);
}

TEST(JpegScan, ColourTriplesConvertExactly) {
    const std::vector<uint8_t> cases[] = {{128, 128, 128, 128, 128, 128}, {255, 128, 128, 255, 255, 255},
                                          {76, 85, 255, 254, 0, 0},        {0, 128, 128, 0, 0, 0},
                                          {100, 200, 60, 5, 124, 228}};  // Y, Cb, Cr, then R, G, B
    for (const auto& c : cases) {
        HandMade m;
        m.frame = {{1, 1, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}};
        BitWriter b;
        for (int i = 0; i < 3; ++i) {
            int previous = 0;  // each component has its own predictor
            FlatBlocks(b, {DcFor(c[size_t(i)])}, previous);
        }
        b.Finish();
        std::vector<uint8_t> expected;
        for (int i = 0; i < 64; ++i) expected.insert(expected.end(), c.begin() + 3, c.end());
        EXPECT_EQ(DecodeOf(m, b.Data()).image, expected) << int(c[0]) << " " << int(c[1]) << " " << int(c[2]);
    }
}

// Grey MCUs of one block each; the DC restarts from 0 after every marker, so
// a missed predictor reset shows in the samples.
TEST(JpegScan, RestartMarkersAreExpectedInCyclingOrder) {
    struct Case {
        int mcus, interval;
        std::vector<int> markers;
        Decoder::ResultCode code;
    } const cases[] = {{8, 4, {0}, Decoder::Success},
                       {12, 4, {0, 1}, Decoder::Success},
                       {10, 1, {0, 1, 2, 3, 4, 5, 6, 7, 0}, Decoder::Success},
                       {8, 4, {1}, Decoder::MalformedData},
                       {12, 4, {0, 0}, Decoder::MalformedData},
                       {8, 4, {}, Decoder::MalformedData}};
    for (const Case& c : cases) {
        HandMade m;
        m.width = 8 * c.mcus;
        m.restartInterval = c.interval;
        BitWriter b;
        size_t next = 0;
        int previous = 0;
        for (int i = 0; i < c.mcus; ++i) {
            if (i % c.interval == 0) previous = 0;
            FlatBlocks(b, {DcFor(100 + i)}, previous);
            if ((i + 1) % c.interval == 0 && i + 1 < c.mcus && next < c.markers.size())
                b.Marker(uint8_t(0xD0 + c.markers[next++]));
        }
        b.Finish();
        const Decoded d = DecodeOf(m, b.Data());
        EXPECT_EQ(d.code, c.code) << c.mcus << "/" << c.interval;
        for (size_t i = 0; i < d.image.size() / 64; ++i) EXPECT_EQ(d.image[8 * i], 100 + i) << i;
    }
}

// One-bit tables in which 1-bits decode as "no change" and "end of block":
// after a first block of DC +1 (80), every later one gives 138 as long as
// the data reads as 1-bits; a 0 bit would mean DC -1 or an AC value.
TEST(JpegScan, BitReaderHandlesStuffingEndOfImageAndTheEndOfInput) {
    HandMade m(80);
    m.width = 64;  // eight blocks, 17 bits, looked up on 16-bit peeks
    m.dc = {1, {1, 0}};
    m.ac = {1, {0x01, 0x00}};
    const uint8_t first = 0b01111111;  // DC +1, end of block, then 1-bits
    struct Case {
        std::vector<uint8_t> entropy;
        Decoder::ResultCode code;
    } const cases[] = {
        {{first, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00}, Decoder::Success},        // stuffed bytes are data
        {{first, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF}, Decoder::Success},  // final 0xFF never reached
        {{first, 0xFF, 0xD9, 0x00, 0x00, 0x00}, Decoder::Success},  // 1-bits after an end of image
        {{first}, Decoder::Success},                                // 1-bits past the input
        {{first, 0xFF, 0xFF, 0xFF, 0xFF}, Decoder::MalformedData},
        {{first, 0xFF, 0xC4, 0xFF, 0xFF}, Decoder::MalformedData},
        {{first, 0xFF, 0x00, 0xFF}, Decoder::MalformedData},  // final 0xFF within the last peek
    };
    for (const Case& c : cases) {
        const Decoded d = DecodeOf(m, c.entropy);
        EXPECT_EQ(d.code, c.code) << ::testing::PrintToString(c.entropy);
        EXPECT_EQ(d.image, std::vector<uint8_t>(d.code == Decoder::Success ? 512 : 0, 138));
    }
}

TEST(JpegScan, GreyRowsAreCompactedToTheWidth) {
    HandMade m;
    m.width = 100;  // 13 blocks across, stride 104
    m.height = 10;
    std::vector<int> levels;
    for (int i = 0; i < 26; ++i) levels.push_back(DcFor(10 + 10 * (i / 13) + i % 13));
    std::vector<uint8_t> g = DecodeOf(m, m.FlatEntropy(levels)).image;
    ASSERT_EQ(g.size(), 1000u);
    for (int y = 0; y < 10; ++y) {
        EXPECT_EQ(g[y * 100], y < 8 ? 10 : 20) << y;
        EXPECT_EQ(g[y * 100 + 99], y < 8 ? 22 : 32) << y;
    }
}

// Upsampling edges. Luma and Cr are flat 128, so blue follows Cb alone.
int BlueOf(int cb) { return std::clamp((32768 + 454 * (cb - 128) + 128) >> 8, 0, 255); }
int Filter(int a, int wa, int b, int wb, int c, int wc) {
    return std::clamp((a * wa + b * wb + c * wc + 64) >> 7, 0, 255);
}

// Blue of a 4:2:0 frame of 2 x 2 MCUs whose four Cb blocks have the given levels.
auto Blue420(int width, int height, std::vector<int> cb) {
    HandMade m;
    m.width = width;
    m.height = height;
    m.frame = {{1, 2, 2, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}};
    BitWriter b;
    int luma = 0, blue = 0, red = 0;
    for (int i = 0; i < 4; ++i) {
        FlatBlocks(b, {0, 0, 0, 0}, luma);
        FlatBlocks(b, {DcFor(cb[size_t(i)])}, blue);
        FlatBlocks(b, {0}, red);
    }
    b.Finish();
    std::vector<uint8_t> rgb = DecodeOf(m, b.Data()).image;
    EXPECT_EQ(rgb.size(), size_t(width) * height * 3);
    return [rgb, width](int x, int y) { return rgb.empty() ? -1 : int(rgb[(y * width + x) * 3 + 2]); };
}

TEST(JpegScan, HorizontalEdgeReadsTheEndOfTheStoredRow) {
    // Width 20: chroma is 10 wide in a 16-wide plane, so the last three stored
    // samples all lie in the right block.
    auto blue = Blue420(20, 32, {100, 140, 100, 140});
    EXPECT_EQ(blue(17, 0), BlueOf(Filter(140, 28, 140, 109, 140, -9)));
    EXPECT_EQ(blue(18, 0), BlueOf(Filter(140, 104, 140, 27, 140, -3)));
    EXPECT_EQ(blue(0, 0), BlueOf(Filter(100, 139, 100, -11, 100, 0)));
    // Across the block boundary (chroma samples 7 and 8): outputs 15 and 16.
    EXPECT_EQ(blue(15, 0), BlueOf(Filter(100, -9 + 111, 140, 29, 140, -3)));
    EXPECT_EQ(blue(16, 0), BlueOf(Filter(100, -3 + 29, 140, 111, 140, -9)));
}

TEST(JpegScan, VerticalEdgeReadsTheLastRowsOfTheComponent) {
    // Height 20: chroma is 10 high in a 16-high plane; its last three rows are
    // 9 and 8 (bottom blocks) and 7 (top blocks).
    auto blue = Blue420(32, 20, {100, 100, 140, 140});
    EXPECT_EQ(blue(5, 17), BlueOf(Filter(140, 28, 140, 109, 100, -9)));
    EXPECT_EQ(blue(5, 18), BlueOf(Filter(140, 104, 140, 27, 100, -3)));
    EXPECT_EQ(blue(5, 19), BlueOf(Filter(140, 139, 140, -11, 100, 0)));
}

}  // namespace
