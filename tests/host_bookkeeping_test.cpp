// The substitute host as a test instrument: it must notice what a careless
// plug-in leaves behind or misuses, and refuse what the real host refuses.
#include <cstring>
#include <string>

#include "host_test_support.h"

using namespace lvshost;

namespace {

bool ReportMentions(const SubstituteHost& host, const std::string& text) {
  return host.Report().find(text) != std::string::npos;
}

class HostBookkeeping : public ::testing::Test {
 protected:
  SubstituteHost host;
  const AEGP_MemorySuite1* mem = nullptr;
  const PF_HandleSuite2* handles = nullptr;
  const PF_WorldSuite2* worlds = nullptr;

  void SetUp() override {
    mem = AcquireForTest<AEGP_MemorySuite1>(host, kAEGPMemorySuite, kAEGPMemorySuiteVersion1);
    handles = AcquireForTest<PF_HandleSuite2>(host, kPFHandleSuite, kPFHandleSuiteVersion2);
    worlds = AcquireForTest<PF_WorldSuite2>(host, kPFWorldSuite, kPFWorldSuiteVersion2);
  }
  void ReleaseSuites() {
    host.BasicSuite()->ReleaseSuite(kAEGPMemorySuite, kAEGPMemorySuiteVersion1);
    host.BasicSuite()->ReleaseSuite(kPFHandleSuite, kPFHandleSuiteVersion2);
    host.BasicSuite()->ReleaseSuite(kPFWorldSuite, kPFWorldSuiteVersion2);
  }
};

TEST_F(HostBookkeeping, BalancedUseIsClean) {
  AEGP_MemHandle h = nullptr;
  ASSERT_EQ(mem->AEGP_NewMemHandle(0, "x", 16, AEGP_MemFlag_CLEAR, &h), A_Err_NONE);
  void* p = nullptr;
  ASSERT_EQ(mem->AEGP_LockMemHandle(h, &p), A_Err_NONE);
  EXPECT_EQ(std::memcmp(p, std::string(16, '\0').data(), 16), 0);
  AEGP_MemSize size = 0;
  EXPECT_EQ(mem->AEGP_GetMemHandleSize(h, &size), A_Err_NONE);
  EXPECT_EQ(size, 16u);
  EXPECT_EQ(mem->AEGP_UnlockMemHandle(h), A_Err_NONE);
  EXPECT_EQ(mem->AEGP_FreeMemHandle(h), A_Err_NONE);
  ReleaseSuites();
  EXPECT_TRUE(host.Clean()) << host.Report();
}

TEST_F(HostBookkeeping, NoticesUnreleasedSuite) {
  host.BasicSuite()->ReleaseSuite(kAEGPMemorySuite, kAEGPMemorySuiteVersion1);
  host.BasicSuite()->ReleaseSuite(kPFHandleSuite, kPFHandleSuiteVersion2);
  EXPECT_FALSE(host.Clean());
  EXPECT_TRUE(ReportMentions(host, "\"PF World Suite\" acquired 1 time(s), released 0")) << host.Report();
  host.BasicSuite()->ReleaseSuite(kPFWorldSuite, kPFWorldSuiteVersion2);
  EXPECT_TRUE(host.Clean()) << host.Report();
  // One release too many is misuse, not a balance.
  host.BasicSuite()->ReleaseSuite(kPFWorldSuite, kPFWorldSuiteVersion2);
  EXPECT_TRUE(ReportMentions(host, "released more often than acquired")) << host.Report();
}

TEST_F(HostBookkeeping, RefusesUnknownNamesAndVersions) {
  const void* table = reinterpret_cast<const void*>(1);
  EXPECT_NE(host.BasicSuite()->AcquireSuite(kAEGPMemorySuite, 2, &table), A_Err_NONE);
  EXPECT_EQ(table, nullptr);
  EXPECT_NE(host.BasicSuite()->AcquireSuite("AEGP memory Suite", 1, &table), A_Err_NONE);
  EXPECT_NE(host.BasicSuite()->AcquireSuite("PF iterate16 Suite", 1, &table), A_Err_NONE);
  EXPECT_EQ(host.Suites().Acquired("AEGP memory Suite"), 0);
  ReleaseSuites();
  EXPECT_TRUE(host.Clean()) << host.Report();
}

TEST_F(HostBookkeeping, NoticesLeakedAndMisusedMemoryHandles) {
  AEGP_MemHandle leaked = nullptr, h = nullptr;
  ASSERT_EQ(mem->AEGP_NewMemHandle(0, "Leaky", 8, AEGP_MemFlag_NONE, &leaked), A_Err_NONE);
  ASSERT_EQ(mem->AEGP_NewMemHandle(0, "Twice", 8, AEGP_MemFlag_NONE, &h), A_Err_NONE);
  // Without the clear flag the bytes are not zero.
  EXPECT_EQ(host.Memory().Bytes(leaked), std::vector<uint8_t>(8, kFreshMemoryByte));
  EXPECT_NE(mem->AEGP_UnlockMemHandle(h), A_Err_NONE);
  EXPECT_EQ(mem->AEGP_FreeMemHandle(h), A_Err_NONE);
  EXPECT_NE(mem->AEGP_FreeMemHandle(h), A_Err_NONE);
  void* p = nullptr;
  EXPECT_NE(mem->AEGP_LockMemHandle(h, &p), A_Err_NONE);
  EXPECT_EQ(p, nullptr);
  ReleaseSuites();
  const LeftoverReport r = host.Leftovers();
  ASSERT_EQ(r.memHandles.size(), 1u);
  EXPECT_NE(r.memHandles[0].find("\"Leaky\""), std::string::npos);
  ASSERT_EQ(r.misuse.size(), 3u) << r.Text();
  EXPECT_NE(r.misuse[0].find("was not locked"), std::string::npos);
  EXPECT_NE(r.misuse[1].find("used after it was freed"), std::string::npos);
  EXPECT_NE(r.misuse[2].find("used after it was freed"), std::string::npos);
  host.Memory().Release(leaked);
}

TEST_F(HostBookkeeping, NoticesUnbalancedLockAndForeignOwner) {
  AEGP_MemHandle h = nullptr;
  ASSERT_EQ(mem->AEGP_NewMemHandle(99, "Owned", 4, AEGP_MemFlag_CLEAR, &h), A_Err_NONE);
  EXPECT_EQ(host.Memory().Info(h)->owner, 99);
  void* p = nullptr;
  ASSERT_EQ(mem->AEGP_LockMemHandle(h, &p), A_Err_NONE);
  ASSERT_EQ(mem->AEGP_LockMemHandle(h, &p), A_Err_NONE);
  ASSERT_EQ(mem->AEGP_UnlockMemHandle(h), A_Err_NONE);
  EXPECT_EQ(host.Memory().Info(h)->lockCount, 1);
  EXPECT_TRUE(ReportMentions(host, "locked 1 time(s)")) << host.Report();
  EXPECT_TRUE(ReportMentions(host, "owner 99 is not the registered plug-in id 0")) << host.Report();
  ASSERT_EQ(mem->AEGP_FreeMemHandle(h), A_Err_NONE);
  EXPECT_TRUE(ReportMentions(host, "freed while locked")) << host.Report();
  ReleaseSuites();
}

TEST_F(HostBookkeeping, NoticesWritesPastAMemoryHandle) {
  AEGP_MemHandle h = nullptr;
  ASSERT_EQ(mem->AEGP_NewMemHandle(0, "Short", 10, AEGP_MemFlag_CLEAR, &h), A_Err_NONE);
  void* p = nullptr;
  ASSERT_EQ(mem->AEGP_LockMemHandle(h, &p), A_Err_NONE);
  static_cast<uint8_t*>(p)[10] = 0;
  ASSERT_EQ(mem->AEGP_UnlockMemHandle(h), A_Err_NONE);
  ASSERT_EQ(mem->AEGP_FreeMemHandle(h), A_Err_NONE);
  ReleaseSuites();
  EXPECT_TRUE(ReportMentions(host, "written past its end")) << host.Report();
}

TEST_F(HostBookkeeping, NoticesHandleSuiteLeaksAndMisuse) {
  PF_Handle kept = handles->host_new_handle(32);
  PF_Handle h = handles->host_new_handle(0);
  ASSERT_TRUE(kept && h);
  EXPECT_EQ(*kept, handles->host_lock_handle(kept));
  handles->host_unlock_handle(h);  // never locked
  handles->host_dispose_handle(h);
  handles->host_dispose_handle(h);  // twice
  EXPECT_EQ(handles->host_lock_handle(h), nullptr);
  EXPECT_EQ(handles->host_new_handle(kLargestHandle + 1), nullptr);
  ReleaseSuites();
  const LeftoverReport r = host.Leftovers();
  ASSERT_EQ(r.pfHandles.size(), 1u);
  EXPECT_NE(r.pfHandles[0].find("locked 1 time(s)"), std::string::npos);
  EXPECT_EQ(r.misuse.size(), 3u) << r.Text();
  handles->host_unlock_handle(kept);
  handles->host_dispose_handle(kept);
}

TEST_F(HostBookkeeping, WorldsArePaddedPatternedAndGuarded) {
  for (PF_PixelFormat format : {PF_PixelFormat_ARGB32, PF_PixelFormat_ARGB64, PF_PixelFormat_ARGB128}) {
    PF_EffectWorld w{};
    ASSERT_EQ(worlds->PF_NewWorld(nullptr, 5, 3, 0, format, &w), A_Err_NONE);
    const int bpp = BytesPerPixel(format);
    EXPECT_GT(w.rowbytes, 5 * bpp);
    PF_PixelFormat got = 0;
    EXPECT_EQ(worlds->PF_GetPixelFormat(&w, &got), A_Err_NONE);
    EXPECT_EQ(got, format);
    const auto* bytes = static_cast<const uint8_t*>(w.data);
    for (int y = 0; y < 3; ++y)
      for (int i = 0; i < 5 * bpp; ++i) ASSERT_EQ(bytes[y * w.rowbytes + i], kFreshWorldByte);
    EXPECT_TRUE(host.Worlds().GuardsIntact(&w));
    // One byte past the last pixel of the middle row.
    static_cast<uint8_t*>(w.data)[w.rowbytes + 5 * bpp] = 0;
    EXPECT_FALSE(host.Worlds().GuardsIntact(&w));
    EXPECT_EQ(worlds->PF_DisposeWorld(nullptr, &w), A_Err_NONE);
  }
  PF_EffectWorld cleared{};
  ASSERT_EQ(worlds->PF_NewWorld(nullptr, 2, 2, 1, PF_PixelFormat_ARGB32, &cleared), A_Err_NONE);
  EXPECT_EQ(GetPixel8(cleared, 1, 1).red, 0);
  // After the last row.
  static_cast<uint8_t*>(cleared.data)[2 * cleared.rowbytes] = 1;
  EXPECT_EQ(worlds->PF_DisposeWorld(nullptr, &cleared), A_Err_NONE);
  EXPECT_EQ(worlds->PF_DisposeWorld(nullptr, &cleared), A_Err_PARAMETER);
  ReleaseSuites();
  const LeftoverReport r = host.Leftovers();
  EXPECT_TRUE(r.worlds.empty());
  ASSERT_EQ(r.misuse.size(), 5u) << r.Text();
  EXPECT_NE(r.misuse[3].find("written outside its pixels"), std::string::npos);
  EXPECT_NE(r.misuse[4].find("unknown or disposed world"), std::string::npos);
}

TEST_F(HostBookkeeping, RefusesBadWorldsAndReportsLeakedOnes) {
  PF_EffectWorld w{};
  EXPECT_EQ(worlds->PF_NewWorld(nullptr, 4, 4, 0, PF_PixelFormat_INVALID, &w), A_Err_PARAMETER);
  EXPECT_EQ(worlds->PF_NewWorld(nullptr, 0, 4, 0, PF_PixelFormat_ARGB32, &w), A_Err_PARAMETER);
  ASSERT_EQ(worlds->PF_NewWorld(nullptr, 4, 4, 0, PF_PixelFormat_ARGB64, &w), A_Err_NONE);
  ReleaseSuites();
  EXPECT_TRUE(ReportMentions(host, "4x4 16-bit world not disposed")) << host.Report();
  PF_EffectWorld* tight = host.Worlds().Create(PF_PixelFormat_ARGB32, 3, 1, -kDefaultRowPadding);
  PF_EffectWorld* wide = host.Worlds().Create(PF_PixelFormat_ARGB32, 3, 1, 100);
  EXPECT_EQ(tight->rowbytes, 12);
  EXPECT_EQ(wide->rowbytes, 12 + kDefaultRowPadding + 100);
  host.Worlds().Release(tight);
  host.Worlds().Release(wide);
}

TEST(HostFaults, NthCallFailsOnceAndCountersFollowCalls) {
  SubstituteHost host;
  const auto* mem = AcquireForTest<AEGP_MemorySuite1>(host, kAEGPMemorySuite, 1);
  host.Faults().ResetCounts();
  host.Faults().FailNth("AEGP_NewMemHandle", 2, 1234);
  AEGP_MemHandle a = nullptr, b = nullptr, c = nullptr;
  EXPECT_EQ(mem->AEGP_NewMemHandle(0, "a", 1, 0, &a), A_Err_NONE);
  EXPECT_EQ(mem->AEGP_NewMemHandle(0, "b", 1, 0, &b), 1234);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(mem->AEGP_NewMemHandle(0, "c", 1, 0, &c), A_Err_NONE);
  EXPECT_EQ(host.Faults().Calls("AEGP_NewMemHandle"), 3u);
  EXPECT_EQ(host.Faults().Injected(), 1u);

  host.Faults().FailNth(kAnyOperation, 2, 77);
  EXPECT_EQ(mem->AEGP_FreeMemHandle(a), A_Err_NONE);
  EXPECT_EQ(mem->AEGP_FreeMemHandle(c), 77);
  EXPECT_EQ(mem->AEGP_FreeMemHandle(c), A_Err_NONE);
  EXPECT_EQ((host.Faults().CallLog()), (std::vector<std::string>{"AEGP_NewMemHandle", "AEGP_NewMemHandle",
                                                                  "AEGP_NewMemHandle", "AEGP_FreeMemHandle",
                                                                  "AEGP_FreeMemHandle", "AEGP_FreeMemHandle"}));

  host.Faults().FailAllocations();
  const auto* handles = AcquireForTest<PF_HandleSuite2>(host, kPFHandleSuite, 2);
  EXPECT_EQ(handles->host_new_handle(4), nullptr);
  EXPECT_EQ(mem->AEGP_NewMemHandle(0, "d", 1, 0, &a), A_Err_ALLOC);
  host.Faults().Clear();

  host.Faults().RefuseSuite(kAEGPIterateSuite, 0);
  const void* table = nullptr;
  EXPECT_EQ(host.BasicSuite()->AcquireSuite(kAEGPIterateSuite, 1, &table), A_Err_NONE);
  EXPECT_EQ(table, nullptr);
  host.BasicSuite()->ReleaseSuite(kAEGPMemorySuite, 1);
  host.BasicSuite()->ReleaseSuite(kPFHandleSuite, 2);
  EXPECT_TRUE(host.Clean()) << host.Report();
}

TEST(HostFaults, OnlyOneHostAtATime) {
  SubstituteHost host;
  EXPECT_THROW(SubstituteHost second, std::logic_error);
}

}  // namespace
