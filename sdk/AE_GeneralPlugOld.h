// Older versions of suites that the host still serves, and that the plug-in
// asks for: their struct numbers are not the version numbers requested
// (version 11 of the Utility suite is AEGP_UtilitySuite5, version 5 of the
// IO In suite is AEGP_IOInSuite4). Included by AE_GeneralPlug.h.
#pragma once

// ---- "AEGP Utility Suite" version 11 ---------------------------------------------

#define kAEGPUtilitySuiteVersion5 11

typedef struct AEGP_UtilitySuite5 {
  void* AEGP_ReportInfo;
  void* AEGP_GetDriverPluginInitFuncVersion;
  void* AEGP_GetDriverImplementationVersion;
  void* AEGP_StartQuietErrors;
  void* AEGP_EndQuietErrors;
  void* AEGP_GetLastErrorMessage;
  void* AEGP_StartUndoGroup;
  void* AEGP_EndUndoGroup;
  // Newer versions insert a slot before this one: version 11 must be asked
  // for to call it here.
  SPAPI A_Err (*AEGP_RegisterWithAEGP)(AEGP_GlobalRefcon global_refcon, const A_char* plugin_nameZ,
                                       AEGP_PluginID* plugin_id);
  void* AEGP_GetMainHWND;
  void* AEGP_ShowHideAllFloaters;
  void* AEGP_PaintPalGetForeColor;
  void* AEGP_PaintPalGetBackColor;
  void* AEGP_PaintPalSetForeColor;
  void* AEGP_PaintPalSetBackColor;
  void* AEGP_CharPalGetFillColor;
  void* AEGP_CharPalGetStrokeColor;
  void* AEGP_CharPalSetFillColor;
  void* AEGP_CharPalSetStrokeColor;
  void* AEGP_CharPalIsFillColorUIFrontmost;
  void* AEGP_ConvertFpLongToHSFRatio;
  void* AEGP_ConvertHSFRatioToFpLong;
  void* AEGP_CauseIdleRoutinesToBeCalled;
  void* AEGP_GetSuppressInteractiveUI;
  void* AEGP_WriteToOSConsole;
  void* AEGP_WriteToDebugLog;
  void* AEGP_IsScriptingAvailable;
  void* AEGP_ExecuteScript;
  void* AEGP_HostIsActivated;
  void* AEGP_GetPluginPlatformRef;
  void* AEGP_UpdateFontList;
} AEGP_UtilitySuite5;

// ---- "AEGP IO In Suite" version 5 --------------------------------------------------

#define kAEGPIOInSuiteVersion4 5

// Every operation takes the footage handle first. An options handle travels
// as void*: it is an AEGP_MemHandle the plug-in created.
typedef struct AEGP_IOInSuite4 {
  // Null when the footage has none.
  SPAPI A_Err (*AEGP_GetInSpecOptionsHandle)(AEIO_InSpecH inH, void** optionsPPV);
  SPAPI A_Err (*AEGP_SetInSpecOptionsHandle)(AEIO_InSpecH inH, void* optionsPV, void** old_optionsPPV);
  void* AEGP_GetInSpecFilePath;
  void* AEGP_GetInSpecNativeFPS;
  void* AEGP_SetInSpecNativeFPS;
  void* AEGP_GetInSpecDepth;
  SPAPI A_Err (*AEGP_SetInSpecDepth)(AEIO_InSpecH inH, A_short depthS);
  void* AEGP_GetInSpecSize;
  void* AEGP_SetInSpecSize;
  void* AEGP_GetInSpecInterlaceLabel;
  SPAPI A_Err (*AEGP_SetInSpecInterlaceLabel)(AEIO_InSpecH inH, const FIEL_Label* interlaceP);
  void* AEGP_GetInSpecAlphaLabel;
  SPAPI A_Err (*AEGP_SetInSpecAlphaLabel)(AEIO_InSpecH inH, const AEIO_AlphaLabel* alphaP);
  void* AEGP_GetInSpecDuration;
  SPAPI A_Err (*AEGP_SetInSpecDuration)(AEIO_InSpecH inH, const A_Time* durationP);
  void* AEGP_GetInSpecDimensions;
  SPAPI A_Err (*AEGP_SetInSpecDimensions)(AEIO_InSpecH inH, A_long widthL, A_long heightL);
  void* AEGP_InSpecGetRationalDimensions;
  void* AEGP_GetInSpecHSF;
  void* AEGP_SetInSpecHSF;
  void* AEGP_GetInSpecSoundRate;
  void* AEGP_SetInSpecSoundRate;
  void* AEGP_GetInSpecSoundEncoding;
  void* AEGP_SetInSpecSoundEncoding;
  void* AEGP_GetInSpecSoundSampleSize;
  void* AEGP_SetInSpecSoundSampleSize;
  void* AEGP_GetInSpecSoundChannels;
  void* AEGP_SetInSpecSoundChannels;
  void* AEGP_AddAuxExtMap;
  void* AEGP_SetInSpecEmbeddedColorProfile;
  void* AEGP_SetInSpecAssignedColorProfile;
} AEGP_IOInSuite4;

// ---- "AEGP Iterate Suite" version 1 ------------------------------------------------

#define kAEGPIterateSuiteVersion1 1

// AEGP_IterateGeneric runs fn_func once per i in [0, iterationsL), possibly
// on several threads at once, and returns after every call has ended; a
// nonzero result of any call becomes its result.
typedef struct AEGP_IterateSuite1 {
  SPAPI A_Err (*AEGP_GetNumThreads)(A_long* num_threadsPL);
  SPAPI A_Err (*AEGP_IterateGeneric)(A_long iterationsL, void* refconPV,
                                     A_Err (*fn_func)(void* refconPV, A_long thread_indexL, A_long i,
                                                      A_long iterationsL));
} AEGP_IterateSuite1;
