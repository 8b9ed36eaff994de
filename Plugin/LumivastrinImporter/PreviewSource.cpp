#include "PreviewSource.h"

#include <algorithm>
#include <cstring>

#include "jpeg_scan.h"

std::size_t PreviewSource::WindowSize(std::uint64_t size) {
  return static_cast<std::size_t>(std::min<std::uint64_t>(size, 64 * 1024));
}

PreviewSource::PreviewSource(EntryStream& stream, std::uint8_t* window) noexcept
    : Jpeg::Source(stream.Size()),
      stream_(stream),
      window_(window),
      capacity_(WindowSize(stream.Size())),
      lent_(stream.DecryptAhead()) {}

void PreviewSource::Put(EntryStream::Ahead& ahead) const {
  ahead.next = cipher_.next;
  ahead.keys.key0 = cipher_.k0;
  ahead.keys.key1 = cipher_.k1;
  ahead.keys.key2 = cipher_.k2;
}

void PreviewSource::Take(const EntryStream::Ahead& ahead) {
  cipher_ = Cipher{ahead.next, ahead.end, ahead.keys.key0, ahead.keys.key1, ahead.keys.key2};
}

const std::uint8_t* PreviewSource::More(const std::uint8_t* from, int32_t want, int32_t* count) {
  const std::size_t kept = from ? held_ - static_cast<std::size_t>(from - window_) : 0;
  if (kept > 0 && from != window_) std::memmove(window_, from, kept);
  held_ = kept;
  const std::size_t room = capacity_ - held_;
  const std::size_t need = std::min(want > 0 && std::size_t(want) > kept ? std::size_t(want) - kept : 0, room);
  // Beyond what is needed, as much as the bytes decrypted ahead give: the
  // decoder comes back when it has used them, and the cipher meanwhile has
  // the stream's next raw bytes to work on.
  if (ahead_) Put(*ahead_);
  std::size_t got = stream_.Read(window_ + held_, need, room);
  if (ahead_) Take(*ahead_);
  // A stream that failed gives no more; the decoder gets bytes that stop it,
  // and the draw learns of the failure from Finish.
  if (got < need) {
    const std::uint64_t rest = Size() - given_ - got;
    const std::size_t stop = static_cast<std::size_t>(std::min<std::uint64_t>(need - got, rest));
    std::memset(window_ + held_ + got, 0xFF, stop);
    got += stop;
  }
  held_ += got;
  given_ += got;
  *count = static_cast<int32_t>(held_);
  return window_;
}

Jpeg::Decoder::ResultCode PreviewSource::DecodeScan(Jpeg::Decoder& decoder) {
  ahead_ = lent_;
  if (!ahead_) return ScanAlone(decoder);
  Take(*ahead_);
  const Jpeg::Decoder::ResultCode result = ScanBeside(decoder, cipher_);
  Put(*ahead_);
  ahead_ = nullptr;
  return result;
}
