// lvs's worker processes: each job to the next worker that is free, the
// reports in job order, the workers as many as the processors this process
// may use, and a worker that dies taken for the failure it is.
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "Commands.h"
#include "Workers.h"

namespace {

// Reports "job:worker". Job 0 is slow; `dies` makes the worker end without
// a report when it is handed that job.
class TracingRunner final : public lvs::JobRunner {
 public:
  TracingRunner(int worker, long dies) : worker_(worker), dies_(dies) {}
  int Start() override { return lvs::kExitOk; }
  std::string Run(size_t job) override {
    if (long(job) == dies_) ::_exit(lvs::kExitOk);
    if (job == 0) std::this_thread::sleep_for(std::chrono::milliseconds(400));
    return std::to_string(job) + ":" + std::to_string(worker_) + "\n";
  }
  int Finish() override { return worker_ == 1 ? lvs::kExitLeftovers : lvs::kExitOk; }

 private:
  int worker_;
  long dies_;
};

struct Outcome {
  int exitCode = -1;
  std::vector<std::string> reports;
};

Outcome RunTraced(size_t jobs, int workers, long dies = -1) {
  Outcome run;
  run.exitCode = lvs::RunJobs(
      jobs, workers, [dies](int worker) { return std::make_unique<TracingRunner>(worker, dies); },
      [&run](const std::string& report) { run.reports.push_back(report); });
  return run;
}

TEST(LvsWorkers, AFreeWorkerTakesTheNextJobAndReportsKeepTheirOrder) {
  const Outcome run = RunTraced(40, 2);
  ASSERT_EQ(run.reports.size(), 40u);
  for (size_t job = 0; job < run.reports.size(); ++job) {
    const std::string& report = run.reports[job];
    EXPECT_EQ(report.substr(0, report.find(':')), std::to_string(job));
  }
  // While one worker sleeps over job 0, the other takes the jobs after it
  // one by one; dealt out in turn, every second one would wait for job 0.
  for (size_t job = 1; job <= 12; ++job)
    EXPECT_EQ(run.reports[job], std::to_string(job) + ":1\n") << "job " << job << " waited for a busy worker";
  // The highest exit code of the workers: worker 1 finished with 4.
  EXPECT_EQ(run.exitCode, lvs::kExitLeftovers);
}

TEST(LvsWorkers, AWorkerThatDiesWithAJobEndsTheRunThereAsAFailure) {
  const Outcome run = RunTraced(20, 2, 5);
  EXPECT_GE(run.exitCode, lvs::kExitFailed);
  ASSERT_EQ(run.reports.size(), 5u) << "the reports before the lost job, and none after it";
  for (size_t job = 0; job < run.reports.size(); ++job)
    EXPECT_EQ(run.reports[job].substr(0, run.reports[job].find(':')), std::to_string(job));
}

TEST(LvsWorkers, OneWorkerOrOneJobRunsInThisProcess) {
  const Outcome run = RunTraced(3, 1);
  EXPECT_EQ(run.reports, (std::vector<std::string>{"0:0\n", "1:0\n", "2:0\n"}));
  EXPECT_EQ(run.exitCode, lvs::kExitOk);
}

TEST(LvsWorkers, TheDefaultCountIsTheProcessorsThisProcessMayUse) {
  cpu_set_t all, one;
  ASSERT_EQ(::sched_getaffinity(0, sizeof all, &all), 0);
  CPU_ZERO(&one);
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
    if (CPU_ISSET(cpu, &all)) {
      CPU_SET(cpu, &one);
      break;
    }
  ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
  EXPECT_EQ(lvs::UsableProcessors(), 1);
  ASSERT_EQ(::sched_setaffinity(0, sizeof all, &all), 0);
  EXPECT_EQ(lvs::UsableProcessors(), CPU_COUNT(&all));
}

}  // namespace
