#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "audiofile/pcm_format.h"

// One sample in any of the WAVE encodings, read and written in place. Callers with a hot loop
// switch on the encoding once and call these with a constant, which the compiler folds.
namespace tunekiln::pcm {

inline constexpr int kEightBitZero = 128;

// An integer sample in its own range (-128..127 for 8 bits, up to -2^31..2^31-1 for 32 bits).
inline std::int32_t load_integer(const std::uint8_t* p, SampleEncoding encoding) {
  switch (encoding) {
    case SampleEncoding::unsigned8:
      return p[0] - kEightBitZero;
    case SampleEncoding::signed16:
      return static_cast<std::int16_t>(p[0] | p[1] << 8);
    case SampleEncoding::signed24:
      // Assembled in the top three bytes, then shifted down with its sign.
      return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) << 8 | static_cast<std::uint32_t>(p[1]) << 16 |
                                       static_cast<std::uint32_t>(p[2]) << 24) >> 8;
    default:
      return static_cast<std::int32_t>(p[0] | static_cast<std::uint32_t>(p[1]) << 8 |
                                       static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
  }
}

// The limits of an integer encoding.
inline std::int64_t integer_max(SampleEncoding encoding) {
  return (std::int64_t{1} << (8 * bytes_per_sample(encoding) - 1)) - 1;
}
inline std::int64_t integer_min(SampleEncoding encoding) { return -integer_max(encoding) - 1; }

// Writes an integer sample, clipped to the encoding's range instead of wrapping around.
inline void store_integer(std::uint8_t* p, SampleEncoding encoding, std::int64_t value) {
  const auto clipped = static_cast<std::uint32_t>(std::clamp(value, integer_min(encoding), integer_max(encoding)));
  switch (encoding) {
    case SampleEncoding::unsigned8:
      p[0] = static_cast<std::uint8_t>(clipped + kEightBitZero);
      return;
    case SampleEncoding::signed16:
    case SampleEncoding::signed24:
    case SampleEncoding::signed32:
      for (std::uint32_t i = 0; i < bytes_per_sample(encoding); ++i) p[i] = static_cast<std::uint8_t>(clipped >> (8 * i));
      return;
    default:
      return;
  }
}

inline double load_float(const std::uint8_t* p, SampleEncoding encoding) {
  if (encoding == SampleEncoding::float32) {
    float value;
    std::memcpy(&value, p, sizeof value);
    return value;
  }
  double value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

inline void store_float(std::uint8_t* p, SampleEncoding encoding, double value) {
  if (encoding == SampleEncoding::float32) {
    const auto narrow = static_cast<float>(value);
    std::memcpy(p, &narrow, sizeof narrow);
  } else {
    std::memcpy(p, &value, sizeof value);
  }
}

// Any sample on the scale of full scale = ±1.0; integers divided by 2^(bits-1).
inline double load_real(const std::uint8_t* p, SampleEncoding encoding) {
  if (encoding == SampleEncoding::float32 || encoding == SampleEncoding::float64) return load_float(p, encoding);
  return load_integer(p, encoding) / static_cast<double>(integer_max(encoding) + 1);
}

// Any sample as a 32-bit integer with full scale at 2^31: integers shifted up, floats scaled and
// clipped (a float file may hold values beyond ±1.0; not-a-number reads as silence).
inline std::int32_t load_full_scale32(const std::uint8_t* p, SampleEncoding encoding) {
  if (encoding == SampleEncoding::float32 || encoding == SampleEncoding::float64) {
    const double scaled = load_float(p, encoding) * 2147483648.0;
    if (std::isnan(scaled)) return 0;
    return static_cast<std::int32_t>(std::clamp(scaled, -2147483648.0, 2147483647.0));
  }
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(load_integer(p, encoding))
                                   << (32 - 8 * bytes_per_sample(encoding)));
}

}  // namespace tunekiln::pcm
