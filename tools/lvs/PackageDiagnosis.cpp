#include "PackageDiagnosis.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "StyleFormat.h"
#include "StyleMeta.h"
#include "jpeg_decoder.h"

namespace fs = std::filesystem;

namespace lvs {
namespace {

// The marker the decoder stopped at, as an author knows it.
std::string MarkerPhrase(int code) {
  switch (code) {
    case 0xC1:
      return "uses extended sequential coding (not baseline)";
    case 0xC2:
      return "is a progressive JPEG";
    case 0xC3:
      return "is a lossless JPEG";
    case 0xC5:
    case 0xC6:
    case 0xC7:
      return "is a hierarchical JPEG";
    case 0xC9:
    case 0xCC:
      return "uses arithmetic coding";
    case 0xCA:
      return "is a progressive JPEG with arithmetic coding";
    case 0xCB:
      return "is a lossless JPEG with arithmetic coding";
    case 0xCD:
    case 0xCE:
    case 0xCF:
      return "is a hierarchical JPEG with arithmetic coding";
    case 0xFF:
      return "has fill bytes between its markers, which the decoder does not accept";
    case 0xD8:
      return "holds a second start-of-image marker";
    case 0xD9:
      return "ends before its picture data";
    case 0xDC:
      return "defines its height after the picture data (DNL)";
    default:
      break;
  }
  if (code >= 0xD0 && code <= 0xD7) return "has a restart marker outside its picture data";
  char text[64];
  std::snprintf(text, sizeof text, "holds a marker the decoder does not take (0xFF%02X)", code);
  return text;
}

// Words for the cause the decoder itself reports, so the reason given can
// never differ from what the plug-in did: each completes "The preview ".
std::string RefusalPhrase(const Jpeg::Decoder& decoder) {
  using C = Jpeg::Decoder::Cause;
  const int32_t number = decoder.GetCauseValue();
  const std::string value = std::to_string(number);
  const std::string mcus = " (after " + value + " whole MCUs)";
  auto hex = [](int code) {
    char text[8];
    std::snprintf(text, sizeof text, "0xFF%02X", code & 0xFF);
    return std::string(text);
  };
  auto segment = [&hex](int code) -> std::string {
    switch (code) {
      case 0xC0:
        return "frame header (SOF0)";
      case 0xC4:
        return "Huffman table segment (DHT)";
      case 0xDA:
        return "scan header (SOS)";
      case 0xDB:
        return "quantisation table segment (DQT)";
      case 0xDD:
        return "restart interval segment (DRI)";
      case 0xFE:
        return "comment (COM)";
      default:
        return code >= 0xE0 && code <= 0xEF ? "application segment (APP" + std::to_string(code - 0xE0) + ")"
                                            : "segment " + hex(code);
    }
  };
  switch (decoder.GetCause()) {
    case C::NoStartOfImage:
      return "does not start with a JPEG start-of-image marker";
    case C::Marker:
      return MarkerPhrase(number);
    case C::Precision:
      return "uses " + value + "-bit samples (only 8-bit JPEG is supported)";
    case C::ComponentCount:
      return number == 4 ? "has four colour components (CMYK or YCCK); save it as RGB"
                         : "has " + value + " colour components; only grey or RGB is supported";
    case C::SamplingFactor:
      return "uses a sampling factor of " + value + " (only 1, 2, 4 and 8 are supported)";
    case C::HeightLater:
      return "leaves its height to be defined after the picture data (DNL)";
    case C::TooManyPixels:
      return "is " + std::to_string(decoder.GetWidth()) + " by " + std::to_string(decoder.GetHeight()) +
             ", more pixels than the decoder accepts from a file of its size";
    case C::SubsampledTooThin:
      return "is too small for its chroma subsampling (a subsampled plane under 3 samples)";
    case C::HuffmanTableId:
      return "uses Huffman table number " + value + " (only 0 and 1 are supported)";
    case C::ScanComponents:
      return "stores its colour components in separate scans (not one interleaved scan)";
    case C::NotSequential:
      return "has a scan that is not baseline sequential (progressive spectral selection)";
    case C::OtherFrameSize:
      return "is " + std::to_string(decoder.GetWidth()) + " by " + std::to_string(decoder.GetHeight()) + ", not " +
             std::to_string(kStyleWidth) + " by " + std::to_string(kStyleHeight);
    case C::ScanBeforeFrame:
      return "has its picture data before any frame header";
    case C::OutOfMemory:
      return "needs more memory than could be had (" + value + " bytes at once)";
    case C::EndBeforeScan:
      return "ends before its picture data (at byte " + value + ")";
    case C::MarkerExpected:
      return "has stray bytes where a marker should start (at byte " + value + ")";
    case C::SegmentPastEnd:
      return "has a " + segment(number) + " whose length runs past the end of the file";
    case C::SegmentLengthTooSmall:
      return "has a " + segment(number) + " whose length is below 2";
    case C::SegmentTooShort:
      return "has a " + segment(number) + " shorter than the fields it declares";
    case C::SegmentLeftOver:
      return "has bytes left over after the last table of a " + segment(number);
    case C::SamplingFactorZero:
      return "gives colour component " + value + " a sampling factor of 0";
    case C::FrameQuantTable:
      return "names quantisation table " + value + " for a component (only 0 to 3 exist)";
    case C::WidthZero:
      return "has a width of 0";
    case C::HuffmanTableSpec:
      return "defines a Huffman table of class " + std::to_string(number >> 4) + ", number " +
             std::to_string(number & 15) + " (only classes 0 and 1 and numbers 0 to 3 exist)";
    case C::HuffmanOverfull:
      return "has a Huffman table with more codes than fit in " + value + " bits";
    case C::QuantTableSpec:
      return number >> 4 ? "has a quantisation table of 16-bit entries"
                         : "defines quantisation table " + std::to_string(number & 15) + " (only 0 to 3 exist)";
    case C::ScanComponentOrder:
      return "has a scan whose components are not the frame's, in the frame's order (it names component " + value + ")";
    case C::ScanTableNumber:
      return "has a scan that names Huffman tables above 1";
    case C::HuffmanTableMissing:
      return std::string("has a scan that uses a Huffman table it never defines (") + (number >> 4 ? "AC" : "DC") +
             " table " + std::to_string(number & 15) + ")";
    case C::HuffmanCodeMissing:
      return "has a Huffman code in its scan that is not in its table" + mcus;
    case C::AcSymbolInvalid:
      return "has a Huffman table symbol in its scan that codes no coefficient" + mcus;
    case C::TooManyCoefficients:
      return "has a block in its scan with more than 64 coefficients" + mcus;
    case C::ScanDataEnds:
      return "ends before its scan does" + mcus;
    case C::MarkerInScan:
      return "has a marker (" + hex(number) + ") inside its scan's data";
    case C::RestartMissing:
      return "lacks a restart marker where its restart interval puts one (RST" + std::to_string(number & 7) + ")";
    case C::RestartOutOfOrder:
      return "has restart marker RST" + std::to_string(number & 7) + " out of sequence";
    case C::None:
      break;
  }
  return "uses a JPEG feature that the plug-in's decoder does not support";
}

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
  std::ifstream in(path, std::ios::binary);
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

// The entry's plain bytes, or the sentences saying why they cannot be had:
// the reader's status for the entry, in an author's words. `limit` is what
// the plug-in reads of such an entry.
bool ReadEntry(const StylePackage& package, const PackageListing& listing, const std::string& name,
               const std::string& what, uint64_t limit, std::vector<uint8_t>* bytes, std::vector<Problem>* problems) {
  const auto add = [&](const char* cause, std::string message) {
    problems->push_back(MakeProblem(name + "." + cause, std::move(message)));
  };
  const PackageEntry entry = package.Locate(name);
  const EntryInfo& info = entry.info;
  const std::string label = "The " + Quoted(name) + " entry";
  if (entry.status == EntryStatus::Missing) {
    const std::vector<std::string> near = NearMisses(listing, name);
    if (listing.damaged)
      add("missing", "The package has no readable " + Quoted(name) +
                         " entry: the archive's list of entries is damaged after its first " +
                         std::to_string(listing.entries.size()) + " entries.");
    else if (near.empty())
      add("missing", "The package has no " + Quoted(name) + " entry (" + what + ").");
    else
      add("misnamed", "The package has no " + Quoted(name) + " entry, but it has " + Quoted(near.front()) +
                          ": entry names must be exactly " + Quoted(name) + " (lower case, no folder, no extension).");
    return false;
  }
  if (entry.status == EntryStatus::StrongEncryption) {
    add("strong-encryption", label + " is encrypted with " +
                                 (info.method == kZipMethodAes ? "AES" : "strong encryption") +
                                 "; only the traditional zip encryption (ZipCrypto) with the package password is "
                                 "supported.");
    return false;
  }
  if (entry.status == EntryStatus::UnsupportedMethod) {
    add("method", label + " is compressed with " + MethodName(info.method) + " (method " + std::to_string(info.method) +
                      "); only stored and deflated entries can be read.");
    return false;
  }
  if (entry.status != EntryStatus::Unreadable && info.uncompressedSize == 0) {
    add("empty", label + " is empty.");
    return false;
  }
  // Refused by its recorded size, as the plug-in refuses it: never inflated.
  if (entry.status == EntryStatus::TooLarge || info.uncompressedSize > limit) {
    add("too-large",
        label + " is " + std::to_string(info.uncompressedSize) + " bytes long, more than the plug-in reads (" +
            (limit >= 1024 * 1024 ? std::to_string(limit >> 20) + " MiB" : std::to_string(limit >> 10) + " KiB") +
            ").");
    return false;
  }
  if (entry.status == EntryStatus::Ok) bytes->assign(size_t(info.uncompressedSize), 0);
  switch (package.Read(entry, bytes->data(), bytes->size())) {
    case EntryStatus::Ok:
      return true;
    case EntryStatus::WrongPassword:
      add("wrong-password",
          label + " cannot be decrypted with the package password: it was encrypted with another password.");
      break;
    case EntryStatus::Damaged:
      // The reader says so only when the password is not to blame, as far
      // as the cipher header tells (or the entry is not encrypted).
      add("damaged", label + " is damaged: its data cannot be unpacked, or does not match its size or checksum.");
      break;
    case EntryStatus::OutOfMemory:
      add("out-of-memory", label + " could not be read: memory ran out.");
      break;
    default:
      add("unreadable", label + " cannot be read: reading the file failed.");
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

bool HasPackageExtension(const std::string& path) { return Lower(fs::path(path).extension().string()) == ".lvs"; }

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
  auto add = [&](const char* code, std::string message) { problems.push_back(MakeProblem(code, std::move(message))); };
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status)) {
    add("file.missing", "There is no file at this path.");
    return problems;
  }
  if (fs::is_directory(status)) {
    add("file.folder", "This is a folder, not a style package file.");
    return problems;
  }
  // Never opened: reading a FIFO waits for a writer, and a device may never end.
  if (!fs::is_regular_file(status)) {
    add("file.not-regular",
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
      add("file.unreadable", "The file cannot be read (no permission to read it, or a read failed).");
      return problems;
    case ZipProblem::NoEndRecord: {
      char magic[2] = {};
      if (ReadPrefix(path, magic, 2) && magic[0] == 'P' && magic[1] == 'K')
        add("zip.truncated",
            "The file starts like a zip archive but is damaged or cut short: the end of its list "
            "of entries is missing.");
      else
        add("zip.not-an-archive",
            "The file is not a zip archive, so it is not a style package (a style package is "
            "a zip archive holding the entries \"meta\" and \"prv\").");
      return problems;
    }
    case ZipProblem::Spanned:
      add("zip.spanned", "The archive is split over several files; a style package must be one zip file.");
      return problems;
    case ZipProblem::TooManyEntries:
      add("zip.too-many-entries", "The archive lists more than " + std::to_string(kMaxArchiveEntries) +
                                      " entries, more than the plug-in reads from a style package.");
      return problems;
    case ZipProblem::DirectoryTooLarge:
      add("zip.directory-too-large", "The archive's list of entries is larger than " +
                                         std::to_string(kMaxDirectoryBytes / 1024) +
                                         " KiB, more than the plug-in reads from a style package.");
      return problems;
    case ZipProblem::DirectoryOutside:
      add("zip.directory-outside",
          "The archive is damaged: its list of entries is recorded at a place outside the "
          "file.");
      return problems;
  }
  if (!HasPackageExtension(path))
    add("file.extension", "The file name does not end in \".lvs\", so the host will not offer it as a style package.");
  return problems;
}

std::vector<Problem> DiagnoseMetaText(const StyleMeta& meta) {
  std::vector<Problem> problems;
  auto add = [&](const char* code, std::string message) { problems.push_back(MakeProblem(code, std::move(message))); };
  switch (meta.problem) {
    case MetaProblem::None:
      break;
    case MetaProblem::TooLarge:
      add("meta.too-large", "The \"meta\" entry is longer than the plug-in reads as metadata (" +
                                std::to_string(kMetaSizeLimit / 1024) + " KiB).");
      break;
    case MetaProblem::NotJson:
      add("meta.not-json", "The \"meta\" entry is not valid JSON (" + ParseErrorText(meta.detail) + ").");
      break;
    case MetaProblem::TooDeep:
      add("meta.too-deep", "The \"meta\" entry nests arrays or objects more than " + std::to_string(kMetaDepthLimit) +
                               " levels deep, more than the plug-in reads.");
      break;
    case MetaProblem::NotAnObject:
      add("meta.not-object", std::string("The \"meta\" entry holds ") + JsonTypeName(meta.found) +
                                 ", not a JSON object with the keys \"name\", \"author\", \"hash\" and \"version\".");
      break;
    case MetaProblem::OutOfMemory:
      add("meta.out-of-memory", "The \"meta\" entry could not be read: memory ran out.");
      break;
    case MetaProblem::BadKeys:
      // Which keys failed is the parser's judgement; only the words are ours.
      for (int k = 0; k < kMetaKeyCount; ++k) {
        if (!meta.keyRefused[k]) continue;
        const std::string key = kMetaKeyNames[k];
        const JsonType type = meta.keys[k];
        if (type == JsonType::Absent) {
          add("meta.key-missing", "The metadata has no \"" + key + "\" key.");
        } else if (k != kMetaVersion) {
          add("meta.key-type", "The metadata's \"" + key + "\" is " + JsonTypeName(type) + "; it must be a string.");
        } else if (type == JsonType::String) {
          const std::string& s = meta.versionText;
          add("meta.version-string", "The metadata's \"version\" is a string (\"" + s + "\"); it must be a number" +
                                         (s.empty() ? std::string(".") : ", written without quotes: " + s + "."));
        } else {
          add("meta.version-type",
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
  if (!ReadEntry(package, listing, kMetaEntryName, "the style's name, author, hash and version", kMetaSizeLimit, &bytes,
                 &problems))
    return problems;
  StyleMeta parsed = ParseStyleMeta(bytes.data(), bytes.size());
  problems = DiagnoseMetaText(parsed);
  if (meta) *meta = std::move(parsed);
  return problems;
}

std::vector<Problem> DiagnosePreviewBytes(const std::vector<uint8_t>& bytes) {
  std::vector<Problem> problems;
  auto add = [&](const char* code, std::string message) { problems.push_back(MakeProblem(code, std::move(message))); };
  // As the draw decodes it: a frame of another size is known from its header
  // and never decoded, however large it claims to be.
  const Jpeg::Decoder decoder(
      bytes.data(), bytes.size(), [](uint64_t n) { return std::malloc(size_t(n)); }, std::free, kStyleWidth,
      kStyleHeight);
  const bool otherSize = decoder.GetWidth() != kStyleWidth || decoder.GetHeight() != kStyleHeight;
  if (decoder.GetResult() == Jpeg::Decoder::Success && otherSize) {
    // A scan with no frame header at all decodes to nothing.
    add("prv.no-frame", "The preview holds no picture (its scan comes before any frame header).");
    return problems;
  }
  if (decoder.GetResult() == Jpeg::Decoder::UnsupportedFeature && otherSize && decoder.GetWidth() > 0) {
    add("prv.wrong-size", "The preview is " + std::to_string(decoder.GetWidth()) + " by " +
                              std::to_string(decoder.GetHeight()) + ", not " + std::to_string(kStyleWidth) + " by " +
                              std::to_string(kStyleHeight) + ".");
    return problems;
  }
  switch (decoder.GetResult()) {
    case Jpeg::Decoder::Success:
      break;
    case Jpeg::Decoder::NoStartOfImage:
      if (bytes.size() >= 4 && bytes[0] == 0x89 && bytes[1] == 'P' && bytes[2] == 'N' && bytes[3] == 'G')
        add("prv.png", "The preview is a PNG picture; it must be a baseline JPEG.");
      else
        add("prv.not-jpeg", "The preview is not a JPEG file; it must be a baseline JPEG.");
      break;
    case Jpeg::Decoder::UnsupportedFeature:
      add("prv.unsupported-jpeg", "The preview " + RefusalPhrase(decoder) +
                                      "; the plug-in shows only baseline JPEG previews with 8-bit samples, in grey "
                                      "or colour.");
      break;
    case Jpeg::Decoder::AllocationFailed:
      add("prv.out-of-memory", "The preview could not be decoded: memory ran out.");
      break;
    default:
      add("prv.damaged-jpeg", "The preview is a damaged JPEG file: its data breaks the JPEG format.");
      break;
  }
  return problems;
}

std::vector<Problem> DiagnosePreview(const StylePackage& package, const PackageListing& listing) {
  std::vector<Problem> problems;
  std::vector<uint8_t> bytes;
  if (!ReadEntry(package, listing, kPreviewEntryName, "the preview picture", uint64_t(kEntrySizeCeiling), &bytes,
                 &problems))
    return problems;
  return DiagnosePreviewBytes(bytes);
}

}  // namespace lvs
