// Decoding the 1280 x 720 preview-sized pictures with our decoder,
// libjpeg-turbo (TurboJPEG, default flags) and stb_image, side by side in one
// run. Prints each median and the ratios against ours.
//
//   bench_decoder --benchmark_repetitions=15
#include <benchmark/benchmark.h>
#include <stb/stb_image.h>
#include <turbojpeg.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "jpeg_decoder.h"
#include "JpegFixtures.h"

using namespace lvs_test;

namespace {

struct File {
  const char* name;
  std::vector<uint8_t> bytes;
  int channels;
};

const std::vector<File>& Files() {
  static const std::vector<File> files = [] {
    JpegOptions q95;
    q95.subsampling = Subsampling::S444;
    q95.quality = 95;
    JpegOptions q85;
    q85.subsampling = Subsampling::S420;
    q85.quality = 85;
    JpegOptions grey;
    grey.subsampling = Subsampling::Grey;
    grey.quality = 90;
    Picture colour = MakePhotoLikePicture(1280, 720, 42);
    Picture mono = MakePhotoLikePicture(1280, 720, 42, 1);
    return std::vector<File>{{"444q95", EncodeJpeg(colour, q95), 3},
                             {"420q85", EncodeJpeg(colour, q85), 3},
                             {"grey", EncodeJpeg(mono, grey), 1}};
  }();
  return files;
}

void Ours(benchmark::State& state) {
  const File& f = Files()[size_t(state.range(0))];
  for (auto _ : state) {
    Jpeg::Decoder* d = new Jpeg::Decoder(f.bytes.data(), f.bytes.size(), std::malloc, std::free);
    if (d->GetResult() != Jpeg::Decoder::Success) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(d->GetImage());
    delete d;
  }
  state.SetLabel(f.name);
}

void Turbo(benchmark::State& state) {
  const File& f = Files()[size_t(state.range(0))];
  tjhandle handle = tjInitDecompress();
  std::vector<uint8_t> out(1280 * 720 * 3);
  for (auto _ : state) {
    if (tjDecompress2(handle, f.bytes.data(), f.bytes.size(), out.data(), 1280, 0, 720,
                      f.channels == 1 ? TJPF_GRAY : TJPF_RGB, 0) != 0)
      state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  tjDestroy(handle);
  state.SetLabel(f.name);
}

void Stb(benchmark::State& state) {
  const File& f = Files()[size_t(state.range(0))];
  for (auto _ : state) {
    int w, h, n;
    stbi_uc* p = stbi_load_from_memory(f.bytes.data(), int(f.bytes.size()), &w, &h, &n, 0);
    if (!p) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(p);
    stbi_image_free(p);
  }
  state.SetLabel(f.name);
}

BENCHMARK(Ours)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(Turbo)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(Stb)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// Keeps the median of every benchmark for the closing table.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> medians;  // "Ours/0" -> ms
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
        medians[r.run_name.function_name + "/" + r.run_name.args] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (reporter.medians.empty()) {
    std::printf("\n(no medians: run with --benchmark_repetitions=N for the ratio table)\n");
    return 0;
  }
  std::printf("\n%-8s %10s %10s %10s %12s %12s\n", "file", "ours ms", "turbo ms", "stb ms", "ours/turbo", "ours/stb");
  for (size_t i = 0; i < Files().size(); ++i) {
    std::string arg = std::to_string(i);
    double ours = reporter.medians["Ours/" + arg], turbo = reporter.medians["Turbo/" + arg],
           stb = reporter.medians["Stb/" + arg];
    std::printf("%-8s %10.3f %10.3f %10.3f %12.2f %12.2f\n", Files()[i].name, ours, turbo, stb,
                turbo > 0 ? ours / turbo : 0, stb > 0 ? ours / stb : 0);
  }
  return 0;
}
