#include "PngFile.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

#include "OutputFile.h"

namespace lvs {

struct PngWriter::State {
  OutputFile output;
  png_structp png = nullptr;
  png_infop info = nullptr;
  int rowsLeft = 0;
  char message[256] = {};
};

namespace {

void OnPngError(png_structp png, png_const_charp message) {
  auto* state = static_cast<PngWriter::State*>(png_get_error_ptr(png));
  std::snprintf(state->message, sizeof state->message, "%s", message);
  std::longjmp(png_jmpbuf(png), 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void OnPngWrite(png_structp png, png_bytep data, png_size_t size) {
  auto* state = static_cast<PngWriter::State*>(png_get_io_ptr(png));
  if (!state->output.Write(data, size)) png_error(png, "write failed");
}

void OnPngFlush(png_structp) {}

// These are kept free of objects with destructors: libpng reports errors by
// longjmp.
bool WriteHeader(PngWriter::State* state, int width, int height, int channels, int bitDepth) {
  if (setjmp(png_jmpbuf(state->png))) return false;
  png_set_write_fn(state->png, state, OnPngWrite, OnPngFlush);
  // At zlib's default level the PNG cost more than opening, decoding and
  // drawing the package together (render of the sample: 75 ms of processor
  // time, 41 ms at level 2, for 23% more bytes); levels 1 to 3 took the
  // same time within our noise, and 2 packs a little tighter than 1.
  png_set_compression_level(state->png, 2);
  const int colour = channels == 1   ? PNG_COLOR_TYPE_GRAY
                     : channels == 3 ? PNG_COLOR_TYPE_RGB
                                     : PNG_COLOR_TYPE_RGB_ALPHA;
  png_set_IHDR(state->png, state->info, png_uint_32(width), png_uint_32(height), bitDepth, colour, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(state->png, state->info);
  if (bitDepth == 16) png_set_swap(state->png);  // PNG stores 16-bit samples big-endian
  return true;
}

bool WriteRow(PngWriter::State* state, const void* samples) {
  if (setjmp(png_jmpbuf(state->png))) return false;
  png_write_row(state->png, static_cast<png_const_bytep>(samples));
  return true;
}

bool WriteEnd(PngWriter::State* state) {
  if (setjmp(png_jmpbuf(state->png))) return false;
  png_write_end(state->png, nullptr);
  return true;
}

}  // namespace

PngWriter::~PngWriter() {
  if (!state_) return;
  png_destroy_write_struct(&state_->png, &state_->info);
  delete state_;  // an output not finished goes with it
}

bool PngWriter::Failed(std::string* error) {
  // A write that failed says why in the system's words; libpng's own
  // refusals in libpng's.
  const OutputFile& output = state_->output;
  *error = output.WriteFailed() || !state_->message[0] ? output.Failure() : output.Failure(state_->message);
  return false;
}

bool PngWriter::Start(const std::string& path, int width, int height, int channels, int bitDepth, std::string* error) {
  if (state_ || width <= 0 || height <= 0 || (channels != 1 && channels != 3 && channels != 4) ||
      (bitDepth != 8 && bitDepth != 16)) {
    *error = "nothing to write";
    return false;
  }
  state_ = new State;
  if (!state_->output.Open(path, ".tmp", error)) return false;
  state_->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, state_, OnPngError, OnPngWarning);
  if (state_->png) state_->info = png_create_info_struct(state_->png);
  state_->rowsLeft = height;
  if (!state_->png || !state_->info || !WriteHeader(state_, width, height, channels, bitDepth)) return Failed(error);
  return true;
}

bool PngWriter::Row(const void* samples, std::string* error) {
  if (!state_ || state_->rowsLeft <= 0) {
    *error = "a PNG row beyond the picture";
    return false;
  }
  --state_->rowsLeft;
  return WriteRow(state_, samples) || Failed(error);
}

bool PngWriter::Finish(std::string* error) {
  if (!state_ || state_->rowsLeft != 0) {
    *error = "a PNG finished before its last row";
    return false;
  }
  if (!WriteEnd(state_)) return Failed(error);
  png_destroy_write_struct(&state_->png, &state_->info);
  const bool committed = state_->output.Commit(error);
  delete state_;
  state_ = nullptr;
  return committed;
}

bool WritePng(const std::string& path, const PngPicture& picture, std::string* error) {
  const size_t rowSamples = size_t(picture.width) * size_t(picture.channels);
  const size_t needed = rowSamples * size_t(picture.height);
  const bool depthOk = picture.bitDepth == 8 ? picture.samples8.size() == needed
                                             : picture.bitDepth == 16 && picture.samples16.size() == needed;
  if (!depthOk) {
    *error = "nothing to write";
    return false;
  }
  PngWriter writer;
  if (!writer.Start(path, picture.width, picture.height, picture.channels, picture.bitDepth, error)) return false;
  for (size_t y = 0; y < size_t(picture.height); ++y) {
    const void* row = picture.bitDepth == 8 ? static_cast<const void*>(picture.samples8.data() + y * rowSamples)
                                            : static_cast<const void*>(picture.samples16.data() + y * rowSamples);
    if (!writer.Row(row, error)) return false;
  }
  return writer.Finish(error);
}

}  // namespace lvs
