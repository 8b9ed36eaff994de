// What lvs asks of the system about its own process: where its program
// file is, its arguments as UTF-8, and the setting up of the process before
// anything runs. One file per system (Process_posix.cpp, Process_windows.cpp).
#pragma once

#include <string>
#include <vector>

namespace lvs {

// The running program's own file, UTF-8; empty when the system does not say.
std::string ExecutablePath();

// The command line's arguments as UTF-8, argv[0] first. On Windows they are
// read again from the wide command line, since argv holds them in the ANSI
// code page, which cannot spell most names.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Once, first thing: binary standard streams on Windows, the allocator's
// thresholds with glibc.
void PrepareProcess();

}  // namespace lvs
