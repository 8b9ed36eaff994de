// How often a package file is opened: once for an open of the footage, once
// for a frame, and at most three times for `lvs check` of a good package
// (the module's open and draw, and the tool's own look). Counted where files
// are opened, in the test's process and in the tool's. On POSIX by an
// interposed open (support/open_counter.c): this program exports its own,
// which the module binds to, and lvs gets it preloaded. On Windows by
// taking CreateFileW's place in the import tables of the program and the
// module (support/open_counter_windows.cpp); lvs gets it as its plug-in, a
// module that loads the real one and forwards to it.
#include "lvs_tool_support.h"
#include "open_counter.h"

using namespace lvs_test;

namespace {

class OpenCount : public ModuleTest {
 protected:
  // The opens of `package` while `work` runs.
  template <class Work>
  int OpensOf(const std::string& package, Work work) {
    lvs_count_opens_of(package.c_str());
    work();
    const int opens = lvs_opens_counted();
    lvs_count_opens_of(nullptr);
    return opens;
  }
  // `lvs check PACKAGE` with its opens counted; -1 when it reported none.
  int LvsCheckOpens(const std::string& package) {
    const std::string counted = scratch.Path("opens.txt");
    fs::remove(counted);
    std::vector<std::pair<std::string, std::string>> settings = {{"LVS_COUNT_OPENS_OF", package},
                                                                 {"LVS_OPEN_COUNT_FILE", counted}};
    if (*LVS_COUNTER_PRELOAD) {
      // The sanitizers' runtime wants to come first; the counter comes first.
      const char* asan = std::getenv("ASAN_OPTIONS");
      settings.push_back({"LD_PRELOAD", LVS_COUNTER_PRELOAD});
      settings.push_back({"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"});
    }
    for (const auto& [name, value] : settings) SetEnvironment(name, value);
    const int exit = RunProgram({LVS_TOOL_PATH, "check", package, "--plugin", LVS_COUNTED_PLUGIN});
    for (const auto& [name, value] : settings) SetEnvironment(name, std::nullopt);
    EXPECT_NE(exit, -1);
    std::ifstream in(fs::u8path(counted));
    int opens = -1;
    in >> opens;
    return opens;
  }
};

TEST_F(OpenCount, TheCounterSeesEveryOpenOfTheFileByAnyPath) {
  const std::string package = scratch.Package("counted.lvs", kMeta, Preview());
  fs::create_directory(scratch.Path("sub"));
  // Another spelling of the same file, and a link to it where the system
  // makes links.
  std::vector<std::string> names = {scratch.Path("sub/../counted.lvs")};
  std::error_code linked;
  fs::create_symlink(package, scratch.Path("link.lvs"), linked);
  if (!linked) names.push_back(scratch.Path("link.lvs"));
  // The two entry functions each open the archive once, by any name.
  for (const std::string& name : names)
    EXPECT_EQ(OpensOf(package,
                      [&] {
                        Bytes out(size_t(std::max(LVS_GetFileSize(name.c_str(), "prv"), 0)));
                        EXPECT_EQ(LVS_ReadFile(package.c_str(), "prv", out.data(), out.size()), 0);
                      }),
              2)
        << name;
  EXPECT_EQ(OpensOf(package, [&] { LVS_GetFileSize(scratch.Path("other.lvs").c_str(), "prv"); }), 0);
}

TEST_F(OpenCount, AnOpenAndAFrameEachOpenThePackageOnce) {
  const std::vector<std::string> packages = {
      scratch.Package("good.lvs", kMeta, Preview()),
      scratch.Package("nometa.lvs", {Sealed("prv", Preview())}),
      scratch.Package("noprv.lvs", {Sealed("meta", ToBytes(kMeta))}),
      scratch.Package("locked.lvs", {Sealed("meta", ToBytes(kMeta), "other"), Sealed("prv", Preview(), "other")}),
  };
  for (const std::string& package : packages) {
    SCOPED_TRACE(package);
    AEIO_InSpecH inSpec = nullptr;
    EXPECT_EQ(OpensOf(package, [&] { m.Open(package, &inSpec); }), 1);
    m.Close(inSpec);
    PF_EffectWorld* dst = m.Destination(PF_PixelFormat_ARGB32);
    EXPECT_EQ(OpensOf(package, [&] { m.Draw(m.Footage(package), dst); }), 1);
  }
}

TEST_F(OpenCount, LvsCheckOfAGoodPackageOpensItAtMostThreeTimes) {
  const std::string good = scratch.Package("good.lvs", kMeta, Preview());
  const int opens = LvsCheckOpens(good);
  EXPECT_GE(opens, 1) << "the counter was not preloaded";
  EXPECT_LE(opens, 3);
  // A package whose preview is refused is read further, through the same look.
  EXPECT_LE(LvsCheckOpens(scratch.Package("wide.lvs", kMeta, PhotoJpeg(1281, 720))), 3);
}

}  // namespace
