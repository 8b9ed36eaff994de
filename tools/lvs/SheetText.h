// The text of lvs sheet: TrueType faces rasterised by stb_truetype at the
// size a cell calls for, each character from the first font that has it,
// so that one line can mix Latin, Greek, Cyrillic and CJK; the built-in
// bitmap face (SheetFont.inc, one size) when no font file can be read.
// Glyphs are rasterised once per face and kept for its life, one run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "SheetCanvas.h"

namespace lvs {

using CodePointText = std::vector<uint32_t>;

class TextFace {
 public:
  // The fonts that can be read of `fontFiles`, in that order of preference,
  // at `pixelHeight` (ascent to descent); none gives the built-in face.
  TextFace(const std::vector<std::string>& fontFiles, int pixelHeight);
  ~TextFace();
  TextFace(const TextFace&) = delete;
  TextFace& operator=(const TextFace&) = delete;

  // The font files in use; empty with the built-in face.
  const std::vector<std::string>& Files() const { return files_; }
  int LineHeight() const { return lineHeight_; }

  int Width(const CodePointText& text);
  // The text cut to fit `maxWidth` pixels, "…" (or "...") where it was cut:
  // at the end, or in the middle, which keeps a file name's end (its
  // number, its extension) in sight.
  CodePointText FitEnd(const CodePointText& text, int maxWidth);
  CodePointText FitMiddle(const CodePointText& text, int maxWidth);
  // From x, y (the line's top).
  void Draw(Canvas& canvas, int x, int y, const CodePointText& text, Rgb colour);
  // UTF-8 text cut at the end to fit, drawn; returns its width.
  int Line(Canvas& canvas, int x, int y, const std::string& text, Rgb colour, int maxWidth);

 private:
  struct Font;
  struct Glyph {
    int advance = 0, left = 0, top = 0, width = 0, height = 0;
    std::vector<uint8_t> coverage;  // width x height, 0 to 255
  };
  const Glyph& GlyphOf(uint32_t code);
  Glyph Rasterise(uint32_t code);
  CodePointText Ellipsis();

  std::vector<std::unique_ptr<Font>> fonts_;
  std::vector<std::string> files_;
  int pixelHeight_, lineHeight_, baseline_ = 0;
  std::unordered_map<uint32_t, Glyph> glyphs_;
};

}  // namespace lvs
