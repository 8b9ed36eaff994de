#include "PackageDiagnosis.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "CommandSupport.h"
#include "Files.h"
#include "StyleFormat.h"
#include "StyleMeta.h"
#include "TextCodec.h"

namespace fs = std::filesystem;

namespace lvs {
namespace {

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

const char* MethodName(uint32_t method) {
  switch (method) {
    case 1:
      return "Shrink";
    case 6:
      return "Implode";
    case 9:
      return "Deflate64";
    case 12:
      return "bzip2";
    case 14:
      return "LZMA";
    case 93:
      return "Zstandard";
    case 95:
      return "xz";
    case 98:
      return "PPMd";
    default:
      return "an unknown method";
  }
}

bool ReadPrefix(const std::string& path, char* bytes, size_t count) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  return in.read(bytes, std::streamsize(count)) && size_t(in.gcount()) == count;
}

// Entries an author probably meant as `wanted`: the same name in other
// letter case, or with a folder or an extension around it.
std::vector<std::string> NearMisses(const PackageListing& listing, const std::string& wanted) {
  std::vector<std::string> found;
  for (const ListedEntry& e : listing.entries) {
    std::string base = e.name.substr(e.name.find_last_of('/') == std::string::npos ? 0 : e.name.find_last_of('/') + 1);
    const size_t dot = base.find('.');
    if (dot != std::string::npos && dot > 0) base.resize(dot);
    if (Lower(base) == wanted) found.push_back(e.name);
  }
  return found;
}

// The codes of the problems that keep one entry from being read.
struct EntryCodes {
  const char* name;  // the entry's name, exactly
  Code missing, misnamed, strongEncryption, method, empty, tooLarge, unreadable, wrongPassword, damaged, outOfMemory;
};

constexpr EntryCodes kMetaCodes = {
    kMetaEntryName,          Code::MetaMissing, Code::MetaMisnamed,    Code::MetaStrongEncryption,
    Code::MetaMethod,        Code::MetaEmpty,   Code::MetaTooLarge,    Code::MetaUnreadable,
    Code::MetaWrongPassword, Code::MetaDamaged, Code::MetaOutOfMemory,
};
constexpr EntryCodes kPreviewCodes = {
    kPreviewEntryName,      Code::PrvMissing, Code::PrvMisnamed,    Code::PrvStrongEncryption,
    Code::PrvMethod,        Code::PrvEmpty,   Code::PrvTooLarge,    Code::PrvUnreadable,
    Code::PrvWrongPassword, Code::PrvDamaged, Code::PrvOutOfMemory,
};

std::string SizeText(uint64_t bytes) {
  return bytes >= 1024 * 1024 ? std::to_string(bytes >> 20) + " MiB" : std::to_string(bytes >> 10) + " KiB";
}

// The entry's plain bytes, or the sentences saying why they cannot be had:
// the reader's status for the entry, in an author's words. `limit` is what
// the plug-in reads of such an entry.
bool ReadEntry(const StylePackage& package, const PackageListing& listing, const EntryCodes& codes,
               const std::string& what, uint64_t limit, std::vector<uint8_t>* bytes, std::vector<Problem>* problems) {
  const auto add = [&](Code code, std::string message) { problems->push_back({code, std::move(message)}); };
  const std::string name = codes.name;
  const PackageEntry entry = package.Locate(name);
  const EntryInfo& info = entry.info;
  const std::string label = "The " + Quoted(name) + " entry";
  EntryStatus status = entry.status;
  if (status == EntryStatus::Ok) {
    // An empty entry names nothing and is never read; one beyond what the
    // plug-in reads of it is refused by its recorded size, never inflated.
    if (info.uncompressedSize == 0) {
      add(codes.empty, label + " is empty.");
      return false;
    }
    if (info.uncompressedSize > limit) status = EntryStatus::TooLarge;
  }
  if (status == EntryStatus::Ok) {
    bytes->assign(size_t(info.uncompressedSize), 0);
    status = package.Read(entry, bytes->data(), bytes->size());
  }
  switch (status) {
    case EntryStatus::Ok:
      return true;
    case EntryStatus::Missing: {
      const std::vector<std::string> near = NearMisses(listing, name);
      if (listing.damaged)
        add(codes.missing, "The package has no readable " + Quoted(name) +
                               " entry: the archive's list of entries is damaged after its first " +
                               std::to_string(listing.entries.size()) + " entries.");
      else if (near.empty())
        add(codes.missing, "The package has no " + Quoted(name) + " entry (" + what + ").");
      else
        add(codes.misnamed, "The package has no " + Quoted(name) + " entry, but it has " + Quoted(near.front()) +
                                ": entry names must be exactly " + Quoted(name) +
                                " (lower case, no folder, no extension).");
      break;
    }
    case EntryStatus::StrongEncryption:
      add(codes.strongEncryption, label + " is encrypted with " +
                                      (info.method == kZipMethodAes ? "AES" : "strong encryption") +
                                      "; only the traditional zip encryption (ZipCrypto) with the package password "
                                      "is supported.");
      break;
    case EntryStatus::UnsupportedMethod:
      add(codes.method, label + " is compressed with " + MethodName(info.method) + " (method " +
                            std::to_string(info.method) + "); only stored and deflated entries can be read.");
      break;
    case EntryStatus::TooLarge:
      add(codes.tooLarge, label + " is " + std::to_string(info.uncompressedSize) +
                              " bytes long, more than the plug-in reads (" + SizeText(limit) + ").");
      break;
    case EntryStatus::WrongPassword:
      add(codes.wrongPassword,
          label + " cannot be decrypted with the package password: it was encrypted with another password.");
      break;
    case EntryStatus::Damaged:
      // The reader says so only when the password is not to blame, as far
      // as the cipher header tells (or the entry is not encrypted).
      add(codes.damaged, label + " is damaged: its data cannot be unpacked, or does not match its size or checksum.");
      break;
    case EntryStatus::OutOfMemory:
      add(codes.outOfMemory, label + " could not be read: memory ran out.");
      break;
    case EntryStatus::Unreadable:
      add(codes.unreadable, label + " cannot be read: reading the file failed.");
      break;
  }
  return false;
}

const char* JsonTypeName(JsonType type) {
  switch (type) {
    case JsonType::Null:
      return "null";
    case JsonType::Boolean:
      return "a boolean";
    case JsonType::String:
      return "a string";
    case JsonType::Array:
      return "an array";
    case JsonType::Object:
      return "an object";
    case JsonType::Number:
      return "a number";
    case JsonType::Absent:
      break;
  }
  return "nothing";
}

// The parser's message without its "[json.exception.parse_error.101] " tag.
std::string ParseErrorText(const std::string& what) {
  std::string text = what;
  const size_t tag = text.find("] ");
  if (text.rfind("[json.exception", 0) == 0 && tag != std::string::npos) text.erase(0, tag + 2);
  return text;
}

}  // namespace

bool HasPackageExtension(const std::string& path) { return Lower(fs::u8path(path).extension().u8string()) == ".lvs"; }

PackageListing ListEntries(const StylePackage& package) {
  PackageListing listing;
  if (!package.IsOpen()) return listing;
  listing.opened = true;
  DirectoryCursor cursor;
  EntryInfo info;
  while (package.Archive().NextEntry(&cursor, &info))
    listing.entries.push_back({std::string(info.name), info.flags, info.method, info.uncompressedSize});
  listing.damaged = package.Archive().Damaged();
  return listing;
}

std::vector<Problem> DiagnoseFile(const std::string& path, const StylePackage& package, PackageListing* listing) {
  std::vector<Problem> problems;
  auto add = [&](Code code, std::string message) { problems.push_back({code, std::move(message)}); };
  const PathKind kind = KindOfPath(path);
  if (kind == PathKind::Missing) {
    add(Code::FileMissing, "There is no file at this path.");
    return problems;
  }
  if (kind == PathKind::Folder) {
    add(Code::FileFolder, "This is a folder, not a style package file.");
    return problems;
  }
  // Never opened: reading a FIFO waits for a writer, and a device may never end.
  if (kind != PathKind::Ordinary) {
    add(Code::FileNotRegular,
        "This is not an ordinary file (it is a named pipe, a device or a socket), so it is not a "
        "style package.");
    return problems;
  }
  *listing = ListEntries(package);
  switch (package.Problem()) {
    case ZipProblem::None:
      break;
    case ZipProblem::NotARegularFile:
    case ZipProblem::Unreadable:
      add(Code::FileUnreadable, "The file cannot be read (no permission to read it, or a read failed).");
      return problems;
    case ZipProblem::NoEndRecord: {
      char magic[2] = {};
      if (ReadPrefix(path, magic, 2) && magic[0] == 'P' && magic[1] == 'K')
        add(Code::ZipTruncated,
            "The file starts like a zip archive but is damaged or cut short: the end of its list "
            "of entries is missing.");
      else
        add(Code::ZipNotAnArchive,
            "The file is not a zip archive, so it is not a style package (a style package is "
            "a zip archive holding the entries \"meta\" and \"prv\").");
      return problems;
    }
    case ZipProblem::Spanned:
      add(Code::ZipSpanned, "The archive is split over several files; a style package must be one zip file.");
      return problems;
    case ZipProblem::TooManyEntries:
      add(Code::ZipTooManyEntries, "The archive lists more than " + std::to_string(kMaxArchiveEntries) +
                                       " entries, more than the plug-in reads from a style package.");
      return problems;
    case ZipProblem::DirectoryTooLarge:
      add(Code::ZipDirectoryTooLarge, "The archive's list of entries is larger than " +
                                          std::to_string(kMaxDirectoryBytes / 1024) +
                                          " KiB, more than the plug-in reads from a style package.");
      return problems;
    case ZipProblem::DirectoryOutside:
      add(Code::ZipDirectoryOutside,
          "The archive is damaged: its list of entries is recorded at a place outside the "
          "file.");
      return problems;
  }
  if (!HasPackageExtension(path))
    add(Code::FileExtension,
        "The file name does not end in \".lvs\", so the host will not offer it as a style package.");
  return problems;
}

std::vector<Problem> DiagnoseMetaText(const StyleMeta& meta) {
  std::vector<Problem> problems;
  auto add = [&](Code code, std::string message) { problems.push_back({code, std::move(message)}); };
  switch (meta.problem) {
    case MetaProblem::None:
      break;
    case MetaProblem::TooLarge:
      add(Code::MetaTooLarge, "The \"meta\" entry is longer than the plug-in reads as metadata (" +
                                  std::to_string(kMetaSizeLimit / 1024) + " KiB).");
      break;
    case MetaProblem::NotJson:
      add(Code::MetaNotJson, "The \"meta\" entry is not valid JSON (" + ParseErrorText(meta.detail) + ").");
      break;
    case MetaProblem::TooDeep:
      add(Code::MetaTooDeep, "The \"meta\" entry nests arrays or objects more than " + std::to_string(kMetaDepthLimit) +
                                 " levels deep, more than the plug-in reads.");
      break;
    case MetaProblem::NotAnObject:
      add(Code::MetaNotObject, std::string("The \"meta\" entry holds ") + JsonTypeName(meta.found) +
                                   ", not a JSON object with the keys \"name\", \"author\", \"hash\" and \"version\".");
      break;
    case MetaProblem::OutOfMemory:
      add(Code::MetaOutOfMemory, "The \"meta\" entry could not be read: memory ran out.");
      break;
    case MetaProblem::BadKeys:
      // Which keys failed is the parser's judgement; only the words are ours.
      for (int k = 0; k < kMetaKeyCount; ++k) {
        if (!meta.keyRefused[k]) continue;
        const std::string key = kMetaKeyNames[k];
        const JsonType type = meta.keys[k];
        if (type == JsonType::Absent) {
          add(Code::MetaKeyMissing, "The metadata has no \"" + key + "\" key.");
        } else if (k != kMetaVersion) {
          add(Code::MetaKeyType, "The metadata's \"" + key + "\" is " + JsonTypeName(type) + "; it must be a string.");
        } else if (type == JsonType::String) {
          const std::string& s = meta.versionText;
          add(Code::MetaVersionString, "The metadata's \"version\" is a string (\"" + s + "\"); it must be a number" +
                                           (s.empty() ? std::string(".") : ", written without quotes: " + s + "."));
        } else {
          add(Code::MetaVersionType,
              "The metadata's \"version\" is " + std::string(JsonTypeName(type)) + "; it must be a number.");
        }
      }
      break;
  }
  return problems;
}

std::vector<Problem> DiagnoseMeta(const StylePackage& package, const PackageListing& listing, StyleMeta* meta) {
  std::vector<Problem> problems;
  std::vector<uint8_t> bytes;
  if (!ReadEntry(package, listing, kMetaCodes, "the style's name, author, hash and version", kMetaSizeLimit, &bytes,
                 &problems))
    return problems;
  StyleMeta parsed = ParseStyleMeta(bytes.data(), bytes.size());
  problems = DiagnoseMetaText(parsed);
  if (meta) *meta = std::move(parsed);
  return problems;
}

std::vector<Problem> DiagnoseRecord(const StylePackage& package, const PackageListing& listing,
                                    const LVS_Options& record) {
  // What was written is the parser's to say; the record is what the module
  // kept of it. A metadata entry that cannot be used has its problems told
  // elsewhere.
  std::vector<Problem> problems;
  StyleMeta meta;
  if (!DiagnoseMeta(package, listing, &meta).empty() || !meta.ok) return problems;

  const Code cut[] = {Code::MetaNameCut, Code::MetaAuthorCut, Code::MetaHashCut};
  const std::string kept[] = {FieldText(record.name, sizeof record.name),
                              FieldText(record.author, sizeof record.author),
                              FieldText(record.hash, sizeof record.hash)};
  for (int k : {kMetaName, kMetaAuthor, kMetaHash}) {
    if (meta.writtenLength[k] == kept[k].size()) continue;
    problems.push_back({cut[k], "The record keeps " + std::to_string(kept[k].size()) + " of the " +
                                    std::to_string(meta.writtenLength[k]) + " bytes of the metadata's \"" +
                                    kMetaKeyNames[k] + "\"" + (meta.writtenNul[k] ? " (it holds a \\u0000)" : "") +
                                    "."});
  }
  if (!meta.versionKept || meta.version != record.version)
    problems.push_back({Code::MetaVersionCut, "The metadata's \"version\" is " + meta.versionWritten +
                                                  "; the record keeps " + std::to_string(record.version) + "."});
  return problems;
}

std::vector<Problem> DiagnosePath(const std::string& hostPath) {
  std::vector<Problem> problems;
  std::u16string wide;
  if (!Utf8ToUtf16(hostPath, &wide)) {
    problems.push_back({Code::FilePathNotUtf8,
                        "The package's path is not UTF-8 text, and the host hands the plug-in only paths in "
                        "Unicode: rename the file (or the folder) that has a name in another encoding."});
    return problems;
  }
  // Where the open puts the path: the record's field.
  char field[sizeof(LVS_Options::path)];
  if (!Utf16ToUtf8(reinterpret_cast<const uint16_t*>(wide.c_str()), field, sizeof field))
    problems.push_back({Code::FilePathTooLong, "The package's full path is " + std::to_string(hostPath.size()) +
                                                   " bytes long; the plug-in's record keeps a path of at most " +
                                                   std::to_string(sizeof field - 1) +
                                                   ", so the plug-in refuses it: move it to a shorter path."});
  return problems;
}

bool ReadPreviewEntry(const StylePackage& package, const PackageListing& listing, std::vector<uint8_t>* bytes,
                      std::vector<Problem>* problems) {
  return ReadEntry(package, listing, kPreviewCodes, "the preview picture", uint64_t(kEntrySizeCeiling), bytes,
                   problems);
}

bool ReadMetaEntry(const StylePackage& package, const PackageListing& listing, uint64_t limit,
                   std::vector<uint8_t>* bytes, std::vector<Problem>* problems) {
  return ReadEntry(package, listing, kMetaCodes, "the style's name, author, hash and version", limit, bytes, problems);
}

}  // namespace lvs
