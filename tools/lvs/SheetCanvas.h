// The pixels of lvs sheet: a strip of RGB rows that previews are scaled
// into and text is written on, in the face of SheetFont.inc.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lvs {

struct Rgb {
  uint8_t r, g, b;
};

class Canvas {
 public:
  Canvas(int width, int height, Rgb background);

  int Width() const { return width_; }
  int Height() const { return height_; }
  const uint8_t* Row(int y) const { return &pixels_[size_t(y) * size_t(width_) * 3]; }
  void Clear(Rgb colour);

  void Fill(int x, int y, int w, int h, Rgb colour);
  // An A, R, G, B frame of frameWidth x frameHeight, each target pixel the
  // mean of the source pixels it covers, into the w x h box at x, y.
  void Scaled(const std::vector<uint8_t>& argb, int frameWidth, int frameHeight, int x, int y, int w, int h);
  // UTF-8 text from x, y (its top), cut with "..." to fit maxWidth pixels;
  // characters the face lacks, and bytes that are not UTF-8, show as "?".
  void Text(int x, int y, const std::string& text, Rgb colour, int maxWidth);

  static int TextHeight();
  static int CharWidth();

 private:
  void Glyph(int x, int y, unsigned code, Rgb colour);

  int width_, height_;
  std::vector<uint8_t> pixels_;
};

// The characters of UTF-8 text as code points; a byte that does not start a
// valid character counts as one U+FFFD.
std::vector<uint32_t> CodePoints(const std::string& text);

}  // namespace lvs
