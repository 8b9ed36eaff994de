#include <windows.h>

#include <cstdint>
#include <string>

#include "PackageFile.h"
#include "TextCodec.h"

namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

// The path made absolute and put in the form that has no 260-character
// limit ("\\?\C:\..." or "\\?\UNC\server\..."), which Windows then takes as
// it is. Empty for paths of the device namespace ("\\.\", which a legacy
// name such as NUL or COM1 also turns into): those are never package files.
std::wstring LongPath(const std::wstring& path) {
  if (StartsWith(path, L"\\\\?\\")) return path;
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::wstring();
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
  if (length == 0 || length >= needed) return std::wstring();
  full.resize(length);
  if (StartsWith(full, L"\\\\.\\") || StartsWith(full, L"\\\\?\\")) return std::wstring();
  if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// The UTF-8 path as LongPath gives it (empty when it is not text, or none
// Windows would open); false only when memory ran out, for the zip reader
// above expects no exception from opening.
bool WidePath(const char* path, std::wstring* wide) noexcept {
  try {
    std::u16string utf16;
    if (path != nullptr && Utf8ToUtf16(path, &utf16) && !utf16.empty())
      *wide = LongPath(std::wstring(utf16.begin(), utf16.end()));
    return true;
  } catch (...) {
    return false;
  }
}

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

PackageFile::Opened PackageFile::Open(const char* path) {
  Close();
  std::wstring wide;
  if (!WidePath(path, &wide)) return Opened::Unreadable;
  if (wide.empty()) return Opened::NotARegularFile;

  // Looked at before it is opened, by its attributes alone: a folder or a
  // device is refused without being touched.
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &attributes) ||
      (attributes.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
    return Opened::NotARegularFile;

  // Other programs may read, write, rename or delete the package while a
  // frame is drawn from it. A named pipe's server gets no identity of ours
  // to act under.
  const HANDLE file =
      CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Opened::Unreadable;
  handle_ = reinterpret_cast<std::intptr_t>(file);

  // The path may have been swapped for something else in between: only a
  // file on a disk, not a pipe, a console or a character device, is read.
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    Close();
    return Opened::NotARegularFile;
  }
  size_ = (std::uint64_t(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
  return Opened::Yes;
}

bool PackageFile::ReadAt(std::uint64_t offset, void* destination, std::size_t count) const {
  if (!IsOpen()) return false;
  auto* out = static_cast<std::uint8_t*>(destination);
  while (count > 0) {
    // The offset travels with each read; the handle's own file pointer is
    // never consulted.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD want = count > (1u << 30) ? DWORD(1u << 30) : static_cast<DWORD>(count);
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), out, want, &got, &at) || got == 0) return false;
    out += got;
    offset += got;
    count -= got;
  }
  return true;
}

bool PackageFile::Close() {
  if (!IsOpen()) return true;
  const BOOL closed = CloseHandle(AsHandle(handle_));
  handle_ = kClosed;
  size_ = 0;
  return closed != 0;
}
