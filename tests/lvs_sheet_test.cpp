// lvs sheet as its readers use it: every file named on the sheet and in its
// index, pages of so many rows, the index's geometry that of the PNGs, and
// text in any script the fonts cover, with the built-in face when none is
// found.
#include "SameSamples.h"
#include "SheetFonts.h"
#include "lvs_tool_support.h"

using namespace lvs_test;

namespace {

constexpr char kDejaVu[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr char kDroid[] = "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf";

std::string Meta(const std::string& name) {
  return R"({"name":")" + name + R"(","author":"A. B.","hash":"9f2c","version":3})";
}

class LvsSheetIndex : public LvsTool {
 protected:
  // Runs with LVS_SHEET_FONTS set to `fonts` (separated as the tool reads it; empty: the
  // built-in face only).
  ToolRun Sheet(std::vector<std::string> args, const std::string& fonts) {
    args.insert(args.begin(), "sheet");
    lvs_test::SetEnvironment("LVS_SHEET_FONTS", fonts);
    const ToolRun run = Lvs(args);
    lvs_test::SetEnvironment("LVS_SHEET_FONTS", std::nullopt);
    return run;
  }
  // The pixels of one cell of the index, from its page.
  Bytes Cell(const json& at) {
    int w = 0, h = 0;
    const Bytes page = ReadPng(scratch.Path(at["image"]), 3, &w, &h);
    const int x0 = at["x"], y0 = at["y"], cw = at["w"], ch = at["h"];
    Bytes out;
    for (int y = y0; y < y0 + ch && y < h; ++y)
      out.insert(out.end(), page.begin() + (std::ptrdiff_t(y) * w + x0) * 3,
                 page.begin() + (std::ptrdiff_t(y) * w + x0 + cw) * 3);
    return out;
  }
};

// Seven packages, two of them bad, on pages of two rows of two: the index
// names every file once, in order, with its verdict and codes, and each
// page's PNG is exactly as large as its cells and title say.
TEST_F(LvsSheetIndex, IndexNamesEveryFileAndPagesSplitByRows) {
  std::vector<std::string> files;
  for (int i = 0; i < 5; ++i)
    files.push_back(scratch.Package("lib/good-" + std::to_string(i) + ".lvs", kMeta, Preview()));
  File("lib/junk.lvs", "not a package");
  scratch.Package("lib/zz-nopreview.lvs", {Sealed("meta", ToBytes(kMeta))});
  const ToolRun run =
      Sheet({"lib", "-o", "sheet.png", "--json", "--columns", "2", "--rows", "2", "--cell-width", "64"}, "");
  EXPECT_EQ(run.exitCode, 1) << run.err;
  const std::vector<json> index = run.Lines();
  ASSERT_EQ(index.size(), 7u) << run.out;
  const std::vector<std::string> expected = {"good-0.lvs", "good-1.lvs", "good-2.lvs",      "good-3.lvs",
                                             "good-4.lvs", "junk.lvs",   "zz-nopreview.lvs"};
  for (size_t i = 0; i < index.size(); ++i) {
    EXPECT_EQ(fs::path(index[i]["file"].get<std::string>()).filename(), expected[i]);
    EXPECT_EQ(index[i]["page"], int(i / 4) + 1);
    EXPECT_EQ(index[i]["row"], int(i % 4) / 2);
    EXPECT_EQ(index[i]["column"], int(i % 2));
    EXPECT_EQ(index[i]["image"], "sheet-" + std::to_string(i / 4 + 1) + ".png");
  }
  EXPECT_EQ(index[0]["verdict"], "preview");
  EXPECT_EQ(index[0]["name"], "Ink");
  EXPECT_EQ(index[0]["problems"], json::array());
  EXPECT_EQ(index[5]["verdict"], "not-imported");
  EXPECT_EQ(index[5]["problems"].at(0), "zip.not-an-archive");
  EXPECT_FALSE(index[5].contains("name"));
  EXPECT_EQ(index[6]["verdict"], "fallback");
  EXPECT_EQ(index[6]["problems"].at(0), "prv.missing");
  EXPECT_FALSE(fs::exists(scratch.Path("sheet.png")));

  // Every cell inside its page, the last row's bottom the page's bottom.
  for (const std::string page : {"sheet-1.png", "sheet-2.png"}) {
    int w = 0, h = 0;
    ASSERT_FALSE(ReadPng(scratch.Path(page), 3, &w, &h).empty()) << page;
    int bottom = 0;
    for (const json& at : index) {
      if (at["image"] != page) continue;
      EXPECT_EQ(w, 2 * at["w"].get<int>());
      EXPECT_LE(at["x"].get<int>() + at["w"].get<int>(), w);
      EXPECT_GT(at["y"].get<int>(), 0) << "under the title";
      bottom = std::max(bottom, at["y"].get<int>() + at["h"].get<int>());
    }
    EXPECT_EQ(bottom, h) << page;
  }

  // The same index to a file, standard output left empty.
  const ToolRun toFile = Sheet(
      {"lib", "-o", "sheet.png", "--index", "index.json", "--columns", "2", "--rows", "2", "--cell-width", "64"}, "");
  EXPECT_EQ(toFile.exitCode, 1) << toFile.err;
  EXPECT_EQ(Slurp(scratch.Path("index.json")), run.out);
  EXPECT_EQ(toFile.out.find('{'), std::string::npos) << toFile.out;

  // Only the packages with problems, laid from the first cell on; a library
  // without any makes no sheet.
  const ToolRun bad = Sheet({"lib", "-o", "bad.png", "--json", "--only-problems", "--rows", "1"}, "");
  EXPECT_EQ(bad.exitCode, 1) << bad.err;
  ASSERT_EQ(bad.Lines().size(), 2u) << bad.out;
  EXPECT_EQ(fs::path(bad.Lines()[0]["file"].get<std::string>()).filename(), "junk.lvs");
  EXPECT_EQ(bad.Lines()[1]["column"], 1);
  EXPECT_EQ(Sheet({files[0], files[1], "-o", "none.png", "--only-problems"}, "").exitCode, 0);
  EXPECT_FALSE(fs::exists(scratch.Path("none.png")));

  // A pattern names the pages; one page keeps the name as given; many
  // pages cannot all go to standard output.
  EXPECT_EQ(Sheet({"lib", "-q", "-o", "p%d.png", "--rows", "1", "--columns", "4", "--cell-width", "64"}, "").exitCode,
            1);
  EXPECT_TRUE(fs::exists(scratch.Path("p1.png")));
  EXPECT_TRUE(fs::exists(scratch.Path("p2.png")));
  EXPECT_FALSE(fs::exists(scratch.Path("p3.png")));
  EXPECT_EQ(Sheet({files[0], "-q", "-o", "one.png"}, "").exitCode, 0);
  EXPECT_TRUE(fs::exists(scratch.Path("one.png")));
  EXPECT_EQ(Sheet({"lib", "-o", "-", "--rows", "1"}, "").exitCode, 2);
  // By default a page holds twenty rows of six.
  EXPECT_EQ(Sheet({"lib", "-q", "-o", "all.png"}, "").exitCode, 1);
  EXPECT_TRUE(fs::exists(scratch.Path("all.png")));
}

// Workers draw the same cells as one process, laid in the same order.
TEST_F(LvsSheetIndex, WorkersMakeTheSamePagesAsOneProcess) {
  for (int i = 0; i < 9; ++i)
    scratch.Package("lib/s" + std::to_string(i) + ".lvs", Meta("Style " + std::to_string(i)), Preview());
  File("lib/s4x.lvs", "broken");
  const ToolRun one = Sheet({"lib", "-o", "one.png", "--json", "-j", "1", "--rows", "2", "--cell-width", "96"}, "");
  const ToolRun two = Sheet({"lib", "-o", "two.png", "--json", "-j", "2", "--rows", "2", "--cell-width", "96"}, "");
  ASSERT_EQ(one.exitCode, 1) << one.err;
  EXPECT_EQ(two.exitCode, 1) << two.err;
  EXPECT_TRUE(SameSamples(ReadPng(scratch.Path("one.png")), ReadPng(scratch.Path("two.png"))));
  std::vector<json> a = one.Lines(), b = two.Lines();
  ASSERT_EQ(a.size(), 10u);
  ASSERT_EQ(b.size(), 10u);
  for (size_t i = 0; i < a.size(); ++i) {
    a[i].erase("image"), b[i].erase("image");
    EXPECT_EQ(a[i], b[i]);
  }
}

// With a font that covers CJK, "東京" is drawn in its own glyphs: its cell
// differs from one whose name is "??". The built-in face has neither
// character and draws both as "??", the same pixels.
TEST_F(LvsSheetIndex, NonLatinNamesRenderWithAFontAndAsMarksWithout) {
  if (!fs::exists(kDejaVu) || !fs::exists(kDroid)) GTEST_SKIP() << "no DejaVu Sans and Droid Sans Fallback here";
  scratch.Package("a/x.lvs", Meta("\u6771\u4eac"), Preview());
  scratch.Package("b/x.lvs", Meta("??"), Preview());
  const std::string fonts = std::string(kDejaVu) + lvs::kFontListSeparator + kDroid;
  const ToolRun drawn = Sheet({"a", "b", "-o", "f.png", "--json", "--cell-width", "128"}, fonts);
  ASSERT_EQ(drawn.exitCode, 0) << drawn.err;
  EXPECT_EQ(drawn.Lines().at(0)["name"], "\u6771\u4eac");
  EXPECT_FALSE(SameSamples(Cell(drawn.Lines().at(0)), Cell(drawn.Lines().at(1))));
  const ToolRun marks = Sheet({"a", "b", "-o", "m.png", "--json", "--cell-width", "128"}, "");
  ASSERT_EQ(marks.exitCode, 0) << marks.err;
  EXPECT_TRUE(SameSamples(Cell(marks.Lines().at(0)), Cell(marks.Lines().at(1))));
  // Only the Latin font: the same line, but the CJK characters are its
  // stand-ins, so the second font is what drew them.
  const ToolRun latin = Sheet({"a", "-o", "l.png", "--json", "--cell-width", "128"}, kDejaVu);
  ASSERT_EQ(latin.exitCode, 0) << latin.err;
  EXPECT_EQ(latin.Lines().at(0)["h"], drawn.Lines().at(0)["h"]);
  EXPECT_FALSE(SameSamples(Cell(latin.Lines().at(0)), Cell(drawn.Lines().at(0))));
}

// The text grows with the cell when drawn from a font, and keeps the
// built-in face's one size without: the part of a cell under its preview
// is taller for wide cells only with fonts.
TEST_F(LvsSheetIndex, TextScalesWithTheCellOnlyWithAFont) {
  if (!fs::exists(kDejaVu)) GTEST_SKIP() << "no DejaVu Sans here";
  Good();
  auto textHeight = [&](const std::string& cellWidth, const std::string& fonts) {
    const ToolRun run = Sheet({"good.lvs", "-o", "s.png", "--json", "--cell-width", cellWidth}, fonts);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return run.Lines().at(0)["h"].get<int>() - std::stoi(cellWidth) * 9 / 16;
  };
  EXPECT_GT(textHeight("640", kDejaVu), textHeight("64", kDejaVu));
  EXPECT_EQ(textHeight("640", ""), textHeight("64", ""));
  // A font named that cannot be used is a usage mistake, not a quiet fallback.
  EXPECT_EQ(Sheet({"good.lvs", "-o", "s.png", "--font", "no-such.ttf"}, "").exitCode, 2);
  EXPECT_EQ(Sheet({"good.lvs", "-o", "s.png", "--font", File("fake.ttf", "not a font")}, "").exitCode, 2);
  EXPECT_EQ(Sheet({"good.lvs", "-q", "-o", "s.png", "--font", kDejaVu}, "").exitCode, 0);
}

}  // namespace
