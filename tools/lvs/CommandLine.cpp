#include "CommandLine.h"

#include <algorithm>

namespace lvs {
namespace {

// Letters inserted, removed, changed or swapped with a neighbour.
size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i)
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

std::string WithoutDashes(const std::string& s) { return s.substr(std::min(s.find_first_not_of('-'), s.size())); }

}  // namespace

void AddVersionFlag(CLI::App* command) { command->set_version_flag("-V,--version", "lvs " LVS_VERSION); }

void AddQuietFlag(CLI::App* command, bool* quiet) {
  command->add_flag("-q,--quiet", *quiet, "print nothing but errors; the exit code tells the outcome");
}

void AddPluginOption(CLI::App* command, std::string* plugin) {
  command->add_option("--plugin", *plugin, "plug-in module to load (default: the one built or installed with lvs)");
}

void AddBatchOptions(CLI::App* command, BatchOptions* options, FailOn failOn, bool walksAlways) {
  options->failOn = failOn;
  options->recursive = walksAlways;
  command->add_option("PACKAGE", options->packages,
                      walksAlways ? "style packages, and folders to search for *.lvs files"
                                  : "style packages (folders with -r); - reads one from standard input");
  command->add_flag("-r,--recursive", options->recursive,
                    walksAlways ? "search folders for *.lvs files (a sheet always does)"
                                : "every *.lvs file in the folders named, and below");
  command
      ->add_option("-j,--jobs", options->jobs,
                   "processes at work at once (default: one per processor this process may use)")
      ->check(CLI::Range(1, 64));
  command->add_flag("--json", options->json, "one JSON object per package, one per line");
  AddQuietFlag(command, &options->quiet);
  command->add_flag("--only-problems", options->onlyProblems, "report only the packages that have problems");
  command->add_flag_callback(
      "--progress", [options] { options->progress = true; },
      "show progress on standard error even when it is not a terminal");
  command->add_flag_callback(
      "--no-progress", [options] { options->progress = false; }, "never show progress");
  const std::string byDefault = failOn ? SeverityName(*failOn) : "never";
  command
      ->add_option_function<std::string>(
          "--fail-on",
          [options](const std::string& name) {
            options->failOn.reset();
            for (const Severity s : {Severity::NoImport, Severity::Fallback, Severity::Lossy, Severity::Warning})
              if (name == SeverityName(s)) options->failOn = s;
          },
          "the mildest problem that makes the exit code 1: no-import, fallback, lossy, warning or never (default: " +
              byDefault + ")")
      ->check(CLI::IsMember({"no-import", "fallback", "lossy", "warning", "never"}));
  AddPluginOption(command, &options->plugin);
}

bool Fails(const FailOn& failOn, const std::optional<Severity>& worst) { return failOn && worst && *worst <= *failOn; }

std::optional<std::string> NearestOf(const std::string& word, const std::vector<std::string>& candidates) {
  const std::string bare = WithoutDashes(word);
  std::optional<std::string> best;
  size_t bestDistance = 0;
  for (const std::string& candidate : candidates) {
    const size_t distance = EditDistance(bare, WithoutDashes(candidate));
    if (!best || distance < bestDistance) best = candidate, bestDistance = distance;
  }
  // A letter or two of a short word could be anything: no guess for those.
  const size_t allowed = std::min<size_t>(2, bare.size() / 3);
  if (!best || bestDistance == 0 || bestDistance > allowed) return std::nullopt;
  return best;
}

std::vector<std::string> OptionNames(const CLI::App& command) {
  std::vector<std::string> names;
  for (const CLI::Option* option : command.get_options()) {
    for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
    for (const std::string& name : option->get_snames()) names.push_back("-" + name);
  }
  return names;
}

}  // namespace lvs
