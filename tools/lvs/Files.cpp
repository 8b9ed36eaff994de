#include "Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <utility>

#include "PackageDiagnosis.h"

namespace fs = std::filesystem;

namespace lvs {
namespace {

// Far beyond any package or picture the plug-in would read; standard input
// that goes on longer is refused rather than filling the disk.
constexpr uint64_t kLargestStdin = uint64_t(1) << 30;

std::string Errno() { return std::strerror(errno); }

// Copies `from` to `to` until the end, at most `limit` bytes.
bool Pump(int from, int to, uint64_t limit, const std::string& what, std::string* error) {
  char buffer[1 << 16];
  uint64_t total = 0;
  for (;;) {
    const ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = "cannot read " + what + ": " + Errno();
      return false;
    }
    if (n == 0) return true;
    total += uint64_t(n);
    if (total > limit) {
      *error = what + " holds more than " + std::to_string(limit >> 20) + " MiB";
      return false;
    }
    if (!WriteAll(to, buffer, size_t(n))) {
      *error = "cannot write: " + Errno();
      return false;
    }
  }
}

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

namespace {

// Appends what is left of `fd` to *bytes, refusing it once the whole would
// hold more than `limit` bytes.
bool ReadRest(int fd, uint64_t limit, const std::string& what, std::vector<uint8_t>* bytes, std::string* error) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = "cannot read " + what + ": " + Errno();
      return false;
    }
    if (n == 0) return true;
    if (bytes->size() + size_t(n) > limit) {
      *error = what + " is larger than " + std::to_string(limit >> 20) + " MiB";
      return false;
    }
    bytes->insert(bytes->end(), buffer, buffer + n);
  }
}

// The rest of an open file or stream. The size of a file is known before its
// first byte: one too large is refused unread, and the others are read into
// a buffer of their size (and on, should the file grow meanwhile).
bool ReadOpen(int fd, uint64_t limit, const std::string& what, std::vector<uint8_t>* bytes, std::string* error) {
  bytes->clear();
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return ReadRest(fd, limit, what, bytes, error);
  const off_t at = ::lseek(fd, 0, SEEK_CUR);
  const uint64_t left = uint64_t(status.st_size) - std::min<uint64_t>(uint64_t(std::max<off_t>(at, 0)), status.st_size);
  if (left > limit) {
    *error = what + " is larger than " + std::to_string(limit >> 20) + " MiB";
    return false;
  }
  bytes->resize(size_t(left));
  size_t got = 0;
  while (got < bytes->size()) {
    const ssize_t n = ::read(fd, bytes->data() + got, bytes->size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = "cannot read " + what + ": " + Errno();
      return false;
    }
    if (n == 0) bytes->resize(got);  // it shrank while we read
    got += size_t(n);
  }
  return ReadRest(fd, limit, what, bytes, error);
}

}  // namespace

bool ReadInput(const std::string& path, uint64_t limit, std::vector<uint8_t>* bytes, std::string* error) {
  if (path == "-") return ReadOpen(STDIN_FILENO, limit, "standard input", bytes, error);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *error = "cannot read " + path + ": " + Errno();
    return false;
  }
  struct stat status {};
  bool ok = false;
  // A named pipe or a device could keep us waiting; only standard input may.
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    *error = "cannot read " + path + ": not an ordinary file";
  } else {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    ok = ReadOpen(fd, limit, path, bytes, error);
  }
  ::close(fd);
  return ok;
}

bool PackageInput::Prepare(const std::string& argument, std::string* error) {
  if (argument != "-") {
    path_ = argument;
    return true;
  }
  if (!copy_.CreateNamed("stdin.lvs", error)) return false;
  const bool ok = Pump(STDIN_FILENO, copy_.Descriptor(), kLargestStdin, "standard input", error);
  std::string closeError;
  if (!copy_.Close(&closeError) && ok) {
    *error = closeError;
    return false;
  }
  path_ = copy_.Path();
  return ok;
}

namespace {

struct Walk {
  std::set<std::pair<dev_t, ino_t>> visited;
  std::vector<std::string>* packages;
  std::vector<std::string>* unreadable;

  void Folder(const fs::path& folder) {
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0) {
      unreadable->push_back(folder.string());
      return;
    }
    if (!visited.insert({status.st_dev, status.st_ino}).second) return;  // a link back up, or a second way in
    std::vector<fs::path> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) names.push_back(it->path());
    if (ec) {
      unreadable->push_back(folder.string());
      return;
    }
    std::sort(names.begin(), names.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename().native() < b.filename().native(); });
    for (const fs::path& name : names) {
      std::error_code statusError;
      if (fs::is_directory(fs::status(name, statusError)))
        Folder(name);
      else if (HasPackageExtension(name.string()))
        packages->push_back(name.string());
    }
  }
};

}  // namespace

std::vector<std::string> ExpandPackages(const std::vector<std::string>& arguments, bool recursive,
                                        std::vector<std::string>* unreadable) {
  std::vector<std::string> packages;
  Walk walk{{}, &packages, unreadable};
  for (const std::string& argument : arguments) {
    std::error_code ec;
    if (recursive && argument != "-" && fs::is_directory(fs::status(argument, ec)))
      walk.Folder(argument);
    else
      packages.push_back(argument);
  }
  return packages;
}

}  // namespace lvs
