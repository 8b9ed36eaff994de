// Whole reads and writes of a descriptor (a file, a pipe, standard output),
// which may move fewer bytes at a time or be interrupted. Descriptors are the
// C runtime's everywhere, so the commands hold the same int on every system;
// one file per system moves the bytes (Descriptors_posix.cpp,
// Descriptors_windows.cpp), in binary on Windows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lvs {

constexpr int kStandardInput = 0;
constexpr int kStandardOutput = 1;
constexpr int kStandardError = 2;

// All `size` bytes to or from the descriptor; false on an error or
// (reading) an early end.
bool WriteAll(int fd, const void* data, std::size_t size);
bool ReadAll(int fd, void* data, std::size_t size);

// Up to `size` bytes: how many were read, 0 at the end, -1 on an error
// (errno tells which).
long long ReadSome(int fd, void* data, std::size_t size);

// For a descriptor open on an ordinary file, the bytes from its position to
// its end; false for a pipe, a device or a console.
bool BytesLeftInFile(int fd, uint64_t* left);

// False, with errno, when what was written did not arrive.
bool CloseDescriptor(int fd);

}  // namespace lvs
