// A frame drawn by the module against a frame libjpeg-turbo would give the
// host, on four photographic previews, 1280x720 destinations of every depth.
// Only the module's DrawSparseFrame is called on the plug-in side, so the
// figures hold whatever the draw does inside.
//
//   taskset -c 1 build/bench/bench_frame [--rounds=N] [--first-rounds=N]
//                                        [--fault-frames=N] [--module=PATH]
//                                        [--only=timed,memory,first,alone]
//
// Pinned to one CPU because the host's iteration pool would otherwise get a
// second core that the turbo frame never uses, and because the machine is
// shared: a figure from two cores measures the neighbour too.
//
// --module draws with another build of the module (one from an earlier
// commit, say), so that before and after are measured by the same program
// against the same turbo frame. --only runs some of the jobs, each of which
// lives in a file of its own and prints its figures against their targets
// (frame_bench.h lists them); the closing line says whether all were met.
//
// The host's marking of uncleared worlds is off while timing, as in
// bench_draw: a production host hands uncleared worlds out as they are.
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "PackageBuilder.h"
#include "frame_bench.h"

namespace {

frame::Args ParseArgs(int argc, char** argv) {
  frame::Args args;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--", 0) != 0) frame::Fail("unknown argument " + a);
    const size_t eq = a.find('=');
    if (eq == std::string::npos)
      args[a.substr(2)] = "";
    else
      args[a.substr(2, eq - 2)] = a.substr(eq + 1);
  }
  return args;
}

// The previews, each in a package as lvs pack writes one.
void MakePackages(frame::Setup& setup) {
  const std::filesystem::path dir = LVS_FRAME_PREVIEWS;
  tjhandle probe = tjInitDecompress();
  for (int p = 0; p < frame::kPreviewCount; ++p) {
    frame::Preview pv;
    pv.kind = &frame::kPreviews[p];
    const std::string file = (dir / pv.kind->file).string();
    if (!lvs_maker::ReadWholeFile(file, &pv.jpeg))
      frame::Fail(file + " is missing: bash scripts/install-deps.sh (lomiri-wallpapers-20.04), then cmake again");
    int w = 0, h = 0, sub = 0, cs = 0;
    if (tjDecompressHeader3(probe, pv.jpeg.data(), pv.jpeg.size(), &w, &h, &sub, &cs) != 0 || w != frame::kWidth ||
        h != frame::kHeight)
      frame::Fail(file + " is not a 1280x720 JPEG");
    pv.grey = cs == TJCS_GRAY;
    pv.package = (std::filesystem::path(setup.work) / (std::string(pv.kind->file) + ".lvs")).string();
    std::string error;
    if (!lvs_maker::WritePackage(pv.package, lvs_maker::StyleEntries("{\"name\":\"bench\"}", pv.jpeg), &error))
      frame::Fail("no package: " + error);
    std::printf("  %-10s %7zu bytes of JPEG (%s)\n", pv.kind->label, pv.jpeg.size(), file.c_str());
    setup.previews.push_back(std::move(pv));
  }
  tjDestroy(probe);
}

}  // namespace

int main(int argc, char** argv) {
  frame::Setup setup;
  setup.args = ParseArgs(argc, argv);
  setup.module = setup.args.count("module") ? setup.args.at("module") : LVS_PLUGIN_PATH;
  if (setup.args.count("child")) {
    const std::string child = setup.args.at("child");
    if (child == "first") return frame::ChildFirstFrame(setup.args, setup.module);
    return frame::ChildMemory(setup.args, setup.module);
  }
  setup.rounds = setup.Number("rounds", 41);
  const std::string only = setup.args.count("only") ? "," + setup.args.at("only") + "," : "";
  const auto runs = [&](const char* job) {
    return only.empty() || only.find("," + std::string(job) + ",") != only.npos;
  };

  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  sched_getaffinity(0, sizeof(cpus), &cpus);
  const int cpuCount = CPU_COUNT(&cpus);
  std::printf("bench_frame: %d round(s) on %d CPU(s)%s, module %s\n", setup.rounds, cpuCount,
              cpuCount == 1 ? "" : "  (not pinned: run under taskset -c 1)", setup.module.c_str());

  const std::filesystem::path work =
      std::filesystem::temp_directory_path() / ("lvs_bench_frame_" + std::to_string(getpid()));
  std::filesystem::create_directories(work);
  setup.work = work.string();
  MakePackages(setup);

  if (runs("timed")) frame::TimedFrames(setup);
  if (runs("memory")) frame::FrameMemory(setup);
  if (runs("first")) frame::FirstFrames(setup);
  if (runs("alone")) frame::FrameAlone(setup);
  std::filesystem::remove_all(work);
  std::printf("\n%s\n", frame::AllMet() ? "every target met" : "some targets MISSED");
  return 0;
}
