// The host's calls into the module's callbacks, made the way the host makes
// them: every record handed over (the basic data, the path, the verbiage,
// the frame request, the drawing flags, the time and rectangle records) is
// the host's size exactly, fenced by guard bytes, and checked after the call;
// a record written outside its bytes, or a read-only one written at all, is
// recorded as misuse. Tests that need to pass null or odd pointers call the
// table itself (SubstituteHost::Callbacks()).
#pragma once

#include <string>

#include "LVS_HostSDK.h"

namespace lvs_host {

class SubstituteHost;

class ModuleCalls {
 public:
  explicit ModuleCalls(SubstituteHost& host) : host_(host) {}

  // `path` without its terminator; the module gets it terminated by one
  // zero code unit, as the host passes it.
  A_Err InitInSpecFromFile(const std::u16string& path, AEIO_InSpecH inSpec);
  A_Err DisposeInSpec(AEIO_InSpecH inSpec);
  A_Err FlattenOptions(AEIO_InSpecH inSpec, AEGP_MemHandle* flat);
  A_Err InflateOptions(AEIO_InSpecH inSpec, AEGP_MemHandle flat);
  // *verbiage receives what the module wrote into the host's record.
  A_Err GetInSpecInfo(AEIO_InSpecH inSpec, AEIO_Verbiage* verbiage);
  // The request the host makes for a still: best quality, scale 1, time 0,
  // the whole frame; `request` to make another. *flags, when given,
  // receives the drawing flags the module left.
  A_Err DrawSparseFrame(AEIO_InSpecH inSpec, PF_EffectWorld* world, AEIO_DrawingFlags* flags = nullptr,
                        const AEIO_DrawSparseFramePB* request = nullptr);
  A_Err GetActiveExtent(AEIO_InSpecH inSpec, const A_Time& time, A_LRect* extent);
  A_Err InqNextFrameTime(AEIO_InSpecH inSpec, const A_Time& base, AEIO_TimeDir direction, A_Boolean* found,
                         A_Time* next);
  A_Err CloseSourceFiles(AEIO_InSpecH inSpec);

  // The request DrawSparseFrame makes by default.
  static AEIO_DrawSparseFramePB StillRequest();

 private:
  SubstituteHost& host_;
};

}  // namespace lvs_host
