// Real encodings made by libjpeg-turbo, decoded by both decoders, and the
// vector transform checked against the portable one.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "jpeg_idct.h"
#include "jpeg_test_util.h"
#include "support/JpegFixtures.h"

using namespace lvs_test;
using Jpeg::Decoder;

namespace {

Picture Ours(const std::vector<uint8_t>& file, Decoder::ResultCode* code = nullptr) {
    auto d = Decode(file);
    if (code) *code = d->GetResult();
    Picture p;
    if (d->GetResult() != Decoder::Success) return p;
    p.width = d->GetWidth();
    p.height = d->GetHeight();
    p.channels = d->GetComponentCount() == 1 ? 1 : 3;
    p.pixels.assign(d->GetImage(), d->GetImage() + size_t(p.width) * p.height * p.channels);
    return p;
}

struct FixtureCase {
    const char* name;
    int width, height;
    JpegOptions options;
    // The two decoders differ in transform rounding (about one level) and,
    // for subsampled chroma, in the upsampling filter: ours is a four-tap
    // filter, libjpeg-turbo's a two-tap triangle. Measured on these pictures:
    // 59-60 dB and at most 3 levels for 4:4:4, 50-54 dB and at most 11 for
    // subsampled chroma, 66 dB and 1 level for grey. The thresholds leave a
    // few dB of room; a wrong table, swapped chroma or a misplaced block
    // falls below 30 dB.
    double minPsnr;
    int maxDifference;
};

JpegOptions Options(Subsampling s, int quality, int restart = 0, bool optimize = false) {
    JpegOptions o;
    o.subsampling = s;
    o.quality = quality;
    o.restartInterval = restart;
    o.optimize = optimize;
    return o;
}

std::vector<FixtureCase> FixtureCases() {
    using S = Subsampling;
    return {
        {"Baseline444", 320, 240, Options(S::S444, 95), 52, 5},
        {"Baseline422", 320, 240, Options(S::S422, 90), 47, 10},
        {"Baseline420", 320, 240, Options(S::S420, 85), 46, 10},
        {"Grey", 320, 240, Options(S::Grey, 90), 60, 2},
        {"Preview420", 1280, 720, Options(S::S420, 85), 46, 10},
        {"Restart420", 200, 120, Options(S::S420, 90, 3), 46, 10},
        {"RestartGreyEveryMcu", 64, 40, Options(S::Grey, 90, 1), 60, 2},
        {"Optimised444", 200, 120, Options(S::S444, 90, 0, true), 52, 5},
        {"OptimisedRestart422", 200, 120, Options(S::S422, 80, 5, true), 46, 14},
        {"OddSize420", 333, 197, Options(S::S420, 90), 46, 10},
        {"OddSize444", 101, 37, Options(S::S444, 75), 52, 5},
        {"NarrowGrey", 3, 50, Options(S::Grey, 90), 60, 2},
        // Chroma 3 samples wide in an 8-wide plane: the right edge of our filter
        // reads the end of the stored row (encoder padding), so the last
        // columns differ on purpose; this checks geometry, not the filter.
        {"Narrow420", 5, 9, Options(S::S420, 90), 24, 40},
        {"Quality100", 96, 64, Options(S::S444, 100), 52, 5},
    };
}

class FixtureTest : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(FixtureTest, AgreesWithLibjpegTurbo) {
    const FixtureCase& c = GetParam();
    int channels = c.options.subsampling == Subsampling::Grey ? 1 : 3;
    Picture source = MakePhotoLikePicture(c.width, c.height, 11, channels);
    std::vector<uint8_t> file = EncodeJpeg(source, c.options);
    ASSERT_FALSE(file.empty());
    Picture reference = DecodeJpegReference(file, channels);
    Decoder::ResultCode code;
    Picture ours = Ours(file, &code);
    ASSERT_EQ(code, Decoder::Success);
    ASSERT_EQ(ours.width, c.width);
    ASSERT_EQ(ours.height, c.height);
    ASSERT_EQ(ours.channels, channels);
    EXPECT_GE(Psnr(ours, reference), c.minPsnr);
    EXPECT_LE(LargestDifference(ours, reference), c.maxDifference);
}

INSTANTIATE_TEST_SUITE_P(Jpeg, FixtureTest, ::testing::ValuesIn(FixtureCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JpegFixtures, ThresholdsCatchASwappedChromaPlane) {
    Picture source = MakePhotoLikePicture(160, 96, 3);
    std::vector<uint8_t> file = EncodeJpeg(source, Options(Subsampling::S420, 85));
    Picture ours = Ours(file);
    Picture reference = DecodeJpegReference(file, 3);
    ASSERT_FALSE(ours.pixels.empty());
    // Red and blue swapped stands for Cb and Cr swapped.
    for (size_t i = 0; i < reference.pixels.size(); i += 3)
        std::swap(reference.pixels[i], reference.pixels[i + 2]);
    EXPECT_LT(Psnr(ours, reference), 30);
}

TEST(JpegFixtures, GreyWrittenWithTwoByTwoFactorsMatchesLibjpegTurbo) {
    Picture source = MakePhotoLikePicture(77, 45, 5, 1);
    JpegOptions o = Options(Subsampling::Grey, 90);
    o.greySampling = 2;
    std::vector<uint8_t> file = EncodeJpeg(source, o);
    ASSERT_FALSE(file.empty());
    Picture ours = Ours(file);
    Picture reference = DecodeJpegReference(file, 1);
    ASSERT_EQ(ours.pixels.size(), reference.pixels.size());
    EXPECT_GE(Psnr(ours, reference), 45);
    EXPECT_LE(LargestDifference(ours, reference), 4);
}

TEST(JpegFixtures, ProgressiveAndArithmeticFilesAreRefused) {
    Picture source = MakePhotoLikePicture(64, 48, 9);
    JpegOptions progressive = Options(Subsampling::S420, 90), arithmetic = progressive;
    progressive.progressive = true;
    arithmetic.arithmetic = true;
    for (const JpegOptions& o : {progressive, arithmetic}) {
        std::vector<uint8_t> file = EncodeJpeg(source, o);
        ASSERT_FALSE(file.empty());
        auto d = Decode(file);
        EXPECT_EQ(d->GetResult(), Decoder::UnsupportedFeature);
        EXPECT_EQ(d->GetWidth(), 0);
    }
}

TEST(JpegFixtures, TruncatedAndCorruptedFilesNeverCrash) {
    Picture source = MakePhotoLikePicture(96, 64, 4);
    std::vector<uint8_t> file = EncodeJpeg(source, Options(Subsampling::S420, 80, 2, true));
    ASSERT_FALSE(file.empty());
    std::mt19937 random(1);
    for (int i = 0; i < 300; ++i) {
        std::vector<uint8_t> bad = file;
        if (i % 3 == 0) bad.resize(random() % bad.size());
        for (int n = 0; n < 1 + i % 5; ++n) bad[random() % bad.size()] = uint8_t(random());
        {
            auto d = Decode(bad);
            EXPECT_NE(int(d->GetResult()), 4);
            EXPECT_NE(d->GetResult(), Decoder::ScanComplete);
        }
        EXPECT_EQ(MemoryLog::live, 0);
    }
}

// Decodes with the vector transform allowed or not; the vector one is used
// only where the processor has it, which the caller checks.
std::vector<uint8_t> DecodeWith(bool vector, const std::vector<uint8_t>& file) {
    Decoder::AllowVectorCode(vector);
    Picture p = Ours(file);
    Decoder::AllowVectorCode(true);
    return p.pixels;
}

TEST(JpegVectorTransform, GivesTheSameBytesOnManyFiles) {
    if (!Jpeg::HasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    const Subsampling kinds[] = {Subsampling::S444, Subsampling::S422, Subsampling::S420,
                                 Subsampling::Grey};
    int files = 0;
    for (int quality : {30, 75, 95, 100})
        for (Subsampling s : kinds) {
            int channels = s == Subsampling::Grey ? 1 : 3;
            Picture source = MakePhotoLikePicture(120 + quality % 7, 80, unsigned(quality), channels);
            std::vector<uint8_t> file = EncodeJpeg(source, Options(s, quality));
            std::vector<uint8_t> portable = DecodeWith(false, file);
            ASSERT_FALSE(portable.empty());
            EXPECT_EQ(DecodeWith(true, file), portable) << quality;
            ++files;
        }
    EXPECT_EQ(files, 16);
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
        int mode = trial % 4;
        for (int i = 0; i < 64; ++i) {
            uint32_t r = random();
            int32_t v = mode == 0   ? int32_t(r % 2048) - 1024
                        : mode == 1 ? int32_t(r)
                        : mode == 2 ? specials[r % 11]
                                    : (r % 3 ? 0 : int32_t(r % 65536) - 32768);
            a[i] = b[i] = v;
        }
        uint8_t outA[8 * 11], outB[8 * 11];
        Jpeg::IdctBlockPortable(a, outA, 11);
        Jpeg::IdctBlockAvx2(b, outB, 11);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                ASSERT_EQ(outA[y * 11 + x], outB[y * 11 + x]) << trial << " " << y << "," << x;
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
