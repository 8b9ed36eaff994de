#include "support/JpegWriter.h"

namespace lvs_test {

int FixedCodeTable::CodeOf(uint8_t symbol) const {
    for (size_t i = 0; i < symbols.size(); ++i)
        if (symbols[i] == symbol) return int(i);
    return -1;
}

JpegWriter& JpegWriter::Segment(uint8_t code, const std::vector<uint8_t>& payload, int length) {
    if (length < 0) length = int(payload.size()) + 2;
    Bytes({0xFF, code, uint8_t(length >> 8), uint8_t(length)});
    return Bytes(payload);
}

JpegWriter& JpegWriter::Sof(int width, int height, const std::vector<FrameComponent>& components,
                            int precision) {
    std::vector<uint8_t> p = {uint8_t(precision), uint8_t(height >> 8), uint8_t(height),
                              uint8_t(width >> 8), uint8_t(width), uint8_t(components.size())};
    for (const FrameComponent& c : components)
        p.insert(p.end(), {uint8_t(c.id), uint8_t(c.samplingX << 4 | c.samplingY), uint8_t(c.quantTable)});
    return Segment(0xC0, p);
}

JpegWriter& JpegWriter::Dht(int tableClass, int id, const uint8_t counts[16],
                            const std::vector<uint8_t>& symbols) {
    std::vector<uint8_t> p = {uint8_t(tableClass << 4 | id)};
    p.insert(p.end(), counts, counts + 16);
    p.insert(p.end(), symbols.begin(), symbols.end());
    return Segment(0xC4, p);
}

JpegWriter& JpegWriter::Dht(int tableClass, int id, const FixedCodeTable& table) {
    uint8_t counts[16] = {};
    counts[table.length - 1] = uint8_t(table.symbols.size());
    return Dht(tableClass, id, counts, table.symbols);
}

JpegWriter& JpegWriter::Sos(const std::vector<ScanComponent>& components) {
    std::vector<uint8_t> p = {uint8_t(components.size())};
    for (const ScanComponent& c : components)
        p.insert(p.end(), {uint8_t(c.selector), uint8_t(c.dcTable << 4 | c.acTable)});
    p.insert(p.end(), {0, 63, 0});
    return Segment(0xDA, p);
}

void BitWriter::Put(uint32_t bits, int count) {
    for (int i = count - 1; i >= 0; --i) {
        accumulator_ = accumulator_ << 1 | ((bits >> i) & 1);
        if (++count_ == 8) {
            bytes_.push_back(uint8_t(accumulator_));
            if (uint8_t(accumulator_) == 0xFF) bytes_.push_back(0x00);
            accumulator_ = 0;
            count_ = 0;
        }
    }
}

void BitWriter::PutCoefficient(const FixedCodeTable& table, int run, int value) {
    int size = 0;
    for (int magnitude = value < 0 ? -value : value; magnitude; magnitude >>= 1) ++size;
    PutSymbol(table, uint8_t(run << 4 | size));
    Put(uint32_t(value < 0 ? value + (1 << size) - 1 : value), size);
}

}  // namespace lvs_test
