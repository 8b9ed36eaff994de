// The decoder on hand-made streams whose outcome is known exactly.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>

#include "jpeg_kernels.h"
#include "jpeg_test_util.h"

using namespace lvs_test;
using Jpeg::Decoder;

namespace {

// Every request failing in turn is reported, and nothing is left behind.
TEST(JpegMemory, FailedRequestsAreReportedAndReleaseEverything) {
  const std::vector<uint8_t> bytes = FlatStream(16, 16, k420, 6);
  for (int failAt = 0; failAt < 6; ++failAt) {  // three planes, RGB, one per chroma upsampling
    EXPECT_EQ(Decode(bytes, failAt)->GetResult(), Decoder::AllocationFailed) << failAt;
    EXPECT_EQ(MemoryLog::live, 0) << failAt;
  }
  EXPECT_EQ(Decode(bytes)->GetResult(), Decoder::Success);
  EXPECT_EQ(MemoryLog::requests, 6);
}

// A huge frame is refused before any request unless the input could hold it (512 pixels a byte).
TEST(JpegMemory, HugeFrameIsRefusedUnlessTheInputCouldHoldIt) {
  EXPECT_EQ(Decode(FrameOnly(65535, 65535, k420))->GetCause(), Decoder::Cause::TooManyPixels);
  EXPECT_EQ(MemoryLog::requests, 0);
  for (int64_t inputSize : {262143, 262144}) {  // 8192 x 16384 / 512
    JpegWriter w;
    w.Soi();
    for (int64_t left = inputSize - 2 - 13, n; left > 0; left -= n)  // the frame header takes 13
      w.Segment(0xFE, std::vector<uint8_t>(size_t((n = std::min<int64_t>(left, 65000)) - 4), 0));
    w.Sof(8192, 16384, kGrey);
    ASSERT_EQ(int64_t(w.data.size()), inputSize);
    EXPECT_EQ(Decode(w.data, 0)->GetResult(),
              inputSize == 262144 ? Decoder::AllocationFailed : Decoder::UnsupportedFeature);
    EXPECT_EQ(MemoryLog::requests, inputSize == 262144 ? 1 : 0);
  }
}

// A caller that takes only one size gets no pixel memory for another, but
// the frame header that counts is the last one before the scan.
TEST(JpegMemory, AFrameOfAnotherSizeThanRequiredGetsNoMemory) {
  auto decodeOnly = [](const std::vector<uint8_t>& bytes, int width, int height) {
    MemoryLog::live = MemoryLog::requests = 0, MemoryLog::failAt = -1;
    return std::make_unique<Decoder>(bytes.data(), bytes.size(), MemoryLog::Allocate, MemoryLog::Release, width,
                                     height);
  };
  HandMade m;
  m.width = m.height = 16;
  const std::vector<uint8_t> good = m.Build(m.FlatEntropy({0, 80, -80, 0}));
  EXPECT_EQ(decodeOnly(good, 16, 16)->GetResult(), Decoder::Success);

  auto wrong = decodeOnly(good, 16, 17);
  EXPECT_EQ(wrong->GetResult(), Decoder::UnsupportedFeature);
  EXPECT_EQ(wrong->GetCause(), Decoder::Cause::OtherFrameSize);
  EXPECT_EQ(wrong->GetWidth(), 16);
  EXPECT_EQ(MemoryLog::requests, 0);

  // A large frame header before the real one costs nothing; one after it
  // replaces it and is refused.
  auto find = [](const std::vector<uint8_t>& bytes, uint8_t marker) {
    const uint8_t code[2] = {0xFF, marker};
    return std::ptrdiff_t(std::search(bytes.begin(), bytes.end(), code, code + 2) - bytes.begin());
  };
  const std::vector<uint8_t> huge = JpegWriter().Sof(2048, 2048, kGrey).data;  // within the pixel allowance
  std::vector<uint8_t> before = good, after = good;
  before.insert(before.begin() + find(good, 0xC0), huge.begin(), huge.end());
  after.insert(after.begin() + find(good, 0xDA), huge.begin(), huge.end());
  EXPECT_EQ(decodeOnly(before, 16, 16)->GetResult(), Decoder::Success);
  EXPECT_EQ(MemoryLog::live, 0);
  auto late = decodeOnly(after, 16, 16);
  EXPECT_EQ(late->GetResult(), Decoder::UnsupportedFeature);
  EXPECT_EQ(late->GetWidth(), 2048);
  late.reset();
  EXPECT_EQ(MemoryLog::live, 0);
}

int DcFor(int sample) { return 8 * (sample - 128); }  // the DC level of a flat block of that sample

std::vector<uint8_t> ImageOf(const HandMade& m, const std::vector<uint8_t>& entropy,
                             Decoder::KernelChoice kernels = Decoder::KernelChoice::Best) {
  auto d = Decode(m.Build(entropy), -1, kernels);
  if (d->GetResult() != Decoder::Success) return {};
  return std::vector<uint8_t>(d->GetImage(),
                              d->GetImage() + size_t(d->GetWidth()) * d->GetHeight() * d->GetComponentCount());
}

TEST(JpegScan, ColourTriplesConvertExactlyOnBothCodePaths) {
  // Y, Cb, Cr, then R, G, B: the first two change with any weight one off, the others clamp.
  const std::vector<uint8_t> cases[] = {
      {25, 166, 144, 47, 1, 92}, {46, 165, 174, 111, 0, 112}, {255, 255, 0, 76, 255, 255}, {0, 0, 255, 178, 0, 0}};
  for (const auto& c : cases) {
    HandMade m{64, 8, 0, {{1, 1, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}};  // wide enough for the vector pass
    BitWriter b;
    int previous[3] = {};
    for (int mcu = 0; mcu < 8; ++mcu)
      for (int i = 0; i < 3; ++i) b.PutFlat({DcFor(c[size_t(i)])}, previous[i]);
    b.Finish();
    std::vector<uint8_t> expected;
    for (int i = 0; i < 512; ++i) expected.insert(expected.end(), c.begin() + 3, c.end());
    for (Decoder::KernelChoice kernels : {Decoder::KernelChoice::Portable, Decoder::KernelChoice::Best})
      EXPECT_EQ(ImageOf(m, b.data, kernels), expected) << int(c[0]) << " " << int(c[1]) << " " << int(c[2]);
  }
}

// One-block grey MCUs; the DC restarts from 0 after every marker, so a missed reset shows.
// A wrong marker is named, a missing one by the marker due.
TEST(JpegScan, RestartMarkersAreExpectedInCyclingOrder) {
  using C = Decoder::Cause;
  const struct {
    int mcus, interval;
    std::vector<int> markers;
    Decoder::ResultCode code;
    Decoder::Cause cause;
    int32_t value;
  } cases[] = {{12, 4, {0, 1}, Decoder::Success, C::None, 0},
               {10, 1, {0, 1, 2, 3, 4, 5, 6, 7, 0}, Decoder::Success, C::None, 0},
               {8, 4, {1}, Decoder::MalformedData, C::RestartOutOfOrder, 0xD1},
               {12, 4, {0, 0}, Decoder::MalformedData, C::RestartOutOfOrder, 0xD0},
               {8, 4, {}, Decoder::MalformedData, C::RestartMissing, 0xD0},
               {12, 4, {0}, Decoder::MalformedData, C::RestartMissing, 0xD1}};
  for (const auto& c : cases) {
    HandMade m{8 * c.mcus, 8, c.interval};
    BitWriter b;
    for (int i = 0, previous = 0, next = 0; i < c.mcus; ++i) {
      if (i % c.interval == 0) previous = 0;
      b.PutFlat({DcFor(100 + i)}, previous);
      if ((i + 1) % c.interval == 0 && i + 1 < c.mcus && next < int(c.markers.size()))
        b.Marker(uint8_t(0xD0 + c.markers[size_t(next++)]));
    }
    b.Finish();
    auto d = Decode(m.Build(b.data));
    EXPECT_EQ(std::make_tuple(d->GetResult(), d->GetCause(), d->GetCauseValue()),
              std::make_tuple(c.code, c.cause, c.value))
        << c.mcus << "/" << c.interval << "/" << c.markers.size();
    if (d->GetResult() != Decoder::Success) continue;
    for (int i = 0; i < c.mcus; ++i) EXPECT_EQ(d->GetImage()[8 * i], 100 + i) << i;
  }
}

TEST(JpegScan, GreyRowsAreCompactedToTheWidth) {
  HandMade m{100, 10};  // 13 blocks across, stride 104
  std::vector<int> levels;
  for (int i = 0; i < 26; ++i) levels.push_back(DcFor(10 + 10 * (i / 13) + i % 13));
  std::vector<uint8_t> g = ImageOf(m, m.FlatEntropy(levels));
  ASSERT_EQ(g.size(), 1000u);
  for (int y = 0; y < 10; ++y)
    EXPECT_EQ((std::vector<int>{g[y * 100], g[y * 100 + 99]}), (std::vector<int>{y < 8 ? 10 : 20, y < 8 ? 22 : 32}))
        << y;
}

// Luma and Cr flat 128, so blue follows Cb alone.
int BlueOf(int cb) { return std::clamp((32768 + 454 * (cb - 128) + 128) >> 8, 0, 255); }
int Filter(int a, int wa, int b, int wb, int c, int wc) {
  return std::clamp((a * wa + b * wb + c * wc + 64) >> 7, 0, 255);
}

// Blue of a 4:2:0 frame of 2 x 2 MCUs whose four Cb blocks have the given levels.
auto Blue420(int width, int height, std::vector<int> cb) {
  HandMade m{width, height, 0, k420};
  BitWriter b;
  int luma = 0, blue = 0, red = 0;
  for (int i = 0; i < 4; ++i) {
    b.PutFlat({0, 0, 0, 0}, luma);
    b.PutFlat({DcFor(cb[size_t(i)])}, blue);
    b.PutFlat({0}, red);
  }
  b.Finish();
  std::vector<uint8_t> rgb = ImageOf(m, b.data);
  EXPECT_EQ(rgb.size(), size_t(width) * height * 3);
  return [rgb, width](int x, int y) { return rgb.empty() ? -1 : int(rgb[(y * width + x) * 3 + 2]); };
}

TEST(JpegUpsampling, EdgesReadTheEndOfTheStoredRowAndTheLastRowsOfTheComponent) {
  // Chroma 10 wide in a 16-wide plane: the last three stored samples are all in the right block.
  auto across = Blue420(20, 32, {100, 140, 100, 140});
  EXPECT_EQ(across(17, 0), BlueOf(Filter(140, 28, 140, 109, 140, -9)));
  EXPECT_EQ(across(18, 0), BlueOf(Filter(140, 104, 140, 27, 140, -3)));
  EXPECT_EQ(across(15, 0), BlueOf(Filter(100, -9 + 111, 140, 29, 140, -3)));  // across the block boundary
  // Chroma 10 high in a 16-high plane: its last rows are 9 and 8 (bottom blocks) and 7 (top).
  auto down = Blue420(32, 20, {100, 100, 140, 140});
  EXPECT_EQ(down(5, 17), BlueOf(Filter(140, 28, 140, 109, 100, -9)));
  EXPECT_EQ(down(5, 18), BlueOf(Filter(140, 104, 140, 27, 100, -3)));
}

// The vector transform takes a 16-bit road where the values multiplied fit
// 16 bits and the 32-bit one otherwise; both must end exactly where the
// portable transform ends, on either side of the boundary and far past it.
TEST(JpegTransform, VectorAndPortableAgreeAcrossTheSixteenBitBoundary) {
  if (!Jpeg::HasAvx2()) GTEST_SKIP() << "no AVX2 here";
  std::mt19937 random(77);
  const int32_t scales[] = {0, 255, 4095, 32767, 32768, 65535, 1 << 20, 1 << 30};
  for (int round = 0; round < 4000; ++round) {
    alignas(32) int32_t a[64], b[64];
    const int32_t scale = scales[round % 8];
    for (int i = 0; i < 64; ++i) {
      const int32_t pick = int32_t(random() % 5);
      a[i] = pick == 0 ? 0 : pick == 1 ? scale : pick == 2 ? -scale - (round & 1) : int32_t(random() % 512) - 256;
      b[i] = a[i];
    }
    uint8_t vector[64], portable[64];
    Jpeg::ChooseKernels(true).idct(a, vector, 8);
    Jpeg::PortableKernels().idct(b, portable, 8);
    ASSERT_EQ(std::memcmp(vector, portable, 64), 0) << "round " << round;
  }
}

// Every (Y, Cb, Cr) triple, through the vector conversions and the portable
// ones, into R, G, B and into opaque A, R, G, B.
TEST(JpegColour, VectorAndPortableAgreeOnEveryTriple) {
  if (!Jpeg::HasAvx2()) GTEST_SKIP() << "no AVX2 here";
  const Jpeg::Kernels avx2 = Jpeg::ChooseKernels(true), plain = Jpeg::PortableKernels();
  std::vector<uint8_t> y(256), cb(256), cr(256);
  for (int i = 0; i < 256; ++i) cr[size_t(i)] = uint8_t(i);
  std::vector<uint8_t> vector(256 * 4), portable(256 * 4);
  size_t wrong = 0;
  for (int yv = 0; yv < 256; ++yv) {
    std::fill(y.begin(), y.end(), uint8_t(yv));
    for (int cbv = 0; cbv < 256; ++cbv) {
      std::fill(cb.begin(), cb.end(), uint8_t(cbv));
      avx2.convertRow(y.data(), cb.data(), cr.data(), vector.data(), 256);
      plain.convertRow(y.data(), cb.data(), cr.data(), portable.data(), 256);
      wrong += std::memcmp(vector.data(), portable.data(), 256 * 3) != 0;
      avx2.convertRowArgb(y.data(), cb.data(), cr.data(), vector.data(), 256);
      plain.convertRowArgb(y.data(), cb.data(), cr.data(), portable.data(), 256);
      wrong += vector != portable;
    }
  }
  EXPECT_EQ(wrong, 0u);
}

}  // namespace
