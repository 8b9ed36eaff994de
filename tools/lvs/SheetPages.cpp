#include "SheetPages.h"

#include <algorithm>

#include "PngFile.h"
#include "TextOutput.h"

namespace lvs {
namespace {

constexpr int kPad = 8;
constexpr Severity kSeverities[] = {Severity::NoImport, Severity::Fallback, Severity::Lossy, Severity::Warning};

}  // namespace

std::string PageFile(const std::string& output, int page, int pages) {
  const size_t slot = output.find("%d");
  if (slot != std::string::npos) return output.substr(0, slot) + std::to_string(page) + output.substr(slot + 2);
  if (pages <= 1) return output;
  // The extension is what follows the last dot of the last component.
  const size_t slash = output.find_last_of("/\\");
  const size_t dot = output.rfind('.');
  const size_t cut = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1) ? dot : output.size();
  return output.substr(0, cut) + "-" + std::to_string(page) + output.substr(cut);
}

SheetPages::SheetPages(std::string output, const SheetShape& shape, TextFace& face)
    : output_(std::move(output)),
      shape_(shape),
      face_(face),
      page_(shape.columns * shape.cell.width, shape.rowsPerPage * shape.cell.height, kSheetBackground) {
  const int width = page_.Width();
  const int line = face_.LineHeight();
  const int keyItem = line + face_.Width(CodePoints("no-import 000000"));
  keyColumns_ = std::max(1, (width - 2 * kPad) / keyItem);
  const int keyRows = (4 + keyColumns_ - 1) / keyColumns_;
  titleHeight_ = kPad + (2 + keyRows) * line + kPad;
}

void SheetPages::DrawTitle(Canvas& title) const {
  TextFace& face = face_;
  const int line = face.LineHeight(), room = title.Width() - 2 * kPad;
  const int pages = shape_.Pages();
  const size_t first = placed_ - size_t(onPage_) + 1;
  // Page numbers are known up front; "of" how many only when every package
  // gets a cell.
  const std::string what = shape_.someOnly ? "packages with problems" : "packages";
  std::string where = Format("%zu %s", placed_, what.c_str());
  if (pages > 1 && shape_.someOnly)
    where = Format("Page %d: %s %zu to %zu", written_ + 1, what.c_str(), first, placed_);
  else if (pages > 1)
    where = Format("Page %d of %d: packages %zu to %zu of %zu", written_ + 1, pages, first, placed_, shape_.cells);
  face.Line(title, kPad, kPad, where, kSheetInk, room);
  const size_t problems = size_t(onPage_) - ok_;
  face.Line(title, kPad, kPad + line,
            Format("%zu OK, %zu with problems; by the worst problem, in the colours of the marks:", ok_, problems),
            kSheetDim, room);
  const int itemWidth = room / keyColumns_;
  for (int i = 0; i < 4; ++i) {
    const int x = kPad + (i % keyColumns_) * itemWidth, y = kPad + (2 + i / keyColumns_) * line;
    const int mark = std::max(6, line * 2 / 3);
    title.Fill(x, y + (line - mark) / 2, mark, mark, SeverityColour(kSeverities[i]));
    face.Line(title, x + mark + mark / 2, y, Format("%s %zu", SeverityName(kSeverities[i]), bySeverity_[size_t(i)]),
              kSheetInk, itemWidth - mark * 2);
  }
}

bool SheetPages::Add(const CellFacts& facts, const Canvas& cell, Placement* placed, std::string* error) {
  const int row = onPage_ / shape_.columns, column = onPage_ % shape_.columns;
  page_.Paste(cell, column * shape_.cell.width, row * shape_.cell.height);
  placed->page = written_ + 1;
  placed->row = row;
  placed->column = column;
  placed->x = column * shape_.cell.width;
  placed->y = titleHeight_ + row * shape_.cell.height;
  placed->image = PageFile(output_, placed->page, shape_.Pages());
  ++onPage_;
  ++placed_;
  if (const std::optional<Severity> worst = facts.Worst())
    ++bySeverity_[size_t(*worst)];
  else
    ++ok_;
  return onPage_ < shape_.PerPage() || WritePage(error);
}

bool SheetPages::Finish(std::string* error) { return onPage_ == 0 || WritePage(error); }

bool SheetPages::WritePage(std::string* error) {
  const int rows = (onPage_ + shape_.columns - 1) / shape_.columns;
  Canvas title(page_.Width(), titleHeight_, kSheetBackground);
  DrawTitle(title);
  PngWriter png;
  const std::string file = PageFile(output_, written_ + 1, shape_.Pages());
  if (!png.Start(file, page_.Width(), titleHeight_ + rows * shape_.cell.height, 3, 8, error)) return false;
  for (int y = 0; y < title.Height(); ++y)
    if (!png.Row(title.Row(y), error)) return false;
  for (int y = 0; y < rows * shape_.cell.height; ++y)
    if (!png.Row(page_.Row(y), error)) return false;
  if (!png.Finish(error)) return false;
  ++written_;
  onPage_ = 0;
  ok_ = 0;
  bySeverity_.fill(0);
  page_.Clear(kSheetBackground);
  return true;
}

}  // namespace lvs
