// A frame drawn by the module against a frame libjpeg-turbo would give the
// host, on three photographic previews, 1280x720 destinations of every
// depth. Only the module's DrawSparseFrame is called on the plug-in side, so
// the figures hold whatever the draw does inside.
//
//   taskset -c 1 build/bench/bench_frame [--rounds=N] [--first-rounds=N]
//                                        [--fault-frames=N]
//
// Pinned to one CPU because the host's iteration pool would otherwise get a
// second core that the turbo frame never uses, and because the machine is
// shared: a figure from two cores measures the neighbour too.
//
// The turbo frame does what the draw must do, the plain way: LVS_GetFileSize
// and LVS_ReadFile of "prv" into a buffer reused from frame to frame,
// tjDecompress2 (default flags) through a reused handle into a reused RGB or
// grey buffer, then one loop per depth writing opaque ARGB samples
// (8 -> 16 bits: (v * 32768 + 128) / 255; 8 bits -> float: v / 255.0f).
//
// Figures, each against a target:
//   - median ms of the draw and of the turbo frame, rounds interleaved
//     (draw, turbo, draw, turbo, ... over all nine cells in turn);
//   - minor page faults per frame over a loop after the first frame;
//   - heap asked for during one draw, less the preview buffer and worlds the
//     host hands out (malloc's callers found by unwinding, in a pass of its
//     own: the timed frames record nothing);
//   - the deepest stack of one draw, on the calling thread and on the host's
//     workers (pattern-filled stacks, in a child), and whether a draw
//     survives when every thread has 64 KiB;
//   - the first frame in a fresh process (this program run again as a
//     child), draw against turbo, median of the per-round ratios;
//   - the decoder alone, whole picture, against tjDecompress2.
//
// The host's marking of uncleared worlds is off while timing, as in
// bench_draw: a production host hands uncleared worlds out as they are.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "PackageBuilder.h"
#include "StylePackage.h"
#include "SubstituteHost.h"
#include "frame_hooks.h"
#include "jpeg_decoder.h"

extern char** environ;

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = kStyleWidth;
constexpr int kHeight = kStyleHeight;
// The options record as the host keeps it for footage (path first, the rest
// zero): made by hand, so that the draw is measured without an import.
constexpr size_t kOptionsRecordBytes = 1408;

struct PreviewKind {
  const char* label;
  const char* file;
};
const PreviewKind kPreviews[] = {{"4:2:0 q85", "420q85.jpg"}, {"4:4:4 q95", "444q95.jpg"}, {"grey q90", "greyq90.jpg"}};
constexpr int kPreviewCount = 3;

struct DepthKind {
  const char* label;
  PF_PixelFormat format;
  int bits;
};
const DepthKind kDepths[] = {
    {"8-bit", PF_PixelFormat_ARGB32, 8}, {"16-bit", PF_PixelFormat_ARGB64, 16}, {"float", PF_PixelFormat_ARGB128, 32}};
constexpr int kDepthCount = 3;

const DepthKind* DepthByBits(int bits) {
  for (const DepthKind& d : kDepths)
    if (d.bits == bits) return &d;
  return nullptr;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// CPU time of every thread of the process: beside the wall clock, since a
// neighbour's job on the same CPU lengthens the wall time of whichever frame
// it lands in but not the CPU time the frame itself spent.
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

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "bench_frame: %s\n", why.c_str());
  std::exit(1);
}

// ---- The plug-in side: footage on the substitute host ---------------------

class Footage {
 public:
  Footage(lvshost::SubstituteHost& host, const std::string& package) : host_(host) {
    Bytes record(kOptionsRecordBytes, 0);
    std::copy(package.begin(), package.end(), record.begin());
    options_ = host.Memory().Create(record, "LVS Options");
    inSpec_ = host.NewInSpec();
    host.SetInSpecOptions(inSpec_, options_);
  }
  ~Footage() {
    host_.SetInSpecOptions(inSpec_, nullptr);
    host_.Memory().Release(options_);
    host_.DeleteInSpec(inSpec_);
  }
  Footage(const Footage&) = delete;
  Footage& operator=(const Footage&) = delete;

  A_Err Draw(PF_EffectWorld* destination) { return host_.Calls().DrawSparseFrame(inSpec_, destination); }

 private:
  lvshost::SubstituteHost& host_;
  AEGP_MemHandle options_ = nullptr;
  AEIO_InSpecH inSpec_ = nullptr;
};

void LoadModule(lvshost::SubstituteHost& host) {
  if (host.Load(LVS_PLUGIN_PATH) != A_Err_NONE) Fail(host.LoadError());
}

void CheckClean(lvshost::SubstituteHost& host) {
  if (!host.Clean())
    std::fprintf(stderr, "bench_frame: the module left something behind:\n%s\n", host.Report().c_str());
}

// ---- The peer: a turbo frame ----------------------------------------------

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

// `file` and `pixels` (kWidth x kHeight x 3 bytes) carry over between frames.
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

struct TurboState {
  tjhandle handle = tjInitDecompress();
  Bytes file;
  Bytes pixels = Bytes(size_t(kWidth) * kHeight * 3);
  ~TurboState() { tjDestroy(handle); }
};

// ---- Comparing two frames ---------------------------------------------------

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

// ---- Children: this program run again with --child=... --------------------

std::map<std::string, std::string> ParseArgs(int argc, char** argv) {
  std::map<std::string, std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--", 0) != 0) Fail("unknown argument " + a);
    const size_t eq = a.find('=');
    if (eq == std::string::npos)
      args[a.substr(2)] = "";
    else
      args[a.substr(2, eq - 2)] = a.substr(eq + 1);
  }
  return args;
}

struct ChildResult {
  int status = -1;
  std::string out;
  bool Ok() const { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }
};

ChildResult RunChild(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"bench_frame"};
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

// The first frame of a fresh process. Everything a host has before it asks
// for a frame is set up first (module loaded, footage, destination world);
// the turbo frame's handle and buffers are made inside its timed frame, as
// the draw makes its own.
int ChildFirstFrame(const std::string& frame, const std::string& package, const DepthKind& depth) {
  lvshost::SubstituteHost host;
  LoadModule(host);
  host.Worlds().SetMarkFreshWorlds(false);
  double ms = 0, cpu = 0;
  long faults = 0;
  bool ok = false;
  {
    Footage footage(host, package);
    PF_EffectWorld* world = host.Worlds().Create(depth.format, kWidth, kHeight);
    if (frame == "draw") {
      const long f0 = MinorFaults();
      const double c0 = CpuMs();
      const Clock::time_point t0 = Clock::now();
      ok = footage.Draw(world) == A_Err_NONE;
      ms = Ms(Clock::now() - t0);
      cpu = CpuMs() - c0;
      faults = MinorFaults() - f0;
    } else {
      const long f0 = MinorFaults();
      const double c0 = CpuMs();
      const Clock::time_point t0 = Clock::now();
      tjhandle handle = tjInitDecompress();
      Bytes file;
      std::unique_ptr<uint8_t[]> pixels(new uint8_t[size_t(kWidth) * kHeight * 3]);
      ok = TurboFrame(handle, package, file, pixels.get(), *world, depth.format);
      ms = Ms(Clock::now() - t0);
      cpu = CpuMs() - c0;
      faults = MinorFaults() - f0;
      tjDestroy(handle);
    }
    host.Worlds().Release(world);
  }
  CheckClean(host);
  std::printf("%.6f %.6f %ld\n", ms, cpu, faults);
  return ok ? 0 : 1;
}

struct DrawOnThread {
  Footage* footage;
  PF_EffectWorld* world;
  const void* entry = nullptr;
  A_Err result = A_Err_NONE;
};

void* DrawThreadMain(void* p) {
  auto* job = static_cast<DrawOnThread*>(p);
  job->entry = __builtin_frame_address(0);
  job->result = job->footage->Draw(job->world);
  return nullptr;
}

// Where each worker's iteration callbacks start, by worker index.
struct CallbackEntries {
  const void* at[64] = {};
};

A_Err NoteCallbackEntry(void* refcon, A_long thread, A_long, A_long) {
  auto* entries = static_cast<CallbackEntries*>(refcon);
  if (thread >= 0 && thread < 64) entries->at[thread] = __builtin_frame_address(0);
  return A_Err_NONE;
}

bool RunOnThread(DrawOnThread& job, void* stack, size_t stackBytes) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  if (stack)
    pthread_attr_setstack(&attr, stack, stackBytes);
  else
    pthread_attr_setstacksize(&attr, stackBytes);
  pthread_t thread;
  const bool started = pthread_create(&thread, &attr, DrawThreadMain, &job) == 0;
  pthread_attr_destroy(&attr);
  if (started) pthread_join(thread, nullptr);
  return started;
}

constexpr size_t kMeasuredStack = size_t(8) << 20;
constexpr size_t kSmallStack = size_t(64) << 10;

// The first draw of a process on a pattern-filled thread, the workers'
// stacks pattern-filled from their start. Prints the calling thread's depth
// below its entry frame and the deepest worker's below its callbacks' entry.
int ChildStack(const std::string& package, const DepthKind& depth) {
  lvs_thread_stacks(LVS_STACKS_PATTERN, kMeasuredStack);
  lvshost::SubstituteHost host;
  LoadModule(host);
  lvs_thread_stacks(LVS_STACKS_DEFAULT, 0);
  long callerDepth = 0, workerDepth = 0;
  A_Err result = A_Err_NONE;
  {
    Footage footage(host, package);
    PF_EffectWorld* world = host.Worlds().Create(depth.format, kWidth, kHeight);
    CallbackEntries entries;
    bool nested = false;
    host.Iteration().Run(host.Iteration().ThreadCount() * 64, &entries, NoteCallbackEntry, &nested);

    void* stack = lvs_pattern_stack(kMeasuredStack);
    DrawOnThread job{&footage, world};
    if (!stack || !RunOnThread(job, stack, kMeasuredStack)) Fail("no measuring thread");
    result = job.result;
    callerDepth =
        static_cast<const char*>(job.entry) - static_cast<const char*>(lvs_lowest_touched(stack, kMeasuredStack));

    // Every worker runs the same loop on a stack of the same make, so its
    // callbacks start at the same distance below the top: one worker that
    // ran the probe gives it for all, even those that got no row.
    long entryBelowTop = -1;
    const int stacks = lvs_pattern_stack_count();
    for (int i = 0; i < stacks && entryBelowTop < 0; ++i) {
      const void* low = nullptr;
      size_t bytes = 0;
      lvs_pattern_stack_at(i, &low, &bytes);
      const char* top = static_cast<const char*>(low) + bytes;
      for (const void* entry : entries.at) {
        const char* e = static_cast<const char*>(entry);
        if (e >= static_cast<const char*>(low) && e < top) entryBelowTop = long(top - e);
      }
    }
    if (entryBelowTop < 0) Fail("no worker ran the probe");
    for (int i = 0; i < stacks; ++i) {
      const void* low = nullptr;
      size_t bytes = 0;
      lvs_pattern_stack_at(i, &low, &bytes);
      const char* entry = static_cast<const char*>(low) + bytes - entryBelowTop;
      workerDepth = std::max(workerDepth, long(entry - static_cast<const char*>(lvs_lowest_touched(low, bytes))));
    }
    host.Worlds().Release(world);
  }
  CheckClean(host);
  std::printf("%ld %ld %d\n", callerDepth, workerDepth, int(result));
  return 0;
}

// The first draw of a process with every thread on a 64 KiB stack; an
// overflow kills the child.
int ChildSmallStack(const std::string& package, const DepthKind& depth) {
  lvs_thread_stacks(LVS_STACKS_SMALL, kSmallStack);
  lvshost::SubstituteHost host;
  LoadModule(host);
  lvs_thread_stacks(LVS_STACKS_DEFAULT, 0);
  A_Err result = A_Err_NONE;
  {
    Footage footage(host, package);
    PF_EffectWorld* world = host.Worlds().Create(depth.format, kWidth, kHeight);
    DrawOnThread job{&footage, world};
    if (!RunOnThread(job, nullptr, kSmallStack)) Fail("no 64 KiB thread");
    result = job.result;
    host.Worlds().Release(world);
  }
  CheckClean(host);
  std::printf("%d\n", int(result));
  return result == A_Err_NONE ? 0 : 1;
}

int ChildMain(const std::map<std::string, std::string>& args) {
  const std::string mode = args.at("child");
  const std::string package = args.count("package") ? args.at("package") : "";
  const DepthKind* depth = DepthByBits(args.count("depth") ? std::atoi(args.at("depth").c_str()) : 0);
  if (package.empty() || !depth) Fail("a child needs --package and --depth");
  if (mode == "first") return ChildFirstFrame(args.count("frame") ? args.at("frame") : "", package, *depth);
  if (mode == "stack") return ChildStack(package, *depth);
  if (mode == "stack64k") return ChildSmallStack(package, *depth);
  Fail("unknown child " + mode);
}

// ---- Heap: who asked for what during one frame ------------------------------

struct HeapTally {
  long calls = 0;
  double bytes = 0;
  double previewBytes = 0;  // the host's handle the preview is read into
  double worldBytes = 0;    // buffers of host worlds
  long restCalls = 0;
  double restBytes = 0;
  long pluginCalls = 0;  // of the rest: asked for by the module or a library it called
  double pluginBytes = 0;
  std::vector<size_t> largest;  // of the rest
  bool truncated = false;
};

const void* ExecutableBase() {
  static const void* base = [] {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&ExecutableBase), &info);
    return info.dli_fbase;
  }();
  return base;
}

bool IsHookFrame(const Dl_info& info) {
  if (info.dli_fbase != ExecutableBase() || !info.dli_sname) return false;
  static const char* const hooks[] = {"lvs_heap_note", "malloc",        "calloc",         "realloc", "reallocarray",
                                      "memalign",      "aligned_alloc", "posix_memalign", "valloc",  "pvalloc"};
  for (const char* h : hooks)
    if (std::strcmp(info.dli_sname, h) == 0) return true;
  return false;
}

// The C and C++ runtimes allocate on behalf of their caller (operator new,
// strdup, containers' allocators).
bool IsRuntimeFrame(const Dl_info& info) {
  if (!info.dli_fname) return false;
  const std::string file = std::filesystem::path(info.dli_fname).filename().string();
  return file.rfind("libc.so", 0) == 0 || file.rfind("libstdc++.so", 0) == 0;
}

HeapTally Tally(int count, size_t previewSize) {
  HeapTally t;
  t.calls = count;
  t.truncated = count > lvs_heap_capacity();
  for (int i = 0; i < std::min(count, lvs_heap_capacity()); ++i) {
    const lvs_heap_event& e = *lvs_heap_event_at(i);
    t.bytes += double(e.size);
    bool handle = false, world = false;
    int owner = -1;
    for (int k = 0; k < e.frames; ++k) {
      Dl_info info{};
      if (!dladdr(e.pc[k], &info)) continue;
      if (owner < 0 && !IsHookFrame(info) && !IsRuntimeFrame(info)) owner = info.dli_fbase == ExecutableBase() ? 0 : 1;
      if (info.dli_sname && info.dli_fbase == ExecutableBase()) {
        if (std::strstr(info.dli_sname, "13PFHandleTable3New")) handle = true;
        if (std::strstr(info.dli_sname, "10WorldTable3New")) world = true;
      }
    }
    // The host's handle adds a few guard bytes to what was asked for.
    if (handle && e.size >= previewSize && e.size - previewSize <= 4096) {
      t.previewBytes += double(e.size);
    } else if (world && e.size > 4096) {
      t.worldBytes += double(e.size);
    } else {
      ++t.restCalls;
      t.restBytes += double(e.size);
      t.largest.push_back(e.size);
      if (owner != 0) {
        ++t.pluginCalls;
        t.pluginBytes += double(e.size);
      }
    }
  }
  std::sort(t.largest.rbegin(), t.largest.rend());
  if (t.largest.size() > 3) t.largest.resize(3);
  return t;
}

std::string Kib(double bytes) {
  char s[32];
  std::snprintf(s, sizeof(s), "%.1f KiB", bytes / 1024.0);
  return s;
}

// ---- The parent ---------------------------------------------------------------

struct Preview {
  const PreviewKind* kind;
  Bytes jpeg;
  std::string package;
  bool grey = false;
};

struct Cell {
  Cell(int p, int d) : preview(p), depth(d) {}
  int preview, depth;
  std::vector<double> draw, turbo, drawCpu, turboCpu;
  Difference difference;
  double drawFaults = 0, turboFaults = 0;
  HeapTally drawHeap, turboHeap;
  long callerStack = -1, workerStack = -1;
  std::string stackNote, smallStack;
  bool smallStackOk = false;
  std::vector<double> firstDraw, firstTurbo, firstRatio, firstCpuRatio, firstDrawFaults, firstTurboFaults;
};

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

int ParentMain(const std::map<std::string, std::string>& args) {
  auto number = [&](const char* key, int fallback) {
    return args.count(key) ? std::max(1, std::atoi(args.at(key).c_str())) : fallback;
  };
  const int rounds = number("rounds", 41);
  const int firstRounds = number("first-rounds", 15);
  const int faultFrames = number("fault-frames", 20);

  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  sched_getaffinity(0, sizeof(cpus), &cpus);
  const int cpuCount = CPU_COUNT(&cpus);
  std::printf("bench_frame: %d round(s), %d first-frame round(s), on %d CPU(s)%s\n", rounds, firstRounds, cpuCount,
              cpuCount == 1 ? "" : "  (not pinned: run under taskset -c 1)");

  // Previews and their packages.
  const std::filesystem::path dir = LVS_FRAME_PREVIEWS;
  const std::filesystem::path work =
      std::filesystem::temp_directory_path() / ("lvs_bench_frame_" + std::to_string(getpid()));
  std::filesystem::create_directories(work);
  std::vector<Preview> previews(kPreviewCount);
  {
    tjhandle probe = tjInitDecompress();
    for (int p = 0; p < kPreviewCount; ++p) {
      Preview& pv = previews[size_t(p)];
      pv.kind = &kPreviews[p];
      const std::string file = (dir / pv.kind->file).string();
      if (!lvs_maker::ReadWholeFile(file, &pv.jpeg))
        Fail(file + " is missing: bash scripts/install-deps.sh (lomiri-wallpapers-20.04), then cmake again");
      int w = 0, h = 0, sub = 0, cs = 0;
      if (tjDecompressHeader3(probe, pv.jpeg.data(), pv.jpeg.size(), &w, &h, &sub, &cs) != 0 || w != kWidth ||
          h != kHeight)
        Fail(file + " is not a 1280x720 JPEG");
      pv.grey = cs == TJCS_GRAY;
      pv.package = (work / (std::string(pv.kind->file) + ".lvs")).string();
      std::string error;
      if (!lvs_maker::WritePackage(pv.package, lvs_maker::StyleEntries("{\"name\":\"bench\"}", pv.jpeg), &error))
        Fail("no package: " + error);
      std::printf("  %-10s %7zu bytes of JPEG (%s)\n", pv.kind->label, pv.jpeg.size(), file.c_str());
    }
    tjDestroy(probe);
  }

  std::vector<Cell> cells;
  for (int p = 0; p < kPreviewCount; ++p)
    for (int d = 0; d < kDepthCount; ++d) cells.emplace_back(p, d);

  {
    lvshost::SubstituteHost host;
    LoadModule(host);
    host.Worlds().SetMarkFreshWorlds(false);
    std::vector<std::unique_ptr<Footage>> footage;
    for (const Preview& pv : previews) footage.push_back(std::make_unique<Footage>(host, pv.package));
    PF_EffectWorld* worlds[kDepthCount];
    for (int d = 0; d < kDepthCount; ++d) worlds[d] = host.Worlds().Create(kDepths[d].format, kWidth, kHeight);
    TurboState turbo;

    auto draw = [&](const Cell& c) {
      if (footage[size_t(c.preview)]->Draw(worlds[c.depth]) != A_Err_NONE) Fail("a draw failed");
      benchmark::ClobberMemory();
    };
    auto turboFrame = [&](const Cell& c) {
      if (!TurboFrame(turbo.handle, previews[size_t(c.preview)].package, turbo.file, turbo.pixels.data(),
                      *worlds[c.depth], kDepths[c.depth].format))
        Fail("a turbo frame failed");
      benchmark::ClobberMemory();
    };

    // Both frames must show the same picture, or the timings compare
    // different work (a refused preview gets the fallback picture).
    for (Cell& c : cells) {
      // Cleared first, so that a draw that writes nothing cannot pass on
      // the last frame's pixels; the rows' padding is the host's guard.
      PF_EffectWorld& w = *worlds[c.depth];
      for (A_long y = 0; y < w.height; ++y)
        std::memset(reinterpret_cast<uint8_t*>(w.data) + std::ptrdiff_t(y) * w.rowbytes, 0,
                    size_t(w.width) * size_t(lvshost::BytesPerPixel(kDepths[c.depth].format)));
      draw(c);
      const Bytes drawn = Snapshot(*worlds[c.depth]);
      turboFrame(c);
      c.difference = Compare(drawn, *worlds[c.depth], kDepths[c.depth].format);
    }

    for (int r = -2; r < rounds; ++r)
      for (Cell& c : cells) {
        const double c0 = CpuMs();
        const Clock::time_point t0 = Clock::now();
        draw(c);
        const Clock::time_point t1 = Clock::now();
        const double c1 = CpuMs();
        turboFrame(c);
        const Clock::time_point t2 = Clock::now();
        const double c2 = CpuMs();
        if (r < 0) continue;
        c.draw.push_back(Ms(t1 - t0));
        c.turbo.push_back(Ms(t2 - t1));
        c.drawCpu.push_back(c1 - c0);
        c.turboCpu.push_back(c2 - c1);
      }

    for (Cell& c : cells) {
      draw(c);
      long f0 = MinorFaults();
      for (int i = 0; i < faultFrames; ++i) draw(c);
      c.drawFaults = double(MinorFaults() - f0) / faultFrames;
      turboFrame(c);
      f0 = MinorFaults();
      for (int i = 0; i < faultFrames; ++i) turboFrame(c);
      c.turboFaults = double(MinorFaults() - f0) / faultFrames;
    }

    for (Cell& c : cells) {
      const size_t previewSize = previews[size_t(c.preview)].jpeg.size();
      draw(c);
      lvs_heap_begin();
      draw(c);
      c.drawHeap = Tally(lvs_heap_end(), previewSize);
      turboFrame(c);
      lvs_heap_begin();
      turboFrame(c);
      c.turboHeap = Tally(lvs_heap_end(), SIZE_MAX);
    }

    for (PF_EffectWorld* w : worlds) host.Worlds().Release(w);
    footage.clear();
    CheckClean(host);
  }

  // Children: stacks, then first frames.
  for (Cell& c : cells) {
    const std::vector<std::string> where = {"--package=" + previews[size_t(c.preview)].package,
                                            "--depth=" + std::to_string(kDepths[c.depth].bits)};
    std::vector<std::string> a = where;
    a.insert(a.begin(), "--child=stack");
    ChildResult r = RunChild(a);
    int result = -1;
    if (!r.Ok() || std::sscanf(r.out.c_str(), "%ld %ld %d", &c.callerStack, &c.workerStack, &result) != 3)
      c.stackNote = "measuring child failed: " + DescribeStatus(r.status);
    else if (result != 0)
      c.stackNote = "draw result " + std::to_string(result);
    a = where;
    a.insert(a.begin(), "--child=stack64k");
    r = RunChild(a);
    c.smallStackOk = r.Ok();
    c.smallStack = r.Ok() ? "ok" : DescribeStatus(r.status);
  }
  for (int round = 0; round < firstRounds; ++round)
    for (Cell& c : cells) {
      double ms[2] = {0, 0}, cpu[2] = {0, 0};
      long faults[2] = {0, 0};
      for (int k = 0; k < 2; ++k) {
        ChildResult r = RunChild({"--child=first", k == 0 ? "--frame=draw" : "--frame=turbo",
                                  "--package=" + previews[size_t(c.preview)].package,
                                  "--depth=" + std::to_string(kDepths[c.depth].bits)});
        if (!r.Ok() || std::sscanf(r.out.c_str(), "%lf %lf %ld", &ms[k], &cpu[k], &faults[k]) != 3)
          Fail(std::string("a first-frame child failed (") + (k == 0 ? "draw" : "turbo") +
               "): " + DescribeStatus(r.status));
      }
      c.firstDraw.push_back(ms[0]);
      c.firstTurbo.push_back(ms[1]);
      c.firstRatio.push_back(ms[0] / ms[1]);
      c.firstCpuRatio.push_back(cpu[0] / cpu[1]);
      c.firstDrawFaults.push_back(double(faults[0]));
      c.firstTurboFaults.push_back(double(faults[1]));
    }

  // The decoder alone, whole picture, against tjDecompress2.
  std::vector<std::vector<double>> ours(kPreviewCount), theirs(kPreviewCount), oursCpu(kPreviewCount),
      theirsCpu(kPreviewCount), reads(kPreviewCount);
  {
    TurboState turbo;
    for (int r = -2; r < rounds; ++r)
      for (int p = 0; p < kPreviewCount; ++p) {
        const Preview& pv = previews[size_t(p)];
        const double c0 = CpuMs();
        const Clock::time_point t0 = Clock::now();
        auto* decoder = new Jpeg::Decoder(pv.jpeg.data(), pv.jpeg.size(), std::malloc, std::free);
        const bool decoded = decoder->GetResult() == Jpeg::Decoder::Success;
        benchmark::DoNotOptimize(decoder->GetImage());
        delete decoder;
        const Clock::time_point t1 = Clock::now();
        const double c1 = CpuMs();
        const bool turboDecoded = tjDecompress2(turbo.handle, pv.jpeg.data(), pv.jpeg.size(), turbo.pixels.data(),
                                                kWidth, 0, kHeight, pv.grey ? TJPF_GRAY : TJPF_RGB, 0) == 0;
        benchmark::DoNotOptimize(turbo.pixels.data());
        const Clock::time_point t2 = Clock::now();
        const double c2 = CpuMs();
        if (!decoded || !turboDecoded) Fail(std::string("a decode failed: ") + pv.kind->label);
        if (r < 0) continue;
        ours[size_t(p)].push_back(Ms(t1 - t0));
        theirs[size_t(p)].push_back(Ms(t2 - t1));
        oursCpu[size_t(p)].push_back(c1 - c0);
        theirsCpu[size_t(p)].push_back(c2 - c1);
        // The read both frames share, which waters their ratio down.
        const Clock::time_point t3 = Clock::now();
        if (LVS_GetFileSize(pv.package.c_str(), kPreviewEntryName) != int32_t(pv.jpeg.size()) ||
            LVS_ReadFile(pv.package.c_str(), kPreviewEntryName, turbo.pixels.data(), turbo.pixels.size()) != 0)
          Fail(std::string("a read failed: ") + pv.kind->label);
        reads[size_t(p)].push_back(Ms(Clock::now() - t3));
      }
  }
  std::filesystem::remove_all(work);

  // ---- Figures ----
  // The closing verdict follows the wall clock, as the host waits on it; the
  // CPU-time verdicts beside it say whether a miss could be a neighbour's.
  bool allMet = true;
  auto judge = [&](bool met) {
    allMet = allMet && met;
    return Verdict(met);
  };
  std::printf("\nframe, destination 1280x720, median of %d interleaved rounds          target draw/turbo <= 0.90\n",
              rounds);
  std::printf("  %-18s %-39s %-39s\n", "", " ---------------- wall clock ---------",
              " ------------ process CPU time -------");
  std::printf("  %-10s %-7s %9s %9s %11s %-7s %9s %9s %11s %-7s  %s\n", "preview", "depth", "draw ms", "turbo ms",
              "draw/turbo", "", "draw ms", "turbo ms", "draw/turbo", "", "draw vs turbo, 8-bit levels");
  double wallSum = 0, cpuSum = 0;
  for (const Cell& c : cells) {
    const double d = Median(c.draw), t = Median(c.turbo), dc = Median(c.drawCpu), tc = Median(c.turboCpu);
    for (double v : c.draw) wallSum += v;
    for (double v : c.turbo) wallSum += v;
    for (double v : c.drawCpu) cpuSum += v;
    for (double v : c.turboCpu) cpuSum += v;
    std::printf("  %-10s %-7s %9.3f %9.3f %11.3f %-7s %9.3f %9.3f %11.3f %-7s  mean %.2f, max %.0f%s\n",
                kPreviews[c.preview].label, kDepths[c.depth].label, d, t, d / t, judge(d / t <= 0.90), dc, tc, dc / tc,
                Verdict(dc / tc <= 0.90), c.difference.mean, c.difference.max,
                c.difference.mean > 4 || !c.difference.alphaFull ? "  NOT THE SAME PICTURE" : "");
  }
  std::printf(
      "  wall time above CPU time over all timed frames: %.1f%% (near 0 on a quiet CPU; more means a\n"
      "  neighbour shared it, and the CPU-time columns are the steadier figures)\n",
      cpuSum > 0 ? std::max(0.0, 100.0 * (wallSum - cpuSum) / cpuSum) : 0.0);

  std::printf("\nminor page faults per frame, %d frames after the first            target draw 0\n", faultFrames);
  for (const Cell& c : cells)
    std::printf("  %-10s %-7s draw %8.2f   turbo %8.2f   %s\n", kPreviews[c.preview].label, kDepths[c.depth].label,
                c.drawFaults, c.turboFaults, judge(c.drawFaults == 0));

  std::printf("\nheap asked for during one frame (malloc family, after a frame)    target draw's rest <= 1 MiB\n");
  std::printf(
      "  rest: all but the host's preview buffer and world buffers; module: the part the module and the\n"
      "  libraries it calls asked for themselves (the remainder is the host's bookkeeping)\n");
  std::printf("  %-10s %-7s %17s %10s %9s %17s %17s %22s  %-7s %s\n", "preview", "depth", "draw: all", "preview",
              "worlds", "rest", "of which module", "largest of the rest", "", "turbo frame: all");
  for (const Cell& c : cells) {
    const HeapTally& h = c.drawHeap;
    std::string largest;
    for (size_t size : h.largest) largest += (largest.empty() ? "" : ", ") + std::to_string(size);
    auto callsAndBytes = [](long calls, double bytes) {
      char text[48];
      std::snprintf(text, sizeof(text), "%ld/%s", calls, Kib(bytes).c_str());
      return std::string(text);
    };
    std::printf("  %-10s %-7s %17s %10s %9s %17s %17s %22s  %-7s %s%s\n", kPreviews[c.preview].label,
                kDepths[c.depth].label, callsAndBytes(h.calls, h.bytes).c_str(), Kib(h.previewBytes).c_str(),
                Kib(h.worldBytes).c_str(), callsAndBytes(h.restCalls, h.restBytes).c_str(),
                callsAndBytes(h.pluginCalls, h.pluginBytes).c_str(), largest.c_str(),
                judge(h.restBytes <= 1024.0 * 1024.0), callsAndBytes(c.turboHeap.calls, c.turboHeap.bytes).c_str(),
                h.truncated || c.turboHeap.truncated ? "  (log full: bytes undercounted)" : "");
  }
  std::printf("  (calls/bytes; largest in bytes)\n");

  std::printf("\nstack of the first draw in a process                               target <= 64 KiB\n");
  for (const Cell& c : cells) {
    const bool measured = c.stackNote.empty();
    const bool met = measured && c.callerStack <= 65536 && c.workerStack <= 65536 && c.smallStackOk;
    std::printf("  %-10s %-7s calling thread %10s, deepest worker %10s; every thread on 64 KiB: %s   %s%s%s\n",
                kPreviews[c.preview].label, kDepths[c.depth].label, measured ? Kib(double(c.callerStack)).c_str() : "?",
                measured ? Kib(double(c.workerStack)).c_str() : "?", c.smallStack.c_str(), judge(met),
                measured ? "" : "  ", c.stackNote.c_str());
  }

  std::printf("\nfirst frame in a fresh process, %d rounds of two children           target draw/turbo <= 1.3\n",
              firstRounds);
  for (const Cell& c : cells) {
    const double ratio = Median(c.firstRatio);
    std::printf(
        "  %-10s %-7s draw %8.3f ms   turbo %8.3f ms   median ratio %6.3f  %-7s CPU ratio %6.3f   "
        "page faults: draw %.0f, turbo %.0f\n",
        kPreviews[c.preview].label, kDepths[c.depth].label, Median(c.firstDraw), Median(c.firstTurbo), ratio,
        judge(ratio <= 1.3), Median(c.firstCpuRatio), Median(c.firstDrawFaults), Median(c.firstTurboFaults));
  }

  std::printf("\ndecoder alone, whole picture, median of %d interleaved rounds      target ours/turbo <= 1.2\n",
              rounds);
  for (int p = 0; p < kPreviewCount; ++p) {
    const double o = Median(ours[size_t(p)]), t = Median(theirs[size_t(p)]);
    std::printf(
        "  %-10s ours %8.3f ms   tjDecompress2 %8.3f ms   %6.3f  %-7s CPU ratio %6.3f   "
        "(the read of prv alone: %.3f ms)\n",
        kPreviews[p].label, o, t, o / t, judge(o / t <= 1.2), Median(oursCpu[size_t(p)]) / Median(theirsCpu[size_t(p)]),
        Median(reads[size_t(p)]));
  }
  std::printf("\n%s\n", allMet ? "every target met" : "some targets MISSED");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::map<std::string, std::string> args = ParseArgs(argc, argv);
  if (args.count("child")) return ChildMain(args);
  return ParentMain(args);
}
