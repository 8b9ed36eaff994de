// The draw callback through the loaded module on the substitute host.
#include <gtest/gtest.h>

#include <malloc.h>
#include <pthread.h>

#include <filesystem>

#include "Resample.h"
#include "SampleConvert.h"
#include "draw_fixture.h"

using namespace drawtest;
using lvs_test::Subsampling;

namespace {

class DrawTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(fx_.Loaded(), A_Err_NONE) << fx_.Host().LoadError(); }
  void TearDown() override {
    fx_.Release();
    EXPECT_TRUE(fx_.Host().Clean()) << fx_.Host().Report();
  }
  // Draws the footage into a new 8-bit destination and returns its bytes.
  Bytes Draw8(AEIO_InSpecH inSpec, A_Err expected = A_Err_NONE) {
    PF_EffectWorld* dst = fx_.Destination(PF_PixelFormat_ARGB32);
    EXPECT_EQ(fx_.Draw(inSpec, dst), expected);
    return Samples<uint8_t>(*dst);
  }

  DrawFixture fx_{::testing::UnitTest::GetInstance()->current_test_info()->name()};
};

TEST_F(DrawTest, EightBitDestinationReceivesTheDecodedBytesOpaque) {
  const Bytes jpeg = PhotoJpeg(1280, 720);
  const Argb expected = Painted(jpeg);
  ASSERT_EQ(expected.width, 1280);
  AEIO_InSpecH inSpec = fx_.Footage(fx_.PackageWithPreview("photo.lvs", jpeg));
  const Bytes drawn = Draw8(inSpec);
  EXPECT_TRUE(drawn == expected.bytes);
  EXPECT_FALSE(drawn == Fallback().bytes);
  // The request record and flags are not the callback's business; the
  // options record is left as it was, unlocked.
  EXPECT_EQ(fx_.Host().Memory().Info(fx_.OptionsOf(inSpec))->lockCount, 0);
}

TEST_F(DrawTest, DeeperDestinationsReceiveConvertedSamples) {
  const Bytes jpeg = PhotoJpeg(1280, 720, Subsampling::S444);
  const Argb expected = Painted(jpeg);
  AEIO_InSpecH inSpec = fx_.Footage(fx_.PackageWithPreview("photo.lvs", jpeg));
  PF_EffectWorld* d16 = fx_.Destination(PF_PixelFormat_ARGB64);
  PF_EffectWorld* dfloat = fx_.Destination(PF_PixelFormat_ARGB128, 1280, 720, 0);
  ASSERT_EQ(fx_.Draw(inSpec, d16), A_Err_NONE);
  ASSERT_EQ(fx_.Draw(inSpec, dfloat), A_Err_NONE);
  const auto s16 = Samples<uint16_t>(*d16);
  const auto sf = Samples<float>(*dfloat);
  ASSERT_EQ(s16.size(), expected.bytes.size());
  size_t mismatches = 0;
  for (size_t i = 0; i < s16.size(); ++i) {
    mismatches += s16[i] != Convert<uint16_t, uint8_t>(expected.bytes[i]);
    mismatches += sf[i] != Convert<float, uint8_t>(expected.bytes[i]);
  }
  EXPECT_EQ(mismatches, 0u);
  EXPECT_EQ(s16[0], 32768);  // alpha 255
  EXPECT_EQ(sf[0], 1.0f);
}

TEST_F(DrawTest, SmallerDestinationGetsTheHostsReducedCopy) {
  const Bytes jpeg = PhotoJpeg(1280, 720);
  const Argb picture = Painted(jpeg);
  AEIO_InSpecH inSpec = fx_.Footage(fx_.PackageWithPreview("photo.lvs", jpeg));
  PF_EffectWorld* full = fx_.Destination(PF_PixelFormat_ARGB32);
  Put(picture, *full);
  for (PF_PixelFormat format : {PF_PixelFormat_ARGB32, PF_PixelFormat_ARGB64}) {
    PF_EffectWorld* small = fx_.Destination(format, 640, 360);
    ASSERT_EQ(fx_.Draw(inSpec, small), A_Err_NONE);
    PF_EffectWorld* expected = fx_.Destination(format, 640, 360);
    if (format == PF_PixelFormat_ARGB32) {
      lvshost::ResampleWorld(*full, *expected, format);
      EXPECT_TRUE(Samples<uint8_t>(*small) == Samples<uint8_t>(*expected));
    } else {
      PF_EffectWorld* full16 = fx_.Destination(format);
      ASSERT_EQ(fx_.Draw(inSpec, full16), A_Err_NONE);
      lvshost::ResampleWorld(*full16, *expected, format);
      EXPECT_TRUE(Samples<uint16_t>(*small) == Samples<uint16_t>(*expected));
    }
  }
}

TEST_F(DrawTest, GreyPreviewIsPaintedWithEqualChannels) {
  const Bytes jpeg = PhotoJpeg(1280, 720, Subsampling::Grey);
  const Argb expected = Painted(jpeg);
  ASSERT_EQ(expected.width, 1280);
  const Bytes drawn = Draw8(fx_.Footage(fx_.PackageWithPreview("grey.lvs", jpeg)));
  EXPECT_TRUE(drawn == expected.bytes);
  EXPECT_EQ(drawn[1], drawn[2]);
  EXPECT_EQ(drawn[2], drawn[3]);
}

// Every preview that cannot be used gives the fallback picture and 0.
TEST_F(DrawTest, UnusablePreviewsDrawTheFallback) {
  const Argb fallback = Fallback();
  ASSERT_EQ(fallback.width, 1280);
  ASSERT_EQ(fallback.height, 720);
  struct Case {
    const char* what;
    std::vector<lvs_maker::Entry> entries;
  };
  const std::string password = kPackagePassword;
  auto meta = Bytes(kMeta, kMeta + sizeof(kMeta) - 1);
  const std::vector<Case> cases = {
      {"no prv entry", {{"meta", meta, lvs_maker::Method::Deflate, password}}},
      {"empty prv", lvs_maker::StyleEntries(kMeta, {})},
      {"progressive", lvs_maker::StyleEntries(kMeta, PhotoJpeg(1280, 720, Subsampling::S420, true))},
      {"1281 by 720", lvs_maker::StyleEntries(kMeta, PhotoJpeg(1281, 720))},
      {"1280 by 721", lvs_maker::StyleEntries(kMeta, PhotoJpeg(1280, 721))},
      {"1920 by 1080", lvs_maker::StyleEntries(kMeta, PhotoJpeg(1920, 1080))},
      {"640 by 360", lvs_maker::StyleEntries(kMeta, PhotoJpeg(640, 360))},
      {"not a JPEG", lvs_maker::StyleEntries(kMeta, Bytes(5000, 0x42))},
      {"prv in other case", {{"meta", meta, lvs_maker::Method::Deflate, password},
                             {"PRV", PhotoJpeg(1280, 720), lvs_maker::Method::Deflate, password}}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes drawn = Draw8(fx_.Footage(fx_.Package("case" + std::to_string(n++) + ".lvs", c.entries)));
    EXPECT_TRUE(drawn == fallback.bytes);
  }
}

TEST_F(DrawTest, PackageGoneAfterImportOrNoRecordDrawsTheFallback) {
  const std::string path = fx_.PackageWithPreview("gone.lvs", PhotoJpeg(1280, 720));
  AEIO_InSpecH inSpec = fx_.Footage(path);
  std::filesystem::remove(path);
  EXPECT_TRUE(Draw8(inSpec) == Fallback().bytes);
  EXPECT_TRUE(Draw8(fx_.FootageWithoutOptions()) == Fallback().bytes);
}

TEST_F(DrawTest, UndecryptablePreviewIs512AndTheUnpaintedWorldIsCopied) {
  const std::string password = kPackagePassword;
  auto meta = Bytes(kMeta, kMeta + sizeof(kMeta) - 1);
  const std::string path = fx_.Package(
      "foreign.lvs", {{"meta", meta, lvs_maker::Method::Deflate, password},
                      {"prv", PhotoJpeg(1280, 720), lvs_maker::Method::Deflate, "not the package password"}});
  const Bytes drawn = Draw8(fx_.Footage(path), PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_TRUE(drawn == Bytes(drawn.size(), lvshost::kFreshWorldByte));
}

TEST_F(DrawTest, DrawsOnAThreadWithA256KiBStack) {
  const Bytes jpeg = PhotoJpeg(1280, 720);
  AEIO_InSpecH inSpec = fx_.Footage(fx_.PackageWithPreview("photo.lvs", jpeg));
  PF_EffectWorld* dst = fx_.Destination(PF_PixelFormat_ARGB64, 640, 360);
  // The preview, and once more with a package that needs the fallback too.
  AEIO_InSpecH fallbackSpec = fx_.Footage(fx_.PackageWithPreview("big.lvs", PhotoJpeg(1920, 1080)));
  struct Job {
    DrawFixture* fx;
    AEIO_InSpecH inSpec, fallbackSpec;
    PF_EffectWorld* dst;
    A_Err results[2];
  } job{&fx_, inSpec, fallbackSpec, dst, {-1, -1}};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 256 * 1024), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, &attr,
                [](void* p) -> void* {
                  Job* j = static_cast<Job*>(p);
                  j->results[0] = j->fx->Draw(j->inSpec, j->dst);
                  j->results[1] = j->fx->Draw(j->fallbackSpec, j->dst);
                  return nullptr;
                },
                &job),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  EXPECT_EQ(job.results[0], A_Err_NONE);
  EXPECT_EQ(job.results[1], A_Err_NONE);
}

// Every frame allocates and frees the same blocks, so the process's heap
// must settle after a few frames; it once grew by a decoder's half megabyte
// on every frame for as long as the host kept drawing.
TEST_F(DrawTest, RepeatedDrawsKeepTheHeapSteady) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer's allocator replaces the heap measured here";
#else
  AEIO_InSpecH inSpec = fx_.Footage(fx_.PackageWithPreview("photo.lvs", PhotoJpeg(1280, 720)));
  PF_EffectWorld* dst = fx_.Destination(PF_PixelFormat_ARGB32);
  const auto heap = [] {
    const struct mallinfo2 m = mallinfo2();
    return m.arena + m.hblkhd;
  };
  for (int frame = 0; frame < 10; ++frame) ASSERT_EQ(fx_.Draw(inSpec, dst), A_Err_NONE);
  const size_t settled = heap();
  for (int frame = 0; frame < 100; ++frame) ASSERT_EQ(fx_.Draw(inSpec, dst), A_Err_NONE);
  EXPECT_LT(heap(), settled + (8u << 20)) << "heap grew from " << settled << " bytes over 100 frames";
#endif
}

}  // namespace
