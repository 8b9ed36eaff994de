#include "support/JpegWriter.h"

namespace lvs_test {

int FixedCodeTable::CodeOf(uint8_t symbol) const {
    for (size_t i = 0; i < symbols.size(); ++i)
        if (symbols[i] == symbol) return int(i);
    return -1;
}

JpegWriter& JpegWriter::Soi() { return Bytes({0xFF, 0xD8}); }
JpegWriter& JpegWriter::Eoi() { return Bytes({0xFF, 0xD9}); }

JpegWriter& JpegWriter::Bytes(std::initializer_list<uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes);
    return *this;
}

JpegWriter& JpegWriter::Bytes(const std::vector<uint8_t>& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

JpegWriter& JpegWriter::Segment(uint8_t code, const std::vector<uint8_t>& payload, int length) {
    if (length < 0) length = int(payload.size()) + 2;
    Bytes({0xFF, code, uint8_t(length >> 8), uint8_t(length)});
    return Bytes(payload);
}

JpegWriter& JpegWriter::Sof(int width, int height, const std::vector<FrameComponent>& components,
                            int precision, uint8_t code) {
    std::vector<uint8_t> p = {uint8_t(precision), uint8_t(height >> 8), uint8_t(height),
                              uint8_t(width >> 8), uint8_t(width), uint8_t(components.size())};
    for (const FrameComponent& c : components) {
        p.push_back(uint8_t(c.id));
        p.push_back(uint8_t(c.samplingX << 4 | c.samplingY));
        p.push_back(uint8_t(c.quantTable));
    }
    return Segment(code, p);
}

JpegWriter& JpegWriter::Dqt(int id, uint8_t value) {
    std::vector<uint8_t> p(65, value);
    p[0] = uint8_t(id);
    return Segment(0xDB, p);
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

JpegWriter& JpegWriter::Dri(int interval) {
    return Segment(0xDD, {uint8_t(interval >> 8), uint8_t(interval)});
}

JpegWriter& JpegWriter::Sos(const std::vector<ScanComponent>& components, int start, int end,
                            int approximation) {
    std::vector<uint8_t> p = {uint8_t(components.size())};
    for (const ScanComponent& c : components) {
        p.push_back(uint8_t(c.selector));
        p.push_back(uint8_t(c.dcTable << 4 | c.acTable));
    }
    p.push_back(uint8_t(start));
    p.push_back(uint8_t(end));
    p.push_back(uint8_t(approximation));
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

void BitWriter::PutSymbol(const FixedCodeTable& table, uint8_t symbol) {
    Put(uint32_t(table.CodeOf(symbol)), table.length);
}

static int SizeOf(int value) {
    int magnitude = value < 0 ? -value : value, size = 0;
    while (magnitude) {
        ++size;
        magnitude >>= 1;
    }
    return size;
}

static uint32_t AdditionalBits(int value, int size) {
    return uint32_t(value < 0 ? value + (1 << size) - 1 : value);
}

void BitWriter::PutDc(const FixedCodeTable& table, int difference) {
    int size = SizeOf(difference);
    PutSymbol(table, uint8_t(size));
    Put(AdditionalBits(difference, size), size);
}

void BitWriter::PutCoefficient(const FixedCodeTable& table, int run, int value) {
    int size = SizeOf(value);
    PutSymbol(table, uint8_t(run << 4 | size));
    Put(AdditionalBits(value, size), size);
}

void BitWriter::Finish() {
    while (count_ != 0) Put(1, 1);
}

void BitWriter::Marker(uint8_t code) {
    Finish();
    bytes_.push_back(0xFF);
    bytes_.push_back(code);
}

FixedCodeTable SmallDcTable() {
    return {4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
}

FixedCodeTable SmallAcTable() {
    return {8, {0x00, 0xF0, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A,
                0x11, 0x12, 0x21, 0x31, 0xE1, 0x10, 0x20}};
}

}  // namespace lvs_test
