#include "Misuse.h"

namespace lvs_host {

void MisuseLog::Record(std::string what) {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.push_back(std::move(what));
}

std::vector<std::string> MisuseLog::Entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_;
}

void MisuseLog::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
}

bool LeftoverReport::Clean() const {
  return suites.empty() && memHandles.empty() && pfHandles.empty() && worlds.empty() && inSpecs.empty() &&
         misuse.empty();
}

std::string LeftoverReport::Text() const {
  if (Clean()) return "clean\n";
  std::string out;
  auto section = [&out](const char* heading, const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    out += heading;
    out += ":\n";
    for (const std::string& line : lines) out += "  " + line + "\n";
  };
  section("suites not balanced", suites);
  section("memory handles left", memHandles);
  section("PF handles left", pfHandles);
  section("worlds left", worlds);
  section("footage handles left", inSpecs);
  section("misuse", misuse);
  return out;
}

}  // namespace lvs_host
