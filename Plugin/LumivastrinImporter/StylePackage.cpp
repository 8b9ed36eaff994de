#include "StylePackage.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Raw bytes read ahead: enough that inflate runs in long loops, and that a
// caller decrypting ahead finds work for a good while between two reads.
constexpr std::size_t kChunkSize = 64 * 1024;
// What the stream decrypts itself, when a caller decrypts ahead, whenever
// inflate or the copy has used up the decrypted bytes: little, so as to
// leave the rest to the caller, yet enough that inflate's cost per call is
// lost in it.
constexpr std::size_t kCatchUp = 512;
// What Finish reads an unread rest into, to check the CRC.
constexpr std::size_t kDrainSize = 4 * 1024;

// An entry's status as far as its directory record tells.
EntryStatus StatusOfRecord(const EntryInfo& info) {
  if ((info.flags & kZipFlagStrongEncryption) != 0 || info.method == kZipMethodAes)
    return EntryStatus::StrongEncryption;
  if (info.method != kZipMethodStored && info.method != kZipMethodDeflated) return EntryStatus::UnsupportedMethod;
  if (info.uncompressedSize > static_cast<std::uint64_t>(kEntrySizeCeiling)) return EntryStatus::TooLarge;
  const bool encrypted = (info.flags & kZipFlagEncrypted) != 0;
  const std::uint64_t header = encrypted ? ZipCryptoKeys::kHeaderSize : 0;
  // A stored entry's raw bytes are its plain bytes; a deflated one's raw
  // bytes beyond the bound would be read, decrypted and inflated for nothing.
  if (info.compressedSize < header) return EntryStatus::Damaged;
  if (info.method == kZipMethodStored && info.compressedSize != header + info.uncompressedSize)
    return EntryStatus::Damaged;
  if (info.compressedSize > RawBytesBound(info.method, encrypted, info.uncompressedSize)) return EntryStatus::Damaged;
  return EntryStatus::Ok;
}

}  // namespace

const char* EntryStatusName(EntryStatus status) {
  switch (status) {
    case EntryStatus::Ok:
      return "ok";
    case EntryStatus::Unreadable:
      return "unreadable";
    case EntryStatus::Missing:
      return "missing";
    case EntryStatus::TooLarge:
      return "too-large";
    case EntryStatus::UnsupportedMethod:
      return "method";
    case EntryStatus::StrongEncryption:
      return "strong-encryption";
    case EntryStatus::WrongPassword:
      return "wrong-password";
    case EntryStatus::Damaged:
      return "damaged";
    case EntryStatus::OutOfMemory:
      return "out-of-memory";
  }
  return "unknown";
}

uint64_t RawBytesBound(uint32_t method, bool encrypted, uint64_t size) {
  const std::uint64_t header = encrypted ? ZipCryptoKeys::kHeaderSize : 0;
  if (method != kZipMethodDeflated) return header + size;
  return header + size + (size + 7) / 8 + (size + 63) / 64 + 5;
}

int32_t PackageEntry::Length() const {
  if (status == EntryStatus::Missing || status == EntryStatus::Unreadable) return 0;
  if (info.uncompressedSize > static_cast<std::uint64_t>(kEntrySizeCeiling)) return 0;
  return static_cast<int32_t>(info.uncompressedSize);
}

StylePackage::StylePackage(const char* path) noexcept : archive_(path) {}

PackageEntry StylePackage::Locate(std::string_view name) const noexcept {
  PackageEntry entry;
  if (!archive_.IsOpen()) {
    entry.status = EntryStatus::Unreadable;
  } else if (archive_.Locate(name, &entry.info)) {
    entry.status = StatusOfRecord(entry.info);
  }
  return entry;
}

EntryStatus StylePackage::Read(const PackageEntry& entry, void* destination, std::size_t capacity) const noexcept {
  if (entry.status != EntryStatus::Ok) return entry.status;
  const std::uint64_t size = entry.info.uncompressedSize;
  if (size > capacity || (size > 0 && destination == nullptr)) return EntryStatus::TooLarge;
  EntryStream stream(*this, entry);
  stream.Read(destination, static_cast<std::size_t>(size));
  return stream.Finish();
}

EntryStream::EntryStream(const StylePackage& package, const PackageEntry& entry) noexcept
    : archive_(&package.Archive()), status_(entry.status) {
  if (status_ == EntryStatus::Ok && !Begin(package.Archive(), entry.info) && status_ == EntryStatus::Ok)
    status_ = EntryStatus::Damaged;
}

EntryStream::~EntryStream() {
  if (inflating_) inflateEnd(&inflate_);
  delete[] chunk_;
}

bool EntryStream::Begin(const ZipArchive& archive, const EntryInfo& info) {
  // The directory record passed StatusOfRecord; the local header must agree.
  if (StatusOfRecord(info) != EntryStatus::Ok) return false;
  LocalHeader local;
  if (!archive.DataStart(info, &local)) return false;
  deflated_ = info.method == kZipMethodDeflated;
  size_ = info.uncompressedSize;
  expectedCrc_ = info.crc;
  crc_ = static_cast<std::uint32_t>(crc32(0L, Z_NULL, 0));
  offset_ = local.dataOffset;
  encrypted_ = (info.flags & kZipFlagEncrypted) != 0;
  // Inflate is never given more than the bound, whatever the record says:
  // past it, it runs out of input and the entry fails as damaged.
  rawLeft_ = std::min(info.compressedSize, RawBytesBound(info.method, encrypted_, size_));

  if (encrypted_) {
    std::uint8_t header[ZipCryptoKeys::kHeaderSize];
    if (!archive.ReadAt(offset_, header, sizeof header)) {
      status_ = EntryStatus::Unreadable;
      return false;
    }
    ahead_.keys = ZipCryptoKeys(kPackagePassword);
    ahead_.keys.Decrypt(header, sizeof header);
    // The writer ends the header with a byte it knows before the data: the
    // CRC's high byte, or, when the CRC only follows the data, its time's.
    // It only tells why bytes that fail their CRC failed; it never decides
    // whether they are good, as one wrong password in 256 passes it.
    const bool trailing = (local.flags & kZipFlagDataDescriptor) != 0;
    const auto check = static_cast<std::uint8_t>(trailing ? local.modTime >> 8 : expectedCrc_ >> 24);
    headerChecks_ = header[sizeof header - 1] == check;
    offset_ += sizeof header;
    rawLeft_ -= sizeof header;
  }

  // A small entry's raw bytes fit whole; a large one's pass through.
  capacity_ = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkSize, std::max<std::uint64_t>(rawLeft_, 1)));
  chunk_ = new (std::nothrow) std::uint8_t[capacity_];
  if (!chunk_) {
    status_ = EntryStatus::OutOfMemory;
    return false;
  }
  ahead_.next = ahead_.end = chunk_;
  if (!deflated_) return true;
  const int init = inflateInit2(&inflate_, -MAX_WBITS);
  inflating_ = init == Z_OK;
  if (init == Z_MEM_ERROR) status_ = EntryStatus::OutOfMemory;
  return inflating_;
}

void EntryStream::Fail() {
  if (status_ == EntryStatus::Ok)
    status_ = encrypted_ && !headerChecks_ ? EntryStatus::WrongPassword : EntryStatus::Damaged;
}

std::size_t EntryStream::Read(void* destination, std::size_t atLeast, std::size_t atMost) noexcept {
  if (status_ != EntryStatus::Ok || destination == nullptr) return 0;
  auto* out = static_cast<std::uint8_t*>(destination);
  atMost = static_cast<std::size_t>(std::min<std::uint64_t>(atMost, size_ - delivered_));
  atLeast = std::min(atLeast, atMost);
  if (atMost == 0) return 0;
  // A caller decrypting ahead finds more raw bytes to work on.
  if (lent_ && static_cast<std::size_t>(ahead_.end - ahead_.next) < capacity_ / 2 && !TopUp()) return 0;
  const std::size_t got = deflated_ ? Inflate(out, atLeast, atMost) : Copy(out, atLeast, atMost);
  crc_ = static_cast<std::uint32_t>(crc32_z(crc_, out, got));
  delivered_ += got;
  return got;
}

// Reads further raw bytes from the file into the chunk, the bytes not yet
// used moved to its front first when the used ones fill half of it or more;
// false when the file cannot give them.
bool EntryStream::TopUp() {
  if (rawLeft_ == 0) return true;
  std::size_t filled = static_cast<std::size_t>(ahead_.end - chunk_);
  if (taken_ >= capacity_ / 2 || taken_ == filled) {
    const std::size_t kept = filled - taken_;
    std::memmove(chunk_, chunk_ + taken_, kept);
    ahead_.next -= taken_;
    ahead_.end = chunk_ + kept;
    taken_ = 0;
    filled = kept;
  }
  const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(capacity_ - filled, rawLeft_));
  if (want == 0) return true;
  if (!archive_->ReadAt(offset_, chunk_ + filled, want)) {
    // The raw bytes were found inside the file when the stream began.
    status_ = EntryStatus::Unreadable;
    return false;
  }
  offset_ += want;
  rawLeft_ -= want;
  ahead_.end = chunk_ + filled + want;
  if (!encrypted_) ahead_.next = ahead_.end;
  return true;
}

// Decrypted raw bytes when every one so far is used: those read ahead,
// decrypted here (only the next few when a caller decrypts ahead), else
// further bytes from the file. False when the file cannot give them; true
// with none ready only past the last raw byte.
bool EntryStream::Supply() {
  if (ahead_.next == ahead_.end && !TopUp()) return false;
  if (encrypted_) {
    const auto span = static_cast<std::size_t>(ahead_.end - ahead_.next);
    const std::size_t piece = lent_ ? std::min(kCatchUp, span) : span;
    ahead_.keys.Decrypt(ahead_.next, piece);
    ahead_.next += piece;
  }
  return true;
}

std::size_t EntryStream::Copy(std::uint8_t* out, std::size_t atLeast, std::size_t atMost) {
  std::size_t got = 0;
  while (got < atMost) {
    if (Ready() == 0) {
      if (got >= atLeast || !Supply()) break;
      // A stored entry's raw bytes are exactly its plain bytes, so they
      // can only run out when the file does.
      if (Ready() == 0) break;
    }
    const std::size_t n = std::min(Ready(), atMost - got);
    std::memcpy(out + got, chunk_ + taken_, n);
    taken_ += n;
    got += n;
  }
  return got;
}

// Inflates at least `atLeast` bytes into `out` and as many more, up to
// `atMost`, as the decrypted raw bytes give. Stops at the stream's end or at
// a failure, which it names.
std::size_t EntryStream::Inflate(std::uint8_t* out, std::size_t atLeast, std::size_t atMost) {
  inflate_.next_out = out;
  inflate_.avail_out = static_cast<uInt>(atMost);
  while (!ended_ && inflate_.avail_out > 0) {
    if (Ready() == 0 && (atMost - inflate_.avail_out >= atLeast || !Supply())) break;
    inflate_.next_in = chunk_ + taken_;
    inflate_.avail_in = static_cast<uInt>(Ready());
    const int result = inflate(&inflate_, Z_NO_FLUSH);
    taken_ = static_cast<std::size_t>(inflate_.next_in - chunk_);
    if (result == Z_STREAM_END) {
      ended_ = true;
    } else if (result != Z_OK) {
      // Z_BUF_ERROR: no progress possible, because the raw bytes ran out
      // (cut short, or past the bound) or because the entry would deliver
      // more than its recorded size. Both are damage, as is any other error.
      Fail();
      break;
    }
  }
  // A stream that ends before the recorded size is as damaged as one that
  // would go on past it.
  if (ended_ && inflate_.avail_out > 0) Fail();
  return atMost - inflate_.avail_out;
}

// After the last byte of the recorded size, the deflate stream must end
// right there, without room for another byte: an entry that would deliver
// more than its recorded size fails as damaged.
bool EntryStream::InflateToEnd() {
  std::uint8_t spare = 0;  // zlib wants an output pointer even for no room
  inflate_.next_out = &spare;
  inflate_.avail_out = 0;
  while (!ended_) {
    if (Ready() == 0 && !Supply()) return false;
    inflate_.next_in = chunk_ + taken_;
    inflate_.avail_in = static_cast<uInt>(Ready());
    const int result = inflate(&inflate_, Z_NO_FLUSH);
    taken_ = static_cast<std::size_t>(inflate_.next_in - chunk_);
    if (result == Z_STREAM_END) {
      ended_ = true;
    } else if (result != Z_OK) {
      Fail();
      return false;
    }
  }
  return true;
}

EntryStatus EntryStream::Finish() noexcept {
  std::uint8_t rest[kDrainSize];
  while (status_ == EntryStatus::Ok && delivered_ < size_)
    if (Read(rest, sizeof rest) == 0) Fail();
  if (status_ == EntryStatus::Ok && deflated_ && !ended_) InflateToEnd();
  // Raw bytes after the end of the deflate stream deliver nothing and are
  // ignored, as other readers do.
  if (status_ == EntryStatus::Ok && crc_ != expectedCrc_) Fail();
  return status_;
}

int32_t LVS_GetFileSize(const char* archivePath, const char* entryName) noexcept {
  if (archivePath == nullptr || entryName == nullptr) return 0;
  StylePackage package(archivePath);
  const int32_t length = package.Locate(entryName).Length();
  // A failure to close does not make the size found wrong.
  package.Close();
  return length;
}

int32_t LVS_ReadFile(const char* archivePath, const char* entryName, void* destination, std::size_t capacity) noexcept {
  if (archivePath == nullptr || entryName == nullptr) return kReadFileFailed;
  StylePackage package(archivePath);
  const EntryStatus status = package.Read(package.Locate(entryName), destination, capacity);
  const bool closed = package.Close();
  return status == EntryStatus::Ok && closed ? 0 : kReadFileFailed;
}
