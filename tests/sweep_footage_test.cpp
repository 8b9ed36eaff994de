// Fault sweeps over the open callback on the roads the worked example of
// footage_fault_sweep_test.cpp does not take (no metadata, metadata that
// cannot be parsed), over dispose without a record, over the entry with
// every suite refused, and over the callbacks that call no host operation
// at all, which must give the same answer whatever the host refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "PackageBuilder.h"
#include "StylePackage.h"
#include "sweep_harness.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

class FootageSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("lvs_sweep_footage_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Package(const std::string& name, const std::vector<lvs_maker::Entry>& entries) {
    const std::string path = (dir_ / name).string();
    std::string error;
    EXPECT_TRUE(lvs_maker::WritePackage(path, entries, &error)) << error;
    return path;
  }

  static A_Err Open(sweep::Run& run, const std::string& path) {
    run.inSpec = run.host->NewInSpec();
    const std::u16string wide(path.begin(), path.end());
    return run.host->Callbacks().AEIO_InitInSpecFromFile(
        run.host->InData(), reinterpret_cast<const A_UTF16Char*>(wide.c_str()), run.inSpec);
  }

  static AEGP_MemHandle Attached(sweep::Run& run) {
    const auto attrs = run.host->InSpec(run.inSpec);
    return attrs ? attrs->options : nullptr;
  }

  // An open whose metadata cannot be used: the code is 512 whatever else
  // failed, unless the record itself could not be made (the failed call's
  // code), or the metadata's buffer could not be had (out of memory). The
  // record is attached, empty, unless making or attaching it failed.
  static sweep::Counts SweepUnusableMeta(const std::string& label, const std::string& path, bool readsMeta) {
    sweep::Scenario s;
    s.label = label;
    s.prepare = [](sweep::Run&) {};
    s.call = [path](sweep::Run& run) { return Open(run, path); };
    s.check = [readsMeta](sweep::Run& run, const std::string& op, A_Err result) {
      const bool noRecord = op == "AcquireSuite" || op == sweep::kRefused || op == "AEGP_NewMemHandle" ||
                            op == "AEGP_LockMemHandle";
      if (op == "AcquireSuite" || op == sweep::kRefused)
        EXPECT_EQ(result, sweep::kMissingSuite);
      else if (noRecord)
        EXPECT_EQ(result, sweep::kInjected);
      else if (op == "host_new_handle" || op == "host_lock_handle")
        EXPECT_EQ(result, PF_Err_OUT_OF_MEMORY);
      else
        EXPECT_EQ(result, PF_Err_INTERNAL_STRUCT_DAMAGED);
      if (!readsMeta) {
        EXPECT_EQ(run.host->Faults().Calls("host_new_handle"), 0u) << "nothing to read";
      }

      const AEGP_MemHandle h = Attached(run);
      EXPECT_EQ(h != nullptr, !noRecord && op != "AEGP_SetInSpecOptionsHandle");
      if (h) {
        const Bytes record = run.host->Memory().Bytes(h);
        ASSERT_EQ(record.size(), 1408u);
        for (size_t i = 0; i < record.size(); ++i) ASSERT_EQ(record[i], 0) << "byte " << i << " of an empty record";
        if (op != "AEGP_UnlockMemHandle") {
          EXPECT_EQ(run.host->Callbacks().AEIO_DisposeInSpec(run.host->InData(), run.inSpec), A_Err_NONE);
        }
      } else {
        EXPECT_EQ(run.host->Memory().LiveCount(), 0u) << "a record not attached is freed";
      }
      run.host->DeleteInSpec(run.inSpec);
    };
    return sweep::Sweep(s);
  }

  fs::path dir_;
};

TEST_F(FootageSweep, OpenWithoutMetadata) {
  const std::string path = Package("prv-only.lvs", {{"prv", Bytes(64, 1), lvs_maker::Method::Deflate,
                                                     kPackagePassword}});
  SweepUnusableMeta("InitInSpecFromFile(no meta)", path, false);
}

TEST_F(FootageSweep, OpenMissingFile) {
  SweepUnusableMeta("InitInSpecFromFile(no file)", (dir_ / "absent.lvs").string(), false);
}

TEST_F(FootageSweep, OpenWithUnparseableMetadata) {
  const std::string text = R"({"name":"Ink","author":"A. B.","hash":"9f2c"})";  // no version
  const std::string path = Package("bad-meta.lvs", lvs_maker::StyleEntries(text, Bytes(64, 1)));
  const sweep::Counts counts = SweepUnusableMeta("InitInSpecFromFile(meta unparseable)", path, true);
  EXPECT_GT(counts.hostCalls, 12u) << "the metadata's buffer is among the calls";
}

TEST_F(FootageSweep, DisposeWithoutRecord) {
  sweep::Scenario s;
  s.label = "DisposeInSpec(no record)";
  s.prepare = [](sweep::Run& run) { run.inSpec = run.host->NewInSpec(); };
  s.call = [](sweep::Run& run) {
    return run.host->Callbacks().AEIO_DisposeInSpec(run.host->InData(), run.inSpec);
  };
  s.check = [](sweep::Run& run, const std::string& op, A_Err result) {
    if (op.empty() || op == "ReleaseSuite")
      EXPECT_EQ(result, A_Err_NONE);
    else if (op == "AcquireSuite" || op == sweep::kRefused)
      EXPECT_EQ(result, sweep::kMissingSuite);
    else
      EXPECT_EQ(result, sweep::kInjected);
    EXPECT_EQ(run.host->Faults().Calls("AEGP_FreeMemHandle"), 0u) << "nothing to free";
    run.host->DeleteInSpec(run.inSpec);
  };
  sweep::Sweep(s);
}

// The entry's own call sweep lives in entry_registration_test.cpp; here
// every suite it takes is refused in both ways in turn.
TEST(EntrySweep, EverySuiteRefusedInTurn) {
  std::set<std::string> suites;
  {
    lvshost::SubstituteHost host;
    ASSERT_EQ(host.Load(LVS_PLUGIN_PATH), A_Err_NONE);
    for (const auto& e : host.Suites().Events())
      if (e.acquire) suites.insert(e.name);
  }
  ASSERT_FALSE(suites.empty());
  uint64_t injected = 0;
  for (const std::string& suite : suites) {
    for (A_Err refusal : {sweep::kMissingSuite, A_Err(0)}) {
      SCOPED_TRACE(suite + " refused with " + std::to_string(refusal));
      lvshost::SubstituteHost host;
      host.Faults().RefuseSuite(suite, refusal);
      EXPECT_EQ(host.Load(LVS_PLUGIN_PATH), sweep::kMissingSuite);
      ++injected;
      EXPECT_EQ(host.PluginID(), 0) << "no plug-in id without every suite";
      EXPECT_TRUE(host.Clean()) << host.Report();
    }
  }
  std::printf("[ sweep    ] EntryPointFunc: %zu suites, %llu injected faults\n", suites.size(),
              static_cast<unsigned long long>(injected));
}

// Callbacks that need no host service: whatever the host refuses, they
// answer the same and take nothing.
TEST(NoHostCallbacks, AnswerTheSameWhateverTheHostRefuses) {
  for (int refuse = 0; refuse < 2; ++refuse) {
    SCOPED_TRACE(refuse ? "every suite refused, every call failing" : "a willing host");
    lvshost::SubstituteHost host;
    ASSERT_EQ(host.Load(LVS_PLUGIN_PATH), A_Err_NONE);
    if (refuse) {
      for (const char* suite : {kAEGPRegisterSuite, kAEGPUtilitySuite, kAEGPMemorySuite, kAEGPIOInSuite,
                                kPFHandleSuite, kPFWorldSuite, kPFWorldTransformSuite, kAEGPIterateSuite})
        host.Faults().RefuseSuite(suite);
      host.Faults().FailAlways(lvshost::kAnyOperation, sweep::kInjected);
    }
    host.Faults().ResetCounts();
    const AEIO_FunctionBlock4& cb = host.Callbacks();
    AEIO_InSpecH inSpec = host.NewInSpec();

    AEIO_Verbiage verbiage;
    std::memset(&verbiage, 0x7F, sizeof(verbiage));
    EXPECT_EQ(cb.AEIO_GetInSpecInfo(host.InData(), inSpec, &verbiage), A_Err_NONE);
    EXPECT_STREQ(verbiage.name, "Lumivastrin Styles Importer");
    EXPECT_STREQ(verbiage.type, "LVS");
    EXPECT_STREQ(verbiage.sub_type, "To use with Lumivastrin Styles");

    const A_Time zero{0, 1};
    A_LRect extent{};
    EXPECT_EQ(cb.AEIO_GetActiveExtent(host.InData(), inSpec, &zero, &extent), AEIO_Err_USE_DFLT_CALLBACK);
    A_Boolean found = 0;
    A_Time next{};
    EXPECT_EQ(cb.AEIO_InqNextFrameTime(host.InData(), inSpec, &zero, AEIO_TimeDir(0), &found, &next),
              AEIO_Err_USE_DFLT_CALLBACK);
    EXPECT_EQ(cb.AEIO_CloseSourceFiles(host.InData(), inSpec), A_Err_NONE);

    EXPECT_EQ(host.Faults().TotalCalls(), 0u) << "no host operation at all";
    host.Faults().Clear();
    host.DeleteInSpec(inSpec);
    EXPECT_TRUE(host.Clean()) << host.Report();
  }
  std::printf("[ sweep    ] GetInSpecInfo, GetActiveExtent, InqNextFrameTime, CloseSourceFiles: 0 host calls, "
              "0 faults to inject\n");
}

}  // namespace
