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
// Memory: one plane per component and the RGB buffer at the frame header.
// Subsampled planes are upsampled row by row during the colour conversion
// (jpeg_upsample.h), with one small request per such component that never
// exceeds what doubling whole planes pass by pass would request; if it
// fails, decoding ends with AllocationFailed.
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

namespace Jpeg {

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

    Decoder(const uint8_t* data, uint64_t size, void* (*allocate)(uint64_t),
            void (*release)(void*));
    // Decodes only a frame of exactly requiredWidth by requiredHeight, for a
    // caller that has no use for any other: a frame header of another size
    // is read (GetWidth and GetHeight then give it) but gets no pixel
    // memory, and if the scan belongs to such a frame, decoding stops at the
    // scan with UnsupportedFeature. Every other result is the plain
    // constructor's.
    Decoder(const uint8_t* data, uint64_t size, void* (*allocate)(uint64_t),
            void (*release)(void*), int32_t requiredWidth, int32_t requiredHeight);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    ResultCode GetResult() const { return result; }
    int32_t GetWidth() const { return width; }
    int32_t GetHeight() const { return height; }
    int32_t GetComponentCount() const { return componentCount; }
    const uint8_t* GetImage() const {
        return componentCount == 1 ? components[0].pixels : rgbImage;
    }

    // Selects the code used by decoders constructed afterwards: true allows
    // the AVX2 transform and pixel passes where the processor has them, false
    // forces the portable ones. Both give the same bytes; this switch exists
    // so that tests and benchmarks can prove exactly that.
    static void AllowVectorCode(bool allow);

    struct Component {
        int32_t id;
        int32_t samplingX, samplingY;
        int32_t width, height;
        int32_t stride;
        int32_t quantTable;
        int32_t acTable;
        int32_t dcTable;
        int32_t dcPredictor;
        uint8_t* pixels;
    };

    struct VlcCode {
        uint8_t codeLength;
        uint8_t symbol;
    };

    // First-level lookup on the next FastBits bits, filled from the same code
    // set as the full table. Where a code and its additional bits fit in
    // FastBits together, the entry holds the decoded value and their total
    // length. Where only the code fits, `length` is CodeOnly plus the code's
    // length and the additional bits are read after it. Length 0 sends the
    // decoding to the full table.
    static constexpr int FastBits = 10;
    static constexpr uint8_t CodeOnly = 0x80;
    struct FastCode {
        int16_t value;
        uint8_t length;
        uint8_t symbol;
    };

private:
    ResultCode _Decode(const uint8_t* data, int32_t size);
    void _Skip(int32_t count);
    static uint32_t _Decode16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }
    void _DecodeLength();
    void _SkipMarker();
    void _DecodeSOF();
    void _DecodeDHT();
    void _DecodeDQT();
    void _DecodeDRI();
    void _DecodeScan();
    void _ReleasePlanes();

    // Bit reader.
    void _Refill(int32_t n);
    void _LoadByteSlow();
    uint32_t _ShowBits(int32_t n) {
        if (n == 0) return 0;
        if (bitCount < n) _Refill(n);
        return uint32_t(bitBuffer >> (bitCount - n)) & ((1u << n) - 1);
    }
    void _SkipBits(int32_t n) {
        if (bitCount < n) _Refill(n);
        bitCount -= n;
    }
    uint32_t _GetBits(int32_t n) {
        uint32_t v = _ShowBits(n);
        bitCount -= n;
        return v;
    }
    void _ByteAlign() { bitCount &= ~7; }
    int32_t _GetVLC(int slot, uint8_t* symbol);
    int32_t _GetLongVLC(int slot, FastCode f, uint8_t* symbol);

    void _DecodeBlock(Component* c, uint8_t* out);
    void _TransformPending();
    void _Convert();

    ResultCode result = Success;
    const uint8_t* readPosition = nullptr;
    int32_t bytesLeft = 0;
    int32_t segmentLeft = 0;
    int32_t width = 0, height = 0;
    int32_t mcuColumns = 0, mcuRows = 0;
    int32_t mcuWidth = 0, mcuHeight = 0;
    int32_t componentCount = 0;
    Component components[3] = {};
    uint8_t quantTables[4][64] = {};
    // Filled completely by each Huffman segment, so they need no clearing:
    // a slot that was never defined is refused through vlcDefined instead of
    // through entries of length 0. That keeps construction cheap.
    VlcCode vlcTables[4][65536];
    FastCode fastTables[4][1 << FastBits];
    bool vlcDefined[4] = {};
    // 64 bits instead of 32 so that whole runs of plain bytes load at once;
    // the bits delivered, and the moment a marker byte is taken in, stay
    // those of a byte-by-byte reader.
    uint64_t bitBuffer = 0;
    int32_t bitCount = 0;
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
    uint64_t inputSize = 0;
    int32_t requiredWidth = -1, requiredHeight = -1;  // -1: any size
    bool frameRefused = false;  // the last frame header had another size than required
    bool vectorCode = false;
    void* (*allocate)(uint64_t);
    void (*release)(void*);
};

}  // namespace Jpeg
