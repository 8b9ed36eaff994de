// A fault sweep over one callback: the callback is run once on a fresh host
// to learn the host operations it calls, then once with each of those calls
// failing in turn, then once with each suite it acquires refused (with an
// error, and with success but no table). Every run checks the result code
// through the scenario, that no exception came out of the module, and that
// the host is left with nothing leaked, locked, acquired or misused.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "SubstituteHost.h"

namespace sweep {

constexpr A_Err kInjected = 77;  // told apart from every code the plug-in makes itself
constexpr A_Err kMissingSuite = PF_Err_BAD_CALLBACK_PARAM;
// What the scenario's check gets as the failed operation when a suite was
// refused rather than a call failed.
constexpr char kRefused[] = "<suite refused>";

// A failed release leaves the object with the host: the plug-in cannot tell
// and must not try again, so only these may leave something behind.
inline bool HostKeepsObject(const std::string& op) {
  return op == "AEGP_UnlockMemHandle" || op == "host_unlock_handle" || op == "host_dispose_handle" ||
         op == "PF_DisposeWorld" || op == "AEGP_FreeMemHandle";
}

// Everything one run of a scenario owns; the scenario uses what it needs.
struct Run {
  std::unique_ptr<lvshost::SubstituteHost> host;
  AEIO_InSpecH inSpec = nullptr;
  AEGP_MemHandle options = nullptr;  // made host-side, released by the check
  PF_EffectWorld* world = nullptr;
  std::vector<uint8_t> before;
};

struct Scenario {
  std::string label;
  // On a fresh host with the module loaded.
  std::function<void(Run&)> prepare;
  std::function<A_Err(Run&)> call;
  // Checks the outcome (op is "" for the clean run) and gives back what the
  // test made, so that whatever remains is the module's.
  std::function<void(Run&, const std::string& op, A_Err result)> check;
};

struct Counts {
  size_t hostCalls = 0;
  size_t suites = 0;
  uint64_t injected = 0;
};

inline A_Err CallGuarded(const Scenario& s, Run& run) {
  try {
    return s.call(run);
  } catch (...) {
    ADD_FAILURE() << s.label << ": an exception came out of the module";
    return -1;
  }
}

inline Run Fresh(const Scenario& s) {
  Run run;
  run.host = std::make_unique<lvshost::SubstituteHost>();
  EXPECT_EQ(run.host->Load(LVS_PLUGIN_PATH), A_Err_NONE) << run.host->LoadError();
  s.prepare(run);
  run.host->Faults().ResetCounts();
  run.host->Suites().ClearEvents();
  return run;
}

inline Counts Sweep(const Scenario& s) {
  Counts counts;
  std::vector<std::string> log;
  std::set<std::string> suites;
  {
    Run run = Fresh(s);
    const A_Err result = CallGuarded(s, run);
    log = run.host->Faults().CallLog();
    for (const auto& e : run.host->Suites().Events())
      if (e.acquire) suites.insert(e.name);
    s.check(run, "", result);
    EXPECT_TRUE(run.host->Clean()) << s.label << " (clean run)\n" << run.host->Report();
  }
  counts.hostCalls = log.size();
  counts.suites = suites.size();

  for (size_t k = 1; k <= log.size(); ++k) {
    const std::string& op = log[k - 1];
    SCOPED_TRACE(s.label + ": call " + std::to_string(k) + " (" + op + ") fails");
    Run run = Fresh(s);
    run.host->Faults().FailNth(lvshost::kAnyOperation, k, kInjected);
    const A_Err result = CallGuarded(s, run);
    EXPECT_EQ(run.host->Faults().Injected(), 1u);
    counts.injected += run.host->Faults().Injected();
    run.host->Faults().Clear();
    s.check(run, op, result);
    const lvshost::LeftoverReport left = run.host->Leftovers();
    if (HostKeepsObject(op)) {
      // The object the host kept may be met again by the test's own
      // clean-up; only the suites are the callback's alone.
      EXPECT_TRUE(left.suites.empty()) << left.Text();
    } else {
      EXPECT_TRUE(left.Clean()) << left.Text();
    }
  }

  for (const std::string& suite : suites) {
    for (A_Err refusal : {kMissingSuite, A_Err(0)}) {
      SCOPED_TRACE(s.label + ": " + suite + " refused with " + std::to_string(refusal));
      Run run = Fresh(s);
      run.host->Faults().RefuseSuite(suite, refusal);
      const A_Err result = CallGuarded(s, run);
      ++counts.injected;
      run.host->Faults().Clear();
      s.check(run, kRefused, result);
      EXPECT_TRUE(run.host->Clean()) << run.host->Report();
    }
  }
  std::printf("[ sweep    ] %s: %zu host calls, %zu suites, %llu injected faults\n", s.label.c_str(),
              counts.hostCalls, counts.suites, static_cast<unsigned long long>(counts.injected));
  ::testing::Test::RecordProperty(s.label + " injected faults", std::to_string(counts.injected));
  return counts;
}

}  // namespace sweep
