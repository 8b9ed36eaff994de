#pragma once
// The picture drawn in place of a style's own preview when the package has
// none that can be used: a complete baseline JPEG file, compiled in from
// update_preview.jpg (made by tools/fallback/make_update_preview.py).

#include <cstddef>

constexpr std::size_t bin2c_update_preview_size = 164586;
extern const unsigned char bin2c_update_preview[bin2c_update_preview_size];
