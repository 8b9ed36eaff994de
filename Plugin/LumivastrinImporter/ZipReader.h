// A small RAII layer over minizip: the archive and the open entry are closed
// on every path. minizip is used only for the archive structure and for the
// entry's raw bytes; decryption and decompression are the caller's.
#pragma once

#include <cstddef>
#include <cstdint>

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
    // current one and reads its information.
    bool Locate(const char* name, EntryInfo* info);

    // Closes now, to learn whether closing succeeded; the destructor closes
    // otherwise.
    bool Close();

private:
    friend class RawEntryReader;
    void* handle_ = nullptr;
};

// The current entry of an archive opened for reading its raw stored bytes.
class RawEntryReader {
public:
    explicit RawEntryReader(ZipArchive& archive); // check IsOpen()
    ~RawEntryReader();
    RawEntryReader(const RawEntryReader&) = delete;
    RawEntryReader& operator=(const RawEntryReader&) = delete;

    bool IsOpen() const { return open_; }

    // Up to `count` raw bytes: the count delivered, 0 at the end, negative on
    // error.
    long Read(void* destination, std::size_t count);

    // Fills exactly `count` bytes; false on error or early end.
    bool ReadExactly(void* destination, std::size_t count);

    bool Close();

private:
    void* handle_;
    bool open_ = false;
};
