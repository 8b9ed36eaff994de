// Files as the commands read them: "-" for standard input, temporary files
// that nothing leaves behind, and folders walked for packages.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Cleanup.h"
#include "Descriptors.h"

namespace lvs {

// The mode a new file gets: what the umask leaves of rw-rw-rw-.
mode_t NewFileMode();

// A file that is removed when this goes out of scope, unless it has been
// renamed into place, and that a signal ending the run removes too.
class TempFile {
 public:
  TempFile() = default;
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // A new empty file with the given mode in the folder of `target` (so that
  // the rename is atomic), open for writing. Its name is short whatever the
  // target's: ".lvs-", a random part, and `suffix`.
  bool CreateBeside(const std::string& target, const std::string& suffix, mode_t mode, std::string* error);
  // A new empty file, open for writing, in a private folder of the
  // temporary directory, with the given name; the folder goes with it.
  bool CreateNamed(const std::string& name, std::string* error);

  const std::string& Path() const { return path_; }
  // Open for writing until Close; -1 after.
  int Descriptor() const { return fd_; }
  // False and *error when the system reports the writes failed after all.
  bool Close(std::string* error);
  // Moves the (closed) file to `target`, replacing what is there;
  // afterwards this owns nothing.
  bool RenameTo(const std::string& target, std::string* error);

 private:
  std::string path_;
  std::string folder_;  // CreateNamed's private folder
  int fd_ = -1;
  pid_t creator_ = 0;  // a forked child never removes its parent's files
  CleanupRegistration pathCleanup_, folderCleanup_;
};

// The whole of a file, or of standard input for "-"; false and *error when
// it cannot be read or holds more than `limit` bytes. A file (standard
// input too, when it is one) that is too large is refused unread.
bool ReadInput(const std::string& path, uint64_t limit, std::vector<uint8_t>* bytes, std::string* error);

// Where a package named on the command line is read from: itself, or for
// "-" a temporary copy of standard input (the plug-in opens paths).
class PackageInput {
 public:
  // False and *error when standard input cannot be copied.
  bool Prepare(const std::string& argument, std::string* error);
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  TempFile copy_;
};

// The packages named by the arguments, in order. With `recursive`, a folder
// stands for every file below it whose name ends in .lvs, folder by folder
// in byte order of the names; symbolic links are followed, but a folder
// already visited is not entered again, so link loops end. Folders that
// cannot be read are added to *unreadable. Without `recursive` a folder is
// passed on as it is (and reported as a folder).
std::vector<std::string> ExpandPackages(const std::vector<std::string>& arguments, bool recursive,
                                        std::vector<std::string>* unreadable);

}  // namespace lvs
