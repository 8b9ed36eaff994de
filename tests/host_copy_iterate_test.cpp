// The host's row iteration and its whole-ratio resampling shortcut.
#include <atomic>
#include <cstring>
#include <random>
#include <vector>

#include "Resample.h"
#include "host_test_support.h"

using namespace lvs_host;

namespace {

A_Err FailOddRowsFromFive(void* refcon, A_long, A_long i, A_long) {
  static_cast<std::atomic<int>*>(refcon)->fetch_add(1);
  return (i >= 5 && i % 2 == 1) ? A_Err(1000 + i) : A_Err_NONE;
}

// Rows run on worker threads; whichever fails first in time, the lowest failing row's code wins.
TEST(HostIteration, TheLowestFailingRowWins) {
  SubstituteHost host;
  const auto* iterate = AcquireForTest<AEGP_IterateSuite1>(host, kAEGPIterateSuite, 1);
  std::atomic<int> calls{0};
  EXPECT_EQ(iterate->AEGP_IterateGeneric(1000, &calls, FailOddRowsFromFive), 1005);
  EXPECT_GE(calls.load(), 6);
  EXPECT_NE(iterate->AEGP_IterateGeneric(-1, &calls, FailOddRowsFromFive), A_Err_NONE);
  host.BasicSuite()->ReleaseSuite(kAEGPIterateSuite, 1);
  EXPECT_TRUE(host.Clean()) << host.Report();
}

// The shortcut for whole-ratio reductions (halving has a two-pixel vector
// step and a scalar tail) must give the general filter's bytes exactly.
TEST(HostResample, WholeRatioReductionMatchesGeneralFilterToTheBit) {
  SubstituteHost host;
  std::mt19937 rng(7);
  struct Case {
    int sw, sh, dw, dh;
  };
  const Case cases[] = {{64, 36, 32, 18}, {14, 6, 7, 3},  {63, 35, 21, 7},
                        {40, 12, 40, 3},  {9, 30, 3, 30}, {10, 10, 1, 1}};
  for (PF_PixelFormat format : {PF_PixelFormat_ARGB32, PF_PixelFormat_ARGB64, PF_PixelFormat_ARGB128}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << FormatName(format) << " " << c.sw << "x" << c.sh << " -> " << c.dw << "x"
                                      << c.dh);
      PF_EffectWorld* src = host.Worlds().Create(format, c.sw, c.sh);
      PF_EffectWorld* fast = host.Worlds().Create(format, c.dw, c.dh);
      PF_EffectWorld* general = host.Worlds().Create(format, c.dw, c.dh);
      std::uniform_real_distribution<float> unit(-0.25f, 1.5f);
      for (int y = 0; y < c.sh; ++y) {
        auto* row = reinterpret_cast<uint8_t*>(src->data) + ptrdiff_t(y) * src->rowbytes;
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
        ASSERT_EQ(std::memcmp(reinterpret_cast<uint8_t*>(fast->data) + ptrdiff_t(y) * fast->rowbytes,
                              reinterpret_cast<uint8_t*>(general->data) + ptrdiff_t(y) * general->rowbytes, rowBytes),
                  0)
            << "row " << y;
      EXPECT_TRUE(host.Worlds().GuardsIntact(fast));
      for (PF_EffectWorld* w : {src, fast, general}) host.Worlds().Release(w);
    }
  }
  EXPECT_TRUE(host.Clean()) << host.Report();
}

}  // namespace
