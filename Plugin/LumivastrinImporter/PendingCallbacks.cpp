// Callbacks whose work is not written yet. Each hands the request back to
// the host's default handling until its own source file replaces it here.
#include "Callbacks.h"

A_Err InitInSpecFromFile(AEIO_InData*, const A_UTF16Char*, AEIO_InSpecH) { return AEIO_Err_USE_DFLT_CALLBACK; }

A_Err DisposeInSpec(AEIO_InData*, AEIO_InSpecH) { return AEIO_Err_USE_DFLT_CALLBACK; }

A_Err GetInSpecInfo(AEIO_InData*, AEIO_InSpecH, AEIO_Verbiage*) { return AEIO_Err_USE_DFLT_CALLBACK; }

A_Err FlattenOptions(AEIO_InData*, AEIO_InSpecH, AEGP_MemHandle*) { return AEIO_Err_USE_DFLT_CALLBACK; }

A_Err InflateOptions(AEIO_InData*, AEIO_InSpecH, AEGP_MemHandle) { return AEIO_Err_USE_DFLT_CALLBACK; }

A_Err DrawSparseFrame(AEIO_InData*, AEIO_InSpecH, const AEIO_DrawSparseFramePB*, PF_EffectWorld*,
                      AEIO_DrawingFlags*) {
  return AEIO_Err_USE_DFLT_CALLBACK;
}
