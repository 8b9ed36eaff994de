#include "CommandSupport.h"

#include <cstring>

namespace lvs {

bool LoadPlugin(PluginSession& session, const std::string& requested) {
  const std::string path = requested.empty() ? DefaultPluginPath() : requested;
  std::string error;
  if (session.Load(path, &error)) return true;
  std::fprintf(stderr, "lvs: %s\n", error.c_str());
  return false;
}

int FinishSession(PluginSession& session, int exitCode) {
  std::string report;
  if (session.Finish(&report)) return exitCode;
  std::fflush(stdout);
  std::fprintf(stderr, "lvs: the plug-in left things behind in the host:\n%s\n", report.c_str());
  return kExitLeftovers;
}

void PrintJsonLine(const nlohmann::json& value) {
  std::printf("%s\n", value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
}

std::string FieldText(const char* field, size_t size) {
  const void* nul = std::memchr(field, '\0', size);
  return std::string(field, nul ? static_cast<const char*>(nul) : field + size);
}

}  // namespace lvs
