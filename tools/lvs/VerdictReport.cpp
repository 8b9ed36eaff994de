#include "VerdictReport.h"

#include "CommandSupport.h"

namespace lvs {

void AddVerdictJson(const PackageVerdict& verdict, nlohmann::json* line) {
  const std::optional<Severity> worst = WorstSeverity(verdict.problems);
  (*line)["ok"] = !worst;
  (*line)["severity"] = worst ? nlohmann::json(SeverityName(*worst)) : nlohmann::json();
  (*line)["shows"] = ShownName(verdict.shown);
  (*line)["problems"] = ProblemsJson(verdict.problems);
}

std::string VerdictText(const std::string& package, const PackageVerdict& verdict) {
  if (verdict.problems.empty()) return Printable(package) + ": OK: " + Outcome(verdict) + ".\n";
  if (WorstSeverity(verdict.problems) == Severity::Warning)
    return Printable(package) + ": WARNING: " + Outcome(verdict) + "\n" + ProblemsText(verdict.problems);
  return Printable(package) + ": NOT OK: " + Outcome(verdict) + "\n" + ProblemsText(verdict.problems);
}

}  // namespace lvs
