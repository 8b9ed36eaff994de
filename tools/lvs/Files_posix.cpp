#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "Files.h"

namespace fs = std::filesystem;

namespace lvs {
namespace {

std::string Errno() { return std::strerror(errno); }

}  // namespace

mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

TempFile::~TempFile() {
  if (fd_ >= 0) ::close(fd_);
  if (creator_ != ::getpid()) return;
  if (!path_.empty()) ::unlink(path_.c_str());
  if (!folder_.empty()) ::rmdir(folder_.c_str());
}

bool TempFile::CreateBeside(const std::string& target, const std::string& suffix, mode_t mode, std::string* error) {
  const fs::path t(target);
  const fs::path folder = t.has_parent_path() ? t.parent_path() : fs::path(".");
  std::string pattern = (folder / (".lvs-XXXXXX" + suffix)).string();
  // Made and registered as one step, so that no signal finds it unregistered.
  const SignalsHeld held;
  const int fd = ::mkostemps(&pattern[0], int(suffix.size()), O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot write in " + folder.string() + ": " + Errno();
    return false;
  }
  fd_ = fd;
  path_ = pattern;
  creator_ = ::getpid();
  if (!pathCleanup_.Register(path_, false)) {
    *error = "cannot write in " + folder.string() + ": too many temporary files";
    return false;
  }
  // mkostemps makes it private; the output is to have the mode asked for.
  ::fchmod(fd, mode);
  return true;
}

bool TempFile::CreateNamed(const std::string& name, std::string* error) {
  std::string pattern = (fs::temp_directory_path() / "lvs.XXXXXX").string();
  const SignalsHeld held;
  if (!::mkdtemp(&pattern[0])) {
    *error = "cannot make a temporary folder: " + Errno();
    return false;
  }
  folder_ = pattern;
  creator_ = ::getpid();
  const std::string path = (fs::path(pattern) / name).string();
  if (!folderCleanup_.Register(folder_, true) || !pathCleanup_.Register(path, false)) {
    *error = "cannot make a temporary file: too many temporary files";
    return false;
  }
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    *error = "cannot make a temporary file: " + Errno();
    return false;
  }
  path_ = path;
  return true;
}

bool TempFile::Close(std::string* error) {
  const int fd = fd_;
  fd_ = -1;
  if (fd < 0 || ::close(fd) == 0) return true;
  *error = "cannot write " + path_ + ": " + Errno();
  return false;
}

bool TempFile::RenameTo(const std::string& target, std::string* error) {
  if (!Close(error)) return false;
  if (std::rename(path_.c_str(), target.c_str()) != 0) {
    *error = "cannot write " + target + ": " + Errno();
    return false;
  }
  // Forgotten only once renamed: a signal in between finds nothing to remove.
  path_.clear();
  pathCleanup_.Forget();
  return true;
}

int OpenOrdinaryFile(const std::string& path, std::string* why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *why = Errno();
    return -1;
  }
  struct stat status {};
  // A named pipe or a device could keep us waiting; only standard input may.
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    *why = "not an ordinary file";
    ::close(fd);
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

PathKind KindOfPath(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return PathKind::Missing;
  if (S_ISDIR(status.st_mode)) return PathKind::Folder;
  return S_ISREG(status.st_mode) ? PathKind::Ordinary : PathKind::Other;
}

bool FolderIdentity(const std::string& path, std::pair<uint64_t, uint64_t>* identity) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return false;
  *identity = {uint64_t(status.st_dev), uint64_t(status.st_ino)};
  return true;
}

}  // namespace lvs
