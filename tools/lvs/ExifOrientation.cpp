#include "ExifOrientation.h"

namespace lvs {
namespace {

constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kTypeShort = 3;

// A TIFF structure in either byte order, read within its bounds.
class Tiff {
 public:
  Tiff(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool ReadOrder() {
    if (size_ < 8) return false;
    if (data_[0] == 'I' && data_[1] == 'I') {
      little_ = true;
    } else if (data_[0] == 'M' && data_[1] == 'M') {
      little_ = false;
    } else {
      return false;
    }
    return U16(2) == 42;
  }
  bool Has(size_t at, size_t count) const { return at <= size_ && count <= size_ - at; }
  uint16_t U16(size_t at) const {
    return little_ ? uint16_t(data_[at] | data_[at + 1] << 8) : uint16_t(data_[at] << 8 | data_[at + 1]);
  }
  uint32_t U32(size_t at) const {
    return little_ ? uint32_t(U16(at)) | uint32_t(U16(at + 2)) << 16 : uint32_t(U16(at)) << 16 | U16(at + 2);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  bool little_ = true;
};

std::optional<int> OrientationInTiff(const uint8_t* data, size_t size) {
  Tiff tiff(data, size);
  if (!tiff.ReadOrder()) return std::nullopt;
  // The first directory describes the main picture; later ones the thumbnail.
  const size_t directory = tiff.U32(4);
  if (!tiff.Has(directory, 2)) return std::nullopt;
  const size_t count = tiff.U16(directory);
  for (size_t i = 0; i < count; ++i) {
    const size_t entry = directory + 2 + 12 * i;
    if (!tiff.Has(entry, 12)) return std::nullopt;
    if (tiff.U16(entry) != kOrientationTag) continue;
    if (tiff.U16(entry + 2) != kTypeShort || tiff.U32(entry + 4) != 1) return std::nullopt;
    const int value = tiff.U16(entry + 8);
    if (value < 1 || value > 8) return std::nullopt;
    return value;
  }
  return std::nullopt;
}

}  // namespace

std::optional<int> ExifOrientation(const uint8_t* jpeg, size_t size) {
  if (size < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return std::nullopt;
  static const uint8_t kExif[] = {'E', 'x', 'i', 'f', 0, 0};
  size_t at = 2;
  while (at + 4 <= size && jpeg[at] == 0xFF) {
    const uint8_t marker = jpeg[at + 1];
    // Standalone markers have no length; the picture data ends the search.
    if (marker == 0xDA || marker == 0xD9) break;
    if (marker == 0xFF) {
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      at += 2;
      continue;
    }
    const size_t length = size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
    if (length < 2 || length > size - at - 2) break;
    const uint8_t* body = jpeg + at + 4;
    const size_t bodySize = length - 2;
    if (marker == 0xE1 && bodySize >= sizeof kExif) {
      bool exif = true;
      for (size_t i = 0; i < sizeof kExif; ++i) exif = exif && body[i] == kExif[i];
      if (exif) return OrientationInTiff(body + sizeof kExif, bodySize - sizeof kExif);
    }
    at += 2 + length;
  }
  return std::nullopt;
}

}  // namespace lvs
