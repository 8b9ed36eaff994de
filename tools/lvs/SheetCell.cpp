#include "SheetCell.h"

#include <algorithm>
#include <filesystem>

#include "CommandSupport.h"
#include "StyleFormat.h"

namespace lvs {
namespace {

constexpr Rgb kEmpty{58, 20, 22}, kFileInk{125, 190, 205}, kOkInk{120, 195, 120};
constexpr int kPad = 8, kMark = 12, kGap = 4;

std::string FileName(const std::string& file) {
  const std::string name = std::filesystem::u8path(file).filename().u8string();
  return name.empty() ? file : name;
}

// The line centred in the box's width.
void Centred(Canvas& cell, TextFace& face, int x, int y, int width, const std::string& text, Rgb colour) {
  const CodePointText fitted = face.FitEnd(CodePoints(text), width);
  face.Draw(cell, x + (width - face.Width(fitted)) / 2, y, fitted, colour);
}

}  // namespace

Rgb SeverityColour(Severity severity) {
  switch (severity) {
    case Severity::NoImport:
      return {225, 45, 45};
    case Severity::Fallback:
      return {245, 150, 25};
    case Severity::Lossy:
      return {235, 215, 40};
    case Severity::Warning:
      return {80, 160, 235};
  }
  return kSheetInk;
}

std::optional<Severity> CellFacts::Worst() const {
  if (problems.empty()) return std::nullopt;
  return SeverityOf(problems.front());
}

CellFacts FactsOf(const std::string& file, const PackageVerdict& verdict) {
  CellFacts facts;
  facts.file = file;
  if (verdict.record) {
    const LVS_Options& r = *verdict.record;
    facts.imported = true;
    facts.name = FieldText(r.name, sizeof r.name);
    facts.author = FieldText(r.author, sizeof r.author);
    facts.version = r.version;
  }
  facts.shown = verdict.shown;
  for (const Problem& p : verdict.problems) facts.problems.push_back(p.code);
  std::stable_sort(facts.problems.begin(), facts.problems.end(),
                   [](Code a, Code b) { return SeverityOf(a) < SeverityOf(b); });
  return facts;
}

int CellTextSize(int previewWidth) { return std::clamp(previewWidth / 22, 10, 28); }

CellLayout MakeCellLayout(int previewWidth, int lineHeight) {
  CellLayout l;
  l.previewWidth = previewWidth;
  l.previewHeight = previewWidth * kStyleHeight / kStyleWidth;
  l.lineHeight = lineHeight;
  l.width = previewWidth + 2 * kPad;
  l.textTop = kPad + l.previewHeight + kGap;
  // Name, author and version, file, problems.
  l.height = l.textTop + 4 * lineHeight + kPad;
  return l;
}

void DrawCell(Canvas& cell, TextFace& face, const CellLayout& l, const CellFacts& facts, const ArgbFrame& frame) {
  cell.Clear(kSheetBackground);
  const int px = kPad, py = kPad, lines = face.LineHeight();
  const std::optional<Severity> worst = facts.Worst();
  // A failed draw may leave a frame behind; it is not what the host shows.
  if (frame.empty() || !facts.imported || facts.shown == Shown::NoFrame) {
    // Where there is no picture, the box says why: the first problem's code.
    cell.Fill(px, py, l.previewWidth, l.previewHeight, kEmpty);
    const std::string what = facts.unreadable ? "unreadable" : facts.imported ? "no frame" : "not imported";
    const int top = py + l.previewHeight / 2 - lines;
    Centred(cell, face, px, top, l.previewWidth, what, worst ? SeverityColour(*worst) : kSheetInk);
    if (worst) Centred(cell, face, px, top + lines, l.previewWidth, CodeName(facts.problems.front()), kSheetInk);
  } else {
    cell.Scaled(frame, kStyleWidth, kStyleHeight, px, py, l.previewWidth, l.previewHeight);
  }
  // One mark per problem along the preview's top edge, worst first.
  for (size_t i = 0; i < facts.problems.size() && int(i + 1) * (kMark + 3) <= l.previewWidth; ++i) {
    const int mx = px + 3 + int(i) * (kMark + 3);
    cell.Fill(mx - 1, py + 2, kMark + 2, kMark + 2, kSheetBackground);
    cell.Fill(mx, py + 3, kMark, kMark, SeverityColour(SeverityOf(facts.problems[i])));
  }

  int y = l.textTop;
  const int width = l.previewWidth;
  if (facts.imported) {
    face.Line(cell, px, y, facts.name, kSheetInk, width);
    // The version at the right edge, where a long author cannot push it out.
    const CodePointText version = CodePoints("v" + std::to_string(facts.version));
    const int versionWidth = std::min(face.Width(version), width);
    face.Draw(cell, px + width - versionWidth, y + lines, face.FitEnd(version, width), kSheetDim);
    face.Line(cell, px, y + lines, facts.author, kSheetDim, width - versionWidth - lines / 2);
  } else {
    face.Line(cell, px, y, facts.unreadable ? "(unreadable)" : "(not imported)", kSheetDim, width);
  }
  y += 2 * lines;
  face.Draw(cell, px, y, face.FitMiddle(CodePoints(FileName(facts.file)), width), kFileInk);
  y += lines;
  if (worst) {
    std::string codes = CodeName(facts.problems.front());
    if (facts.problems.size() > 1) codes += " +" + std::to_string(facts.problems.size() - 1);
    face.Line(cell, px, y, codes, SeverityColour(*worst), width);
  } else if (!facts.unreadable) {
    face.Line(cell, px, y, "OK", kOkInk, width);
  }
}

nlohmann::json FactsJson(const CellFacts& facts) {
  nlohmann::json j = {{"file", facts.file}};
  if (facts.imported) {
    j["name"] = facts.name;
    j["author"] = facts.author;
    j["version"] = facts.version;
  }
  j["verdict"] = facts.unreadable ? "unreadable" : ShownName(facts.shown);
  const std::optional<Severity> worst = facts.Worst();
  j["severity"] = worst ? nlohmann::json(SeverityName(*worst)) : nlohmann::json(nullptr);
  nlohmann::json codes = nlohmann::json::array();
  for (Code code : facts.problems) codes.push_back(CodeName(code));
  j["problems"] = codes;
  return j;
}

std::string EncodeCell(const CellFacts& facts, const Canvas& cell) {
  nlohmann::json head = FactsJson(facts);
  head["imported"] = facts.imported;
  head["unreadable"] = facts.unreadable;
  head["shown"] = int(facts.shown);
  nlohmann::json codes = nlohmann::json::array();
  for (Code code : facts.problems) codes.push_back(int(code));
  head["codes"] = codes;
  std::string bytes = head.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + '\n';
  bytes.append(cell.Pixels().begin(), cell.Pixels().end());
  return bytes;
}

bool DecodeCell(const std::string& bytes, CellFacts* facts, Canvas* cell) {
  const size_t end = bytes.find('\n');
  if (end == std::string::npos) return false;
  const nlohmann::json head = nlohmann::json::parse(bytes.begin(), bytes.begin() + std::ptrdiff_t(end), nullptr, false);
  if (!head.is_object()) return false;
  CellFacts f;
  f.file = head.value("file", "");
  f.imported = head.value("imported", false);
  f.unreadable = head.value("unreadable", false);
  f.name = head.value("name", "");
  f.author = head.value("author", "");
  f.version = head.value("version", 0);
  f.shown = Shown(head.value("shown", int(Shown::NotImported)));
  for (const nlohmann::json& code : head.value("codes", nlohmann::json::array()))
    if (code.is_number_integer() && code >= 0 && code < int(Code::Count)) f.problems.push_back(Code(int(code)));
  *facts = std::move(f);
  return cell->Adopt(std::vector<uint8_t>(bytes.begin() + std::ptrdiff_t(end) + 1, bytes.end()));
}

}  // namespace lvs
