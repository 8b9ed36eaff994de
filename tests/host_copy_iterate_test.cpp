// The host's world copy (its whole-ratio shortcut against the general
// filter) and its row iteration on worker threads.
#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "Resample.h"
#include "host_test_support.h"

using namespace lvshost;

namespace {

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

A_Err FailOddRowsFromFive(void* refcon, A_long, A_long i, A_long) {
  static_cast<std::atomic<int>*>(refcon)->fetch_add(1);
  return (i >= 5 && i % 2 == 1) ? A_Err(1000 + i) : A_Err_NONE;
}

A_Err IterateInside(void* refcon, A_long, A_long, A_long) {
  const auto* iterate = static_cast<const AEGP_IterateSuite1*>(refcon);
  return iterate->AEGP_IterateGeneric(2, nullptr, [](void*, A_long, A_long, A_long) -> A_Err { return A_Err_NONE; });
}

TEST(HostIteration, RowsRunConcurrentlyOnceEachAndTheLowestFailingRowWins) {
  SubstituteHost host;
  const auto* iterate = AcquireForTest<AEGP_IterateSuite1>(host, kAEGPIterateSuite, 1);
  IterationProbe probe(64);
  EXPECT_EQ(iterate->AEGP_IterateGeneric(64, &probe, WaitForCompany), A_Err_NONE);
  EXPECT_TRUE(probe.overlapped.load());
  EXPECT_GE(host.Iteration().MaxConcurrency(), 2);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(probe.seen[i].load(), 1) << i;

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
  EXPECT_TRUE(host.Clean()) << host.Report();
}

// The shortcut for whole-ratio reductions (halving has a two-pixel vector
// step and a scalar tail) must give the general filter's bytes exactly.
TEST(HostResample, WholeRatioReductionMatchesGeneralFilterToTheBitAndCopyRefusesMisuse) {
  SubstituteHost host;
  std::mt19937 rng(7);
  struct Case {
    int sw, sh, dw, dh;
  };
  const Case cases[] = {{64, 36, 32, 18}, {14, 6, 7, 3}, {63, 35, 21, 7}, {40, 12, 40, 3}, {9, 30, 3, 30},
                        {10, 10, 1, 1}};
  for (PF_PixelFormat format : {PF_PixelFormat_ARGB32, PF_PixelFormat_ARGB64, PF_PixelFormat_ARGB128}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << FormatName(format) << " " << c.sw << "x" << c.sh << " -> " << c.dw << "x"
                                      << c.dh);
      PF_EffectWorld* src = host.Worlds().Create(format, c.sw, c.sh);
      PF_EffectWorld* fast = host.Worlds().Create(format, c.dw, c.dh);
      PF_EffectWorld* general = host.Worlds().Create(format, c.dw, c.dh);
      std::uniform_real_distribution<float> unit(-0.25f, 1.5f);
      for (int y = 0; y < c.sh; ++y) {
        auto* row = static_cast<uint8_t*>(src->data) + ptrdiff_t(y) * src->rowbytes;
        for (int i = 0; i < c.sw * 4; ++i)
          if (format == PF_PixelFormat_ARGB128)
            reinterpret_cast<float*>(row)[i] = unit(rng);
          else if (format == PF_PixelFormat_ARGB64)
            reinterpret_cast<uint16_t*>(row)[i] = uint16_t(rng());
          else
            row[i] = uint8_t(rng());
      }
      ResampleWorld(*src, *fast, format);
      ResampleWorldGeneral(*src, *general, format);
      const size_t rowBytes = size_t(c.dw) * BytesPerPixel(format);
      for (int y = 0; y < c.dh; ++y)
        ASSERT_EQ(std::memcmp(static_cast<uint8_t*>(fast->data) + ptrdiff_t(y) * fast->rowbytes,
                              static_cast<uint8_t*>(general->data) + ptrdiff_t(y) * general->rowbytes, rowBytes),
                  0)
            << "row " << y;
      EXPECT_TRUE(host.Worlds().GuardsIntact(fast));
      for (PF_EffectWorld* w : {src, fast, general}) host.Worlds().Release(w);
    }
  }
  // The copy itself refuses different formats and rectangles, as misuse.
  const auto* transform = AcquireForTest<PF_WorldTransformSuite1>(host, kPFWorldTransformSuite, 1);
  PF_EffectWorld* a = host.Worlds().Create(PF_PixelFormat_ARGB32, 2, 2);
  PF_EffectWorld* b = host.Worlds().Create(PF_PixelFormat_ARGB64, 2, 2);
  PF_Rect r{0, 0, 1, 1};
  EXPECT_NE(transform->copy(nullptr, a, b, nullptr, nullptr), A_Err_NONE);
  EXPECT_NE(transform->copy_hq(nullptr, a, a, &r, nullptr), A_Err_NONE);
  EXPECT_EQ(GetPixel16(*b, 0, 0).red, 0x5A5A);  // untouched
  EXPECT_EQ(host.Misuse().Entries().size(), 2u);
  host.Misuse().Clear();
  host.Worlds().Release(a);
  host.Worlds().Release(b);
  host.BasicSuite()->ReleaseSuite(kPFWorldTransformSuite, 1);
  EXPECT_TRUE(host.Clean()) << host.Report();
}

}  // namespace
