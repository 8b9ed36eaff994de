#include <fcntl.h>
#include <malloc.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "TestPlatform.h"

namespace lvs_test {

namespace {

void Redirect(const std::string& path, int fd, int flags) {
  const int opened = ::open(path.empty() ? "/dev/null" : path.c_str(), flags, 0600);
  if (opened < 0) ::_exit(127);
  ::dup2(opened, fd);
  ::close(opened);
}

}  // namespace

int RunProgram(const std::vector<std::string>& argv, const RunOptions& options) {
  if (argv.empty()) return -1;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (!options.directory.empty() && ::chdir(options.directory.c_str()) != 0) ::_exit(127);
    Redirect(options.input, 0, O_RDONLY);
    Redirect(options.output, 1, O_WRONLY | O_CREAT | O_TRUNC);
    Redirect(options.error, 2, O_WRONLY | O_CREAT | O_TRUNC);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(pid, &status, options.timeoutSeconds > 0 ? WNOHANG : 0);
    if (done == pid) break;
    if (done < 0) return -1;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

long ProcessId() { return long(::getpid()); }

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
  if (value)
    ::setenv(name.c_str(), value->c_str(), 1);
  else
    ::unsetenv(name.c_str());
}

std::size_t OpenHandles() {
  std::error_code error;
  std::size_t count = 0;
  for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end; it.increment(error))
    ++count;
  return count;
}

std::vector<int> AllowedProcessors() {
  cpu_set_t set;
  std::vector<int> allowed;
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return allowed;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
    if (CPU_ISSET(cpu, &set)) allowed.push_back(cpu);
  return allowed;
}

bool AllowProcessors(const std::vector<int>& processors) {
  cpu_set_t set;
  CPU_ZERO(&set);
  for (int cpu : processors) CPU_SET(cpu, &set);
  return ::sched_setaffinity(0, sizeof set, &set) == 0;
}

bool FileNamesAreBytes() { return true; }

bool FoldersCanBeStandardInput() { return true; }

bool ReadsEveryFile() { return ::geteuid() == 0; }

// glibc's account of its arenas and of the blocks it maps on their own.
std::size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.arena + info.hblkhd;
}

bool RemoveTree(const std::string& path) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
  return !error;
}

struct PipePath::Resource {};

PipePath::PipePath(const std::string& folder) : path_(folder + "/pipe.lvs") {
  if (::mkfifo(path_.c_str(), 0600) != 0) path_.clear();
}

PipePath::~PipePath() {
  if (!path_.empty()) ::unlink(path_.c_str());
}

struct FifoWatch::State {
  std::atomic<bool> done{false}, blocked{false};
  std::thread thread;
};

FifoWatch::FifoWatch(const std::string& path) : state_(new State) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISFIFO(st.st_mode)) return;
  State* state = state_.get();
  state->thread = std::thread([state, path] {
    const auto start = std::chrono::steady_clock::now();
    while (!state->done) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (std::chrono::steady_clock::now() - start < std::chrono::seconds(1)) continue;
      const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);  // fails unless a reader has it open
      if (fd >= 0) {
        state->blocked = true;
        ::close(fd);
      }
    }
  });
}

FifoWatch::~FifoWatch() {
  state_->done = true;
  if (state_->thread.joinable()) state_->thread.join();
}

bool FifoWatch::Blocked() const { return state_->blocked; }

std::vector<std::string> DevicePaths() { return {"/dev/zero", "/dev/null", "/dev/tty"}; }

}  // namespace lvs_test
