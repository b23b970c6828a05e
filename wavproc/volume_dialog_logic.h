#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

// The number at the start of the text as the C library's atof reads it in the "C" locale
// (leading blanks, a sign, digits with a point, an exponent); 0 when there is none.
double leading_number(std::string_view text);

}  // namespace tunekiln
