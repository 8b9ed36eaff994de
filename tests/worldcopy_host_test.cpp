// SmartCopyWorld and its parts on the substitute host's worlds, suites and
// iteration (called directly, without loading the module).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "Resample.h"
#include "SampleConvert.h"
#include "SubstituteHost.h"
#include "WorldCopy.h"

namespace {

template <class T>
T* Row(const PF_EffectWorld& w, int y) {
  return reinterpret_cast<T*>(static_cast<char*>(w.data) + std::ptrdiff_t(y) * w.rowbytes);
}

// Fills every sample with values that cover the format's range, including
// the extremes, from a seed.
template <class T>
void Fill(PF_EffectWorld& w, unsigned seed, uint32_t top) {
  std::mt19937 random(seed);
  for (int y = 0; y < w.height; ++y) {
    T* row = Row<T>(w, y);
    for (int k = 0; k < w.width * 4; ++k) {
      const uint32_t r = random() % (top + 3);
      const uint32_t v = r > top ? (r == top + 1 ? 0 : top) : r;
      if constexpr (std::is_same_v<T, float>) {
        row[k] = float(v) / float(top);
      } else {
        row[k] = static_cast<T>(v);
      }
    }
  }
}

template <class From, class To>
void ExpectConverted(const PF_EffectWorld& from, const PF_EffectWorld& to) {
  ASSERT_EQ(from.width, to.width);
  ASSERT_EQ(from.height, to.height);
  for (int y = 0; y < from.height; ++y) {
    const From* a = Row<From>(from, y);
    const To* b = Row<To>(to, y);
    for (int k = 0; k < from.width * 4; ++k) {
      ASSERT_EQ(b[k], (Convert<To, From>(a[k]))) << "row " << y << " sample " << k;
    }
  }
}

bool SamePixels(const PF_EffectWorld& a, const PF_EffectWorld& b, int bytesPerPixel) {
  if (a.width != b.width || a.height != b.height) return false;
  for (int y = 0; y < a.height; ++y) {
    if (std::memcmp(Row<char>(a, y), Row<char>(b, y), size_t(a.width) * bytesPerPixel) != 0) return false;
  }
  return true;
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
  A_Err Copy(PF_EffectWorld* from, PF_EffectWorld* to, bool demote = false, bool promote = false) {
    host_.Faults().ResetCounts();
    return SmartCopyWorld(host_.InData(), from, to, demote, promote);
  }
  uint64_t Calls(const char* op) { return host_.Faults().Calls(op); }

  lvshost::SubstituteHost host_;
  std::vector<PF_EffectWorld*> owned_;
};

TEST_F(WorldCopyTest, SameFormatAndSizeIsOneHostCopy) {
  for (PF_PixelFormat format : {PF_PixelFormat_ARGB32, PF_PixelFormat_ARGB64, PF_PixelFormat_ARGB128}) {
    PF_EffectWorld* from = World(format, 33, 17);
    PF_EffectWorld* to = World(format, 33, 17, 40);
    Fill<uint8_t>(*from, 3, 255);  // any bytes will do
    EXPECT_EQ(Copy(from, to), A_Err_NONE);
    EXPECT_TRUE(SamePixels(*from, *to, lvshost::BytesPerPixel(format))) << lvshost::FormatName(format);
    EXPECT_EQ(Calls("copy"), 1u);
    EXPECT_EQ(Calls("PF_NewWorld"), 0u);
    EXPECT_EQ(Calls("AEGP_IterateGeneric"), 0u);
  }
}

TEST_F(WorldCopyTest, EveryDepthPairConvertsInPlaceAtSameSize) {
  PF_EffectWorld* w8 = World(PF_PixelFormat_ARGB32, 41, 23);
  PF_EffectWorld* w16 = World(PF_PixelFormat_ARGB64, 41, 23, 8);
  PF_EffectWorld* wf = World(PF_PixelFormat_ARGB128, 41, 23, 16);
  Fill<uint8_t>(*w8, 1, 255);
  Fill<uint16_t>(*w16, 2, 32768);
  Fill<float>(*wf, 3, 1000);
  Row<float>(*wf, 0)[0] = 1.5f;
  Row<float>(*wf, 0)[1] = -0.2f;
  const auto check = [&](auto from, auto to, PF_EffectWorld* source, PF_PixelFormat format) {
    PF_EffectWorld* out = World(format, 41, 23, 4);
    EXPECT_EQ(Copy(source, out), A_Err_NONE);
    EXPECT_EQ(Calls("PF_NewWorld") + Calls("copy"), 0u);
    ExpectConverted<decltype(from), decltype(to)>(*source, *out);
    EXPECT_TRUE(host_.Worlds().GuardsIntact(out));
    return out;
  };
  check(uint8_t(), uint16_t(), w8, PF_PixelFormat_ARGB64);
  check(uint8_t(), float(), w8, PF_PixelFormat_ARGB128);
  check(uint16_t(), uint8_t(), w16, PF_PixelFormat_ARGB32);
  check(uint16_t(), float(), w16, PF_PixelFormat_ARGB128);
  check(float(), uint8_t(), wf, PF_PixelFormat_ARGB32);
  PF_EffectWorld* out16 = check(float(), uint16_t(), wf, PF_PixelFormat_ARGB64);
  EXPECT_EQ(Row<uint16_t>(*out16, 0)[0], 32768);
  EXPECT_EQ(Row<uint16_t>(*out16, 0)[1], 0);
}

TEST_F(WorldCopyTest, SizeChangeConvertsIntoTemporaryWorldThenHostResamples) {
  PF_EffectWorld* from = World(PF_PixelFormat_ARGB32, 1280, 720);
  PF_EffectWorld* to = World(PF_PixelFormat_ARGB64, 640, 360);
  Fill<uint8_t>(*from, 9, 255);
  EXPECT_EQ(Copy(from, to), A_Err_NONE);
  EXPECT_EQ(Calls("PF_NewWorld"), 1u);
  EXPECT_EQ(Calls("PF_DisposeWorld"), 1u);
  EXPECT_EQ(Calls("copy"), 1u);
  EXPECT_EQ(host_.Worlds().LiveCount(), owned_.size());

  // The same steps done by hand: convert at full size, resample.
  PF_EffectWorld* converted = World(PF_PixelFormat_ARGB64, 1280, 720);
  PF_EffectWorld* expected = World(PF_PixelFormat_ARGB64, 640, 360);
  for (int y = 0; y < 720; ++y)
    for (int k = 0; k < 1280 * 4; ++k) Row<uint16_t>(*converted, y)[k] = Convert<uint16_t, uint8_t>(Row<uint8_t>(*from, y)[k]);
  lvshost::ResampleWorld(*converted, *expected, PF_PixelFormat_ARGB64);
  EXPECT_TRUE(SamePixels(*expected, *to, 8));
}

TEST_F(WorldCopyTest, DemotedSourceIsConvertedAndRestored) {
  PF_EffectWorld* from = World(PF_PixelFormat_ARGB64, 5, 2);
  PF_EffectWorld* to = World(PF_PixelFormat_ARGB32, 5, 2);
  const uint16_t values[8] = {65535, 32768, 32769, 1, 2, 0, 40001, 40000};
  for (int k = 0; k < 20; ++k) Row<uint16_t>(*from, 0)[k] = Row<uint16_t>(*from, 1)[k] = values[k % 8];
  EXPECT_EQ(Copy(from, to, /*demote=*/true), A_Err_NONE);
  for (int y = 0; y < 2; ++y) {
    for (int k = 0; k < 20; ++k) {
      const uint16_t v = values[k % 8];
      EXPECT_EQ(Row<uint8_t>(*to, y)[k], (Convert<uint8_t, uint16_t>(Demote(v)))) << v;
      EXPECT_EQ(Row<uint16_t>(*from, y)[k], Promote(Demote(v))) << v;
    }
  }
  EXPECT_EQ(Row<uint8_t>(*to, 0)[0], 255);                  // 65535
  EXPECT_EQ(Row<uint16_t>(*from, 0)[1], 32768);             // even, kept
  EXPECT_EQ(Row<uint16_t>(*from, 0)[3], 0);                 // odd up to 32768: one lower
  EXPECT_EQ(Row<uint16_t>(*from, 0)[6], 40001);             // odd above: kept
  EXPECT_EQ(Row<uint16_t>(*from, 0)[7], 39999);             // even above: one lower
}

TEST_F(WorldCopyTest, PromotedDestinationsReceiveFullRange) {
  PF_EffectWorld* w8 = World(PF_PixelFormat_ARGB32, 4, 3);
  PF_EffectWorld* wf = World(PF_PixelFormat_ARGB128, 4, 3);
  PF_EffectWorld* w16 = World(PF_PixelFormat_ARGB64, 4, 3);
  PF_EffectWorld* out = World(PF_PixelFormat_ARGB64, 4, 3);
  Fill<uint8_t>(*w8, 4, 255);
  Fill<float>(*wf, 5, 255);
  Fill<uint16_t>(*w16, 6, 32768);
  Row<uint8_t>(*w8, 0)[0] = 255;
  Row<float>(*wf, 0)[0] = 1.0f;
  Row<uint16_t>(*w16, 0)[0] = 32768;

  EXPECT_EQ(Copy(w8, out, false, true), A_Err_NONE);
  EXPECT_EQ(Row<uint16_t>(*out, 0)[0], 65535);
  for (int y = 0; y < 3; ++y)
    for (int k = 0; k < 16; ++k)
      EXPECT_EQ(Row<uint16_t>(*out, y)[k], (Promote(Convert<uint16_t, uint8_t>(Row<uint8_t>(*w8, y)[k]))));

  EXPECT_EQ(Copy(wf, out, false, true), A_Err_NONE);
  EXPECT_EQ(Row<uint16_t>(*out, 0)[0], 65535);
  for (int k = 0; k < 16; ++k)
    EXPECT_EQ(Row<uint16_t>(*out, 2)[k], (Promote(Convert<uint16_t, float>(Row<float>(*wf, 2)[k]))));

  // 16-bit into 16-bit with differing flags: a host copy, then promotion.
  EXPECT_EQ(Copy(w16, out, false, true), A_Err_NONE);
  EXPECT_EQ(Calls("copy"), 1u);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(Row<uint16_t>(*out, 1)[k], Promote(Row<uint16_t>(*w16, 1)[k]));

  // Both flags set: full range into full range is a plain copy.
  EXPECT_EQ(Copy(w16, out, true, true), A_Err_NONE);
  EXPECT_TRUE(SamePixels(*w16, *out, 8));
  EXPECT_EQ(Calls("AEGP_IterateGeneric"), 0u);
}

// A failed step ends the copy with its code; nothing reaches the
// destination before the last step, and the temporary world is given back.
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

TEST_F(WorldCopyTest, RangeMovesRefuseOtherDepthsAndAFailedDemotionIsNotUndone) {
  PF_EffectWorld* w8 = World(PF_PixelFormat_ARGB32, 4, 2);
  Fill<uint8_t>(*w8, 10, 255);
  const std::vector<uint8_t> before8(Row<uint8_t>(*w8, 1), Row<uint8_t>(*w8, 1) + 16);
  EXPECT_EQ(DemoteWorld(host_.InData(), w8), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(PromoteWorld(host_.InData(), w8), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(std::vector<uint8_t>(Row<uint8_t>(*w8, 1), Row<uint8_t>(*w8, 1) + 16), before8);

  PF_EffectWorld* from = World(PF_PixelFormat_ARGB64, 4, 2);
  Fill<uint16_t>(*from, 8, 65535);
  const std::vector<uint16_t> before(Row<uint16_t>(*from, 1), Row<uint16_t>(*from, 1) + 16);
  host_.Faults().FailNth("AEGP_IterateGeneric", 1, A_Err_GENERIC);
  EXPECT_EQ(Copy(from, w8, true, false), A_Err_GENERIC);
  EXPECT_EQ(std::vector<uint16_t>(Row<uint16_t>(*from, 1), Row<uint16_t>(*from, 1) + 16), before);
  EXPECT_EQ(Calls("AEGP_IterateGeneric"), 1u) << "a source never demoted is not promoted either";
}

TEST_F(WorldCopyTest, MissingSuiteEndsTheCopyWithoutLeavingTheTemporaryWorld) {
  PF_EffectWorld* from = World(PF_PixelFormat_ARGB32, 16, 16);
  PF_EffectWorld* to = World(PF_PixelFormat_ARGB64, 8, 8);
  host_.Faults().RefuseSuite("AEGP Iterate Suite");
  try {
    Copy(from, to);
    ADD_FAILURE() << "the missing suite must end the copy";
  } catch (A_long code) {
    EXPECT_EQ(code, PF_Err_BAD_CALLBACK_PARAM);
  }
  EXPECT_EQ(Calls("PF_NewWorld"), Calls("PF_DisposeWorld"));
}

// A world whose format the copy does not know: the host's world suite is
// wrapped so that it reports a fourth format for one world.
const PF_EffectWorld* gOddWorld = nullptr;
const PF_WorldSuite2* gRealWorldSuite = nullptr;
PF_WorldSuite2 gPatchedWorldSuite;
const SPBasicSuite* gRealBasic = nullptr;

PF_Err OddFormat(const PF_EffectWorld* world, PF_PixelFormat* format) {
  const PF_Err err = gRealWorldSuite->PF_GetPixelFormat(world, format);
  if (world->data == gOddWorld->data) *format = 0x34363453;  // not one of the three
  return err;
}
SPErr AcquirePatched(const char* name, int32_t version, const void** suite) {
  const SPErr err = gRealBasic->AcquireSuite(name, version, suite);
  if (!err && std::string(name) == kPFWorldSuite) {
    gRealWorldSuite = static_cast<const PF_WorldSuite2*>(*suite);
    gPatchedWorldSuite = *gRealWorldSuite;
    gPatchedWorldSuite.PF_GetPixelFormat = OddFormat;
    *suite = &gPatchedWorldSuite;
  }
  return err;
}

TEST_F(WorldCopyTest, UnknownPixelFormatIsRefusedAndDestinationUntouched) {
  PF_EffectWorld* odd = World(PF_PixelFormat_ARGB32, 16, 8);
  PF_EffectWorld* w16 = World(PF_PixelFormat_ARGB64, 8, 4);
  gOddWorld = odd;
  gRealBasic = host_.BasicSuite();
  SPBasicSuite patched = *gRealBasic;
  patched.AcquireSuite = AcquirePatched;
  AEIO_InData inData = *host_.InData();
  inData.pica_basicP = &patched;

  host_.Faults().ResetCounts();
  EXPECT_EQ(SmartCopyWorld(&inData, odd, w16, false, false), PF_Err_BAD_CALLBACK_PARAM);
  for (int k = 0; k < 32; ++k) EXPECT_EQ(Row<uint8_t>(*w16, 1)[k], lvshost::kFreshWorldByte);
  Fill<uint16_t>(*w16, 11, 32768);
  std::vector<uint8_t> before(Row<uint8_t>(*odd, 3), Row<uint8_t>(*odd, 3) + 64);
  EXPECT_EQ(SmartCopyWorld(&inData, w16, odd, false, false), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(std::vector<uint8_t>(Row<uint8_t>(*odd, 3), Row<uint8_t>(*odd, 3) + 64), before);
  EXPECT_EQ(Calls("PF_NewWorld") + Calls("copy") + Calls("AEGP_IterateGeneric"), 0u);
}

}  // namespace
