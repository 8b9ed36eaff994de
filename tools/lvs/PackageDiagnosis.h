// Why a style package would not import, or would show the fallback picture,
// each reason with its code and severity and told in a sentence a package
// author understands. Built on the same pure libraries the plug-in uses
// (the package reader, the metadata parser, the decoder), whose findings are
// only worded here: one reader object per package (StylePackage) lists,
// locates and reads its entries, and names why one cannot be read. The
// verdict itself comes from the module (PackageCheck.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Problems.h"
#include "StyleMeta.h"
#include "StylePackage.h"

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

// The entries as the plug-in's reader lists them; names as long as
// recorded, whatever bytes they hold.
PackageListing ListEntries(const StylePackage& package);

// Problems with the file as a whole (missing, a folder, not a zip archive,
// not named .lvs); `package` is the file at `path` as the reader opened it.
// Fills *listing when the archive opened.
std::vector<Problem> DiagnoseFile(const std::string& path, const StylePackage& package, PackageListing* listing);

// Problems with the "meta" entry: absent or misnamed, unreadable (another
// password, damaged), not JSON, not an object, keys missing or of the wrong
// type. *meta (when given) receives what the parser made of the entry, when
// it could be read.
std::vector<Problem> DiagnoseMeta(const StylePackage& package, const PackageListing& listing,
                                  StyleMeta* meta = nullptr);

// Problems with the "prv" entry: absent or misnamed, unreadable (another
// password, damaged), not a JPEG, a JPEG feature the decoder refuses, the
// wrong size.
std::vector<Problem> DiagnosePreview(const StylePackage& package, const PackageListing& listing);

// The problems the decoder finds in a preview's bytes, decoded as the draw
// decodes them.
std::vector<Problem> DiagnosePreviewBytes(const std::vector<uint8_t>& bytes);

// Whether the host offers the file as a style package, by its name.
bool HasPackageExtension(const std::string& path);

// The problems the metadata parser found in a text.
std::vector<Problem> DiagnoseMetaText(const StyleMeta& meta);

}  // namespace lvs
