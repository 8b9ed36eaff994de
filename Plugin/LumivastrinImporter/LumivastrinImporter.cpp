#include "LumivastrinImporter.h"

#include <cstring>

#include "AEGP_SuiteHandler.h"
#include "Callbacks.h"
#include "ErrorBoundary.h"
#include "StyleFormat.h"

namespace {

static_assert(sizeof(kLvsModuleName) <= sizeof(AEIO_ModuleInfo::name), "module name fits its field");

// Written once by the entry, before the host makes any callback; read-only
// afterwards.
AEGP_PluginID pluginID = 0;

}  // namespace

A_long LVS_PluginID() { return pluginID; }

A_Err DeathHook(AEGP_GlobalRefcon, AEGP_DeathRefcon) { return A_Err_NONE; }

A_Err ConstructModuleInfo(const SPBasicSuite*, AEIO_ModuleInfo* info) {
  if (!info) return A_Err_STRUCT;
  std::memset(info, 0, sizeof(*info));
  // The file type and extension fill their fields exactly, with no
  // terminator.
  std::memcpy(&info->sig, kLvsFileType, 4);
  std::memcpy(info->name, kLvsModuleName, sizeof(kLvsModuleName));
  // Import only: a file-based still with no time.
  info->flags = AEIO_MFlag_INPUT | AEIO_MFlag_FILE | AEIO_MFlag_STILL | AEIO_MFlag_NO_TIME | AEIO_MFlag_HAS_AUX_DATA;
  info->flags2 = 0;
  info->max_width = kStyleWidth;
  info->max_height = kStyleHeight;
  info->num_filetypes = 1;
  info->num_extensions = 1;
  info->num_clips = 0;
  // The host reads the kinds in order: the file types first (member mac),
  // then the extensions (member ext).
  PFILE_FileKind& kind = info->read_kinds[0].mac;
  std::memcpy(&kind.type, kLvsFileType, 4);
  kind.creator = AEIO_ANY_CREATOR;
  AEIO_FileExt& extension = info->read_kinds[1].ext;
  extension.pad = kLvsFileExtension[0];
  std::memcpy(extension.extension, kLvsFileExtension + 1, sizeof(extension.extension));
  info->num_aux_extensionsS = 0;
  return A_Err_NONE;
}

A_Err ConstructFunctionBlock(AEIO_FunctionBlock4* funcs) {
  if (!funcs) return A_Err_STRUCT;
  funcs->AEIO_InitInSpecFromFile = InitInSpecFromFile;
  funcs->AEIO_DisposeInSpec = DisposeInSpec;
  funcs->AEIO_FlattenOptions = FlattenOptions;
  funcs->AEIO_InflateOptions = InflateOptions;
  funcs->AEIO_GetActiveExtent = GetActiveExtent;
  funcs->AEIO_GetInSpecInfo = GetInSpecInfo;
  funcs->AEIO_DrawSparseFrame = DrawSparseFrame;
  funcs->AEIO_InqNextFrameTime = InqNextFrameTime;
  funcs->AEIO_CloseSourceFiles = CloseSourceFiles;
  return A_Err_NONE;
}

LVS_EXPORT A_Err EntryPointFunc(struct SPBasicSuite* pica_basicP, A_long, A_long, AEGP_PluginID aegp_plugin_id,
                                AEGP_GlobalRefcon*) {
  return LVS_ErrorBoundary([&]() -> A_Err {
    AEGP_SuiteHandler suites(pica_basicP);
    AEIO_ModuleInfo info;
    AEIO_FunctionBlock4 funcs;
    std::memset(&info, 0, sizeof(info));
    std::memset(&funcs, 0, sizeof(funcs));

    A_Err err = suites.RegisterSuite()->AEGP_RegisterDeathHook(aegp_plugin_id, DeathHook, nullptr);
    if (!err) err = ConstructModuleInfo(pica_basicP, &info);
    if (!err) err = ConstructFunctionBlock(&funcs);
    if (!err) err = suites.RegisterSuite()->AEGP_RegisterIO(aegp_plugin_id, nullptr, &info, &funcs);
    if (!err) {
      // Taken over only on success, so a refusing host cannot leave a
      // half-written identifier behind.
      AEGP_PluginID registered = 0;
      err = suites.UtilitySuite()->AEGP_RegisterWithAEGP(nullptr, kLvsModuleName, &registered);
      if (!err) pluginID = registered;
    }
    return err;
  });
}
