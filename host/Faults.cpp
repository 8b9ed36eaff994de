#include "Faults.h"

namespace lvs_host {

A_Err FaultInjector::OnCall(const char* op) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++counts_[op];
  ++total_;
  log_.emplace_back(op);
  A_Err result = 0;
  // Every matching one-shot rule counts this call, even when an earlier rule
  // already decided the result, so that rules armed together stay in step.
  for (auto it = rules_.begin(); it != rules_.end();) {
    if (it->op != op && it->op != kAnyOperation) {
      ++it;
      continue;
    }
    if (it->always) {
      if (result == 0) result = it->code;
      ++it;
      continue;
    }
    if (--it->remaining == 0) {
      if (result == 0) result = it->code;
      it = rules_.erase(it);
      continue;
    }
    ++it;
  }
  if (result != 0) ++injected_;
  return result;
}

void FaultInjector::FailNth(const std::string& op, uint64_t nth, A_Err code) {
  if (nth == 0 || code == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  rules_.push_back(Rule{op, nth, false, code});
}

void FaultInjector::FailAlways(const std::string& op, A_Err code) {
  if (code == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  rules_.push_back(Rule{op, 0, true, code});
}

void FaultInjector::FailAllocations(A_Err code) {
  FailAlways("AEGP_NewMemHandle", code);
  FailAlways("host_new_handle", code);
  FailAlways("PF_NewWorld", code);
}

void FaultInjector::RefuseSuite(const std::string& suiteName, A_Err code) {
  std::lock_guard<std::mutex> lock(mutex_);
  refusedSuites_[suiteName] = code;
}

std::optional<A_Err> FaultInjector::SuiteRefusal(const std::string& suiteName) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = refusedSuites_.find(suiteName);
  if (it == refusedSuites_.end()) return std::nullopt;
  return it->second;
}

void FaultInjector::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  rules_.clear();
  refusedSuites_.clear();
}

uint64_t FaultInjector::Calls(const std::string& op) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = counts_.find(op);
  return it == counts_.end() ? 0 : it->second;
}

uint64_t FaultInjector::TotalCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return total_;
}

std::map<std::string, uint64_t> FaultInjector::CallCounts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counts_;
}

std::vector<std::string> FaultInjector::CallLog() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}

void FaultInjector::ResetCounts() {
  std::lock_guard<std::mutex> lock(mutex_);
  counts_.clear();
  log_.clear();
  total_ = 0;
  injected_ = 0;
}

uint64_t FaultInjector::Injected() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return injected_;
}

}  // namespace lvs_host
