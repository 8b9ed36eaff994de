// Baseline JPEG decoder over a memory buffer.
//
// The whole file is decoded inside the constructor; afterwards the object only
// answers queries. It accepts baseline sequential frames with 8-bit samples,
// one or three components, power-of-two sampling factors, Huffman tables 0 and
// 1, quantisation tables 0 to 3 with 8-bit entries, an optional restart
// interval and exactly one scan that carries every component. Everything else
// is refused with a result code. Nothing is thrown, printed or kept globally.
//
// Output after Success: interleaved R, G, B bytes for three components, one
// grey byte per pixel for one component; rows top to bottom, no padding.
//
// Two ways to drive it, one decoding: the picture is always decoded a row of
// MCUs at a time into a few rows per component, and each finished output row
// goes either into the whole picture (GetImage) or to a RowSink that takes it
// onward at once, so that no whole picture is ever kept.
//
// Memory, all requested at the frame header: the rows of MCUs each component
// keeps (three when some component is upsampled vertically, else one; the
// whole plane for a one-component picture decoded whole), the row buffers of
// upsampling (jpeg_upsample.h), and the picture (whole) or one output row
// (rows). Every request is smaller than the plane or picture it replaces.
//
// Limits (refused before any pixel memory is requested):
// - width or height 0: MalformedData (width) or UnsupportedFeature (height;
//   the "height defined later" form is not supported).
// - more than MaxPixels pixels, or more than PixelsPerInputByte pixels per
//   byte of input once past MinPixelAllowance: UnsupportedFeature. The densest
//   real encoding spends two bits per 8x8 block (a one-bit DC code and a
//   one-bit end of block), that is 256 pixels per byte, so the per-byte bound
//   has a factor of two headroom and every real picture passes, while a file
//   of a few hundred bytes can no longer ask for gigabytes.
#pragma once

#include <cstdint>

#include "jpeg_huffman.h"
#include "jpeg_kernels.h"
#include "jpeg_upsample.h"

namespace Jpeg {

// Takes the picture a row at a time, top to bottom, each row exactly once.
class RowSink {
 public:
  // Where a colour row may be written as opaque A, R, G, B bytes (alpha
  // 255) straight away, for a sink that wants them so; null: it gets R, G,
  // B. Asked once per colour row, just before PutRow.
  virtual uint8_t* ArgbRow(int32_t /*row*/) { return nullptr; }
  // `pixels`: the row's width x components bytes: R, G, B for three
  // components, grey for one, and for four the A, R, G, B row written where
  // ArgbRow said. Valid for the length of the call.
  virtual void PutRow(int32_t row, const uint8_t* pixels, int32_t components) = 0;

 protected:
  ~RowSink() = default;
};

class Decoder {
 public:
  enum ResultCode : int32_t {
    Success = 0,
    NoStartOfImage = 1,
    UnsupportedFeature = 2,
    AllocationFailed = 3,
    MalformedData = 5,
    ScanComplete = 6,
  };

  static constexpr uint64_t MaxPixels = uint64_t(1) << 28;  // 16384 x 16384
  static constexpr uint64_t MinPixelAllowance = uint64_t(1) << 22;
  static constexpr uint64_t PixelsPerInputByte = 512;

  // Which pixel kernels the decoder runs (jpeg_kernels.h): the AVX2 ones
  // where the processor has them, or the portable ones. Both give the same
  // bytes; the choice exists so that tests and benchmarks can prove exactly
  // that.
  enum class KernelChoice : int32_t { Best, Portable };

  Decoder(const uint8_t* data, uint64_t size, void* (*allocate)(uint64_t), void (*release)(void*),
          KernelChoice kernels = KernelChoice::Best);
  // Decodes only a frame of exactly requiredWidth by requiredHeight, for a
  // caller that has no use for any other: a frame header of another size
  // is read (GetWidth and GetHeight then give it) but gets no pixel
  // memory, and if the scan belongs to such a frame, decoding stops at the
  // scan with UnsupportedFeature. Every other result is the plain
  // constructor's.
  Decoder(const uint8_t* data, uint64_t size, void* (*allocate)(uint64_t), void (*release)(void*),
          int32_t requiredWidth, int32_t requiredHeight, KernelChoice kernels = KernelChoice::Best);
  // The same, with every finished row handed to `rows` as soon as it is
  // done instead of being kept: GetImage then gives null. After a failure
  // the rows handed over so far are undefined, as the picture would be.
  Decoder(const uint8_t* data, uint64_t size, void* (*allocate)(uint64_t), void (*release)(void*),
          int32_t requiredWidth, int32_t requiredHeight, RowSink& rows, KernelChoice kernels = KernelChoice::Best);
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  ResultCode GetResult() const { return result; }

  // Which refusal ended a decode with UnsupportedFeature (None otherwise),
  // and the value it turned on, so that a tool can tell an author in words
  // exactly what the plug-in refused: the result code alone is what the
  // plug-in acts on.
  enum class Refusal : int32_t {
    None,
    Marker,             // a marker not taken here (value: its code), e.g. a progressive or arithmetic frame
    Precision,          // samples of other than 8 bits (value: the precision)
    ComponentCount,     // neither one nor three components (value: the count)
    SamplingFactor,     // a sampling factor that is not a power of two (value: the factor)
    HeightLater,        // a height of 0, to be given after the scan
    TooManyPixels,      // more pixels than the input's size can plausibly hold (or MaxPixels)
    SubsampledTooThin,  // a subsampled component less than 3 samples wide or high
    HuffmanTableId,     // a code table number other than 0 and 1 (value: the number)
    ScanComponents,     // a scan that does not hold every component (value: how many it holds)
    NotSequential,      // a scan's spectral selection or approximation is not the baseline one
    OtherFrameSize,     // the frame is not of the size the caller asked for
  };
  Refusal GetRefusal() const { return refusal; }
  int32_t GetRefusalValue() const { return refusalValue; }
  int32_t GetWidth() const { return width; }
  int32_t GetHeight() const { return height; }
  int32_t GetComponentCount() const { return componentCount; }
  const uint8_t* GetImage() const {
    if (sink) return nullptr;
    return componentCount == 1 ? components[0].pixels : rgbImage;
  }

  struct Component {
    int32_t id;
    int32_t samplingX, samplingY;
    int32_t width, height;
    int32_t stride;
    int32_t quantTable;
    int32_t acTable;
    int32_t dcTable;
    int32_t dcPredictor;
    uint8_t* pixels;  // rows of MCUs, `slots` of them in turn
    int32_t slots;    // rows of MCUs kept; row r of the plane is in slot (r / (8 x samplingY)) % slots
  };

 private:
  // The one the others come to; `rows` null: the whole picture.
  Decoder(const uint8_t* data, uint64_t size, void* (*allocate)(uint64_t), void (*release)(void*),
          int32_t requiredWidth, int32_t requiredHeight, RowSink* rows, KernelChoice kernels);
  ResultCode _Decode(const uint8_t* data, int32_t size);
  void _Skip(int32_t count);
  static uint32_t _Decode16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }
  void _DecodeLength();
  void _SkipMarker();
  void _DecodeSOF();
  void _AllocateRows();
  void _DecodeDHT();
  void _DecodeDQT();
  void _DecodeDRI();
  void _DecodeScan();
  void _DecodeMcuRows();
  void _ReleasePlanes();
  void _Refuse(Refusal why, int32_t value = 0) {
    result = UnsupportedFeature;
    refusal = why;
    refusalValue = value;
  }

  int32_t _GetVLC(int slot, uint8_t* symbol);
  void _DecodeBlock(Component* c, uint8_t* out);
  void _TransformPending();

  // Upsampling, colour conversion and hand-over of the output rows up to
  // (not including) `endRow`.
  void _Convert(int32_t endRow);

  ResultCode result = Success;
  Refusal refusal = Refusal::None;
  int32_t refusalValue = 0;
  const uint8_t* readPosition = nullptr;
  int32_t bytesLeft = 0;
  int32_t segmentLeft = 0;
  int32_t width = 0, height = 0;
  int32_t mcuColumns = 0, mcuRows = 0;
  int32_t mcuWidth = 0, mcuHeight = 0;
  int32_t componentCount = 0;
  Component components[3] = {};
  uint8_t quantTables[4][64] = {};
  HuffmanTable vlcTables[4];
  BitReader bits;
  // Two work blocks: a block's transform runs after the next block has
  // been decoded into the other one, which lets the two overlap and gives
  // the scalar stores time to settle before the vector loads.
  alignas(32) int32_t coefficients[2][64] = {};
  struct PendingBlock {
    uint8_t* out;
    int32_t stride;
    uint32_t acRows;
  };
  PendingBlock pending = {};
  int32_t currentBlock = 0;
  int32_t restartInterval = 0;
  uint8_t* rgbImage = nullptr;
  uint8_t* rowBuffer = nullptr;  // one output row, when rows go to a sink
  UpsampledRows upsampled[3];
  int32_t rowsDone = 0;  // output rows converted so far
  uint64_t inputSize = 0;
  int32_t requiredWidth = -1, requiredHeight = -1;  // -1: any size
  bool frameRefused = false;                        // the last frame header had another size than required
  bool verticalLag = false;                         // output rows wait for the next row of MCUs (vertical upsampling)
  RowSink* sink = nullptr;
  Kernels kernels;
  void* (*allocate)(uint64_t);
  void (*release)(void*);
};

}  // namespace Jpeg
