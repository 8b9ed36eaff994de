// Files as the commands read and write them: "-" for standard input or
// output, outputs that appear whole or not at all, and folders walked for
// packages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lvs {

// All `size` bytes to or from a descriptor, through short counts and
// interruptions; false on an error or (reading) an early end.
bool WriteAll(int fd, const void* data, size_t size);
bool ReadAll(int fd, void* data, size_t size);

// A file that is removed when this goes out of scope, unless it has been
// renamed into place.
class TempFile {
 public:
  TempFile() = default;
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // A new empty file in the folder of `target` (so that the rename is
  // atomic), named like it with a random part and ending in `suffix`.
  bool CreateBeside(const std::string& target, const std::string& suffix, std::string* error);
  // A new empty file in a private folder of the temporary directory, with
  // the given name; the folder goes with it.
  bool CreateNamed(const std::string& name, std::string* error);

  const std::string& Path() const { return path_; }
  // Moves the file to `target`, replacing what is there; afterwards this
  // owns nothing.
  bool RenameTo(const std::string& target, std::string* error);

 private:
  std::string path_;
  std::string folder_;  // CreateNamed's private folder
};

// The whole of a file, or of standard input for "-"; false and *error when
// it cannot be read or holds more than `limit` bytes.
bool ReadInput(const std::string& path, uint64_t limit, std::vector<uint8_t>* bytes, std::string* error);

// Copies a finished file to standard output.
bool CopyToStdout(const std::string& path, std::string* error);

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
