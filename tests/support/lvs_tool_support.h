// Running the lvs tool as a process in a scratch folder, for the suites
// that test its commands.
#pragma once

#include <stb/stb_image.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>

#include "fixture.h"

namespace lvs_test {

using nlohmann::json;

struct ToolRun {
  int exitCode = -1;
  std::string out, err;
  std::vector<json> Lines() const {
    std::vector<json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
    return lines;
  }
};

inline std::string Slurp(const std::string& path) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A PNG's samples through stb_image (not the tool's libpng), with its size.
inline Bytes ReadPng(const std::string& path, int channels = 4, int* width = nullptr, int* height = nullptr) {
  int w = 0, h = 0, stored = 0;
  stbi_uc* p = stbi_load(path.c_str(), &w, &h, &stored, channels);
  const Bytes samples = p ? Bytes(p, p + size_t(w) * h * channels) : Bytes();
  stbi_image_free(p);
  if (width) *width = w;
  if (height) *height = h;
  return samples;
}

// RGBA as the draw paints a JPEG: the decoder's bytes, opaque.
inline Bytes Rgba(const Bytes& jpeg) {
  Bytes out = Painted(jpeg);
  for (size_t i = 0; i < out.size(); i += 4) std::rotate(&out[i], &out[i + 1], &out[i + 4]);
  return out;
}

// Whether a package (made by pack from Preview()) holds that preview whole.
inline bool HoldsThePreview(const std::string& package) {
  Bytes prv(Preview().size());
  return LVS_ReadFile(package.c_str(), "prv", prv.data(), prv.size()) == 0 && prv == Preview();
}

class LvsTool : public ::testing::Test {
 protected:
  std::string File(const std::string& name, const std::string& bytes) {
    fs::create_directories(fs::path(scratch.Path(name)).parent_path());
    std::ofstream(fs::u8path(scratch.Path(name)), std::ios::binary) << bytes;
    return scratch.Path(name);
  }
  std::string File(const std::string& name, const Bytes& b) { return File(name, std::string(b.begin(), b.end())); }
  std::string Good() { return scratch.Package("good.lvs", kMeta, Preview()); }
  std::string NoPreview() { return scratch.Package("nopreview.lvs", {Sealed("meta", ToBytes(kMeta))}); }

  // Runs in the scratch folder; `input` names a file for standard input
  // (none when empty), `output` one for standard output (out is then empty),
  // and `prefix` shell words that come before the tool (an assignment, say),
  // which makes the run go through /bin/sh and so is for POSIX alone.
  ToolRun Lvs(const std::vector<std::string>& args, const std::string& input = {},
              const std::string& output = ".stdout", const std::string& prefix = "") {
    std::vector<std::string> argv = {LVS_TOOL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    if (!prefix.empty()) {
      std::string command = prefix + " '" LVS_TOOL_PATH "'";
      for (const std::string& a : args) command += " '" + a + "'";
      argv = {"/bin/sh", "-c", command};
    }
    lvs_test::RunOptions options;
    options.directory = scratch.Dir().u8string();
    options.input = input;
    // Named from the test's folder: Windows opens them before the tool runs.
    options.output = fs::u8path(output).is_absolute() ? output : scratch.Path(output);
    options.error = scratch.Path(".stderr");
    const int code = lvs_test::RunProgram(argv, options);
    // (Not removed between runs but rewritten: Wine may still hold the last
    // run's file for a moment after it ended.)
    return {code, output == ".stdout" ? Slurp(scratch.Path(".stdout")) : std::string(), Slurp(scratch.Path(".stderr"))};
  }

  // A path as the tool prints a path it joined (with the system's separator),
  // in forward slashes, to compare with the names a test expects.
  static std::string Slashed(const std::string& path) { return fs::u8path(path).generic_u8string(); }

  Scratch scratch;
};

// The suites of where outputs go: a package, its preview and its metadata
// in the scratch folder, and every command that writes an output.
class LvsOutputs : public LvsTool {
 protected:
  void SetUp() override {
    Good();
    File("prv.jpg", Preview());
    File("meta.json", kMeta);
  }

  // Every command that writes an output, aimed at `output`.
  static std::vector<std::vector<std::string>> Writers(const std::string& output) {
    return {{"render", "good.lvs", "-o", output},
            {"sheet", "good.lvs", "-o", output, "--cell-width", "64"},
            {"decode", "prv.jpg", "-o", output},
            {"pack", "-o", output, "--preview", "prv.jpg", "--meta", "meta.json"}};
  }
};

}  // namespace lvs_test
