// The real plug-in module, for the test modules that stand in front of it
// (contrary_module.cpp, open_counter_windows.cpp): loaded by the entry, the
// way the host loads a module on each system, and left loaded for the life
// of the process, as the host keeps its modules.
#pragma once

#include <new>

#include "LVS_HostSDK.h"
#include "Loader.h"

namespace lvs_test {

// The real module's entry; null when it cannot be loaded. The loader is
// never destroyed and lives in the calling module's own storage, not on a
// heap where it would be reported as a leak once that module is unloaded.
inline AEGP_PluginInitFunc RealEntry() {
  alignas(lvs_host::ModuleLoader) static unsigned char storage[sizeof(lvs_host::ModuleLoader)];
  static lvs_host::ModuleLoader* const real = [] {
    auto* loader = new (storage) lvs_host::ModuleLoader;
    loader->Open(LVS_PLUGIN_PATH);
    return loader;
  }();
  return real->IsOpen() ? reinterpret_cast<AEGP_PluginInitFunc>(real->Symbol("EntryPointFunc")) : nullptr;
}

}  // namespace lvs_test
