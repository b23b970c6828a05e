#include "wavproc/volume_dialog_logic.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tunekiln {

thread_local float g_volumeMultiple = 0.0f;

namespace {
bool is_digit(char c) { return c >= '0' && c <= '9'; }

template <typename... Values>
std::string formatted(const char* format, Values... values) {
  const int length = std::snprintf(nullptr, 0, format, values...);
  std::string text(static_cast<std::size_t>(length), '\0');
  std::snprintf(text.data(), text.size() + 1, format, values...);
  return text;
}

// "N samples ... (P %)": two decimals, or two significant digits for a share below 0.01 %.
std::string count_and_share(std::uint64_t count, std::uint64_t samples, const char* what) {
  const double percent = samples > 0 ? 100.0 * static_cast<double>(count) / static_cast<double>(samples) : 0;
  return formatted(percent >= 0.01 ? "%llu samples %s (%.2f %%)" : "%llu samples %s (%.2g %%)",
                   static_cast<unsigned long long>(count), what, percent);
}
}  // namespace

int multiple_decimals(double multiple) {
  // Beyond 45 decimals a float factor is 0 whatever they hold.
  constexpr int kMostDecimals = 45;
  if (multiple >= 0.1 || !(multiple > 0)) return 2;
  return std::min(kMostDecimals, 1 - static_cast<int>(std::floor(std::log10(multiple))));
}

std::string multiple_entry_text(double multiple) { return formatted("%.*f", multiple_decimals(multiple), multiple); }

std::string volume_headroom_text(double peakDbfs, std::optional<double> largestMultiple) {
  if (!largestMultiple) return "The file is silent: no multiple can clip it.";
  return formatted("Peak %.2f dBFS; the largest multiple that does not clip is %s.", peakDbfs,
                   multiple_entry_text(*largestMultiple).c_str());
}

std::string volume_clipping_text(std::uint64_t clipped, std::uint64_t samples) {
  return clipped == 0 ? std::string() : count_and_share(clipped, samples, "would clip");
}

std::string clipped_samples_line(std::uint64_t clipped, std::uint64_t samples) {
  return count_and_share(clipped, samples, "clipped");
}

std::string non_finite_samples_line(std::uint64_t nonFinite, std::uint64_t samples) {
  return count_and_share(nonFinite, samples, "are infinite or NaN");
}

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
