// Running the lvs tool as a process in a scratch folder, for the suites
// that test its commands.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <stb/stb_image.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

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

// What a path is, without following it: what a run must leave as it was
// when it is a device, a FIFO or a link.
struct Node {
  mode_t type = 0;
  ino_t inode = 0;
  dev_t device = 0;
  std::string link;
  bool operator==(const Node& o) const {
    return type == o.type && inode == o.inode && device == o.device && link == o.link;
  }
};

inline Node NodeAt(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return {};
  Node node{mode_t(status.st_mode & S_IFMT), status.st_ino, status.st_rdev, {}};
  std::error_code ec;
  if (S_ISLNK(status.st_mode)) node.link = fs::read_symlink(path, ec).string();
  return node;
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
    std::ofstream(scratch.Path(name), std::ios::binary) << bytes;
    return scratch.Path(name);
  }
  std::string File(const std::string& name, const Bytes& b) { return File(name, std::string(b.begin(), b.end())); }
  std::string Good() { return scratch.Package("good.lvs", kMeta, Preview()); }
  std::string NoPreview() { return scratch.Package("nopreview.lvs", {Sealed("meta", ToBytes(kMeta))}); }

  // Runs in the scratch folder; `input` names a file for standard input,
  // `output` one for standard output (out is then empty), and `prefix` a
  // command that runs the tool (setpriv, say).
  ToolRun Lvs(const std::vector<std::string>& args, const std::string& input = "/dev/null",
              const std::string& output = ".stdout", const std::string& prefix = "") {
    std::string command = "cd '" + scratch.Dir().string() + "' && " + prefix + " '" LVS_TOOL_PATH "'";
    for (const std::string& a : args) command += " '" + a + "'";
    fs::remove(scratch.Path(".stdout"));
    const int status = std::system((command + " <'" + input + "' >'" + output + "' 2>.stderr").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(scratch.Path(".stdout")),
            Slurp(scratch.Path(".stderr"))};
  }

  Scratch scratch;
};

// The tool started as a child of the test, with the signals it handles at
// their defaults (as a shell starts a command in the foreground), for tests
// that signal it or measure it. Files are opened as a shell's redirections
// open them; `tmpdir`, when given, is its TMPDIR.
struct Launch {
  Launch(std::string directory, std::vector<std::string> arguments, std::string input = "/dev/null",
         std::string output = "/dev/null", std::string errors = "/dev/null", std::string temporary = {})
      : dir(std::move(directory)),
        args(std::move(arguments)),
        in(std::move(input)),
        out(std::move(output)),
        err(std::move(errors)),
        tmpdir(std::move(temporary)) {}
  std::string dir;
  std::vector<std::string> args;
  std::string in, out, err;
  std::string tmpdir;
};

inline pid_t Start(const Launch& launch) {
  std::vector<std::string> argv = {LVS_TOOL_PATH};
  argv.insert(argv.end(), launch.args.begin(), launch.args.end());
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "TMPDIR=", 7) != 0) env.push_back(*e);
  if (!launch.tmpdir.empty()) env.push_back("TMPDIR=" + launch.tmpdir);
  auto pointers = [](std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (std::string& s : strings) p.push_back(&s[0]);
    p.push_back(nullptr);
    return p;
  };
  std::vector<char*> cargv = pointers(argv), cenv = pointers(env);
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  // Only async-signal-safe calls from here to exec.
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) ::signal(s, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  const int in = ::open(launch.in.c_str(), O_RDONLY);
  const int out = ::open(launch.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = ::open(launch.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
      ::chdir(launch.dir.c_str()) != 0)
    ::_exit(127);
  ::execve(cargv[0], cargv.data(), cenv.data());
  ::_exit(127);
}

// Waits for it: its exit code, or minus the signal that ended it.
inline int Reap(pid_t pid, struct rusage* usage = nullptr) {
  int status = 0;
  struct rusage ignored {};
  if (::wait4(pid, &status, 0, usage ? usage : &ignored) != pid) return -1000;
  return WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? -WTERMSIG(status) : -1000;
}

}  // namespace lvs_test
