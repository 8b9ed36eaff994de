#include "Progress.h"

#include <filesystem>

#include "CommandSupport.h"
#include "SheetCanvas.h"
#include "Terminal.h"

namespace lvs {
namespace {

// Short enough for any terminal, so that the line never wraps and "\r"
// always returns to its start.
constexpr size_t kWidest = 78;

}  // namespace

Progress::Progress(std::string command, size_t total, bool shown)
    : command_(std::move(command)), total_(total), shown_(shown && total > 0) {}

void Progress::Done(size_t done, const std::string& package) {
  if (!shown_) return;
  const auto now = std::chrono::steady_clock::now();
  if (done < total_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  std::string line = Format("lvs %s: %zu/%zu (%zu%%) ", command_.c_str(), done, total_, done * 100 / total_);
  // The file's name, its end kept when it must be cut, counted in
  // characters as a terminal shows them.
  std::string shown = Printable(std::filesystem::u8path(package).filename().u8string());
  const size_t room = line.size() < kWidest ? kWidest - line.size() : 1;
  size_t characters = CodePoints(shown).size();
  if (characters > room) {
    size_t cut = 0;
    for (; characters > room - 1; --characters) {
      do ++cut;
      while (cut < shown.size() && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80);
    }
    shown = "~" + shown.substr(cut);
  }
  const size_t width = CodePoints(line).size() + CodePoints(shown).size();
  line += shown;
  if (width < drawnWidth_) line += std::string(drawnWidth_ - width, ' ');
  drawnWidth_ = width;
  Emit(Stream::Err, "\r" + line);
}

void Progress::Clear() {
  if (!shown_ || drawnWidth_ == 0) return;
  Emit(Stream::Err, "\r" + std::string(drawnWidth_, ' ') + "\r");
  drawnWidth_ = 0;
  last_ = {};
}

bool ShowProgress(const std::optional<bool>& asked, bool quiet) {
  if (asked) return *asked;
  return !quiet && IsTerminal(Stream::Err);
}

void Tally::Add(const std::optional<Severity>& worst) {
  ++packages_;
  if (worst)
    ++bySeverity_[size_t(*worst)];
  else
    ++ok_;
}

std::string Tally::Text() const {
  std::string text = Format("%zu package%s: %zu OK", packages_, packages_ == 1 ? "" : "s", ok_);
  if (WithProblems() == 0) return text + ".";
  text += Format(", %zu with problems (", WithProblems());
  const char* separator = "";
  for (const Severity s : {Severity::NoImport, Severity::Fallback, Severity::Lossy, Severity::Warning}) {
    if (Of(s) == 0) continue;
    text += Format("%s%zu %s", separator, Of(s), SeverityName(s));
    separator = ", ";
  }
  return text + ").";
}

}  // namespace lvs
