// Callbacks whose work is not written yet. Each hands the request back to
// the host's default handling until its own source file replaces it here.
// (None is pending now.)
#include "Callbacks.h"
