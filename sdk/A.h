// Scalar types, times, ratios and rectangles, the general error codes and the
// memory handle of the host interface, under the SDK's names and in this
// header of the SDK's name, so that a build against the vendor's headers
// (LVS_VENDOR_SDK) finds the same declarations there.
#pragma once

#include <cstddef>
#include <cstdint>

typedef char A_char;
typedef uint8_t A_u_char;
typedef uint8_t A_Boolean;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef A_u_short A_UTF16Char;
typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef uint64_t A_u_longlong;
typedef A_u_longlong A_HandleSize;
typedef float A_FpShort;
typedef double A_FpLong;

// Every host operation and every callback returns one of these; 0 is success.
typedef A_long A_Err;
enum {
  A_Err_NONE = 0,
  A_Err_GENERIC = 1,
  A_Err_STRUCT = 2,     // a record the caller had to supply is missing
  A_Err_PARAMETER = 3,  // an argument is out of range or unknown
  A_Err_ALLOC = 4,      // out of memory (the same value as PF_Err_OUT_OF_MEMORY)
  A_Err_MISSING_SUITE = 13,
};

// A point in time as a rational number of seconds: value / scale.
typedef struct {
  A_long value;
  A_u_long scale;
} A_Time;

typedef struct {
  A_long num;
  A_u_long den;
} A_Ratio;

typedef struct {
  A_long left;
  A_long top;
  A_long right;
  A_long bottom;
} A_LRect;
typedef A_LRect A_Rect;

typedef struct {
  A_long x;
  A_long y;
} A_LPoint;

// A handle of "AEGP Memory Suite". Opaque: only the host looks inside.
typedef struct _Up_OpaqueMem** AEGP_MemHandle;
