#include "ZipCrypto.h"

#include <zlib.h>

namespace {

const z_crc_t* CrcTable() {
  static const z_crc_t* const table = get_crc_table();
  return table;
}

}  // namespace

ZipCryptoKeys::ZipCryptoKeys(const char* password) {
  for (const char* p = password; *p != '\0'; ++p) Update(static_cast<std::uint8_t>(*p));
}

void ZipCryptoKeys::Update(std::uint8_t plain) {
  const z_crc_t* crc = CrcTable();
  key0_ = crc[(key0_ ^ plain) & 0xff] ^ (key0_ >> 8);
  key1_ = (key1_ + (key0_ & 0xff)) * 134775813u + 1;
  key2_ = crc[(key2_ ^ (key1_ >> 24)) & 0xff] ^ (key2_ >> 8);
}

void ZipCryptoKeys::Decrypt(std::uint8_t* bytes, std::size_t count) {
  const z_crc_t* crc = CrcTable();
  std::uint32_t k0 = key0_, k1 = key1_, k2 = key2_;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t t = (k2 | 2) & 0xffff;
    const std::uint8_t plain = bytes[i] ^ static_cast<std::uint8_t>((t * (t ^ 1)) >> 8);
    bytes[i] = plain;
    k0 = crc[(k0 ^ plain) & 0xff] ^ (k0 >> 8);
    k1 = (k1 + (k0 & 0xff)) * 134775813u + 1;
    k2 = crc[(k2 ^ (k1 >> 24)) & 0xff] ^ (k2 >> 8);
  }
  key0_ = k0;
  key1_ = k1;
  key2_ = k2;
}
