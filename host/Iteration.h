// AEGP_IterateGeneric on a real pool of worker threads, so that row
// callbacks truly run at the same time (even on a machine with few cores).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "LVS_HostSDK.h"

namespace lvs_host {

inline constexpr int kDefaultWorkerThreads = 4;

// The row function AEGP_IterateGeneric takes (the SDK writes its type out in
// the prototype and gives it no name).
using IterationFunc = A_Err (*)(void* refconPV, A_long thread_indexL, A_long i, A_long iterationsL);

class WorkerPool {
 public:
  explicit WorkerPool(int threads = kDefaultWorkerThreads);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Calls fn(refcon, thread index, i, n) once for each i in [0, n) on the
  // pool's threads and waits for all of them. The result is the nonzero
  // result with the lowest i, or 0; no row above a failed one is started
  // once the failure is known. n below 0 is A_Err_PARAMETER, a null fn A_Err_STRUCT.
  // A call from inside a pool thread (a row callback calling the host)
  // runs inline on that thread, and nestedCall is set for the caller to
  // record as misuse.
  A_Err Run(A_long n, void* refcon, IterationFunc fn, bool* nestedCall);

  int ThreadCount() const { return static_cast<int>(threads_.size()); }
  // Largest number of callbacks seen running at the same moment.
  int MaxConcurrency() const { return maxConcurrent_.load(); }
  // Number of pool threads that ran at least one callback.
  int ThreadsUsed() const;
  void ResetStatistics();

 private:
  void WorkerLoop(int index);

  std::vector<std::thread> threads_;
  std::mutex runMutex_;  // one Run at a time
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  uint64_t generation_ = 0;
  bool stopping_ = false;
  // The current job.
  A_long n_ = 0;
  void* refcon_ = nullptr;
  IterationFunc fn_ = nullptr;
  std::atomic<int64_t> next_{0};  // next row to claim; may pass n
  std::atomic<A_long> firstFailure_{0};
  A_Err failureCode_ = 0;
  int busyWorkers_ = 0;
  std::atomic<int> running_{0};
  std::atomic<int> maxConcurrent_{0};
  std::vector<uint8_t> used_;
};

}  // namespace lvs_host
