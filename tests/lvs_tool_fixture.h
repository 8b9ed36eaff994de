// Running the built lvs tool as a process on packages made at test time.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "PackageBuilder.h"
#include "StylePackage.h"
#include "jpeg_decoder.h"
#include "support/JpegFixtures.h"

extern char** environ;

namespace lvstool {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr char kMeta[] = R"({"name": "Ink", "author": "A. B.", "hash": "9f2c", "version": 3})";

struct ToolRun {
  int exitCode = -1;
  bool signalled = false;  // the tool crashed
  std::string out, err;
  std::vector<nlohmann::json> JsonLines() const {
    std::vector<nlohmann::json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
    return lines;
  }
};

inline std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The plug-in's own decoder on a JPEG: what the module paints.
struct Decoded {
  int result = -1, width = 0, height = 0, components = 0;
  Bytes pixels;
};
inline Decoded Decode(const Bytes& jpeg) {
  Jpeg::Decoder d(jpeg.data(), jpeg.size(), [](uint64_t n) { return std::malloc(n); }, std::free);
  Decoded out{d.GetResult(), d.GetWidth(), d.GetHeight(), d.GetComponentCount(), {}};
  if (out.result == 0)
    out.pixels.assign(d.GetImage(), d.GetImage() + size_t(out.width) * out.height * out.components);
  return out;
}

inline Bytes Jpeg(int width, int height, lvs_test::Subsampling sampling = lvs_test::Subsampling::S420,
                  bool progressive = false, unsigned seed = 5) {
  lvs_test::JpegOptions o;
  o.subsampling = sampling;
  o.progressive = progressive;
  const int channels = sampling == lvs_test::Subsampling::Grey ? 1 : 3;
  return lvs_test::EncodeJpeg(lvs_test::MakePhotoLikePicture(width, height, seed, channels), o);
}

inline lvs_maker::Entry MetaEntry(const std::string& json, const std::string& name = "meta") {
  return lvs_maker::Entry(name, Bytes(json.begin(), json.end()), lvs_maker::Method::Deflate, kPackagePassword);
}
inline lvs_maker::Entry PrvEntry(const Bytes& jpeg, const std::string& name = "prv",
                                 const std::string& password = kPackagePassword) {
  return lvs_maker::Entry(name, jpeg, lvs_maker::Method::Deflate, password);
}

class LvsTool : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("lvs_tool_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  std::string Package(const std::string& name, const std::vector<lvs_maker::Entry>& entries) {
    std::string error;
    EXPECT_TRUE(lvs_maker::WritePackage(Path(name), entries, &error)) << error;
    return Path(name);
  }
  std::string Package(const std::string& name, const std::string& meta, const Bytes& prv) {
    return Package(name, lvs_maker::StyleEntries(meta, prv));
  }
  std::string File(const std::string& name, const std::string& bytes) {
    std::ofstream(Path(name), std::ios::binary) << bytes;
    return Path(name);
  }
  std::string File(const std::string& name, const Bytes& bytes) { return File(name, std::string(bytes.begin(), bytes.end())); }

  // The commonest fixtures: a package showing its own 1280x720 preview, and
  // one that opens but has no preview (so the fallback shows).
  const Bytes& GoodPreview() {
    static const Bytes jpeg = Jpeg(1280, 720);
    return jpeg;
  }
  std::string GoodPackage() { return Package("good.lvs", kMeta, GoodPreview()); }
  std::string FallbackPackage() {
    return Package("fallback.lvs", {MetaEntry(kMeta)});
  }

  // Runs the tool with its output in files of the scratch directory.
  ToolRun Lvs(const std::vector<std::string>& args) {
    std::vector<std::string> all = {LVS_TOOL_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const std::string outPath = Path(".stdout"), errPath = Path(".stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
    pid_t pid = 0;
    ToolRun run;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0) << "cannot start " << argv[0];
    if (spawned != 0) return run;
    int status = 0;
    waitpid(pid, &status, 0);
    run.signalled = WIFSIGNALED(status);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = Slurp(outPath);
    run.err = Slurp(errPath);
    return run;
  }

  fs::path dir_;
};

inline std::set<std::string> Keys(const nlohmann::json& object) {
  std::set<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it) keys.insert(it.key());
  return keys;
}

}  // namespace lvstool
