// A world the plug-in has the host create for the length of one call: the
// drawing world of a frame, or the temporary world of a copy. It is disposed
// of on every way out, and only if the host actually made it.
#pragma once

#include "LVS_HostSDK.h"

class ScopedWorld {
 public:
  explicit ScopedWorld(const PF_WorldSuite2* worlds) : worlds_(worlds) {}
  ~ScopedWorld() {
    if (live_) worlds_->PF_DisposeWorld(nullptr, &world_);
  }
  ScopedWorld(const ScopedWorld&) = delete;
  ScopedWorld& operator=(const ScopedWorld&) = delete;

  // Not cleared: whatever is drawn or converted into it covers it whole.
  A_Err Create(A_long width, A_long height, PF_PixelFormat format) {
    const A_Err err = worlds_->PF_NewWorld(nullptr, width, height, 0, format, &world_);
    live_ = err == A_Err_NONE;
    return err;
  }
  PF_EffectWorld* World() { return &world_; }

 private:
  const PF_WorldSuite2* worlds_;
  PF_EffectWorld world_{};
  bool live_ = false;
};
