#include <malloc.h>

#include <filesystem>

#include "Process.h"

namespace lvs {

std::string ExecutablePath() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.string();
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

void PrepareProcess() {
  // Every package checked or drawn takes a world of a few MiB. Served from
  // the heap and kept there, it is the same pages each time instead of a
  // fresh mapping that faults in page by page for every package.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
}

}  // namespace lvs
