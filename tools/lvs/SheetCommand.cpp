// lvs sheet: a style library at a glance, made so that its authors can
// tell every file on it. Each package is judged and drawn as check judges
// it (PackageChecker), so each cell shows what the host would draw (its
// fallback picture where the host would show that), scaled down, with the
// package's file name, the name, author and version the plug-in recorded,
// and a mark per problem in its severity's colour. Workers (Workers.h)
// judge and draw the cells; lvs lays them on pages (SheetPages.h) in the
// packages' order and, with --json, lists where each went.
#include <algorithm>
#include <memory>

#include "CommandLine.h"
#include "Batch.h"
#include "CommandSupport.h"
#include "OutputFile.h"
#include "PackageCheck.h"
#include "SheetFonts.h"
#include "SheetPages.h"

namespace lvs {
namespace {

struct SheetSettings {
  BatchOptions batch;
  std::string output;
  int columns = 6;
  int cellWidth = 320;
  int rows = 20;
  std::vector<std::string> fonts;
  std::string index;  // the --json lines to a file instead
};

// What a worker keeps from one package to the next: its own face (and so
// its glyphs) and the frame's memory. Made at its first package, in its own
// process.
struct CellDrawer {
  CellDrawer(const std::vector<std::string>& fonts, int cellWidth)
      : face(fonts, CellTextSize(cellWidth)), layout(MakeCellLayout(cellWidth, face.LineHeight())) {}
  std::string Draw(const CellFacts& facts) {
    Canvas cell(layout.width, layout.height, kSheetBackground);
    DrawCell(cell, face, layout, facts, frame);
    return EncodeCell(facts, cell);
  }
  TextFace face;
  CellLayout layout;
  ArgbFrame frame;
};

int RunSheet(const SheetSettings& settings) {
  const BatchOptions& batch = settings.batch;
  if (batch.packages.empty()) {
    Complain("name at least one package or folder");
    return kExitUsage;
  }
  // The batch walks the folders again and says which it could not.
  std::vector<std::string> unreadable;
  const size_t count = ExpandPackages(batch.packages, /*recursive=*/true, &unreadable).size();
  if (count == 0) {
    Complain("no packages to put on the sheet");
    return kExitUsage;
  }

  const std::vector<std::string> fonts = SheetFontFiles(settings.fonts);
  // The cells' face where a package cannot be read at all.
  CellDrawer here(fonts, settings.cellWidth);
  for (const std::string& named : settings.fonts)
    if (std::find(here.face.Files().begin(), here.face.Files().end(), named) == here.face.Files().end()) {
      Complain("cannot use the font " + Printable(named));
      return kExitUsage;
    }

  SheetShape shape;
  shape.columns = int(std::min<size_t>(size_t(settings.columns), count));
  shape.rowsPerPage = settings.rows;
  shape.cells = count;
  shape.someOnly = batch.onlyProblems;
  shape.cell = here.layout;
  if (settings.output == "-" && shape.Pages() > 1) {
    Complain(Format("%d pages cannot all go to standard output; name a file, or give more --rows", shape.Pages()));
    return kExitUsage;
  }
  if (settings.output == "-" && batch.json) {
    Complain("--json and a sheet on standard output would mix; name a file");
    return kExitUsage;
  }
  // Titles a little larger than the cells' text, for narrow cells.
  TextFace titleFace(fonts, std::max(16, CellTextSize(settings.cellWidth)));
  SheetPages pages(settings.output, shape, titleFace);
  OutputFile indexFile;
  std::string failure;
  if (!settings.index.empty() && !indexFile.Open(settings.index, ".json", &failure)) {
    Complain(failure);
    return kExitUsage;
  }
  const bool indexed = batch.json || !settings.index.empty();

  auto drawer = std::make_shared<std::unique_ptr<CellDrawer>>();
  const PackageWork work = [&, drawer](PackageChecker& checker, const std::string& argument, const std::string& path) {
    if (!*drawer) *drawer = std::make_unique<CellDrawer>(fonts, settings.cellWidth);
    CellDrawer& d = **drawer;
    const CellFacts facts = FactsOf(argument, checker.Check(path, &d.frame));
    return BatchItem{facts.Worst(), false, {}, d.Draw(facts)};
  };
  const OnItem place = [&](size_t, const std::string& package, const BatchItem& item) {
    if (!failure.empty() || (batch.onlyProblems && !item.worst && !item.unreadable)) return;
    CellFacts facts;
    Canvas cell(shape.cell.width, shape.cell.height, kSheetBackground);
    if (item.unreadable) {
      facts.unreadable = true;
      DecodeCell(here.Draw(facts), &facts, &cell);
    } else if (!DecodeCell(item.data, &facts, &cell)) {
      failure = "the cell of " + Printable(package) + " did not arrive whole";
      return;
    }
    facts.file = package;  // as named, bytes and all
    Placement at;
    if (!pages.Add(facts, cell, &at, &failure) || !indexed) return;
    nlohmann::json line = {{"page", at.page}, {"image", at.image}, {"row", at.row},         {"column", at.column},
                           {"x", at.x},       {"y", at.y},         {"w", shape.cell.width}, {"h", shape.cell.height}};
    line.update(FactsJson(facts));
    if (settings.index.empty()) {
      Emit(JsonLine(line));
    } else {
      const std::string text = JsonLine(line);
      indexFile.Write(text.data(), text.size());
    }
  };
  int exitCode = RunBatch(batch, work, place);
  if (failure.empty()) pages.Finish(&failure);
  if (failure.empty() && !settings.index.empty()) indexFile.Commit(&failure);
  if (!failure.empty()) {
    Complain(failure);
    return std::max<int>(exitCode, kExitUsage);
  }
  if (!batch.quiet && pages.PagesWritten() == 0) Complain("no package has a problem: no sheet written");
  if (!batch.quiet && pages.PagesWritten() > 0) {
    const int written = pages.PagesWritten();
    const std::string first = PageFile(settings.output, 1, shape.Pages());
    const std::string where = settings.output == "-" ? "standard output"
                              : written > 1 ? first + " to " + PageFile(settings.output, written, shape.Pages())
                                            : first;
    Emit(settings.output == "-" || batch.json ? Stream::Err : Stream::Out,
         Format("%s: %d page%s of up to %d rows of %d, %d pixels wide\n", Printable(where).c_str(), written,
                written == 1 ? "" : "s", shape.rowsPerPage, shape.columns, shape.columns * shape.cell.width));
  }
  return exitCode;
}

}  // namespace

Command AddSheetCommand(CLI::App& lvs) {
  auto settings = std::make_shared<SheetSettings>();
  CLI::App* app = lvs.add_subcommand(
      "sheet",
      "draw a contact sheet (PNG pages) of packages and folders: each preview as the host would draw it, with "
      "its file name, the style's name, author and version, and a mark per problem");
  // Any problem fails a sheet, as it fails a check.
  AddBatchOptions(app, &settings->batch, Severity::Warning, /*walksAlways=*/true);
  app->add_option("-o,--output", settings->output,
                  "PNG file to write; with more than one page OUT-1.png, OUT-2.png..., or %d in the name replaced "
                  "by the page's number")
      ->required();
  app->add_option("--columns", settings->columns, "cells per row")->check(CLI::Range(1, 64))->capture_default_str();
  app->add_option("--rows", settings->rows, "rows per page")->check(CLI::Range(1, 1000))->capture_default_str();
  app->add_option("--cell-width", settings->cellWidth,
                  "width of each preview in pixels (height 9/16 of it); the text grows with it")
      ->check(CLI::Range(64, int(kStyleWidth)))
      ->capture_default_str();
  app->add_option("--index", settings->index, "write the --json lines to this file instead of standard output");
  app->add_option("--font", settings->fonts,
                  "a TrueType or OpenType font file to draw the text with, before the usual ones (repeatable; "
                  "each character comes from the first font that has it)");
  AddVersionFlag(app);
  app->footer(
      "Marks, one per problem, worst first: red, the host will not import it; orange, it shows the fallback "
      "picture (or no frame); yellow, its record loses part of the metadata; blue, a warning. Each page's title "
      "counts its packages and repeats this key. --json lists each cell: page, image, row, column, x, y, w, h, "
      "file, name, author, version, verdict, severity and problems.\n"
      "Fonts: those named with --font, then the files LVS_SHEET_FONTS lists (separated by '" +
      std::string(1, kFontListSeparator) +
      "'; empty for none), else DejaVu Sans and a CJK font where the system keeps them; with none, a face of "
      "lvs's own with Latin-1 only.");
  return {app, [settings] { return RunSheet(*settings); }};
}

}  // namespace lvs
