#include "cli/cut_time.h"

#include <string>

namespace tunekiln {
namespace {

constexpr std::uint32_t kLastSecond = 23 * 3600 + 59 * 60 + 59;
constexpr std::size_t kMostDigits = 5;  // 86399 seconds as S; more can only be out of range

}  // namespace

std::optional<std::uint32_t> parse_cut_time(std::string_view text) {
  std::uint32_t total = 0;
  int fields = 0;
  for (;;) {
    const auto colon = text.find(':');
    const auto field = text.substr(0, colon);
    if (field.empty() || field.size() > kMostDigits || ++fields > 3) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : field) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    // Behind a colon a field counts minutes or seconds of a larger unit.
    if (fields > 1 && value >= 60) return std::nullopt;
    total = total * 60 + value;
    if (total > kLastSecond) return std::nullopt;
    if (colon == std::string_view::npos) return total;
    text.remove_prefix(colon + 1);
  }
}

CutEntries cut_entries(std::uint32_t startSeconds, std::uint32_t endSeconds) {
  const auto text = [](std::uint32_t value) { return std::to_string(value); };
  return {text(startSeconds / 3600), text(startSeconds / 60 % 60), text(startSeconds % 60),
          text(endSeconds / 3600),   text(endSeconds / 60 % 60),   text(endSeconds % 60)};
}

}  // namespace tunekiln
