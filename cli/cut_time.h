#pragma once

#include <optional>
#include <string_view>

#include "wavproc/cut_dialog_logic.h"

namespace tunekiln {

// A point of cut's range: a time as S, M:S or H:M:S, digits only, minutes and seconds below 60
// after a colon, the seconds with 1 to 3 decimals if any, at most 23:59:59.999 as the cut dialog
// allows; or a frame index as Ns. Nothing for anything else.
std::optional<CutPoint> parse_cut_time(std::string_view text);

}  // namespace tunekiln
