#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/notification_sink.h"

// What the commands that drive the playback engine (decode, play) share.
namespace tunekiln {

inline constexpr std::string_view kOpenInputError = "Open the input file error!";

// "1:02:05" for the status line.
std::string clock_text(std::uint32_t seconds);

// The refusal of a file that no decoder takes: "can not recongnize this file format!" and, when
// the WAV decoder can tell why it refused the file, a second line "NAME: reason". Gives 1.
int fail_unrecognized(const std::string& file, const std::string& shownName);

// Waits for the answer to a PING posted behind OPEN; true when the engine refused the file
// before it.
bool refused_before_pong(NotificationQueue& notifications);

}  // namespace tunekiln
