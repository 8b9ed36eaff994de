// Marker loop and header parsing: every refusal code, the frame geometry
// checks, and the limits on frame size and memory.
#include <gtest/gtest.h>

#include <string>

#include "jpeg_test_util.h"

using namespace lvs_test;
using Jpeg::Decoder;

namespace {

const std::vector<FrameComponent> kGrey = {{1, 1, 1, 0}};
const std::vector<FrameComponent> k420 = {{1, 2, 2, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}};

// A frame header and nothing after it: a header that passes ends in
// MalformedData (no scan), so this shows refusals as UnsupportedFeature.
std::vector<uint8_t> FrameOnly(int width, int height, const std::vector<FrameComponent>& frame) {
    return JpegWriter().Soi().Sof(width, height, frame).Data();
}

// A frame header followed by a marker we refuse: a header that passes ends in
// UnsupportedFeature, so this shows refusals as MalformedData.
std::vector<uint8_t> FrameThenStop(int width, int height,
                                   const std::vector<FrameComponent>& frame) {
    JpegWriter w;
    w.Soi().Sof(width, height, frame).Bytes({0xFF, 0xC2});
    return w.Data();
}

struct HeaderCase {
    const char* name;
    std::vector<uint8_t> bytes;
    Decoder::ResultCode expected;
    int width, height;
};

std::vector<uint8_t> WithSegment(uint8_t code, std::vector<uint8_t> payload, int length = -1) {
    JpegWriter w;
    w.Soi().Segment(code, payload, length);
    return w.Data();
}

std::vector<uint8_t> Counts(int length, int count) {
    std::vector<uint8_t> p(16, 0);
    p[length - 1] = uint8_t(count);
    return p;
}

std::vector<uint8_t> DhtPayload(uint8_t classAndId, std::vector<uint8_t> counts,
                                size_t symbols) {
    counts.insert(counts.begin(), classAndId);
    counts.resize(counts.size() + symbols, 0);
    return counts;
}

std::vector<uint8_t> ScanAfter420(std::vector<uint8_t> sos) {
    JpegWriter w;
    w.Soi().Sof(16, 16, k420).Segment(0xDA, sos);
    return w.Data();
}

std::vector<HeaderCase> Cases() {
    using D = Decoder;
    std::vector<HeaderCase> c;
    c.push_back({"Empty", {}, D::NoStartOfImage, 0, 0});
    c.push_back({"OneByte", {0xFF}, D::NoStartOfImage, 0, 0});
    c.push_back({"NotJpeg", {0x89, 0x50, 0x4E, 0x47}, D::NoStartOfImage, 0, 0});
    c.push_back({"OnlyStart", {0xFF, 0xD8}, D::MalformedData, 0, 0});
    c.push_back({"NoMarkerByte", {0xFF, 0xD8, 0x00, 0xC4}, D::MalformedData, 0, 0});
    c.push_back({"FillByte", {0xFF, 0xD8, 0xFF, 0xFF, 0xC4}, D::UnsupportedFeature, 0, 0});
    c.push_back({"Progressive", {0xFF, 0xD8, 0xFF, 0xC2, 0x00, 0x0B}, D::UnsupportedFeature, 0, 0});
    c.push_back({"EndOfImageFirst", {0xFF, 0xD8, 0xFF, 0xD9}, D::UnsupportedFeature, 0, 0});
    c.push_back({"TwelveBit", JpegWriter().Soi().Sof(8, 8, kGrey, 12).Data(),
                 D::UnsupportedFeature, 0, 0});
    c.push_back({"TwoComponents",
                 JpegWriter().Soi().Sof(8, 6, {{1, 1, 1, 0}, {2, 1, 1, 0}}).Data(),
                 D::UnsupportedFeature, 8, 6});
    c.push_back({"FourComponents",
                 JpegWriter().Soi().Sof(8, 6, {{1, 1, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}, {4, 1, 1, 0}}).Data(),
                 D::UnsupportedFeature, 8, 6});
    c.push_back({"ShortFrame", WithSegment(0xC0, {8, 0, 8, 0, 8, 1, 1, 0x11}),
                 D::MalformedData, 0, 0});
    c.push_back({"FrameMissingComponents", WithSegment(0xC0, {8, 0, 8, 0, 8, 3, 1, 0x11, 0, 2}),
                 D::MalformedData, 8, 8});
    c.push_back({"SamplingThree", FrameOnly(8, 8, {{1, 3, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}}),
                 D::UnsupportedFeature, 8, 8});
    c.push_back({"SamplingZero", FrameThenStop(8, 8, {{1, 1, 0, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}}),
                 D::MalformedData, 8, 8});
    c.push_back({"QuantTableFour", FrameThenStop(8, 8, {{1, 1, 1, 4}}), D::MalformedData, 8, 8});
    c.push_back({"FactorsOneTwoFourEight",
                 FrameOnly(64, 64, {{1, 8, 4, 0}, {2, 4, 2, 1}, {3, 2, 1, 1}}),
                 D::MalformedData, 64, 64});
    c.push_back({"SampledTwoWide", FrameOnly(4, 16, k420), D::UnsupportedFeature, 4, 16});
    c.push_back({"SampledThreeWide", FrameOnly(5, 16, k420), D::MalformedData, 5, 16});
    c.push_back({"SampledTwoHigh", FrameOnly(16, 4, k420), D::UnsupportedFeature, 16, 4});
    c.push_back({"SampledThreeHigh", FrameOnly(16, 5, k420), D::MalformedData, 16, 5});
    c.push_back({"WidthZero", FrameThenStop(0, 8, kGrey), D::MalformedData, 0, 8});
    c.push_back({"HeightZero", FrameOnly(8, 0, kGrey), D::UnsupportedFeature, 8, 0});
    c.push_back({"SixteenBitQuant", WithSegment(0xDB, std::vector<uint8_t>(129, 0x10)),
                 D::MalformedData, 0, 0});
    c.push_back({"QuantLeftover", WithSegment(0xDB, std::vector<uint8_t>(66, 0)),
                 D::MalformedData, 0, 0});
    c.push_back({"QuantIdFour", WithSegment(0xDB, std::vector<uint8_t>(65, 4)),
                 D::MalformedData, 0, 0});
    c.push_back({"HuffmanIdTwo", WithSegment(0xC4, DhtPayload(0x02, Counts(2, 2), 2)),
                 D::UnsupportedFeature, 0, 0});
    c.push_back({"HuffmanClassTwo", WithSegment(0xC4, DhtPayload(0x20, Counts(2, 2), 2)),
                 D::MalformedData, 0, 0});
    c.push_back({"HuffmanOverfull", WithSegment(0xC4, DhtPayload(0x00, Counts(2, 5), 5)),
                 D::MalformedData, 0, 0});
    c.push_back({"HuffmanSymbolsMissing", WithSegment(0xC4, DhtPayload(0x00, Counts(3, 5), 3)),
                 D::MalformedData, 0, 0});
    c.push_back({"HuffmanLeftover", WithSegment(0xC4, DhtPayload(0x00, Counts(3, 5), 7)),
                 D::MalformedData, 0, 0});
    c.push_back({"RestartTooShort", WithSegment(0xDD, {0}), D::MalformedData, 0, 0});
    c.push_back({"LengthZero", WithSegment(0xFE, {1, 2, 3}, 0), D::MalformedData, 0, 0});
    c.push_back({"LengthOne", WithSegment(0xE0, {1, 2, 3}, 1), D::MalformedData, 0, 0});
    c.push_back({"ApplicationPastEnd", WithSegment(0xE1, {1, 2, 3}, 400), D::MalformedData, 0, 0});
    c.push_back({"LengthCutShort", {0xFF, 0xD8, 0xFF, 0xFE, 0x00}, D::MalformedData, 0, 0});
    c.push_back({"EndsBeforeScan", JpegWriter().Soi().Dqt(0, 1).Sof(16, 8, kGrey).Data(),
                 D::MalformedData, 16, 8});
    c.push_back({"ScanOfOneComponent", ScanAfter420({1, 1, 0x00, 0, 63, 0, 0, 0, 0, 0}),
                 D::UnsupportedFeature, 16, 16});
    c.push_back({"ScanOutOfOrder", ScanAfter420({3, 2, 0x11, 1, 0x00, 3, 0x11, 0, 63, 0}),
                 D::MalformedData, 16, 16});
    c.push_back({"ScanTableTwo", ScanAfter420({3, 1, 0x20, 2, 0x11, 3, 0x11, 0, 63, 0}),
                 D::MalformedData, 16, 16});
    c.push_back({"ScanTooShort", ScanAfter420({3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63}),
                 D::MalformedData, 16, 16});
    c.push_back({"ScanSpectral", ScanAfter420({3, 1, 0x00, 2, 0x11, 3, 0x11, 1, 63, 0}),
                 D::UnsupportedFeature, 16, 16});
    c.push_back({"ScanApproximation", ScanAfter420({3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 1}),
                 D::UnsupportedFeature, 16, 16});
    return c;
}

class HeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderTest, StopsWithItsCodeAndReleasesEverything) {
    const HeaderCase& c = GetParam();
    {
        auto d = Decode(c.bytes);
        EXPECT_EQ(d->GetResult(), c.expected);
        EXPECT_EQ(d->GetWidth(), c.width);
        EXPECT_EQ(d->GetHeight(), c.height);
    }
    EXPECT_EQ(MemoryLog::live, 0);
}

INSTANTIATE_TEST_SUITE_P(Jpeg, HeaderTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Entropy bytes of `blocks` grey blocks that are all DC 0 with an end of block.
std::vector<uint8_t> FlatBlocks(int blocks) {
    BitWriter b;
    for (int i = 0; i < blocks; ++i) {
        b.PutDc(SmallDcTable(), 0);
        b.PutEndOfBlock(SmallAcTable());
    }
    b.Finish();
    return b.Data();
}

TEST(JpegHeaders, ScanWithoutFrameSucceedsWithNothing) {
    auto d = Decode(JpegWriter().Soi().Segment(0xDA, {0, 0, 63, 0}).Data());
    EXPECT_EQ(d->GetResult(), Decoder::Success);
    EXPECT_EQ(d->GetWidth(), 0);
    EXPECT_EQ(d->GetImage(), nullptr);
}

TEST(JpegHeaders, SecondFrameHeaderReplacesTheFirst) {
    HandMade m;
    std::vector<uint8_t> bytes = JpegWriter().Soi().Sof(640, 480, k420).Data();
    std::vector<uint8_t> rest = m.Build(FlatBlocks(1));
    bytes.insert(bytes.end(), rest.begin() + 2, rest.end());
    {
        auto d = Decode(bytes);
        EXPECT_EQ(d->GetResult(), Decoder::Success);
        EXPECT_EQ(d->GetWidth(), 8);
        EXPECT_EQ(d->GetComponentCount(), 1);
        EXPECT_EQ(MemoryLog::live, 1);  // only the grey plane of the second frame
    }
    EXPECT_EQ(MemoryLog::live, 0);
}

TEST(JpegHeaders, FailedAllocationsAreReportedAndNothingLeaks) {
    HandMade m;
    m.width = m.height = 16;
    m.frame = k420;
    std::vector<uint8_t> bytes = m.Build(FlatBlocks(6));
    // Requests: three planes, the RGB buffer, then the row buffers of each
    // chroma plane's upsampling.
    for (int failAt = 0; failAt < 6; ++failAt) {
        {
            auto d = Decode(bytes, failAt);
            EXPECT_EQ(d->GetResult(), Decoder::AllocationFailed) << failAt;
        }
        EXPECT_EQ(MemoryLog::live, 0) << failAt;
    }
    auto d = Decode(bytes);
    EXPECT_EQ(d->GetResult(), Decoder::Success);
    EXPECT_EQ(MemoryLog::requests, 6);
}

// The conversion upsamples row by row; it must never ask for more memory
// than doubling whole planes pass by pass would (each pass: a plane of
// width x height x 2 bytes of the component as it stands).
struct SizeLog {
    static inline uint64_t total = 0;
    static void* Allocate(uint64_t size) {
        total += size;
        return std::malloc(size ? size : 1);
    }
};

TEST(JpegHeaders, ConversionRequestsNoMoreThanPlaneByPlanePasses) {
    struct Case {
        int width, height;
        std::vector<FrameComponent> frame;
        int blocks;             // blocks in the whole frame
        uint64_t passBytes;     // what the chroma passes of both planes request
    };
    const Case cases[] = {
        // 4:2:0, 16 x 16: chroma 8 x 8 -> 16 x 8 (128 bytes) -> 16 x 16 (256).
        {16, 16, k420, 6, 2 * (128 + 256)},
        // Four times as wide, 35 x 8: chroma 9 x 8 -> 18 x 8 (144) -> 36 x 8 (288).
        {35, 8, {{1, 4, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}, 12, 2 * (144 + 288)},
        // Luminance 2 x 2 over 1 x 2 chroma, 13 x 9: chroma 7 x 9 -> 14 x 9 (126).
        {13, 9, {{1, 2, 2, 0}, {2, 1, 2, 1}, {3, 1, 2, 1}}, 8, 2 * 126},
    };
    for (const Case& c : cases) {
        HandMade m;
        m.width = c.width;
        m.height = c.height;
        m.frame = c.frame;
        std::vector<uint8_t> bytes = m.Build(FlatBlocks(c.blocks));
        SizeLog::total = 0;
        uint64_t headerBytes;
        {
            Decoder whole(bytes.data(), bytes.size(), SizeLog::Allocate, std::free);
            ASSERT_EQ(whole.GetResult(), Decoder::Success) << c.width << "x" << c.height;
        }
        uint64_t all = SizeLog::total;
        {
            // The frame header's requests alone: the input ends right after it.
            std::vector<uint8_t> cut = JpegWriter().Soi().Sof(c.width, c.height, c.frame).Data();
            SizeLog::total = 0;
            Decoder frameOnly(cut.data(), cut.size(), SizeLog::Allocate, std::free);
            EXPECT_EQ(frameOnly.GetResult(), Decoder::MalformedData);
            headerBytes = SizeLog::total;
        }
        EXPECT_GT(all, headerBytes) << c.width << "x" << c.height;
        EXPECT_LE(all - headerBytes, c.passBytes) << c.width << "x" << c.height;
    }
}

TEST(JpegHeaders, TinyFileCannotClaimAHugeFrame) {
    for (auto size : {std::pair<int, int>{65535, 65535}, {8192, 8192}, {4096, 1025}}) {
        auto d = Decode(FrameOnly(size.first, size.second, k420));
        EXPECT_EQ(d->GetResult(), Decoder::UnsupportedFeature);
        EXPECT_EQ(MemoryLog::requests, 0) << size.first << "x" << size.second;
    }
    // Up to the fixed allowance a small file is still decoded...
    auto d = Decode(FrameThenStop(2048, 2048, kGrey));
    EXPECT_EQ(MemoryLog::requests, 1);
}

TEST(JpegHeaders, LargeFrameIsAcceptedWhenTheInputCouldHoldIt) {
    // 8192 x 8192 needs at least 128 KiB of input at two bits per block; a
    // comment segment of that size stands in for real entropy-coded data.
    JpegWriter w;
    w.Soi();
    for (int i = 0; i < 3; ++i) w.Segment(0xFE, std::vector<uint8_t>(65000, 0));
    w.Sof(8192, 8192, kGrey).Bytes({0xFF, 0xC2});
    auto d = Decode(w.Data(), 0);  // the plane request fails: the frame was accepted
    EXPECT_EQ(d->GetResult(), Decoder::AllocationFailed);
    EXPECT_EQ(MemoryLog::requests, 1);
    // Beyond the fixed ceiling no input size helps.
    JpegWriter big;
    big.Soi();
    for (int i = 0; i < 9; ++i) big.Segment(0xFE, std::vector<uint8_t>(65000, 0));
    big.Sof(16385, 16384, kGrey).Bytes({0xFF, 0xC2});
    auto refused = Decode(big.Data(), 0);
    EXPECT_EQ(refused->GetResult(), Decoder::UnsupportedFeature);
}

TEST(JpegHeaders, EveryPrefixOfAValidFileFailsCleanly) {
    HandMade m;
    m.width = m.height = 16;
    m.frame = k420;
    std::vector<uint8_t> bytes = m.Build(FlatBlocks(6));
    for (size_t n = 0; n < bytes.size(); ++n) {
        std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + long(n));
        {
            auto d = Decode(prefix);
            if (n < 2) EXPECT_EQ(d->GetResult(), Decoder::NoStartOfImage);
            else EXPECT_NE(d->GetResult(), Decoder::Success) << n;
        }
        EXPECT_EQ(MemoryLog::live, 0);
    }
}

}  // namespace
