#include "PreviewDraw.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#endif

#include "AEGP_SuiteHandler.h"
#include "Callbacks.h"
#include "ErrorBoundary.h"
#include "ScopedWorld.h"
#include "StyleOptions.h"
#include "StylePackage.h"
#include "WorldCopy.h"
#include "jpeg_decoder.h"
#include "update_preview.h"

namespace {

void* StandardAllocate(uint64_t size) { return std::malloc(static_cast<std::size_t>(size)); }
void StandardRelease(void* block) { std::free(block); }

// The row offset is formed in the address width, like the world copy's.
uint8_t* RowStart(const PF_LayerDef& world, A_long y) {
  return static_cast<uint8_t*>(world.data) + static_cast<std::ptrdiff_t>(y) * world.rowbytes;
}

// The options record, locked for the whole draw when the footage has one.
class OptionsLock {
 public:
  OptionsLock() = default;
  ~OptionsLock() {
    if (memory_) memory_->AEGP_UnlockMemHandle(handle_);
  }
  OptionsLock(const OptionsLock&) = delete;
  OptionsLock& operator=(const OptionsLock&) = delete;

  A_Err Lock(const AEGP_MemorySuite1* memory, AEGP_MemHandle handle, const LVS_Options** record) {
    void* address = nullptr;
    const A_Err err = memory->AEGP_LockMemHandle(handle, &address);
    if (err) return err;
    memory_ = memory;
    handle_ = handle;
    *record = static_cast<const LVS_Options*>(address);
    return A_Err_NONE;
  }

 private:
  const AEGP_MemorySuite1* memory_ = nullptr;
  AEGP_MemHandle handle_ = nullptr;
};

// The host handle the preview entry is read into. A handle or lock the host
// cannot give leaves Data() null.
class PreviewBuffer {
 public:
  explicit PreviewBuffer(const PF_HandleSuite2* handles) : handles_(handles) {}
  ~PreviewBuffer() { Release(); }
  PreviewBuffer(const PreviewBuffer&) = delete;
  PreviewBuffer& operator=(const PreviewBuffer&) = delete;

  uint8_t* Allocate(A_HandleSize size) {
    handle_ = handles_->host_new_handle(size);
    if (handle_) data_ = static_cast<uint8_t*>(handles_->host_lock_handle(handle_));
    return data_;
  }
  uint8_t* Data() const { return data_; }
  void Release() {
    if (data_) handles_->host_unlock_handle(handle_);
    if (handle_) handles_->host_dispose_handle(handle_);
    data_ = nullptr;
    handle_ = nullptr;
  }

 private:
  const PF_HandleSuite2* handles_;
  PF_Handle handle_ = nullptr;
  uint8_t* data_ = nullptr;
};

// Grey to opaque A, R, G, B with red, green and blue alike.
#if defined(__x86_64__) || defined(__i386__)
// One byte shuffle spreads four grey bytes over sixteen, alpha ORed in.
// Returns the pixels done.
__attribute__((target("ssse3"))) A_long ExpandGreyRowSsse3(const uint8_t* from, uint8_t* to, A_long width) {
  const __m128i alpha = _mm_set1_epi32(0xFF);
  A_long x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + x));
    for (int part = 0; part < 4; ++part) {
      const char g = char(4 * part);
      const __m128i order = _mm_setr_epi8(-1, g, g, g, -1, char(g + 1), char(g + 1), char(g + 1), -1, char(g + 2),
                                          char(g + 2), char(g + 2), -1, char(g + 3), char(g + 3), char(g + 3));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 4 * static_cast<std::ptrdiff_t>(x) + 16 * part),
                       _mm_or_si128(_mm_shuffle_epi8(in, order), alpha));
    }
  }
  return x;
}
#endif

void ExpandGreyRow(const uint8_t* __restrict from, uint8_t* __restrict to, A_long width) {
  A_long x = 0;
#if defined(__x86_64__) || defined(__i386__)
  static const bool shuffles = __builtin_cpu_supports("ssse3");
  if (shuffles) x = ExpandGreyRowSsse3(from, to, width);
#endif
  for (; x < width; ++x) {
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
    uint8_t* const out = RowStart(world_, row);
    uint8_t* const argb = Argb(row);
    const A_long width = kStyleWidth;
    if (components == 1) ExpandGreyRow(pixels, argb, width);
    const std::ptrdiff_t samples = 4 * std::ptrdiff_t(width);
    if (format_ == PF_PixelFormat_ARGB64)
      ConvertSamples(argb, reinterpret_cast<uint16_t*>(out), samples);
    else if (format_ == PF_PixelFormat_ARGB128)
      ConvertSamples(argb, reinterpret_cast<float*>(out), samples);
  }

 private:
  uint8_t* Argb(int32_t row) { return format_ == PF_PixelFormat_ARGB32 ? RowStart(world_, row) : argb_.get(); }

  const PF_LayerDef& world_;
  const PF_PixelFormat format_;
  std::unique_ptr<uint8_t[]> argb_;
};

bool IsHandledFormat(PF_PixelFormat format) {
  return format == PF_PixelFormat_ARGB32 || format == PF_PixelFormat_ARGB64 || format == PF_PixelFormat_ARGB128;
}

// Decodes one JPEG into the rows; true when it gave a whole picture of the
// drawing world's size. Only a picture of that size is ever drawn, so a
// frame of any other size is refused from its header, before it gets pixel
// memory. The decoder reports its failures, it never throws.
bool DrawJpeg(const uint8_t* data, uint64_t size, const DecoderMemory& memory, WorldRows& rows) {
  const Jpeg::Decoder decoder(data, size, memory.allocate, memory.release, kStyleWidth, kStyleHeight, rows);
  return decoder.GetResult() == Jpeg::Decoder::Success && decoder.GetWidth() == kStyleWidth &&
         decoder.GetHeight() == kStyleHeight;
}

}  // namespace

const DecoderMemory kStandardDecoderMemory = {StandardAllocate, StandardRelease};

void setPixelSafe(PF_LayerDef* world, A_long x, A_long y, const PF_Pixel& pixel) {
  if (world->width <= 0 || world->height <= 0) return;
  if (x < 0) x = 0;
  if (x >= world->width) x = world->width - 1;
  if (y < 0) y = 0;
  if (y >= world->height) y = world->height - 1;
  std::memcpy(RowStart(*world, y) + 4 * static_cast<std::ptrdiff_t>(x), &pixel, sizeof(pixel));
}

A_Err DrawPreviewFrame(AEIO_InData* basic_dataP, AEIO_InSpecH specH, PF_EffectWorld* destination,
                       const DecoderMemory& memory) {
  AEGP_SuiteHandler suites(basic_dataP->pica_basicP);

  void* optionsH = nullptr;
  A_Err err = suites.IOInSuite()->AEGP_GetInSpecOptionsHandle(specH, &optionsH);
  if (err) return err;
  OptionsLock optionsLock;
  const LVS_Options* options = nullptr;
  if (optionsH) {
    err = optionsLock.Lock(suites.MemorySuite(), static_cast<AEGP_MemHandle>(optionsH), &options);
    if (err) return err;
  }

  // The picture is drawn at the destination's depth: into the destination
  // itself when it has the drawing world's size, else into a world of that
  // size that the host then resamples into the destination.
  const PF_WorldSuite2* worlds = suites.PFWorldSuite();
  PF_PixelFormat format = PF_PixelFormat_INVALID;
  err = worlds->PF_GetPixelFormat(destination, &format);
  if (err) return err;
  if (!IsHandledFormat(format)) return PF_Err_BAD_CALLBACK_PARAM;
  ScopedWorld drawing(worlds);
  PF_EffectWorld* target = destination;
  if (destination->width != kStyleWidth || destination->height != kStyleHeight) {
    err = drawing.Create(kStyleWidth, kStyleHeight, format);
    if (err) return err;
    target = drawing.World();
  }

  // Footage without a record has no package to read: its preview counts as
  // missing. A stored record may lack the path's terminator.
  char path[kOptionsPathSize + 1] = {};
  if (options) std::memcpy(path, options->path, kOptionsPathSize);
  const int32_t size = options ? LVS_GetFileSize(path, kPreviewEntryName) : 0;

  // A buffer the host cannot supply also leaves the preview missing.
  PreviewBuffer buffer(suites.HandleSuite());
  uint64_t previewSize = 0;
  if (size > 0 && buffer.Allocate(static_cast<A_HandleSize>(size))) {
    // An entry that is there but cannot be read is damage, not a missing
    // preview: the host is told, and nothing is drawn.
    if (LVS_ReadFile(path, kPreviewEntryName, buffer.Data(), static_cast<std::size_t>(size)) < 0)
      return PF_Err_INTERNAL_STRUCT_DAMAGED;
    previewSize = static_cast<uint64_t>(size);
  }

  WorldRows rows(*target, format);
  if (!rows.Ready()) return PF_Err_OUT_OF_MEMORY;
  if (!DrawJpeg(buffer.Data(), previewSize, memory, rows)) {
    // Only a shortage of memory gets here; reporting success would leave
    // the host a frame that nothing was drawn into.
    if (!DrawJpeg(bin2c_update_preview, bin2c_update_preview_size, memory, rows)) return PF_Err_OUT_OF_MEMORY;
  }
  buffer.Release();

  if (target != destination) return EasyCopy(basic_dataP, target, destination, false);
  return A_Err_NONE;
}

A_Err DrawSparseFrame(AEIO_InData* basic_dataP, AEIO_InSpecH specH, const AEIO_DrawSparseFramePB*, PF_EffectWorld* wP,
                      AEIO_DrawingFlags*) {
  return LVS_ErrorBoundary([&]() -> A_Err { return DrawPreviewFrame(basic_dataP, specH, wP, kStandardDecoderMemory); });
}
