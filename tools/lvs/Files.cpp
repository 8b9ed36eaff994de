#include "Files.h"

#include <algorithm>
#include <cerrno>
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
    const long long n = ReadSome(from, buffer, sizeof buffer);
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

// Appends what is left of `fd` to *bytes, refusing it once the whole would
// hold more than `limit` bytes.
bool ReadRest(int fd, uint64_t limit, const std::string& what, std::vector<uint8_t>* bytes, std::string* error) {
  char buffer[1 << 16];
  for (;;) {
    const long long n = ReadSome(fd, buffer, sizeof buffer);
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
  uint64_t left = 0;
  if (!BytesLeftInFile(fd, &left)) return ReadRest(fd, limit, what, bytes, error);
  if (left > limit) {
    *error = what + " is larger than " + std::to_string(limit >> 20) + " MiB";
    return false;
  }
  bytes->resize(size_t(left));
  size_t got = 0;
  while (got < bytes->size()) {
    const long long n = ReadSome(fd, bytes->data() + got, bytes->size() - got);
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
  if (path == "-") return ReadOpen(kStandardInput, limit, "standard input", bytes, error);
  std::string why;
  const int fd = OpenOrdinaryFile(path, &why);
  if (fd < 0) {
    *error = "cannot read " + path + ": " + why;
    return false;
  }
  const bool ok = ReadOpen(fd, limit, path, bytes, error);
  CloseDescriptor(fd);
  return ok;
}

bool PackageInput::Prepare(const std::string& argument, std::string* error) {
  if (argument != "-") {
    path_ = argument;
    return true;
  }
  if (!copy_.CreateNamed("stdin.lvs", error)) return false;
  const bool ok = Pump(kStandardInput, copy_.Descriptor(), kLargestStdin, "standard input", error);
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
  std::set<std::pair<uint64_t, uint64_t>> visited;
  std::vector<std::string>* packages;
  std::vector<std::string>* unreadable;

  void Folder(const fs::path& folder) {
    std::pair<uint64_t, uint64_t> identity;
    if (!FolderIdentity(folder.u8string(), &identity)) {
      unreadable->push_back(folder.u8string());
      return;
    }
    if (!visited.insert(identity).second) return;  // a link back up, or a second way in
    std::vector<fs::path> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) names.push_back(it->path());
    if (ec) {
      unreadable->push_back(folder.u8string());
      return;
    }
    std::sort(names.begin(), names.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename().native() < b.filename().native(); });
    for (const fs::path& name : names) {
      std::error_code statusError;
      if (fs::is_directory(fs::status(name, statusError)))
        Folder(name);
      else if (HasPackageExtension(name.u8string()))
        packages->push_back(name.u8string());
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
    if (recursive && argument != "-" && fs::is_directory(fs::status(fs::u8path(argument), ec)))
      walk.Folder(fs::u8path(argument));
    else
      packages.push_back(argument);
  }
  return packages;
}

}  // namespace lvs
