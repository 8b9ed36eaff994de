#include "Workers.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "Commands.h"
#include "Descriptors.h"
#include "WorkerProcess.h"

namespace lvs {
namespace {

// Reports waiting to be printed are bounded: a worker is handed a job only
// while it lies within this many jobs of the first one not yet printed, so a
// slow package holds back a few reports rather than all of them.
constexpr std::size_t kAheadPerWorker = 8;

int RunHere(std::size_t count, const RunnerFactory& makeRunner, const std::function<void(const std::string&)>& emit) {
  std::unique_ptr<JobRunner> runner = makeRunner(0);
  const int started = runner->Start();
  if (started != kExitOk) return started;
  for (std::size_t job = 0; job < count; ++job) emit(runner->Run(job));
  return runner->Finish();
}

// What the workers' reader threads hand the dispatcher.
struct Arrival {
  int worker = 0;
  bool ended = false;  // the worker has no more reports
  uint64_t job = 0;
  std::string report;
};

class Mailbox {
 public:
  void Post(Arrival arrival) {
    std::lock_guard<std::mutex> lock(mutex_);
    arrivals_.push_back(std::move(arrival));
    ready_.notify_one();
  }
  Arrival Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return !arrivals_.empty(); });
    Arrival arrival = std::move(arrivals_.front());
    arrivals_.pop_front();
    return arrival;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Arrival> arrivals_;
};

int RunOnWorkers(std::size_t count, int workerCount, const RunnerFactory& makeRunner,
                 const std::function<void(const std::string&)>& emit) {
  struct Worker {
    std::unique_ptr<WorkerProcess> process;
    std::thread reader;
    std::optional<uint64_t> pending;  // the job it was given and has not reported
    bool ended = false;
  };
  std::fflush(stdout);
  std::fflush(stderr);
  std::vector<Worker> workers;
  for (int k = 0; k < workerCount; ++k) {
    std::unique_ptr<WorkerProcess> process = StartWorker(k, makeRunner);
    if (!process) break;
    workers.push_back(Worker{std::move(process), {}, {}, false});
  }
  if (workers.empty()) {
    std::fprintf(stderr, "lvs: no worker process could be started\n");
    return kExitUsage;
  }
  Mailbox mailbox;
  for (std::size_t k = 0; k < workers.size(); ++k) {
    WorkerProcess* process = workers[k].process.get();
    workers[k].reader = std::thread([&mailbox, process, k] {
      Arrival arrival;
      arrival.worker = int(k);
      while (process->NextReport(&arrival.job, &arrival.report)) mailbox.Post(arrival);
      mailbox.Post(Arrival{int(k), true, 0, {}});
    });
  }

  std::map<uint64_t, std::string> waiting;  // reports not yet printable
  uint64_t next = 0, printed = 0;
  bool lost = false;
  const std::size_t ahead = kAheadPerWorker * workers.size();
  const auto handOut = [&] {
    for (Worker& worker : workers) {
      if (lost || worker.ended || worker.pending || next >= count || next >= printed + ahead) continue;
      if (worker.process->Send(next)) worker.pending = next++;
    }
  };
  handOut();
  std::size_t running = workers.size();
  while (running > 0) {
    Arrival arrival = mailbox.Take();
    Worker& worker = workers[std::size_t(arrival.worker)];
    if (arrival.ended) {
      worker.ended = true;
      --running;
      // A worker that ends holding a job leaves a hole no later report may
      // pass: the run ends there.
      if (worker.pending) lost = true;
    } else if (worker.pending && *worker.pending == arrival.job) {
      worker.pending.reset();
      waiting.emplace(arrival.job, std::move(arrival.report));
      for (auto it = waiting.find(printed); it != waiting.end(); it = waiting.find(printed)) {
        emit(it->second);
        waiting.erase(it);
        ++printed;
      }
    }
    handOut();
    // Workers with nothing more to do are let go; after a loss, every one.
    for (Worker& w : workers)
      if (lost || (next >= count && !w.pending)) w.process->EndJobs();
  }

  int exitCode = kExitOk;
  for (Worker& worker : workers) {
    worker.reader.join();
    exitCode = std::max(exitCode, worker.process->Wait());
  }
  if (printed < count && exitCode != kExitNoPlugin) {
    std::fprintf(stderr, "lvs: a worker process ended before reporting on every package\n");
    exitCode = std::max<int>(exitCode, kExitFailed);
  }
  return exitCode;
}

}  // namespace

bool PipeStreams::ReadJob(uint64_t* job) { return ReadAll(jobs_, job, sizeof *job); }

bool PipeStreams::WriteReport(uint64_t job, const std::string& report) {
  const uint64_t header[2] = {job, report.size()};
  return WriteAll(reports_, header, sizeof header) && WriteAll(reports_, report.data(), report.size());
}

bool ReadReport(int fd, uint64_t* job, std::string* report) {
  uint64_t header[2];
  if (!ReadAll(fd, header, sizeof header) || header[1] > (uint64_t(1) << 30)) return false;
  *job = header[0];
  report->resize(std::size_t(header[1]));
  return report->empty() || ReadAll(fd, &(*report)[0], report->size());
}

int ServeJobs(JobRunner& runner, JobStreams& streams) {
  const int started = runner.Start();
  if (started != kExitOk) return started;
  bool open = true;
  uint64_t job = 0;
  while (open && streams.ReadJob(&job)) open = streams.WriteReport(job, runner.Run(std::size_t(job)));
  const int finished = runner.Finish();
  // Reports that did not reach lvs are a failure to write its output.
  return open ? finished : std::max<int>(finished, kExitUsage);
}

int RunJobs(std::size_t count, int workers, const RunnerFactory& makeRunner,
            const std::function<void(const std::string&)>& emit) {
  ServeIfStartedAsWorker(makeRunner);
  if (workers <= 1 || count <= 1) return RunHere(count, makeRunner, emit);
  return RunOnWorkers(count, std::min<int>(workers, int(count)), makeRunner, emit);
}

}  // namespace lvs
