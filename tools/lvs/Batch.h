// The run of a command over many packages (info, check, sheet): the
// packages named and found in folders, each judged by a worker process with
// the module loaded (Workers.h), the reports written in the packages' order
// (all of them, or only those with problems), progress as it goes, the
// counts at the end, and the exit code by --fail-on.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "CommandLine.h"
#include "PackageCheck.h"

namespace lvs {

// What one package came to.
struct BatchItem {
  std::optional<Severity> worst;  // none: no problems
  bool unreadable = false;        // it could not be had at all (standard input that cannot be copied)
  std::string report;             // printed as it is; empty when quiet
  std::string data;               // the command's own bytes, handed to its OnItem (a sheet's cell)
};

// One package's work, in a worker whose session has the module loaded:
// `argument` as named, `path` where it can be opened.
using PackageWork =
    std::function<BatchItem(PackageChecker& checker, const std::string& argument, const std::string& path)>;

// Each item as it arrives in the lvs process, in the packages' order.
using OnItem = std::function<void(std::size_t index, const std::string& package, const BatchItem& item)>;

// Runs `work` on every package of `options`; returns the exit code.
int RunBatch(const BatchOptions& options, const PackageWork& work, const OnItem& onItem = {});

// A BatchItem as bytes and back, for an item made in another process.
std::string EncodeItem(const BatchItem& item);
BatchItem DecodeItem(const std::string& bytes);

}  // namespace lvs
