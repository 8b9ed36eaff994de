// lvs: shows what the host sees of a style package, without the host, and
// makes packages the host will show. Every command that involves the
// plug-in loads the real module into the substitute host and drives it
// through its callbacks.
#include <CLI/CLI.hpp>
#include <malloc.h>

#include <cstdio>
#include <filesystem>
#include <new>
#include <sstream>

#include "Cleanup.h"
#include "Commands.h"
#include "TextOutput.h"

namespace {

const char kPluginHelp[] = "plug-in module to load (default: the one built beside this tool)";
const char kQuietHelp[] = "print nothing but errors; the exit code tells the outcome";

const char kFooter[] =
    "A file argument of \"-\" reads standard input; an output of \"-\" writes standard output.\n"
    "Every command takes --plugin PATH to load another build of the plug-in module, --quiet and --help.\n"
    "\n"
    "Exit codes, the same on every command (the highest applies when several do):\n"
    "  0  all went well\n"
    "  1  a package or file failed: it does not open, draw, check or decode, a package on a sheet has a\n"
    "     problem, or pack refused its metadata, its preview or the package it wrote\n"
    "  2  bad arguments, or a file or folder that cannot be read or written\n"
    "  3  the plug-in module cannot be loaded\n"
    "  4  the plug-in left something behind in the host (its report goes to stderr)";

bool IsCommand(CLI::App& app, const std::string& name) {
  for (const CLI::App* command : app.get_subcommands({}))
    if (command->get_name() == name) return true;
  return false;
}

CLI::Validator SizeValidator() {
  return CLI::Validator(
      [](std::string& text) {
        int w = 0, h = 0;
        return lvs::ParseSize(text, &w, &h)
                   ? std::string()
                   : "must be WIDTHxHEIGHT with each side from 1 to " + std::to_string(lvs::kLargestSide);
      },
      "WIDTHxHEIGHT");
}

int Run(int argc, char** argv) {
  // Every package checked or drawn takes a world of a few MiB. Served from
  // the heap and kept there, it is the same pages each time instead of a
  // fresh mapping that faults in page by page for every package.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
  CLI::App app{"lvs: see what the host sees of Lumivastrin style packages (.lvs), without the host, and make them"};
  app.require_subcommand(1, 1);
  app.set_version_flag("--version", "lvs " LVS_VERSION);
  app.footer(kFooter);

  lvs::InfoOptions info;
  CLI::App* infoCmd = app.add_subcommand("info", "open packages as the host does and print the plug-in's record");
  infoCmd->add_option("PACKAGE", info.packages, "style packages")->required();
  infoCmd->add_flag("--json", info.json, "one JSON object per package, one per line");
  infoCmd->add_flag("-q,--quiet", info.quiet, kQuietHelp);
  infoCmd->add_option("--plugin", info.plugin, kPluginHelp);

  lvs::RenderOptions render;
  std::string size = std::to_string(kStyleWidth) + "x" + std::to_string(kStyleHeight);
  CLI::App* renderCmd = app.add_subcommand("render", "open a package and draw one frame into a PNG");
  renderCmd->add_option("PACKAGE", render.package, "style package")->required();
  renderCmd->add_option("-o,--output", render.output, "PNG file to write")->required();
  renderCmd->add_option("--depth", render.depth, "bits per channel of the host world: 8, 16 or 32 (float)")
      ->check(CLI::IsMember({8, 16, 32}))
      ->capture_default_str();
  renderCmd->add_option("--size", size, "size of the host world, WIDTHxHEIGHT")
      ->check(SizeValidator())
      ->capture_default_str();
  renderCmd->add_flag("--json", render.json, "print the results as one JSON object");
  renderCmd->add_flag("-q,--quiet", render.quiet, kQuietHelp);
  renderCmd->add_option("--plugin", render.plugin, kPluginHelp);

  lvs::CheckOptions check;
  CLI::App* checkCmd = app.add_subcommand(
      "check", "say whether the host would import each package and show its own preview, and if not, why");
  checkCmd->add_option("PACKAGE", check.packages, "style packages (folders with -r)");
  checkCmd->add_flag("-r,--recursive", check.recursive, "check every *.lvs file in the folders named, and below");
  checkCmd->add_flag("--json", check.json,
                     "one JSON object per package, one per line: package, ok, severity, problems (code, severity, "
                     "message)");
  checkCmd
      ->add_option("-j,--jobs", check.jobs,
                   "processes checking at once (default: one per processor this process may use)")
      ->check(CLI::Range(1, 64));
  checkCmd->add_flag("--codes", check.listCodes, "list every problem code with its severity, and nothing else");
  checkCmd->add_flag("-q,--quiet", check.quiet, kQuietHelp);
  checkCmd->add_option("--plugin", check.plugin, kPluginHelp);
  checkCmd->footer(
      "Severities: no-import (the host will not import it), fallback (it imports but the host shows the "
      "fallback picture or no frame), lossy (it imports and shows its preview, but the record keeps less than "
      "the metadata says). See --codes.");

  lvs::DecodeOptions decode;
  std::string unusedPlugin;
  CLI::App* decodeCmd = app.add_subcommand("decode", "decode a JPEG file with the plug-in's own decoder");
  decodeCmd->add_option("IMAGE", decode.file, "JPEG file")->required();
  decodeCmd->add_option("-o,--output", decode.output,
                        "write the pixels: a PNG when the name ends in .png or is -, else the decoder's raw bytes");
  decodeCmd->add_flag("--json", decode.json, "print the results as one JSON object");
  decodeCmd->add_flag("-q,--quiet", decode.quiet, kQuietHelp);
  decodeCmd->add_option("--plugin", unusedPlugin,
                        "accepted like on every command; decode uses the decoder built into lvs, the same source "
                        "as the module's");

  lvs::PackOptions pack;
  int32_t styleVersion = 0;
  CLI::App* packCmd = app.add_subcommand(
      "pack", "make a style package from a preview JPEG and metadata, proven to import and show its preview");
  packCmd->add_option("-o,--output", pack.output, "style package to write (replaced only once proven)")->required();
  packCmd
      ->add_option(
          "--preview", pack.preview,
          "the preview: a baseline JPEG of " + std::to_string(kStyleWidth) + " by " + std::to_string(kStyleHeight))
      ->required();
  packCmd->add_option("--meta", pack.meta, "a metadata JSON file (instead of the four fields)");
  CLI::Option* nameOpt = packCmd->add_option("--name", pack.name, "the style's name");
  CLI::Option* authorOpt = packCmd->add_option("--author", pack.author, "the style's author");
  CLI::Option* hashOpt = packCmd->add_option("--hash", pack.hash, "the style's hash string");
  CLI::Option* versionOpt = packCmd->add_option("--version", styleVersion, "the style's version, an integer");
  for (CLI::Option* field : {nameOpt, authorOpt, hashOpt, versionOpt}) {
    field->excludes("--meta");
    for (CLI::Option* other : {nameOpt, authorOpt, hashOpt, versionOpt})
      if (other != field) field->needs(other);
  }
  packCmd->add_flag("-q,--quiet", pack.quiet, kQuietHelp);
  packCmd->add_option("--plugin", pack.plugin, kPluginHelp);

  lvs::SheetOptions sheet;
  CLI::App* sheetCmd = app.add_subcommand(
      "sheet",
      "draw a contact sheet (PNG) of packages and folders: each preview as the host would draw it, with "
      "name, author, version and a mark per problem");
  sheetCmd->add_option("PACKAGE", sheet.packages, "style packages, and folders to search for *.lvs files")->required();
  sheetCmd->add_option("-o,--output", sheet.output, "PNG file to write")->required();
  sheetCmd->add_option("--columns", sheet.columns, "cells per row")->check(CLI::Range(1, 64))->capture_default_str();
  sheetCmd->add_option("--cell-width", sheet.cellWidth, "width of each preview in pixels (height 9/16 of it)")
      ->check(CLI::Range(64, int(kStyleWidth)))
      ->capture_default_str();
  sheetCmd->add_flag("-q,--quiet", sheet.quiet, kQuietHelp);
  sheetCmd->add_option("--plugin", sheet.plugin, kPluginHelp);
  sheetCmd->footer(
      "Marks: red, the host will not import it; orange, it shows the fallback picture (or no frame); "
      "yellow, its record loses part of the metadata. The first problem's code is written under it.");

  // CLI11 would only say that a command is required.
  if (argc > 1 && argv[1][0] != '-' && !IsCommand(app, argv[1])) {
    std::fprintf(stderr,
                 "lvs: unknown command '%s' (commands: info, render, check, decode, pack, sheet; see lvs --help)\n",
                 argv[1]);
    return lvs::kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    // --help and --version, through the same checked writer as every report.
    std::ostringstream text;
    const int code = app.exit(e, text);
    lvs::Emit(text.str());
    return code;
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return lvs::kExitUsage;
  }
  if (*checkCmd && check.packages.empty() && !check.listCodes) {
    std::fprintf(stderr, "lvs check: name at least one package (or folder, with -r)\n");
    return lvs::kExitUsage;
  }

  // A package can ask for more memory than the machine has; that is a
  // failure of the package, reported like any other.
  try {
    if (*infoCmd) return lvs::RunInfo(info);
    if (*renderCmd) {
      lvs::ParseSize(size, &render.width, &render.height);
      return lvs::RunRender(render);
    }
    if (*checkCmd) return lvs::RunCheck(check);
    if (*packCmd) {
      if (*versionOpt) pack.version = styleVersion;
      return lvs::RunPack(pack);
    }
    if (*sheetCmd) return lvs::RunSheet(sheet);
    return lvs::RunDecode(decode);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "lvs: out of memory\n");
    return lvs::kExitFailed;
  } catch (const std::filesystem::filesystem_error& e) {
    std::fprintf(stderr, "lvs: %s\n", e.what());
    return lvs::kExitUsage;
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Before the first temporary file, so that no signal can leave one behind.
  lvs::InstallCleanupHandlers();
  return lvs::FinishStandardOutput(Run(argc, argv));
}
