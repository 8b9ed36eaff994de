// The record of everything a plug-in did wrong against the substitute host
// (double frees, unlocks of unlocked handles, use of freed handles, damaged
// guard bytes...), and the leftovers report built from all the tables.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace lvs_host {

// Thread-safe list of misuse entries, in the order they happened.
class MisuseLog {
 public:
  void Record(std::string what);
  std::vector<std::string> Entries() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> entries_;
};

// Everything left over or misused at the moment it was taken. Each entry is
// one readable line naming the object (suite, handle, world, footage handle).
struct LeftoverReport {
  std::vector<std::string> suites;      // acquired more often than released (or the reverse)
  std::vector<std::string> memHandles;  // AEGP memory handles still allocated or still locked
  std::vector<std::string> pfHandles;   // "PF Handle Suite" handles still allocated or locked
  std::vector<std::string> worlds;      // worlds still allocated
  std::vector<std::string> inSpecs;     // footage handles the test created and did not delete
  std::vector<std::string> misuse;      // MisuseLog entries

  bool Clean() const;
  // One line per entry, grouped under a heading per kind; "clean" when empty.
  std::string Text() const;
};

}  // namespace lvs_host
