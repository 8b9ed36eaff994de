// SmartCopyWorld on the substitute host's worlds, called directly. Expected
// samples are worked values or the conversion formulas written out here,
// never the plug-in's own conversions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "Resample.h"
#include "SameSamples.h"
#include "SubstituteHost.h"
#include "WorldCopy.h"

using lvs_test::SameSamples;

namespace {

template <class T>
T* Row(const PF_EffectWorld& w, int y) {
  return reinterpret_cast<T*>(reinterpret_cast<char*>(w.data) + std::ptrdiff_t(y) * w.rowbytes);
}

template <class T>
std::vector<T> Samples(const PF_EffectWorld& w) {
  std::vector<T> out;
  for (int y = 0; y < w.height; ++y) out.insert(out.end(), Row<T>(w, y), Row<T>(w, y) + size_t(w.width) * 4);
  return out;
}

// The samples row by row; a world holds as many as it has room for.
template <class T>
void Put(PF_EffectWorld& w, const std::vector<T>& samples) {
  const size_t perRow = size_t(w.width) * 4;
  ASSERT_EQ(samples.size(), perRow * w.height);
  for (int y = 0; y < w.height; ++y) std::copy_n(samples.begin() + y * perRow, perRow, Row<T>(w, y));
}

// 67 pixels a row: the sixteen-sample steps and a tail.
constexpr int kWidth = 67, kHeight = 5, kCount = kWidth * kHeight * 4;

std::vector<uint8_t> EveryByte() {
  std::vector<uint8_t> v(kCount);
  for (int k = 0; k < kCount; ++k) v[k] = uint8_t(k * 7);  // every value, 254 among them
  return v;
}
std::vector<uint16_t> HostRangeWords() {
  std::vector<uint16_t> v(kCount);
  for (int k = 0; k < kCount; ++k) v[k] = uint16_t(k * 97 % 32769);
  v[0] = 32768;
  v[1] = 16384;
  v[2] = 64;
  v[3] = 65;
  return v;
}
std::vector<float> Floats() {
  std::vector<float> v(kCount);
  for (int k = 0; k < kCount; ++k) v[k] = float(k % 1100) / 1000.0f - 0.05f;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float worked[] = {1.5f, -0.2f, 0.5f, 1.0f, nan, 1.5f / 32768.0f, 0.0f};
  std::copy(std::begin(worked), std::end(worked), v.begin());
  return v;
}

// The conversions as the host's ranges define them.
uint16_t Wide(uint8_t v) { return uint16_t((uint32_t(v) * 32768 + 128) / 255); }
uint8_t Narrow(uint16_t v) { return uint8_t((uint32_t(v) * 255 + 16384) / 32768); }
float Limited(float v) { return v > 1.0f ? 1.0f : v < 0.0f ? 0.0f : std::isnan(v) ? 0.0f : v; }

class WorldCopyTest : public ::testing::Test {
 protected:
  void TearDown() override {
    host_.Faults().Clear();
    for (PF_EffectWorld* w : owned_) host_.Worlds().Release(w);
    EXPECT_TRUE(host_.Clean()) << host_.Report();
  }
  PF_EffectWorld* World(PF_PixelFormat format, int width = kWidth, int height = kHeight, int extraPadding = 0) {
    PF_EffectWorld* w = host_.Worlds().Create(format, width, height, extraPadding);
    EXPECT_NE(w, nullptr);
    owned_.push_back(w);
    return w;
  }
  template <class T>
  PF_EffectWorld* WorldOf(PF_PixelFormat format, const std::vector<T>& samples, int extraPadding = 0) {
    PF_EffectWorld* w = World(format, kWidth, int(samples.size() / (kWidth * 4)), extraPadding);
    Put(*w, samples);
    return w;
  }
  A_Err Copy(PF_EffectWorld* from, PF_EffectWorld* to, bool demote = false, bool promote = false) {
    host_.Faults().ResetCounts();
    return SmartCopyWorld(host_.InData(), from, to, demote, promote);
  }
  uint64_t Calls(const char* op) { return host_.Faults().Calls(op); }

  lvs_host::SubstituteHost host_;
  std::vector<PF_EffectWorld*> owned_;
};

// Each pair of different depths, at the same size: one row pass straight
// into the destination, rounding to nearest, floats clamped, NaN as 0.
TEST_F(WorldCopyTest, EachDepthPairConvertsEverySampleByItsFormula) {
  const auto bytes = EveryByte();
  const auto words = HostRangeWords();
  const auto floats = Floats();
  PF_EffectWorld* w8 = WorldOf(PF_PixelFormat_ARGB32, bytes);
  PF_EffectWorld* w16 = WorldOf(PF_PixelFormat_ARGB64, words, 8);
  PF_EffectWorld* wf = WorldOf(PF_PixelFormat_ARGB128, floats, 16);
  const auto into = [&](PF_EffectWorld* source, PF_PixelFormat format) {
    PF_EffectWorld* out = World(format, kWidth, kHeight, 12);
    EXPECT_EQ(Copy(source, out), A_Err_NONE);
    EXPECT_EQ(Calls("AEGP_IterateGeneric"), 1u);
    EXPECT_EQ(Calls("PF_NewWorld"), 0);
    EXPECT_EQ(Calls("copy"), 0);
    EXPECT_TRUE(host_.Worlds().GuardsIntact(out));
    return out;
  };
  std::vector<uint16_t> to16(kCount), float16(kCount);
  std::vector<uint8_t> to8(kCount), float8(kCount);
  std::vector<float> floatOf8(kCount), floatOf16(kCount);
  for (int k = 0; k < kCount; ++k) {
    to16[k] = Wide(bytes[k]);
    floatOf8[k] = float(bytes[k]) / 255.0f;
    to8[k] = Narrow(words[k]);
    floatOf16[k] = float(words[k]) / 32768.0f;
    float8[k] = uint8_t(Limited(floats[k]) * 255.0f + 0.5f);
    float16[k] = uint16_t(Limited(floats[k]) * 32768.0f + 0.5f);
  }
  EXPECT_EQ(Samples<uint16_t>(*into(w8, PF_PixelFormat_ARGB64)), to16);
  EXPECT_EQ(Samples<float>(*into(w8, PF_PixelFormat_ARGB128)), floatOf8);
  EXPECT_EQ(Samples<uint8_t>(*into(w16, PF_PixelFormat_ARGB32)), to8);
  EXPECT_EQ(Samples<float>(*into(w16, PF_PixelFormat_ARGB128)), floatOf16);
  EXPECT_EQ(Samples<uint8_t>(*into(wf, PF_PixelFormat_ARGB32)), float8);
  const auto from16 = Samples<uint16_t>(*into(wf, PF_PixelFormat_ARGB64));
  EXPECT_EQ(from16, float16);
  // The worked values at the head of the float world.
  EXPECT_EQ(std::vector<uint16_t>(from16.begin(), from16.begin() + 7),
            (std::vector<uint16_t>{32768, 0, 16384, 32768, 0, 2, 0}));
}

// Same format, and flags that do not change what the samples mean: one host
// copy, every sample as it was.
TEST_F(WorldCopyTest, SameFormatAndRangeIsOneHostCopy) {
  struct Case {
    PF_PixelFormat format;
    bool demote, promote;
  };
  const Case cases[] = {{PF_PixelFormat_ARGB32, false, false}, {PF_PixelFormat_ARGB32, true, false},
                        {PF_PixelFormat_ARGB32, false, true},  {PF_PixelFormat_ARGB128, true, false},
                        {PF_PixelFormat_ARGB64, false, false}, {PF_PixelFormat_ARGB64, true, true}};
  std::vector<uint8_t> pattern(size_t(kCount) * 16);
  for (size_t k = 0; k < pattern.size(); ++k) pattern[k] = uint8_t(k * 13 + 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.format) + (c.demote ? " demote" : "") + (c.promote ? " promote" : ""));
    PF_EffectWorld* from = World(c.format, kWidth, kHeight, 4);
    PF_EffectWorld* to = World(c.format, kWidth, kHeight, 20);
    const size_t rowBytes = size_t(kWidth) * lvs_host::BytesPerPixel(c.format);
    for (int y = 0; y < kHeight; ++y) std::memcpy(Row<uint8_t>(*from, y), &pattern[y * rowBytes], rowBytes);
    EXPECT_EQ(Copy(from, to, c.demote, c.promote), A_Err_NONE);
    EXPECT_EQ(Calls("copy"), 1);
    EXPECT_EQ(Calls("copy_hq"), 0);
    EXPECT_EQ(Calls("AEGP_IterateGeneric"), 0);
    for (int y = 0; y < kHeight; ++y)
      EXPECT_EQ(std::memcmp(Row<uint8_t>(*to, y), Row<uint8_t>(*from, y), rowBytes), 0) << "row " << y;
    for (int y = 0; y < kHeight; ++y)
      EXPECT_EQ(std::memcmp(Row<uint8_t>(*from, y), &pattern[y * rowBytes], rowBytes), 0) << "source row " << y;
  }
}

// A world of pixels holding the given samples, each pixel four alike.
template <class T>
std::vector<T> Spread(const std::vector<T>& values) {
  std::vector<T> out(kCount, values.back());
  for (size_t k = 0; k < values.size(); ++k) out[k] = values[k];
  return out;
}
template <class T>
std::vector<T> Head(const std::vector<T>& all, size_t n) {
  return std::vector<T>(all.begin(), all.begin() + n);
}

// The full-range flags, in worked values: the source demoted for the
// conversion and restored after it, the destination promoted after it.
TEST_F(WorldCopyTest, RangeFlagsMoveSixteenBitSamples) {
  const std::vector<uint16_t> full = {0, 1, 2, 16384, 16385, 32767, 32768, 32769, 65534, 65535};
  const std::vector<uint16_t> demoted = {0, 0, 1, 8192, 8192, 16383, 16384, 16385, 32767, 32768};
  const std::vector<uint16_t> restored = {0, 0, 2, 16384, 16384, 32766, 32768, 32769, 65533, 65535};
  {
    SCOPED_TRACE("16 to 16, source full range");
    PF_EffectWorld* from = WorldOf(PF_PixelFormat_ARGB64, Spread(full), 6);
    PF_EffectWorld* to = World(PF_PixelFormat_ARGB64);
    EXPECT_EQ(Copy(from, to, true, false), A_Err_NONE);
    EXPECT_EQ(Head(Samples<uint16_t>(*to), full.size()), demoted);
    EXPECT_EQ(Head(Samples<uint16_t>(*from), full.size()), restored);
  }
  {
    SCOPED_TRACE("16 to 16, destination full range");
    const std::vector<uint16_t> host = {0, 1, 16384, 16385, 32767, 32768};
    PF_EffectWorld* from = WorldOf(PF_PixelFormat_ARGB64, Spread(host));
    PF_EffectWorld* to = World(PF_PixelFormat_ARGB64, kWidth, kHeight, 10);
    EXPECT_EQ(Copy(from, to, false, true), A_Err_NONE);
    EXPECT_EQ(Head(Samples<uint16_t>(*to), host.size()), (std::vector<uint16_t>{0, 2, 32768, 32769, 65533, 65535}));
    EXPECT_EQ(Samples<uint16_t>(*from), Spread(host)) << "the source is only read";
  }
  {
    SCOPED_TRACE("16 full range to 8 and to float");
    PF_EffectWorld* from = WorldOf(PF_PixelFormat_ARGB64, Spread(full));
    PF_EffectWorld* to8 = World(PF_PixelFormat_ARGB32);
    PF_EffectWorld* toFloat = World(PF_PixelFormat_ARGB128);
    EXPECT_EQ(Copy(from, to8, true, false), A_Err_NONE);
    EXPECT_EQ(Head(Samples<uint8_t>(*to8), full.size()),
              (std::vector<uint8_t>{0, 0, 0, 64, 64, 127, 128, 128, 255, 255}));
    EXPECT_EQ(Head(Samples<uint16_t>(*from), full.size()), restored);
    Put(*from, Spread(full));
    EXPECT_EQ(Copy(from, toFloat, true, false), A_Err_NONE);
    EXPECT_EQ(Samples<float>(*toFloat).back(), 1.0f) << "65535 is white";
  }
  {
    SCOPED_TRACE("8 and float into 16 full range");
    PF_EffectWorld* from8 = WorldOf(PF_PixelFormat_ARGB32, Spread<uint8_t>({0, 1, 128, 255}));
    PF_EffectWorld* fromFloat = WorldOf(PF_PixelFormat_ARGB128, Spread<float>({0.0f, 0.25f, 0.5f, 1.0f}));
    PF_EffectWorld* to = World(PF_PixelFormat_ARGB64, kWidth, kHeight, 2);
    EXPECT_EQ(Copy(from8, to, false, true), A_Err_NONE);
    EXPECT_EQ(Head(Samples<uint16_t>(*to), 4), (std::vector<uint16_t>{0, 258, 32895, 65535}));
    EXPECT_EQ(Copy(fromFloat, to, false, true), A_Err_NONE);
    EXPECT_EQ(Head(Samples<uint16_t>(*to), 4), (std::vector<uint16_t>{0, 16384, 32768, 65535}));
  }
  {
    SCOPED_TRACE("the flags mean nothing to 8-bit and float destinations");
    PF_EffectWorld* from = WorldOf(PF_PixelFormat_ARGB32, Spread<uint8_t>({0, 255}));
    PF_EffectWorld* to = World(PF_PixelFormat_ARGB128);
    EXPECT_EQ(Copy(from, to, false, true), A_Err_NONE);
    EXPECT_EQ(Head(Samples<float>(*to), 2), (std::vector<float>{0.0f, 1.0f}));
  }
}

// Another size: converted at the source's size into a temporary world of
// the destination's format, which the host then resamples and disposes of.
TEST_F(WorldCopyTest, OtherSizeConvertsAtTheSourceSizeThenTheHostResamples) {
  const int sizes[][2] = {{640, 360}, {1280, 360}, {640, 720}};
  PF_EffectWorld* from = World(PF_PixelFormat_ARGB32, 1280, 720, 4);
  PF_EffectWorld* converted = World(PF_PixelFormat_ARGB64, 1280, 720);
  for (int y = 0; y < 720; ++y)
    for (int k = 0; k < 1280 * 4; ++k) {
      Row<uint8_t>(*from, y)[k] = uint8_t((k / 4) * 3 + y * 5 + k % 4 * 60);
      Row<uint16_t>(*converted, y)[k] = Wide(Row<uint8_t>(*from, y)[k]);
    }
  for (const auto& size : sizes) {
    SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]));
    PF_EffectWorld* to = World(PF_PixelFormat_ARGB64, size[0], size[1], 8);
    PF_EffectWorld* expected = World(PF_PixelFormat_ARGB64, size[0], size[1]);
    lvs_host::ResampleWorld(*converted, *expected, PF_PixelFormat_ARGB64);
    EXPECT_EQ(Copy(from, to), A_Err_NONE);
    EXPECT_EQ(Calls("PF_NewWorld"), 1);
    EXPECT_EQ(Calls("PF_DisposeWorld"), 1);
    EXPECT_EQ(Calls("copy"), 1);
    EXPECT_TRUE(SameSamples(Samples<uint16_t>(*to), Samples<uint16_t>(*expected)));
    EXPECT_TRUE(host_.Worlds().GuardsIntact(to));
  }
}

// A failed step is reported, the destination untouched, the temporary world freed.
TEST_F(WorldCopyTest, FailedStepsAreReportedAndLeaveTheDestinationUntouched) {
  const struct {
    const char* op;
    A_Err code;
    PF_PixelFormat to;
    int width;
    uint64_t disposed;
  } cases[] = {{"PF_NewWorld", PF_Err_OUT_OF_MEMORY, PF_PixelFormat_ARGB128, 32, 0},
               {"AEGP_IterateGeneric", A_Err_GENERIC, PF_PixelFormat_ARGB64, 32, 1},
               {"copy", A_Err_PARAMETER, PF_PixelFormat_ARGB32, 64, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.op);
    PF_EffectWorld* from = World(PF_PixelFormat_ARGB32, 64, 32);
    PF_EffectWorld* to = World(c.to, c.width, c.width / 2);
    Put(*from, std::vector<uint8_t>(64 * 32 * 4, 77));
    host_.Faults().FailNth(c.op, 1, c.code);
    EXPECT_EQ(Copy(from, to), c.code);
    host_.Faults().Clear();
    EXPECT_EQ(Calls("PF_DisposeWorld"), c.disposed);
    EXPECT_EQ(Calls("PF_NewWorld"), c.disposed + (c.code == PF_Err_OUT_OF_MEMORY));
    const size_t rowBytes = size_t(c.width) * lvs_host::BytesPerPixel(c.to);
    for (int y = 0; y < c.width / 2; ++y)
      for (size_t k = 0; k < rowBytes; ++k) ASSERT_EQ(Row<uint8_t>(*to, y)[k], lvs_host::kFreshWorldByte);
  }
}

}  // namespace
