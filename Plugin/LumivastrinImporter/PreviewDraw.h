// Drawing the footage of a style package: its own preview when that decodes
// to the footage size, else the fallback picture compiled into the plug-in.
// DrawSparseFrame (Callbacks.h) is the callback; the pieces below are its
// parts.
#pragma once

#include <cstdint>

#include "LVS_HostSDK.h"
#include "StyleFormat.h"

// Stores one pixel into an 8-bit world. A coordinate outside the world is
// pulled onto the nearest edge pixel, never dropped; a world without pixels
// is left alone.
void setPixelSafe(PF_LayerDef* world, A_long x, A_long y, const PF_Pixel& pixel);

// The memory functions the decoders get.
struct DecoderMemory {
  void* (*allocate)(uint64_t size);
  void (*release)(void* block);
};

// The standard allocator, as the callback uses it.
extern const DecoderMemory kStandardDecoderMemory;

// The whole draw with the given decoder memory. May raise the missing-suite
// failure; DrawSparseFrame turns that into its code.
A_Err DrawPreviewFrame(AEIO_InData* basic_dataP, AEIO_InSpecH specH, PF_EffectWorld* destination,
                       const DecoderMemory& memory);
