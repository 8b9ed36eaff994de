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
std::vector<uint8_t> FrameOnly(int width, int height, const std::vector<FrameComponent>& frame,
                               int precision = 8) {
    return JpegWriter().Soi().Sof(width, height, frame, precision).Data();
}

// A frame header followed by a marker we refuse: a header that passes ends in
// UnsupportedFeature, so this shows refusals as MalformedData.
std::vector<uint8_t> FrameThenStop(int width, int height, const std::vector<FrameComponent>& frame) {
    return JpegWriter().Soi().Sof(width, height, frame).Bytes({0xFF, 0xC2}).Data();
}

std::vector<uint8_t> WithSegment(uint8_t code, std::vector<uint8_t> payload, int length = -1) {
    return JpegWriter().Soi().Segment(code, payload, length).Data();
}

// A Huffman segment declaring `count` codes of `length` bits, with `symbols` bytes after the counts.
std::vector<uint8_t> Dht(uint8_t classAndId, int length, int count, size_t symbols) {
    std::vector<uint8_t> p(17 + symbols, 0);
    p[0] = classAndId;
    p[length] = uint8_t(count);
    return WithSegment(0xC4, p);
}

std::vector<uint8_t> ScanAfter420(std::vector<uint8_t> sos) {
    return JpegWriter().Soi().Sof(16, 16, k420).Segment(0xDA, sos).Data();
}

struct HeaderCase {
    const char* name;
    std::vector<uint8_t> bytes;
    Decoder::ResultCode expected;
    int width, height;
};

std::vector<HeaderCase> Cases() {
    using D = Decoder;
    return {
        {"Empty", {}, D::NoStartOfImage, 0, 0},
        {"OneByte", {0xFF}, D::NoStartOfImage, 0, 0},
        {"NotJpeg", {0x89, 0x50, 0x4E, 0x47}, D::NoStartOfImage, 0, 0},
        {"OnlyStart", {0xFF, 0xD8}, D::MalformedData, 0, 0},
        {"NoMarkerByte", {0xFF, 0xD8, 0x00, 0xC4}, D::MalformedData, 0, 0},
        {"FillByte", {0xFF, 0xD8, 0xFF, 0xFF, 0xC4}, D::UnsupportedFeature, 0, 0},
        {"Progressive", {0xFF, 0xD8, 0xFF, 0xC2, 0x00, 0x0B}, D::UnsupportedFeature, 0, 0},
        {"EndOfImageFirst", {0xFF, 0xD8, 0xFF, 0xD9}, D::UnsupportedFeature, 0, 0},
        {"TwelveBit", FrameOnly(8, 8, kGrey, 12), D::UnsupportedFeature, 0, 0},
        {"TwoComponents", FrameOnly(8, 6, {{1, 1, 1, 0}, {2, 1, 1, 0}}), D::UnsupportedFeature, 8, 6},
        {"FourComponents", FrameOnly(8, 6, {{1, 1, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}, {4, 1, 1, 0}}),
         D::UnsupportedFeature, 8, 6},
        {"ShortFrame", WithSegment(0xC0, {8, 0, 8, 0, 8, 1, 1, 0x11}), D::MalformedData, 0, 0},
        {"FrameMissingComponents", WithSegment(0xC0, {8, 0, 8, 0, 8, 3, 1, 0x11, 0, 2}),
         D::MalformedData, 8, 8},
        {"SamplingThree", FrameOnly(8, 8, {{1, 3, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}}),
         D::UnsupportedFeature, 8, 8},
        {"SamplingZero", FrameThenStop(8, 8, {{1, 1, 0, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}}),
         D::MalformedData, 8, 8},
        {"QuantTableFour", FrameThenStop(8, 8, {{1, 1, 1, 4}}), D::MalformedData, 8, 8},
        {"FactorsOneTwoFourEight", FrameOnly(64, 64, {{1, 8, 4, 0}, {2, 4, 2, 1}, {3, 2, 1, 1}}),
         D::MalformedData, 64, 64},
        {"SampledTwoWide", FrameOnly(4, 16, k420), D::UnsupportedFeature, 4, 16},
        {"SampledThreeWide", FrameOnly(5, 16, k420), D::MalformedData, 5, 16},
        {"SampledTwoHigh", FrameOnly(16, 4, k420), D::UnsupportedFeature, 16, 4},
        {"SampledThreeHigh", FrameOnly(16, 5, k420), D::MalformedData, 16, 5},
        {"WidthZero", FrameThenStop(0, 8, kGrey), D::MalformedData, 0, 8},
        {"HeightZero", FrameOnly(8, 0, kGrey), D::UnsupportedFeature, 8, 0},
        {"SixteenBitQuant", WithSegment(0xDB, std::vector<uint8_t>(129, 0x10)), D::MalformedData, 0, 0},
        {"QuantLeftover", WithSegment(0xDB, std::vector<uint8_t>(66, 0)), D::MalformedData, 0, 0},
        {"QuantIdFour", WithSegment(0xDB, std::vector<uint8_t>(65, 4)), D::MalformedData, 0, 0},
        {"HuffmanIdTwo", Dht(0x02, 2, 2, 2), D::UnsupportedFeature, 0, 0},
        {"HuffmanClassTwo", Dht(0x20, 2, 2, 2), D::MalformedData, 0, 0},
        {"HuffmanOverfull", Dht(0x00, 2, 5, 5), D::MalformedData, 0, 0},
        {"HuffmanSymbolsMissing", Dht(0x00, 3, 5, 3), D::MalformedData, 0, 0},
        {"HuffmanLeftover", Dht(0x00, 3, 5, 7), D::MalformedData, 0, 0},
        {"RestartTooShort", WithSegment(0xDD, {0}), D::MalformedData, 0, 0},
        {"LengthZero", WithSegment(0xFE, {1, 2, 3}, 0), D::MalformedData, 0, 0},
        {"LengthOne", WithSegment(0xE0, {1, 2, 3}, 1), D::MalformedData, 0, 0},
        {"ApplicationPastEnd", WithSegment(0xE1, {1, 2, 3}, 400), D::MalformedData, 0, 0},
        {"LengthCutShort", {0xFF, 0xD8, 0xFF, 0xFE, 0x00}, D::MalformedData, 0, 0},
        {"EndsBeforeScan", JpegWriter().Soi().Segment(0xDB, std::vector<uint8_t>(65, 0)).Sof(16, 8, kGrey).Data(), D::MalformedData, 16, 8},
        {"ScanWithoutFrame", WithSegment(0xDA, {0, 0, 63, 0}), D::Success, 0, 0},
        {"ScanOfOneComponent", ScanAfter420({1, 1, 0x00, 0, 63, 0, 0, 0, 0, 0}), D::UnsupportedFeature, 16, 16},
        {"ScanOutOfOrder", ScanAfter420({3, 2, 0x11, 1, 0x00, 3, 0x11, 0, 63, 0}), D::MalformedData, 16, 16},
        {"ScanTableTwo", ScanAfter420({3, 1, 0x20, 2, 0x11, 3, 0x11, 0, 63, 0}), D::MalformedData, 16, 16},
        {"ScanTooShort", ScanAfter420({3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63}), D::MalformedData, 16, 16},
        {"ScanSpectral", ScanAfter420({3, 1, 0x00, 2, 0x11, 3, 0x11, 1, 63, 0}), D::UnsupportedFeature, 16, 16},
        {"ScanApproximation", ScanAfter420({3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 1}),
         D::UnsupportedFeature, 16, 16},
    };
}

class HeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderTest, StopsWithItsCodeAndReleasesEverything) {
    const HeaderCase& c = GetParam();
    {
        auto d = Decode(c.bytes);
        EXPECT_EQ(d->GetResult(), c.expected);
        EXPECT_EQ(d->GetWidth(), c.width);
        EXPECT_EQ(d->GetHeight(), c.height);
        if (c.expected == Decoder::Success) {
            EXPECT_EQ(d->GetImage(), nullptr);
        }
    }
    EXPECT_EQ(MemoryLog::live, 0);
}

INSTANTIATE_TEST_SUITE_P(Jpeg, HeaderTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A complete stream of flat blocks (DC 0, end of block) on the given frame.
std::vector<uint8_t> FlatStream(int width, int height, const std::vector<FrameComponent>& frame, int blocks) {
    HandMade m;
    m.width = width;
    m.height = height;
    m.frame = frame;
    return m.Build(m.FlatEntropy(std::vector<int>(size_t(blocks), 0)));
}

TEST(JpegHeaders, SecondFrameHeaderReplacesTheFirst) {
    std::vector<uint8_t> bytes = FrameOnly(640, 480, k420), rest = FlatStream(8, 8, kGrey, 1);
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
    // Requests: three planes, the RGB buffer, then one for each chroma plane's upsampling.
    const std::vector<uint8_t> bytes = FlatStream(16, 16, k420, 6);
    for (int failAt = 0; failAt < 6; ++failAt) {
        EXPECT_EQ(Decode(bytes, failAt)->GetResult(), Decoder::AllocationFailed) << failAt;
        EXPECT_EQ(MemoryLog::live, 0) << failAt;
    }
    EXPECT_EQ(Decode(bytes)->GetResult(), Decoder::Success);
    EXPECT_EQ(MemoryLog::requests, 6);
}

// The conversion upsamples row by row; it must never ask for more memory
// than doubling whole planes pass by pass would (each pass: a plane of
// width x height x 2 bytes of the component as it stands).
TEST(JpegHeaders, ConversionRequestsNoMoreThanPlaneByPlanePasses) {
    struct Case {
        int width, height;
        std::vector<FrameComponent> frame;
        int blocks;          // blocks in the whole frame
        uint64_t passBytes;  // what the chroma passes of both planes request
    } const cases[] = {
        // 4:2:0, 16 x 16: chroma 8 x 8 -> 16 x 8 (128 bytes) -> 16 x 16 (256).
        {16, 16, k420, 6, 2 * (128 + 256)},
        // Four times as wide, 35 x 8: chroma 9 x 8 -> 18 x 8 (144) -> 36 x 8 (288).
        {35, 8, {{1, 4, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}, 12, 2 * (144 + 288)},
        // Luminance 2 x 2 over 1 x 2 chroma, 13 x 9: chroma 7 x 9 -> 14 x 9 (126).
        {13, 9, {{1, 2, 2, 0}, {2, 1, 2, 1}, {3, 1, 2, 1}}, 8, 2 * 126},
    };
    for (const Case& c : cases) {
        // Less what the frame header alone requests, on an input that ends right after it.
        Decode(FrameOnly(c.width, c.height, c.frame));
        const uint64_t header = MemoryLog::bytes;
        EXPECT_EQ(Decode(FlatStream(c.width, c.height, c.frame, c.blocks))->GetResult(), Decoder::Success);
        const uint64_t passes = MemoryLog::bytes - header;
        EXPECT_GT(passes, 0u) << c.width << "x" << c.height;
        EXPECT_LE(passes, c.passBytes) << c.width << "x" << c.height;
    }
}

// A frame over the pixel allowance of its input size is refused before any
// request; a large frame passes when the input is long enough to hold it.
TEST(JpegHeaders, HugeFrameIsRefusedUnlessTheInputCouldHoldIt) {
    for (auto size : {std::pair<int, int>{65535, 65535}, {8192, 8192}, {4096, 1025}}) {
        EXPECT_EQ(Decode(FrameOnly(size.first, size.second, k420))->GetResult(), Decoder::UnsupportedFeature);
        EXPECT_EQ(MemoryLog::requests, 0) << size.first << "x" << size.second;
    }
    Decode(FrameThenStop(2048, 2048, kGrey));  // within the fixed allowance
    EXPECT_EQ(MemoryLog::requests, 1);
    // 8192 x 8192 needs 128 KiB of input, here in comment segments; the
    // plane request then fails. Beyond the fixed ceiling no input size helps.
    for (auto big : {std::make_pair(8192, Decoder::AllocationFailed), std::make_pair(16385, Decoder::UnsupportedFeature)}) {
        JpegWriter w;
        w.Soi();
        for (int i = 0; i < 9; ++i) w.Segment(0xFE, std::vector<uint8_t>(65000, 0));
        EXPECT_EQ(Decode(w.Sof(big.first, 16384, kGrey).Data(), 0)->GetResult(), big.second);
        EXPECT_EQ(MemoryLog::requests, big.second == Decoder::AllocationFailed ? 1 : 0);
    }
}

}  // namespace
