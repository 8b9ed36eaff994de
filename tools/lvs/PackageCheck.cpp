#include "PackageCheck.h"

#include <algorithm>
#include <cstring>
#include <nlohmann/json.hpp>

#include "CommandSupport.h"
#include "PackageDiagnosis.h"
#include "StyleFormat.h"
#include "ResultNames.h"
#include "StyleMeta.h"

namespace lvs {

A_Err PackageChecker::DrawFrame(AEIO_InSpecH inSpec, ArgbFrame* frame, const ArgbFrame* compared, bool* same) {
  if (frame) frame->clear();
  if (same) *same = false;
  PF_EffectWorld* world = session_.NewWorld(PF_PixelFormat_ARGB32, kStyleWidth, kStyleHeight);
  if (!world) return A_Err_ALLOC;
  const A_Err result = session_.Draw(inSpec, world);
  const size_t rowBytes = size_t(world->width) * 4;
  // Compared where it lies: a check of many packages copies no frames.
  if (same) *same = compared->size() == rowBytes * size_t(world->height);
  for (int y = 0; y < world->height; ++y) {
    const auto* row = reinterpret_cast<const uint8_t*>(world->data) + ptrdiff_t(y) * world->rowbytes;
    if (same && *same) *same = std::memcmp(row, compared->data() + size_t(y) * rowBytes, rowBytes) == 0;
    if (frame) frame->insert(frame->end(), row, row + rowBytes);
  }
  session_.ReleaseWorld(world);
  return result;
}

const ArgbFrame& PackageChecker::Fallback() {
  if (!fallback_) {
    const OpenedFootage moved = session_.RestoreMissingPackage();
    fallback_.emplace();
    DrawFrame(moved.inSpec, &*fallback_, nullptr, nullptr);
    session_.Close(moved.inSpec);
  }
  return *fallback_;
}

namespace {

void Append(std::vector<Problem>* problems, const std::vector<Problem>& more) {
  problems->insert(problems->end(), more.begin(), more.end());
}

// What the record keeps of the metadata less than the metadata holds. What
// was written is the parser's to say; the record is what the module kept of
// it. A metadata entry that cannot be used has its problems told elsewhere.
std::vector<Problem> Lost(const StylePackage& reader, const PackageListing& listing, const LVS_Options& record) {
  std::vector<Problem> problems;
  StyleMeta meta;
  if (!DiagnoseMeta(reader, listing, &meta).empty() || !meta.ok) return problems;

  const std::string kept[] = {FieldText(record.name, sizeof record.name),
                              FieldText(record.author, sizeof record.author),
                              FieldText(record.hash, sizeof record.hash)};
  for (int k : {kMetaName, kMetaAuthor, kMetaHash}) {
    if (meta.writtenLength[k] == kept[k].size()) continue;
    problems.push_back(MakeProblem(std::string("meta.") + kMetaKeyNames[k] + "-cut",
                                   "The record keeps " + std::to_string(kept[k].size()) + " of the " +
                                       std::to_string(meta.writtenLength[k]) + " bytes of the metadata's \"" +
                                       kMetaKeyNames[k] + "\"" + (meta.writtenNul[k] ? " (it holds a \\u0000)" : "") +
                                       "."));
  }
  if (!meta.versionKept || meta.version != record.version)
    problems.push_back(MakeProblem("meta.version-cut", "The metadata's \"version\" is " + meta.versionWritten +
                                                           "; the record keeps " + std::to_string(record.version) +
                                                           "."));
  return problems;
}

}  // namespace

std::vector<Problem> PackageChecker::RefusalReasons(const std::string& package, A_Err result) {
  const StylePackage reader(package.c_str());
  PackageListing listing;
  std::vector<Problem> problems = DiagnoseFile(package, reader, &listing);
  if (listing.opened) {
    Append(&problems, DiagnoseMeta(reader, listing));
    Append(&problems, DiagnosePreview(reader, listing));
  }
  // A preview problem alone does not stop an import; something else did.
  const std::optional<Severity> worst = WorstSeverity(problems);
  if (!worst || *worst != Severity::NoImport)
    problems.push_back(MakeProblem("module.open-refused", "The plug-in refused to import the package (result " +
                                                              HostErrorText(result) +
                                                              ") for a reason this tool cannot name."));
  return problems;
}

std::vector<Problem> PackageChecker::LostInRecord(const std::string& package, const LVS_Options& record) {
  const StylePackage reader(package.c_str());
  return Lost(reader, ListEntries(reader), record);
}

PackageVerdict PackageChecker::Check(const std::string& package, ArgbFrame* frame) {
  PackageVerdict verdict;
  if (frame) frame->clear();
  const OpenedFootage footage = session_.Open(package);
  verdict.openResult = footage.result;
  verdict.record = footage.record;
  if (footage.result != A_Err_NONE) {
    session_.Close(footage.inSpec);
    verdict.problems = RefusalReasons(package, footage.result);
    return verdict;
  }
  const ArgbFrame& fallback = Fallback();
  bool drewFallback = false;
  const A_Err drawResult = DrawFrame(footage.inSpec, frame, &fallback, &drewFallback);
  session_.Close(footage.inSpec);
  verdict.drawResult = drawResult;

  // The tool's own look at the package: one open, for every reason below.
  const StylePackage reader(package.c_str());
  PackageListing listing;
  verdict.problems = DiagnoseFile(package, reader, &listing);  // imports, but e.g. is not named .lvs
  const size_t fileProblems = verdict.problems.size();
  verdict.showsFallback = drawResult == A_Err_NONE && drewFallback;
  if (drawResult != A_Err_NONE || verdict.showsFallback) {
    Append(&verdict.problems, DiagnosePreview(reader, listing));
    if (verdict.problems.size() == fileProblems) {
      verdict.problems.push_back(
          drawResult != A_Err_NONE
              ? MakeProblem("module.draw-failed",
                            "The plug-in failed to draw the package (result " + HostErrorText(drawResult) + ").")
              : MakeProblem("module.fallback",
                            "The host would show the plug-in's fallback picture instead of the "
                            "preview, for a reason this tool cannot name."));
    }
  }
  if (footage.record) Append(&verdict.problems, Lost(reader, listing, *footage.record));
  return verdict;
}

}  // namespace lvs
