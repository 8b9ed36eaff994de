// Shared helpers of the package reading tests: a scratch directory per test,
// file bytes, patching headers of written archives, and shell tools.
#pragma once

#include "PackageBuilder.h"
#include "StylePackage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("lvs_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" +
                std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    std::string Write(const std::string& name, const std::vector<lvs_maker::Entry>& entries,
                      const lvs_maker::Options& options = {}) {
        const std::string path = Path(name);
        std::string error;
        EXPECT_TRUE(lvs_maker::WritePackage(path, entries, &error, options)) << error;
        return path;
    }

    // Reads the whole entry with exactly the reported size as capacity.
    int32_t ReadAll(const std::string& path, const char* name, Bytes* out) {
        const int32_t size = LVS_GetFileSize(path.c_str(), name);
        out->assign(static_cast<std::size_t>(std::max(size, 0)), 0);
        return LVS_ReadFile(path.c_str(), name, out->data(), out->size());
    }

    // Runs a shell command in the scratch directory.
    int Shell(const std::string& command) const {
        return std::system(("cd '" + dir_.string() + "' && " + command).c_str());
    }

    fs::path dir_;
};

inline Bytes RandomBytes(std::size_t count, unsigned seed = 7) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

// Compressible but not trivial: text-like lines.
inline Bytes TextBytes(std::size_t count) {
    Bytes bytes;
    for (std::size_t i = 0; bytes.size() < count; ++i) {
        const std::string line = "{\"line\": " + std::to_string(i * 7919 % 1000) + ", \"style\": \"lumi\"}\n";
        bytes.insert(bytes.end(), line.begin(), line.end());
    }
    bytes.resize(count);
    return bytes;
}

inline Bytes Slurp(const std::string& path) {
    Bytes bytes;
    lvs_maker::ReadWholeFile(path, &bytes);
    return bytes;
}

inline void Spit(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::uint32_t Le32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
inline void SetLe16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = v & 0xff;
    b[at + 1] = (v >> 8) & 0xff;
}
inline void SetLe32(Bytes& b, std::size_t at, std::uint32_t v) {
    SetLe16(b, at, v & 0xffff);
    SetLe16(b, at + 2, v >> 16);
}

// Offsets of the local header and the central directory record of `name`
// (plain, non-zip64 archives as lvs_maker writes them).
struct HeaderOffsets {
    std::size_t local = 0, central = 0;
};
inline HeaderOffsets FindHeaders(const Bytes& b, const std::string& name) {
    HeaderOffsets found{};
    for (std::size_t i = 0; i + 46 + name.size() <= b.size(); ++i) {
        const std::uint32_t sig = Le32(b, i);
        const std::size_t nameAt = sig == 0x04034b50 ? i + 30 : sig == 0x02014b50 ? i + 46 : 0;
        if (nameAt == 0) continue;
        const std::size_t nameLength = b[nameAt - (sig == 0x04034b50 ? 4 : 18)] |
                                       (b[nameAt - (sig == 0x04034b50 ? 3 : 17)] << 8);
        if (nameLength != name.size() || std::string(b.begin() + nameAt, b.begin() + nameAt + nameLength) != name)
            continue;
        (sig == 0x04034b50 ? found.local : found.central) = i;
    }
    return found;
}

// Rewrites the recorded uncompressed size of `name` in both headers.
inline void SetRecordedSize(Bytes& b, const std::string& name, std::uint32_t size) {
    const HeaderOffsets at = FindHeaders(b, name);
    SetLe32(b, at.local + 22, size);
    SetLe32(b, at.central + 24, size);
}
