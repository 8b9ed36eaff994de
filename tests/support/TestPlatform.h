// What the tests need of the operating system that each system does its own
// way: running a program, the process id, and paths that name a pipe or a
// device rather than a file. One file per system implements it
// (TestPlatform_posix.cpp, TestPlatform_windows.cpp).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lvs_test {

struct RunOptions {
  std::string input;   // file for standard input; none when empty
  std::string output;  // files for standard output and error; discarded when empty
  std::string error;
  std::string directory;   // working folder; this process's when empty
  int timeoutSeconds = 0;  // 0: wait as long as it takes
};

// Runs the program (argv[0], a path or a name on PATH) with those arguments,
// no shell between. The exit code, or -1 when it could not be started, was
// ended by a signal or an exception, or ran past its time.
int RunProgram(const std::vector<std::string>& argv, const RunOptions& options = {});

long ProcessId();

// Sets (or, with no value, removes) a variable of this process's
// environment, which the programs it runs then inherit.
void SetEnvironment(const std::string& name, const std::optional<std::string>& value);

// How many files and other objects the process holds open: its descriptors
// on POSIX, its handles on Windows (where /proc, under Wine, would list
// Wine's own descriptors, which come and go).
std::size_t OpenHandles();

// The processors this process may run on (its affinity), by number, and
// limiting it to some of them; false when the system refuses.
std::vector<int> AllowedProcessors();
bool AllowProcessors(const std::vector<int>& processors);

// Whether a file name is any string of bytes (POSIX) rather than UTF-16
// text (Windows, where a name that is not UTF-8 cannot be written at all).
bool FileNamesAreBytes();

// Whether a folder can be given to a program as its standard input (POSIX;
// Windows opens no folder as a stream).
bool FoldersCanBeStandardInput();

// Whether the process may read any file whatever its permissions (root):
// then no file can be made unreadable to it.
bool ReadsEveryFile();

// Bytes the C runtime's heap holds for the process, taken from the heap
// itself, so that growth from frame to frame shows.
std::size_t HeapInUse();

// Removes a folder and everything in it, however deep; false if some of it
// stays. Never throws.
bool RemoveTree(const std::string& path);

// A pipe that a reader can open at Path() while the object lives, with no
// writer ever coming: a FIFO in `folder`, or a named pipe on Windows.
class PipePath {
 public:
  explicit PipePath(const std::string& folder);
  ~PipePath();
  PipePath(const PipePath&) = delete;
  PipePath& operator=(const PipePath&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  struct Resource;
  std::unique_ptr<Resource> resource_;
};

// Opening a FIFO for reading waits for a writer that never comes. While the
// watch lives, a reader of the FIFO at `path` still waiting after a second
// is let go by a writer that opens and closes at once (the reader then sees
// an empty stream), so the case ends and Blocked() says so. Windows has no
// FIFOs: a pipe there is opened by a name of its own, which never blocks.
class FifoWatch {
 public:
  explicit FifoWatch(const std::string& path);
  ~FifoWatch();
  FifoWatch(const FifoWatch&) = delete;
  FifoWatch& operator=(const FifoWatch&) = delete;
  bool Blocked() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Paths that name devices: reading them never ends, or ends at once, or
// waits for a person.
std::vector<std::string> DevicePaths();

}  // namespace lvs_test
