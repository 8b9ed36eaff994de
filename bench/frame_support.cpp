// The pieces every job of bench_frame uses (frame_bench.h).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "StylePackage.h"
#include "frame_bench.h"

extern char** environ;

namespace frame {

const PreviewKind kPreviews[kPreviewCount] = {{"4:2:0 q85", "420q85.jpg"},
                                              {"4:4:4 q95", "444q95.jpg"},
                                              {"grey q90", "greyq90.jpg"},
                                              {"collage", "collage444q95.jpg"}};

const DepthKind kDepths[kDepthCount] = {
    {"8-bit", PF_PixelFormat_ARGB32, 8}, {"16-bit", PF_PixelFormat_ARGB64, 16}, {"float", PF_PixelFormat_ARGB128, 32}};

const DepthKind* DepthByBits(int bits) {
  for (const DepthKind& d : kDepths)
    if (d.bits == bits) return &d;
  return nullptr;
}

std::vector<Cell> AllCells() {
  std::vector<Cell> cells;
  for (int p = 0; p < kPreviewCount; ++p)
    for (int d = 0; d < kDepthCount; ++d) cells.push_back(Cell{p, d});
  return cells;
}

int Setup::Number(const char* key, int fallback) const {
  return args.count(key) ? std::max(1, std::atoi(args.at(key).c_str())) : fallback;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

long MinorFaults() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_minflt;
}

std::string Kib(double bytes) {
  char s[32];
  std::snprintf(s, sizeof(s), "%.1f KiB", bytes / 1024.0);
  return s;
}

void Fail(const std::string& why) {
  std::fprintf(stderr, "bench_frame: %s\n", why.c_str());
  std::exit(1);
}

namespace {
bool allMet = true;
}

const char* Judge(bool met) {
  allMet = allMet && met;
  return Verdict(met);
}
const char* Verdict(bool met) { return met ? "met" : "MISSED"; }
bool AllMet() { return allMet; }

void LoadModule(lvs_host::SubstituteHost& host, const std::string& module) {
  if (host.Load(module.c_str()) != A_Err_NONE) Fail(host.LoadError());
}

void CheckClean(lvs_host::SubstituteHost& host) {
  if (!host.Clean())
    std::fprintf(stderr, "bench_frame: the module left something behind:\n%s\n", host.Report().c_str());
}

// The options record as the host keeps it for footage (path first, the rest
// zero): made by hand, so that the draw is measured without an import.
constexpr size_t kOptionsRecordBytes = 1408;

Footage::Footage(lvs_host::SubstituteHost& host, const std::string& package) : host_(host) {
  Bytes record(kOptionsRecordBytes, 0);
  std::copy(package.begin(), package.end(), record.begin());
  options_ = host.Memory().Create(record, "LVS Options");
  inSpec_ = host.NewInSpec();
  host.SetInSpecOptions(inSpec_, options_);
}

Footage::~Footage() {
  host_.SetInSpecOptions(inSpec_, nullptr);
  host_.Memory().Release(options_);
  host_.DeleteInSpec(inSpec_);
}

namespace {

A_u_short To16(uint8_t v) { return A_u_short((uint32_t(v) * 32768u + 128u) / 255u); }
float ToFloat(uint8_t v) { return float(v) / 255.0f; }

template <typename Pixel, int Channels, typename Sample>
void WriteArgb(const uint8_t* from, PF_EffectWorld& world, decltype(Pixel::alpha) full, Sample sample) {
  for (int y = 0; y < kHeight; ++y) {
    const uint8_t* s = from + size_t(y) * kWidth * Channels;
    Pixel* d = reinterpret_cast<Pixel*>(reinterpret_cast<uint8_t*>(world.data) + std::ptrdiff_t(y) * world.rowbytes);
    for (int x = 0; x < kWidth; ++x, s += Channels) {
      d[x].alpha = full;
      d[x].red = sample(s[0]);
      d[x].green = sample(s[Channels == 3 ? 1 : 0]);
      d[x].blue = sample(s[Channels == 3 ? 2 : 0]);
    }
  }
}

template <int Channels>
void WriteDepth(const uint8_t* from, PF_EffectWorld& world, PF_PixelFormat format) {
  if (format == PF_PixelFormat_ARGB32)
    WriteArgb<PF_Pixel, Channels>(from, world, 255, [](uint8_t v) { return v; });
  else if (format == PF_PixelFormat_ARGB64)
    WriteArgb<PF_Pixel16, Channels>(from, world, 32768, To16);
  else
    WriteArgb<PF_PixelFloat, Channels>(from, world, 1.0f, ToFloat);
}

}  // namespace

bool TurboFrame(tjhandle handle, const std::string& package, Bytes& file, uint8_t* pixels, PF_EffectWorld& world,
                PF_PixelFormat format) {
  const int32_t size = LVS_GetFileSize(package.c_str(), kPreviewEntryName);
  if (size <= 0) return false;
  file.resize(size_t(size));
  if (LVS_ReadFile(package.c_str(), kPreviewEntryName, file.data(), file.size()) != 0) return false;
  int width = 0, height = 0, subsampling = 0, colourspace = 0;
  if (tjDecompressHeader3(handle, file.data(), file.size(), &width, &height, &subsampling, &colourspace) != 0 ||
      width != kWidth || height != kHeight)
    return false;
  const bool grey = colourspace == TJCS_GRAY;
  if (tjDecompress2(handle, file.data(), file.size(), pixels, kWidth, 0, kHeight, grey ? TJPF_GRAY : TJPF_RGB, 0) != 0)
    return false;
  if (grey)
    WriteDepth<1>(pixels, world, format);
  else
    WriteDepth<3>(pixels, world, format);
  return true;
}

bool ChildResult::Ok() const { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }

ChildResult RunChild(const Setup& setup, const std::vector<std::string>& args) {
  std::vector<std::string> all = {"bench_frame", "--module=" + setup.module};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  int pipeFds[2];
  // Close-on-exec, so that a child holds no copy of the write end and the
  // read below ends when the child does.
  if (pipe2(pipeFds, O_CLOEXEC) != 0) Fail("no pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  pid_t pid = 0;
  if (posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ) != 0) Fail("cannot run a child");
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  ChildResult r;
  char buffer[4096];
  for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof(buffer))) > 0;) r.out.append(buffer, size_t(n));
  close(pipeFds[0]);
  waitpid(pid, &r.status, 0);
  return r;
}

std::string DescribeStatus(int status) {
  if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return std::string("killed by ") + strsignal(WTERMSIG(status));
  return "status " + std::to_string(status);
}

}  // namespace frame
