// The host's world copy (resampling, with its shortcut for whole-ratio
// reductions) and its row iteration on worker threads.
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include <cstring>
#include <random>

#include "Resample.h"
#include "host_test_support.h"

using namespace lvshost;

namespace {

class HostCopy : public ::testing::Test {
 protected:
  SubstituteHost host;
  const PF_WorldTransformSuite1* transform = nullptr;
  void SetUp() override {
    transform = AcquireForTest<PF_WorldTransformSuite1>(host, kPFWorldTransformSuite, 1);
  }
  void TearDown() override {
    host.BasicSuite()->ReleaseSuite(kPFWorldTransformSuite, 1);
    EXPECT_TRUE(host.Clean()) << host.Report();
  }
};

TEST_F(HostCopy, ReducingAveragesTheCoveredArea) {
  PF_EffectWorld* src = host.Worlds().Create(PF_PixelFormat_ARGB32, 4, 2);
  PF_EffectWorld* half = host.Worlds().Create(PF_PixelFormat_ARGB32, 2, 1);
  PF_EffectWorld* third = host.Worlds().Create(PF_PixelFormat_ARGB32, 3, 2);
  const A_u_char reds[2][4] = {{0, 100, 200, 255}, {50, 150, 10, 20}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) SetPixel8(*src, x, y, PF_Pixel{255, reds[y][x], 0, 0});
  ASSERT_EQ(transform->copy_hq(nullptr, src, half, nullptr, nullptr), A_Err_NONE);
  EXPECT_EQ(GetPixel8(*half, 0, 0).red, 75);   // (0+100+50+150)/4
  EXPECT_EQ(GetPixel8(*half, 1, 0).red, 121);  // (200+255+10+20)/4 = 121.25
  EXPECT_EQ(GetPixel8(*half, 1, 0).alpha, 255);
  // 4 -> 3 columns: each destination pixel covers 4/3 source columns, so
  // the middle one takes two thirds of columns 1 and 2 each.
  ASSERT_EQ(transform->copy(nullptr, src, third, nullptr, nullptr), A_Err_NONE);
  EXPECT_EQ(GetPixel8(*third, 0, 0).red, 25);   // (0*1 + 100*1/3) * 3/4
  EXPECT_EQ(GetPixel8(*third, 1, 0).red, 150);  // (100*2/3 + 200*2/3) * 3/4
  EXPECT_EQ(GetPixel8(*third, 2, 0).red, 241);  // (200*1/3 + 255*1) * 3/4 = 241.25
  for (PF_EffectWorld* w : {src, half, third}) host.Worlds().Release(w);
}

TEST_F(HostCopy, EnlargingInterpolatesBetweenPixelCentres) {
  PF_EffectWorld* src = host.Worlds().Create(PF_PixelFormat_ARGB128, 2, 1);
  PF_EffectWorld* dst = host.Worlds().Create(PF_PixelFormat_ARGB128, 4, 2);
  SetPixelFloat(*src, 0, 0, PF_PixelFloat{1, 0, 0, 0});
  SetPixelFloat(*src, 1, 0, PF_PixelFloat{1, 1, 0, 0});
  ASSERT_EQ(transform->copy(nullptr, src, dst, nullptr, nullptr), A_Err_NONE);
  // Centres of the destination fall at source x = -0.25, 0.25, 0.75, 1.25.
  const float expected[4] = {0.0f, 0.25f, 0.75f, 1.0f};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      EXPECT_FLOAT_EQ(GetPixelFloat(*dst, x, y).red, expected[x]) << x << "," << y;
      EXPECT_FLOAT_EQ(GetPixelFloat(*dst, x, y).alpha, 1.0f);
    }
  host.Worlds().Release(src);
  host.Worlds().Release(dst);
}

TEST_F(HostCopy, RefusesDifferentFormatsAndRectangles) {
  PF_EffectWorld* a = host.Worlds().Create(PF_PixelFormat_ARGB32, 2, 2);
  PF_EffectWorld* b = host.Worlds().Create(PF_PixelFormat_ARGB64, 2, 2);
  PF_Rect r{0, 0, 1, 1};
  EXPECT_NE(transform->copy(nullptr, a, b, nullptr, nullptr), A_Err_NONE);
  EXPECT_NE(transform->copy(nullptr, a, a, &r, nullptr), A_Err_NONE);
  EXPECT_EQ(GetPixel16(*b, 0, 0).red, 0x5A5A);  // untouched
  EXPECT_EQ(host.Misuse().Entries().size(), 2u);
  host.Misuse().Clear();
  host.Worlds().Release(a);
  host.Worlds().Release(b);
}

struct IterationProbe {
  std::atomic<int> inFlight{0};
  std::atomic<bool> overlapped{false};
  std::vector<std::atomic<int>> seen;
  explicit IterationProbe(int n) : seen(n) {}
};

A_Err WaitForCompany(void* refcon, A_long, A_long i, A_long) {
  auto* probe = static_cast<IterationProbe*>(refcon);
  probe->seen[i].fetch_add(1);
  probe->inFlight.fetch_add(1);
  // Hold the row until another one runs at the same time (or give up).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!probe->overlapped.load() && std::chrono::steady_clock::now() < deadline) {
    if (probe->inFlight.load() >= 2) probe->overlapped.store(true);
    std::this_thread::yield();
  }
  probe->inFlight.fetch_sub(1);
  return A_Err_NONE;
}

TEST(HostIteration, RowsRunConcurrentlyAndEachOnce) {
  SubstituteHost host;
  const auto* iterate = AcquireForTest<AEGP_IterateSuite1>(host, kAEGPIterateSuite, 1);
  IterationProbe probe(64);
  EXPECT_EQ(iterate->AEGP_IterateGeneric(64, &probe, WaitForCompany), A_Err_NONE);
  EXPECT_TRUE(probe.overlapped.load());
  EXPECT_GE(host.Iteration().MaxConcurrency(), 2);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(probe.seen[i].load(), 1) << i;
  host.BasicSuite()->ReleaseSuite(kAEGPIterateSuite, 1);
  EXPECT_TRUE(host.Clean()) << host.Report();
}

A_Err FailOddRowsFromFive(void* refcon, A_long, A_long i, A_long) {
  static_cast<std::atomic<int>*>(refcon)->fetch_add(1);
  return (i >= 5 && i % 2 == 1) ? A_Err(1000 + i) : A_Err_NONE;
}

A_Err IterateInside(void* refcon, A_long, A_long, A_long) {
  const auto* iterate = static_cast<const AEGP_IterateSuite1*>(refcon);
  return iterate->AEGP_IterateGeneric(2, nullptr, [](void*, A_long, A_long, A_long) -> A_Err { return A_Err_NONE; });
}

TEST(HostIteration, ResultIsTheLowestFailingRow) {
  SubstituteHost host;
  const auto* iterate = AcquireForTest<AEGP_IterateSuite1>(host, kAEGPIterateSuite, 1);
  std::atomic<int> calls{0};
  EXPECT_EQ(iterate->AEGP_IterateGeneric(1000, &calls, FailOddRowsFromFive), 1005);
  EXPECT_GE(calls.load(), 6);
  calls = 0;
  EXPECT_EQ(iterate->AEGP_IterateGeneric(0, &calls, FailOddRowsFromFive), A_Err_NONE);
  EXPECT_EQ(calls.load(), 0);
  EXPECT_NE(iterate->AEGP_IterateGeneric(-1, &calls, FailOddRowsFromFive), A_Err_NONE);
  // A row callback calling the host is recorded, not deadlocked.
  EXPECT_EQ(iterate->AEGP_IterateGeneric(1, const_cast<AEGP_IterateSuite1*>(iterate), IterateInside), A_Err_NONE);
  EXPECT_EQ(host.Misuse().Entries().size(), 1u);
  host.Misuse().Clear();
  host.BasicSuite()->ReleaseSuite(kAEGPIterateSuite, 1);
}

void FillRandom(PF_EffectWorld& w, PF_PixelFormat format, std::mt19937& rng) {
  for (int y = 0; y < w.height; ++y) {
    auto* row = static_cast<uint8_t*>(w.data) + ptrdiff_t(y) * w.rowbytes;
    if (format == PF_PixelFormat_ARGB128) {
      std::uniform_real_distribution<float> dist(-0.25f, 1.5f);
      auto* f = reinterpret_cast<float*>(row);
      for (int i = 0; i < w.width * 4; ++i) f[i] = dist(rng);
    } else {
      for (int i = 0; i < w.width * BytesPerPixel(format); ++i) row[i] = uint8_t(rng());
    }
  }
}

TEST(HostResample, WholeRatioReductionMatchesGeneralFilterToTheBit) {
  SubstituteHost host;
  std::mt19937 rng(7);
  struct Case {
    int sw, sh, dw, dh;
  };
  const Case cases[] = {{64, 36, 32, 18}, {63, 35, 21, 7}, {40, 12, 40, 3}, {9, 30, 3, 30}, {10, 10, 1, 1},
                        {8, 8, 2, 8}};
  for (PF_PixelFormat format : {PF_PixelFormat_ARGB32, PF_PixelFormat_ARGB64, PF_PixelFormat_ARGB128}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << FormatName(format) << " " << c.sw << "x" << c.sh << " -> " << c.dw << "x"
                                      << c.dh);
      PF_EffectWorld* src = host.Worlds().Create(format, c.sw, c.sh);
      PF_EffectWorld* fast = host.Worlds().Create(format, c.dw, c.dh);
      PF_EffectWorld* general = host.Worlds().Create(format, c.dw, c.dh);
      FillRandom(*src, format, rng);
      ResampleWorld(*src, *fast, format);
      ResampleWorldGeneral(*src, *general, format);
      const size_t rowBytes = size_t(c.dw) * BytesPerPixel(format);
      for (int y = 0; y < c.dh; ++y)
        ASSERT_EQ(std::memcmp(static_cast<uint8_t*>(fast->data) + ptrdiff_t(y) * fast->rowbytes,
                              static_cast<uint8_t*>(general->data) + ptrdiff_t(y) * general->rowbytes, rowBytes),
                  0)
            << "row " << y;
      EXPECT_TRUE(host.Worlds().GuardsIntact(fast));
      host.Worlds().Release(src);
      host.Worlds().Release(fast);
      host.Worlds().Release(general);
    }
  }
}

TEST(HostResample, HalvingRoundsTheMeanHalfUp) {
  SubstituteHost host;
  PF_EffectWorld* src = host.Worlds().Create(PF_PixelFormat_ARGB64, 2, 2);
  PF_EffectWorld* dst = host.Worlds().Create(PF_PixelFormat_ARGB64, 1, 1);
  SetPixel16(*src, 0, 0, {0, 1, 65535, 7});
  SetPixel16(*src, 1, 0, {0, 2, 65535, 7});
  SetPixel16(*src, 0, 1, {0, 2, 65534, 7});
  SetPixel16(*src, 1, 1, {1, 1, 65535, 8});
  ResampleWorld(*src, *dst, PF_PixelFormat_ARGB64);
  const PF_Pixel16 p = GetPixel16(*dst, 0, 0);
  EXPECT_EQ(p.alpha, 0);      // 0.25
  EXPECT_EQ(p.red, 2);        // 1.5
  EXPECT_EQ(p.green, 65535);  // 65534.75
  EXPECT_EQ(p.blue, 7);       // 7.25
  host.Worlds().Release(src);
  host.Worlds().Release(dst);
}

}  // namespace
