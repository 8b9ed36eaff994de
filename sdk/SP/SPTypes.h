// The basic suite's own scalar types.
#pragma once

typedef int SPErr;

// A one-byte boolean on macOS and an int on Windows: only the low byte of
// IsEqual's result is defined on macOS.
#if defined(_WIN32)
typedef int SPBoolean;
#else
typedef unsigned char SPBoolean;
#endif

// The suites' calling convention: the platform's default on every target.
#define SPAPI
