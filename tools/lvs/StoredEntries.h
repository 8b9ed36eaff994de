// A package's "meta" and "prv" entries as stored (decrypted and inflated,
// byte for byte), read by the plug-in's own package reader: what unpack
// writes out and what pack --from starts from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Problems.h"

namespace lvs {

struct StoredEntries {
  std::optional<std::vector<uint8_t>> meta, preview;  // none: it could not be read
  std::vector<Problem> problems;                      // why not, in check's words
};

// Entries up to the preview's ceiling are read, whatever the plug-in itself
// reads of "meta"; an empty entry is read as empty.
StoredEntries ReadStoredEntries(const std::string& path);

}  // namespace lvs
