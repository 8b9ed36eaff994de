// Reading entries of a style package: a zip archive whose entries may be
// stored or deflated, plain or under the traditional PKWARE cipher with the
// package password.
//
// Each call opens the archive, does its work and closes it again; nothing is
// kept between calls. Neither function throws: failures are return values.
#pragma once

#include <cstddef>
#include <cstdint>

#include "StyleFormat.h"

// No entry larger than this is ever reported or read. A package holds a short
// JSON text and a preview-sized JPEG, so a larger recorded size can only come
// from a damaged or hostile file, and must not make a caller allocate it.
constexpr int32_t kEntrySizeCeiling = 64 * 1024 * 1024;

constexpr int32_t kReadFileFailed = -3000;

// The uncompressed length of the entry named exactly (byte for byte,
// case-sensitively) `entryName`, or 0 when it cannot be determined: missing
// or unreadable archive, no such entry, or a recorded size above
// kEntrySizeCeiling. Needs no password: encrypted entries report their size.
int32_t LVS_GetFileSize(const char* archivePath, const char* entryName) noexcept;

// Writes the plain bytes of the entry to `destination` and returns 0, or
// returns kReadFileFailed (-3000). Fails when the entry is missing, larger
// than `capacity` or kEntrySizeCeiling, neither stored nor deflated, under any
// cipher but the traditional one, yields a byte count other than its recorded
// size, or fails its CRC-32 check (which is also how a wrong password shows).
// Never writes more than min(capacity, recorded size) bytes; after a failure
// the destination may hold a partial prefix.
int32_t LVS_ReadFile(const char* archivePath, const char* entryName, void* destination, std::size_t capacity) noexcept;
