// The pages of a sheet: cells laid left to right, top to bottom, so many
// rows to a page, each page a PNG of its own under a title strip with its
// counts and the colour key of the marks. A page is held until its last
// cell so that its title can count it; then it is written and dropped, so
// memory holds one page however many packages there are.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "SheetCell.h"

namespace lvs {

struct SheetShape {
  int columns = 0;        // cells per row (no more than there are cells)
  int rowsPerPage = 0;    // on every page but perhaps the last
  size_t cells = 0;       // how many there will be at most
  bool someOnly = false;  // only some of them will be (those with problems)
  CellLayout cell;
  int PerPage() const { return columns * rowsPerPage; }
  int Pages() const { return int((cells + size_t(PerPage()) - 1) / size_t(PerPage())); }
};

// Where a cell went.
struct Placement {
  int page = 0, row = 0, column = 0;  // page from 1; row within its page
  int x = 0, y = 0;                   // its top left corner in that page's PNG
  std::string image;                  // that page's file
};

// The file of page `page` (from 1): `output` itself when there is one page;
// else "%d" in it replaced by the number, or "-N" put before its extension.
std::string PageFile(const std::string& output, int page, int pages);

class SheetPages {
 public:
  // `face` writes the titles.
  SheetPages(std::string output, const SheetShape& shape, TextFace& face);

  // The title strip's height, the same on every page.
  int TitleHeight() const { return titleHeight_; }

  // The next cell; when it fills a page, the page is written. False and
  // *error when a page cannot be written.
  bool Add(const CellFacts& facts, const Canvas& cell, Placement* placed, std::string* error);
  // Writes the last page, if any cells are left on it.
  bool Finish(std::string* error);
  int PagesWritten() const { return written_; }

 private:
  bool WritePage(std::string* error);
  void DrawTitle(Canvas& title) const;

  std::string output_;
  SheetShape shape_;
  TextFace& face_;
  int titleHeight_ = 0, keyColumns_ = 1;
  Canvas page_;
  int onPage_ = 0, written_ = 0;
  size_t placed_ = 0;
  size_t ok_ = 0;
  std::array<size_t, 4> bySeverity_{};
};

}  // namespace lvs
