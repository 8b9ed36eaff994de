// Pieces every fuzz target shares: stopping the run on a broken promise, and
// a scratch file per process for bytes that must be read by path.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace lvs_fuzz {

// Stops the run so that libFuzzer saves the input: something the plug-in
// must never do happened.
[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "lvs fuzz: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

inline void Require(bool condition, const std::string& what) {
  if (!condition) Fail(what);
}

// An in-memory file, reachable by path through /proc/self/fd, rewritten for
// every input: no disk traffic and nothing left behind when the run ends.
class ScratchFile {
 public:
  explicit ScratchFile(const char* name) {
    fd_ = ::memfd_create(name, 0);
    Require(fd_ >= 0, "memfd_create failed");
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~ScratchFile() { ::close(fd_); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  void Write(const uint8_t* data, size_t size) {
    Require(::ftruncate(fd_, 0) == 0, "ftruncate failed");
    size_t done = 0;
    while (done < size) {
      const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      Require(n > 0, "pwrite failed");
      done += static_cast<size_t>(n);
    }
  }
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace lvs_fuzz
