// Shared helpers of the decoder tests: hand-made streams written segment by
// segment and bit by bit, and decoding from an exact-size copy (so that
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

// All codes the same length, symbol i has code i: easy to write by hand.
struct FixedCodeTable {
    int length;
    std::vector<uint8_t> symbols;
    int CodeOf(uint8_t symbol) const { return int(std::find(symbols.begin(), symbols.end(), symbol) - symbols.begin()); }
};
// DC sizes 0 to 11 in 4 bits (all 1-bits is no code); the AC symbols the tests use in 8 bits.
const FixedCodeTable kDc = {4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
const FixedCodeTable kAc = {8, {0x00, 0xF0, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A,
                                0x11, 0x12, 0x21, 0x31, 0xE1, 0x10, 0x20}};

struct JpegWriter {
    std::vector<uint8_t> data;
    JpegWriter& Soi() { return Bytes({0xFF, 0xD8}); }
    JpegWriter& Bytes(const std::vector<uint8_t>& bytes) {
        data.insert(data.end(), bytes.begin(), bytes.end());
        return *this;
    }
    // The length field is payload size + 2 unless given.
    JpegWriter& Segment(uint8_t code, const std::vector<uint8_t>& payload, int length = -1) {
        if (length < 0) length = int(payload.size()) + 2;
        return Bytes({0xFF, code, uint8_t(length >> 8), uint8_t(length)}).Bytes(payload);
    }
    JpegWriter& Sof(int width, int height, const std::vector<FrameComponent>& frame, int precision = 8) {
        std::vector<uint8_t> p = {uint8_t(precision), uint8_t(height >> 8), uint8_t(height),
                                  uint8_t(width >> 8), uint8_t(width), uint8_t(frame.size())};
        for (const FrameComponent& c : frame)
            p.insert(p.end(), {uint8_t(c.id), uint8_t(c.samplingX << 4 | c.samplingY), uint8_t(c.quantTable)});
        return Segment(0xC0, p);
    }
    // All frame components in frame order; code tables 0 for the first, 1 for the others.
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
    void PutSymbol(const FixedCodeTable& table, uint8_t symbol) { Put(uint32_t(table.CodeOf(symbol)), table.length); }
    // Run and size as a code, then the additional bits.
    void PutCoefficient(const FixedCodeTable& table, int run, int value) {
        int size = 0;
        for (int magnitude = std::abs(value); magnitude; magnitude >>= 1) ++size;
        PutSymbol(table, uint8_t(run << 4 | size));
        Put(uint32_t(value < 0 ? value + (1 << size) - 1 : value), size);
    }
    void PutDc(const FixedCodeTable& table, int difference) { PutCoefficient(table, 0, difference); }
    void PutEndOfBlock(const FixedCodeTable& table) { PutSymbol(table, 0x00); }
    // DC-only blocks of one component at these DC levels, predicted from `previous`.
    void PutFlat(const std::vector<int>& levels, int& previous, const FixedCodeTable& dc = kDc,
                 const FixedCodeTable& ac = kAc) {
        for (int level : levels) {
            PutDc(dc, level - previous);
            PutEndOfBlock(ac);
            previous = level;
        }
    }
    void Finish() { Put(0xFF, (8 - count_) % 8); }
    void Marker(uint8_t code) {
        Finish();
        data.insert(data.end(), {0xFF, code});
    }

private:
    uint32_t accumulator_ = 0;
    int count_ = 0;
};

struct MemoryLog {
    static inline int live = 0, requests = 0, failAt = -1;  // failAt: the request that returns null
    static inline uint64_t bytes = 0;  // requested in all
    static void* Allocate(uint64_t size) {
        if (requests++ == failAt) return nullptr;
        ++live;
        bytes += size;
        return std::malloc(size ? size : 1);
    }
    static void Release(void* p) {
        --live;
        std::free(p);
    }
};

inline std::unique_ptr<Jpeg::Decoder> Decode(const std::vector<uint8_t>& bytes, int failAt = -1) {
    MemoryLog::live = MemoryLog::requests = 0;
    MemoryLog::bytes = 0;
    MemoryLog::failAt = failAt;
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.empty() ? 1 : bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    return std::make_unique<Jpeg::Decoder>(exact.get(), bytes.size(), MemoryLog::Allocate, MemoryLog::Release);
}

// A complete stream around hand-made entropy-coded bytes: quantisation and
// code tables 0 and 1, one frame, one scan.
struct HandMade {
    int width = 8, height = 8, restartInterval = 0;
    std::vector<FrameComponent> frame = kGrey;
    uint8_t quant[2][64];
    FixedCodeTable dc = kDc, ac = kAc;

    explicit HandMade(uint8_t quantEntry = 1) { std::memset(quant, quantEntry, sizeof quant); }
    std::vector<uint8_t> Build(const std::vector<uint8_t>& entropy) const {
        JpegWriter w;
        w.Soi();
        for (uint8_t t = 0; t < 2; ++t) {
            std::vector<uint8_t> table(quant[t], quant[t] + 64);
            table.insert(table.begin(), t);
            w.Segment(0xDB, table);
        }
        for (int slot = 0; slot < 4; ++slot) {  // DC 0, AC 0, DC 1, AC 1
            const FixedCodeTable& t = slot % 2 ? ac : dc;
            std::vector<uint8_t> p(17, 0);
            p[0] = uint8_t((slot % 2) << 4 | slot / 2);
            p[size_t(t.length)] = uint8_t(t.symbols.size());
            p.insert(p.end(), t.symbols.begin(), t.symbols.end());
            w.Segment(0xC4, p);
        }
        w.Sof(width, height, frame);
        if (restartInterval) w.Segment(0xDD, {uint8_t(restartInterval >> 8), uint8_t(restartInterval)});
        return w.Sos(frame).Bytes(entropy).data;
    }
    std::vector<uint8_t> FlatEntropy(const std::vector<int>& levels) const {
        BitWriter b;
        int previous = 0;
        b.PutFlat(levels, previous, dc, ac);
        b.Finish();
        return b.data;
    }
};

}  // namespace lvs_test
