// The one header through which the plug-in, the substitute host and the
// tools see the host interface: the SDK's own headers (ours in sdk/, or the
// vendor's with LVS_VENDOR_SDK), checked against the host's facts.
#pragma once

#include <AE_EffectCBSuites.h>
#include <AE_GeneralPlug.h>
#include <SPErrorCodes.h>

#include "LVS_HostFacts.h"

// The plug-in's own export macro for its entry point.
#if defined(_WIN32)
#define LVS_EXPORT extern "C" __declspec(dllexport)
#else
#define LVS_EXPORT extern "C" __attribute__((visibility("default")))
#endif
