// The marker codes the decoder acts on: the byte after 0xFF. Every other
// code is refused as a feature it does not take.
#pragma once

#include <cstdint>

namespace Jpeg {

enum Marker : uint8_t {
  Stuffed = 0x00,  // a 0xFF data byte in the entropy-coded data
  SOF0 = 0xC0,     // baseline frame header: the only frame taken
  DHT = 0xC4,      // Huffman tables
  RST0 = 0xD0,     // restart markers RST0 to RST7, in turn
  RST7 = 0xD7,
  SOI = 0xD8,  // start of image
  EOI = 0xD9,  // end of image
  SOS = 0xDA,  // scan header
  DQT = 0xDB,  // quantisation tables
  DRI = 0xDD,  // restart interval
  APP0 = 0xE0,
  APP15 = 0xEF,
  COM = 0xFE,
  Prefix = 0xFF,  // the byte every marker starts with
};

}  // namespace Jpeg
