// The four commands of lvs. Each returns the process exit code:
//   0  everything the command reports on succeeded
//   1  a package or file failed (open, draw, check or decode)
//   2  bad arguments, or a file that cannot be read or written
//   3  the plug-in module cannot be loaded
//   4  the plug-in left something behind in the host (a leak or a misuse);
//      the host's report goes to stderr
#pragma once

#include <string>
#include <vector>

namespace lvs {

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitNoPlugin = 3, kExitLeftovers = 4 };

struct InfoOptions {
  std::vector<std::string> packages;
  std::string plugin;
  bool json = false;
};

struct RenderOptions {
  std::string package;
  std::string output;
  int depth = 8;
  int width = 1280;
  int height = 720;
  std::string plugin;
  bool json = false;
};

struct CheckOptions {
  std::vector<std::string> packages;
  std::string plugin;
  bool json = false;
};

struct DecodeOptions {
  std::string file;
  std::string output;
  bool json = false;
};

int RunInfo(const InfoOptions& options);
int RunRender(const RenderOptions& options);
int RunCheck(const CheckOptions& options);
int RunDecode(const DecodeOptions& options);

// Parses "WIDTHxHEIGHT" with both sides from 1 to kLargestSide.
constexpr int kLargestSide = 8192;
bool ParseSize(const std::string& text, int* width, int* height);


}  // namespace lvs
