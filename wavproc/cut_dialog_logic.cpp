#include "wavproc/cut_dialog_logic.h"

#include <climits>

#include "wavproc/wav_texts.h"

namespace tunekiln {

thread_local std::uint32_t g_cutStartSeconds = 0;
thread_local std::uint32_t g_cutEndSeconds = 0;

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string range_prompt(int low, int high) {
  return "Please enter an integer between " + std::to_string(low) + " and " + std::to_string(high) + ".";
}

}  // namespace

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

CutDialogVerdict accept_cut_entries(const CutEntries& entries) {
  std::array<long, kCutFieldCount> values{};
  for (int field = 0; field < kCutFieldCount; ++field) {
    const int high = (field == kStartHours || field == kEndHours) ? kMaxHours : kMaxMinutesOrSeconds;
    if (!parse_dialog_integer(entries[field], values[field])) return {false, "Please enter an integer.", field};
    if (values[field] < 0 || values[field] > high) return {false, range_prompt(0, high), field};
  }
  g_cutStartSeconds = static_cast<std::uint32_t>(values[kStartHours] * 3600 + values[kStartMinutes] * 60 +
                                                 values[kStartSeconds]);
  g_cutEndSeconds =
      static_cast<std::uint32_t>(values[kEndHours] * 3600 + values[kEndMinutes] * 60 + values[kEndSeconds]);
  if (g_cutStartSeconds >= g_cutEndSeconds && g_cutEndSeconds != 0) {
    return {false, std::string(wav_texts::kStartBeforeEnd), -1};
  }
  return {true, {}, -1};
}

}  // namespace tunekiln
