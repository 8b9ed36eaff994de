// Worker processes on POSIX systems: a fork of lvs serves its jobs over two
// pipes and ends with the run.
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <vector>

#include "Commands.h"
#include "Descriptors.h"
#include "WorkerProcess.h"

namespace lvs {
namespace {

// Every descriptor lvs holds for its workers: a new worker closes those of
// the workers before it, so that each pipe has exactly one reader and one
// writer and its end is seen.
std::vector<int> gParentEnds;

class ForkedWorker final : public WorkerProcess {
 public:
  ForkedWorker(pid_t pid, int jobs, int reports) : pid_(pid), jobs_(jobs), reports_(reports) {}
  ~ForkedWorker() override {
    EndJobs();
    if (reports_ >= 0) Forget(reports_);
    if (pid_ > 0) Wait();
  }

  bool Send(uint64_t job) override {
    if (jobs_ < 0) return false;
    // A worker that has ended (one that could not load the module, say)
    // makes this write fail with EPIPE; the SIGPIPE that comes with it is
    // not the end of lvs's run, so it is held and taken back here.
    sigset_t pipe, previous;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipe, &previous);
    const bool sent = WriteAll(jobs_, &job, sizeof job);
    if (!sent && errno == EPIPE) {
      const struct timespec now {};
      ::sigtimedwait(&pipe, nullptr, &now);
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return sent;
  }
  void EndJobs() override {
    if (jobs_ < 0) return;
    Forget(jobs_);
    jobs_ = -1;
  }
  bool NextReport(uint64_t* job, std::string* report) override { return ReadReport(reports_, job, report); }
  int Wait() override {
    if (pid_ <= 0) return exitCode_;
    int status = 0;
    const bool waited = ::waitpid(pid_, &status, 0) == pid_;
    pid_ = -1;
    exitCode_ = waited && WIFEXITED(status) ? WEXITSTATUS(status) : kExitFailed;
    return exitCode_;
  }

 private:
  static void Forget(int fd) {
    for (auto it = gParentEnds.begin(); it != gParentEnds.end(); ++it)
      if (*it == fd) {
        gParentEnds.erase(it);
        break;
      }
    ::close(fd);
  }

  pid_t pid_;
  int jobs_, reports_;
  int exitCode_ = kExitFailed;
};

}  // namespace

std::unique_ptr<WorkerProcess> StartWorker(int k, const RunnerFactory& makeRunner) {
  int jobs[2], reports[2];
  if (::pipe(jobs) != 0) return nullptr;
  if (::pipe(reports) != 0) {
    ::close(jobs[0]);
    ::close(jobs[1]);
    return nullptr;
  }
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    // A worker ends with the run: a signal that ends lvs ends it too, even
    // one lvs alone was sent.
    if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent) ::_exit(kExitUsage);
    for (int fd : gParentEnds) ::close(fd);
    ::close(jobs[1]);
    ::close(reports[0]);
    PipeStreams streams(jobs[0], reports[1]);
    int code = kExitFailed;
    {
      std::unique_ptr<JobRunner> runner = makeRunner(k);
      code = ServeJobs(*runner, streams);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(code);
  }
  ::close(jobs[0]);
  ::close(reports[1]);
  if (pid < 0) {
    ::close(jobs[1]);
    ::close(reports[0]);
    return nullptr;
  }
  gParentEnds.push_back(jobs[1]);
  gParentEnds.push_back(reports[0]);
  return std::make_unique<ForkedWorker>(pid, jobs[1], reports[0]);
}

// Workers here are copies of lvs made by fork, which serve from StartWorker.
void ServeIfStartedAsWorker(const RunnerFactory&) {}

int UsableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? int(online) : 1;
}

}  // namespace lvs
