// The basic suite and the suite tables the substitute host serves, and the
// ledger of acquisitions and releases.
//
// Served by exact name and version (anything else is refused with
// kSPSuiteNotFoundError): "AEGP Register Suite" 6, "AEGP Utility Suite" 11,
// "AEGP Memory Suite" 1, "AEGP IO In Suite" 5, "PF Handle Suite" 2,
// "PF World Suite" 2, "PF World Transform Suite" 1, "AEGP Iterate Suite" 1.
// Reserved slots of every table are null.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "LVS_HostSDK.h"

namespace lvs_host {

struct SuiteEvent {
  bool acquire = false;  // false: release
  std::string name;
  int32_t version = 0;
  A_Err result = 0;      // what the host answered
  bool granted = false;  // an acquisition that handed out a table
};

class SuiteLedger {
 public:
  void Record(SuiteEvent e);
  // Every acquisition and release since the last ClearEvents(), in order,
  // including refused acquisitions.
  std::vector<SuiteEvent> Events() const;
  void ClearEvents();
  // Granted acquisitions and releases of a suite (by name) since the host
  // started; the ledger's balance is not reset by ClearEvents().
  int Acquired(const std::string& name) const;
  int Released(const std::string& name) const;
  std::vector<std::string> Leftovers() const;

 private:
  mutable std::mutex mutex_;
  std::vector<SuiteEvent> events_;
  std::map<std::string, std::pair<int, int>> counts_;
};

// The basic suite of the one live SubstituteHost (valid while it lives).
const SPBasicSuite* HostBasicSuite();

}  // namespace lvs_host
