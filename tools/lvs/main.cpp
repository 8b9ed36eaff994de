// lvs: shows what the host sees of a style package, without the host. Every
// command that involves the plug-in loads the real module into the
// substitute host and drives it through its callbacks.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <new>

#include "Commands.h"

namespace {

const char kPluginHelp[] =
    "plug-in module to load (default: the one built beside this tool)";

bool IsCommand(CLI::App& app, const std::string& name) {
  for (const CLI::App* command : app.get_subcommands({}))
    if (command->get_name() == name) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"lvs: see what the host sees of Lumivastrin style packages (.lvs), without the host"};
  app.require_subcommand(1, 1);
  app.footer("Every command takes --plugin PATH to load another build of the plug-in module, and --help.\n"
             "Exit codes: 0 ok; 1 a package or file failed; 2 bad arguments or unreadable/unwritable "
             "files; 3 the plug-in cannot be loaded; 4 the plug-in left something behind in the host.");

  lvs::InfoOptions info;
  CLI::App* infoCmd = app.add_subcommand("info", "open packages as the host does and print the plug-in's record");
  infoCmd->add_option("PACKAGE", info.packages, "style packages")->required();
  infoCmd->add_flag("--json", info.json, "one JSON object per package, one per line");
  infoCmd->add_option("--plugin", info.plugin, kPluginHelp);

  lvs::RenderOptions render;
  std::string size = "1280x720";
  CLI::App* renderCmd = app.add_subcommand("render", "open a package and draw one frame into a PNG");
  renderCmd->add_option("PACKAGE", render.package, "style package")->required();
  renderCmd->add_option("-o,--output", render.output, "PNG file to write")->required();
  renderCmd->add_option("--depth", render.depth, "bits per channel of the host world: 8, 16 or 32 (float)")
      ->check(CLI::IsMember({8, 16, 32}))
      ->capture_default_str();
  renderCmd->add_option("--size", size, "size of the host world, WIDTHxHEIGHT")
      ->check(CLI::Validator(
          [](std::string& text) {
            int w = 0, h = 0;
            return lvs::ParseSize(text, &w, &h)
                       ? std::string()
                       : "must be WIDTHxHEIGHT with each side from 1 to " + std::to_string(lvs::kLargestSide);
          },
          "WIDTHxHEIGHT"))
      ->capture_default_str();
  renderCmd->add_flag("--json", render.json, "print the results as one JSON object");
  renderCmd->add_option("--plugin", render.plugin, kPluginHelp);

  lvs::CheckOptions check;
  CLI::App* checkCmd = app.add_subcommand(
      "check", "say whether the host would import each package and show its own preview, and if not, why");
  checkCmd->add_option("PACKAGE", check.packages, "style packages")->required();
  checkCmd->add_flag("--json", check.json, "one JSON object per package, one per line");
  checkCmd->add_option("--plugin", check.plugin, kPluginHelp);

  lvs::DecodeOptions decode;
  std::string unusedPlugin;
  CLI::App* decodeCmd = app.add_subcommand("decode", "decode a JPEG file with the plug-in's own decoder");
  decodeCmd->add_option("IMAGE", decode.file, "JPEG file")->required();
  decodeCmd->add_option("-o,--output", decode.output,
                        "write the pixels: a PNG when the name ends in .png, else the decoder's raw bytes");
  decodeCmd->add_flag("--json", decode.json, "print the results as one JSON object");
  decodeCmd->add_option("--plugin", unusedPlugin,
                        "accepted like on every command; decode uses the decoder built into lvs, the same source "
                        "as the module's");

  // CLI11 would only say that a command is required.
  if (argc > 1 && argv[1][0] != '-' && !IsCommand(app, argv[1])) {
    std::fprintf(stderr, "lvs: unknown command '%s' (commands: info, render, check, decode; see lvs --help)\n",
                 argv[1]);
    return lvs::kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help
  } catch (const CLI::ParseError& e) {
    app.exit(e);
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
    return lvs::RunDecode(decode);
  } catch (const std::bad_alloc&) {
    std::fflush(stdout);
    std::fprintf(stderr, "lvs: out of memory\n");
    return lvs::kExitFailed;
  }
}
