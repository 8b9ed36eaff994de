// The lvs tool run as a process: each command's output and exit code.
#include <sys/stat.h>

#include "lvs_tool_support.h"
#include "SameSamples.h"

using namespace lvs_test;
using nlohmann::json;

namespace {

// What the plug-in recorded, under the verdict; a package that did not
// import has nothing recorded, not a record of empty texts and version 0.
TEST_F(LvsTool, InfoPrintsOneRecordPerPackage) {
  Good();
  ToolRun run = Lvs({"info", "--json", "good.lvs", NoPreview(), File("notes.lvs", "just text\n")});
  EXPECT_EQ(run.exitCode, 1);
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_EQ(lines[0], (json{{"package", "good.lvs"},
                            {"path", scratch.Path("good.lvs")},
                            {"result", 0},
                            {"draw_result", 0},
                            {"name", "Ink"},
                            {"author", "A. B."},
                            {"hash", "9f2c"},
                            {"version", 3},
                            {"ok", true},
                            {"severity", nullptr},
                            {"shows", "preview"},
                            {"problems", json::array()}}));
  EXPECT_EQ(lines[1]["result"], 0);
  EXPECT_EQ(lines[1]["name"], "Ink");
  EXPECT_EQ(lines[1]["shows"], "fallback");
  EXPECT_EQ(lines[2]["result"], 512);
  EXPECT_EQ(lines[2]["shows"], "not-imported");
  for (const char* key : {"path", "name", "author", "hash", "version", "draw_result"})
    EXPECT_EQ(lines[2][key], nullptr) << key;

  // A package that imports but shows the fallback fails info on its own.
  EXPECT_EQ(Lvs({"info", "-q", NoPreview()}).exitCode, 1);
  EXPECT_EQ(Lvs({"info", "-q", "good.lvs"}).exitCode, 0);
  const ToolRun text = Lvs({"info", "notes.lvs"});
  EXPECT_EQ(text.out.find("name:"), std::string::npos) << text.out;
  EXPECT_EQ(text.out.find("version:"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("[zip.not-an-archive]"), std::string::npos) << text.out;
}

// render says what the host will show and exits 1 when it is not the
// package's preview; the PNG is what the world holds either way.
TEST_F(LvsTool, RenderWritesTheDrawnFrameOrExitsOne) {
  ToolRun run = Lvs({"render", Good(), "-o", "out.png", "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.Lines().at(0), (json{{"package", Good()},
                                     {"open_result", 0},
                                     {"draw_result", 0},
                                     {"width", 1280},
                                     {"height", 720},
                                     {"depth", 8},
                                     {"output", "out.png"},
                                     {"ok", true},
                                     {"severity", nullptr},
                                     {"shows", "preview"},
                                     {"problems", json::array()}}));
  EXPECT_TRUE(SameSamples(ReadPng(scratch.Path("out.png")), Rgba(Preview())));
  run = Lvs({"render", scratch.Package("nometa.lvs", {Sealed("prv", Preview())}), "-o", "none.png", "--json"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.Lines().at(0)["open_result"], 512);
  EXPECT_EQ(run.Lines().at(0)["problems"].at(0)["code"], "meta.missing");
  EXPECT_FALSE(fs::exists(scratch.Path("none.png")));
  for (const std::string depth : {"8", "16", "32"}) {
    run = Lvs({"render", scratch.Package("wide.lvs", kMeta, PhotoJpeg(1281, 720)), "-o", "wide.png", "--depth", depth,
               "--size", "640x360"});
    EXPECT_EQ(run.exitCode, 1) << depth;
    EXPECT_NE(run.out.find("NOT OK"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("[prv.wrong-size] The preview is 1281 by 720"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("fallback picture"), std::string::npos) << run.out;
  }
  EXPECT_EQ(ReadPng(scratch.Path("wide.png")).size(), size_t(640) * 360 * 4);
  run = Lvs({"render", scratch.Path("missing.lvs"), "-o", "missing.png"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find("[file.missing]"), std::string::npos) << run.out;
  run =
      Lvs({"render", scratch.Package("locked.lvs", {Sealed("meta", ToBytes(kMeta)), Sealed("prv", Preview(), "other")}),
           "-o", "locked.png", "--json"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.Lines().at(0)["draw_result"], 512);
  EXPECT_EQ(run.Lines().at(0)["shows"], "no-frame");
  EXPECT_EQ(run.Lines().at(0)["problems"].at(0)["code"], "prv.wrong-password");
  EXPECT_FALSE(ReadPng(scratch.Path("locked.png")).empty());
}

TEST_F(LvsTool, CheckPassesGoodPackagesAndExplainsEveryFailure) {
  const Bytes good = Preview(), meta = ToBytes(kMeta);
  const std::pair<std::string, std::string> cases[] = {
      {Good(), ""},
      {scratch.Package("nometa.lvs", {Sealed("prv", good)}), "no \"meta\" entry"},
      {NoPreview(), "no \"prv\" entry (the preview picture)"},
      {scratch.Package("wide.lvs", kMeta, PhotoJpeg(1281, 720)), "is 1281 by 720, not 1280 by 720"},
      {scratch.Package("lockedprv.lvs", {Sealed("meta", meta), Sealed("prv", good, "other")}),
       "\"prv\" entry cannot be decrypted with the package password"},
      {File("text.lvs", "hello, not a package\n"), "not a zip archive"},
      {scratch.Path("missing.lvs"), "no file at this path"},
  };
  std::vector<std::string> args = {"check", "--json"};
  for (const auto& c : cases) args.push_back(c.first);
  ToolRun run = Lvs(args);
  EXPECT_EQ(run.exitCode, 1) << run.err;
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), std::size(cases)) << run.out;
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i]["ok"], cases[i].second.empty()) << cases[i].first;
    bool found = cases[i].second.empty() == lines[i]["problems"].empty();
    for (const auto& p : lines[i]["problems"])
      found = found || p["message"].get<std::string>().find(cases[i].second) != std::string::npos;
    EXPECT_TRUE(found) << lines[i].dump(2);
  }
  EXPECT_EQ(Lvs({"check", Good()}).exitCode, 0);
}

// Texts from a package reach the terminal escaped; a FIFO is named, never opened.
TEST_F(LvsTool, TextOutputEscapesControlCharactersAndNeverWaitsOnAFifo) {
  scratch.Package("named.lvs", R"({"name":"A\u001b[2JB\u0007\r\u009b","author":"\u00c5sa","hash":"h","version":1})",
                  Preview());
  ToolRun run = Lvs({"info", "named.lvs"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("A\\x1B[2JB\\x07\\x0D\\u009B"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\xC3\x85sa"), std::string::npos) << "printable text stays as it is";
  EXPECT_EQ(run.out.find_first_of("\x1B\x07\r"), std::string::npos);
  ASSERT_EQ(::mkfifo(scratch.Path("pipe.lvs").c_str(), 0600), 0);
  run = Lvs({"check", "pipe.lvs"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find("not an ordinary file"), std::string::npos) << run.out;
}

TEST_F(LvsTool, DecodeWritesTheDecodersPixelsOrExitsOne) {
  const Bytes colour = PhotoJpeg(320, 200, Subsampling::S422);
  const std::string file = File("photo.jpg", colour);
  ToolRun run = Lvs({"decode", "--json", file, "-o", "pixels.raw"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.Lines().at(0), (json{{"file", file},
                                     {"result", 0},
                                     {"result_name", "Success"},
                                     {"cause", nullptr},
                                     {"width", 320},
                                     {"height", 200},
                                     {"components", 3}}));
  const Bytes pixels = Decode(colour);
  EXPECT_EQ(Slurp(scratch.Path("pixels.raw")), std::string(pixels.begin(), pixels.end()));

  run = Lvs({"decode", "--json", File("cut.jpg", Bytes(Preview().begin(), Preview().begin() + 700)), "-o", "out.png"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.Lines().at(0)["result_name"], "MalformedData");
  EXPECT_EQ(run.Lines().at(0)["cause"].get<std::string>().rfind("it ends before its scan does", 0), 0u) << run.out;
  EXPECT_FALSE(fs::exists(scratch.Path("out.png")));
}

// 0 for help, 2 for usage mistakes, 3 for a module that cannot be loaded.
TEST_F(LvsTool, UsageMistakesHelpAndUnloadableModules) {
  const std::string good = Good(), notModule = File("fake.so", "not a shared object");
  const std::vector<std::pair<int, std::vector<std::string>>> cases = {
      {2, {}},
      {2, {"frob"}},
      {2, {"info", "--bogus", "x.lvs"}},
      {2, {"render", good}},
      {2, {"render", good, "-o", "x.png", "--depth", "12"}},
      {2, {"decode", scratch.Path("nothing.jpg")}},
      {0, {"--help"}},
      {3, {"render", "--plugin", notModule, good, "-o", "x.png"}},
      {0, {"info", "--plugin", LVS_PLUGIN_PATH, good}},
  };
  for (const auto& [code, args] : cases) EXPECT_EQ(Lvs(args).exitCode, code) << ::testing::PrintToString(args);
  EXPECT_FALSE(fs::exists(scratch.Path("x.png")));
}

}  // namespace
