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

struct ScanComponent {
    int selector, dcTable, acTable;
};

// A Huffman table whose codes all have the same length: symbol i gets the
// code i. Simple to encode with, and enough for every hand-made stream.
struct FixedCodeTable {
    int length;
    std::vector<uint8_t> symbols;
    int CodeOf(uint8_t symbol) const;  // -1 if the symbol is not in the table
};

class JpegWriter {
public:
    JpegWriter& Soi() { return Bytes({0xFF, 0xD8}); }
    JpegWriter& Bytes(const std::vector<uint8_t>& bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    // 0xFF, code, 16-bit length (payload size + 2 unless given), payload.
    JpegWriter& Segment(uint8_t code, const std::vector<uint8_t>& payload, int length = -1);
    JpegWriter& Sof(int width, int height, const std::vector<FrameComponent>& components,
                    int precision = 8);
    JpegWriter& Dqt(int id, uint8_t value) {  // all 64 entries equal
        std::vector<uint8_t> p(65, value);
        p[0] = uint8_t(id);
        return Segment(0xDB, p);
    }
    JpegWriter& Dht(int tableClass, int id, const FixedCodeTable& table);
    JpegWriter& Dht(int tableClass, int id, const uint8_t counts[16],
                    const std::vector<uint8_t>& symbols);
    JpegWriter& Dri(int interval) { return Segment(0xDD, {uint8_t(interval >> 8), uint8_t(interval)}); }
    JpegWriter& Sos(const std::vector<ScanComponent>& components);  // spectral 0 to 63, no approximation
    const std::vector<uint8_t>& Data() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// Writes entropy-coded bits with byte stuffing; Finish pads with 1-bits.
class BitWriter {
public:
    void Put(uint32_t bits, int count);
    void PutSymbol(const FixedCodeTable& table, uint8_t symbol) {
        Put(uint32_t(table.CodeOf(symbol)), table.length);
    }
    // A coefficient as a table code (run and size) plus its additional bits.
    void PutCoefficient(const FixedCodeTable& table, int run, int value);
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
