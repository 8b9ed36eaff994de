// The operating system's side of Workers.h: starting a worker process and
// the two byte streams between it and lvs (jobs down, reports up). One file
// per system (Workers_posix.cpp, Workers_windows.cpp); the handing out of
// jobs and the order of the reports are the same everywhere (Workers.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "Workers.h"

namespace lvs {

// One worker process, seen from lvs.
class WorkerProcess {
 public:
  virtual ~WorkerProcess() = default;
  // Hands the worker a job; false when it is gone.
  virtual bool Send(uint64_t job) = 0;
  // No more jobs: the worker finishes when it has reported the last. Once
  // or more.
  virtual void EndJobs() = 0;
  // Waits for the worker's next report; false when it has no more (it ended,
  // or its stream broke). Called from one thread of lvs's own.
  virtual bool NextReport(uint64_t* job, std::string* report) = 0;
  // Waits for the worker to end: its exit code, or kExitFailed when it did
  // not exit (it crashed or was killed).
  virtual int Wait() = 0;
};

// Starts worker k, which makes its runner with `makeRunner(k)` and serves
// jobs (ServeJobs); null when the system would not start it.
std::unique_ptr<WorkerProcess> StartWorker(int k, const RunnerFactory& makeRunner);

// In a process that the system started as a worker (where a worker is lvs
// run again rather than a copy of this process): serves its jobs and ends
// the process with the worker's exit code. Anywhere else it returns at once.
void ServeIfStartedAsWorker(const RunnerFactory& makeRunner);

// The worker's side of the streams: reads a job, writes a report.
class JobStreams {
 public:
  virtual ~JobStreams() = default;
  virtual bool ReadJob(uint64_t* job) = 0;  // false at the end of the jobs
  virtual bool WriteReport(uint64_t job, const std::string& report) = 0;
};

// The streams as every system's workers have them: two pipe descriptors,
// a job number per job and a length-prefixed report back.
class PipeStreams final : public JobStreams {
 public:
  PipeStreams(int jobs, int reports) : jobs_(jobs), reports_(reports) {}
  bool ReadJob(uint64_t* job) override;
  bool WriteReport(uint64_t job, const std::string& report) override;

 private:
  int jobs_, reports_;
};

// The lvs side of the reports PipeStreams writes: the next one from the
// descriptor; false at the end or on a damaged one.
bool ReadReport(int fd, uint64_t* job, std::string* report);

// What every worker does: starts its runner, runs each job it is handed
// and reports it, then finishes. Returns the worker's exit code.
int ServeJobs(JobRunner& runner, JobStreams& streams);

}  // namespace lvs
