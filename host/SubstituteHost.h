// The substitute host: loads the plug-in module, serves the host suites with
// strict bookkeeping, and lets tests, benchmarks, fuzzers and the lvs tool
// drive the module the way the host does.
//
// Typical use:
//
//   lvs_host::SubstituteHost host;
//   ASSERT_EQ(host.Load(LVS_PLUGIN_PATH), A_Err_NONE) << host.LoadError();
//   const AEIO_FunctionBlock4& cb = host.Callbacks();
//   AEIO_InSpecH inSpec = host.NewInSpec();
//   std::u16string path = u"/tmp/x.lvs";
//   A_Err err = cb.AEIO_InitInSpecFromFile(host.InData(),
//       reinterpret_cast<const A_UTF16Char*>(path.c_str()), inSpec);
//   auto attrs = host.InSpec(inSpec);                  // depth, duration, ...
//   auto bytes = host.Memory().Bytes(attrs->options); // the options record
//   PF_EffectWorld* dst = host.Worlds().Create(PF_PixelFormat_ARGB64, 1280, 720);
//   cb.AEIO_DrawSparseFrame(host.InData(), inSpec, &pb, dst, &flags);
//   PF_Pixel16 p = lvs_host::GetPixel16(*dst, 0, 0);
//   host.Worlds().Release(dst);
//   cb.AEIO_DisposeInSpec(host.InData(), inSpec);
//   host.DeleteInSpec(inSpec);
//   EXPECT_TRUE(host.Clean()) << host.Report();
//
// Only one SubstituteHost may exist in a process at a time (the suites are
// plain C functions and reach it through a process-wide pointer); a second
// construction throws std::logic_error. The host's operations are
// thread-safe; the setup calls below are meant for the test's own thread.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Faults.h"
#include "Handles.h"
#include "InSpecs.h"
#include "Iteration.h"
#include "LVS_HostSDK.h"
#include "Loader.h"
#include "Misuse.h"
#include "ModuleCalls.h"
#include "Suites.h"
#include "Worlds.h"

namespace lvs_host {

// The plug-in id the host passes to EntryPointFunc, and the different id it
// hands out through AEGP_RegisterWithAEGP; keeping them apart shows which
// one the plug-in used where.
inline constexpr AEGP_PluginID kEntryPluginID = 7;
inline constexpr AEGP_PluginID kRegisteredPluginID = 4242;
// Load()'s result when the module cannot be opened or has no EntryPointFunc.
inline constexpr A_Err kLoadFailed = -1;

class SubstituteHost {
 public:
  explicit SubstituteHost(int workerThreads = kDefaultWorkerThreads);
  // Calls Shutdown(), then closes the module.
  ~SubstituteHost();
  SubstituteHost(const SubstituteHost&) = delete;
  SubstituteHost& operator=(const SubstituteHost&) = delete;

  // --- Loading and registration ---------------------------------------
  // dlopens the module, finds EntryPointFunc and calls it with the basic
  // suite, versions 1.0, kEntryPluginID and a global-refcon slot; returns the
  // entry's code, or kLoadFailed (see LoadError()).
  A_Err Load(const std::string& modulePath);
  // Calls an entry function directly (an in-process stand-in plug-in).
  A_Err RunEntry(AEGP_PluginInitFunc entry);
  const std::string& LoadError() const { return loadError_; }
  // Calls the registered death hook once (later calls do nothing).
  void Shutdown();

  bool DeathHookRegistered() const { return deathHook_ != nullptr; }
  bool DeathHookCalled() const { return deathHookCalled_; }
  A_Err DeathHookResult() const { return deathHookResult_; }
  // Whether AEGP_RegisterIO succeeded; then the copies below are valid.
  bool IORegistered() const { return ioRegistered_; }
  const AEIO_ModuleInfo& ModuleInfo() const { return moduleInfo_; }
  const AEIO_FunctionBlock4& Callbacks() const { return callbacks_; }
  // The id handed out by AEGP_RegisterWithAEGP (0 until then) and the name
  // given there.
  AEGP_PluginID PluginID() const { return pluginId_; }
  const std::string& RegisteredName() const { return registeredName_; }
  // The global refcon value the entry left in its last argument (the host
  // passes a slot holding null).
  AEGP_GlobalRefcon EntryGlobalRefcon() const { return entryGlobalRefcon_; }
  // The reference values the plug-in gave the three registration calls.
  AEGP_DeathRefcon DeathHookRefcon() const { return deathRefcon_; }
  AEGP_IORefcon IORefcon() const { return ioRefcon_; }
  AEGP_GlobalRefcon RegisterRefcon() const { return registerRefcon_; }

  // The record every callback takes; its pica_basicP is BasicSuite().
  AEIO_InData* InData() { return &inData_; }
  // The module's callbacks called as the host calls them, with every record
  // fenced and checked (ModuleCalls.h).
  ModuleCalls& Calls() { return calls_; }
  const SPBasicSuite* BasicSuite() const;

  // --- Input inSpecs -------------------------------------------------------
  AEIO_InSpecH NewInSpec() { return inSpecs_.Create(); }
  // Forgets the inSpec (call after the plug-in's DisposeInSpec).
  bool DeleteInSpec(AEIO_InSpecH inSpec) { return inSpecs_.Destroy(inSpec); }
  // What the plug-in declared; empty for an unknown inSpec.
  std::optional<InSpecAttributes> InSpec(AEIO_InSpecH inSpec) const { return inSpecs_.Get(inSpec); }
  // Attaches an options handle from the host side (e.g. before calling
  // FlattenOptions); the previous one is not freed.
  bool SetInSpecOptions(AEIO_InSpecH inSpec, AEGP_MemHandle options);

  // --- Tables --------------------------------------------------------------
  MemHandleTable& Memory() { return memory_; }
  PFHandleTable& PFHandles() { return pfHandles_; }
  WorldTable& Worlds() { return worlds_; }
  InSpecTable& InSpecs() { return inSpecs_; }
  FaultInjector& Faults() { return faults_; }
  SuiteLedger& Suites() { return suites_; }
  WorkerPool& Iteration() { return pool_; }
  MisuseLog& Misuse() { return misuse_; }

  // --- Leftovers -----------------------------------------------------------
  // Everything still allocated, locked, acquired or alive, and every misuse.
  LeftoverReport Leftovers() const;
  bool Clean() const { return Leftovers().Clean(); }
  std::string Report() const { return Leftovers().Text(); }
  // For a user that drives the module over many packages in one process
  // (lvs): once the books have been checked, forgets what was given back
  // (freed handles, the suite and call history), so that memory does not
  // grow with the number of packages. What is still alive and every misuse
  // stay. A handle used after it was forgotten is reported as unknown rather
  // than as freed. Tests keep the full books by not calling it.
  void ForgetHistory();

  // --- Used by the suite functions (not for tests) -------------------------
  static SubstituteHost& Current();
  A_Err RegisterDeathHook(AEGP_PluginID id, AEGP_DeathHook hook, AEGP_DeathRefcon refcon);
  A_Err RegisterIO(AEGP_PluginID id, AEGP_IORefcon refcon, const AEIO_ModuleInfo* info,
                   const AEIO_FunctionBlock4* block);
  A_Err RegisterWithAEGP(AEGP_GlobalRefcon refcon, const A_char* name, AEGP_PluginID* out);

 private:
  MisuseLog misuse_;
  FaultInjector faults_;
  SuiteLedger suites_;
  MemHandleTable memory_{misuse_};
  PFHandleTable pfHandles_{misuse_};
  WorldTable worlds_{misuse_};
  InSpecTable inSpecs_{misuse_};
  WorkerPool pool_;
  ModuleLoader loader_;
  std::string loadError_;
  AEIO_InData inData_{};
  ModuleCalls calls_{*this};

  AEGP_DeathHook deathHook_ = nullptr;
  AEGP_DeathRefcon deathRefcon_ = nullptr;
  bool deathHookCalled_ = false;
  A_Err deathHookResult_ = 0;
  bool ioRegistered_ = false;
  AEGP_IORefcon ioRefcon_ = nullptr;
  AEGP_GlobalRefcon registerRefcon_ = nullptr;
  AEIO_ModuleInfo moduleInfo_{};
  AEIO_FunctionBlock4 callbacks_{};
  AEGP_PluginID pluginId_ = 0;
  std::string registeredName_;
  AEGP_GlobalRefcon entryGlobalRefcon_ = nullptr;
};

}  // namespace lvs_host
