// lvs's command line as a package author meets it: the same version and
// help everywhere, mistakes named with the command and the name meant, and
// the options of the commands that take many packages (what fails the run,
// what is listed, the counts and the progress on stderr).
#include "lvs_tool_support.h"

using namespace lvs_test;

namespace {

class LvsCli : public LvsTool {
 protected:
  // One package of each outcome: fine, lossy, fallback, no-import.
  std::vector<std::string> Mixed() {
    return {Good(),
            scratch.Package("long.lvs",
                            R"({"name":")" + std::string(300, 'n') + R"(","author":"b","hash":"c","version":2})",
                            Preview()),
            NoPreview(), File("text.lvs", "not a zip")};
  }
};

TEST_F(LvsCli, VersionAndHelpAreTheSameOnEveryCommand) {
  const std::string version = "lvs " LVS_VERSION "\n";
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"-V"},
                                                                                    {"--version"},
                                                                                    {"info", "-V"},
                                                                                    {"check", "--version"},
                                                                                    {"render", "-V"},
                                                                                    {"sheet", "-V"},
                                                                                    {"pack", "--version"},
                                                                                    {"unpack", "-V"},
                                                                                    {"decode", "-V"}}) {
    const ToolRun run = Lvs(args);
    EXPECT_EQ(run.exitCode, 0) << args[0];
    EXPECT_EQ(run.out, version) << args[0];
  }
  const ToolRun all = Lvs({"help"});
  EXPECT_EQ(all.exitCode, 0);
  for (const char* command : {"info", "render", "check", "sheet", "pack", "unpack", "decode"})
    EXPECT_NE(all.out.find(command), std::string::npos) << command;
  const ToolRun check = Lvs({"help", "check"});
  EXPECT_EQ(check.exitCode, 0);
  EXPECT_EQ(check.out, Lvs({"check", "--help"}).out);
  EXPECT_NE(check.out.find("--fail-on"), std::string::npos);
  EXPECT_NE(check.out.find("Usage: lvs check"), std::string::npos);
}

// Every refusal of the parser says which command refused it and exits 2; a
// name a letter or two off gets the one meant.
TEST_F(LvsCli, MistakesNameTheCommandAndTheNameMeant) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"chek", "x.lvs"}, "lvs: unknown command 'chek'; did you mean 'check'?"},
      {{"help", "unpak"}, "lvs: unknown command 'unpak'"},
      {{"frobnicate"}, "lvs: unknown command 'frobnicate' (commands: "},
      {{}, "lvs: name a command: "},
      {{"check", "--jsno", "x.lvs"}, "lvs check: unknown option --jsno; did you mean --json?"},
      {{"render", "x.lvs", "--ouput=y.png"}, "lvs render: unknown option --ouput; did you mean --output?"},
      {{"check", "--fail-on", "lossless", "x.lvs"}, "lvs check: --fail-on: "},
      {{"check", "-j", "0", "x.lvs"}, "lvs check: --jobs: "},
      {{"pack", "--preview", "p.jpg"}, "lvs pack: --output is required"},
      {{"pack", "-o", "x.lvs", "--preview", "p.jpg", "--meta", "m", "--name", "n"}, "lvs pack: "},
      {{"decode", "x.jpg", "--plugin", "m.so"}, "lvs decode: unknown option --plugin (see lvs help decode)"},
      {{"check", "--frobnicate", "x.lvs"}, "lvs check: unknown option --frobnicate (see lvs help check)"},
      {{"check", "-x", "x.lvs"}, "lvs check: unknown option -x (see lvs help check)"},  // no guess from one letter
  };
  for (const Case& c : cases) {
    const ToolRun run = Lvs(c.args);
    EXPECT_EQ(run.exitCode, 2) << c.err;
    EXPECT_EQ(run.err.rfind(c.err, 0), 0u) << run.err;
    EXPECT_EQ(run.out, "") << c.err;
  }
}

// --fail-on moves the line between a package that passes and one that
// fails; the defaults keep check failing on any problem and info on what the
// host would not show.
TEST_F(LvsCli, FailOnDecidesWhichSeverityFailsTheRun) {
  const std::vector<std::string> fine = {Good()};
  const std::string lossy = Mixed()[1], fallback = NoPreview(), broken = File("text.lvs", "not a zip");
  struct Case {
    std::string command, failOn, package;
    int exitCode;
  };
  const std::vector<Case> cases = {
      {"check", "", lossy, 1},
      {"info", "", lossy, 0},
      {"info", "", fallback, 1},
      {"check", "never", broken, 0},
      {"check", "no-import", fallback, 0},
      {"check", "no-import", broken, 1},
      {"info", "fallback", fallback, 1},
      {"info", "lossy", lossy, 1},
      {"check", "warning", fine[0], 0},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {c.command, "-q", c.package};
    if (!c.failOn.empty()) args.insert(args.end(), {"--fail-on", c.failOn});
    EXPECT_EQ(Lvs(args).exitCode, c.exitCode) << c.command << " --fail-on " << c.failOn << " " << c.package;
  }
  // A package that cannot be read at all is a usage failure, whatever fails.
  if (lvs_test::FoldersCanBeStandardInput()) {
    EXPECT_EQ(Lvs({"check", "--fail-on", "never", "-"}, scratch.Dir().string()).exitCode, 2);
  }
}

TEST_F(LvsCli, OnlyProblemsAndTheClosingCounts) {
  std::vector<std::string> args = {"check", "--json", "--only-problems", "-j", "2"};
  const std::vector<std::string> packages = Mixed();
  args.insert(args.end(), packages.begin(), packages.end());
  const ToolRun run = Lvs(args);
  EXPECT_EQ(run.exitCode, 1);
  std::vector<std::string> listed;
  for (const json& line : run.Lines()) listed.push_back(line["package"]);
  EXPECT_EQ(listed, (std::vector<std::string>{packages[1], packages[2], packages[3]}));
  EXPECT_EQ(run.err, "lvs check: 4 packages: 1 OK, 3 with problems (1 no-import, 1 fallback, 1 lossy).\n");

  // Text reports too; one package alone gets no count, and -q none at all.
  args = {"info", "--only-problems", packages[0], packages[2]};
  const ToolRun info = Lvs(args);
  EXPECT_EQ(info.out.find(packages[0]), std::string::npos);
  EXPECT_EQ(info.out.rfind(packages[2] + ":", 0), 0u) << info.out;
  EXPECT_EQ(info.err, "lvs info: 2 packages: 1 OK, 1 with problems (1 fallback).\n");
  EXPECT_EQ(Lvs({"check", packages[0]}).err, "");
  EXPECT_EQ(Lvs({"check", "-q", packages[0], packages[3]}).err, "");
  EXPECT_EQ(Lvs({"check", "-r", scratch.Path("nowhere-empty")}).err.find("packages:"), std::string::npos);
}

// Progress is drawn on stderr when asked (or to a terminal) and wiped before
// the counts; the reports on stdout hold none of it.
TEST_F(LvsCli, ProgressGoesToStandardErrorAndIsWiped) {
  const std::vector<std::string> packages = Mixed();
  std::vector<std::string> args = {"check", "--progress", "-j", "1"};
  args.insert(args.end(), packages.begin(), packages.end());
  const ToolRun shown = Lvs(args);
  EXPECT_NE(shown.err.find("\rlvs check: 4/4 (100%) text.lvs"), std::string::npos) << shown.err;
  EXPECT_EQ(shown.out.find('\r'), std::string::npos);
  const std::string counts = "lvs check: 4 packages:";
  ASSERT_NE(shown.err.rfind(counts), std::string::npos);
  // The last thing before the counts is the wiped line, ending in "\r".
  EXPECT_EQ(shown.err[shown.err.rfind(counts) - 1], '\r');
  args[1] = "--no-progress";
  EXPECT_EQ(Lvs(args).err.find('\r'), std::string::npos);
  args.erase(args.begin() + 1);
  EXPECT_EQ(Lvs(args).err.find('\r'), std::string::npos);  // not a terminal
}

}  // namespace
