// lvs check: would the host import each package and show its own preview?
// The verdict and its reasons come from PackageChecker; many packages are
// checked by several processes at once.
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <functional>

#include "CommandSupport.h"
#include "PackageCheck.h"
#include "VerdictReport.h"

namespace lvs {
namespace {

int PrintProblemCodes(bool json) {
  std::string text;
  for (int i = 0; i < int(Code::Count); ++i) {
    const Code code = Code(i);
    if (json)
      text += JsonLine(
          {{"code", CodeName(code)}, {"severity", SeverityName(SeverityOf(code))}, {"summary", CodeSummary(code)}});
    else
      text += Format("%-26s %-10s %s\n", CodeName(code), SeverityName(SeverityOf(code)), CodeSummary(code));
  }
  Emit(text);
  return kExitOk;
}

// One package's report as check prints it; empty with --quiet.
std::string Report(const CheckOptions& options, const std::string& package, const PackageVerdict& verdict) {
  if (options.quiet) return {};
  if (!options.json) return VerdictText(package, verdict);
  nlohmann::json line = {{"package", package}};
  AddVerdictJson(verdict, &line);
  return JsonLine(line);
}

// Checks packages[first], packages[first + step]... in a session of its
// own, handing each report to `emit` in that order; the exit code.
int CheckStripe(const CheckOptions& options, const std::vector<std::string>& packages, size_t first, size_t step,
                const std::function<void(const std::string&)>& emit) {
  PluginSession session;
  // When several processes fail to load it, one of them says why.
  if (!LoadPlugin(session, options.plugin, first == 0)) return kExitNoPlugin;
  PackageChecker checker(session);
  int exitCode = kExitOk;
  for (size_t i = first; i < packages.size(); i += step) {
    PackageInput input;
    if (!PreparePackage(&input, packages[i], &exitCode)) {
      emit({});
      continue;
    }
    const PackageVerdict verdict = checker.Check(input.Path());
    if (!verdict.problems.empty()) exitCode = std::max<int>(exitCode, kExitFailed);
    emit(Report(options, packages[i], verdict));
  }
  return FinishSession(session, exitCode);
}

// The work spread over `jobs` processes, package i to process i % jobs, each
// with its own module and host; their reports are printed in the packages'
// order, as one process would print them. Processes rather than threads:
// the module keeps its plug-in id in a global, and each host its books.
int CheckInParallel(const CheckOptions& options, const std::vector<std::string>& packages, int jobs) {
  struct Worker {
    pid_t pid = -1;
    int reports = -1;  // read end of its pipe
  };
  std::vector<Worker> workers(static_cast<size_t>(jobs));
  std::fflush(stderr);
  const pid_t parent = ::getpid();
  for (int k = 0; k < jobs; ++k) {
    int fds[2];
    if (::pipe(fds) != 0) break;
    const pid_t pid = ::fork();
    if (pid == 0) {
      // A worker ends with the run: a signal that ends the parent ends it
      // too, even one the parent alone was sent.
      if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent) ::_exit(kExitUsage);
      ::close(fds[0]);
      for (int j = 0; j < k; ++j) ::close(workers[size_t(j)].reports);
      bool open = true;
      const int code = CheckStripe(options, packages, size_t(k), size_t(jobs), [&](const std::string& report) {
        const uint64_t length = report.size();
        open = open && WriteAll(fds[1], &length, sizeof length) && WriteAll(fds[1], report.data(), report.size());
      });
      std::fflush(stderr);
      ::_exit(open ? code : std::max<int>(code, kExitUsage));
    }
    ::close(fds[1]);
    if (pid < 0) {
      ::close(fds[0]);
      break;
    }
    workers[size_t(k)] = {pid, fds[0]};
  }

  int exitCode = kExitOk;
  bool complete = true;
  for (size_t i = 0; i < packages.size() && complete; ++i) {
    const Worker& worker = workers[i % size_t(jobs)];
    uint64_t length = 0;
    std::string report;
    complete = worker.reports >= 0 && ReadAll(worker.reports, &length, sizeof length) && length < (uint64_t(1) << 30);
    if (complete) {
      report.resize(size_t(length));
      complete = ReadAll(worker.reports, &report[0], report.size());
    }
    if (complete) Emit(report);
  }
  for (const Worker& worker : workers) {
    if (worker.reports >= 0) ::close(worker.reports);
    int status = 0;
    if (worker.pid < 0 || ::waitpid(worker.pid, &status, 0) != worker.pid) {
      exitCode = std::max<int>(exitCode, kExitUsage);
      continue;
    }
    exitCode = std::max<int>(exitCode, WIFEXITED(status) ? WEXITSTATUS(status) : kExitFailed);
  }
  if (!complete && exitCode != kExitNoPlugin) {
    std::fprintf(stderr, "lvs: a checking process ended before reporting on every package\n");
    exitCode = std::max<int>(exitCode, kExitFailed);
  }
  return exitCode;
}

}  // namespace

int RunCheck(const CheckOptions& options) {
  if (options.listCodes) return PrintProblemCodes(options.json);
  std::vector<std::string> unreadable;
  const std::vector<std::string> packages = ExpandPackages(options.packages, options.recursive, &unreadable);
  const int walked = ReportUnreadableFolders(unreadable);

  const long processors = ::sysconf(_SC_NPROCESSORS_ONLN);
  size_t jobs = options.jobs > 0 ? size_t(options.jobs) : size_t(std::max(processors, 1L));
  jobs = std::min(jobs, packages.size());
  // Standard input can be read only once, by one process.
  const bool readsStdin = std::find(packages.begin(), packages.end(), "-") != packages.end();
  if (jobs > 1 && !readsStdin) return std::max(walked, CheckInParallel(options, packages, int(jobs)));
  return std::max(walked, CheckStripe(options, packages, 0, 1, [](const std::string& report) { Emit(report); }));
}

}  // namespace lvs
