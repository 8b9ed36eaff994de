// Callbacks with nothing of their own to do.
#include "Callbacks.h"

// A still has no extent or frame times of its own: the host's defaults apply.
A_Err GetActiveExtent(AEIO_InData*, AEIO_InSpecH, const A_Time*, A_LRect*) { return AEIO_Err_USE_DFLT_CALLBACK; }

A_Err InqNextFrameTime(AEIO_InData*, AEIO_InSpecH, const A_Time*, AEIO_TimeDir, A_Boolean*, A_Time*) {
  return AEIO_Err_USE_DFLT_CALLBACK;
}

// No file stays open between callbacks.
A_Err CloseSourceFiles(AEIO_InData*, AEIO_InSpecH) { return A_Err_NONE; }
