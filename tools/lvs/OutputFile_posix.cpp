#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "OutputFile.h"

namespace fs = std::filesystem;

namespace lvs {
namespace {

// The longest chain of links followed, as the kernel's own limit.
constexpr int kMostLinks = 40;

// What a chain of symbolic links finally names: the path itself when it is
// not a link, and possibly a name not yet taken (a dangling link). Links in
// the folders above need no resolving: a rename goes through them.
bool FinalTarget(const std::string& path, std::string* target) {
  std::string current = path;
  for (int hops = 0; hops < kMostLinks; ++hops) {
    struct stat status {};
    if (::lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
      *target = current;
      return true;
    }
    char link[4096];
    const ssize_t n = ::readlink(current.c_str(), link, sizeof link);
    if (n < 0) return false;
    if (size_t(n) == sizeof link) {
      errno = ENAMETOOLONG;
      return false;
    }
    const fs::path named(std::string(link, size_t(n)));
    const fs::path folder = fs::path(current).parent_path();
    current = named.is_absolute() || folder.empty() ? named.string() : (folder / named).string();
  }
  errno = ELOOP;
  return false;
}

}  // namespace

bool OutputFile::Open(const std::string& path, const std::string& suffix, std::string* error) {
  path_ = path;
  if (path == "-") {
    fd_ = kStandardOutput;
    return true;
  }
  struct stat status {};
  const bool exists = ::stat(path.c_str(), &status) == 0;
  if (!exists && errno != ENOENT) {
    *error = Failure();
    return false;
  }
  if (exists && S_ISDIR(status.st_mode)) {
    errno = EISDIR;
    *error = Failure();
    return false;
  }
  // A device or a FIFO is the reader's: written as it is, and left there.
  if (exists && !S_ISREG(status.st_mode)) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
      *error = Failure();
      return false;
    }
    ownsFd_ = true;
    return true;
  }
  if (!FinalTarget(path, &target_)) {
    *error = Failure();
    return false;
  }
  // A file replaced keeps its mode, and its owner where we may give it; a
  // new one gets what the umask allows, as any other tool's output would.
  const mode_t mode = exists ? mode_t(status.st_mode & 07777) : NewFileMode();
  if (!temp_.CreateBeside(target_, suffix, mode, error)) return false;
  fd_ = temp_.Descriptor();
  if (exists && (status.st_uid != ::geteuid() || status.st_gid != ::getegid()) &&
      ::fchown(fd_, status.st_uid, status.st_gid) == 0)
    ::fchmod(fd_, mode);  // a change of owner clears the set-id bits
  return true;
}

}  // namespace lvs
