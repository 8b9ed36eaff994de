// Temporary files and folders that no signal may leave behind. SIGINT,
// SIGTERM, SIGHUP and SIGPIPE remove what is registered and then end the
// process by the same signal, so that whoever started lvs sees what ended
// it (a shell's 130 for ^C, say); on Windows Ctrl-C, Ctrl-Break and the
// console's closing do, and end it as Ctrl-C does (STATUS_CONTROL_C_EXIT).
// One file per system (Cleanup_posix.cpp, Cleanup_windows.cpp).
#pragma once

#include <string>

namespace lvs {

// Installs the handlers, once, before any temporary path exists. A signal
// that was ignored when lvs started stays ignored, as nohup and background
// jobs of a script expect.
void InstallCleanupHandlers();

// A path that the handlers remove while this holds it. Only the process
// that registered it removes it: a forked worker that a signal ends leaves
// its parent's files to the parent.
class CleanupRegistration {
 public:
  CleanupRegistration() = default;
  ~CleanupRegistration() { Forget(); }
  CleanupRegistration(const CleanupRegistration&) = delete;
  CleanupRegistration& operator=(const CleanupRegistration&) = delete;

  // False when there is no room left to register it. Folders are removed
  // after files, so a folder can hold registered files.
  bool Register(const std::string& path, bool folder);
  // The path is no longer ours to remove (renamed into place, or gone).
  void Forget();

 private:
  int slot_ = -1;
};

// Defers the handled signals over a step that must not be cut in two (a
// file made and then registered); they arrive when this ends. Nests.
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  // What the system needs to undo the hold (the signal mask before it on
  // POSIX), kept here so that holding allocates nothing.
  alignas(8) unsigned char saved_[128];
};

}  // namespace lvs
