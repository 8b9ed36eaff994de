// lvs: shows what the host sees of a style package, without the host, and
// makes packages the host will show. Every command that involves the
// plug-in loads the real module into the substitute host and drives it
// through its callbacks. Each command reads its own options (CommandLine.h);
// this only picks the command and words what the parser refuses.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <new>
#include <sstream>

#include "Cleanup.h"
#include "CommandLine.h"
#include "CommandSupport.h"
#include "Process.h"
#include "TextOutput.h"

namespace {

const char kFooter[] =
    "A file argument of \"-\" reads standard input; an output of \"-\" writes standard output.\n"
    "Every command that loads the plug-in takes --plugin PATH to load another build of it; every command\n"
    "takes -q (--quiet), -V (--version) and --help. \"lvs help COMMAND\" explains a command.\n"
    "\n"
    "Exit codes, the same on every command (the highest applies when several do):\n"
    "  0  all went well\n"
    "  1  a package or file failed: it does not open, draw, check or decode, a package on a sheet has a\n"
    "     problem, or pack refused its metadata, its preview or the package it wrote\n"
    "  2  bad arguments, or a file or folder that cannot be read or written\n"
    "  3  the plug-in module cannot be loaded\n"
    "  4  the plug-in left something behind in the host (its report goes to stderr)";

struct Commands {
  CLI::App app{"lvs: see what the host sees of Lumivastrin style packages (.lvs), without the host, and make them",
               "lvs"};
  std::vector<lvs::Command> list;

  Commands() {
    app.require_subcommand(1, 1);
    // CLI11 would take "/x" for an option on Windows; lvs's options are the
    // same everywhere, and a path may start with a slash.
    app.allow_windows_style_options(false);
    lvs::AddVersionFlag(&app);
    app.footer(kFooter);
    list = {lvs::AddInfoCommand(app), lvs::AddRenderCommand(app), lvs::AddCheckCommand(app), lvs::AddSheetCommand(app),
            lvs::AddPackCommand(app), lvs::AddUnpackCommand(app), lvs::AddDecodeCommand(app)};
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const lvs::Command& command : list) names.push_back(command.app->get_name());
    return names;
  }
  const lvs::Command* Find(const std::string& name) const {
    for (const lvs::Command& command : list)
      if (command.app->get_name() == name) return &command;
    return nullptr;
  }
};

int UnknownCommand(const Commands& commands, const std::string& word) {
  std::string text = "lvs: unknown command '" + lvs::Printable(word) + "'";
  if (const auto near = lvs::NearestOf(word, commands.Names())) text += "; did you mean '" + *near + "'?";
  std::string names;
  for (const std::string& name : commands.Names()) names += (names.empty() ? "" : ", ") + name;
  lvs::Emit(lvs::Stream::Err, text + " (commands: " + names + "; see lvs help)\n");
  return lvs::kExitUsage;
}

// lvs help [COMMAND].
int Help(const Commands& commands, int argc, char** argv) {
  if (argc > 3) {
    lvs::Emit(lvs::Stream::Err, "lvs help: name one command at most\n");
    return lvs::kExitUsage;
  }
  if (argc == 2) {
    lvs::Emit(commands.app.help());
    return lvs::kExitOk;
  }
  const lvs::Command* command = commands.Find(argv[2]);
  if (!command) return UnknownCommand(commands, argv[2]);
  lvs::Emit(command->app->help("lvs"));
  return lvs::kExitOk;
}

// What the parser refused, said by the command it refused it for, with the
// option meant when a mistyped one is near enough to one.
int ParseFailure(const Commands& commands, const lvs::Command* command, const CLI::ParseError& e) {
  const std::string prefix = command ? "lvs " + command->app->get_name() + ": " : "lvs: ";
  for (const std::string& extra : commands.app.remaining(true)) {
    if (extra.size() < 2 || extra[0] != '-') continue;
    const std::string option = extra.substr(0, extra.find('='));
    std::string text = prefix + "unknown option " + lvs::Printable(option);
    if (command)
      if (const auto near = lvs::NearestOf(option, lvs::OptionNames(*command->app)))
        text += "; did you mean " + *near + "?";
    lvs::Emit(lvs::Stream::Err, text + " (see lvs help" + (command ? " " + command->app->get_name() : "") + ")\n");
    return lvs::kExitUsage;
  }
  if (!command) {
    std::string names;
    for (const std::string& name : commands.Names()) names += (names.empty() ? "" : ", ") + name;
    lvs::Emit(lvs::Stream::Err, "lvs: name a command: " + names + " (see lvs help)\n");
  } else {
    lvs::Emit(lvs::Stream::Err, prefix + e.what() + "\n");
  }
  return lvs::kExitUsage;
}

int Run(int argc, char** argv) {
  Commands commands;
  const lvs::Command* command = nullptr;
  if (argc > 1 && argv[1][0] != '-') {
    if (std::string(argv[1]) == "help") return Help(commands, argc, argv);
    command = commands.Find(argv[1]);
    if (!command) return UnknownCommand(commands, argv[1]);
  }
  try {
    commands.app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    // --help and --version, through the same checked writer as every report.
    std::ostringstream text;
    const int code = commands.app.exit(e, text);
    lvs::Emit(text.str());
    return code;
  } catch (const CLI::ParseError& e) {
    return ParseFailure(commands, command, e);
  }
  lvs::SetCommandName(command->app->get_name());

  // A package can ask for more memory than the machine has; that is a
  // failure of the package, reported like any other.
  try {
    return command->run();
  } catch (const std::bad_alloc&) {
    lvs::Complain("out of memory");
    return lvs::kExitFailed;
  } catch (const std::filesystem::filesystem_error& e) {
    lvs::Complain(e.what());
    return lvs::kExitUsage;
  }
}

}  // namespace

int main(int argc, char** argv) {
  lvs::PrepareProcess();
  // Before the first temporary file, so that no signal can leave one behind.
  lvs::InstallCleanupHandlers();
  std::vector<std::string> arguments = lvs::Utf8Arguments(argc, argv);
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(&argument[0]);
  pointers.push_back(nullptr);
  return lvs::FinishStandardOutput(Run(int(arguments.size()), pointers.data()));
}
