// The host suites the plug-in acquires, by name and version, from
// SPBasicSuite. Each table has every operation the plug-in uses at its slot
// index; the slots it does not use are reserved, so that the indexes hold.
#pragma once

#include "AE_BasicTypes.h"
#include "AE_IO.h"
#include "AE_World.h"

typedef void (*AEGP_ReservedSuiteFunc)(void);

#define kAEGPRegisterSuite "AEGP Register Suite"
#define kAEGPRegisterSuiteVersion6 6
struct AEGP_RegisterSuite6 {
  AEGP_ReservedSuiteFunc reserved0;
  AEGP_ReservedSuiteFunc reserved1;
  A_Err (*AEGP_RegisterDeathHook)(AEGP_PluginID aegp_plugin_id, AEGP_DeathHook death_hook_func,
                                  AEGP_DeathRefcon refconP);  // 2
  AEGP_ReservedSuiteFunc reserved3;
  AEGP_ReservedSuiteFunc reserved4;
  AEGP_ReservedSuiteFunc reserved5;
  AEGP_ReservedSuiteFunc reserved6;
  // The host copies both records during the call.
  A_Err (*AEGP_RegisterIO)(AEGP_PluginID aegp_plugin_id, AEGP_IORefcon aegp_refconP,
                           const AEIO_ModuleInfo* io_infoP, const AEIO_FunctionBlock4* aeio_fcn_blockP);  // 7
};
static_assert(offsetof(AEGP_RegisterSuite6, AEGP_RegisterDeathHook) == 2 * 8, "Register slot 2");
static_assert(offsetof(AEGP_RegisterSuite6, AEGP_RegisterIO) == 7 * 8, "Register slot 7");

#define kAEGPUtilitySuite "AEGP Utility Suite"
#define kAEGPUtilitySuiteVersion11 11
struct AEGP_UtilitySuite11 {
  AEGP_ReservedSuiteFunc reserved0[8];
  A_Err (*AEGP_RegisterWithAEGP)(AEGP_GlobalRefcon global_refcon, const A_char* plugin_name,
                                 AEGP_PluginID* plugin_id);  // 8
};
static_assert(offsetof(AEGP_UtilitySuite11, AEGP_RegisterWithAEGP) == 8 * 8, "Utility slot 8");

#define kAEGPMemorySuite "AEGP Memory Suite"
#define kAEGPMemorySuiteVersion1 1
struct AEGP_MemorySuite1 {
  A_Err (*AEGP_NewMemHandle)(AEGP_PluginID plugin_id, const A_char* whatZ, AEGP_MemSize size,
                             AEGP_MemFlag flags, AEGP_MemHandle* memPH);          // 0
  A_Err (*AEGP_FreeMemHandle)(AEGP_MemHandle memH);                               // 1
  A_Err (*AEGP_LockMemHandle)(AEGP_MemHandle memH, void** ptr_to_ptr);            // 2
  A_Err (*AEGP_UnlockMemHandle)(AEGP_MemHandle memH);                             // 3
  A_Err (*AEGP_GetMemHandleSize)(AEGP_MemHandle memH, AEGP_MemSize* sizeP);       // 4
};
static_assert(offsetof(AEGP_MemorySuite1, AEGP_GetMemHandleSize) == 4 * 8, "Memory slot 4");

// Operations take the footage handle first. An options handle travels as
// void*: it is an AEGP_MemHandle the plug-in created.
#define kAEGPIOInSuite "AEGP IO In Suite"
#define kAEGPIOInSuiteVersion5 5
struct AEGP_IOInSuite5 {
  A_Err (*AEGP_GetInSpecOptionsHandle)(AEIO_InSpecH inH, void** optionsPPV);  // 0, null when none
  A_Err (*AEGP_SetInSpecOptionsHandle)(AEIO_InSpecH inH, void* optionsPV, void** old_optionsPPV);  // 1
  AEGP_ReservedSuiteFunc reserved2;
  AEGP_ReservedSuiteFunc reserved3;
  AEGP_ReservedSuiteFunc reserved4;
  AEGP_ReservedSuiteFunc reserved5;
  A_Err (*AEGP_SetInSpecDepth)(AEIO_InSpecH inH, A_short depth);  // 6
  AEGP_ReservedSuiteFunc reserved7;
  AEGP_ReservedSuiteFunc reserved8;
  AEGP_ReservedSuiteFunc reserved9;
  A_Err (*AEGP_SetInSpecInterlaceLabel)(AEIO_InSpecH inH, const FIEL_Label* interlaceP);  // 10
  AEGP_ReservedSuiteFunc reserved11;
  A_Err (*AEGP_SetInSpecAlphaLabel)(AEIO_InSpecH inH, const AEIO_AlphaLabel* alphaP);  // 12
  AEGP_ReservedSuiteFunc reserved13;
  A_Err (*AEGP_SetInSpecDuration)(AEIO_InSpecH inH, const A_Time* durationP);  // 14
  AEGP_ReservedSuiteFunc reserved15;
  A_Err (*AEGP_SetInSpecDimensions)(AEIO_InSpecH inH, A_long widthL, A_long heightL);  // 16
};
static_assert(offsetof(AEGP_IOInSuite5, AEGP_SetInSpecOptionsHandle) == 1 * 8, "IO In slot 1");
static_assert(offsetof(AEGP_IOInSuite5, AEGP_SetInSpecDepth) == 6 * 8, "IO In slot 6");
static_assert(offsetof(AEGP_IOInSuite5, AEGP_SetInSpecInterlaceLabel) == 10 * 8, "IO In slot 10");
static_assert(offsetof(AEGP_IOInSuite5, AEGP_SetInSpecAlphaLabel) == 12 * 8, "IO In slot 12");
static_assert(offsetof(AEGP_IOInSuite5, AEGP_SetInSpecDuration) == 14 * 8, "IO In slot 14");
static_assert(offsetof(AEGP_IOInSuite5, AEGP_SetInSpecDimensions) == 16 * 8, "IO In slot 16");

// No error codes: a failed allocation or lock returns null.
#define kPFHandleSuite "PF Handle Suite"
#define kPFHandleSuiteVersion2 2
struct PF_HandleSuite2 {
  PF_Handle (*host_new_handle)(A_HandleSize size);  // 0
  void* (*host_lock_handle)(PF_Handle pf_handle);   // 1
  void (*host_unlock_handle)(PF_Handle pf_handle);  // 2
  void (*host_dispose_handle)(PF_Handle pf_handle); // 3
};
static_assert(offsetof(PF_HandleSuite2, host_dispose_handle) == 3 * 8, "Handle slot 3");

#define kPFWorldSuite "PF World Suite"
#define kPFWorldSuiteVersion2 2
struct PF_WorldSuite2 {
  // The new world's pixels are not cleared unless clear_pixB is set.
  PF_Err (*PF_NewWorld)(PF_ProgPtr effect_ref, A_long widthL, A_long heightL, PF_Boolean clear_pixB,
                        PF_PixelFormat pixel_format, PF_EffectWorld* worldP);  // 0
  PF_Err (*PF_DisposeWorld)(PF_ProgPtr effect_ref, PF_EffectWorld* worldP);    // 1
  PF_Err (*PF_GetPixelFormat)(const PF_EffectWorld* worldP, PF_PixelFormat* pixel_formatP);  // 2
};
static_assert(offsetof(PF_WorldSuite2, PF_GetPixelFormat) == 2 * 8, "World slot 2");

// copy and copy_hq: whole source into whole destination of the same pixel
// format when both rectangles are null, resampled when the sizes differ.
#define kPFWorldTransformSuite "PF World Transform Suite"
#define kPFWorldTransformSuiteVersion1 1
struct PF_WorldTransformSuite1 {
  AEGP_ReservedSuiteFunc reserved0;
  AEGP_ReservedSuiteFunc reserved1;
  AEGP_ReservedSuiteFunc reserved2;
  PF_Err (*copy)(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                 PF_Rect* dst_r);  // 3
  PF_Err (*copy_hq)(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                    PF_Rect* dst_r);  // 4
};
static_assert(offsetof(PF_WorldTransformSuite1, copy) == 3 * 8, "Transform slot 3");
static_assert(offsetof(PF_WorldTransformSuite1, copy_hq) == 4 * 8, "Transform slot 4");

// Runs fn_func once per i in [0, iterationsL), possibly on several threads
// at once, and returns after every call ended; a nonzero result of any call
// becomes the result.
#define kAEGPIterateSuite "AEGP Iterate Suite"
#define kAEGPIterateSuiteVersion1 1
typedef A_Err (*AEGP_IterateGenericFunc)(void* refconPV, A_long thread_indexL, A_long i, A_long iterationsL);
struct AEGP_IterateSuite1 {
  AEGP_ReservedSuiteFunc reserved0;
  A_Err (*AEGP_IterateGeneric)(A_long iterationsL, void* refconPV, AEGP_IterateGenericFunc fn_func);  // 1
};
static_assert(offsetof(AEGP_IterateSuite1, AEGP_IterateGeneric) == 1 * 8, "Iterate slot 1");
