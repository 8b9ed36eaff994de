// Row-at-a-time upsampling of one decoded component plane.
//
// A subsampled component is brought to the frame size by doubling passes:
// while it is narrower or shorter than the frame, a horizontal pass (if it is
// narrower), then a vertical pass (if it is shorter). Each pass filters the
// output of the one before, with its own clipping, so the order is part of
// the result. Instead of materialising every intermediate plane, this class
// runs the same chain of passes for one output row at a time: a vertical pass
// keeps the last four rows it read from the pass below, a horizontal pass
// filters one row of the pass below. Every sample comes out exactly as the
// plane-by-plane passes would leave it.
//
// The decoded samples need not be one plane: they may be a ring of rows of
// MCUs that the decoder refills as the scan goes on, as long as every row
// asked for is still there (the decoder keeps the rows of MCUs before and
// after the one whose output rows it asks for).
//
// Memory: one request through `allocate` per component that needs passes, of
// at most four rows per vertical pass plus one row per horizontal pass fed
// by another pass plus one output row. Each of those is smaller than the
// plane that the corresponding plane-by-plane pass would request (a
// subsampled plane has at least three rows), so the conversion never asks for
// more memory than the pass-by-pass conversion.
#pragma once

#include <cstddef>
#include <cstdint>

#include "jpeg_kernels.h"

namespace Jpeg {

// The filter's kernels (jpeg_kernels.h); CF(sum) is the sum rounded, shifted
// by 7 and clipped. The AVX2 ones (x86 only) give the same bytes.
//
// Doubles one line of n >= 3 samples into out[0 .. 2n - 1]. The right edge
// takes the last three samples of the stored line, which is `stored` long.
void DoubleLinePortable(const uint8_t* in, int32_t n, int32_t stored, uint8_t* out);
void DoubleLineAvx2(const uint8_t* in, int32_t n, int32_t stored, uint8_t* out);
// The same with the output pairs of the part without edge terms written
// only from pair `from` on (pair j: outputs 2j + 1 and 2j + 2, j from 1 to
// n - 3): the portable end of a vector line.
void DoubleLineFrom(const uint8_t* in, int32_t n, int32_t stored, uint8_t* out, int32_t from);
// out[x] = CF(sum of weights[i] x rows[i][x]); weights: at most 139 in total
// on the positive side and 12 on the negative.
void WeighRowsPortable(uint8_t* out, const uint8_t* const rows[4], const int32_t weights[4], int32_t count);
void WeighRowsAvx2(uint8_t* out, const uint8_t* const rows[4], const int32_t weights[4], int32_t count);
// The inner rows of the vertical filter: out[x] = CF(111 p[x] - 9 q[x] + 29 r[x] - 3 s[x]).
void WeighInnerRowsPortable(uint8_t* out, const uint8_t* p, const uint8_t* q, const uint8_t* r, const uint8_t* s,
                            int32_t count);
void WeighInnerRowsAvx2(uint8_t* out, const uint8_t* p, const uint8_t* q, const uint8_t* r, const uint8_t* s,
                        int32_t count);

class UpsampledRows {
 public:
  UpsampledRows() = default;
  ~UpsampledRows();
  UpsampledRows(const UpsampledRows&) = delete;
  UpsampledRows& operator=(const UpsampledRows&) = delete;

  // plane: the decoded samples of a component `width` x `height` stored
  // `stride` bytes apart (the stored row goes on beyond `width`; the right
  // edge of the first horizontal pass reads its last three samples), in
  // `slots` parts of `slotRows` rows taken in turn: row r lies in part
  // (r / slotRows) % slots. `kernels` must outlive the rows. Returns false
  // when the row buffers cannot be allocated.
  bool Start(const uint8_t* plane, int32_t width, int32_t height, int32_t stride, int32_t slotRows, int32_t slots,
             int32_t frameWidth, int32_t frameHeight, const Kernels& kernels, void* (*allocate)(uint64_t),
             void (*release)(void*));
  // Releases the row buffers; Start may then be called again.
  void Reset();
  // The bytes the last Start asked for (0: none were needed).
  uint64_t Requested() const { return requested; }

  // Row `row` of the upsampled plane: at least frameWidth samples. Any
  // order works; increasing order computes each intermediate row once. The
  // pointer stays valid until the next call.
  const uint8_t* Row(int32_t row);

 private:
  static constexpr int MaxStages = 8;  // the plane and up to 3 + 3 passes, with room
  struct Stage {
    bool horizontal = false;        // this pass doubles the width, else the height
    int32_t width = 0, height = 0;  // after this pass
    const uint8_t* ring[4] = {};    // vertical: rows of the stage below
    int32_t ringRow[4] = {-1, -1, -1, -1};
    uint8_t* space = nullptr;  // vertical: 4 rows; horizontal: 1 row, if fed by a pass
  };

  const uint8_t* _Fetch(int stage, int32_t row, uint8_t* out);
  const uint8_t* _Input(int stage, int32_t row);

  const uint8_t* plane = nullptr;
  int32_t planeStride = 0;
  int32_t slotRows = 1, slots = 1;
  int stageCount = 0;  // stage 0 is the decoded plane
  Stage stages[MaxStages];
  uint8_t* output = nullptr;
  uint8_t* block = nullptr;
  uint64_t requested = 0;
  const Kernels* kernels = nullptr;
  void (*release)(void*) = nullptr;

  const uint8_t* _PlaneRow(int32_t row) const {
    const int32_t part = (row / slotRows) % slots;
    return plane + (std::size_t(part) * std::size_t(slotRows) + std::size_t(row % slotRows)) * std::size_t(planeStride);
  }
};

}  // namespace Jpeg
