// The substitute host as a test instrument: it must notice what a careless
// plug-in leaves behind or misuses, refuse what the real host refuses, fail
// calls on demand, and hand out pooled worlds that still look new.
#include <cstring>
#include <string>

#include "host_test_support.h"

using namespace lvshost;

namespace {

class HostBookkeeping : public ::testing::Test {
 protected:
  SubstituteHost host;
  const AEGP_MemorySuite1* mem = AcquireForTest<AEGP_MemorySuite1>(host, kAEGPMemorySuite, kAEGPMemorySuiteVersion1);
  const PF_HandleSuite2* handles = AcquireForTest<PF_HandleSuite2>(host, kPFHandleSuite, kPFHandleSuiteVersion2);
  const PF_WorldSuite2* worlds = AcquireForTest<PF_WorldSuite2>(host, kPFWorldSuite, kPFWorldSuiteVersion2);

  void ReleaseSuites() {
    host.BasicSuite()->ReleaseSuite(kAEGPMemorySuite, kAEGPMemorySuiteVersion1);
    host.BasicSuite()->ReleaseSuite(kPFHandleSuite, kPFHandleSuiteVersion2);
    host.BasicSuite()->ReleaseSuite(kPFWorldSuite, kPFWorldSuiteVersion2);
  }
  bool Mentions(const std::string& text) const { return host.Report().find(text) != std::string::npos; }
  // The misuse entries, each expected to hold its phrase.
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
  EXPECT_NE(host.BasicSuite()->AcquireSuite("AEGP memory Suite", 1, &table), A_Err_NONE);
  EXPECT_NE(host.BasicSuite()->AcquireSuite("PF iterate16 Suite", 1, &table), A_Err_NONE);
  host.BasicSuite()->ReleaseSuite(kAEGPMemorySuite, kAEGPMemorySuiteVersion1);
  host.BasicSuite()->ReleaseSuite(kPFHandleSuite, kPFHandleSuiteVersion2);
  EXPECT_TRUE(Mentions("\"PF World Suite\" acquired 1 time(s), released 0")) << host.Report();
  host.BasicSuite()->ReleaseSuite(kPFWorldSuite, kPFWorldSuiteVersion2);
  EXPECT_TRUE(host.Clean()) << host.Report();
  host.BasicSuite()->ReleaseSuite(kPFWorldSuite, kPFWorldSuiteVersion2);
  EXPECT_TRUE(Mentions("released more often than acquired")) << host.Report();
}

TEST_F(HostBookkeeping, MemoryHandles) {
  AEGP_MemHandle h = nullptr, leaked = nullptr;
  ASSERT_EQ(mem->AEGP_NewMemHandle(0, "x", 16, AEGP_MemFlag_CLEAR, &h), A_Err_NONE);
  void* p = nullptr;
  ASSERT_EQ(mem->AEGP_LockMemHandle(h, &p), A_Err_NONE);
  EXPECT_EQ(std::memcmp(p, std::string(16, '\0').data(), 16), 0);
  AEGP_MemSize size = 0;
  EXPECT_EQ(mem->AEGP_GetMemHandleSize(h, &size), A_Err_NONE);
  EXPECT_EQ(size, 16u);
  static_cast<uint8_t*>(p)[16] = 0;  // one past the end
  EXPECT_EQ(mem->AEGP_UnlockMemHandle(h), A_Err_NONE);
  EXPECT_NE(mem->AEGP_UnlockMemHandle(h), A_Err_NONE);
  EXPECT_EQ(mem->AEGP_FreeMemHandle(h), A_Err_NONE);
  EXPECT_NE(mem->AEGP_FreeMemHandle(h), A_Err_NONE);
  EXPECT_NE(mem->AEGP_LockMemHandle(h, &p), A_Err_NONE);
  EXPECT_EQ(p, nullptr);
  // Without the clear flag the bytes are not zero; a foreign owner, a lock
  // left and a free while locked are all reported.
  ASSERT_EQ(mem->AEGP_NewMemHandle(99, "Leaky", 8, AEGP_MemFlag_NONE, &leaked), A_Err_NONE);
  EXPECT_EQ(host.Memory().Bytes(leaked), std::vector<uint8_t>(8, kFreshMemoryByte));
  ASSERT_EQ(mem->AEGP_LockMemHandle(leaked, &p), A_Err_NONE);
  ReleaseSuites();
  const LeftoverReport r = host.Leftovers();
  ASSERT_EQ(r.memHandles.size(), 1u);
  EXPECT_NE(r.memHandles[0].find("\"Leaky\""), std::string::npos);
  EXPECT_TRUE(Mentions("locked 1 time(s)")) << host.Report();
  ExpectMisuse({"was not locked", "written past its end", "used after it was freed", "used after it was freed",
                "owner 99 is not the registered plug-in id 0"});
  EXPECT_EQ(mem->AEGP_FreeMemHandle(leaked), A_Err_NONE);
  EXPECT_TRUE(Mentions("freed while locked")) << host.Report();
}

TEST_F(HostBookkeeping, HandleSuiteHandles) {
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

TEST_F(HostBookkeeping, WorldsArePaddedPatternedGuardedAndRefusedWhenBad) {
  for (PF_PixelFormat format : {PF_PixelFormat_ARGB32, PF_PixelFormat_ARGB64, PF_PixelFormat_ARGB128}) {
    PF_EffectWorld w{};
    ASSERT_EQ(worlds->PF_NewWorld(nullptr, 5, 3, 0, format, &w), A_Err_NONE);
    const int bpp = BytesPerPixel(format);
    EXPECT_GT(w.rowbytes, 5 * bpp);
    PF_PixelFormat got = 0;
    EXPECT_EQ(worlds->PF_GetPixelFormat(&w, &got), A_Err_NONE);
    EXPECT_EQ(got, format);
    for (int y = 0; y < 3; ++y)
      for (int i = 0; i < 5 * bpp; ++i) ASSERT_EQ(static_cast<uint8_t*>(w.data)[y * w.rowbytes + i], kFreshWorldByte);
    EXPECT_TRUE(host.Worlds().GuardsIntact(&w));
    static_cast<uint8_t*>(w.data)[w.rowbytes + 5 * bpp] = 0;  // one past the middle row
    EXPECT_FALSE(host.Worlds().GuardsIntact(&w));
    EXPECT_EQ(worlds->PF_DisposeWorld(nullptr, &w), A_Err_NONE);
  }
  PF_EffectWorld cleared{}, bad{};
  ASSERT_EQ(worlds->PF_NewWorld(nullptr, 2, 2, 1, PF_PixelFormat_ARGB32, &cleared), A_Err_NONE);
  EXPECT_EQ(GetPixel8(cleared, 1, 1).red, 0);
  static_cast<uint8_t*>(cleared.data)[2 * cleared.rowbytes] = 1;  // after the last row
  EXPECT_EQ(worlds->PF_DisposeWorld(nullptr, &cleared), A_Err_NONE);
  EXPECT_EQ(worlds->PF_DisposeWorld(nullptr, &cleared), A_Err_PARAMETER);
  EXPECT_EQ(worlds->PF_NewWorld(nullptr, 4, 4, 0, PF_PixelFormat_INVALID, &bad), A_Err_PARAMETER);
  EXPECT_EQ(worlds->PF_NewWorld(nullptr, 0, 4, 0, PF_PixelFormat_ARGB32, &bad), A_Err_PARAMETER);
  ASSERT_EQ(worlds->PF_NewWorld(nullptr, 4, 4, 0, PF_PixelFormat_ARGB64, &bad), A_Err_NONE);
  ReleaseSuites();
  EXPECT_TRUE(Mentions("4x4 16-bit world not disposed")) << host.Report();
  ExpectMisuse({"", "", "", "written outside its pixels", "unknown or disposed world"});
  PF_EffectWorld* tight = host.Worlds().Create(PF_PixelFormat_ARGB32, 3, 1, -kDefaultRowPadding);
  PF_EffectWorld* wide = host.Worlds().Create(PF_PixelFormat_ARGB32, 3, 1, 100);
  EXPECT_EQ(tight->rowbytes, 12);
  EXPECT_EQ(wide->rowbytes, 12 + kDefaultRowPadding + 100);
  host.Worlds().Release(tight);
  host.Worlds().Release(wide);
}

TEST_F(HostBookkeeping, PooledWorldsLookNewAndStaleRecordsStayDisposed) {
  PF_EffectWorld first{};
  ASSERT_EQ(worlds->PF_NewWorld(nullptr, 6, 4, 0, PF_PixelFormat_ARGB64, &first), A_Err_NONE);
  std::memset(first.data, 0x11, size_t(first.rowbytes) * 4);  // pixels and guards alike
  const PF_EffectWorld stale = first;
  EXPECT_EQ(worlds->PF_DisposeWorld(nullptr, &first), A_Err_NONE);  // the guards are reported now
  EXPECT_EQ(host.Worlds().PooledCount(), 1u);
  for (int i = 0; i + 1 < kPoolSlots; ++i) {
    PF_EffectWorld w{};
    ASSERT_EQ(worlds->PF_NewWorld(nullptr, 6, 4, i == 1, PF_PixelFormat_ARGB64, &w), A_Err_NONE);
    EXPECT_EQ(host.Worlds().PooledCount(), 0u);
    EXPECT_NE(w.data, stale.data) << "reuse " << i;
    EXPECT_FALSE(host.Worlds().IsLive(&stale)) << "reuse " << i;
    for (int y = 0; y < 4; ++y)
      for (int k = 0; k < 6 * 8; ++k)
        ASSERT_EQ(static_cast<uint8_t*>(w.data)[y * w.rowbytes + k], i == 1 ? 0 : kFreshWorldByte);
    EXPECT_TRUE(host.Worlds().GuardsIntact(&w));
    std::memset(w.data, 0x77, 6 * 8);
    EXPECT_EQ(worlds->PF_DisposeWorld(nullptr, &w), A_Err_NONE);
  }
  PF_PixelFormat format = 0;
  EXPECT_EQ(worlds->PF_GetPixelFormat(&stale, &format), A_Err_PARAMETER);
  ExpectMisuse({"written outside its pixels", "unknown or disposed world"});

  // Bounded in count and bytes: a world larger than the whole pool is freed
  // at once and pushes nothing out.
  for (int size = 1; size <= kPoolMaxBuffers + 2; ++size) {
    PF_EffectWorld w{};
    ASSERT_EQ(worlds->PF_NewWorld(nullptr, size, 1, 0, PF_PixelFormat_ARGB32, &w), A_Err_NONE);
    ASSERT_EQ(worlds->PF_DisposeWorld(nullptr, &w), A_Err_NONE);
  }
  EXPECT_EQ(host.Worlds().PooledCount(), size_t(kPoolMaxBuffers));
  PF_EffectWorld huge{};
  ASSERT_EQ(worlds->PF_NewWorld(nullptr, 2100, 2100, 0, PF_PixelFormat_ARGB128, &huge), A_Err_NONE);  // > 64 MiB
  ASSERT_EQ(worlds->PF_DisposeWorld(nullptr, &huge), A_Err_NONE);
  EXPECT_EQ(host.Worlds().PooledCount(), size_t(kPoolMaxBuffers));
  ReleaseSuites();
}

TEST(HostFaults, NthCallFailsOnceAndCountersFollowCalls) {
  SubstituteHost host;
  EXPECT_THROW(SubstituteHost second, std::logic_error) << "one host at a time";
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

}  // namespace
