// A fault sweep over every host operation of one draw, and every suite
// refused in turn: whatever fails, nothing is leaked, left locked or left
// acquired, and a result of 0 always comes with a whole picture.
#include <gtest/gtest.h>

#include <set>

#include "draw_fixture.h"

using namespace drawtest;

namespace {

constexpr A_Err kInjected = 77;

// What a clean draw of the package into a 16-bit 640 by 360 destination
// gives (this path has every host operation of a draw: both worlds, the row
// pass and the host's copy), for the preview and for the fallback.
struct Expectations {
  std::vector<std::string> log;
  std::vector<uint16_t> preview, fallback;
};

class DrawFaultTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    jpeg_ = new Bytes(PhotoJpeg(1280, 720));
    expect_ = new Expectations;
    DrawFixture fx("sweep_reference");
    ASSERT_EQ(fx.Loaded(), A_Err_NONE);
    AEIO_InSpecH inSpec = fx.Footage(fx.PackageWithPreview("p.lvs", *jpeg_));
    PF_EffectWorld* dst = fx.Destination(PF_PixelFormat_ARGB64, 640, 360);
    fx.Host().Faults().ResetCounts();
    ASSERT_EQ(fx.Draw(inSpec, dst), A_Err_NONE);
    expect_->log = fx.Host().Faults().CallLog();
    expect_->preview = Samples<uint16_t>(*dst);
    AEIO_InSpecH none = fx.FootageWithoutOptions();
    ASSERT_EQ(fx.Draw(none, dst), A_Err_NONE);
    expect_->fallback = Samples<uint16_t>(*dst);
  }
  static void TearDownTestSuite() {
    delete jpeg_;
    delete expect_;
  }

  static Bytes* jpeg_;
  static Expectations* expect_;
};
Bytes* DrawFaultTest::jpeg_ = nullptr;
Expectations* DrawFaultTest::expect_ = nullptr;

// Operations whose failure leaves something the host itself did not give
// back; the plug-in cannot mend that and must not retry.
bool IsRelease(const std::string& op) {
  static const std::set<std::string> releases = {"ReleaseSuite", "PF_DisposeWorld", "AEGP_UnlockMemHandle",
                                                 "host_unlock_handle", "host_dispose_handle"};
  return releases.count(op) != 0;
}

TEST_F(DrawFaultTest, EveryHostOperationFailingInTurn) {
  const std::vector<std::string>& log = expect_->log;
  ASSERT_GT(log.size(), 20u);
  for (const char* op : {"AEGP_GetInSpecOptionsHandle", "AEGP_LockMemHandle", "PF_NewWorld", "host_new_handle",
                         "host_lock_handle", "PF_GetPixelFormat", "AEGP_IterateGeneric", "copy"}) {
    EXPECT_NE(std::find(log.begin(), log.end(), op), log.end()) << op << " is part of the draw";
  }
  uint64_t injected = 0;
  for (size_t k = 0; k < log.size(); ++k) {
    const std::string& op = log[k];
    SCOPED_TRACE("call " + std::to_string(k + 1) + ": " + op);
    DrawFixture fx("sweep");
    ASSERT_EQ(fx.Loaded(), A_Err_NONE);
    AEIO_InSpecH inSpec = fx.Footage(fx.PackageWithPreview("p.lvs", *jpeg_));
    PF_EffectWorld* dst = fx.Destination(PF_PixelFormat_ARGB64, 640, 360);
    fx.Host().Faults().ResetCounts();
    fx.Host().Faults().FailNth(lvshost::kAnyOperation, k + 1, kInjected);
    const A_Err err = fx.Draw(inSpec, dst);
    injected += fx.Host().Faults().Injected();
    ASSERT_EQ(fx.Host().Faults().Injected(), 1u);
    const auto drawn = Samples<uint16_t>(*dst);

    if (op == "AcquireSuite") {
      EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
    } else if (op == "host_new_handle" || op == "host_lock_handle") {
      EXPECT_EQ(err, A_Err_NONE);
      EXPECT_TRUE(drawn == expect_->fallback);
    } else if (IsRelease(op)) {
      EXPECT_EQ(err, A_Err_NONE);
      EXPECT_TRUE(drawn == expect_->preview);
      // No second attempt, no release of anything else.
      EXPECT_EQ(fx.Host().Faults().CallLog(), log);
      continue;  // the host kept what it failed to release
    } else {
      EXPECT_EQ(err, kInjected);
    }
    if (err == A_Err_NONE) {
      EXPECT_TRUE(drawn == expect_->preview || drawn == expect_->fallback);
    }
    fx.Release();
    EXPECT_TRUE(fx.Host().Clean()) << fx.Host().Report();
  }
  EXPECT_EQ(injected, log.size());
  std::printf("[ sweep    ] %zu host operations in one draw, %llu faults injected\n", log.size(),
              static_cast<unsigned long long>(injected));
}

TEST_F(DrawFaultTest, EverySuiteRefusedInTurn) {
  std::set<std::string> suites;
  {
    DrawFixture fx("suites");
    ASSERT_EQ(fx.Loaded(), A_Err_NONE);
    AEIO_InSpecH inSpec = fx.Footage(fx.PackageWithPreview("p.lvs", *jpeg_));
    PF_EffectWorld* dst = fx.Destination(PF_PixelFormat_ARGB64, 640, 360);
    fx.Host().Suites().ClearEvents();
    ASSERT_EQ(fx.Draw(inSpec, dst), A_Err_NONE);
    for (const auto& e : fx.Host().Suites().Events())
      if (e.acquire) suites.insert(e.name);
  }
  EXPECT_EQ(suites.size(), 6u);
  for (const std::string& name : suites) {
    for (A_Err code : {PF_Err_BAD_CALLBACK_PARAM, A_Err_NONE}) {  // 0: success without a table
      SCOPED_TRACE(name + " refused with " + std::to_string(code));
      DrawFixture fx("refuse");
      ASSERT_EQ(fx.Loaded(), A_Err_NONE);
      AEIO_InSpecH inSpec = fx.Footage(fx.PackageWithPreview("p.lvs", *jpeg_));
      PF_EffectWorld* dst = fx.Destination(PF_PixelFormat_ARGB64, 640, 360);
      fx.Host().Faults().RefuseSuite(name, code);
      EXPECT_EQ(fx.Draw(inSpec, dst), PF_Err_BAD_CALLBACK_PARAM);
      fx.Release();
      EXPECT_TRUE(fx.Host().Clean()) << fx.Host().Report();
    }
  }
}

}  // namespace
