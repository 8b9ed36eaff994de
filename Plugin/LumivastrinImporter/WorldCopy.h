// Copying one host world into another whose pixel depth and size may both
// differ. Depth is converted here, row by row on the host's iteration;
// changes of size are left to the host's resampling copy.
//
// Each function builds its own suite cache; a suite the host will not give
// raises the missing-suite failure (AEGP_SuiteHandler.h), and whatever the
// function created is released on the way out.
#pragma once

#include <cstddef>
#include <cstdint>

#include "LVS_HostSDK.h"

// The flags describe 16-bit worlds that hold full-range samples (0 to 65535):
// demoteSource, the source (which is brought into the host's range for the
// conversion and restored afterwards, so it must be writable and not in use
// elsewhere during the call); promoteDestination, the destination.
//
// Returns 0, or the first failure of: the pixel-format queries, the creation
// of the temporary world, a host copy, a row pass, or the moves between the
// ranges. A world in a pixel format other than the three gives
// PF_Err_BAD_CALLBACK_PARAM, and the destination is left untouched.
A_Err SmartCopyWorld(AEIO_InData* in_data, PF_EffectWorld* source, PF_EffectWorld* destination, A_Boolean demoteSource,
                     A_Boolean promoteDestination);

// The host's whole-world copy (copy, or copy_hq when highQuality is set) of a
// source into a destination of the same pixel format; resamples when the
// sizes differ. Returns the host's result.
A_Err EasyCopy(AEIO_InData* in_data, PF_EffectWorld* source, PF_EffectWorld* destination, A_Boolean highQuality);

// Rewrite every sample of one 16-bit world in place, from full range to the
// host's (Demote) or back (Promote). A world of another format is refused
// with PF_Err_BAD_CALLBACK_PARAM and left as it is.
A_Err DemoteWorld(AEIO_InData* in_data, PF_EffectWorld* world);
A_Err PromoteWorld(AEIO_InData* in_data, PF_EffectWorld* world);

// What each call of a CopyWorldIterate row callback gets: the source (only
// read) and the target, which has the source's width and height.
struct CopyWorldRefcon {
  const PF_EffectWorld* source;
  PF_EffectWorld* target;
};

// Row callbacks for AEGP_IterateGeneric. Each touches row i of its worlds
// only and calls no host service, so the host may run them on several
// threads at once. They always return 0.
template <class SourceSample, class TargetSample>
A_Err CopyWorldIterate(void* refconP, A_long thread_indexL, A_long i, A_long iterationsL);
A_Err DemoteWorldIterate(void* worldP, A_long thread_indexL, A_long i, A_long iterationsL);
A_Err PromoteWorldIterate(void* worldP, A_long thread_indexL, A_long i, A_long iterationsL);
