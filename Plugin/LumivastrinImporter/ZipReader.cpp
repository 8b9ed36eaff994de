#include "ZipReader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "StyleFormat.h"

namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;

constexpr std::size_t kEndSize = 22;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kLargestComment = 0xffff;

constexpr std::uint32_t kZip64Marker32 = 0xffffffffu;
constexpr std::uint16_t kZip64ExtraId = 0x0001;

// Most packages end in a directory of a hundred bytes and no comment: one
// read of this much from the end finds the end record and the directory.
constexpr std::size_t kFirstTailRead = 8 * 1024;

std::uint64_t Le(const std::uint8_t* p, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}
std::uint32_t Le16(const std::uint8_t* p) { return static_cast<std::uint32_t>(Le(p, 2)); }
std::uint32_t Le32(const std::uint8_t* p) { return static_cast<std::uint32_t>(Le(p, 4)); }
std::uint64_t Le64(const std::uint8_t* p) { return Le(p, 8); }

// Sizes and the header offset that the 32-bit fields leave to the zip64
// extra field, in the order the format gives them, each only where its
// field holds the marker. A marked field that the extra field does not
// fill is damage: the marker is no size.
bool ApplyZip64Extra(const std::uint8_t* extra, std::size_t length, EntryInfo* info) {
  std::uint64_t* const fields[] = {&info->uncompressedSize, &info->compressedSize, &info->localHeaderOffset};
  bool marked = false;
  for (std::uint64_t* value : fields) marked = marked || *value == kZip64Marker32;
  if (!marked) return true;
  std::size_t pos = 0;
  while (pos + 4 <= length) {
    const std::uint32_t id = Le16(extra + pos);
    const std::size_t size = Le16(extra + pos + 2);
    const std::size_t end = pos + 4 + size;
    if (end > length) return false;
    if (id == kZip64ExtraId) {
      std::size_t field = pos + 4;
      for (std::uint64_t* value : fields) {
        if (*value != kZip64Marker32) continue;
        if (field + 8 > end) return false;
        *value = Le64(extra + field);
        field += 8;
      }
      return true;
    }
    pos = end;
  }
  return false;
}

}  // namespace

ZipArchive::ZipArchive(const char* path) noexcept {
  if (path == nullptr) problem_ = ZipProblem::NotARegularFile;
  try {
    if (path == nullptr || !Open(path) || !ReadEndRecords()) Close();
  } catch (const std::bad_alloc&) {
    // The end's window and the directory are the only allocations; the file
    // must not stay open behind an archive that failed.
    Close();
    problem_ = ZipProblem::Unreadable;
  }
}

ZipArchive::~ZipArchive() { Close(); }

bool ZipArchive::Close() {
  directory_.clear();
  return file_.Close();
}

bool ZipArchive::Open(const char* path) {
  switch (file_.Open(path)) {
    case PackageFile::Opened::Yes:
      problem_ = ZipProblem::None;
      fileSize_ = file_.Size();
      return true;
    case PackageFile::Opened::NotARegularFile:
      problem_ = ZipProblem::NotARegularFile;
      return false;
    case PackageFile::Opened::Unreadable:
      break;
  }
  problem_ = ZipProblem::Unreadable;
  return false;
}

bool ZipArchive::ReadEndRecords() {
  problem_ = ZipProblem::NoEndRecord;
  if (fileSize_ < kEndSize) return false;
  // The end record sits in the last 22 + 65,535 bytes; the zip64 locator,
  // if any, right in front of it.
  const std::uint64_t window = std::min<std::uint64_t>(fileSize_, kEndSize + kLargestComment + kZip64LocatorSize);
  std::vector<std::uint8_t> tail;
  for (std::uint64_t want = std::min<std::uint64_t>(window, kFirstTailRead);; want = window) {
    const std::uint64_t start = fileSize_ - want;
    tail.resize(static_cast<std::size_t>(want));
    if (!file_.ReadAt(start, tail.data(), tail.size())) {
      problem_ = ZipProblem::Unreadable;
      return false;
    }
    // The record whose comment reaches exactly to the end of the file is
    // the real one; a signature inside a comment is not. Failing that,
    // the last signature, as archivers that append bytes leave it.
    std::uint64_t loose = UINT64_MAX;
    for (std::uint64_t at = want - kEndSize + 1; at-- > 0;) {
      const std::uint8_t* p = tail.data() + at;
      if (Le32(p) != kEndSignature) continue;
      if (start + at + kEndSize + Le16(p + 20) == fileSize_) return UseEndRecord(tail.data(), start, at);
      if (loose == UINT64_MAX) loose = at;
    }
    if (want == window) return loose != UINT64_MAX && UseEndRecord(tail.data(), start, loose);
  }
}

// `at` is the end record's place in `tail`, which holds the file from
// `tailStart` on.
bool ZipArchive::UseEndRecord(const std::uint8_t* tail, std::uint64_t tailStart, std::uint64_t at) {
  const std::uint8_t* end = tail + at;
  const std::uint64_t endPos = tailStart + at;
  std::uint64_t disk = Le16(end + 4), directoryDisk = Le16(end + 6);
  std::uint64_t diskEntries = Le16(end + 8), entries = Le16(end + 10);
  std::uint64_t size = Le32(end + 12), offset = Le32(end + 16);
  std::uint64_t recordPos = endPos;

  // A zip64 end record, found through its locator, replaces every field.
  std::uint8_t locator[kZip64LocatorSize];
  std::uint8_t record[kZip64EndSize];
  if (endPos >= kZip64LocatorSize + kZip64EndSize &&
      file_.ReadAt(endPos - kZip64LocatorSize, locator, sizeof locator) && Le32(locator) == kZip64LocatorSignature) {
    const std::uint64_t pos = Le64(locator + 8);
    if (pos <= endPos - kZip64LocatorSize - kZip64EndSize && file_.ReadAt(pos, record, sizeof record) &&
        Le32(record) == kZip64EndSignature) {
      disk = Le32(record + 16);
      directoryDisk = Le32(record + 20);
      diskEntries = Le64(record + 24);
      entries = Le64(record + 32);
      size = Le64(record + 40);
      offset = Le64(record + 48);
      recordPos = pos;
    }
  }

  if (disk != 0 || directoryDisk != 0 || diskEntries != entries) {
    problem_ = ZipProblem::Spanned;
    return false;
  }
  if (entries > kMaxArchiveEntries) {
    problem_ = ZipProblem::TooManyEntries;
    return false;
  }
  if (size > kMaxDirectoryBytes) {
    problem_ = ZipProblem::DirectoryTooLarge;
    return false;
  }
  if (offset > recordPos || size > recordPos - offset) {
    problem_ = ZipProblem::DirectoryOutside;
    return false;
  }
  base_ = recordPos - offset - size;
  entryCount_ = entries;

  directory_.resize(static_cast<std::size_t>(size));
  const std::uint64_t directoryPos = base_ + offset;
  problem_ = ZipProblem::None;
  if (directoryPos >= tailStart) {
    // An empty directory has no bytes to copy (and no buffer to copy to).
    if (!directory_.empty()) std::memcpy(directory_.data(), tail + (directoryPos - tailStart), directory_.size());
    return true;
  }
  if (file_.ReadAt(directoryPos, directory_.data(), directory_.size())) return true;
  problem_ = ZipProblem::Unreadable;
  return false;
}

bool ZipArchive::NextEntry(DirectoryCursor* cursor, EntryInfo* info) const {
  const std::size_t at = cursor->offset;
  // The directory ends after the recorded number of entries, however many
  // bytes it has left.
  if (!file_.IsOpen() || cursor->index >= entryCount_) return false;
  const std::size_t available = at <= directory_.size() ? directory_.size() - at : 0;
  const std::uint8_t* p = directory_.data() + at;
  if (available < kCentralSize || Le32(p) != kCentralSignature) {
    damaged_ = true;
    return false;
  }
  const std::size_t nameLength = Le16(p + 28), extraLength = Le16(p + 30), commentLength = Le16(p + 32);
  const std::size_t recordSize = kCentralSize + nameLength + extraLength + commentLength;
  if (recordSize > available) {
    damaged_ = true;
    return false;
  }
  EntryInfo entry;
  entry.name = std::string_view(reinterpret_cast<const char*>(p + kCentralSize), nameLength);
  entry.flags = Le16(p + 8);
  entry.method = Le16(p + 10);
  entry.crc = Le32(p + 16);
  entry.compressedSize = Le32(p + 20);
  entry.uncompressedSize = Le32(p + 24);
  entry.localHeaderOffset = Le32(p + 42);
  if (!ApplyZip64Extra(p + kCentralSize + nameLength, extraLength, &entry)) {
    damaged_ = true;
    return false;
  }
  *info = entry;
  cursor->offset = at + recordSize;
  ++cursor->index;
  return true;
}

bool ZipArchive::Locate(std::string_view name, EntryInfo* info) const {
  DirectoryCursor cursor;
  EntryInfo entry;
  while (NextEntry(&cursor, &entry)) {
    if (entry.name == name) {
      *info = entry;
      return true;
    }
  }
  return false;
}

bool ZipArchive::DataStart(const EntryInfo& info, LocalHeader* header) const {
  std::uint8_t local[kLocalSize];
  if (!file_.IsOpen() || fileSize_ < kLocalSize || base_ > fileSize_ - kLocalSize ||
      info.localHeaderOffset > fileSize_ - kLocalSize - base_)
    return false;
  const std::uint64_t headerPos = base_ + info.localHeaderOffset;
  if (!file_.ReadAt(headerPos, local, sizeof local)) return false;
  if (Le32(local) != kLocalSignature || Le16(local + 8) != info.method) return false;
  // Sizes and CRC travel after the data when the local header says so;
  // zip64 headers mark their sizes and keep them in the extra field.
  if ((Le16(local + 6) & kZipFlagDataDescriptor) == 0) {
    if (Le32(local + 14) != info.crc) return false;
    const std::uint32_t compressed = Le32(local + 18), uncompressed = Le32(local + 22);
    if (compressed != kZip64Marker32 && compressed != info.compressedSize) return false;
    if (uncompressed != kZip64Marker32 && uncompressed != info.uncompressedSize) return false;
  }
  if (Le16(local + 26) != info.name.size()) return false;
  const std::uint64_t start = headerPos + kLocalSize + Le16(local + 26) + Le16(local + 28);
  if (start > fileSize_ || info.compressedSize > fileSize_ - start) return false;
  header->dataOffset = start;
  header->flags = Le16(local + 6);
  header->modTime = Le16(local + 10);
  return true;
}

bool ZipArchive::ReadAt(std::uint64_t offset, void* destination, std::size_t count) const {
  return file_.ReadAt(offset, destination, count);
}
