// Where a command writes its picture or package (-o), written as careful
// tools write. An ordinary file, or a name not yet taken, gets a temporary
// file beside it that takes the name only when complete: an output never
// appears in part, and an older file stays as it was after any failure or
// signal. Anything else (standard output as "-", a device, a FIFO) is
// written directly and never removed or replaced. A symbolic link is
// written through: its target is replaced and the link stays. Opening is
// each system's own (OutputFile_posix.cpp, OutputFile_windows.cpp).
#pragma once

#include <cstddef>
#include <string>

#include "Files.h"

namespace lvs {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // `suffix` ends the temporary file's name. False and *error when the
  // output cannot be written at all (a folder, a missing or read-only
  // folder, a device that cannot be opened).
  bool Open(const std::string& path, const std::string& suffix, std::string* error);

  // The first failure is kept for Commit and Failure, and what follows it is
  // not written.
  bool Write(const void* data, size_t size);

  // Through a temporary file: its name while the output is being written.
  bool Staged() const { return !temp_.Path().empty(); }
  const std::string& StagedPath() const { return temp_.Path(); }

  // Ends the output: a temporary file is closed and takes the output's name;
  // a device or FIFO is closed; standard output stays open. False and
  // *error when anything written did not arrive.
  bool Commit(std::string* error);
  // Closes a temporary file without renaming it yet (so that it can be
  // read whole); false and *error on a failure so far.
  bool CloseStaged(std::string* error);

  bool WriteFailed() const { return errno_ != 0; }
  // "cannot write OUTPUT: why": `why`, or the failure so far, or errno's
  // text when there was none.
  std::string Failure(const std::string& why = {}) const;

 private:
  std::string path_;    // as given, for messages
  std::string target_;  // what the temporary file replaces: the path, or a link's final target
  TempFile temp_;
  int fd_ = -1;
  bool ownsFd_ = false;
  int errno_ = 0;
};

}  // namespace lvs
