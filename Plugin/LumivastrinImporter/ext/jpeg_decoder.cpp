#include "jpeg_decoder.h"

#include <atomic>
#include <cstring>

#include "jpeg_idct.h"
#include "jpeg_pixels.h"
#include "jpeg_upsample.h"

namespace Jpeg {
namespace {

constexpr int8_t zigzag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

// Where the k-th coefficient in zig-zag order is kept in the work block,
// which the transform wants column by column: 8 x column + row.
struct BlockOrder {
    uint8_t at[64];
    constexpr BlockOrder() : at() {
        for (int k = 0; k < 64; ++k) at[k] = uint8_t((zigzag[k] & 7) * 8 + (zigzag[k] >> 3));
    }
};
constexpr BlockOrder blockOrder;

std::atomic<bool> vectorAllowed{true};

// The block decoder's helpers must sit in registers with the bit reader.
#if defined(__GNUC__)
#define LVS_INLINE __attribute__((always_inline))
#else
#define LVS_INLINE
#endif

inline uint8_t Clip(int32_t v) { return v < 0 ? 0 : v > 255 ? 255 : uint8_t(v); }

bool IsPowerOfTwo(int v) { return (v & (v - 1)) == 0; }

}  // namespace

void Decoder::AllowVectorCode(bool allow) { vectorAllowed = allow; }

Decoder::Decoder(const uint8_t* data, uint64_t size, void* (*allocate_)(uint64_t),
                 void (*release_)(void*))
    : Decoder(data, size, allocate_, release_, -1, -1) {}

Decoder::Decoder(const uint8_t* data, uint64_t size, void* (*allocate_)(uint64_t),
                 void (*release_)(void*), int32_t requiredWidth_, int32_t requiredHeight_)
    : requiredWidth(requiredWidth_), requiredHeight(requiredHeight_), allocate(allocate_),
      release(release_) {
    std::memset(fastTables, 0, sizeof fastTables);
    vectorCode = vectorAllowed && HasAvx2();
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
    if (rgbImage) release(rgbImage);
    rgbImage = nullptr;
}

Decoder::ResultCode Decoder::_Decode(const uint8_t* data, int32_t size) {
    readPosition = data;
    bytesLeft = size;
    if (bytesLeft < 2 || data[0] != 0xFF || data[1] != 0xD8) return NoStartOfImage;
    _Skip(2);
    while (result == Success) {
        if (bytesLeft < 2 || readPosition[0] != 0xFF) return MalformedData;
        uint8_t marker = readPosition[1];
        _Skip(2);
        switch (marker) {
            case 0xC0: _DecodeSOF(); break;
            case 0xC4: _DecodeDHT(); break;
            case 0xDA: _DecodeScan(); break;
            case 0xDB: _DecodeDQT(); break;
            case 0xDD: _DecodeDRI(); break;
            default:
                if (marker == 0xFE || (marker >= 0xE0 && marker <= 0xEF))
                    _SkipMarker();
                else
                    result = UnsupportedFeature;
        }
    }
    if (result != ScanComplete) return result;
    result = Success;
    _Convert();
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
        result = UnsupportedFeature;
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
        result = UnsupportedFeature;
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
        if (c.samplingX == 0) { result = MalformedData; return; }
        if (!IsPowerOfTwo(c.samplingX)) { result = UnsupportedFeature; return; }
        if (c.samplingY == 0) { result = MalformedData; return; }
        if (!IsPowerOfTwo(c.samplingY)) { result = UnsupportedFeature; return; }
        c.quantTable = readPosition[2];
        if (c.quantTable & ~3) { result = MalformedData; return; }
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
        result = UnsupportedFeature;
        return;
    }
    uint64_t pixels = uint64_t(width) * uint64_t(height);
    uint64_t allowed = inputSize * PixelsPerInputByte;
    if (allowed < MinPixelAllowance) allowed = MinPixelAllowance;
    if (allowed > MaxPixels) allowed = MaxPixels;
    if (pixels > allowed) {
        result = UnsupportedFeature;
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
        if ((c.width < 3 && c.samplingX < maxSamplingX) ||
            (c.height < 3 && c.samplingY < maxSamplingY)) {
            result = UnsupportedFeature;
            return;
        }
    }
    // A later frame header may still bring the size wanted; the scan decides.
    frameRefused = requiredWidth >= 0 && (width != requiredWidth || height != requiredHeight);
    if (frameRefused) {
        _Skip(segmentLeft);
        return;
    }
    for (int i = 0; i < componentCount; ++i) {
        Component& c = components[i];
        uint64_t rows = uint64_t(8) * uint64_t(mcuRows) * uint64_t(c.samplingY);
        c.pixels = static_cast<uint8_t*>(allocate(uint64_t(c.stride) * rows));
        if (!c.pixels) {
            result = AllocationFailed;
            return;
        }
    }
    if (componentCount == 3) {
        rgbImage = static_cast<uint8_t*>(allocate(pixels * 3));
        if (!rgbImage) {
            result = AllocationFailed;
            return;
        }
    }
    _Skip(segmentLeft);
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
            result = UnsupportedFeature;
            return;
        }
        int slot = (b | (b >> 3)) & 3;
        uint8_t counts[16];
        std::memcpy(counts, readPosition + 1, 16);
        _Skip(17);
        VlcCode* table = vlcTables[slot];
        int32_t budget = 65536;
        int32_t next = 0;
        for (int length = 1; length <= 16; ++length) {
            int32_t n = counts[length - 1];
            if (n == 0) continue;
            if (segmentLeft < n) {
                result = MalformedData;
                return;
            }
            int32_t span = 1 << (16 - length);
            budget -= n * span;
            if (budget < 0) {
                result = MalformedData;
                return;
            }
            for (int32_t i = 0; i < n; ++i) {
                VlcCode code = {uint8_t(length), readPosition[i]};
                for (int32_t j = 0; j < span; ++j) table[next + j] = code;
                next += span;
            }
            _Skip(n);
        }
        for (; next < 65536; ++next) table[next].codeLength = 0;
        vlcDefined[slot] = true;
        // A code of up to FastBits bits covers every entry that starts with
        // it; with its additional bits inside the same FastBits, the value is
        // known from the prefix alone.
        FastCode* fast = fastTables[slot];
        for (int p = 0; p < (1 << FastBits); ++p) {
            VlcCode e = table[p << (16 - FastBits)];
            int k = e.symbol & 15;
            fast[p] = FastCode{0, 0, e.symbol};
            if (e.codeLength == 0 || e.codeLength > FastBits) continue;
            if (e.codeLength + k > FastBits) {
                fast[p].length = uint8_t(CodeOnly | e.codeLength);
                continue;
            }
            int32_t v = 0;
            if (k) {
                v = (p >> (FastBits - e.codeLength - k)) & ((1 << k) - 1);
                if (v < (1 << (k - 1))) v -= (1 << k) - 1;
            }
            fast[p] = FastCode{int16_t(v), uint8_t(e.codeLength + k), e.symbol};
        }
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
    int32_t restartsLeft = restartInterval;
    int32_t expectedRestart = 0;
    _DecodeLength();
    if (result != Success) return;
    if (segmentLeft < 2 * componentCount + 4) {
        result = MalformedData;
        return;
    }
    if (readPosition[0] != componentCount) {
        result = UnsupportedFeature;
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
        result = UnsupportedFeature;
        return;
    }
    _Skip(segmentLeft);
    if (frameRefused) {
        result = UnsupportedFeature;
        return;
    }

    const int32_t mcuCount = mcuRows * mcuColumns;
    int32_t mcu = 0;
    for (int32_t my = 0; my < mcuRows; ++my) {
        for (int32_t mx = 0; mx < mcuColumns; ++mx, ++mcu) {
            for (int i = 0; i < componentCount; ++i) {
                Component* c = &components[i];
                for (int by = 0; by < c->samplingY; ++by) {
                    for (int bx = 0; bx < c->samplingX; ++bx) {
                        size_t row = size_t(my) * size_t(c->samplingY) + size_t(by);
                        size_t col = size_t(mx) * size_t(c->samplingX) + size_t(bx);
                        _DecodeBlock(c, c->pixels + (row * size_t(c->stride) + col) * 8);
                        if (result != Success) return;
                    }
                }
            }
            if (restartInterval != 0 && mcu + 1 < mcuCount && --restartsLeft == 0) {
                _ByteAlign();
                uint32_t v = _GetBits(16);
                if (result != Success) return;
                if (v != 0xFFD0u + uint32_t(expectedRestart)) {
                    result = MalformedData;
                    return;
                }
                expectedRestart = (expectedRestart + 1) & 7;
                restartsLeft = restartInterval;
                for (Component& c : components) c.dcPredictor = 0;
            }
        }
    }
    _TransformPending();
    result = ScanComplete;
}

// Loads plain bytes (and stuffed 0xFF 0x00 pairs, which are plain data) in
// bulk, but stops in front of any other 0xFF: a marker or a final 0xFF is
// taken in byte by byte, and only once its bits are actually needed, so that
// an error it raises happens exactly where a byte-at-a-time reader raises it.
void Decoder::_Refill(int32_t n) {
    while (bitCount <= 56) {
        if (bytesLeft <= 0) {
            bitBuffer = (bitBuffer << 8) | 0xFF;
            bitCount += 8;
            continue;
        }
        uint8_t b = readPosition[0];
        if (b == 0xFF) {
            if (bytesLeft < 2 || readPosition[1] != 0x00) break;
            readPosition += 2;
            bytesLeft -= 2;
        } else {
            readPosition += 1;
            bytesLeft -= 1;
        }
        bitBuffer = (bitBuffer << 8) | b;
        bitCount += 8;
    }
    while (bitCount < n) _LoadByteSlow();
}

void Decoder::_LoadByteSlow() {
    if (bytesLeft <= 0) {
        bitBuffer = (bitBuffer << 8) | 0xFF;
        bitCount += 8;
        return;
    }
    uint8_t b = *readPosition++;
    --bytesLeft;
    bitBuffer = (bitBuffer << 8) | b;
    bitCount += 8;
    if (b != 0xFF) return;
    if (bytesLeft <= 0) {
        result = MalformedData;
        return;
    }
    uint8_t m = *readPosition++;
    --bytesLeft;
    if (m == 0x00) return;
    if (m == 0xD9) {
        bytesLeft = 0;
    } else if (m >= 0xD0 && m <= 0xD7) {
        bitBuffer = (bitBuffer << 8) | m;
        bitCount += 8;
    } else {
        result = MalformedData;
    }
}

int32_t Decoder::_GetVLC(int slot, uint8_t* symbol) {
    uint32_t bits = _ShowBits(16);
    VlcCode e = vlcDefined[slot] ? vlcTables[slot][bits] : VlcCode{0, 0};
    if (e.codeLength == 0) {
        result = MalformedData;
        if (symbol) *symbol = 0;
        return 0;
    }
    bitCount -= e.codeLength;
    if (symbol) *symbol = e.symbol;
    int k = e.symbol & 15;
    if (k == 0) return 0;
    int32_t v = int32_t(_GetBits(k));
    if (v < (1 << (k - 1))) v -= (1 << k) - 1;
    return v;
}

// A code whose additional bits go past the first-level table, or a code
// longer than it: the rest of _GetVLC's work, after the first-level lookup.
int32_t Decoder::_GetLongVLC(int slot, FastCode f, uint8_t* symbol) {
    if (f.length == 0) return _GetVLC(slot, symbol);
    bitCount -= f.length & ~CodeOnly;
    if (symbol) *symbol = f.symbol;
    int k = f.symbol & 15;
    int32_t v = int32_t(_GetBits(k));
    if (v < (1 << (k - 1))) v -= (1 << k) - 1;
    return v;
}

// The work block is all zeros on entry: the transforms clear what they read.
//
// The bit reader lives in locals here (written back around every call that
// uses the members), so the compiler keeps it in registers: the stores into
// the work block could otherwise alias it. Codes go through the first-level
// table after the same 16-bit peek as _GetVLC, so bytes are taken in at the
// same moments.
void Decoder::_DecodeBlock(Component* c, uint8_t* out) {
    uint64_t buffer = bitBuffer;
    int32_t count = bitCount;
    auto peek16 = [&]() LVS_INLINE {
        if (count >= 16) return;
        if (bytesLeft >= 8) {
            // Eight bytes without a 0xFF among them go in with one load.
            uint64_t word;
            std::memcpy(&word, readPosition, 8);
            const uint64_t inverse = ~word;
            if (((inverse - 0x0101010101010101u) & ~inverse & 0x8080808080808080u) == 0) {
                const int32_t bytes = (63 - count) >> 3;  // 6 or 7
                word = __builtin_bswap64(word);
                buffer = (buffer << (8 * bytes)) | (word >> (64 - 8 * bytes));
                count += 8 * bytes;
                readPosition += bytes;
                bytesLeft -= bytes;
                return;
            }
        }
        bitBuffer = buffer, bitCount = count;
        _Refill(16);
        buffer = bitBuffer, count = bitCount;
    };
    auto decode = [&](int slot, uint8_t* symbol) LVS_INLINE {
        peek16();
        const FastCode f = fastTables[slot][uint32_t(buffer >> (count - FastBits)) & ((1u << FastBits) - 1)];
        if (f.length - 1u < 16u) {
            count -= f.length;
            *symbol = f.symbol;
            return int32_t(f.value);
        }
        bitBuffer = buffer, bitCount = count;
        int32_t v = _GetLongVLC(slot, f, symbol);
        buffer = bitBuffer, count = bitCount;
        return v;
    };

    int32_t* const coefficients = this->coefficients[currentBlock];
    const uint8_t* q = quantTables[c->quantTable];
    uint8_t s;
    int32_t dc = decode(c->dcTable, &s);
    c->dcPredictor = int32_t(uint32_t(c->dcPredictor) + uint32_t(dc));
    coefficients[0] = int32_t(uint32_t(c->dcPredictor) * q[0]);
    uint32_t acRows = 0;  // bit r set when row r received an AC coefficient
    int k = 0;
    do {
        int32_t v = decode(c->acTable, &s);
        if (s == 0) break;
        if ((s & 15) == 0 && s != 0xF0) {
            bitBuffer = buffer, bitCount = count;
            result = MalformedData;
            return;
        }
        k += (s >> 4) + 1;
        if (k > 63) {
            bitBuffer = buffer, bitCount = count;
            result = MalformedData;
            return;
        }
        const int at = blockOrder.at[k];
        coefficients[at] = v * q[k];
        acRows |= 1u << (at & 7);
    } while (k < 63);
    bitBuffer = buffer, bitCount = count;
    // Past a failure the samples are undefined, so the transform is skipped.
    if (result != Success) return;
    _TransformPending();
    pending = PendingBlock{out, c->stride, acRows};
    currentBlock ^= 1;
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
            uint32_t c0 = uint32_t(coefficients[0]) * 8u;
            std::memset(line, Clip((int32_t(c0 + 32u) >> 6) + 128), 8);
            coefficients[0] = 0;
        } else {
            IdctFirstRowOnly(coefficients, line);
        }
        for (int row = 0; row < 8; ++row) std::memcpy(out + size_t(row) * stride, line, 8);
        return;
    }
    if (vectorCode)
        IdctBlockAvx2(coefficients, out, stride);
    else
        IdctBlockPortable(coefficients, out, stride);
}

// The planes are upsampled row by row alongside the colour conversion
// (UpsampledRows), so the full-size chroma planes never exist; the samples
// are those of upsampling each plane completely first.
void Decoder::_Convert() {
    if (componentCount == 1) {
        // A one-component frame is always sampled 1 x 1 (see _DecodeSOF), so
        // its plane already has the frame size and only loses its padding.
        Component& c = components[0];
        if (c.width != c.stride) {
            for (int32_t row = 1; row < c.height; ++row)
                std::memmove(c.pixels + size_t(row) * size_t(c.width),
                             c.pixels + size_t(row) * size_t(c.stride), size_t(c.width));
            c.stride = c.width;
        }
        return;
    }
    if (componentCount != 3) return;
    UpsampledRows planes[3];
    for (int i = 0; i < 3; ++i) {
        const Component& c = components[i];
        if (!planes[i].Start(c.pixels, c.width, c.height, c.stride, width, height, vectorCode,
                             allocate, release)) {
            result = AllocationFailed;
            return;
        }
    }
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* py = planes[0].Row(row);
        const uint8_t* pb = planes[1].Row(row);
        const uint8_t* pr = planes[2].Row(row);
        uint8_t* out = rgbImage + size_t(row) * size_t(width) * 3;
        int32_t x = vectorCode ? ConvertRowAvx2(py, pb, pr, out, width) : 0;
        for (; x < width; ++x) {
            int32_t y = py[x] * 256, b = pb[x] - 128, r = pr[x] - 128;
            out[3 * x + 0] = Clip((y + 359 * r + 128) >> 8);
            out[3 * x + 1] = Clip((y - 88 * b - 183 * r + 128) >> 8);
            out[3 * x + 2] = Clip((y + 454 * b + 128) >> 8);
        }
    }
}

}  // namespace Jpeg
