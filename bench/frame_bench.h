// What the jobs of bench_frame share: the previews and their packages, the
// module's frame and the turbo frame, timing, children and verdicts. Each job
// lives in a file of its own and prints its own figures:
//
//   frame_timed.cpp    the frame against the turbo frame, rounds interleaved
//   frame_memory.cpp   page faults, heap (and its peak) and stack of a
//                      frame, also at the preview ceiling
//   frame_first.cpp    the first frame in a fresh process
//   frame_alone.cpp    the decoder alone and the read alone (and the cipher
//                      in it), against the frame that overlaps them
#pragma once

#include <turbojpeg.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "StyleFormat.h"
#include "SubstituteHost.h"

namespace frame {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using Args = std::map<std::string, std::string>;

constexpr int kWidth = kStyleWidth;
constexpr int kHeight = kStyleHeight;

struct PreviewKind {
  const char* label;
  const char* file;
};
constexpr int kPreviewCount = 4;
extern const PreviewKind kPreviews[kPreviewCount];

struct DepthKind {
  const char* label;
  PF_PixelFormat format;
  int bits;
};
constexpr int kDepthCount = 3;
extern const DepthKind kDepths[kDepthCount];
const DepthKind* DepthByBits(int bits);

// A preview, and a package that holds it as lvs pack writes one (deflated
// and encrypted).
struct Preview {
  const PreviewKind* kind = nullptr;
  Bytes jpeg;
  std::string package;
  bool grey = false;
};

// One preview at one depth.
struct Cell {
  int preview, depth;
};
std::vector<Cell> AllCells();

// What every job is given.
struct Setup {
  Args args;
  std::string module;  // the module drawn with
  std::vector<Preview> previews;
  std::string work;  // a scratch directory
  int rounds = 41;
  int Number(const char* key, int fallback) const;
};

// ---- Measuring ----
double Ms(Clock::duration d);
// CPU time of every thread of the process: beside the wall clock, since a
// neighbour's job on the same CPU lengthens the wall time of whichever frame
// it lands in but not the CPU time the frame itself spent.
double CpuMs();
double Median(std::vector<double> v);
long MinorFaults();
std::string Kib(double bytes);
[[noreturn]] void Fail(const std::string& why);

// Every verdict printed goes into the closing line.
const char* Judge(bool met);
// The same words for a figure beside the verdict, which does not count.
const char* Verdict(bool met);
bool AllMet();

// ---- The plug-in side: footage on the substitute host ----
void LoadModule(lvs_host::SubstituteHost& host, const std::string& module);
void CheckClean(lvs_host::SubstituteHost& host);

class Footage {
 public:
  Footage(lvs_host::SubstituteHost& host, const std::string& package);
  ~Footage();
  Footage(const Footage&) = delete;
  Footage& operator=(const Footage&) = delete;
  A_Err Draw(PF_EffectWorld* destination) { return host_.Calls().DrawSparseFrame(inSpec_, destination); }

 private:
  lvs_host::SubstituteHost& host_;
  AEGP_MemHandle options_ = nullptr;
  AEIO_InSpecH inSpec_ = nullptr;
};

// ---- The peer: a turbo frame ----
// What the draw must do, the plain way: LVS_GetFileSize and LVS_ReadFile of
// "prv" into a buffer reused from frame to frame, tjDecompress2 (default
// flags) through a reused handle into a reused RGB or grey buffer, then one
// loop per depth writing opaque ARGB samples (8 -> 16 bits:
// (v * 32768 + 128) / 255; 8 bits -> float: v / 255.0f).
bool TurboFrame(tjhandle handle, const std::string& package, Bytes& file, uint8_t* pixels, PF_EffectWorld& world,
                PF_PixelFormat format);

struct TurboState {
  tjhandle handle = tjInitDecompress();
  Bytes file;
  Bytes pixels = Bytes(size_t(kWidth) * kHeight * 3);
  ~TurboState() { tjDestroy(handle); }
  TurboState() = default;
  TurboState(const TurboState&) = delete;
  TurboState& operator=(const TurboState&) = delete;
};

// ---- Children: this program run again with --child=... ----
struct ChildResult {
  int status = -1;
  std::string out;
  bool Ok() const;
};
// Runs this program with `args` (and the parent's --module), its standard
// output caught.
ChildResult RunChild(const Setup& setup, const std::vector<std::string>& args);
std::string DescribeStatus(int status);

// ---- The jobs ----
void TimedFrames(const Setup& setup);
void FrameMemory(const Setup& setup);
void FirstFrames(const Setup& setup);
void FrameAlone(const Setup& setup);

// Children's entries, by --child: "first" (frame_first.cpp), "stack" and
// "stack64k" (frame_memory.cpp). Return the exit status.
int ChildFirstFrame(const Args& args, const std::string& module);
int ChildMemory(const Args& args, const std::string& module);

}  // namespace frame
