// Pictures and buffers compared as wholes: a failure says where they first
// differ and by how much, not the megabytes of both.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace lvs_test {

template <typename T>
testing::AssertionResult SameSamples(const std::vector<T>& got, const std::vector<T>& expected) {
  if (got.size() != expected.size())
    return testing::AssertionFailure() << got.size() << " samples where " << expected.size() << " were expected";
  const auto first = std::mismatch(got.begin(), got.end(), expected.begin());
  if (first.first == got.end()) return testing::AssertionSuccess();
  size_t differ = 0;
  for (size_t k = 0; k < got.size(); ++k) differ += got[k] != expected[k];
  return testing::AssertionFailure() << differ << " of " << got.size() << " samples differ, the first at "
                                     << size_t(first.first - got.begin()) << ": " << +*first.first << " where "
                                     << +*first.second << " was expected";
}

}  // namespace lvs_test
