// Outputs on Windows. A device or a pipe is known by its name (a path under
// "\\.\", or a reserved name such as NUL, CON or COM1 in any folder, with any
// extension), since opening one to look could take a pipe's only instance;
// it is opened and written directly. A symbolic link is written through to
// its final target, which MoveFileExW then replaces.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "OutputFile.h"
#include "WindowsText.h"

namespace lvs {
namespace {

// The file a link finally names, or the path itself when it is no link or
// names nothing yet.
std::string FinalTarget(const std::string& path, const std::wstring& wide, DWORD attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return path;
  const HANDLE handle = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return path;
  std::wstring final(32768, L'\0');
  const DWORD length = GetFinalPathNameByHandleW(handle, &final[0], DWORD(final.size()), FILE_NAME_NORMALIZED);
  CloseHandle(handle);
  if (length == 0 || length >= final.size()) return path;
  final.resize(length);
  const std::string target = Narrow(final);
  return target.empty() ? path : target;
}

}  // namespace

bool OutputFile::Open(const std::string& path, const std::string& suffix, std::string* error) {
  path_ = path;
  if (path == "-") {
    fd_ = kStandardOutput;
    return true;
  }
  const std::wstring wide = WidePath(path);
  if (wide.empty()) {
    errno = ENOENT;
    *error = Failure();
    return false;
  }
  if (IsDeviceName(wide)) {
    const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      FailWithLastError();
      *error = Failure();
      return false;
    }
    fd_ = ::_open_osfhandle(intptr_t(handle), _O_WRONLY | _O_BINARY);
    if (fd_ < 0) {
      CloseHandle(handle);
      *error = Failure();
      return false;
    }
    ownsFd_ = true;
    return true;
  }
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES && GetLastError() != ERROR_FILE_NOT_FOUND &&
      GetLastError() != ERROR_PATH_NOT_FOUND) {
    FailWithLastError();
    *error = Failure();
    return false;
  }
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    errno = EISDIR;
    *error = Failure();
    return false;
  }
  target_ = FinalTarget(path, wide, attributes);
  if (!temp_.CreateBeside(target_, suffix, NewFileMode(), error)) return false;
  fd_ = temp_.Descriptor();
  return true;
}

}  // namespace lvs
