// The suite cache, compiled straight into the test and run against the
// substitute host's basic suite.
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "AEGP_SuiteHandler.h"
#include "ErrorBoundary.h"
#include "host_test_support.h"

using namespace lvshost;

namespace {

std::vector<std::string> Names(const std::vector<SuiteEvent>& events, bool acquire) {
  std::vector<std::string> out;
  for (const SuiteEvent& e : events)
    if (e.acquire == acquire) out.push_back(e.name);
  return out;
}

A_Err MissingSuiteCode(const std::function<void()>& f) {
  try {
    f();
  } catch (A_long code) {
    return code;
  }
  return A_Err_NONE;
}

TEST(SuiteHandler, RepeatedRequestsAcquireOnceAndReleaseOnce) {
  SubstituteHost host;
  { AEGP_SuiteHandler unused(host.BasicSuite()); }
  EXPECT_TRUE(host.Suites().Events().empty()) << "an unused cache touches nothing";
  {
    AEGP_SuiteHandler suites(host.BasicSuite());
    const AEGP_MemorySuite1* first = suites.MemorySuite();
    EXPECT_EQ(suites.MemorySuite(), first);
    EXPECT_EQ(host.Suites().Acquired(kAEGPMemorySuite), 1);
    // The table is the host's working memory suite.
    AEGP_MemHandle h = nullptr;
    EXPECT_EQ(first->AEGP_NewMemHandle(0, "probe", 3, AEGP_MemFlag_CLEAR, &h), A_Err_NONE);
    EXPECT_EQ(first->AEGP_FreeMemHandle(h), A_Err_NONE);
  }
  EXPECT_EQ(host.Suites().Released(kAEGPMemorySuite), 1);
  EXPECT_TRUE(host.Clean()) << host.Report();
  EXPECT_EQ(MissingSuiteCode([] { AEGP_SuiteHandler suites(nullptr); }), PF_Err_BAD_CALLBACK_PARAM);
}

TEST(SuiteHandler, ReleasesInTableOrderWhateverTheRequestOrder) {
  SubstituteHost host;
  {
    AEGP_SuiteHandler suites(host.BasicSuite());
    suites.HandleSuite();
    suites.MemorySuite();
    suites.IOInSuite();
    suites.AEGPIterateSuite();
    suites.PFWorldTransformSuite();
    suites.PFWorldSuite();
    suites.UtilitySuite();
    suites.RegisterSuite();
    host.Suites().ClearEvents();
  }
  EXPECT_EQ(Names(host.Suites().Events(), false),
            (std::vector<std::string>{"AEGP Register Suite", "AEGP Utility Suite", "PF World Suite",
                                      "PF World Transform Suite", "AEGP Iterate Suite", "AEGP IO In Suite",
                                      "AEGP Memory Suite", "PF Handle Suite"}));
  for (const SuiteEvent& e : host.Suites().Events()) EXPECT_FALSE(e.acquire);
  EXPECT_TRUE(host.Clean()) << host.Report();
}

TEST(SuiteHandler, NestedCachesAcquireTwiceAndReleaseInnerFirst) {
  SubstituteHost host;
  {
    AEGP_SuiteHandler outer(host.BasicSuite());
    outer.PFWorldSuite();
    {
      AEGP_SuiteHandler inner(host.BasicSuite());
      inner.PFWorldSuite();
      EXPECT_EQ(host.Suites().Acquired(kPFWorldSuite), 2);
    }
    EXPECT_EQ(host.Suites().Released(kPFWorldSuite), 1);
  }
  EXPECT_EQ(host.Suites().Released(kPFWorldSuite), 2);
  EXPECT_TRUE(host.Clean()) << host.Report();
}

TEST(SuiteHandler, RefusalRaises516AndEarlierRowsAreStillReleased) {
  for (A_Err refusal : {A_Err(kSuiteNotFound), A_Err(A_Err_NONE)}) {  // 0: success without a table
    SubstituteHost host;
    host.Faults().RefuseSuite(kAEGPIOInSuite, refusal);
    const A_Err code = MissingSuiteCode([&] {
      AEGP_SuiteHandler suites(host.BasicSuite());
      suites.MemorySuite();
      suites.IOInSuite();
      ADD_FAILURE() << "a refused suite must not be returned";
    });
    EXPECT_EQ(code, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host.Suites().Acquired(kAEGPMemorySuite), 1);
    EXPECT_EQ(host.Suites().Released(kAEGPMemorySuite), 1);
    // A refused row was never acquired, so it is not released either.
    EXPECT_EQ(host.Suites().Released(kAEGPIOInSuite), 0);
    EXPECT_TRUE(host.Clean()) << host.Report();
  }
}

TEST(SuiteHandler, RefusedRowIsAskedForAgainNextTime) {
  SubstituteHost host;
  AEGP_SuiteHandler suites(host.BasicSuite());
  host.Faults().FailNth("AcquireSuite", 1, 5);
  EXPECT_EQ(MissingSuiteCode([&] { suites.HandleSuite(); }), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_NE(suites.HandleSuite(), nullptr);
  EXPECT_EQ(host.Faults().Calls("AcquireSuite"), 2u);
}

TEST(ErrorBoundary, TurnsFailuresIntoCodes) {
  EXPECT_EQ(LVS_ErrorBoundary([]() -> A_Err { return 9992; }), 9992);
  EXPECT_EQ(LVS_ErrorBoundary([]() -> A_Err { throw A_long(PF_Err_BAD_CALLBACK_PARAM); }), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(LVS_ErrorBoundary([]() -> A_Err { throw std::bad_alloc(); }), PF_Err_OUT_OF_MEMORY);
  // A suite cache unwinding through the boundary releases what it took.
  SubstituteHost host;
  host.Faults().RefuseSuite(kPFHandleSuite);
  const A_Err err = LVS_ErrorBoundary([&]() -> A_Err {
    AEGP_SuiteHandler suites(host.BasicSuite());
    suites.PFWorldSuite();
    suites.HandleSuite();
    return A_Err_NONE;
  });
  EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_TRUE(host.Clean()) << host.Report();
}

}  // namespace
