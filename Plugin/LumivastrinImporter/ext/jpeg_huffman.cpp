#include "jpeg_huffman.h"

#include "jpeg_decoder.h"
#include "jpeg_markers.h"

namespace Jpeg {

void HuffmanTable::Build(const uint8_t counts[16], const uint8_t* symbols) {
  std::memset(fast, 0, sizeof fast);
  limit[0] = 0;
  first[0] = 0;
  int next = 0, nextLong = 0;
  for (int length = 1; length <= 16; ++length) {
    const int n = counts[length - 1];
    const uint32_t span = 1u << (16 - length);
    first[length] = uint16_t(nextLong);
    if (length > FastBits) {
      std::memcpy(longSymbols + nextLong, symbols + next, size_t(n));
      nextLong += n;
    } else {
      // The code covers every first-level entry that starts with it.
      for (int i = 0; i < n; ++i) {
        const uint8_t symbol = symbols[next + i];
        const int k = symbol & 15;
        const uint32_t p0 = (limit[length - 1] + uint32_t(i) * span) >> (16 - FastBits);
        const uint32_t entries = span >> (16 - FastBits);
        for (uint32_t p = p0; p < p0 + entries; ++p) {
          if (length + k > FastBits) {
            fast[p] = FastCode{uint8_t(CodeOnly | length), symbol, 0};
            continue;
          }
          const uint32_t extra = k ? (p >> (FastBits - length - k)) & ((1u << k) - 1) : 0;
          fast[p] = FastCode{uint8_t(length + k), symbol, int16_t(k ? Extend(extra, k) : 0)};
        }
      }
    }
    next += n;
    limit[length] = limit[length - 1] + uint32_t(n) * span;
  }
  defined = true;
}

// Codes of up to FastBits bits fill whole first-level entries, so a
// lookup that gets here lies past all of them.
void HuffmanTable::LookupLong(uint32_t bits16, int* length, uint8_t* symbol) const {
  for (int l = FastBits + 1; l <= 16; ++l) {
    if (bits16 < limit[l]) {
      *length = l;
      *symbol = longSymbols[first[l] + ((bits16 - limit[l - 1]) >> (16 - l))];
      return;
    }
  }
  *length = 0;
  *symbol = 0;
}

void BitReader::More() {
  int32_t got = 0;
  position = source->More(position, Reach, &got);
  beyond -= got - left;
  left = got;
}

void BitReader::Refill(int32_t n) {
  BitReader& r = *this;
  if (r.left < Reach && r.beyond > 0) r.More();
  while (r.count <= 56) {
    if (r.left <= 0) {
      BitReader::PutByte(r.buffer, r.count, 0xFF);
      ++r.padding;
      continue;
    }
    const uint8_t b = r.position[0];
    if (b == Prefix) {
      if (r.left < 2 || r.position[1] != Stuffed) break;
      r.position += 2;
      r.left -= 2;
    } else {
      r.position += 1;
      r.left -= 1;
    }
    BitReader::PutByte(r.buffer, r.count, b);
  }
  while (r.count < n) {
    if (r.left <= 0) {
      BitReader::PutByte(r.buffer, r.count, 0xFF);
      ++r.padding;
      continue;
    }
    const uint8_t b = *r.position++;
    --r.left;
    BitReader::PutByte(r.buffer, r.count, b);
    if (b != Prefix) continue;
    if (r.left <= 0) {
      r.failed = true;
      continue;
    }
    const uint8_t m = *r.position++;
    --r.left;
    if (m == Stuffed) continue;
    if (m == EOI) {
      r.left = 0;
      r.beyond = 0;
    } else if (m >= RST0 && m <= RST7) {
      BitReader::PutByte(r.buffer, r.count, m);
    } else {
      if (!r.failed) r.marker = m;
      r.failed = true;
    }
  }
}

}  // namespace Jpeg
