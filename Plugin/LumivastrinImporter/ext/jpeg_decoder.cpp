// The marker loop and the headers: frame, tables, restart interval, scan.
#include "jpeg_decoder.h"

#include <cstring>

#include "jpeg_markers.h"

namespace Jpeg {
namespace {

bool IsPowerOfTwo(int v) { return (v & (v - 1)) == 0; }

}  // namespace

Decoder::Decoder(const uint8_t* data, uint64_t size, void* (*allocate_)(uint64_t), void (*release_)(void*),
                 KernelChoice choice)
    : Decoder(data, size, allocate_, release_, -1, -1, nullptr, choice) {}

Decoder::Decoder(const uint8_t* data, uint64_t size, void* (*allocate_)(uint64_t), void (*release_)(void*),
                 int32_t requiredWidth_, int32_t requiredHeight_, KernelChoice choice)
    : Decoder(data, size, allocate_, release_, requiredWidth_, requiredHeight_, nullptr, choice) {}

Decoder::Decoder(const uint8_t* data, uint64_t size, void* (*allocate_)(uint64_t), void (*release_)(void*),
                 int32_t requiredWidth_, int32_t requiredHeight_, RowSink& rows, KernelChoice choice)
    : Decoder(data, size, allocate_, release_, requiredWidth_, requiredHeight_, &rows, choice) {}

Decoder::Decoder(const uint8_t* data, uint64_t size, void* (*allocate_)(uint64_t), void (*release_)(void*),
                 int32_t requiredWidth_, int32_t requiredHeight_, RowSink* rows, KernelChoice choice)
    : requiredWidth(requiredWidth_),
      requiredHeight(requiredHeight_),
      sink(rows),
      kernels(ChooseKernels(choice == KernelChoice::Best)),
      allocate(allocate_),
      release(release_) {
  // Sizes of 2 GiB and more are clamped rather than wrapped: a wrapped size
  // would silently cut the input short or refuse it as too small.
  int32_t size32 = size > 0x7FFFFFFFu ? 0x7FFFFFFF : int32_t(size);
  inputSize = uint64_t(size32);
  result = _Decode(data, size32);
}

Decoder::~Decoder() { _ReleasePlanes(); }

void Decoder::_ReleasePlanes() {
  for (Component& c : components) {
    if (c.pixels) release(c.pixels);
    c.pixels = nullptr;
  }
  for (UpsampledRows& u : upsampled) u.Reset();
  if (rgbImage) release(rgbImage);
  rgbImage = nullptr;
  if (rowBuffer) release(rowBuffer);
  rowBuffer = nullptr;
}

Decoder::ResultCode Decoder::_Decode(const uint8_t* data, int32_t size) {
  readPosition = data;
  bytesLeft = size;
  if (bytesLeft < 2 || data[0] != Prefix || data[1] != SOI) return NoStartOfImage;
  _Skip(2);
  while (result == Success) {
    if (bytesLeft < 2 || readPosition[0] != Prefix) return MalformedData;
    uint8_t marker = readPosition[1];
    _Skip(2);
    switch (marker) {
      case SOF0:
        _DecodeSOF();
        break;
      case DHT:
        _DecodeDHT();
        break;
      case SOS:
        _DecodeScan();
        break;
      case DQT:
        _DecodeDQT();
        break;
      case DRI:
        _DecodeDRI();
        break;
      default:
        if (marker == COM || (marker >= APP0 && marker <= APP15))
          _SkipMarker();
        else
          _Refuse(Refusal::Marker, marker);
    }
  }
  // The rows were converted as the scan went; only the last ones are left.
  if (result != ScanComplete) return result;
  result = Success;
  _Convert(height);
  return result;
}

void Decoder::_Skip(int32_t count) {
  readPosition += count;
  bytesLeft -= count;
  segmentLeft -= count;
  if (bytesLeft < 0) result = MalformedData;
}

void Decoder::_DecodeLength() {
  if (bytesLeft < 2) {
    result = MalformedData;
    return;
  }
  segmentLeft = int32_t(_Decode16(readPosition));
  // A length below 2 cannot even cover itself; skipping it would move
  // backwards over bytes already parsed.
  if (segmentLeft > bytesLeft || segmentLeft < 2) {
    result = MalformedData;
    return;
  }
  _Skip(2);
}

void Decoder::_SkipMarker() {
  _DecodeLength();
  if (result != Success) return;
  _Skip(segmentLeft);
}

void Decoder::_DecodeSOF() {
  _DecodeLength();
  if (result != Success) return;
  if (segmentLeft < 9) {
    result = MalformedData;
    return;
  }
  if (readPosition[0] != 8) {
    _Refuse(Refusal::Precision, readPosition[0]);
    return;
  }
  // A second frame header replaces the first; its planes would otherwise
  // stay allocated with nothing pointing at them.
  _ReleasePlanes();
  height = int32_t(_Decode16(readPosition + 1));
  width = int32_t(_Decode16(readPosition + 3));
  componentCount = readPosition[5];
  _Skip(6);
  if (componentCount != 1 && componentCount != 3) {
    _Refuse(Refusal::ComponentCount, componentCount);
    return;
  }
  if (segmentLeft < 3 * componentCount) {
    result = MalformedData;
    return;
  }
  int32_t maxSamplingX = 0, maxSamplingY = 0;
  for (int i = 0; i < componentCount; ++i) {
    Component& c = components[i];
    c.id = readPosition[0];
    c.samplingX = readPosition[1] >> 4;
    c.samplingY = readPosition[1] & 15;
    if (c.samplingX == 0) {
      result = MalformedData;
      return;
    }
    if (!IsPowerOfTwo(c.samplingX)) {
      _Refuse(Refusal::SamplingFactor, c.samplingX);
      return;
    }
    if (c.samplingY == 0) {
      result = MalformedData;
      return;
    }
    if (!IsPowerOfTwo(c.samplingY)) {
      _Refuse(Refusal::SamplingFactor, c.samplingY);
      return;
    }
    c.quantTable = readPosition[2];
    if (c.quantTable & ~3) {
      result = MalformedData;
      return;
    }
    _Skip(3);
    if (c.samplingX > maxSamplingX) maxSamplingX = c.samplingX;
    if (c.samplingY > maxSamplingY) maxSamplingY = c.samplingY;
  }
  // A one-component scan is never interleaved: each MCU is one block in
  // raster order whatever factors the header states, so decoding with the
  // stated factors would scramble the blocks.
  if (componentCount == 1) {
    components[0].samplingX = components[0].samplingY = 1;
    maxSamplingX = maxSamplingY = 1;
  }
  if (width == 0) {
    result = MalformedData;
    return;
  }
  if (height == 0) {  // the height is given later, by a marker we refuse
    _Refuse(Refusal::HeightLater);
    return;
  }
  uint64_t pixels = uint64_t(width) * uint64_t(height);
  uint64_t allowed = inputSize * PixelsPerInputByte;
  if (allowed < MinPixelAllowance) allowed = MinPixelAllowance;
  if (allowed > MaxPixels) allowed = MaxPixels;
  if (pixels > allowed) {
    _Refuse(Refusal::TooManyPixels);
    return;
  }
  mcuWidth = 8 * maxSamplingX;
  mcuHeight = 8 * maxSamplingY;
  mcuColumns = (width + mcuWidth - 1) / mcuWidth;
  mcuRows = (height + mcuHeight - 1) / mcuHeight;
  for (int i = 0; i < componentCount; ++i) {
    Component& c = components[i];
    c.width = (width * c.samplingX + maxSamplingX - 1) / maxSamplingX;
    c.height = (height * c.samplingY + maxSamplingY - 1) / maxSamplingY;
    c.stride = 8 * mcuColumns * c.samplingX;
    if ((c.width < 3 && c.samplingX < maxSamplingX) || (c.height < 3 && c.samplingY < maxSamplingY)) {
      _Refuse(Refusal::SubsampledTooThin);
      return;
    }
  }
  // A later frame header may still bring the size wanted; the scan decides.
  frameRefused = requiredWidth >= 0 && (width != requiredWidth || height != requiredHeight);
  if (!frameRefused) _AllocateRows();
  if (result != Success) return;
  _Skip(segmentLeft);
}

// The rows of MCUs each component keeps while its samples are needed: one
// when every output row can be finished from the row of MCUs it lies in,
// three when vertical upsampling also reads a few rows of the rows of MCUs
// before and after (the output then follows one row of MCUs behind). A
// one-component picture decoded whole keeps its whole plane, which becomes
// the picture.
void Decoder::_AllocateRows() {
  verticalLag = false;
  for (int i = 0; i < componentCount; ++i)
    if (components[i].height < height) verticalLag = true;
  for (int i = 0; i < componentCount; ++i) {
    Component& c = components[i];
    c.slots = componentCount == 1 && !sink ? mcuRows : verticalLag ? 3 : 1;
    if (c.slots > mcuRows) c.slots = mcuRows;
    uint64_t rows = uint64_t(8) * uint64_t(c.samplingY) * uint64_t(c.slots);
    c.pixels = static_cast<uint8_t*>(allocate(uint64_t(c.stride) * rows));
    if (!c.pixels) {
      result = AllocationFailed;
      return;
    }
  }
  if (componentCount == 3 && !sink) {
    rgbImage = static_cast<uint8_t*>(allocate(uint64_t(width) * uint64_t(height) * 3));
    if (!rgbImage) {
      result = AllocationFailed;
      return;
    }
  }
  for (int i = 0; i < componentCount; ++i) {
    const Component& c = components[i];
    if (!upsampled[i].Start(c.pixels, c.width, c.height, c.stride, 8 * c.samplingY, c.slots, width, height, kernels,
                            allocate, release)) {
      result = AllocationFailed;
      return;
    }
  }
  if (sink && componentCount == 3) {
    rowBuffer = static_cast<uint8_t*>(allocate(uint64_t(width) * 3));
    if (!rowBuffer) {
      result = AllocationFailed;
      return;
    }
  }
  rowsDone = 0;
}

void Decoder::_DecodeDHT() {
  _DecodeLength();
  if (result != Success) return;
  while (segmentLeft >= 17) {
    uint8_t b = readPosition[0];
    if (b & 0xEC) {
      result = MalformedData;
      return;
    }
    if (b & 0x02) {
      _Refuse(Refusal::HuffmanTableId, b & 15);
      return;
    }
    int slot = (b | (b >> 3)) & 3;
    uint8_t counts[16];
    std::memcpy(counts, readPosition + 1, 16);
    _Skip(17);
    const uint8_t* symbols = readPosition;
    int32_t budget = 65536;
    for (int length = 1; length <= 16; ++length) {
      int32_t n = counts[length - 1];
      if (n == 0) continue;
      if (segmentLeft < n) {
        result = MalformedData;
        return;
      }
      budget -= n * (1 << (16 - length));
      if (budget < 0) {
        result = MalformedData;
        return;
      }
      _Skip(n);
    }
    vlcTables[slot].Build(counts, symbols);
  }
  if (segmentLeft != 0) result = MalformedData;
}

void Decoder::_DecodeDQT() {
  _DecodeLength();
  if (result != Success) return;
  while (segmentLeft >= 65) {
    uint8_t b = readPosition[0];
    if (b & ~3) {
      result = MalformedData;
      return;
    }
    std::memcpy(quantTables[b], readPosition + 1, 64);
    _Skip(65);
  }
  if (segmentLeft != 0) result = MalformedData;
}

void Decoder::_DecodeDRI() {
  _DecodeLength();
  if (result != Success) return;
  if (segmentLeft < 2) {
    result = MalformedData;
    return;
  }
  restartInterval = int32_t(_Decode16(readPosition));
  _Skip(segmentLeft);
}

void Decoder::_DecodeScan() {
  _DecodeLength();
  if (result != Success) return;
  if (segmentLeft < 2 * componentCount + 4) {
    result = MalformedData;
    return;
  }
  if (readPosition[0] != componentCount) {
    _Refuse(Refusal::ScanComponents, readPosition[0]);
    return;
  }
  _Skip(1);
  for (int i = 0; i < componentCount; ++i) {
    Component& c = components[i];
    if (readPosition[0] != c.id || (readPosition[1] & 0xEE)) {
      result = MalformedData;
      return;
    }
    c.dcTable = readPosition[1] >> 4;
    c.acTable = (readPosition[1] & 1) | 2;
    _Skip(2);
  }
  if (readPosition[0] != 0 || readPosition[1] != 63 || readPosition[2] != 0) {
    _Refuse(Refusal::NotSequential);
    return;
  }
  _Skip(segmentLeft);
  if (frameRefused) {
    _Refuse(Refusal::OtherFrameSize);
    return;
  }

  _DecodeMcuRows();
  if (result == Success) result = ScanComplete;
}

}  // namespace Jpeg
