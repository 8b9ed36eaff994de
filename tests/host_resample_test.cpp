// Whole-ratio reductions take a shortcut; it must agree with the general
// area-average filter on every format and on ratios the shortcut treats
// differently (2 is specialised, others are not, one axis may keep its size).
#include <cmath>
#include <cstring>
#include <random>

#include "host_test_support.h"
#include "Resample.h"

using namespace lvshost;

namespace {

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
