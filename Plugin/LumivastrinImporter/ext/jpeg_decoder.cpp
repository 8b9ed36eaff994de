// The marker loop, the causes of failure, and the headers around the frame
// (jpeg_frame.cpp): tables, restart interval, scan.
#include "jpeg_decoder.h"

#include <cstring>

#include "jpeg_markers.h"

namespace Jpeg {
namespace {

Decoder::ResultCode CodeOf(Decoder::Cause cause) {
  using C = Decoder::Cause;
  switch (cause) {
    case C::None:
      return Decoder::Success;
    case C::NoStartOfImage:
      return Decoder::NoStartOfImage;
    case C::Marker:
    case C::Precision:
    case C::ComponentCount:
    case C::SamplingFactor:
    case C::HeightLater:
    case C::TooManyPixels:
    case C::SubsampledTooThin:
    case C::HuffmanTableId:
    case C::ScanComponents:
    case C::NotSequential:
    case C::OtherFrameSize:
    case C::ScanBeforeFrame:
      return Decoder::UnsupportedFeature;
    case C::OutOfMemory:
      return Decoder::AllocationFailed;
    default:
      return Decoder::MalformedData;
  }
}

}  // namespace

Decoder::Decoder(const uint8_t* data, uint64_t size, void* (*allocate_)(uint64_t), void (*release_)(void*),
                 KernelChoice choice)
    : Decoder(data, size, allocate_, release_, -1, -1, nullptr, choice, nullptr) {}

Decoder::Decoder(const uint8_t* data, uint64_t size, void* (*allocate_)(uint64_t), void (*release_)(void*),
                 int32_t requiredWidth_, int32_t requiredHeight_, KernelChoice choice)
    : Decoder(data, size, allocate_, release_, requiredWidth_, requiredHeight_, nullptr, choice, nullptr) {}

Decoder::Decoder(const uint8_t* data, uint64_t size, void* (*allocate_)(uint64_t), void (*release_)(void*),
                 int32_t requiredWidth_, int32_t requiredHeight_, RowSink& rows, KernelChoice choice)
    : Decoder(data, size, allocate_, release_, requiredWidth_, requiredHeight_, &rows, choice, nullptr) {}

Decoder::Decoder(Source& from, void* (*allocate_)(uint64_t), void (*release_)(void*), int32_t requiredWidth_,
                 int32_t requiredHeight_, RowSink& rows, KernelChoice choice)
    : Decoder(nullptr, from.Size(), allocate_, release_, requiredWidth_, requiredHeight_, &rows, choice, &from) {}

Decoder::Decoder(const uint8_t* data, uint64_t size, void* (*allocate_)(uint64_t), void (*release_)(void*),
                 int32_t requiredWidth_, int32_t requiredHeight_, RowSink* rows, KernelChoice choice, Source* from)
    : source(from),
      requiredWidth(requiredWidth_),
      requiredHeight(requiredHeight_),
      sink(rows),
      kernels(ChooseKernels(choice == KernelChoice::Best)),
      allocate(allocate_),
      release(release_) {
  // Sizes of 2 GiB and more are clamped rather than wrapped: a wrapped size
  // would silently cut the input short or refuse it as too small.
  const int32_t size32 = _Clamp(size);
  inputSize = uint64_t(size32);
  result = _Decode(data, size32);
}

Decoder::~Decoder() { _ReleasePlanes(); }

Decoder::ResultCode Decoder::_Fail(Cause why, int32_t value) {
  cause = why;
  causeValue = value;
  return CodeOf(why);
}

Decoder::ResultCode Decoder::_Decode(const uint8_t* data, int32_t size) {
  readPosition = data;
  bytesLeft = size;
  windowLeft = source ? 0 : size;
  _Need(2);
  if (bytesLeft < 2 || readPosition[0] != Prefix || readPosition[1] != SOI)
    return _Fail(Cause::NoStartOfImage, bytesLeft < 2 ? -1 : int32_t(_Decode16(readPosition)));
  _Skip(2);
  ResultCode step = Success;
  while (step == Success) step = _DecodeSegment();
  if (step != ScanComplete) return step;
  // The rows were converted as the scan went; only the last ones are left.
  _Convert(height);
  return Success;
}

Decoder::ResultCode Decoder::_DecodeSegment() {
  _Need(4);  // the marker and a segment's length
  if (bytesLeft < 2) return _Fail(Cause::EndBeforeScan, _Offset());
  if (readPosition[0] != Prefix) return _Fail(Cause::MarkerExpected, _Offset());
  const uint8_t marker = readPosition[1];
  _Skip(2);
  switch (marker) {
    case SOF0:
      return _DecodeSOF();
    case DHT:
      return _DecodeDHT();
    case SOS:
      return _DecodeScan();
    case DQT:
      return _DecodeDQT();
    case DRI:
      return _DecodeDRI();
    case COM:
      return _SkipSegment(marker);
    default:
      if (marker >= APP0 && marker <= APP15) return _SkipSegment(marker);
      return _Fail(Cause::Marker, marker);
  }
}

// Every caller has made sure the bytes are there: the marker loop for its two,
// a segment for what its length covers (_ReadLength holds that to the data).
void Decoder::_Skip(int32_t count) {
  readPosition += count;
  bytesLeft -= count;
  windowLeft -= count;
  segmentLeft -= count;
}

void Decoder::_More(int32_t count) { readPosition = source->More(readPosition, count, &windowLeft); }

Decoder::ResultCode Decoder::_ReadLength(uint8_t marker) {
  if (bytesLeft < 2) return _Fail(Cause::SegmentPastEnd, marker);
  segmentLeft = int32_t(_Decode16(readPosition));
  // A length below 2 cannot even cover itself; skipping it would move
  // backwards over bytes already parsed.
  if (segmentLeft < 2) return _Fail(Cause::SegmentLengthTooSmall, marker);
  if (segmentLeft > bytesLeft) return _Fail(Cause::SegmentPastEnd, marker);
  // Every segment is had whole, even one only skipped: at most 65,535 bytes.
  _Need(segmentLeft);
  _Skip(2);
  return Success;
}

Decoder::ResultCode Decoder::_SkipSegment(uint8_t marker) {
  if (ResultCode r = _ReadLength(marker); r != Success) return r;
  _Skip(segmentLeft);
  return Success;
}

Decoder::ResultCode Decoder::_DecodeDHT() {
  if (ResultCode r = _ReadLength(DHT); r != Success) return r;
  while (segmentLeft >= 17) {
    const uint8_t b = readPosition[0];
    if (b & 0xEC) return _Fail(Cause::HuffmanTableSpec, b);  // a class above 1 or a number above 3
    if (b & 0x02) return _Fail(Cause::HuffmanTableId, b & 15);
    const int slot = (b | (b >> 3)) & 3;
    uint8_t counts[16];
    std::memcpy(counts, readPosition + 1, 16);
    _Skip(17);
    const uint8_t* symbols = readPosition;
    int32_t budget = 65536;
    for (int length = 1; length <= 16; ++length) {
      const int32_t n = counts[length - 1];
      if (n == 0) continue;
      if (segmentLeft < n) return _Fail(Cause::SegmentTooShort, DHT);
      budget -= n * (1 << (16 - length));
      if (budget < 0) return _Fail(Cause::HuffmanOverfull, length);
      _Skip(n);
    }
    vlcTables[slot].Build(counts, symbols);
  }
  if (segmentLeft != 0) return _Fail(Cause::SegmentLeftOver, DHT);
  return Success;
}

Decoder::ResultCode Decoder::_DecodeDQT() {
  if (ResultCode r = _ReadLength(DQT); r != Success) return r;
  while (segmentLeft >= 65) {
    const uint8_t b = readPosition[0];
    if (b & ~3) return _Fail(Cause::QuantTableSpec, b);  // 16-bit entries, or a number above 3
    std::memcpy(quantTables[b], readPosition + 1, 64);
    _Skip(65);
  }
  if (segmentLeft != 0) return _Fail(Cause::SegmentLeftOver, DQT);
  return Success;
}

Decoder::ResultCode Decoder::_DecodeDRI() {
  if (ResultCode r = _ReadLength(DRI); r != Success) return r;
  if (segmentLeft < 2) return _Fail(Cause::SegmentTooShort, DRI);
  restartInterval = int32_t(_Decode16(readPosition));
  _Skip(segmentLeft);
  return Success;
}

Decoder::ResultCode Decoder::_DecodeScan() {
  if (ResultCode r = _ReadLength(SOS); r != Success) return r;
  if (segmentLeft < 2 * componentCount + 4) return _Fail(Cause::SegmentTooShort, SOS);
  const int32_t count = readPosition[0];
  // Before any frame header there are no components to hold.
  if (count != componentCount) return _Fail(componentCount ? Cause::ScanComponents : Cause::ScanBeforeFrame, count);
  _Skip(1);
  for (int i = 0; i < componentCount; ++i) {
    Component& c = components[i];
    if (readPosition[0] != c.id) return _Fail(Cause::ScanComponentOrder, readPosition[0]);
    if (readPosition[1] & 0xEE) return _Fail(Cause::ScanTableNumber, readPosition[1]);
    c.dcTable = readPosition[1] >> 4;
    c.acTable = (readPosition[1] & 1) | 2;
    _Skip(2);
  }
  if (readPosition[0] != 0 || readPosition[1] != 63 || readPosition[2] != 0) return _Fail(Cause::NotSequential);
  _Skip(segmentLeft);
  if (frameRefused) return _Fail(Cause::OtherFrameSize);
  // Every block takes a code from both tables of its component, so a table
  // never defined would stop the first MCU; said here, by its number.
  for (int i = 0; i < componentCount; ++i) {
    const Component& c = components[i];
    if (!vlcTables[c.dcTable].defined) return _Fail(Cause::HuffmanTableMissing, c.dcTable);
    if (!vlcTables[c.acTable].defined) return _Fail(Cause::HuffmanTableMissing, 0x10 | (c.acTable & 1));
  }
  return source ? source->DecodeScan(*this) : _DecodeMcuRows();
}

}  // namespace Jpeg
