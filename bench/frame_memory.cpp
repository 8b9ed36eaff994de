// What a frame costs in memory: page faults per frame once warm; the heap
// asked for during one frame, by whom, and the most of it in use at once
// (the frame's peak); the deepest stack of a first draw, and whether a draw
// survives when every thread has 64 KiB. Besides the previews, a preview at
// the ceiling (kEntrySizeCeiling bytes: the collage behind application
// segments of noise) shows that none of it grows with the preview's size.
#include <dlfcn.h>
#include <pthread.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <utility>

#include "PackageBuilder.h"
#include "StylePackage.h"
#include "frame_bench.h"
#include "frame_hooks.h"

namespace frame {
namespace {

// The collage behind application segments of noise (deflate cannot shrink
// them), exactly kEntrySizeCeiling bytes in all.
Bytes CeilingJpeg(const Bytes& jpeg) {
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  std::mt19937 random(28);
  const size_t target = size_t(kEntrySizeCeiling);
  while (out.size() + jpeg.size() - 2 < target) {
    const size_t room = target - (out.size() + jpeg.size() - 2);
    // A segment of fewer than 4 bytes cannot be: the last two share the rest.
    size_t length = std::min<size_t>(65535, room - 2);
    if (room - (length + 2) > 0 && room - (length + 2) < 4) length -= 4;
    out.insert(out.end(), {0xFF, 0xEF, uint8_t(length >> 8), uint8_t(length)});
    for (size_t i = 2; i < length; ++i) out.push_back(uint8_t(random()));
  }
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  if (out.size() != target) Fail("the ceiling preview came out at " + std::to_string(out.size()) + " bytes");
  return out;
}

struct HeapTally {
  long calls = 0;
  double bytes = 0;
  double handleBytes = 0;  // the host's handles: the preview's buffer, or its window
  double worldBytes = 0;   // buffers of host worlds
  long restCalls = 0;
  double restBytes = 0;
  long pluginCalls = 0;  // of the rest: asked for by the module or a library it called
  double pluginBytes = 0;
  std::vector<size_t> largest;  // of the rest
  long peak = 0;                // the most bytes in use at once
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

HeapTally Tally(int count) {
  HeapTally t;
  t.calls = count;
  t.peak = lvs_heap_peak();
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
    if (handle && e.size > 4096) {
      t.handleBytes += double(e.size);
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
int ChildStack(const std::string& module, const std::string& package, const DepthKind& depth) {
  lvs_thread_stacks(LVS_STACKS_PATTERN, kMeasuredStack);
  lvs_host::SubstituteHost host;
  LoadModule(host, module);
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
int ChildSmallStack(const std::string& module, const std::string& package, const DepthKind& depth) {
  lvs_thread_stacks(LVS_STACKS_SMALL, kSmallStack);
  lvs_host::SubstituteHost host;
  LoadModule(host, module);
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

struct Row {
  Row(std::string label_, std::string package_, int depth_)
      : label(std::move(label_)), package(std::move(package_)), depth(depth_) {}
  std::string label;
  std::string package;
  int depth;
  double drawFaults = 0, turboFaults = 0;
  HeapTally drawHeap, turboHeap;
  long callerStack = -1, workerStack = -1;
  std::string stackNote, smallStack;
  bool smallStackOk = false;
};

// What the module may hold at once while it draws, whatever the preview.
constexpr double kHeapTarget = 512 * 1024.0;

}  // namespace

int ChildMemory(const Args& args, const std::string& module) {
  const std::string mode = args.at("child");
  const std::string package = args.count("package") ? args.at("package") : "";
  const DepthKind* depth = DepthByBits(args.count("depth") ? std::atoi(args.at("depth").c_str()) : 0);
  if (package.empty() || !depth) Fail("a child needs --package and --depth");
  if (mode == "stack") return ChildStack(module, package, *depth);
  if (mode == "stack64k") return ChildSmallStack(module, package, *depth);
  Fail("unknown child " + mode);
}

void FrameMemory(const Setup& setup) {
  const int faultFrames = setup.Number("fault-frames", 20);
  std::vector<Row> rows;
  for (const Cell& c : AllCells())
    rows.emplace_back(kPreviews[c.preview].label, setup.previews[size_t(c.preview)].package, c.depth);
  {
    const Bytes ceiling = CeilingJpeg(setup.previews[kPreviewCount - 1].jpeg);
    const std::string package = (std::filesystem::path(setup.work) / "ceiling.lvs").string();
    std::string error;
    if (!lvs_maker::WritePackage(package, lvs_maker::StyleEntries("{\"name\":\"bench\"}", ceiling), &error))
      Fail("no package at the ceiling: " + error);
    for (int d = 0; d < kDepthCount; ++d) rows.emplace_back("ceiling", package, d);
  }

  {
    lvs_host::SubstituteHost host;
    LoadModule(host, setup.module);
    host.Worlds().SetMarkFreshWorlds(false);
    PF_EffectWorld* worlds[kDepthCount];
    for (int d = 0; d < kDepthCount; ++d) worlds[d] = host.Worlds().Create(kDepths[d].format, kWidth, kHeight);
    TurboState turbo;
    for (Row& r : rows) {
      Footage footage(host, r.package);
      auto draw = [&] {
        if (footage.Draw(worlds[r.depth]) != A_Err_NONE) Fail("a draw failed: " + r.label);
      };
      auto turboFrame = [&] {
        if (!TurboFrame(turbo.handle, r.package, turbo.file, turbo.pixels.data(), *worlds[r.depth],
                        kDepths[r.depth].format))
          Fail("a turbo frame failed: " + r.label);
      };
      // The host's books of each call grow with every frame; warmed up and
      // then forgotten, they take no new pages while the module's are counted.
      for (int i = 0; i < faultFrames; ++i) draw();
      host.ForgetHistory();
      long f0 = MinorFaults();
      for (int i = 0; i < faultFrames; ++i) draw();
      r.drawFaults = double(MinorFaults() - f0) / faultFrames;
      turboFrame();
      f0 = MinorFaults();
      for (int i = 0; i < faultFrames; ++i) turboFrame();
      r.turboFaults = double(MinorFaults() - f0) / faultFrames;

      draw();
      lvs_heap_begin();
      draw();
      r.drawHeap = Tally(lvs_heap_end());
      turboFrame();
      lvs_heap_begin();
      turboFrame();
      r.turboHeap = Tally(lvs_heap_end());
    }
    for (PF_EffectWorld* w : worlds) host.Worlds().Release(w);
    CheckClean(host);
  }

  for (Row& r : rows) {
    const std::vector<std::string> where = {"--package=" + r.package,
                                            "--depth=" + std::to_string(kDepths[r.depth].bits)};
    std::vector<std::string> a = where;
    a.insert(a.begin(), "--child=stack");
    ChildResult c = RunChild(setup, a);
    int result = -1;
    if (!c.Ok() || std::sscanf(c.out.c_str(), "%ld %ld %d", &r.callerStack, &r.workerStack, &result) != 3)
      r.stackNote = "measuring child failed: " + DescribeStatus(c.status);
    else if (result != 0)
      r.stackNote = "draw result " + std::to_string(result);
    a = where;
    a.insert(a.begin(), "--child=stack64k");
    c = RunChild(setup, a);
    r.smallStackOk = c.Ok();
    r.smallStack = c.Ok() ? "ok" : DescribeStatus(c.status);
  }

  std::printf("\nminor page faults per frame, %d frames after the first             target draw 0\n", faultFrames);
  for (const Row& r : rows)
    std::printf("  %-10s %-7s draw %8.2f   turbo %8.2f   %s\n", r.label.c_str(), kDepths[r.depth].label, r.drawFaults,
                r.turboFaults, Judge(r.drawFaults == 0));

  std::printf(
      "\nheap during one frame (malloc family, after a frame)   target draw's handle + rest, and in use, <= %s\n",
      Kib(kHeapTarget).c_str());
  std::printf(
      "  handle: the host's handle the preview is read into (or through); rest: all but that and the worlds;\n"
      "  module: the part of the rest the module and the libraries it calls asked for themselves (the\n"
      "  remainder is the host's bookkeeping); in use: the most of the heap in use at once\n");
  std::printf("  %-10s %-7s %17s %11s %9s %17s %17s %22s %11s  %-7s %s\n", "preview", "depth", "draw: all", "handle",
              "worlds", "rest", "of which module", "largest of the rest", "in use", "", "turbo frame: all, in use");
  for (const Row& r : rows) {
    const HeapTally& h = r.drawHeap;
    std::string largest;
    for (size_t size : h.largest) largest += (largest.empty() ? "" : ", ") + std::to_string(size);
    auto callsAndBytes = [](long calls, double bytes) {
      char text[48];
      std::snprintf(text, sizeof(text), "%ld/%s", calls, Kib(bytes).c_str());
      return std::string(text);
    };
    std::printf("  %-10s %-7s %17s %11s %9s %17s %17s %22s %11s  %-7s %s, %s%s\n", r.label.c_str(),
                kDepths[r.depth].label, callsAndBytes(h.calls, h.bytes).c_str(), Kib(h.handleBytes).c_str(),
                Kib(h.worldBytes).c_str(), callsAndBytes(h.restCalls, h.restBytes).c_str(),
                callsAndBytes(h.pluginCalls, h.pluginBytes).c_str(), largest.c_str(), Kib(double(h.peak)).c_str(),
                Judge(h.handleBytes + h.restBytes <= kHeapTarget && double(h.peak) <= kHeapTarget),
                callsAndBytes(r.turboHeap.calls, r.turboHeap.bytes).c_str(), Kib(double(r.turboHeap.peak)).c_str(),
                h.truncated || r.turboHeap.truncated ? "  (log full: bytes undercounted)" : "");
  }
  std::printf("  (calls/bytes; largest in bytes)\n");

  std::printf("\nstack of the first draw in a process                                target <= 64 KiB\n");
  for (const Row& r : rows) {
    const bool measured = r.stackNote.empty();
    const bool met = measured && r.callerStack <= 65536 && r.workerStack <= 65536 && r.smallStackOk;
    std::printf("  %-10s %-7s calling thread %10s, deepest worker %10s; every thread on 64 KiB: %s   %s%s%s\n",
                r.label.c_str(), kDepths[r.depth].label, measured ? Kib(double(r.callerStack)).c_str() : "?",
                measured ? Kib(double(r.workerStack)).c_str() : "?", r.smallStack.c_str(), Judge(met),
                measured ? "" : "  ", r.stackNote.c_str());
  }
}

}  // namespace frame
