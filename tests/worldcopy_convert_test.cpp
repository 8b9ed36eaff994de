// Sample conversions and range moves, on worked values.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <tuple>

#include "SampleConvert.h"

namespace {

uint16_t To16(uint8_t v) { return Convert<uint16_t, uint8_t>(v); }
uint8_t To8(uint16_t v) { return Convert<uint8_t, uint16_t>(v); }
uint8_t FloatTo8(float v) { return Convert<uint8_t, float>(v); }
uint16_t FloatTo16(float v) { return Convert<uint16_t, float>(v); }

// Worked values of every conversion: rounding to nearest, clamping above
// the host's white (never wrapping) and below black, NaN as black.
TEST(SampleConvert, WorkedValues) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const std::pair<uint8_t, uint16_t> to16[] = {{0, 0}, {1, 129}, {128, 16448}, {254, 32640}, {255, 32768}};
  for (const auto& [from, to] : to16) EXPECT_EQ(To16(from), to) << int(from);
  // (65535 * 255 + 16384) / 32768 would be 510, stored as 254.
  const std::pair<uint16_t, uint8_t> to8[] = {{64, 0},      {65, 1},      {16384, 128}, {32767, 255},
                                              {32768, 255}, {32769, 255}, {49152, 255}, {65535, 255}};
  for (const auto& [from, to] : to8) EXPECT_EQ(To8(from), to) << from;
  const std::tuple<float, uint8_t, uint16_t> fromFloat[] = {{1.5f, 255, 32768}, {-0.2f, 0, 0},       {0.5f, 128, 16384},
                                                            {1.0f, 255, 32768}, {nan, 0, 0},         {inf, 255, 32768},
                                                            {-inf, 0, 0},       {1.5f / 32768, 0, 2}};
  for (const auto& [from, to8bit, to16bit] : fromFloat) {
    EXPECT_EQ(FloatTo8(from), to8bit) << from;
    EXPECT_EQ(FloatTo16(from), to16bit) << from;
  }
  EXPECT_EQ((Convert<float, uint8_t>(255)), 1.0f);
  EXPECT_EQ((Convert<float, uint8_t>(128)), 128 / 255.0f);
  for (const auto& [from, to] : {std::pair<uint16_t, float>{32768, 1.0f}, {16384, 0.5f}, {40000, 1.0f}})
    EXPECT_EQ((Convert<float, uint16_t>(from)), to) << from;
  const std::pair<uint16_t, uint16_t> demote[] = {{0, 0},         {1, 0},         {32767, 16383},
                                                  {32768, 16384}, {32769, 16385}, {65535, 32768}};
  for (const auto& [from, to] : demote) EXPECT_EQ(Demote(from), to) << from;
  const std::pair<uint16_t, uint16_t> promote[] = {{1, 2},         {16384, 32768}, {16385, 32769},
                                                   {32768, 65535}, {32769, 65535}, {65535, 65535}};
  for (const auto& [from, to] : promote) EXPECT_EQ(Promote(from), to) << from;
  // Round trips keep every value of the narrower range.
  for (int v = 0; v <= 255; ++v) {
    ASSERT_EQ(To8(To16(uint8_t(v))), v) << v;
    ASSERT_EQ(FloatTo8(Convert<float, uint8_t>(uint8_t(v))), v) << v;
  }
  for (uint32_t v = 0; v <= 32768; ++v) {
    ASSERT_EQ(FloatTo16(Convert<float, uint16_t>(uint16_t(v))), v) << v;
    ASSERT_EQ(Demote(Promote(uint16_t(v))), v) << v;
  }
}

}  // namespace
