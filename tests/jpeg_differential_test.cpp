// The plug-in's decoder against the plain reference decoder: result code,
// size and every output byte must agree, with the vector code allowed and
// forbidden, and nothing may leak, on real encodings, extreme hand-made
// coefficient streams, truncations, mutations and damaged entropy-coded data.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "jpeg_test_util.h"
#include "reference/ReferenceJpeg.h"
#include "support/JpegFixtures.h"

using namespace lvs_test;

namespace {

// What the comparisons saw, so that a family of inputs can prove it reached
// the decoding and the failure paths it is meant for.
struct Tally {
    int compared = 0, succeeded = 0, malformed = 0;
};

testing::AssertionResult Agree(const std::vector<uint8_t>& file, Tally* tally = nullptr) {
    std::vector<uint8_t> exact(file);
    const lvs_reference::RefResult ref = lvs_reference::ReferenceDecode(exact.data(), exact.size());
    if (tally) {
        ++tally->compared;
        tally->succeeded += ref.result == Jpeg::Decoder::Success;
        tally->malformed += ref.result == Jpeg::Decoder::MalformedData;
    }
    std::string why;
    for (bool vector : {false, true}) {
        Jpeg::Decoder::AllowVectorCode(vector);
        {
            std::unique_ptr<Jpeg::Decoder> d = Decode(file);
            if (d->GetResult() != ref.result)
                why = "result " + std::to_string(d->GetResult()) + ", reference " + std::to_string(ref.result);
            else if (d->GetWidth() != ref.width || d->GetHeight() != ref.height)
                why = "size " + std::to_string(d->GetWidth()) + "x" + std::to_string(d->GetHeight());
            for (size_t i = 0; why.empty() && i < ref.image.size(); ++i)
                if (d->GetImage()[i] != ref.image[i])
                    why = "byte " + std::to_string(i) + " is " + std::to_string(d->GetImage()[i]) +
                          ", reference " + std::to_string(ref.image[i]);
        }
        if (why.empty() && MemoryLog::live != 0) why = "memory not released";
        if (!why.empty()) {
            Jpeg::Decoder::AllowVectorCode(true);
            return testing::AssertionFailure() << (vector ? "vector" : "portable") << " code: " << why
                                               << "; input of " << file.size() << " bytes";
        }
    }
    return testing::AssertionSuccess();
}

// Deterministic generator for pictures, streams and mutations.
struct Prng {
    uint64_t state;
    explicit Prng(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return uint32_t(state >> 11);
    }
    int Below(int n) { return int(Next() % uint32_t(n)); }
};

// Offset of the first entropy-coded byte (after the first scan header).
size_t ScanDataStart(const std::vector<uint8_t>& f) {
    for (size_t i = 2; i + 4 <= f.size() && f[i] == 0xFF;) {
        const size_t next = i + 2 + (size_t(f[i + 2]) << 8 | f[i + 3]);
        if (f[i + 1] == 0xDA) return next;
        i = next;
    }
    return f.size();
}

// cjpeg files: every sampling it writes, sizes from 1 x 1, qualities from 1
// to 100, restart intervals, optimised tables.
TEST(JpegDifferential, RealEncodingsOfEverySamplingSizeQualityAndRestart) {
    const char* samplings[] = {"-sample 1x1", "-sample 2x1", "-sample 2x2", "-sample 1x2",
                               "-sample 4x1", "-sample 2x2,1x1,2x2", "-sample 1x1,2x2,2x2",
                               "-grayscale", "-grayscale -sample 2x2", "-grayscale -sample 4x1"};
    const char* extras[] = {"", "-restart 1B", "-optimize", "-restart 3B -optimize", "-restart 1", "-restart 7B"};
    const std::pair<int, int> sizes[] = {{1, 1},   {1, 7},   {7, 1},    {3, 3},   {5, 5},
                                         {9, 9},   {15, 17}, {17, 15},  {33, 31}, {64, 48},
                                         {1, 90},  {90, 1},  {2000, 9}, {9, 700}, {161, 123}};
    const int qualities[] = {1, 10, 50, 75, 90, 95, 100};
    Tally tally;
    int n = 0;
    for (const char* sampling : samplings) {
        for (auto size : sizes) {
            const std::string arguments = "-quality " + std::to_string(qualities[n % 7]) + " " + sampling +
                                          " " + extras[n % 6];
            std::vector<uint8_t> file = EncodeWithCjpeg(MakePhotoLikePicture(size.first, size.second, unsigned(n++)), arguments);
            ASSERT_FALSE(file.empty()) << arguments;
            EXPECT_TRUE(Agree(file, &tally)) << arguments << ", " << size.first << "x" << size.second;
        }
    }
    EXPECT_GT(tally.succeeded, tally.compared / 2);  // only frames too small to upsample are refused
}

// Streams with the largest coefficients the format can carry: 15-bit DC
// differences that accumulate, 15-bit AC values, quantisation entries up to
// 255, so that products and transform sums wrap around. DC sizes 0 to 15
// with 4-bit codes; every valid AC symbol with an 8-bit code.
HandMade ExtremeTables(uint8_t quant) {
    HandMade m(quant);
    m.dc = {4, {}};
    for (int s = 0; s < 16; ++s) m.dc.symbols.push_back(uint8_t(s));
    m.ac = {8, {0x00, 0xF0}};
    for (int run = 0; run < 16; ++run)
        for (int size = 1; size < 16; ++size) m.ac.symbols.push_back(uint8_t(run << 4 | size));
    return m;
}

// A value of the given size in bits (1 to 15), mostly the largest size.
int RandomValue(Prng& r) {
    const int size = r.Below(2) ? 15 - r.Below(3) : 1 + r.Below(15);
    const int v = (1 << (size - 1)) + r.Below(1 << (size - 1));
    return r.Below(2) ? v : -v;
}

// A whole random file: quantisation entries mostly near 255, blocks of random
// runs, zero-run symbols and ends of block, restart markers in sequence.
std::vector<uint8_t> RandomExtreme(Prng& r, int width, int height, const std::vector<FrameComponent>& frame,
                                   int restart) {
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
                for (int k = 0; k < 63;) {
                    if (r.Below(6) == 0) {
                        bits.PutEndOfBlock(m.ac);
                        break;
                    }
                    const int run = k + 16 < 63 && r.Below(10) == 0 ? 15 : r.Below(4) ? 0 : r.Below(std::min(16, 63 - k));
                    if (run == 15 && r.Below(2)) bits.PutSymbol(m.ac, 0xF0);  // sixteen zeros
                    else bits.PutCoefficient(m.ac, run, RandomValue(r));
                    k += run + 1;
                }
            }
        }
        if (restart && i + 1 < mcus && (i + 1) % restart == 0) bits.Marker(uint8_t(0xD0 + ((i + 1) / restart - 1) % 8));
    }
    bits.Finish();
    return m.Build(bits.Data());
}

TEST(JpegDifferential, ExtremeCoefficientsWrapAroundAlike) {
    Prng r(7);
    Tally tally;
    for (int round = 0; round < 160; ++round) {
        // One or three components with random power-of-two factors; every
        // component keeps at least three samples across and down.
        std::vector<FrameComponent> frame;
        for (int i = 0, count = round % 4 ? 3 : 1; i < count; ++i)
            frame.push_back({i + 1, 1 << r.Below(i ? 2 : 4), 1 << r.Below(i ? 2 : 3), i ? 1 : 0});
        const int width = 24 + r.Below(40), height = 17 + r.Below(30), restart = r.Below(3) ? 0 : 1 + r.Below(3);
        EXPECT_TRUE(Agree(RandomExtreme(r, width, height, frame, restart), &tally)) << "round " << round;
    }
    EXPECT_EQ(tally.succeeded, tally.compared);
}

// Coefficients of 16384 with quantisation 128 make 2^21, whose shift by 11
// in the row pass (and, as 2^24 after it, by 8 in the column pass) wraps to
// 0, so the transform's zero tests see zero although the coefficient is not;
// with a large DC the two readings give different samples.
TEST(JpegDifferential, TransformZeroTestsSeeWrappedValues) {
    const HandMade m = ExtremeTables(128);
    for (int zigzagIndex : {14, 10}) {  // row 0 column 4; row 4 column 0
        for (int dc : {32767, -32767, 9000, 1000}) {
            BitWriter bits;
            bits.PutDc(m.dc, dc);
            bits.PutCoefficient(m.ac, zigzagIndex - 1, 16384);
            bits.PutEndOfBlock(m.ac);
            bits.Finish();
            EXPECT_TRUE(Agree(m.Build(bits.Data()))) << "index " << zigzagIndex << ", DC " << dc;
        }
    }
}

// The DC predictor and its product with the quantisation entry wrap around
// over many blocks of the largest difference: the product after 257 blocks,
// the predictor itself after 65,538 (a 2048 by 2064 grey frame).
TEST(JpegDifferential, DcPredictorWrapsAroundAlike) {
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
        EXPECT_TRUE(Agree(m.Build(bits.Data()))) << size.first << "x" << size.second;
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

TEST(JpegDifferential, TruncatedAtEveryLength) {
    Tally tally;
    for (const auto& file : SmallFiles()) {
        ASSERT_FALSE(file.empty());
        for (size_t cut = 0; cut <= file.size(); ++cut)
            ASSERT_TRUE(Agree(std::vector<uint8_t>(file.begin(), file.begin() + long(cut)), &tally));
    }
    EXPECT_GE(tally.succeeded, 5);  // cut inside the data, read on as 1-bits
    EXPECT_GT(tally.malformed, 100);
}

// Random edits to small files, half of them in the entropy-coded data where
// the bit reader and the block decoder meet them: damaged bytes, markers and
// junk inside and right after the data, restart markers renumbered or
// missing, data cut short before the end marker.
TEST(JpegDifferential, RandomMutations) {
    Prng r(2024);
    Tally tally;
    const auto files = SmallFiles();
    const std::vector<uint8_t> inserts[] = {{0xFF, 0xD9}, {0xFF, 0xFF}, {0xFF, 0xD3}, {0xFF, 0x01},
                                            {0xFF, 0xC4}, {0xFF}, {0x12, 0xFF, 0x00, 0x34}};
    for (int round = 0; round < 4000; ++round) {
        std::vector<uint8_t> f = files[size_t(round) % files.size()];
        const size_t start = ScanDataStart(f);
        for (int e = 0, edits = 1 + r.Below(3); e < edits && f.size() > start; ++e) {
            const size_t at = r.Below(2) ? start + size_t(r.Below(int(f.size() - start)))
                                         : size_t(r.Below(int(f.size())));
            const std::vector<uint8_t>& insert = inserts[r.Below(7)];
            const size_t end = std::min(f.size(), files[size_t(round) % files.size()].size() - 2);  // end of image
            switch (r.Below(10)) {
                case 0: f[at] = uint8_t(r.Next()); break;
                case 1: f[at] ^= uint8_t(1 << r.Below(8)); break;
                case 2: f.insert(f.begin() + long(at), {0xFF, uint8_t(r.Next())}); break;
                case 3: f.erase(f.begin() + long(at)); break;
                case 4: f[at] = 0xFF; break;
                case 5: f.resize(at); break;
                case 6: f.insert(f.begin() + long(at), insert.begin(), insert.end()); break;
                case 7:  // right after the last MCU, in place of the end marker or after it
                    f.resize(std::min(f.size(), end + size_t(r.Below(2)) * 2));
                    f.insert(f.end(), insert.begin(), insert.end());
                    break;
                case 8:  // the data cut a few bytes short, then the end marker
                    f.resize(std::max(start, end - 1 - size_t(r.Below(4))));
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
