#include "PluginSession.h"

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace lvs {

// Looked for from the tool's own place, so that a build tree and an
// installed prefix, even one moved elsewhere, each load their own module and
// never the other's. When neither is there, the installed place is the one
// the error names. The build's path serves only where /proc is missing.
std::string DefaultPluginPath() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return LVS_BUILT_PLUGIN_PATH;
  const fs::path installed = (self.parent_path() / LVS_PLUGIN_FROM_INSTALLED_TOOL).lexically_normal();
  const fs::path beside = (self.parent_path() / LVS_PLUGIN_FROM_TOOL).lexically_normal();
  if (fs::exists(beside, ec)) return beside.string();
  return installed.string();
}

bool PluginSession::Load(const std::string& modulePath, std::string* error) {
  std::error_code ec;
  if (!fs::exists(modulePath, ec)) {
    *error = "the plug-in module " + modulePath + " does not exist (build it, or name another with --plugin)";
    return false;
  }
  const A_Err err = host_.Load(modulePath);
  if (err == lvs_host::kLoadFailed) {
    *error = "cannot load the plug-in module " + modulePath + ": " + host_.LoadError();
    return false;
  }
  if (err != A_Err_NONE || !host_.IORegistered() || !host_.Callbacks().AEIO_InitInSpecFromFile ||
      !host_.Callbacks().AEIO_DrawSparseFrame || !host_.Callbacks().AEIO_DisposeInSpec) {
    *error = "the plug-in module " + modulePath + " did not register as an importer (entry result " +
             std::to_string(err) + ")";
    return false;
  }
  return true;
}

namespace {

std::optional<LVS_Options> RecordOf(lvs_host::SubstituteHost& host, AEIO_InSpecH inSpec) {
  const auto attributes = host.InSpec(inSpec);
  if (!attributes || !attributes->options) return std::nullopt;
  const std::vector<uint8_t> bytes = host.Memory().Bytes(attributes->options);
  if (bytes.size() != sizeof(LVS_Options)) return std::nullopt;
  LVS_Options record;
  std::memcpy(&record, bytes.data(), sizeof record);
  return record;
}

}  // namespace

std::string HostPath(const std::string& packagePath) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(packagePath, ec);
  return ec ? packagePath : absolute.string();
}

OpenedFootage PluginSession::Open(const std::string& packagePath) {
  OpenedFootage footage;
  std::u16string path16;
  // A path that is not UTF-8 cannot come from the host; the plug-in is
  // handed an empty path instead, which no package can have.
  if (!Utf8ToUtf16(HostPath(packagePath), &path16)) path16.clear();
  footage.inSpec = host_.NewInSpec();
  footage.result = host_.Calls().InitInSpecFromFile(path16, footage.inSpec);
  footage.record = RecordOf(host_, footage.inSpec);
  return footage;
}

A_Err PluginSession::Close(AEIO_InSpecH inSpec) {
  const A_Err err = host_.Calls().DisposeInSpec(inSpec);
  host_.DeleteInSpec(inSpec);
  // One process may check a great many packages: what each gave back is
  // forgotten, and only what is still held or was misused stays for the
  // report at the end.
  host_.ForgetHistory();
  return err;
}

PF_EffectWorld* PluginSession::NewWorld(PF_PixelFormat format, int width, int height) {
  return host_.Worlds().Create(format, width, height, 0, /*clear=*/true);
}

void PluginSession::ReleaseWorld(PF_EffectWorld* world) {
  if (world) host_.Worlds().Release(world);
}

A_Err PluginSession::Draw(AEIO_InSpecH inSpec, PF_EffectWorld* destination) {
  return host_.Calls().DrawSparseFrame(inSpec, destination);
}

bool PluginSession::Finish(std::string* report) {
  host_.Shutdown();
  const lvs_host::LeftoverReport leftovers = host_.Leftovers();
  if (leftovers.Clean()) return true;
  *report = leftovers.Text();
  return false;
}

}  // namespace lvs
