#include "Resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lvs_host {
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

// Rounds to nearest; every value reaching here is non-negative after the
// clamps, so adding a half and truncating is lround without its cost.
template <class Sample>
Sample Store(float v);
template <>
uint8_t Store<uint8_t>(float v) {
  return v <= 0.0f ? 0 : v >= 255.0f ? 255 : static_cast<uint8_t>(v + 0.5f);
}
template <>
uint16_t Store<uint16_t>(float v) {
  return v <= 0.0f ? 0 : v >= 65535.0f ? 65535 : static_cast<uint16_t>(v + 0.5f);
}
template <>
float Store<float>(float v) {
  return v;
}

// The taps of one axis laid out flat: destination i reads taps[first[i]] up
// to taps[first[i + 1]].
struct FlatFilter {
  std::vector<int> first;
  std::vector<Tap> taps;
};

FlatFilter Flatten(const AxisFilter& filter) {
  FlatFilter flat;
  flat.first.reserve(filter.size() + 1);
  for (const auto& taps : filter) {
    flat.first.push_back(int(flat.taps.size()));
    flat.taps.insert(flat.taps.end(), taps.begin(), taps.end());
  }
  flat.first.push_back(int(flat.taps.size()));
  return flat;
}

// A reduction by whole ratios, e.g. a half-size preview. Every destination
// pixel covers whole source pixels, each weighing float(1 / ratio), so the
// area average needs no tap tables. The sums run in the same order, with
// the same weights, as in the general filter, so the results are the same
// to the bit; only the bookkeeping around them is gone.
template <class Sample, int FixedRatioX>
void ReduceRows(const PF_EffectWorld& src, PF_EffectWorld& dst, int ratioX, int ratioY) {
  if (FixedRatioX) ratioX = FixedRatioX;
  const float wx = float(1.0 / double(ratioX));
  const float wy = float(1.0 / double(ratioY));
  const int dw = dst.width, dh = dst.height;
  const size_t n = size_t(src.width) * 4;
  std::vector<float> column(n);
  float* acc = column.data();
  for (int y = 0; y < dh; ++y) {
    std::fill(acc, acc + n, 0.0f);
    for (int t = 0; t < ratioY; ++t) {
      const auto* in = reinterpret_cast<const Sample*>(reinterpret_cast<const uint8_t*>(src.data) +
                                                       ptrdiff_t(y * ratioY + t) * src.rowbytes);
      for (size_t k = 0; k < n; ++k) acc[k] += wy * float(in[k]);
    }
    Sample* out = reinterpret_cast<Sample*>(reinterpret_cast<uint8_t*>(dst.data) + ptrdiff_t(y) * dst.rowbytes);
    for (int x = 0; x < dw; ++x) {
      const float* p = acc + size_t(x) * ratioX * 4;
      float sum[4] = {0, 0, 0, 0};
      for (int t = 0; t < ratioX; ++t)
        for (int c = 0; c < 4; ++c) sum[c] += wx * p[t * 4 + c];
      for (int c = 0; c < 4; ++c) out[size_t(x) * 4 + c] = Store<Sample>(sum[c]);
    }
  }
}

// Output pixels done by the vector steps of one halved row; the caller's
// loop takes the rest. The same sums, rounded the same way.
template <class Sample>
size_t HalveRowWide(const Sample*, const Sample*, Sample*, size_t) {
  return 0;
}

#if defined(__SSE2__)
// Two output pixels per step: each 32-bit lane sums one sample of four
// source pixels. Packing subtracts 32768 first so the signed saturation of
// SSE2 keeps every value up to 65535.
size_t HalveRowWide(const uint16_t* top, const uint16_t* bottom, uint16_t* out, size_t pixels) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i two = _mm_set1_epi32(2);
  const __m128i half = _mm_set1_epi32(32768);
  const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
  size_t x = 0;
  for (; x + 2 <= pixels; x += 2) {
    __m128i sums[2];
    for (int h = 0; h < 2; ++h) {
      const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 8 * (x + h)));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 8 * (x + h)));
      const __m128i left = _mm_add_epi32(_mm_unpacklo_epi16(t, zero), _mm_unpacklo_epi16(b, zero));
      const __m128i right = _mm_add_epi32(_mm_unpackhi_epi16(t, zero), _mm_unpackhi_epi16(b, zero));
      const __m128i rounded = _mm_srli_epi32(_mm_add_epi32(_mm_add_epi32(left, right), two), 2);
      sums[h] = _mm_sub_epi32(rounded, half);
    }
    const __m128i packed = _mm_xor_si128(_mm_packs_epi32(sums[0], sums[1]), flip);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), packed);
  }
  return x;
}

// Two output pixels per step in 16-bit lanes (four 8-bit samples sum to at
// most 1020).
size_t HalveRowWide(const uint8_t* top, const uint8_t* bottom, uint8_t* out, size_t pixels) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i two = _mm_set1_epi16(2);
  size_t x = 0;
  for (; x + 2 <= pixels; x += 2) {
    const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 8 * x));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 8 * x));
    const __m128i low = _mm_add_epi16(_mm_unpacklo_epi8(t, zero), _mm_unpacklo_epi8(b, zero));
    const __m128i high = _mm_add_epi16(_mm_unpackhi_epi8(t, zero), _mm_unpackhi_epi8(b, zero));
    // Lanes 0-3 of each: the left source pixel plus the right one.
    const __m128i lowSum = _mm_add_epi16(low, _mm_srli_si128(low, 8));
    const __m128i highSum = _mm_add_epi16(high, _mm_srli_si128(high, 8));
    const __m128i sums = _mm_srli_epi16(_mm_add_epi16(_mm_unpacklo_epi64(lowSum, highSum), two), 2);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * x), _mm_packus_epi16(sums, zero));
  }
  return x;
}
#endif

// Halving both axes of integer samples: the float sums above are exact
// there (quarter weights, sums far below 2^24), so the sum of the four
// samples rounded half up is the same value without leaving integers.
template <class Sample>
void HalveIntegers(const PF_EffectWorld& src, PF_EffectWorld& dst) {
  const size_t n = size_t(dst.width) * 4;
  for (int y = 0; y < dst.height; ++y) {
    const auto* top =
        reinterpret_cast<const Sample*>(reinterpret_cast<const uint8_t*>(src.data) + ptrdiff_t(2 * y) * src.rowbytes);
    const auto* bottom = reinterpret_cast<const Sample*>(reinterpret_cast<const uint8_t*>(top) + src.rowbytes);
    Sample* out = reinterpret_cast<Sample*>(reinterpret_cast<uint8_t*>(dst.data) + ptrdiff_t(y) * dst.rowbytes);
    for (size_t k = 4 * HalveRowWide(top, bottom, out, size_t(dst.width)); k < n; ++k) {
      const size_t pixel = k / 4, c = k % 4;
      const size_t left = pixel * 8 + c, right = left + 4;
      const uint32_t sum = uint32_t(top[left]) + top[right] + bottom[left] + bottom[right];
      out[k] = Sample((sum + 2) >> 2);
    }
  }
}

template <class Sample>
void ReduceByWholeRatio(const PF_EffectWorld& src, PF_EffectWorld& dst) {
  const int ratioX = src.width / dst.width, ratioY = src.height / dst.height;
  if (!std::is_floating_point<Sample>::value && ratioX == 2 && ratioY == 2)
    HalveIntegers<Sample>(src, dst);
  else if (ratioX == 2)
    ReduceRows<Sample, 2>(src, dst, ratioX, ratioY);
  else
    ReduceRows<Sample, 0>(src, dst, ratioX, ratioY);
}

template <class Sample>
void Resample(const PF_EffectWorld& src, PF_EffectWorld& dst, bool shortcuts) {
  const int sw = src.width, sh = src.height, dw = dst.width, dh = dst.height;
  auto srcRow = [&](int y) {
    return reinterpret_cast<const Sample*>(reinterpret_cast<const uint8_t*>(src.data) + ptrdiff_t(y) * src.rowbytes);
  };
  auto dstRow = [&](int y) {
    return reinterpret_cast<Sample*>(reinterpret_cast<uint8_t*>(dst.data) + ptrdiff_t(y) * dst.rowbytes);
  };
  if (sw == dw && sh == dh) {
    for (int y = 0; y < sh; ++y) std::memmove(dstRow(y), srcRow(y), size_t(sw) * 4 * sizeof(Sample));
    return;
  }
  if (shortcuts && dw <= sw && dh <= sh && sw % dw == 0 && sh % dh == 0) {
    ReduceByWholeRatio<Sample>(src, dst);
    return;
  }
  const FlatFilter fx = Flatten(MakeFilter(sw, dw));
  const FlatFilter fy = Flatten(MakeFilter(sh, dh));
  // One destination row at a time: the vertical taps into a float row of the
  // source's width (small enough to stay in cache), then the horizontal taps
  // from it into the destination.
  std::vector<float> column(size_t(sw) * 4);
  const size_t n = column.size();
  for (int y = 0; y < dh; ++y) {
    float* acc = column.data();
    std::fill(acc, acc + n, 0.0f);
    for (int t = fy.first[y]; t < fy.first[y + 1]; ++t) {
      const Sample* in = srcRow(fy.taps[t].index);
      const float w = fy.taps[t].weight;
      for (size_t k = 0; k < n; ++k) acc[k] += w * float(in[k]);
    }
    Sample* out = dstRow(y);
    for (int x = 0; x < dw; ++x) {
      float sum[4] = {0, 0, 0, 0};
      for (int t = fx.first[x]; t < fx.first[x + 1]; ++t) {
        const float* p = acc + size_t(fx.taps[t].index) * 4;
        const float w = fx.taps[t].weight;
        for (int c = 0; c < 4; ++c) sum[c] += w * p[c];
      }
      for (int c = 0; c < 4; ++c) out[size_t(x) * 4 + c] = Store<Sample>(sum[c]);
    }
  }
}

void ResampleByFormat(const PF_EffectWorld& src, PF_EffectWorld& dst, PF_PixelFormat format, bool shortcuts) {
  switch (format) {
    case PF_PixelFormat_ARGB32:
      Resample<uint8_t>(src, dst, shortcuts);
      break;
    case PF_PixelFormat_ARGB64:
      Resample<uint16_t>(src, dst, shortcuts);
      break;
    case PF_PixelFormat_ARGB128:
      Resample<float>(src, dst, shortcuts);
      break;
    default:
      break;
  }
}

}  // namespace

void ResampleWorld(const PF_EffectWorld& src, PF_EffectWorld& dst, PF_PixelFormat format) {
  ResampleByFormat(src, dst, format, true);
}

void ResampleWorldGeneral(const PF_EffectWorld& src, PF_EffectWorld& dst, PF_PixelFormat format) {
  ResampleByFormat(src, dst, format, false);
}

}  // namespace lvs_host
