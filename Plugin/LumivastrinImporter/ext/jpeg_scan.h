// The scan's body: rows of MCUs decoded block by block into the components'
// rows, with work of a caller's run beside the codes.
//
// A Beside is any copyable type with a member `void Step()`: one step of
// serial work of the caller's, taken once per AC code. The codes are a
// serial chain (each waits on the table lookup of the one before), and so
// is work such as a stream cipher's; mixed code by code, an out-of-order
// core runs the two chains side by side, where whole blocks of either in
// turn would run them one after the other. The block decoder works on a
// copy of the Beside in locals, so that its state can stay in registers,
// and copies it back before every call that leaves the block loop (the bit
// reader's refill, through which the source is reached) and at each
// block's end: the Beside handed over is current whenever the decoder asks
// its source for bytes, and the source may change it then.
//
// jpeg_blocks.cpp decodes with nothing beside; a Source with work of its
// own includes this to decode with it (Source::ScanBeside).
#pragma once

#include <cstddef>
#include <cstring>

#include "jpeg_decoder.h"
#include "jpeg_idct.h"
#include "jpeg_markers.h"

// GCC's straight-line vectoriser would gather the work beside into vector
// registers for its stores on the ways out of the block loop, and does so
// inside the loop, on every code; without it, the work's state stays in
// plain registers (measured: the collage's frame 3% faster). Nothing alone
// compiles to the same code either way.
#if defined(__GNUC__) && !defined(__clang__)
#define LVS_SCALAR_ONLY __attribute__((optimize("no-tree-slp-vectorize")))
#else
#define LVS_SCALAR_ONLY
#endif

namespace Jpeg {
namespace scan {

constexpr int8_t kZigzag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

// Where the k-th coefficient in zig-zag order is kept in the work block,
// which the transform wants column by column: 8 x column + row.
struct BlockOrder {
  uint8_t at[64];
  constexpr BlockOrder() : at() {
    for (int k = 0; k < 64; ++k) at[k] = uint8_t((kZigzag[k] & 7) * 8 + (kZigzag[k] >> 3));
  }
};
inline constexpr BlockOrder kBlockOrder;

// Nothing beside: the decoder alone.
struct Nothing {
  void Step() {}
};

}  // namespace scan

template <class Beside>
Decoder::ResultCode Decoder::_DecodeMcuRows(Beside& beside) {
  bits = BitReader{};
  bits.position = readPosition;
  bits.left = windowLeft;
  bits.source = source;
  bits.beyond = bytesLeft - windowLeft;
  missedCode = Cause::None;
  int32_t restartsLeft = restartInterval;
  int32_t expectedRestart = 0;
  const int32_t mcuCount = mcuRows * mcuColumns;
  int32_t mcu = 0;  // decoded whole
  for (int32_t my = 0; my < mcuRows; ++my) {
    for (int32_t mx = 0; mx < mcuColumns; ++mx) {
      for (int i = 0; i < componentCount; ++i) {
        Component* c = &components[i];
        const size_t slotRow = size_t(my % c->slots) * size_t(c->samplingY);
        for (int by = 0; by < c->samplingY; ++by) {
          for (int bx = 0; bx < c->samplingX; ++bx) {
            size_t col = size_t(mx) * size_t(c->samplingX) + size_t(bx);
            uint8_t* out = c->pixels + ((slotRow + size_t(by)) * size_t(c->stride) + col) * 8;
            if (const Cause why = _DecodeBlock(c, out, beside); why != Cause::None) return _FailInScan(why, mcu);
          }
        }
      }
      ++mcu;
      if (restartInterval != 0 && mcu < mcuCount && --restartsLeft == 0) {
        if (ResultCode r = _ReadRestart(expectedRestart, mcu); r != Success) return r;
        expectedRestart = (expectedRestart + 1) & 7;
        restartsLeft = restartInterval;
        for (Component& c : components) c.dcPredictor = 0;
      }
    }
    _TransformPending();
    // With vertical upsampling an output row also needs the first rows
    // of the next row of MCUs; the last rows wait for the end.
    if (my + 1 < mcuRows) _Convert(verticalLag ? my * mcuHeight : (my + 1) * mcuHeight);
  }
  return ScanComplete;
}

// The work block is all zeros on entry: the transforms clear what they read.
//
// The bit reader's fields live in locals here, and so does the work beside,
// written back around every call that uses the reader itself (BitReader
// says why). Codes go through the first-level table after the same 16-bit
// peek as _GetVLC, so bytes are taken in at the same moments.
template <class Beside>
LVS_SCALAR_ONLY Decoder::Cause Decoder::_DecodeBlock(Component* c, uint8_t* out, Beside& beside) {
  uint64_t buffer = bits.buffer;
  int32_t count = bits.count;
  const uint8_t* position = bits.position;
  int32_t left = bits.left;
  Beside work = beside;
  // The work beside is handed to these rather than captured, so that no
  // closure holds its address and its fields can live in registers.
  auto save = [&](const Beside& w) __attribute__((always_inline)) {
    bits.buffer = buffer, bits.count = count, bits.position = position, bits.left = left;
    beside = w;
  };
  auto load = [&](Beside & w) __attribute__((always_inline)) {
    buffer = bits.buffer, count = bits.count, position = bits.position, left = bits.left;
    w = beside;
  };
  auto fill = [&](int32_t n) __attribute__((always_inline)) {
    if (count >= n || BitReader::LoadWord(buffer, count, position, left)) return;
    save(work);
    bits.Refill(n);
    load(work);
  };
  auto decode = [&](int slot, const HuffmanTable::FastCode* fast, uint8_t* symbol) __attribute__((always_inline)) {
    fill(16);
    const HuffmanTable::FastCode f = fast[BitReader::Peek(buffer, HuffmanTable::FastBits)];
    if (f.length - 1u < 16u) {
      BitReader::Drop(buffer, count, f.length);
      *symbol = f.symbol;
      return int32_t(f.value);
    }
    if (f.length != 0) {  // the code alone; its additional bits follow
      BitReader::Drop(buffer, count, f.length & ~HuffmanTable::CodeOnly);
      *symbol = f.symbol;
      const int k = f.symbol & 15;
      fill(k);
      const uint32_t extra = BitReader::Peek(buffer, k);
      BitReader::Drop(buffer, count, k);
      return Extend(extra, k);
    }
    // Through a local of its own, so that the caller's symbol never has
    // its address taken and can stay in a register.
    save(work);
    uint8_t slow;
    const int32_t v = _GetVLC(slot, &slow);
    load(work);
    *symbol = slow;
    return v;
  };

  // Read once: the stores into the work block may alias any int32_t.
  int32_t* const coefficients = this->coefficients[currentBlock];
  const uint8_t* q = quantTables[c->quantTable];
  const int dcSlot = c->dcTable, acSlot = c->acTable;
  const HuffmanTable& dcTable = vlcTables[dcSlot];
  const HuffmanTable::FastCode* const acFast = vlcTables[acSlot].fast;
  uint8_t s;
  int32_t dc = decode(dcSlot, dcTable.fast, &s);
  c->dcPredictor = int32_t(uint32_t(c->dcPredictor) + uint32_t(dc));
  coefficients[0] = int32_t(uint32_t(c->dcPredictor) * q[0]);
  const uint8_t* const order = scan::kBlockOrder.at;
  int k = 0;
  // Shaped so that a coefficient costs one test of its symbol and one of
  // its place: the chain from code to code is what this loop waits on.
  for (;;) {
    const int32_t v = decode(acSlot, acFast, &s);
    work.Step();
    if ((s & 15) == 0 && s != 0xF0) {
      if (s == 0) break;  // end of block
      save(work);
      return bits.DataBitsLeft() < 0 ? Cause::ScanDataEnds : Cause::AcSymbolInvalid;
    }
    k += (s >> 4) + 1;
    if (k >= 63) {
      if (k > 63) {
        save(work);
        return bits.DataBitsLeft() < 0 ? Cause::ScanDataEnds : Cause::TooManyCoefficients;
      }
      coefficients[order[63]] = v * q[63];
      break;
    }
    coefficients[order[k]] = v * q[k];
  }
  // The rows that can hold an AC coefficient, from the last one's place:
  // none, the first row alone (zig-zag place 1), or any. More rows than
  // hold one only cost the shortcut, never change the samples.
  const uint32_t acRows = k == 0 ? 0u : k == 1 ? 1u : 0xFFu;
  save(work);
  // Past a failure the samples are undefined, so the transform is skipped.
  // A failed bit reader is a marker, or the end of the data after a 0xFF:
  // _FailInScan tells which.
  if (bits.failed) return Cause::MarkerInScan;
  if (missedCode != Cause::None) return missedCode;
  _TransformPending();
  pending = PendingBlock{out, c->stride, acRows};
  currentBlock ^= 1;
  return Cause::None;
}

template <class Beside>
Decoder::ResultCode Source::ScanBeside(Decoder& decoder, Beside& beside) {
  return decoder._DecodeMcuRows(beside);
}

}  // namespace Jpeg
