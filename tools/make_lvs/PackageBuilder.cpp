#include "PackageBuilder.h"

#include "StylePackage.h"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

namespace lvs_maker {
namespace {

// A fixed time: plain packages come out byte-for-byte reproducible (the
// cipher header of encrypted entries is random).
constexpr time_t kFixedTime = 1262304000;  // 2010-01-01

// An entry's bytes as a libzip source whose modification time is kFixedTime.
// libzip takes the encryption header's check byte from the source's time, not
// from zip_file_set_mtime, so a buffer source (time: now) beside a fixed entry
// time gives entries that unzip and other tools reject as "incorrect
// password".
struct FixedTimeSource {
  const std::vector<std::uint8_t>* data;
  std::size_t position = 0;
  zip_error_t error{};
};

zip_int64_t FixedTimeCallback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
  auto* source = static_cast<FixedTimeSource*>(state);
  switch (command) {
    case ZIP_SOURCE_OPEN:
      source->position = 0;
      return 0;
    case ZIP_SOURCE_READ: {
      const std::size_t count =
          std::min<std::size_t>(static_cast<std::size_t>(length), source->data->size() - source->position);
      if (count > 0) std::memcpy(data, source->data->data() + source->position, count);
      source->position += count;
      return static_cast<zip_int64_t>(count);
    }
    case ZIP_SOURCE_CLOSE:
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* stat = static_cast<zip_stat_t*>(data);
      zip_stat_init(stat);
      stat->size = source->data->size();
      stat->mtime = kFixedTime;
      stat->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
      return sizeof(*stat);
    }
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&source->error, data, length);
    case ZIP_SOURCE_FREE:
      zip_error_fini(&source->error);
      delete source;
      return 0;
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                            ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SUPPORTS, -1);
    default:
      zip_error_set(&source->error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

bool Fail(std::string* error, const std::string& message) {
  if (error) *error = message;
  return false;
}

struct ZipDiscarder {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};

std::uint32_t Get16(const std::vector<std::uint8_t>& b, std::size_t at) { return b[at] | (b[at + 1] << 8); }
std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return Get16(b, at) | (Get16(b, at + 2) << 16);
}
void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  b[at] = v & 0xff;
  b[at + 1] = (v >> 8) & 0xff;
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xffff);
  Put16(b, at + 2, v >> 16);
}
void Append16(std::vector<std::uint8_t>& b, std::uint32_t v) {
  b.push_back(v & 0xff);
  b.push_back((v >> 8) & 0xff);
}
void Append32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  Append16(b, v & 0xffff);
  Append16(b, v >> 16);
}
void Append64(std::vector<std::uint8_t>& b, std::uint64_t v) {
  Append32(b, static_cast<std::uint32_t>(v));
  Append32(b, static_cast<std::uint32_t>(v >> 32));
}

// The zip64 extra field (id 1) with both sizes, as local and central records carry it.
void AppendZip64Sizes(std::vector<std::uint8_t>& extra, std::uint64_t uncompressed, std::uint64_t compressed) {
  Append16(extra, 0x0001);
  Append16(extra, 16);
  Append64(extra, uncompressed);
  Append64(extra, compressed);
}

// Extra fields of a header without any zip64 field already in them.
std::vector<std::uint8_t> ExtraWithoutZip64(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t length) {
  std::vector<std::uint8_t> kept;
  std::size_t pos = at, end = at + length;
  while (pos + 4 <= end) {
    std::uint32_t id = Get16(b, pos), size = Get16(b, pos + 2);
    std::size_t next = std::min(end, pos + 4 + size);
    if (id != 0x0001) kept.insert(kept.end(), b.begin() + pos, b.begin() + next);
    pos = next;
  }
  return kept;
}

// Rebuilds an archive written by libzip (no archive comment, single disk) so
// that every entry's sizes and the central directory's place live in zip64
// records. Local header offsets stay in their 32-bit fields, as forcing
// writers (zip -fz) leave them: minizip cannot follow an offset given only in
// a zip64 field on 64-bit systems, and a small package never needs one. libzip follows encrypted
// entries with a data descriptor; it becomes the zip64 form with 8-byte sizes.
bool RewriteAsZip64(const std::vector<std::uint8_t>& in, std::vector<std::uint8_t>* out, std::string* error) {
  if (in.size() < 22 || Get32(in, in.size() - 22) != 0x06054b50)
    return Fail(error, "zip64: end of central directory not where expected");
  const std::size_t eocd = in.size() - 22;
  const std::uint32_t count = Get16(in, eocd + 10);
  std::size_t central = Get32(in, eocd + 16);

  std::vector<std::uint8_t> locals, directory;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (central + 46 > eocd || Get32(in, central) != 0x02014b50)
      return Fail(error, "zip64: bad central directory record");
    const std::uint32_t compressed = Get32(in, central + 20);
    const std::uint32_t uncompressed = Get32(in, central + 24);
    const std::uint32_t nameLength = Get16(in, central + 28);
    const std::uint32_t extraLength = Get16(in, central + 30);
    const std::uint32_t commentLength = Get16(in, central + 32);
    const std::size_t local = Get32(in, central + 42);
    if (local + 30 > in.size() || Get32(in, local) != 0x04034b50) return Fail(error, "zip64: bad local header");
    const std::uint32_t localName = Get16(in, local + 26);
    const std::uint32_t localExtra = Get16(in, local + 28);
    const std::size_t data = local + 30 + localName + localExtra;
    const bool hasDescriptor = (Get16(in, local + 6) & kZipFlagDataDescriptor) != 0;
    std::size_t descriptor = data + compressed;
    if (hasDescriptor && descriptor + 4 <= central && Get32(in, descriptor) == 0x08074b50) descriptor += 4;
    if (descriptor + (hasDescriptor ? 12 : 0) > central) return Fail(error, "zip64: entry data out of range");

    const std::uint64_t newOffset = locals.size();
    std::vector<std::uint8_t> header(in.begin() + local, in.begin() + local + 30 + localName);
    Put16(header, 4, 45);
    Put32(header, 18, 0xffffffff);
    Put32(header, 22, 0xffffffff);
    std::vector<std::uint8_t> extra = ExtraWithoutZip64(in, local + 30 + localName, localExtra);
    AppendZip64Sizes(extra, uncompressed, compressed);
    Put16(header, 28, static_cast<std::uint32_t>(extra.size()));
    locals.insert(locals.end(), header.begin(), header.end());
    locals.insert(locals.end(), extra.begin(), extra.end());
    locals.insert(locals.end(), in.begin() + data, in.begin() + data + compressed);
    if (hasDescriptor) {
      Append32(locals, 0x08074b50);
      Append32(locals, Get32(in, descriptor));
      Append64(locals, compressed);
      Append64(locals, uncompressed);
    }

    std::vector<std::uint8_t> record(in.begin() + central, in.begin() + central + 46 + nameLength);
    Put16(record, 6, 45);
    Put32(record, 20, 0xffffffff);
    Put32(record, 24, 0xffffffff);
    Put32(record, 42, static_cast<std::uint32_t>(newOffset));
    std::vector<std::uint8_t> centralExtra = ExtraWithoutZip64(in, central + 46 + nameLength, extraLength);
    AppendZip64Sizes(centralExtra, uncompressed, compressed);
    Put16(record, 30, static_cast<std::uint32_t>(centralExtra.size()));
    directory.insert(directory.end(), record.begin(), record.end());
    directory.insert(directory.end(), centralExtra.begin(), centralExtra.end());
    const std::size_t comment = central + 46 + nameLength + extraLength;
    directory.insert(directory.end(), in.begin() + comment, in.begin() + comment + commentLength);
    central = comment + commentLength;
  }

  *out = locals;
  const std::uint64_t directoryOffset = out->size();
  out->insert(out->end(), directory.begin(), directory.end());
  const std::uint64_t zip64End = out->size();
  Append32(*out, 0x06064b50);
  Append64(*out, 44);
  Append16(*out, 45);
  Append16(*out, 45);
  Append32(*out, 0);
  Append32(*out, 0);
  Append64(*out, count);
  Append64(*out, count);
  Append64(*out, directory.size());
  Append64(*out, directoryOffset);
  Append32(*out, 0x07064b50);
  Append32(*out, 0);
  Append64(*out, zip64End);
  Append32(*out, 1);
  Append32(*out, 0x06054b50);
  Append32(*out, 0);
  Append16(*out, 0xffff);
  Append16(*out, 0xffff);
  Append32(*out, 0xffffffff);
  Append32(*out, 0xffffffff);
  Append16(*out, 0);
  return true;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>* bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

namespace {

bool AddEntries(zip_t* archive, const std::vector<Entry>& entries, std::string* error) {
  for (const Entry& entry : entries) {
    auto* state = new FixedTimeSource{&entry.data};
    zip_error_init(&state->error);
    zip_source_t* source = zip_source_function(archive, FixedTimeCallback, state);
    if (!source) {
      delete state;
      return Fail(error, zip_strerror(archive));
    }
    const zip_int64_t index = zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
      zip_source_free(source);
      return Fail(error, "cannot add " + entry.name + ": " + zip_strerror(archive));
    }
    const auto at = static_cast<zip_uint64_t>(index);
    const zip_int32_t method = entry.method == Method::Store ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
    if (zip_set_file_compression(archive, at, method, 0) != 0 || zip_file_set_mtime(archive, at, kFixedTime, 0) != 0 ||
        (!entry.password.empty() &&
         zip_file_set_encryption(archive, at, ZIP_EM_TRAD_PKWARE, entry.password.c_str()) != 0))
      return Fail(error, "cannot configure " + entry.name + ": " + zip_strerror(archive));
  }
  return true;
}

struct SourceFreer {
  void operator()(zip_source_t* source) const { zip_source_free(source); }
};

}  // namespace

bool WritePackage(const std::string& path, const std::vector<Entry>& entries, std::string* error,
                  const Options& options) {
  int code = 0;
  std::unique_ptr<zip_t, ZipDiscarder> archive(zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code));
  if (!archive) return Fail(error, "cannot create " + path + " (libzip error " + std::to_string(code) + ")");
  if (!AddEntries(archive.get(), entries, error)) return false;
  // An archive with no entries is not written by libzip at all; tests that
  // need one write the 22-byte end record themselves.
  if (zip_close(archive.get()) != 0) return Fail(error, zip_strerror(archive.get()));
  archive.release();

  if (!options.zip64) return true;
  std::vector<std::uint8_t> plain, rewritten;
  if (!ReadWholeFile(path, &plain)) return Fail(error, "cannot read back " + path);
  if (!RewriteAsZip64(plain, &rewritten, error)) return false;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(rewritten.data()), static_cast<std::streamsize>(rewritten.size()));
  return file.good() || Fail(error, "cannot write " + path);
}

bool BuildPackage(const std::vector<Entry>& entries, std::vector<std::uint8_t>* bytes, std::string* error) {
  zip_error_t openError;
  zip_error_init(&openError);
  std::unique_ptr<zip_source_t, SourceFreer> buffer(zip_source_buffer_create(nullptr, 0, 0, &openError));
  std::unique_ptr<zip_t, ZipDiscarder> archive(buffer ? zip_open_from_source(buffer.get(), ZIP_TRUNCATE, &openError)
                                                      : nullptr);
  if (!archive) {
    const std::string why = zip_error_strerror(&openError);
    zip_error_fini(&openError);
    return Fail(error, "cannot make an archive in memory: " + why);
  }
  zip_error_fini(&openError);
  // The archive now holds the buffer; a reference of our own reads it after
  // the archive is closed.
  zip_source_keep(buffer.get());
  if (!AddEntries(archive.get(), entries, error)) return false;
  if (zip_close(archive.get()) != 0) return Fail(error, zip_strerror(archive.get()));
  archive.release();

  zip_stat_t stat;
  if (zip_source_open(buffer.get()) != 0) return Fail(error, zip_error_strerror(zip_source_error(buffer.get())));
  const bool sized = zip_source_stat(buffer.get(), &stat) == 0 && (stat.valid & ZIP_STAT_SIZE);
  bytes->resize(sized ? static_cast<std::size_t>(stat.size) : 0);
  const bool read =
      sized && zip_source_read(buffer.get(), bytes->data(), bytes->size()) == static_cast<zip_int64_t>(bytes->size());
  zip_source_close(buffer.get());
  return read || Fail(error, "cannot read back the archive made in memory");
}

std::vector<Entry> StyleEntries(const std::string& metaJson, const std::vector<std::uint8_t>& prvJpeg) {
  Entry meta{kMetaEntryName, std::vector<std::uint8_t>(metaJson.begin(), metaJson.end()), Method::Deflate,
             kPackagePassword};
  Entry prv{kPreviewEntryName, prvJpeg, Method::Deflate, kPackagePassword};
  return {meta, prv};
}

}  // namespace lvs_maker
