// Entropy-coded data, transform, upsampling and colour conversion on
// hand-made streams whose exact output is known.
#include <gtest/gtest.h>

#include "jpeg_idct.h"
#include "jpeg_test_util.h"

using namespace lvs_test;
using Jpeg::Decoder;

namespace {

const FixedCodeTable kDc = SmallDcTable();
const FixedCodeTable kAc = SmallAcTable();
const std::vector<FrameComponent> k444 = {{1, 1, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}};
const std::vector<FrameComponent> k420 = {{1, 2, 2, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}};

// The level a DC-only block decodes to, for a wanted sample value.
int DcFor(int sample) { return 8 * (sample - 128); }

void FlatBlock(BitWriter& b, int dcDifference) {
    b.PutDc(kDc, dcDifference);
    b.PutEndOfBlock(kAc);
}

// Decodes a grey stream and returns its samples, or an empty vector when the
// result is not Success.
std::vector<uint8_t> Grey(const HandMade& m, const std::vector<uint8_t>& entropy,
                          Decoder::ResultCode* code = nullptr) {
    auto d = Decode(m.Build(entropy));
    if (code) *code = d->GetResult();
    if (d->GetResult() != Decoder::Success) return {};
    const uint8_t* p = d->GetImage();
    return std::vector<uint8_t>(p, p + size_t(d->GetWidth()) * d->GetHeight());
}

TEST(JpegScan, DcOnlyBlocksGiveTheWorkedValues) {
    const std::pair<int, int> cases[] = {{0, 128}, {80, 138}, {-80, 118}, {2040, 255}, {-2040, 0}};
    for (auto [dc, sample] : cases) {
        HandMade m;
        BitWriter b;
        FlatBlock(b, dc);
        b.Finish();
        EXPECT_EQ(Grey(m, b.Data()), std::vector<uint8_t>(64, uint8_t(sample))) << dc;
    }
}

TEST(JpegScan, DcIsDequantisedAndPredictedFromTheBlockBefore) {
    HandMade m;
    m.width = 24;
    m.quant = 16;
    BitWriter b;
    FlatBlock(b, 5);    // 80
    FlatBlock(b, -10);  // -80
    FlatBlock(b, 5);    // 0
    b.Finish();
    std::vector<uint8_t> g = Grey(m, b.Data());
    ASSERT_EQ(g.size(), 192u);
    EXPECT_EQ(g[0], 138);
    EXPECT_EQ(g[8], 118);
    EXPECT_EQ(g[16], 128);
    EXPECT_EQ(g[191], 128);
}

// One block with the given AC coefficients (zig-zag index, value) and the
// samples the transform gives for them, computed with the portable transform
// (which takes the block column by column).
std::vector<uint8_t> Transformed(int dc, const std::vector<std::pair<int, int>>& ac) {
    static const int zigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18,
                                   11, 4,  5,  12, 19, 26, 33, 40, 48, 41, 34, 27, 20,
                                   13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43,
                                   36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45,
                                   38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
    alignas(32) int32_t c[64] = {dc};
    for (auto [k, v] : ac) c[(zigzag[k] & 7) * 8 + (zigzag[k] >> 3)] = v;
    std::vector<uint8_t> out(64);
    Jpeg::IdctBlockPortable(c, out.data(), 8);
    return out;
}

TEST(JpegScan, RunsAndTheSixteenZeroSymbolPlaceCoefficients) {
    HandMade m;
    m.width = 16;
    BitWriter b;
    b.PutDc(kDc, 40);
    b.PutCoefficient(kAc, 0, 30);   // k = 1
    b.PutSymbol(kAc, 0xF0);         // k = 17
    b.PutCoefficient(kAc, 1, -1);   // k = 19
    b.PutEndOfBlock(kAc);
    // Second block ends at k = 63 without an end-of-block symbol.
    b.PutDc(kDc, -40);
    for (int i = 0; i < 3; ++i) b.PutSymbol(kAc, 0xF0);
    b.PutCoefficient(kAc, 14, 1);   // k = 63
    b.Finish();
    std::vector<uint8_t> g = Grey(m, b.Data());
    ASSERT_EQ(g.size(), 128u);
    std::vector<uint8_t> first = Transformed(40, {{1, 30}, {19, -1}});
    std::vector<uint8_t> second = Transformed(0, {{63, 1}});
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(g[y * 16 + x], first[y * 8 + x]);
            EXPECT_EQ(g[y * 16 + 8 + x], second[y * 8 + x]);
        }
}

TEST(JpegScan, BadSymbolsAndOverlongRunsAreMalformed) {
    auto decode = [](auto write) {
        HandMade m;
        m.width = 16;
        BitWriter b;
        b.PutDc(kDc, 0);
        write(b);
        b.PutEndOfBlock(kAc);
        FlatBlock(b, 0);
        b.Finish();
        Decoder::ResultCode code;
        Grey(m, b.Data(), &code);
        return code;
    };
    EXPECT_EQ(decode([](BitWriter& b) { b.PutSymbol(kAc, 0x10); }), Decoder::MalformedData);
    EXPECT_EQ(decode([](BitWriter& b) { b.PutSymbol(kAc, 0x20); }), Decoder::MalformedData);
    EXPECT_EQ(decode([](BitWriter& b) {
                  for (int i = 0; i < 4; ++i) b.PutSymbol(kAc, 0xF0);
              }),
              Decoder::MalformedData);
    EXPECT_EQ(decode([](BitWriter& b) { b.PutCoefficient(kAc, 3, 1); }), Decoder::Success);
}

TEST(JpegScan, ColourTriplesConvertAsSpecified) {
    struct Case { int y, cb, cr; uint8_t r, g, b; };
    const Case cases[] = {{128, 128, 128, 128, 128, 128},
                          {255, 128, 128, 255, 255, 255},
                          {76, 85, 255, 254, 0, 0},
                          {0, 128, 128, 0, 0, 0}};
    for (const Case& c : cases) {
        HandMade m;
        m.frame = k444;
        BitWriter b;
        FlatBlock(b, DcFor(c.y));
        FlatBlock(b, DcFor(c.cb));
        FlatBlock(b, DcFor(c.cr));
        b.Finish();
        auto d = Decode(m.Build(b.Data()));
        ASSERT_EQ(d->GetResult(), Decoder::Success);
        const uint8_t* p = d->GetImage();
        for (int i = 0; i < 64; ++i) {
            ASSERT_EQ(p[3 * i], c.r) << c.y;
            ASSERT_EQ(p[3 * i + 1], c.g);
            ASSERT_EQ(p[3 * i + 2], c.b);
        }
    }
}

// Restart streams: grey MCUs (one block each) whose DC differences restart
// from 0 after every marker, so a missed predictor reset shows in the samples.
std::vector<uint8_t> RestartStream(int mcus, int interval, std::vector<int> markers) {
    BitWriter b;
    size_t next = 0;
    for (int i = 0; i < mcus; ++i) {
        bool fresh = i % interval == 0;
        FlatBlock(b, fresh ? DcFor(100 + i) : 8);
        if ((i + 1) % interval == 0 && i + 1 < mcus && next < markers.size())
            b.Marker(uint8_t(0xD0 + markers[next++]));
    }
    b.Finish();
    return b.Data();
}

TEST(JpegScan, RestartMarkersAreExpectedInCyclingOrder) {
    struct Case { int mcus, interval; std::vector<int> markers; Decoder::ResultCode code; };
    const Case cases[] = {
        {8, 4, {0}, Decoder::Success},
        {12, 4, {0, 1}, Decoder::Success},
        {10, 1, {0, 1, 2, 3, 4, 5, 6, 7, 0}, Decoder::Success},
        {8, 4, {1}, Decoder::MalformedData},
        {12, 4, {0, 0}, Decoder::MalformedData},
        {8, 4, {}, Decoder::MalformedData},
    };
    for (const Case& c : cases) {
        HandMade m;
        m.width = 8 * c.mcus;
        m.restartInterval = c.interval;
        Decoder::ResultCode code;
        std::vector<uint8_t> g = Grey(m, RestartStream(c.mcus, c.interval, c.markers), &code);
        EXPECT_EQ(code, c.code) << c.mcus << "/" << c.interval;
        if (code != Decoder::Success) continue;
        for (int i = 0; i < c.mcus; ++i) {
            int fresh = i - i % c.interval;
            EXPECT_EQ(g[8 * i], 100 + fresh + (i - fresh)) << i;
        }
    }
}

TEST(JpegScan, StuffedByteIsDataAndDoubledFFIsMalformed) {
    HandMade m;
    BitWriter b;
    b.PutDc(kDc, 8);                 // 4 + 4 bits: one whole byte
    b.PutCoefficient(kAc, 0, 255);  // code byte, then the additional bits 0xFF
    b.PutEndOfBlock(kAc);
    b.Finish();
    std::vector<uint8_t> entropy = b.Data();
    ASSERT_EQ(entropy[2], 0xFF);
    ASSERT_EQ(entropy[3], 0x00);
    EXPECT_EQ(Grey(m, entropy), Transformed(8, {{1, 255}}));

    entropy[3] = 0xFF;
    Decoder::ResultCode code;
    Grey(m, entropy, &code);
    EXPECT_EQ(code, Decoder::MalformedData);
    entropy[3] = 0xC4;
    Grey(m, entropy, &code);
    EXPECT_EQ(code, Decoder::MalformedData);
}

TEST(JpegScan, FinalFFOfTheInputIsMalformedOnlyWhenItsBitsAreNeeded) {
    HandMade m;
    BitWriter b;
    FlatBlock(b, 0);
    b.Finish();
    std::vector<uint8_t> entropy = b.Data();  // 12 bits, then 4 padding bits
    entropy.push_back(0xFF);                   // read by the 16-bit peek of the end of block
    Decoder::ResultCode code;
    Grey(m, entropy, &code);
    EXPECT_EQ(code, Decoder::MalformedData);
    // Two bytes further on, no peek reaches it.
    entropy.back() = 0x00;
    entropy.push_back(0x00);
    entropy.push_back(0xFF);
    Grey(m, entropy, &code);
    EXPECT_EQ(code, Decoder::Success);
}

// One-bit tables in which 1-bits decode as "no change" and "end of block".
HandMade OneBitTables() {
    HandMade m;
    m.width = 24;
    m.quant = 80;
    m.dc = {1, {1, 0}};
    m.ac = {1, {0x01, 0x00}};
    return m;
}

TEST(JpegScan, EndOfImageInsideTheDataTurnsTheRestIntoOneBits) {
    HandMade m = OneBitTables();
    m.width = 64;
    BitWriter b;
    b.Put(0b011, 3);  // DC +1 (80), end of block
    b.Finish();
    std::vector<uint8_t> entropy = b.Data();
    entropy.insert(entropy.end(), {0xFF, 0xD9, 0x00, 0x00, 0x00});
    // Zero bytes would mean DC -1 for the later blocks.
    EXPECT_EQ(Grey(m, entropy), std::vector<uint8_t>(512, 138));
    // The same when the input simply ends.
    entropy.resize(1);
    EXPECT_EQ(Grey(m, entropy), std::vector<uint8_t>(512, 138));
}

TEST(JpegScan, InvalidCodeIsMalformed) {
    HandMade m;
    m.width = 16;
    BitWriter b;
    FlatBlock(b, 0);
    b.Finish();  // the second block reads padding: DC code 1111 does not exist
    Decoder::ResultCode code;
    Grey(m, b.Data(), &code);
    EXPECT_EQ(code, Decoder::MalformedData);
    // A table that was never defined has no codes at all.
    JpegWriter w;
    w.Soi().Dqt(0, 1).Sof(8, 8, {{1, 1, 1, 0}}).Sos({{1, 0, 0}}).Bytes({0x00, 0x00});
    EXPECT_EQ(Decode(w.Data())->GetResult(), Decoder::MalformedData);
}

TEST(JpegScan, GreyRowsAreCompactedToTheWidth) {
    HandMade m;
    m.width = 100;
    m.height = 10;
    BitWriter b;
    int previous = 0;
    for (int i = 0; i < 13 * 2; ++i) {
        int level = DcFor(10 + 10 * (i / 13) + i % 13);
        FlatBlock(b, level - previous);
        previous = level;
    }
    b.Finish();
    std::vector<uint8_t> g = Grey(m, b.Data());
    ASSERT_EQ(g.size(), 1000u);
    for (int y = 0; y < 10; ++y) {
        int first = y < 8 ? 10 : 20;
        EXPECT_EQ(g[y * 100], first) << y;
        EXPECT_EQ(g[y * 100 + 99], first + 12) << y;
    }
}

// Upsampling edges. Luma and Cr are flat 128, so blue = Cb exactly where
// |Cb - 128| is small: B = (32768 + 454 (Cb - 128) + 128) >> 8.
int BlueOf(int cb) { return std::min(255, std::max(0, (32768 + 454 * (cb - 128) + 128) >> 8)); }
int Filter(int a, int wa, int b, int wb, int c, int wc) {
    return std::min(255, std::max(0, (a * wa + b * wb + c * wc + 64) >> 7));
}

// A 4:2:0 frame of 2 x 2 MCUs whose four Cb blocks have the given levels.
std::vector<uint8_t> Chroma420(int width, int height, const int cb[4]) {
    HandMade m;
    m.width = width;
    m.height = height;
    m.frame = k420;
    BitWriter b;
    int previous = 0;
    for (int i = 0; i < 4; ++i) {
        for (int y = 0; y < 4; ++y) FlatBlock(b, 0);
        FlatBlock(b, DcFor(cb[i]) - previous);
        previous = DcFor(cb[i]);
        FlatBlock(b, 0);
    }
    b.Finish();
    auto d = Decode(m.Build(b.Data()));
    EXPECT_EQ(d->GetResult(), Decoder::Success);
    if (d->GetResult() != Decoder::Success) return {};
    const uint8_t* p = d->GetImage();
    return std::vector<uint8_t>(p, p + size_t(width) * height * 3);
}

TEST(JpegScan, HorizontalEdgeReadsTheEndOfTheStoredRow) {
    // Width 20: chroma is 10 wide in a 16-wide plane, so the last three stored
    // samples all lie in the right block.
    const int cb[4] = {100, 140, 100, 140};
    std::vector<uint8_t> rgb = Chroma420(20, 32, cb);
    ASSERT_FALSE(rgb.empty());
    auto blue = [&](int x, int y) { return int(rgb[(y * 20 + x) * 3 + 2]); };
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
    const int cb[4] = {100, 100, 140, 140};
    std::vector<uint8_t> rgb = Chroma420(32, 20, cb);
    ASSERT_FALSE(rgb.empty());
    auto blue = [&](int x, int y) { return int(rgb[(y * 32 + x) * 3 + 2]); };
    EXPECT_EQ(blue(5, 17), BlueOf(Filter(140, 28, 140, 109, 100, -9)));
    EXPECT_EQ(blue(5, 18), BlueOf(Filter(140, 104, 140, 27, 100, -3)));
    EXPECT_EQ(blue(5, 19), BlueOf(Filter(140, 139, 140, -11, 100, 0)));
}

TEST(JpegScan, OneComponentFrameIgnoresItsSamplingFactors) {
    // Factors 2 x 2 in the header, but the blocks come one per MCU in raster
    // order: left to right, then the next block row.
    HandMade m;
    m.width = 32;
    m.height = 16;
    m.frame = {{1, 2, 2, 0}};
    BitWriter b;
    const int levels[8] = {60, 70, 80, 90, 150, 160, 170, 180};
    int previous = 0;
    for (int level : levels) {
        FlatBlock(b, DcFor(level) - previous);
        previous = DcFor(level);
    }
    b.Finish();
    std::vector<uint8_t> g = Grey(m, b.Data());
    ASSERT_EQ(g.size(), 512u);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(g[(i / 4) * 8 * 32 + (i % 4) * 8], levels[i]) << i;
}

}  // namespace
