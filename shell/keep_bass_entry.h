#pragma once

#include <optional>
#include <string_view>

namespace tunekiln {

// The frequency typed into the keep-bass dialog: a whole or decimal number of hertz above 0,
// nothing else; nothing when the entry is not one.
std::optional<double> keep_bass_hz(std::string_view entry);

}  // namespace tunekiln
