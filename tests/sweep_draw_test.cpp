// Fault sweeps over the draw callback at every depth, at the preview's own
// size (no resampling) and at other sizes (the temporary world and the
// host's copy), and on the fallback road. The 16-bit reduced draw has its
// own sweep in draw_faults_test.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "draw_fixture.h"
#include "sweep_harness.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The samples of a world, row by row without padding.
Bytes Pixels(const PF_EffectWorld& w, PF_PixelFormat format) {
  const size_t rowBytes = size_t(w.width) * size_t(lvshost::BytesPerPixel(format));
  Bytes out;
  for (int y = 0; y < w.height; ++y) {
    const auto* row = static_cast<const uint8_t*>(w.data) + std::ptrdiff_t(y) * w.rowbytes;
    out.insert(out.end(), row, row + rowBytes);
  }
  return out;
}

class DrawSweep : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new std::filesystem::path(std::filesystem::temp_directory_path() /
                                     ("lvs_sweep_draw_" + std::to_string(::getpid())));
    std::filesystem::create_directories(*dir_);
    withPreview_ = new std::string((*dir_ / "preview.lvs").string());
    withoutPreview_ = new std::string((*dir_ / "nopreview.lvs").string());
    std::string error;
    ASSERT_TRUE(lvs_maker::WritePackage(*withPreview_, lvs_maker::StyleEntries(drawtest::kMeta,
                                                                                drawtest::PhotoJpeg(1280, 720)),
                                        &error))
        << error;
    std::vector<lvs_maker::Entry> metaOnly = lvs_maker::StyleEntries(drawtest::kMeta, {});
    metaOnly.erase(metaOnly.begin() + 1);  // keep "meta" only
    ASSERT_EQ(metaOnly.front().name, "meta");
    ASSERT_TRUE(lvs_maker::WritePackage(*withoutPreview_, metaOnly, &error)) << error;
  }
  static void TearDownTestSuite() {
    std::filesystem::remove_all(*dir_);
    delete dir_;
    delete withPreview_;
    delete withoutPreview_;
  }

  // Footage made host-side, as a project would hold it, so that the sweep
  // sees the draw's host calls only.
  static void PrepareFootage(sweep::Run& run, const std::string& package, PF_PixelFormat format, int width,
                             int height) {
    Bytes record(1408, 0);
    std::memcpy(record.data(), package.data(), std::min<size_t>(package.size(), 259));
    run.options = run.host->Memory().Create(record, "LVS Options");
    run.inSpec = run.host->NewInSpec();
    run.host->SetInSpecOptions(run.inSpec, run.options);
    run.world = run.host->Worlds().Create(format, width, height, 8);
  }

  static A_Err Draw(sweep::Run& run) {
    AEIO_DrawSparseFramePB pb{};
    AEIO_DrawingFlags flags = 0;
    return run.host->Callbacks().AEIO_DrawSparseFrame(run.host->InData(), run.inSpec, &pb, run.world, &flags);
  }

  static void Release(sweep::Run& run) {
    run.host->Worlds().Release(run.world);
    run.host->SetInSpecOptions(run.inSpec, nullptr);
    run.host->Memory().Release(run.options);
    run.host->DeleteInSpec(run.inSpec);
  }

  // The picture a clean draw gives: of the package, or of footage with no
  // record at all (the fallback).
  static Bytes Reference(const std::string* package, PF_PixelFormat format, int width, int height) {
    sweep::Run run;
    run.host = std::make_unique<lvshost::SubstituteHost>();
    EXPECT_EQ(run.host->Load(LVS_PLUGIN_PATH), A_Err_NONE);
    if (package) {
      PrepareFootage(run, *package, format, width, height);
    } else {
      run.inSpec = run.host->NewInSpec();
      run.world = run.host->Worlds().Create(format, width, height, 8);
    }
    EXPECT_EQ(Draw(run), A_Err_NONE);
    Bytes pixels = Pixels(*run.world, format);
    run.host->Worlds().Release(run.world);
    if (run.options) {
      run.host->SetInSpecOptions(run.inSpec, nullptr);
      run.host->Memory().Release(run.options);
    }
    run.host->DeleteInSpec(run.inSpec);
    return pixels;
  }

  // Sweeps one draw. What a failure may give: the code of the failed call,
  // the missing-suite code, the fallback when the preview's buffer cannot
  // be had, and the whole picture when only a release failed.
  static sweep::Counts SweepDraw(const std::string& label, const std::string& package, PF_PixelFormat format,
                                 int width, int height) {
    const Bytes expected = Reference(&package, format, width, height);
    const Bytes fallback = Reference(nullptr, format, width, height);
    sweep::Scenario s;
    s.label = label;
    s.prepare = [&](sweep::Run& run) { PrepareFootage(run, package, format, width, height); };
    s.call = Draw;
    s.check = [&](sweep::Run& run, const std::string& op, A_Err result) {
      const Bytes drawn = Pixels(*run.world, format);
      if (op.empty() || op == "ReleaseSuite" || sweep::HostKeepsObject(op)) {
        EXPECT_EQ(result, A_Err_NONE);
        EXPECT_TRUE(drawn == expected) << "a failed release changes nothing drawn";
      } else if (op == "AcquireSuite" || op == sweep::kRefused) {
        EXPECT_EQ(result, sweep::kMissingSuite);
      } else if (op == "host_new_handle" || op == "host_lock_handle") {
        EXPECT_EQ(result, A_Err_NONE);
        EXPECT_TRUE(drawn == fallback) << "no buffer for the preview: the fallback";
      } else {
        EXPECT_EQ(result, sweep::kInjected);
      }
      EXPECT_TRUE(run.host->Worlds().GuardsIntact(run.world));
      Release(run);
    };
    const sweep::Counts counts = sweep::Sweep(s);
    EXPECT_GT(counts.hostCalls, 10u);
    return counts;
  }

  static std::filesystem::path* dir_;
  static std::string* withPreview_;
  static std::string* withoutPreview_;
};
std::filesystem::path* DrawSweep::dir_ = nullptr;
std::string* DrawSweep::withPreview_ = nullptr;
std::string* DrawSweep::withoutPreview_ = nullptr;

TEST_F(DrawSweep, EightBitAtThePreviewSize) {
  SweepDraw("DrawSparseFrame(8-bit 1280x720)", *withPreview_, PF_PixelFormat_ARGB32, 1280, 720);
}

TEST_F(DrawSweep, EightBitReduced) {
  SweepDraw("DrawSparseFrame(8-bit 640x360)", *withPreview_, PF_PixelFormat_ARGB32, 640, 360);
}

TEST_F(DrawSweep, SixteenBitAtThePreviewSize) {
  SweepDraw("DrawSparseFrame(16-bit 1280x720)", *withPreview_, PF_PixelFormat_ARGB64, 1280, 720);
}

TEST_F(DrawSweep, FloatAtThePreviewSize) {
  SweepDraw("DrawSparseFrame(float 1280x720)", *withPreview_, PF_PixelFormat_ARGB128, 1280, 720);
}

TEST_F(DrawSweep, FloatEnlarged) {
  SweepDraw("DrawSparseFrame(float 1400x800)", *withPreview_, PF_PixelFormat_ARGB128, 1400, 800);
}

// No preview in the package: the fallback is decoded and painted, and the
// preview's buffer is never asked for.
TEST_F(DrawSweep, FallbackRoad) {
  const sweep::Counts counts =
      SweepDraw("DrawSparseFrame(no preview, 16-bit 320x180)", *withoutPreview_, PF_PixelFormat_ARGB64, 320, 180);
  EXPECT_GT(counts.suites, 0u);
}

}  // namespace
