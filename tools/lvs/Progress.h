// What a long run tells as it goes and when it ends: a progress line on
// standard error, redrawn in place a few times a second, and the counts of
// packages by their worst problem.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "Problems.h"

namespace lvs {

class Progress {
 public:
  // `shown` false makes every call do nothing.
  Progress(std::string command, size_t total, bool shown);
  ~Progress() { Clear(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // `done` packages of the total are finished, the last of them `package`.
  // Redrawn at most every tenth of a second, and for the last one.
  void Done(size_t done, const std::string& package);
  // Wipes the line, before anything else is written to the terminal.
  void Clear();

 private:
  std::string command_;
  size_t total_;
  bool shown_;
  size_t drawnWidth_ = 0;  // characters on the line now
  std::chrono::steady_clock::time_point last_{};
};

// Whether progress is drawn: as asked, else when standard error is a
// terminal and the run is not quiet.
bool ShowProgress(const std::optional<bool>& asked, bool quiet);

// The counts of a run's packages by their worst problem.
class Tally {
 public:
  void Add(const std::optional<Severity>& worst);
  size_t Packages() const { return packages_; }
  size_t WithProblems() const { return packages_ - ok_; }
  size_t Of(Severity severity) const { return bySeverity_[size_t(severity)]; }
  // "12 packages: 9 OK, 3 with problems (1 no-import, 2 fallback)."
  std::string Text() const;

 private:
  size_t packages_ = 0, ok_ = 0;
  size_t bySeverity_[4] = {};
};

}  // namespace lvs
