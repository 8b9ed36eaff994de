// The rows of host worlds, as both the draw and the world copy work on them:
// where a row starts, which pixel formats are handled, and one row's samples
// converted from one depth to another. The draw converts the decoder's 8-bit
// rows straight into deeper worlds with the same conversion the world copy
// uses, so a frame arrives as if painted at 8 bits and copied.
#pragma once

#include <cstddef>
#include <cstdint>

#include "LVS_HostSDK.h"

// The three pixel formats the plug-in draws and converts.
bool IsHandledFormat(PF_PixelFormat format);

// Start of row i. The offset is formed in the address width: a 32-bit
// product of row index and row bytes wraps for worlds above 2 GB.
template <class Sample>
Sample* RowOf(const PF_EffectWorld& world, A_long i) {
  return reinterpret_cast<Sample*>(reinterpret_cast<char*>(world.data) +
                                   static_cast<std::ptrdiff_t>(i) * static_cast<std::ptrdiff_t>(world.rowbytes));
}

// `samples` samples from one depth to another by Convert (SampleConvert.h),
// sixteen at a time where the processor can for the two widenings of 8-bit
// samples that every drawn frame pays for. Defined for the six pairs of
// uint8_t, uint16_t and float.
template <class SourceSample, class TargetSample>
void ConvertRow(const SourceSample* from, TargetSample* to, std::ptrdiff_t samples);
