// The JPEG decoder against the plain reference decoder on arbitrary bytes:
// the same result code, size and pixels, with the vector code allowed and
// forbidden. Seeds: the corpus of fuzz_decoder.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "FuzzSupport.h"
#include "jpeg_decoder.h"
#include "ReferenceJpeg.h"

namespace {

void* Allocate(uint64_t size) { return std::malloc(size ? size : 1); }
void Release(void* p) { std::free(p); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A private copy of exactly the input's size, so that AddressSanitizer
  // sees any read past its end, by either decoder.
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
  if (size) std::memcpy(copy.get(), data, size);
  const lvs_reference::RefResult ref = lvs_reference::ReferenceDecode(copy.get(), size);
  for (bool vector : {true, false}) {
    auto d = std::make_unique<Jpeg::Decoder>(
        copy.get(), size, Allocate, Release,
        vector ? Jpeg::Decoder::KernelChoice::Best : Jpeg::Decoder::KernelChoice::Portable);
    lvs_fuzz::Require(int(d->GetResult()) == ref.result, "result differs from the reference");
    lvs_fuzz::Require(d->GetWidth() == ref.width && d->GetHeight() == ref.height, "size differs from the reference");
    if (!ref.image.empty())
      lvs_fuzz::Require(std::memcmp(d->GetImage(), ref.image.data(), ref.image.size()) == 0,
                        "pixels differ from the reference");
  }
  return 0;
}
