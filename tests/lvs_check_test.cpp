// lvs check and info as scripts use them: stable problem codes with
// severities, folders walked, the same reasons from both commands, and the
// habits every command shares (standard input, --quiet, exit codes).
#include <map>
#include <set>

#include "lvs_tool_support.h"

using namespace lvs_test;

namespace {

std::set<std::string> Codes(const json& line) {
  std::set<std::string> codes;
  for (const json& p : line.at("problems")) codes.insert(p.at("code").get<std::string>());
  return codes;
}

class LvsCheck : public LvsTool {};

// Each kind of fault gets its code and the severity of what the host makes of
// it; the package's severity is its worst problem's.
TEST_F(LvsCheck, EachFaultHasItsCodeAndSeverity) {
  const Bytes meta = ToBytes(kMeta);
  const std::string longName(300, 'N'), whole = Slurp(Good());
  struct Case {
    std::string package, code, severity;
    std::string says = {};  // words the problem's message must hold: the decoder's own refusal
  };
  const std::vector<Case> cases = {
      {scratch.Package("nometa.lvs", {Sealed("prv", Preview())}), "meta.missing", "no-import"},
      {scratch.Package("Meta.lvs", {Sealed("Meta", meta), Sealed("prv", Preview())}), "meta.misnamed", "no-import"},
      {scratch.Package("strver.lvs", R"({"name":"a","author":"b","hash":"c","version":"2"})", Preview()),
       "meta.version-string", "no-import"},
      {scratch.Package("nohash.lvs", R"({"name":"a","author":"b","version":2})", Preview()), "meta.key-missing",
       "no-import"},
      {File("text.lvs", "not a zip\n"), "zip.not-an-archive", "no-import"},
      {File("cut.lvs", whole.substr(0, 40)), "zip.truncated", "no-import"},
      {scratch.Package("wide.lvs", kMeta, PhotoJpeg(1281, 720)), "prv.wrong-size", "fallback"},
      {scratch.Package("progressive.lvs", kMeta, PhotoJpeg(1280, 720, Subsampling::S420, true)), "prv.unsupported-jpeg",
       "fallback", "is a progressive JPEG"},
      {scratch.ForeignPackage("locked.lvs", {Sealed("meta", meta), Sealed("prv", Preview(), "other")}, "prv"),
       "prv.wrong-password", "fallback"},
      {scratch.Package("png.lvs", {Sealed("meta", meta), Sealed("prv", ToBytes("\x89PNG\r\n\x1a\n rest"))}), "prv.png",
       "fallback"},
      {NoPreview(), "prv.missing", "fallback"},
      {scratch.Package("long.lvs", R"({"name":")" + longName + R"(","author":"b","hash":"c","version":2})", Preview()),
       "meta.name-cut", "lossy"},
      {scratch.Package("nul.lvs", R"({"name":"a","author":"b\u0000c","hash":"c","version":2})", Preview()),
       "meta.author-cut", "lossy"},
      {scratch.Package("half.lvs", R"({"name":"a","author":"b","hash":"c","version":2.5})", Preview()),
       "meta.version-cut", "lossy"},
      {scratch.Package("huge.lvs", R"({"name":"a","author":"b","hash":"c","version":4294967298})", Preview()),
       "meta.version-cut", "lossy"},
  };
  std::vector<std::string> args = {"check", "--json"};
  for (const Case& c : cases) args.push_back(c.package);
  const ToolRun run = Lvs(args);
  EXPECT_EQ(run.exitCode, 1) << run.err;
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), cases.size()) << run.out;
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(lines[i].dump());
    EXPECT_EQ(lines[i]["ok"], false);
    EXPECT_EQ(lines[i]["severity"], cases[i].severity);
    EXPECT_EQ(Codes(lines[i]).count(cases[i].code), 1u);
    EXPECT_NE(lines[i].dump().find(cases[i].says), std::string::npos);
    for (const json& p : lines[i]["problems"]) EXPECT_FALSE(p["message"].get<std::string>().empty());
  }
  // A long name that fits, and a whole number written with a fraction, lose nothing.
  const std::string fits(254, 'N');
  const ToolRun exact = Lvs(
      {"check", "--json",
       scratch.Package("fits.lvs", R"({"name":")" + fits + R"(","author":"b","hash":"c","version":2.0})", Preview())});
  EXPECT_EQ(exact.exitCode, 0) << exact.out;
  EXPECT_EQ(exact.Lines().at(0)["severity"], nullptr);
}

// Another password and damaged data are told apart, in both entries: by the
// cipher header's check byte, which libzip takes from the entry's time (and
// other writers from its CRC, tests/hostile). Damaged is said of an
// encrypted entry whose header checks and of a plain one.
TEST_F(LvsCheck, AnotherPasswordIsToldFromDamagedData) {
  const Bytes meta = ToBytes(kMeta);
  const auto flipped = [&](const std::string& file, const std::string& name, bool encrypted) {
    const std::string password = encrypted ? kPackagePassword : "";
    Bytes bytes = ToBytes(Slurp(scratch.Package(file, {{"meta", meta, lvs_maker::Method::Deflate, password},
                                                       {"prv", Preview(), lvs_maker::Method::Deflate, password}})));
    const size_t at = LocalHeaderOf(bytes, name);
    bytes[at + 30 + Le16At(bytes, at + 26) + Le16At(bytes, at + 28) + 12 + 30] ^= 0x10;
    return File(file, bytes);
  };
  struct Case {
    std::string package, code, says;
  };
  const std::vector<Case> cases = {
      {scratch.ForeignPackage("prv-other.lvs", {Sealed("meta", meta), Sealed("prv", Preview(), "other")}, "prv"),
       "prv.wrong-password", "another password"},
      {scratch.ForeignPackage("meta-other.lvs", {Sealed("meta", meta, "other"), Sealed("prv", Preview())}, "meta"),
       "meta.wrong-password", "another password"},
      {flipped("prv-flipped.lvs", "prv", true), "prv.damaged", "is damaged"},
      {flipped("meta-flipped.lvs", "meta", true), "meta.damaged", "is damaged"},
      {flipped("prv-plain.lvs", "prv", false), "prv.damaged", "is damaged"},
  };
  std::vector<std::string> args = {"check", "--json"};
  for (const Case& c : cases) args.push_back(c.package);
  const auto lines = Lvs(args).Lines();
  ASSERT_EQ(lines.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(lines[i].dump());
    EXPECT_EQ(Codes(lines[i]), std::set<std::string>{cases[i].code});
    EXPECT_NE(lines[i].dump().find(cases[i].says), std::string::npos);
  }
}

// The list --codes prints is the one check reports from: every code it
// reports is listed there with the same severity, and no code twice.
TEST_F(LvsCheck, ReportedCodesAreListedWithTheirSeverity) {
  const ToolRun list = Lvs({"check", "--codes", "--json"});
  ASSERT_EQ(list.exitCode, 0);
  std::map<std::string, std::string> listed;
  for (const json& line : list.Lines())
    EXPECT_TRUE(listed.emplace(line["code"], line["severity"]).second) << line["code"] << " twice";
  EXPECT_GE(listed.size(), 40u);
  const ToolRun run = Lvs({"check", "--json", Good(), NoPreview(), File("x.lvs", "x"), scratch.Path("gone.lvs"),
                           scratch.Dir().string(), File("good.zip", Slurp(Good()))});
  for (const json& line : run.Lines())
    for (const json& p : line["problems"]) {
      ASSERT_EQ(listed.count(p["code"]), 1u) << p;
      EXPECT_EQ(listed[p["code"]], p["severity"]) << p;
    }
  EXPECT_EQ(Codes(run.Lines().at(3)), std::set<std::string>{"file.missing"});
  EXPECT_EQ(Codes(run.Lines().at(4)), std::set<std::string>{"file.folder"});
  EXPECT_EQ(Codes(run.Lines().at(5)), std::set<std::string>{"file.extension"});
}

// info names a failing package's problems exactly as check does.
TEST_F(LvsCheck, InfoGivesCheckReasonsForAFailingPackage) {
  const std::vector<std::string> packages = {
      scratch.Package("nometa.lvs", {Sealed("prv", Preview())}),
      scratch.Package("badjson.lvs", "{\"name\":", Preview()),
      File("text.lvs", "plain"),
      scratch.Package("long.lvs", R"({"name":"a","author":")" + std::string(400, 'x') + R"(","hash":"c","version":1})",
                      Preview()),
  };
  std::vector<std::string> args = {"--json"};
  args.insert(args.end(), packages.begin(), packages.end());
  args.insert(args.begin(), "info");
  const ToolRun info = Lvs(args);
  args[0] = "check";
  const ToolRun check = Lvs(args);
  ASSERT_EQ(info.Lines().size(), packages.size());
  ASSERT_EQ(check.Lines().size(), packages.size());
  for (size_t i = 0; i < packages.size(); ++i) {
    EXPECT_FALSE(info.Lines()[i]["problems"].empty()) << packages[i];
    EXPECT_EQ(info.Lines()[i]["problems"], check.Lines()[i]["problems"]) << packages[i];
  }
  // A package that imports with a cut text still exits 0 from info: it opened.
  EXPECT_EQ(Lvs({"info", packages[3]}).exitCode, 0);
  const ToolRun text = Lvs({"info", packages[0]});
  EXPECT_NE(text.out.find("[meta.missing]"), std::string::npos) << text.out;
}

// Folders are walked for *.lvs files only, in byte order of the names, each
// folder once however links lead back to it.
TEST_F(LvsCheck, RecursiveWalkIsOrderedAndSurvivesLinkLoops) {
  const std::string good = Slurp(Good());
  fs::remove(Good());
  File("lib/b/z.lvs", good);
  File("lib/b/a.LVS", good);
  File("lib/a/m.lvs", good);
  File("lib/a/notes.txt", "ignored");
  File("lib/a/prv.jpg", Preview());
  File("lib/B.lvs", "not a package");
  fs::create_directory_symlink("..", scratch.Path("lib/a/up"));
  fs::create_directory_symlink(scratch.Path("lib"), scratch.Path("lib/b/loop"));
  fs::create_directory(scratch.Path("lib/empty"));

  const ToolRun run = Lvs({"check", "-r", "--json", "lib"});
  EXPECT_EQ(run.exitCode, 1) << run.err;
  std::vector<std::string> order;
  for (const json& line : run.Lines()) order.push_back(line["package"]);
  EXPECT_EQ(order, (std::vector<std::string>{"lib/B.lvs", "lib/a/m.lvs", "lib/b/a.LVS", "lib/b/z.lvs"}));
  // Into lib again through lib/b/loop, whose own links then lead nowhere new.
  order.clear();
  for (const json& line : Lvs({"check", "-r", "--json", "lib/b"}).Lines()) order.push_back(line["package"]);
  EXPECT_EQ(order, (std::vector<std::string>{"lib/b/a.LVS", "lib/b/loop/B.lvs", "lib/b/loop/a/m.lvs", "lib/b/z.lvs"}));
  EXPECT_EQ(Lvs({"check", "-r", "-q", "lib/empty"}).exitCode, 0);
  EXPECT_EQ(Codes(Lvs({"check", "--json", "lib"}).Lines().at(0)), std::set<std::string>{"file.folder"});
}

// Several processes check a folder as one would: the same lines in the same
// order and the same exit code; a module that cannot load is said once.
TEST_F(LvsCheck, ParallelChecksReportAsOneProcessWould) {
  const std::string good = Slurp(Good());
  for (int i = 0; i < 9; ++i) File("lib/good" + std::to_string(i) + ".lvs", good);
  File("lib/d/text.lvs", "no zip");
  scratch.Package("lib/d/wide.lvs", kMeta, PhotoJpeg(1281, 720));
  scratch.Package("lib/e/long.lvs",
                  R"({"name":")" + std::string(260, 'n') + R"(","author":"b","hash":"c","version":1})", Preview());
  for (const bool json : {true, false}) {
    std::vector<std::string> args = {"check", "-r", "lib"};
    if (json) args.push_back("--json");
    args.insert(args.end(), {"-j", "1"});
    const ToolRun one = Lvs(args);
    args.back() = "3";
    const ToolRun three = Lvs(args);
    EXPECT_EQ(one.exitCode, 1);
    EXPECT_EQ(three.exitCode, 1);
    EXPECT_EQ(three.out, one.out);
    EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\n'), json ? 12 : 15);
  }
  const ToolRun broken = Lvs({"check", "-r", "-j", "3", "lib", "--plugin", File("fake.so", "not a module")});
  EXPECT_EQ(broken.exitCode, 3);
  EXPECT_EQ(std::count(broken.err.begin(), broken.err.end(), '\n'), 1) << broken.err;
}

// "-" reads a package from standard input; --quiet keeps stdout empty but
// not the exit code; the same failure gives the same exit code everywhere.
TEST_F(LvsCheck, StandardInputQuietAndExitCodesAgree) {
  const std::string good = Good();
  const std::string broken = File("broken.lvs", "no zip here");
  EXPECT_EQ(Lvs({"check", "-"}, good).exitCode, 0);
  const ToolRun fromStdin = Lvs({"info", "--json", "-"}, good);
  ASSERT_EQ(fromStdin.exitCode, 0) << fromStdin.err;
  EXPECT_EQ(fromStdin.Lines().at(0)["name"], "Ink");
  EXPECT_EQ(Codes(Lvs({"check", "--json", "-"}, broken).Lines().at(0)), std::set<std::string>{"zip.not-an-archive"});

  for (const char* command : {"check", "info"}) {
    const ToolRun quiet = Lvs({command, "-q", good, broken});
    EXPECT_EQ(quiet.exitCode, 1) << command;
    EXPECT_EQ(quiet.out, "") << command;
  }
  const std::string missing = scratch.Path("missing.lvs");
  for (const auto& args : std::vector<std::vector<std::string>>{{"check", missing},
                                                                {"info", missing},
                                                                {"render", missing, "-o", "r.png"},
                                                                {"sheet", missing, "-o", "s.png"}})
    EXPECT_EQ(Lvs(args).exitCode, 1) << args[0];
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"decode", scratch.Path("missing.jpg")},
           {"pack", "-o", "p.lvs", "--preview", scratch.Path("missing.jpg"), "--meta", File("m.json", kMeta)}})
    EXPECT_EQ(Lvs(args).exitCode, 2) << args[0];
  const ToolRun version = Lvs({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "lvs " LVS_VERSION "\n");
}

}  // namespace
