// How often a package file is opened: once for an open of the footage, once
// for a frame, and at most three times for `lvs check` of a good package
// (the module's open and draw, and the tool's own look). Counted where files
// are opened, by an interposed open (support/open_counter.c): this program
// exports its own, which the module binds to, and lvs gets it preloaded.
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
  // `lvs check PACKAGE` with the counter preloaded; -1 when it reported nothing.
  int LvsCheckOpens(const std::string& package) {
    const std::string counted = scratch.Path("opens.txt");
    // The sanitizers' runtime wants to come first; the counter comes first.
    const std::string command =
        "LD_PRELOAD='" LVS_OPEN_COUNTER "' LVS_COUNT_OPENS_OF='" + package + "' LVS_OPEN_COUNT_FILE='" + counted +
        "' ASAN_OPTIONS=\"$ASAN_OPTIONS:verify_asan_link_order=0\" '" LVS_TOOL_PATH "' check '" + package +
        "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status)) << command;
    std::ifstream in(counted);
    int opens = -1;
    in >> opens;
    return opens;
  }
};

TEST_F(OpenCount, TheCounterSeesEveryOpenOfTheFileByAnyPath) {
  const std::string package = scratch.Package("counted.lvs", kMeta, Preview());
  fs::create_symlink(package, scratch.Path("link.lvs"));
  // The two entry functions each open the archive once, by either name.
  EXPECT_EQ(OpensOf(package,
                    [&] {
                      Bytes out(size_t(std::max(LVS_GetFileSize(scratch.Path("link.lvs").c_str(), "prv"), 0)));
                      EXPECT_EQ(LVS_ReadFile(package.c_str(), "prv", out.data(), out.size()), 0);
                    }),
            2);
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
