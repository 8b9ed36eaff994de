// Opens a plug-in module and finds its symbols, as the host does on each
// system: dlopen (Loader_posix.cpp) or LoadLibrary (Loader_windows.cpp).
#pragma once

#include <string>

namespace lvs_host {

class ModuleLoader {
 public:
  ModuleLoader() = default;
  ~ModuleLoader();  // closes the module
  ModuleLoader(const ModuleLoader&) = delete;
  ModuleLoader& operator=(const ModuleLoader&) = delete;

  // The path is UTF-8. Every import of the module is resolved here, so a
  // missing one fails the open, and the module's symbols serve no one else.
  bool Open(const std::string& path);
  void* Symbol(const char* name) const;  // null when absent
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }
  const std::string& Error() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace lvs_host
