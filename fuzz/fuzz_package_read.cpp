// Reading entries from arbitrary bytes taken as a package file: sizes, and
// reads into buffers of exactly, less than and more than the recorded size,
// for both entry names. A read must never write past its capacity or the
// recorded size, and must agree with itself across capacities; the reader
// object must agree with the two functions, and an entry read in pieces
// with the entry read whole.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "StylePackage.h"

namespace {

constexpr uint8_t kCanary = 0xC3;
constexpr size_t kSlack = 19;

// A heap block of exactly `capacity` bytes, so AddressSanitizer sees any
// write past it. Only the bytes from `canaryFrom` on are set to the canary:
// a recorded size may be tens of megabytes, and filling it all for every
// input would make the run crawl.
struct Buffer {
  explicit Buffer(size_t capacity, size_t canaryFrom = SIZE_MAX)
      : bytes(new uint8_t[capacity ? capacity : 1]), size(capacity) {
    if (canaryFrom < size) std::memset(bytes.get() + canaryFrom, kCanary, size - canaryFrom);
  }
  std::unique_ptr<uint8_t[]> bytes;
  size_t size;
};

void CheckEntry(const std::string& path, const char* name) {
  const int32_t size = LVS_GetFileSize(path.c_str(), name);
  lvs_fuzz::Require(size >= 0 && size <= kEntrySizeCeiling, "entry size out of range");
  const size_t n = static_cast<size_t>(size);

  Buffer exact(n);
  const int32_t exactResult = LVS_ReadFile(path.c_str(), name, exact.bytes.get(), exact.size);
  lvs_fuzz::Require(exactResult == 0 || exactResult == kReadFileFailed, "read result neither 0 nor -3000");

  Buffer larger(n + kSlack, n);
  const int32_t largerResult = LVS_ReadFile(path.c_str(), name, larger.bytes.get(), larger.size);
  lvs_fuzz::Require(largerResult == 0 || largerResult == kReadFileFailed, "read result neither 0 nor -3000");
  for (size_t i = n; i < larger.size; ++i)
    lvs_fuzz::Require(larger.bytes[i] == kCanary, "read wrote past the entry's recorded size");
  // A size of 0 also stands for "cannot be determined", so only a real size
  // ties the two reads together.
  if (n > 0) {
    lvs_fuzz::Require(exactResult == largerResult, "reads with room to spare and without disagree");
    if (exactResult == 0)
      lvs_fuzz::Require(std::memcmp(exact.bytes.get(), larger.bytes.get(), n) == 0, "two reads gave different bytes");
  }

  if (n > 0) {
    Buffer smaller(n - 1);
    const int32_t smallerResult = LVS_ReadFile(path.c_str(), name, smaller.bytes.get(), smaller.size);
    lvs_fuzz::Require(smallerResult == kReadFileFailed, "a read into too small a buffer succeeded");
  }
}

// Pieces of 1 to 256 bytes, as the input's last byte says.
void CheckPieces(const std::string& path, const char* name, size_t piece) {
  const StylePackage package(path.c_str());
  const PackageEntry entry = package.Locate(name);
  lvs_fuzz::Require(entry.Length() == LVS_GetFileSize(path.c_str(), name), "the reader and LVS_GetFileSize disagree");
  if (entry.Length() <= 0) return;
  const size_t n = static_cast<size_t>(entry.Length());
  Buffer whole(n);
  const EntryStatus wholeStatus = package.Read(entry, whole.bytes.get(), whole.size);
  lvs_fuzz::Require((wholeStatus == EntryStatus::Ok) == (LVS_ReadFile(path.c_str(), name, whole.bytes.get(), n) == 0),
                    "the reader and LVS_ReadFile disagree");

  Buffer pieces(n);
  EntryStream stream(package, entry);
  size_t got = 0;
  for (size_t k; (k = stream.Read(pieces.bytes.get() + got, std::min(piece, n - got))) > 0;) {
    got += k;
    lvs_fuzz::Require(got <= n, "pieces went past the recorded size");
  }
  const EntryStatus piecesStatus = stream.Finish();
  lvs_fuzz::Require(piecesStatus == wholeStatus, "pieces and the whole end differently");
  if (piecesStatus == EntryStatus::Ok)
    lvs_fuzz::Require(got == n && std::memcmp(pieces.bytes.get(), whole.bytes.get(), n) == 0,
                      "pieces and the whole gave different bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static lvs_fuzz::ScratchFile file("lvs_fuzz_package");
  file.Write(data, size);
  CheckEntry(file.Path(), kMetaEntryName);
  CheckEntry(file.Path(), kPreviewEntryName);
  const size_t piece = size > 0 ? size_t(data[size - 1]) + 1 : 1;
  CheckPieces(file.Path(), kMetaEntryName, piece);
  CheckPieces(file.Path(), kPreviewEntryName, piece);
  return 0;
}
