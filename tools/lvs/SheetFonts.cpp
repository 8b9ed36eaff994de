#include "SheetFonts.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace lvs {
namespace {

// Latin first: its metrics set the line, and the CJK fonts' Latin letters
// are the less legible at small sizes.
const char* const kUsualPlaces[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf",
    "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc",
    "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc",
    // Droid Sans Fallback has no Hangul.
    "/usr/share/fonts/truetype/nanum/NanumGothic.ttf",
    "C:/Windows/Fonts/segoeui.ttf",
    "C:/Windows/Fonts/msyh.ttc",
    "C:/Windows/Fonts/msgothic.ttc",
    "C:/Windows/Fonts/malgun.ttf",
    "/System/Library/Fonts/Helvetica.ttc",
    "/System/Library/Fonts/Hiragino Sans GB.ttc",
    "/Library/Fonts/Arial Unicode.ttf",
};

std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> parts;
  std::istringstream in(list);
  for (std::string part; std::getline(in, part, kFontListSeparator);)
    if (!part.empty()) parts.push_back(part);
  return parts;
}

}  // namespace

std::vector<std::string> SheetFontFiles(const std::vector<std::string>& named) {
  std::vector<std::string> candidates = named;
  if (const char* listed = std::getenv("LVS_SHEET_FONTS")) {
    for (const std::string& path : Split(listed)) candidates.push_back(path);
  } else {
    candidates.insert(candidates.end(), std::begin(kUsualPlaces), std::end(kUsualPlaces));
  }
  std::vector<std::string> found;
  for (const std::string& path : candidates) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) found.push_back(path);
  }
  return found;
}

}  // namespace lvs
