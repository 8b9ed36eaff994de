// Hand-made streams, and decoding from an exact-size copy (so that
// AddressSanitizer sees any read past the input) with counting memory functions.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "jpeg_decoder.h"

namespace lvs_test {

struct FrameComponent {
  int id, samplingX, samplingY, quantTable;
};
const std::vector<FrameComponent> kGrey = {{1, 1, 1, 0}};
const std::vector<FrameComponent> k420 = {{1, 2, 2, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}};

// DC sizes 0 to 11 as 4-bit codes 0 to 11 (all 1-bits is no code); end of block as eight 0-bits.
constexpr int kDcLength = 4, kDcSymbols = 12, kAcLength = 8;

struct JpegWriter {
  std::vector<uint8_t> data;
  JpegWriter& Soi() { return Bytes({0xFF, 0xD8}); }
  JpegWriter& Bytes(const std::vector<uint8_t>& bytes) {
    data.insert(data.end(), bytes.begin(), bytes.end());
    return *this;
  }
  JpegWriter& Segment(uint8_t code, const std::vector<uint8_t>& payload, int length = -1) {
    if (length < 0) length = int(payload.size()) + 2;
    return Bytes({0xFF, code, uint8_t(length >> 8), uint8_t(length)}).Bytes(payload);
  }
  JpegWriter& Sof(int width, int height, const std::vector<FrameComponent>& frame, int precision = 8) {
    std::vector<uint8_t> p = {uint8_t(precision),  uint8_t(height >> 8), uint8_t(height),
                              uint8_t(width >> 8), uint8_t(width),       uint8_t(frame.size())};
    for (const FrameComponent& c : frame)
      p.insert(p.end(), {uint8_t(c.id), uint8_t(c.samplingX << 4 | c.samplingY), uint8_t(c.quantTable)});
    return Segment(0xC0, p);
  }
  // Code tables 0 for the first component, 1 for the others.
  JpegWriter& Sos(const std::vector<FrameComponent>& frame) {
    std::vector<uint8_t> p = {uint8_t(frame.size())};
    for (size_t i = 0; i < frame.size(); ++i) p.insert(p.end(), {uint8_t(frame[i].id), uint8_t(i ? 0x11 : 0x00)});
    p.insert(p.end(), {0, 63, 0});
    return Segment(0xDA, p);
  }
};

// Entropy-coded bits with byte stuffing; Finish pads with 1-bits.
struct BitWriter {
  std::vector<uint8_t> data;
  void Put(uint32_t bits, int count) {
    for (int i = count - 1; i >= 0; --i) {
      accumulator_ = accumulator_ << 1 | ((bits >> i) & 1);
      if (++count_ < 8) continue;
      data.push_back(uint8_t(accumulator_));
      if (uint8_t(accumulator_) == 0xFF) data.push_back(0x00);
      accumulator_ = count_ = 0;
    }
  }
  // DC-only blocks of one component at these DC levels, predicted from `previous`.
  void PutFlat(const std::vector<int>& levels, int& previous) {
    for (int level : levels) {
      const int difference = level - previous;
      int size = 0;
      for (int magnitude = std::abs(difference); magnitude; magnitude >>= 1) ++size;
      Put(uint32_t(size), kDcLength);
      Put(uint32_t(difference < 0 ? difference + (1 << size) - 1 : difference), size);
      Put(0, kAcLength);
      previous = level;
    }
  }
  void Finish() { Put(0xFF, (8 - count_) % 8); }
  void Marker(uint8_t code) { Finish(), data.insert(data.end(), {0xFF, code}); }

 private:
  uint32_t accumulator_ = 0;
  int count_ = 0;
};

struct MemoryLog {
  static inline int live = 0, requests = 0, failAt = -1;  // failAt: the request that returns null
  static inline uint64_t lastSize = 0;                    // of the last request
  static void* Allocate(uint64_t size) {
    lastSize = size;
    if (requests++ == failAt) return nullptr;
    ++live;
    return std::malloc(size ? size : 1);
  }
  static void Release(void* p) { --live, std::free(p); }
};

inline std::unique_ptr<Jpeg::Decoder> Decode(const std::vector<uint8_t>& bytes, int failAt = -1,
                                             Jpeg::Decoder::KernelChoice kernels = Jpeg::Decoder::KernelChoice::Best) {
  MemoryLog::live = MemoryLog::requests = 0, MemoryLog::failAt = failAt;
  std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.empty() ? 1 : bytes.size()]);
  std::copy(bytes.begin(), bytes.end(), exact.get());
  return std::make_unique<Jpeg::Decoder>(exact.get(), bytes.size(), MemoryLog::Allocate, MemoryLog::Release, kernels);
}

// A file handed over a window at a time: each window a fresh copy of just
// the bytes it holds, `extra` more than the decoder asks for (0: exactly
// as many), so that AddressSanitizer sees any read past a window or of a
// window given up. Counts the windows given.
class WindowSource : public Jpeg::Source {
 public:
  WindowSource(const std::vector<uint8_t>& data, size_t extra)
      : Jpeg::Source(data.size()), data_(data), extra_(extra) {}
  const uint8_t* More(const uint8_t* from, int32_t want, int32_t* count) override {
    const size_t at = from ? start_ + size_t(from - window_.get()) : 0;
    const size_t n = std::min(size_t(std::max(want, 0)) + extra_, data_.size() - at);
    window_.reset(new uint8_t[n ? n : 1]);
    std::copy(data_.begin() + long(at), data_.begin() + long(at + n), window_.get());
    start_ = at;
    ++windows;
    *count = int32_t(n);
    return window_.get();
  }
  int windows = 0;

 private:
  const std::vector<uint8_t>& data_;
  const size_t extra_;
  size_t start_ = 0;
  std::unique_ptr<uint8_t[]> window_;
};

// Takes rows and keeps none.
struct NoRows : Jpeg::RowSink {
  void PutRow(int32_t, const uint8_t*, int32_t) override {}
};

// Decodes a file that comes a window at a time, with the counting memory
// functions; any size is taken.
inline std::unique_ptr<Jpeg::Decoder> DecodeInWindows(WindowSource& source, Jpeg::RowSink& rows, int failAt = -1) {
  MemoryLog::live = MemoryLog::requests = 0, MemoryLog::failAt = failAt;
  return std::make_unique<Jpeg::Decoder>(source, MemoryLog::Allocate, MemoryLog::Release, -1, -1, rows);
}

// A complete stream around hand-made entropy-coded bytes: every quantisation entry 1.
struct HandMade {
  int width = 8, height = 8, restartInterval = 0;
  std::vector<FrameComponent> frame = kGrey;
  uint8_t acSymbol = 0x00;  // the AC tables' one symbol: the end of block

  std::vector<uint8_t> Build(const std::vector<uint8_t>& entropy) const {
    JpegWriter w = JpegWriter().Soi();
    std::vector<uint8_t> quant(65, 1), dc(17 + kDcSymbols, 0), ac(18, 0);
    for (int s = 0; s < kDcSymbols; ++s) dc[size_t(17 + s)] = uint8_t(s);
    dc[kDcLength] = kDcSymbols, ac[kAcLength] = 1, ac[17] = acSymbol;
    for (uint8_t t = 0; t < 2; ++t) {
      quant[0] = dc[0] = t;
      ac[0] = uint8_t(0x10 | t);
      w.Segment(0xDB, quant).Segment(0xC4, dc).Segment(0xC4, ac);
    }
    w.Sof(width, height, frame);
    if (restartInterval) w.Segment(0xDD, {uint8_t(restartInterval >> 8), uint8_t(restartInterval)});
    return w.Sos(frame).Bytes(entropy).data;
  }
  std::vector<uint8_t> FlatEntropy(const std::vector<int>& levels) const {
    BitWriter b;
    int previous = 0;
    b.PutFlat(levels, previous);
    b.Finish();
    return b.data;
  }
};

inline std::vector<uint8_t> FrameOnly(int width, int height, const std::vector<FrameComponent>& frame,
                                      int precision = 8) {
  return JpegWriter().Soi().Sof(width, height, frame, precision).data;
}
// Flat blocks at level 0, as many as asked.
inline std::vector<uint8_t> FlatStream(int width, int height, const std::vector<FrameComponent>& frame, int blocks) {
  HandMade m{width, height, 0, frame};
  return m.Build(m.FlatEntropy(std::vector<int>(size_t(blocks), 0)));
}

}  // namespace lvs_test
