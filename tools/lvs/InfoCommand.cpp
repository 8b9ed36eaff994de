// lvs info: open each package as the host does and show what the plug-in
// recorded about it.
#include "CommandSupport.h"
#include "ResultNames.h"

namespace lvs {

int RunInfo(const InfoOptions& options) {
  PluginSession session;
  if (!LoadPlugin(session, options.plugin)) return kExitNoPlugin;

  int exitCode = kExitOk;
  for (const std::string& package : options.packages) {
    const OpenedFootage footage = session.Open(package);
    if (footage.result != A_Err_NONE) exitCode = kExitFailed;

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

    if (options.json) {
      PrintJsonLine(line);
    } else {
      std::printf("%s\n  result:  %s\n", Printable(package).c_str(), HostErrorText(footage.result).c_str());
      if (footage.record) {
        for (const char* key : {"path", "name", "author", "hash"})
          std::printf("  %-8s %s\n", (std::string(key) + ":").c_str(), Printable(line[key].get<std::string>()).c_str());
        std::printf("  version: %d\n", int(footage.record->version));
      } else {
        std::printf("  (no options record was attached)\n");
      }
    }
    session.Close(footage.inSpec);
  }
  return FinishSession(session, exitCode);
}

}  // namespace lvs
