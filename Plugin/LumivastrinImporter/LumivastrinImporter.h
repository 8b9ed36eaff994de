// Entry, registration and module description of the importer.
#pragma once

#include "LVS_HostSDK.h"

// The identifier the host gave at registration (0 until then); the owner of
// every memory handle the plug-in creates.
A_long LVS_PluginID();

// Fills the module description; A_Err_STRUCT for a null record.
A_Err ConstructModuleInfo(const SPBasicSuite* pica_basicP, AEIO_ModuleInfo* info);
// Sets the callback slots; A_Err_STRUCT for a null table.
A_Err ConstructFunctionBlock(AEIO_FunctionBlock4* funcs);
// Nothing to free at shutdown.
A_Err DeathHook(AEGP_GlobalRefcon unused1, AEGP_DeathRefcon unused2);

LVS_EXPORT A_Err EntryPointFunc(struct SPBasicSuite* pica_basicP, A_long major_versionL, A_long minor_versionL,
                                AEGP_PluginID aegp_plugin_id, AEGP_GlobalRefcon* global_refconP);
