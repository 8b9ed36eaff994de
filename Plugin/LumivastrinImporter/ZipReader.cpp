#include "ZipReader.h"

#include <minizip/unzip.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// minizip's case-sensitive comparison; its default is platform-dependent and
// case-insensitive on some.
constexpr int kCaseSensitive = 1;

constexpr std::uint64_t kZip64Marker = 0xffffffffu;
constexpr std::uint32_t kZip64ExtraId = 0x0001;

// minizip's own file functions, but the opened stream is remembered so that
// raw entry bytes can be read from it directly.
voidpf ZCALLBACK OpenAndRemember(voidpf opaque, const void* filename, int mode) {
    auto** remembered = static_cast<std::FILE**>(opaque);
    if (filename == nullptr || (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
    *remembered = std::fopen(static_cast<const char*>(filename), "rb");
    return *remembered;
}

std::uint64_t LittleEndian(const unsigned char* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

// Takes the sizes from the zip64 extra field where the 32-bit fields hold the
// marker. minizip is meant to do this, but on LP64 systems it compares with
// (unsigned long)-1 and never matches, leaving the marker as the size.
void ApplyZip64Sizes(const std::vector<unsigned char>& extra, EntryInfo* info) {
    std::size_t pos = 0;
    while (pos + 4 <= extra.size()) {
        const auto id = static_cast<std::uint32_t>(LittleEndian(&extra[pos], 2));
        const auto size = static_cast<std::size_t>(LittleEndian(&extra[pos + 2], 2));
        const std::size_t end = pos + 4 + size;
        if (end > extra.size()) return;
        if (id == kZip64ExtraId) {
            std::size_t field = pos + 4;
            for (std::uint64_t* value : {&info->uncompressedSize, &info->compressedSize}) {
                if (*value != kZip64Marker) continue;
                if (field + 8 > end) return;
                *value = LittleEndian(&extra[field], 8);
                field += 8;
            }
            return;
        }
        pos = end;
    }
}

} // namespace

ZipArchive::ZipArchive(const char* path) {
    zlib_filefunc64_def functions;
    fill_fopen64_filefunc(&functions);
    functions.zopen64_file = OpenAndRemember;
    functions.opaque = &file_;
    handle_ = unzOpen2_64(path, &functions);
}

ZipArchive::~ZipArchive() { Close(); }

bool ZipArchive::Close() {
    if (handle_ == nullptr) return true;
    const int result = unzClose(handle_);
    handle_ = nullptr;
    file_ = nullptr;
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
    std::vector<unsigned char> extra(raw.size_file_extra);
    if (unzGetCurrentFileInfo64(handle_, &raw, &stored[0], static_cast<uLong>(stored.size()), extra.data(),
                                static_cast<uLong>(extra.size()), nullptr, 0) != UNZ_OK ||
        std::memcmp(stored.data(), name, length) != 0)
        return false;

    info->flags = static_cast<std::uint32_t>(raw.flag);
    info->method = static_cast<std::uint32_t>(raw.compression_method);
    info->crc = static_cast<std::uint32_t>(raw.crc);
    info->compressedSize = raw.compressed_size;
    info->uncompressedSize = raw.uncompressed_size;
    ApplyZip64Sizes(extra, info);
    return true;
}

// minizip opens the entry (it checks the local header against the central
// one and finds where the data starts); the bytes themselves are read here,
// because minizip's reader trusts its own compressed size, which the zip64
// fault above can leave at the marker, and then reads past the end of file.
RawEntryReader::RawEntryReader(ZipArchive& archive, const EntryInfo& info)
    : archive_(archive), remaining_(info.compressedSize) {
    int method = 0, level = 0;
    if (archive.handle_ == nullptr || archive.file_ == nullptr ||
        unzOpenCurrentFile2(archive.handle_, &method, &level, 1) != UNZ_OK)
        return;
    open_ = true;
    const ZPOS64_T start = unzGetCurrentFileZStreamPos64(archive.handle_);
    if (start > static_cast<ZPOS64_T>(INT64_MAX) ||
        fseeko(archive.file_, static_cast<off_t>(start), SEEK_SET) != 0)
        Close();
}

RawEntryReader::~RawEntryReader() { Close(); }

bool RawEntryReader::Close() {
    if (!open_) return true;
    open_ = false;
    return unzCloseCurrentFile(archive_.handle_) == UNZ_OK;
}

bool RawEntryReader::ReadExactly(void* destination, std::size_t count) {
    if (!open_ || count > remaining_) return false;
    if (count > 0 && std::fread(destination, 1, count, archive_.file_) != count) return false;
    remaining_ -= count;
    return true;
}
