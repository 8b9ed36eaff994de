// Acquiring the substitute host's suites directly, the way a plug-in would,
// for tests of the host itself.
#pragma once

#include <gtest/gtest.h>

#include "SubstituteHost.h"

template <class Suite>
const Suite* AcquireForTest(lvs_host::SubstituteHost& host, const char* name, int32_t version) {
  const void* table = nullptr;
  EXPECT_EQ(host.BasicSuite()->AcquireSuite(name, version, &table), A_Err_NONE) << name;
  return static_cast<const Suite*>(table);
}
