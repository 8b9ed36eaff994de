// The structure of a zip archive: its end records, its central directory
// and an entry's local header, read with a few positioned reads of the file.
// Decryption and decompression are the caller's.
//
// Every amount of work is bounded before it is done: the end record is
// looked for in the last 22 + 65,535 bytes only (the largest comment), the
// central directory is read whole in one go and may hold at most
// kMaxArchiveEntries entries in at most kMaxDirectoryBytes, and a file that
// is not a regular file (a FIFO, a device, a socket, a folder) is refused
// before it is opened for reading, so that nothing can block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "PackageFile.h"

// A style package holds two entries; archivers add a few of their own
// (folders, resource forks, thumbnails). A thousand is far beyond any real
// package and keeps a search through the directory to a few microseconds.
constexpr std::uint64_t kMaxArchiveEntries = 1024;
// Room for kMaxArchiveEntries headers with names of about a kilobyte each.
constexpr std::uint64_t kMaxDirectoryBytes = 1024 * 1024;

struct EntryInfo {
  std::string_view name;  // the stored name, as long as recorded; valid while the archive is open
  std::uint32_t flags = 0;
  std::uint32_t method = 0;
  std::uint32_t crc = 0;
  std::uint64_t compressedSize = 0;  // raw bytes, including any cipher header
  std::uint64_t uncompressedSize = 0;
  std::uint64_t localHeaderOffset = 0;
};

// What an entry's local header adds to its directory record: where its raw
// bytes start, and the flags and time that the writer put beside them (the
// cipher header's check byte is taken from one or the other).
struct LocalHeader {
  std::uint64_t dataOffset = 0;
  std::uint32_t flags = 0;
  std::uint32_t modTime = 0;  // DOS time: hours, minutes, seconds / 2
};

// Why an archive did not open.
enum class ZipProblem {
  None,
  NotARegularFile,    // missing, a folder, a FIFO, a device, a socket
  Unreadable,         // no permission, a read failed, or no memory for the directory
  NoEndRecord,        // not a zip archive, or cut short
  Spanned,            // split over several files
  TooManyEntries,     // more than kMaxArchiveEntries
  DirectoryTooLarge,  // more than kMaxDirectoryBytes
  DirectoryOutside,   // the directory's recorded place is not inside the file
};

// A place in the directory: the next record's offset and number.
struct DirectoryCursor {
  std::size_t offset = 0;
  std::uint64_t index = 0;
};

class ZipArchive {
 public:
  explicit ZipArchive(const char* path) noexcept;  // check IsOpen()
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  bool IsOpen() const { return file_.IsOpen(); }
  ZipProblem Problem() const { return problem_; }

  // Entries in directory order, from a cursor that starts out empty. False
  // after the last entry, and at a damaged record (then Damaged() holds).
  bool NextEntry(DirectoryCursor* cursor, EntryInfo* info) const;
  bool Damaged() const { return damaged_; }

  // The first entry whose stored name is exactly `name`: the same length
  // and the same bytes, so that "meta\0x" is not "meta".
  bool Locate(std::string_view name, EntryInfo* info) const;

  // Checks the entry's local header against its directory record and
  // gives where its raw bytes start; they lie wholly inside the file.
  bool DataStart(const EntryInfo& info, LocalHeader* local) const;

  // Exactly `count` bytes from `offset` of the file.
  bool ReadAt(std::uint64_t offset, void* destination, std::size_t count) const;

  // Closes now, to learn whether closing succeeded; the destructor closes
  // otherwise.
  bool Close();

 private:
  bool Open(const char* path);
  bool ReadEndRecords();
  bool UseEndRecord(const std::uint8_t* tail, std::uint64_t tailStart, std::uint64_t at);

  PackageFile file_;
  std::uint64_t fileSize_ = 0;
  std::uint64_t base_ = 0;  // bytes in front of the archive proper (self-extractor stubs)
  std::uint64_t entryCount_ = 0;
  std::vector<std::uint8_t> directory_;
  ZipProblem problem_ = ZipProblem::None;
  mutable bool damaged_ = false;
};
