// Many packages worked on by several processes at once, each with its own
// module and host: processes rather than threads, because the module keeps
// its plug-in id in a global and each host keeps its books. What a process
// does with a package is the caller's (a JobRunner); this starts the
// processes, hands each the next package as it frees up, and gives the
// reports back in the packages' order, as one process would print them.
//
// One file per operating system starts and feeds the processes
// (Workers_posix.cpp, Workers_windows.cpp).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace lvs {

// What one worker process does with the jobs it is handed, in this order.
class JobRunner {
 public:
  virtual ~JobRunner() = default;
  // Once, before the first job (loading the module, say): 0, or the exit
  // code that ends the worker before it takes any job.
  virtual int Start() = 0;
  // One job's report, printed as it is (it may be empty).
  virtual std::string Run(std::size_t job) = 0;
  // Once, after the last job: the worker's exit code.
  virtual int Finish() = 0;
};

// Makes worker k's runner, in the worker's own process. Worker 0 speaks for
// all where every worker would say the same (the module cannot be loaded).
using RunnerFactory = std::function<std::unique_ptr<JobRunner>(int worker)>;

// Runs jobs 0 to count - 1 on up to `workers` processes (with one, or one
// job, in this process), each job given to the next worker that is free,
// and hands each job's report to `emit` in job order. Returns the highest
// exit code of the workers; when a worker ends before reporting a job it
// was given, says so on stderr, emits nothing from that job on and returns
// at least kExitFailed.
int RunJobs(std::size_t count, int workers, const RunnerFactory& makeRunner,
            const std::function<void(const std::string&)>& emit);

// How many processors this process may run on (its affinity, not every
// processor online), at least 1: the number of workers by default.
int UsableProcessors();

}  // namespace lvs
