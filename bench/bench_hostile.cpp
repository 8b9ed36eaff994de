// The hostile corpus (tests/hostile/make_hostile.py) swept through the
// release module and the lvs tool: for every input, one open, one draw and
// every lvs command that takes a package (`check`, `info`, `render`,
// `sheet`), each in a fresh process, with its wall time and its peak
// resident memory above that process's own baseline (the host and module
// loaded, or lvs run on a missing file). Prints the worst of each and the
// inputs that reach it; targets: 0.5 s and 64 MiB. Inputs named after the
// folder get their own figures for each of the six as well.
//
//   bench_hostile [CORPUS_DIR|-] [INPUT...]   (-: made afresh in a temporary folder, the default)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "SubstituteHost.h"

namespace fs = std::filesystem;

namespace {

constexpr double kTimeTarget = 0.5;
constexpr double kMemoryTargetMiB = 64;
constexpr int kTimeoutSeconds = 20;

struct Figure {
  double seconds = 0;
  double mib = 0;  // peak resident memory above the baseline
  bool finished = true;
};

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Resident now, not at the peak: memory freed before the operation could
// otherwise hide what the operation takes.
long ResidentKiB() {
  long pages = 0, resident = 0;
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (f && std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
  if (f) std::fclose(f);
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The corpus's names are ASCII but one, which is not UTF-8 and so has no
// UTF-16 form: widened byte by byte it names no file, as the host could not
// name it either.
std::u16string Utf16(const std::string& s) {
  std::u16string out;
  for (const char c : s) out += char16_t(static_cast<unsigned char>(c));
  return out;
}

// One open or one draw of `file` in a child process; the child measures its
// own baseline once the module is loaded, so only the operation counts.
Figure InChild(const std::string& file, bool draw) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) std::exit(1);
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipeEnds[0]);
    alarm(kTimeoutSeconds);
    lvs_host::SubstituteHost host;
    if (host.Load(LVS_PLUGIN_PATH) != A_Err_NONE) _exit(2);
    AEIO_InSpecH inSpec = host.NewInSpec();
    std::vector<uint8_t> record(1408, 0);
    AEGP_MemHandle options = nullptr;
    PF_EffectWorld* world = nullptr;
    if (draw) {
      std::memcpy(record.data(), file.data(), std::min<size_t>(file.size(), 259));
      options = host.Memory().Create(record, "LVS Options");
      host.SetInSpecOptions(inSpec, options);
      world = host.Worlds().Create(PF_PixelFormat_ARGB32, 1280, 720);
    }
    const std::u16string path = Utf16(file);
    const long baseline = ResidentKiB();
    const double start = Now();
    if (draw) {
      host.Calls().DrawSparseFrame(inSpec, world);
    } else {
      host.Calls().InitInSpecFromFile(path, inSpec);
    }
    Figure f{Now() - start, double(PeakKiB() - baseline) / 1024.0, true};
    if (write(pipeEnds[1], &f, sizeof f) != ssize_t(sizeof f)) _exit(3);
    _exit(0);  // the host's books are the tests' business, not the sweep's
  }
  close(pipeEnds[1]);
  Figure f;
  f.finished = read(pipeEnds[0], &f, sizeof f) == ssize_t(sizeof f);
  close(pipeEnds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) f.finished = false;
  return f;
}

// An lvs command on FILE as a process: its wall time and its peak memory.
Figure Lvs(const char* command, const std::string& file, double baselineMiB) {
  const std::string png = (fs::temp_directory_path() / ("lvs_bench_hostile_" + std::to_string(getpid()) + ".png"));
  const double start = Now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    alarm(kTimeoutSeconds);
    if (std::strcmp(command, "render") == 0 || std::strcmp(command, "sheet") == 0)
      execl(LVS_TOOL_PATH, "lvs", command, file.c_str(), "-o", png.c_str(), static_cast<char*>(nullptr));
    else
      execl(LVS_TOOL_PATH, "lvs", command, file.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  Figure f{Now() - start, double(usage.ru_maxrss) / 1024.0 - baselineMiB, true};
  // 0 and 1 are verdicts; anything else (a signal, the alarm) is a failure,
  // but for a sheet of a folder, which holds no packages (2).
  std::error_code ec;
  const bool emptySheet = std::strcmp(command, "sheet") == 0 && fs::is_directory(file, ec);
  f.finished = WIFEXITED(status) && WEXITSTATUS(status) <= (emptySheet ? 2 : 1);
  fs::remove(png);
  return f;
}

struct Worst {
  explicit Worst(const char* name) : what(name) {}
  const char* what;
  Figure time, memory;
  std::string timeInput, memoryInput;
  std::vector<std::string> unfinished;
  void Add(const std::string& input, const Figure& f) {
    if (!f.finished) unfinished.push_back(input);
    if (f.seconds >= time.seconds) time = f, timeInput = input;
    if (f.mib >= memory.mib) memory = f, memoryInput = input;
  }
};

}  // namespace

int main(int argc, char** argv) {
  fs::path corpus;
  const bool made = argc <= 1 || std::strcmp(argv[1], "-") == 0;
  if (!made) {
    corpus = argv[1];
  } else {
    corpus = fs::temp_directory_path() / ("lvs_bench_hostile_" + std::to_string(getpid()));
    const std::string command = std::string("'") + LVS_PYTHON + "' '" + LVS_HOSTILE_GENERATOR + "' '" +
                                LVS_SAMPLE_PREVIEW + "' '" + corpus.string() + "' >/dev/null";
    if (std::system(command.c_str()) != 0) {
      std::fprintf(stderr, "bench_hostile: the corpus could not be made\n");
      return 1;
    }
  }
  std::vector<std::string> inputs;
  std::ifstream manifest(corpus / "manifest.tsv");
  for (std::string line; std::getline(manifest, line);)
    inputs.push_back((corpus / line.substr(0, line.find('\t'))).string());
  if (inputs.empty()) {
    std::fprintf(stderr, "bench_hostile: no manifest in %s\n", corpus.c_str());
    return 1;
  }

  // lvs on a file that is not there: the tool and the module loaded, nothing read.
  const double lvsBaseline = Lvs("check", (corpus / "no such file.lvs").string(), 0).mib;

  std::vector<std::string> detailed;
  for (int i = 2; i < argc; ++i) detailed.push_back(fs::path(argv[i]).filename().string());
  std::string details;
  Worst open("open"), draw("draw"), check("lvs check"), info("lvs info"), render("lvs render"), sheet("lvs sheet");
  Worst* const worsts[] = {&open, &draw, &check, &info, &render, &sheet};
  for (const std::string& input : inputs) {
    const Figure figures[] = {InChild(input, false),
                              InChild(input, true),
                              Lvs("check", input, lvsBaseline),
                              Lvs("info", input, lvsBaseline),
                              Lvs("render", input, lvsBaseline),
                              Lvs("sheet", input, lvsBaseline)};
    const std::string name = fs::path(input).filename().string();
    const bool detail = std::find(detailed.begin(), detailed.end(), name) != detailed.end();
    for (size_t k = 0; k < std::size(worsts); ++k) {
      worsts[k]->Add(input, figures[k]);
      char line[256];
      std::snprintf(line, sizeof line, "  %-32s %-10s %.3f s  %+.1f MiB%s\n", name.c_str(), worsts[k]->what,
                    figures[k].seconds, figures[k].mib, figures[k].finished ? "" : "  did not finish");
      if (detail) details += line;
    }
  }

  std::printf("%zu inputs from %s; lvs baseline %.1f MiB\n", inputs.size(), corpus.c_str(), lvsBaseline);
  bool met = true;
  for (const Worst* w : worsts) {
    const bool ok = w->time.seconds <= kTimeTarget && w->memory.mib <= kMemoryTargetMiB && w->unfinished.empty();
    met = met && ok;
    std::printf("%-9s worst time %.3f s (%s), worst memory %+.1f MiB (%s)%s\n", w->what, w->time.seconds,
                fs::path(w->timeInput).filename().c_str(), w->memory.mib, fs::path(w->memoryInput).filename().c_str(),
                ok ? "" : "  NOT MET");
    for (const std::string& u : w->unfinished) std::printf("  did not finish: %s\n", u.c_str());
  }
  std::printf("targets: <= %.1f s and <= %.0f MiB above the baseline: %s\n", kTimeTarget, kMemoryTargetMiB,
              met ? "met" : "NOT MET");
  if (!details.empty()) std::printf("inputs named:\n%s", details.c_str());
  if (made) fs::remove_all(corpus);
  return met ? 0 : 1;
}
