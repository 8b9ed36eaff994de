// The one header through which the plug-in sees the host interface. A build
// against the vendor's SDK headers replaces the includes below and nothing
// else.
#pragma once

#include "AE_BasicTypes.h"
#include "AE_IO.h"
#include "AE_Suites.h"
#include "AE_World.h"

// The plug-in's own export macro for its entry point.
#if defined(_WIN32)
#define LVS_EXPORT extern "C" __declspec(dllexport)
#else
#define LVS_EXPORT extern "C" __attribute__((visibility("default")))
#endif
