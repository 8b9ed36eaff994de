// Whole reads and writes of a descriptor (a file, a pipe, standard output),
// which may move fewer bytes at a time or be interrupted.
#pragma once

#include <cstddef>

namespace lvs {

// All `size` bytes to or from the descriptor; false on an error or
// (reading) an early end.
bool WriteAll(int fd, const void* data, std::size_t size);
bool ReadAll(int fd, void* data, std::size_t size);

}  // namespace lvs
