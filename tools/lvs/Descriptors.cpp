#include "Descriptors.h"

#include <unistd.h>

#include <cerrno>

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

}  // namespace lvs
