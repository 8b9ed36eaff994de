#include "StoredEntries.h"

#include "PackageDiagnosis.h"
#include "StylePackage.h"

namespace lvs {
namespace {

using EntryReader = bool (*)(const StylePackage&, const PackageListing&, std::vector<uint8_t>*, std::vector<Problem>*);

bool ReadMeta(const StylePackage& package, const PackageListing& listing, std::vector<uint8_t>* bytes,
              std::vector<Problem>* problems) {
  return ReadMetaEntry(package, listing, uint64_t(kEntrySizeCeiling), bytes, problems);
}

// The reader refuses an empty entry as naming nothing; stored, it is simply
// empty.
std::optional<std::vector<uint8_t>> ReadOne(const StylePackage& package, const PackageListing& listing,
                                            EntryReader read, Code empty, std::vector<Problem>* problems) {
  std::vector<uint8_t> bytes;
  std::vector<Problem> found;
  if (read(package, listing, &bytes, &found)) return bytes;
  if (found.size() == 1 && found[0].code == empty) return std::vector<uint8_t>();
  problems->insert(problems->end(), found.begin(), found.end());
  return std::nullopt;
}

}  // namespace

StoredEntries ReadStoredEntries(const std::string& path) {
  StoredEntries entries;
  const StylePackage package(path.c_str());
  PackageListing listing;
  std::vector<Problem> fileProblems = DiagnoseFile(path, package, &listing);
  // Its name and the like matter to the host, not to reading what it holds.
  if (!listing.opened) {
    entries.problems = std::move(fileProblems);
    return entries;
  }
  entries.meta = ReadOne(package, listing, ReadMeta, Code::MetaEmpty, &entries.problems);
  entries.preview = ReadOne(package, listing, ReadPreviewEntry, Code::PrvEmpty, &entries.problems);
  return entries;
}

}  // namespace lvs
