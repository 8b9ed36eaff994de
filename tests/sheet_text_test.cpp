// The sheet's text face on its own: lines cut to fit at the end or in the
// middle, and font files that are not whole fonts refused before
// stb_truetype would read past them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "SheetText.h"

namespace lvs_test {
namespace {

using lvs::CodePoints;
using lvs::CodePointText;
using lvs::TextFace;

constexpr char kDejaVu[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

CodePointText Text(const std::string& s) { return CodePoints(s); }

// The built-in face: 7 pixels a character, so widths are exact.
TEST(SheetText, BuiltInFaceCutsAtTheEndOrInTheMiddle) {
  TextFace face({}, 20);
  EXPECT_TRUE(face.Files().empty());
  EXPECT_EQ(face.LineHeight(), 15) << "one size, whatever was asked";
  EXPECT_EQ(face.Width(Text("abc")), 21);

  EXPECT_EQ(face.FitEnd(Text("short"), 35), Text("short")) << "fits exactly";
  EXPECT_EQ(face.FitEnd(Text("longer name"), 70), Text("longer ..."));
  EXPECT_EQ(face.FitMiddle(Text("style-0001-final.lvs"), 70), Text("sty....lvs"));
  EXPECT_EQ(face.FitMiddle(Text("style-0001-final.lvs"), 140), Text("style-0001-final.lvs"));
  // An odd room: the end takes what the start leaves.
  EXPECT_EQ(face.FitMiddle(Text("abcdefghij"), 56), Text("ab...hij"));
  // No room even for the dots: nothing rather than text past the edge.
  EXPECT_EQ(face.FitEnd(Text("abcdef"), 14), CodePointText());
  EXPECT_EQ(face.FitMiddle(Text("abcdef"), 14), CodePointText());
  EXPECT_EQ(face.FitMiddle(Text("abcdef"), 21), Text("..."));
  // Characters the face lacks are as wide as any other.
  EXPECT_EQ(face.Width(Text("\u6771\u4eac")), 14);
}

// With a font the ellipsis is one character and nothing drawn is wider than
// asked, whatever the widths of the characters kept.
TEST(SheetText, FontLinesStayWithinTheirWidth) {
  if (!std::filesystem::exists(kDejaVu)) GTEST_SKIP() << "no DejaVu Sans here";
  TextFace face({kDejaVu}, 14);
  ASSERT_EQ(face.Files().size(), 1u);
  EXPECT_GE(face.LineHeight(), 14);
  const CodePointText name =
      Text("Wide WWW and narrow iii, \u0141ukasz, \u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac.lvs");
  for (int width : {20, 41, 77, 130}) {
    const CodePointText end = face.FitEnd(name, width), middle = face.FitMiddle(name, width);
    EXPECT_LE(face.Width(end), width);
    EXPECT_LE(face.Width(middle), width);
    ASSERT_FALSE(middle.empty()) << width;
    EXPECT_EQ(middle.back(), name.back()) << "the end stays in sight at " << width;
    EXPECT_NE(std::find(middle.begin(), middle.end(), 0x2026u), middle.end());
  }
  // A wider face for a wider cell.
  TextFace large({kDejaVu}, 28);
  EXPECT_GT(large.Width(name), face.Width(name));
}

// A file cut short, or not a font at all, is left out: the face falls back
// to the next font, or to the built-in one.
TEST(SheetText, FilesThatAreNotWholeFontsAreLeftOut) {
  if (!std::filesystem::exists(kDejaVu)) GTEST_SKIP() << "no DejaVu Sans here";
  std::ifstream in(kDejaVu, std::ios::binary);
  std::string font((std::istreambuf_iterator<char>(in)), {});
  const std::string dir = ::testing::TempDir();
  const std::string cut = dir + "/cut.ttf", tiny = dir + "/tiny.ttf", junk = dir + "/junk.ttf";
  std::ofstream(cut, std::ios::binary) << font.substr(0, 4096);
  std::ofstream(tiny, std::ios::binary) << font.substr(0, 8);
  std::ofstream(junk, std::ios::binary) << std::string(5000, 'x');
  TextFace none({cut, tiny, junk, dir + "/missing.ttf"}, 14);
  EXPECT_TRUE(none.Files().empty());
  EXPECT_EQ(none.LineHeight(), 15);
  TextFace next({cut, kDejaVu}, 14);
  EXPECT_EQ(next.Files(), std::vector<std::string>{kDejaVu});
}

}  // namespace
}  // namespace lvs_test
