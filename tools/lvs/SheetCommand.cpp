// lvs sheet: a style library at a glance. Each package is judged and drawn
// as check judges it (PackageChecker), so each cell shows what the host
// would draw (its fallback picture where the host would show that), scaled
// down, with the name, author and version the plug-in recorded and a mark
// per problem in its severity's colour. The sheet is written one row of
// cells at a time, so memory holds one frame and one row of cells however
// many packages there are.
#include <algorithm>

#include "CommandLine.h"
#include "CommandSupport.h"
#include "PackageCheck.h"
#include "PngFile.h"
#include "StyleFormat.h"
#include "SheetCanvas.h"

namespace fs = std::filesystem;

namespace lvs {
namespace {

constexpr Rgb kBackground{28, 28, 30}, kInk{226, 226, 226}, kDim{150, 150, 156}, kEmpty{58, 20, 22};
constexpr int kPad = 8, kMark = 12;

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
  return kInk;
}

struct Layout {
  int columns, previewWidth, previewHeight, cellWidth, cellHeight;
};

Layout MakeLayout(const SheetOptions& options, size_t count) {
  Layout l;
  l.columns = int(std::min<size_t>(size_t(options.columns), std::max<size_t>(count, 1)));
  l.previewWidth = options.cellWidth;
  l.previewHeight = options.cellWidth * kStyleHeight / kStyleWidth;
  l.cellWidth = l.previewWidth + 2 * kPad;
  l.cellHeight = kPad + l.previewHeight + 4 + 3 * Canvas::TextHeight() + kPad;
  return l;
}

// One package's cell, its top left corner at x in the strip.
void DrawCell(Canvas& strip, int x, const Layout& l, const std::string& package, const PackageVerdict& verdict,
              const ArgbFrame& frame) {
  const int px = x + kPad, py = kPad;
  if (verdict.shown == Shown::NotImported || verdict.shown == Shown::NoFrame || frame.empty()) {
    const bool opened = verdict.shown != Shown::NotImported;
    strip.Fill(px, py, l.previewWidth, l.previewHeight, kEmpty);
    strip.Text(px + kPad, py + l.previewHeight / 2 - Canvas::TextHeight() / 2, opened ? "no frame" : "not imported",
               SeverityColour(opened ? Severity::Fallback : Severity::NoImport), l.previewWidth - 2 * kPad);
  } else {
    strip.Scaled(frame, kStyleWidth, kStyleHeight, px, py, l.previewWidth, l.previewHeight);
  }
  // One mark per problem along the preview's top edge, worst first.
  std::vector<Problem> problems = verdict.problems;
  std::stable_sort(problems.begin(), problems.end(),
                   [](const Problem& a, const Problem& b) { return a.GetSeverity() < b.GetSeverity(); });
  for (size_t i = 0; i < problems.size() && int(i + 1) * (kMark + 3) <= l.previewWidth; ++i) {
    const int mx = px + 3 + int(i) * (kMark + 3);
    strip.Fill(mx - 1, py + 2, kMark + 2, kMark + 2, kBackground);
    strip.Fill(mx, py + 3, kMark, kMark, SeverityColour(problems[i].GetSeverity()));
  }

  int ty = py + l.previewHeight + 4;
  const int textWidth = l.previewWidth;
  const bool imported = verdict.record.has_value();
  if (imported) {
    const LVS_Options& r = *verdict.record;
    strip.Text(px, ty, FieldText(r.name, sizeof r.name), kInk, textWidth);
    strip.Text(px, ty + Canvas::TextHeight(), FieldText(r.author, sizeof r.author), kDim, textWidth);
  } else {
    strip.Text(px, ty, fs::path(package).filename().string(), kInk, textWidth);
  }
  ty += 2 * Canvas::TextHeight();
  std::string last = imported ? "v" + std::to_string(verdict.record->version) : std::string();
  int codesX = px;
  if (!last.empty()) {
    strip.Text(px, ty, last, kDim, textWidth);
    codesX += int(CodePoints(last).size() + 1) * Canvas::CharWidth();
  }
  if (!problems.empty()) {
    std::string codes = problems.front().Name();
    if (problems.size() > 1) codes += " +" + std::to_string(problems.size() - 1);
    strip.Text(codesX, ty, codes, SeverityColour(problems.front().GetSeverity()), px + textWidth - codesX);
  }
}

}  // namespace

int RunSheet(const SheetOptions& options) {
  PluginSession session;
  if (!LoadPlugin(session, options.plugin)) return kExitNoPlugin;

  std::vector<std::string> unreadable;
  const std::vector<std::string> packages = ExpandPackages(options.packages, /*recursive=*/true, &unreadable);
  int exitCode = ReportUnreadableFolders(unreadable);
  if (packages.empty()) {
    std::fprintf(stderr, "lvs: no packages to put on the sheet\n");
    return FinishSession(session, kExitUsage);
  }

  const Layout layout = MakeLayout(options, packages.size());
  const int rows = int((packages.size() + size_t(layout.columns) - 1) / size_t(layout.columns));
  Canvas strip(layout.columns * layout.cellWidth, layout.cellHeight, kBackground);
  PngWriter png;
  std::string error;
  if (!png.Start(options.output, strip.Width(), rows * layout.cellHeight, 3, 8, &error)) {
    std::fprintf(stderr, "lvs: %s\n", error.c_str());
    return FinishSession(session, kExitUsage);
  }

  PackageChecker checker(session);
  ArgbFrame frame;
  size_t withProblems = 0;
  for (int row = 0; row < rows; ++row) {
    strip.Clear(kBackground);
    for (int column = 0; column < layout.columns; ++column) {
      const size_t index = size_t(row) * size_t(layout.columns) + size_t(column);
      if (index >= packages.size()) break;
      PackageInput input;
      PackageVerdict verdict;
      if (PreparePackage(&input, packages[index], &exitCode))
        verdict = checker.Check(input.Path(), &frame);
      else
        frame.clear();
      if (!verdict.problems.empty()) {
        ++withProblems;
        exitCode = std::max<int>(exitCode, kExitFailed);
      }
      DrawCell(strip, column * layout.cellWidth, layout, packages[index], verdict, frame);
    }
    for (int y = 0; y < strip.Height(); ++y) {
      if (!png.Row(strip.Row(y), &error)) {
        std::fprintf(stderr, "lvs: %s\n", error.c_str());
        return FinishSession(session, kExitUsage);
      }
    }
  }
  if (!png.Finish(&error)) {
    std::fprintf(stderr, "lvs: %s\n", error.c_str());
    return FinishSession(session, kExitUsage);
  }
  if (!options.quiet)
    Emit(options.output == "-" ? Stream::Err : Stream::Out,
         Format("%s: %zu packages, %zu with problems, %dx%d\n",
                Printable(options.output == "-" ? "standard output" : options.output).c_str(), packages.size(),
                withProblems, strip.Width(), rows * layout.cellHeight));
  return FinishSession(session, exitCode);
}

Command AddSheetCommand(CLI::App& lvs) {
  auto options = std::make_shared<SheetOptions>();
  CLI::App* app = lvs.add_subcommand(
      "sheet",
      "draw a contact sheet (PNG) of packages and folders: each preview as the host would draw it, with "
      "name, author, version and a mark per problem");
  app->add_option("PACKAGE", options->packages, "style packages, and folders to search for *.lvs files")->required();
  app->add_option("-o,--output", options->output, "PNG file to write")->required();
  app->add_option("--columns", options->columns, "cells per row")->check(CLI::Range(1, 64))->capture_default_str();
  app->add_option("--cell-width", options->cellWidth, "width of each preview in pixels (height 9/16 of it)")
      ->check(CLI::Range(64, int(kStyleWidth)))
      ->capture_default_str();
  AddQuietFlag(app, &options->quiet);
  AddPluginOption(app, &options->plugin);
  AddVersionFlag(app);
  app->footer(
      "Marks: red, the host will not import it; orange, it shows the fallback picture (or no frame); "
      "yellow, its record loses part of the metadata. The first problem's code is written under it.");
  return {app, [options] { return RunSheet(*options); }};
}

}  // namespace lvs
