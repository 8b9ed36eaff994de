// No failure may cross from the plug-in into the host. Every callback and
// the entry run their body through LVS_ErrorBoundary, which turns the
// missing-suite failure (a thrown A_long) into its code and anything else
// (in practice std::bad_alloc) into PF_Err_OUT_OF_MEMORY. Suite caches on
// the way out are released by their destructors as the stack unwinds.
#pragma once

#include <new>

#include "LVS_HostSDK.h"

template <class Body>
A_Err LVS_ErrorBoundary(Body&& body) noexcept {
  try {
    return body();
  } catch (A_long code) {
    return code != A_Err_NONE ? code : PF_Err_BAD_CALLBACK_PARAM;
  } catch (...) {
    return PF_Err_OUT_OF_MEMORY;
  }
}
