// Shared helpers of the decoder tests: decoding from an exact-size copy (so
// that AddressSanitizer sees any read past the input) with counting memory
// functions, and a builder of complete hand-made streams.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "jpeg_decoder.h"
#include "support/JpegWriter.h"

namespace lvs_test {

struct MemoryLog {
    static inline int live = 0, requests = 0, failAt = -1;  // failAt: request that returns null
    static inline uint64_t bytes = 0;                        // requested in all
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
    return std::make_unique<Jpeg::Decoder>(exact.get(), bytes.size(), MemoryLog::Allocate,
                                           MemoryLog::Release);
}

// A complete stream around hand-made entropy-coded bytes: quantisation
// tables 0 and 1, the code tables in slots 0 and 1, one frame and one scan
// over all components (tables 0 for the first, 1 for the others).
struct HandMade {
    int width = 8, height = 8;
    std::vector<FrameComponent> frame = {{1, 1, 1, 0}};
    uint8_t quant[2][64];
    int restartInterval = 0;
    FixedCodeTable dc = SmallDcTable(), ac = SmallAcTable();

    explicit HandMade(uint8_t quantEntry = 1) { std::memset(quant, quantEntry, sizeof quant); }
    std::vector<uint8_t> Build(const std::vector<uint8_t>& entropy) const {
        JpegWriter w;
        w.Soi();
        for (uint8_t t = 0; t < 2; ++t) {
            std::vector<uint8_t> table(quant[t], quant[t] + 64);
            table.insert(table.begin(), t);
            w.Segment(0xDB, table);
        }
        w.Dht(0, 0, dc).Dht(1, 0, ac).Dht(0, 1, dc).Dht(1, 1, ac).Sof(width, height, frame);
        if (restartInterval) w.Dri(restartInterval);
        return w.Sos(frame).Bytes(entropy).Data();
    }
    // Entropy-coded bytes of DC-only blocks with these DC levels, predicted
    // one from the other as the blocks of one component are.
    std::vector<uint8_t> FlatEntropy(const std::vector<int>& levels) const {
        BitWriter b;
        for (size_t i = 0; i < levels.size(); ++i) {
            b.PutDc(dc, levels[i] - (i ? levels[i - 1] : 0));
            b.PutEndOfBlock(ac);
        }
        b.Finish();
        return b.Data();
    }
};

}  // namespace lvs_test
