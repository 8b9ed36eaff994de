#include "Iteration.h"

#include <algorithm>

namespace lvs_host {
namespace {
thread_local bool tl_inPool = false;
}

WorkerPool::WorkerPool(int threads) {
  if (threads < 1) threads = 1;
  used_.assign(size_t(threads), 0);
  for (int i = 0; i < threads; ++i) threads_.emplace_back([this, i] { WorkerLoop(i); });
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : threads_) t.join();
}

A_Err WorkerPool::Run(A_long n, void* refcon, IterationFunc fn, bool* nestedCall) {
  if (nestedCall) *nestedCall = false;
  if (n < 0) return A_Err_PARAMETER;
  if (!fn) return A_Err_STRUCT;
  if (n == 0) return A_Err_NONE;
  if (tl_inPool) {
    // A callback asked the host to iterate: waiting for our own pool would
    // deadlock, so run it here.
    if (nestedCall) *nestedCall = true;
    for (A_long i = 0; i < n; ++i)
      if (A_Err err = fn(refcon, 0, i, n)) return err;
    return A_Err_NONE;
  }

  std::lock_guard<std::mutex> runLock(runMutex_);
  std::unique_lock<std::mutex> lock(mutex_);
  n_ = n;
  refcon_ = refcon;
  fn_ = fn;
  next_.store(0);
  firstFailure_.store(n);
  failureCode_ = 0;
  busyWorkers_ = int(threads_.size());
  ++generation_;
  wake_.notify_all();
  done_.wait(lock, [this] { return busyWorkers_ == 0; });
  return failureCode_;
}

void WorkerPool::WorkerLoop(int index) {
  tl_inPool = true;
  uint64_t seen = 0;
  for (;;) {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
    if (stopping_) return;
    seen = generation_;
    const A_long n = n_;
    void* const refcon = refcon_;
    const IterationFunc fn = fn_;
    lock.unlock();

    // Rows are claimed in runs, so that the threads do not contend for the
    // counters on every row and each walks through neighbouring rows.
    const int64_t run = std::max<int64_t>(1, n / (int64_t(threads_.size()) * 4));
    for (;;) {
      const int64_t begin = next_.fetch_add(run);
      if (begin >= n) break;
      const A_long end = A_long(std::min<int64_t>(n, begin + run));
      used_[size_t(index)] = 1;
      const int now = running_.fetch_add(1) + 1;
      int seenMax = maxConcurrent_.load();
      while (now > seenMax && !maxConcurrent_.compare_exchange_weak(seenMax, now)) {}
      for (A_long i = A_long(begin); i < end; ++i) {
        if (firstFailure_.load(std::memory_order_relaxed) < i) break;  // a lower row failed: start none above it
        const A_Err err = fn(refcon, index, i, n);
        if (err) {
          std::lock_guard<std::mutex> failLock(mutex_);
          if (i < firstFailure_.load()) {
            firstFailure_.store(i);
            failureCode_ = err;
          }
        }
      }
      running_.fetch_sub(1);
    }

    lock.lock();
    if (--busyWorkers_ == 0) done_.notify_all();
  }
}

int WorkerPool::ThreadsUsed() const {
  int n = 0;
  for (uint8_t u : used_) n += u;
  return n;
}

void WorkerPool::ResetStatistics() {
  std::lock_guard<std::mutex> lock(runMutex_);
  maxConcurrent_.store(0);
  for (uint8_t& u : used_) u = 0;
}

}  // namespace lvs_host
