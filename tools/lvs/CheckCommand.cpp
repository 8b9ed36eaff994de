// lvs check: would the host import each package and show its own preview?
// The verdict and its reasons come from PackageChecker.
#include <algorithm>

#include "CommandSupport.h"
#include "PackageCheck.h"

namespace lvs {
namespace {

int PrintProblemCodes(bool json) {
  for (const ProblemCode& c : ProblemCodes()) {
    if (json)
      PrintJsonLine({{"code", c.code}, {"severity", SeverityName(c.severity)}, {"summary", c.summary}});
    else
      std::printf("%-26s %-10s %s\n", c.code, SeverityName(c.severity), c.summary);
  }
  return kExitOk;
}

}  // namespace

int RunCheck(const CheckOptions& options) {
  if (options.listCodes) return PrintProblemCodes(options.json);
  PluginSession session;
  if (!LoadPlugin(session, options.plugin)) return kExitNoPlugin;

  std::vector<std::string> unreadable;
  const std::vector<std::string> packages = ExpandPackages(options.packages, options.recursive, &unreadable);
  PackageChecker checker(session);
  int exitCode = ReportUnreadableFolders(unreadable);
  for (const std::string& package : packages) {
    PackageInput input;
    if (!PreparePackage(&input, package, &exitCode)) continue;
    const PackageVerdict verdict = checker.Check(input.Path());
    const std::optional<Severity> worst = WorstSeverity(verdict.problems);
    if (worst) exitCode = std::max<int>(exitCode, kExitFailed);
    if (options.quiet) continue;
    if (options.json) {
      PrintJsonLine({{"package", package},
                     {"ok", !worst},
                     {"severity", worst ? nlohmann::json(SeverityName(*worst)) : nlohmann::json()},
                     {"problems", ProblemsJson(verdict.problems)}});
    } else if (!worst) {
      std::printf("%s: OK: the host would import it and show its own preview.\n", Printable(package).c_str());
    } else {
      std::printf("%s: NOT OK: %s\n", Printable(package).c_str(), SeverityOutcome(*worst));
      PrintProblems(verdict.problems);
    }
  }
  return FinishSession(session, exitCode);
}

}  // namespace lvs
