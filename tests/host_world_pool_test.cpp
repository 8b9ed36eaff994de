// Freed worlds are pooled for reuse; a reused buffer must still look new
// and a record kept from its previous life must still read as disposed.
#include <cstring>
#include <string>

#include "host_test_support.h"

using namespace lvshost;

namespace {

class WorldPool : public ::testing::Test {
 protected:
  SubstituteHost host;
  const PF_WorldSuite2* worlds = nullptr;
  void SetUp() override { worlds = AcquireForTest<PF_WorldSuite2>(host, kPFWorldSuite, kPFWorldSuiteVersion2); }
  void TearDown() override { host.BasicSuite()->ReleaseSuite(kPFWorldSuite, kPFWorldSuiteVersion2); }
};

TEST_F(WorldPool, ReusedBufferIsRefilledAndStaleRecordsStayDisposed) {
  PF_EffectWorld first{};
  ASSERT_EQ(worlds->PF_NewWorld(nullptr, 6, 4, 0, PF_PixelFormat_ARGB64, &first), A_Err_NONE);
  std::memset(first.data, 0x11, size_t(first.rowbytes) * 4);  // pixels and guards alike
  const PF_EffectWorld stale = first;
  // The damaged guards are reported now, not carried into the next world.
  EXPECT_EQ(worlds->PF_DisposeWorld(nullptr, &first), A_Err_NONE);
  EXPECT_EQ(host.Worlds().PooledCount(), 1u);

  PF_EffectWorld second{};
  ASSERT_EQ(worlds->PF_NewWorld(nullptr, 6, 4, 0, PF_PixelFormat_ARGB64, &second), A_Err_NONE);
  EXPECT_EQ(host.Worlds().PooledCount(), 0u);
  EXPECT_NE(second.data, stale.data);
  const auto* bytes = static_cast<const uint8_t*>(second.data);
  for (int y = 0; y < 4; ++y)
    for (int i = 0; i < 6 * 8; ++i) ASSERT_EQ(bytes[y * second.rowbytes + i], kFreshWorldByte);
  EXPECT_TRUE(host.Worlds().GuardsIntact(&second));
  EXPECT_FALSE(host.Worlds().IsLive(&stale));
  PF_PixelFormat format = 0;
  EXPECT_EQ(worlds->PF_GetPixelFormat(&stale, &format), A_Err_PARAMETER);
  EXPECT_EQ(worlds->PF_DisposeWorld(nullptr, &second), A_Err_NONE);

  // A cleared world from the pool is zero, not what was left in it.
  PF_EffectWorld dirty{};
  ASSERT_EQ(worlds->PF_NewWorld(nullptr, 6, 4, 0, PF_PixelFormat_ARGB64, &dirty), A_Err_NONE);
  std::memset(dirty.data, 0x77, 6 * 8);
  EXPECT_EQ(worlds->PF_DisposeWorld(nullptr, &dirty), A_Err_NONE);
  PF_EffectWorld cleared{};
  ASSERT_EQ(worlds->PF_NewWorld(nullptr, 6, 4, 1, PF_PixelFormat_ARGB64, &cleared), A_Err_NONE);
  EXPECT_EQ(GetPixel16(cleared, 0, 0).alpha, 0);
  EXPECT_EQ(worlds->PF_DisposeWorld(nullptr, &cleared), A_Err_NONE);
  const LeftoverReport r = host.Leftovers();
  ASSERT_EQ(r.misuse.size(), 2u) << r.Text();
  EXPECT_NE(r.misuse[0].find("written outside its pixels"), std::string::npos);
  EXPECT_NE(r.misuse[1].find("unknown or disposed world"), std::string::npos);
}

TEST_F(WorldPool, StaleRecordIsCaughtAcrossManyReuses) {
  PF_EffectWorld w{};
  ASSERT_EQ(worlds->PF_NewWorld(nullptr, 3, 3, 0, PF_PixelFormat_ARGB32, &w), A_Err_NONE);
  const PF_EffectWorld stale = w;
  ASSERT_EQ(worlds->PF_DisposeWorld(nullptr, &w), A_Err_NONE);
  for (int i = 1; i < kPoolSlots; ++i) {
    ASSERT_EQ(worlds->PF_NewWorld(nullptr, 3, 3, 0, PF_PixelFormat_ARGB32, &w), A_Err_NONE);
    EXPECT_FALSE(host.Worlds().IsLive(&stale)) << "reuse " << i;
    ASSERT_EQ(worlds->PF_DisposeWorld(nullptr, &w), A_Err_NONE);
  }
}

TEST_F(WorldPool, PoolIsBoundedInCountAndBytes) {
  for (int size = 1; size <= kPoolMaxBuffers + 2; ++size) {
    PF_EffectWorld w{};
    ASSERT_EQ(worlds->PF_NewWorld(nullptr, size, 1, 0, PF_PixelFormat_ARGB32, &w), A_Err_NONE);
    ASSERT_EQ(worlds->PF_DisposeWorld(nullptr, &w), A_Err_NONE);
  }
  EXPECT_EQ(host.Worlds().PooledCount(), size_t(kPoolMaxBuffers));
  // Larger than the whole pool: freed at once, and it pushes nothing out.
  PF_EffectWorld huge{};
  const A_long side = 2100;  // 2100 * 2100 * 16 bytes > 64 MiB
  ASSERT_EQ(worlds->PF_NewWorld(nullptr, side, side, 0, PF_PixelFormat_ARGB128, &huge), A_Err_NONE);
  ASSERT_EQ(worlds->PF_DisposeWorld(nullptr, &huge), A_Err_NONE);
  EXPECT_EQ(host.Worlds().PooledCount(), size_t(kPoolMaxBuffers));
}

}  // namespace
