// Every record the host hands the module is the host's size exactly and
// fenced: a stand-in module that writes one byte past any of them (or into
// one it may only read) is caught and named in the host's misuse log.
#include <gtest/gtest.h>

#include <string>

#include "Guarded.h"
#include "SubstituteHost.h"

using namespace lvs_host;

namespace {

// What the stand-in module damages on its next call.
enum class Damage { None, BasicData, Path, Verbiage, Request, RequestInside, Flags, FlatHandle, Extent, Time, Found };
Damage gDamage = Damage::None;

// One byte just past `size` bytes of a record; the sizes are the host's.
void Poke(void* record, size_t size) { static_cast<unsigned char*>(record)[size] ^= 0xFF; }
void PokeIf(Damage which, void* record, size_t size) {
  if (gDamage == which) Poke(record, size);
}

A_Err Open(AEIO_BasicData* in, const A_UTF16Char* path, AEIO_InSpecH) {
  PokeIf(Damage::BasicData, in, 32);
  if (gDamage == Damage::Path) {
    size_t n = 0;
    while (path[n]) ++n;
    Poke(const_cast<A_UTF16Char*>(path), 2 * n + 2);  // the first byte after the terminator
  }
  return A_Err_NONE;
}
A_Err Info(AEIO_BasicData*, AEIO_InSpecH, AEIO_Verbiage* verbiage) {
  PokeIf(Damage::Verbiage, verbiage, 192);
  return A_Err_NONE;
}
A_Err Draw(AEIO_BasicData*, AEIO_InSpecH, const AEIO_DrawSparseFramePB* request, PF_EffectWorld*,
           AEIO_DrawingFlags* flags) {
  PokeIf(Damage::Request, const_cast<AEIO_DrawSparseFramePB*>(request), 80);
  PokeIf(Damage::RequestInside, const_cast<AEIO_DrawSparseFramePB*>(request), 0);
  PokeIf(Damage::Flags, flags, 4);
  return A_Err_NONE;
}
A_Err Flatten(AEIO_BasicData*, AEIO_InSpecH, AEIO_Handle* flat) {
  PokeIf(Damage::FlatHandle, flat, 8);
  return A_Err_NONE;
}
A_Err Extent(AEIO_BasicData*, AEIO_InSpecH, const A_Time*, A_LRect* extent) {
  PokeIf(Damage::Extent, extent, 16);
  return A_Err_NONE;
}
A_Err Next(AEIO_BasicData*, AEIO_InSpecH, const A_Time*, AEIO_TimeDir, A_Boolean* found, A_Time* next) {
  PokeIf(Damage::Found, found, 1);
  PokeIf(Damage::Time, next, 8);
  return A_Err_NONE;
}

A_Err StandInEntry(SPBasicSuite* basic, A_long, A_long, AEGP_PluginID id, AEGP_GlobalRefcon*) {
  const void* table = nullptr;
  if (basic->AcquireSuite(kAEGPRegisterSuite, kAEGPRegisterSuiteVersion5, &table)) return A_Err_MISSING_SUITE;
  Guarded<AEIO_ModuleInfo> info;
  Guarded<AEIO_FunctionBlock4> block;
  block->AEIO_InitInSpecFromFile = Open;
  block->AEIO_GetInSpecInfo = Info;
  block->AEIO_DrawSparseFrame = Draw;
  block->AEIO_FlattenOptions = Flatten;
  block->AEIO_GetActiveExtent = Extent;
  block->AEIO_InqNextFrameTime = Next;
  const A_Err err =
      static_cast<const AEGP_RegisterSuite5*>(table)->AEGP_RegisterIO(id, nullptr, info.get(), block.get());
  basic->ReleaseSuite(kAEGPRegisterSuite, kAEGPRegisterSuiteVersion5);
  return err;
}

struct Case {
  const char* name;
  Damage damage;
  const char* named;  // what the misuse entry must name
};

class RecordGuards : public ::testing::TestWithParam<Case> {};

TEST_P(RecordGuards, AWriteOutsideARecordIsCaughtAndNamed) {
  SubstituteHost host;
  ASSERT_EQ(host.RunEntry(StandInEntry), A_Err_NONE);
  AEIO_InSpecH inSpec = host.NewInSpec();
  PF_EffectWorld* world = host.Worlds().Create(PF_PixelFormat_ARGB32, 16, 9);
  AEIO_Verbiage verbiage;
  AEGP_MemHandle flat = nullptr;
  A_LRect extent{};
  A_Boolean found = 0;
  A_Time next{};

  gDamage = GetParam().damage;
  host.Calls().InitInSpecFromFile(u"/tmp/a.lvs", inSpec);
  host.Calls().GetInSpecInfo(inSpec, &verbiage);
  host.Calls().DrawSparseFrame(inSpec, world);
  host.Calls().FlattenOptions(inSpec, &flat);
  host.Calls().GetActiveExtent(inSpec, A_Time{0, 1}, &extent);
  host.Calls().InqNextFrameTime(inSpec, A_Time{0, 1}, AEIO_TimeDir_FORWARD, &found, &next);
  gDamage = Damage::None;

  const std::vector<std::string> misuse = host.Misuse().Entries();
  if (GetParam().damage == Damage::None) {
    EXPECT_TRUE(misuse.empty()) << host.Report();
  } else {
    ASSERT_EQ(misuse.size(), 1u) << host.Report();
    EXPECT_NE(misuse[0].find(GetParam().named), std::string::npos) << misuse[0];
  }
  host.Worlds().Release(world);
  host.DeleteInSpec(inSpec);
}

INSTANTIATE_TEST_SUITE_P(
    EachRecord, RecordGuards,
    ::testing::Values(Case{"NothingDamaged", Damage::None, ""},
                      Case{"BasicData", Damage::BasicData, "AEIO_InitInSpecFromFile: the basic data"},
                      Case{"Path", Damage::Path, "AEIO_InitInSpecFromFile: the path"},
                      Case{"Verbiage", Damage::Verbiage, "AEIO_GetInSpecInfo: the verbiage: written outside its 192"},
                      Case{"FrameRequest", Damage::Request, "the frame request: written outside its 80"},
                      Case{"FrameRequestReadOnly", Damage::RequestInside, "the frame request: written, though"},
                      Case{"DrawingFlags", Damage::Flags, "the drawing flags: written outside its 4"},
                      Case{"FlatHandle", Damage::FlatHandle, "AEIO_FlattenOptions: the flat options handle"},
                      Case{"Extent", Damage::Extent, "AEIO_GetActiveExtent: the extent: written outside its 16"},
                      Case{"FoundFlag", Damage::Found, "the found flag: written outside its 1"},
                      Case{"NextTime", Damage::Time, "the next time: written outside its 8"}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// The records the module fills for registration, built in the host's size
// by the test: a byte past either is caught the same way.
TEST(RecordGuardsForRegistration, AByteWrittenPastTheModuleRecordOrTheTableIsCaught) {
  MisuseLog misuse;
  Guarded<AEIO_ModuleInfo> info;
  Guarded<AEIO_FunctionBlock4> block;
  EXPECT_TRUE(info.Check(misuse, "module record") && block.Check(misuse, "callback table"));
  Poke(info.get(), 396);
  Poke(block.get(), 392);
  EXPECT_FALSE(info.Check(misuse, "module record"));
  EXPECT_FALSE(block.Check(misuse, "callback table"));
  EXPECT_EQ(misuse.Entries(), (std::vector<std::string>{"module record: written outside its 396 bytes",
                                                        "callback table: written outside its 392 bytes"}));
}

}  // namespace
