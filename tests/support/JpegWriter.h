// Builds JPEG byte streams by hand, segment by segment, for tests that need
// exact control over headers and entropy-coded bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace lvs_test {

struct FrameComponent {
    int id;
    int samplingX, samplingY;
    int quantTable;
};

struct ScanComponent {
    int selector;
    int dcTable, acTable;
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
    JpegWriter& Soi();
    JpegWriter& Eoi();
    JpegWriter& Bytes(std::initializer_list<uint8_t> bytes);
    JpegWriter& Bytes(const std::vector<uint8_t>& bytes);
    // 0xFF, code, 16-bit length (payload size + 2 unless given), payload.
    JpegWriter& Segment(uint8_t code, const std::vector<uint8_t>& payload, int length = -1);
    JpegWriter& Sof(int width, int height, const std::vector<FrameComponent>& components,
                    int precision = 8, uint8_t code = 0xC0);
    JpegWriter& Dqt(int id, uint8_t value);  // all 64 entries equal
    JpegWriter& Dht(int tableClass, int id, const FixedCodeTable& table);
    JpegWriter& Dht(int tableClass, int id, const uint8_t counts[16],
                    const std::vector<uint8_t>& symbols);
    JpegWriter& Dri(int interval);
    JpegWriter& Sos(const std::vector<ScanComponent>& components, int start = 0, int end = 63,
                    int approximation = 0);
    const std::vector<uint8_t>& Data() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// Writes entropy-coded bits with byte stuffing; Finish pads with 1-bits.
class BitWriter {
public:
    void Put(uint32_t bits, int count);
    // A coefficient as a table code plus its additional bits.
    void PutCoefficient(const FixedCodeTable& table, int run, int value);
    void PutDc(const FixedCodeTable& table, int difference);
    void PutEndOfBlock(const FixedCodeTable& table) { PutSymbol(table, 0x00); }
    void PutSymbol(const FixedCodeTable& table, uint8_t symbol);
    // Pads to a byte boundary with 1-bits; then a raw marker may follow.
    void Finish();
    void Marker(uint8_t code);
    const std::vector<uint8_t>& Data() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    uint32_t accumulator_ = 0;
    int count_ = 0;
};

// DC sizes 0 to 11 with 4-bit codes (codes 12 to 15 unused, so all 1-bits
// are an invalid code), and the AC symbols the tests use with 8-bit codes.
FixedCodeTable SmallDcTable();
FixedCodeTable SmallAcTable();

}  // namespace lvs_test
