// The scan with nothing beside it (its body is in jpeg_scan.h), restart
// markers between MCUs, code lookups the first-level table cannot settle,
// and the transform of each block decoded.
#include "jpeg_scan.h"

namespace Jpeg {

Decoder::ResultCode Decoder::_DecodeMcuRows() {
  scan::Nothing nothing;
  return _DecodeMcuRows(nothing);
}

// The marker due after an interval of MCUs: RST0 to RST7 in turn.
Decoder::ResultCode Decoder::_ReadRestart(int32_t due, int32_t mcus) {
  bits.ByteAlign();
  const uint32_t v = bits.Show(16);
  const bool dataEnded = bits.DataBitsLeft() < 16;
  BitReader::Drop(bits.buffer, bits.count, 16);
  const uint32_t restart = uint32_t(Prefix) << 8 | RST0;
  if (bits.failed) return _FailInScan(Cause::MarkerInScan, mcus);
  if (v == restart + uint32_t(due)) return Success;
  if (v >= restart && v <= restart + 7) return _Fail(Cause::RestartOutOfOrder, int32_t(v & 0xFF));
  if (dataEnded) return _Fail(Cause::ScanDataEnds, mcus);
  return _Fail(Cause::RestartMissing, RST0 + due);
}

// What went wrong first wins: a marker the bit reader met (whatever was
// decoded from the bytes after it), then a code missing from its table (the
// decoding after it goes on from symbol 0 until its block ends), then `why`.
Decoder::ResultCode Decoder::_FailInScan(Cause why, int32_t mcus) {
  if (bits.failed) return bits.marker ? _Fail(Cause::MarkerInScan, bits.marker) : _Fail(Cause::ScanDataEnds, mcus);
  if (missedCode != Cause::None) return _Fail(missedCode, mcus);
  return _Fail(why, mcus);
}

// A code missing from its table reads as symbol 0 (the end of the block, or
// a DC difference of 0) and is reported at the end of its block. The scan
// header has made sure that every table used is defined.
int32_t Decoder::_GetVLC(int slot, uint8_t* symbol) {
  const uint32_t peek = bits.Show(16);
  int length = 0;
  uint8_t s = 0;
  vlcTables[slot].Lookup(peek, &length, &s);
  if (length == 0) {
    if (missedCode == Cause::None)
      missedCode = bits.DataBitsLeft() < 16 ? Cause::ScanDataEnds : Cause::HuffmanCodeMissing;
    if (symbol) *symbol = 0;
    return 0;
  }
  BitReader::Drop(bits.buffer, bits.count, length);
  if (symbol) *symbol = s;
  const int k = s & 15;
  if (k == 0) return 0;
  return Extend(bits.Get(k), k);
}

// Transforms the block decoded before the current one into its place.
void Decoder::_TransformPending() {
  if (!pending.out) return;
  int32_t* const coefficients = this->coefficients[currentBlock ^ 1];
  uint8_t* const out = pending.out;
  const int32_t stride = pending.stride;
  pending.out = nullptr;
  if (pending.acRows <= 1) {
    // Rows 1 to 7 are zero, so every column takes its shortcut and the
    // block is eight copies of one row, each sample computed from the
    // first row's transform with the same wrap-around.
    uint8_t line[8];
    if (pending.acRows == 0) {
      std::memset(line, IdctDcOnly(coefficients), 8);
    } else {
      IdctFirstRowOnly(coefficients, line);
    }
    for (int row = 0; row < 8; ++row) std::memcpy(out + size_t(row) * stride, line, 8);
    return;
  }
  kernels.idct(coefficients, out, stride);
}

}  // namespace Jpeg
