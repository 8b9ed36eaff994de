// The targets that drive the loaded module: a substitute host (only one may
// exist at a time) that must be left clean by every input, and the footage
// steps they share.
#pragma once

#include <dlfcn.h>
#include <sanitizer/lsan_interface.h>

#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "SubstituteHost.h"

namespace lvs_fuzz {

// The host keeps a record of every handle it ever made, so that a stale one
// is recognised. Its leftover check walks them all, so one host for the
// whole run made every input slower than the one before; a host serves this
// many inputs, then shuts the module down and gives way to a new one.
inline constexpr uint64_t kInputsPerHost = 512;

// Those records also leave every input with more blocks allocated than
// freed, which libFuzzer takes for a possible leak: it ran each input a
// second time and scanned the heap, at half the speed, and gave up after a
// thousand inputs. run.sh turns that off for these targets (-detect_leaks=0)
// and this scan, between two hosts, checks the whole run instead; the input
// it stops at need not be the one that leaked, the report says where the
// block was allocated.
inline void RequireNoLeak() {
  if (__lsan_do_recoverable_leak_check() != 0)
    Fail("memory leaked within the last " + std::to_string(kInputsPerHost) + " inputs (report above)");
}

inline lvs_host::SubstituteHost* NewHost() {
  // A reference of our own keeps the module mapped when a host closes it:
  // libFuzzer goes on reading the coverage counters it registered at load.
  static void* const pinned = dlopen(LVS_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  if (!pinned) Fail(std::string("module did not load: ") + dlerror());
  auto* h = new lvs_host::SubstituteHost(2);
  const A_Err err = h->Load(LVS_PLUGIN_PATH);
  if (err != A_Err_NONE) Fail("module did not load: " + h->LoadError());
  if (!h->IORegistered()) Fail("module did not register its callbacks");
  return h;
}

// After every input: nothing left allocated, locked, acquired or misused.
inline void RequireClean(lvs_host::SubstituteHost& host) {
  const lvs_host::LeftoverReport left = host.Leftovers();
  if (!left.Clean()) Fail("host not clean after the input:\n" + left.Text());
}

// Before every input: the host to use, with its call log and suite events
// cleared, as they would otherwise grow with every input.
inline lvs_host::SubstituteHost& StartInput() {
  static lvs_host::SubstituteHost* host = nullptr;
  static uint64_t inputs = 0;
  if (host && inputs % kInputsPerHost == 0) {
    host->Shutdown();
    if (host->DeathHookResult() != A_Err_NONE)
      Fail("the death hook failed with " + std::to_string(host->DeathHookResult()));
    RequireClean(*host);
    delete host;
    host = nullptr;
    RequireNoLeak();
  }
  if (!host) host = NewHost();
  ++inputs;
  host->Faults().ResetCounts();
  host->Suites().ClearEvents();
  return *host;
}

inline std::u16string Utf16Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// Opens the file as footage; the inSpec is returned even when the open fails.
inline A_Err OpenFootage(lvs_host::SubstituteHost& host, const std::string& path, AEIO_InSpecH* inSpec) {
  *inSpec = host.NewInSpec();
  return host.Calls().InitInSpecFromFile(Utf16Ascii(path), *inSpec);
}

// The plug-in's dispose when it attached a record, then the host forgets
// the inSpec.
inline void CloseFootage(lvs_host::SubstituteHost& host, AEIO_InSpecH inSpec) {
  const auto attrs = host.InSpec(inSpec);
  if (attrs && attrs->options) {
    const A_Err err = host.Calls().DisposeInSpec(inSpec);
    Require(err == A_Err_NONE, "DisposeInSpec failed with " + std::to_string(err));
  }
  host.DeleteInSpec(inSpec);
}

// Whether every pixel's alpha is full. Neither traced for coverage nor
// checked by AddressSanitizer: it reads a million pixels per input and is
// the harness, not the subject, and the host's guard bytes bound the world
// it reads. Each row is counted whole, a loop the compiler vectorises, and
// searched only when it holds a bad pixel.
#define LVS_HARNESS_LOOP __attribute__((no_sanitize("coverage", "address")))
LVS_HARNESS_LOOP inline bool Full(const PF_Pixel& p) { return p.alpha == 255; }
LVS_HARNESS_LOOP inline bool Full(const PF_Pixel16& p) { return p.alpha == 32768; }
LVS_HARNESS_LOOP inline bool Full(const PF_PixelFloat& p) {
  return __builtin_fabsf(p.alpha - 1.0f) < 1e-4f;
}  // resampled

template <class Pixel>
LVS_HARNESS_LOOP bool Opaque(const PF_EffectWorld& w, A_long* badX, A_long* badY) {
  for (A_long y = 0; y < w.height; ++y) {
    const Pixel* row =
        reinterpret_cast<const Pixel*>(reinterpret_cast<const char*>(w.data) + std::ptrdiff_t(y) * w.rowbytes);
    unsigned bad = 0;
    for (A_long x = 0; x < w.width; ++x) bad += !Full(row[x]);
    if (bad == 0) continue;
    for (*badX = 0; Full(row[*badX]); ++*badX) {}
    *badY = y;
    return false;
  }
  return true;
}

inline bool Opaque(const PF_EffectWorld& w, PF_PixelFormat format, A_long* badX, A_long* badY) {
  if (format == PF_PixelFormat_ARGB32) return Opaque<PF_Pixel>(w, badX, badY);
  if (format == PF_PixelFormat_ARGB64) return Opaque<PF_Pixel16>(w, badX, badY);
  return Opaque<PF_PixelFloat>(w, badX, badY);
}
#undef LVS_HARNESS_LOOP

// Draws into a fresh destination and checks what a draw reporting success
// must give: a whole opaque picture, with the world's guard bytes intact.
inline A_Err DrawAndCheck(lvs_host::SubstituteHost& host, AEIO_InSpecH inSpec, PF_PixelFormat format, A_long width,
                          A_long height) {
  PF_EffectWorld* dst = host.Worlds().Create(format, width, height);
  Require(dst != nullptr, "destination world not made");
  const A_Err err = host.Calls().DrawSparseFrame(inSpec, dst);
  Require(host.Worlds().GuardsIntact(dst), "draw wrote outside the destination's rows");
  A_long x = 0, y = 0;
  if (err == A_Err_NONE && !Opaque(*dst, format, &x, &y))
    Fail("draw reported success but left pixel " + std::to_string(x) + "," + std::to_string(y) + " not opaque");
  host.Worlds().Release(dst);
  return err;
}

inline PF_PixelFormat FormatFromByte(uint8_t b) {
  switch (b % 3) {
    case 0:
      return PF_PixelFormat_ARGB32;
    case 1:
      return PF_PixelFormat_ARGB64;
    default:
      return PF_PixelFormat_ARGB128;
  }
}

}  // namespace lvs_fuzz
