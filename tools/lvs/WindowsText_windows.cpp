#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cwctype>
#include <vector>

#include "TextCodec.h"
#include "WindowsText.h"

namespace lvs {

std::wstring Wide(const std::string& utf8) {
  std::u16string text;
  if (!Utf8ToUtf16(utf8, &text)) return {};
  return std::wstring(text.begin(), text.end());
}

std::string Narrow(const std::wstring& wide) {
  const std::u16string text(wide.begin(), wide.end());
  std::vector<char> out(text.size() * 3 + 1);
  if (!Utf16ToUtf8(reinterpret_cast<const uint16_t*>(text.c_str()), out.data(), out.size())) return {};
  return out.data();
}

bool FailWithLastError() {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_NAME:
      errno = ENOENT;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      errno = EACCES;
      break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      errno = EEXIST;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      errno = ENOSPC;
      break;
    case ERROR_FILENAME_EXCED_RANGE:
      errno = ENAMETOOLONG;
      break;
    case ERROR_DIRECTORY:
      errno = ENOTDIR;
      break;
    case ERROR_TOO_MANY_OPEN_FILES:
      errno = EMFILE;
      break;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      errno = ENOMEM;
      break;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      errno = EPIPE;
      break;
    default:
      errno = EIO;
  }
  return false;
}

std::wstring WidePath(const std::string& utf8) {
  std::wstring path = Wide(utf8);
  // Well short of MAX_PATH: a file made inside a folder adds its name.
  if (path.size() < 200 || path.rfind(L"\\\\", 0) == 0) return path;
  const DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (length == 0) return path;
  std::wstring full(length, L'\0');
  full.resize(GetFullPathNameW(path.c_str(), length, &full[0], nullptr));
  for (wchar_t& c : full)
    if (c == L'/') c = L'\\';
  return full.rfind(L"\\\\", 0) == 0 ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
}

bool IsDeviceName(const std::wstring& path) {
  if (path.rfind(L"\\\\.\\", 0) == 0 || path.rfind(L"//./", 0) == 0) return true;
  std::wstring name =
      path.substr(path.find_last_of(L"\\/:") == std::wstring::npos ? 0 : path.find_last_of(L"\\/:") + 1);
  name = name.substr(0, name.find(L'.'));
  while (!name.empty() && name.back() == L' ') name.pop_back();
  std::transform(name.begin(), name.end(), name.begin(), [](wchar_t c) { return wchar_t(std::towupper(c)); });
  static const wchar_t* const kReserved[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* reserved : kReserved)
    if (name == reserved) return true;
  return name.size() == 4 && (name.rfind(L"COM", 0) == 0 || name.rfind(L"LPT", 0) == 0) && name[3] >= L'1' &&
         name[3] <= L'9';
}

}  // namespace lvs
