#include "Problems.h"

#include <cstddef>
#include <iterator>

#include "StyleFormat.h"

namespace lvs {
namespace {

struct Listing {
  Code code;
  const char* name;
  Severity severity;
  const char* summary;
};

constexpr Severity N = Severity::NoImport, F = Severity::Fallback, L = Severity::Lossy, W = Severity::Warning;

// One row per code, in the order of Code.
constexpr Listing kListings[] = {
    {Code::FileMissing, "file.missing", N, "there is no file at the path"},
    {Code::FileFolder, "file.folder", N, "the path names a folder"},
    {Code::FileNotRegular, "file.not-regular", N, "the path names a FIFO, a device or a socket"},
    {Code::FileUnreadable, "file.unreadable", N, "the file cannot be read"},
    {Code::FileExtension, "file.extension", N, "the name does not end in .lvs, so the host does not offer it"},
    {Code::FilePathTooLong, "file.path-too-long", N,
     "the package's full path is longer than the plug-in's record keeps"},
    {Code::FilePathNotUtf8, "file.path-not-utf8", N,
     "the package's path is not UTF-8 text, so the host cannot hand it to the plug-in"},
    {Code::ZipNotAnArchive, "zip.not-an-archive", N, "the file is not a zip archive"},
    {Code::ZipTruncated, "zip.truncated", N, "the archive is cut short or its end record is damaged"},
    {Code::ZipSpanned, "zip.spanned", N, "the archive is split over several files"},
    {Code::ZipTooManyEntries, "zip.too-many-entries", N, "the archive lists more entries than the plug-in reads"},
    {Code::ZipDirectoryTooLarge, "zip.directory-too-large", N,
     "the archive's list of entries is larger than the plug-in reads"},
    {Code::ZipDirectoryOutside, "zip.directory-outside", N, "the archive's list of entries lies outside the file"},
    {Code::MetaMissing, "meta.missing", N, "no \"meta\" entry (or the list of entries breaks off before it)"},
    {Code::MetaMisnamed, "meta.misnamed", N, "no \"meta\" entry, but one of a near name (case, folder, extension)"},
    {Code::MetaStrongEncryption, "meta.strong-encryption", N, "\"meta\" is encrypted with AES or strong encryption"},
    {Code::MetaMethod, "meta.method", N, "\"meta\" is compressed with a method other than store or deflate"},
    {Code::MetaEmpty, "meta.empty", N, "\"meta\" is empty"},
    {Code::MetaTooLarge, "meta.too-large", N, "\"meta\" is longer than the plug-in reads as metadata"},
    {Code::MetaUnreadable, "meta.unreadable", N, "\"meta\" cannot be read: reading the file failed"},
    {Code::MetaWrongPassword, "meta.wrong-password", N, "\"meta\" cannot be decrypted with the package password"},
    {Code::MetaDamaged, "meta.damaged", N, "\"meta\"'s data cannot be unpacked or fails its checksum"},
    {Code::MetaNotJson, "meta.not-json", N, "\"meta\" is not valid JSON"},
    {Code::MetaTooDeep, "meta.too-deep", N, "\"meta\" nests arrays or objects deeper than the plug-in reads"},
    {Code::MetaNotObject, "meta.not-object", N, "\"meta\" holds a JSON value other than an object"},
    {Code::MetaOutOfMemory, "meta.out-of-memory", N, "memory ran out reading \"meta\""},
    {Code::MetaKeyMissing, "meta.key-missing", N, "one of \"name\", \"author\", \"hash\", \"version\" is absent"},
    {Code::MetaKeyType, "meta.key-type", N, "\"name\", \"author\" or \"hash\" is not a string"},
    {Code::MetaVersionString, "meta.version-string", N, "\"version\" is a string, not a number"},
    {Code::MetaVersionType, "meta.version-type", N, "\"version\" is neither a number nor a boolean"},
    {Code::MetaNameCut, "meta.name-cut", L, "the record keeps less of \"name\" than the metadata holds"},
    {Code::MetaAuthorCut, "meta.author-cut", L, "the record keeps less of \"author\" than the metadata holds"},
    {Code::MetaHashCut, "meta.hash-cut", L, "the record keeps less of \"hash\" than the metadata holds"},
    {Code::MetaVersionCut, "meta.version-cut", L,
     "the record's version differs from the metadata's (a fraction, a boolean, out of range)"},
    {Code::PrvMissing, "prv.missing", F, "no \"prv\" entry (or the list of entries breaks off before it)"},
    {Code::PrvMisnamed, "prv.misnamed", F, "no \"prv\" entry, but one of a near name (case, folder, extension)"},
    {Code::PrvStrongEncryption, "prv.strong-encryption", F, "\"prv\" is encrypted with AES or strong encryption"},
    {Code::PrvMethod, "prv.method", F, "\"prv\" is compressed with a method other than store or deflate"},
    {Code::PrvEmpty, "prv.empty", F, "\"prv\" is empty"},
    {Code::PrvTooLarge, "prv.too-large", F, "\"prv\" is larger than the plug-in reads"},
    {Code::PrvUnreadable, "prv.unreadable", F, "\"prv\" cannot be read: reading the file failed"},
    {Code::PrvWrongPassword, "prv.wrong-password", F, "\"prv\" cannot be decrypted with the package password"},
    {Code::PrvDamaged, "prv.damaged", F, "\"prv\"'s data cannot be unpacked or fails its checksum"},
    {Code::PrvNotJpeg, "prv.not-jpeg", F, "the preview is not a JPEG file"},
    {Code::PrvPng, "prv.png", F, "the preview is a PNG picture"},
    {Code::PrvNoFrame, "prv.no-frame", F, "the preview's scan comes before any frame header"},
    {Code::PrvWrongSize, "prv.wrong-size", F, "the preview is not 1280 by 720"},
    {Code::PrvUnsupportedJpeg, "prv.unsupported-jpeg", F,
     "the preview uses a JPEG feature the decoder refuses (progressive, 12-bit, CMYK...)"},
    {Code::PrvDamagedJpeg, "prv.damaged-jpeg", F, "the preview's data breaks the JPEG format"},
    {Code::PrvOutOfMemory, "prv.out-of-memory", F, "memory ran out reading or decoding the preview"},
    {Code::PrvHeightLater, "prv.height-later", F,
     "the preview leaves its height to a marker after the picture data (DNL)"},
    {Code::PrvExifOrientation, "prv.exif-orientation", W,
     "the preview's EXIF orientation is not 1: viewers turn it, the host shows it as stored"},
    {Code::ModuleOpenRefused, "module.open-refused", N,
     "the plug-in refused the package for a reason the tool cannot name"},
    {Code::ModuleDrawFailed, "module.draw-failed", F,
     "the plug-in failed to draw the package for a reason the tool cannot name"},
    {Code::ModuleFallback, "module.fallback", F,
     "the plug-in draws a frame other than the package's preview for a reason the tool cannot name"},
};

constexpr bool EveryCodeInItsRow() {
  for (size_t i = 0; i < std::size(kListings); ++i)
    if (kListings[i].code != Code(i)) return false;
  return std::size(kListings) == size_t(Code::Count);
}
static_assert(EveryCodeInItsRow(), "kListings holds every Code once, in the order of Code");
static_assert(kStyleWidth == 1280 && kStyleHeight == 720, "prv.wrong-size's summary names the footage size");

}  // namespace

const char* CodeName(Code code) { return kListings[size_t(code)].name; }
Severity SeverityOf(Code code) { return kListings[size_t(code)].severity; }
const char* CodeSummary(Code code) { return kListings[size_t(code)].summary; }

namespace {

// In the order of Severity.
constexpr const char* kSeverityNames[] = {"no-import", "fallback", "lossy", "warning"};

}  // namespace

const char* SeverityName(Severity severity) { return kSeverityNames[int(severity)]; }

std::optional<Severity> WorstSeverity(const std::vector<Problem>& problems) {
  std::optional<Severity> worst;
  for (const Problem& p : problems)
    if (!worst || p.GetSeverity() < *worst) worst = p.GetSeverity();
  return worst;
}

}  // namespace lvs
