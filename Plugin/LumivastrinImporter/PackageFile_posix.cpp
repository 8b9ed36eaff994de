#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "PackageFile.h"

PackageFile::Opened PackageFile::Open(const char* path) {
  Close();
  // Looked at before it is opened: opening a FIFO blocks until a writer
  // comes, and opening a device can have effects of its own.
  struct stat status;
  if (path == nullptr || ::stat(path, &status) != 0 || !S_ISREG(status.st_mode)) return Opened::NotARegularFile;
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return Opened::Unreadable;
  handle_ = fd;
  if (::fstat(fd, &status) != 0) {
    Close();
    return Opened::Unreadable;
  }
  // The path may have been swapped for something else in between.
  if (!S_ISREG(status.st_mode) || status.st_size < 0) {
    Close();
    return Opened::NotARegularFile;
  }
  size_ = static_cast<std::uint64_t>(status.st_size);
  return Opened::Yes;
}

bool PackageFile::ReadAt(std::uint64_t offset, void* destination, std::size_t count) const {
  if (!IsOpen()) return false;
  auto* out = static_cast<std::uint8_t*>(destination);
  while (count > 0) {
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) return false;
    const ssize_t got = ::pread(static_cast<int>(handle_), out, count, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    offset += static_cast<std::uint64_t>(got);
    count -= static_cast<std::size_t>(got);
  }
  return true;
}

bool PackageFile::Close() {
  if (!IsOpen()) return true;
  const int result = ::close(static_cast<int>(handle_));
  handle_ = kClosed;
  size_ = 0;
  return result == 0;
}
