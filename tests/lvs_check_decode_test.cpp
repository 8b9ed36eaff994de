// lvs check and lvs decode, and the tool's handling of bad command lines, run
// as a process.
#include "lvs_tool_fixture.h"

namespace lvstool {
namespace {

const std::set<std::string> kCheckKeys = {"package", "ok", "problems"};
const std::set<std::string> kDecodeKeys = {"file", "result", "result_name", "width", "height", "components"};

// The frame header's precision byte set to 12: a 12-bit file as far as the
// markers go.
Bytes TwelveBit(Bytes jpeg) {
  for (size_t i = 2; i + 4 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 4] = 12;
      break;
    }
  return jpeg;
}

using Check = LvsTool;

TEST_F(Check, GoodPackagesPass) {
  const std::string colour = GoodPackage();
  const std::string grey = Package("grey.lvs", kMeta, Jpeg(1280, 720, lvs_test::Subsampling::Grey));
  const std::string boolVersion =
      Package("boolversion.lvs", R"({"name": "x", "author": "y", "hash": "z", "version": true, "extra": []})", GoodPreview());
  ToolRun text = Lvs({"check", colour, grey, boolVersion});
  EXPECT_EQ(text.exitCode, 0) << text.out << text.err;
  EXPECT_NE(text.out.find("good.lvs: OK"), std::string::npos) << text.out;

  ToolRun json = Lvs({"check", "--json", colour});
  ASSERT_EQ(json.exitCode, 0);
  const auto line = json.JsonLines().at(0);
  EXPECT_EQ(Keys(line), kCheckKeys);
  EXPECT_EQ(line["ok"], true);
  EXPECT_EQ(line["problems"], nlohmann::json::array());
}

// Each bad package, and a phrase its explanation must hold.
struct BadCase {
  std::string file;
  std::string phrase;
};

TEST_F(Check, ExplainsWhyAPackageFails) {
  const Bytes good = GoodPreview();
  const std::string twoVersion = R"({"name": "a", "author": "b", "hash": "c", "version": "2"})";
  std::vector<BadCase> cases = {
      {Package("nometa.lvs", {PrvEntry(good)}), "no \"meta\" entry"},
      {Package("casemeta.lvs", {MetaEntry(kMeta, "Meta"), PrvEntry(good)}), "but it has \"Meta\""},
      {Package("notjson.lvs", "{name: Ink}", good), "not valid JSON"},
      {Package("array.lvs", "[1, 2]", good), "holds an array, not a JSON object"},
      {Package("nohash.lvs", R"({"name": "a", "author": "b", "version": 1})", good), "no \"hash\" key"},
      {Package("strversion.lvs", twoVersion, good), "\"version\" is a string (\"2\")"},
      {Package("numname.lvs", R"({"name": 7, "author": "b", "hash": "c", "version": 1})", good),
       "\"name\" is a number; it must be a string"},
      {Package("trailing.lvs", std::string(kMeta) + " {}", good), "not valid JSON"},
      {Package("noprv.lvs", {MetaEntry(kMeta)}), "no \"prv\" entry (the preview picture)"},
      {Package("prvjpg.lvs", {MetaEntry(kMeta), PrvEntry(good, "prv.jpg")}), "but it has \"prv.jpg\""},
      {Package("emptyprv.lvs", {MetaEntry(kMeta), PrvEntry({})}), "\"prv\" entry is empty"},
      {Package("progressive.lvs", kMeta, Jpeg(1280, 720, lvs_test::Subsampling::S420, true)), "progressive JPEG"},
      {Package("twelve.lvs", kMeta, TwelveBit(good)), "12-bit samples"},
      {Package("big.lvs", kMeta, Jpeg(1920, 1080)), "is 1920 by 1080, not 1280 by 720"},
      {Package("wide.lvs", kMeta, Jpeg(1281, 720)), "is 1281 by 720, not 1280 by 720"},
      {Package("png.lvs", kMeta, Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0}), "is a PNG picture"},
      {Package("damaged.lvs", kMeta, Bytes(good.begin(), good.begin() + 2000)), "damaged JPEG"},
      {Package("lockedprv.lvs", {MetaEntry(kMeta), PrvEntry(good, "prv", "another password")}),
       "\"prv\" entry cannot be decrypted with the package password"},
      {Package("lockedmeta.lvs", {lvs_maker::Entry("meta", Bytes(kMeta, kMeta + 20), lvs_maker::Method::Store, "x"),
                                  PrvEntry(good)}),
       "\"meta\" entry cannot be decrypted"},
      {File("text.lvs", std::string("hello, not a package\n")), "not a zip archive"},
      {File("truncated.lvs", Slurp(GoodPackage()).substr(0, 300)), "starts like a zip archive but is damaged"},
      {Package("style.zip", kMeta, good), "does not end in \".lvs\""},
      {Path("missing.lvs"), "no file at this path"},
  };
  // A damaged zip whose start is intact: the central directory is gone.
  const std::string whole = Slurp(GoodPackage());
  cases.push_back({File("cut.lvs", whole.substr(0, whole.size() - 30)), "damaged"});

  std::vector<std::string> args = {"check", "--json"};
  for (const BadCase& c : cases) args.push_back(c.file);
  ToolRun run = Lvs(args);
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_FALSE(run.signalled);
  const auto lines = run.JsonLines();
  ASSERT_EQ(lines.size(), cases.size()) << run.out << run.err;
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].file);
    EXPECT_EQ(Keys(lines[i]), kCheckKeys);
    EXPECT_EQ(lines[i]["package"], cases[i].file);
    EXPECT_EQ(lines[i]["ok"], false);
    bool found = false;
    for (const auto& p : lines[i]["problems"]) found = found || p.get<std::string>().find(cases[i].phrase) != std::string::npos;
    EXPECT_TRUE(found) << lines[i].dump(2);
  }
}

TEST_F(Check, ListsEveryProblemOfAPackage) {
  const std::string package =
      Package("twofold.lvs", {MetaEntry(R"({"name": "a", "author": "b"})"), PrvEntry(Jpeg(640, 360))});
  ToolRun run = Lvs({"check", package});
  EXPECT_EQ(run.exitCode, 1);
  for (const char* phrase : {"NOT OK", "no \"hash\" key", "no \"version\" key", "640 by 360"})
    EXPECT_NE(run.out.find(phrase), std::string::npos) << phrase << "\n" << run.out;
}

TEST_F(Check, OneBadPackageAmongGoodOnesFailsTheRun) {
  ToolRun run = Lvs({"check", GoodPackage(), FallbackPackage()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find("good.lvs: OK"), std::string::npos);
  EXPECT_NE(run.out.find("fallback.lvs: NOT OK"), std::string::npos);
}

using DecodeCommand = LvsTool;

TEST_F(DecodeCommand, ReportsTheDecodersResultAndSize) {
  const std::string file = File("photo.jpg", Jpeg(320, 200, lvs_test::Subsampling::S422));
  ToolRun text = Lvs({"decode", file});
  EXPECT_EQ(text.exitCode, 0) << text.err;
  for (const char* expected : {"Success (0)", "width:      320", "height:     200", "components: 3"})
    EXPECT_NE(text.out.find(expected), std::string::npos) << expected << "\n" << text.out;

  ToolRun json = Lvs({"decode", "--json", file});
  const auto line = json.JsonLines().at(0);
  EXPECT_EQ(Keys(line), kDecodeKeys);
  EXPECT_EQ(line["file"], file);
  EXPECT_EQ(line["result"], 0);
  EXPECT_EQ(line["result_name"], "Success");
  EXPECT_EQ(line["width"], 320);
  EXPECT_EQ(line["height"], 200);
  EXPECT_EQ(line["components"], 3);
}

TEST_F(DecodeCommand, RawOutputIsExactlyTheDecodersBytes) {
  for (auto sampling : {lvs_test::Subsampling::S420, lvs_test::Subsampling::Grey}) {
    const Bytes jpeg = Jpeg(96, 40, sampling);
    const std::string file = File("in.jpg", jpeg);
    ToolRun run = Lvs({"decode", file, "-o", "pixels.raw"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Decoded expected = Decode(jpeg);
    EXPECT_EQ(Slurp(Path("pixels.raw")), std::string(expected.pixels.begin(), expected.pixels.end()));
  }
}

TEST_F(DecodeCommand, PngOutputIsGreyOrRgbAsDecoded) {
  const Bytes grey = Jpeg(64, 32, lvs_test::Subsampling::Grey);
  ToolRun run = Lvs({"decode", File("g.jpg", grey), "-o", "g.PNG"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string png = Slurp(Path("g.PNG"));
  ASSERT_GT(png.size(), 26u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
  EXPECT_EQ(uint8_t(png[24]), 8);  // bit depth
  EXPECT_EQ(uint8_t(png[25]), 0);  // colour type: grey

  ASSERT_EQ(Lvs({"decode", File("c.jpg", Jpeg(64, 32)), "-o", "c.png"}).exitCode, 0);
  EXPECT_EQ(uint8_t(Slurp(Path("c.png"))[25]), 2);  // colour type: RGB
}

TEST_F(DecodeCommand, RefusedFilesExitNonzeroAndWriteNothing) {
  struct Case {
    std::string file;
    int result;
    const char* name;
  };
  const std::vector<Case> cases = {
      {File("prog.jpg", Jpeg(64, 64, lvs_test::Subsampling::S420, true)), 2, "UnsupportedFeature"},
      {File("text.jpg", std::string("plain text")), 1, "NoStartOfImage"},
      {File("empty.jpg", std::string()), 1, "NoStartOfImage"},
      {File("cut.jpg", Bytes(GoodPreview().begin(), GoodPreview().begin() + 700)), 5, "MalformedData"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ToolRun run = Lvs({"decode", "--json", c.file, "-o", "out.png"});
    EXPECT_EQ(run.exitCode, 1);
    const auto line = run.JsonLines().at(0);
    EXPECT_EQ(line["result"], c.result);
    EXPECT_EQ(line["result_name"], c.name);
    EXPECT_FALSE(fs::exists(Path("out.png")));
  }
  ToolRun missing = Lvs({"decode", Path("nothing.jpg")});
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_NE(missing.err.find("cannot read"), std::string::npos);
}

using CommandLine = LvsTool;

TEST_F(CommandLine, MistakesGetAMessageAndANonzeroExit) {
  const std::vector<std::vector<std::string>> cases = {
      {}, {"frob"}, {"info"}, {"check"}, {"decode"}, {"info", "--bogus", "x.lvs"}, {"--json"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    ToolRun run = Lvs(args);
    EXPECT_FALSE(run.signalled);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_FALSE(run.err.empty());
  }
}

TEST_F(CommandLine, HelpOnTheToolAndEveryCommand) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--help"}, {"info", "--help"}, {"render", "--help"}, {"check", "--help"},
                                             {"decode", "--help"}}) {
    ToolRun run = Lvs(args);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("--plugin"), std::string::npos) << run.out;
  }
}

TEST_F(CommandLine, AModuleThatCannotBeLoadedIsNamed) {
  const std::string notModule = File("fake.so", std::string("not a shared object"));
  for (const std::string& plugin : {Path("absent.so"), notModule}) {
    for (const char* command : {"info", "check"}) {
      ToolRun run = Lvs({command, "--plugin", plugin, GoodPackage()});
      EXPECT_EQ(run.exitCode, 3);
      EXPECT_NE(run.err.find(plugin), std::string::npos) << run.err;
    }
    EXPECT_EQ(Lvs({"render", "--plugin", plugin, GoodPackage(), "-o", "x.png"}).exitCode, 3);
  }
  // The module built with the test, named explicitly, behaves as the default.
  EXPECT_EQ(Lvs({"info", "--plugin", LVS_PLUGIN_PATH, GoodPackage()}).exitCode, 0);
}

}  // namespace
}  // namespace lvstool
