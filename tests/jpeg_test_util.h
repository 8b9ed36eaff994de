// Shared helpers of the decoder tests: decoding from an exact-size copy (so
// that AddressSanitizer sees any read past the input) with counting memory
// functions, and a small builder of complete hand-made streams.
#pragma once

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "jpeg_decoder.h"
#include "support/JpegWriter.h"

namespace lvs_test {

struct MemoryLog {
    static inline int live = 0;
    static inline int requests = 0;
    static inline int failAt = -1;  // request number that returns null
    static void Reset(int fail = -1) { live = requests = 0, failAt = fail; }
    static void* Allocate(uint64_t size) {
        if (requests++ == failAt) return nullptr;
        void* p = std::malloc(size ? size : 1);
        if (p) ++live;
        return p;
    }
    static void Release(void* p) {
        --live;
        std::free(p);
    }
};

inline std::unique_ptr<Jpeg::Decoder> Decode(const std::vector<uint8_t>& bytes, int failAt = -1) {
    MemoryLog::Reset(failAt);
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() ? bytes.size() : 1]);
    if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
    return std::make_unique<Jpeg::Decoder>(exact.get(), bytes.size(), MemoryLog::Allocate,
                                           MemoryLog::Release);
}

// A complete stream around hand-made entropy-coded bytes: every quantisation
// table filled with `quant`, the small code tables in slots 0 and 1, one
// frame and one scan over all components (tables 0 for the first, 1 for the
// others).
struct HandMade {
    int width = 8, height = 8;
    std::vector<FrameComponent> frame = {{1, 1, 1, 0}};
    uint8_t quant = 1;
    int restartInterval = 0;
    FixedCodeTable dc = SmallDcTable(), ac = SmallAcTable();

    std::vector<uint8_t> Build(const std::vector<uint8_t>& entropy) const {
        JpegWriter w;
        w.Soi().Dqt(0, quant).Dqt(1, quant);
        w.Dht(0, 0, dc).Dht(1, 0, ac).Dht(0, 1, dc).Dht(1, 1, ac);
        w.Sof(width, height, frame);
        if (restartInterval) w.Dri(restartInterval);
        std::vector<ScanComponent> scan;
        for (size_t i = 0; i < frame.size(); ++i)
            scan.push_back({frame[i].id, i ? 1 : 0, i ? 1 : 0});
        w.Sos(scan).Bytes(entropy);
        return w.Data();
    }
};

}  // namespace lvs_test
