// What a style package is, written once for everything that reads, writes,
// draws or checks one: the module, lvs, make_lvs, the tests and the
// benchmarks. Host-free.
#pragma once

#include <cstdint>

// The module's name, the packages' file type and extension: set in CMake,
// which also writes the macOS bundle's files from them.
#include "ModuleIdentity.h"

// Every package is footage of this size, and only a preview of exactly this
// size is shown; any other draws the fallback picture.
constexpr int32_t kStyleWidth = 1280;
constexpr int32_t kStyleHeight = 720;

// The two entries of a package, named exactly so (byte for byte).
constexpr char kMetaEntryName[] = "meta";
constexpr char kPreviewEntryName[] = "prv";

// Entries may be encrypted with the traditional PKWARE cipher under this one
// password.
constexpr char kPackagePassword[] = "Hq4$Tw8mB!r2Kd6^Lp9*Vz3#Nc7Ey5Gs";

// The zip general-purpose flag bits and compression methods a package's
// entries are judged by.
constexpr uint32_t kZipFlagEncrypted = 1u << 0;
constexpr uint32_t kZipFlagDataDescriptor = 1u << 3;
constexpr uint32_t kZipFlagStrongEncryption = 1u << 6;
constexpr uint32_t kZipMethodStored = 0;
constexpr uint32_t kZipMethodDeflated = 8;
constexpr uint32_t kZipMethodAes = 99;  // WinZip AES: named by lvs, never read
