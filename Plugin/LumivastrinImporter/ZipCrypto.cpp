#include "ZipCrypto.h"

ZipCryptoKeys::ZipCryptoKeys(const char* password) {
  for (const char* p = password; *p != '\0'; ++p) Advance(static_cast<std::uint8_t>(*p), key0, key1, key2);
}

void ZipCryptoKeys::Decrypt(std::uint8_t* bytes, std::size_t count) {
  std::uint32_t k0 = key0, k1 = key1, k2 = key2;
  for (std::size_t i = 0; i < count; ++i) DecryptOne(bytes + i, k0, k1, k2);
  key0 = k0;
  key1 = k1;
  key2 = k2;
}
