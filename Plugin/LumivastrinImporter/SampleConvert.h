// Sample conversions between the host's three pixel depths, and the moves of
// 16-bit samples between the host's range (0 to 32768) and the full range
// (0 to 65535).
//
// The integer conversions round to nearest, so an 8-bit value survives the
// way to 16 bits and back. Everything here is a plain inline function on one
// sample, so that the row loops calling it vectorise.
#pragma once

#include <cstdint>

// 16-bit samples of the host's range end here; 32768 is full intensity.
constexpr uint32_t kHostWhite16 = 32768;

// Limits a float sample to 0.0 .. 1.0 before it is stored as an integer. A
// NaN is taken as 0: converting it to an integer is undefined, and a NaN
// sample is stored as black.
inline float ClampForStore(float v) { return v >= 0.0f ? (v <= 1.0f ? v : 1.0f) : 0.0f; }

// A 16-bit sample above the host's white can only come from a world that
// really holds full-range samples without being flagged so. Taken as white,
// it cannot wrap (65535 would otherwise give 254 at 8 bits) and cannot leave
// the nominal float range.
inline uint32_t HostRange16(uint16_t v) { return v > kHostWhite16 ? kHostWhite16 : v; }

template <class To, class From>
To Convert(From v);

template <>
inline uint16_t Convert<uint16_t, uint8_t>(uint8_t v) {
  return static_cast<uint16_t>((uint32_t(v) * 32768u + 128u) / 255u);
}

template <>
inline float Convert<float, uint8_t>(uint8_t v) {
  return float(v) / 255.0f;
}

template <>
inline uint8_t Convert<uint8_t, uint16_t>(uint16_t v) {
  return static_cast<uint8_t>((HostRange16(v) * 255u + 16384u) / 32768u);
}

template <>
inline float Convert<float, uint16_t>(uint16_t v) {
  return float(HostRange16(v)) / 32768.0f;
}

template <>
inline uint8_t Convert<uint8_t, float>(float v) {
  return static_cast<uint8_t>(ClampForStore(v) * 255.0f + 0.5f);
}

template <>
inline uint16_t Convert<uint16_t, float>(float v) {
  return static_cast<uint16_t>(ClampForStore(v) * 32768.0f + 0.5f);
}

// Full range to host range: 32768 gives 16384, 65535 gives 32768.
inline uint16_t Demote(uint16_t v) {
  const uint32_t w = v;
  return static_cast<uint16_t>(w <= 32768u ? w >> 1 : ((w - 1u) >> 1) + 1u);
}

// Host range to full range: 16384 gives 32768, 32768 gives 65535. A sample
// above the host's white saturates at 65535 instead of wrapping around.
inline uint16_t Promote(uint16_t v) {
  const uint32_t w = HostRange16(v);
  return static_cast<uint16_t>(w <= 16384u ? w << 1 : ((w - 1u) << 1) + 1u);
}
