// Host memory a callback holds for its own length: a lock of a memory
// handle, and a buffer of the handle suite. Each gives back what it took on
// every way out, the missing-suite failure included, and only what the host
// actually gave.
#pragma once

#include <cstdint>

#include "LVS_HostSDK.h"

// A lock of an AEGP memory handle. A host may report success without an
// address; the unlock is owed all the same, and the caller decides what a
// null address means.
class MemHandleLock {
 public:
  MemHandleLock() = default;
  ~MemHandleLock() { Unlock(); }
  MemHandleLock(const MemHandleLock&) = delete;
  MemHandleLock& operator=(const MemHandleLock&) = delete;

  A_Err Lock(const AEGP_MemorySuite1* memory, AEGP_MemHandle handle) {
    void* address = nullptr;
    const A_Err err = memory->AEGP_LockMemHandle(handle, &address);
    if (!err) {
      memory_ = memory;
      handle_ = handle;
      data_ = address;
    }
    return err;
  }
  // Null while nothing is locked.
  void* Data() const { return data_; }
  // Before the handle is attached or freed: the host must get it unlocked.
  void Unlock() {
    if (memory_) memory_->AEGP_UnlockMemHandle(handle_);
    memory_ = nullptr;
    handle_ = nullptr;
    data_ = nullptr;
  }

 private:
  const AEGP_MemorySuite1* memory_ = nullptr;
  AEGP_MemHandle handle_ = nullptr;
  void* data_ = nullptr;
};

// A handle of the handle suite, allocated and locked. A handle or lock the
// host cannot give leaves Data() null.
class HandleBuffer {
 public:
  explicit HandleBuffer(const PF_HandleSuite1* handles) : handles_(handles) {}
  ~HandleBuffer() { Release(); }
  HandleBuffer(const HandleBuffer&) = delete;
  HandleBuffer& operator=(const HandleBuffer&) = delete;

  uint8_t* Allocate(A_HandleSize size) {
    handle_ = handles_->host_new_handle(size);
    if (handle_) data_ = static_cast<uint8_t*>(handles_->host_lock_handle(handle_));
    return data_;
  }
  uint8_t* Data() const { return data_; }
  void Release() {
    if (data_) handles_->host_unlock_handle(handle_);
    if (handle_) handles_->host_dispose_handle(handle_);
    data_ = nullptr;
    handle_ = nullptr;
  }

 private:
  const PF_HandleSuite1* handles_;
  PF_Handle handle_ = nullptr;
  uint8_t* data_ = nullptr;
};
