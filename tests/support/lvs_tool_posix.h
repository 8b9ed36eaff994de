// What the suites that send lvs signals or watch FIFOs and devices need of
// POSIX alone: the node a path names, and the tool started as a child whose
// signals are the test's to send.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "lvs_tool_support.h"

namespace lvs_test {

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
