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
#include "StoredEntries.h"
#include "StylePackage.h"
#include "jpeg_decoder.h"

namespace lvs {
namespace {

void Refuse(const std::string& what, const std::vector<Problem>& problems) {
  std::string text = "lvs pack: " + what + ":\n";
  for (const Problem& p : problems) text += Format("  - [%s] %s\n", p.Name(), Printable(p.message).c_str());
  Emit(Stream::Err, text);
}

bool AnyField(const PackOptions& options) { return options.name || options.author || options.hash || options.version; }

// The metadata with the fields given set, the others as `base` has them
// (and in its order); false when it is no JSON object or a field is not
// UTF-8.
bool WithFields(const PackOptions& options, const std::string& base, std::string* text) {
  try {
    nlohmann::ordered_json meta = base.empty() ? nlohmann::ordered_json::object() : nlohmann::ordered_json::parse(base);
    if (!meta.is_object()) return false;
    if (options.name) meta["name"] = *options.name;
    if (options.author) meta["author"] = *options.author;
    if (options.hash) meta["hash"] = *options.hash;
    if (options.version) meta["version"] = *options.version;
    *text = meta.dump();
    return true;
  } catch (const nlohmann::json::exception&) {
    return false;
  }
}

// What the command line names, read; false after saying why not.
bool ReadSources(const PackOptions& options, std::vector<uint8_t>* preview, std::string* metaText, int* exitCode) {
  const bool allFields = options.name && options.author && options.hash && options.version;
  const int fromStdin = (options.from == "-") + (options.preview == "-") + (options.meta == "-");
  *exitCode = kExitUsage;
  if (options.from.empty() &&
      (options.preview.empty() || options.meta.empty() == !allFields || (AnyField(options) && !allFields))) {
    Complain(
        "give --preview FILE and either --meta FILE or all of --name, --author, --hash and --style-version "
        "(or --from OLD.lvs and what to change)");
    return false;
  }
  if (fromStdin > 1) {
    Complain("read at most one of --from, --preview and --meta from standard input");
    return false;
  }
  std::string error;
  if (!options.preview.empty() && !ReadInput(options.preview, uint64_t(kEntrySizeCeiling), preview, &error)) {
    Complain(error);
    return false;
  }
  if (!options.meta.empty()) {
    std::vector<uint8_t> bytes;
    if (!ReadInput(options.meta, uint64_t(kEntrySizeCeiling), &bytes, &error)) {
      Complain(error);
      return false;
    }
    metaText->assign(bytes.begin(), bytes.end());
  }
  if (!options.from.empty()) {
    PackageInput input;
    if (!PreparePackage(&input, options.from, exitCode)) return false;
    StoredEntries stored = ReadStoredEntries(input.Path());
    // Only what is taken from it must be readable.
    const bool needsMeta = options.meta.empty(), needsPreview = options.preview.empty();
    if ((needsMeta && !stored.meta) || (needsPreview && !stored.preview)) {
      Refuse("cannot take what is not given from " + Printable(options.from), stored.problems);
      *exitCode = kExitFailed;
      return false;
    }
    if (needsMeta) metaText->assign(stored.meta->begin(), stored.meta->end());
    if (needsPreview) *preview = std::move(*stored.preview);
  }
  // Metadata kept byte for byte unless a field changes.
  if (AnyField(options) && !WithFields(options, *metaText, metaText)) {
    Complain(options.from.empty() || options.meta.empty() ? "--name, --author and --hash must be UTF-8 text"
                                                          : "the metadata to change is no JSON object");
    *exitCode = options.from.empty() ? kExitUsage : kExitFailed;
    return false;
  }
  *exitCode = kExitOk;
  return true;
}

}  // namespace

int RunPack(const PackOptions& options) {
  std::string error, metaText;
  std::vector<uint8_t> preview;
  int exitCode = kExitOk;
  if (!ReadSources(options, &preview, &metaText, &exitCode)) return exitCode;

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
    Complain(error);
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
    Complain(error);
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
  auto options = std::make_shared<PackOptions>();
  CLI::App* app = lvs.add_subcommand(
      "pack", "make a style package from a preview JPEG and metadata, proven to import and show its preview");
  app->add_option("-o,--output", options->output, "style package to write (replaced only once proven)")->required();
  app->add_option("--from", options->from,
                  "a package to start from: its preview and metadata stand in for what is not given, and the "
                  "fields given change its metadata");
  app->add_option(
      "--preview", options->preview,
      "the preview: a baseline JPEG of " + std::to_string(kStyleWidth) + " by " + std::to_string(kStyleHeight));
  app->add_option("--meta", options->meta, "a metadata JSON file (instead of the four fields)");
  const std::vector<CLI::Option*> fields = {
      app->add_option("--name", options->name, "the style's name"),
      app->add_option("--author", options->author, "the style's author"),
      app->add_option("--hash", options->hash, "the style's hash string"),
      app->add_option("--style-version", options->version, "the style's version, an integer")};
  for (CLI::Option* field : fields) field->excludes("--meta");
  AddQuietFlag(app, &options->quiet);
  AddPluginOption(app, &options->plugin);
  AddVersionFlag(app);
  app->footer(
      "Without --from: --preview, and --meta or all four fields. With --from, any of them: the rest comes from "
      "the package named, its metadata kept byte for byte unless a field changes it.");
  return {app, [options] { return RunPack(*options); }};
}

}  // namespace lvs
