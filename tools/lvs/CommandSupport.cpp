#include "CommandSupport.h"

#include <cstdio>
#include <cstring>

namespace lvs {
namespace {

std::string gCommand;

}  // namespace

void SetCommandName(const std::string& name) { gCommand = name; }
const std::string& CommandName() { return gCommand; }

void Complain(const std::string& text) {
  Emit(Stream::Err, (gCommand.empty() ? std::string("lvs: ") : "lvs " + gCommand + ": ") + text + "\n");
}

bool LoadPlugin(PluginSession& session, const std::string& requested, bool sayWhyNot) {
  const std::string path = requested.empty() ? DefaultPluginPath() : requested;
  std::string error;
  if (session.Load(path, &error)) return true;
  if (sayWhyNot) Complain(error);
  return false;
}

int FinishSession(PluginSession& session, int exitCode) {
  std::string report;
  if (session.Finish(&report)) return exitCode;
  Complain("the plug-in left things behind in the host:\n" + report);
  return kExitLeftovers;
}

void PrintJsonLine(const nlohmann::json& value, Stream stream) { Emit(stream, JsonLine(value)); }

std::string JsonLine(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string Printable(const std::string& text) {
  std::string out;
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  char escape[8];
  for (size_t i = 0; i < n;) {
    const unsigned char lead = s[i];
    size_t length = lead < 0x80             ? 1
                    : (lead & 0xE0) == 0xC0 ? 2
                    : (lead & 0xF0) == 0xE0 ? 3
                    : (lead & 0xF8) == 0xF0 ? 4
                                            : 0;
    bool valid = length > 0 && i + length <= n && !(lead == 0xC0 || lead == 0xC1 || lead > 0xF4);
    for (size_t k = 1; valid && k < length; ++k) valid = (s[i + k] & 0xC0) == 0x80;
    if (!valid) {
      std::snprintf(escape, sizeof escape, "\\x%02X", lead);
      out += escape;
      ++i;
      continue;
    }
    const bool c0 = lead < 0x20 || lead == 0x7F;
    const bool c1 = lead == 0xC2 && s[i + 1] >= 0x80 && s[i + 1] <= 0x9F;
    if (c0) {
      std::snprintf(escape, sizeof escape, "\\x%02X", lead);
      out += escape;
    } else if (c1) {
      std::snprintf(escape, sizeof escape, "\\u%04X", unsigned(s[i + 1]));
      out += escape;
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
  return out;
}

std::string FieldText(const char* field, size_t size) {
  const void* nul = std::memchr(field, '\0', size);
  return std::string(field, nul ? static_cast<const char*>(nul) : field + size);
}

nlohmann::json ProblemsJson(const std::vector<Problem>& problems) {
  nlohmann::json list = nlohmann::json::array();
  for (const Problem& p : problems)
    list.push_back({{"code", p.Name()}, {"severity", SeverityName(p.GetSeverity())}, {"message", p.message}});
  return list;
}

std::string ProblemsText(const std::vector<Problem>& problems) {
  std::string text;
  for (const Problem& p : problems) text += "  - [" + std::string(p.Name()) + "] " + Printable(p.message) + "\n";
  return text;
}

bool PreparePackage(PackageInput* input, const std::string& argument, int* exitCode) {
  std::string error;
  if (input->Prepare(argument, &error)) return true;
  Complain(error);
  if (*exitCode < kExitUsage) *exitCode = kExitUsage;
  return false;
}

int ReportUnreadableFolders(const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) Complain("cannot read the folder " + Printable(folder));
  return folders.empty() ? kExitOk : kExitUsage;
}

}  // namespace lvs
