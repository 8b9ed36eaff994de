// The frame against the turbo frame: every cell (preview and depth) drawn
// by the module and by the turbo frame in turn, rounds interleaved over all
// cells, medians of wall clock and CPU time side by side. Both frames must
// first show the same picture, or the timings compare different work.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "frame_bench.h"

namespace frame {
namespace {

// A sample in 8-bit levels, whatever the depth.
double Level(const uint8_t* data, A_long rowbytes, PF_PixelFormat format, int x, int y, int c) {
  const uint8_t* row = data + std::ptrdiff_t(y) * rowbytes;
  if (format == PF_PixelFormat_ARGB32) return row[4 * x + c];
  if (format == PF_PixelFormat_ARGB64) {
    A_u_short v;
    std::memcpy(&v, row + 8 * x + 2 * c, 2);
    return v * 255.0 / 32768.0;
  }
  float v;
  std::memcpy(&v, row + 16 * x + 4 * c, 4);
  return v * 255.0;
}

Bytes Snapshot(const PF_EffectWorld& w) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(w.data);
  return Bytes(p, p + size_t(w.rowbytes) * size_t(w.height));
}

struct Difference {
  double mean = 0, max = 0;
  bool alphaFull = true;
};

Difference Compare(const Bytes& a, const PF_EffectWorld& b, PF_PixelFormat format) {
  Difference d;
  const uint8_t* bp = reinterpret_cast<const uint8_t*>(b.data);
  double sum = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      if (Level(a.data(), b.rowbytes, format, x, y, 0) != Level(bp, b.rowbytes, format, x, y, 0)) d.alphaFull = false;
      for (int c = 1; c < 4; ++c) {
        const double e =
            std::fabs(Level(a.data(), b.rowbytes, format, x, y, c) - Level(bp, b.rowbytes, format, x, y, c));
        sum += e;
        d.max = std::max(d.max, e);
      }
    }
  d.mean = sum / (double(kWidth) * kHeight * 3);
  return d;
}

struct Timed {
  Cell cell;
  Difference difference;
  std::vector<double> draw, turbo, drawCpu, turboCpu;
};

// The line, and the one it aims at.
constexpr double kTarget = 0.75;
constexpr double kAim = 0.70;

}  // namespace

void TimedFrames(const Setup& setup) {
  std::vector<Timed> cells;
  for (const Cell& c : AllCells()) cells.push_back(Timed{c, {}, {}, {}, {}, {}});
  {
    lvs_host::SubstituteHost host;
    LoadModule(host, setup.module);
    host.Worlds().SetMarkFreshWorlds(false);
    std::vector<std::unique_ptr<Footage>> footage;
    for (const Preview& pv : setup.previews) footage.push_back(std::make_unique<Footage>(host, pv.package));
    PF_EffectWorld* worlds[kDepthCount];
    for (int d = 0; d < kDepthCount; ++d) worlds[d] = host.Worlds().Create(kDepths[d].format, kWidth, kHeight);
    TurboState turbo;

    auto draw = [&](const Cell& c) {
      if (footage[size_t(c.preview)]->Draw(worlds[c.depth]) != A_Err_NONE) Fail("a draw failed");
      benchmark::ClobberMemory();
    };
    auto turboFrame = [&](const Cell& c) {
      if (!TurboFrame(turbo.handle, setup.previews[size_t(c.preview)].package, turbo.file, turbo.pixels.data(),
                      *worlds[c.depth], kDepths[c.depth].format))
        Fail("a turbo frame failed");
      benchmark::ClobberMemory();
    };

    for (Timed& t : cells) {
      // Cleared first, so that a draw that writes nothing cannot pass on
      // the last frame's pixels; the rows' padding is the host's guard.
      PF_EffectWorld& w = *worlds[t.cell.depth];
      for (A_long y = 0; y < w.height; ++y)
        std::memset(reinterpret_cast<uint8_t*>(w.data) + std::ptrdiff_t(y) * w.rowbytes, 0,
                    size_t(w.width) * size_t(lvs_host::BytesPerPixel(kDepths[t.cell.depth].format)));
      draw(t.cell);
      const Bytes drawn = Snapshot(w);
      turboFrame(t.cell);
      t.difference = Compare(drawn, w, kDepths[t.cell.depth].format);
    }

    for (int r = -2; r < setup.rounds; ++r)
      for (Timed& t : cells) {
        const double c0 = CpuMs();
        const Clock::time_point t0 = Clock::now();
        draw(t.cell);
        const Clock::time_point t1 = Clock::now();
        const double c1 = CpuMs();
        turboFrame(t.cell);
        const Clock::time_point t2 = Clock::now();
        const double c2 = CpuMs();
        if (r < 0) continue;
        t.draw.push_back(Ms(t1 - t0));
        t.turbo.push_back(Ms(t2 - t1));
        t.drawCpu.push_back(c1 - c0);
        t.turboCpu.push_back(c2 - c1);
      }
    for (PF_EffectWorld* w : worlds) host.Worlds().Release(w);
    footage.clear();
    CheckClean(host);
  }

  // The verdict follows the wall clock, as the host waits on it; the CPU
  // time beside it says whether a miss could be a neighbour's.
  std::printf(
      "\nframe, destination 1280x720, median of %d interleaved rounds     target draw/turbo <= %.2f (aim %.2f)\n",
      setup.rounds, kTarget, kAim);
  std::printf("  %-18s %-39s %-39s\n", "", " ---------------- wall clock ---------",
              " ------------ process CPU time -------");
  std::printf("  %-10s %-7s %9s %9s %11s %-7s %9s %9s %11s %-7s  %s\n", "preview", "depth", "draw ms", "turbo ms",
              "draw/turbo", "", "draw ms", "turbo ms", "draw/turbo", "", "draw vs turbo, 8-bit levels");
  double wallSum = 0, cpuSum = 0;
  for (const Timed& t : cells) {
    const double d = Median(t.draw), tu = Median(t.turbo), dc = Median(t.drawCpu), tc = Median(t.turboCpu);
    for (double v : t.draw) wallSum += v;
    for (double v : t.turbo) wallSum += v;
    for (double v : t.drawCpu) cpuSum += v;
    for (double v : t.turboCpu) cpuSum += v;
    std::printf("  %-10s %-7s %9.3f %9.3f %11.3f %-7s %9.3f %9.3f %11.3f %-7s  mean %.2f, max %.0f%s\n",
                kPreviews[t.cell.preview].label, kDepths[t.cell.depth].label, d, tu, d / tu, Judge(d / tu <= kTarget),
                dc, tc, dc / tc, Verdict(dc / tc <= kTarget), t.difference.mean, t.difference.max,
                t.difference.mean > 4 || !t.difference.alphaFull ? "  NOT THE SAME PICTURE" : "");
  }
  std::printf(
      "  wall time above CPU time over all timed frames: %.1f%% (near 0 on a quiet CPU; more means a\n"
      "  neighbour shared it, and the CPU-time columns are the steadier figures)\n",
      cpuSum > 0 ? std::max(0.0, 100.0 * (wallSum - cpuSum) / cpuSum) : 0.0);
}

}  // namespace frame
