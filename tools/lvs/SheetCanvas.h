// The pixels of lvs sheet: RGB rows (a cell, a strip of cells, a page)
// that previews are scaled into and text is laid on (SheetText.h).
#pragma once

#include <cstddef>
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
  // Colour laid over the w x h box at x, y as much as `coverage` (0 to 255
  // a pixel, rows without padding) says: a glyph.
  void Cover(int x, int y, int w, int h, const uint8_t* coverage, Rgb colour);
  // Another canvas's pixels, its top left corner at x, y.
  void Paste(const Canvas& from, int x, int y);
  const std::vector<uint8_t>& Pixels() const { return pixels_; }
  // Pixels of a canvas of this size, as Pixels() gave them.
  bool Adopt(std::vector<uint8_t> pixels);

 private:
  int width_, height_;
  std::vector<uint8_t> pixels_;
};

// The characters of UTF-8 text as code points; a byte that does not start a
// valid character counts as one U+FFFD.
std::vector<uint32_t> CodePoints(const std::string& text);

}  // namespace lvs
