// Loading the module the way the host does: the entry's registration steps,
// the module description byte for byte, the callback table, and the export
// list of the module file.
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "host_test_support.h"

using namespace lvshost;

namespace {

template <class T>
T ReadAt(const uint8_t* bytes, size_t offset) {
  T v;
  std::memcpy(&v, bytes + offset, sizeof(T));
  return v;
}

TEST(Entry, RegistersEverythingAndLeavesNothingAcquired) {
  SubstituteHost host;
  ASSERT_EQ(host.Load(LVS_PLUGIN_PATH), A_Err_NONE) << host.LoadError();
  EXPECT_TRUE(host.DeathHookRegistered());
  EXPECT_TRUE(host.IORegistered());
  EXPECT_EQ(host.RegisteredName(), "Lumivastrin Styles Importer");
  EXPECT_EQ(host.PluginID(), kRegisteredPluginID);
  // Register is asked for twice, but the cache takes it once; release in
  // table order.
  std::vector<std::string> order;
  for (const SuiteEvent& e : host.Suites().Events()) order.push_back((e.acquire ? "+" : "-") + e.name);
  EXPECT_EQ(order, (std::vector<std::string>{"+AEGP Register Suite", "+AEGP Utility Suite", "-AEGP Register Suite",
                                             "-AEGP Utility Suite"}));
  EXPECT_EQ(host.Faults().CallCounts(),
            (std::map<std::string, uint64_t>{{"AcquireSuite", 2},
                                             {"ReleaseSuite", 2},
                                             {"AEGP_RegisterDeathHook", 1},
                                             {"AEGP_RegisterIO", 1},
                                             {"AEGP_RegisterWithAEGP", 1}}));
  host.Shutdown();
  EXPECT_TRUE(host.DeathHookCalled());
  EXPECT_EQ(host.DeathHookResult(), A_Err_NONE);
  EXPECT_TRUE(host.Clean()) << host.Report();  // includes: the global refcon was left alone
}

TEST(Entry, ModuleInformationBytes) {
  SubstituteHost host;
  ASSERT_EQ(host.Load(LVS_PLUGIN_PATH), A_Err_NONE) << host.LoadError();
  std::vector<uint8_t> expected(396, 0);
  std::memcpy(&expected[0], "_SVL", 4);
  std::memcpy(&expected[4], "Lumivastrin Styles Importer", 27);  // then NULs to 36
  const uint32_t flags = 0x0800004D, width = 1280, height = 720, anyCreator = 0xFFFFFFFF;
  const uint16_t one = 1;
  std::memcpy(&expected[36], &flags, 4);
  std::memcpy(&expected[44], &width, 4);
  std::memcpy(&expected[48], &height, 4);
  std::memcpy(&expected[52], &one, 2);
  std::memcpy(&expected[54], &one, 2);
  std::memcpy(&expected[72], "_SVL", 4);
  std::memcpy(&expected[76], &anyCreator, 4);
  std::memcpy(&expected[80], ".lvs", 4);
  const auto* actual = reinterpret_cast<const uint8_t*>(&host.ModuleInfo());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(actual[i], expected[i]) << "byte " << i;
  EXPECT_EQ(ReadAt<uint32_t>(actual, 36) & 2u, 0u) << "the module must not claim to write files";
}

TEST(Entry, CallbackTableHasExactlyTheNineSlots) {
  SubstituteHost host;
  ASSERT_EQ(host.Load(LVS_PLUGIN_PATH), A_Err_NONE) << host.LoadError();
  void* slots[49];
  static_assert(sizeof(slots) == sizeof(AEIO_FunctionBlock4), "table size");
  std::memcpy(slots, &host.Callbacks(), sizeof(slots));
  const std::vector<int> used = {0, 2, 3, 4, 6, 7, 8, 13, 39};
  for (int i = 0; i < 49; ++i) {
    const bool shouldBeSet = std::find(used.begin(), used.end(), i) != used.end();
    EXPECT_EQ(slots[i] != nullptr, shouldBeSet) << "slot " << i;
  }
}

TEST(Entry, DefaultHandlingCallbacksTouchNothing) {
  SubstituteHost host;
  ASSERT_EQ(host.Load(LVS_PLUGIN_PATH), A_Err_NONE) << host.LoadError();
  const AEIO_FunctionBlock4& cb = host.Callbacks();
  AEIO_InSpecH inSpec = host.NewInSpec();
  host.Faults().ResetCounts();
  const A_Time t{5, 30};
  A_LRect extent{1, 2, 3, 4};
  EXPECT_EQ(cb.AEIO_GetActiveExtent(host.InData(), inSpec, &t, &extent), AEIO_Err_USE_DFLT_CALLBACK);
  EXPECT_EQ(extent.left + extent.top + extent.right + extent.bottom, 10);
  A_Boolean found = 7;
  A_Time next{9, 9};
  EXPECT_EQ(cb.AEIO_InqNextFrameTime(host.InData(), inSpec, &t, 1, &found, &next), AEIO_Err_USE_DFLT_CALLBACK);
  EXPECT_EQ(cb.AEIO_InqNextFrameTime(nullptr, nullptr, nullptr, -1, nullptr, nullptr), AEIO_Err_USE_DFLT_CALLBACK);
  EXPECT_EQ(found, 7);
  EXPECT_EQ(next.value, 9);
  EXPECT_EQ(cb.AEIO_CloseSourceFiles(host.InData(), inSpec), A_Err_NONE);
  EXPECT_EQ(host.Faults().TotalCalls(), 0u);
  host.DeleteInSpec(inSpec);
  EXPECT_TRUE(host.Clean()) << host.Report();
}

// Each registration step failing stops the sequence there.
TEST(Entry, FirstFailingStepEndsTheSequence) {
  struct Step {
    const char* op;
    bool deathHook, io, registered;
  };
  for (const Step& step : {Step{"AEGP_RegisterDeathHook", false, false, false}, Step{"AEGP_RegisterIO", true, false, false},
                           Step{"AEGP_RegisterWithAEGP", true, true, false}}) {
    SubstituteHost host;
    host.Faults().FailNth(step.op, 1, 4321);
    EXPECT_EQ(host.Load(LVS_PLUGIN_PATH), 4321) << step.op;
    EXPECT_EQ(host.DeathHookRegistered(), step.deathHook) << step.op;
    EXPECT_EQ(host.IORegistered(), step.io) << step.op;
    EXPECT_EQ(host.Faults().Calls("AEGP_RegisterIO"), step.deathHook ? 1u : 0u) << step.op;
    EXPECT_EQ(host.Faults().Calls("AEGP_RegisterWithAEGP"), step.io ? 1u : 0u) << step.op;
    EXPECT_TRUE(host.Clean()) << step.op << "\n" << host.Report();
  }
}

TEST(Entry, RefusedSuitesGive516AndReleaseWhatWasTaken) {
  {
    SubstituteHost host;
    host.Faults().RefuseSuite(kAEGPRegisterSuite);
    EXPECT_EQ(host.Load(LVS_PLUGIN_PATH), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_FALSE(host.DeathHookRegistered());
    EXPECT_TRUE(host.Clean()) << host.Report();
  }
  {
    SubstituteHost host;
    host.Faults().RefuseSuite(kAEGPUtilitySuite, 0);  // success without a table
    EXPECT_EQ(host.Load(LVS_PLUGIN_PATH), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(host.IORegistered());
    EXPECT_EQ(host.Suites().Released(kAEGPRegisterSuite), 1);
    EXPECT_TRUE(host.Clean()) << host.Report();
  }
}

TEST(Entry, NullBasicSuiteAndNullRecords) {
  ModuleLoader module;
  ASSERT_TRUE(module.Open(LVS_PLUGIN_PATH)) << module.Error();
  auto entry = reinterpret_cast<AEGP_PluginInitFuncPrototype>(module.Symbol("EntryPointFunc"));
  ASSERT_NE(entry, nullptr);
  AEGP_GlobalRefcon refcon = nullptr;
  EXPECT_EQ(entry(nullptr, 1, 0, kEntryPluginID, &refcon), PF_Err_BAD_CALLBACK_PARAM);
  // Nothing else of the module is reachable by name.
  EXPECT_EQ(module.Symbol("ConstructModuleInfo"), nullptr);
  EXPECT_EQ(module.Symbol("_Z19ConstructModuleInfoPK12SPBasicSuiteP15AEIO_ModuleInfo"), nullptr);
}

// Every host call the entry makes, failed in turn: the entry hands back a
// code (or succeeds when only a release failed) and leaves nothing behind.
TEST(Entry, FaultSweep) {
  uint64_t calls = 0;
  {
    SubstituteHost host;
    ASSERT_EQ(host.Load(LVS_PLUGIN_PATH), A_Err_NONE);
    calls = host.Faults().TotalCalls();
  }
  ASSERT_EQ(calls, 7u);
  for (uint64_t k = 1; k <= calls; ++k) {
    SubstituteHost host;
    host.Faults().FailNth(kAnyOperation, k, 6060);
    const A_Err err = host.Load(LVS_PLUGIN_PATH);
    const std::string failed = host.Faults().CallLog().at(k - 1);
    if (failed == "ReleaseSuite")
      EXPECT_EQ(err, A_Err_NONE) << "release results are ignored";
    else if (failed == "AcquireSuite")
      EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM) << k;
    else
      EXPECT_EQ(err, 6060) << failed;
    EXPECT_TRUE(host.Clean()) << "call " << k << " (" << failed << ")\n" << host.Report();
  }
}

TEST(Entry, OnlyEntryPointFuncIsExported) {
  const std::string command = std::string("nm -D --defined-only '") + LVS_PLUGIN_PATH + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[512];
  while (fgets(buffer, sizeof(buffer), pipe)) output += buffer;
  ASSERT_EQ(pclose(pipe), 0) << output;
  std::vector<std::string> functions;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string address, type, name;
    if (!(fields >> address >> type >> name)) continue;
    if (type == "T" || type == "W" || type == "i" || type == "t") functions.push_back(name);
  }
  EXPECT_EQ(functions, std::vector<std::string>{"EntryPointFunc"}) << output;
}

}  // namespace
