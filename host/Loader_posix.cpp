#include "Loader.h"

#include <dlfcn.h>

// RTLD_NOW | RTLD_LOCAL: unresolved symbols fail the open, and the
// module's symbols cannot satisfy anyone else's.

namespace lvs_host {

ModuleLoader::~ModuleLoader() { Close(); }

bool ModuleLoader::Open(const std::string& path) {
  Close();
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* why = dlerror();
    error_ = why ? why : "dlopen failed";
    return false;
  }
  error_.clear();
  return true;
}

void* ModuleLoader::Symbol(const char* name) const {
  if (!handle_) return nullptr;
  return dlsym(handle_, name);
}

void ModuleLoader::Close() {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
}

}  // namespace lvs_host
