// Callbacks whose work is not written yet. Each hands the request back to
// the host's default handling until its own source file replaces it here.
#include "Callbacks.h"

A_Err DrawSparseFrame(AEIO_InData*, AEIO_InSpecH, const AEIO_DrawSparseFramePB*, PF_EffectWorld*,
                      AEIO_DrawingFlags*) {
  return AEIO_Err_USE_DFLT_CALLBACK;
}
