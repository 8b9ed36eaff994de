// The host must notice what a careless plug-in leaves or misuses.
#include <cstring>
#include <optional>
#include <string>

#include "host_test_support.h"

using namespace lvs_host;

namespace {

class HostBookkeeping : public ::testing::Test {
 protected:
  SubstituteHost host;
  const AEGP_MemorySuite1* mem = AcquireForTest<AEGP_MemorySuite1>(host, kAEGPMemorySuite, kAEGPMemorySuiteVersion1);
  const PF_HandleSuite1* handles = AcquireForTest<PF_HandleSuite1>(host, kPFHandleSuite, kPFHandleSuiteVersion1);
  const PF_WorldSuite2* worlds = AcquireForTest<PF_WorldSuite2>(host, kPFWorldSuite, kPFWorldSuiteVersion2);

  void ReleaseSuites() {
    host.BasicSuite()->ReleaseSuite(kAEGPMemorySuite, kAEGPMemorySuiteVersion1);
    host.BasicSuite()->ReleaseSuite(kPFHandleSuite, kPFHandleSuiteVersion1);
    host.BasicSuite()->ReleaseSuite(kPFWorldSuite, kPFWorldSuiteVersion2);
  }
  bool Mentions(const std::string& text) const { return host.Report().find(text) != std::string::npos; }
  void ExpectMisuse(const std::vector<std::string>& phrases) {
    const LeftoverReport r = host.Leftovers();
    ASSERT_EQ(r.misuse.size(), phrases.size()) << r.Text();
    for (size_t i = 0; i < phrases.size(); ++i) EXPECT_NE(r.misuse[i].find(phrases[i]), std::string::npos) << r.Text();
  }
};

TEST_F(HostBookkeeping, SuitesAreCountedAndUnknownOnesRefused) {
  const void* table = reinterpret_cast<const void*>(1);
  EXPECT_NE(host.BasicSuite()->AcquireSuite(kAEGPMemorySuite, 2, &table), A_Err_NONE);
  EXPECT_EQ(table, nullptr);
  EXPECT_TRUE(Mentions("\"PF World Suite\" acquired 1 time(s), released 0")) << host.Report();
  ReleaseSuites();
  EXPECT_TRUE(host.Clean()) << host.Report();
  host.BasicSuite()->ReleaseSuite(kPFWorldSuite, kPFWorldSuiteVersion2);
  EXPECT_TRUE(Mentions("released more often than acquired")) << host.Report();
}

// A long run forgets what was given back, and nothing that a report needs:
// live handles, the suites' balance and misuse stay; a forgotten handle used
// again is still misuse.
TEST_F(HostBookkeeping, ForgettingHistoryKeepsWhatIsLiveAndEveryMisuse) {
  std::vector<AEGP_MemHandle> freed(100, nullptr);
  for (AEGP_MemHandle& h : freed) {
    ASSERT_EQ(mem->AEGP_NewMemHandle(0, "spent", 64, AEGP_MemFlag_NONE, &h), A_Err_NONE);
    ASSERT_EQ(mem->AEGP_FreeMemHandle(h), A_Err_NONE);
    handles->host_dispose_handle(handles->host_new_handle(64));
  }
  AEGP_MemHandle live = nullptr;
  ASSERT_EQ(mem->AEGP_NewMemHandle(0, "held", 8, AEGP_MemFlag_NONE, &live), A_Err_NONE);
  PF_Handle held = handles->host_new_handle(8);
  mem->AEGP_UnlockMemHandle(live);  // misuse before the forgetting
  host.ForgetHistory();

  EXPECT_FALSE(host.Memory().Info(freed[0]).has_value()) << "a freed handle's record is gone";
  EXPECT_TRUE(host.Memory().IsLive(live));
  EXPECT_EQ(host.PFHandles().LiveCount(), 1u);
  EXPECT_TRUE(host.Suites().Events().empty());
  EXPECT_EQ(host.Faults().TotalCalls(), 0u);
  EXPECT_NE(mem->AEGP_FreeMemHandle(freed[7]), A_Err_NONE);
  ExpectMisuse({"was not locked", "unknown memory handle"});
  EXPECT_TRUE(Mentions("\"held\"")) << host.Report();
  EXPECT_TRUE(Mentions("\"AEGP Memory Suite\" acquired 1 time(s), released 0")) << host.Report();

  EXPECT_EQ(mem->AEGP_FreeMemHandle(live), A_Err_NONE);
  handles->host_dispose_handle(held);
  ReleaseSuites();
  host.Misuse().Clear();
  EXPECT_TRUE(host.Clean()) << host.Report();
}

TEST_F(HostBookkeeping, HandlesLeftLockedOverrunOrMisusedAreReported) {
  AEGP_MemHandle h = nullptr, leaked = nullptr;
  ASSERT_EQ(mem->AEGP_NewMemHandle(0, "x", 16, AEGP_MemFlag_CLEAR, &h), A_Err_NONE);
  void* p = nullptr;
  ASSERT_EQ(mem->AEGP_LockMemHandle(h, &p), A_Err_NONE);
  static_cast<uint8_t*>(p)[16] = 0;  // one past the end
  EXPECT_EQ(mem->AEGP_UnlockMemHandle(h), A_Err_NONE);
  EXPECT_NE(mem->AEGP_UnlockMemHandle(h), A_Err_NONE);
  EXPECT_EQ(mem->AEGP_FreeMemHandle(h), A_Err_NONE);
  EXPECT_NE(mem->AEGP_FreeMemHandle(h), A_Err_NONE);
  ASSERT_EQ(mem->AEGP_NewMemHandle(99, "Leaky", 8, AEGP_MemFlag_NONE, &leaked), A_Err_NONE);
  ASSERT_EQ(mem->AEGP_LockMemHandle(leaked, &p), A_Err_NONE);

  PF_Handle kept = handles->host_new_handle(32);
  PF_Handle gone = handles->host_new_handle(0);
  ASSERT_TRUE(kept && gone);
  EXPECT_EQ(*kept, handles->host_lock_handle(kept));
  handles->host_dispose_handle(gone);
  handles->host_dispose_handle(gone);  // twice
  ReleaseSuites();
  const LeftoverReport r = host.Leftovers();
  ASSERT_EQ(r.memHandles.size(), 1u);
  EXPECT_NE(r.memHandles[0].find("\"Leaky\""), std::string::npos);
  ASSERT_EQ(r.pfHandles.size(), 1u);
  EXPECT_NE(r.pfHandles[0].find("locked 1 time(s)"), std::string::npos);
  ExpectMisuse({"was not locked", "written past its end", "used after it was freed",
                "owner 99 is not the registered plug-in id 0", ""});
  EXPECT_EQ(mem->AEGP_FreeMemHandle(leaked), A_Err_NONE);
  EXPECT_TRUE(Mentions("freed while locked")) << host.Report();
  handles->host_unlock_handle(kept);
  handles->host_dispose_handle(kept);
}

TEST_F(HostBookkeeping, WorldsAreGuardedPatternedAndLookNewWhenPooled) {
  PF_EffectWorld w{};
  ASSERT_EQ(worlds->PF_NewWorld(nullptr, 5, 3, 0, PF_PixelFormat_ARGB128, &w), A_Err_NONE);
  for (int y = 0; y < 3; ++y)
    for (int i = 0; i < 5 * 16; ++i) ASSERT_EQ(reinterpret_cast<uint8_t*>(w.data)[y * w.rowbytes + i], kFreshWorldByte);
  EXPECT_TRUE(host.Worlds().GuardsIntact(&w));
  reinterpret_cast<uint8_t*>(w.data)[w.rowbytes + 5 * 16] = 0;  // one past the middle row
  EXPECT_FALSE(host.Worlds().GuardsIntact(&w));
  EXPECT_EQ(worlds->PF_DisposeWorld(nullptr, &w), A_Err_NONE);
  // A pooled buffer comes back patterned (or cleared); the stale record stays disposed.
  PF_EffectWorld first{};
  ASSERT_EQ(worlds->PF_NewWorld(nullptr, 6, 4, 0, PF_PixelFormat_ARGB64, &first), A_Err_NONE);
  std::memset(first.data, 0x11, size_t(first.rowbytes) * 4);  // pixels and guards alike
  const PF_EffectWorld stale = first;
  EXPECT_EQ(worlds->PF_DisposeWorld(nullptr, &first), A_Err_NONE);
  PF_EffectWorld reused{};
  ASSERT_EQ(worlds->PF_NewWorld(nullptr, 6, 4, 0, PF_PixelFormat_ARGB64, &reused), A_Err_NONE);
  for (int k = 0; k < 4 * reused.rowbytes; ++k)
    ASSERT_TRUE(k % reused.rowbytes >= 6 * 8 || reinterpret_cast<uint8_t*>(reused.data)[k] == kFreshWorldByte);
  EXPECT_FALSE(host.Worlds().IsLive(&stale));
  std::memset(reused.data, 0x77, 6 * 8);
  EXPECT_EQ(worlds->PF_DisposeWorld(nullptr, &reused), A_Err_NONE);
  // Unmarked (as the draw benchmark runs): what the last world left, guards still written.
  host.Worlds().SetMarkFreshWorlds(false);
  PF_EffectWorld unmarked{};
  ASSERT_EQ(worlds->PF_NewWorld(nullptr, 6, 4, 0, PF_PixelFormat_ARGB64, &unmarked), A_Err_NONE);
  const auto* bytes = reinterpret_cast<const uint8_t*>(unmarked.data);
  int marked = 0;
  for (int y = 0; y < 4; ++y)
    for (int i = 0; i < 6 * 8; ++i) marked += bytes[y * unmarked.rowbytes + i] == kFreshWorldByte;
  EXPECT_LT(marked, 4 * 6 * 8);
  EXPECT_TRUE(host.Worlds().GuardsIntact(&unmarked));
  EXPECT_EQ(worlds->PF_DisposeWorld(nullptr, &unmarked), A_Err_NONE);
  host.Worlds().SetMarkFreshWorlds(true);
  PF_EffectWorld bad{};
  EXPECT_EQ(worlds->PF_DisposeWorld(nullptr, &first), A_Err_PARAMETER);
  ASSERT_EQ(worlds->PF_NewWorld(nullptr, 4, 4, 0, PF_PixelFormat_ARGB64, &bad), A_Err_NONE);
  ReleaseSuites();
  EXPECT_TRUE(Mentions("4x4 16-bit world not disposed")) << host.Report();
  ExpectMisuse({"written outside its pixels", "written outside its pixels", "unknown or disposed world"});
}

// What the plug-in declares about its footage is kept as given and counted;
// a null record or an unknown footage handle is refused and changes nothing.
TEST_F(HostBookkeeping, FootageAttributesAreKeptCountedAndCheckedAsTheHostDoes) {
  const auto* io = AcquireForTest<AEGP_IOInSuite4>(host, kAEGPIOInSuite, kAEGPIOInSuiteVersion4);
  AEIO_InSpecH inSpec = host.NewInSpec();
  const A_Time duration = {0, 100};
  AEIO_AlphaLabel alpha{};
  alpha.alpha = 7;
  FIEL_Label interlace{};
  interlace.order = 3;
  EXPECT_EQ(io->AEGP_SetInSpecDepth(inSpec, 32), A_Err_NONE);
  EXPECT_EQ(io->AEGP_SetInSpecDuration(inSpec, &duration), A_Err_NONE);
  EXPECT_EQ(io->AEGP_SetInSpecAlphaLabel(inSpec, &alpha), A_Err_NONE);
  EXPECT_EQ(io->AEGP_SetInSpecInterlaceLabel(inSpec, &interlace), A_Err_NONE);
  EXPECT_EQ(io->AEGP_SetInSpecDuration(inSpec, nullptr), A_Err_STRUCT);
  EXPECT_EQ(io->AEGP_SetInSpecAlphaLabel(inSpec, nullptr), A_Err_STRUCT);
  EXPECT_EQ(io->AEGP_SetInSpecInterlaceLabel(inSpec, nullptr), A_Err_STRUCT);
  const AEIO_InSpecH unknown = reinterpret_cast<AEIO_InSpecH>(0x40);
  EXPECT_EQ(io->AEGP_SetInSpecDepth(unknown, 24), A_Err_PARAMETER);

  const std::optional<InSpecAttributes> a = host.InSpec(inSpec);
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->setCalls, 4);
  EXPECT_EQ(a->depth, A_short(32));
  ASSERT_TRUE(a->duration);
  EXPECT_EQ(a->duration->scale, 100u);
  ASSERT_TRUE(a->alpha && a->interlace);
  // Copied out: the labels are packed to 2 bytes, so their enums may sit
  // unaligned, and EXPECT_EQ binds references.
  EXPECT_EQ(int(a->alpha->alpha), 7);
  EXPECT_EQ(int(a->interlace->order), 3);
  EXPECT_FALSE(a->width.has_value());
  EXPECT_TRUE(host.DeleteInSpec(inSpec));
  host.BasicSuite()->ReleaseSuite(kAEGPIOInSuite, kAEGPIOInSuiteVersion4);
  ReleaseSuites();
  ExpectMisuse({"AEGP_SetInSpecDepth: unknown"});
}

}  // namespace
