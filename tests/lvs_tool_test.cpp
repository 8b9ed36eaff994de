// The lvs tool run as a process on packages made at test time: each
// command's output and exit code, and the reasons check gives.
#include <fcntl.h>
#include <spawn.h>
#include <stb/stb_image.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "fixture.h"

extern char** environ;

using namespace lvstest;
using nlohmann::json;

namespace {

struct ToolRun {
  int exitCode = -1;
  std::string out, err;
  std::vector<json> Lines() const {
    std::vector<json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
    return lines;
  }
  bool Says(const std::string& text) const { return out.find(text) != std::string::npos; }
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::set<std::string> Keys(const json& object) {
  std::set<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it) keys.insert(it.key());
  return keys;
}

// RGBA samples of a PNG, read with stb_image (independent of the tool's
// libpng), 8-bit samples widened by 257.
struct Png {
  int width = 0, height = 0, channels = 0;
  bool sixteen = false;
  std::vector<uint16_t> samples;
};
Png ReadPng(const std::string& path) {
  Png png;
  png.sixteen = stbi_is_16_bit(path.c_str());
  stbi_us* p = stbi_load_16(path.c_str(), &png.width, &png.height, &png.channels, 0);
  if (p) png.samples.assign(p, p + size_t(png.width) * png.height * png.channels);
  stbi_image_free(p);
  return png;
}

// RGBA as the draw paints a JPEG (the decoder's bytes, opaque), widened.
std::vector<uint16_t> Rgba(const Bytes& jpeg) {
  const Bytes argb = Painted(jpeg);
  std::vector<uint16_t> out;
  for (size_t i = 0; i < argb.size(); i += 4)
    for (int c : {1, 2, 3, 0}) out.push_back(uint16_t(argb[i + c] * 257));
  return out;
}

class LvsTool : public ::testing::Test {
 protected:
  std::string File(const std::string& name, const std::string& bytes) {
    std::ofstream(scratch.Path(name), std::ios::binary) << bytes;
    return scratch.Path(name);
  }
  std::string File(const std::string& name, const Bytes& bytes) { return File(name, std::string(bytes.begin(), bytes.end())); }
  std::string Good() { return scratch.Package("good.lvs", kMeta, Preview()); }
  std::string NoPreview() { return scratch.Package("nopreview.lvs", {Sealed("meta", ToBytes(kMeta))}); }

  // Runs the tool in the scratch directory, its output in files there.
  ToolRun Lvs(std::vector<std::string> args) {
    args.insert(args.begin(), LVS_TOOL_PATH);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const std::string outPath = scratch.Path(".stdout"), errPath = scratch.Path(".stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, scratch.Dir().c_str());
    pid_t pid = 0;
    ToolRun run;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0) << "cannot start " << argv[0];
    int status = 0;
    if (spawned == 0) waitpid(pid, &status, 0);
    run.exitCode = spawned == 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;  // -1 also for a crash
    run.out = Slurp(outPath);
    run.err = Slurp(errPath);
    return run;
  }

  Scratch scratch;
};

TEST_F(LvsTool, InfoPrintsOneRecordPerPackage) {
  Good();
  const std::string noPreview = NoPreview();
  const std::string badMeta =
      scratch.Package("bad.lvs", R"({"name": "a", "author": "b", "hash": "c", "version": "2"})", Preview());
  const std::string notPackage = File("notes.lvs", "just some text\n");
  const std::string accented = scratch.Package("Stilé 100%d/ünï.lvs", kMeta, Preview());

  ToolRun run = Lvs({"info", "--json", "good.lvs", noPreview, badMeta, notPackage, accented});
  EXPECT_EQ(run.exitCode, 1) << "a package failing to open fails the run";
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), 5u) << run.out;
  for (const auto& line : lines)
    EXPECT_EQ(Keys(line), (std::set<std::string>{"package", "result", "path", "name", "author", "hash", "version"}));
  EXPECT_EQ(lines[0]["package"], "good.lvs");
  EXPECT_EQ(lines[0]["path"], scratch.Path("good.lvs")) << "relative paths reach the module absolute";
  EXPECT_EQ(lines[0]["result"], 0);
  EXPECT_EQ(lines[0]["name"], "Ink");
  EXPECT_EQ(lines[0]["author"], "A. B.");
  EXPECT_EQ(lines[0]["hash"], "9f2c");
  EXPECT_EQ(lines[0]["version"], 3);
  EXPECT_EQ(lines[1]["result"], 0) << "no preview is no reason not to import";
  EXPECT_EQ(lines[2]["result"], 512);
  EXPECT_EQ(lines[2]["name"], "") << "the record stays as it was reset";
  EXPECT_EQ(lines[3]["result"], 512);
  EXPECT_EQ(lines[4]["path"], accented);

  ToolRun text = Lvs({"info", "good.lvs", noPreview});
  EXPECT_EQ(text.exitCode, 0) << text.err;
  for (const char* expected : {"result:  0", "name:    Ink", "author:  A. B.", "hash:    9f2c", "version: 3"})
    EXPECT_TRUE(text.Says(expected)) << expected << "\n" << text.out;
}

TEST_F(LvsTool, RenderWritesTheDrawnFrame) {
  ToolRun run = Lvs({"render", Good(), "-o", "out.png", "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const json line = run.Lines().at(0);
  EXPECT_EQ(line, (json{{"package", Good()}, {"open_result", 0}, {"draw_result", 0}, {"width", 1280},
                        {"height", 720}, {"depth", 8}, {"output", "out.png"}}));
  const Png png = ReadPng(scratch.Path("out.png"));
  EXPECT_EQ(png.channels, 4);
  EXPECT_FALSE(png.sixteen);
  EXPECT_TRUE(png.samples == Rgba(Preview()));

  ASSERT_EQ(Lvs({"render", NoPreview(), "-o", "fb.png"}).exitCode, 0);
  EXPECT_TRUE(ReadPng(scratch.Path("fb.png")).samples == Rgba(FallbackJpeg()));

  ASSERT_EQ(Lvs({"render", Good(), "-o", "small.png", "--size", "640x360"}).exitCode, 0);
  EXPECT_EQ(ReadPng(scratch.Path("small.png")).width, 640);
  EXPECT_EQ(ReadPng(scratch.Path("small.png")).height, 360);

  // Deeper worlds are scaled to the full sixteen bits: 255 is 32768 or 1.0
  // in the host, and 65535 here.
  const std::vector<uint16_t> expected = Rgba(Preview());
  for (const char* depth : {"16", "32"}) {
    ToolRun deep = Lvs({"render", Good(), "-o", "deep.png", "--depth", depth});
    ASSERT_EQ(deep.exitCode, 0) << deep.err;
    EXPECT_TRUE(deep.Says("draw:   0")) << deep.out;
    const Png png16 = ReadPng(scratch.Path("deep.png"));
    ASSERT_TRUE(png16.sixteen);
    ASSERT_EQ(png16.samples.size(), expected.size());
    int worst = 0;
    for (size_t i = 0; i < expected.size(); ++i) worst = std::max(worst, std::abs(png16.samples[i] - expected[i]));
    EXPECT_LE(worst, 2) << depth;
    EXPECT_EQ(png16.samples[3], 65535) << depth;
  }
}

TEST_F(LvsTool, RenderFailuresExitOne) {
  // Open fails: nothing drawn, nothing written.
  ToolRun run = Lvs({"render", scratch.Package("nometa.lvs", {Sealed("prv", Preview())}), "-o", "none.png", "--json"});
  EXPECT_EQ(run.exitCode, 1);
  json line = run.Lines().at(0);
  EXPECT_EQ(line["open_result"], 512);
  EXPECT_TRUE(line["draw_result"].is_null() && line["output"].is_null());
  EXPECT_FALSE(fs::exists(scratch.Path("none.png")));

  // The draw fails: the destination is still written.
  const std::string locked =
      scratch.Package("locked.lvs", {Sealed("meta", ToBytes(kMeta)), Sealed("prv", Preview(), "another password")});
  run = Lvs({"render", locked, "-o", "locked.png", "--json"});
  EXPECT_EQ(run.exitCode, 1);
  line = run.Lines().at(0);
  EXPECT_EQ(line["open_result"], 0);
  EXPECT_EQ(line["draw_result"], 512);
  EXPECT_EQ(ReadPng(scratch.Path("locked.png")).width, 1280);
}

TEST_F(LvsTool, CheckPassesGoodPackagesAndListsEveryProblem) {
  const std::string grey = scratch.Package("grey.lvs", kMeta, PhotoJpeg(1280, 720, Subsampling::Grey));
  const std::string boolVersion = scratch.Package(
      "boolversion.lvs", R"({"name": "x", "author": "y", "hash": "z", "version": true, "extra": []})", Preview());
  ToolRun run = Lvs({"check", "--json", Good(), grey, boolVersion});
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  for (const json& line : run.Lines())
    EXPECT_EQ(line, (json{{"package", line["package"]}, {"ok", true}, {"problems", json::array()}}));

  const std::string twofold = scratch.Package(
      "twofold.lvs", {Sealed("meta", ToBytes(R"({"name": "a", "author": "b"})")), Sealed("prv", PhotoJpeg(640, 360))});
  run = Lvs({"check", Good(), twofold});
  EXPECT_EQ(run.exitCode, 1);
  for (const char* phrase :
       {"good.lvs: OK", "twofold.lvs: NOT OK", "no \"hash\" key", "no \"version\" key", "640 by 360"})
    EXPECT_TRUE(run.Says(phrase)) << phrase << "\n" << run.out;
}

TEST_F(LvsTool, CheckExplainsWhyAPackageFails) {
  const Bytes good = Preview();
  const Bytes sof0 = {0xFF, 0xC0};
  Bytes twelveBit = good;  // the frame header's precision byte set to 12
  twelveBit[std::search(good.begin(), good.end(), sof0.begin(), sof0.end()) - good.begin() + 4] = 12;
  const Bytes meta = ToBytes(kMeta);
  const std::string whole = Slurp(Good());
  const std::pair<std::string, std::string> cases[] = {
      {scratch.Package("nometa.lvs", {Sealed("prv", good)}), "no \"meta\" entry"},
      {scratch.Package("casemeta.lvs", {Sealed("Meta", meta), Sealed("prv", good)}), "but it has \"Meta\""},
      {scratch.Package("notjson.lvs", "{name: Ink}", good), "not valid JSON"},
      {scratch.Package("array.lvs", "[1, 2]", good), "holds an array, not a JSON object"},
      {scratch.Package("nohash.lvs", R"({"name": "a", "author": "b", "version": 1})", good), "no \"hash\" key"},
      {scratch.Package("strversion.lvs", R"({"name": "a", "author": "b", "hash": "c", "version": "2"})", good),
       "\"version\" is a string (\"2\")"},
      {scratch.Package("numname.lvs", R"({"name": 7, "author": "b", "hash": "c", "version": 1})", good),
       "\"name\" is a number; it must be a string"},
      {scratch.Package("trailing.lvs", std::string(kMeta) + " {}", good), "not valid JSON"},
      {NoPreview(), "no \"prv\" entry (the preview picture)"},
      {scratch.Package("prvjpg.lvs", {Sealed("meta", meta), Sealed("prv.jpg", good)}), "but it has \"prv.jpg\""},
      {scratch.Package("emptyprv.lvs", {Sealed("meta", meta), Sealed("prv", {})}), "\"prv\" entry is empty"},
      {scratch.Package("progressive.lvs", kMeta, PhotoJpeg(1280, 720, Subsampling::S420, true)), "progressive JPEG"},
      {scratch.Package("twelve.lvs", kMeta, twelveBit), "12-bit samples"},
      {scratch.Package("big.lvs", kMeta, PhotoJpeg(1920, 1080)), "is 1920 by 1080, not 1280 by 720"},
      {scratch.Package("wide.lvs", kMeta, PhotoJpeg(1281, 720)), "is 1281 by 720, not 1280 by 720"},
      {scratch.Package("png.lvs", kMeta, Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0}), "is a PNG picture"},
      {scratch.Package("damaged.lvs", kMeta, Bytes(good.begin(), good.begin() + 2000)), "damaged JPEG"},
      {scratch.Package("lockedprv.lvs", {Sealed("meta", meta), Sealed("prv", good, "another password")}),
       "\"prv\" entry cannot be decrypted with the package password"},
      {scratch.Package("lockedmeta.lvs", {Sealed("meta", meta, "x"), Sealed("prv", good)}),
       "\"meta\" entry cannot be decrypted"},
      {File("text.lvs", "hello, not a package\n"), "not a zip archive"},
      {File("truncated.lvs", whole.substr(0, 300)), "starts like a zip archive but is damaged"},
      {File("cut.lvs", whole.substr(0, whole.size() - 30)), "damaged"},  // no central directory
      {scratch.Package("style.zip", kMeta, good), "does not end in \".lvs\""},
      {scratch.Path("missing.lvs"), "no file at this path"},
  };
  std::vector<std::string> args = {"check", "--json"};
  for (const auto& c : cases) args.push_back(c.first);
  ToolRun run = Lvs(args);
  EXPECT_EQ(run.exitCode, 1) << run.err;
  const auto lines = run.Lines();
  ASSERT_EQ(lines.size(), std::size(cases)) << run.out << run.err;
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(cases[i].first);
    EXPECT_EQ(Keys(lines[i]), (std::set<std::string>{"package", "ok", "problems"}));
    EXPECT_EQ(lines[i]["package"], cases[i].first);
    EXPECT_EQ(lines[i]["ok"], false);
    bool found = false;
    for (const auto& p : lines[i]["problems"]) found = found || p.get<std::string>().find(cases[i].second) != std::string::npos;
    EXPECT_TRUE(found) << lines[i].dump(2);
  }
}

TEST_F(LvsTool, DecodeReportsAndWritesTheDecodersPixels) {
  const Bytes colour = PhotoJpeg(320, 200, Subsampling::S422);
  const std::string file = File("photo.jpg", colour);
  ToolRun text = Lvs({"decode", file, "-o", "pixels.raw"});
  EXPECT_EQ(text.exitCode, 0) << text.err;
  for (const char* expected : {"Success (0)", "width:      320", "height:     200", "components: 3"})
    EXPECT_TRUE(text.Says(expected)) << expected << "\n" << text.out;
  const Bytes pixels = Decode(colour);
  EXPECT_EQ(Slurp(scratch.Path("pixels.raw")), std::string(pixels.begin(), pixels.end()));

  ToolRun run = Lvs({"decode", "--json", file, "-o", "c.png"});
  EXPECT_EQ(run.Lines().at(0), (json{{"file", file}, {"result", 0}, {"result_name", "Success"}, {"width", 320},
                                     {"height", 200}, {"components", 3}}));
  const Bytes grey = PhotoJpeg(64, 32, Subsampling::Grey);
  ASSERT_EQ(Lvs({"decode", File("g.jpg", grey), "-o", "g.PNG"}).exitCode, 0);
  // Signature, bit depth 8, colour type RGB (2) or grey (0).
  EXPECT_EQ(Slurp(scratch.Path("c.png")).substr(1, 3) + Slurp(scratch.Path("c.png")).substr(24, 2), "PNG\x08\x02");
  EXPECT_EQ(Slurp(scratch.Path("g.PNG")).substr(1, 3) + Slurp(scratch.Path("g.PNG")).substr(24, 2), std::string("PNG\x08\x00", 5));
}

TEST_F(LvsTool, DecodeRefusalsExitOneAndWriteNothing) {
  const Bytes progressive = PhotoJpeg(64, 64, Subsampling::S420, true);
  const struct {
    std::string file;
    int result;
    const char* name;
  } cases[] = {
      {File("prog.jpg", progressive), 2, "UnsupportedFeature"},
      {File("text.jpg", "plain text"), 1, "NoStartOfImage"},
      {File("cut.jpg", Bytes(Preview().begin(), Preview().begin() + 700)), 5, "MalformedData"},
  };
  for (const auto& c : cases) {
    ToolRun run = Lvs({"decode", "--json", c.file, "-o", "out.png"});
    EXPECT_EQ(run.exitCode, 1) << c.file;
    EXPECT_EQ(run.Lines().at(0)["result"], c.result) << c.file;
    EXPECT_EQ(run.Lines().at(0)["result_name"], c.name) << c.file;
    EXPECT_FALSE(fs::exists(scratch.Path("out.png")));
  }
}

TEST_F(LvsTool, UsageMistakesExitTwoWithAMessage) {
  const std::string good = Good();
  const std::vector<std::vector<std::string>> cases = {
      {}, {"frob"}, {"info"}, {"check"}, {"decode"}, {"info", "--bogus", "x.lvs"}, {"--json"},
      {"render", good},                                        // no output
      {"render", good, "-o", "x.png", "--depth", "12"},
      {"render", good, "-o", "x.png", "--size", "0x720"},
      {"render", good, "-o", "x.png", "--size", "99999x2"},
      {"render", good, "-o", "x.png", "--size", "-4x-4"},
      {"render", good, "other.lvs", "-o", "x.png"},            // one package only
      {"render", good, "-o", scratch.Path("no/such/dir/x.png")},
      {"decode", scratch.Path("nothing.jpg")},
  };
  for (const auto& args : cases) {
    ToolRun run = Lvs(args);
    EXPECT_EQ(run.exitCode, 2) << ::testing::PrintToString(args);
    EXPECT_FALSE(run.err.empty()) << ::testing::PrintToString(args);
    EXPECT_FALSE(fs::exists(scratch.Path("x.png")));
  }
}

TEST_F(LvsTool, HelpAndModulesThatCannotBeLoaded) {
  for (const char* command : {"", "info", "render", "check", "decode"}) {
    ToolRun run = Lvs(*command ? std::vector<std::string>{command, "--help"} : std::vector<std::string>{"--help"});
    EXPECT_EQ(run.exitCode, 0) << command;
    EXPECT_TRUE(run.Says("--plugin")) << command;
  }
  const std::string notModule = File("fake.so", "not a shared object");
  for (const std::string& plugin : {scratch.Path("absent.so"), notModule}) {
    for (const char* command : {"info", "check"}) {
      ToolRun run = Lvs({command, "--plugin", plugin, Good()});
      EXPECT_EQ(run.exitCode, 3);
      EXPECT_NE(run.err.find(plugin), std::string::npos) << run.err;
    }
    EXPECT_EQ(Lvs({"render", "--plugin", plugin, Good(), "-o", "x.png"}).exitCode, 3);
  }
  // The module built with the test, named explicitly, behaves as the default.
  EXPECT_EQ(Lvs({"info", "--plugin", LVS_PLUGIN_PATH, Good()}).exitCode, 0);
}

}  // namespace
