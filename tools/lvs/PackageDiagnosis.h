// Why a style package would not import, or what its record loses, each
// reason with its code and told in a sentence a package author understands.
// Built on the same pure libraries the plug-in uses (the package reader, the
// metadata parser, the text codec), whose findings are only worded here: one
// reader object per package (StylePackage) lists, locates and reads its
// entries, and names why one cannot be read. The preview's decoding is
// PreviewDiagnosis.h's; the verdict itself is PackageCheck.h's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Problems.h"
#include "StyleMeta.h"
#include "StyleOptions.h"
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

// Problems with the path the host hands the plug-in (HostPath): text the
// host cannot hold, or longer than the record keeps. Found by the same
// conversions as the path takes to the plug-in and into its record.
std::vector<Problem> DiagnosePath(const std::string& hostPath);

// Problems with the "meta" entry: absent or misnamed, unreadable (another
// password, damaged), not JSON, not an object, keys missing or of the wrong
// type. *meta (when given) receives what the parser made of the entry, when
// it could be read.
std::vector<Problem> DiagnoseMeta(const StylePackage& package, const PackageListing& listing,
                                  StyleMeta* meta = nullptr);

// The problems the metadata parser found in a text.
std::vector<Problem> DiagnoseMetaText(const StyleMeta& meta);

// What the record keeps of the metadata less than the metadata holds.
std::vector<Problem> DiagnoseRecord(const StylePackage& package, const PackageListing& listing,
                                    const LVS_Options& record);

// The "prv" entry's plain bytes, or the problems that keep the plug-in from
// reading them (absent or misnamed, another password, damaged...).
bool ReadPreviewEntry(const StylePackage& package, const PackageListing& listing, std::vector<uint8_t>* bytes,
                      std::vector<Problem>* problems);

// The "meta" entry's plain bytes, up to `limit`, or the problems that keep
// them from being read (the codes of a "meta" the plug-in cannot read).
bool ReadMetaEntry(const StylePackage& package, const PackageListing& listing, uint64_t limit,
                   std::vector<uint8_t>* bytes, std::vector<Problem>* problems);

// Whether the host offers the file as a style package, by its name.
bool HasPackageExtension(const std::string& path);

}  // namespace lvs
