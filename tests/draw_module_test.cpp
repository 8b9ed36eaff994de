// The draw callback through the loaded module on the substitute host.
#include <malloc.h>
#include <pthread.h>

#include "Resample.h"
#include "SampleConvert.h"
#include "fixture.h"

using namespace lvstest;

namespace {

class DrawTest : public ModuleTest {
 protected:
  Bytes Draw8(AEIO_InSpecH inSpec, A_Err expected = A_Err_NONE) {
    PF_EffectWorld* dst = m.Destination(PF_PixelFormat_ARGB32);
    EXPECT_EQ(m.Draw(inSpec, dst), expected);
    return Samples<uint8_t>(*dst);
  }
  AEIO_InSpecH WithPreview(const Bytes& jpeg) {
    return m.Footage(scratch.Package("p" + std::to_string(n_++) + ".lvs", kMeta, jpeg));
  }
  int n_ = 0;
};

TEST_F(DrawTest, EightBitDestinationsReceiveTheDecodedBytesOpaque) {
  for (Subsampling sampling : {Subsampling::S420, Subsampling::Grey}) {
    const Bytes jpeg = PhotoJpeg(1280, 720, sampling);
    AEIO_InSpecH inSpec = WithPreview(jpeg);
    EXPECT_TRUE(Draw8(inSpec) == Painted(jpeg));
    EXPECT_EQ(m.Host().Memory().Info(m.Options(inSpec))->lockCount, 0) << "record left unlocked";
  }
}

TEST_F(DrawTest, DeeperDestinationsReceiveConvertedSamples) {
  const Bytes jpeg = PhotoJpeg(1280, 720, Subsampling::S444);
  const Bytes expected = Painted(jpeg);
  AEIO_InSpecH inSpec = WithPreview(jpeg);
  PF_EffectWorld* d16 = m.Destination(PF_PixelFormat_ARGB64);
  PF_EffectWorld* dfloat = m.Destination(PF_PixelFormat_ARGB128, 1280, 720, 0);
  ASSERT_EQ(m.Draw(inSpec, d16), A_Err_NONE);
  ASSERT_EQ(m.Draw(inSpec, dfloat), A_Err_NONE);
  const auto s16 = Samples<uint16_t>(*d16);
  const auto sf = Samples<float>(*dfloat);
  ASSERT_TRUE(s16.size() == expected.size() && sf.size() == expected.size());
  for (size_t i = 0; i < s16.size(); ++i)
    ASSERT_TRUE((s16[i] == Convert<uint16_t, uint8_t>(expected[i]) && sf[i] == Convert<float, uint8_t>(expected[i])))
        << i;
  EXPECT_TRUE(s16[0] == 32768 && sf[0] == 1.0f) << "opaque";
}

TEST_F(DrawTest, SmallerDestinationGetsTheHostsReducedCopy) {
  AEIO_InSpecH inSpec = WithPreview(Preview());
  PF_EffectWorld* full = m.Destination(PF_PixelFormat_ARGB32);
  PF_EffectWorld* small = m.Destination(PF_PixelFormat_ARGB32, 640, 360);
  PF_EffectWorld* expected = m.Destination(PF_PixelFormat_ARGB32, 640, 360);
  ASSERT_EQ(m.Draw(inSpec, full), A_Err_NONE);
  ASSERT_EQ(m.Draw(inSpec, small), A_Err_NONE);
  lvshost::ResampleWorld(*full, *expected, PF_PixelFormat_ARGB32);
  EXPECT_TRUE(Samples<uint8_t>(*small) == Samples<uint8_t>(*expected));
}

// Every preview that cannot be used gives the fallback picture and 0.
TEST_F(DrawTest, UnusablePreviewsDrawTheFallbackOrFail) {
  const Bytes fallback = Painted(FallbackJpeg());
  const Bytes meta = ToBytes(kMeta);
  const struct {
    const char* what;
    std::vector<lvs_maker::Entry> entries;
  } cases[] = {
      {"no prv entry", {Sealed("meta", meta)}},
      {"progressive", lvs_maker::StyleEntries(kMeta, PhotoJpeg(1280, 720, Subsampling::S420, true))},
      {"1281 by 720", lvs_maker::StyleEntries(kMeta, PhotoJpeg(1281, 720))},
      {"not a JPEG", lvs_maker::StyleEntries(kMeta, Bytes(5000, 0x42))},
  };
  for (const auto& c : cases)
    EXPECT_TRUE(Draw8(m.Footage(scratch.Package("case" + std::to_string(n_++) + ".lvs", c.entries))) == fallback) << c.what;
  // The package deleted after import, and footage without a record.
  const std::string gone = scratch.Package("gone.lvs", kMeta, Preview());
  AEIO_InSpecH inSpec = m.Footage(gone);
  fs::remove(gone);
  EXPECT_TRUE(Draw8(inSpec) == fallback);
  EXPECT_TRUE(Draw8(m.Footage("", false)) == fallback);
  // A preview that cannot be decrypted is 512, and the unpainted world is copied.
  const std::string foreign =
      scratch.Package("foreign.lvs", {Sealed("meta", meta), Sealed("prv", Preview(), "not the password")});
  const Bytes drawn = Draw8(m.Footage(foreign), PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_TRUE(drawn == Bytes(drawn.size(), lvshost::kFreshWorldByte));
}

TEST_F(DrawTest, DrawsOnAThreadWithA256KiBStack) {
  // The preview, and a package that needs the fallback (too large).
  struct Job {
    Module* m;
    AEIO_InSpecH inSpecs[2];
    PF_EffectWorld* dst;
    A_Err results[2];
  } job{&m, {WithPreview(Preview()), WithPreview(PhotoJpeg(1920, 1080))},
        m.Destination(PF_PixelFormat_ARGB64, 640, 360), {-1, -1}};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 256 * 1024), 0);
  pthread_t thread;
  const auto body = [](void* p) -> void* {
    Job* j = static_cast<Job*>(p);
    for (int i = 0; i < 2; ++i) j->results[i] = j->m->Draw(j->inSpecs[i], j->dst);
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, body, &job), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  EXPECT_TRUE(job.results[0] == A_Err_NONE && job.results[1] == A_Err_NONE);
}

// The heap once grew by a decoder's half megabyte on every frame.
TEST_F(DrawTest, RepeatedDrawsKeepTheHeapSteady) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer's allocator replaces the heap measured here";
#else
  AEIO_InSpecH inSpec = WithPreview(Preview());
  PF_EffectWorld* dst = m.Destination(PF_PixelFormat_ARGB32);
  const auto heap = [] {
    const struct mallinfo2 info = mallinfo2();
    return info.arena + info.hblkhd;
  };
  for (int frame = 0; frame < 10; ++frame) ASSERT_EQ(m.Draw(inSpec, dst), A_Err_NONE);
  const size_t settled = heap();
  for (int frame = 0; frame < 100; ++frame) ASSERT_EQ(m.Draw(inSpec, dst), A_Err_NONE);
  EXPECT_LT(heap(), settled + (8u << 20));
#endif
}

}  // namespace
