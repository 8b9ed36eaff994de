// Baseline JPEG decoder over a memory buffer.
//
// The whole file is decoded inside the constructor; afterwards the object only
// answers queries. It accepts baseline sequential frames with 8-bit samples,
// one or three components, power-of-two sampling factors, Huffman tables 0 and
// 1, quantisation tables 0 to 3 with 8-bit entries, an optional restart
// interval and exactly one scan that carries every component. Everything else
// is refused with a result code, and beside it a named cause (GetCause) that
// says what was wrong. Nothing is thrown, printed or kept globally.
//
// Output after Success: interleaved R, G, B bytes for three components, one
// grey byte per pixel for one component; rows top to bottom, no padding.
//
// Two ways to drive it, one decoding: the picture is always decoded a row of
// MCUs at a time into a few rows per component, and each finished output row
// goes either into the whole picture (GetImage) or to a RowSink that takes it
// onward at once, so that no whole picture is ever kept.
//
// Two ways to feed it, one decoding: the file whole in memory, or a Source
// that hands it over a window at a time as the decoder asks (a segment is
// always had whole, the scan's data as the bit reader reaches it), so that
// no whole file is ever kept either. Whatever the windows, a file decodes
// exactly as it does whole.
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

class Source;

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
  // The same, with the file's bytes coming from `source` as they are needed.
  Decoder(Source& source, void* (*allocate)(uint64_t), void (*release)(void*), int32_t requiredWidth,
          int32_t requiredHeight, RowSink& rows, KernelChoice kernels = KernelChoice::Best);
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  ResultCode GetResult() const { return result; }

  // What stopped a decode (None after Success), and the value it turned on,
  // so that a tool can tell an author in words exactly what was wrong: the
  // result code alone is what the plug-in acts on. Each cause belongs to one
  // result code, the one its group names.
  enum class Cause : int32_t {
    None,
    // NoStartOfImage
    NoStartOfImage,  // the data does not begin 0xFF 0xD8 (value: its first two bytes, -1 when it has fewer)
    // UnsupportedFeature: a feature of the format that is not taken here
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
    ScanBeforeFrame,    // a scan that names components before any frame header (value: how many)
    // AllocationFailed
    OutOfMemory,  // a memory request refused (value: its size in bytes, at most 2^31 - 1)
    // MalformedData in the headers. A segment's causes give its marker code.
    EndBeforeScan,          // the data ends before its scan (value: the offset where a marker was due)
    MarkerExpected,         // a byte other than 0xFF where a marker is due (value: its offset)
    SegmentPastEnd,         // a segment's length, or the length itself, runs past the end of the data
    SegmentLengthTooSmall,  // a segment's length below 2, which cannot cover the length itself
    SegmentTooShort,        // a segment shorter than the fields or tables it declares
    SegmentLeftOver,        // bytes after a table segment's last whole table
    SamplingFactorZero,     // a component's sampling factor of 0 (value: the component's id)
    FrameQuantTable,        // a component's quantisation table number above 3 (value: the number)
    WidthZero,              // a frame width of 0
    HuffmanTableSpec,       // a code table's class above 1 or number above 3 (value: the byte giving both)
    HuffmanOverfull,        // more codes than their lengths hold (value: the length where they overflow)
    QuantTableSpec,         // a quantisation table of 16-bit entries or numbered above 3 (value: the byte giving both)
    ScanComponentOrder,     // a scan's components not the frame's, in the frame's order (value: the id found)
    ScanTableNumber,        // a scan's code table number above 1 (value: the byte giving both of a component)
    HuffmanTableMissing,    // a scan's code table never defined (value: class x 16 + number, as defined)
    // MalformedData in the scan's data. The value: how many MCUs were
    // decoded whole before it, unless given.
    HuffmanCodeMissing,   // bits that start no code of their table
    AcSymbolInvalid,      // a symbol that codes no coefficient (size 0 with a run other than 0 and 15)
    TooManyCoefficients,  // a block's coefficients running past its 64th
    ScanDataEnds,         // the data (or 0xFF 0xD9) ends before the scan's last MCU
    MarkerInScan,         // a marker inside the data, not a restart or the end of the image (value: its code)
    RestartMissing,       // no restart marker where the interval puts one (value: the code of the one due)
    RestartOutOfOrder,    // a restart marker other than the one due (value: the code found)
  };
  Cause GetCause() const { return cause; }
  int32_t GetCauseValue() const { return causeValue; }
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
  friend class Source;

  // The one the others come to; `rows` null: the whole picture; `from`
  // null: the data is all at `data`.
  Decoder(const uint8_t* data, uint64_t size, void* (*allocate)(uint64_t), void (*release)(void*),
          int32_t requiredWidth, int32_t requiredHeight, RowSink* rows, KernelChoice kernels, Source* from);
  // A frame header as its segment states it, before any check.
  struct FrameHeader {
    struct Part {
      int32_t id, samplingX, samplingY, quantTable;
    };
    int32_t precision = 0, height = 0, width = 0, componentCount = 0;
    bool partsPresent = false;  // the segment holds the three bytes of every component
    Part parts[3] = {};         // when present and at most three
    bool EightBit() const { return precision == 8; }
    // The largest sampling factors of its components.
    void MaxSampling(int32_t* x, int32_t* y) const;
  };

  // Every step returns its result code: Success to go on, ScanComplete
  // after the scan, anything else through _Fail.
  ResultCode _Decode(const uint8_t* data, int32_t size);
  ResultCode _DecodeSegment();
  void _Skip(int32_t count);
  // The next `count` bytes (all that are left, when fewer) readable at
  // readPosition. Only a source's data can lack them.
  void _Need(int32_t count) {
    if (windowLeft < count && windowLeft < bytesLeft) _More(count);
  }
  void _More(int32_t count);
  static uint32_t _Decode16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }
  static int32_t _Clamp(uint64_t v) { return v > 0x7FFFFFFFu ? 0x7FFFFFFF : int32_t(v); }
  int32_t _Offset() const { return int32_t(inputSize - uint64_t(bytesLeft)); }
  ResultCode _ReadLength(uint8_t marker);
  ResultCode _SkipSegment(uint8_t marker);
  ResultCode _DecodeSOF();
  ResultCode _ReadFrameHeader(FrameHeader* frame);
  ResultCode _CheckFrameHeader(const FrameHeader& frame);
  ResultCode _StartFrame(const FrameHeader& frame);
  ResultCode _AllocateRows();
  ResultCode _Allocate(uint64_t bytes, uint8_t** to);
  ResultCode _DecodeDHT();
  ResultCode _DecodeDQT();
  ResultCode _DecodeDRI();
  ResultCode _DecodeScan();
  // The scan's data, with work of a caller's run beside the codes
  // (jpeg_scan.h says how), or with none.
  template <class Beside>
  ResultCode _DecodeMcuRows(Beside& beside);
  ResultCode _DecodeMcuRows();
  ResultCode _ReadRestart(int32_t due, int32_t mcus);
  void _ReleasePlanes();

  // Every failure: records why beside the code, which it returns.
  ResultCode _Fail(Cause why, int32_t value = 0);
  // A failure inside the scan's data after `mcus` MCUs decoded whole, where
  // what went wrong first wins.
  ResultCode _FailInScan(Cause why, int32_t mcus);

  int32_t _GetVLC(int slot, uint8_t* symbol);
  // None, or what stopped the block, for the scan to report.
  template <class Beside>
  Cause _DecodeBlock(Component* c, uint8_t* out, Beside& beside);
  void _TransformPending();

  // Upsampling, colour conversion and hand-over of the output rows up to
  // (not including) `endRow`.
  void _Convert(int32_t endRow);

  ResultCode result = Success;
  Cause cause = Cause::None;
  int32_t causeValue = 0;
  const uint8_t* readPosition = nullptr;
  int32_t bytesLeft = 0;   // to the end of the data
  int32_t windowLeft = 0;  // of those, readable at readPosition
  Source* source = nullptr;
  int32_t segmentLeft = 0;
  int32_t width = 0, height = 0;
  int32_t mcuColumns = 0, mcuRows = 0;
  int32_t mcuWidth = 0, mcuHeight = 0;
  int32_t componentCount = 0;
  Component components[3] = {};
  uint8_t quantTables[4][64] = {};
  HuffmanTable vlcTables[4];
  BitReader bits;
  Cause missedCode = Cause::None;  // a code missing from its table, reported at its block's end
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

// The data of one JPEG file, handed to the decoder a window at a time, for a
// caller that never holds all of it at once (it reads, decrypts or inflates
// it as the decoder goes).
class Source {
 public:
  explicit Source(uint64_t size) : size_(size) {}
  // The whole file's size in bytes, known before any of it is read.
  uint64_t Size() const { return size_; }

  // The bytes from `from` on, in a row: at least `want` of them (all that
  // are left, when fewer; `want` is at most 65,536), and `*count` says how
  // many. `from` lies in the window given last, or at its end (null before
  // the first); that window is given up. Never fails: after a failure of
  // its own a source gives 0xFF bytes, which stop the decoder at its next
  // marker or code, and tells its own caller why.
  virtual const uint8_t* More(const uint8_t* from, int32_t want, int32_t* count) = 0;

  // Decodes the scan's data: ScanAlone, or ScanBeside for a source with
  // serial work of its own to run beside the decoder's codes.
  virtual Decoder::ResultCode DecodeScan(Decoder& decoder) { return ScanAlone(decoder); }

 protected:
  ~Source() = default;
  static Decoder::ResultCode ScanAlone(Decoder& decoder) { return decoder._DecodeMcuRows(); }
  // Defined in jpeg_scan.h, which says what a Beside is.
  template <class Beside>
  static Decoder::ResultCode ScanBeside(Decoder& decoder, Beside& beside);

 private:
  uint64_t size_;
};

}  // namespace Jpeg
