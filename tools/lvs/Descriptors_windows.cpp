// The C runtime's descriptors move bytes as they are only in binary mode:
// lvs opens its own that way and sets its standard streams so at start
// (Process_windows.cpp), so a PNG or a package written to standard output
// keeps every byte and a report's lines end in "\n" alone, as on Linux.
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "Descriptors.h"

namespace lvs {
namespace {

// _read and _write take an unsigned int count.
constexpr std::size_t kLargestMove = std::size_t(1) << 30;

template <class Byte, class Move>
bool MoveAll(Byte* bytes, std::size_t size, Move move) {
  while (size > 0) {
    const int n = move(bytes, std::min(size, kLargestMove));
    if (n <= 0) return false;
    bytes += n;
    size -= std::size_t(n);
  }
  return true;
}

}  // namespace

bool WriteAll(int fd, const void* data, std::size_t size) {
  if (MoveAll(static_cast<const char*>(data), size,
              [fd](const char* p, std::size_t n) { return ::_write(fd, p, unsigned(n)); }))
    return true;
  // A pipe whose reader has gone: the runtime says EINVAL, POSIX EPIPE (when
  // SIGPIPE, which Windows lacks, does not end the process first).
  const DWORD error = GetLastError();
  if (error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE) errno = EPIPE;
  return false;
}

bool ReadAll(int fd, void* data, std::size_t size) {
  return MoveAll(static_cast<char*>(data), size, [fd](char* p, std::size_t n) { return ::_read(fd, p, unsigned(n)); });
}

long long ReadSome(int fd, void* data, std::size_t size) {
  return ::_read(fd, data, unsigned(std::min(size, kLargestMove)));
}

bool BytesLeftInFile(int fd, uint64_t* left) {
  const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) return false;
  LARGE_INTEGER size{}, at{}, none{};
  if (!GetFileSizeEx(handle, &size) || !SetFilePointerEx(handle, none, &at, FILE_CURRENT)) return false;
  const uint64_t total = uint64_t(size.QuadPart), position = uint64_t(std::max<LONGLONG>(at.QuadPart, 0));
  *left = total - std::min(position, total);
  return true;
}

bool CloseDescriptor(int fd) { return ::_close(fd) == 0; }

}  // namespace lvs
