#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <iterator>

#include "Cleanup.h"

namespace lvs {
namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// The handler reads these while the main thread may be changing them, so
// they are lock-free atomics; a path is published only once it is whole and
// freed only after it has been taken out of its slot.
struct Slot {
  std::atomic<bool> taken{false};
  std::atomic<char*> path{nullptr};
  std::atomic<pid_t> owner{0};
  std::atomic<bool> folder{false};
};
static_assert(std::atomic<char*>::is_always_lock_free && std::atomic<pid_t>::is_always_lock_free,
              "the signal handler may only use lock-free atomics");

// A run holds a few at a time: standard input's copy and its folder, an
// output's temporary file, pack's proof copy and its folder.
Slot gSlots[16];

void RemoveRegistered(bool folders) {
  const pid_t self = ::getpid();
  for (Slot& slot : gSlots) {
    const char* path = slot.path.load();
    if (!path || slot.owner.load() != self || slot.folder.load() != folders) continue;
    if (folders)
      ::rmdir(path);
    else
      ::unlink(path);
  }
}

// Async-signal-safe calls only.
extern "C" void OnEndingSignal(int signal) {
  // The registrations and SignalsHeld are the main thread's; a signal the
  // kernel gave to one of the host's worker threads is passed on to it (and
  // waits there while it is held).
  const pid_t self = ::getpid();
  if (::gettid() != self) {
    ::tgkill(self, self, signal);
    return;
  }
  RemoveRegistered(false);
  RemoveRegistered(true);
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  ::sigaction(signal, &fallback, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(signal);
  ::_exit(128 + signal);  // not reached: the default action ends the process
}

}  // namespace

void InstallCleanupHandlers() {
  struct sigaction action {};
  action.sa_handler = OnEndingSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int signal : kEndingSignals) sigaddset(&action.sa_mask, signal);
  for (int signal : kEndingSignals) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

bool CleanupRegistration::Register(const std::string& path, bool folder) {
  Forget();
  for (int i = 0; i < int(std::size(gSlots)); ++i) {
    Slot& slot = gSlots[i];
    bool expected = false;
    if (!slot.taken.compare_exchange_strong(expected, true)) continue;
    char* copy = new char[path.size() + 1];
    std::memcpy(copy, path.c_str(), path.size() + 1);
    slot.owner.store(::getpid());
    slot.folder.store(folder);
    slot.path.store(copy);
    slot_ = i;
    return true;
  }
  return false;
}

void CleanupRegistration::Forget() {
  if (slot_ < 0) return;
  Slot& slot = gSlots[slot_];
  delete[] slot.path.exchange(nullptr);
  slot.taken.store(false);
  slot_ = -1;
}

static_assert(sizeof(sigset_t) <= sizeof(SignalsHeld) && alignof(sigset_t) <= 8, "the saved mask fits the hold");

SignalsHeld::SignalsHeld() {
  sigset_t held;
  sigemptyset(&held);
  for (int signal : kEndingSignals) sigaddset(&held, signal);
  ::pthread_sigmask(SIG_BLOCK, &held, reinterpret_cast<sigset_t*>(saved_));
}

SignalsHeld::~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, reinterpret_cast<sigset_t*>(saved_), nullptr); }

}  // namespace lvs
