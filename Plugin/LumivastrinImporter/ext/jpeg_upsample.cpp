#include "jpeg_upsample.h"

#include <cstddef>

#include "jpeg_clip.h"

namespace Jpeg {
namespace {

inline uint8_t CF(int32_t sum) { return Clip((sum + 64) >> 7); }

// The vertical filter's weights at its edges, for each of the three output
// rows there: on rows 0, 1 and 2 of the component at the top, on rows n - 3,
// n - 2 and n - 1 at the bottom (the top's weights mirrored).
constexpr int32_t topEdge[3][3] = {{139, -11, 0}, {104, 27, -3}, {28, 109, -9}};
constexpr int32_t bottomEdge[3][3] = {{-9, 109, 28}, {-3, 27, 104}, {0, -11, 139}};

}  // namespace

void DoubleLineFrom(const uint8_t* in, int32_t n, int32_t stored, uint8_t* out, int32_t from) {
  int32_t s0 = in[0], s1 = in[1], s2 = in[2];
  out[0] = CF(139 * s0 - 11 * s1);
  out[1] = CF(104 * s0 + 27 * s1 - 3 * s2);
  out[2] = CF(28 * s0 + 109 * s1 - 9 * s2);
  for (int32_t j = from; j <= n - 3; ++j) {
    int32_t a = in[j - 1], b = in[j], c = in[j + 1], d = in[j + 2];
    out[2 * j + 1] = CF(-9 * a + 111 * b + 29 * c - 3 * d);
    out[2 * j + 2] = CF(-3 * a + 29 * b + 111 * c - 9 * d);
  }
  int32_t e1 = in[stored - 1], e2 = in[stored - 2], e3 = in[stored - 3];
  out[2 * n - 3] = CF(28 * e1 + 109 * e2 - 9 * e3);
  out[2 * n - 2] = CF(104 * e1 + 27 * e2 - 3 * e3);
  out[2 * n - 1] = CF(139 * e1 - 11 * e2);
}

void DoubleLinePortable(const uint8_t* in, int32_t n, int32_t stored, uint8_t* out) {
  DoubleLineFrom(in, n, stored, out, 1);
}

void WeighRowsPortable(uint8_t* out, const uint8_t* const rows[4], const int32_t weights[4], int32_t count) {
  const uint8_t *a = rows[0], *b = rows[1], *c = rows[2], *d = rows[3];
  const int32_t wa = weights[0], wb = weights[1], wc = weights[2], wd = weights[3];
  for (int32_t x = 0; x < count; ++x) out[x] = CF(wa * a[x] + wb * b[x] + wc * c[x] + wd * d[x]);
}

void WeighInnerRowsPortable(uint8_t* out, const uint8_t* p, const uint8_t* q, const uint8_t* r, const uint8_t* s,
                            int32_t count) {
  for (int32_t x = 0; x < count; ++x) out[x] = CF(111 * p[x] - 9 * q[x] + 29 * r[x] - 3 * s[x]);
}

UpsampledRows::~UpsampledRows() { Reset(); }

void UpsampledRows::Reset() {
  if (block) release(block);
  block = nullptr;
  output = nullptr;
  stageCount = 0;
}

bool UpsampledRows::Start(const uint8_t* plane_, int32_t width, int32_t height, int32_t stride, int32_t slotRows_,
                          int32_t slots_, int32_t frameWidth, int32_t frameHeight, const Kernels& kernels_,
                          void* (*allocate)(uint64_t), void (*release_)(void*)) {
  Reset();
  plane = plane_;
  planeStride = stride;
  slotRows = slotRows_;
  slots = slots_;
  kernels = &kernels_;
  release = release_;
  stages[0].width = width;
  stages[0].height = height;
  stageCount = 1;
  requested = 0;
  // The same sequence of passes as doubling the plane in place would take.
  int32_t w = width, h = height;
  while ((w < frameWidth || h < frameHeight) && stageCount + 2 <= MaxStages) {
    if (w < frameWidth) {
      w *= 2;
      stages[stageCount++] = Stage{true, w, h};
    }
    if (h < frameHeight) {
      h *= 2;
      stages[stageCount++] = Stage{false, w, h};
    }
  }
  if (stageCount == 1) return true;
  if (w < frameWidth || h < frameHeight) return false;  // unreachable for sampling factors up to 8
  uint64_t bytes = uint64_t(stages[stageCount - 1].width);
  for (int k = 1; k < stageCount; ++k) {
    uint64_t below = uint64_t(stages[k - 1].width);
    if (!stages[k].horizontal)
      bytes += 4 * below;
    else if (k > 1)
      bytes += below;
  }
  requested = bytes;
  block = static_cast<uint8_t*>(allocate(bytes));
  if (!block) return false;
  uint8_t* p = block;
  output = p;
  p += stages[stageCount - 1].width;
  for (int k = 1; k < stageCount; ++k) {
    int32_t below = stages[k - 1].width;
    if (!stages[k].horizontal) {
      stages[k].space = p;
      p += 4 * std::size_t(below);
    } else if (k > 1) {
      stages[k].space = p;
      p += below;
    }
  }
  return true;
}

const uint8_t* UpsampledRows::Row(int32_t row) { return _Fetch(stageCount - 1, row, output); }

// Row `row` of the stage below `stage`, through the vertical pass's cache.
const uint8_t* UpsampledRows::_Input(int stage, int32_t row) {
  Stage& s = stages[stage];
  int slot = row & 3;
  if (s.ringRow[slot] != row) {
    s.ring[slot] = _Fetch(stage - 1, row, s.space + std::size_t(slot) * std::size_t(stages[stage - 1].width));
    s.ringRow[slot] = row;
  }
  return s.ring[slot];
}

// Row `row` of `stage`, computed into `out` (room for the stage's width)
// unless it is a row of the decoded plane.
const uint8_t* UpsampledRows::_Fetch(int stage, int32_t row, uint8_t* out) {
  if (stage == 0) return _PlaneRow(row);
  const Stage& s = stages[stage];
  const Stage& below = stages[stage - 1];
  if (s.horizontal) {
    const uint8_t* in = _Fetch(stage - 1, row, s.space);
    kernels->doubleLine(in, below.width, stage == 1 ? planeStride : below.width, out);
    return out;
  }
  const int32_t n = below.height;
  if (row >= 3 && row < 2 * n - 3) {
    // Inside: the nearer pair of rows weighs 111 (the nearest) and 29, the
    // farther pair -9 and -3.
    const int32_t first = (row - 1) / 2 - 1;
    const uint8_t* a = _Input(stage, first);
    const uint8_t* b = _Input(stage, first + 1);
    const uint8_t* c = _Input(stage, first + 2);
    const uint8_t* d = _Input(stage, first + 3);
    if (row & 1)
      kernels->weighInnerRows(out, b, a, c, d, s.width);
    else
      kernels->weighInnerRows(out, c, d, b, a, s.width);
    return out;
  }
  int32_t first, weights[4] = {};
  if (row < 3) {
    first = 0;
    for (int i = 0; i < 3; ++i) weights[i] = topEdge[row][i];
  } else {
    first = n - 3;
    for (int i = 0; i < 3; ++i) weights[i] = bottomEdge[row - (2 * n - 3)][i];
  }
  const uint8_t* rows[4] = {nullptr, nullptr, nullptr, nullptr};
  for (int i = 0; i < 3; ++i) {
    if (weights[i] != 0) rows[i] = _Input(stage, first + i);
  }
  // A weight of 0 keeps its row unread; give it any row that is there.
  for (int i = 0; i < 4; ++i)
    if (!rows[i]) rows[i] = rows[i == 0 ? 1 : 0];
  kernels->weighRows(out, rows, weights, s.width);
  return out;
}

}  // namespace Jpeg
