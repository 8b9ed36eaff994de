// The traditional PKWARE stream cipher, decryption side.
#pragma once

#include <cstddef>
#include <cstdint>

class ZipCryptoKeys {
 public:
  // Size of the random header in front of every encrypted entry's data.
  static constexpr std::size_t kHeaderSize = 12;

  explicit ZipCryptoKeys(const char* password);

  // Decrypts in place. The cipher is serial (each key update depends on the
  // previous plain byte), so callers pass large chunks and the loop keeps
  // the keys in registers.
  void Decrypt(std::uint8_t* bytes, std::size_t count);

 private:
  void Update(std::uint8_t plain);

  std::uint32_t key0_ = 0x12345678;
  std::uint32_t key1_ = 0x23456789;
  std::uint32_t key2_ = 0x34567890;
};
