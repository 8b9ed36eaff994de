// The JPEG decoder on arbitrary bytes: no crash, no leak, no read beyond the
// input, a consistent picture after Success, and the same bytes from the
// vector and the portable code.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "jpeg_decoder.h"

namespace {

// Counts live blocks, so that a decoder which forgets one is caught at once
// rather than at the end of the run.
int64_t liveBlocks = 0;
// No single block above this, as fuzzing services cap decoders: the
// decoder's own bounds let a few hundred bytes ask for a frame of millions
// of pixels, whose decode takes the time of hundreds of small inputs. The
// decoder then stops with AllocationFailed, which both code paths must
// reach alike.
constexpr uint64_t kBlockBudget = uint64_t(8) << 20;
bool refused = false;
void* Allocate(uint64_t size) {
  if (size > kBlockBudget) {
    refused = true;
    return nullptr;
  }
  void* p = std::malloc(size ? size : 1);
  if (p) ++liveBlocks;
  return p;
}
void Release(void* p) {
  if (p) --liveBlocks;
  std::free(p);
}

struct Outcome {
  Jpeg::Decoder::ResultCode result;
  int32_t width = 0, height = 0, components = 0;
  std::string image;
};

Outcome Decode(const uint8_t* data, size_t size, bool vector) {
  Outcome out{};
  refused = false;
  {
    Jpeg::Decoder d(data, size, Allocate, Release,
                    vector ? Jpeg::Decoder::KernelChoice::Best : Jpeg::Decoder::KernelChoice::Portable);
    out.result = d.GetResult();
    lvs_fuzz::Require(!refused || out.result == Jpeg::Decoder::AllocationFailed,
                      "a refused block did not end the decode with AllocationFailed");
    // A scan with no frame header before it decodes to nothing at all, and
    // says so with a size of 0 by 0: there is no picture to check.
    const bool nothing = d.GetWidth() == 0 && d.GetHeight() == 0 && d.GetComponentCount() == 0;
    if (out.result == Jpeg::Decoder::Success && !nothing) {
      out.width = d.GetWidth();
      out.height = d.GetHeight();
      out.components = d.GetComponentCount();
      lvs_fuzz::Require(out.width > 0 && out.height > 0, "Success with an empty picture");
      lvs_fuzz::Require(out.components == 1 || out.components == 3, "Success with a component count not 1 or 3");
      lvs_fuzz::Require(uint64_t(out.width) * uint64_t(out.height) <= Jpeg::Decoder::MaxPixels,
                        "Success above the pixel limit");
      const uint8_t* image = d.GetImage();
      lvs_fuzz::Require(image != nullptr, "Success without an image");
      // Copying every byte lets AddressSanitizer check the image's size.
      out.image.assign(reinterpret_cast<const char*>(image), size_t(out.width) * out.height * out.components);
    }
  }
  lvs_fuzz::Require(liveBlocks == 0, "decoder left memory behind");
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A private copy of exactly the input's size: a read past its end is then
  // a heap overflow that AddressSanitizer reports.
  uint8_t* copy = static_cast<uint8_t*>(std::malloc(size ? size : 1));
  if (size) std::memcpy(copy, data, size);
  const Outcome vector = Decode(copy, size, true);
  const Outcome portable = Decode(copy, size, false);
  std::free(copy);
  lvs_fuzz::Require(vector.result == portable.result, "vector and portable code disagree on the result");
  lvs_fuzz::Require(
      vector.width == portable.width && vector.height == portable.height && vector.components == portable.components,
      "vector and portable code disagree on the size");
  lvs_fuzz::Require(vector.image == portable.image, "vector and portable code give different pixels");
  return 0;
}
