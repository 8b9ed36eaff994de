// Where lvs.exe writes on Windows: a device by its name, an output another
// program holds open, names past the old 260-character limit, and standard
// output in binary. What matters is what is on disk after. (The POSIX
// suite, lvs_output_test, covers FIFOs, links, modes and full devices.)
#include <fstream>

#include "lvs_tool_support.h"

using namespace lvs_test;

namespace {

class LvsOutputWindows : public LvsOutputs {
 protected:
  std::vector<std::string> Listing() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(scratch.Dir())) {
      const std::string name = e.path().filename().u8string();
      if (name != ".stdout" && name != ".stderr") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  const std::vector<std::string> kInputs = {"good.lvs", "meta.json", "prv.jpg"};
};

// NUL, in any folder and with any extension, is the device: written as it
// is, never replaced, and no temporary file is made beside it.
TEST_F(LvsOutputWindows, ADeviceIsWrittenDirectly) {
  for (const std::string device : {"NUL", "nul.png", "\\\\.\\NUL"})
    for (const auto& args : Writers(device)) {
      const ToolRun run = Lvs(args);
      EXPECT_EQ(run.exitCode, 0) << args[0] << " -o " << device << ": " << run.err;
    }
  EXPECT_EQ(Listing(), kInputs);
}

// An output another program holds open without sharing its deletion cannot
// be replaced: the run fails with 2, the file keeps what it held, and the
// temporary file is gone. A folder is no output at all.
TEST_F(LvsOutputWindows, AnOutputThatCannotBeReplacedIsLeftAsItWas) {
  File("held.out", "what was there");
  {
    // The C runtime opens without FILE_SHARE_DELETE, as most programs do.
    std::ifstream holder(fs::u8path(scratch.Path("held.out")), std::ios::binary);
    ASSERT_TRUE(holder.good());
    for (const auto& args : Writers("held.out")) {
      const ToolRun run = Lvs(args);
      EXPECT_EQ(run.exitCode, 2) << args[0];
      EXPECT_NE(run.err.find("cannot write held.out"), std::string::npos) << run.err;
    }
  }
  EXPECT_EQ(Slurp(scratch.Path("held.out")), "what was there");
  fs::create_directory(scratch.Path("folder"));
  for (const auto& args : Writers("folder")) EXPECT_EQ(Lvs(args).exitCode, 2) << args[0];
  EXPECT_EQ(Listing(), (std::vector<std::string>{"folder", "good.lvs", "held.out", "meta.json", "prv.jpg"}));
}

// Names of 255 characters, the longest a folder holds, put the full path far
// past 260 characters: written through the long form of the path; one
// longer is refused, and nothing is left either way.
TEST_F(LvsOutputWindows, TheLongestNamesAreWritten) {
  const std::string package = std::string(251, 'p') + ".lvs", picture = std::string(251, 'r') + ".png";
  ASSERT_GT(scratch.Path(package).size(), 260u);
  ToolRun run = Lvs({"pack", "-o", package, "--preview", "prv.jpg", "--meta", "meta.json"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(HoldsThePreview(scratch.Path(package)));
  run = Lvs({"render", "good.lvs", "-o", picture});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  for (const auto& args : Writers(std::string(256, 'x'))) EXPECT_EQ(Lvs(args).exitCode, 2) << args[0];
  std::vector<std::string> expected = kInputs;
  expected.insert(expected.end(), {package, picture});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Listing(), expected);
}

// Standard output carries the bytes a file gets: no "\r" put before a "\n"
// of a PNG or a package, and none at the ends of report lines.
TEST_F(LvsOutputWindows, StandardOutputIsBinary) {
  ASSERT_EQ(Lvs({"render", "-q", "good.lvs", "-o", "frame.png"}).exitCode, 0);
  const ToolRun piped = Lvs({"render", "good.lvs", "-o", "-"});
  ASSERT_EQ(piped.exitCode, 0) << piped.err;
  EXPECT_EQ(piped.out, Slurp(scratch.Path("frame.png")));
  const ToolRun report = Lvs({"check", "good.lvs", "missing.lvs"});
  EXPECT_EQ(report.exitCode, 1);
  EXPECT_EQ(report.out.find('\r'), std::string::npos) << report.out;
  EXPECT_EQ(std::count(report.out.begin(), report.out.end(), '\n'), 3) << report.out;
}

}  // namespace
