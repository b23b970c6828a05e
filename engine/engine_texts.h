#pragma once

#include <string_view>

// The messages of the playback engine, exactly as users and scripts see them.
namespace tunekiln::engine_texts {

// What PLAYER_NTF_WRITE_FAILED is shown as.
inline constexpr std::string_view kWavWriteError = "Write the output wav file error!";
// What PLAYER_NTF_READ_FAILED is shown as.
inline constexpr std::string_view kWavReadError = "Read the input wav file error!";

}  // namespace tunekiln::engine_texts
