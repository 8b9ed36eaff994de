// Suite cache: acquires a host suite on first request and releases every
// suite it acquired when it goes out of scope. Each function that calls the
// host makes its own on the stack from the basic suite pointer it was given,
// even when its caller holds one.
//
// A suite the host will not give raises the missing-suite failure: a thrown
// A_long with the value PF_Err_BAD_CALLBACK_PARAM (516). Every callback and
// the entry catch it at their boundary (ErrorBoundary.h).
#pragma once

#include "LVS_HostSDK.h"

class AEGP_SuiteHandler {
 public:
  enum { kSuiteRows = 41 };

  // Raises the missing-suite failure when pica_basicP is null.
  explicit AEGP_SuiteHandler(const SPBasicSuite* pica_basicP);
  ~AEGP_SuiteHandler();
  AEGP_SuiteHandler(const AEGP_SuiteHandler&) = delete;
  AEGP_SuiteHandler& operator=(const AEGP_SuiteHandler&) = delete;

  // Never null: each either returns the suite or raises the failure.
  const AEGP_RegisterSuite5* RegisterSuite() const;
  const AEGP_UtilitySuite5* UtilitySuite() const;
  const PF_WorldSuite2* PFWorldSuite() const;
  const PF_WorldTransformSuite1* PFWorldTransformSuite() const;
  const AEGP_IterateSuite1* AEGPIterateSuite() const;
  const AEGP_IOInSuite4* IOInSuite() const;
  const AEGP_MemorySuite1* MemorySuite() const;
  const PF_HandleSuite1* HandleSuite() const;

 private:
  // One pointer per row of the known-suite table, null until acquired.
  struct Suites {
    const void* rows[kSuiteRows];
  };

  const void* Row(int row) const;
  const void* LoadSuite(const A_char* name, A_long version) const;
  void ReleaseSuite(const A_char* name, A_long version);
  void ReleaseAllSuites();
  [[noreturn]] void MissingSuiteError() const;

  const SPBasicSuite* basicSuite_;
  mutable Suites suites_;
};
