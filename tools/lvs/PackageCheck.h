// The verdict on a package: what the host will show of it, and why not its
// preview. It comes from what the module did and from the tool's own look
// with the plug-in's libraries, never from comparing frames with the
// fallback picture:
//  - the module's open result says whether the package imports;
//  - the draw's result says whether a frame comes at all;
//  - whether that frame is the package's preview is known by reading and
//    decoding the preview exactly as the draw does (PreviewDiagnosis.h): a
//    preview that decodes to the footage size is shown. When the draw left
//    an 8-bit frame of the footage size, the decoded rows are held against
//    it as well, and a module that drew anything else is caught.
// The reasons come from the package reader, the metadata parser and the
// decoder, which name them; a result the module gave for no reason they know
// gets one of the module.* codes, which no known fault of a package reaches.
//
// check, info, render, pack and sheet all judge packages here, so that one
// package gets the same verdict and the same codes from every command.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "PackageDiagnosis.h"
#include "PluginSession.h"
#include "PreviewDiagnosis.h"
#include "Problems.h"

namespace lvs {

// An 8-bit frame of the footage size: A, R, G, B bytes, rows without padding.
using ArgbFrame = std::vector<uint8_t>;

// What the host shows of the package.
enum class Shown {
  Preview,      // its own preview
  Fallback,     // the plug-in's fallback picture, for a reason named
  OtherFrame,   // a frame other than its preview that decodes, for no reason the tool can name
  NoFrame,      // nothing: the draw fails
  NotImported,  // the package does not import
};

// "preview", "fallback", "other-frame", "no-frame", "not-imported".
const char* ShownName(Shown shown);

struct PackageVerdict {
  A_Err openResult = A_Err_NONE;
  std::optional<A_Err> drawResult;    // none when nothing was drawn
  std::optional<LVS_Options> record;  // what the plug-in recorded; none when it did not import
  Shown shown = Shown::NotImported;
  std::vector<Problem> problems;

  // The host imports the package and shows its own preview: nothing worse
  // than a record that loses part of the metadata.
  bool ShowsItsPreview() const;
};

// One sentence: "the host would import it and show its own preview", "the
// host would not import it"...
std::string Outcome(const PackageVerdict& verdict);

// The tool's own reading of a package with the plug-in's reader: the file,
// its list of entries and the preview entry's bytes. It shares nothing with
// the module, so it runs on a thread of its own from construction, beside
// the module's open and draw: a preview that takes the draw a quarter of a
// second to inflate then costs a command no more than that, not twice.
class PackageLook {
 public:
  explicit PackageLook(const std::string& package);
  ~PackageLook();
  PackageLook(const PackageLook&) = delete;
  PackageLook& operator=(const PackageLook&) = delete;

  // Waits for the reading (and passes on what stopped it, out of memory).
  void Wait();

  const std::string& Package() const { return package_; }
  // Valid once waited for.
  const StylePackage& Reader() const { return *reader_; }
  const PackageListing& Listing() const { return listing_; }
  const std::vector<Problem>& FileProblems() const { return fileProblems_; }
  // The preview entry's bytes; when they cannot be had, the problems why.
  bool PreviewRead() const { return previewRead_; }
  const std::vector<uint8_t>& PreviewBytes() const { return previewBytes_; }
  const std::vector<Problem>& PreviewProblems() const { return previewProblems_; }

 private:
  void Read();

  std::string package_;
  std::optional<StylePackage> reader_;
  PackageListing listing_;
  std::vector<Problem> fileProblems_;
  bool previewRead_ = false;
  std::vector<uint8_t> previewBytes_;
  std::vector<Problem> previewProblems_;
  std::exception_ptr failure_;
  std::thread thread_;
};

// The verdict on footage opened (and closed again) through the module, with
// the result of its draw when one was made, and the tool's look at the
// package it was opened from. `drawn`, when given, is the 8-bit frame of the
// footage size that draw left.
PackageVerdict Judge(PackageLook& look, const OpenedFootage& footage, std::optional<A_Err> drawResult,
                     const DrawnFrame* drawn);

class PackageChecker {
 public:
  explicit PackageChecker(PluginSession& session) : session_(session) {}

  // Opens the package as the host does, draws one 8-bit frame of the
  // footage size and judges; *frame (when given) receives the drawn frame,
  // or is emptied when the package did not import.
  PackageVerdict Check(const std::string& package, ArgbFrame* frame = nullptr);

 private:
  PluginSession& session_;
};

}  // namespace lvs
