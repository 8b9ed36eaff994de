// Builds JPEG byte streams by hand, segment by segment, for tests that need
// exact control over headers and entropy-coded bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lvs_test {

struct FrameComponent {
    int id, samplingX, samplingY, quantTable;
};

// A Huffman table whose codes all have the same length: symbol i gets the
// code i. Simple to encode with, and enough for every hand-made stream.
struct FixedCodeTable {
    int length;
    std::vector<uint8_t> symbols;
    int CodeOf(uint8_t symbol) const {  // -1 if the symbol is not in the table
        for (size_t i = 0; i < symbols.size(); ++i)
            if (symbols[i] == symbol) return int(i);
        return -1;
    }
};

class JpegWriter {
public:
    JpegWriter& Soi() { return Bytes({0xFF, 0xD8}); }
    JpegWriter& Bytes(const std::vector<uint8_t>& bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    // 0xFF, code, 16-bit length (payload size + 2 unless given), payload.
    JpegWriter& Segment(uint8_t code, const std::vector<uint8_t>& payload, int length = -1) {
        if (length < 0) length = int(payload.size()) + 2;
        return Bytes({0xFF, code, uint8_t(length >> 8), uint8_t(length)}).Bytes(payload);
    }
    JpegWriter& Sof(int width, int height, const std::vector<FrameComponent>& components, int precision = 8) {
        std::vector<uint8_t> p = {uint8_t(precision), uint8_t(height >> 8), uint8_t(height),
                                  uint8_t(width >> 8), uint8_t(width), uint8_t(components.size())};
        for (const FrameComponent& c : components)
            p.insert(p.end(), {uint8_t(c.id), uint8_t(c.samplingX << 4 | c.samplingY), uint8_t(c.quantTable)});
        return Segment(0xC0, p);
    }
    JpegWriter& Dht(int tableClass, int id, const FixedCodeTable& table) {
        std::vector<uint8_t> p(17, 0);
        p[0] = uint8_t(tableClass << 4 | id);
        p[size_t(table.length)] = uint8_t(table.symbols.size());
        p.insert(p.end(), table.symbols.begin(), table.symbols.end());
        return Segment(0xC4, p);
    }
    JpegWriter& Dri(int interval) { return Segment(0xDD, {uint8_t(interval >> 8), uint8_t(interval)}); }
    // One scan over all frame components in frame order, code tables 0 for
    // the first and 1 for the others; spectral selection 0 to 63.
    JpegWriter& Sos(const std::vector<FrameComponent>& frame) {
        std::vector<uint8_t> p = {uint8_t(frame.size())};
        for (size_t i = 0; i < frame.size(); ++i) p.insert(p.end(), {uint8_t(frame[i].id), uint8_t(i ? 0x11 : 0x00)});
        p.insert(p.end(), {0, 63, 0});
        return Segment(0xDA, p);
    }
    const std::vector<uint8_t>& Data() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// Writes entropy-coded bits with byte stuffing; Finish pads with 1-bits.
class BitWriter {
public:
    void Put(uint32_t bits, int count) {
        for (int i = count - 1; i >= 0; --i) {
            accumulator_ = accumulator_ << 1 | ((bits >> i) & 1);
            if (++count_ < 8) continue;
            bytes_.push_back(uint8_t(accumulator_));
            if (uint8_t(accumulator_) == 0xFF) bytes_.push_back(0x00);
            accumulator_ = count_ = 0;
        }
    }
    void PutSymbol(const FixedCodeTable& table, uint8_t symbol) {
        Put(uint32_t(table.CodeOf(symbol)), table.length);
    }
    // A coefficient as a table code (run and size) plus its additional bits.
    void PutCoefficient(const FixedCodeTable& table, int run, int value) {
        int size = 0;
        for (int magnitude = value < 0 ? -value : value; magnitude; magnitude >>= 1) ++size;
        PutSymbol(table, uint8_t(run << 4 | size));
        Put(uint32_t(value < 0 ? value + (1 << size) - 1 : value), size);
    }
    void PutDc(const FixedCodeTable& table, int difference) { PutCoefficient(table, 0, difference); }
    void PutEndOfBlock(const FixedCodeTable& table) { PutSymbol(table, 0x00); }
    void Finish() {
        while (count_ != 0) Put(1, 1);
    }
    void Marker(uint8_t code) {  // padded, then a raw marker
        Finish();
        bytes_.insert(bytes_.end(), {0xFF, code});
    }
    const std::vector<uint8_t>& Data() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    uint32_t accumulator_ = 0;
    int count_ = 0;
};

// DC sizes 0 to 11 with 4-bit codes (codes 12 to 15 unused, so all 1-bits
// are an invalid code), and the AC symbols the tests use with 8-bit codes.
inline FixedCodeTable SmallDcTable() { return {4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}}; }
inline FixedCodeTable SmallAcTable() {
    return {8, {0x00, 0xF0, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A,
                0x11, 0x12, 0x21, 0x31, 0xE1, 0x10, 0x20}};
}

}  // namespace lvs_test
