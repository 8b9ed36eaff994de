#include "ReferenceJpeg.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace lvs_reference {
namespace {

enum : int { RefSuccess = 0, RefNoStartOfImage = 1, RefUnsupportedFeature = 2, RefMalformedData = 5 };
// At most 2^28 pixels, and at most 512 pixels per input byte once past 2^22 pixels.
constexpr uint64_t kMaxPixels = uint64_t(1) << 28, kMinPixelAllowance = uint64_t(1) << 22;

const int8_t kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
                            41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
                            30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Signed 32-bit arithmetic with wrap-around: sums and products on uint32_t, arithmetic right shifts.
using u32 = uint32_t;
u32 Asr(u32 v, int s) { return u32(int32_t(v) >> s); }
uint8_t Clip(int32_t v) { return v < 0 ? 0 : v > 255 ? 255 : uint8_t(v); }
uint8_t CF(int32_t sum) { return Clip((sum + 64) >> 7); }

// Every failure ends the run at once.
struct Stop {
  int code;
};
void Require(bool condition, int code) {
  if (!condition) throw Stop{code};
}

// One 1-D inverse DCT over v[0], v[step], ... v[7 x step]; false, for the
// shortcut, when the seven values after the first are zero (the fourth as scaled).
bool Idct8(const u32* v, int step, bool column, u32 sums[8]) {
  const int scale = column ? 8 : 11, down = column ? 3 : 0;
  const u32 round = column ? 4 : 0;
  u32 x1 = v[4 * step] << scale, x2 = v[6 * step], x3 = v[2 * step], x4 = v[step], x5 = v[7 * step], x6 = v[5 * step],
      x7 = v[3 * step];
  if (!(x1 | x2 | x3 | x4 | x5 | x6 | x7)) return false;
  u32 x0 = (v[0] << scale) + (column ? 8192u : 128u), x8 = 565u * (x4 + x5) + round;
  x4 = Asr(x8 + 2276u * x4, down);
  x5 = Asr(x8 - 3406u * x5, down);
  x8 = 2408u * (x6 + x7) + round;
  x6 = Asr(x8 - 799u * x6, down);
  x7 = Asr(x8 - 4017u * x7, down);
  x8 = x0 + x1;
  x0 -= x1;
  x1 = 1108u * (x3 + x2) + round;
  x2 = Asr(x1 - 3784u * x2, down);
  x3 = Asr(x1 + 1568u * x3, down);
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
  const u32 s[8] = {x7 + x1, x3 + x2, x0 + x4, x8 + x6, x8 - x6, x0 - x4, x3 - x2, x7 - x1};
  std::memcpy(sums, s, sizeof s);
  return true;
}

// The upsampling filter over one line of n samples; e1..e3 are the line's last three samples.
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

struct Component {
  int32_t id = 0, samplingX = 0, samplingY = 0, width = 0, height = 0, stride = 0, quantTable = 0, dcTable = 0,
          acTable = 0;
  u32 dcPredictor = 0;
  std::unique_ptr<uint8_t[]> pixels;
};

struct VlcCode {
  uint8_t codeLength = 0, symbol = 0;
};

struct Decoder {
  int width = 0, height = 0, componentCount = 0;
  Component components[3];
  std::unique_ptr<uint8_t[]> rgbImage;
  const uint8_t* readPosition = nullptr;
  int32_t bytesLeft = 0, segmentLeft = 0, mcuColumns = 0, mcuRows = 0, restartInterval = 0;
  uint64_t inputSize = 0;
  uint8_t quantTables[4][64] = {};
  std::unique_ptr<VlcCode[][65536]> vlcTables{new VlcCode[4][65536]()};
  u32 bitBuffer = 0, coefficients[64] = {};
  int32_t bitCount = 0;  // in bitBuffer

  void Run(const uint8_t* data, size_t size) {
    bytesLeft = size > 0x7FFFFFFFu ? 0x7FFFFFFF : int32_t(size);
    inputSize = uint64_t(bytesLeft), readPosition = data;
    Require(bytesLeft >= 2 && data[0] == 0xFF && data[1] == 0xD8, RefNoStartOfImage);
    Skip(2);
    for (;;) {
      Require(bytesLeft >= 2 && readPosition[0] == 0xFF, RefMalformedData);
      const uint8_t marker = readPosition[1];
      Skip(2);
      if (marker == 0xDA) break;
      if (marker != 0xC0 && marker != 0xC4 && marker != 0xDB && marker != 0xDD)
        Require(marker == 0xFE || (marker >= 0xE0 && marker <= 0xEF), RefUnsupportedFeature);
      DecodeLength();
      if (marker == 0xC0)
        DecodeSOF();
      else if (marker == 0xC4)
        DecodeDHT();
      else if (marker == 0xDB)
        DecodeDQT();
      if (marker == 0xDD) Require(segmentLeft >= 2, RefMalformedData), restartInterval = Read16(0);
      Skip(segmentLeft);  // the rest of the segment, or all of a skipped one
    }
    DecodeScan();
    Convert();
  }

  void Skip(int32_t count) { readPosition += count, bytesLeft -= count, segmentLeft -= count; }
  int32_t Read16(int at) const { return readPosition[at] << 8 | readPosition[at + 1]; }
  void DecodeLength() {
    Require(bytesLeft >= 2, RefMalformedData);
    segmentLeft = Read16(0);
    Require(segmentLeft <= bytesLeft && segmentLeft >= 2, RefMalformedData), Skip(2);
  }

  void DecodeSOF() {
    Require(segmentLeft >= 9, RefMalformedData);
    Require(readPosition[0] == 8, RefUnsupportedFeature);
    for (Component& c : components) c.pixels.reset();  // a second frame header starts afresh
    rgbImage.reset();
    height = Read16(1), width = Read16(3), componentCount = readPosition[5];
    Skip(6);
    Require(componentCount == 1 || componentCount == 3, RefUnsupportedFeature);
    Require(segmentLeft >= 3 * componentCount, RefMalformedData);
    auto factor = [](int f) {
      Require(f != 0, RefMalformedData), Require(f == 1 || f == 2 || f == 4 || f == 8, RefUnsupportedFeature);
      return f;
    };
    int32_t maxX = 0, maxY = 0;
    for (int i = 0; i < componentCount; ++i, Skip(3)) {
      Component& c = components[i];
      c.id = readPosition[0], c.quantTable = readPosition[2];
      c.samplingX = factor(readPosition[1] >> 4), c.samplingY = factor(readPosition[1] & 15);
      Require((c.quantTable & ~3) == 0, RefMalformedData);
      maxX = std::max(maxX, c.samplingX), maxY = std::max(maxY, c.samplingY);
    }
    if (componentCount == 1) components[0].samplingX = components[0].samplingY = maxX = maxY = 1;
    Require(width != 0, RefMalformedData);
    Require(height != 0, RefUnsupportedFeature);
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    Require(pixels <= std::max(inputSize * 512, kMinPixelAllowance) && pixels <= kMaxPixels, RefUnsupportedFeature);
    mcuColumns = (width + 8 * maxX - 1) / (8 * maxX), mcuRows = (height + 8 * maxY - 1) / (8 * maxY);
    for (int i = 0; i < componentCount; ++i) {
      Component& c = components[i];
      c.width = (width * c.samplingX + maxX - 1) / maxX, c.height = (height * c.samplingY + maxY - 1) / maxY;
      c.stride = 8 * mcuColumns * c.samplingX;
      Require(!(c.width < 3 && c.samplingX < maxX) && !(c.height < 3 && c.samplingY < maxY), RefUnsupportedFeature);
      c.pixels.reset(new uint8_t[size_t(c.stride) * size_t(8 * mcuRows * c.samplingY)]);
    }
    if (componentCount == 3) rgbImage.reset(new uint8_t[size_t(pixels) * 3]);
  }

  void DecodeDHT() {
    while (segmentLeft >= 17) {
      const uint8_t b = readPosition[0];
      Require((b & 0xEC) == 0, RefMalformedData);
      Require((b & 0x02) == 0, RefUnsupportedFeature);
      VlcCode* table = vlcTables[(b | (b >> 3)) & 3];
      const uint8_t* counts = readPosition + 1;
      Skip(17);
      int32_t budget = 65536, entry = 0;
      for (int length = 1; length <= 16; ++length) {
        const int32_t count = counts[length - 1], span = 1 << (16 - length);
        Require(segmentLeft >= count, RefMalformedData);
        Require((budget -= count * span) >= 0, RefMalformedData);
        for (int32_t i = 0; i < count; ++i)
          for (int32_t j = 0; j < span; ++j) table[entry++] = {uint8_t(length), readPosition[i]};
        Skip(count);
      }
      for (; entry < 65536; ++entry) table[entry].codeLength = 0;
    }
    Require(segmentLeft == 0, RefMalformedData);
  }

  void DecodeDQT() {
    for (; segmentLeft >= 65; Skip(65)) {
      Require((readPosition[0] & ~3) == 0, RefMalformedData);
      std::memcpy(quantTables[readPosition[0]], readPosition + 1, 64);
    }
    Require(segmentLeft == 0, RefMalformedData);
  }

  void DecodeScan() {
    int32_t restartsLeft = restartInterval, expectedRestart = 0;
    DecodeLength();
    Require(segmentLeft >= 2 * componentCount + 4, RefMalformedData);
    Require(readPosition[0] == componentCount, RefUnsupportedFeature);
    Skip(1);
    for (int i = 0; i < componentCount; ++i, Skip(2)) {
      Component& c = components[i];
      Require(readPosition[0] == c.id && (readPosition[1] & 0xEE) == 0, RefMalformedData);
      c.dcTable = readPosition[1] >> 4, c.acTable = (readPosition[1] & 1) | 2;
    }
    Require(readPosition[0] == 0 && readPosition[1] == 63 && readPosition[2] == 0, RefUnsupportedFeature);
    Skip(segmentLeft);
    for (int32_t row = 0; row < mcuRows; ++row) {
      for (int32_t column = 0; column < mcuColumns; ++column) {
        for (int i = 0; i < componentCount; ++i) {
          Component& c = components[i];
          for (int32_t by = 0; by < c.samplingY; ++by)
            for (int32_t bx = 0; bx < c.samplingX; ++bx)
              DecodeBlock(
                  c, c.pixels.get() +
                         (size_t(row * c.samplingY + by) * size_t(c.stride) + size_t(column * c.samplingX + bx)) * 8);
        }
        const bool last = row == mcuRows - 1 && column == mcuColumns - 1;
        if (restartInterval != 0 && !last && --restartsLeft == 0) {
          bitCount &= 0xF8;
          Require(GetBits(16) == 0xFFD0 + expectedRestart, RefMalformedData);
          expectedRestart = (expectedRestart + 1) & 7, restartsLeft = restartInterval;
          for (Component& c : components) c.dcPredictor = 0;
        }
      }
    }
  }

  int32_t ShowBits(int32_t n) {
    while (bitCount < n) {
      bitCount += 8;
      if (bytesLeft <= 0) {
        bitBuffer = bitBuffer << 8 | 0xFFu;
        continue;
      }  // past the end: 1-bits
      const uint8_t b = Next();
      bitBuffer = bitBuffer << 8 | b;
      if (b != 0xFF) continue;
      Require(bytesLeft > 0, RefMalformedData);
      const uint8_t m = Next();
      if (m == 0xD9)
        bytesLeft = 0;
      else if (m >= 0xD0 && m <= 0xD7)
        bitBuffer = bitBuffer << 8 | m, bitCount += 8;  // for the restart check
      else
        Require(m == 0x00, RefMalformedData);
    }
    return n == 0 ? 0 : int32_t(bitBuffer >> (bitCount - n)) & ((1 << n) - 1);
  }
  uint8_t Next() {
    --bytesLeft;
    return *readPosition++;
  }
  void SkipBits(int32_t n) { ShowBits(n), bitCount -= n; }
  int32_t GetBits(int32_t n) {
    const int32_t v = ShowBits(n);
    SkipBits(n);
    return v;
  }

  int32_t GetVLC(const VlcCode* table, uint8_t* symbolOut) {
    const VlcCode e = table[ShowBits(16)];
    Require(e.codeLength != 0, RefMalformedData);
    SkipBits(e.codeLength);
    if (symbolOut) *symbolOut = e.symbol;
    const int32_t k = e.symbol & 15, v = GetBits(k);
    return k == 0 ? 0 : v < (1 << (k - 1)) ? v - ((1 << k) - 1) : v;
  }

  void DecodeBlock(Component& c, uint8_t* out) {
    std::memset(coefficients, 0, sizeof coefficients);
    const uint8_t* quant = quantTables[c.quantTable];
    coefficients[0] = (c.dcPredictor += u32(GetVLC(vlcTables[c.dcTable], nullptr))) * quant[0];
    for (int32_t k = 0; k != 63;) {
      uint8_t s = 0;
      const int32_t v = GetVLC(vlcTables[c.acTable], &s);
      if (s == 0) break;
      Require((s & 15) != 0 || s == 0xF0, RefMalformedData);
      k += (s >> 4) + 1;
      Require(k <= 63, RefMalformedData);
      coefficients[kZigzag[k]] = u32(v) * quant[k];
    }
    u32 sums[8];
    for (u32* r = coefficients; r < coefficients + 64; r += 8) {
      const bool full = Idct8(r, 1, false, sums);
      const u32 dc = r[0] * 8u;
      for (int i = 0; i < 8; ++i) r[i] = full ? Asr(sums[i], 8) : dc;
    }
    for (int column = 0; column < 8; ++column) {
      const u32* v = coefficients + column;
      const bool full = Idct8(v, 8, true, sums);
      const uint8_t flat = Clip(int32_t(Asr(v[0] + 32u, 6)) + 128);
      for (int i = 0; i < 8; ++i) out[column + i * c.stride] = full ? Clip(int32_t(Asr(sums[i], 14)) + 128) : flat;
    }
  }

  // The right edge is the end of the stored row; the bottom edge the last rows of the component.
  void Upsample(Component& c, bool horizontal) {
    const int32_t n = horizontal ? c.width : c.height, lines = horizontal ? c.height : c.width;
    const size_t step = horizontal ? 1 : size_t(c.stride), outStep = horizontal ? 1 : size_t(c.width);
    const int32_t end = horizontal ? c.stride : n;
    std::unique_ptr<uint8_t[]> plane(new uint8_t[size_t(c.width) * size_t(c.height) * 2]);
    for (int32_t line = 0; line < lines; ++line) {
      const uint8_t* first = c.pixels.get() + (horizontal ? size_t(line) * size_t(c.stride) : size_t(line));
      uint8_t* out = plane.get() + (horizontal ? size_t(line) * size_t(2 * n) : size_t(line));
      auto in = [=](int32_t i) { return int32_t(first[size_t(i) * step]); };
      FilterLine(n, in, in(end - 1), in(end - 2), in(end - 3),
                 [=](int32_t i, uint8_t v) { out[size_t(i) * outStep] = v; });
    }
    (horizontal ? c.width : c.height) *= 2;
    c.stride = c.width, c.pixels = std::move(plane);
  }

  void Convert() {
    for (int i = 0; i < componentCount; ++i)
      for (Component& c = components[i]; c.width < width || c.height < height;) {
        if (c.width < width) Upsample(c, true);
        if (c.height < height) Upsample(c, false);
      }
    uint8_t* out = rgbImage.get();
    for (int32_t y = 0; componentCount == 3 && y < height; ++y)
      for (int32_t x = 0; x < width; ++x) {
        auto at = [&](int i) { return int32_t(components[i].pixels[size_t(y) * components[i].stride + x]); };
        const int32_t luma = at(0) * 256, cb = at(1) - 128, cr = at(2) - 128;
        *out++ = Clip((luma + 359 * cr + 128) >> 8);
        *out++ = Clip((luma - 88 * cb - 183 * cr + 128) >> 8);
        *out++ = Clip((luma + 454 * cb + 128) >> 8);
      }
    Component& grey = components[0];  // one component: rows moved together in place
    for (int32_t row = 1; componentCount == 1 && row < grey.height; ++row)
      std::memmove(grey.pixels.get() + size_t(row) * grey.width, grey.pixels.get() + size_t(row) * grey.stride,
                   size_t(grey.width));
  }
};

}  // namespace

RefResult ReferenceDecode(const uint8_t* data, size_t size) {
  std::unique_ptr<Decoder> d(new Decoder());
  RefResult r;
  try {
    d->Run(data, size);
  } catch (const Stop& stop) {
    r.result = stop.code;
  }
  r.width = d->width, r.height = d->height, r.components = d->componentCount;
  if (r.result != RefSuccess || d->width == 0 || d->height == 0) return r;
  const uint8_t* image = d->componentCount == 3 ? d->rgbImage.get() : d->components[0].pixels.get();
  r.image.assign(image, image + size_t(d->width) * size_t(d->height) * size_t(d->componentCount));
  return r;
}

}  // namespace lvs_reference
