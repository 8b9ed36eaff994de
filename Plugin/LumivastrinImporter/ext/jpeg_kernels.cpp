#include "jpeg_kernels.h"

#include "jpeg_colour.h"
#include "jpeg_idct.h"
#include "jpeg_upsample.h"

namespace Jpeg {

Kernels PortableKernels() {
  return Kernels{
      IdctBlockPortable,  ConvertRowPortable, ConvertRowArgbPortable,
      DoubleLinePortable, WeighRowsPortable,  WeighInnerRowsPortable,
  };
}

#if LVS_JPEG_AVX2

bool HasAvx2() { return __builtin_cpu_supports("avx2"); }

Kernels ChooseKernels(bool allowVector) {
  if (!allowVector || !HasAvx2()) return PortableKernels();
  return Kernels{
      IdctBlockAvx2, ConvertRowAvx2, ConvertRowArgbAvx2, DoubleLineAvx2, WeighRowsAvx2, WeighInnerRowsAvx2,
  };
}

#else

bool HasAvx2() { return false; }
Kernels ChooseKernels(bool) { return PortableKernels(); }

#endif

}  // namespace Jpeg
