// Records the host hands the module, laid out at exactly the host's size and
// fenced by guard bytes on both sides, so that a module that writes one byte
// outside a record is caught however the build is made (sanitizers see only
// whole allocations, and a record inside a larger one looks valid to them).
// On the stack: a frame's records cost no heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "Misuse.h"

namespace lvs_host {

inline constexpr size_t kRecordGuard = 64;
inline constexpr uint8_t kRecordGuardByte = 0x5B;

// Whether every byte of a fence still holds kRecordGuardByte.
bool FenceIntact(const uint8_t* fence, size_t size);

template <class T>
class Guarded {
 public:
  // The record starts as `initial` (all zero by default), byte for byte.
  Guarded() : Guarded(T{}) {}
  explicit Guarded(const T& initial) {
    std::memset(bytes_, kRecordGuardByte, sizeof(bytes_));
    std::memcpy(bytes_ + kRecordGuard, &initial, sizeof(T));
  }

  T* get() { return reinterpret_cast<T*>(bytes_ + kRecordGuard); }
  const T* get() const { return reinterpret_cast<const T*>(bytes_ + kRecordGuard); }
  T* operator->() { return get(); }

  // True when both fences are whole; otherwise records `what` (the record
  // and the call that damaged it) as misuse.
  bool Check(MisuseLog& misuse, const std::string& what) const {
    if (FenceIntact(bytes_, kRecordGuard) && FenceIntact(bytes_ + kRecordGuard + sizeof(T), kRecordGuard)) return true;
    misuse.Record(what + ": written outside its " + std::to_string(sizeof(T)) + " bytes");
    return false;
  }
  // True when the record still holds exactly `expected`: for records the
  // module is given to read only.
  bool Unchanged(const T& expected, MisuseLog& misuse, const std::string& what) const {
    if (std::memcmp(get(), &expected, sizeof(T)) == 0) return true;
    misuse.Record(what + ": written, though the module may only read it");
    return false;
  }

 private:
  alignas(16) uint8_t bytes_[kRecordGuard + sizeof(T) + kRecordGuard];
};

}  // namespace lvs_host
