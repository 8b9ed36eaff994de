// lvs pack and lvs sheet: packages made from a preview and metadata, proven
// through the module; contact sheets of what the host would draw.
#include <cmath>

#include "lvs_tool_support.h"
#include "SameSamples.h"

using namespace lvs_test;

namespace {

class LvsPack : public LvsTool {
 protected:
  std::vector<std::string> Fields() {
    return {"--name", "Dune", "--author", "Ö. Ink", "--hash", "77aa", "--style-version", "12"};
  }
  std::vector<std::string> PackArgs(const std::string& output, const std::string& preview) {
    std::vector<std::string> args = {"pack", "-o", output, "--preview", preview};
    for (const std::string& f : Fields()) args.push_back(f);
    return args;
  }
  // Everything in the scratch folder but the runs' own stdout and stderr.
  std::vector<std::string> Listing() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(scratch.Dir()))
      if (e.path().filename() != ".stdout" && e.path().filename() != ".stderr")
        names.push_back(e.path().filename().u8string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

// A packed package opens with the fields given and draws its preview, grey
// previews and 4:4:4 ones too; the metadata may come from a file or stdin.
TEST_F(LvsPack, PackedPackagesImportAndDrawTheirPreview) {
  for (const Subsampling sampling : {Subsampling::S420, Subsampling::S444, Subsampling::Grey}) {
    const Bytes jpeg = PhotoJpeg(1280, 720, sampling);
    const std::string preview = File("prv.jpg", jpeg);
    const ToolRun run = Lvs(PackArgs("made.lvs", preview));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const ToolRun info = Lvs({"info", "--json", "made.lvs"});
    EXPECT_EQ(info.Lines().at(0)["name"], "Dune");
    EXPECT_EQ(info.Lines().at(0)["author"], "Ö. Ink");
    EXPECT_EQ(info.Lines().at(0)["hash"], "77aa");
    EXPECT_EQ(info.Lines().at(0)["version"], 12);
    ASSERT_EQ(Lvs({"render", "made.lvs", "-o", "made.png"}).exitCode, 0);
    EXPECT_TRUE(SameSamples(ReadPng(scratch.Path("made.png")), Rgba(jpeg)));
    // Both entries are deflated and sealed with the package password.
    std::vector<uint8_t> plain(jpeg.size());
    EXPECT_EQ(LVS_ReadFile(scratch.Path("made.lvs").c_str(), "prv", plain.data(), plain.size()), 0);
    EXPECT_EQ(plain, jpeg);
  }
  File("meta.json", R"({"name":"From file","author":"a","hash":"h","version":-4,"extra":[1]})");
  ASSERT_EQ(
      Lvs({"pack", "-q", "-o", "file.lvs", "--preview", "-", "--meta", "meta.json"}, scratch.Path("prv.jpg")).exitCode,
      0);
  EXPECT_EQ(Lvs({"info", "--json", "file.lvs"}).Lines().at(0)["version"], -4);
  ASSERT_EQ(
      Lvs({"pack", "-q", "-o", "stdin.lvs", "--preview", "prv.jpg", "--meta", "-"}, scratch.Path("meta.json")).exitCode,
      0);
  EXPECT_EQ(Lvs({"info", "--json", "stdin.lvs"}).Lines().at(0)["name"], "From file");
  // To standard output: the bytes are a whole package, the report goes aside.
  const ToolRun out = Lvs({"pack", "-o", "-", "--preview", "prv.jpg", "--meta", "meta.json"});
  ASSERT_EQ(out.exitCode, 0) << out.err;
  EXPECT_NE(out.err.find("From file"), std::string::npos);
  EXPECT_EQ(Lvs({"check", "-q", File("piped.lvs", out.out)}).exitCode, 0);
}

// A preview that is, pixel for pixel, the fallback picture is still the
// package's own: it decodes to the footage size, so the host shows it, and
// pack proves it as any other.
TEST_F(LvsPack, APreviewThatIsTheFallbackPictureIsPackedAndShown) {
  const ToolRun run = Lvs(PackArgs("same.lvs", File("fallback.jpg", FallbackJpeg())));
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const ToolRun check = Lvs({"check", "--json", "same.lvs"});
  EXPECT_EQ(check.exitCode, 0) << check.out;
  EXPECT_EQ(check.Lines().at(0)["shows"], "preview");
  EXPECT_EQ(Lvs({"render", "same.lvs", "-o", "same.png"}).exitCode, 0);
  EXPECT_TRUE(SameSamples(ReadPng(scratch.Path("same.png")), Rgba(FallbackJpeg())));
}

// A preview or metadata the plug-in would not use is refused with the
// plug-in's reason, before anything is written: an existing output stays as
// it was and no temporary file is left beside it.
TEST_F(LvsPack, RefusesWhatThePluginWouldNotShowAndLeavesNothingBehind) {
  const std::string before = "an older file";
  File("out.lvs", before);
  const std::vector<std::pair<Bytes, std::string>> previews = {
      {PhotoJpeg(1280, 720, Subsampling::S420, true), "prv.unsupported-jpeg"},
      {PhotoJpeg(1280, 721), "prv.wrong-size"},
      {PhotoJpeg(640, 360), "prv.wrong-size"},
      {Bytes(Preview().begin(), Preview().begin() + 2000), "prv.damaged-jpeg"},
      {ToBytes("GIF89a..."), "prv.not-jpeg"},
      {Bytes(), "prv.not-jpeg"},
  };
  for (const auto& [jpeg, code] : previews) {
    const ToolRun run = Lvs(PackArgs("out.lvs", File("bad.jpg", jpeg)));
    EXPECT_EQ(run.exitCode, 1) << code;
    EXPECT_NE(run.err.find("[" + code + "]"), std::string::npos) << run.err;
  }
  const std::vector<std::pair<std::string, std::string>> metas = {
      {R"({"name":"a","author":"b","hash":"c","version":"3"})", "meta.version-string"},
      {R"({"name":"a","author":"b","hash":"c"})", "meta.key-missing"},
      {R"(["name"])", "meta.not-object"},
      {"{", "meta.not-json"},
  };
  for (const auto& [meta, code] : metas) {
    const ToolRun run =
        Lvs({"pack", "-o", "out.lvs", "--preview", File("good.jpg", Preview()), "--meta", File("m.json", meta)});
    EXPECT_EQ(run.exitCode, 1) << code;
    EXPECT_NE(run.err.find("[" + code + "]"), std::string::npos) << run.err;
  }
  EXPECT_EQ(Slurp(scratch.Path("out.lvs")), before);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"bad.jpg", "good.jpg", "m.json", "out.lvs"}));

  // Usage mistakes are 2, like on every command.
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"pack", "-o", "x.lvs", "--preview", "good.jpg"},
           {"pack", "-o", "x.lvs", "--preview", "good.jpg", "--name", "n"},
           {"pack", "-o", "x.lvs", "--preview", "good.jpg", "--meta", "m.json", "--name", "n", "--author", "a",
            "--hash", "h", "--style-version", "1"},
           {"pack", "-o", "x.lvs", "--preview", "-", "--meta", "-"},
           {"pack", "-o", "no/such/folder/x.lvs", "--preview", "good.jpg", "--meta", File("ok.json", kMeta)},
           {"pack", "-o", "x.lvs", "--preview", "good.jpg", "--name", "n", "--author", "a", "--hash", "h",
            "--style-version", "99999999999"},
       })
    EXPECT_EQ(Lvs(args).exitCode, 2) << ::testing::PrintToString(args);
  EXPECT_FALSE(fs::exists(scratch.Path("x.lvs")));
  // A module that cannot be loaded proves nothing, so nothing is written.
  std::vector<std::string> args = PackArgs("y.lvs", "good.jpg");
  args.insert(args.end(), {"--plugin", File("fake.so", "not a module")});
  EXPECT_EQ(Lvs(args).exitCode, 3);
  EXPECT_FALSE(fs::exists(scratch.Path("y.lvs")));
}

// The preview as the sheet scales it: each cell pixel the mean of the
// source pixels it covers (whole blocks, at a tenth of the size).
Bytes TenthOf(const Bytes& rgba) {
  Bytes out;
  for (int y = 0; y < 72; ++y)
    for (int x = 0; x < 128; ++x)
      for (int c = 0; c < 3; ++c) {
        unsigned sum = 0;
        for (int dy = 0; dy < 10; ++dy)
          for (int dx = 0; dx < 10; ++dx) sum += rgba[(size_t(y * 10 + dy) * 1280 + size_t(x * 10 + dx)) * 4 + c];
        out.push_back(uint8_t((sum + 50) / 100));
      }
  return out;
}

// The cell's preview box, read back from the sheet.
Bytes Box(const Bytes& sheet, int sheetWidth, int left, int top) {
  Bytes out;
  for (int y = 0; y < 72; ++y)
    for (int x = 0; x < 128; ++x)
      for (int c = 0; c < 3; ++c)
        out.push_back(sheet[(size_t(top + y) * size_t(sheetWidth) + size_t(left + x)) * 3 + c]);
  return out;
}

// Pixels that differ by more than one step, outside the marks' corner.
int Differences(const Bytes& a, const Bytes& b) {
  int count = 0;
  for (int y = 0; y < 72; ++y)
    for (int x = 0; x < 128; ++x) {
      if (y < 20 && x < 50) continue;
      for (int c = 0; c < 3; ++c) {
        const size_t i = (size_t(y) * 128 + size_t(x)) * 3 + size_t(c);
        count += std::abs(int(a[i]) - int(b[i])) > 1;
      }
    }
  return count;
}

class LvsSheet : public LvsTool {};

// Each cell holds what the host would draw, scaled: the package's preview,
// the fallback picture where the host would show that, nothing for a package
// that does not import; a problem's mark in its severity's colour.
TEST_F(LvsSheet, CellsShowWhatTheHostWouldDraw) {
  Good();
  NoPreview();
  File("folder/text.lvs", "not a package");
  scratch.ForeignPackage("locked.lvs", {Sealed("meta", ToBytes(kMeta)), Sealed("prv", Preview(), "other")}, "prv");
  const ToolRun run = Lvs({"sheet", "good.lvs", "nopreview.lvs", "folder", "locked.lvs", "-o", "sheet.png", "--columns",
                           "2", "--cell-width", "128", "--json"});
  EXPECT_EQ(run.exitCode, 1) << run.err;
  int w = 0, h = 0;
  const Bytes sheet = ReadPng(scratch.Path("sheet.png"), 3, &w, &h);
  ASSERT_FALSE(sheet.empty());
  const std::vector<json> cells = run.Lines();
  ASSERT_EQ(cells.size(), 4u);
  const int cellWidth = 128 + 16;
  ASSERT_EQ(w, 2 * cellWidth);
  EXPECT_EQ(cells[0]["w"], cellWidth);
  EXPECT_EQ(cells[1]["x"], cellWidth);
  // Cells are found through the index; the title strip is above them.
  const int top = cells[0]["y"], cellHeight = cells[0]["h"];
  ASSERT_GT(top, 0);
  ASSERT_EQ(h, top + 2 * cellHeight);
  EXPECT_EQ(Differences(Box(sheet, w, 8, top + 8), TenthOf(Rgba(Preview()))), 0);
  EXPECT_EQ(Differences(Box(sheet, w, cellWidth + 8, top + 8), TenthOf(Rgba(FallbackJpeg()))), 0);
  EXPECT_GT(Differences(Box(sheet, w, 8, top + cellHeight + 8), TenthOf(Rgba(FallbackJpeg()))), 1000);
  auto pixel = [&](int x, int y) {
    const size_t i = (size_t(top + y) * size_t(w) + size_t(x)) * 3;
    return std::vector<int>{sheet[i], sheet[i + 1], sheet[i + 2]};
  };
  EXPECT_EQ(pixel(cellWidth + 8 + 8, 8 + 8), (std::vector<int>{245, 150, 25})) << "fallback mark";
  EXPECT_EQ(pixel(8 + 8, cellHeight + 8 + 8), (std::vector<int>{225, 45, 45})) << "no-import mark";
  EXPECT_NE(pixel(8 + 8, 8 + 8), (std::vector<int>{245, 150, 25})) << "no mark on a good package";
  // A draw that fails gives no frame: the cell's box is empty, as for a
  // package that does not import, with the fallback's mark.
  EXPECT_EQ(pixel(cellWidth + 8 + 100, cellHeight + 8 + 4), (std::vector<int>{58, 20, 22})) << "no frame";
  EXPECT_EQ(pixel(8 + 100, cellHeight + 8 + 4), (std::vector<int>{58, 20, 22})) << "not imported";
  EXPECT_EQ(pixel(cellWidth + 8 + 8, cellHeight + 8 + 8), (std::vector<int>{245, 150, 25})) << "no frame's mark";

  // The same sheet on standard output; an empty folder makes no sheet.
  const ToolRun piped = Lvs({"sheet", "good.lvs", "nopreview.lvs", "folder", "locked.lvs", "-o", "-", "--columns", "2",
                             "--cell-width", "128"});
  EXPECT_EQ(piped.out, Slurp(scratch.Path("sheet.png")));
  fs::create_directory(scratch.Path("empty"));
  EXPECT_EQ(Lvs({"sheet", "empty", "-o", "none.png"}).exitCode, 2);
  EXPECT_FALSE(fs::exists(scratch.Path("none.png")));
  EXPECT_EQ(Lvs({"sheet", "good.lvs", "-q", "-o", "one.png"}).exitCode, 0);
}

// Names are written under the cell from the record: different names give
// different pixels there, the same name the same pixels.
TEST_F(LvsSheet, LabelsComeFromTheRecord) {
  auto labels = [&](const std::string& name) {
    scratch.Package("p.lvs", R"({"name":")" + name + R"(","author":"b","hash":"c","version":1})", Preview());
    EXPECT_EQ(Lvs({"sheet", "p.lvs", "-o", "s.png", "--cell-width", "128"}).exitCode, 0);
    // The title counts the same one package each time.
    return ReadPng(scratch.Path("s.png"), 3);
  };
  const Bytes ink = labels("Ink"), inks = labels("Inks"), again = labels("Ink");
  EXPECT_TRUE(SameSamples(ink, again));
  EXPECT_FALSE(SameSamples(ink, inks));
  EXPECT_FALSE(SameSamples(labels("\u65e5\u672c, and a name too long to fit the cell"), ink));
}

}  // namespace
