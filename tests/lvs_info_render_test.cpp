// lvs info and lvs render, run as a process: output, JSON keys and exit codes
// on a good package, one showing the fallback, one that fails to open, a
// file that is not a package, and bad arguments.
#include <stb/stb_image.h>

#include "lvs_tool_fixture.h"
#include "update_preview.h"

namespace lvstool {
namespace {

const std::set<std::string> kInfoKeys = {"package", "result", "path", "name", "author", "hash", "version"};
const std::set<std::string> kRenderKeys = {"package", "open_result", "draw_result", "width",
                                           "height",  "depth",       "output"};

struct Png {
  int width = 0, height = 0, channels = 0;
  std::vector<uint16_t> samples;  // widened to 16 bits for either depth
  bool sixteen = false;
};

// Read back with stb_image, a reader independent of the tool's libpng.
Png ReadPng(const std::string& path) {
  Png png;
  png.sixteen = stbi_is_16_bit(path.c_str());
  if (png.sixteen) {
    stbi_us* p = stbi_load_16(path.c_str(), &png.width, &png.height, &png.channels, 0);
    if (p) png.samples.assign(p, p + size_t(png.width) * png.height * png.channels);
    stbi_image_free(p);
  } else {
    stbi_uc* p = stbi_load(path.c_str(), &png.width, &png.height, &png.channels, 0);
    if (p) png.samples.assign(p, p + size_t(png.width) * png.height * png.channels);
    stbi_image_free(p);
  }
  return png;
}

// RGBA as the draw paints a decoded picture: opaque, the decoder's bytes.
std::vector<uint16_t> Opaque(const Decoded& d) {
  std::vector<uint16_t> out;
  for (size_t i = 0; i < size_t(d.width) * d.height; ++i) {
    for (int c = 0; c < 3; ++c) out.push_back(d.pixels[i * d.components + (d.components == 3 ? c : 0)]);
    out.push_back(255);
  }
  return out;
}

using Info = LvsTool;

TEST_F(Info, GoodPackageShowsTheRecordAsTextAndJson) {
  const std::string package = GoodPackage();
  ToolRun text = Lvs({"info", package});
  EXPECT_EQ(text.exitCode, 0) << text.err;
  for (const char* expected : {"result:  0", "name:    Ink", "author:  A. B.", "hash:    9f2c", "version: 3"})
    EXPECT_NE(text.out.find(expected), std::string::npos) << expected << "\n" << text.out;

  ToolRun json = Lvs({"info", "--json", package});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  const auto lines = json.JsonLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Keys(lines[0]), kInfoKeys);
  EXPECT_EQ(lines[0]["package"], package);
  EXPECT_EQ(lines[0]["result"], 0);
  EXPECT_EQ(lines[0]["path"], package);  // already absolute: stored as given
  EXPECT_EQ(lines[0]["name"], "Ink");
  EXPECT_EQ(lines[0]["author"], "A. B.");
  EXPECT_EQ(lines[0]["hash"], "9f2c");
  EXPECT_EQ(lines[0]["version"], 3);
}

TEST_F(Info, RelativePathsReachThePlugInAsAbsolutePaths) {
  GoodPackage();
  ToolRun run = Lvs({"info", "--json", "good.lvs"});  // the tool runs in the scratch directory
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.JsonLines().at(0)["package"], "good.lvs");
  EXPECT_EQ(run.JsonLines().at(0)["path"], Path("good.lvs"));
}

TEST_F(Info, OneLinePerPackageAndAFailureMakesTheExitNonzero) {
  const std::string good = GoodPackage();
  const std::string fallback = FallbackPackage();
  const std::string badMeta = Package("bad.lvs", R"({"name": "a", "author": "b", "hash": "c", "version": "2"})", GoodPreview());
  const std::string notPackage = File("notes.lvs", std::string("just some text\n"));

  ToolRun run = Lvs({"info", "--json", good, fallback, badMeta, notPackage});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_FALSE(run.signalled);
  const auto lines = run.JsonLines();
  ASSERT_EQ(lines.size(), 4u) << run.out;
  for (const auto& line : lines) EXPECT_EQ(Keys(line), kInfoKeys);
  EXPECT_EQ(lines[0]["result"], 0);
  EXPECT_EQ(lines[1]["result"], 0);  // no preview is no reason not to import
  EXPECT_EQ(lines[1]["name"], "Ink");
  EXPECT_EQ(lines[2]["result"], 512);
  EXPECT_EQ(lines[2]["name"], "");  // the record stays as it was reset
  EXPECT_EQ(lines[3]["package"], notPackage);
  EXPECT_EQ(lines[3]["result"], 512);

  EXPECT_EQ(Lvs({"info", good, fallback}).exitCode, 0);
}

TEST_F(Info, NonAsciiPathsArePassedAsTheHostWould) {
  fs::create_directories(dir_ / "Stilé 100%d");
  const std::string package = Package("Stilé 100%d/ünï.lvs", kMeta, GoodPreview());
  ToolRun run = Lvs({"info", "--json", package});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.JsonLines().at(0)["path"], package);
}

using Render = LvsTool;

TEST_F(Render, EightBitFrameIsThePreviewDecodedOpaque) {
  const std::string package = GoodPackage();
  ToolRun run = Lvs({"render", package, "-o", "out.png", "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto line = run.JsonLines().at(0);
  EXPECT_EQ(Keys(line), kRenderKeys);
  EXPECT_EQ(line["open_result"], 0);
  EXPECT_EQ(line["draw_result"], 0);
  EXPECT_EQ(line["width"], 1280);
  EXPECT_EQ(line["height"], 720);
  EXPECT_EQ(line["depth"], 8);
  EXPECT_EQ(line["output"], "out.png");

  const Png png = ReadPng(Path("out.png"));
  ASSERT_EQ(png.width, 1280);
  ASSERT_EQ(png.height, 720);
  ASSERT_EQ(png.channels, 4);
  EXPECT_FALSE(png.sixteen);
  EXPECT_TRUE(png.samples == Opaque(Decode(GoodPreview())));
}

TEST_F(Render, DeeperWorldsAreScaledToTheFullSixteenBits) {
  const std::string package = GoodPackage();
  const std::vector<uint16_t> expected8 = Opaque(Decode(GoodPreview()));
  for (const char* depth : {"16", "32"}) {
    SCOPED_TRACE(depth);
    ToolRun run = Lvs({"render", package, "-o", "deep.png", "--depth", depth});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("draw:   0"), std::string::npos) << run.out;
    const Png png = ReadPng(Path("deep.png"));
    ASSERT_TRUE(png.sixteen);
    ASSERT_EQ(png.samples.size(), expected8.size());
    int worst = 0;
    for (size_t i = 0; i < expected8.size(); ++i)
      worst = std::max(worst, std::abs(int(png.samples[i]) - int(expected8[i]) * 257));
    EXPECT_LE(worst, 2);  // 255 is 32768 or 1.0 in the host, and 65535 here
    EXPECT_EQ(png.samples[3], 65535);
  }
}

TEST_F(Render, OtherSizesAreFittedByTheHostsCopy) {
  ToolRun run = Lvs({"render", GoodPackage(), "-o", "small.png", "--size", "640x360", "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.JsonLines().at(0)["width"], 640);
  const Png png = ReadPng(Path("small.png"));
  EXPECT_EQ(png.width, 640);
  EXPECT_EQ(png.height, 360);
}

TEST_F(Render, PackageWithoutPreviewShowsTheFallbackPicture) {
  ToolRun run = Lvs({"render", FallbackPackage(), "-o", "fb.png"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Bytes fallback(bin2c_update_preview, bin2c_update_preview + bin2c_update_preview_size);
  EXPECT_TRUE(ReadPng(Path("fb.png")).samples == Opaque(Decode(fallback)));
}

TEST_F(Render, FailedOpenDrawsNothingAndWritesNothing) {
  for (const std::string& package :
       {Package("nometa.lvs", {PrvEntry(GoodPreview())}), File("plain.lvs", std::string("not a zip"))}) {
    SCOPED_TRACE(package);
    ToolRun run = Lvs({"render", package, "-o", "none.png", "--json"});
    EXPECT_EQ(run.exitCode, 1);
    const auto line = run.JsonLines().at(0);
    EXPECT_EQ(Keys(line), kRenderKeys);
    EXPECT_EQ(line["open_result"], 512);
    EXPECT_TRUE(line["draw_result"].is_null());
    EXPECT_TRUE(line["output"].is_null());
    EXPECT_FALSE(fs::exists(Path("none.png")));
  }
}

TEST_F(Render, UndecryptablePreviewFailsTheDrawButStillWritesTheDestination) {
  const std::string package = Package("lockedprv.lvs", {MetaEntry(kMeta), PrvEntry(GoodPreview(), "prv", "another password")});
  ToolRun run = Lvs({"render", package, "-o", "locked.png", "--json"});
  EXPECT_EQ(run.exitCode, 1);
  const auto line = run.JsonLines().at(0);
  EXPECT_EQ(line["open_result"], 0);
  EXPECT_EQ(line["draw_result"], 512);
  EXPECT_EQ(line["output"], "locked.png");
  EXPECT_EQ(ReadPng(Path("locked.png")).width, 1280);
}

TEST_F(Render, BadArgumentsAreRefusedWithAMessage) {
  const std::string package = GoodPackage();
  const std::vector<std::vector<std::string>> cases = {
      {"render", package},                                     // no output
      {"render", package, "-o", "x.png", "--depth", "12"},     //
      {"render", package, "-o", "x.png", "--depth", "eight"},  //
      {"render", package, "-o", "x.png", "--size", "0x720"},   //
      {"render", package, "-o", "x.png", "--size", "1280"},    //
      {"render", package, "-o", "x.png", "--size", "99999x2"}, //
      {"render", package, "-o", "x.png", "--size", "-4x-4"},   //
      {"render", "-o", "x.png"},                               // no package
      {"render", package, "other.lvs", "-o", "x.png"},         // one package only
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    ToolRun run = Lvs(args);
    EXPECT_FALSE(run.signalled);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_FALSE(run.err.empty());
    EXPECT_FALSE(fs::exists(Path("x.png")));
  }
}

TEST_F(Render, UnwritableOutputIsReported) {
  ToolRun run = Lvs({"render", GoodPackage(), "-o", Path("no/such/dir/x.png")});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace lvstool
