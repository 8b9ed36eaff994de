#include <io.h>

#include "Terminal.h"

namespace lvs {

bool IsTerminal(Stream stream) { return _isatty(stream == Stream::Out ? 1 : 2) != 0; }

}  // namespace lvs
