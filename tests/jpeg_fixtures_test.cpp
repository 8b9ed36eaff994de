// Real encodings made by libjpeg-turbo, decoded by both decoders, and the
// transform versions and shortcuts checked against the portable transform.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

#include "jpeg_idct.h"
#include "jpeg_test_util.h"
#include "support/JpegFixtures.h"

using namespace lvs_test;
using Jpeg::Decoder;

namespace {

struct FixtureCase {
    const char* name;
    int width, height;
    Subsampling subsampling;
    int quality;
    const char* cjpegArguments;
    // The two decoders differ in transform rounding (about one level) and,
    // for subsampled chroma, in the upsampling filter: ours is a four-tap
    // filter, libjpeg-turbo's a two-tap triangle. Measured: 59-60 dB and at
    // most 3 levels for 4:4:4, 50-54 dB and at most 11 for subsampled chroma,
    // 66 dB and 1 level for grey. A wrong table, swapped chroma or a
    // misplaced block falls below 30 dB.
    double minPsnr;
    int maxDifference;
};

class FixtureTest : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(FixtureTest, AgreesWithLibjpegTurbo) {
    const FixtureCase& c = GetParam();
    const int channels = c.subsampling == Subsampling::Grey ? 1 : 3;
    JpegOptions o;
    o.subsampling = c.subsampling;
    o.quality = c.quality;
    o.cjpegArguments = c.cjpegArguments;
    std::vector<uint8_t> file = EncodeJpeg(MakePhotoLikePicture(c.width, c.height, 11, channels), o);
    ASSERT_FALSE(file.empty());
    auto d = Decode(file);
    ASSERT_EQ(d->GetResult(), Decoder::Success);
    ASSERT_EQ(d->GetWidth(), c.width);
    ASSERT_EQ(d->GetHeight(), c.height);
    ASSERT_EQ(d->GetComponentCount(), channels);
    Picture ours{c.width, c.height, channels,
                 std::vector<uint8_t>(d->GetImage(), d->GetImage() + size_t(c.width) * c.height * channels)};
    Picture reference = DecodeJpegReference(file, channels);
    EXPECT_GE(Psnr(ours, reference), c.minPsnr);
    EXPECT_LE(LargestDifference(ours, reference), c.maxDifference);
}

using S = Subsampling;
INSTANTIATE_TEST_SUITE_P(
    Jpeg, FixtureTest,
    ::testing::Values(FixtureCase{"Baseline444", 320, 240, S::S444, 95, "", 52, 5},
                      FixtureCase{"Baseline422", 320, 240, S::S422, 90, "", 47, 10},
                      FixtureCase{"Preview420", 1280, 720, S::S420, 85, "", 46, 10},
                      FixtureCase{"Grey", 320, 240, S::Grey, 90, "", 60, 2},
                      FixtureCase{"Restart420", 200, 120, S::S420, 90, "-restart 3B", 46, 10},
                      FixtureCase{"RestartGreyEveryMcu", 64, 40, S::Grey, 90, "-restart 1B", 60, 2},
                      FixtureCase{"OptimisedRestart422", 200, 120, S::S422, 80, "-optimize -restart 5B", 46, 14},
                      FixtureCase{"OddSize420", 333, 197, S::S420, 90, "", 46, 10},
                      FixtureCase{"GreyTwoByTwoFactors", 77, 45, S::Grey, 90, "-sample 2x2", 45, 4},
                      // Chroma 3 samples wide in an 8-wide plane: our filter's right
                      // edge reads the encoder's padding, so the last columns differ
                      // on purpose; this checks geometry, not the filter.
                      FixtureCase{"Narrow420", 5, 9, S::S420, 90, "", 24, 40}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JpegFixtures, ProgressiveAndArithmeticFilesAreRefused) {
    for (bool progressive : {true, false}) {
        JpegOptions o;
        o.subsampling = S::S420;
        o.progressive = progressive;
        o.cjpegArguments = progressive ? "" : "-arithmetic";
        std::vector<uint8_t> file = EncodeJpeg(MakePhotoLikePicture(64, 48, 9), o);
        ASSERT_FALSE(file.empty());
        auto d = Decode(file);
        EXPECT_EQ(d->GetResult(), Decoder::UnsupportedFeature);
        EXPECT_EQ(d->GetWidth(), 0);
    }
}

TEST(JpegVectorTransform, WrapsAroundLikeThePortableTransform) {
    if (!Jpeg::HasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 random(7);
    // Magnitudes from ordinary coefficients up to values whose scaled forms
    // overflow 32 bits, plus the exact values that scale to zero.
    const int32_t specials[] = {0, 1, -1, 1 << 21, -(1 << 21), 1 << 24, INT32_MIN, INT32_MAX,
                                8388607, -8388608, 1 << 20};
    for (int trial = 0; trial < 20000; ++trial) {
        alignas(32) int32_t a[64], b[64];
        for (int i = 0; i < 64; ++i) {
            const uint32_t r = random();
            const int32_t choices[4] = {int32_t(r % 2048) - 1024, int32_t(r), specials[r % 11],
                                        r % 3 ? 0 : int32_t(r % 65536) - 32768};
            a[i] = b[i] = choices[trial % 4];
        }
        uint8_t outA[8 * 11], outB[8 * 11];
        Jpeg::IdctBlockPortable(a, outA, 11);
        Jpeg::IdctBlockAvx2(b, outB, 11);
        for (int y = 0; y < 8; ++y)
            ASSERT_EQ(0, std::memcmp(outA + y * 11, outB + y * 11, 8)) << trial << " row " << y;
        // Both leave the work block cleared for the next one.
        for (int i = 0; i < 64; ++i) ASSERT_EQ(a[i] | b[i], 0) << trial << " " << i;
    }
}

TEST(JpegTransform, FirstRowShortcutEqualsTheFullTransform) {
    std::mt19937 random(3);
    for (int trial = 0; trial < 20000; ++trial) {
        alignas(32) int32_t a[64] = {}, b[64] = {};
        // The first row of a block kept column by column: entries 0, 8, ... 56.
        for (int i = 0; i < 8; ++i) {
            uint32_t r = random();
            a[8 * i] = b[8 * i] = trial % 2 ? int32_t(r) : (r % 4 ? 0 : int32_t(r % 4096) - 2048);
        }
        uint8_t full[64], line[8];
        Jpeg::IdctBlockPortable(a, full, 8);
        Jpeg::IdctFirstRowOnly(b, line);
        for (int i = 0; i < 64; ++i) ASSERT_EQ(full[i], line[i % 8]) << trial;
        for (int i = 0; i < 64; ++i) ASSERT_EQ(b[i], 0) << trial << " " << i;
    }
}

}  // namespace
