#include "WorldCopy.h"

#include <cstddef>
#include <cstdint>

#include "AEGP_SuiteHandler.h"
#include "PixelRows.h"
#include "SampleConvert.h"
#include "ScopedWorld.h"

namespace {

// Samples per row: four per pixel.
std::ptrdiff_t RowSamples(const PF_EffectWorld& world) { return static_cast<std::ptrdiff_t>(world.width) * 4; }

// Brings a demoted source back to full range if the copy is left early by
// the missing-suite failure; the normal path restores it itself. A null
// source owes nothing.
class SourceRestore {
 public:
  SourceRestore(AEIO_InData* in_data, PF_EffectWorld* source) : in_data_(in_data), source_(source) {}
  ~SourceRestore() {
    if (!source_) return;
    try {
      PromoteWorld(in_data_, source_);
    } catch (...) {
      // The host refused the suites it needs; nothing more can be done here.
    }
  }
  SourceRestore(const SourceRestore&) = delete;
  SourceRestore& operator=(const SourceRestore&) = delete;

  A_Err Restore() {
    PF_EffectWorld* source = source_;
    source_ = nullptr;
    return source ? PromoteWorld(in_data_, source) : A_Err_NONE;
  }

 private:
  AEIO_InData* in_data_;
  PF_EffectWorld* source_;
};

// What the host's iteration calls once per row; the SDK spells the type out
// in AEGP_IterateGeneric's prototype rather than naming it.
using RowCallback = A_Err (*)(void* refconPV, A_long thread_indexL, A_long i, A_long iterationsL);

// Row i of a 16-bit world rewritten in place, for the moves between the
// ranges.
template <uint16_t (*Rewrite)(uint16_t)>
A_Err RewriteRow(void* worldP, A_long i) {
  const PF_EffectWorld& world = *static_cast<const PF_EffectWorld*>(worldP);
  uint16_t* __restrict row = RowOf<uint16_t>(world, i);
  const std::ptrdiff_t samples = RowSamples(world);
  for (std::ptrdiff_t k = 0; k < samples; ++k) row[k] = Rewrite(row[k]);
  return A_Err_NONE;
}

A_Err RowPass(const AEGP_SuiteHandler& suites, PF_EffectWorld* source, PF_EffectWorld* target, RowCallback member) {
  CopyWorldRefcon refcon{source, target};
  return suites.AEGPIterateSuite()->AEGP_IterateGeneric(source->height, &refcon, member);
}

// One row of the conversion table; target has the source's size.
A_Err ConvertInto(AEIO_InData* in_data, const AEGP_SuiteHandler& suites, PF_EffectWorld* source,
                  PF_PixelFormat sourceFormat, PF_EffectWorld* target, PF_PixelFormat targetFormat,
                  bool promoteTarget) {
  A_Err err = A_Err_NONE;
  bool targetIs16 = false;
  if (sourceFormat == PF_PixelFormat_ARGB128) {
    if (targetFormat == PF_PixelFormat_ARGB64) {
      err = RowPass(suites, source, target, CopyWorldIterate<float, uint16_t>);
      targetIs16 = true;
    } else {
      err = RowPass(suites, source, target, CopyWorldIterate<float, uint8_t>);
    }
  } else if (sourceFormat == PF_PixelFormat_ARGB64) {
    if (targetFormat == PF_PixelFormat_ARGB128) {
      err = RowPass(suites, source, target, CopyWorldIterate<uint16_t, float>);
    } else if (targetFormat == PF_PixelFormat_ARGB64) {
      err = EasyCopy(in_data, source, target, false);
      targetIs16 = true;
    } else {
      err = RowPass(suites, source, target, CopyWorldIterate<uint16_t, uint8_t>);
    }
  } else {
    if (targetFormat == PF_PixelFormat_ARGB128) {
      err = RowPass(suites, source, target, CopyWorldIterate<uint8_t, float>);
    } else {
      err = RowPass(suites, source, target, CopyWorldIterate<uint8_t, uint16_t>);
      targetIs16 = true;
    }
  }
  if (!err && targetIs16 && promoteTarget) err = PromoteWorld(in_data, target);
  return err;
}

A_Err RewriteWorld(AEIO_InData* in_data, PF_EffectWorld* world, RowCallback rewrite) {
  AEGP_SuiteHandler suites(in_data->pica_basicP);
  PF_PixelFormat format = PF_PixelFormat_INVALID;
  A_Err err = suites.PFWorldSuite()->PF_GetPixelFormat(world, &format);
  // Refused rather than asserted: a wrong world must not take the host down.
  if (!err && format != PF_PixelFormat_ARGB64) err = PF_Err_BAD_CALLBACK_PARAM;
  if (!err) err = suites.AEGPIterateSuite()->AEGP_IterateGeneric(world->height, world, rewrite);
  return err;
}

// The copy through a conversion, into a temporary world of the source's
// size when the destination's differs: depth is converted at the source's
// size, and the host resamples afterwards.
A_Err ConvertedCopy(AEIO_InData* in_data, const AEGP_SuiteHandler& suites, PF_EffectWorld* source,
                    PF_PixelFormat sourceFormat, PF_EffectWorld* destination, PF_PixelFormat destinationFormat,
                    bool demoteSource, bool promoteDestination) {
  A_Err err = A_Err_NONE;
  ScopedWorld temporary(suites.PFWorldSuite());
  PF_EffectWorld* target = destination;
  if (source->width != destination->width || source->height != destination->height) {
    err = temporary.Create(source->width, source->height, destinationFormat);
    target = temporary.World();
  }

  // A source that could not be demoted must not be promoted afterwards:
  // that would double its samples.
  if (!err && demoteSource) err = DemoteWorld(in_data, source);
  if (!err) {
    SourceRestore restore(in_data, demoteSource ? source : nullptr);
    err = ConvertInto(in_data, suites, source, sourceFormat, target, destinationFormat, promoteDestination);
    const A_Err restoreErr = restore.Restore();
    if (!err) err = restoreErr;
  }

  // An unfilled temporary world is never copied out.
  if (!err && target != destination) err = EasyCopy(in_data, target, destination, false);
  return err;
}

}  // namespace

A_Err SmartCopyWorld(AEIO_InData* in_data, PF_EffectWorld* source, PF_EffectWorld* destination, A_Boolean demoteSource,
                     A_Boolean promoteDestination) {
  AEGP_SuiteHandler suites(in_data->pica_basicP);
  const PF_WorldSuite2* worlds = suites.PFWorldSuite();

  PF_PixelFormat sourceFormat = PF_PixelFormat_INVALID;
  PF_PixelFormat destinationFormat = PF_PixelFormat_INVALID;
  A_Err err = worlds->PF_GetPixelFormat(source, &sourceFormat);
  if (!err) err = worlds->PF_GetPixelFormat(destination, &destinationFormat);
  if (!err && (!IsHandledFormat(sourceFormat) || !IsHandledFormat(destinationFormat))) err = PF_Err_BAD_CALLBACK_PARAM;

  // Same format and same meaning of the samples: one host copy.
  const bool sameRange = (demoteSource != 0) == (promoteDestination != 0);
  const bool direct = sourceFormat == destinationFormat && (sameRange || sourceFormat != PF_PixelFormat_ARGB64);
  if (!err && direct) {
    err = EasyCopy(in_data, source, destination, false);
  } else if (!err) {
    const bool demote = demoteSource && sourceFormat == PF_PixelFormat_ARGB64;
    err = ConvertedCopy(in_data, suites, source, sourceFormat, destination, destinationFormat, demote,
                        promoteDestination != 0);
  }
  return err;
}

A_Err EasyCopy(AEIO_InData* in_data, PF_EffectWorld* source, PF_EffectWorld* destination, A_Boolean highQuality) {
  AEGP_SuiteHandler suites(in_data->pica_basicP);
  const PF_WorldTransformSuite1* transform = suites.PFWorldTransformSuite();
  if (highQuality) return transform->copy_hq(nullptr, source, destination, nullptr, nullptr);
  return transform->copy(nullptr, source, destination, nullptr, nullptr);
}

A_Err DemoteWorld(AEIO_InData* in_data, PF_EffectWorld* world) {
  return RewriteWorld(in_data, world, DemoteWorldIterate);
}

A_Err PromoteWorld(AEIO_InData* in_data, PF_EffectWorld* world) {
  return RewriteWorld(in_data, world, PromoteWorldIterate);
}

template <class SourceSample, class TargetSample>
A_Err CopyWorldIterate(void* refconP, A_long, A_long i, A_long) {
  const CopyWorldRefcon& refcon = *static_cast<const CopyWorldRefcon*>(refconP);
  ConvertRow(RowOf<const SourceSample>(*refcon.source, i), RowOf<TargetSample>(*refcon.target, i),
             RowSamples(*refcon.target));
  return A_Err_NONE;
}

template A_Err CopyWorldIterate<uint8_t, uint16_t>(void*, A_long, A_long, A_long);
template A_Err CopyWorldIterate<uint8_t, float>(void*, A_long, A_long, A_long);
template A_Err CopyWorldIterate<uint16_t, uint8_t>(void*, A_long, A_long, A_long);
template A_Err CopyWorldIterate<uint16_t, float>(void*, A_long, A_long, A_long);
template A_Err CopyWorldIterate<float, uint8_t>(void*, A_long, A_long, A_long);
template A_Err CopyWorldIterate<float, uint16_t>(void*, A_long, A_long, A_long);

A_Err DemoteWorldIterate(void* worldP, A_long, A_long i, A_long) { return RewriteRow<Demote>(worldP, i); }

A_Err PromoteWorldIterate(void* worldP, A_long, A_long i, A_long) { return RewriteRow<Promote>(worldP, i); }
