#include "Handles.h"

#include <cstring>
#include <new>
#include <sstream>

namespace lvs_host {
namespace {

// Bytes after every AEGP memory handle's contents, checked when it is freed.
constexpr size_t kHandleGuard = 32;
constexpr uint8_t kHandleGuardByte = 0xA5;

std::string Describe(const void* h) {
  std::ostringstream s;
  s << h;
  return s.str();
}

bool GuardIntact(const uint8_t* bytes, size_t size) {
  for (size_t i = 0; i < kHandleGuard; ++i)
    if (bytes[size + i] != kHandleGuardByte) return false;
  return true;
}

std::unique_ptr<uint8_t[]> AllocateGuarded(size_t size, bool clear) {
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size + kHandleGuard]);
  if (!bytes) return nullptr;
  std::memset(bytes.get(), clear ? 0 : kFreshMemoryByte, size);
  std::memset(bytes.get() + size, kHandleGuardByte, kHandleGuard);
  return bytes;
}

}  // namespace

// ---- AEGP memory handles ----------------------------------------------------

MemHandleTable::~MemHandleTable() = default;

MemHandleTable::Record* MemHandleTable::Find(AEGP_MemHandle h, const char* op) {
  auto it = records_.find(reinterpret_cast<uintptr_t>(h));
  if (it == records_.end()) {
    misuse_.Record(std::string(op) + ": unknown memory handle " + Describe(h));
    return nullptr;
  }
  if (it->second.info.freed) {
    misuse_.Record(std::string(op) + ": memory handle " + Describe(h) + " (\"" + it->second.info.description +
                   "\") used after it was freed");
    return nullptr;
  }
  return &it->second;
}

AEGP_MemHandle MemHandleTable::NewLocked(AEGP_PluginID owner, std::string what, AEGP_MemSize size, bool clear,
                                         bool byHost) {
  Record rec;
  rec.bytes = AllocateGuarded(size, clear);
  if (!rec.bytes) return nullptr;
  rec.info.owner = owner;
  rec.info.description = std::move(what);
  rec.info.size = size;
  rec.info.cleared = clear;
  rec.info.madeByHost = byHost;
  const uintptr_t key = next_;
  next_ += 0x10;
  records_.emplace(key, std::move(rec));
  return reinterpret_cast<AEGP_MemHandle>(key);
}

A_Err MemHandleTable::New(AEGP_PluginID owner, AEGP_PluginID expectedOwner, const A_char* what, AEGP_MemSize size,
                          AEGP_MemFlag flags, AEGP_MemHandle* out) {
  if (!out) {
    misuse_.Record("AEGP_NewMemHandle: null out handle");
    return A_Err_STRUCT;
  }
  *out = nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  if (owner != expectedOwner) {
    std::ostringstream s;
    s << "AEGP_NewMemHandle: owner " << owner << " is not the registered plug-in id " << expectedOwner;
    misuse_.Record(s.str());
  }
  if (!what) misuse_.Record("AEGP_NewMemHandle: null description");
  if (uint64_t(size) > kLargestHandle) return A_Err_ALLOC;
  *out = NewLocked(owner, what ? what : "", size, (flags & AEGP_MemFlag_CLEAR) != 0, false);
  return *out ? A_Err_NONE : A_Err_ALLOC;
}

A_Err MemHandleTable::Free(AEGP_MemHandle h) {
  std::lock_guard<std::mutex> lock(mutex_);
  Record* rec = Find(h, "AEGP_FreeMemHandle");
  if (!rec) return A_Err_PARAMETER;
  if (rec->info.lockCount > 0)
    misuse_.Record("AEGP_FreeMemHandle: \"" + rec->info.description + "\" freed while locked");
  if (!GuardIntact(rec->bytes.get(), rec->info.size))
    misuse_.Record("AEGP_FreeMemHandle: \"" + rec->info.description + "\" was written past its end");
  rec->info.freed = true;
  rec->info.lockCount = 0;
  rec->bytes.reset();
  return A_Err_NONE;
}

A_Err MemHandleTable::Lock(AEGP_MemHandle h, void** out) {
  if (!out) {
    misuse_.Record("AEGP_LockMemHandle: null out pointer");
    return A_Err_STRUCT;
  }
  *out = nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  Record* rec = Find(h, "AEGP_LockMemHandle");
  if (!rec) return A_Err_PARAMETER;
  ++rec->info.lockCount;
  *out = rec->bytes.get();
  return A_Err_NONE;
}

A_Err MemHandleTable::Unlock(AEGP_MemHandle h) {
  std::lock_guard<std::mutex> lock(mutex_);
  Record* rec = Find(h, "AEGP_UnlockMemHandle");
  if (!rec) return A_Err_PARAMETER;
  if (rec->info.lockCount == 0) {
    misuse_.Record("AEGP_UnlockMemHandle: \"" + rec->info.description + "\" was not locked");
    return A_Err_PARAMETER;
  }
  --rec->info.lockCount;
  return A_Err_NONE;
}

A_Err MemHandleTable::GetSize(AEGP_MemHandle h, AEGP_MemSize* out) {
  if (!out) {
    misuse_.Record("AEGP_GetMemHandleSize: null out size");
    return A_Err_STRUCT;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  Record* rec = Find(h, "AEGP_GetMemHandleSize");
  if (!rec) return A_Err_PARAMETER;
  *out = rec->info.size;
  return A_Err_NONE;
}

AEGP_MemHandle MemHandleTable::Create(const std::vector<uint8_t>& bytes, const std::string& description) {
  std::lock_guard<std::mutex> lock(mutex_);
  AEGP_MemHandle h = NewLocked(0, description, static_cast<AEGP_MemSize>(bytes.size()), true, true);
  if (h && !bytes.empty())
    std::memcpy(records_[reinterpret_cast<uintptr_t>(h)].bytes.get(), bytes.data(), bytes.size());
  return h;
}

bool MemHandleTable::Release(AEGP_MemHandle h) { return Free(h) == A_Err_NONE; }

std::vector<uint8_t> MemHandleTable::Bytes(AEGP_MemHandle h) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = records_.find(reinterpret_cast<uintptr_t>(h));
  if (it == records_.end() || it->second.info.freed) return {};
  const uint8_t* p = it->second.bytes.get();
  return std::vector<uint8_t>(p, p + it->second.info.size);
}

bool MemHandleTable::Write(AEGP_MemHandle h, const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = records_.find(reinterpret_cast<uintptr_t>(h));
  if (it == records_.end() || it->second.info.freed) return false;
  const size_t n = std::min<size_t>(bytes.size(), it->second.info.size);
  if (n) std::memcpy(it->second.bytes.get(), bytes.data(), n);
  return true;
}

std::optional<MemHandleInfo> MemHandleTable::Info(AEGP_MemHandle h) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = records_.find(reinterpret_cast<uintptr_t>(h));
  if (it == records_.end()) return std::nullopt;
  return it->second.info;
}

bool MemHandleTable::IsLive(AEGP_MemHandle h) const {
  auto info = Info(h);
  return info && !info->freed;
}

size_t MemHandleTable::LiveCount() const { return LiveHandles().size(); }

std::vector<AEGP_MemHandle> MemHandleTable::LiveHandles() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<AEGP_MemHandle> out;
  for (const auto& entry : records_)
    if (!entry.second.info.freed) out.push_back(reinterpret_cast<AEGP_MemHandle>(entry.first));
  return out;
}

void MemHandleTable::ForgetFreed() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = records_.begin(); it != records_.end();)
    it = it->second.info.freed ? records_.erase(it) : std::next(it);
}

std::vector<std::string> MemHandleTable::Leftovers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> out;
  for (const auto& entry : records_) {
    const MemHandleInfo& info = entry.second.info;
    if (info.freed) continue;
    std::ostringstream line;
    line << "memory handle " << reinterpret_cast<const void*>(entry.first) << " \"" << info.description << "\" "
         << info.size << " bytes, owner " << info.owner << (info.madeByHost ? " (made by the host side)" : "")
         << " not freed";
    if (info.lockCount) line << ", locked " << info.lockCount << " time(s)";
    if (!GuardIntact(entry.second.bytes.get(), info.size)) line << ", written past its end";
    out.push_back(line.str());
  }
  return out;
}

// ---- PF handles -------------------------------------------------------------

PFHandleTable::~PFHandleTable() = default;

PFHandleTable::Record* PFHandleTable::Find(PF_Handle h, const char* op) {
  auto it = records_.find(h);
  if (it == records_.end()) {
    misuse_.Record(std::string(op) + ": unknown handle " + Describe(h));
    return nullptr;
  }
  if (it->second.info.freed) {
    misuse_.Record(std::string(op) + ": handle " + Describe(h) + " used after it was disposed");
    return nullptr;
  }
  return &it->second;
}

PF_Handle PFHandleTable::New(A_HandleSize size) {
  if (size > kLargestHandle) return nullptr;
  Record rec;
  rec.bytes = AllocateGuarded(static_cast<size_t>(size), false);
  if (!rec.bytes) return nullptr;
  using Master = std::remove_pointer_t<PF_Handle>;
  rec.master = std::make_unique<Master>(reinterpret_cast<Master>(rec.bytes.get()));
  rec.info.size = size;
  PF_Handle h = rec.master.get();
  std::lock_guard<std::mutex> lock(mutex_);
  records_.emplace(h, std::move(rec));
  return h;
}

void* PFHandleTable::Lock(PF_Handle h) {
  std::lock_guard<std::mutex> lock(mutex_);
  Record* rec = Find(h, "host_lock_handle");
  if (!rec) return nullptr;
  ++rec->info.lockCount;
  return rec->bytes.get();
}

void PFHandleTable::Unlock(PF_Handle h) {
  std::lock_guard<std::mutex> lock(mutex_);
  Record* rec = Find(h, "host_unlock_handle");
  if (!rec) return;
  if (rec->info.lockCount == 0) {
    misuse_.Record("host_unlock_handle: handle " + Describe(h) + " was not locked");
    return;
  }
  --rec->info.lockCount;
}

void PFHandleTable::Dispose(PF_Handle h) {
  std::lock_guard<std::mutex> lock(mutex_);
  Record* rec = Find(h, "host_dispose_handle");
  if (!rec) return;
  if (rec->info.lockCount > 0) misuse_.Record("host_dispose_handle: handle " + Describe(h) + " disposed while locked");
  if (!GuardIntact(rec->bytes.get(), static_cast<size_t>(rec->info.size)))
    misuse_.Record("host_dispose_handle: handle " + Describe(h) + " was written past its end");
  rec->info.freed = true;
  rec->info.lockCount = 0;
  rec->bytes.reset();
  *rec->master = nullptr;  // the record (and so the handle value) stays, never reused
}

std::optional<PFHandleInfo> PFHandleTable::Info(PF_Handle h) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = records_.find(h);
  if (it == records_.end()) return std::nullopt;
  return it->second.info;
}

size_t PFHandleTable::LiveCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t n = 0;
  for (const auto& entry : records_) n += entry.second.info.freed ? 0 : 1;
  return n;
}

void PFHandleTable::ForgetFreed() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = records_.begin(); it != records_.end();)
    it = it->second.info.freed ? records_.erase(it) : std::next(it);
}

std::vector<std::string> PFHandleTable::Leftovers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> out;
  for (const auto& entry : records_) {
    const PFHandleInfo& info = entry.second.info;
    if (info.freed) continue;
    std::ostringstream line;
    line << "handle " << static_cast<const void*>(entry.first) << " of " << info.size << " bytes not disposed";
    if (info.lockCount) line << ", locked " << info.lockCount << " time(s)";
    out.push_back(line.str());
  }
  return out;
}

}  // namespace lvs_host
