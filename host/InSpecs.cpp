#include "InSpecs.h"

#include <sstream>

// The host's own footage description: the plug-in only ever sees a handle
// to it.
struct AEIO_SeqSpec {
  int unused;
};

namespace lvs_host {

InSpecTable::InSpecEntry::InSpecEntry() : master(new AEIO_SeqSpec{0}) {}
InSpecTable::InSpecEntry::~InSpecEntry() { delete master; }

AEIO_InSpecH InSpecTable::Create() {
  auto inSpec = std::make_unique<InSpecEntry>();
  // The handle is the address of the master pointer, which lives with the
  // record.
  AEIO_InSpecH handle = &inSpec->master;
  std::lock_guard<std::mutex> lock(mutex_);
  inSpecs_[handle] = std::move(inSpec);
  return handle;
}

bool InSpecTable::Destroy(AEIO_InSpecH inSpec) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = inSpecs_.find(inSpec);
  if (it == inSpecs_.end()) {
    misuse_.Record("DeleteInSpec: unknown or deleted footage handle");
    return false;
  }
  inSpecs_.erase(it);
  return true;
}

std::optional<InSpecAttributes> InSpecTable::Get(AEIO_InSpecH inSpec) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = inSpecs_.find(inSpec);
  if (it == inSpecs_.end()) return std::nullopt;
  return it->second->attributes;
}

std::vector<std::string> InSpecTable::Leftovers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> out;
  for (const auto& entry : inSpecs_) {
    std::ostringstream line;
    line << "footage handle " << static_cast<const void*>(entry.first) << " not deleted";
    if (entry.second->attributes.options) line << " (options handle " << entry.second->attributes.options << ")";
    out.push_back(line.str());
  }
  return out;
}

}  // namespace lvs_host
