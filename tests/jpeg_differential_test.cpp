// The plug-in's decoder against the plain reference decoder: result code,
// size and every output byte must agree, with the vector code allowed and
// forbidden, on real encodings, extreme hand-made coefficient streams,
// truncations, mutations and damaged entropy-coded data.
#include <gtest/gtest.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "jpeg_test_util.h"
#include "reference/ReferenceJpeg.h"
#include "support/JpegFixtures.h"

using namespace lvs_test;
using lvs_reference::ReferenceDecode;
using lvs_reference::RefResult;

namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    char buffer[4];
    for (uint8_t b : bytes) {
        std::snprintf(buffer, sizeof buffer, "%02X", b);
        s += buffer;
    }
    return s;
}

// Tallies of what the comparisons saw, so that a family of inputs can prove
// it reached the decoding and the failure paths it is meant for.
struct Tally {
    int compared = 0, succeeded = 0, malformed = 0;
};

testing::AssertionResult Agree(const std::vector<uint8_t>& file, Tally* tally = nullptr) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[file.size() + 1]);
    std::copy(file.begin(), file.end(), exact.get());
    RefResult ref = ReferenceDecode(exact.get(), file.size());
    if (tally) {
        ++tally->compared;
        tally->succeeded += ref.result == 0;
        tally->malformed += ref.result == Jpeg::Decoder::MalformedData;
    }
    for (bool vector : {false, true}) {
        Jpeg::Decoder::AllowVectorCode(vector);
        std::unique_ptr<Jpeg::Decoder> d = Decode(file);
        std::ostringstream why;
        const char* mode = vector ? "vector" : "portable";
        if (d->GetResult() != ref.result)
            why << "result " << int(d->GetResult()) << " (reference " << ref.result << ")";
        else if (d->GetWidth() != ref.width || d->GetHeight() != ref.height)
            why << "size " << d->GetWidth() << "x" << d->GetHeight() << " (reference "
                << ref.width << "x" << ref.height << ")";
        else if (!ref.image.empty()) {
            const uint8_t* image = d->GetImage();
            int channels = ref.components;
            for (size_t i = 0; i < ref.image.size() && why.str().empty(); ++i) {
                if (image[i] != ref.image[i]) {
                    size_t pixel = i / channels;
                    why << "byte " << i << " (x " << pixel % ref.width << ", y "
                        << pixel / ref.width << ", channel " << i % channels << ") is "
                        << int(image[i]) << ", reference " << int(ref.image[i]);
                }
            }
        }
        if (!why.str().empty()) {
            Jpeg::Decoder::AllowVectorCode(true);
            return testing::AssertionFailure()
                   << mode << " code: " << why.str() << "; input " << file.size() << " bytes"
                   << (file.size() <= 600 ? ": " + Hex(file) : std::string());
        }
    }
    Jpeg::Decoder::AllowVectorCode(true);
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

std::vector<uint8_t> Turbo(const Picture& p, int sampling, int quality) {
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> out;
    if (tjCompress2(handle, p.pixels.data(), p.width, 0, p.height,
                    p.channels == 1 ? TJPF_GRAY : TJPF_RGB, &jpeg, &size, sampling, quality,
                    0) == 0)
        out.assign(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(handle);
    return out;
}

// Offset of the first entropy-coded byte (after the first scan header).
size_t ScanDataStart(const std::vector<uint8_t>& f) {
    size_t i = 2;
    while (i + 4 <= f.size() && f[i] == 0xFF) {
        size_t length = size_t(f[i + 2]) << 8 | f[i + 3];
        if (f[i + 1] == 0xDA) return i + 2 + length;
        i += 2 + length;
    }
    return f.size();
}

TEST(JpegDifferential, TurboJpegEncodingsOfEverySamplingSizeAndQuality) {
    const int samplings[] = {TJSAMP_444, TJSAMP_422, TJSAMP_420, TJSAMP_440, TJSAMP_411,
                             TJSAMP_GRAY};
    const std::pair<int, int> sizes[] = {{1, 1},  {1, 7},   {7, 1},   {3, 3},    {5, 5},
                                         {9, 9},  {15, 17}, {17, 15}, {33, 31},  {64, 48},
                                         {1, 90}, {90, 1},  {2000, 9}, {9, 700}, {161, 123}};
    const int qualities[] = {1, 10, 50, 75, 90, 95, 100};
    Tally tally;
    int n = 0;
    for (int sampling : samplings) {
        for (auto size : sizes) {
            for (int q = 0; q < 3; ++q, ++n) {
                int quality = qualities[(n * 3 + q) % 7];
                Picture p = MakePhotoLikePicture(size.first, size.second, unsigned(n),
                                                 sampling == TJSAMP_GRAY ? 1 : 3);
                std::vector<uint8_t> file = Turbo(p, sampling, quality);
                ASSERT_FALSE(file.empty());
                EXPECT_TRUE(Agree(file, &tally))
                    << "sampling " << sampling << ", " << size.first << "x" << size.second
                    << ", quality " << quality;
            }
        }
    }
    // Only the frames too narrow or short to upsample are refused.
    EXPECT_GT(tally.succeeded, tally.compared * 3 / 4);
}

TEST(JpegDifferential, CjpegRestartsOptimisedTablesAndUnusualSampling) {
    const char* arguments[] = {
        "-quality 90 -restart 1B",         "-quality 75 -restart 2B -sample 2x2",
        "-quality 100 -restart 3B -sample 2x1", "-quality 60 -restart 7B -sample 1x2",
        "-quality 85 -restart 1 -sample 4x1",   "-quality 95 -optimize",
        "-quality 50 -optimize -sample 2x2",    "-quality 100 -optimize -restart 5B",
        "-quality 80 -sample 2x2,1x1,1x1",      "-quality 80 -sample 1x1,2x2,2x2",
        "-quality 80 -sample 4x2,2x1,1x1",      "-quality 80 -sample 2x4,1x2,1x1",
        "-quality 80 -sample 4x4,1x1,1x1",      "-quality 90 -sample 2x2,1x1,2x2 -restart 4B",
        "-quality 90 -grayscale -sample 2x2",   "-quality 70 -grayscale -sample 2x2 -restart 3B",
        "-quality 100 -grayscale -optimize",    "-quality 30 -grayscale -sample 4x1 -restart 1B",
    };
    const std::pair<int, int> sizes[] = {{37, 29}, {64, 64}, {131, 17}, {23, 77}};
    Tally tally;
    int made = 0, n = 0;
    for (const char* a : arguments) {
        for (auto size : sizes) {
            Picture p = MakePhotoLikePicture(size.first, size.second, unsigned(100 + n++));
            std::vector<uint8_t> file = EncodeWithCjpeg(p, a);
            if (file.empty()) continue;  // a combination cjpeg refuses
            ++made;
            EXPECT_TRUE(Agree(file, &tally)) << a << ", " << size.first << "x" << size.second;
        }
    }
    EXPECT_GE(made, 48);
    EXPECT_EQ(tally.succeeded, tally.compared);
}

// Hand-made streams with the largest coefficients the format can carry:
// 15-bit DC differences that accumulate, 15-bit AC values, quantisation
// entries up to 255, so that products and transform sums wrap around.
struct ExtremeStream {
    // DC: sizes 0 to 15 with 4-bit codes. AC: every symbol, 0x00 to 0xFD with
    // 8-bit codes and 0xFE, 0xFF with 9-bit codes (a count byte holds 255),
    // and two more 9-bit codes for end of block. Both code sets fill the
    // whole space, so data that ran out decodes on as 1-bits, without end.
    FixedCodeTable dc{4, {}};
    ExtremeStream() {
        for (int s = 0; s < 16; ++s) dc.symbols.push_back(uint8_t(s));
    }
    static void PutAc(BitWriter& bits, int symbol) {
        if (symbol < 254)
            bits.Put(uint32_t(symbol), 8);
        else
            bits.Put(uint32_t(508 + symbol - 254), 9);
    }
    static int SizeOf(int v) {
        int size = 0;
        for (int m = v < 0 ? -v : v; m; m >>= 1) ++size;
        return size;
    }
    static void PutAcValue(BitWriter& bits, int run, int value) {
        int size = SizeOf(value);
        PutAc(bits, run << 4 | size);
        bits.Put(uint32_t(value < 0 ? value + (1 << size) - 1 : value), size);
    }
    static int Value(Prng& r, int size) {
        int v = (1 << (size - 1)) + r.Below(1 << (size - 1));
        return r.Below(2) ? v : -v;
    }
    std::vector<uint8_t> Build(int width, int height, const std::vector<FrameComponent>& frame,
                               const uint8_t quant[2][64], int restart,
                               const std::vector<uint8_t>& entropy) const {
        JpegWriter w;
        w.Soi();
        for (int t = 0; t < 2; ++t) {
            std::vector<uint8_t> p(quant[t], quant[t] + 64);
            p.insert(p.begin(), uint8_t(t));
            w.Segment(0xDB, p);
        }
        uint8_t acCounts[16] = {};
        acCounts[7] = 254;
        acCounts[8] = 4;
        std::vector<uint8_t> acSymbols;
        for (int s = 0; s < 256; ++s) acSymbols.push_back(uint8_t(s));
        acSymbols.insert(acSymbols.end(), {0x00, 0x00});
        for (int id = 0; id < 2; ++id) w.Dht(0, id, dc).Dht(1, id, acCounts, acSymbols);
        w.Sof(width, height, frame);
        if (restart) w.Dri(restart);
        std::vector<ScanComponent> scan;
        for (size_t i = 0; i < frame.size(); ++i)
            scan.push_back({frame[i].id, i ? 1 : 0, i ? 1 : 0});
        return w.Sos(scan).Bytes(entropy).Data();
    }
    // A whole random file: quantisation entries mostly near 255, every
    // block from Block, restart markers in sequence.
    std::vector<uint8_t> Random(Prng& r, int width, int height,
                                const std::vector<FrameComponent>& frame, int restart) const {
        uint8_t quant[2][64];
        for (auto& table : quant)
            for (uint8_t& q : table) q = uint8_t(r.Below(3) ? 255 - r.Below(8) : r.Below(256));
        int maxX = 1, maxY = 1;
        for (const auto& c : frame)
            maxX = std::max(maxX, c.samplingX), maxY = std::max(maxY, c.samplingY);
        if (frame.size() == 1) maxX = maxY = 1;
        int mcus = ((width + 8 * maxX - 1) / (8 * maxX)) * ((height + 8 * maxY - 1) / (8 * maxY));
        BitWriter bits;
        for (int m = 0; m < mcus; ++m) {
            for (const auto& c : frame) {
                int blocks = frame.size() == 1 ? 1 : c.samplingX * c.samplingY;
                for (int b = 0; b < blocks; ++b) Block(r, bits);
            }
            if (restart && m + 1 < mcus && (m + 1) % restart == 0)
                bits.Marker(uint8_t(0xD0 + ((m + 1) / restart - 1) % 8));
        }
        bits.Finish();
        return Build(width, height, frame, quant, restart, bits.Data());
    }
    void Block(Prng& r, BitWriter& bits) const {
        int size = r.Below(3) ? 15 - r.Below(4) : r.Below(16);
        bits.PutDc(dc, size ? Value(r, size) : 0);
        for (int k = 0; k < 63;) {
            if (r.Below(6) == 0) {
                PutAc(bits, 0x00);
                return;
            }
            if (k + 16 < 63 && r.Below(10) == 0) {
                PutAc(bits, 0xF0);
                k += 16;
                continue;
            }
            int run = r.Below(4) ? 0 : r.Below(std::min(16, 63 - k));
            int s = r.Below(2) ? 15 - r.Below(3) : 1 + r.Below(15);
            PutAcValue(bits, run, Value(r, s));
            k += run + 1;
        }
    }
};

TEST(JpegDifferential, ExtremeCoefficientsWrapAroundAlike) {
    ExtremeStream stream;
    const std::vector<std::vector<FrameComponent>> frames = {
        {{1, 1, 1, 0}},
        {{1, 1, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}},
        {{1, 2, 2, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}},
        {{1, 2, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}},
        {{1, 1, 2, 0}, {2, 1, 1, 1}, {3, 1, 2, 1}},
        {{1, 4, 1, 0}, {2, 1, 1, 1}, {3, 2, 1, 1}},
        {{1, 8, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}},
        {{1, 1, 8, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}},
        {{1, 1, 1, 0}, {2, 2, 1, 1}, {3, 1, 2, 1}},
        {{1, 4, 2, 0}},
    };
    Prng r(7);
    Tally tally;
    for (int round = 0; round < 240; ++round) {
        const auto& frame = frames[size_t(round) % frames.size()];
        int width = 24 + r.Below(40), height = 17 + r.Below(30);
        int restart = r.Below(3) == 0 ? 1 + r.Below(3) : 0;
        EXPECT_TRUE(Agree(stream.Random(r, width, height, frame, restart), &tally))
            << "round " << round;
    }
    EXPECT_EQ(tally.succeeded, tally.compared);
}

// Coefficients of 16384 with quantisation 128 make 2^21, whose shift by 11
// in the row pass (and, as 2^24 after it, by 8 in the column pass) wraps to
// 0, so the transform's zero tests see zero although the coefficient is not;
// with a large DC the two readings give different samples.
TEST(JpegDifferential, TransformZeroTestsSeeWrappedValues) {
    ExtremeStream stream;
    uint8_t quant[2][64];
    for (auto& table : quant)
        for (uint8_t& q : table) q = 128;
    for (int zigzagIndex : {14, 10}) {  // row 0 column 4; row 4 column 0
        for (int dc : {32767, -32767, 9000, 1000}) {
            BitWriter bits;
            bits.PutDc(stream.dc, dc);
            ExtremeStream::PutAcValue(bits, zigzagIndex - 1, 16384);
            ExtremeStream::PutAc(bits, 0x00);
            bits.Finish();
            EXPECT_TRUE(Agree(stream.Build(8, 8, {{1, 1, 1, 0}}, quant, 0, bits.Data())))
                << "index " << zigzagIndex << ", DC " << dc;
        }
    }
}

// Every code is looked up on a peek of 16 bits, which takes in bytes beyond
// the code itself: a broken marker or a final 0xFF within those bytes fails
// the run, one further away does not. A grey 8x8 block of a 4-bit DC code
// and an 8-bit end of block fills 12 bits, padded to two bytes.
TEST(JpegDifferential, SixteenBitPeekMeetsBytesAfterTheLastCode) {
    HandMade grey;
    BitWriter bits;
    bits.PutDc(grey.dc, 0);
    bits.PutEndOfBlock(grey.ac);
    bits.Finish();
    const std::vector<std::vector<uint8_t>> tails = {
        {},           {0xFF},       {0xFF, 0x01},       {0xFF, 0xFF},       {0xFF, 0xD9},
        {0x00, 0xFF}, {0xFF, 0xD4}, {0x00, 0xFF, 0x01}, {0x00, 0x00, 0xFF}, {0x00, 0x00, 0xFF, 0x01}};
    Tally tally;
    for (const auto& tail : tails) {
        std::vector<uint8_t> entropy = bits.Data();
        entropy.insert(entropy.end(), tail.begin(), tail.end());
        EXPECT_TRUE(Agree(grey.Build(entropy), &tally)) << "tail " << Hex(tail);
    }
    EXPECT_GE(tally.succeeded, 4);
    EXPECT_GE(tally.malformed, 3);
}

// The DC predictor and its product with the quantisation entry wrap around
// over many blocks of the largest difference: the product after 257 blocks,
// the predictor itself after 65,538 (a 2048 by 2064 grey frame).
TEST(JpegDifferential, DcPredictorWrapsAroundAlike) {
    ExtremeStream stream;
    uint8_t quant[2][64];
    for (auto& table : quant)
        for (uint8_t& q : table) q = 255;
    for (auto size : {std::make_pair(160, 128), std::make_pair(2048, 2064)}) {
        BitWriter bits;
        for (int b = 0; b < size.first / 8 * (size.second / 8); ++b) {
            bits.PutDc(stream.dc, b % 97 == 96 ? -32767 : 32767);
            ExtremeStream::PutAc(bits, 0x00);
        }
        bits.Finish();
        EXPECT_TRUE(Agree(stream.Build(size.first, size.second, {{1, 1, 1, 0}}, quant, 0, bits.Data())))
            << size.first << "x" << size.second;
    }
}

// Header refusals and the size bound, compared as result code and size.
TEST(JpegDifferential, HeaderRefusalsAndSizeBound) {
    const std::vector<FrameComponent> grey = {{1, 1, 1, 0}};
    const std::vector<FrameComponent> yuv = {{1, 2, 2, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}};
    std::vector<std::vector<uint8_t>> files;
    const std::pair<int, int> sizes[] = {{0, 8},    {8, 0},        {0, 0},      {4, 9},
                                         {5, 5},    {9, 4},        {2048, 2048}, {2049, 2048},
                                         {65535, 1}, {65535, 65535}};
    for (auto size : sizes) {
        for (const auto* frame : {&grey, &yuv}) {
            files.push_back(JpegWriter().Soi().Sof(size.first, size.second, *frame).Data());
            files.push_back(JpegWriter().Soi().Sof(size.first, size.second, *frame).Bytes({0xFF, 0xC2}).Data());
        }
    }
    // Second frame headers, scans without frames, short and zero lengths.
    files.push_back(JpegWriter().Soi().Sof(16, 16, yuv).Sof(9, 7, grey).Data());
    files.push_back(JpegWriter().Soi().Sof(16, 16, grey).Sof(0, 7, yuv).Data());
    files.push_back(JpegWriter().Soi().Segment(0xDA, {0, 0, 63, 0}).Data());
    files.push_back(JpegWriter().Soi().Segment(0xDA, {1, 1, 0, 0, 63, 0}).Data());
    for (int length : {0, 1, 2, 3})
        for (uint8_t code : {0xE0, 0xFE, 0xC4, 0xDB, 0xDD, 0xC0, 0xDA})
            files.push_back(JpegWriter().Soi().Segment(code, {0, 0, 0}, length).Data());
    HandMade made;
    BitWriter bits;
    bits.PutDc(made.dc, 3);
    bits.PutEndOfBlock(made.ac);
    bits.Finish();
    files.push_back(made.Build(bits.Data()));
    for (const auto& f : files) EXPECT_TRUE(Agree(f));
}

std::vector<std::vector<uint8_t>> SmallFiles() {
    std::vector<std::vector<uint8_t>> files;
    files.push_back(Turbo(MakePhotoLikePicture(24, 16, 1), TJSAMP_420, 80));
    files.push_back(Turbo(MakePhotoLikePicture(19, 11, 2), TJSAMP_444, 95));
    files.push_back(Turbo(MakePhotoLikePicture(21, 13, 3, 1), TJSAMP_GRAY, 90));
    files.push_back(EncodeWithCjpeg(MakePhotoLikePicture(32, 24, 4), "-quality 85 -restart 1B -sample 2x1"));
    files.push_back(EncodeWithCjpeg(MakePhotoLikePicture(17, 17, 5, 1), "-grayscale -restart 2B -optimize"));
    Prng r(5);
    files.push_back(ExtremeStream().Random(r, 17, 9, {{1, 2, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}, 2));
    return files;
}

TEST(JpegDifferential, TruncatedAtEveryLength) {
    Tally tally;
    for (const auto& file : SmallFiles()) {
        ASSERT_FALSE(file.empty());
        for (size_t cut = 0; cut <= file.size(); ++cut)
            ASSERT_TRUE(Agree(std::vector<uint8_t>(file.begin(), file.begin() + cut), &tally));
    }
    EXPECT_GE(tally.succeeded, 5);  // cut inside the data, read on as 1-bits
    EXPECT_GT(tally.malformed, 100);
}

TEST(JpegDifferential, RandomMutations) {
    Prng r(2024);
    Tally tally;
    const auto files = SmallFiles();
    for (int round = 0; round < 4000; ++round) {
        std::vector<uint8_t> f = files[size_t(round) % files.size()];
        size_t start = ScanDataStart(f);
        int edits = 1 + r.Below(4);
        for (int e = 0; e < edits; ++e) {
            // Half of the edits land in the entropy-coded data, where the
            // bit reader and the block decoder meet them.
            size_t at = r.Below(2) && start < f.size() ? start + size_t(r.Below(int(f.size() - start)))
                                                      : size_t(r.Below(int(f.size())));
            switch (r.Below(6)) {
                case 0: f[at] = uint8_t(r.Next()); break;
                case 1: f[at] ^= uint8_t(1 << r.Below(8)); break;
                case 2: f.insert(f.begin() + long(at), {0xFF, uint8_t(r.Next())}); break;
                case 3: f.erase(f.begin() + long(at)); break;
                case 4: f[at] = 0xFF; break;
                default: f.resize(at); break;
            }
            if (f.empty()) break;
        }
        ASSERT_TRUE(Agree(f, &tally)) << "round " << round;
    }
    EXPECT_GT(tally.succeeded, 400);
    EXPECT_GT(tally.malformed, 400);
}

// Damage in and after the entropy-coded data of files with restart markers.
TEST(JpegDifferential, MarkersAndJunkInsideAndAfterTheData) {
    const auto files = SmallFiles();
    Tally tally;
    Prng r(99);
    for (const auto& original : files) {
        size_t start = ScanDataStart(original);
        ASSERT_LT(start + 2, original.size());
        size_t end = original.size() - 2;  // the end-of-image marker
        std::vector<size_t> restarts;
        for (size_t i = start; i + 1 < end; ++i)
            if (original[i] == 0xFF && original[i + 1] >= 0xD0 && original[i + 1] <= 0xD7)
                restarts.push_back(i);
        for (size_t at : restarts) {
            std::vector<uint8_t> f = original;
            f.erase(f.begin() + long(at), f.begin() + long(at) + 2);  // marker missing
            EXPECT_TRUE(Agree(f, &tally));
            f = original;
            f[at + 1] = uint8_t(0xD0 + ((f[at + 1] - 0xD0 + 1 + r.Below(7)) & 7));  // out of order
            EXPECT_TRUE(Agree(f, &tally));
        }
        const std::vector<std::vector<uint8_t>> inserts = {
            {0xFF, 0xD9}, {0xFF, 0xFF}, {0xFF, 0xD3}, {0xFF, 0x01}, {0xFF, 0xC4}, {0xFF}};
        for (const auto& insert : inserts) {
            for (int k = 0; k < 12; ++k) {
                std::vector<uint8_t> f = original;
                size_t at = start + size_t(r.Below(int(end - start)));
                f.insert(f.begin() + long(at), insert.begin(), insert.end());
                EXPECT_TRUE(Agree(f, &tally)) << Hex(insert) << " at " << at;
            }
            // The same bytes right after the last MCU, in place of the end
            // marker and after it, then with more bytes behind them.
            for (size_t keep : {end, end + 2}) {
                std::vector<uint8_t> f(original.begin(), original.begin() + long(keep));
                f.insert(f.end(), insert.begin(), insert.end());
                EXPECT_TRUE(Agree(f, &tally)) << Hex(insert) << " after the data";
                f.insert(f.end(), {0x12, 0xFF, 0x00, 0x34});
                EXPECT_TRUE(Agree(f, &tally)) << Hex(insert) << " after the data, then more";
            }
        }
        // The data cut a few bytes before its end, then the end marker.
        for (size_t back = 1; back <= 4; ++back) {
            std::vector<uint8_t> f(original.begin(), original.end() - 2 - long(back));
            f.insert(f.end(), {0xFF, 0xD9});
            EXPECT_TRUE(Agree(f, &tally));
        }
    }
    EXPECT_GT(tally.succeeded, 10);
    EXPECT_GT(tally.malformed, 10);
}

}  // namespace
