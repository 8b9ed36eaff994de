// The options record of one imported style package, kept by the host in a
// memory handle attached to the footage and stored byte for byte in
// projects. Its layout is therefore a file format: nothing here may move.
#pragma once

#include <cstddef>

#include "LVS_HostSDK.h"

enum : A_u_long {
  kOptionsRecordSize = 1408,
  kOptionsPathSize = 260,  // 259 bytes of UTF-8 and the NUL
  kOptionsTextSize = 255,  // 254 bytes of UTF-8 and the NUL
};

struct LVS_Options {
  A_char path[kOptionsPathSize];
  A_char name[kOptionsTextSize];
  A_char hash[kOptionsTextSize];  // note: before author on disk
  A_char author[kOptionsTextSize];
  A_char spare[kOptionsTextSize];  // always empty
  A_long version;                  // little-endian on disk, as in memory on our targets
  A_u_char reserved[124];          // always 0
};
static_assert(sizeof(LVS_Options) == kOptionsRecordSize, "LVS_Options is 1408 bytes");
static_assert(offsetof(LVS_Options, path) == 0, "LVS_Options path");
static_assert(offsetof(LVS_Options, name) == 260, "LVS_Options name");
static_assert(offsetof(LVS_Options, hash) == 515, "LVS_Options hash");
static_assert(offsetof(LVS_Options, author) == 770, "LVS_Options author");
static_assert(offsetof(LVS_Options, spare) == 1025, "LVS_Options spare");
static_assert(offsetof(LVS_Options, version) == 1280, "LVS_Options version");
static_assert(offsetof(LVS_Options, reserved) == 1284, "LVS_Options reserved");
static_assert(sizeof(LVS_Options::reserved) == 124, "LVS_Options reserved size");
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the stored version is little-endian");

// Empties the five texts (a NUL at the start of each) and zeroes version;
// every other byte stays as it is. Always 0.
A_Err lvs_InitInOptions(AEIO_InData* basic_dataP, LVS_Options* optionsP);

// Writes text into a field of fieldSize bytes, NUL-terminated. A text that
// does not fit is cut after the last whole UTF-8 character that does, so the
// field never ends inside a character. Returns false when it was cut.
bool SetOptionsText(A_char* field, std::size_t fieldSize, const char* text, std::size_t length);
