// The bit reader of the entropy-coded data and the Huffman code tables.
//
// A code is always looked up on the next 16 bits of the data, as if in a
// table of 65,536 entries filled code by code from entry 0 upward: the same
// codes, the same look-ahead, so the same failure near the end of the data.
// The tables are compact instead: a first-level table on the next FastBits
// bits settles every code of up to FastBits bits, and often its additional
// bits too; a longer code is found by comparing the 16 bits with the end of
// each code length's range, which is what the full table's entries amount to.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__GNUC__)
#define LVS_INLINE inline __attribute__((always_inline))
#define LVS_NOINLINE __attribute__((noinline))
#else
#define LVS_INLINE inline
#define LVS_NOINLINE
#endif

namespace Jpeg {

class Source;

struct HuffmanTable {
  static constexpr int FastBits = 10;
  // Where only the code fits in FastBits, `length` is CodeOnly plus the
  // code's length and its additional bits are read after it. Where a code
  // and its additional bits fit together, the entry holds the decoded
  // value and their total length. Length 0: a longer code, or none.
  static constexpr uint8_t CodeOnly = 0x80;
  // The length first: the block decoder shifts the bit buffer by it
  // straight from the loaded entry.
  struct FastCode {
    uint8_t length;
    uint8_t symbol;
    int16_t value;
  };
  // 255 codes of each length above FastBits at most.
  static constexpr int LongSymbols = 255 * (16 - FastBits);

  // From the code counts of lengths 1 to 16 and the symbols in order, as a
  // table segment gives them; the counts must fit in 16 bits of code.
  void Build(const uint8_t counts[16], const uint8_t* symbols);

  // The code that the next 16 bits start with: its length (0: no code)
  // and symbol, as the full table's entry at index `bits16` would hold.
  LVS_INLINE void Lookup(uint32_t bits16, int* length, uint8_t* symbol) const {
    const FastCode f = fast[bits16 >> (16 - FastBits)];
    if (f.length != 0) {
      *length = (f.length & CodeOnly) ? (f.length & ~CodeOnly) : f.length - (f.symbol & 15);
      *symbol = f.symbol;
      return;
    }
    LookupLong(bits16, length, symbol);
  }
  void LookupLong(uint32_t bits16, int* length, uint8_t* symbol) const;

  FastCode fast[1 << FastBits] = {};  // all length 0 until Build: a slot never defined has no codes
  uint32_t limit[17];                 // limit[L]: end of the codes of length L or less, on the 16-bit scale
  uint16_t first[17];                 // index in longSymbols of the first code of length L, for L above FastBits
  uint8_t longSymbols[LongSymbols];
  bool defined = false;
};

// The entropy-coded data as a stream of bits. Past the end of the data, and
// after an end-of-image marker, it reads as 1-bits; a restart marker stands
// in it as its 16 bits; any other marker, and a 0xFF as the last byte, set
// `failed` (MalformedData) when its bits are needed, and the first of them
// is kept in `marker`.
//
// The unread bits sit at the top of `buffer`, the next one in bit 63, and
// every bit below them is zero. A lookup then needs only a constant shift
// of the buffer, not one that waits for `count`: the chain from one code to
// the next is what bounds the block decoder's speed.
//
// The block decoder works on copies of its fields in locals, so that they
// stay in registers (the stores into the work block could otherwise alias
// them); it writes them back around the slow refill, which runs on the
// reader itself.
//
// Data from a Source comes a window at a time: `left` counts the bytes of
// the window, and only the slow refill asks for the next one, whenever
// fewer than Reach bytes are left in it, so that every step it takes finds
// its bytes in the window, exactly as if the data were whole.
struct BitReader {
  uint64_t buffer = 0;  // the low 64 - `count` bits are zero
  int32_t count = 0;
  const uint8_t* position = nullptr;
  int32_t left = 0;  // bytes from `position` to the end of the data, or of the window
  bool failed = false;
  uint8_t marker = 0;        // the marker that failed it first; 0: a 0xFF as the last byte
  int64_t padding = 0;       // bytes of 1-bits put in after the end of the data
  Source* source = nullptr;  // null: the data is all there
  int64_t beyond = 0;        // bytes of the data after the window, still with the source

  // One refill takes at most 20 bytes: 64 bits of bytes that may each be
  // stuffed, then 16 bits of bytes that may each be a marker.
  static constexpr int32_t Reach = 32;

  // The bits of the data itself still to be read; below 0 once bits after
  // its end have been read. Tells a stream cut short from one that is wrong.
  int64_t DataBitsLeft() const { return padding == 0 ? INT64_MAX : count - 8 * padding; }

  // Eight bytes without a 0xFF among them go in with one load, when the
  // buffer has room for them; false otherwise, and then the bytes go in
  // one at a time (Refill), so that a marker is taken in exactly when a
  // byte-at-a-time reader would take it.
  static LVS_INLINE bool LoadWord(uint64_t& buffer, int32_t& count, const uint8_t*& position, int32_t& left) {
    if (left < 8) return false;
    uint64_t word;
    std::memcpy(&word, position, 8);
    const uint64_t inverse = ~word;
    if (((inverse - 0x0101010101010101u) & ~inverse & 0x8080808080808080u) != 0) return false;
    const int32_t bytes = (63 - count) >> 3;  // 6 or 7 while fewer than 16 bits are left
    word = __builtin_bswap64(word) >> (64 - 8 * bytes) << (64 - 8 * bytes);
    buffer |= word >> count;
    count += 8 * bytes;
    position += bytes;
    left -= bytes;
    return true;
  }
  // One byte in below the unread bits; count at most 56.
  static LVS_INLINE void PutByte(uint64_t& buffer, int32_t& count, uint8_t byte) {
    buffer |= uint64_t(byte) << (56 - count);
    count += 8;
  }
  // n from 1 to 16, at most count.
  static LVS_INLINE uint32_t Peek(uint64_t buffer, int32_t n) { return uint32_t(buffer >> (64 - n)); }
  static LVS_INLINE void Drop(uint64_t& buffer, int32_t& count, int32_t n) {
    buffer <<= n;
    count -= n;
  }

  // n from 0 to 16.
  LVS_INLINE uint32_t Show(int32_t n) {
    if (n == 0) return 0;
    if (count < n) Refill(n);
    return Peek(buffer, n);
  }
  LVS_INLINE uint32_t Get(int32_t n) {
    const uint32_t v = Show(n);
    Drop(buffer, count, n);
    return v;
  }
  LVS_INLINE void ByteAlign() { Drop(buffer, count, count & 7); }

  // Loads plain bytes (and stuffed 0xFF 0x00 pairs) in bulk up to 56 bits,
  // stopping in front of any other 0xFF, then byte by byte to `n` bits.
  LVS_NOINLINE void Refill(int32_t n);
  // The next window from the source, from `position` on.
  void More();
};

// The additional bits of a coefficient: k bits code the values
// -(2^k - 1) to -2^(k-1) and 2^(k-1) to 2^k - 1.
LVS_INLINE int32_t Extend(uint32_t bits, int k) {
  int32_t v = int32_t(bits);
  if (v < (1 << (k - 1))) v -= (1 << k) - 1;
  return v;
}

}  // namespace Jpeg
