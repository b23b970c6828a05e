#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "wavproc/loudness.h"

// The volume dialog without a toolkit: the window, the command line and the tests share it.
namespace tunekiln {

// The factor the samples are scaled by; set only when the dialog closes with OK. One per thread:
// the files of a batch run at once each set and read their own.
extern thread_local float g_volumeMultiple;

// What the entry shows when the dialog opens.
inline constexpr std::string_view kInitialVolumeEntry = "2";

// OK accepts an entry that starts with a digit and holds nothing but digits and points.
bool volume_entry_is_valid(std::string_view entry);

// OK: stores the entry's value in g_volumeMultiple and answers true; a refused entry leaves
// it alone and answers false (the dialog then says "输入错误!" and stays open).
bool accept_volume_entry(std::string_view entry);

// The entry's factor in decibels, 20 × log10(x) with two decimals, shown beside it as it changes.
std::string volume_decibel_text(std::string_view entry);

// The decimals a largest multiple is found to: two, or below 0.1 (a float file beyond full scale)
// as many as keep two significant digits.
int multiple_decimals(double multiple);

// A multiple to multiple_decimals() decimals, in the form the entry takes (digits and a point).
std::string multiple_entry_text(double multiple);

// The line under the dialog's controls: the file's peak and the largest multiple that does not
// clip (nothing for a silent file).
std::string volume_headroom_text(double peakDbfs, std::optional<double> largestMultiple);

// For the multiple entered so far: "N samples would clip (P %)", or nothing when none would.
std::string volume_clipping_text(std::uint64_t clipped, std::uint64_t samples);

// The second line of the finish message when samples were clipped: "N samples clipped (P %)".
std::string clipped_samples_line(std::uint64_t clipped, std::uint64_t samples);
// The line of the finish message for a float file with such samples: "N samples are infinite or NaN (P %)".
std::string non_finite_samples_line(std::uint64_t nonFinite, std::uint64_t samples);

// The factor that applies a gain to a loudness target: a gain lowered to meet a peak's limit
// is shaded below it, so that rounding the factor to a float never takes a sample past it.
float target_multiple(const TargetGain& gain);

// The finish message's line when a peak lowered the gain: the loudness reached and why.
std::string target_lowered_line(const TargetGain& gain, double targetLufs, double ceilingDbtp);

// What the loudness target entry shows when the dialog opens, in LUFS.
inline constexpr std::string_view kInitialLoudnessTargetEntry = "-16";
// The ceiling of the true peak that the target's multiple keeps to, in dBTP.
inline constexpr double kTargetCeilingDbtp = -1.0;

// The file's loudness line: "Loudness -23.0 LUFS, true peak -20.0 dBTP", or why it has none.
std::string volume_loudness_text(const LoudnessResult& loudness);

// What the multiple entered so far gives: "The multiple gives -17.0 LUFS, true peak -14.0 dBTP";
// empty for an entry OK refuses or a file without a loudness.
std::string entered_loudness_text(const LoudnessResult& loudness, std::string_view entry);

// The target button: the multiple entry's text that reaches the target, the ceiling applied,
// rounded down; or the refusal's message, for a target that is no number of LUFS from -70 to 0
// or a file without a loudness.
struct TargetFill {
  std::string entry;
  std::string refusal;
};
TargetFill target_multiple_fill(const LoudnessResult& loudness, std::string_view targetEntry);

// The number at the start of the text as the C library's atof reads it in the "C" locale
// (leading blanks, a sign, digits with a point, an exponent); 0 when there is none.
double leading_number(std::string_view text);

}  // namespace tunekiln
