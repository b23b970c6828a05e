#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The cut dialog without a toolkit: the window, the command line and the tests share it.
namespace tunekiln {

// The range to cut, in seconds; set when the dialog's OK gets six integers in range. One per
// thread, as the volume dialog's factor.
extern thread_local std::uint32_t g_cutStartSeconds;
extern thread_local std::uint32_t g_cutEndSeconds;

// The six entries in the order the dialog reads them.
enum CutField { kStartHours, kStartMinutes, kStartSeconds, kEndHours, kEndMinutes, kEndSeconds, kCutFieldCount };
using CutEntries = std::array<std::string, kCutFieldCount>;

inline constexpr int kMaxHours = 23;
inline constexpr int kMaxMinutesOrSeconds = 59;

struct CutDialogVerdict {
  bool accepted = false;
  std::string message;  // what the dialog says when it stays open
  int field = -1;       // the entry that was refused, -1 for the order of start and end
};

// OK of the dialog: every entry must be an integer in its range (hours 0..23, minutes and
// seconds 0..59); then the two times are stored and start must lie before end, unless end is
// 0:00:00, which stands for the end of the file.
CutDialogVerdict accept_cut_entries(const CutEntries& entries);

// An entry read as the dialog's integer fields read it: blanks around an optional sign and
// digits; false for anything else.
bool parse_dialog_integer(std::string_view text, long& value);

}  // namespace tunekiln
