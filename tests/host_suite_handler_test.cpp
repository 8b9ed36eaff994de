// The suite cache against the substitute host's basic suite.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "AEGP_SuiteHandler.h"
#include "host_test_support.h"

using namespace lvs_host;

namespace {

A_Err MissingSuiteCode(const std::function<void()>& f) {
  try {
    f();
  } catch (A_long code) {
    return code;
  }
  return A_Err_NONE;
}

TEST(SuiteHandler, AcquiresOnFirstUseOnceAndReleasesInTableOrder) {
  SubstituteHost host;
  {
    AEGP_SuiteHandler suites(host.BasicSuite());
    suites.HandleSuite();
    const AEGP_MemorySuite1* memory = suites.MemorySuite();
    EXPECT_EQ(suites.MemorySuite(), memory);
    EXPECT_EQ(host.Suites().Acquired(kAEGPMemorySuite), 1);
    suites.IOInSuite();
    suites.AEGPIterateSuite();
    suites.PFWorldTransformSuite();
    suites.PFWorldSuite();
    suites.UtilitySuite();
    suites.RegisterSuite();
    // The names and versions the plug-in must ask for, written out here
    // rather than taken from the declarations the host serves them by.
    std::vector<std::pair<std::string, int32_t>> asked;
    for (const SuiteEvent& e : host.Suites().Events()) asked.emplace_back(e.name, e.version);
    EXPECT_EQ(asked, (std::vector<std::pair<std::string, int32_t>>{{"PF Handle Suite", 2},
                                                                   {"AEGP Memory Suite", 1},
                                                                   {"AEGP IO In Suite", 5},
                                                                   {"AEGP Iterate Suite", 1},
                                                                   {"PF World Transform Suite", 1},
                                                                   {"PF World Suite", 2},
                                                                   {"AEGP Utility Suite", 11},
                                                                   {"AEGP Register Suite", 6}}));
    host.Suites().ClearEvents();
  }
  std::vector<std::string> released;
  for (const SuiteEvent& e : host.Suites().Events()) released.push_back((e.acquire ? "+" : "") + e.name);
  EXPECT_EQ(released, (std::vector<std::string>{"AEGP Register Suite", "AEGP Utility Suite", "PF World Suite",
                                                "PF World Transform Suite", "AEGP Iterate Suite", "AEGP IO In Suite",
                                                "AEGP Memory Suite", "PF Handle Suite"}));
  EXPECT_TRUE(host.Clean()) << host.Report();
  EXPECT_EQ(MissingSuiteCode([] { AEGP_SuiteHandler suites(nullptr); }), PF_Err_BAD_CALLBACK_PARAM);
}

TEST(SuiteHandler, RefusalRaises516AndReleasesEarlierRows) {
  for (A_Err refusal : {A_Err(kSPSuiteNotFoundError), A_Err(A_Err_NONE)}) {  // 0: success without a table
    SubstituteHost host;
    host.Faults().RefuseSuite(kAEGPIOInSuite, refusal);
    const A_Err code = MissingSuiteCode([&] {
      AEGP_SuiteHandler suites(host.BasicSuite());
      suites.MemorySuite();
      suites.IOInSuite();
      ADD_FAILURE() << "a refused suite must not be returned";
    });
    EXPECT_EQ(code, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host.Suites().Released(kAEGPMemorySuite), 1);
    EXPECT_EQ(host.Suites().Released(kAEGPIOInSuite), 0);
    EXPECT_TRUE(host.Clean()) << host.Report();
  }
}

}  // namespace
