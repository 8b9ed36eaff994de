#include "OutputFile.h"

#include <cerrno>
#include <cstring>

namespace lvs {

OutputFile::~OutputFile() {
  if (ownsFd_) CloseDescriptor(fd_);
}

std::string OutputFile::Failure(const std::string& why) const {
  const int code = errno_ != 0 ? errno_ : errno;
  return "cannot write " + (path_ == "-" ? std::string("to standard output") : path_) + ": " +
         (why.empty() ? std::string(std::strerror(code)) : why);
}

bool OutputFile::Write(const void* data, size_t size) {
  if (errno_ != 0) return false;
  if (fd_ < 0) {
    errno_ = EBADF;
    return false;
  }
  errno = 0;
  if (WriteAll(fd_, data, size)) return true;
  errno_ = errno != 0 ? errno : EIO;
  return false;
}

bool OutputFile::CloseStaged(std::string* error) {
  if (errno_ != 0) {
    *error = Failure();
    return false;
  }
  std::string closeError;
  if (!temp_.Close(&closeError)) {
    errno_ = errno != 0 ? errno : EIO;
    *error = Failure();
    return false;
  }
  fd_ = -1;
  return true;
}

bool OutputFile::Commit(std::string* error) {
  if (errno_ != 0) {
    *error = Failure();
    return false;
  }
  if (Staged()) return CloseStaged(error) && temp_.RenameTo(target_, error);
  if (!ownsFd_) return true;
  ownsFd_ = false;
  if (!CloseDescriptor(fd_)) {
    errno_ = errno;
    *error = Failure();
    return false;
  }
  return true;
}

}  // namespace lvs
