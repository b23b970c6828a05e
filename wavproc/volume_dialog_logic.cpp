#include "wavproc/volume_dialog_logic.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <charconv>
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

float target_multiple(const TargetGain& gain) {
  // 0.0001 dB below the limit: far beyond a float's rounding, far below what anyone hears.
  const double shade = gain.loweredForPeak ? -0.0001 : 0.0;
  return static_cast<float>(std::pow(10.0, (gain.db + shade) / 20.0));
}

std::string target_lowered_line(const TargetGain& gain, double targetLufs, double ceilingDbtp) {
  return formatted("Reached %.2f LUFS, not %.2f LUFS: more gain would take the true peak above %.1f dBTP.",
                   gain.reachedLufs, targetLufs, ceilingDbtp);
}

namespace {
std::string unmeasured_text(Unmeasured why) {
  return why == Unmeasured::silent ? "The file is silent: it has no loudness."
                                   : "The file is too short to measure its loudness.";
}
}  // namespace

std::string volume_loudness_text(const LoudnessResult& loudness) {
  if (const auto* why = std::get_if<Unmeasured>(&loudness.integrated)) return unmeasured_text(*why);
  return formatted("Loudness %.1f LUFS, true peak %.1f dBTP", std::get<double>(loudness.integrated),
                   20 * std::log10(loudness.truePeak));
}

std::string entered_loudness_text(const LoudnessResult& loudness, std::string_view entry) {
  const auto* lufs = std::get_if<double>(&loudness.integrated);
  if (lufs == nullptr || !volume_entry_is_valid(entry) || !(leading_number(entry) > 0)) return {};
  const double gain = 20 * std::log10(leading_number(entry));
  return formatted("The multiple gives %.1f LUFS, true peak %.1f dBTP", *lufs + gain,
                   20 * std::log10(loudness.truePeak) + gain);
}

TargetFill target_multiple_fill(const LoudnessResult& loudness, std::string_view targetEntry) {
  double target = 0;
  const char* end = targetEntry.data() + targetEntry.size();
  const auto [stop, error] = std::from_chars(targetEntry.data(), end, target);  // a point in any locale
  if (error != std::errc() || stop != end || !(target >= -70 && target <= 0)) {
    return {.entry = {}, .refusal = "The loudness target is a number of LUFS from -70 to 0."};
  }
  const auto gain = gain_to_target(loudness, target, kTargetCeilingDbtp);
  if (const auto* why = std::get_if<Unmeasured>(&gain)) return {.entry = {}, .refusal = unmeasured_text(*why)};
  // Four decimals, or two significant digits more than a largest multiple has, rounded down so
  // that the ceiling still holds.
  const double multiple = target_multiple(std::get<TargetGain>(gain));
  const int decimals = multiple >= 0.1 ? 4 : multiple_decimals(multiple) + 2;
  const double scale = std::pow(10.0, decimals);
  return {.entry = formatted("%.*f", decimals, std::floor(multiple * scale) / scale), .refusal = {}};
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
