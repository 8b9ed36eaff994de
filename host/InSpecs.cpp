#include "InSpecs.h"

#include <sstream>

// The host's own footage description: the plug-in only ever sees a handle
// to it.
struct AEIO_SeqSpec {
  int unused;
};

namespace lvshost {

InSpecTable::Spec::Spec() : master(new AEIO_SeqSpec{0}) {}
InSpecTable::Spec::~Spec() { delete master; }

AEIO_InSpecH InSpecTable::Create() {
  auto spec = std::make_unique<Spec>();
  // The handle is the address of the master pointer, which lives with the
  // record.
  AEIO_InSpecH handle = &spec->master;
  std::lock_guard<std::mutex> lock(mutex_);
  specs_[handle] = std::move(spec);
  return handle;
}

bool InSpecTable::Destroy(AEIO_InSpecH spec) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = specs_.find(spec);
  if (it == specs_.end()) {
    misuse_.Record("DeleteInSpec: unknown or deleted input spec");
    return false;
  }
  specs_.erase(it);
  return true;
}

std::optional<InSpecAttributes> InSpecTable::Get(AEIO_InSpecH spec) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = specs_.find(spec);
  if (it == specs_.end()) return std::nullopt;
  return it->second->attributes;
}

std::vector<std::string> InSpecTable::Leftovers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> out;
  for (const auto& entry : specs_) {
    std::ostringstream line;
    line << "input spec " << static_cast<const void*>(entry.first) << " not deleted";
    if (entry.second->attributes.options) line << " (options handle " << entry.second->attributes.options << ")";
    out.push_back(line.str());
  }
  return out;
}

}  // namespace lvshost
