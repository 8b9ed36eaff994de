// The draw callback through the loaded module on the substitute host.
#include <pthread.h>

#include <fstream>
#include <random>

#include "Resample.h"
#include "ReferenceJpeg.h"
#include "fixture.h"
#include "SameSamples.h"

using namespace lvs_test;

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
    EXPECT_TRUE(SameSamples(Draw8(inSpec), Painted(jpeg)));
    EXPECT_EQ(m.Host().Memory().Info(m.Options(inSpec))->lockCount, 0) << "record left unlocked";
  }
}

// The drawn samples at every depth against the plain reference decoder, for
// every sampling, with and without restarts, in worked conversions: opaque,
// 8-bit as decoded, 16-bit (v x 32768 + 128) / 255, float v / 255.
TEST_F(DrawTest, EveryDepthReceivesTheReferencePictureConverted) {
  const char* samplings[] = {"-sample 1x1", "-sample 2x1", "-sample 1x2", "-sample 2x2", "-sample 4x1", "-grayscale"};
  for (size_t n = 0; n < std::size(samplings); ++n) {
    const std::string arguments = std::string("-quality 90 ") + samplings[n] + (n % 2 ? " -restart 3B" : "");
    const Bytes jpeg =
        lvs_test::EncodeWithCjpeg(lvs_test::MakePhotoLikePicture(1280, 720, unsigned(n), n == 5 ? 1 : 3), arguments);
    const lvs_reference::RefResult ref = lvs_reference::ReferenceDecode(jpeg.data(), jpeg.size());
    ASSERT_EQ(ref.result, 0) << arguments;
    const size_t components = ref.image.size() / (size_t(1280) * 720);
    AEIO_InSpecH inSpec = WithPreview(jpeg);
    PF_EffectWorld* d8 = m.Destination(PF_PixelFormat_ARGB32);
    PF_EffectWorld* d16 = m.Destination(PF_PixelFormat_ARGB64);
    PF_EffectWorld* dfloat = m.Destination(PF_PixelFormat_ARGB128, 1280, 720, 0);
    for (PF_EffectWorld* d : {d8, d16, dfloat}) ASSERT_EQ(m.Draw(inSpec, d), A_Err_NONE) << arguments;
    const auto s8 = Samples<uint8_t>(*d8);
    const auto s16 = Samples<uint16_t>(*d16);
    const auto sf = Samples<float>(*dfloat);
    size_t wrong = 0;
    for (size_t i = 0; i < s8.size(); ++i) {
      const uint32_t v = i % 4 == 0 ? 255 : ref.image[(i / 4) * components + (components == 3 ? i % 4 - 1 : 0)];
      wrong += s8[i] != v || s16[i] != (v * 32768 + 128) / 255 || sf[i] != float(v) / 255.0f;
    }
    EXPECT_EQ(wrong, 0u) << arguments;
  }
}

TEST_F(DrawTest, SmallerDestinationGetsTheHostsReducedCopy) {
  AEIO_InSpecH inSpec = WithPreview(Preview());
  PF_EffectWorld* full = m.Destination(PF_PixelFormat_ARGB32);
  PF_EffectWorld* small = m.Destination(PF_PixelFormat_ARGB32, 640, 360);
  PF_EffectWorld* expected = m.Destination(PF_PixelFormat_ARGB32, 640, 360);
  ASSERT_EQ(m.Draw(inSpec, full), A_Err_NONE);
  ASSERT_EQ(m.Draw(inSpec, small), A_Err_NONE);
  lvs_host::ResampleWorld(*full, *expected, PF_PixelFormat_ARGB32);
  EXPECT_TRUE(SameSamples(Samples<uint8_t>(*small), Samples<uint8_t>(*expected)));
}

// Only one side of the destination the package's size: the host resamples
// that side alone, at every depth, and no byte is written outside the rows.
TEST_F(DrawTest, DestinationsOfOneOtherSideGetTheHostsCopyAtEveryDepth) {
  AEIO_InSpecH inSpec = WithPreview(Preview());
  const struct {
    int width, height;
  } sizes[] = {{1280, 360}, {640, 720}, {1280, 1080}, {1920, 720}, {1280, 1}, {1, 720}};
  for (PF_PixelFormat format : {PF_PixelFormat_ARGB32, PF_PixelFormat_ARGB64, PF_PixelFormat_ARGB128}) {
    PF_EffectWorld* full = m.Destination(format);
    ASSERT_EQ(m.Draw(inSpec, full), A_Err_NONE);
    for (const auto& size : sizes) {
      SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height) + " " + lvs_host::FormatName(format));
      PF_EffectWorld* drawn = m.Destination(format, size.width, size.height, 20);
      PF_EffectWorld* expected = m.Destination(format, size.width, size.height, 20);
      ASSERT_EQ(m.Draw(inSpec, drawn), A_Err_NONE);
      lvs_host::ResampleWorld(*full, *expected, format);
      EXPECT_TRUE(m.Host().Worlds().GuardsIntact(drawn));
      if (format == PF_PixelFormat_ARGB32)
        EXPECT_TRUE(SameSamples(Samples<uint8_t>(*drawn), Samples<uint8_t>(*expected)));
      else if (format == PF_PixelFormat_ARGB64)
        EXPECT_TRUE(SameSamples(Samples<uint16_t>(*drawn), Samples<uint16_t>(*expected)));
      else
        EXPECT_TRUE(SameSamples(Samples<float>(*drawn), Samples<float>(*expected)));
    }
  }
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
      {"1280 by 721", lvs_maker::StyleEntries(kMeta, PhotoJpeg(1280, 721))},
      {"cut short", lvs_maker::StyleEntries(kMeta, Bytes(Preview().begin(), Preview().begin() + Preview().size() / 2))},
      {"not a JPEG", lvs_maker::StyleEntries(kMeta, Bytes(5000, 0x42))},
  };
  for (const auto& c : cases)
    EXPECT_TRUE(
        SameSamples(Draw8(m.Footage(scratch.Package("case" + std::to_string(n_++) + ".lvs", c.entries))), fallback))
        << c.what;
  // The package deleted after import, and footage without a record.
  const std::string gone = scratch.Package("gone.lvs", kMeta, Preview());
  AEIO_InSpecH inSpec = m.Footage(gone);
  fs::remove(gone);
  EXPECT_TRUE(SameSamples(Draw8(inSpec), fallback));
  EXPECT_TRUE(SameSamples(Draw8(m.Footage("", false)), fallback));
  // A preview that cannot be decrypted is 512, and nothing is drawn.
  const std::string foreign =
      scratch.Package("foreign.lvs", {Sealed("meta", meta), Sealed("prv", Preview(), "not the password")});
  const Bytes drawn = Draw8(m.Footage(foreign), PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_TRUE(SameSamples(drawn, Bytes(drawn.size(), lvs_host::kFreshWorldByte)));
}

// The preview in every form an entry takes, behind segments longer than the
// window it is read through, with restart markers: the reference picture.
TEST_F(DrawTest, EveryFormOfEntryDrawsThePreviewWhateverItsSegments) {
  const Bytes photo =
      lvs_test::EncodeWithCjpeg(lvs_test::MakePhotoLikePicture(1280, 720, 4), "-quality 90 -sample 2x2 -restart 5B");
  Bytes jpeg(photo.begin(), photo.begin() + 2);
  std::mt19937 random(9);
  for (int length : {65535, 65535, 300}) {
    jpeg.insert(jpeg.end(), {0xFF, 0xE9, uint8_t(length >> 8), uint8_t(length)});
    for (int i = 2; i < length; ++i) jpeg.push_back(uint8_t(random()));
  }
  jpeg.insert(jpeg.end(), photo.begin() + 2, photo.end());
  const Bytes expected = Painted(jpeg);
  ASSERT_FALSE(expected.empty());
  for (lvs_maker::Method method : {lvs_maker::Method::Store, lvs_maker::Method::Deflate})
    for (const std::string password : {"", kPackagePassword}) {
      const std::string path = scratch.Package("form" + std::to_string(n_++) + ".lvs",
                                               {Sealed("meta", ToBytes(kMeta)), {"prv", jpeg, method, password}});
      EXPECT_TRUE(SameSamples(Draw8(m.Footage(path)), expected))
          << (method == lvs_maker::Method::Store ? "stored" : "deflated") << (password.empty() ? ", plain" : "");
    }
}

// An entry whose bytes fail their CRC only after the end of the picture:
// the decoder may have drawn every row by then, and the draw is still 512.
TEST_F(DrawTest, APreviewThatFailsItsCheckAfterThePictureIs512) {
  Bytes jpeg = Preview();
  jpeg.insert(jpeg.end(), 3000, 0x5A);  // after the end of the image
  for (lvs_maker::Method method : {lvs_maker::Method::Store, lvs_maker::Method::Deflate})
    for (const std::string password : {"", kPackagePassword}) {
      const std::string path = scratch.Package("late" + std::to_string(n_++) + ".lvs",
                                               {Sealed("meta", ToBytes(kMeta)), {"prv", jpeg, method, password}});
      Bytes zip;
      ASSERT_TRUE(lvs_maker::ReadWholeFile(path, &zip));
      const size_t local = LocalHeaderOf(zip, "prv");
      const size_t data = local + 30 + Le16At(zip, local + 26) + Le16At(zip, local + 28);
      // The raw size as the directory records it (the local header may
      // leave it to a descriptor after the data).
      const uint8_t record[] = {'P', 'K', 1, 2, 0};
      size_t central = 0;
      for (auto at = zip.begin(); (at = std::search(at, zip.end(), record, record + 4)) != zip.end(); ++at)
        if (std::equal(at + 46, at + 49, "prv")) central = size_t(at - zip.begin());
      ASSERT_NE(central, 0u);
      const size_t raw = Le16At(zip, central + 20) | size_t(Le16At(zip, central + 22)) << 16;
      ASSERT_GT(raw, jpeg.size() / 2);
      // A stored entry's last bytes are the run after the picture; a
      // deflated one's last bytes code its end.
      zip[data + raw - 2] ^= 0x10;
      std::ofstream(path, std::ios::binary | std::ios::trunc)
          .write(reinterpret_cast<const char*>(zip.data()), std::streamsize(zip.size()));
      PF_EffectWorld* dst = m.Destination(PF_PixelFormat_ARGB32);
      EXPECT_EQ(m.Draw(m.Footage(path), dst), PF_Err_INTERNAL_STRUCT_DAMAGED)
          << (method == lvs_maker::Method::Store ? "stored" : "deflated") << (password.empty() ? ", plain" : "");
    }
}

TEST_F(DrawTest, DrawsOnAThreadWithA256KiBStack) {
  // The preview, and a package that needs the fallback (too large).
  struct Job {
    Module* m;
    AEIO_InSpecH inSpecs[2];
    PF_EffectWorld* dst;
    A_Err results[2];
  } job{&m,
        {WithPreview(Preview()), WithPreview(PhotoJpeg(1920, 1080))},
        m.Destination(PF_PixelFormat_ARGB64, 640, 360),
        {-1, -1}};
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
  EXPECT_EQ(job.results[0], A_Err_NONE);
  EXPECT_EQ(job.results[1], A_Err_NONE);
}

// The heap once grew by a decoder's half megabyte on every frame.
TEST_F(DrawTest, RepeatedDrawsKeepTheHeapSteady) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer's allocator replaces the heap measured here";
#else
  AEIO_InSpecH inSpec = WithPreview(Preview());
  PF_EffectWorld* dst = m.Destination(PF_PixelFormat_ARGB32);
  const auto heap = [] { return lvs_test::HeapInUse(); };
  for (int frame = 0; frame < 10; ++frame) ASSERT_EQ(m.Draw(inSpec, dst), A_Err_NONE);
  const size_t settled = heap();
  for (int frame = 0; frame < 100; ++frame) ASSERT_EQ(m.Draw(inSpec, dst), A_Err_NONE);
  EXPECT_LT(heap(), settled + (8u << 20));
#endif
}

}  // namespace
