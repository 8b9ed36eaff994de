#include "reference/ReferenceJpeg.h"

#include <cstring>
#include <memory>

namespace lvs_reference {
namespace {

// Internal marker between a finished scan and the conversion.
constexpr int ScanComplete = 6;

// The bound on frame size that the plug-in's decoder documents: at most 2^28
// pixels, and at most 512 pixels per input byte once past 2^22 pixels.
constexpr uint64_t kMaxPixels = uint64_t(1) << 28;
constexpr uint64_t kMinPixelAllowance = uint64_t(1) << 22;
constexpr uint64_t kPixelsPerInputByte = 512;

const int8_t kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                            12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                            35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                            58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Signed 32-bit arithmetic with two's-complement wrap-around: sums and
// products are formed on uint32_t, right shifts are arithmetic on int32_t.
using u32 = uint32_t;
inline u32 Asr(u32 v, int s) { return u32(int32_t(v) >> s); }
inline int32_t S(u32 v) { return int32_t(v); }

uint8_t Clip(int32_t v) { return v < 0 ? 0 : v > 255 ? 255 : uint8_t(v); }
uint8_t CF(int32_t sum) { return Clip((sum + 64) >> 7); }

struct Component {
    int32_t id = 0, samplingX = 0, samplingY = 0, width = 0, height = 0, stride = 0;
    int32_t quantTable = 0, acTable = 0, dcTable = 0;
    u32 dcPredictor = 0;
    std::unique_ptr<uint8_t[]> pixels;
};

struct VlcCode {
    uint8_t codeLength = 0, symbol = 0;
};

class Decoder {
public:
    Decoder() : vlcTables(new VlcCode[4][65536]()) {}
    int Run(const uint8_t* data, size_t size);
    int width = 0, height = 0, componentCount = 0;
    Component components[3];
    std::unique_ptr<uint8_t[]> rgbImage;

private:
    void Skip(int32_t count) {
        readPosition += count;
        bytesLeft -= count;
        segmentLeft -= count;
        if (bytesLeft < 0) result = RefMalformedData;
    }
    static int32_t Decode16(const uint8_t* p) { return p[0] << 8 | p[1]; }
    void DecodeLength();
    void SkipMarker();
    void DecodeSOF();
    void DecodeDHT();
    void DecodeDQT();
    void DecodeDRI();
    void DecodeScan();

    int32_t ShowBits(int32_t n);
    void SkipBits(int32_t n) {
        if (bitCount < n) ShowBits(n);
        bitCount -= n;
    }
    int32_t GetBits(int32_t n) {
        int32_t v = ShowBits(n);
        SkipBits(n);
        return v;
    }
    void ByteAlign() { bitCount &= 0xF8; }
    int32_t GetVLC(const VlcCode* table, uint8_t* symbolOut);
    void DecodeBlock(Component& c, uint8_t* out);
    void RowIDCT(u32* r);
    void ColIDCT(const u32* c, uint8_t* out, int32_t stride);
    void Convert();
    void UpsampleH(Component& c);
    void UpsampleV(Component& c);

    int result = RefSuccess;
    const uint8_t* readPosition = nullptr;
    int32_t bytesLeft = 0, segmentLeft = 0;
    int32_t mcuColumns = 0, mcuRows = 0, mcuWidth = 0, mcuHeight = 0;
    uint8_t quantTables[4][64] = {};
    std::unique_ptr<VlcCode[][65536]> vlcTables;
    u32 bitBuffer = 0;
    int32_t bitCount = 0;
    u32 coefficients[64] = {};
    int32_t restartInterval = 0;
    uint64_t inputSize = 0;
};

int Decoder::Run(const uint8_t* data, size_t size) {
    // Inputs of 2 GiB and more are taken as 2^31 - 1 bytes long.
    int32_t size32 = size > 0x7FFFFFFFu ? 0x7FFFFFFF : int32_t(size);
    inputSize = uint64_t(size32);
    readPosition = data;
    bytesLeft = size32;
    if (bytesLeft < 2 || data[0] != 0xFF || data[1] != 0xD8) return RefNoStartOfImage;
    Skip(2);
    while (result == RefSuccess) {
        if (bytesLeft < 2 || readPosition[0] != 0xFF) return RefMalformedData;
        Skip(2);
        uint8_t marker = readPosition[-1];
        if (marker == 0xC0)
            DecodeSOF();
        else if (marker == 0xC4)
            DecodeDHT();
        else if (marker == 0xDA)
            DecodeScan();
        else if (marker == 0xDB)
            DecodeDQT();
        else if (marker == 0xDD)
            DecodeDRI();
        else if (marker == 0xFE || (marker >= 0xE0 && marker <= 0xEF))
            SkipMarker();
        else
            result = RefUnsupportedFeature;
    }
    if (result != ScanComplete) return result;
    result = RefSuccess;
    Convert();
    return result;
}

void Decoder::DecodeLength() {
    if (bytesLeft < 2) {
        result = RefMalformedData;
        return;
    }
    segmentLeft = Decode16(readPosition);
    if (segmentLeft > bytesLeft || segmentLeft < 2) {
        result = RefMalformedData;
        return;
    }
    Skip(2);
}

void Decoder::SkipMarker() {
    DecodeLength();
    if (result != RefSuccess) return;
    Skip(segmentLeft);
}

void Decoder::DecodeSOF() {
    DecodeLength();
    if (result != RefSuccess) return;
    if (segmentLeft < 9) {
        result = RefMalformedData;
        return;
    }
    if (readPosition[0] != 8) {
        result = RefUnsupportedFeature;
        return;
    }
    // A second frame header starts afresh.
    for (Component& c : components) c.pixels.reset();
    rgbImage.reset();
    height = Decode16(readPosition + 1);
    width = Decode16(readPosition + 3);
    componentCount = readPosition[5];
    Skip(6);
    if (componentCount != 1 && componentCount != 3) {
        result = RefUnsupportedFeature;
        return;
    }
    if (segmentLeft < 3 * componentCount) {
        result = RefMalformedData;
        return;
    }
    auto powerOfTwo = [](int v) { return v == 1 || v == 2 || v == 4 || v == 8; };
    int32_t maxSamplingX = 0, maxSamplingY = 0;
    for (int i = 0; i < componentCount; ++i) {
        Component& c = components[i];
        c.id = readPosition[0];
        c.samplingX = readPosition[1] >> 4;
        if (c.samplingX == 0) {
            result = RefMalformedData;
            return;
        }
        if (!powerOfTwo(c.samplingX)) {
            result = RefUnsupportedFeature;
            return;
        }
        c.samplingY = readPosition[1] & 15;
        if (c.samplingY == 0) {
            result = RefMalformedData;
            return;
        }
        if (!powerOfTwo(c.samplingY)) {
            result = RefUnsupportedFeature;
            return;
        }
        c.quantTable = readPosition[2];
        if (c.quantTable & ~3) {
            result = RefMalformedData;
            return;
        }
        Skip(3);
        if (c.samplingX > maxSamplingX) maxSamplingX = c.samplingX;
        if (c.samplingY > maxSamplingY) maxSamplingY = c.samplingY;
    }
    // A one-component scan is not interleaved: one block per MCU.
    if (componentCount == 1) {
        components[0].samplingX = components[0].samplingY = 1;
        maxSamplingX = maxSamplingY = 1;
    }
    if (width == 0) {
        result = RefMalformedData;
        return;
    }
    if (height == 0) {
        result = RefUnsupportedFeature;
        return;
    }
    uint64_t pixels = uint64_t(width) * uint64_t(height);
    uint64_t allowed = inputSize * kPixelsPerInputByte;
    if (allowed < kMinPixelAllowance) allowed = kMinPixelAllowance;
    if (allowed > kMaxPixels) allowed = kMaxPixels;
    if (pixels > allowed) {
        result = RefUnsupportedFeature;
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
        c.stride = mcuColumns * mcuWidth * c.samplingX / maxSamplingX;
        if ((c.width < 3 && c.samplingX < maxSamplingX) ||
            (c.height < 3 && c.samplingY < maxSamplingY)) {
            result = RefUnsupportedFeature;
            return;
        }
        size_t rows = size_t(mcuRows) * size_t(mcuHeight) * size_t(c.samplingY) /
                      size_t(maxSamplingY);
        c.pixels.reset(new uint8_t[size_t(c.stride) * rows]);
    }
    if (componentCount == 3) rgbImage.reset(new uint8_t[size_t(pixels) * 3]);
    Skip(segmentLeft);
}

void Decoder::DecodeDHT() {
    DecodeLength();
    if (result != RefSuccess) return;
    while (segmentLeft >= 17) {
        uint8_t b = readPosition[0];
        if (b & 0xEC) {
            result = RefMalformedData;
            return;
        }
        if (b & 0x02) {
            result = RefUnsupportedFeature;
            return;
        }
        VlcCode* table = vlcTables[(b | (b >> 3)) & 3];
        uint8_t counts[16];
        std::memcpy(counts, readPosition + 1, 16);
        Skip(17);
        int32_t budget = 65536;
        int32_t entry = 0;
        for (int length = 1; length <= 16; ++length) {
            int32_t count = counts[length - 1];
            if (count == 0) continue;
            if (segmentLeft < count) {
                result = RefMalformedData;
                return;
            }
            int32_t span = 1 << (16 - length);
            budget -= count * span;
            if (budget < 0) {
                result = RefMalformedData;
                return;
            }
            for (int32_t i = 0; i < count; ++i) {
                for (int32_t j = 0; j < span; ++j, ++entry) {
                    table[entry].codeLength = uint8_t(length);
                    table[entry].symbol = readPosition[i];
                }
            }
            Skip(count);
        }
        for (; entry < 65536; ++entry) table[entry].codeLength = 0;
    }
    if (segmentLeft != 0) result = RefMalformedData;
}

void Decoder::DecodeDQT() {
    DecodeLength();
    if (result != RefSuccess) return;
    while (segmentLeft >= 65) {
        uint8_t b = readPosition[0];
        if (b & ~3) {
            result = RefMalformedData;
            return;
        }
        std::memcpy(quantTables[b], readPosition + 1, 64);
        Skip(65);
    }
    if (segmentLeft != 0) result = RefMalformedData;
}

void Decoder::DecodeDRI() {
    DecodeLength();
    if (result != RefSuccess) return;
    if (segmentLeft < 2) {
        result = RefMalformedData;
        return;
    }
    restartInterval = Decode16(readPosition);
    Skip(segmentLeft);
}

void Decoder::DecodeScan() {
    int32_t restartsLeft = restartInterval;
    int32_t expectedRestart = 0;
    DecodeLength();
    if (result != RefSuccess) return;
    if (segmentLeft < 2 * componentCount + 4) {
        result = RefMalformedData;
        return;
    }
    if (readPosition[0] != componentCount) {
        result = RefUnsupportedFeature;
        return;
    }
    Skip(1);
    for (int i = 0; i < componentCount; ++i) {
        Component& c = components[i];
        if (readPosition[0] != c.id) {
            result = RefMalformedData;
            return;
        }
        if (readPosition[1] & 0xEE) {
            result = RefMalformedData;
            return;
        }
        c.dcTable = readPosition[1] >> 4;
        c.acTable = (readPosition[1] & 1) | 2;
        Skip(2);
    }
    if (readPosition[0] != 0 || readPosition[1] != 63 || readPosition[2] != 0) {
        result = RefUnsupportedFeature;
        return;
    }
    Skip(segmentLeft);

    for (int32_t mcuRow = 0; mcuRow < mcuRows; ++mcuRow) {
        for (int32_t mcuColumn = 0; mcuColumn < mcuColumns; ++mcuColumn) {
            for (int i = 0; i < componentCount; ++i) {
                Component& c = components[i];
                for (int32_t by = 0; by < c.samplingY; ++by) {
                    for (int32_t bx = 0; bx < c.samplingX; ++bx) {
                        size_t offset = (size_t(mcuRow * c.samplingY + by) * size_t(c.stride) +
                                         size_t(mcuColumn * c.samplingX + bx)) *
                                        8;
                        DecodeBlock(c, c.pixels.get() + offset);
                        if (result != RefSuccess) return;
                    }
                }
            }
            bool last = mcuRow == mcuRows - 1 && mcuColumn == mcuColumns - 1;
            if (restartInterval != 0 && !last) {
                if (--restartsLeft == 0) {
                    ByteAlign();
                    int32_t v = GetBits(16);
                    if (v != 0xFFD0 + expectedRestart) {
                        result = RefMalformedData;
                        return;
                    }
                    expectedRestart = (expectedRestart + 1) & 7;
                    restartsLeft = restartInterval;
                    for (Component& c : components) c.dcPredictor = 0;
                }
            }
        }
    }
    result = ScanComplete;
}

int32_t Decoder::ShowBits(int32_t n) {
    if (n == 0) return 0;
    while (bitCount < n) {
        if (bytesLeft <= 0) {
            bitBuffer = bitBuffer * 256u | 0xFFu;
            bitCount += 8;
            continue;
        }
        uint8_t b = *readPosition++;
        --bytesLeft;
        bitBuffer = bitBuffer * 256u | b;
        bitCount += 8;
        if (b != 0xFF) continue;
        if (bytesLeft == 0) {
            result = RefMalformedData;
            continue;
        }
        uint8_t m = *readPosition++;
        --bytesLeft;
        if (m == 0x00) {
        } else if (m == 0xD9) {
            bytesLeft = 0;
        } else if (m >= 0xD0 && m <= 0xD7) {
            bitBuffer = bitBuffer * 256u | m;
            bitCount += 8;
        } else {
            result = RefMalformedData;
        }
    }
    return S(bitBuffer >> (bitCount - n)) & ((1 << n) - 1);
}

int32_t Decoder::GetVLC(const VlcCode* table, uint8_t* symbolOut) {
    const VlcCode& e = table[ShowBits(16)];
    if (e.codeLength == 0) {
        result = RefMalformedData;
        if (symbolOut) *symbolOut = 0;
        return 0;
    }
    SkipBits(e.codeLength);
    uint8_t s = e.symbol;
    if (symbolOut) *symbolOut = s;
    int32_t k = s & 15;
    if (k == 0) return 0;
    int32_t v = GetBits(k);
    if (v < (1 << (k - 1))) v -= (1 << k) - 1;
    return v;
}

void Decoder::DecodeBlock(Component& c, uint8_t* out) {
    for (u32& x : coefficients) x = 0;
    const uint8_t* quant = quantTables[c.quantTable];
    c.dcPredictor += u32(GetVLC(vlcTables[c.dcTable], nullptr));
    coefficients[0] = c.dcPredictor * quant[0];
    int32_t k = 0;
    do {
        uint8_t s = 0;
        int32_t v = GetVLC(vlcTables[c.acTable], &s);
        if (s == 0) break;
        if ((s & 15) == 0 && s != 0xF0) {
            result = RefMalformedData;
            return;
        }
        k += (s >> 4) + 1;
        if (k > 63) {
            result = RefMalformedData;
            return;
        }
        coefficients[kZigzag[k]] = u32(v) * quant[k];
    } while (k != 63);
    for (int row = 0; row < 8; ++row) RowIDCT(coefficients + 8 * row);
    for (int column = 0; column < 8; ++column)
        ColIDCT(coefficients + column, out + column, c.stride);
}

// The shortcut tests x1 as computed, that is r[4] x 2048 after wrap-around.
void Decoder::RowIDCT(u32* r) {
    u32 x0, x1 = r[4] << 11, x2 = r[6], x3 = r[2], x4 = r[1], x5 = r[7], x6 = r[5], x7 = r[3], x8;
    if (!(x1 | x2 | x3 | x4 | x5 | x6 | x7)) {
        u32 dc = r[0] * 8u;
        for (int i = 0; i < 8; ++i) r[i] = dc;
        return;
    }
    x0 = (r[0] << 11) + 128u;
    x8 = 565u * (x4 + x5);
    x4 = x8 + 2276u * x4;
    x5 = x8 - 3406u * x5;
    x8 = 2408u * (x6 + x7);
    x6 = x8 - 799u * x6;
    x7 = x8 - 4017u * x7;
    x8 = x0 + x1;
    x0 -= x1;
    x1 = 1108u * (x3 + x2);
    x2 = x1 - 3784u * x2;
    x3 = x1 + 1568u * x3;
    x1 = x4 + x6;
    x4 -= x6;
    x6 = x5 + x7;
    x5 -= x7;
    x7 = x8 + x3;
    x8 -= x3;
    x3 = x0 + x2;
    x0 -= x2;
    x2 = Asr(181u * (x4 + x5) + 128u, 8);
    x4 = Asr(181u * (x4 - x5) + 128u, 8);
    r[0] = Asr(x7 + x1, 8);
    r[1] = Asr(x3 + x2, 8);
    r[2] = Asr(x0 + x4, 8);
    r[3] = Asr(x8 + x6, 8);
    r[4] = Asr(x8 - x6, 8);
    r[5] = Asr(x0 - x4, 8);
    r[6] = Asr(x3 - x2, 8);
    r[7] = Asr(x7 - x1, 8);
}

void Decoder::ColIDCT(const u32* c, uint8_t* out, int32_t stride) {
    u32 x0, x1 = c[32] << 8, x2 = c[48], x3 = c[16], x4 = c[8], x5 = c[56], x6 = c[40],
            x7 = c[24], x8;
    if (!(x1 | x2 | x3 | x4 | x5 | x6 | x7)) {
        uint8_t v = Clip(S(Asr(c[0] + 32u, 6)) + 128);
        for (int i = 0; i < 8; ++i) out[i * stride] = v;
        return;
    }
    x0 = (c[0] << 8) + 8192u;
    x8 = 565u * (x4 + x5) + 4u;
    x4 = Asr(x8 + 2276u * x4, 3);
    x5 = Asr(x8 - 3406u * x5, 3);
    x8 = 2408u * (x6 + x7) + 4u;
    x6 = Asr(x8 - 799u * x6, 3);
    x7 = Asr(x8 - 4017u * x7, 3);
    x8 = x0 + x1;
    x0 -= x1;
    x1 = 1108u * (x3 + x2) + 4u;
    x2 = Asr(x1 - 3784u * x2, 3);
    x3 = Asr(x1 + 1568u * x3, 3);
    x1 = x4 + x6;
    x4 -= x6;
    x6 = x5 + x7;
    x5 -= x7;
    x7 = x8 + x3;
    x8 -= x3;
    x3 = x0 + x2;
    x0 -= x2;
    x2 = Asr(181u * (x4 + x5) + 128u, 8);
    x4 = Asr(181u * (x4 - x5) + 128u, 8);
    const u32 sums[8] = {x7 + x1, x3 + x2, x0 + x4, x8 + x6, x8 - x6, x0 - x4, x3 - x2, x7 - x1};
    for (int i = 0; i < 8; ++i) out[i * stride] = Clip(S(Asr(sums[i], 14)) + 128);
}

// The filter over one line of n input samples; `in(i)` reads sample i,
// e1..e3 are the line's last three samples as the direction defines them.
template <typename In, typename Out>
void FilterLine(int32_t n, In in, int32_t e1, int32_t e2, int32_t e3, Out out) {
    out(0, CF(139 * in(0) - 11 * in(1)));
    out(1, CF(104 * in(0) + 27 * in(1) - 3 * in(2)));
    out(2, CF(28 * in(0) + 109 * in(1) - 9 * in(2)));
    for (int32_t j = 1; j <= n - 3; ++j) {
        out(2 * j + 1, CF(-9 * in(j - 1) + 111 * in(j) + 29 * in(j + 1) - 3 * in(j + 2)));
        out(2 * j + 2, CF(-3 * in(j - 1) + 29 * in(j) + 111 * in(j + 1) - 9 * in(j + 2)));
    }
    out(2 * n - 3, CF(28 * e1 + 109 * e2 - 9 * e3));
    out(2 * n - 2, CF(104 * e1 + 27 * e2 - 3 * e3));
    out(2 * n - 1, CF(139 * e1 - 11 * e2));
}

void Decoder::UpsampleH(Component& c) {
    const int32_t n = c.width;
    std::unique_ptr<uint8_t[]> plane(new uint8_t[size_t(c.width) * size_t(c.height) * 2]);
    for (int32_t row = 0; row < c.height; ++row) {
        const uint8_t* in = c.pixels.get() + size_t(row) * size_t(c.stride);
        uint8_t* out = plane.get() + size_t(row) * size_t(2 * n);
        FilterLine(
            n, [in](int32_t i) { return int32_t(in[i]); }, in[c.stride - 1], in[c.stride - 2],
            in[c.stride - 3], [out](int32_t i, uint8_t v) { out[i] = v; });
    }
    c.width *= 2;
    c.stride = c.width;
    c.pixels = std::move(plane);
}

void Decoder::UpsampleV(Component& c) {
    const int32_t n = c.height;
    std::unique_ptr<uint8_t[]> plane(new uint8_t[size_t(c.width) * size_t(c.height) * 2]);
    const uint8_t* pixels = c.pixels.get();
    const size_t stride = size_t(c.stride), width = size_t(c.width);
    for (int32_t x = 0; x < c.width; ++x) {
        auto in = [=](int32_t i) { return int32_t(pixels[size_t(i) * stride + x]); };
        uint8_t* out = plane.get() + x;
        FilterLine(n, in, in(n - 1), in(n - 2), in(n - 3),
                   [=](int32_t row, uint8_t v) { out[size_t(row) * width] = v; });
    }
    c.height *= 2;
    c.stride = c.width;
    c.pixels = std::move(plane);
}

void Decoder::Convert() {
    for (int i = 0; i < componentCount; ++i) {
        Component& c = components[i];
        while (c.width < width || c.height < height) {
            if (c.width < width) UpsampleH(c);
            if (c.height < height) UpsampleV(c);
        }
    }
    if (componentCount == 3) {
        uint8_t* out = rgbImage.get();
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                int32_t Y = components[0].pixels[size_t(y) * components[0].stride + x];
                int32_t cb = components[1].pixels[size_t(y) * components[1].stride + x] - 128;
                int32_t cr = components[2].pixels[size_t(y) * components[2].stride + x] - 128;
                int32_t yy = Y * 256;
                *out++ = Clip((yy + 359 * cr + 128) >> 8);
                *out++ = Clip((yy - 88 * cb - 183 * cr + 128) >> 8);
                *out++ = Clip((yy + 454 * cb + 128) >> 8);
            }
        }
    } else if (componentCount == 1) {
        Component& c = components[0];
        if (c.width != c.stride) {
            for (int32_t row = 1; row < c.height; ++row)
                std::memmove(c.pixels.get() + size_t(row) * c.width,
                             c.pixels.get() + size_t(row) * c.stride, size_t(c.width));
            c.stride = c.width;
        }
    }
}

}  // namespace

RefResult ReferenceDecode(const uint8_t* data, size_t size) {
    std::unique_ptr<Decoder> d(new Decoder());
    RefResult r;
    r.result = d->Run(data, size);
    r.width = d->width;
    r.height = d->height;
    r.components = d->componentCount;
    if (r.result != RefSuccess || d->width == 0 || d->height == 0) return r;
    size_t bytes = size_t(d->width) * size_t(d->height) * size_t(d->componentCount);
    const uint8_t* image = d->componentCount == 3 ? d->rgbImage.get() : d->components[0].pixels.get();
    r.image.assign(image, image + bytes);
    return r;
}

}  // namespace lvs_reference
