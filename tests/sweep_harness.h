// A fault sweep over one callback: a clean run on a fresh host learns the
// host operations it calls, then each of those calls fails in turn, then
// each suite it acquires is refused (with an error, and with success but no
// table). Every run checks the result code and what the call left, that no
// exception came out of the module, and that the host is left with nothing
// leaked, locked, acquired or misused.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fixture.h"

namespace sweep {

constexpr A_Err kInjected = 77;  // told apart from every code the plug-in makes itself
constexpr A_Err kMissingSuite = PF_Err_BAD_CALLBACK_PARAM;

// A failed release leaves the object with the host: the plug-in cannot tell
// and must not try again, so only these may leave something behind.
inline bool HostKeepsObject(const std::string& op) {
  return op == "AEGP_UnlockMemHandle" || op == "host_unlock_handle" || op == "host_dispose_handle" ||
         op == "PF_DisposeWorld" || op == "AEGP_FreeMemHandle";
}
inline bool IsRelease(const std::string& op) { return op == "ReleaseSuite" || HostKeepsObject(op); }

// Everything one run owns; the scenario uses what it needs.
struct Run {
  std::unique_ptr<lvstest::Module> m;
  AEIO_InSpecH inSpec = nullptr;
  AEGP_MemHandle flat = nullptr;
  PF_EffectWorld* world = nullptr;
  lvstest::Bytes before;
  std::vector<std::string> cleanLog;  // the host calls of the clean run
};

struct Scenario {
  std::string label;
  std::function<void(Run&)> prepare = [](Run&) {};
  std::function<A_Err(Run&)> call;
  // The result when `op` fails ("" for the clean run; "AcquireSuite" also
  // for a refused suite).
  std::function<A_Err(const std::string& op)> expected;
  // Checks what the call left and gives back what the module handed over.
  std::function<void(Run&, const std::string& op, A_Err result)> check = [](Run&, const std::string&, A_Err) {};
};

struct Counts {
  size_t hostCalls = 0, suites = 0;
};

inline Counts Sweep(const Scenario& s) {
  const auto fresh = [&](Run& run, const std::function<void(lvshost::FaultInjector&)>& arm) {
    run.m = std::make_unique<lvstest::Module>();
    s.prepare(run);
    run.m->Host().Faults().ResetCounts();
    run.m->Host().Suites().ClearEvents();
    arm(run.m->Host().Faults());
    A_Err result = -1;
    try {
      result = s.call(run);
    } catch (...) {
      ADD_FAILURE() << s.label << ": an exception came out of the module";
    }
    return result;
  };
  const auto finish = [&](Run& run, const std::string& op, A_Err result) {
    EXPECT_EQ(result, s.expected(op));
    run.m->Host().Faults().Clear();
    s.check(run, op, result);
    run.m->Release();
    const lvshost::LeftoverReport left = run.m->Host().Leftovers();
    // The object the host kept may be met again by the clean-up; only the
    // suites are the callback's alone.
    if (HostKeepsObject(op))
      EXPECT_TRUE(left.suites.empty()) << left.Text();
    else
      EXPECT_TRUE(left.Clean()) << left.Text();
  };

  std::vector<std::string> log;
  std::set<std::string> suites;
  {
    SCOPED_TRACE(s.label + ": clean run");
    Run run;
    const A_Err result = fresh(run, [](lvshost::FaultInjector&) {});
    log = run.m->Host().Faults().CallLog();
    for (const auto& e : run.m->Host().Suites().Events())
      if (e.acquire) suites.insert(e.name);
    run.cleanLog = log;
    finish(run, "", result);
  }
  for (size_t k = 1; k <= log.size(); ++k) {
    const std::string& op = log[k - 1];
    SCOPED_TRACE(s.label + ": call " + std::to_string(k) + " (" + op + ") fails");
    Run run;
    run.cleanLog = log;
    const A_Err result = fresh(run, [&](lvshost::FaultInjector& f) { f.FailNth(lvshost::kAnyOperation, k, kInjected); });
    EXPECT_EQ(run.m->Host().Faults().Injected(), 1u);
    finish(run, op, result);
  }
  for (const std::string& suite : suites) {
    for (A_Err refusal : {kMissingSuite, A_Err(0)}) {
      SCOPED_TRACE(s.label + ": " + suite + " refused with " + std::to_string(refusal));
      Run run;
      run.cleanLog = log;
      const A_Err result = fresh(run, [&](lvshost::FaultInjector& f) { f.RefuseSuite(suite, refusal); });
      finish(run, "AcquireSuite", result);
    }
  }
  std::printf("[ sweep    ] %s: %zu host calls, %zu suites\n", s.label.c_str(), log.size(), suites.size());
  return {log.size(), suites.size()};
}

}  // namespace sweep
