// The first frame of a fresh process, draw against turbo: this program run
// again as a child for each, rounds over every cell, the median of the
// per-round ratios. Everything a host has before it asks for a frame is set
// up first (module loaded, footage, destination world); the turbo frame's
// handle and buffers are made inside its timed frame, as the draw makes its
// own.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "frame_bench.h"

namespace frame {
namespace {

struct First {
  Cell cell;
  std::vector<double> draw, turbo, ratio, cpuRatio, drawFaults, turboFaults;
};

}  // namespace

int ChildFirstFrame(const Args& args, const std::string& module) {
  const std::string frameKind = args.count("frame") ? args.at("frame") : "";
  const std::string package = args.count("package") ? args.at("package") : "";
  const DepthKind* depth = DepthByBits(args.count("depth") ? std::atoi(args.at("depth").c_str()) : 0);
  if (package.empty() || !depth) Fail("a child needs --package and --depth");
  lvs_host::SubstituteHost host;
  LoadModule(host, module);
  host.Worlds().SetMarkFreshWorlds(false);
  double ms = 0, cpu = 0;
  long faults = 0;
  bool ok = false;
  {
    Footage footage(host, package);
    PF_EffectWorld* world = host.Worlds().Create(depth->format, kWidth, kHeight);
    const long f0 = MinorFaults();
    const double c0 = CpuMs();
    const Clock::time_point t0 = Clock::now();
    if (frameKind == "draw") {
      ok = footage.Draw(world) == A_Err_NONE;
    } else {
      tjhandle handle = tjInitDecompress();
      Bytes file;
      std::unique_ptr<uint8_t[]> pixels(new uint8_t[size_t(kWidth) * kHeight * 3]);
      ok = TurboFrame(handle, package, file, pixels.get(), *world, depth->format);
      tjDestroy(handle);
    }
    ms = Ms(Clock::now() - t0);
    cpu = CpuMs() - c0;
    faults = MinorFaults() - f0;
    host.Worlds().Release(world);
  }
  CheckClean(host);
  std::printf("%.6f %.6f %ld\n", ms, cpu, faults);
  return ok ? 0 : 1;
}

void FirstFrames(const Setup& setup) {
  const int firstRounds = setup.Number("first-rounds", 15);
  std::vector<First> cells;
  for (const Cell& c : AllCells()) cells.push_back(First{c, {}, {}, {}, {}, {}, {}});
  for (int round = 0; round < firstRounds; ++round)
    for (First& f : cells) {
      double ms[2] = {0, 0}, cpu[2] = {0, 0};
      long faults[2] = {0, 0};
      for (int k = 0; k < 2; ++k) {
        ChildResult r = RunChild(setup, {"--child=first", k == 0 ? "--frame=draw" : "--frame=turbo",
                                         "--package=" + setup.previews[size_t(f.cell.preview)].package,
                                         "--depth=" + std::to_string(kDepths[f.cell.depth].bits)});
        if (!r.Ok() || std::sscanf(r.out.c_str(), "%lf %lf %ld", &ms[k], &cpu[k], &faults[k]) != 3)
          Fail(std::string("a first-frame child failed (") + (k == 0 ? "draw" : "turbo") +
               "): " + DescribeStatus(r.status));
      }
      f.draw.push_back(ms[0]);
      f.turbo.push_back(ms[1]);
      f.ratio.push_back(ms[0] / ms[1]);
      f.cpuRatio.push_back(cpu[0] / cpu[1]);
      f.drawFaults.push_back(double(faults[0]));
      f.turboFaults.push_back(double(faults[1]));
    }

  std::printf("\nfirst frame in a fresh process, %d rounds of two children            target draw/turbo <= 1.3\n",
              firstRounds);
  for (const First& f : cells) {
    const double ratio = Median(f.ratio);
    std::printf(
        "  %-10s %-7s draw %8.3f ms   turbo %8.3f ms   median ratio %6.3f  %-7s CPU ratio %6.3f   "
        "page faults: draw %.0f, turbo %.0f\n",
        kPreviews[f.cell.preview].label, kDepths[f.cell.depth].label, Median(f.draw), Median(f.turbo), ratio,
        Judge(ratio <= 1.3), Median(f.cpuRatio), Median(f.drawFaults), Median(f.turboFaults));
  }
}

}  // namespace frame
