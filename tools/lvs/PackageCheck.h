// The verdict on a package, from the module itself: it is opened as the host
// opens it and one 8-bit frame of the footage size is drawn through the callbacks.
// Whether that frame is the package's preview or the fallback picture is
// decided by comparing it with the frame the module draws for footage whose
// package has gone missing (restored from a saved record), which is always
// the fallback. Comparing with what the module actually draws, rather than
// with our own decoding of the fallback, keeps the verdict right whatever
// fallback a module carries. The reasons are then found with the plug-in's
// pure libraries (PackageDiagnosis.h), and what the record lost by comparing
// it with the metadata.
//
// check, info, pack and sheet all judge packages here, so that one package
// gets the same codes from every command.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "PluginSession.h"
#include "Problems.h"

namespace lvs {

// An 8-bit frame of the preview's size: A, R, G, B bytes, rows without padding.
using ArgbFrame = std::vector<uint8_t>;

struct PackageVerdict {
  A_Err openResult = A_Err_NONE;
  std::optional<A_Err> drawResult;    // none when it did not open
  std::optional<LVS_Options> record;  // what the plug-in recorded, when it opened
  bool showsFallback = false;         // the drawn frame is the fallback picture
  std::vector<Problem> problems;
};

class PackageChecker {
 public:
  explicit PackageChecker(PluginSession& session) : session_(session) {}

  // Opens and draws; *frame (when given) receives the drawn frame, or is
  // emptied when the package did not open.
  PackageVerdict Check(const std::string& package, ArgbFrame* frame = nullptr);

  // Why an open that failed with `result` failed.
  std::vector<Problem> RefusalReasons(const std::string& package, A_Err result);

  // What the record keeps of the metadata less than the metadata holds.
  std::vector<Problem> LostInRecord(const std::string& package, const LVS_Options& record);

  // The frame the module draws when the host would show its fallback.
  const ArgbFrame& Fallback();

 private:
  // Draws one frame; copies it to *frame and compares it with *compared
  // (setting *same) when they are given.
  A_Err DrawFrame(AEIO_InSpecH inSpec, ArgbFrame* frame, const ArgbFrame* compared, bool* same);

  PluginSession& session_;
  std::optional<ArgbFrame> fallback_;
};

}  // namespace lvs
