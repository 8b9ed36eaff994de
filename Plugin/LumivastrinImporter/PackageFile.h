// The package's file, as each operating system opens and reads it: only a
// regular file is accepted, and it is looked at before it is opened, so that
// a pipe, a console or a device is refused without blocking; reads name
// their offset and share no file pointer. One small file per system
// implements it (PackageFile_posix.cpp, PackageFile_windows.cpp); the zip
// reader above it is the same everywhere.
#pragma once

#include <cstddef>
#include <cstdint>

class PackageFile {
 public:
  enum class Opened { Yes, NotARegularFile, Unreadable };

  PackageFile() = default;
  ~PackageFile() { Close(); }
  PackageFile(const PackageFile&) = delete;
  PackageFile& operator=(const PackageFile&) = delete;

  // The path is UTF-8, as the options record holds it.
  Opened Open(const char* path);
  bool IsOpen() const { return handle_ != kClosed; }
  std::uint64_t Size() const { return size_; }

  // Exactly `count` bytes from `offset`; false on a short or failed read.
  bool ReadAt(std::uint64_t offset, void* destination, std::size_t count) const;

  // Closes now, to learn whether closing succeeded.
  bool Close();

 private:
  // A file descriptor or a Windows handle; -1 is neither.
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t handle_ = kClosed;
  std::uint64_t size_ = 0;
};
