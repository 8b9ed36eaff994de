// The targets that drive the loaded module: a substitute host that lives for
// the whole process (only one may exist at a time) and must be left clean by
// every input, and the footage steps they share.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "SubstituteHost.h"

namespace lvsfuzz {

// The process-wide host with the module loaded through dlopen, made on
// first use and kept for the whole run.
inline lvshost::SubstituteHost& Host() {
  static lvshost::SubstituteHost* host = [] {
    auto* h = new lvshost::SubstituteHost(2);
    const A_Err err = h->Load(LVS_PLUGIN_PATH);
    if (err != A_Err_NONE) Fail("module did not load: " + h->LoadError());
    if (!h->IORegistered()) Fail("module did not register its callbacks");
    return h;
  }();
  return *host;
}

// Before every input: the host's call log and suite events would otherwise
// grow for the whole run (and look like a leak to libFuzzer).
inline void StartInput(lvshost::SubstituteHost& host) {
  host.Faults().ResetCounts();
  host.Suites().ClearEvents();
}

// After every input: nothing leaked, left locked, left acquired or misused.
inline void RequireClean(lvshost::SubstituteHost& host) {
  const lvshost::LeftoverReport left = host.Leftovers();
  if (!left.Clean()) Fail("host not clean after the input:\n" + left.Text());
}

inline std::u16string Utf16Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// Opens the file as footage; the inSpec is returned even when the open fails.
inline A_Err OpenFootage(lvshost::SubstituteHost& host, const std::string& path, AEIO_InSpecH* inSpec) {
  *inSpec = host.NewInSpec();
  const std::u16string wide = Utf16Ascii(path);
  return host.Callbacks().AEIO_InitInSpecFromFile(host.InData(), reinterpret_cast<const A_UTF16Char*>(wide.c_str()),
                                                  *inSpec);
}

// The plug-in's dispose when it attached a record, then the host forgets
// the inSpec.
inline void CloseFootage(lvshost::SubstituteHost& host, AEIO_InSpecH inSpec) {
  const auto attrs = host.InSpec(inSpec);
  if (attrs && attrs->options) {
    const A_Err err = host.Callbacks().AEIO_DisposeInSpec(host.InData(), inSpec);
    Require(err == A_Err_NONE, "DisposeInSpec failed with " + std::to_string(err));
  }
  host.DeleteInSpec(inSpec);
}

// Every sample's alpha is full. Not traced for coverage: it reads a million
// pixels per input and is the harness, not the subject.
__attribute__((no_sanitize("coverage"))) inline bool Opaque(const PF_EffectWorld& w, PF_PixelFormat format,
                                                           A_long* badX, A_long* badY) {
  for (A_long y = 0; y < w.height; ++y) {
    const char* row = static_cast<const char*>(w.data) + std::ptrdiff_t(y) * w.rowbytes;
    for (A_long x = 0; x < w.width; ++x) {
      bool opaque;
      if (format == PF_PixelFormat_ARGB32) opaque = reinterpret_cast<const PF_Pixel*>(row)[x].alpha == 255;
      else if (format == PF_PixelFormat_ARGB64) opaque = reinterpret_cast<const PF_Pixel16*>(row)[x].alpha == 32768;
      else opaque = std::fabs(reinterpret_cast<const PF_PixelFloat*>(row)[x].alpha - 1.0f) < 1e-4f;  // resampled
      if (!opaque) {
        *badX = x;
        *badY = y;
        return false;
      }
    }
  }
  return true;
}

// Draws into a fresh destination and checks what a draw reporting success
// must give: a whole opaque picture, with the world's guard bytes intact.
inline A_Err DrawAndCheck(lvshost::SubstituteHost& host, AEIO_InSpecH inSpec, PF_PixelFormat format, A_long width,
                          A_long height) {
  PF_EffectWorld* dst = host.Worlds().Create(format, width, height);
  Require(dst != nullptr, "destination world not made");
  AEIO_DrawSparseFramePB pb{};
  AEIO_DrawingFlags flags = 0;
  const A_Err err = host.Callbacks().AEIO_DrawSparseFrame(host.InData(), inSpec, &pb, dst, &flags);
  Require(host.Worlds().GuardsIntact(dst), "draw wrote outside the destination's rows");
  A_long x = 0, y = 0;
  if (err == A_Err_NONE && !Opaque(*dst, format, &x, &y))
    Fail("draw reported success but left pixel " + std::to_string(x) + "," + std::to_string(y) + " not opaque");
  host.Worlds().Release(dst);
  return err;
}

inline PF_PixelFormat FormatFromByte(uint8_t b) {
  switch (b % 3) {
    case 0: return PF_PixelFormat_ARGB32;
    case 1: return PF_PixelFormat_ARGB64;
    default: return PF_PixelFormat_ARGB128;
  }
}

}  // namespace lvsfuzz
