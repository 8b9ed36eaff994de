// The registration pieces compiled into the test itself, so that what the
// module keeps hidden (the records' builders, pluginID) can be checked.
#include <cstring>

#include "Callbacks.h"
#include "LumivastrinImporter.h"
#include "host_test_support.h"

using namespace lvshost;

// The callbacks themselves live in other sources of the module; the table
// only needs their addresses.
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

TEST(EntryConstruct, NullRecordsYieldStructError) {
  EXPECT_EQ(ConstructModuleInfo(nullptr, nullptr), A_Err_STRUCT);
  EXPECT_EQ(ConstructFunctionBlock(nullptr), A_Err_STRUCT);
  EXPECT_EQ(DeathHook(nullptr, nullptr), A_Err_NONE);
}

TEST(EntryConstruct, ModuleInfoOverwritesWhateverWasThere) {
  AEIO_ModuleInfo info;
  std::memset(&info, 0xEE, sizeof(info));
  ASSERT_EQ(ConstructModuleInfo(nullptr, &info), A_Err_NONE);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&info);
  for (size_t i = 31; i < 36; ++i) EXPECT_EQ(bytes[i], 0) << "name field tail, byte " << i;
  for (size_t i = 84; i < sizeof(info); ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

TEST(EntryConstruct, FunctionBlockSetsOnlyItsSlots) {
  AEIO_FunctionBlock4 funcs;
  std::memset(&funcs, 0, sizeof(funcs));
  ASSERT_EQ(ConstructFunctionBlock(&funcs), A_Err_NONE);
  EXPECT_EQ(funcs.AEIO_InitInSpecFromFile, &InitInSpecFromFile);
  EXPECT_EQ(funcs.AEIO_DrawSparseFrame, &DrawSparseFrame);
  EXPECT_EQ(funcs.AEIO_CloseSourceFiles, &CloseSourceFiles);
  EXPECT_EQ(funcs.reserved1, nullptr);
}

// pluginID is written only by a registration that went all the way through,
// and it is the host's registered id, not the one the entry was given.
TEST(EntryConstruct, PluginIDOnlyFromSuccessfulRegistration) {
  ASSERT_EQ(LVS_PluginID(), 0);
  for (const char* step : {"AEGP_RegisterDeathHook", "AEGP_RegisterIO", "AEGP_RegisterWithAEGP"}) {
    SubstituteHost host;
    host.Faults().FailNth(step, 1, 11);
    EXPECT_EQ(host.RunEntry(EntryPointFunc), 11);
    EXPECT_EQ(LVS_PluginID(), 0) << step;
  }
  SubstituteHost host;
  ASSERT_EQ(host.RunEntry(EntryPointFunc), A_Err_NONE);
  EXPECT_EQ(LVS_PluginID(), kRegisteredPluginID);
  EXPECT_TRUE(host.Clean()) << host.Report();
}

}  // namespace
