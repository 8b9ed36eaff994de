// Running the lvs tool as a process in a scratch folder, for the suites
// that test its commands.
#pragma once

#include <stb/stb_image.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>

#include "fixture.h"

namespace lvstest {

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
  std::ifstream in(path, std::ios::binary);
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

class LvsTool : public ::testing::Test {
 protected:
  std::string File(const std::string& name, const std::string& bytes) {
    fs::create_directories(fs::path(scratch.Path(name)).parent_path());
    std::ofstream(scratch.Path(name), std::ios::binary) << bytes;
    return scratch.Path(name);
  }
  std::string File(const std::string& name, const Bytes& b) { return File(name, std::string(b.begin(), b.end())); }
  std::string Good() { return scratch.Package("good.lvs", kMeta, Preview()); }
  std::string NoPreview() { return scratch.Package("nopreview.lvs", {Sealed("meta", ToBytes(kMeta))}); }

  // Runs in the scratch folder; `input` names a file for standard input.
  ToolRun Lvs(const std::vector<std::string>& args, const std::string& input = "/dev/null") {
    std::string command = "cd '" + scratch.Dir().string() + "' && '" LVS_TOOL_PATH "'";
    for (const std::string& a : args) command += " '" + a + "'";
    const int status = std::system((command + " <'" + input + "' >.stdout 2>.stderr").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(scratch.Path(".stdout")),
            Slurp(scratch.Path(".stderr"))};
  }

  Scratch scratch;
};

}  // namespace lvstest
