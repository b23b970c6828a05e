#include "cli/cut_time.h"

namespace tunekiln {
namespace {

constexpr std::uint64_t kLastMillisecond = ((23 * 60 + 59) * 60 + 59) * 1000 + 999;
constexpr std::size_t kMostDigits = 5;        // 86399 seconds as S; more can only be out of range
constexpr std::size_t kMostFrameDigits = 18;  // below 10^18: any frame index a file can hold
constexpr std::size_t kMostDecimals = 3;

// Digits only, at least one; nothing on anything else or beyond `mostDigits`.
std::optional<std::uint64_t> parse_digits(std::string_view text, std::size_t mostDigits) {
  if (text.empty() || text.size() > mostDigits) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

}  // namespace

std::optional<CutPoint> parse_cut_time(std::string_view text) {
  if (text.ends_with('s')) {
    const auto frame = parse_digits(text.substr(0, text.size() - 1), kMostFrameDigits);
    if (!frame) return std::nullopt;
    return CutPoint{*frame, true};
  }
  std::uint64_t milliseconds = 0;
  const auto point = text.find('.');
  if (point != std::string_view::npos) {
    const auto decimals = text.substr(point + 1);
    const auto fraction = parse_digits(decimals, kMostDecimals);
    if (!fraction) return std::nullopt;
    milliseconds = *fraction;
    for (std::size_t scale = decimals.size(); scale < kMostDecimals; ++scale) milliseconds *= 10;
    text = text.substr(0, point);
  }
  std::uint64_t seconds = 0;
  int fields = 0;
  for (;;) {
    const auto colon = text.find(':');
    const auto value = parse_digits(text.substr(0, colon), kMostDigits);
    if (!value || ++fields > 3) return std::nullopt;
    // Behind a colon a field counts minutes or seconds of a larger unit.
    if (fields > 1 && *value >= 60) return std::nullopt;
    seconds = seconds * 60 + *value;
    if (seconds * 1000 + milliseconds > kLastMillisecond) return std::nullopt;
    if (colon == std::string_view::npos) return CutPoint{seconds * 1000 + milliseconds, false};
    text.remove_prefix(colon + 1);
  }
}

}  // namespace tunekiln
