#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "Descriptors.h"

namespace lvs {
namespace {

template <class Byte, class Move>
bool MoveAll(Byte* bytes, std::size_t size, Move move) {
  while (size > 0) {
    const ssize_t n = move(bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= std::size_t(n);
  }
  return true;
}

}  // namespace

bool WriteAll(int fd, const void* data, std::size_t size) {
  return MoveAll(static_cast<const char*>(data), size,
                 [fd](const char* p, std::size_t n) { return ::write(fd, p, n); });
}

bool ReadAll(int fd, void* data, std::size_t size) {
  return MoveAll(static_cast<char*>(data), size, [fd](char* p, std::size_t n) { return ::read(fd, p, n); });
}

long long ReadSome(int fd, void* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

bool BytesLeftInFile(int fd, uint64_t* left) {
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return false;
  const off_t at = std::max<off_t>(::lseek(fd, 0, SEEK_CUR), 0);
  *left = uint64_t(status.st_size) - std::min<uint64_t>(uint64_t(at), uint64_t(status.st_size));
  return true;
}

bool CloseDescriptor(int fd) { return ::close(fd) == 0; }

}  // namespace lvs
