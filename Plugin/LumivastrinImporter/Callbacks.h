// The importer's callbacks, one per slot of the callback table. Each returns
// a host error code and lets no exception out (ErrorBoundary.h).
#pragma once

#include "LVS_HostSDK.h"

// Footage: open, describe, dispose.
A_Err InitInSpecFromFile(AEIO_InData* basic_dataP, const A_UTF16Char* file_pathZ, AEIO_InSpecH specH);
A_Err DisposeInSpec(AEIO_InData* basic_dataP, AEIO_InSpecH specH);
A_Err GetInSpecInfo(AEIO_InData* basic_dataP, AEIO_InSpecH specH, AEIO_Verbiage* verbiageP);

// The options record in flat form for projects.
A_Err FlattenOptions(AEIO_InData* basic_dataP, AEIO_InSpecH specH, AEGP_MemHandle* flat_optionsPH);
A_Err InflateOptions(AEIO_InData* basic_dataP, AEIO_InSpecH specH, AEGP_MemHandle flat_optionsH);

// Drawing a frame.
A_Err DrawSparseFrame(AEIO_InData* basic_dataP, AEIO_InSpecH specH, const AEIO_DrawSparseFramePB* sparse_framePPB,
                      PF_EffectWorld* wP, AEIO_DrawingFlags* draw_flagsP);

// Requests left to the host's default handling, and one with nothing to do.
A_Err GetActiveExtent(AEIO_InData* basic_dataP, AEIO_InSpecH specH, const A_Time* tr, A_LRect* extent);
A_Err InqNextFrameTime(AEIO_InData* basic_dataP, AEIO_InSpecH specH, const A_Time* base_time_tr, AEIO_TimeDir time_dir,
                       A_Boolean* found0, A_Time* key_time_tr0);
A_Err CloseSourceFiles(AEIO_InData* basic_dataP, AEIO_InSpecH specH);
