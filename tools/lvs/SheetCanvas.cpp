#include "SheetCanvas.h"

#include <algorithm>

#include "TextCodec.h"

namespace lvs {

std::vector<uint32_t> CodePoints(const std::string& text) {
  std::vector<uint32_t> out;
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    char32_t cp = 0;
    const size_t length = NextUtf8(s + i, n - i, &cp);
    out.push_back(length ? uint32_t(cp) : 0xFFFD);
    i += length ? length : 1;
  }
  return out;
}

Canvas::Canvas(int width, int height, Rgb background)
    : width_(width), height_(height), pixels_(size_t(width) * size_t(height) * 3) {
  Clear(background);
}

void Canvas::Clear(Rgb colour) { Fill(0, 0, width_, height_, colour); }

void Canvas::Fill(int x, int y, int w, int h, Rgb colour) {
  const int x0 = std::max(x, 0), x1 = std::min(x + w, width_);
  const int y0 = std::max(y, 0), y1 = std::min(y + h, height_);
  for (int yy = y0; yy < y1; ++yy) {
    uint8_t* p = &pixels_[(size_t(yy) * size_t(width_) + size_t(x0)) * 3];
    for (int xx = x0; xx < x1; ++xx, p += 3) p[0] = colour.r, p[1] = colour.g, p[2] = colour.b;
  }
}

void Canvas::Scaled(const std::vector<uint8_t>& argb, int frameWidth, int frameHeight, int x, int y, int w, int h) {
  if (argb.size() != size_t(frameWidth) * size_t(frameHeight) * 4 || w <= 0 || h <= 0) return;
  std::vector<uint32_t> sums(size_t(w) * 3);
  for (int ty = 0; ty < h && y + ty < height_; ++ty) {
    const int sy0 = int(int64_t(ty) * frameHeight / h), sy1 = std::max(sy0 + 1, int(int64_t(ty + 1) * frameHeight / h));
    std::fill(sums.begin(), sums.end(), 0u);
    std::vector<uint32_t> counts(size_t(w), 0);
    for (int sy = sy0; sy < sy1; ++sy) {
      const uint8_t* row = &argb[size_t(sy) * size_t(frameWidth) * 4];
      for (int tx = 0; tx < w; ++tx) {
        const int sx0 = int(int64_t(tx) * frameWidth / w),
                  sx1 = std::max(sx0 + 1, int(int64_t(tx + 1) * frameWidth / w));
        for (int sx = sx0; sx < sx1; ++sx)
          for (int c = 0; c < 3; ++c) sums[size_t(tx) * 3 + c] += row[size_t(sx) * 4 + 1 + c];
        counts[size_t(tx)] += uint32_t(sx1 - sx0);
      }
    }
    for (int tx = 0; tx < w; ++tx) {
      if (x + tx < 0 || x + tx >= width_ || y + ty < 0) continue;
      uint8_t* p = &pixels_[(size_t(y + ty) * size_t(width_) + size_t(x + tx)) * 3];
      const uint32_t n = counts[size_t(tx)];
      for (int c = 0; c < 3; ++c) p[c] = uint8_t((sums[size_t(tx) * 3 + c] + n / 2) / n);
    }
  }
}

void Canvas::Cover(int x, int y, int w, int h, const uint8_t* coverage, Rgb colour) {
  const uint8_t ink[3] = {colour.r, colour.g, colour.b};
  for (int gy = std::max(0, -y); gy < h && y + gy < height_; ++gy)
    for (int gx = std::max(0, -x); gx < w && x + gx < width_; ++gx) {
      const unsigned cover = coverage[size_t(gy) * size_t(w) + size_t(gx)];
      if (!cover) continue;
      uint8_t* p = &pixels_[(size_t(y + gy) * size_t(width_) + size_t(x + gx)) * 3];
      for (int c = 0; c < 3; ++c) p[c] = uint8_t((ink[c] * cover + p[c] * (255 - cover) + 127) / 255);
    }
}

void Canvas::Paste(const Canvas& from, int x, int y) {
  const int x0 = std::max(x, 0), x1 = std::min(x + from.width_, width_);
  if (x1 <= x0) return;
  for (int yy = std::max(y, 0); yy < std::min(y + from.height_, height_); ++yy)
    std::copy_n(from.Row(yy - y) + size_t(x0 - x) * 3, size_t(x1 - x0) * 3,
                &pixels_[(size_t(yy) * size_t(width_) + size_t(x0)) * 3]);
}

bool Canvas::Adopt(std::vector<uint8_t> pixels) {
  if (pixels.size() != pixels_.size()) return false;
  pixels_ = std::move(pixels);
  return true;
}

}  // namespace lvs
