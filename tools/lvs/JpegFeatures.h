// Naming the JPEG feature that made the plug-in's decoder refuse a file, by
// walking its markers up to the first scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace lvs {

// For a file the decoder reported as UnsupportedFeature: a phrase that
// completes "The preview ...", e.g. "is a progressive JPEG" or "uses 12-bit
// samples". Never empty: a generic phrase when nothing specific is found.
std::string DescribeUnsupportedJpeg(const uint8_t* data, size_t size);

}  // namespace lvs
