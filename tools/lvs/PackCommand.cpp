// lvs pack: a style package from a preview JPEG and the style's metadata,
// written the way the plug-in expects (both entries deflated and encrypted
// with the package password) and then proven: the finished file is opened
// and drawn through the module, and the frame must be the preview as the
// plug-in's decoder decodes it. Only then does the file take the output's
// name; until then it is a temporary file beside it, removed on failure.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "CommandLine.h"
#include "CommandSupport.h"
#include "Files.h"
#include "OutputFile.h"
#include "PackageBuilder.h"
#include "PackageCheck.h"
#include "PackageDiagnosis.h"
#include "PreviewDiagnosis.h"
#include "StyleFormat.h"
#include "StyleMeta.h"
#include "StylePackage.h"
#include "jpeg_decoder.h"

namespace lvs {
namespace {

void Refuse(const std::string& what, const std::vector<Problem>& problems) {
  std::fprintf(stderr, "lvs: %s:\n", what.c_str());
  for (const Problem& p : problems) std::fprintf(stderr, "  - [%s] %s\n", p.Name(), Printable(p.message).c_str());
}

// The metadata text from the four fields; false when a field is not UTF-8.
bool MetaFromFields(const PackOptions& options, std::string* text) {
  try {
    const nlohmann::json meta = {
        {"name", options.name}, {"author", options.author}, {"hash", options.hash}, {"version", *options.version}};
    *text = meta.dump();
    return true;
  } catch (const nlohmann::json::exception&) {
    return false;
  }
}

}  // namespace

int RunPack(const PackOptions& options) {
  const bool fromFields = options.version.has_value();
  if (options.meta.empty() == !fromFields || (options.preview == "-" && options.meta == "-")) {
    std::fprintf(stderr,
                 "lvs pack: give either --meta FILE or --name, --author, --hash and --style-version, and read at "
                 "most one of --preview and --meta from standard input\n");
    return kExitUsage;
  }
  std::string error;
  std::vector<uint8_t> preview;
  if (!ReadInput(options.preview, uint64_t(kEntrySizeCeiling), &preview, &error)) {
    std::fprintf(stderr, "lvs: %s\n", error.c_str());
    return kExitUsage;
  }
  std::string metaText;
  if (fromFields) {
    if (!MetaFromFields(options, &metaText)) {
      std::fprintf(stderr, "lvs: --name, --author and --hash must be UTF-8 text\n");
      return kExitUsage;
    }
  } else {
    std::vector<uint8_t> bytes;
    if (!ReadInput(options.meta, uint64_t(kEntrySizeCeiling), &bytes, &error)) {
      std::fprintf(stderr, "lvs: %s\n", error.c_str());
      return kExitUsage;
    }
    metaText.assign(bytes.begin(), bytes.end());
  }

  // Refused before anything is written, with the plug-in's own reasons.
  const std::vector<Problem> metaProblems = DiagnoseMetaText(ParseStyleMeta(metaText.data(), metaText.size()));
  const std::vector<Problem> previewProblems = LookAtPreviewBytes(preview).problems;
  if (!metaProblems.empty()) Refuse("the plug-in would not import a package with this metadata", metaProblems);
  if (!previewProblems.empty()) Refuse("the plug-in would not show this preview", previewProblems);
  if (!metaProblems.empty() || !previewProblems.empty()) return kExitFailed;

  PluginSession session;
  if (!LoadPlugin(session, options.plugin)) return kExitNoPlugin;

  const bool toStdout = options.output == "-";
  // A package of its own file is proven where it is written, under a
  // temporary name; a device, a FIFO or standard output gets it only once
  // proven, from a private copy.
  OutputFile out;
  TempFile copy;
  std::vector<uint8_t> package;
  bool ready = out.Open(options.output, ".lvs", &error) &&
               lvs_maker::BuildPackage(lvs_maker::StyleEntries(metaText, preview), &package, &error);
  if (ready && out.Staged()) {
    out.Write(package.data(), package.size());
    ready = out.CloseStaged(&error);
  } else if (ready) {
    ready = copy.CreateNamed("package.lvs", &error);
    if (ready && !WriteAll(copy.Descriptor(), package.data(), package.size())) {
      error = "cannot write a temporary file: " + std::string(std::strerror(errno));
      ready = false;
    }
    ready = ready && copy.Close(&error);
  }
  if (!ready) {
    std::fprintf(stderr, "lvs: %s\n", error.c_str());
    return FinishSession(session, kExitUsage);
  }

  PackageChecker checker(session);
  ArgbFrame frame;
  const PackageVerdict verdict = checker.Check(out.Staged() ? out.StagedPath() : copy.Path(), &frame);
  std::vector<Problem> refusing, lossy;
  for (const Problem& p : verdict.problems) (p.GetSeverity() >= Severity::Lossy ? lossy : refusing).push_back(p);
  // The verdict held the frame against the package's preview entry; this
  // holds it against the preview given, as the draw decodes that.
  const DrawnFrame drawn = {frame.data(), std::ptrdiff_t(kStyleWidth) * 4};
  if (refusing.empty() && !LookAtPreviewBytes(preview, &drawn).matchesDrawn)
    refusing.push_back({Code::ModuleFallback, "The module drew a frame other than the preview given."});
  if (!refusing.empty()) {
    Refuse("the package as written does not import and show its preview; nothing was written", refusing);
    return FinishSession(session, kExitFailed);
  }
  const int finished = FinishSession(session, kExitOk);
  if (finished != kExitOk) return finished;  // a temporary file goes with `out`

  if (!out.Staged()) out.Write(package.data(), package.size());
  if (!out.Commit(&error)) {
    std::fprintf(stderr, "lvs: %s\n", error.c_str());
    return kExitUsage;
  }
  if (!options.quiet) {
    const LVS_Options& r = *verdict.record;
    std::string text = Format("%s: the plug-in imports it as \"%s\" by \"%s\", version %d, and shows its preview.\n",
                              Printable(toStdout ? "standard output" : options.output).c_str(),
                              Printable(FieldText(r.name, sizeof r.name)).c_str(),
                              Printable(FieldText(r.author, sizeof r.author)).c_str(), int(r.version));
    text += ProblemsText(lossy);
    Emit(toStdout ? Stream::Err : Stream::Out, text);
  }
  return kExitOk;
}

Command AddPackCommand(CLI::App& lvs) {
  struct State {
    PackOptions options;
    int32_t styleVersion = 0;
    CLI::Option* versionOption = nullptr;
  };
  auto state = std::make_shared<State>();
  PackOptions& options = state->options;
  CLI::App* app = lvs.add_subcommand(
      "pack", "make a style package from a preview JPEG and metadata, proven to import and show its preview");
  app->add_option("-o,--output", options.output, "style package to write (replaced only once proven)")->required();
  app->add_option(
         "--preview", options.preview,
         "the preview: a baseline JPEG of " + std::to_string(kStyleWidth) + " by " + std::to_string(kStyleHeight))
      ->required();
  app->add_option("--meta", options.meta, "a metadata JSON file (instead of the four fields)");
  CLI::Option* name = app->add_option("--name", options.name, "the style's name");
  CLI::Option* author = app->add_option("--author", options.author, "the style's author");
  CLI::Option* hash = app->add_option("--hash", options.hash, "the style's hash string");
  state->versionOption = app->add_option("--style-version", state->styleVersion, "the style's version, an integer");
  for (CLI::Option* field : {name, author, hash, state->versionOption}) {
    field->excludes("--meta");
    for (CLI::Option* other : {name, author, hash, state->versionOption})
      if (other != field) field->needs(other);
  }
  AddQuietFlag(app, &options.quiet);
  AddPluginOption(app, &options.plugin);
  AddVersionFlag(app);
  return {app, [state] {
            if (*state->versionOption) state->options.version = state->styleVersion;
            return RunPack(state->options);
          }};
}

}  // namespace lvs
