// Parts of the drawing the module does not export: setPixelSafe, and the
// draw with decoder memory that runs out (compiled in directly, driven on
// the substitute host without loading the module).
#include <gtest/gtest.h>

#include <atomic>

#include "PreviewDraw.h"
#include "draw_fixture.h"

using namespace drawtest;

namespace {

TEST(SetPixelSafe, PullsOutsideCoordinatesOntoTheNearestEdge) {
  // 3 by 2 pixels, rows of 20 bytes (8 bytes of padding).
  Bytes memory(40, 0);
  PF_LayerDef w{};
  w.data = memory.data();
  w.width = 3;
  w.height = 2;
  w.rowbytes = 20;
  auto at = [&](int x, int y) { return memory[size_t(y) * 20 + size_t(x) * 4 + 1]; };
  const auto put = [&](A_long x, A_long y, uint8_t red) { setPixelSafe(&w, x, y, PF_Pixel{255, red, 0, 0}); };
  put(-1, 0, 10);
  EXPECT_EQ(at(0, 0), 10);
  put(3, 0, 20);
  EXPECT_EQ(at(2, 0), 20);
  put(1, 2, 30);
  EXPECT_EQ(at(1, 1), 30);
  put(-100000, 100000, 40);
  EXPECT_EQ(at(0, 1), 40);
  put(1, 1, 50);
  EXPECT_EQ(at(1, 1), 50);
  EXPECT_EQ(memory[20 + 4 + 0], 255);  // alpha of (1, 1)
  for (int k = 12; k < 20; ++k) EXPECT_EQ(memory[k], 0) << "padding of row 0";
  for (int k = 32; k < 40; ++k) EXPECT_EQ(memory[k], 0) << "padding of row 1";

  PF_LayerDef empty{};
  empty.data = memory.data();
  setPixelSafe(&empty, 0, 0, PF_Pixel{1, 2, 3, 4});  // no pixels: nothing stored
  EXPECT_EQ(memory[0], 255);
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
    host_.Faults().Clear();
    for (PF_EffectWorld* w : worlds_) host_.Worlds().Release(w);
    host_.SetInSpecOptions(spec_, nullptr);
    if (options_) host_.Memory().Release(options_);
    host_.DeleteInSpec(spec_);
    EXPECT_TRUE(host_.Clean()) << host_.Report();
    std::filesystem::remove_all(dir_);
  }
  AEIO_InSpecH FootageFor(const Bytes& prv) {
    std::filesystem::create_directories(dir_);
    const std::string path = (dir_ / "p.lvs").string();
    EXPECT_TRUE(lvs_maker::WritePackage(path, lvs_maker::StyleEntries(kMeta, prv)));
    Bytes record(1408, 0);
    std::memcpy(record.data(), path.data(), path.size());
    options_ = host_.Memory().Create(record, "LVS Options");
    host_.SetInSpecOptions(spec_, options_);
    return spec_;
  }
  PF_EffectWorld* Destination() {
    worlds_.push_back(host_.Worlds().Create(PF_PixelFormat_ARGB32, 1280, 720));
    return worlds_.back();
  }

  lvshost::SubstituteHost host_;
  AEIO_InSpecH spec_ = host_.NewInSpec();
  AEGP_MemHandle options_ = nullptr;
  std::vector<PF_EffectWorld*> worlds_;
  std::filesystem::path dir_ = std::filesystem::temp_directory_path() / ("lvs_draw_direct_" + std::to_string(::getpid()));
};

TEST_F(DirectDrawTest, FallbackThatCannotBeDecodedIsOutOfMemoryAndDrawsNothing) {
  AEIO_InSpecH inSpec = FootageFor(Bytes(100, 1));  // not a JPEG: the fallback is needed
  PF_EffectWorld* dst = Destination();
  FailRequests(1, 1 << 30);
  host_.Faults().ResetCounts();
  EXPECT_EQ(DrawPreviewFrame(host_.InData(), inSpec, dst, DecoderMemory{Scarce, std::free}), PF_Err_OUT_OF_MEMORY);
  EXPECT_TRUE(Samples<uint8_t>(*dst) == Bytes(size_t(1280) * 720 * 4, lvshost::kFreshWorldByte));
  EXPECT_EQ(host_.Faults().Calls("PF_NewWorld"), host_.Faults().Calls("PF_DisposeWorld"));
  EXPECT_EQ(host_.Faults().Calls("copy") + host_.Faults().Calls("AEGP_IterateGeneric"), 0u);
}

TEST_F(DirectDrawTest, PreviewDecoderOutOfMemoryDrawsTheFallback) {
  const Bytes jpeg = PhotoJpeg(1280, 720);
  AEIO_InSpecH inSpec = FootageFor(jpeg);
  PF_EffectWorld* dst = Destination();
  // The preview's first request fails; the fallback gets what it needs.
  FailRequests(1, 1);
  EXPECT_EQ(DrawPreviewFrame(host_.InData(), inSpec, dst, DecoderMemory{Scarce, std::free}), A_Err_NONE);
  EXPECT_GT(gRequests.load(), 1);
  EXPECT_TRUE(Samples<uint8_t>(*dst) == Fallback().bytes);
  // With memory enough, the same draw gives the preview.
  FailRequests(0, 0);
  EXPECT_EQ(DrawPreviewFrame(host_.InData(), inSpec, dst, DecoderMemory{Scarce, std::free}), A_Err_NONE);
  EXPECT_TRUE(Samples<uint8_t>(*dst) == Painted(jpeg).bytes);
}

}  // namespace
