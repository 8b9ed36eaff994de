#include "PngFile.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

namespace lvs {
namespace {

struct WriteState {
  std::FILE* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  char message[256] = {};
};

void OnPngError(png_structp png, png_const_charp message) {
  auto* state = static_cast<WriteState*>(png_get_error_ptr(png));
  std::snprintf(state->message, sizeof state->message, "%s", message);
  std::longjmp(png_jmpbuf(png), 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Kept free of objects with destructors: libpng reports errors by longjmp.
bool WriteRows(WriteState* state, const PngPicture& picture, png_bytep* rows) {
  if (setjmp(png_jmpbuf(state->png))) return false;
  png_init_io(state->png, state->file);
  const int colour = picture.channels == 1   ? PNG_COLOR_TYPE_GRAY
                     : picture.channels == 3 ? PNG_COLOR_TYPE_RGB
                                             : PNG_COLOR_TYPE_RGB_ALPHA;
  png_set_IHDR(state->png, state->info, png_uint_32(picture.width), png_uint_32(picture.height),
               picture.bitDepth, colour, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(state->png, state->info);
  if (picture.bitDepth == 16) png_set_swap(state->png);  // PNG stores 16-bit samples big-endian
  png_write_image(state->png, rows);
  png_write_end(state->png, nullptr);
  return true;
}

}  // namespace

bool WritePng(const std::string& path, const PngPicture& picture, std::string* error) {
  const size_t rowSamples = size_t(picture.width) * size_t(picture.channels);
  const size_t needed = rowSamples * size_t(picture.height);
  const bool depthOk = picture.bitDepth == 8 ? picture.samples8.size() == needed
                                              : picture.bitDepth == 16 && picture.samples16.size() == needed;
  if (picture.width <= 0 || picture.height <= 0 || !depthOk ||
      (picture.channels != 1 && picture.channels != 3 && picture.channels != 4)) {
    *error = "nothing to write";
    return false;
  }
  std::vector<png_bytep> rows(size_t(picture.height));
  for (size_t y = 0; y < rows.size(); ++y) {
    rows[y] = picture.bitDepth == 8
                  ? const_cast<png_bytep>(picture.samples8.data() + y * rowSamples)
                  : reinterpret_cast<png_bytep>(const_cast<uint16_t*>(picture.samples16.data() + y * rowSamples));
  }

  WriteState state;
  state.file = std::fopen(path.c_str(), "wb");
  if (!state.file) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  state.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, OnPngError, OnPngWarning);
  if (state.png) state.info = png_create_info_struct(state.png);
  bool ok = state.png && state.info && WriteRows(&state, picture, rows.data());
  if (!ok) *error = "cannot write " + path + ": " + (state.message[0] ? state.message : "libpng failed");
  png_destroy_write_struct(&state.png, &state.info);
  if (std::fclose(state.file) != 0 && ok) {
    ok = false;
    *error = "cannot write " + path + ": " + std::strerror(errno);
  }
  if (!ok) std::remove(path.c_str());
  return ok;
}

}  // namespace lvs
