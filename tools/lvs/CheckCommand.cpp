// lvs check: would the host import each package and show its own preview?
// The verdict and its reasons come from PackageChecker; many packages are
// checked by several processes at once (Workers.h).
#include <algorithm>
#include <optional>

#include "CommandSupport.h"
#include "PackageCheck.h"
#include "VerdictReport.h"
#include "Workers.h"

namespace lvs {
namespace {

int PrintProblemCodes(bool json) {
  std::string text;
  for (int i = 0; i < int(Code::Count); ++i) {
    const Code code = Code(i);
    if (json)
      text += JsonLine(
          {{"code", CodeName(code)}, {"severity", SeverityName(SeverityOf(code))}, {"summary", CodeSummary(code)}});
    else
      text += Format("%-26s %-10s %s\n", CodeName(code), SeverityName(SeverityOf(code)), CodeSummary(code));
  }
  Emit(text);
  return kExitOk;
}

// One package's report as check prints it; empty with --quiet.
std::string Report(const CheckOptions& options, const std::string& package, const PackageVerdict& verdict) {
  if (options.quiet) return {};
  if (!options.json) return VerdictText(package, verdict);
  nlohmann::json line = {{"package", package}};
  AddVerdictJson(verdict, &line);
  return JsonLine(line);
}

// One worker's checks: a session of its own, one package per job.
class CheckRunner final : public JobRunner {
 public:
  CheckRunner(const CheckOptions& options, const std::vector<std::string>& packages, bool speaks)
      : options_(options), packages_(packages), speaks_(speaks) {}

  int Start() override {
    // When several workers fail to load it, one of them says why.
    if (!LoadPlugin(session_, options_.plugin, speaks_)) return kExitNoPlugin;
    checker_.emplace(session_);
    return kExitOk;
  }
  std::string Run(size_t job) override {
    PackageInput input;
    if (!PreparePackage(&input, packages_[job], &exitCode_)) return {};
    const PackageVerdict verdict = checker_->Check(input.Path());
    if (!verdict.problems.empty()) exitCode_ = std::max<int>(exitCode_, kExitFailed);
    return Report(options_, packages_[job], verdict);
  }
  int Finish() override { return FinishSession(session_, exitCode_); }

 private:
  const CheckOptions& options_;
  const std::vector<std::string>& packages_;
  const bool speaks_;
  PluginSession session_;
  std::optional<PackageChecker> checker_;
  int exitCode_ = kExitOk;
};

}  // namespace

int RunCheck(const CheckOptions& options) {
  if (options.listCodes) return PrintProblemCodes(options.json);
  std::vector<std::string> unreadable;
  const std::vector<std::string> packages = ExpandPackages(options.packages, options.recursive, &unreadable);
  const int walked = ReportUnreadableFolders(unreadable);

  // Standard input can be read only once, by one process.
  const bool readsStdin = std::find(packages.begin(), packages.end(), "-") != packages.end();
  const int jobs = readsStdin ? 1 : options.jobs > 0 ? options.jobs : UsableProcessors();
  const RunnerFactory makeRunner = [&](int worker) {
    return std::make_unique<CheckRunner>(options, packages, worker == 0);
  };
  return std::max(walked, RunJobs(packages.size(), jobs, makeRunner, [](const std::string& report) { Emit(report); }));
}

}  // namespace lvs
