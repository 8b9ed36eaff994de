// Unexported parts of the drawing, compiled in.
#include <atomic>

#include "PreviewDraw.h"
#include "fixture.h"
#include "SameSamples.h"

using namespace lvs_test;

namespace {

TEST(SetPixelSafe, PullsOutsideCoordinatesOntoTheNearestEdge) {
  // 3 by 2 pixels, 8 bytes of padding per row.
  Bytes memory(40, 0);
  PF_LayerDef w{};
  w.data = reinterpret_cast<PF_PixelPtr>(memory.data());
  w.width = 3;
  w.height = 2;
  w.rowbytes = 20;
  const struct {
    A_long x, y;
    size_t redAt;
  } cases[] = {{3, 0, 9}, {-100000, 100000, 21}};
  for (const auto& c : cases) {
    setPixelSafe(&w, c.x, c.y, PF_Pixel{255, 10, 0, 0});
    EXPECT_EQ(memory[c.redAt], 10) << c.x << "," << c.y;
    EXPECT_EQ(memory[c.redAt - 1], 255) << c.x << "," << c.y;
  }
  for (size_t k = 0; k < 40; ++k) EXPECT_TRUE(k % 20 < 12 || memory[k] == 0) << "padding byte " << k;
}

// Decoder memory whose requests numbered gFailFrom to gFailUntil fail.
std::atomic<int> gRequests{0};
int gFailFrom = 0, gFailUntil = 0;
void* Scarce(uint64_t size) {
  const int n = ++gRequests;
  return n >= gFailFrom && n <= gFailUntil ? nullptr : std::malloc(size);
}
void FailRequests(int from, int until) {
  gRequests = 0;
  gFailFrom = from;
  gFailUntil = until;
}

class DirectDrawTest : public ::testing::Test {
 protected:
  void TearDown() override {
    m_.Release();
    EXPECT_TRUE(host_.Clean()) << host_.Report();
  }
  AEIO_InSpecH FootageFor(const Bytes& prv) { return m_.Footage(scratch_.Package("p.lvs", kMeta, prv)); }
  A_Err Draw(AEIO_InSpecH inSpec) {
    return DrawPreviewFrame(host_.InData(), inSpec, dst_, DecoderMemory{Scarce, std::free});
  }

  Scratch scratch_;
  Module m_{false};
  lvs_host::SubstituteHost& host_ = m_.Host();
  PF_EffectWorld* dst_ = m_.Destination(PF_PixelFormat_ARGB32, 1280, 720, 0);
};

TEST_F(DirectDrawTest, FallbackThatCannotBeDecodedIsOutOfMemoryAndDrawsNothing) {
  AEIO_InSpecH inSpec = FootageFor(Bytes(100, 1));  // not a JPEG: the fallback is needed
  FailRequests(1, 1 << 30);
  host_.Faults().ResetCounts();
  EXPECT_EQ(Draw(inSpec), PF_Err_OUT_OF_MEMORY);
  EXPECT_TRUE(SameSamples(Samples<uint8_t>(*dst_), Bytes(size_t(1280) * 720 * 4, lvs_host::kFreshWorldByte)));
  EXPECT_EQ(host_.Faults().Calls("PF_NewWorld"), host_.Faults().Calls("PF_DisposeWorld"));
  EXPECT_EQ(host_.Faults().Calls("copy") + host_.Faults().Calls("AEGP_IterateGeneric"), 0u);
}

TEST_F(DirectDrawTest, PreviewDecoderOutOfMemoryDrawsTheFallback) {
  AEIO_InSpecH inSpec = FootageFor(Preview());
  // The preview's first request fails; the fallback gets what it needs.
  FailRequests(1, 1);
  EXPECT_EQ(Draw(inSpec), A_Err_NONE);
  EXPECT_GT(gRequests.load(), 1);
  EXPECT_TRUE(SameSamples(Samples<uint8_t>(*dst_), Painted(FallbackJpeg())));
}

}  // namespace
