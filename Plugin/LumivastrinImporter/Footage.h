// Opening a style package as footage: the open, info and dispose callbacks
// (declared in Callbacks.h) and the helpers they share.
#pragma once

#include <cstddef>

#include "LVS_HostSDK.h"

// Converts zero-terminated UTF-16 to NUL-terminated UTF-8 in out (outSize
// bytes). Returns false, leaving out as an empty text, when the text holds a
// surrogate without its partner or the result needs more than outSize - 1
// bytes: a replaced or cut path would name another file.
bool Utf16PathToUtf8(const A_UTF16Char* text, char* out, std::size_t outSize);
