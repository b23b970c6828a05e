#include "shell/keep_bass_entry.h"

#include <charconv>
#include <cmath>

namespace tunekiln {

std::optional<double> keep_bass_hz(std::string_view entry) {
  double hz = 0;
  // from_chars ignores the locale, which the toolkit may have switched to a decimal comma.
  const auto [end, error] = std::from_chars(entry.data(), entry.data() + entry.size(), hz, std::chars_format::fixed);
  if (error != std::errc() || end != entry.data() + entry.size() || !std::isfinite(hz) || hz <= 0) return std::nullopt;
  return hz;
}

}  // namespace tunekiln
