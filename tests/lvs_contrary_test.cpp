// lvs with a module that does what no package makes the real one do
// (support/contrary_module.cpp): a refused open, a failed draw, a frame other
// than the preview. The tool has no reason to give, so it says that it cannot
// name one, with the module.* codes, and every command gives that verdict.
#include "lvs_tool_support.h"

using namespace lvs_test;

namespace {

class LvsContrary : public LvsTool {
 protected:
  // The module reads its mode from the environment lvs inherits from us.
  void TearDown() override { SetEnvironment("LVS_CONTRARY", std::nullopt); }

  // The command on the package, through the contrary module in `mode`; the
  // JSON line it printed.
  json Judged(const std::string& mode, std::vector<std::string> args, int* exit) {
    args.insert(args.end(), {"--json", "--plugin", LVS_CONTRARY_MODULE});
    SetEnvironment("LVS_CONTRARY", mode);
    const ToolRun run = Lvs(args);
    *exit = run.exitCode;
    const auto lines = run.Lines();
    EXPECT_EQ(lines.size(), 1u) << run.out << run.err;
    return lines.empty() ? json() : lines[0];
  }

  // check, info and render of `package` agree: the codes, the severity and
  // what is shown; info and render fail when the preview is not shown.
  void ExpectOneVerdict(const std::string& mode, const std::string& package, const std::vector<std::string>& codes,
                        const std::string& shows) {
    SCOPED_TRACE(mode);
    int exit = -1;
    const json check = Judged(mode, {"check", package}, &exit);
    EXPECT_EQ(exit, 1);
    std::vector<std::string> found;
    for (const json& p : check["problems"]) found.push_back(p["code"]);
    EXPECT_EQ(found, codes) << check.dump();
    EXPECT_EQ(check["shows"], shows);
    for (const auto& command : std::vector<std::vector<std::string>>{
             {"info", package},
             {"render", package, "-o", "frame.png"},
             {"render", package, "-o", "frame.png", "--depth", "16", "--size", "640x360"}}) {
      const json line = Judged(mode, command, &exit);
      EXPECT_EQ(exit, 1) << command[0];
      for (const char* key : {"ok", "severity", "shows", "problems"})
        EXPECT_EQ(line[key], check[key]) << command[0] << " " << key;
    }
  }
};

TEST_F(LvsContrary, AnOpenRefusedForNoReasonOfThePackage) {
  ExpectOneVerdict("open-refused", Good(), {"module.open-refused"}, "not-imported");
}

TEST_F(LvsContrary, ADrawThatFailsForNoReasonOfThePackage) {
  ExpectOneVerdict("draw-failed", Good(), {"module.draw-failed"}, "no-frame");
  // A package's own reason is named, and nothing more said.
  ExpectOneVerdict(
      "draw-failed",
      scratch.ForeignPackage("locked.lvs", {Sealed("meta", ToBytes(kMeta)), Sealed("prv", Preview(), "x")}, "prv"),
      {"prv.wrong-password"}, "no-frame");
}

// A frame other than the preview is caught by holding the drawn frame
// against the preview as the draw decodes it; pack then writes nothing.
TEST_F(LvsContrary, AFrameOtherThanThePreviewIsCaught) {
  ExpectOneVerdict("other-frame", Good(), {"module.fallback"}, "other-frame");
  SetEnvironment("LVS_CONTRARY", "other-frame");
  const ToolRun pack = Lvs({"pack", "-o", "made.lvs", "--preview", File("prv.jpg", Preview()), "--meta",
                            File("meta.json", kMeta), "--plugin", LVS_CONTRARY_MODULE});
  EXPECT_EQ(pack.exitCode, 1);
  EXPECT_NE(pack.err.find("[module.fallback]"), std::string::npos) << pack.err;
  EXPECT_FALSE(fs::exists(scratch.Path("made.lvs")));
  // The same module, unchanged, judges the same package fine.
  int exit = -1;
  EXPECT_EQ(Judged("none", {"check", Good()}, &exit)["ok"], true);
  EXPECT_EQ(exit, 0);
}

}  // namespace
