// What can be wrong with a style package, each with a code that scripts may
// rely on and a severity that says what the host would make of it. Every
// code is an enumerator of Code, so a code the tool reports is known when it
// builds: a misspelt one does not build, and each has its name, severity and
// summary in the one table of Problems.cpp (`lvs check --codes` prints that
// table and the README copies it).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lvs {

// Worst first: a lower value is a worse outcome.
enum class Severity {
  NoImport,  // the host will not import the package
  Fallback,  // it imports, but the host shows the fallback picture (or no frame)
  Lossy,     // it imports and shows its preview, but the record keeps less than the package says
  Warning,   // it imports and shows its preview as stored, but its author will not see what they expect
};

// In the order --codes lists them. Names are never renamed or reused
// (scripts compare them); a new code goes at the end of its group.
enum class Code {
  FileMissing,
  FileFolder,
  FileNotRegular,
  FileUnreadable,
  FileExtension,
  FilePathTooLong,
  FilePathNotUtf8,
  ZipNotAnArchive,
  ZipTruncated,
  ZipSpanned,
  ZipTooManyEntries,
  ZipDirectoryTooLarge,
  ZipDirectoryOutside,
  MetaMissing,
  MetaMisnamed,
  MetaStrongEncryption,
  MetaMethod,
  MetaEmpty,
  MetaTooLarge,
  MetaUnreadable,
  MetaWrongPassword,
  MetaDamaged,
  MetaNotJson,
  MetaTooDeep,
  MetaNotObject,
  MetaOutOfMemory,
  MetaKeyMissing,
  MetaKeyType,
  MetaVersionString,
  MetaVersionType,
  MetaNameCut,
  MetaAuthorCut,
  MetaHashCut,
  MetaVersionCut,
  PrvMissing,
  PrvMisnamed,
  PrvStrongEncryption,
  PrvMethod,
  PrvEmpty,
  PrvTooLarge,
  PrvUnreadable,
  PrvWrongPassword,
  PrvDamaged,
  PrvNotJpeg,
  PrvPng,
  PrvNoFrame,
  PrvWrongSize,
  PrvUnsupportedJpeg,
  PrvDamagedJpeg,
  PrvOutOfMemory,
  PrvHeightLater,
  PrvExifOrientation,
  // What the module did for a reason the tool cannot name: no package of a
  // known fault gets these.
  ModuleOpenRefused,
  ModuleDrawFailed,
  ModuleFallback,
  Count
};

// "prv.wrong-size" and so on.
const char* CodeName(Code code);
Severity SeverityOf(Code code);
// A line for --codes: what the code means.
const char* CodeSummary(Code code);

struct Problem {
  Code code;
  std::string message;  // a sentence for the package's author
  const char* Name() const { return CodeName(code); }
  Severity GetSeverity() const { return SeverityOf(code); }
};

// "no-import", "fallback", "lossy", "warning".
const char* SeverityName(Severity severity);

// The worst severity among the problems; none for an empty list.
std::optional<Severity> WorstSeverity(const std::vector<Problem>& problems);

}  // namespace lvs
