#include "SheetText.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb/stb_truetype.h>

namespace lvs {
namespace {

#include "SheetFont.inc"

constexpr size_t kGlyphCount = sizeof kGlyphCodes;
static_assert(kGlyphCount == sizeof kGlyphRows / sizeof kGlyphRows[0], "a row string per character");

// The built-in face's rows for a character; '?' for one it lacks.
const char* BuiltInRows(uint32_t code) {
  const unsigned char* end = kGlyphCodes + kGlyphCount;
  const unsigned char* found = code < 256 ? std::lower_bound(kGlyphCodes, end, code) : end;
  if (found == end || *found != code) found = std::lower_bound(kGlyphCodes, end, static_cast<unsigned char>('?'));
  return kGlyphRows[found - kGlyphCodes];
}

int HexDigit(char c) { return c <= '9' ? c - '0' : c - 'a' + 10; }

// Control characters would be drawn as whatever a font keeps there.
bool IsControl(uint32_t code) { return code < 0x20 || (code >= 0x7F && code < 0xA0); }

std::vector<uint8_t> ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t BigEndian32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// stb_truetype trusts a font's table directory; one whose tables lie
// outside the file (not a font at all, or a cut one) is not used.
bool TablesInside(const std::vector<uint8_t>& font, int offset) {
  const size_t start = size_t(offset);
  if (font.size() < start + 12) return false;
  const size_t tables = size_t(font[start + 4]) << 8 | font[start + 5];
  if (tables == 0 || font.size() < start + 12 + 16 * tables) return false;
  for (size_t i = 0; i < tables; ++i) {
    const uint8_t* record = &font[start + 12 + 16 * i];
    if (uint64_t(BigEndian32(record + 8)) + BigEndian32(record + 12) > font.size()) return false;
  }
  return true;
}

}  // namespace

struct TextFace::Font {
  std::vector<uint8_t> bytes;  // stb_truetype reads the font in place
  stbtt_fontinfo info{};
  float scale = 0;
};

TextFace::TextFace(const std::vector<std::string>& fontFiles, int pixelHeight) : pixelHeight_(pixelHeight) {
  for (const std::string& path : fontFiles) {
    auto font = std::make_unique<Font>();
    font->bytes = ReadWhole(path);
    if (font->bytes.size() < 16) continue;  // less than the headers looked at first
    // A collection (.ttc) is used through its first face.
    const int offset = stbtt_GetFontOffsetForIndex(font->bytes.data(), 0);
    if (offset < 0 || !TablesInside(font->bytes, offset) || !stbtt_InitFont(&font->info, font->bytes.data(), offset))
      continue;
    font->scale = stbtt_ScaleForPixelHeight(&font->info, float(pixelHeight));
    fonts_.push_back(std::move(font));
    files_.push_back(path);
  }
  if (fonts_.empty()) {
    lineHeight_ = kGlyphHeight;
    return;
  }
  // The first font sets the line; the others fill in characters it lacks.
  int ascent = 0, descent = 0, gap = 0;
  stbtt_GetFontVMetrics(&fonts_[0]->info, &ascent, &descent, &gap);
  const float scale = fonts_[0]->scale;
  baseline_ = int(std::lround(ascent * scale));
  lineHeight_ = std::max(pixelHeight, int(std::ceil((ascent - descent + gap) * scale)));
}

TextFace::~TextFace() = default;

TextFace::Glyph TextFace::Rasterise(uint32_t code) {
  Glyph glyph;
  if (fonts_.empty()) {
    const char* rows = BuiltInRows(code);
    glyph.advance = glyph.width = kGlyphWidth;
    glyph.height = kGlyphHeight;
    glyph.coverage.resize(size_t(kGlyphWidth) * kGlyphHeight);
    for (size_t i = 0; i < glyph.coverage.size(); ++i) glyph.coverage[i] = uint8_t(HexDigit(rows[i]) * 17);
    return glyph;
  }
  if (IsControl(code)) code = 0xFFFD;
  const Font* font = nullptr;
  int index = 0;
  for (const uint32_t wanted : {code, uint32_t(0xFFFD), uint32_t('?')}) {
    for (const auto& f : fonts_)
      if ((index = stbtt_FindGlyphIndex(&f->info, int(wanted))) != 0) {
        font = f.get();
        break;
      }
    if (font) break;
  }
  if (!font) font = fonts_[0].get();  // its "missing" box, index 0
  int advance = 0, bearing = 0;
  stbtt_GetGlyphHMetrics(&font->info, index, &advance, &bearing);
  glyph.advance = int(std::lround(advance * font->scale));
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  stbtt_GetGlyphBitmapBox(&font->info, index, font->scale, font->scale, &x0, &y0, &x1, &y1);
  glyph.left = x0;
  glyph.top = baseline_ + y0;
  glyph.width = std::max(0, x1 - x0);
  glyph.height = std::max(0, y1 - y0);
  glyph.coverage.resize(size_t(glyph.width) * size_t(glyph.height));
  if (!glyph.coverage.empty())
    stbtt_MakeGlyphBitmap(&font->info, glyph.coverage.data(), glyph.width, glyph.height, glyph.width, font->scale,
                          font->scale, index);
  return glyph;
}

const TextFace::Glyph& TextFace::GlyphOf(uint32_t code) {
  auto found = glyphs_.find(code);
  if (found == glyphs_.end()) found = glyphs_.emplace(code, Rasterise(code)).first;
  return found->second;
}

int TextFace::Width(const CodePointText& text) {
  int width = 0;
  for (uint32_t code : text) width += GlyphOf(code).advance;
  return width;
}

CodePointText TextFace::Ellipsis() {
  if (!fonts_.empty()) return {0x2026};
  return {'.', '.', '.'};
}

CodePointText TextFace::FitEnd(const CodePointText& text, int maxWidth) {
  if (Width(text) <= maxWidth) return text;
  const CodePointText ellipsis = Ellipsis();
  int width = Width(ellipsis);
  size_t kept = 0;
  while (kept < text.size() && width + GlyphOf(text[kept]).advance <= maxWidth) width += GlyphOf(text[kept++]).advance;
  if (width > maxWidth) return {};
  CodePointText out(text.begin(), text.begin() + std::ptrdiff_t(kept));
  out.insert(out.end(), ellipsis.begin(), ellipsis.end());
  return out;
}

CodePointText TextFace::FitMiddle(const CodePointText& text, int maxWidth) {
  if (Width(text) <= maxWidth) return text;
  const CodePointText ellipsis = Ellipsis();
  const int room = maxWidth - Width(ellipsis);
  if (room < 0) return {};
  // The end gets what the start leaves of its half, and the start then what
  // the end leaves.
  size_t head = 0, tail = 0;
  int headWidth = 0, tailWidth = 0;
  while (head < text.size() && headWidth + GlyphOf(text[head]).advance <= room / 2)
    headWidth += GlyphOf(text[head++]).advance;
  while (tail < text.size() - head && tailWidth + GlyphOf(text[text.size() - 1 - tail]).advance <= room - headWidth)
    tailWidth += GlyphOf(text[text.size() - 1 - tail++]).advance;
  while (head < text.size() - tail && headWidth + tailWidth + GlyphOf(text[head]).advance <= room)
    headWidth += GlyphOf(text[head++]).advance;
  CodePointText out(text.begin(), text.begin() + std::ptrdiff_t(head));
  out.insert(out.end(), ellipsis.begin(), ellipsis.end());
  out.insert(out.end(), text.end() - std::ptrdiff_t(tail), text.end());
  return out;
}

void TextFace::Draw(Canvas& canvas, int x, int y, const CodePointText& text, Rgb colour) {
  for (uint32_t code : text) {
    const Glyph& glyph = GlyphOf(code);
    canvas.Cover(x + glyph.left, y + glyph.top, glyph.width, glyph.height, glyph.coverage.data(), colour);
    x += glyph.advance;
  }
}

int TextFace::Line(Canvas& canvas, int x, int y, const std::string& text, Rgb colour, int maxWidth) {
  const CodePointText fitted = FitEnd(CodePoints(text), maxWidth);
  Draw(canvas, x, y, fitted, colour);
  return Width(fitted);
}

}  // namespace lvs
