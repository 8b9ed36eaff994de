// lvs info: open each package as the host does and show what the plug-in
// recorded about it, under the verdict check gives (the same code judges
// it: one frame is drawn to know what the host shows). Fields that were not
// recorded are left out (text) or null (JSON): a package that does not
// import has no record.
#include <algorithm>

#include "CommandSupport.h"
#include "PackageCheck.h"
#include "ResultNames.h"
#include "VerdictReport.h"

namespace lvs {

int RunInfo(const InfoOptions& options) {
  PluginSession session;
  if (!LoadPlugin(session, options.plugin)) return kExitNoPlugin;

  PackageChecker checker(session);
  int exitCode = kExitOk;
  for (const std::string& package : options.packages) {
    PackageInput input;
    if (!PreparePackage(&input, package, &exitCode)) continue;
    const PackageVerdict verdict = checker.Check(input.Path());
    if (!verdict.ShowsItsPreview()) exitCode = std::max<int>(exitCode, kExitFailed);
    if (options.quiet) continue;

    nlohmann::json line = {
        {"package", package},
        {"result", verdict.openResult},
        {"draw_result", verdict.drawResult ? nlohmann::json(*verdict.drawResult) : nlohmann::json()}};
    for (const char* key : {"path", "name", "author", "hash", "version"}) line[key] = nullptr;
    if (verdict.record) {
      const LVS_Options& r = *verdict.record;
      line["path"] = FieldText(r.path, sizeof r.path);
      line["name"] = FieldText(r.name, sizeof r.name);
      line["author"] = FieldText(r.author, sizeof r.author);
      line["hash"] = FieldText(r.hash, sizeof r.hash);
      line["version"] = r.version;
    }
    AddVerdictJson(verdict, &line);
    if (options.json) {
      PrintJsonLine(line);
      continue;
    }

    // One write per package, so that an interrupted run ends between reports.
    std::string text = VerdictText(package, verdict);
    if (verdict.record) {
      for (const char* key : {"path", "name", "author", "hash"})
        text +=
            Format("  %-8s %s\n", (std::string(key) + ":").c_str(), Printable(line[key].get<std::string>()).c_str());
      text += "  version: " + std::to_string(int(verdict.record->version)) + "\n";
    } else {
      text += "  record:  none (the package did not import)\n";
    }
    text += "  open:    " + HostErrorText(verdict.openResult) + "\n";
    if (verdict.drawResult) text += "  draw:    " + HostErrorText(*verdict.drawResult) + "\n";
    Emit(text);
  }
  return FinishSession(session, exitCode);
}

}  // namespace lvs
