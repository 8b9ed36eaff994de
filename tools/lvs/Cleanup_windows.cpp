// Windows has no signals: Ctrl-C, Ctrl-Break and the closing of the console
// reach lvs as a call of the control handler on a thread of its own, while
// the main thread goes on. The handler therefore waits out any step held by
// SignalsHeld (a lock shared with it), removes what is registered and ends
// the process at once, with the code Ctrl-C ends a program by. Temporary
// files are opened with FILE_SHARE_DELETE, so that they can be removed while
// the main thread still writes them.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <mutex>
#include <string>

#include "Cleanup.h"
#include "WindowsText.h"

namespace lvs {
namespace {

struct Slot {
  std::atomic<bool> taken{false};
  std::atomic<wchar_t*> path{nullptr};
  std::atomic<bool> folder{false};
};

Slot gSlots[16];

std::recursive_mutex& Held() {
  static std::recursive_mutex held;
  return held;
}

// The registered folder that holds `file`, if any.
const wchar_t* FolderHolding(const wchar_t* file) {
  const std::size_t length = std::wcslen(file);
  for (Slot& slot : gSlots) {
    const wchar_t* folder = slot.path.load();
    if (!folder || !slot.folder.load()) continue;
    const std::size_t n = std::wcslen(folder);
    if (n < length && std::wcsncmp(file, folder, n) == 0 && (file[n] == L'\\' || file[n] == L'/')) return folder;
  }
  return nullptr;
}

// A file still open (by us, or by the module reading standard input's copy)
// is only marked for deletion, and its name stays in its folder until the
// last handle closes, which keeps the folder from being removed. So a file
// in a registered folder is first moved out beside it, under a name made
// from the folder's own, which no one else can hold; the process's end then
// closes the handles and the file goes.
void RemoveFile(const wchar_t* path) {
  if (const wchar_t* folder = FolderHolding(path)) {
    std::wstring beside = folder;
    beside += L".";
    beside += path + std::wcslen(folder) + 1;
    if (MoveFileExW(path, beside.c_str(), 0)) {
      DeleteFileW(beside.c_str());
      return;
    }
  }
  DeleteFileW(path);
}

void RemoveRegistered(bool folders) {
  for (Slot& slot : gSlots) {
    const wchar_t* path = slot.path.load();
    if (!path || slot.folder.load() != folders) continue;
    if (folders)
      RemoveDirectoryW(path);
    else
      RemoveFile(path);
  }
}

BOOL WINAPI OnControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      break;
    default:
      return FALSE;
  }
  Held().lock();  // never given back: the process ends here
  RemoveRegistered(false);
  RemoveRegistered(true);
  TerminateProcess(GetCurrentProcess(), DWORD(STATUS_CONTROL_C_EXIT));
  return TRUE;
}

}  // namespace

// A console that started lvs with Ctrl-C ignored (a background job) never
// calls the handler for it, as an ignored SIGINT stays ignored on POSIX.
void InstallCleanupHandlers() { SetConsoleCtrlHandler(OnControl, TRUE); }

bool CleanupRegistration::Register(const std::string& path, bool folder) {
  Forget();
  const std::wstring wide = Wide(path);
  for (int i = 0; i < int(std::size(gSlots)); ++i) {
    Slot& slot = gSlots[i];
    bool expected = false;
    if (!slot.taken.compare_exchange_strong(expected, true)) continue;
    wchar_t* copy = new wchar_t[wide.size() + 1];
    std::memcpy(copy, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    slot.folder.store(folder);
    slot.path.store(copy);
    slot_ = i;
    return true;
  }
  return false;
}

void CleanupRegistration::Forget() {
  if (slot_ < 0) return;
  // Taken out under the lock, so that the handler never reads a freed path.
  const std::lock_guard<std::recursive_mutex> lock(Held());
  Slot& slot = gSlots[slot_];
  delete[] slot.path.exchange(nullptr);
  slot.taken.store(false);
  slot_ = -1;
}

SignalsHeld::SignalsHeld() { Held().lock(); }

SignalsHeld::~SignalsHeld() { Held().unlock(); }

}  // namespace lvs
