#include "PreviewDraw.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "AEGP_SuiteHandler.h"
#include "Callbacks.h"
#include "ErrorBoundary.h"
#include "ScopedHostMemory.h"
#include "ScopedWorld.h"
#include "StyleOptions.h"
#include "StylePackage.h"
#include "PixelRows.h"
#include "PreviewSource.h"
#include "WorldCopy.h"
#include "jpeg_decoder.h"
#include "update_preview.h"

namespace {

void* StandardAllocate(uint64_t size) { return std::malloc(static_cast<std::size_t>(size)); }
void StandardRelease(void* block) { std::free(block); }

// Grey to opaque A, R, G, B with red, green and blue alike. Plain bytes:
// the compiler's vectorised loop does this as fast as a hand-written
// shuffle, on every processor.
void ExpandGreyRow(const uint8_t* __restrict from, uint8_t* __restrict to, A_long width) {
  for (A_long x = 0; x < width; ++x) {
    to[4 * x] = 255;
    to[4 * x + 1] = to[4 * x + 2] = to[4 * x + 3] = from[x];
  }
}

// Takes the decoder's rows straight into a world of the drawing world's
// size at that world's depth: every pixel opaque, the decoder's bytes
// unchanged (a grey picture gives red, green and blue alike), then converted
// as the world copy converts an 8-bit world, so that the picture arrives as
// if painted into an 8-bit world and copied.
class WorldRows final : public Jpeg::RowSink {
 public:
  WorldRows(const PF_LayerDef& world, PF_PixelFormat format) : world_(world), format_(format) {}

  // The 8-bit row that deeper worlds convert from; false when it cannot be had.
  bool Ready() {
    if (format_ == PF_PixelFormat_ARGB32) return true;
    argb_.reset(new (std::nothrow) uint8_t[4 * std::size_t(kStyleWidth)]);
    return argb_ != nullptr;
  }
  // Colour rows come converted straight into the 8-bit world, or into the
  // 8-bit row that deeper worlds convert from; so every colour row arrives
  // as A, R, G, B (components 4), and only grey ones need expanding. The
  // decoder gives exactly this world's rows (it decodes nothing but a
  // picture of the drawing world's size).
  uint8_t* ArgbRow(int32_t row) override { return Argb(row); }

  void PutRow(int32_t row, const uint8_t* pixels, int32_t components) override {
    uint8_t* const out = RowOf<uint8_t>(world_, row);
    uint8_t* const argb = Argb(row);
    const A_long width = kStyleWidth;
    if (components == 1) ExpandGreyRow(pixels, argb, width);
    const std::ptrdiff_t samples = 4 * std::ptrdiff_t(width);
    if (format_ == PF_PixelFormat_ARGB64)
      ConvertRow(argb, reinterpret_cast<uint16_t*>(out), samples);
    else if (format_ == PF_PixelFormat_ARGB128)
      ConvertRow(argb, reinterpret_cast<float*>(out), samples);
  }

 private:
  uint8_t* Argb(int32_t row) { return format_ == PF_PixelFormat_ARGB32 ? RowOf<uint8_t>(world_, row) : argb_.get(); }

  const PF_LayerDef& world_;
  const PF_PixelFormat format_;
  std::unique_ptr<uint8_t[]> argb_;
};

// Decodes one JPEG into the rows; true when it gave a whole picture of the
// drawing world's size. Only a picture of that size is ever drawn, so a
// frame of any other size is refused from its header, before it gets pixel
// memory. The decoder reports its failures, it never throws.
bool Drawn(const Jpeg::Decoder& decoder) {
  return decoder.GetResult() == Jpeg::Decoder::Success && decoder.GetWidth() == kStyleWidth &&
         decoder.GetHeight() == kStyleHeight;
}

bool DrawJpeg(const uint8_t* data, uint64_t size, const DecoderMemory& memory, WorldRows& rows) {
  return Drawn(Jpeg::Decoder(data, size, memory.allocate, memory.release, kStyleWidth, kStyleHeight, rows));
}

// Decodes the preview entry into the rows as it is read, through one open of
// the package, and then reads the rest of the entry to check it: true when
// the rows hold the whole preview, and *damaged when the entry turned out
// unreadable, whatever the rows hold then. Footage without a record has no
// package to read: its preview counts as missing, as does one the host
// cannot supply a window for. With no rows to take it (`rows` null) the
// entry is only checked.
bool DrawPreview(const AEGP_SuiteHandler& suites, const LVS_Options* options, const DecoderMemory& memory,
                 WorldRows* rows, bool* damaged) {
  // A stored record may lack the path's terminator.
  char path[kOptionsPathSize + 1] = {};
  if (options) std::memcpy(path, options->path, kOptionsPathSize);
  const StylePackage package(options ? path : nullptr);
  const PackageEntry entry = package.Locate(kPreviewEntryName);
  const int32_t size = entry.Length();
  HandleBuffer window(suites.HandleSuite());
  if (size <= 0 || !window.Allocate(static_cast<A_HandleSize>(PreviewSource::WindowSize(uint64_t(size))))) return false;
  EntryStream stream(package, entry);
  PreviewSource source(stream, window.Data());
  const bool drawn =
      rows && Drawn(Jpeg::Decoder(source, memory.allocate, memory.release, kStyleWidth, kStyleHeight, *rows));
  // An entry that is there but cannot be read is damage, not a missing
  // preview: the host is told.
  *damaged = stream.Finish() != EntryStatus::Ok;
  return drawn;
}

// Reads the preview and draws it, or the fallback, into target.
A_Err DrawPicture(const AEGP_SuiteHandler& suites, const LVS_Options* options, const PF_LayerDef& target,
                  PF_PixelFormat format, const DecoderMemory& memory) {
  WorldRows rows(target, format);
  const bool ready = rows.Ready();
  bool damaged = false;
  const bool drawn = DrawPreview(suites, options, memory, ready ? &rows : nullptr, &damaged);
  if (damaged) return PF_Err_INTERNAL_STRUCT_DAMAGED;
  if (!ready) return PF_Err_OUT_OF_MEMORY;
  // Only a shortage of memory makes the fallback fail; reporting success
  // would leave the host a frame that nothing was drawn into.
  if (!drawn && !DrawJpeg(bin2c_update_preview, bin2c_update_preview_size, memory, rows)) return PF_Err_OUT_OF_MEMORY;
  return A_Err_NONE;
}

// The picture is drawn at the destination's depth: into the destination
// itself when it has the drawing world's size, else into a world of that
// size that the host then resamples into the destination.
A_Err DrawAtSize(AEIO_InData* basic_dataP, const AEGP_SuiteHandler& suites, const LVS_Options* options,
                 PF_EffectWorld* destination, PF_PixelFormat format, const DecoderMemory& memory) {
  A_Err err = A_Err_NONE;
  ScopedWorld drawing(suites.PFWorldSuite());
  PF_EffectWorld* target = destination;
  if (destination->width != kStyleWidth || destination->height != kStyleHeight) {
    err = drawing.Create(kStyleWidth, kStyleHeight, format);
    target = drawing.World();
  }
  if (!err) err = DrawPicture(suites, options, *target, format, memory);
  if (!err && target != destination) err = EasyCopy(basic_dataP, target, destination, false);
  return err;
}

}  // namespace

const DecoderMemory kStandardDecoderMemory = {StandardAllocate, StandardRelease};

void setPixelSafe(PF_LayerDef* world, A_long x, A_long y, const PF_Pixel& pixel) {
  if (world->width <= 0 || world->height <= 0) return;
  if (x < 0) x = 0;
  if (x >= world->width) x = world->width - 1;
  if (y < 0) y = 0;
  if (y >= world->height) y = world->height - 1;
  std::memcpy(RowOf<uint8_t>(*world, y) + 4 * static_cast<std::ptrdiff_t>(x), &pixel, sizeof(pixel));
}

A_Err DrawPreviewFrame(AEIO_InData* basic_dataP, AEIO_InSpecH specH, PF_EffectWorld* destination,
                       const DecoderMemory& memory) {
  AEGP_SuiteHandler suites(basic_dataP->pica_basicP);

  // The options record stays locked for the whole draw.
  void* optionsH = nullptr;
  MemHandleLock optionsLock;
  A_Err err = suites.IOInSuite()->AEGP_GetInSpecOptionsHandle(specH, &optionsH);
  if (!err && optionsH) err = optionsLock.Lock(suites.MemorySuite(), static_cast<AEGP_MemHandle>(optionsH));

  PF_PixelFormat format = PF_PixelFormat_INVALID;
  if (!err) err = suites.PFWorldSuite()->PF_GetPixelFormat(destination, &format);
  if (!err && !IsHandledFormat(format)) err = PF_Err_BAD_CALLBACK_PARAM;
  if (!err)
    err = DrawAtSize(basic_dataP, suites, static_cast<const LVS_Options*>(optionsLock.Data()), destination, format,
                     memory);
  return err;
}

A_Err DrawSparseFrame(AEIO_InData* basic_dataP, AEIO_InSpecH specH, const AEIO_DrawSparseFramePB*, PF_EffectWorld* wP,
                      AEIO_DrawingFlags*) {
  return LVS_ErrorBoundary([&]() -> A_Err { return DrawPreviewFrame(basic_dataP, specH, wP, kStandardDecoderMemory); });
}
