#include <windows.h>

#include <string>

#include "Loader.h"

namespace lvs_host {

namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(std::size_t(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), &wide[0], length);
  return wide;
}

std::string Describe(DWORD code) {
  char* text = nullptr;
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length ? std::string(text, length) : std::string();
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  return "LoadLibrary failed (error " + std::to_string(code) + (message.empty() ? ")" : "): " + message);
}

}  // namespace

ModuleLoader::~ModuleLoader() { Close(); }

bool ModuleLoader::Open(const std::string& path) {
  Close();
  const std::wstring wide = Wide(path);
  if (wide.empty()) {
    error_ = "the module's path is not UTF-8 text";
    return false;
  }
  // The module's own folder is searched first for what it imports, as the
  // host does, and a module that cannot load says so here rather than in a
  // dialog box.
  DWORD previous = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
  HMODULE module = LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const DWORD code = GetLastError();
  SetThreadErrorMode(previous, nullptr);
  if (!module) {
    error_ = Describe(code);
    return false;
  }
  handle_ = module;
  error_.clear();
  return true;
}

void* ModuleLoader::Symbol(const char* name) const {
  if (!handle_) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void ModuleLoader::Close() {
  if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

}  // namespace lvs_host
