#include "StylePackage.h"

#include "ZipCrypto.h"
#include "ZipReader.h"

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace {

// Large enough that the cipher and inflate run in long uninterrupted loops.
constexpr std::size_t kChunkSize = 64 * 1024;

bool SizeWithinCeiling(const EntryInfo& info) {
  return info.uncompressedSize <= static_cast<std::uint64_t>(kEntrySizeCeiling);
}

class Inflater {
 public:
  Inflater() { ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
  ~Inflater() {
    if (ready_) inflateEnd(&stream_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  bool Ready() const { return ready_; }
  z_stream& Stream() { return stream_; }

 private:
  z_stream stream_{};
  bool ready_ = false;
};

// Inflates the `payload` raw bytes at `offset` (after any cipher header),
// decrypting them first when `keys` is set, into exactly `size` plain bytes
// at `out`.
bool InflateEntry(const ZipArchive& archive, std::uint64_t offset, std::uint64_t payload,
                  std::optional<ZipCryptoKeys>& keys, std::uint8_t* out, std::size_t size) {
  Inflater inflater;
  if (!inflater.Ready()) return false;
  std::unique_ptr<std::uint8_t[]> chunk(new std::uint8_t[kChunkSize]);
  std::uint8_t spare = 0;  // zlib wants a non-null output pointer even for 0 bytes
  z_stream& stream = inflater.Stream();
  stream.next_out = size > 0 ? out : &spare;
  stream.avail_out = static_cast<uInt>(size);

  std::uint64_t remaining = payload;
  for (;;) {
    if (stream.avail_in == 0 && remaining > 0) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkSize, remaining));
      if (!archive.ReadAt(offset, chunk.get(), want)) return false;
      if (keys) keys->Decrypt(chunk.get(), want);
      stream.next_in = chunk.get();
      stream.avail_in = static_cast<uInt>(want);
      offset += want;
      remaining -= want;
    }
    const int result = inflate(&stream, Z_NO_FLUSH);
    if (result == Z_STREAM_END) break;
    // Z_BUF_ERROR: no progress possible, either because the raw data ran
    // out (truncated) or because the entry would deliver more than its
    // recorded size. Both are failures, as is any other error.
    if (result != Z_OK) return false;
  }
  // Raw bytes after the end of the deflate stream deliver nothing and are
  // ignored, as other readers do.
  return stream.total_out == size;
}

bool ReadEntry(const ZipArchive& archive, const char* entryName, std::uint8_t* out, std::size_t capacity) {
  EntryInfo info;
  if (!archive.Locate(entryName, &info)) return false;
  if (!SizeWithinCeiling(info) || info.uncompressedSize > capacity) return false;
  if ((info.flags & kZipFlagStrongEncryption) != 0) return false;
  if (info.method != kZipMethodStored && info.method != kZipMethodDeflated) return false;
  const auto size = static_cast<std::size_t>(info.uncompressedSize);
  if (size > 0 && out == nullptr) return false;

  std::uint64_t offset = 0;
  if (!archive.DataStart(info, &offset)) return false;
  std::uint64_t payload = info.compressedSize;
  std::optional<ZipCryptoKeys> keys;
  if ((info.flags & kZipFlagEncrypted) != 0) {
    // The header is random bytes ending in a check byte; the check byte is
    // not trusted as a password test (the CRC is), so it is only skipped.
    std::uint8_t header[ZipCryptoKeys::kHeaderSize];
    if (payload < sizeof header || !archive.ReadAt(offset, header, sizeof header)) return false;
    keys.emplace(kPackagePassword);
    keys->Decrypt(header, sizeof header);
    offset += sizeof header;
    payload -= sizeof header;
  }

  if (info.method == kZipMethodStored) {
    if (payload != size || !archive.ReadAt(offset, out, size)) return false;
    if (keys) keys->Decrypt(out, size);
  } else if (!InflateEntry(archive, offset, payload, keys, out, size)) {
    return false;
  }

  const uLong crc = size > 0 ? crc32_z(crc32(0L, Z_NULL, 0), out, size) : crc32(0L, Z_NULL, 0);
  return static_cast<std::uint32_t>(crc) == info.crc;
}

}  // namespace

int32_t LVS_GetFileSize(const char* archivePath, const char* entryName) noexcept {
  try {
    if (archivePath == nullptr || entryName == nullptr) return 0;
    ZipArchive archive(archivePath);
    EntryInfo info;
    if (!archive.IsOpen() || !archive.Locate(entryName, &info) || !SizeWithinCeiling(info)) return 0;
    // A failure to close does not make the size found wrong.
    archive.Close();
    return static_cast<int32_t>(info.uncompressedSize);
  } catch (...) {
    return 0;
  }
}

int32_t LVS_ReadFile(const char* archivePath, const char* entryName, void* destination, std::size_t capacity) noexcept {
  try {
    if (archivePath == nullptr || entryName == nullptr) return kReadFileFailed;
    ZipArchive archive(archivePath);
    if (!archive.IsOpen()) return kReadFileFailed;
    const bool read = ReadEntry(archive, entryName, static_cast<std::uint8_t*>(destination), capacity);
    const bool closed = archive.Close();
    return read && closed ? 0 : kReadFileFailed;
  } catch (...) {
    return kReadFileFailed;
  }
}
