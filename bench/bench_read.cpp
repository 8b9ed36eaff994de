// Reading the preview entry of a package against its floor: the same raw
// bytes, held in memory, decrypted by a plain loop and inflated by zlib alone.
// Prints the medians and their ratio (target: read <= 1.3 x floor).
//
//   bench_read [--benchmark_repetitions=N]
#include "PackageBuilder.h"
#include "StylePackage.h"
#include "ZipReader.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// About 200 KB that deflate can barely shrink, like the entropy-coded body of
// a JPEG: a marker-laden header, then noise with a slight bias.
Bytes JpegLikeBytes() {
  Bytes bytes = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
  std::mt19937 random(2024);
  while (bytes.size() < 200 * 1024) {
    const std::uint32_t r = random();
    bytes.push_back(static_cast<std::uint8_t>((r & 0x300) == 0 ? r & 0x0F : r));
  }
  bytes.push_back(0xFF);
  bytes.push_back(0xD9);
  return bytes;
}

struct Fixture {
  std::string path;
  Bytes plain;
  Bytes raw;  // the entry's stored bytes: cipher header and deflate stream

  Fixture() {
    plain = JpegLikeBytes();
    path = (std::filesystem::temp_directory_path() / ("lvs_bench_read_" + std::to_string(getpid()) + ".lvs")).string();
    std::string error;
    if (!lvs_maker::WritePackage(path, lvs_maker::StyleEntries("{\"name\":\"bench\"}", plain), &error)) {
      std::fprintf(stderr, "bench_read: %s\n", error.c_str());
      std::exit(1);
    }
    const ZipArchive archive(path.c_str());
    EntryInfo info;
    LocalHeader local;
    if (!archive.Locate(kPreviewEntryName, &info) || !archive.DataStart(info, &local)) {
      std::fprintf(stderr, "bench_read: cannot read back %s\n", path.c_str());
      std::exit(1);
    }
    raw.resize(info.compressedSize);
    if (!archive.ReadAt(local.dataOffset, raw.data(), raw.size())) std::exit(1);
  }
  ~Fixture() { std::filesystem::remove(path); }
};

Fixture& TheFixture() {
  static Fixture fixture;
  return fixture;
}

// The floor's cipher: the textbook loop, out of place.
void PlainDecrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t count) {
  const z_crc_t* crc = get_crc_table();
  std::uint32_t k0 = 0x12345678, k1 = 0x23456789, k2 = 0x34567890;
  auto update = [&](std::uint8_t c) {
    k0 = crc[(k0 ^ c) & 0xff] ^ (k0 >> 8);
    k1 = (k1 + (k0 & 0xff)) * 134775813u + 1;
    k2 = crc[(k2 ^ (k1 >> 24)) & 0xff] ^ (k2 >> 8);
  };
  for (const char* p = kPackagePassword; *p; ++p) update(static_cast<std::uint8_t>(*p));
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t t = (k2 | 2) & 0xffff;
    out[i] = in[i] ^ static_cast<std::uint8_t>((t * (t ^ 1)) >> 8);
    update(out[i]);
  }
}

void BM_ReadFile(benchmark::State& state) {
  Fixture& f = TheFixture();
  Bytes out(f.plain.size());
  for (auto _ : state) {
    if (LVS_ReadFile(f.path.c_str(), kPreviewEntryName, out.data(), out.size()) != 0)
      state.SkipWithError("read failed");
    benchmark::DoNotOptimize(out.data());
  }
  if (out != f.plain) state.SkipWithError("read delivered other bytes");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.plain.size()));
}

void BM_Floor(benchmark::State& state) {
  Fixture& f = TheFixture();
  Bytes decrypted(f.raw.size()), out(f.plain.size());
  for (auto _ : state) {
    PlainDecrypt(f.raw.data(), decrypted.data(), decrypted.size());
    z_stream stream{};
    inflateInit2(&stream, -MAX_WBITS);
    stream.next_in = decrypted.data() + 12;
    stream.avail_in = static_cast<uInt>(decrypted.size() - 12);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&stream, Z_FINISH);
    inflateEnd(&stream);
    if (result != Z_STREAM_END) state.SkipWithError("inflate failed");
    benchmark::DoNotOptimize(out.data());
  }
  if (out != f.plain) state.SkipWithError("floor delivered other bytes");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.plain.size()));
}

BENCHMARK(BM_ReadFile)->Unit(benchmark::kMicrosecond)->Repetitions(15)->ReportAggregatesOnly(true);
BENCHMARK(BM_Floor)->Unit(benchmark::kMicrosecond)->Repetitions(15)->ReportAggregatesOnly(true);

// Remembers the medians so that the ratio can be printed after the run.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.aggregate_name == "median") medians[run.run_name.function_name] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char** argv) {
  // Interleave the repetitions of both programs so that a busy neighbour on
  // the shared machine slows both alike.
  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  std::printf("prv: %zu plain bytes, %zu raw bytes (deflated, encrypted)\n", TheFixture().plain.size(),
              TheFixture().raw.size());
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto read = reporter.medians.find("BM_ReadFile"), floor = reporter.medians.find("BM_Floor");
  if (read != reporter.medians.end() && floor != reporter.medians.end() && floor->second > 0)
    std::printf("median read %.1f us, floor %.1f us, ratio %.3f (target <= 1.3)\n", read->second, floor->second,
                read->second / floor->second);
  benchmark::Shutdown();
  return 0;
}
