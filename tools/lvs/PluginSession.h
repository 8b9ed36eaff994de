// The plug-in module loaded into the substitute host and driven through its
// callbacks the way the host drives it: open a package from its path, draw
// frames into host worlds, dispose of the footage, and at the end ask the
// host whether anything was left behind.
#pragma once

#include <optional>
#include <string>

#include "TextCodec.h"  // the host hands paths over as zero-terminated UTF-16
#include "StyleOptions.h"
#include "SubstituteHost.h"

namespace lvs {

// Where the module built or installed with this tool lives: beside the tool
// in its build tree, else in the installed layout around it.
std::string DefaultPluginPath();

// The package's absolute path, as the host hands it to the plug-in (in
// UTF-16 when it is UTF-8 text, else as an empty path).
std::string HostPath(const std::string& packagePath);

struct OpenedFootage {
  A_Err result = 0;
  AEIO_InSpecH inSpec = nullptr;
  std::optional<LVS_Options> record;  // the attached options record, if any
};

class PluginSession {
 public:
  // Loads the module and runs its entry point; false and *error otherwise.
  bool Load(const std::string& modulePath, std::string* error);

  // InitInSpecFromFile with the package's absolute path, as the host passes
  // it. The footage must be given back with Close().
  OpenedFootage Open(const std::string& packagePath);
  A_Err Close(AEIO_InSpecH inSpec);

  // A destination world as the host allocates one (cleared), and a draw
  // into it.
  PF_EffectWorld* NewWorld(PF_PixelFormat format, int width, int height);
  void ReleaseWorld(PF_EffectWorld* world);
  A_Err Draw(AEIO_InSpecH inSpec, PF_EffectWorld* destination);

  // Runs the module's death hook and takes the host's leftovers report:
  // true when nothing was left allocated, locked or misused.
  bool Finish(std::string* report);

 private:
  lvs_host::SubstituteHost host_;
};

}  // namespace lvs
