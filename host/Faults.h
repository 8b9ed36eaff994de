// Call counters and fault injection for every host operation.
//
// Operations are named exactly as in the host interface:
//   basic suite:      "AcquireSuite", "ReleaseSuite"
//   registration:     "AEGP_RegisterDeathHook", "AEGP_RegisterIO", "AEGP_RegisterWithAEGP"
//   memory:           "AEGP_NewMemHandle", "AEGP_FreeMemHandle", "AEGP_LockMemHandle",
//                     "AEGP_UnlockMemHandle", "AEGP_GetMemHandleSize"
//   footage handles:  "AEGP_GetInSpecOptionsHandle", "AEGP_SetInSpecOptionsHandle",
//                     "AEGP_SetInSpecDepth", "AEGP_SetInSpecInterlaceLabel",
//                     "AEGP_SetInSpecAlphaLabel", "AEGP_SetInSpecDuration",
//                     "AEGP_SetInSpecDimensions"
//   handles:          "host_new_handle", "host_lock_handle", "host_unlock_handle",
//                     "host_dispose_handle"
//   worlds:           "PF_NewWorld", "PF_DisposeWorld", "PF_GetPixelFormat", "copy", "copy_hq"
//   iteration:        "AEGP_IterateGeneric"
// Only calls made by the plug-in through the suites are counted; the
// host-side helpers of SubstituteHost (Create..., Bytes...) are not.
//
// A failed call does nothing but return its code, with these exceptions:
//  - "PF Handle Suite" operations have no result code: an injected failure
//    makes host_new_handle and host_lock_handle return null, and makes
//    host_unlock_handle and host_dispose_handle do nothing;
//  - "ReleaseSuite" still releases (the plug-in must ignore its result) and
//    returns the code;
//  - "AcquireSuite" fails without handing out a table.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "LVS_HostSDK.h"

namespace lvs_host {

// Matches every operation in FailNth/FailAlways; counts are per operation
// plus this total.
inline constexpr const char kAnyOperation[] = "*";

class FaultInjector {
 public:
  // Called by the host at the start of every operation: counts it and
  // returns the code the operation must fail with, 0 to proceed.
  A_Err OnCall(const char* op);

  // The nth call of op counted from now (1 = the very next) fails once with
  // code. With op = kAnyOperation the nth host call of any kind fails. Rules
  // accumulate until Clear().
  void FailNth(const std::string& op, uint64_t nth, A_Err code);
  // Every call of op from now on fails with code.
  void FailAlways(const std::string& op, A_Err code);
  // Convenience: every allocation (AEGP_NewMemHandle, host_new_handle,
  // PF_NewWorld) fails from now on; A_Err_ALLOC (= PF_Err_OUT_OF_MEMORY).
  void FailAllocations(A_Err code = A_Err_ALLOC);
  // AcquireSuite of this suite name is refused with code. Code 0 simulates a
  // host that reports success but hands out no table.
  void RefuseSuite(const std::string& suiteName, A_Err code = PF_Err_BAD_CALLBACK_PARAM);
  std::optional<A_Err> SuiteRefusal(const std::string& suiteName) const;
  // Drops every rule (counters are kept).
  void Clear();

  // Counters since construction or the last ResetCounts().
  uint64_t Calls(const std::string& op) const;
  uint64_t TotalCalls() const;
  std::map<std::string, uint64_t> CallCounts() const;
  // Operation names in call order: a sweep runs a callback once to learn
  // this, then fails each call in turn with FailNth(kAnyOperation, k, code).
  std::vector<std::string> CallLog() const;
  void ResetCounts();
  // How many failures were injected since the last ResetCounts().
  uint64_t Injected() const;

 private:
  struct Rule {
    std::string op;
    uint64_t remaining;  // calls of op until it fires; 0 for an always-rule
    bool always;
    A_Err code;
  };
  mutable std::mutex mutex_;
  std::vector<Rule> rules_;
  std::map<std::string, A_Err> refusedSuites_;
  std::map<std::string, uint64_t> counts_;
  std::vector<std::string> log_;
  uint64_t total_ = 0;
  uint64_t injected_ = 0;
};

}  // namespace lvs_host
