#include "Batch.h"

#include <algorithm>
#include <cstdio>

#include "CommandSupport.h"
#include "Progress.h"
#include "Workers.h"

namespace lvs {
namespace {

// One worker's packages: a session of its own, one package per job.
class BatchRunner final : public JobRunner {
 public:
  BatchRunner(const BatchOptions& options, const std::vector<std::string>& packages, const PackageWork& work,
              bool speaks)
      : options_(options), packages_(packages), work_(work), speaks_(speaks) {}

  // A worker without the module still takes its jobs and answers each with
  // nothing: one that ended at once would leave lvs writing jobs into a
  // pipe nobody reads.
  int Start() override {
    // When several workers fail to load it, one of them says why.
    if (!LoadPlugin(session_, options_.plugin, speaks_)) {
      exitCode_ = kExitNoPlugin;
      return kExitOk;
    }
    checker_.emplace(session_);
    return kExitOk;
  }
  std::string Run(std::size_t job) override {
    if (!checker_) return {};
    PackageInput input;
    BatchItem item;
    if (PreparePackage(&input, packages_[job], &exitCode_))
      item = work_(*checker_, packages_[job], input.Path());
    else
      item.unreadable = true;
    return EncodeItem(item);
  }
  int Finish() override { return checker_ ? FinishSession(session_, exitCode_) : exitCode_; }

 private:
  const BatchOptions& options_;
  const std::vector<std::string>& packages_;
  const PackageWork& work_;
  const bool speaks_;
  PluginSession session_;
  std::optional<PackageChecker> checker_;
  int exitCode_ = kExitOk;
};

}  // namespace

std::string EncodeItem(const BatchItem& item) {
  std::string bytes(2, '\0');
  bytes[0] = item.worst ? char('0' + int(*item.worst)) : '-';
  bytes[1] = item.unreadable ? 'u' : 'r';
  char length[17];
  std::snprintf(length, sizeof length, "%016zx", item.report.size());
  return bytes + length + item.report + item.data;
}

BatchItem DecodeItem(const std::string& bytes) {
  BatchItem item;
  if (bytes.size() < 18) return item;
  if (bytes[0] != '-') item.worst = Severity(bytes[0] - '0');
  item.unreadable = bytes[1] == 'u';
  const size_t length = std::min<size_t>(std::stoull(bytes.substr(2, 16), nullptr, 16), bytes.size() - 18);
  item.report = bytes.substr(18, length);
  item.data = bytes.substr(18 + length);
  return item;
}

int RunBatch(const BatchOptions& options, const PackageWork& work, const OnItem& onItem) {
  if (options.packages.empty()) {
    Complain(options.recursive ? "name at least one package or folder" : "name at least one package");
    return kExitUsage;
  }
  std::vector<std::string> unreadable;
  const std::vector<std::string> packages = ExpandPackages(options.packages, options.recursive, &unreadable);
  int exitCode = ReportUnreadableFolders(unreadable);

  // Standard input can be read only once, by one process.
  const bool readsStdin = std::find(packages.begin(), packages.end(), "-") != packages.end();
  const int jobs = readsStdin ? 1 : options.jobs > 0 ? options.jobs : UsableProcessors();
  const RunnerFactory makeRunner = [&](int worker) {
    return std::make_unique<BatchRunner>(options, packages, work, worker == 0);
  };

  Progress progress(CommandName(), packages.size(), ShowProgress(options.progress, options.quiet));
  Tally tally;
  size_t done = 0;
  const auto arrive = [&](const std::string& bytes) {
    const size_t index = done++;
    if (bytes.empty()) return;  // no module to judge it with
    const BatchItem item = DecodeItem(bytes);
    if (item.unreadable) {
      exitCode = std::max<int>(exitCode, kExitUsage);
    } else {
      tally.Add(item.worst);
      if (Fails(options.failOn, item.worst)) exitCode = std::max<int>(exitCode, kExitFailed);
    }
    if (!item.report.empty() && (!options.onlyProblems || item.worst)) {
      progress.Clear();
      Emit(item.report);
    }
    if (onItem) onItem(index, packages[index], item);
    progress.Done(done, packages[index]);
  };
  exitCode = std::max(exitCode, RunJobs(packages.size(), jobs, makeRunner, arrive));
  progress.Clear();
  // The counts go aside, so that standard output holds only the reports
  // (and JSON lines only JSON).
  if (!options.quiet && tally.Packages() > 0 && (packages.size() > 1 || options.recursive)) Complain(tally.Text());
  return exitCode;
}

}  // namespace lvs
