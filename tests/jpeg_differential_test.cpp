// The plug-in's decoder against the plain reference decoder (result code,
// size, every byte; portable and vector code; nothing leaked) and against
// libjpeg-turbo (close in PSNR) on real encodings, extreme coefficient
// streams, truncations and mutations.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "jpeg_test_util.h"
#include "reference/ReferenceJpeg.h"
#include "support/JpegFixtures.h"

using namespace lvs_test;
using Jpeg::Decoder;

namespace {

struct Tally {  // proves a family of inputs reached the paths it is meant for
    int compared = 0, succeeded = 0, malformed = 0;
};

testing::AssertionResult Agree(const std::vector<uint8_t>& file, Tally* tally = nullptr) {
    const lvs_reference::RefResult ref = lvs_reference::ReferenceDecode(file.data(), file.size());
    if (tally) {
        ++tally->compared;
        tally->succeeded += ref.result == Decoder::Success;
        tally->malformed += ref.result == Decoder::MalformedData;
    }
    for (bool vector : {false, true}) {
        Decoder::AllowVectorCode(vector);
        bool same;
        {
            std::unique_ptr<Decoder> d = Decode(file);
            same = d->GetResult() == ref.result && d->GetWidth() == ref.width && d->GetHeight() == ref.height &&
                   (ref.image.empty() || std::memcmp(d->GetImage(), ref.image.data(), ref.image.size()) == 0);
        }
        Decoder::AllowVectorCode(true);
        if (!same || MemoryLog::live != 0)
            return testing::AssertionFailure() << (vector ? "vector" : "portable") << " code "
                                               << (same ? "leaks" : "differs") << " on " << file.size() << " bytes";
    }
    return testing::AssertionSuccess();
}

struct Prng : std::mt19937 {
    explicit Prng(unsigned seed) : std::mt19937(seed) {}
    int Below(int n) { return int((*this)() % unsigned(n)); }
};

// The two decoders differ in transform rounding and the chroma filter (four
// taps here, a triangle there): measured 59 dB for 4:4:4, 50-54 subsampled,
// 66 grey. A wrong constant or swapped chroma, shared with the reference
// decoder, falls below 30.
TEST(JpegDifferential, CloseToLibjpegTurbo) {
    const struct {
        int width, height;
        Subsampling subsampling;
        double minPsnr;
    } cases[] = {{320, 240, Subsampling::S444, 52}, {320, 240, Subsampling::S422, 47},
                 {1280, 720, Subsampling::S420, 46}, {333, 197, Subsampling::Grey, 60}};
    for (const auto& c : cases) {
        const int channels = c.subsampling == Subsampling::Grey ? 1 : 3;
        const std::vector<uint8_t> file = EncodeJpeg(MakePhotoLikePicture(c.width, c.height, 11, channels), {90, c.subsampling, false});
        const Picture theirs = DecodeJpegReference(file, channels);
        auto d = Decode(file);
        ASSERT_EQ(d->GetWidth() * d->GetHeight() * channels, int(theirs.pixels.size()));
        double sum = 0;
        for (size_t i = 0; i < theirs.pixels.size(); ++i) sum += std::pow(d->GetImage()[i] - theirs.pixels[i], 2);
        EXPECT_GE(10 * std::log10(255.0 * 255.0 * double(theirs.pixels.size()) / sum), c.minPsnr) << c.width;
    }
}

// Every sampling cjpeg writes, sizes from 1 x 1, qualities 1 to 100, restarts, optimised tables.
TEST(JpegDifferential, RealEncodingsOfEverySamplingSizeQualityAndRestart) {
    const char* samplings[] = {"-sample 1x1", "-sample 2x1", "-sample 2x2", "-sample 1x2",
                               "-sample 4x1", "-sample 2x2,1x1,2x2", "-sample 1x1,2x2,2x2",
                               "-grayscale", "-grayscale -sample 2x2", "-grayscale -sample 4x1"};
    const char* extras[] = {"", "-restart 1B", "-optimize", "-restart 3B -optimize", "-restart 1", "-restart 7B"};
    const std::pair<int, int> sizes[] = {{1, 1},  {1, 7},   {7, 1},  {3, 3},    {5, 5},   {9, 9},    {15, 17}, {17, 15},
                                         {33, 31}, {64, 48}, {1, 90}, {90, 1}, {2000, 9}, {9, 700}, {161, 123}};
    const int qualities[] = {1, 10, 50, 75, 90, 95, 100};
    Tally tally;
    int n = 0;
    for (const char* sampling : samplings) {
        for (auto size : sizes) {
            const std::string arguments = "-quality " + std::to_string(qualities[n % 7]) + " " + sampling + " " + extras[n % 6];
            std::vector<uint8_t> file = EncodeWithCjpeg(MakePhotoLikePicture(size.first, size.second, unsigned(n++)), arguments);
            ASSERT_FALSE(file.empty()) << arguments;
            EXPECT_TRUE(Agree(file, &tally)) << arguments << ", " << size.first << "x" << size.second;
        }
    }
    EXPECT_GT(tally.succeeded, tally.compared / 2);  // only frames too small to upsample are refused
}

// Largest coefficients the format carries (15-bit DC differences that
// accumulate, 15-bit AC values, quantisation up to 255), so products and
// transform sums wrap around. DC sizes 0 to 15 in 4 bits, every AC symbol in 8.
HandMade ExtremeTables(uint8_t quant) {
    HandMade m(quant);
    m.dc = {4, {}};
    for (int s = 0; s < 16; ++s) m.dc.symbols.push_back(uint8_t(s));
    m.ac = {8, {0x00, 0xF0}};
    for (int run = 0; run < 16; ++run)
        for (int size = 1; size < 16; ++size) m.ac.symbols.push_back(uint8_t(run << 4 | size));
    return m;
}

int RandomValue(Prng& r) {  // mostly of the largest sizes
    const int size = r.Below(2) ? 15 - r.Below(3) : 1 + r.Below(15);
    const int v = (1 << (size - 1)) + r.Below(1 << (size - 1));
    return r.Below(2) ? v : -v;
}

std::vector<uint8_t> RandomExtreme(Prng& r, int width, int height, const std::vector<FrameComponent>& frame, int restart) {
    HandMade m = ExtremeTables(0);
    m.width = width;
    m.height = height;
    m.frame = frame;
    m.restartInterval = restart;
    for (auto& table : m.quant)
        for (uint8_t& q : table) q = uint8_t(r.Below(3) ? 255 - r.Below(8) : r.Below(256));
    int maxX = 1, maxY = 1;
    for (const auto& c : frame) maxX = std::max(maxX, c.samplingX), maxY = std::max(maxY, c.samplingY);
    if (frame.size() == 1) maxX = maxY = 1;  // one block per MCU
    const int mcus = ((width + 8 * maxX - 1) / (8 * maxX)) * ((height + 8 * maxY - 1) / (8 * maxY));
    BitWriter bits;
    for (int i = 0; i < mcus; ++i) {
        for (const auto& c : frame) {
            for (int b = 0; b < (frame.size() == 1 ? 1 : c.samplingX * c.samplingY); ++b) {
                bits.PutDc(m.dc, r.Below(8) ? RandomValue(r) : 0);
                int k = 0;
                for (; k < 63 && r.Below(6); ++k) {
                    const int run = k + 16 < 63 && r.Below(10) == 0 ? 15 : r.Below(4) ? 0 : r.Below(std::min(16, 63 - k));
                    if (run == 15 && r.Below(2)) bits.PutSymbol(m.ac, 0xF0);  // sixteen zeros
                    else bits.PutCoefficient(m.ac, run, RandomValue(r));
                    k += run;
                }
                if (k < 63) bits.PutEndOfBlock(m.ac);
            }
        }
        if (restart && i + 1 < mcus && (i + 1) % restart == 0) bits.Marker(uint8_t(0xD0 + ((i + 1) / restart - 1) % 8));
    }
    bits.Finish();
    return m.Build(bits.data);
}

TEST(JpegDifferential, ExtremeCoefficientsWrapAroundAlike) {
    Prng r(7);
    Tally tally;
    for (int round = 0; round < 160; ++round) {
        // One or three components, power-of-two factors, at least three samples each way.
        std::vector<FrameComponent> frame;
        for (int i = 0, count = round % 4 ? 3 : 1; i < count; ++i)
            frame.push_back({i + 1, 1 << r.Below(i ? 2 : 4), 1 << r.Below(i ? 2 : 3), i ? 1 : 0});
        const int width = 24 + r.Below(40), height = 17 + r.Below(30), restart = r.Below(3) ? 0 : 1 + r.Below(3);
        EXPECT_TRUE(Agree(RandomExtreme(r, width, height, frame, restart), &tally)) << "round " << round;
    }
    EXPECT_EQ(tally.succeeded, tally.compared);
    // The DC predictor's product with the quantisation entry wraps around after
    // 257 blocks of the largest difference, the predictor itself after 65,538.
    HandMade m = ExtremeTables(255);
    for (auto size : {std::make_pair(160, 128), std::make_pair(2048, 2064)}) {
        m.width = size.first;
        m.height = size.second;
        BitWriter bits;
        for (int b = 0; b < size.first / 8 * (size.second / 8); ++b) {
            bits.PutDc(m.dc, b % 97 == 96 ? -32767 : 32767);
            bits.PutEndOfBlock(m.ac);
        }
        bits.Finish();
        EXPECT_TRUE(Agree(m.Build(bits.data))) << size.first << "x" << size.second;
    }
}

std::vector<std::vector<uint8_t>> SmallFiles() {
    Prng r(5);
    return {EncodeWithCjpeg(MakePhotoLikePicture(24, 16, 1), "-quality 80 -sample 2x2"),
            EncodeWithCjpeg(MakePhotoLikePicture(19, 11, 2), "-quality 95 -sample 1x1"),
            EncodeWithCjpeg(MakePhotoLikePicture(21, 13, 3, 1), "-grayscale"),
            EncodeWithCjpeg(MakePhotoLikePicture(32, 24, 4), "-quality 85 -restart 1B -sample 2x1"),
            EncodeWithCjpeg(MakePhotoLikePicture(17, 17, 5, 1), "-grayscale -restart 2B -optimize"),
            RandomExtreme(r, 17, 9, {{1, 2, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}, 2)};
}

size_t ScanDataStart(const std::vector<uint8_t>& f) {  // after the first scan header
    for (size_t i = 2; i + 4 <= f.size() && f[i] == 0xFF;) {
        const size_t next = i + 2 + (size_t(f[i + 2]) << 8 | f[i + 3]);
        if (f[i + 1] == 0xDA) return next;
        i = next;
    }
    return f.size();
}

// Every truncation; then random edits, half of them in the entropy-coded
// data: damaged bytes, markers and junk inside and right after it, restart
// markers renumbered or dropped, data cut short before the end marker.
TEST(JpegDifferential, TruncationsAndRandomMutations) {
    Prng r(2024);
    Tally tally;
    const auto files = SmallFiles();
    for (const auto& file : files) {
        ASSERT_FALSE(file.empty());
        for (size_t cut = 0; cut <= file.size(); ++cut)
            ASSERT_TRUE(Agree(std::vector<uint8_t>(file.begin(), file.begin() + long(cut)), &tally));
    }
    EXPECT_GE(tally.succeeded, 5);  // cut inside the data, read on as 1-bits
    EXPECT_GT(tally.malformed, 100);
    tally = Tally();
    const std::vector<uint8_t> inserts[] = {{0xFF, 0xD9}, {0xFF, 0xFF}, {0xFF, 0xD3}, {0xFF, 0x01},
                                            {0xFF, 0xC4}, {0xFF},       {0x12, 0xFF, 0x00, 0x34}};
    for (int round = 0; round < 4000; ++round) {
        const std::vector<uint8_t>& original = files[size_t(round) % files.size()];
        std::vector<uint8_t> f = original;
        const size_t start = ScanDataStart(f), end = original.size() - 2;  // the end-of-image marker
        for (int e = 0, edits = 1 + r.Below(3); e < edits && f.size() > start; ++e) {
            const size_t at = r.Below(2) ? start + size_t(r.Below(int(f.size() - start))) : size_t(r.Below(int(f.size())));
            const std::vector<uint8_t>& insert = inserts[r.Below(7)];
            switch (r.Below(10)) {
                case 0: f[at] = uint8_t(r()); break;
                case 1: f[at] ^= uint8_t(1 << r.Below(8)); break;
                case 2: f.insert(f.begin() + long(at), {0xFF, uint8_t(r())}); break;
                case 3: f.erase(f.begin() + long(at)); break;
                case 4: f[at] = 0xFF; break;
                case 5: f.resize(at); break;
                case 6: f.insert(f.begin() + long(at), insert.begin(), insert.end()); break;
                case 7:  // right after the last MCU, in place of the end marker or after it
                    f.resize(std::min(f.size(), end + size_t(r.Below(2)) * 2));
                    f.insert(f.end(), insert.begin(), insert.end());
                    break;
                case 8:  // the data cut a few bytes short, then the end marker
                    f.resize(std::max(start, std::min(f.size(), end - 1 - size_t(r.Below(4)))));
                    f.insert(f.end(), {0xFF, 0xD9});
                    break;
                default:  // a restart marker renumbered or dropped
                    for (size_t i = at; i + 1 < f.size(); ++i) {
                        if (f[i] != 0xFF || (f[i + 1] & 0xF8) != 0xD0) continue;
                        if (r.Below(2)) f[i + 1] = uint8_t(0xD0 + ((f[i + 1] + 1 + r.Below(7)) & 7));
                        else f.erase(f.begin() + long(i), f.begin() + long(i) + 2);
                        break;
                    }
            }
        }
        ASSERT_TRUE(Agree(f, &tally)) << "round " << round;
    }
    EXPECT_GT(tally.succeeded, 400);
    EXPECT_GT(tally.malformed, 400);
}

}  // namespace
