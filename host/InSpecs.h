// Input inSpecs: the host's description of one imported footage item, which
// the import callbacks fill through "AEGP IO In Suite".
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "LVS_HostSDK.h"
#include "Misuse.h"

namespace lvs_host {

// What the plug-in declared about a footage item. Each attribute is empty
// until the plug-in set it; setCalls counts every successful setter call.
struct InSpecAttributes {
  std::optional<A_short> depth;
  std::optional<A_Time> duration;
  std::optional<A_long> width;
  std::optional<A_long> height;
  std::optional<AEIO_AlphaLabel> alpha;
  std::optional<FIEL_Label> interlace;
  AEGP_MemHandle options = nullptr;  // the attached options handle, or null
  int optionsSets = 0;               // AEGP_SetInSpecOptionsHandle calls
  int setCalls = 0;
};

class InSpecTable {
 public:
  explicit InSpecTable(MisuseLog& misuse) : misuse_(misuse) {}

  AEIO_InSpecH Create();
  // Forgets the inSpec. Its options handle (if any) is not freed: the
  // plug-in's DisposeInSpec must have freed it, else it is reported.
  bool Destroy(AEIO_InSpecH inSpec);
  // Runs f on the attributes of a live inSpec under the table's lock; false
  // (and misuse, naming op) when the inSpec is unknown.
  template <class F>
  bool With(AEIO_InSpecH inSpec, const char* op, F&& f) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = inSpecs_.find(inSpec);
    if (it == inSpecs_.end()) {
      misuse_.Record(std::string(op) + ": unknown or deleted footage handle");
      return false;
    }
    f(it->second->attributes);
    return true;
  }
  std::optional<InSpecAttributes> Get(AEIO_InSpecH inSpec) const;
  std::vector<std::string> Leftovers() const;

 private:
  struct InSpecEntry {
    AEIO_SeqSpec* master = nullptr;  // what the handle points to; owned
    InSpecAttributes attributes;
    InSpecEntry();
    ~InSpecEntry();
    InSpecEntry(const InSpecEntry&) = delete;
    InSpecEntry& operator=(const InSpecEntry&) = delete;
  };
  MisuseLog& misuse_;
  mutable std::mutex mutex_;
  std::map<AEIO_InSpecH, std::unique_ptr<InSpecEntry>> inSpecs_;
};

}  // namespace lvs_host
