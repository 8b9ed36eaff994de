// A small RAII layer over minizip: the archive and the open entry are closed
// on every path. minizip walks the archive structure (open, locate, entry
// information, the entry's local header); the entry's raw bytes are read
// straight from the archive's file, and decryption and decompression are the
// caller's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct EntryInfo {
    std::uint32_t flags = 0;
    std::uint32_t method = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;   // raw bytes, including any cipher header
    std::uint64_t uncompressedSize = 0;
};

class ZipArchive {
public:
    explicit ZipArchive(const char* path); // check IsOpen()
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    bool IsOpen() const { return handle_ != nullptr; }

    // Makes the entry whose stored name equals `name` byte for byte the
    // current one and reads its information, zip64 sizes included.
    bool Locate(const char* name, EntryInfo* info);

    // Closes now, to learn whether closing succeeded; the destructor closes
    // otherwise.
    bool Close();

private:
    friend class RawEntryReader;
    void* handle_ = nullptr;
    std::FILE* file_ = nullptr; // the stream minizip opened, borrowed for raw reads
};

// The raw stored bytes of the current entry of an archive.
class RawEntryReader {
public:
    // `info` is what Locate reported for the current entry.
    RawEntryReader(ZipArchive& archive, const EntryInfo& info); // check IsOpen()
    ~RawEntryReader();
    RawEntryReader(const RawEntryReader&) = delete;
    RawEntryReader& operator=(const RawEntryReader&) = delete;

    bool IsOpen() const { return open_; }

    // Fills exactly `count` bytes; false on error or when the entry's raw
    // bytes end first.
    bool ReadExactly(void* destination, std::size_t count);

    bool Close();

private:
    ZipArchive& archive_;
    std::uint64_t remaining_ = 0;
    bool open_ = false;
};
