#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

namespace tunekiln {

// A size or count for a 32-bit header field: one that does not fit gives the largest the field
// holds, which RIFF readers take as "at least this" (RF64 and BW64 hold the true value elsewhere).
inline std::uint32_t clamp_to_u32(std::uint64_t value) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace tunekiln
