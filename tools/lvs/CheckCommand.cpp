// lvs check: would the host import each package and show its own preview?
// The verdict and its reasons come from PackageChecker; many packages are
// checked by several processes at once (Batch.h).
#include "Batch.h"
#include "CommandSupport.h"
#include "VerdictReport.h"

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

}  // namespace

Command AddCheckCommand(CLI::App& lvs) {
  struct State {
    BatchOptions batch;
    bool listCodes = false;
  };
  auto state = std::make_shared<State>();
  CLI::App* app = lvs.add_subcommand(
      "check", "say whether the host would import each package and show its own preview, and if not, why");
  // Any problem fails a check, a warning too.
  AddBatchOptions(app, &state->batch, Severity::Warning);
  app->add_flag("--codes", state->listCodes, "list every problem code with its severity, and nothing else");
  AddVersionFlag(app);
  app->footer(
      "Severities: no-import (the host will not import it), fallback (it imports but the host shows the "
      "fallback picture or no frame), lossy (it imports and shows its preview, but the record keeps less than "
      "the metadata says), warning (it shows its preview as stored, but not as its author will expect). "
      "See --codes. --json lines hold package, ok, severity and problems (code, severity, message).");
  return {app, [state] {
            const BatchOptions& options = state->batch;
            if (state->listCodes) return PrintProblemCodes(options.json);
            return RunBatch(options,
                            [&options](PackageChecker& checker, const std::string& package, const std::string& path) {
                              const PackageVerdict verdict = checker.Check(path);
                              BatchItem item{WorstSeverity(verdict.problems), false, {}, {}};
                              if (options.quiet) return item;
                              if (!options.json) {
                                item.report = VerdictText(package, verdict);
                              } else {
                                nlohmann::json line = {{"package", package}};
                                AddVerdictJson(verdict, &line);
                                item.report = JsonLine(line);
                              }
                              return item;
                            });
          }};
}

}  // namespace lvs
