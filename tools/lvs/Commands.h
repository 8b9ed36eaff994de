// The commands of lvs. Each returns the process exit code, the same for the
// same failure whatever the command; when several happen, the highest:
//   0  everything the command reports on succeeded
//   1  a package or file failed (open, draw, check, decode, or pack's
//      metadata, preview or proof)
//   2  bad arguments, or a file or folder that cannot be read or written
//   3  the plug-in module cannot be loaded
//   4  the plug-in left something behind in the host (a leak or a misuse);
//      the host's report goes to stderr
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "StyleFormat.h"

namespace lvs {

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitNoPlugin = 3, kExitLeftovers = 4 };

struct RenderOptions {
  std::string package;
  std::string output;
  int depth = 8;
  int width = kStyleWidth;
  int height = kStyleHeight;
  std::string plugin;
  bool json = false;
  bool quiet = false;
};

struct DecodeOptions {
  std::string file;
  std::string output;
  bool json = false;
  bool quiet = false;
};

struct PackOptions {
  std::string output;
  std::string from;     // a package whose entries stand in for what is not given
  std::string preview;  // else the preview of `from`
  std::string meta;     // a metadata file; else that of `from`, or the four fields
  std::optional<std::string> name, author, hash;
  std::optional<int32_t> version;
  std::string plugin;
  bool quiet = false;
};

int RunRender(const RenderOptions& options);
int RunDecode(const DecodeOptions& options);
int RunPack(const PackOptions& options);

// Parses "WIDTHxHEIGHT" with both sides from 1 to kLargestSide.
constexpr int kLargestSide = 8192;
bool ParseSize(const std::string& text, int* width, int* height);

}  // namespace lvs
