// General plug-ins: the plug-in id, the reference values the host hands
// back, the entry point's prototype, and the Register and Memory suites.
// The older suite versions the plug-in asks for are in AE_GeneralPlugOld.h,
// included at the end as the SDK does.
//
// In a suite table only the slots the plug-in calls carry their prototypes;
// the others are untyped slots under the SDK's names, so that every slot
// keeps its index.
#pragma once

#include "A.h"
#include "AE_Effect.h"
#include "AE_IO.h"
#include "FIEL_Public.h"
#include "SPBasic.h"

typedef A_long AEGP_PluginID;
typedef struct _AEGP_GlobalRefcon* AEGP_GlobalRefcon;
typedef struct _AEGP_DeathRefcon* AEGP_DeathRefcon;
typedef struct _AEGP_IORefcon* AEGP_IORefcon;

typedef A_Err (*AEGP_DeathHook)(AEGP_GlobalRefcon plugin_refconP, AEGP_DeathRefcon refconP);

// The function a plug-in module exports (the plug-in calls it
// EntryPointFunc); the host calls it once on load.
typedef A_Err(AEGP_PluginInitFuncPrototype)(struct SPBasicSuite* pica_basicP, A_long driver_major_versionL,
                                            A_long driver_minor_versionL, AEGP_PluginID aegp_plugin_id,
                                            AEGP_GlobalRefcon* plugin_refconP);
typedef AEGP_PluginInitFuncPrototype* AEGP_PluginInitFunc;

#define AEGP_MAX_PATH_SIZE 260
#define AEGP_MAX_PLUGIN_NAME_SIZE 32

// ---- "AEGP Memory Suite" ----------------------------------------------------------

typedef A_u_long AEGP_MemSize;
typedef A_long AEGP_MemFlag;
enum {
  AEGP_MemFlag_NONE = 0,
  AEGP_MemFlag_CLEAR = 1,  // the new handle's bytes are all zero
  AEGP_MemFlag_QUIET = 2,
};

#define kAEGPMemorySuite "AEGP Memory Suite"
#define kAEGPMemorySuiteVersion1 1

typedef struct AEGP_MemorySuite1 {
  SPAPI A_Err (*AEGP_NewMemHandle)(AEGP_PluginID plugin_id, const A_char* whatZ, AEGP_MemSize size,
                                   AEGP_MemFlag flags, AEGP_MemHandle* memPH);
  SPAPI A_Err (*AEGP_FreeMemHandle)(AEGP_MemHandle memH);
  // The address stays valid until the handle is unlocked.
  SPAPI A_Err (*AEGP_LockMemHandle)(AEGP_MemHandle memH, void** ptr_to_ptr);
  SPAPI A_Err (*AEGP_UnlockMemHandle)(AEGP_MemHandle memH);
  // The size as allocated.
  SPAPI A_Err (*AEGP_GetMemHandleSize)(AEGP_MemHandle memH, AEGP_MemSize* sizeP);
  void* AEGP_ResizeMemHandle;
  void* AEGP_SetMemReportingOn;
  void* AEGP_GetMemStats;
} AEGP_MemorySuite1;

// ---- "AEGP Register Suite" ------------------------------------------------------

#define kAEGPRegisterSuite "AEGP Register Suite"
#define kAEGPRegisterSuiteVersion5 6

typedef struct AEGP_RegisterSuite5 {
  void* AEGP_RegisterCommandHook;
  void* AEGP_RegisterUpdateMenuHook;
  SPAPI A_Err (*AEGP_RegisterDeathHook)(AEGP_PluginID aegp_plugin_id, AEGP_DeathHook death_hook_func,
                                        AEGP_DeathRefcon refconP);
  void* AEGP_RegisterVersionHook;
  void* AEGP_RegisterAboutStringHook;
  void* AEGP_RegisterAboutHook;
  void* AEGP_RegisterArtisan;
  // The host copies both records during the call.
  SPAPI A_Err (*AEGP_RegisterIO)(AEGP_PluginID aegp_plugin_id, AEGP_IORefcon aegp_refconP,
                                 const AEIO_ModuleInfo* io_infoP, const AEIO_FunctionBlock4* aeio_fcn_blockP);
  void* AEGP_RegisterIdleHook;
  void* AEGP_RegisterTracker;
  void* AEGP_RegisterInteractiveArtisan;
  void* AEGP_RegisterPresetLocalizationString;
} AEGP_RegisterSuite5;

// ---- Names of the suites whose tables are declared elsewhere -------------------------

#define kAEGPUtilitySuite "AEGP Utility Suite"
#define kAEGPIOInSuite "AEGP IO In Suite"
#define kAEGPIterateSuite "AEGP Iterate Suite"

#include "AE_GeneralPlugOld.h"
