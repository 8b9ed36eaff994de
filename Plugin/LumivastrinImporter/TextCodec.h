// UTF-8 and UTF-16, strictly: a path that is not exact text could name
// another file, so nothing here replaces or drops what it cannot convert.
// Host-free; the module's path conversion and lvs use the same code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The length (1 to 4) of the well-formed UTF-8 sequence at text[0], with its
// code point in *codePoint, or 0 when there is none there: a stray or
// missing continuation byte, an overlong form, a surrogate or a value past
// U+10FFFF, or a sequence cut by the end of the `available` bytes.
std::size_t NextUtf8(const unsigned char* text, std::size_t available, char32_t* codePoint);

// Zero-terminated UTF-16 to NUL-terminated UTF-8 in out (outSize bytes).
// False, leaving out as an empty text, when the text holds a surrogate
// without its partner or the result needs more than outSize - 1 bytes.
bool Utf16ToUtf8(const uint16_t* text, char* out, std::size_t outSize);

// UTF-8 to UTF-16; false (out cleared) when the text is not well-formed
// UTF-8 or holds U+0000, which would end a zero-terminated UTF-16 text early.
bool Utf8ToUtf16(const std::string& utf8, std::u16string* out);
