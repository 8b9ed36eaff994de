// Reading entries of a style package: a zip archive whose entries may be
// stored or deflated, plain or under the traditional PKWARE cipher with the
// package password.
//
// A StylePackage opens its archive once and keeps it open for its own life:
// the directory is read once, then entries are located and read from it.
// Every answer carries an EntryStatus that names its cause, so that callers
// (the module's callbacks, lvs) never work the reasons out again.
// LVS_GetFileSize and LVS_ReadFile are the same reading, one open per call.
// Nothing here throws: failures are return values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include <zlib.h>

#include "StyleFormat.h"
#include "ZipCrypto.h"
#include "ZipReader.h"

// No entry larger than this is ever reported or read; it is the preview's
// ceiling. The largest preview a real package needs, a 1280 x 720 baseline
// JPEG at quality 100 without chroma subsampling, is up to 1.1 MB for a
// photograph (3.8 MB even for pure noise); EXIF and XMP add at most 64 KiB
// each, an ICC profile rarely half a megabyte: some 1.8 MB in all, well
// under this. And a frame must stay cheap whatever the entry holds: one of
// this size behind as many blocks that deliver nothing as RawBytesBound
// lets it have costs inflate about 0.25 s, half the frame's bound (at
// 8 MiB, nearly all of it).
constexpr int32_t kEntrySizeCeiling = 4 * 1024 * 1024;

constexpr int32_t kReadFileFailed = -3000;

// What became of locating or reading an entry. The names below are stable:
// lvs maps each to its problem codes.
enum class EntryStatus {
  Ok,
  Unreadable,         // the file is missing, no regular file or no zip archive, or reading it failed
  Missing,            // no entry of exactly that name (or the directory breaks off before it)
  TooLarge,           // larger than kEntrySizeCeiling, or than the buffer it was to be read into
  UnsupportedMethod,  // compressed by a method other than store or deflate
  StrongEncryption,   // encrypted with AES or PKWARE's strong encryption
  WrongPassword,      // its bytes do not check, and its cipher header says another password
  Damaged,            // inflate or the CRC-32 fails, or its sizes or local header do not fit
  OutOfMemory,        // the reader's own buffers could not be had
};

// "ok", "unreadable", "missing", "too-large", "method", "strong-encryption",
// "wrong-password", "damaged", "out-of-memory".
const char* EntryStatusName(EntryStatus status);

// The most raw bytes (cipher header included) that an entry of `size` plain
// bytes can need. For deflate this is zlib's bound for any of its settings,
// n + n/8 + n/64 + 5: above deflate's worst case, stored blocks (5 bytes
// for each 65,535), and above an encoder that uses fixed codes only (9 bits
// a byte at worst). Anything beyond delivers nothing: it can only be padding
// (blocks that hold no data), which would cost inflate time for no bytes.
uint64_t RawBytesBound(uint32_t method, bool encrypted, uint64_t size);

// An entry as the directory records it, and what the record alone says of
// whether it can be read.
struct PackageEntry {
  EntryStatus status = EntryStatus::Missing;
  EntryInfo info;  // the directory record, when one was found

  // The length LVS_GetFileSize reports: the recorded size of an entry that
  // is there and within the ceiling, else 0. Entries that will fail to read
  // (another method, the wrong password) still report their size.
  int32_t Length() const;
};

class StylePackage {
 public:
  explicit StylePackage(const char* path) noexcept;  // a null path opens nothing
  StylePackage(const StylePackage&) = delete;
  StylePackage& operator=(const StylePackage&) = delete;

  bool IsOpen() const { return archive_.IsOpen(); }
  ZipProblem Problem() const { return archive_.Problem(); }
  // For listing entries (lvs); the reading itself goes through Locate.
  const ZipArchive& Archive() const { return archive_; }

  // The entry named exactly `name` (byte for byte, case-sensitively).
  PackageEntry Locate(std::string_view name) const noexcept;

  // Writes the entry's plain bytes to `destination` and checks its CRC-32.
  // Refuses (TooLarge) an entry larger than `capacity`; never writes more
  // than the recorded size. After a failure the destination may hold a
  // partial prefix.
  EntryStatus Read(const PackageEntry& entry, void* destination, std::size_t capacity) const noexcept;

  // Closes now, to learn whether closing succeeded; the destructor closes
  // otherwise.
  bool Close() { return archive_.Close(); }

 private:
  ZipArchive archive_;
};

// An entry's plain bytes in order, in pieces of any size: raw bytes are read,
// decrypted and inflated only as far as the pieces asked for need. Finish
// reads what was left unread and checks the CRC-32; only then is a read
// known to be good. Lives within the life of its package.
//
// Raw bytes are read ahead into a buffer of the stream's own and decrypted
// only when inflate (or, for a stored entry, the copy) reaches them, so
// that a caller with serial work of its own may decrypt the bytes read
// ahead itself, a byte at a time between its own steps (the cipher's chain
// and the caller's then run side by side): see Ahead.
class EntryStream {
 public:
  EntryStream(const StylePackage& package, const PackageEntry& entry) noexcept;
  ~EntryStream();
  EntryStream(const EntryStream&) = delete;
  EntryStream& operator=(const EntryStream&) = delete;

  // Up to `count` further bytes; fewer only at the end of the entry (its
  // recorded size) or after a failure, which Status() then names.
  std::size_t Read(void* destination, std::size_t count) noexcept { return Read(destination, count, count); }

  // At least `atLeast` further bytes as Read gives them, and beyond those,
  // up to `atMost`, as many as the raw bytes already decrypted give: a
  // caller that decrypts ahead is never overtaken by more than it asked.
  std::size_t Read(void* destination, std::size_t atLeast, std::size_t atMost) noexcept;

  // The entry's status once all of it is read: Ok only when it ends where
  // its size says and its CRC-32 matches.
  EntryStatus Finish() noexcept;

  EntryStatus Status() const { return status_; }
  // The entry's plain size, as recorded.
  std::uint64_t Size() const { return size_; }

  // The raw bytes read ahead and not yet decrypted, [next, end), and the
  // keys that decrypt `next`. A caller may decrypt from `next` on, in place
  // (ZipCryptoKeys::DecryptOne), advancing `next` and the keys as it goes;
  // the stream finds those bytes done. The span may move at every Read
  // (the stream keeps it up to date) and never changes between them.
  struct Ahead {
    std::uint8_t* next = nullptr;
    std::uint8_t* end = nullptr;
    ZipCryptoKeys keys{""};
  };
  // Null for an entry that is not encrypted, or that failed to start. A
  // caller that means to decrypt ahead asks before its first Read: from then
  // on the stream keeps the span full and decrypts only a little itself
  // whenever inflate or the copy catches up, where a stream read alone
  // decrypts all it has read at once.
  Ahead* DecryptAhead() {
    if (!encrypted_ || status_ != EntryStatus::Ok) return nullptr;
    lent_ = true;
    return &ahead_;
  }

 private:
  bool Begin(const ZipArchive& archive, const EntryInfo& info);
  std::size_t Inflate(std::uint8_t* out, std::size_t atLeast, std::size_t atMost);
  std::size_t Copy(std::uint8_t* out, std::size_t atLeast, std::size_t atMost);
  bool InflateToEnd();
  bool Supply();
  bool TopUp();
  std::size_t Ready() const { return static_cast<std::size_t>(ahead_.next - (chunk_ + taken_)); }
  void Fail();

  const ZipArchive* archive_ = nullptr;
  EntryStatus status_ = EntryStatus::Ok;
  bool deflated_ = false, encrypted_ = false;
  std::uint64_t size_ = 0, delivered_ = 0;
  std::uint32_t expectedCrc_ = 0, crc_ = 0;
  std::uint64_t offset_ = 0, rawLeft_ = 0;  // the raw bytes not yet read from the file
  bool headerChecks_ = true;                // the cipher header's check byte is as the writer set it
  // chunk_[0, taken_): used; [taken_, ahead_.next): decrypted, for inflate
  // or the copy; ahead_: read, not yet decrypted (empty for plain entries).
  std::uint8_t* chunk_ = nullptr;
  std::size_t capacity_ = 0, taken_ = 0;
  Ahead ahead_;
  bool lent_ = false;  // a caller decrypts ahead
  z_stream inflate_{};
  bool inflating_ = false, ended_ = false;
};

// The uncompressed length of the entry named exactly (byte for byte,
// case-sensitively) `entryName`, or 0 when it cannot be determined: missing
// or unreadable archive, no such entry, or a recorded size above
// kEntrySizeCeiling. Needs no password: encrypted entries report their size.
int32_t LVS_GetFileSize(const char* archivePath, const char* entryName) noexcept;

// Writes the plain bytes of the entry to `destination` and returns 0, or
// returns kReadFileFailed (-3000) for any status but Ok, or when the archive
// fails to close. Never writes more than min(capacity, recorded size)
// bytes; after a failure the destination may hold a partial prefix.
int32_t LVS_ReadFile(const char* archivePath, const char* entryName, void* destination, std::size_t capacity) noexcept;
