// The host's binary facts, as After Effects lays out its interface (measured
// from the public SDK's headers for versions 13.x, 17.0 and 23.x; the same on
// macOS x86-64, macOS arm64 and Windows x64), pinned against whatever headers
// this build uses: ours in sdk/, or the vendor's (LVS_VENDOR_SDK). Every
// number here is written out on purpose: a check that took its number from
// the declaration it checks could never fail.
//
// Included by the module and the substitute host, so that neither builds
// against a header that differs from the host in one size, offset, slot,
// prototype or constant that they use.
#pragma once

#include <AE_EffectCBSuites.h>
#include <AE_GeneralPlug.h>
#include <SPErrorCodes.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace lvs_host_facts {

constexpr bool SameText(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

template <class T>
constexpr long long Signed() {
  return std::is_signed<T>::value ? 1 : 0;
}

}  // namespace lvs_host_facts

#define LVS_SLOT(record, member) (offsetof(record, member) / 8)

// (what, the host's value). Sizes and offsets in bytes; slots count function
// pointers from 0; Signed is 1 for a signed type.
#define LVS_HOST_FACTS(FACT)                                                    \
  /* Scalars */                                                                 \
  FACT(sizeof(void*), 8)                                                        \
  FACT(sizeof(A_char), 1)                                                       \
  FACT(sizeof(A_u_char), 1)                                                     \
  FACT(lvs_host_facts::Signed<A_u_char>(), 0)                                   \
  FACT(sizeof(A_Boolean), 1)                                                    \
  FACT(sizeof(A_short), 2)                                                      \
  FACT(lvs_host_facts::Signed<A_short>(), 1)                                    \
  FACT(sizeof(A_u_short), 2)                                                    \
  FACT(sizeof(A_UTF16Char), 2)                                                  \
  FACT(lvs_host_facts::Signed<A_UTF16Char>(), 0)                                \
  FACT(sizeof(A_long), 4)                                                       \
  FACT(lvs_host_facts::Signed<A_long>(), 1)                                     \
  FACT(sizeof(A_u_long), 4)                                                     \
  FACT(lvs_host_facts::Signed<A_u_long>(), 0)                                   \
  FACT(sizeof(A_u_longlong), 8)                                                 \
  FACT(sizeof(A_HandleSize), 8)                                                 \
  FACT(lvs_host_facts::Signed<A_HandleSize>(), 0)                               \
  FACT(sizeof(A_FpShort), 4)                                                    \
  FACT(sizeof(A_FpLong), 8)                                                     \
  FACT(sizeof(A_Err), 4)                                                        \
  FACT(lvs_host_facts::Signed<A_Err>(), 1)                                      \
  FACT(sizeof(PF_Err), 4)                                                       \
  FACT(sizeof(SPErr), 4)                                                        \
  FACT(sizeof(AEGP_PluginID), 4)                                                \
  FACT(lvs_host_facts::Signed<AEGP_PluginID>(), 1)                              \
  FACT(sizeof(AEGP_MemSize), 4)                                                 \
  FACT(lvs_host_facts::Signed<AEGP_MemSize>(), 0)                               \
  FACT(sizeof(AEGP_MemFlag), 4)                                                 \
  FACT(sizeof(PF_PixelFormat), 4)                                               \
  FACT(lvs_host_facts::Signed<PF_PixelFormat>(), 1)                             \
  FACT(sizeof(PF_WorldFlags), 4)                                                \
  FACT(sizeof(PF_Boolean), 1)                                                   \
  FACT(sizeof(PF_Handle), 8)                                                    \
  FACT(sizeof(AEGP_MemHandle), 8)                                               \
  FACT(sizeof(AEIO_ModuleSignature), 4)                                         \
  FACT(sizeof(AEIO_FileType), 4)                                                \
  FACT(lvs_host_facts::Signed<AEIO_FileType>(), 1)                              \
  FACT(sizeof(AEIO_Creator), 4)                                                 \
  FACT(lvs_host_facts::Signed<AEIO_Creator>(), 1)                               \
  FACT(sizeof(AEIO_ModuleFlags), 4)                                             \
  FACT(lvs_host_facts::Signed<AEIO_ModuleFlags>(), 0)                           \
  FACT(sizeof(AEIO_ModuleFlags2), 4)                                            \
  FACT(lvs_host_facts::Signed<AEIO_ModuleFlags2>(), 0)                          \
  FACT(sizeof(AEIO_DrawingFlags), 4)                                            \
  FACT(lvs_host_facts::Signed<AEIO_DrawingFlags>(), 1)                          \
  FACT(sizeof(AEIO_Quality), 2)                                                 \
  FACT(sizeof(AEIO_TimeDir), 2)                                                 \
  FACT(lvs_host_facts::Signed<AEIO_TimeDir>(), 1)                               \
  FACT(sizeof(AEIO_AlphaFlags), 4)                                              \
  FACT(sizeof(AEIO_AlphaType), 1)                                               \
  FACT(sizeof(FIEL_Type), 4)                                                    \
  FACT(sizeof(FIEL_Order), 4)                                                   \
  /* Small records */                                                           \
  FACT(sizeof(A_Time), 8)                                                       \
  FACT(alignof(A_Time), 4)                                                      \
  FACT(offsetof(A_Time, value), 0)                                              \
  FACT(offsetof(A_Time, scale), 4)                                              \
  FACT(lvs_host_facts::Signed<decltype(A_Time::scale)>(), 0)                    \
  FACT(sizeof(A_Ratio), 8)                                                      \
  FACT(offsetof(A_Ratio, den), 4)                                               \
  FACT(sizeof(A_LRect), 16)                                                     \
  FACT(offsetof(A_LRect, left), 0)                                              \
  FACT(offsetof(A_LRect, top), 4)                                               \
  FACT(offsetof(A_LRect, right), 8)                                             \
  FACT(offsetof(A_LRect, bottom), 12)                                           \
  FACT(sizeof(PF_LRect), 16)                                                    \
  FACT(offsetof(PF_LRect, bottom), 12)                                          \
  FACT(sizeof(PF_RationalScale), 8)                                             \
  FACT(sizeof(AEIO_RationalScale), 16)                                          \
  FACT(offsetof(AEIO_RationalScale, y), 8)                                      \
  FACT(sizeof(AEIO_InterruptFuncs), 24)                                         \
  FACT(alignof(AEIO_InterruptFuncs), 8)                                         \
  FACT(offsetof(AEIO_InterruptFuncs, abort0), 8)                                \
  FACT(offsetof(AEIO_InterruptFuncs, progress0), 16)                            \
  /* The basic suite */                                                         \
  FACT(sizeof(SPBasicSuite), 56)                                                \
  FACT(LVS_SLOT(SPBasicSuite, AcquireSuite), 0)                                 \
  FACT(LVS_SLOT(SPBasicSuite, ReleaseSuite), 1)                                 \
  FACT(LVS_SLOT(SPBasicSuite, IsEqual), 2)                                      \
  FACT(LVS_SLOT(SPBasicSuite, AllocateBlock), 3)                                \
  FACT(LVS_SLOT(SPBasicSuite, FreeBlock), 4)                                    \
  FACT(LVS_SLOT(SPBasicSuite, ReallocateBlock), 5)                              \
  FACT(LVS_SLOT(SPBasicSuite, Undefined), 6)                                    \
  /* The data every callback receives */                                        \
  FACT(sizeof(AEIO_InData), 32)                                                 \
  FACT(alignof(AEIO_InData), 8)                                                 \
  FACT(offsetof(AEIO_InData, msg_func), 0)                                      \
  FACT(offsetof(AEIO_InData, pica_basicP), 8)                                   \
  FACT(offsetof(AEIO_InData, aegp_plug_id), 16)                                 \
  FACT(offsetof(AEIO_InData, aegp_refconPV), 24)                                \
  /* File kinds */                                                              \
  FACT(sizeof(AEIO_FileExt), 4)                                                 \
  FACT(alignof(AEIO_FileExt), 1)                                                \
  FACT(offsetof(AEIO_FileExt, extension), 1)                                    \
  FACT(sizeof(PFILE_FileKind), 8)                                               \
  FACT(offsetof(PFILE_FileKind, creator), 4)                                    \
  FACT(sizeof(AEIO_FileKind), 8)                                                \
  FACT(alignof(AEIO_FileKind), 4)                                               \
  FACT(offsetof(AEIO_FileKind, mac), 0)                                         \
  FACT(offsetof(AEIO_FileKind, ext), 0)                                         \
  FACT(offsetof(AEIO_FileKind, scrap), 0)                                       \
  FACT(sizeof(AEIO_AuxExt), 12)                                                 \
  FACT(offsetof(AEIO_AuxExt, extension), 0)                                     \
  FACT(offsetof(AEIO_AuxExt, type), 4)                                          \
  FACT(offsetof(AEIO_AuxExt, creator), 8)                                       \
  /* The module record */                                                       \
  FACT(sizeof(AEIO_ModuleInfo), 396)                                            \
  FACT(alignof(AEIO_ModuleInfo), 4)                                             \
  FACT(offsetof(AEIO_ModuleInfo, sig), 0)                                       \
  FACT(offsetof(AEIO_ModuleInfo, name), 4)                                      \
  FACT(sizeof(AEIO_ModuleInfo::name), 32)                                       \
  FACT(offsetof(AEIO_ModuleInfo, flags), 36)                                    \
  FACT(offsetof(AEIO_ModuleInfo, flags2), 40)                                   \
  FACT(offsetof(AEIO_ModuleInfo, max_width), 44)                                \
  FACT(offsetof(AEIO_ModuleInfo, max_height), 48)                               \
  FACT(offsetof(AEIO_ModuleInfo, num_filetypes), 52)                            \
  FACT(offsetof(AEIO_ModuleInfo, num_extensions), 54)                           \
  FACT(offsetof(AEIO_ModuleInfo, num_clips), 56)                                \
  FACT(offsetof(AEIO_ModuleInfo, pad), 58)                                      \
  FACT(offsetof(AEIO_ModuleInfo, create_kind), 60)                              \
  FACT(offsetof(AEIO_ModuleInfo, create_ext), 68)                               \
  FACT(offsetof(AEIO_ModuleInfo, read_kinds), 72)                               \
  FACT(sizeof(AEIO_ModuleInfo::read_kinds), 128)                                \
  FACT(offsetof(AEIO_ModuleInfo, num_aux_extensionsS), 200)                     \
  FACT(offsetof(AEIO_ModuleInfo, aux_ext), 204)                                 \
  FACT(sizeof(AEIO_ModuleInfo::aux_ext), 192)                                   \
  /* The texts shown for footage */                                             \
  FACT(sizeof(AEIO_Verbiage), 192)                                              \
  FACT(alignof(AEIO_Verbiage), 1)                                               \
  FACT(offsetof(AEIO_Verbiage, name), 0)                                        \
  FACT(sizeof(AEIO_Verbiage::name), 32)                                         \
  FACT(offsetof(AEIO_Verbiage, type), 32)                                       \
  FACT(sizeof(AEIO_Verbiage::type), 32)                                         \
  FACT(offsetof(AEIO_Verbiage, sub_type), 64)                                   \
  FACT(sizeof(AEIO_Verbiage::sub_type), 128)                                    \
  /* Labels, packed to two bytes */                                             \
  FACT(sizeof(AEIO_AlphaLabel), 10)                                             \
  FACT(alignof(AEIO_AlphaLabel), 2)                                             \
  FACT(offsetof(AEIO_AlphaLabel, flags), 2)                                     \
  FACT(offsetof(AEIO_AlphaLabel, red), 6)                                       \
  FACT(offsetof(AEIO_AlphaLabel, green), 7)                                     \
  FACT(offsetof(AEIO_AlphaLabel, blue), 8)                                      \
  FACT(offsetof(AEIO_AlphaLabel, alpha), 9)                                     \
  FACT(sizeof(FIEL_Label), 18)                                                  \
  FACT(alignof(FIEL_Label), 2)                                                  \
  FACT(offsetof(FIEL_Label, version), 4)                                        \
  FACT(offsetof(FIEL_Label, type), 6)                                           \
  FACT(offsetof(FIEL_Label, order), 10)                                         \
  FACT(offsetof(FIEL_Label, reserved), 14)                                      \
  /* Worlds and pixels */                                                       \
  FACT(sizeof(PF_LayerDef), 120)                                                \
  FACT(alignof(PF_LayerDef), 8)                                                 \
  FACT(offsetof(PF_LayerDef, world_flags), 16)                                  \
  FACT(offsetof(PF_LayerDef, data), 24)                                         \
  FACT(offsetof(PF_LayerDef, rowbytes), 32)                                     \
  FACT(offsetof(PF_LayerDef, width), 36)                                        \
  FACT(offsetof(PF_LayerDef, height), 40)                                       \
  FACT(offsetof(PF_LayerDef, extent_hint), 44)                                  \
  FACT(offsetof(PF_LayerDef, platform_ref), 64)                                 \
  FACT(offsetof(PF_LayerDef, reserved_long1), 72)                               \
  FACT(offsetof(PF_LayerDef, reserved_long4), 80)                               \
  FACT(offsetof(PF_LayerDef, pix_aspect_ratio), 88)                             \
  FACT(offsetof(PF_LayerDef, reserved_long2), 96)                               \
  FACT(offsetof(PF_LayerDef, origin_x), 104)                                    \
  FACT(offsetof(PF_LayerDef, origin_y), 108)                                    \
  FACT(offsetof(PF_LayerDef, reserved_long3), 112)                              \
  FACT(offsetof(PF_LayerDef, dephault), 116)                                    \
  FACT(sizeof(PF_Pixel), 4)                                                     \
  FACT(alignof(PF_Pixel), 1)                                                    \
  FACT(offsetof(PF_Pixel, alpha), 0)                                            \
  FACT(offsetof(PF_Pixel, blue), 3)                                             \
  FACT(sizeof(PF_Pixel16), 8)                                                   \
  FACT(alignof(PF_Pixel16), 2)                                                  \
  FACT(offsetof(PF_Pixel16, alpha), 0)                                          \
  FACT(offsetof(PF_Pixel16, blue), 6)                                           \
  FACT(sizeof(PF_PixelFloat), 16)                                               \
  FACT(alignof(PF_PixelFloat), 4)                                               \
  FACT(offsetof(PF_PixelFloat, alpha), 0)                                       \
  FACT(offsetof(PF_PixelFloat, blue), 12)                                       \
  /* The request for a frame */                                                 \
  FACT(sizeof(AEIO_DrawSparseFramePB), 80)                                      \
  FACT(alignof(AEIO_DrawSparseFramePB), 8)                                      \
  FACT(offsetof(AEIO_DrawSparseFramePB, qual), 0)                               \
  FACT(offsetof(AEIO_DrawSparseFramePB, rs), 4)                                 \
  FACT(offsetof(AEIO_DrawSparseFramePB, tr), 20)                                \
  FACT(offsetof(AEIO_DrawSparseFramePB, duration), 28)                          \
  FACT(offsetof(AEIO_DrawSparseFramePB, required_region), 36)                   \
  FACT(offsetof(AEIO_DrawSparseFramePB, inter), 56)                             \
  /* The callback table */                                                      \
  FACT(sizeof(AEIO_FunctionBlock4), 392)                                        \
  FACT(alignof(AEIO_FunctionBlock4), 8)                                         \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_InitInSpecFromFile), 0)               \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_InitInSpecInteractive), 1)            \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_DisposeInSpec), 2)                    \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_FlattenOptions), 3)                   \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_InflateOptions), 4)                   \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_SynchInSpec), 5)                      \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_GetActiveExtent), 6)                  \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_GetInSpecInfo), 7)                    \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_DrawSparseFrame), 8)                  \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_GetDimensions), 9)                    \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_GetSound), 12)                        \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_InqNextFrameTime), 13)                \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_InitOutputSpec), 14)                  \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_AddFrame), 22)                        \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_Idle), 29)                            \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_SeqOptionsDlg), 32)                   \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_GetNumAuxChannels), 33)               \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_GetNthAuxFileSpec), 38)               \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_CloseSourceFiles), 39)                \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_CountUserData), 40)                   \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_VerifyFileImportable), 44)            \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_AddMarker3), 47)                      \
  FACT(LVS_SLOT(AEIO_FunctionBlock4, AEIO_GetMimeType), 48)                     \
  /* The suites: name, version asked for, table size and the slots called */   \
  FACT(lvs_host_facts::SameText(kAEGPRegisterSuite, "AEGP Register Suite"), 1)  \
  FACT(kAEGPRegisterSuiteVersion5, 6)                                           \
  FACT(sizeof(AEGP_RegisterSuite5), 96)                                         \
  FACT(LVS_SLOT(AEGP_RegisterSuite5, AEGP_RegisterDeathHook), 2)                \
  FACT(LVS_SLOT(AEGP_RegisterSuite5, AEGP_RegisterIO), 7)                       \
  FACT(lvs_host_facts::SameText(kAEGPUtilitySuite, "AEGP Utility Suite"), 1)    \
  FACT(kAEGPUtilitySuiteVersion5, 11)                                           \
  FACT(sizeof(AEGP_UtilitySuite5), 248)                                         \
  FACT(LVS_SLOT(AEGP_UtilitySuite5, AEGP_RegisterWithAEGP), 8)                  \
  FACT(lvs_host_facts::SameText(kAEGPMemorySuite, "AEGP Memory Suite"), 1)      \
  FACT(kAEGPMemorySuiteVersion1, 1)                                             \
  FACT(sizeof(AEGP_MemorySuite1), 64)                                           \
  FACT(LVS_SLOT(AEGP_MemorySuite1, AEGP_NewMemHandle), 0)                       \
  FACT(LVS_SLOT(AEGP_MemorySuite1, AEGP_FreeMemHandle), 1)                      \
  FACT(LVS_SLOT(AEGP_MemorySuite1, AEGP_LockMemHandle), 2)                      \
  FACT(LVS_SLOT(AEGP_MemorySuite1, AEGP_UnlockMemHandle), 3)                    \
  FACT(LVS_SLOT(AEGP_MemorySuite1, AEGP_GetMemHandleSize), 4)                   \
  FACT(lvs_host_facts::SameText(kAEGPIOInSuite, "AEGP IO In Suite"), 1)         \
  FACT(kAEGPIOInSuiteVersion4, 5)                                               \
  FACT(sizeof(AEGP_IOInSuite4), 248)                                            \
  FACT(LVS_SLOT(AEGP_IOInSuite4, AEGP_GetInSpecOptionsHandle), 0)               \
  FACT(LVS_SLOT(AEGP_IOInSuite4, AEGP_SetInSpecOptionsHandle), 1)               \
  FACT(LVS_SLOT(AEGP_IOInSuite4, AEGP_SetInSpecDepth), 6)                       \
  FACT(LVS_SLOT(AEGP_IOInSuite4, AEGP_SetInSpecInterlaceLabel), 10)             \
  FACT(LVS_SLOT(AEGP_IOInSuite4, AEGP_SetInSpecAlphaLabel), 12)                 \
  FACT(LVS_SLOT(AEGP_IOInSuite4, AEGP_SetInSpecDuration), 14)                   \
  FACT(LVS_SLOT(AEGP_IOInSuite4, AEGP_SetInSpecDimensions), 16)                 \
  FACT(lvs_host_facts::SameText(kPFHandleSuite, "PF Handle Suite"), 1)          \
  FACT(kPFHandleSuiteVersion1, 2)                                               \
  FACT(sizeof(PF_HandleSuite1), 48)                                             \
  FACT(LVS_SLOT(PF_HandleSuite1, host_new_handle), 0)                           \
  FACT(LVS_SLOT(PF_HandleSuite1, host_lock_handle), 1)                          \
  FACT(LVS_SLOT(PF_HandleSuite1, host_unlock_handle), 2)                        \
  FACT(LVS_SLOT(PF_HandleSuite1, host_dispose_handle), 3)                       \
  FACT(lvs_host_facts::SameText(kPFWorldSuite, "PF World Suite"), 1)            \
  FACT(kPFWorldSuiteVersion2, 2)                                                \
  FACT(sizeof(PF_WorldSuite2), 24)                                              \
  FACT(LVS_SLOT(PF_WorldSuite2, PF_NewWorld), 0)                                \
  FACT(LVS_SLOT(PF_WorldSuite2, PF_DisposeWorld), 1)                            \
  FACT(LVS_SLOT(PF_WorldSuite2, PF_GetPixelFormat), 2)                          \
  FACT(lvs_host_facts::SameText(kPFWorldTransformSuite, "PF World Transform Suite"), 1) \
  FACT(kPFWorldTransformSuiteVersion1, 1)                                       \
  FACT(sizeof(PF_WorldTransformSuite1), 56)                                     \
  FACT(LVS_SLOT(PF_WorldTransformSuite1, copy), 3)                              \
  FACT(LVS_SLOT(PF_WorldTransformSuite1, copy_hq), 4)                           \
  FACT(lvs_host_facts::SameText(kAEGPIterateSuite, "AEGP Iterate Suite"), 1)    \
  FACT(kAEGPIterateSuiteVersion1, 1)                                            \
  FACT(sizeof(AEGP_IterateSuite1), 16)                                          \
  FACT(LVS_SLOT(AEGP_IterateSuite1, AEGP_IterateGeneric), 1)                    \
  /* Error codes */                                                             \
  FACT(A_Err_NONE, 0)                                                           \
  FACT(A_Err_GENERIC, 1)                                                        \
  FACT(A_Err_STRUCT, 2)                                                         \
  FACT(A_Err_PARAMETER, 3)                                                      \
  FACT(A_Err_ALLOC, 4)                                                          \
  FACT(A_Err_MISSING_SUITE, 13)                                                 \
  FACT(PF_Err_NONE, 0)                                                          \
  FACT(PF_Err_OUT_OF_MEMORY, 4)                                                 \
  FACT(PF_FIRST_ERR, 512)                                                       \
  FACT(PF_Err_INTERNAL_STRUCT_DAMAGED, 512)                                     \
  FACT(PF_Err_INVALID_INDEX, 513)                                               \
  FACT(PF_Err_UNRECOGNIZED_PARAM_TYPE, 514)                                     \
  FACT(PF_Err_INVALID_CALLBACK, 515)                                            \
  FACT(PF_Err_BAD_CALLBACK_PARAM, 516)                                          \
  FACT(AEIO_Err_UNSUPPORTED_CALLBACK, 9985)                                     \
  FACT(AEIO_Err_USE_DFLT_CALLBACK, 9992)                                        \
  FACT(AEIO_Err_USE_DFLT_GETSIZES_FREESPACE, 9999)                              \
  FACT(kSPNoError, 0)                                                           \
  FACT(kSPSuiteNotFoundError, 0x53214664)                                       \
  FACT(kSPBadParameterError, 0x5061726D)                                        \
  /* Pixel formats: the characters in memory order */                           \
  FACT(PF_PixelFormat_ARGB32, 0x62677261)                                       \
  FACT(PF_PixelFormat_ARGB64, 0x36316561)                                       \
  FACT(PF_PixelFormat_ARGB128, 0x32336561)                                      \
  FACT(PF_PixelFormat_INVALID, 0x66646162)                                      \
  /* Module flags */                                                            \
  FACT(AEIO_MFlag_INPUT, 0x1)                                                   \
  FACT(AEIO_MFlag_OUTPUT, 0x2)                                                  \
  FACT(AEIO_MFlag_FILE, 0x4)                                                    \
  FACT(AEIO_MFlag_STILL, 0x8)                                                   \
  FACT(AEIO_MFlag_NO_TIME, 0x40)                                                \
  FACT(AEIO_MFlag_HAS_AUX_DATA, 0x08000000)                                     \
  FACT(AEIO_MFlag2_NONE, 0)                                                     \
  /* Limits, memory flags, labels and small enumerations */                     \
  FACT(AEIO_MAX_MODULE_NAME_LEN, 31)                                            \
  FACT(AEIO_MAX_TYPES, 16)                                                      \
  FACT(AEIO_MAX_AUX_EXT, 16)                                                    \
  FACT(AEIO_MAX_SEQ_NAME_LEN, 31)                                               \
  FACT(AEIO_MAX_MESSAGE_LEN, 127)                                               \
  FACT(AEGP_MAX_PATH_SIZE, 260)                                                 \
  FACT(AEGP_MAX_PLUGIN_NAME_SIZE, 32)                                           \
  FACT(AEIO_ANY_CREATOR, -1)                                                    \
  FACT(AEGP_MemFlag_NONE, 0)                                                    \
  FACT(AEGP_MemFlag_CLEAR, 1)                                                   \
  FACT(AEGP_MemFlag_QUIET, 2)                                                   \
  FACT(AEIO_AlphaLabel_VERSION, 0x0101)                                         \
  FACT(AEIO_AlphaPremul, 1)                                                     \
  FACT(AEIO_AlphaInverted, 2)                                                   \
  FACT(AEIO_Alpha_STRAIGHT, 0)                                                  \
  FACT(AEIO_Alpha_PREMUL, 1)                                                    \
  FACT(AEIO_Alpha_IGNORE, 2)                                                    \
  FACT(AEIO_Alpha_NONE, 3)                                                      \
  FACT(FIEL_Tag, 0x4649454C)                                                    \
  FACT(FIEL_Label_VERSION, 1)                                                   \
  FACT(FIEL_Type_FRAME_RENDERED, 0)                                             \
  FACT(FIEL_Order_UPPER_FIRST, 0)                                               \
  FACT(FIEL_Order_LOWER_FIRST, 1)                                               \
  FACT(AEIO_InputDepth_32, 32)                                                  \
  FACT(AEIO_Qual_LOW, 0)                                                        \
  FACT(AEIO_Qual_HIGH, 1)                                                       \
  FACT(AEIO_TimeDir_FORWARD, 0)                                                 \
  FACT(AEIO_DFlags_NONE, 0)                                                     \
  FACT(PF_MAX_CHAN8, 255)                                                       \
  FACT(PF_HALF_CHAN8, 128)                                                      \
  FACT(PF_MAX_CHAN16, 32768)                                                    \
  FACT(PF_HALF_CHAN16, 16384)

#define LVS_CHECK_HOST_FACT(what, host) \
  static_assert(static_cast<long long>(what) == static_cast<long long>(host), #what " must be " #host " as in the host");
LVS_HOST_FACTS(LVS_CHECK_HOST_FACT)
#undef LVS_CHECK_HOST_FACT

// The basic suite's boolean: one byte in the macOS branch (and on Linux,
// which compiles that branch), an int on Windows.
#if defined(_WIN32)
static_assert(sizeof(SPBoolean) == 4, "SPBoolean must be an int on Windows, as in the host");
#else
static_assert(sizeof(SPBoolean) == 1, "SPBoolean must be one byte on macOS, as in the host");
#endif

// The prototypes of every function either side calls, in plain types: a
// change of width, signedness, order or indirection of any argument shows.
#define LVS_CHECK_HOST_TYPE(type, ...) \
  static_assert(std::is_same<type, __VA_ARGS__>::value, #type " must have the host's prototype");
#define LVS_CHECK_HOST_PROTOTYPE(what, ...) LVS_CHECK_HOST_TYPE(decltype(what), __VA_ARGS__)

// Entry, death hook and the basic suite.
LVS_CHECK_HOST_TYPE(AEGP_PluginInitFuncPrototype,
                         int32_t(SPBasicSuite*, int32_t, int32_t, int32_t, _AEGP_GlobalRefcon**))
LVS_CHECK_HOST_TYPE(AEGP_DeathHook, int32_t (*)(_AEGP_GlobalRefcon*, _AEGP_DeathRefcon*))
LVS_CHECK_HOST_PROTOTYPE(SPBasicSuite::AcquireSuite, int (*)(const char*, int, const void**))
LVS_CHECK_HOST_PROTOTYPE(SPBasicSuite::ReleaseSuite, int (*)(const char*, int))
LVS_CHECK_HOST_PROTOTYPE(SPBasicSuite::IsEqual, SPBoolean (*)(const char*, const char*))

// The basic data: its first member is the host's message function, not a
// number, although either would leave the suite pointer at offset 8.
LVS_CHECK_HOST_PROTOTYPE(AEIO_InData::msg_func, void (*)(int32_t, const char*))
LVS_CHECK_HOST_PROTOTYPE(AEIO_InData::pica_basicP, const SPBasicSuite*)

// The callbacks the plug-in fills.
LVS_CHECK_HOST_PROTOTYPE(AEIO_FunctionBlock4::AEIO_InitInSpecFromFile,
                         int32_t (*)(AEIO_InData*, const uint16_t*, AEIO_SeqSpec**))
LVS_CHECK_HOST_PROTOTYPE(AEIO_FunctionBlock4::AEIO_DisposeInSpec, int32_t (*)(AEIO_InData*, AEIO_SeqSpec**))
LVS_CHECK_HOST_PROTOTYPE(AEIO_FunctionBlock4::AEIO_FlattenOptions,
                         int32_t (*)(AEIO_InData*, AEIO_SeqSpec**, _Up_OpaqueMem***))
LVS_CHECK_HOST_PROTOTYPE(AEIO_FunctionBlock4::AEIO_InflateOptions,
                         int32_t (*)(AEIO_InData*, AEIO_SeqSpec**, _Up_OpaqueMem**))
LVS_CHECK_HOST_PROTOTYPE(AEIO_FunctionBlock4::AEIO_GetActiveExtent,
                         int32_t (*)(AEIO_InData*, AEIO_SeqSpec**, const A_Time*, A_LRect*))
LVS_CHECK_HOST_PROTOTYPE(AEIO_FunctionBlock4::AEIO_GetInSpecInfo,
                         int32_t (*)(AEIO_InData*, AEIO_SeqSpec**, AEIO_Verbiage*))
LVS_CHECK_HOST_PROTOTYPE(AEIO_FunctionBlock4::AEIO_DrawSparseFrame,
                         int32_t (*)(AEIO_InData*, AEIO_SeqSpec**, const AEIO_DrawSparseFramePB*, PF_LayerDef*,
                                     int32_t*))
LVS_CHECK_HOST_PROTOTYPE(AEIO_FunctionBlock4::AEIO_InqNextFrameTime,
                         int32_t (*)(AEIO_InData*, AEIO_SeqSpec**, const A_Time*, int16_t, uint8_t*, A_Time*))
LVS_CHECK_HOST_PROTOTYPE(AEIO_FunctionBlock4::AEIO_CloseSourceFiles, int32_t (*)(AEIO_InData*, AEIO_SeqSpec**))

// The suite operations called.
LVS_CHECK_HOST_PROTOTYPE(AEGP_RegisterSuite5::AEGP_RegisterDeathHook,
                         int32_t (*)(int32_t, int32_t (*)(_AEGP_GlobalRefcon*, _AEGP_DeathRefcon*),
                                     _AEGP_DeathRefcon*))
LVS_CHECK_HOST_PROTOTYPE(AEGP_RegisterSuite5::AEGP_RegisterIO,
                         int32_t (*)(int32_t, _AEGP_IORefcon*, const AEIO_ModuleInfo*, const AEIO_FunctionBlock4*))
LVS_CHECK_HOST_PROTOTYPE(AEGP_UtilitySuite5::AEGP_RegisterWithAEGP,
                         int32_t (*)(_AEGP_GlobalRefcon*, const char*, int32_t*))
LVS_CHECK_HOST_PROTOTYPE(AEGP_MemorySuite1::AEGP_NewMemHandle,
                         int32_t (*)(int32_t, const char*, uint32_t, int32_t, _Up_OpaqueMem***))
LVS_CHECK_HOST_PROTOTYPE(AEGP_MemorySuite1::AEGP_FreeMemHandle, int32_t (*)(_Up_OpaqueMem**))
LVS_CHECK_HOST_PROTOTYPE(AEGP_MemorySuite1::AEGP_LockMemHandle, int32_t (*)(_Up_OpaqueMem**, void**))
LVS_CHECK_HOST_PROTOTYPE(AEGP_MemorySuite1::AEGP_UnlockMemHandle, int32_t (*)(_Up_OpaqueMem**))
LVS_CHECK_HOST_PROTOTYPE(AEGP_MemorySuite1::AEGP_GetMemHandleSize, int32_t (*)(_Up_OpaqueMem**, uint32_t*))
LVS_CHECK_HOST_PROTOTYPE(AEGP_IOInSuite4::AEGP_GetInSpecOptionsHandle, int32_t (*)(AEIO_SeqSpec**, void**))
LVS_CHECK_HOST_PROTOTYPE(AEGP_IOInSuite4::AEGP_SetInSpecOptionsHandle, int32_t (*)(AEIO_SeqSpec**, void*, void**))
LVS_CHECK_HOST_PROTOTYPE(AEGP_IOInSuite4::AEGP_SetInSpecDepth, int32_t (*)(AEIO_SeqSpec**, int16_t))
LVS_CHECK_HOST_PROTOTYPE(AEGP_IOInSuite4::AEGP_SetInSpecInterlaceLabel,
                         int32_t (*)(AEIO_SeqSpec**, const FIEL_Label*))
LVS_CHECK_HOST_PROTOTYPE(AEGP_IOInSuite4::AEGP_SetInSpecAlphaLabel, int32_t (*)(AEIO_SeqSpec**, const AEIO_AlphaLabel*))
LVS_CHECK_HOST_PROTOTYPE(AEGP_IOInSuite4::AEGP_SetInSpecDuration, int32_t (*)(AEIO_SeqSpec**, const A_Time*))
LVS_CHECK_HOST_PROTOTYPE(AEGP_IOInSuite4::AEGP_SetInSpecDimensions, int32_t (*)(AEIO_SeqSpec**, int32_t, int32_t))
LVS_CHECK_HOST_PROTOTYPE(PF_HandleSuite1::host_new_handle, PF_Handle (*)(uint64_t))
LVS_CHECK_HOST_PROTOTYPE(PF_HandleSuite1::host_lock_handle, void* (*)(PF_Handle))
LVS_CHECK_HOST_PROTOTYPE(PF_HandleSuite1::host_unlock_handle, void (*)(PF_Handle))
LVS_CHECK_HOST_PROTOTYPE(PF_HandleSuite1::host_dispose_handle, void (*)(PF_Handle))
LVS_CHECK_HOST_PROTOTYPE(PF_WorldSuite2::PF_NewWorld,
                         int32_t (*)(PF_ProgressInfo*, int32_t, int32_t, PF_Boolean, int32_t, PF_LayerDef*))
LVS_CHECK_HOST_PROTOTYPE(PF_WorldSuite2::PF_DisposeWorld, int32_t (*)(PF_ProgressInfo*, PF_LayerDef*))
LVS_CHECK_HOST_PROTOTYPE(PF_WorldSuite2::PF_GetPixelFormat, int32_t (*)(const PF_LayerDef*, int32_t*))
LVS_CHECK_HOST_PROTOTYPE(PF_WorldTransformSuite1::copy,
                         int32_t (*)(PF_ProgressInfo*, PF_LayerDef*, PF_LayerDef*, PF_LRect*, PF_LRect*))
LVS_CHECK_HOST_PROTOTYPE(PF_WorldTransformSuite1::copy_hq,
                         int32_t (*)(PF_ProgressInfo*, PF_LayerDef*, PF_LayerDef*, PF_LRect*, PF_LRect*))
LVS_CHECK_HOST_PROTOTYPE(AEGP_IterateSuite1::AEGP_IterateGeneric,
                         int32_t (*)(int32_t, void*, int32_t (*)(void*, int32_t, int32_t, int32_t)))

#undef LVS_CHECK_HOST_PROTOTYPE
#undef LVS_CHECK_HOST_TYPE
