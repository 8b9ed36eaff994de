// The MacTypes names the vendor's headers take from the system in their
// macOS branch, for a build against them on a system that has no MacTypes
// (LVS_VENDOR_SDK on Linux): the same widths as Apple's.
#pragma once

#include <stdint.h>

typedef unsigned char Boolean;
typedef char* Ptr;
typedef char** Handle;
typedef int32_t Fixed;
typedef int16_t OSErr;
typedef int32_t OSStatus;
