// One frame drawn by the module this program was built with, timed on its
// own so that the same measurement runs on Linux and, built for Windows,
// under Wine: scripts/frame-side-by-side.sh runs the two interleaved.
//
//   frame_time PACKAGE ROUNDS FRAMES
//
// Loads the module into the substitute host, draws FRAMES frames of PACKAGE
// into an 8-bit and a 16-bit 1280x720 destination in each of ROUNDS rounds,
// and prints one line per round and depth: "depth median_microseconds".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "SubstituteHost.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: frame_time PACKAGE ROUNDS FRAMES\n");
    return 2;
  }
  const std::string path = argv[1];
  const int rounds = std::atoi(argv[2]), frames = std::atoi(argv[3]);
  lvs_host::SubstituteHost host;
  if (host.Load(LVS_PLUGIN_PATH) != A_Err_NONE) {
    std::fprintf(stderr, "frame_time: %s\n", host.LoadError().c_str());
    return 1;
  }
  // A production host hands out new worlds as they are.
  host.Worlds().SetMarkFreshWorlds(false);
  std::vector<uint8_t> record(1408, 0);
  std::copy(path.begin(), path.end(), record.begin());
  AEGP_MemHandle options = host.Memory().Create(record, "LVS Options");
  AEIO_InSpecH inSpec = host.NewInSpec();
  host.SetInSpecOptions(inSpec, options);
  const std::pair<const char*, PF_PixelFormat> depths[] = {{"8", PF_PixelFormat_ARGB32}, {"16", PF_PixelFormat_ARGB64}};
  int status = 0;
  for (int round = 0; round < rounds && status == 0; ++round) {
    for (const auto& [name, format] : depths) {
      PF_EffectWorld* dst = host.Worlds().Create(format, 1280, 720);
      std::vector<double> times;
      for (int frame = 0; frame < frames; ++frame) {
        const auto start = std::chrono::steady_clock::now();
        if (host.Calls().DrawSparseFrame(inSpec, dst) != A_Err_NONE) status = 1;
        times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
      }
      host.Worlds().Release(dst);
      std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
      std::printf("%s %.0f\n", name, times[times.size() / 2]);
    }
  }
  host.SetInSpecOptions(inSpec, nullptr);
  host.Memory().Release(options);
  host.DeleteInSpec(inSpec);
  return status;
}
