// What lvs's Windows files share: paths as the wide API takes them, devices
// known by their names, and the system's errors as errno, so that a message
// names a failure in the same words on every system ("No such file or
// directory"). Windows alone.
#pragma once

#include <string>

namespace lvs {

// UTF-8 to UTF-16 as the wide API takes it; empty when the text is not UTF-8
// (no file has such a name there).
std::wstring Wide(const std::string& utf8);
// UTF-16 from the system to UTF-8; empty when it holds a lone surrogate.
std::string Narrow(const std::wstring& wide);

// A UTF-8 path for the wide file API: as it is when short, else absolute in
// the long form ("\\?\C:\..."), which the API takes past 260 characters.
// Empty when the path is not UTF-8.
std::wstring WidePath(const std::string& utf8);

// Whether a path names a device or a pipe by its name alone: a path under
// "\\.\", or a name Windows reserves (NUL, CON, COM1...) in any folder and
// with any extension. Opening one to look could take a pipe's only instance.
bool IsDeviceName(const std::wstring& path);

// errno for the thread's last Windows error, the nearest of the C library's
// codes; returns false, for a caller's failure path.
bool FailWithLastError();

}  // namespace lvs
