// lvs info: open each package as the host does and show what the plug-in
// recorded about it; for a package that does not open, or whose record
// keeps less than its metadata says, the same problems check reports.
#include <algorithm>

#include "CommandSupport.h"
#include "PackageCheck.h"
#include "ResultNames.h"

namespace lvs {

int RunInfo(const InfoOptions& options) {
  PluginSession session;
  if (!LoadPlugin(session, options.plugin)) return kExitNoPlugin;

  PackageChecker checker(session);
  int exitCode = kExitOk;
  for (const std::string& package : options.packages) {
    PackageInput input;
    if (!PreparePackage(&input, package, &exitCode)) continue;
    const OpenedFootage footage = session.Open(input.Path());
    session.Close(footage.inSpec);
    std::vector<Problem> problems;
    if (footage.result != A_Err_NONE) {
      exitCode = std::max<int>(exitCode, kExitFailed);
      problems = checker.RefusalReasons(input.Path(), footage.result);
    } else if (footage.record) {
      problems = checker.LostInRecord(input.Path(), *footage.record);
    }
    if (options.quiet) continue;

    nlohmann::json line = {{"package", package}, {"result", footage.result}};
    if (footage.record) {
      const LVS_Options& r = *footage.record;
      line["path"] = FieldText(r.path, sizeof r.path);
      line["name"] = FieldText(r.name, sizeof r.name);
      line["author"] = FieldText(r.author, sizeof r.author);
      line["hash"] = FieldText(r.hash, sizeof r.hash);
      line["version"] = r.version;
    } else {
      for (const char* key : {"path", "name", "author", "hash", "version"}) line[key] = nullptr;
    }
    line["problems"] = ProblemsJson(problems);

    if (options.json) {
      PrintJsonLine(line);
      continue;
    }
    // One write per package, so that an interrupted run ends between reports.
    std::string text = Printable(package) + "\n  result:  " + HostErrorText(footage.result) + "\n";
    if (footage.record) {
      for (const char* key : {"path", "name", "author", "hash"})
        text +=
            Format("  %-8s %s\n", (std::string(key) + ":").c_str(), Printable(line[key].get<std::string>()).c_str());
      text += "  version: " + std::to_string(int(footage.record->version)) + "\n";
    } else {
      text += "  (no options record was attached)\n";
    }
    Emit(text + ProblemsText(problems));
  }
  return FinishSession(session, exitCode);
}

}  // namespace lvs
