// Why a style package would not import, or would show the fallback picture,
// told in sentences a package author understands. Built on the same pure
// libraries the plug-in uses (package reading, metadata parsing, the
// decoder, listing entries with its zip reader); the verdict itself comes from
// the module (see CheckCommand.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "StyleMeta.h"

namespace lvs {

struct ListedEntry {
  std::string name;
  uint32_t flags = 0;
  uint32_t method = 0;
  uint64_t size = 0;
};

struct PackageListing {
  bool opened = false;   // the zip archive could be opened
  bool damaged = false;  // its directory breaks off before the last entry
  std::vector<ListedEntry> entries;
};

// Problems with the file as a whole (missing, a folder, not a zip archive,
// not named .lvs). Fills *listing when the archive opens.
std::vector<std::string> DiagnoseFile(const std::string& path, PackageListing* listing);

// Problems with the "meta" entry: absent or misnamed, unreadable, not JSON,
// not an object, keys missing or of the wrong type.
std::vector<std::string> DiagnoseMeta(const std::string& path, const PackageListing& listing);

// Problems with the "prv" entry: absent or misnamed, unreadable (wrong
// password), not a JPEG, a JPEG feature the decoder refuses, the wrong size.
std::vector<std::string> DiagnosePreview(const std::string& path, const PackageListing& listing);

// The problems the metadata parser found in a text, as sentences.
std::vector<std::string> DiagnoseMetaText(const StyleMeta& meta);

}  // namespace lvs
