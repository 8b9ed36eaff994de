#include "TextCodec.h"

#include <cstring>

namespace {

// Appends one code point; false when it does not fit before the terminator.
bool PutUtf8(char32_t c, char* out, std::size_t limit, std::size_t* at) {
  unsigned char bytes[4];
  std::size_t n;
  if (c < 0x80) {
    bytes[0] = static_cast<unsigned char>(c);
    n = 1;
  } else if (c < 0x800) {
    bytes[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
    bytes[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    n = 2;
  } else if (c < 0x10000) {
    bytes[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
    bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    n = 3;
  } else {
    bytes[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
    bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    bytes[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    n = 4;
  }
  if (n > limit - *at) return false;
  std::memcpy(out + *at, bytes, n);
  *at += n;
  return true;
}

}  // namespace

std::size_t NextUtf8(const unsigned char* text, std::size_t available, char32_t* codePoint) {
  if (available == 0) return 0;
  const unsigned char lead = text[0];
  std::size_t length;
  char32_t c;
  char32_t smallest;
  if (lead < 0x80) {
    *codePoint = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, c = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, c = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, c = lead & 0x07, smallest = 0x10000;
  } else {
    return 0;
  }
  if (length > available) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((text[k] & 0xC0) != 0x80) return 0;
    c = (c << 6) | (text[k] & 0x3F);
  }
  if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  *codePoint = c;
  return length;
}

bool Utf16ToUtf8(const uint16_t* text, char* out, std::size_t outSize) {
  if (outSize == 0) return false;
  out[0] = '\0';
  if (!text) return true;
  const std::size_t limit = outSize - 1;
  std::size_t at = 0;
  for (std::size_t i = 0; text[i] != 0; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    // A surrogate without its partner names no character; replaced, the
    // path could name another file that holds U+FFFD.
    const bool lone = c >= 0xD800 && c <= 0xDFFF;
    if (lone || !PutUtf8(c, out, limit, &at)) {
      out[0] = '\0';
      return false;
    }
  }
  out[at] = '\0';
  return true;
}

bool Utf8ToUtf16(const std::string& utf8, std::u16string* out) {
  out->clear();
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t c = 0;
    const std::size_t length = NextUtf8(s + i, utf8.size() - i, &c);
    if (length == 0 || c == 0) {
      out->clear();
      return false;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out->push_back(char16_t(0xD800 + (c >> 10)));
      out->push_back(char16_t(0xDC00 + (c & 0x3FF)));
    } else {
      out->push_back(char16_t(c));
    }
    i += length;
  }
  return true;
}
