// The traditional PKWARE stream cipher, decryption side.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zip_crypto {

// The CRC-32 table the cipher's key updates look up, made at compile time:
// a loop that carries the keys in its own registers then needs no register
// for a table pointer either, the address being a constant.
struct CrcTable {
  std::uint32_t entry[256];
  constexpr CrcTable() : entry() {
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      entry[n] = c;
    }
  }
};
inline constexpr CrcTable kCrc;

}  // namespace zip_crypto

class ZipCryptoKeys {
 public:
  // Size of the random header in front of every encrypted entry's data.
  static constexpr std::size_t kHeaderSize = 12;

  explicit ZipCryptoKeys(const char* password);

  // Decrypts in place. The cipher is serial (each key update depends on the
  // previous plain byte): each byte waits on the one before, about 25 cycles
  // of table lookups and a multiply in a row.
  void Decrypt(std::uint8_t* bytes, std::size_t count);

  // One byte decrypted in place with keys the caller holds, for a loop of
  // the caller's own that mixes the chain with independent work.
  static inline void DecryptOne(std::uint8_t* byte, std::uint32_t& k0, std::uint32_t& k1, std::uint32_t& k2) {
    const std::uint32_t t = (k2 | 2) & 0xffff;
    const std::uint8_t plain = *byte ^ static_cast<std::uint8_t>((t * (t ^ 1)) >> 8);
    *byte = plain;
    Advance(plain, k0, k1, k2);
  }

  std::uint32_t key0 = 0x12345678;
  std::uint32_t key1 = 0x23456789;
  std::uint32_t key2 = 0x34567890;

 private:
  static inline void Advance(std::uint8_t plain, std::uint32_t& k0, std::uint32_t& k1, std::uint32_t& k2) {
    const std::uint32_t* crc = zip_crypto::kCrc.entry;
    k0 = crc[(k0 ^ plain) & 0xff] ^ (k0 >> 8);
    k1 = (k1 + (k0 & 0xff)) * 134775813u + 1;
    k2 = crc[(k2 ^ (k1 >> 24)) & 0xff] ^ (k2 >> 8);
  }
};
