#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "wavproc/cut_dialog_logic.h"

namespace tunekiln {

// A cut time in whole seconds: S, M:S or H:M:S, digits only, minutes and seconds below 60
// after a colon, at most 23:59:59 as the cut dialog allows. Nothing for anything else.
std::optional<std::uint32_t> parse_cut_time(std::string_view text);

// The cut dialog's six fields for two times in seconds.
CutEntries cut_entries(std::uint32_t startSeconds, std::uint32_t endSeconds);

}  // namespace tunekiln
