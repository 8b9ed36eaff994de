// Loading the module as the host does; the registration sources compiled in too.
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "Callbacks.h"
#include "LumivastrinImporter.h"
#include "Guarded.h"
#include "host_test_support.h"

using namespace lvs_host;

// The table compiled in here only needs the callbacks' addresses.
A_Err InitInSpecFromFile(AEIO_InData*, const A_UTF16Char*, AEIO_InSpecH) { return 1; }
A_Err DisposeInSpec(AEIO_InData*, AEIO_InSpecH) { return 1; }
A_Err GetInSpecInfo(AEIO_InData*, AEIO_InSpecH, AEIO_Verbiage*) { return 1; }
A_Err FlattenOptions(AEIO_InData*, AEIO_InSpecH, AEGP_MemHandle*) { return 1; }
A_Err InflateOptions(AEIO_InData*, AEIO_InSpecH, AEGP_MemHandle) { return 1; }
A_Err DrawSparseFrame(AEIO_InData*, AEIO_InSpecH, const AEIO_DrawSparseFramePB*, PF_EffectWorld*, AEIO_DrawingFlags*) {
  return 1;
}
A_Err GetActiveExtent(AEIO_InData*, AEIO_InSpecH, const A_Time*, A_LRect*) { return 1; }
A_Err InqNextFrameTime(AEIO_InData*, AEIO_InSpecH, const A_Time*, AEIO_TimeDir, A_Boolean*, A_Time*) { return 1; }
A_Err CloseSourceFiles(AEIO_InData*, AEIO_InSpecH) { return 1; }

namespace {

TEST(Entry, RegistersEverythingDescribesTheModuleAndLeavesNothingAcquired) {
  SubstituteHost host;
  ASSERT_EQ(host.Load(LVS_PLUGIN_PATH), A_Err_NONE) << host.LoadError();
  EXPECT_TRUE(host.DeathHookRegistered() && host.IORegistered());
  EXPECT_EQ(host.RegisteredName(), "Lumivastrin Styles Importer");
  EXPECT_EQ(host.PluginID(), kRegisteredPluginID);
  EXPECT_TRUE(!host.DeathHookRefcon() && !host.IORefcon() && !host.RegisterRefcon()) << "every refcon is null";
  // Register is asked for twice, but the cache takes it once.
  std::vector<std::string> order;
  for (const SuiteEvent& e : host.Suites().Events()) order.push_back((e.acquire ? "+" : "-") + e.name);
  EXPECT_EQ(order, (std::vector<std::string>{"+AEGP Register Suite", "+AEGP Utility Suite", "-AEGP Register Suite",
                                             "-AEGP Utility Suite"}));
  EXPECT_EQ(host.Faults().CallCounts(), (std::map<std::string, uint64_t>{{"AcquireSuite", 2},
                                                                         {"ReleaseSuite", 2},
                                                                         {"AEGP_RegisterDeathHook", 1},
                                                                         {"AEGP_RegisterIO", 1},
                                                                         {"AEGP_RegisterWithAEGP", 1}}));

  std::vector<uint8_t> expected(396, 0);
  std::memcpy(&expected[0], "_SVL", 4);
  std::memcpy(&expected[4], "Lumivastrin Styles Importer", 27);  // then NULs to 36
  const uint32_t flags = 0x0800004D, width = 1280, height = 720, anyCreator = 0xFFFFFFFF;
  const uint16_t one = 1;
  std::memcpy(&expected[36], &flags, 4);  // bit 1 clear: the module writes no files
  std::memcpy(&expected[44], &width, 4);
  std::memcpy(&expected[48], &height, 4);
  std::memcpy(&expected[52], &one, 2);
  std::memcpy(&expected[54], &one, 2);
  std::memcpy(&expected[72], "_SVL", 4);
  std::memcpy(&expected[76], &anyCreator, 4);
  std::memcpy(&expected[80], ".lvs", 4);
  const auto* actual = reinterpret_cast<const uint8_t*>(&host.ModuleInfo());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(actual[i], expected[i]) << "byte " << i;
  // Built over a record of the host's size full of other bytes, everything
  // unnamed is zero and nothing around it is touched.
  AEIO_ModuleInfo dirty;
  std::memset(&dirty, 0xEE, sizeof(dirty));
  Guarded<AEIO_ModuleInfo> info(dirty);
  ASSERT_EQ(ConstructModuleInfo(nullptr, info.get()), A_Err_NONE);
  EXPECT_EQ(std::memcmp(info.get(), expected.data(), expected.size()), 0);
  EXPECT_TRUE(info.Check(host.Misuse(), "ConstructModuleInfo: the module record"));
  Guarded<AEIO_FunctionBlock4> table;
  ASSERT_EQ(ConstructFunctionBlock(table.get()), A_Err_NONE);
  EXPECT_TRUE(table.Check(host.Misuse(), "ConstructFunctionBlock: the callback table"));
  EXPECT_EQ(ConstructModuleInfo(nullptr, nullptr), A_Err_STRUCT);
  EXPECT_EQ(ConstructFunctionBlock(nullptr), A_Err_STRUCT);

  void* slots[49];
  static_assert(sizeof(slots) == sizeof(AEIO_FunctionBlock4), "table size");
  std::memcpy(slots, &host.Callbacks(), sizeof(slots));
  const std::vector<int> used = {0, 2, 3, 4, 6, 7, 8, 13, 39};
  for (int i = 0; i < 49; ++i)
    EXPECT_EQ(slots[i] != nullptr, std::find(used.begin(), used.end(), i) != used.end()) << "slot " << i;

  host.Shutdown();
  EXPECT_TRUE(host.DeathHookCalled());
  EXPECT_EQ(host.DeathHookResult(), A_Err_NONE);
  EXPECT_TRUE(host.Clean()) << host.Report();  // includes: the global refcon was left alone
}

// A failing step ends the sequence; pluginID is written only by a complete one.
TEST(Entry, FirstFailingStepEndsTheSequence) {
  struct Step {
    const char* op;
    bool deathHook, io;
  };
  ASSERT_EQ(LVS_PluginID(), 0);
  for (const Step& step : {Step{"AEGP_RegisterDeathHook", false, false}, Step{"AEGP_RegisterIO", true, false},
                           Step{"AEGP_RegisterWithAEGP", true, true}}) {
    SubstituteHost host;
    host.Faults().FailNth(step.op, 1, 4321);
    EXPECT_EQ(host.RunEntry(EntryPointFunc), 4321) << step.op;
    EXPECT_EQ(host.DeathHookRegistered(), step.deathHook) << step.op;
    EXPECT_EQ(host.IORegistered(), step.io) << step.op;
    EXPECT_EQ(LVS_PluginID(), 0) << step.op;
    EXPECT_TRUE(host.Clean()) << host.Report();
  }
  SubstituteHost host;
  ASSERT_EQ(host.RunEntry(EntryPointFunc), A_Err_NONE);
  EXPECT_EQ(LVS_PluginID(), kRegisteredPluginID);
  EXPECT_TRUE(host.Clean()) << host.Report();
}

}  // namespace
