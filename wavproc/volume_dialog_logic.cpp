#include "wavproc/volume_dialog_logic.h"

#include <locale.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>

namespace tunekiln {

float g_volumeMultiple = 0.0f;

namespace {
bool is_digit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

bool volume_entry_is_valid(std::string_view entry) {
  if (entry.empty() || !is_digit(entry.front())) return false;
  for (const char c : entry) {
    if (!is_digit(c) && c != '.') return false;
  }
  return true;
}

bool accept_volume_entry(std::string_view entry) {
  if (!volume_entry_is_valid(entry)) return false;
  g_volumeMultiple = static_cast<float>(leading_number(entry));
  return true;
}

double leading_number(std::string_view text) {
  // The window's toolkit may switch the process locale; the entry always uses a point.
  static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", nullptr);
  const std::string terminated(text);
  return ::strtod_l(terminated.c_str(), nullptr, cLocale);
}

std::string volume_decibel_text(std::string_view entry) {
  // An amplitude factor: twice the amplitude is +6.02 dB.
  const double decibels = 20.0 * std::log10(leading_number(entry));
  const int length = std::snprintf(nullptr, 0, "%.2f", decibels);
  std::string text(static_cast<std::size_t>(length), '\0');
  std::snprintf(text.data(), text.size() + 1, "%.2f", decibels);
  return text;
}

}  // namespace tunekiln
