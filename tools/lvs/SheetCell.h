// One package's cell on a sheet: the facts the index and the page's title
// need, the cell's geometry, and its drawing. A worker process judges and
// draws the cell and hands back only these facts and the cell's pixels
// (EncodeCell), never the full frame.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "PackageCheck.h"
#include "SheetCanvas.h"
#include "SheetText.h"

namespace lvs {

struct CellFacts {
  std::string file;  // as named or found
  bool imported = false;
  std::string name, author;  // as the plug-in recorded them
  int32_t version = 0;
  Shown shown = Shown::NotImported;
  bool unreadable = false;     // could not be had at all (standard input that cannot be copied)
  std::vector<Code> problems;  // worst first

  std::optional<Severity> Worst() const;
};

CellFacts FactsOf(const std::string& file, const PackageVerdict& verdict);

// The sizes of every cell of a sheet: the preview box keeps the footage's
// 16:9, and the text under it is sized to the box's width.
struct CellLayout {
  int previewWidth = 0, previewHeight = 0;
  int width = 0, height = 0;  // the whole cell, with its padding
  int textTop = 0;            // the first line under the preview
  int lineHeight = 0;
};

// The face's pixel height for previews `previewWidth` wide: legible at the
// narrowest cell, larger as cells widen.
int CellTextSize(int previewWidth);
CellLayout MakeCellLayout(int previewWidth, int lineHeight);

// Draws the cell on a canvas of the layout's size. `frame` is the drawn
// frame (kStyleWidth x kStyleHeight ARGB) or empty.
void DrawCell(Canvas& cell, TextFace& face, const CellLayout& layout, const CellFacts& facts, const ArgbFrame& frame);

// The facts as the sheet's index lists them.
nlohmann::json FactsJson(const CellFacts& facts);

// A drawn cell as bytes and back, between a worker and lvs.
std::string EncodeCell(const CellFacts& facts, const Canvas& cell);
bool DecodeCell(const std::string& bytes, CellFacts* facts, Canvas* cell);

// The colours of the sheet, shared by the cells and the page's title.
constexpr Rgb kSheetBackground{28, 28, 30}, kSheetInk{226, 226, 226}, kSheetDim{150, 150, 156};
Rgb SeverityColour(Severity severity);

}  // namespace lvs
