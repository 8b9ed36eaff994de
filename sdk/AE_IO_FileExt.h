// A file extension as the module record carries it: the dot, then three
// characters, no terminator.
#pragma once

#include "A.h"

typedef struct {
  A_char pad;
  A_char extension[3];
} AEIO_FileExt;
