#include "ZipReader.h"

#include <minizip/unzip.h>

#include <climits>
#include <cstring>
#include <string>

namespace {
// minizip's case-sensitive comparison; its default is platform-dependent and
// case-insensitive on some.
constexpr int kCaseSensitive = 1;
} // namespace

ZipArchive::ZipArchive(const char* path) : handle_(unzOpen64(path)) {}

ZipArchive::~ZipArchive() { Close(); }

bool ZipArchive::Close() {
    if (handle_ == nullptr) return true;
    const int result = unzClose(handle_);
    handle_ = nullptr;
    return result == UNZ_OK;
}

bool ZipArchive::Locate(const char* name, EntryInfo* info) {
    if (handle_ == nullptr || unzLocateFile(handle_, name, kCaseSensitive) != UNZ_OK) return false;

    // minizip compares a name truncated to its own buffer; compare the whole
    // stored name again so that only an exact match counts.
    unz_file_info64 raw{};
    if (unzGetCurrentFileInfo64(handle_, &raw, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return false;
    const std::size_t length = std::strlen(name);
    if (raw.size_filename != length) return false;
    std::string stored(length + 1, '\0');
    if (unzGetCurrentFileInfo64(handle_, &raw, &stored[0], static_cast<uLong>(stored.size()), nullptr, 0,
                                nullptr, 0) != UNZ_OK ||
        std::memcmp(stored.data(), name, length) != 0)
        return false;

    info->flags = static_cast<std::uint32_t>(raw.flag);
    info->method = static_cast<std::uint32_t>(raw.compression_method);
    info->crc = static_cast<std::uint32_t>(raw.crc);
    info->compressedSize = raw.compressed_size;
    info->uncompressedSize = raw.uncompressed_size;
    return true;
}

RawEntryReader::RawEntryReader(ZipArchive& archive) : handle_(archive.handle_) {
    int method = 0, level = 0;
    open_ = handle_ != nullptr && unzOpenCurrentFile2(handle_, &method, &level, 1) == UNZ_OK;
}

RawEntryReader::~RawEntryReader() { Close(); }

bool RawEntryReader::Close() {
    if (!open_) return true;
    open_ = false;
    return unzCloseCurrentFile(handle_) == UNZ_OK;
}

long RawEntryReader::Read(void* destination, std::size_t count) {
    if (!open_) return -1;
    const unsigned request = count > INT_MAX ? INT_MAX : static_cast<unsigned>(count);
    return unzReadCurrentFile(handle_, destination, request);
}

bool RawEntryReader::ReadExactly(void* destination, std::size_t count) {
    auto* out = static_cast<unsigned char*>(destination);
    while (count > 0) {
        const long got = Read(out, count);
        if (got <= 0) return false;
        out += got;
        count -= static_cast<std::size_t>(got);
    }
    return true;
}
