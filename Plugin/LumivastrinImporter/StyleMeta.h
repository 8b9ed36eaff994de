// The metadata entry of a style package: one JSON object naming the style.
//
// A pure function of the entry's bytes (no host, no archive), so that it can
// be tested and fuzzed on its own, and so that a tool can tell an author why
// a text was refused from the same judgement the plug-in makes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The record keeps at most 254 bytes of each of three texts and one number:
// even written entirely in \u escapes that is under 5 KB of JSON. 64 KiB
// leaves room for whatever else authors put beside them, while a hostile
// entry of many megabytes is refused before a byte of it is read.
constexpr std::size_t kMetaSizeLimit = 64 * 1024;
// Arrays and objects nested deeper than this (the object itself is level 1)
// are refused; a style's metadata has no need of them, and each level costs
// the parser memory.
constexpr int kMetaDepthLimit = 64;

enum class MetaProblem {
  None,
  TooLarge,     // more than kMetaSizeLimit bytes
  NotJson,      // a syntax error (detail: the parser's message)
  TooDeep,      // nesting beyond kMetaDepthLimit
  NotAnObject,  // a JSON value of another type (found: that type)
  BadKeys,      // a key missing or of the wrong type (see keys)
  OutOfMemory,
};

enum class JsonType { Absent, Null, Boolean, Number, String, Array, Object };

// The four keys, in the order the record is filled.
enum MetaKey { kMetaName, kMetaAuthor, kMetaHash, kMetaVersion, kMetaKeyCount };
extern const char* const kMetaKeyNames[kMetaKeyCount];

struct StyleMeta {
  bool ok = false;  // false: the text cannot be used, and name, author, hash and version are empty
  std::string name;
  std::string author;
  std::string hash;
  int32_t version = 0;

  // Why not, when !ok.
  MetaProblem problem = MetaProblem::None;
  std::string detail;                   // NotJson: the parser's message
  JsonType found = JsonType::Absent;    // NotAnObject: what the text holds
  JsonType keys[kMetaKeyCount] = {};    // each key's type as the object holds it (the last, if repeated)
  bool keyRefused[kMetaKeyCount] = {};  // BadKeys: the keys that are missing or of a type not taken
  std::string versionText;              // "version" given as a string: that string

  // What was written, before the record's conventions touched it, so that a
  // tool can say what a record loses.
  std::size_t writtenLength[kMetaKeyCount] = {};  // each text's bytes, past an escaped NUL
  bool writtenNul[kMetaKeyCount] = {};            // the text held an escaped NUL, and was cut there
  std::string versionWritten;                     // "version" as a number: as written (a whole number in digits)
  bool versionKept = true;                        // false: `version` is not the number written
};

// Reads the bytes as text up to the first NUL (or all of them), which must be
// exactly one JSON object, strictly parsed, followed by nothing but white
// space. The object must hold "name", "author" and "hash" as strings and
// "version" as a number or boolean; other keys are ignored. A string holding
// an escaped NUL is cut there. More than kMetaSizeLimit bytes, or nesting
// beyond kMetaDepthLimit, is refused unread. Never throws; the memory used
// is bounded by the size limit.
StyleMeta ParseStyleMeta(const void* bytes, std::size_t length) noexcept;

// "version" as the record stores it: the low 32 bits (two's complement) of
// the integer, truncated toward zero first when the number has a fraction.
// Exact for every finite double, however large (1e300 gives 0).
int32_t VersionFromDouble(double value) noexcept;
int32_t VersionFromInteger(int64_t value) noexcept;
int32_t VersionFromUnsigned(uint64_t value) noexcept;
