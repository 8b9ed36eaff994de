// The metadata parser on arbitrary bytes: never throws or crashes, and what
// it accepts has the shape the record relies on.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "FuzzSupport.h"
#include "StyleMeta.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy so that reading one byte too far is reported.
  uint8_t* copy = static_cast<uint8_t*>(std::malloc(size ? size : 1));
  if (size) std::memcpy(copy, data, size);
  const StyleMeta meta = ParseStyleMeta(copy, size);
  if (!meta.ok) {
    lvs_fuzz::Require(meta.name.empty() && meta.author.empty() && meta.hash.empty() && meta.version == 0,
                      "a refused text left fields filled");
  } else {
    for (const std::string* s : {&meta.name, &meta.author, &meta.hash})
      lvs_fuzz::Require(s->find('\0') == std::string::npos, "a field holds a NUL");
    // The text ends at the first NUL: whatever follows it cannot matter.
    const void* nul = size ? std::memchr(copy, 0, size) : nullptr;
    if (nul) {
      const size_t cut = static_cast<const uint8_t*>(nul) - copy;
      const StyleMeta again = ParseStyleMeta(copy, cut);
      lvs_fuzz::Require(again.ok && again.name == meta.name && again.author == meta.author && again.hash == meta.hash &&
                            again.version == meta.version,
                        "bytes after the first NUL changed the result");
    }
  }
  std::free(copy);
  return 0;
}
