// Why a style package would not import, or would show the fallback picture,
// each reason with its code and severity and told in a sentence a package
// author understands. Built on the same pure libraries the plug-in uses
// (package reading, metadata parsing, the decoder, listing entries with its
// zip reader); the verdict itself comes from the module (PackageCheck.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Problems.h"
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
std::vector<Problem> DiagnoseFile(const std::string& path, PackageListing* listing);

// Problems with the "meta" entry: absent or misnamed, unreadable, not JSON,
// not an object, keys missing or of the wrong type.
std::vector<Problem> DiagnoseMeta(const std::string& path, const PackageListing& listing);

// Problems with the "prv" entry: absent or misnamed, unreadable (wrong
// password), not a JPEG, a JPEG feature the decoder refuses, the wrong size.
std::vector<Problem> DiagnosePreview(const std::string& path, const PackageListing& listing);

// The problems the decoder finds in a preview's bytes, decoded as the draw
// decodes them.
std::vector<Problem> DiagnosePreviewBytes(const std::vector<uint8_t>& bytes);

// Whether the host offers the file as a style package, by its name.
bool HasPackageExtension(const std::string& path);

// The problems the metadata parser found in a text.
std::vector<Problem> DiagnoseMetaText(const StyleMeta& meta);

}  // namespace lvs
