// Writes style packages (zip archives) for tests, benchmarks and samples.
//
// The plug-in itself never writes packages; this library exists so that
// fixtures are made at test time instead of being checked in. It is built on
// libzip, which can write the traditional PKWARE encryption.
//
// Typical use (a package the plug-in reads):
//
//   std::string error;
//   bool ok = lvs_maker::WritePackage(path,
//       lvs_maker::StyleEntries(metaJsonText, prvJpegBytes), &error);
//
// Any other archive (case-twisted names, plain entries, foreign passwords,
// stored entries, zip64 records) is made by filling the Entry list directly.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lvs_maker {

enum class Method { Store, Deflate };

struct Entry {
  Entry() = default;
  Entry(std::string entryName, std::vector<std::uint8_t> bytes, Method how = Method::Deflate,
        std::string cipherPassword = {})
      : name(std::move(entryName)), data(std::move(bytes)), method(how), password(std::move(cipherPassword)) {}

  std::string name;                // stored byte for byte (no case or path changes)
  std::vector<std::uint8_t> data;  // the entry's plain bytes
  Method method = Method::Deflate;
  std::string password;  // empty: plain entry; else traditional PKWARE encryption
};

struct Options {
  // Rewrites the finished archive so that every local and central header
  // carries its sizes only in a zip64 extra field (the 32-bit fields hold
  // 0xFFFFFFFF), data descriptors have 8-byte sizes, and the central
  // directory is found through the zip64 end record and locator. Local
  // header offsets keep their 32-bit fields.
  bool zip64 = false;
};

// Writes `entries`, in order, to a new archive at `path` (replacing any file
// there). Returns false and fills *error (when given) on any failure; a
// partially written file may then remain.
bool WritePackage(const std::string& path, const std::vector<Entry>& entries, std::string* error = nullptr,
                  const Options& options = {});

// The archive WritePackage would write, made in memory (no file, not even
// libzip's temporary one).
bool BuildPackage(const std::vector<Entry>& entries, std::vector<std::uint8_t>* bytes, std::string* error = nullptr);

// The two entries of a usable style package: "meta" and "prv", both deflated
// and encrypted with the package password.
std::vector<Entry> StyleEntries(const std::string& metaJson, const std::vector<std::uint8_t>& prvJpeg);

// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>* bytes);

}  // namespace lvs_maker
