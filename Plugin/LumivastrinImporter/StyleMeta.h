// The metadata entry of a style package: one JSON object naming the style.
//
// A pure function of the entry's bytes (no host, no archive), so that it can
// be tested and fuzzed on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct StyleMeta {
  bool ok = false;  // false: the text cannot be used, every other field is empty
  std::string name;
  std::string author;
  std::string hash;
  int32_t version = 0;
};

// Reads the bytes as text up to the first NUL (or all of them), which must be
// exactly one JSON object, strictly parsed, followed by nothing but white
// space. The object must hold "name", "author" and "hash" as strings and
// "version" as a number or boolean; other keys are ignored. A string holding
// an escaped NUL is cut there. Never throws.
StyleMeta ParseStyleMeta(const void* bytes, std::size_t length) noexcept;

// "version" as the record stores it: the low 32 bits (two's complement) of
// the integer, truncated toward zero first when the number has a fraction.
// Exact for every finite double, however large (1e300 gives 0).
int32_t VersionFromDouble(double value) noexcept;
int32_t VersionFromInteger(int64_t value) noexcept;
int32_t VersionFromUnsigned(uint64_t value) noexcept;
