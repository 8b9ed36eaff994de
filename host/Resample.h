// Resampling of one world into another of the same pixel format, as the
// host's world copy does it. Each axis is filtered on its own: an axis that
// shrinks takes the area average of the source pixels each destination
// pixel covers (fractional coverage weighted), an axis that grows is
// interpolated bilinearly between pixel centres (edges clamped), and an axis
// that keeps its size is copied. Integer results are rounded to nearest and
// clamped to the sample type; floats are stored as computed.
#pragma once

#include "LVS_HostSDK.h"

namespace lvs_host {

// Both worlds must be of format, which must be one of the three known ones.
// Reductions by whole ratios take a shorter road to the same values.
void ResampleWorld(const PF_EffectWorld& src, PF_EffectWorld& dst, PF_PixelFormat format);
// The general filter alone, whatever the sizes; the yardstick for the
// shorter road.
void ResampleWorldGeneral(const PF_EffectWorld& src, PF_EffectWorld& dst, PF_PixelFormat format);

}  // namespace lvs_host
