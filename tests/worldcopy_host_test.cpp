// SmartCopyWorld on the substitute host's worlds, called directly.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "SampleConvert.h"
#include "SubstituteHost.h"
#include "WorldCopy.h"

namespace {

template <class T>
T* Row(const PF_EffectWorld& w, int y) {
  return reinterpret_cast<T*>(static_cast<char*>(w.data) + std::ptrdiff_t(y) * w.rowbytes);
}

// Samples over the format's range, the extremes included.
template <class T>
void Fill(PF_EffectWorld& w, unsigned seed, uint32_t top) {
  std::mt19937 random(seed);
  for (int y = 0; y < w.height; ++y)
    for (int k = 0; k < w.width * 4; ++k) {
      const uint32_t r = random() % (top + 3), v = r > top ? (r == top + 1 ? 0 : top) : r;
      Row<T>(w, y)[k] = std::is_same_v<T, float> ? T(float(v) / float(top)) : T(v);
    }
}

// Every sample of `to` is f(the same sample of `from`).
template <class From, class To, class F>
void ExpectSamples(const PF_EffectWorld& from, const PF_EffectWorld& to, F f) {
  ASSERT_TRUE(from.width == to.width && from.height == to.height);
  for (int y = 0; y < from.height; ++y)
    for (int k = 0; k < from.width * 4; ++k) ASSERT_EQ(Row<To>(to, y)[k], To(f(Row<From>(from, y)[k]))) << y << "," << k;
}
template <class From, class To>
void ExpectConverted(const PF_EffectWorld& from, const PF_EffectWorld& to) {
  ExpectSamples<From, To>(from, to, [](From v) { return Convert<To, From>(v); });
}

class WorldCopyTest : public ::testing::Test {
 protected:
  void TearDown() override {
    host_.Faults().Clear();
    for (PF_EffectWorld* w : owned_) host_.Worlds().Release(w);
    EXPECT_TRUE(host_.Clean()) << host_.Report();
  }
  PF_EffectWorld* World(PF_PixelFormat format, int width, int height, int extraPadding = 0) {
    PF_EffectWorld* w = host_.Worlds().Create(format, width, height, extraPadding);
    EXPECT_NE(w, nullptr);
    owned_.push_back(w);
    return w;
  }
  A_Err Copy(PF_EffectWorld* from, PF_EffectWorld* to) {  // as the draw calls it: no range moves
    host_.Faults().ResetCounts();
    return SmartCopyWorld(host_.InData(), from, to, false, false);
  }
  uint64_t Calls(const char* op) { return host_.Faults().Calls(op); }

  lvshost::SubstituteHost host_;
  std::vector<PF_EffectWorld*> owned_;
};

TEST_F(WorldCopyTest, SameSizeIsOneHostCopyOrOneConversionPass) {
  PF_EffectWorld* w8 = World(PF_PixelFormat_ARGB32, 41, 23);
  PF_EffectWorld* w16 = World(PF_PixelFormat_ARGB64, 41, 23, 8);
  PF_EffectWorld* wf = World(PF_PixelFormat_ARGB128, 41, 23, 16);
  Fill<uint8_t>(*w8, 1, 255);
  Fill<uint16_t>(*w16, 2, 32768);
  Fill<float>(*wf, 3, 1000);
  Row<float>(*wf, 0)[0] = 1.5f;  // out of range both ways: clamped
  Row<float>(*wf, 0)[1] = -0.2f;
  const auto into = [&](PF_EffectWorld* source, PF_PixelFormat format, uint64_t hostCopies) {
    PF_EffectWorld* out = World(format, 41, 23, 4);
    EXPECT_EQ(Copy(source, out), A_Err_NONE);
    EXPECT_EQ(Calls("copy"), hostCopies);
    EXPECT_TRUE(Calls("PF_NewWorld") == 0 && host_.Worlds().GuardsIntact(out));
    return out;
  };
  ExpectSamples<uint8_t, uint8_t>(*w8, *into(w8, PF_PixelFormat_ARGB32, 1), [](uint8_t v) { return v; });
  ExpectSamples<float, float>(*wf, *into(wf, PF_PixelFormat_ARGB128, 1), [](float v) { return v; });
  ExpectConverted<uint8_t, uint16_t>(*w8, *into(w8, PF_PixelFormat_ARGB64, 0));
  ExpectConverted<uint16_t, uint8_t>(*w16, *into(w16, PF_PixelFormat_ARGB32, 0));
  ExpectConverted<float, uint8_t>(*wf, *into(wf, PF_PixelFormat_ARGB32, 0));
  PF_EffectWorld* out16 = into(wf, PF_PixelFormat_ARGB64, 0);
  ExpectConverted<float, uint16_t>(*wf, *out16);
  EXPECT_TRUE(Row<uint16_t>(*out16, 0)[0] == 32768 && Row<uint16_t>(*out16, 0)[1] == 0);
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
    Fill<uint8_t>(*from, 7, 255);
    host_.Faults().FailNth(c.op, 1, c.code);
    EXPECT_EQ(Copy(from, to), c.code);
    host_.Faults().Clear();
    EXPECT_EQ(Calls("PF_DisposeWorld"), c.disposed);
    EXPECT_EQ(Calls("PF_NewWorld"), c.disposed + (c.code == PF_Err_OUT_OF_MEMORY));
    const size_t rowBytes = size_t(c.width) * lvshost::BytesPerPixel(c.to);
    for (int y = 0; y < c.width / 2; ++y)
      for (size_t k = 0; k < rowBytes; ++k) ASSERT_EQ(Row<uint8_t>(*to, y)[k], lvshost::kFreshWorldByte);
  }
}

}  // namespace
