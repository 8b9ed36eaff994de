// A plug-in module that is the real one but for one thing it does wrong,
// chosen by the environment variable LVS_CONTRARY when it is loaded:
//   open-refused  every open fails (after the real open, whose record the
//                 footage keeps, so that nothing is left behind);
//   draw-failed   every draw fails, drawing nothing;
//   other-frame   every draw draws the real frame with its first byte
//                 changed.
// No package makes the real module do any of these, so they are what lvs
// must report as results it cannot name (the module.* codes). It loads the
// real module and hands its entry a basic suite whose register suite
// swaps the callbacks as they are registered. The real module is loaded as
// the host loads a module on each system (the substitute host's loader).
#include <cstdlib>
#include <cstring>

#include "real_module.h"

namespace {

enum class Contrary { None, OpenRefused, DrawFailed, OtherFrame };

Contrary gMode = Contrary::None;
const SPBasicSuite* gHostBasic = nullptr;
SPBasicSuite gBasic;
AEGP_RegisterSuite5 gRegister;
decltype(AEGP_RegisterSuite5::AEGP_RegisterIO) gHostRegisterIO = nullptr;
AEIO_FunctionBlock4 gReal;

A_Err Open(AEIO_BasicData* basic, const A_UTF16Char* path, AEIO_InSpecH inSpec) {
  const A_Err err = gReal.AEIO_InitInSpecFromFile(basic, path, inSpec);
  return err ? err : A_Err_GENERIC;
}

A_Err Draw(AEIO_BasicData* basic, AEIO_InSpecH inSpec, const AEIO_DrawSparseFramePB* request, PF_EffectWorld* world,
           AEIO_DrawingFlags* flags) {
  if (gMode == Contrary::DrawFailed) return PF_Err_OUT_OF_MEMORY;
  const A_Err err = gReal.AEIO_DrawSparseFrame(basic, inSpec, request, world, flags);
  if (!err && world && world->data) reinterpret_cast<unsigned char*>(world->data)[1] ^= 0x5A;
  return err;
}

A_Err RegisterIO(AEGP_PluginID id, AEGP_IORefcon refcon, const AEIO_ModuleInfo* info,
                 const AEIO_FunctionBlock4* block) {
  if (!block) return gHostRegisterIO(id, refcon, info, block);
  gReal = *block;
  AEIO_FunctionBlock4 contrary = *block;
  if (gMode == Contrary::OpenRefused) contrary.AEIO_InitInSpecFromFile = Open;
  if (gMode == Contrary::DrawFailed || gMode == Contrary::OtherFrame) contrary.AEIO_DrawSparseFrame = Draw;
  return gHostRegisterIO(id, refcon, info, &contrary);
}

SPErr Acquire(const char* name, int version, const void** suite) {
  const SPErr err = gHostBasic->AcquireSuite(name, version, suite);
  if (err || !suite || !*suite || std::strcmp(name, kAEGPRegisterSuite) != 0) return err;
  gRegister = *static_cast<const AEGP_RegisterSuite5*>(*suite);
  gHostRegisterIO = gRegister.AEGP_RegisterIO;
  gRegister.AEGP_RegisterIO = RegisterIO;
  *suite = &gRegister;
  return err;
}

Contrary ModeFromEnvironment() {
  const char* mode = std::getenv("LVS_CONTRARY");
  if (!mode) return Contrary::None;
  if (std::strcmp(mode, "open-refused") == 0) return Contrary::OpenRefused;
  if (std::strcmp(mode, "draw-failed") == 0) return Contrary::DrawFailed;
  if (std::strcmp(mode, "other-frame") == 0) return Contrary::OtherFrame;
  return Contrary::None;
}

}  // namespace

LVS_EXPORT A_Err EntryPointFunc(struct SPBasicSuite* pica_basicP, A_long major_versionL, A_long minor_versionL,
                                AEGP_PluginID aegp_plugin_id, AEGP_GlobalRefcon* global_refconP) {
  const AEGP_PluginInitFunc entry = lvs_test::RealEntry();
  if (!entry || !pica_basicP) return A_Err_GENERIC;
  gMode = ModeFromEnvironment();
  gHostBasic = pica_basicP;
  gBasic = *pica_basicP;
  gBasic.AcquireSuite = Acquire;
  return entry(&gBasic, major_versionL, minor_versionL, aegp_plugin_id, global_refconP);
}
