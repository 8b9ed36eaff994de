// Frame buffers (worlds), pixels and the effect-side scalar types and error
// codes of the host interface.
#pragma once

#include "A.h"
#include "SPBasic.h"

typedef A_long PF_Err;
enum {
  PF_Err_NONE = 0,
  PF_Err_OUT_OF_MEMORY = 4,
  PF_FIRST_ERR = 512,
  PF_Err_INTERNAL_STRUCT_DAMAGED = PF_FIRST_ERR,  // data the plug-in depends on is unreadable
  PF_Err_INVALID_INDEX,
  PF_Err_UNRECOGNIZED_PARAM_TYPE,
  PF_Err_INVALID_CALLBACK,
  PF_Err_BAD_CALLBACK_PARAM,  // a host suite could not be acquired
};

typedef A_FpShort PF_FpShort;
typedef A_FpLong PF_FpLong;
typedef A_long PF_WorldFlags;

// One byte on both platforms, declared as each platform's SDK branch does.
#if defined(_WIN32)
typedef A_char PF_Boolean;
typedef void** PF_Handle;
#else
typedef unsigned char PF_Boolean;
typedef char** PF_Handle;
#endif

typedef struct PF_ProgressInfo* PF_ProgPtr;

// The same layout as A_LRect, but a type of its own.
typedef struct {
  A_long left;
  A_long top;
  A_long right;
  A_long bottom;
} PF_LRect;
typedef PF_LRect PF_Rect;
typedef PF_LRect PF_UnionableRect;

typedef struct {
  A_long num;
  A_u_long den;
} PF_RationalScale;

// Samples in the order alpha, red, green, blue in every format.
typedef struct {
  A_u_char alpha;
  A_u_char red;
  A_u_char green;
  A_u_char blue;
} PF_Pixel;
typedef PF_Pixel PF_Pixel8;

// 0 to 32768: full intensity is PF_MAX_CHAN16, not 65535.
typedef struct {
  A_u_short alpha;
  A_u_short red;
  A_u_short green;
  A_u_short blue;
} PF_Pixel16;

typedef struct {
  PF_FpShort alpha;
  PF_FpShort red;
  PF_FpShort green;
  PF_FpShort blue;
} PF_PixelFloat;
typedef PF_PixelFloat PF_Pixel32;

#define PF_MAX_CHAN8 255
#define PF_HALF_CHAN8 128
#define PF_MAX_CHAN16 32768
#define PF_HALF_CHAN16 16384

#if defined(PF_DEEP_COLOR_AWARE)
typedef struct _PF_PixelOpaque* PF_PixelPtr;
#else
typedef PF_Pixel* PF_PixelPtr;
#endif

// A host frame buffer. The plug-in reads data, rowbytes, width and height
// only; every other member belongs to the host. Row r starts at
// data + r * rowbytes, and rowbytes may exceed width times the pixel size.
typedef struct PF_LayerDef {
  void* reserved0;
  void* reserved1;
  PF_WorldFlags world_flags;
  PF_PixelPtr data;
  A_long rowbytes;
  A_long width;
  A_long height;
  PF_UnionableRect extent_hint;
  void* platform_ref;
  A_long reserved_long1;
  void* reserved_long4;
  PF_RationalScale pix_aspect_ratio;
  void* reserved_long2;
  A_long origin_x;
  A_long origin_y;
  A_long reserved_long3;
  A_long dephault;
} PF_LayerDef;
typedef PF_LayerDef PF_EffectWorld;
