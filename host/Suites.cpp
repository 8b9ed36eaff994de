#include "Suites.h"

#include <cstring>
#include <optional>
#include <sstream>

#include "SubstituteHost.h"

namespace lvs_host {

// ---- Ledger -------------------------------------------------------------------

void SuiteLedger::Record(SuiteEvent e) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (e.acquire && e.granted) ++counts_[e.name].first;
  if (!e.acquire) ++counts_[e.name].second;
  events_.push_back(std::move(e));
}

std::vector<SuiteEvent> SuiteLedger::Events() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

void SuiteLedger::ClearEvents() {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.clear();
}

int SuiteLedger::Acquired(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = counts_.find(name);
  return it == counts_.end() ? 0 : it->second.first;
}

int SuiteLedger::Released(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = counts_.find(name);
  return it == counts_.end() ? 0 : it->second.second;
}

std::vector<std::string> SuiteLedger::Leftovers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> out;
  for (const auto& entry : counts_) {
    if (entry.second.first == entry.second.second) continue;
    std::ostringstream line;
    line << "\"" << entry.first << "\" acquired " << entry.second.first << " time(s), released " << entry.second.second
         << " time(s)";
    out.push_back(line.str());
  }
  return out;
}

// ---- The suite functions -----------------------------------------------------

namespace {

SubstituteHost& H() { return SubstituteHost::Current(); }

// Counts the call; a nonzero result is an injected failure.
A_Err Enter(const char* op) { return H().Faults().OnCall(op); }

// AEGP Register Suite 6
A_Err RegisterDeathHook(AEGP_PluginID id, AEGP_DeathHook hook, AEGP_DeathRefcon refcon) {
  if (A_Err err = Enter("AEGP_RegisterDeathHook")) return err;
  return H().RegisterDeathHook(id, hook, refcon);
}
A_Err RegisterIO(AEGP_PluginID id, AEGP_IORefcon refcon, const AEIO_ModuleInfo* info,
                 const AEIO_FunctionBlock4* block) {
  if (A_Err err = Enter("AEGP_RegisterIO")) return err;
  return H().RegisterIO(id, refcon, info, block);
}
const AEGP_RegisterSuite5 kRegisterSuite = [] {
  AEGP_RegisterSuite5 s{};
  s.AEGP_RegisterDeathHook = RegisterDeathHook;
  s.AEGP_RegisterIO = RegisterIO;
  return s;
}();

// AEGP Utility Suite 11
A_Err RegisterWithAEGP(AEGP_GlobalRefcon refcon, const A_char* name, AEGP_PluginID* out) {
  if (A_Err err = Enter("AEGP_RegisterWithAEGP")) return err;
  return H().RegisterWithAEGP(refcon, name, out);
}
const AEGP_UtilitySuite5 kUtilitySuite = [] {
  AEGP_UtilitySuite5 s{};
  s.AEGP_RegisterWithAEGP = RegisterWithAEGP;
  return s;
}();

// AEGP Memory Suite 1
A_Err NewMemHandle(AEGP_PluginID owner, const A_char* what, AEGP_MemSize size, AEGP_MemFlag flags,
                   AEGP_MemHandle* out) {
  if (A_Err err = Enter("AEGP_NewMemHandle")) {
    if (out) *out = nullptr;
    return err;
  }
  return H().Memory().New(owner, H().PluginID(), what, size, flags, out);
}
A_Err FreeMemHandle(AEGP_MemHandle h) {
  if (A_Err err = Enter("AEGP_FreeMemHandle")) return err;
  return H().Memory().Free(h);
}
A_Err LockMemHandle(AEGP_MemHandle h, void** out) {
  if (A_Err err = Enter("AEGP_LockMemHandle")) {
    if (out) *out = nullptr;
    return err;
  }
  return H().Memory().Lock(h, out);
}
A_Err UnlockMemHandle(AEGP_MemHandle h) {
  if (A_Err err = Enter("AEGP_UnlockMemHandle")) return err;
  return H().Memory().Unlock(h);
}
A_Err GetMemHandleSize(AEGP_MemHandle h, AEGP_MemSize* out) {
  if (A_Err err = Enter("AEGP_GetMemHandleSize")) return err;
  return H().Memory().GetSize(h, out);
}
const AEGP_MemorySuite1 kMemorySuite = [] {
  AEGP_MemorySuite1 s{};
  s.AEGP_NewMemHandle = NewMemHandle;
  s.AEGP_FreeMemHandle = FreeMemHandle;
  s.AEGP_LockMemHandle = LockMemHandle;
  s.AEGP_UnlockMemHandle = UnlockMemHandle;
  s.AEGP_GetMemHandleSize = GetMemHandleSize;
  return s;
}();

// AEGP IO In Suite, version 5
template <class F>
A_Err WithSpec(const char* op, AEIO_InSpecH inSpec, F&& f) {
  if (A_Err err = Enter(op)) return err;
  A_Err result = A_Err_NONE;
  if (!H().InSpecs().With(inSpec, op, [&](InSpecAttributes& a) { result = f(a); })) return A_Err_PARAMETER;
  return result;
}
A_Err GetInSpecOptionsHandle(AEIO_InSpecH inSpec, void** out) {
  return WithSpec("AEGP_GetInSpecOptionsHandle", inSpec, [&](InSpecAttributes& a) {
    if (!out) return A_Err(A_Err_STRUCT);
    *out = a.options;
    return A_Err(A_Err_NONE);
  });
}
A_Err SetInSpecOptionsHandle(AEIO_InSpecH inSpec, void* options, void** old) {
  auto handle = static_cast<AEGP_MemHandle>(options);
  if (handle && !H().Memory().IsLive(handle))
    H().Misuse().Record("AEGP_SetInSpecOptionsHandle: the options handle is not a live memory handle");
  return WithSpec("AEGP_SetInSpecOptionsHandle", inSpec, [&](InSpecAttributes& a) {
    // The previous handle goes back to the caller.
    if (old) *old = a.options;
    a.options = handle;
    ++a.optionsSets;
    return A_Err(A_Err_NONE);
  });
}
// One attribute the plug-in declares, counted; a null record is refused as
// the host refuses it.
template <class T>
A_Err SetAttribute(const char* op, AEIO_InSpecH inSpec, const T* value, std::optional<T> InSpecAttributes::*field) {
  return WithSpec(op, inSpec, [&](InSpecAttributes& a) {
    if (!value) return A_Err(A_Err_STRUCT);
    a.*field = *value;
    ++a.setCalls;
    return A_Err(A_Err_NONE);
  });
}
A_Err SetInSpecDepth(AEIO_InSpecH inSpec, A_short depth) {
  return SetAttribute("AEGP_SetInSpecDepth", inSpec, &depth, &InSpecAttributes::depth);
}
A_Err SetInSpecInterlaceLabel(AEIO_InSpecH inSpec, const FIEL_Label* label) {
  return SetAttribute("AEGP_SetInSpecInterlaceLabel", inSpec, label, &InSpecAttributes::interlace);
}
A_Err SetInSpecAlphaLabel(AEIO_InSpecH inSpec, const AEIO_AlphaLabel* label) {
  return SetAttribute("AEGP_SetInSpecAlphaLabel", inSpec, label, &InSpecAttributes::alpha);
}
A_Err SetInSpecDuration(AEIO_InSpecH inSpec, const A_Time* duration) {
  return SetAttribute("AEGP_SetInSpecDuration", inSpec, duration, &InSpecAttributes::duration);
}
A_Err SetInSpecDimensions(AEIO_InSpecH inSpec, A_long width, A_long height) {
  return WithSpec("AEGP_SetInSpecDimensions", inSpec, [&](InSpecAttributes& a) {
    a.width = width;
    a.height = height;
    ++a.setCalls;
    return A_Err(A_Err_NONE);
  });
}
const AEGP_IOInSuite4 kIOInSuite = [] {
  AEGP_IOInSuite4 s{};
  s.AEGP_GetInSpecOptionsHandle = GetInSpecOptionsHandle;
  s.AEGP_SetInSpecOptionsHandle = SetInSpecOptionsHandle;
  s.AEGP_SetInSpecDepth = SetInSpecDepth;
  s.AEGP_SetInSpecInterlaceLabel = SetInSpecInterlaceLabel;
  s.AEGP_SetInSpecAlphaLabel = SetInSpecAlphaLabel;
  s.AEGP_SetInSpecDuration = SetInSpecDuration;
  s.AEGP_SetInSpecDimensions = SetInSpecDimensions;
  return s;
}();

// PF Handle Suite, version 2: an injected failure means null or nothing done.
PF_Handle NewHandle(A_HandleSize size) {
  if (Enter("host_new_handle")) return nullptr;
  return H().PFHandles().New(size);
}
void* LockHandle(PF_Handle h) {
  if (Enter("host_lock_handle")) return nullptr;
  return H().PFHandles().Lock(h);
}
void UnlockHandle(PF_Handle h) {
  if (Enter("host_unlock_handle")) return;
  H().PFHandles().Unlock(h);
}
void DisposeHandle(PF_Handle h) {
  if (Enter("host_dispose_handle")) return;
  H().PFHandles().Dispose(h);
}
const PF_HandleSuite1 kHandleSuite = [] {
  PF_HandleSuite1 s{};
  s.host_new_handle = NewHandle;
  s.host_lock_handle = LockHandle;
  s.host_unlock_handle = UnlockHandle;
  s.host_dispose_handle = DisposeHandle;
  return s;
}();

// PF World Suite 2
PF_Err NewWorld(PF_ProgPtr, A_long width, A_long height, PF_Boolean clear, PF_PixelFormat format, PF_EffectWorld* out) {
  if (A_Err err = Enter("PF_NewWorld")) return err;
  return H().Worlds().New(width, height, clear, format, out);
}
PF_Err DisposeWorld(PF_ProgPtr, PF_EffectWorld* world) {
  if (A_Err err = Enter("PF_DisposeWorld")) return err;
  return H().Worlds().Dispose(world);
}
PF_Err GetPixelFormat(const PF_EffectWorld* world, PF_PixelFormat* out) {
  if (A_Err err = Enter("PF_GetPixelFormat")) return err;
  return H().Worlds().GetPixelFormat(world, out);
}
const PF_WorldSuite2 kWorldSuite = {NewWorld, DisposeWorld, GetPixelFormat};

// PF World Transform Suite 1
PF_Err Copy(PF_ProgPtr, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* srcRect, PF_Rect* dstRect) {
  if (A_Err err = Enter("copy")) return err;
  return H().Worlds().Copy(src, dst, srcRect, dstRect);
}
PF_Err CopyHQ(PF_ProgPtr, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* srcRect, PF_Rect* dstRect) {
  if (A_Err err = Enter("copy_hq")) return err;
  return H().Worlds().Copy(src, dst, srcRect, dstRect);
}
const PF_WorldTransformSuite1 kWorldTransformSuite = [] {
  PF_WorldTransformSuite1 s{};
  s.copy = Copy;
  s.copy_hq = CopyHQ;
  return s;
}();

// AEGP Iterate Suite 1
A_Err IterateGeneric(A_long n, void* refcon, IterationFunc fn) {
  if (A_Err err = Enter("AEGP_IterateGeneric")) return err;
  bool nested = false;
  const A_Err err = H().Iteration().Run(n, refcon, fn, &nested);
  if (nested) H().Misuse().Record("AEGP_IterateGeneric: called from inside an iteration callback");
  return err;
}
const AEGP_IterateSuite1 kIterateSuite = [] {
  AEGP_IterateSuite1 s{};
  s.AEGP_IterateGeneric = IterateGeneric;
  return s;
}();

struct ServedSuite {
  const char* name;
  int32_t version;
  const void* table;
};
const ServedSuite kServed[] = {
    {kAEGPRegisterSuite, kAEGPRegisterSuiteVersion5, &kRegisterSuite},
    {kAEGPUtilitySuite, kAEGPUtilitySuiteVersion5, &kUtilitySuite},
    {kAEGPMemorySuite, kAEGPMemorySuiteVersion1, &kMemorySuite},
    {kAEGPIOInSuite, kAEGPIOInSuiteVersion4, &kIOInSuite},
    {kPFHandleSuite, kPFHandleSuiteVersion1, &kHandleSuite},
    {kPFWorldSuite, kPFWorldSuiteVersion2, &kWorldSuite},
    {kPFWorldTransformSuite, kPFWorldTransformSuiteVersion1, &kWorldTransformSuite},
    {kAEGPIterateSuite, kAEGPIterateSuiteVersion1, &kIterateSuite},
};

const ServedSuite* FindSuite(const char* name, int32_t version) {
  for (const ServedSuite& s : kServed)
    if (std::strcmp(s.name, name) == 0 && s.version == version) return &s;
  return nullptr;
}

// SPBasicSuite
SPErr AcquireSuite(const char* name, int32_t version, const void** out) {
  SubstituteHost& host = H();
  const std::string suiteName = name ? name : "";
  if (out) *out = nullptr;
  if (A_Err err = Enter("AcquireSuite")) {
    host.Suites().Record(SuiteEvent{true, suiteName, version, err, false});
    return err;
  }
  if (!name || !out) {
    host.Misuse().Record("AcquireSuite: null name or out table");
    return A_Err_STRUCT;
  }
  if (auto refusal = host.Faults().SuiteRefusal(suiteName)) {
    host.Suites().Record(SuiteEvent{true, suiteName, version, *refusal, false});
    return *refusal;
  }
  const ServedSuite* suite = FindSuite(name, version);
  if (!suite) {
    host.Suites().Record(SuiteEvent{true, suiteName, version, kSPSuiteNotFoundError, false});
    return kSPSuiteNotFoundError;
  }
  *out = suite->table;
  host.Suites().Record(SuiteEvent{true, suiteName, version, A_Err_NONE, true});
  return A_Err_NONE;
}

SPErr ReleaseSuite(const char* name, int32_t version) {
  SubstituteHost& host = H();
  const A_Err injected = Enter("ReleaseSuite");
  if (!name) {
    host.Misuse().Record("ReleaseSuite: null name");
    return A_Err_STRUCT;
  }
  if (!FindSuite(name, version)) {
    std::ostringstream s;
    s << "ReleaseSuite: \"" << name << "\" version " << version << " was never handed out";
    host.Misuse().Record(s.str());
    return kSPSuiteNotFoundError;
  }
  if (host.Suites().Released(name) >= host.Suites().Acquired(name))
    host.Misuse().Record(std::string("ReleaseSuite: \"") + name + "\" released more often than acquired");
  host.Suites().Record(SuiteEvent{false, name, version, injected, false});
  return injected;
}

SPBoolean IsEqual(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }

const SPBasicSuite kBasicSuite = [] {
  SPBasicSuite s{};
  s.AcquireSuite = AcquireSuite;
  s.ReleaseSuite = ReleaseSuite;
  s.IsEqual = IsEqual;
  return s;
}();

}  // namespace

const SPBasicSuite* HostBasicSuite() { return &kBasicSuite; }

}  // namespace lvs_host
