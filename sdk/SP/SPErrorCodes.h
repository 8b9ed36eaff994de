// The basic suite's answers. The SDK writes the failures as four-character
// literals ('S!Fd', 'Parm'), first character in the most significant byte.
#pragma once

#include "SPTypes.h"

#define kSPNoError ((SPErr)0)
#define kSPSuiteNotFoundError ((SPErr)0x53214664)
#define kSPBadParameterError ((SPErr)0x5061726D)
