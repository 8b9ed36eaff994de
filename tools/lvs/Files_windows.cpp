// Temporary files on Windows: made by CreateFileW with a random name (there
// is no mkstemp), shared for deletion so that Ctrl-C can remove one still
// open (Cleanup_windows.cpp), and renamed into place by MoveFileExW, which
// replaces the output in one step as rename does on POSIX. Windows has no
// file modes: the mode asked for is not kept.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cwctype>
#include <cstring>
#include <filesystem>
#include <random>

#include "Files.h"
#include "WindowsText.h"

namespace fs = std::filesystem;

namespace lvs {
namespace {

std::string Errno() { return std::strerror(errno); }

// Enough tries that a clash of random names never ends a run.
constexpr int kNameTries = 100;

std::string RandomPart() {
  static std::mt19937_64 random{std::random_device{}() ^ (uint64_t(GetCurrentProcessId()) << 32) ^ GetTickCount64()};
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string part(6, 'a');
  for (char& c : part) c = kLetters[random() % (sizeof kLetters - 1)];
  return part;
}

// A new file, open for writing as a C runtime descriptor in binary mode; -1
// with errno when it exists or cannot be made.
int CreateNew(const std::string& path) {
  const HANDLE handle = CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return FailWithLastError(), -1;
  const int fd = ::_open_osfhandle(intptr_t(handle), _O_WRONLY | _O_BINARY);
  if (fd < 0) CloseHandle(handle);
  return fd;
}

}  // namespace

mode_t NewFileMode() { return 0666; }

TempFile::~TempFile() {
  if (fd_ >= 0) ::_close(fd_);
  if (!path_.empty()) DeleteFileW(WidePath(path_).c_str());
  if (!folder_.empty()) RemoveDirectoryW(WidePath(folder_).c_str());
}

bool TempFile::CreateBeside(const std::string& target, const std::string& suffix, mode_t, std::string* error) {
  const fs::path t = fs::u8path(target);
  const fs::path folder = t.has_parent_path() ? t.parent_path() : fs::path(".");
  for (int tries = 0; tries < kNameTries; ++tries) {
    const std::string path = (folder / fs::u8path(".lvs-" + RandomPart() + suffix)).u8string();
    // Made and registered as one step, so that no Ctrl-C finds it unregistered.
    const SignalsHeld held;
    const int fd = CreateNew(path);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) break;
    fd_ = fd;
    path_ = path;
    if (!pathCleanup_.Register(path_, false)) {
      *error = "cannot write in " + folder.u8string() + ": too many temporary files";
      return false;
    }
    return true;
  }
  *error = "cannot write in " + folder.u8string() + ": " + Errno();
  return false;
}

bool TempFile::CreateNamed(const std::string& name, std::string* error) {
  std::error_code ec;
  const fs::path temporary = fs::temp_directory_path(ec);
  if (ec) {
    *error = "cannot make a temporary folder: " + ec.message();
    return false;
  }
  for (int tries = 0; tries < kNameTries; ++tries) {
    const std::string folder = (temporary / fs::u8path("lvs." + RandomPart())).u8string();
    const SignalsHeld held;
    if (!CreateDirectoryW(WidePath(folder).c_str(), nullptr)) {
      if (GetLastError() == ERROR_ALREADY_EXISTS) continue;
      FailWithLastError();
      break;
    }
    folder_ = folder;
    const std::string path = (fs::u8path(folder) / fs::u8path(name)).u8string();
    if (!folderCleanup_.Register(folder_, true) || !pathCleanup_.Register(path, false)) {
      *error = "cannot make a temporary file: too many temporary files";
      return false;
    }
    fd_ = CreateNew(path);
    if (fd_ < 0) {
      *error = "cannot make a temporary file: " + Errno();
      return false;
    }
    path_ = path;
    return true;
  }
  *error = "cannot make a temporary folder: " + Errno();
  return false;
}

bool TempFile::Close(std::string* error) {
  const int fd = fd_;
  fd_ = -1;
  if (fd < 0 || ::_close(fd) == 0) return true;
  *error = "cannot write " + path_ + ": " + Errno();
  return false;
}

bool TempFile::RenameTo(const std::string& target, std::string* error) {
  if (!Close(error)) return false;
  if (!MoveFileExW(WidePath(path_).c_str(), WidePath(target).c_str(), MOVEFILE_REPLACE_EXISTING)) {
    FailWithLastError();
    *error = "cannot write " + target + ": " + Errno();
    return false;
  }
  path_.clear();
  pathCleanup_.Forget();
  return true;
}

int OpenOrdinaryFile(const std::string& path, std::string* why) {
  const std::wstring wide = WidePath(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (IsDeviceName(wide) || (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))) {
    *why = "not an ordinary file";
    return -1;
  }
  const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    FailWithLastError();
    *why = Errno();
    return -1;
  }
  // A named pipe, the console or a device could keep us waiting; only
  // standard input may.
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    *why = "not an ordinary file";
    return -1;
  }
  const int fd = ::_open_osfhandle(intptr_t(handle), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    *why = Errno();
  }
  return fd;
}

PathKind KindOfPath(const std::string& path) {
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return PathKind::Missing;
  if (IsDeviceName(wide)) {
    // A pipe is looked for without connecting to it; a device is there.
    std::wstring lower = wide.substr(0, 9);
    for (wchar_t& c : lower) c = wchar_t(std::towlower(c));
    if ((lower == L"\\\\.\\pipe\\" || lower == L"//./pipe/") && !WaitNamedPipeW(wide.c_str(), 1) &&
        GetLastError() == ERROR_FILE_NOT_FOUND)
      return PathKind::Missing;
    return PathKind::Other;
  }
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES)
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::Ordinary;
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:
      return PathKind::Missing;
    default:
      // Something is there that Windows will not describe: Wine's answer
      // for a FIFO, a socket or a device node of the machine under it.
      return PathKind::Other;
  }
}

bool FolderIdentity(const std::string& path, std::pair<uint64_t, uint64_t>* identity) {
  const HANDLE handle = CreateFileW(WidePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information{};
  const bool ok = GetFileInformationByHandle(handle, &information);
  CloseHandle(handle);
  if (!ok) return false;
  *identity = {information.dwVolumeSerialNumber,
               (uint64_t(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
  return true;
}

}  // namespace lvs
