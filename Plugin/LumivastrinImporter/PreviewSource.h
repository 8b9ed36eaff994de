// The preview entry as the decoder's source: its plain bytes a window at a
// time, read, decrypted and inflated as the decoder reaches them, never the
// whole entry at once.
//
// The cipher is a serial chain of about 25 cycles a byte, and so is the
// decoder's entropy decoding, a table lookup per code. While the decoder
// works through the scan, the raw bytes the stream has read ahead are
// decrypted a byte per AC code in the decoder's own block loop
// (jpeg_scan.h), where the core runs the two chains side by side; inflate
// then finds them decrypted when the decoder next asks for bytes. Where the
// decoder needs bytes that are not yet decrypted (the headers, the start of
// the scan, a scan with few codes for its bytes), the stream decrypts them
// itself, as any reader does.
//
// The bytes the decoder gets are the entry's exactly, whatever the windows;
// they are only known to be good once the stream's Finish says so.
#pragma once

#include <cstddef>
#include <cstdint>

#include "StylePackage.h"
#include "jpeg_decoder.h"

class PreviewSource final : public Jpeg::Source {
 public:
  // The window a stream of `size` bytes needs: room for the largest
  // segment (65,535 bytes), or the whole entry when it is smaller.
  static std::size_t WindowSize(std::uint64_t size);

  // `window`: WindowSize(stream.Size()) bytes, kept by the caller for the
  // source's life. The stream is read from its start.
  PreviewSource(EntryStream& stream, std::uint8_t* window) noexcept;

  const std::uint8_t* More(const std::uint8_t* from, int32_t want, int32_t* count) override;
  Jpeg::Decoder::ResultCode DecodeScan(Jpeg::Decoder& decoder) override;

 private:
  // The decryption run beside the codes: the stream's span of raw bytes
  // read ahead, and its keys, carried in the block loop's registers.
  struct Cipher {
    std::uint8_t* next;
    std::uint8_t* end;
    std::uint32_t k0, k1, k2;
    void Step() {
      if (next == end) return;
      ZipCryptoKeys::DecryptOne(next, k0, k1, k2);
      ++next;
    }
  };
  void Put(EntryStream::Ahead& ahead) const;
  void Take(const EntryStream::Ahead& ahead);

  EntryStream& stream_;
  std::uint8_t* const window_;
  const std::size_t capacity_;
  std::size_t held_ = 0;                 // bytes in the window
  std::uint64_t given_ = 0;              // bytes put in the window so far
  EntryStream::Ahead* const lent_;       // the stream's span, for an encrypted entry
  EntryStream::Ahead* ahead_ = nullptr;  // the same, while the cipher runs beside
  Cipher cipher_{};
};
