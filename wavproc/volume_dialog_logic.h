#pragma once

#include <string>
#include <string_view>

// The volume dialog without a toolkit: the window, the command line and the tests share it.
namespace tunekiln {

// The factor the samples are scaled by; set only when the dialog closes with OK.
extern float g_volumeMultiple;

// What the entry shows when the dialog opens.
inline constexpr std::string_view kInitialVolumeEntry = "2";

// OK accepts an entry that starts with a digit and holds nothing but digits and points.
bool volume_entry_is_valid(std::string_view entry);

// OK: stores the entry's value in g_volumeMultiple and answers true; a refused entry leaves
// it alone and answers false (the dialog then says "输入错误!" and stays open).
bool accept_volume_entry(std::string_view entry);

// The entry's factor in decibels, 20 × log10(x) with two decimals, shown beside it as it changes.
std::string volume_decibel_text(std::string_view entry);

// The number at the start of the text as the C library's atof reads it in the "C" locale
// (leading blanks, a sign, digits with a point, an exponent); 0 when there is none.
double leading_number(std::string_view text);

}  // namespace tunekiln
