// The frame header, in three steps: read as its segment states it, checked,
// then the frame started: its geometry and the memory its rows need.
#include "jpeg_decoder.h"
#include "jpeg_markers.h"

namespace Jpeg {
namespace {

bool IsPowerOfTwo(int32_t v) { return (v & (v - 1)) == 0; }

// A component's samples across `size` of the frame's, rounded up.
int32_t PlaneSize(int32_t size, int32_t sampling, int32_t maxSampling) {
  return (size * sampling + maxSampling - 1) / maxSampling;
}

}  // namespace

void Decoder::FrameHeader::MaxSampling(int32_t* x, int32_t* y) const {
  *x = *y = 0;
  for (int i = 0; i < componentCount; ++i) {
    if (parts[i].samplingX > *x) *x = parts[i].samplingX;
    if (parts[i].samplingY > *y) *y = parts[i].samplingY;
  }
}

Decoder::ResultCode Decoder::_DecodeSOF() {
  FrameHeader frame;
  if (ResultCode r = _ReadFrameHeader(&frame); r != Success) return r;
  const ResultCode checked = _CheckFrameHeader(frame);
  // A frame header of 8-bit samples replaces the one before, taken or not:
  // the planes of that one go, and its size is the one reported, so that a
  // refusal can be told with it.
  if (frame.EightBit()) {
    _ReleasePlanes();
    width = frame.width;
    height = frame.height;
    componentCount = frame.componentCount;
  }
  if (checked != Success) return checked;
  return _StartFrame(frame);
}

// Fails only where the bytes to read are not there; what they say is for the
// check. Takes the whole segment.
Decoder::ResultCode Decoder::_ReadFrameHeader(FrameHeader* frame) {
  if (ResultCode r = _ReadLength(SOF0); r != Success) return r;
  if (segmentLeft < 9) return _Fail(Cause::SegmentTooShort, SOF0);
  const uint8_t* p = readPosition;
  frame->precision = p[0];
  frame->height = int32_t(_Decode16(p + 1));
  frame->width = int32_t(_Decode16(p + 3));
  frame->componentCount = p[5];
  frame->partsPresent = segmentLeft - 6 >= 3 * frame->componentCount;
  if (frame->partsPresent && frame->componentCount <= 3) {
    for (int i = 0; i < frame->componentCount; ++i) {
      const uint8_t* q = p + 6 + 3 * i;
      frame->parts[i] = FrameHeader::Part{q[0], q[1] >> 4, q[1] & 15, q[2]};
    }
  }
  _Skip(segmentLeft);
  return Success;
}

Decoder::ResultCode Decoder::_CheckFrameHeader(const FrameHeader& frame) {
  if (!frame.EightBit()) return _Fail(Cause::Precision, frame.precision);
  if (frame.componentCount != 1 && frame.componentCount != 3) return _Fail(Cause::ComponentCount, frame.componentCount);
  if (!frame.partsPresent) return _Fail(Cause::SegmentTooShort, SOF0);
  for (int i = 0; i < frame.componentCount; ++i) {
    const FrameHeader::Part& p = frame.parts[i];
    if (p.samplingX == 0) return _Fail(Cause::SamplingFactorZero, p.id);
    if (!IsPowerOfTwo(p.samplingX)) return _Fail(Cause::SamplingFactor, p.samplingX);
    if (p.samplingY == 0) return _Fail(Cause::SamplingFactorZero, p.id);
    if (!IsPowerOfTwo(p.samplingY)) return _Fail(Cause::SamplingFactor, p.samplingY);
    if (p.quantTable & ~3) return _Fail(Cause::FrameQuantTable, p.quantTable);
  }
  if (frame.width == 0) return _Fail(Cause::WidthZero);
  // A height of 0 is given later, by a marker not taken here.
  if (frame.height == 0) return _Fail(Cause::HeightLater);
  const uint64_t pixels = uint64_t(frame.width) * uint64_t(frame.height);
  uint64_t allowed = inputSize * PixelsPerInputByte;
  if (allowed < MinPixelAllowance) allowed = MinPixelAllowance;
  if (allowed > MaxPixels) allowed = MaxPixels;
  if (pixels > allowed) return _Fail(Cause::TooManyPixels);
  // The upsampling filter's edges take three samples of a subsampled plane.
  int32_t maxX, maxY;
  frame.MaxSampling(&maxX, &maxY);
  for (int i = 0; i < frame.componentCount; ++i) {
    const FrameHeader::Part& p = frame.parts[i];
    if ((PlaneSize(frame.width, p.samplingX, maxX) < 3 && p.samplingX < maxX) ||
        (PlaneSize(frame.height, p.samplingY, maxY) < 3 && p.samplingY < maxY))
      return _Fail(Cause::SubsampledTooThin);
  }
  return Success;
}

Decoder::ResultCode Decoder::_StartFrame(const FrameHeader& frame) {
  int32_t maxX, maxY;
  frame.MaxSampling(&maxX, &maxY);
  // A one-component scan is never interleaved: each MCU is one block in
  // raster order whatever factors the header states, so decoding with the
  // stated factors would scramble the blocks.
  if (componentCount == 1) maxX = maxY = 1;
  mcuWidth = 8 * maxX;
  mcuHeight = 8 * maxY;
  mcuColumns = (width + mcuWidth - 1) / mcuWidth;
  mcuRows = (height + mcuHeight - 1) / mcuHeight;
  for (int i = 0; i < componentCount; ++i) {
    const FrameHeader::Part& p = frame.parts[i];
    Component& c = components[i];
    c.id = p.id;
    c.samplingX = componentCount == 1 ? 1 : p.samplingX;
    c.samplingY = componentCount == 1 ? 1 : p.samplingY;
    c.quantTable = p.quantTable;
    c.width = PlaneSize(width, c.samplingX, maxX);
    c.height = PlaneSize(height, c.samplingY, maxY);
    c.stride = 8 * mcuColumns * c.samplingX;
  }
  // A later frame header may still bring the size wanted; the scan decides.
  frameRefused = requiredWidth >= 0 && (width != requiredWidth || height != requiredHeight);
  if (frameRefused) return Success;
  return _AllocateRows();
}

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

Decoder::ResultCode Decoder::_Allocate(uint64_t bytes, uint8_t** to) {
  *to = static_cast<uint8_t*>(allocate(bytes));
  if (*to) return Success;
  return _Fail(Cause::OutOfMemory, _Clamp(bytes));
}

// The rows of MCUs each component keeps while its samples are needed: one
// when every output row can be finished from the row of MCUs it lies in,
// three when vertical upsampling also reads a few rows of the rows of MCUs
// before and after (the output then follows one row of MCUs behind). A
// one-component picture decoded whole keeps its whole plane, which becomes
// the picture.
Decoder::ResultCode Decoder::_AllocateRows() {
  verticalLag = false;
  for (int i = 0; i < componentCount; ++i)
    if (components[i].height < height) verticalLag = true;
  for (int i = 0; i < componentCount; ++i) {
    Component& c = components[i];
    c.slots = componentCount == 1 && !sink ? mcuRows : verticalLag ? 3 : 1;
    if (c.slots > mcuRows) c.slots = mcuRows;
    const uint64_t rows = uint64_t(8) * uint64_t(c.samplingY) * uint64_t(c.slots);
    if (ResultCode r = _Allocate(uint64_t(c.stride) * rows, &c.pixels); r != Success) return r;
  }
  if (componentCount == 3 && !sink) {
    if (ResultCode r = _Allocate(uint64_t(width) * uint64_t(height) * 3, &rgbImage); r != Success) return r;
  }
  for (int i = 0; i < componentCount; ++i) {
    const Component& c = components[i];
    if (!upsampled[i].Start(c.pixels, c.width, c.height, c.stride, 8 * c.samplingY, c.slots, width, height, kernels,
                            allocate, release))
      return _Fail(Cause::OutOfMemory, _Clamp(upsampled[i].Requested()));
  }
  if (sink && componentCount == 3) {
    if (ResultCode r = _Allocate(uint64_t(width) * 3, &rowBuffer); r != Success) return r;
  }
  rowsDone = 0;
  return Success;
}

}  // namespace Jpeg
