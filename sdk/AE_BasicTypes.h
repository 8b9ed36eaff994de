// Basic scalar types, time and rectangle records, error codes and the basic
// suite of the host interface. The names are the host SDK's own, so that the
// plug-in reads the same against these declarations and against the vendor's.
#pragma once

#include <cstddef>
#include <cstdint>

static_assert(sizeof(void*) == 8, "the host interface is laid out for 64-bit processes");

typedef int8_t A_char_s;
typedef char A_char;
typedef uint8_t A_u_char;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int64_t A_longlong;
typedef uint64_t A_u_longlong;
typedef uint8_t A_Boolean;
typedef double A_FpLong;
typedef float A_FpShort;
typedef A_u_short A_UTF16Char;
typedef A_u_longlong A_HandleSize;

// Every host operation and every callback returns one of these; 0 is success.
typedef A_long A_Err;
typedef A_long PF_Err;
typedef int32_t SPErr;

enum : A_long {
  A_Err_NONE = 0,
  A_Err_GENERIC = 1,
  A_Err_STRUCT = 2,     // a record the caller had to supply is missing
  A_Err_PARAMETER = 3,  // an argument is out of range or unknown
  A_Err_ALLOC = 4,      // out of memory (same value as PF_Err_OUT_OF_MEMORY)

  PF_Err_NONE = 0,
  PF_Err_OUT_OF_MEMORY = 4,
  PF_Err_INTERNAL_STRUCT_DAMAGED = 512,  // data the plug-in depends on is unreadable
  PF_Err_INVALID_INDEX = 513,
  PF_Err_UNRECOGNIZED_PARAM_TYPE = 514,
  PF_Err_INVALID_CALLBACK = 515,
  PF_Err_BAD_CALLBACK_PARAM = 516,  // a host suite could not be acquired

  // Returned by an import callback that leaves the work to the host's own
  // default behaviour for that request.
  AEIO_Err_USE_DFLT_CALLBACK = 9992,
};

// A point in time as a rational number of seconds: value / scale.
struct A_Time {
  A_long value;
  A_u_long scale;
};
static_assert(sizeof(A_Time) == 8, "A_Time layout");

struct A_LRect {
  A_long left;
  A_long top;
  A_long right;
  A_long bottom;
};
static_assert(sizeof(A_LRect) == 16, "A_LRect layout");
typedef A_LRect PF_LRect;
typedef A_LRect PF_Rect;

// The host's basic suite: every other suite is acquired from it by name and
// version, and released again with the same name and version.
struct SPBasicSuite {
  // Needs a zero result and a non-null table before the table may be used.
  SPErr (*AcquireSuite)(const char* name, int32_t version, const void** suite);
  // The result carries no information the plug-in acts on.
  SPErr (*ReleaseSuite)(const char* name, int32_t version);
  // Later slots: not used by the plug-in; kept so the record has its size.
  int32_t (*IsEqual)(const char* token1, const char* token2);
  SPErr (*AllocateBlock)(size_t size, void** block);
  SPErr (*FreeBlock)(void* block);
  SPErr (*ReallocateBlock)(void* block, size_t newSize, void** newblock);
  SPErr (*Undefined)(void);
};
static_assert(offsetof(SPBasicSuite, AcquireSuite) == 0 * sizeof(void*), "SPBasicSuite slot 0");
static_assert(offsetof(SPBasicSuite, ReleaseSuite) == 1 * sizeof(void*), "SPBasicSuite slot 1");
static_assert(sizeof(SPBasicSuite) == 7 * sizeof(void*), "SPBasicSuite size");

// Opaque reference types the host hands out and takes back.
typedef A_long AEGP_PluginID;
typedef struct _AEGP_GlobalRefcon* AEGP_GlobalRefcon;
typedef struct _AEGP_DeathRefcon* AEGP_DeathRefcon;
typedef struct _AEGP_IORefcon* AEGP_IORefcon;
typedef struct _AEGP_MemHandle* AEGP_MemHandle;
typedef struct _PF_ProgressInfo* PF_ProgPtr;
typedef void** PF_Handle;

typedef A_u_long AEGP_MemSize;
typedef A_long AEGP_MemFlag;
enum : A_long {
  AEGP_MemFlag_NONE = 0,
  AEGP_MemFlag_CLEAR = 1,  // the new handle's bytes are all zero
  AEGP_MemFlag_QUIET = 2,
};

typedef A_Err (*AEGP_DeathHook)(AEGP_GlobalRefcon plugin_refconP, AEGP_DeathRefcon refconP);

// The one function a plug-in module exports; the host calls it once on load.
typedef A_Err (*AEGP_PluginInitFuncPrototype)(struct SPBasicSuite* pica_basicP,
                                              A_long major_versionL, A_long minor_versionL,
                                              AEGP_PluginID aegp_plugin_id,
                                              AEGP_GlobalRefcon* global_refconP);
