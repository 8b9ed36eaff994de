// Frame buffers (worlds) and pixels of the host interface.
#pragma once

#include "AE_BasicTypes.h"

typedef A_long PF_PixelFormat;
// The codes read, as bytes in memory order, "argb", "ae16" and "ae32".
enum : A_long {
  PF_PixelFormat_ARGB32 = 0x62677261,   // PF_Pixel, 8-bit samples 0..255
  PF_PixelFormat_ARGB64 = 0x36316561,   // PF_Pixel16, 16-bit samples 0..32768
  PF_PixelFormat_ARGB128 = 0x32336561,  // PF_PixelFloat, float samples 0.0..1.0
  PF_PixelFormat_INVALID = 0x21646162,  // "bad!"
};

typedef A_u_char PF_Boolean;
typedef A_long PF_WorldFlags;
typedef void* PF_PixelPtr;

// Samples in the order alpha, red, green, blue in every format.
struct PF_Pixel {
  A_u_char alpha;
  A_u_char red;
  A_u_char green;
  A_u_char blue;
};
typedef PF_Pixel PF_Pixel8;
struct PF_Pixel16 {
  A_u_short alpha;
  A_u_short red;
  A_u_short green;
  A_u_short blue;
};
struct PF_PixelFloat {
  A_FpShort alpha;
  A_FpShort red;
  A_FpShort green;
  A_FpShort blue;
};
typedef PF_PixelFloat PF_Pixel32;
static_assert(sizeof(PF_Pixel) == 4, "PF_Pixel layout");
static_assert(sizeof(PF_Pixel16) == 8, "PF_Pixel16 layout");
static_assert(sizeof(PF_PixelFloat) == 16, "PF_PixelFloat layout");

struct PF_RationalScale {
  A_long num;
  A_u_long den;
};

// A host frame buffer. The plug-in reads data, rowbytes, width and height
// only; every other member belongs to the host. Row r starts at
// data + r * rowbytes, and rowbytes may exceed width times the pixel size.
struct PF_LayerDef {
  void* reserved0;
  void* reserved1;
  PF_WorldFlags world_flags;
  PF_PixelPtr data;
  A_long rowbytes;
  A_long width;
  A_long height;
  PF_Rect extent_hint;
  void* platform_ref;
  A_long reserved_long1;
  void* reserved_long4;
  PF_RationalScale pix_aspect_ratio;
  void* reserved_long2;
  A_long origin_x;
  A_long origin_y;
  A_long reserved_long3;
  A_long dephault;
};
typedef PF_LayerDef PF_EffectWorld;
typedef PF_LayerDef PF_World;
static_assert(offsetof(PF_LayerDef, data) == 24, "PF_LayerDef data");
static_assert(offsetof(PF_LayerDef, rowbytes) == 32, "PF_LayerDef rowbytes");
static_assert(offsetof(PF_LayerDef, width) == 36, "PF_LayerDef width");
static_assert(offsetof(PF_LayerDef, height) == 40, "PF_LayerDef height");
static_assert(sizeof(PF_LayerDef) == 120, "PF_LayerDef size");
