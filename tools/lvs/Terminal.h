// Whether a stream is a terminal: progress is drawn only for a person
// watching. One file per system says.
#pragma once

#include "TextOutput.h"

namespace lvs {

bool IsTerminal(Stream stream);

}  // namespace lvs
