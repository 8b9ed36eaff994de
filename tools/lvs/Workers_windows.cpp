// Worker processes on Windows, which has no fork: a worker is lvs started
// again by CreateProcessW with the same command line, so it expands the same
// packages and makes the same runner, and told by LVS_WORKER in its
// environment that it is worker k and which inherited pipe handles carry
// its jobs and reports. Each worker inherits only its own two ends (they are
// made inheritable just for its start), so that each pipe has one reader and
// one writer and its end is seen; all workers sit in a job object that kills
// them when lvs ends, however it ends. A worker says again what lvs said
// before starting it (a folder it cannot read, say), so it starts with its
// standard streams on NUL and takes lvs's stderr back, also inherited, only
// when it begins to serve.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Cleanup.h"
#include "Commands.h"
#include "Descriptors.h"
#include "Process.h"
#include "WindowsText.h"
#include "WorkerProcess.h"

namespace lvs {
namespace {

constexpr wchar_t kWorkerVariable[] = L"LVS_WORKER";

class SpawnedWorker final : public WorkerProcess {
 public:
  SpawnedWorker(HANDLE process, int jobs, int reports) : process_(process), jobs_(jobs), reports_(reports) {}
  ~SpawnedWorker() override {
    EndJobs();
    if (reports_ >= 0) ::_close(reports_);
    Wait();
    CloseHandle(process_);
  }

  bool Send(uint64_t job) override { return jobs_ >= 0 && WriteAll(jobs_, &job, sizeof job); }
  void EndJobs() override {
    if (jobs_ < 0) return;
    ::_close(jobs_);
    jobs_ = -1;
  }
  bool NextReport(uint64_t* job, std::string* report) override { return ReadReport(reports_, job, report); }
  int Wait() override {
    if (waited_) return exitCode_;
    waited_ = true;
    DWORD code = 0;
    // An exception or TerminateProcess ends a process with an NTSTATUS, as
    // a signal ends one on POSIX: the worker did not exit.
    if (WaitForSingleObject(process_, INFINITE) == WAIT_OBJECT_0 && GetExitCodeProcess(process_, &code) &&
        code < 0xC0000000u)
      exitCode_ = int(code);
    return exitCode_;
  }

 private:
  HANDLE process_;
  int jobs_, reports_;
  bool waited_ = false;
  int exitCode_ = kExitFailed;
};

// The job object all workers belong to; closed only by the system when lvs
// ends, which then ends them.
HANDLE WorkersJob() {
  static const HANDLE job = [] {
    const HANDLE made = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (made) SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return made;
  }();
  return job;
}

// A copy of `handle` that the next process started inherits.
HANDLE Inheritable(HANDLE handle) {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
    return nullptr;
  return copy;
}

}  // namespace

std::unique_ptr<WorkerProcess> StartWorker(int k, const RunnerFactory&) {
  HANDLE jobsRead = nullptr, jobsWrite = nullptr, reportsRead = nullptr, reportsWrite = nullptr;
  if (!CreatePipe(&jobsRead, &jobsWrite, nullptr, 0)) return nullptr;
  if (!CreatePipe(&reportsRead, &reportsWrite, nullptr, 0)) {
    CloseHandle(jobsRead);
    CloseHandle(jobsWrite);
    return nullptr;
  }
  const HANDLE childJobs = Inheritable(jobsRead), childReports = Inheritable(reportsWrite);
  CloseHandle(jobsRead);
  CloseHandle(reportsWrite);
  const HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
  const HANDLE childErrors = errors && errors != INVALID_HANDLE_VALUE ? Inheritable(errors) : nullptr;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE nowhere = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                     OPEN_EXISTING, 0, nullptr);
  const std::wstring tag = std::to_wstring(k) + L":" + std::to_wstring(uintptr_t(childJobs)) + L":" +
                           std::to_wstring(uintptr_t(childReports)) + L":" + std::to_wstring(uintptr_t(childErrors));
  const std::wstring program = Wide(ExecutablePath());
  std::wstring command = GetCommandLineW();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nowhere;
  PROCESS_INFORMATION process{};
  // The variable is set only around the start: the child takes a copy of the
  // environment, and nothing else lvs starts should see it.
  SetEnvironmentVariableW(kWorkerVariable, tag.c_str());
  // Started suspended, put in the job and then let run, as one step: a
  // Ctrl-C that ended lvs between the start and the job would leave the
  // worker suspended for ever, in no job that could end it.
  const SignalsHeld held;
  const bool started = childJobs && childReports && !program.empty() &&
                       CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                                      nullptr, &startup, &process);
  SetEnvironmentVariableW(kWorkerVariable, nullptr);
  for (HANDLE handle : {childJobs, childReports, childErrors, nowhere})
    if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  if (!started) {
    CloseHandle(jobsWrite);
    CloseHandle(reportsRead);
    return nullptr;
  }
  if (WorkersJob()) AssignProcessToJobObject(WorkersJob(), process.hProcess);
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);
  const int jobs = ::_open_osfhandle(intptr_t(jobsWrite), _O_WRONLY | _O_BINARY);
  const int reports = ::_open_osfhandle(intptr_t(reportsRead), _O_RDONLY | _O_BINARY);
  return std::make_unique<SpawnedWorker>(process.hProcess, jobs, reports);
}

void ServeIfStartedAsWorker(const RunnerFactory& makeRunner) {
  wchar_t tag[96] = {};
  const DWORD length = GetEnvironmentVariableW(kWorkerVariable, tag, DWORD(std::size(tag)));
  if (length == 0 || length >= std::size(tag)) return;
  SetEnvironmentVariableW(kWorkerVariable, nullptr);
  int k = 0;
  unsigned long long jobsHandle = 0, reportsHandle = 0, errorsHandle = 0;
  if (std::swscanf(tag, L"%d:%llu:%llu:%llu", &k, &jobsHandle, &reportsHandle, &errorsHandle) != 4) return;
  if (errorsHandle != 0) {
    std::fflush(stderr);
    const int errors = ::_open_osfhandle(intptr_t(errorsHandle), _O_WRONLY | _O_BINARY);
    if (errors >= 0) ::_dup2(errors, kStandardError);
    SetStdHandle(STD_ERROR_HANDLE, HANDLE(intptr_t(errorsHandle)));
  }
  const int jobs = ::_open_osfhandle(intptr_t(jobsHandle), _O_RDONLY | _O_BINARY);
  const int reports = ::_open_osfhandle(intptr_t(reportsHandle), _O_WRONLY | _O_BINARY);
  int code = kExitUsage;
  if (jobs >= 0 && reports >= 0) {
    PipeStreams streams(jobs, reports);
    std::unique_ptr<JobRunner> runner = makeRunner(k);
    code = ServeJobs(*runner, streams);
  }
  std::fflush(stdout);
  std::fflush(stderr);
  ExitProcess(UINT(code));
}

int UsableProcessors() {
  DWORD_PTR process = 0, system = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || process == 0) return 1;
  int count = 0;
  for (; process; process &= process - 1) ++count;
  return count;
}

}  // namespace lvs
