#include "wavproc/cut_dialog_logic.h"

#include <climits>
#include <utility>

#include "wavproc/wav_texts.h"

namespace tunekiln {

thread_local CutRange g_cutRange;
thread_local std::optional<CutEntries> g_cutDialogPreset;

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string range_prompt(int low, int high) {
  return "Please enter an integer between " + std::to_string(low) + " and " + std::to_string(high) + ".";
}

bool is_blank_entry(std::string_view text) { return text.find_first_not_of(" \t") == std::string_view::npos; }

int highest_value(int field) {
  switch (field) {
    case kStartHours:
    case kEndHours:
      return kMaxHours;
    case kStartMilliseconds:
    case kEndMilliseconds:
      return kMaxMilliseconds;
    default:
      return kMaxMinutesOrSeconds;
  }
}

std::uint64_t milliseconds(long hours, long minutes, long seconds, long millis) {
  return ((static_cast<std::uint64_t>(hours) * 60 + static_cast<std::uint64_t>(minutes)) * 60 +
          static_cast<std::uint64_t>(seconds)) * 1000 + static_cast<std::uint64_t>(millis);
}

}  // namespace

std::uint64_t cut_frame(CutPoint point, std::uint32_t sampleRate) {
  if (point.inFrames) return point.value;
  // Exact in integers: the times allowed, below a day, times any 32-bit rate stay far below 2^64.
  return (point.value * sampleRate + 999) / 1000;
}

std::optional<CutEntries> take_cut_dialog_preset() { return std::exchange(g_cutDialogPreset, std::nullopt); }

CutEntries cut_entries_ms(std::uint64_t startMs, std::uint64_t endMs) {
  const auto text = [](std::uint64_t value) { return std::to_string(value); };
  return {text(startMs / 3600000), text(startMs / 60000 % 60), text(startMs / 1000 % 60),
          text(endMs / 3600000),   text(endMs / 60000 % 60),   text(endMs / 1000 % 60),
          text(startMs % 1000),    text(endMs % 1000)};
}

bool parse_dialog_integer(std::string_view text, long& value) {
  std::size_t i = 0;
  while (i < text.size() && is_blank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t firstDigit = i;
  long magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    // Saturates like strtol; the range check that follows refuses such a value.
    magnitude = magnitude > (LONG_MAX - 9) / 10 ? LONG_MAX : magnitude * 10 + (text[i] - '0');
  }
  if (i == firstDigit) return false;
  while (i < text.size() && is_blank(text[i])) ++i;
  if (i != text.size()) return false;
  value = negative ? -magnitude : magnitude;
  return true;
}

CutDialogVerdict accept_cut_entries(const CutEntries& entries, std::uint32_t fadeMs) {
  std::array<long, kCutFieldCount> values{};
  for (int field = 0; field < kCutFieldCount; ++field) {
    const int high = highest_value(field);
    const bool optional = field == kStartMilliseconds || field == kEndMilliseconds;
    if (optional && is_blank_entry(entries[field])) continue;
    if (!parse_dialog_integer(entries[field], values[field])) return {false, "Please enter an integer.", field};
    if (values[field] < 0 || values[field] > high) return {false, range_prompt(0, high), field};
  }
  const std::uint64_t startMs =
      milliseconds(values[kStartHours], values[kStartMinutes], values[kStartSeconds], values[kStartMilliseconds]);
  const std::uint64_t endMs =
      milliseconds(values[kEndHours], values[kEndMinutes], values[kEndSeconds], values[kEndMilliseconds]);
  g_cutRange = {{startMs}, {endMs}, fadeMs};
  if (startMs >= endMs && endMs != 0) {
    return {false, std::string(wav_texts::kStartBeforeEnd), -1};
  }
  return {true, {}, -1};
}

}  // namespace tunekiln
