#include "Resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace lvshost {
namespace {

struct Tap {
  int index;
  float weight;
};
// For each destination index along one axis, the source indexes it reads and
// their weights (summing to 1).
using AxisFilter = std::vector<std::vector<Tap>>;

AxisFilter MakeFilter(int src, int dst) {
  AxisFilter filter(dst);
  if (src == dst) {
    for (int i = 0; i < dst; ++i) filter[i] = {{i, 1.0f}};
  } else if (dst < src) {
    // Area average: destination pixel i covers [i*src/dst, (i+1)*src/dst).
    const double scale = double(src) / dst;
    for (int i = 0; i < dst; ++i) {
      const double lo = i * scale, hi = (i + 1) * scale;
      for (int j = int(std::floor(lo)); j < src && j < hi; ++j) {
        const double overlap = std::min<double>(hi, j + 1) - std::max<double>(lo, j);
        if (overlap > 0) filter[i].push_back({j, float(overlap / scale)});
      }
    }
  } else {
    // Bilinear between pixel centres; the edges repeat the outer pixels.
    const double scale = double(src) / dst;
    for (int i = 0; i < dst; ++i) {
      double x = (i + 0.5) * scale - 0.5;
      x = std::clamp(x, 0.0, double(src - 1));
      const int j0 = int(std::floor(x));
      const int j1 = std::min(j0 + 1, src - 1);
      const float f = float(x - j0);
      if (j1 == j0 || f == 0.0f)
        filter[i] = {{j0, 1.0f}};
      else
        filter[i] = {{j0, 1.0f - f}, {j1, f}};
    }
  }
  return filter;
}

template <class Sample>
Sample Store(float v);
template <>
uint8_t Store<uint8_t>(float v) {
  return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}
template <>
uint16_t Store<uint16_t>(float v) {
  return static_cast<uint16_t>(std::clamp(std::lround(v), 0L, 65535L));
}
template <>
float Store<float>(float v) {
  return v;
}

template <class Sample>
void Resample(const PF_EffectWorld& src, PF_EffectWorld& dst) {
  const int sw = src.width, sh = src.height, dw = dst.width, dh = dst.height;
  auto srcRow = [&](int y) {
    return reinterpret_cast<const Sample*>(static_cast<const uint8_t*>(src.data) + ptrdiff_t(y) * src.rowbytes);
  };
  auto dstRow = [&](int y) {
    return reinterpret_cast<Sample*>(static_cast<uint8_t*>(dst.data) + ptrdiff_t(y) * dst.rowbytes);
  };
  if (sw == dw && sh == dh) {
    for (int y = 0; y < sh; ++y) std::memmove(dstRow(y), srcRow(y), size_t(sw) * 4 * sizeof(Sample));
    return;
  }
  const AxisFilter fx = MakeFilter(sw, dw);
  const AxisFilter fy = MakeFilter(sh, dh);
  // Horizontal pass into floats, at the source's height.
  std::vector<float> tmp(size_t(sh) * dw * 4);
  for (int y = 0; y < sh; ++y) {
    const Sample* in = srcRow(y);
    float* out = &tmp[size_t(y) * dw * 4];
    for (int x = 0; x < dw; ++x) {
      float acc[4] = {0, 0, 0, 0};
      for (const Tap& t : fx[x])
        for (int c = 0; c < 4; ++c) acc[c] += t.weight * float(in[t.index * 4 + c]);
      std::memcpy(out + x * 4, acc, sizeof(acc));
    }
  }
  // Vertical pass into the destination.
  std::vector<float> acc(size_t(dw) * 4);
  for (int y = 0; y < dh; ++y) {
    std::fill(acc.begin(), acc.end(), 0.0f);
    for (const Tap& t : fy[y]) {
      const float* row = &tmp[size_t(t.index) * dw * 4];
      for (size_t k = 0; k < acc.size(); ++k) acc[k] += t.weight * row[k];
    }
    Sample* out = dstRow(y);
    for (size_t k = 0; k < acc.size(); ++k) out[k] = Store<Sample>(acc[k]);
  }
}

}  // namespace

void ResampleWorld(const PF_EffectWorld& src, PF_EffectWorld& dst, PF_PixelFormat format) {
  switch (format) {
    case PF_PixelFormat_ARGB32: Resample<uint8_t>(src, dst); break;
    case PF_PixelFormat_ARGB64: Resample<uint16_t>(src, dst); break;
    case PF_PixelFormat_ARGB128: Resample<float>(src, dst); break;
    default: break;
  }
}

}  // namespace lvshost
