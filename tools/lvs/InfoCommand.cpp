// lvs info: open each package as the host does and show what the plug-in
// recorded about it, under the verdict check gives (the same code judges
// it: one frame is drawn to know what the host shows). Fields that were not
// recorded are left out (text) or null (JSON): a package that does not
// import has no record.
#include "Batch.h"
#include "CommandSupport.h"
#include "ResultNames.h"
#include "VerdictReport.h"

namespace lvs {
namespace {

BatchItem Info(const BatchOptions& options, PackageChecker& checker, const std::string& package,
               const std::string& path) {
  const PackageVerdict verdict = checker.Check(path);
  BatchItem item{WorstSeverity(verdict.problems), false, {}, {}};
  if (options.quiet) return item;

  nlohmann::json line = {{"package", package},
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
    item.report = JsonLine(line);
    return item;
  }

  // One write per package, so that an interrupted run ends between reports.
  std::string text = VerdictText(package, verdict);
  if (verdict.record) {
    for (const char* key : {"path", "name", "author", "hash"})
      text += Format("  %-8s %s\n", (std::string(key) + ":").c_str(), Printable(line[key].get<std::string>()).c_str());
    text += "  version: " + std::to_string(int(verdict.record->version)) + "\n";
  } else {
    text += "  record:  none (the package did not import)\n";
  }
  text += "  open:    " + HostErrorText(verdict.openResult) + "\n";
  if (verdict.drawResult) text += "  draw:    " + HostErrorText(*verdict.drawResult) + "\n";
  item.report = std::move(text);
  return item;
}

}  // namespace

Command AddInfoCommand(CLI::App& lvs) {
  auto options = std::make_shared<BatchOptions>();
  CLI::App* app = lvs.add_subcommand("info", "open packages as the host does and print the plug-in's record");
  // A package fails info when the host would not show its own preview.
  AddBatchOptions(app, options.get(), Severity::Fallback);
  AddVersionFlag(app);
  return {app, [options] {
            return RunBatch(*options, [&](PackageChecker& checker, const std::string& package,
                                          const std::string& path) { return Info(*options, checker, package, path); });
          }};
}

}  // namespace lvs
