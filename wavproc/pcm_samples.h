#pragma once

#include <algorithm>
#include <cstdint>

// Sample encoding of WAV files: 16-bit signed little-endian, 8-bit unsigned around 128.
namespace tunekiln::pcm {

inline constexpr int kEightBitZero = 128;

inline std::int32_t read16(const std::uint8_t* p) { return static_cast<std::int16_t>(p[0] | p[1] << 8); }

inline void write16(std::uint8_t* p, std::int32_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
}

inline std::int32_t clip16(std::int32_t value) { return std::clamp(value, -32768, 32767); }

// An 8-bit sample as a signed value around 0, and back with clipping.
inline std::int32_t read8(const std::uint8_t* p) { return *p - kEightBitZero; }
inline void write8(std::uint8_t* p, std::int32_t value) {
  *p = static_cast<std::uint8_t>(std::clamp(value, -128, 127) + kEightBitZero);
}

}  // namespace tunekiln::pcm
