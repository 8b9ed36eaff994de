#include <windows.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>

#include "TestPlatform.h"

namespace lvs_test {

namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  std::wstring wide(std::size_t(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0], n);
  return wide;
}

// One argument as the C runtime's parser takes it back apart.
std::wstring Quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

class Handle {
 public:
  explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE && h_ != nullptr) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

HANDLE Inheritable(const std::string& path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const std::wstring name = path.empty() ? std::wstring(L"NUL") : Wide(path);
  return CreateFileW(name.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

int RunProgram(const std::vector<std::string>& argv, const RunOptions& options) {
  if (argv.empty()) return -1;
  std::wstring command;
  for (const std::string& a : argv) command += (command.empty() ? L"" : L" ") + Quoted(Wide(a));
  Handle in(Inheritable(options.input, false)), out(Inheritable(options.output, true)),
      err(Inheritable(options.error, true));
  if (in.get() == INVALID_HANDLE_VALUE || out.get() == INVALID_HANDLE_VALUE || err.get() == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "RunProgram: cannot open the standard files of %s (error %lu)\n", argv[0].c_str(),
                 GetLastError());
    return -1;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in.get();
  startup.hStdOutput = out.get();
  startup.hStdError = err.get();
  PROCESS_INFORMATION process{};
  const std::wstring directory = Wide(options.directory);
  // Wine now and then fails to start a process while others start and end
  // beside it (ERROR_INTERNAL_ERROR); a program that is there is tried again.
  for (int attempt = 1;; ++attempt) {
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                       directory.empty() ? nullptr : directory.c_str(), &startup, &process))
      break;
    const DWORD error = GetLastError();
    const bool missing =
        error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_BAD_EXE_FORMAT;
    if (missing || attempt == 5) {
      std::fprintf(stderr, "RunProgram: cannot start %s (error %lu)\n", argv[0].c_str(), error);
      return -1;
    }
    Sleep(DWORD(100 * attempt));
  }
  Handle processHandle(process.hProcess), threadHandle(process.hThread);
  const DWORD limit = options.timeoutSeconds > 0 ? DWORD(options.timeoutSeconds) * 1000 : INFINITE;
  if (WaitForSingleObject(process.hProcess, limit) != WAIT_OBJECT_0) {
    std::fprintf(stderr, "RunProgram: %s ran past %d s\n", argv[0].c_str(), options.timeoutSeconds);
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
    return -1;
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(process.hProcess, &code)) return -1;
  // An unhandled exception ends a process with its NTSTATUS, as a signal
  // would end it on POSIX.
  if (code < 0xC0000000u) return int(code);
  std::fprintf(stderr, "RunProgram: %s ended with 0x%08lX\n", argv[0].c_str(), code);
  return -1;
}

long ProcessId() { return long(GetCurrentProcessId()); }

// CreateProcessW given no environment block passes on this one.
void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
  SetEnvironmentVariableW(Wide(name).c_str(), value ? Wide(*value).c_str() : nullptr);
}

std::size_t OpenHandles() {
  DWORD count = 0;
  return GetProcessHandleCount(GetCurrentProcess(), &count) ? std::size_t(count) : 0;
}

std::vector<int> AllowedProcessors() {
  DWORD_PTR process = 0, system = 0;
  std::vector<int> allowed;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) return allowed;
  for (int cpu = 0; cpu < int(8 * sizeof process); ++cpu)
    if (process & (DWORD_PTR(1) << cpu)) allowed.push_back(cpu);
  return allowed;
}

bool AllowProcessors(const std::vector<int>& processors) {
  DWORD_PTR mask = 0;
  for (int cpu : processors) mask |= DWORD_PTR(1) << cpu;
  return SetProcessAffinityMask(GetCurrentProcess(), mask) != 0;
}

bool FileNamesAreBytes() { return false; }

bool FoldersCanBeStandardInput() { return false; }

// The tests take files out of reach by their permissions, which Windows
// honours for every account they run under.
bool ReadsEveryFile() { return false; }

// The blocks in use in every heap of the process: the C runtime's among them.
std::size_t HeapInUse() {
  std::vector<HANDLE> heaps(64);
  DWORD count = GetProcessHeaps(DWORD(heaps.size()), heaps.data());
  if (count > heaps.size()) {
    heaps.resize(count);
    count = GetProcessHeaps(DWORD(heaps.size()), heaps.data());
  }
  std::size_t used = 0;
  for (DWORD i = 0; i < count && i < heaps.size(); ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heaps[i], &entry))
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) used += entry.cbData;
    HeapUnlock(heaps[i]);
  }
  return used;
}

bool RemoveTree(const std::string& path) {
  // The runtime's file calls stop at 260 characters unless the path is in
  // the long form, which must be absolute and use backslashes alone.
  std::error_code error;
  std::wstring full = std::filesystem::absolute(std::filesystem::u8path(path), error).wstring();
  if (error) return false;
  for (wchar_t& c : full)
    if (c == L'/') c = L'\\';
  if (full.rfind(L"\\\\", 0) != 0) full = L"\\\\?\\" + full;
  std::filesystem::remove_all(full, error);
  return !error;
}

struct PipePath::Resource {
  HANDLE server = INVALID_HANDLE_VALUE;
};

PipePath::PipePath(const std::string&) : resource_(new Resource) {
  static std::atomic<int> serial{0};
  path_ = "\\\\.\\pipe\\lvs_test_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(serial++);
  // A server that never writes: a client that connects and reads waits.
  resource_->server = CreateNamedPipeW(Wide(path_).c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT,
                                       PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
  if (resource_->server == INVALID_HANDLE_VALUE) path_.clear();
}

PipePath::~PipePath() {
  if (resource_->server != INVALID_HANDLE_VALUE) CloseHandle(resource_->server);
}

struct FifoWatch::State {};
FifoWatch::FifoWatch(const std::string&) {}
FifoWatch::~FifoWatch() = default;
bool FifoWatch::Blocked() const { return false; }

std::vector<std::string> DevicePaths() { return {"NUL", "\\\\.\\NUL", "CONIN$", "COM1", "\\\\.\\pipe\\"}; }

}  // namespace lvs_test
