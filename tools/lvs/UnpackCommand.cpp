// lvs unpack: a package's "meta" and "prv" entries written out as stored
// (decrypted and inflated, byte for byte) into a folder, as files named
// like the entries, so that a package can be mended and packed again. No
// file is replaced unless --force says so, and then as every output is
// (OutputFile): whole or not at all.
#include <filesystem>
#include <memory>
#include <system_error>

#include "CommandLine.h"
#include "CommandSupport.h"
#include "OutputFile.h"
#include "StoredEntries.h"
#include "StyleFormat.h"

namespace fs = std::filesystem;

namespace lvs {
namespace {

struct UnpackOptions {
  std::string package;
  std::string folder;
  bool force = false;
  bool quiet = false;
};

struct Written {
  std::string name;
  const std::vector<uint8_t>* bytes;
  std::string path;
};

bool WriteEntry(const Written& entry) {
  OutputFile out;
  std::string error;
  if (out.Open(entry.path, ".tmp", &error)) {
    out.Write(entry.bytes->data(), entry.bytes->size());
    if (out.Commit(&error)) return true;
  }
  Complain(error);
  return false;
}

int RunUnpack(const UnpackOptions& options) {
  PackageInput input;
  int exitCode = kExitOk;
  if (!PreparePackage(&input, options.package, &exitCode)) return exitCode;
  const StoredEntries stored = ReadStoredEntries(input.Path());

  std::vector<Written> entries;
  for (const auto& [name, bytes] :
       {std::pair{kMetaEntryName, &stored.meta}, std::pair{kPreviewEntryName, &stored.preview}})
    if (*bytes) entries.push_back({name, &**bytes, (fs::u8path(options.folder) / name).u8string()});

  // Every refusal before the first byte is written, so that a run either
  // writes all it can or nothing.
  std::error_code ec;
  const fs::file_status folder = fs::status(options.folder, ec);
  if (fs::exists(folder) && !fs::is_directory(folder)) {
    Complain(Printable(options.folder) + " is not a folder");
    return kExitUsage;
  }
  bool taken = false;
  for (const Written& entry : entries)
    if (!options.force && fs::exists(fs::symlink_status(entry.path, ec))) {
      Complain(Printable(entry.path) + " exists; --force replaces it");
      taken = true;
    }
  if (taken) return kExitUsage;
  if (!entries.empty() && !fs::exists(folder) && !fs::create_directories(options.folder, ec)) {
    Complain("cannot make the folder " + Printable(options.folder) + ": " + ec.message());
    return kExitUsage;
  }

  std::string text = Printable(options.package) + ":\n";
  for (const Written& entry : entries) {
    if (!WriteEntry(entry)) return kExitUsage;
    text += Format("  %-5s %s (%zu bytes)\n", (entry.name + ":").c_str(), Printable(entry.path).c_str(),
                   entry.bytes->size());
  }
  if (!stored.problems.empty()) {
    text += ProblemsText(stored.problems);
    exitCode = kExitFailed;
  }
  if (!options.quiet) Emit(text);
  return exitCode;
}

}  // namespace

Command AddUnpackCommand(CLI::App& lvs) {
  auto options = std::make_shared<UnpackOptions>();
  CLI::App* app = lvs.add_subcommand(
      "unpack", "write a package's \"meta\" and \"prv\" entries, as stored, into a folder (as files meta and prv)");
  app->add_option("PACKAGE", options->package, "style package (- reads it from standard input)")->required();
  app->add_option("FOLDER", options->folder, "folder to write into (made when missing)")->required();
  app->add_flag("-f,--force", options->force, "replace files of those names already in the folder");
  AddQuietFlag(app, &options->quiet);
  AddVersionFlag(app);
  app->footer(
      "The entries are decrypted and inflated, nothing more: the files hold exactly what pack (or another tool) "
      "put into the package. An entry that cannot be read is named with its problem code, and the exit code is 1.");
  return {app, [options] { return RunUnpack(*options); }};
}

}  // namespace lvs
