// lvs check: would the host import each package and show its own preview?
//
// The verdict comes from the module itself: the package is opened and one
// 8-bit 1280x720 frame is drawn through the callbacks. Whether that frame is
// the package's preview or the fallback picture is decided by comparing it
// with the frame the module draws for footage whose package has gone missing
// (restored from a saved record), which is always the fallback. Comparing
// with what the module actually draws, rather than with our own decoding of
// the fallback, keeps the verdict right whatever fallback a module carries.
// The reasons are then found with the pure libraries (PackageDiagnosis).
#include <cstring>

#include "CommandSupport.h"
#include "PackageDiagnosis.h"
#include "ResultNames.h"

namespace lvs {
namespace {

constexpr int kFrameWidth = 1280;
constexpr int kFrameHeight = 720;

struct Frame {
  A_Err result = 0;
  std::vector<uint8_t> argb;  // rows without padding
};

Frame DrawFrame(PluginSession& session, AEIO_InSpecH inSpec) {
  Frame frame;
  PF_EffectWorld* world = session.NewWorld(PF_PixelFormat_ARGB32, kFrameWidth, kFrameHeight);
  if (!world) {
    frame.result = A_Err_ALLOC;
    return frame;
  }
  frame.result = session.Draw(inSpec, world);
  for (int y = 0; y < world->height; ++y) {
    const auto* row = static_cast<const uint8_t*>(world->data) + ptrdiff_t(y) * world->rowbytes;
    frame.argb.insert(frame.argb.end(), row, row + size_t(world->width) * 4);
  }
  session.ReleaseWorld(world);
  return frame;
}

class Checker {
 public:
  explicit Checker(PluginSession& session) : session_(session) {}

  std::vector<std::string> Problems(const std::string& package) {
    std::vector<std::string> problems;
    PackageListing listing;
    const std::vector<std::string> fileProblems = DiagnoseFile(package, &listing);
    auto add = [&](const std::vector<std::string>& more) { problems.insert(problems.end(), more.begin(), more.end()); };

    const OpenedFootage footage = session_.Open(package);
    if (footage.result != A_Err_NONE) {
      add(fileProblems);
      if (listing.opened) {
        add(DiagnoseMeta(package, listing));
        add(DiagnosePreview(package, listing));
      }
      if (problems.empty())
        problems.push_back("The plug-in refused to import the package (result " + HostErrorText(footage.result) +
                           ") for a reason this tool cannot name.");
      session_.Close(footage.inSpec);
      return problems;
    }

    const Frame frame = DrawFrame(session_, footage.inSpec);
    session_.Close(footage.inSpec);
    add(fileProblems);  // imports, but e.g. is not named .lvs
    if (frame.result != A_Err_NONE) {
      add(DiagnosePreview(package, listing));
      if (problems.size() == fileProblems.size())
        problems.push_back("The plug-in failed to draw the package (result " + HostErrorText(frame.result) + ").");
    } else if (frame.argb == Fallback()) {
      add(DiagnosePreview(package, listing));
      if (problems.size() == fileProblems.size())
        problems.push_back("The host would show the plug-in's fallback picture instead of the preview, for a "
                           "reason this tool cannot name.");
    }
    return problems;
  }

 private:
  const std::vector<uint8_t>& Fallback() {
    if (!haveFallback_) {
      const OpenedFootage moved = session_.RestoreMissingPackage();
      fallback_ = DrawFrame(session_, moved.inSpec).argb;
      session_.Close(moved.inSpec);
      haveFallback_ = true;
    }
    return fallback_;
  }

  PluginSession& session_;
  bool haveFallback_ = false;
  std::vector<uint8_t> fallback_;
};

}  // namespace

int RunCheck(const CheckOptions& options) {
  PluginSession session;
  if (!LoadPlugin(session, options.plugin)) return kExitNoPlugin;

  Checker checker(session);
  int exitCode = kExitOk;
  for (const std::string& package : options.packages) {
    const std::vector<std::string> problems = checker.Problems(package);
    if (!problems.empty()) exitCode = kExitFailed;
    if (options.json) {
      PrintJsonLine({{"package", package}, {"ok", problems.empty()}, {"problems", problems}});
    } else if (problems.empty()) {
      std::printf("%s: OK: the host would import it and show its own preview.\n", Printable(package).c_str());
    } else {
      std::printf("%s: NOT OK\n", Printable(package).c_str());
      for (const std::string& p : problems) std::printf("  - %s\n", Printable(p).c_str());
    }
  }
  return FinishSession(session, exitCode);
}

}  // namespace lvs
