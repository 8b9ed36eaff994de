// The two kinds of host memory a plug-in gets: AEGP memory handles ("AEGP
// Memory Suite") and "PF Handle Suite" handles. Both tables are strict:
// handle values are never reused, so a freed handle stays recognisable and
// any later use of it is recorded as misuse.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "LVS_HostSDK.h"
#include "Misuse.h"

namespace lvs_host {

// Bytes a new handle without the clear flag is filled with, so that reading
// unwritten memory shows.
inline constexpr uint8_t kFreshMemoryByte = 0xCD;
// Handles larger than this are refused as out of memory.
inline constexpr uint64_t kLargestHandle = uint64_t(1) << 31;

struct MemHandleInfo {
  AEGP_PluginID owner = 0;
  std::string description;
  AEGP_MemSize size = 0;
  bool cleared = false;  // created with AEGP_MemFlag_CLEAR
  int lockCount = 0;
  bool freed = false;
  bool madeByHost = false;  // created through Create() rather than by the plug-in
};

class MemHandleTable {
 public:
  explicit MemHandleTable(MisuseLog& misuse) : misuse_(misuse) {}
  ~MemHandleTable();

  // The suite operations, with the host's checks: a null out pointer is
  // A_Err_STRUCT, an unknown or freed handle A_Err_PARAMETER (and misuse).
  // expectedOwner is the registered plug-in id; another owner is misuse.
  A_Err New(AEGP_PluginID owner, AEGP_PluginID expectedOwner, const A_char* what, AEGP_MemSize size, AEGP_MemFlag flags,
            AEGP_MemHandle* out);
  A_Err Free(AEGP_MemHandle h);              // freeing a locked handle is misuse (it is freed all the same)
  A_Err Lock(AEGP_MemHandle h, void** out);  // locks nest
  A_Err Unlock(AEGP_MemHandle h);            // unlocking an unlocked handle is misuse
  A_Err GetSize(AEGP_MemHandle h, AEGP_MemSize* out);

  // Host side (not counted, no fault injection): a handle holding bytes,
  // as the host would pass a stored flat record to the plug-in.
  AEGP_MemHandle Create(const std::vector<uint8_t>& bytes, const std::string& description = "host");
  // Frees a handle from the host side (e.g. a flat record the plug-in gave
  // the host). Returns false, and records misuse, if it is not live.
  bool Release(AEGP_MemHandle h);
  // The handle's whole contents; empty for an unknown or freed handle.
  std::vector<uint8_t> Bytes(AEGP_MemHandle h) const;
  // Overwrites the contents from the start (at most the handle's size).
  bool Write(AEGP_MemHandle h, const std::vector<uint8_t>& bytes);
  std::optional<MemHandleInfo> Info(AEGP_MemHandle h) const;
  bool IsLive(AEGP_MemHandle h) const;
  size_t LiveCount() const;
  std::vector<AEGP_MemHandle> LiveHandles() const;

  std::vector<std::string> Leftovers() const;
  // Drops the records of freed handles (see SubstituteHost::ForgetHistory).
  void ForgetFreed();

 private:
  struct Record {
    MemHandleInfo info;
    std::unique_ptr<uint8_t[]> bytes;  // size + guard
  };
  Record* Find(AEGP_MemHandle h, const char* op);  // records misuse when unknown or freed
  AEGP_MemHandle NewLocked(AEGP_PluginID owner, std::string what, AEGP_MemSize size, bool clear, bool byHost);

  MisuseLog& misuse_;
  mutable std::mutex mutex_;
  std::map<uintptr_t, Record> records_;  // freed ones stay, with bytes released
  uintptr_t next_ = 0x10000;
};

struct PFHandleInfo {
  uint64_t size = 0;
  int lockCount = 0;
  bool freed = false;
};

class PFHandleTable {
 public:
  explicit PFHandleTable(MisuseLog& misuse) : misuse_(misuse) {}
  ~PFHandleTable();

  // The suite operations. New returns null when out of memory (size above
  // kLargestHandle); the contents start as kFreshMemoryByte. Lock returns
  // null for an unknown or freed handle.
  PF_Handle New(A_HandleSize size);
  void* Lock(PF_Handle h);
  void Unlock(PF_Handle h);   // unlocking an unlocked handle is misuse
  void Dispose(PF_Handle h);  // disposing a locked handle is misuse

  std::optional<PFHandleInfo> Info(PF_Handle h) const;
  size_t LiveCount() const;
  std::vector<std::string> Leftovers() const;
  // Drops the records of disposed handles; their values may then come back
  // for new handles (see SubstituteHost::ForgetHistory).
  void ForgetFreed();

 private:
  struct Record {
    PFHandleInfo info;
    // *handle: the data pointer, as the host's handles are (char* or void*
    // by platform).
    std::unique_ptr<std::remove_pointer_t<PF_Handle>> master;
    std::unique_ptr<uint8_t[]> bytes;
  };
  Record* Find(PF_Handle h, const char* op);

  MisuseLog& misuse_;
  mutable std::mutex mutex_;
  std::map<PF_Handle, Record> records_;
};

}  // namespace lvs_host
