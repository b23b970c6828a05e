#pragma once

#include <cstdint>

namespace tunekiln {

// What the window last started; its position and progress handlers act only in their own mode.
inline constexpr std::int32_t MODE_NONE = -1;
inline constexpr std::int32_t MODE_PLAYING = 1;
inline constexpr std::int32_t MODE_ENCODING = 2;
inline constexpr std::int32_t MODE_DECODING = 4;

// Process-wide, used on the user-interface thread only. Nothing sets it back to MODE_NONE.
inline std::int32_t activityMode = MODE_NONE;

}  // namespace tunekiln
