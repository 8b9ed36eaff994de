// The host's basic suite: every other suite is acquired from it by name and
// version, and released again with the same name and version.
#pragma once

#include <cstddef>

#include "SPTypes.h"

typedef struct SPBasicSuite {
  // Needs a zero result and a non-null table before the table may be used.
  SPAPI SPErr (*AcquireSuite)(const char* name, int version, const void** suite);
  // The result carries nothing the plug-in acts on.
  SPAPI SPErr (*ReleaseSuite)(const char* name, int version);
  SPAPI SPBoolean (*IsEqual)(const char* token1, const char* token2);
  SPAPI SPErr (*AllocateBlock)(size_t size, void** block);
  SPAPI SPErr (*FreeBlock)(void* block);
  SPAPI SPErr (*ReallocateBlock)(void* block, size_t newSize, void** newblock);
  SPAPI SPErr (*Undefined)(void);
} SPBasicSuite;
