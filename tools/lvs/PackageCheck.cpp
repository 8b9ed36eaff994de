#include "PackageCheck.h"

#include <system_error>
#include <utility>

#include "PackageDiagnosis.h"
#include "ResultNames.h"
#include "StyleFormat.h"

namespace lvs {
namespace {

void Append(std::vector<Problem>* problems, const std::vector<Problem>& more) {
  problems->insert(problems->end(), more.begin(), more.end());
}

}  // namespace

const char* ShownName(Shown shown) {
  switch (shown) {
    case Shown::Preview:
      return "preview";
    case Shown::Fallback:
      return "fallback";
    case Shown::OtherFrame:
      return "other-frame";
    case Shown::NoFrame:
      return "no-frame";
    case Shown::NotImported:
      break;
  }
  return "not-imported";
}

bool PackageVerdict::ShowsItsPreview() const {
  const std::optional<Severity> worst = WorstSeverity(problems);
  return shown == Shown::Preview && (!worst || *worst >= Severity::Lossy);
}

std::string Outcome(const PackageVerdict& verdict) {
  const std::optional<Severity> worst = WorstSeverity(verdict.problems);
  if (!worst) return "the host would import it and show its own preview";
  if (*worst == Severity::NoImport) return "the host would not import it";
  switch (verdict.shown) {
    case Shown::Preview:
      break;
    case Shown::Fallback:
      return "the host would import it but show the plug-in's fallback picture, not its own preview";
    case Shown::OtherFrame:
      return "the host would import it but show a frame other than its own preview";
    case Shown::NoFrame:
      return "the host would import it but get no frame of it from the plug-in";
    case Shown::NotImported:
      return "the host would not import it";
  }
  if (*worst == Severity::Warning) return "the host would import it and show its own preview, as stored";
  return "the host would import it and show its preview, but its record loses part of the metadata";
}

PackageLook::PackageLook(const std::string& package) : package_(package) {
  try {
    thread_ = std::thread([this] { Read(); });
  } catch (const std::system_error&) {
    Read();  // no thread to be had: read it here
  }
}

PackageLook::~PackageLook() {
  if (thread_.joinable()) thread_.join();
}

void PackageLook::Read() {
  try {
    reader_.emplace(package_.c_str());
    fileProblems_ = DiagnoseFile(package_, *reader_, &listing_);
    if (listing_.opened) previewRead_ = ReadPreviewEntry(*reader_, listing_, &previewBytes_, &previewProblems_);
  } catch (...) {
    failure_ = std::current_exception();
  }
}

void PackageLook::Wait() {
  if (thread_.joinable()) thread_.join();
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

PackageVerdict Judge(PackageLook& look, const OpenedFootage& footage, std::optional<A_Err> drawResult,
                     const DrawnFrame* drawn) {
  look.Wait();
  const StylePackage& reader = look.Reader();
  const PackageListing& listing = look.Listing();
  PackageVerdict verdict;
  verdict.openResult = footage.result;
  verdict.problems = look.FileProblems();
  // The preview as the draw decodes it, held against the frame it drew.
  const auto preview = [&](const DrawnFrame* frame) {
    if (!look.PreviewRead()) return PreviewLook{look.PreviewProblems(), false, {}};
    return LookAtPreviewBytes(look.PreviewBytes(), frame);
  };

  if (footage.result != A_Err_NONE) {
    Append(&verdict.problems, DiagnosePath(HostPath(look.Package())));
    if (listing.opened) {
      Append(&verdict.problems, DiagnoseMeta(reader, listing));
      Append(&verdict.problems, preview(nullptr).problems);
    }
    // A preview problem alone does not stop an import; something else did.
    const std::optional<Severity> worst = WorstSeverity(verdict.problems);
    if (!worst || *worst != Severity::NoImport)
      verdict.problems.push_back({Code::ModuleOpenRefused, "The plug-in refused to import the package (result " +
                                                               HostErrorText(footage.result) +
                                                               ") for a reason this tool cannot name."});
    return verdict;
  }

  verdict.record = footage.record;
  verdict.drawResult = drawResult;
  const bool drew = drawResult && *drawResult == A_Err_NONE;
  const PreviewLook decoded = preview(drew ? drawn : nullptr);
  if (drawResult && !drew) {
    verdict.shown = Shown::NoFrame;
    Append(&verdict.problems, decoded.problems);
    if (decoded.problems.empty())
      verdict.problems.push_back({Code::ModuleDrawFailed, "The plug-in failed to draw the package (result " +
                                                              HostErrorText(*drawResult) +
                                                              ") for a reason this tool cannot name."});
  } else if (!decoded.problems.empty()) {
    verdict.shown = Shown::Fallback;
    Append(&verdict.problems, decoded.problems);
  } else if (!footage.record || (drawn && drew && !decoded.matchesDrawn)) {
    verdict.shown = Shown::OtherFrame;
    verdict.problems.push_back(
        {Code::ModuleFallback,
         std::string(footage.record ? "The plug-in drew" : "With no options record the plug-in draws") +
             " a frame other than the package's preview, which decodes to " + std::to_string(kStyleWidth) + " by " +
             std::to_string(kStyleHeight) + ", for a reason this tool cannot name."});
  } else {
    verdict.shown = Shown::Preview;
  }
  if (decoded.problems.empty()) Append(&verdict.problems, decoded.warnings);
  if (footage.record) Append(&verdict.problems, DiagnoseRecord(reader, listing, *footage.record));
  return verdict;
}

PackageVerdict PackageChecker::Check(const std::string& package, ArgbFrame* frame) {
  if (frame) frame->clear();
  PackageLook look(package);
  const OpenedFootage footage = session_.Open(package);
  if (footage.result != A_Err_NONE) {
    session_.Close(footage.inSpec);
    return Judge(look, footage, std::nullopt, nullptr);
  }
  PF_EffectWorld* world = session_.NewWorld(PF_PixelFormat_ARGB32, kStyleWidth, kStyleHeight);
  const A_Err drawResult = world ? session_.Draw(footage.inSpec, world) : A_Err_ALLOC;
  session_.Close(footage.inSpec);
  // Held against the preview where it lies: a check of many packages copies
  // no frames.
  const DrawnFrame drawn = {world ? reinterpret_cast<const uint8_t*>(world->data) : nullptr,
                            world ? std::ptrdiff_t(world->rowbytes) : 0};
  PackageVerdict verdict = Judge(look, footage, drawResult, world ? &drawn : nullptr);
  if (frame && world) {
    const size_t rowBytes = size_t(world->width) * 4;
    for (int y = 0; y < world->height; ++y) {
      const uint8_t* row = drawn.data + std::ptrdiff_t(y) * drawn.rowBytes;
      frame->insert(frame->end(), row, row + rowBytes);
    }
  }
  session_.ReleaseWorld(world);
  return verdict;
}

}  // namespace lvs
