// How lvs reads its command line: each command adds itself (its options
// bound to a state of its own) and hands back what runs it; the options
// several commands share are added here, so that they are spelt, checked
// and explained the same everywhere.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Problems.h"

namespace lvs {

struct Command {
  CLI::App* app = nullptr;
  std::function<int()> run;  // once the line has parsed
};

// Each command's own file defines its adder.
Command AddInfoCommand(CLI::App& lvs);
Command AddRenderCommand(CLI::App& lvs);
Command AddCheckCommand(CLI::App& lvs);
Command AddSheetCommand(CLI::App& lvs);
Command AddPackCommand(CLI::App& lvs);
Command AddUnpackCommand(CLI::App& lvs);
Command AddDecodeCommand(CLI::App& lvs);

// -V, --version: the tool's version, on the tool and on every command.
void AddVersionFlag(CLI::App* command);
// -q, --quiet.
void AddQuietFlag(CLI::App* command, bool* quiet);
// --plugin PATH.
void AddPluginOption(CLI::App* command, std::string* plugin);

// What --fail-on names: the mildest severity that fails the run; none
// ("never") lets no package fail it.
using FailOn = std::optional<Severity>;

// The options of every command that takes many packages (info, check,
// sheet).
struct BatchOptions {
  std::vector<std::string> packages;
  bool recursive = false;
  int jobs = 0;  // 0: one per processor the process may run on
  bool json = false;
  bool quiet = false;
  bool onlyProblems = false;
  std::optional<bool> progress;  // --progress, --no-progress; else when stderr is a terminal
  FailOn failOn;
  std::string plugin;
};

// Adds them; `failOn` is the command's default, and `walksAlways` says that
// folders are searched with or without -r (sheet).
void AddBatchOptions(CLI::App* command, BatchOptions* options, FailOn failOn, bool walksAlways = false);

// Whether a package whose worst problem is `worst` fails the run.
bool Fails(const FailOn& failOn, const std::optional<Severity>& worst);

// The nearest of `candidates` to a mistyped `word`, when one is near enough
// to be what was meant (a letter or two off, or transposed).
std::optional<std::string> NearestOf(const std::string& word, const std::vector<std::string>& candidates);

// The long and short names (with their dashes) of a command's options.
std::vector<std::string> OptionNames(const CLI::App& command);

}  // namespace lvs
