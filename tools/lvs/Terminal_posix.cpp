#include <unistd.h>

#include "Terminal.h"

namespace lvs {

bool IsTerminal(Stream stream) { return ::isatty(stream == Stream::Out ? STDOUT_FILENO : STDERR_FILENO) == 1; }

}  // namespace lvs
