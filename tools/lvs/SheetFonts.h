// Which font files lvs sheet draws its text with, found at run time: the
// fonts named on the command line, then those LVS_SHEET_FONTS lists (which
// replaces the usual places; set empty, it leaves only the named ones and
// the built-in face), else the usual places of fonts that cover Latin,
// Greek and Cyrillic (DejaVu Sans) and CJK (Droid Sans Fallback, Noto CJK)
// on Debian, Windows and macOS. Those that exist, in that order.
#pragma once

#include <string>
#include <vector>

namespace lvs {

#ifdef _WIN32
constexpr char kFontListSeparator = ';';
#else
constexpr char kFontListSeparator = ':';
#endif

std::vector<std::string> SheetFontFiles(const std::vector<std::string>& named);

}  // namespace lvs
