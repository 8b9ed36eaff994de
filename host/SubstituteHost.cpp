#include "SubstituteHost.h"

#include <atomic>
#include <sstream>
#include <stdexcept>

namespace lvs_host {
namespace {
std::atomic<SubstituteHost*> gCurrentHost{nullptr};
}

SubstituteHost& SubstituteHost::Current() {
  SubstituteHost* host = gCurrentHost.load();
  if (!host) throw std::logic_error("no SubstituteHost is alive");
  return *host;
}

SubstituteHost::SubstituteHost(int workerThreads) : pool_(workerThreads) {
  SubstituteHost* expected = nullptr;
  if (!gCurrentHost.compare_exchange_strong(expected, this))
    throw std::logic_error("only one SubstituteHost may exist at a time");
  inData_.pica_basicP = HostBasicSuite();
}

SubstituteHost::~SubstituteHost() {
  Shutdown();
  loader_.Close();
  gCurrentHost.store(nullptr);
}

const SPBasicSuite* SubstituteHost::BasicSuite() const { return HostBasicSuite(); }

A_Err SubstituteHost::Load(const std::string& modulePath) {
  if (!loader_.Open(modulePath)) {
    loadError_ = loader_.Error();
    return kLoadFailed;
  }
  auto entry = reinterpret_cast<AEGP_PluginInitFunc>(loader_.Symbol("EntryPointFunc"));
  if (!entry) {
    loadError_ = modulePath + " has no EntryPointFunc";
    return kLoadFailed;
  }
  loadError_.clear();
  return RunEntry(entry);
}

A_Err SubstituteHost::RunEntry(AEGP_PluginInitFunc entry) {
  AEGP_GlobalRefcon slot = nullptr;
  const A_Err err = entry(const_cast<SPBasicSuite*>(HostBasicSuite()), 1, 0, kEntryPluginID, &slot);
  entryGlobalRefcon_ = slot;
  if (slot) misuse_.Record("EntryPointFunc wrote its global refcon, which it must leave alone");
  return err;
}

void SubstituteHost::Shutdown() {
  if (!deathHook_ || deathHookCalled_) return;
  deathHookCalled_ = true;
  deathHookResult_ = deathHook_(nullptr, deathRefcon_);
}

A_Err SubstituteHost::RegisterDeathHook(AEGP_PluginID id, AEGP_DeathHook hook, AEGP_DeathRefcon refcon) {
  if (id != kEntryPluginID) {
    std::ostringstream s;
    s << "AEGP_RegisterDeathHook: plug-in id " << id << " is not the one the entry received (" << kEntryPluginID << ")";
    misuse_.Record(s.str());
    return A_Err_PARAMETER;
  }
  if (!hook) return A_Err_STRUCT;
  deathHook_ = hook;
  deathRefcon_ = refcon;
  return A_Err_NONE;
}

A_Err SubstituteHost::RegisterIO(AEGP_PluginID id, AEGP_IORefcon refcon, const AEIO_ModuleInfo* info,
                                 const AEIO_FunctionBlock4* block) {
  if (id != kEntryPluginID) {
    std::ostringstream s;
    s << "AEGP_RegisterIO: plug-in id " << id << " is not the one the entry received (" << kEntryPluginID << ")";
    misuse_.Record(s.str());
    return A_Err_PARAMETER;
  }
  if (!info || !block) return A_Err_STRUCT;
  // The records belong to the caller and end with its call: keep copies.
  moduleInfo_ = *info;
  callbacks_ = *block;
  ioRefcon_ = refcon;
  ioRegistered_ = true;
  return A_Err_NONE;
}

A_Err SubstituteHost::RegisterWithAEGP(AEGP_GlobalRefcon refcon, const A_char* name, AEGP_PluginID* out) {
  if (!name || !out) return A_Err_STRUCT;
  registerRefcon_ = refcon;
  registeredName_ = name;
  pluginId_ = kRegisteredPluginID;
  inData_.aegp_plug_id = pluginId_;
  *out = pluginId_;
  return A_Err_NONE;
}

bool SubstituteHost::SetInSpecOptions(AEIO_InSpecH inSpec, AEGP_MemHandle options) {
  return inSpecs_.With(inSpec, "SetInSpecOptions", [&](InSpecAttributes& a) { a.options = options; });
}

void SubstituteHost::ForgetHistory() {
  memory_.ForgetFreed();
  pfHandles_.ForgetFreed();
  suites_.ClearEvents();
  faults_.ResetCounts();
}

LeftoverReport SubstituteHost::Leftovers() const {
  LeftoverReport r;
  r.suites = suites_.Leftovers();
  r.memHandles = memory_.Leftovers();
  r.pfHandles = pfHandles_.Leftovers();
  r.worlds = worlds_.Leftovers();
  r.inSpecs = inSpecs_.Leftovers();
  r.misuse = misuse_.Entries();
  return r;
}

}  // namespace lvs_host
