#include "Problems.h"

#include <algorithm>

#include "StyleFormat.h"

namespace lvs {

const std::vector<ProblemCode>& ProblemCodes() {
  constexpr Severity N = Severity::NoImport, F = Severity::Fallback, L = Severity::Lossy;
  // Codes are never renamed or reused: scripts compare them. New ones go at
  // the end of their group.
  static const std::vector<ProblemCode> codes = {
      {"file.missing", N, "there is no file at the path"},
      {"file.folder", N, "the path names a folder"},
      {"file.not-regular", N, "the path names a FIFO, a device or a socket"},
      {"file.unreadable", N, "the file cannot be read"},
      {"file.extension", N, "the name does not end in .lvs, so the host does not offer it"},
      {"zip.not-an-archive", N, "the file is not a zip archive"},
      {"zip.truncated", N, "the archive is cut short or its end record is damaged"},
      {"zip.spanned", N, "the archive is split over several files"},
      {"zip.too-many-entries", N, "the archive lists more entries than the plug-in reads"},
      {"zip.directory-too-large", N, "the archive's list of entries is larger than the plug-in reads"},
      {"zip.directory-outside", N, "the archive's list of entries lies outside the file"},
      {"meta.missing", N, "no \"meta\" entry (or the list of entries breaks off before it)"},
      {"meta.misnamed", N, "no \"meta\" entry, but one of a near name (case, folder, extension)"},
      {"meta.strong-encryption", N, "\"meta\" is encrypted with AES or strong encryption"},
      {"meta.method", N, "\"meta\" is compressed with a method other than store or deflate"},
      {"meta.empty", N, "\"meta\" is empty"},
      {"meta.too-large", N, "\"meta\" is longer than the plug-in reads as metadata"},
      {"meta.unreadable", N, "\"meta\" cannot be found by the plug-in's reader"},
      {"meta.wrong-password", N, "\"meta\" cannot be decrypted with the package password"},
      {"meta.damaged", N, "\"meta\"'s data cannot be read or fails its checksum"},
      {"meta.not-json", N, "\"meta\" is not valid JSON"},
      {"meta.too-deep", N, "\"meta\" nests arrays or objects deeper than the plug-in reads"},
      {"meta.not-object", N, "\"meta\" holds a JSON value other than an object"},
      {"meta.out-of-memory", N, "memory ran out reading \"meta\""},
      {"meta.key-missing", N, "one of \"name\", \"author\", \"hash\", \"version\" is absent"},
      {"meta.key-type", N, "\"name\", \"author\" or \"hash\" is not a string"},
      {"meta.version-string", N, "\"version\" is a string, not a number"},
      {"meta.version-type", N, "\"version\" is neither a number nor a boolean"},
      {"meta.name-cut", L, "the record keeps less of \"name\" than the metadata holds"},
      {"meta.author-cut", L, "the record keeps less of \"author\" than the metadata holds"},
      {"meta.hash-cut", L, "the record keeps less of \"hash\" than the metadata holds"},
      {"meta.version-cut", L, "the record's version differs from the metadata's (a fraction, a boolean, out of range)"},
      {"prv.missing", F, "no \"prv\" entry (or the list of entries breaks off before it)"},
      {"prv.misnamed", F, "no \"prv\" entry, but one of a near name (case, folder, extension)"},
      {"prv.strong-encryption", F, "\"prv\" is encrypted with AES or strong encryption"},
      {"prv.method", F, "\"prv\" is compressed with a method other than store or deflate"},
      {"prv.empty", F, "\"prv\" is empty"},
      {"prv.too-large", F, "\"prv\" is larger than the plug-in reads"},
      {"prv.unreadable", F, "\"prv\" cannot be found by the plug-in's reader"},
      {"prv.wrong-password", F, "\"prv\" cannot be decrypted with the package password"},
      {"prv.damaged", F, "\"prv\"'s data cannot be read or fails its checksum"},
      {"prv.not-jpeg", F, "the preview is not a JPEG file"},
      {"prv.png", F, "the preview is a PNG picture"},
      {"prv.no-frame", F, "the preview's scan comes before any frame header"},
      {"prv.wrong-size", F,
       "the preview is not " + std::to_string(kStyleWidth) + " by " + std::to_string(kStyleHeight)},
      {"prv.unsupported-jpeg", F, "the preview uses a JPEG feature the decoder refuses (progressive, 12-bit, CMYK...)"},
      {"prv.damaged-jpeg", F, "the preview's data breaks the JPEG format"},
      {"prv.out-of-memory", F, "memory ran out decoding the preview"},
      {"module.open-refused", N, "the plug-in refused the package for a reason the tool cannot name"},
      {"module.draw-failed", F, "the plug-in failed to draw the package"},
      {"module.fallback", F, "the plug-in draws its fallback picture for a reason the tool cannot name"},
  };
  return codes;
}

Problem MakeProblem(const std::string& code, std::string message) {
  const auto& codes = ProblemCodes();
  const auto listed = std::find_if(codes.begin(), codes.end(), [&](const ProblemCode& c) { return code == c.code; });
  return {code, listed != codes.end() ? listed->severity : Severity::NoImport, std::move(message)};
}

namespace {

struct SeverityText {
  const char* name;
  const char* outcome;
};

// In the order of Severity.
constexpr SeverityText kSeverities[] = {
    {"no-import", "the host would not import it"},
    {"fallback", "the host would import it but not show its own preview"},
    {"lossy", "the host would import it and show its preview, but its record loses something"},
};

}  // namespace

const char* SeverityName(Severity severity) { return kSeverities[int(severity)].name; }

const char* SeverityOutcome(Severity severity) { return kSeverities[int(severity)].outcome; }

std::optional<Severity> WorstSeverity(const std::vector<Problem>& problems) {
  std::optional<Severity> worst;
  for (const Problem& p : problems)
    if (!worst || p.severity < *worst) worst = p.severity;
  return worst;
}

}  // namespace lvs
