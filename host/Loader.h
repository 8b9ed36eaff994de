// Opens a plug-in module with dlopen and finds its symbols.
#pragma once

#include <string>

namespace lvshost {

class ModuleLoader {
 public:
  ModuleLoader() = default;
  ~ModuleLoader();  // closes the module
  ModuleLoader(const ModuleLoader&) = delete;
  ModuleLoader& operator=(const ModuleLoader&) = delete;

  // RTLD_NOW | RTLD_LOCAL, so an unresolved symbol fails here and the
  // module's symbols cannot satisfy anyone else's.
  bool Open(const std::string& path);
  void* Symbol(const char* name) const;  // null when absent
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }
  const std::string& Error() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace lvshost
