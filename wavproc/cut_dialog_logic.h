#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The cut dialog without a toolkit: the window, the command line and the tests share it.
namespace tunekiln {

// One end of the range to cut: a time in milliseconds, or a frame index at the file's own rate.
struct CutPoint {
  std::uint64_t value = 0;
  bool inFrames = false;
  friend bool operator==(const CutPoint&, const CutPoint&) = default;
};

// What to cut: an end of 0 stands for the end of the file; the result fades in over its first
// `fadeMs` milliseconds and out over its last, and keeps its samples as they are for 0.
struct CutRange {
  CutPoint start;
  CutPoint end;
  std::uint32_t fadeMs = 0;
};
// Set when the dialog's OK accepts its entries, or by the command line. One per thread, as the
// volume dialog's factor.
extern thread_local CutRange g_cutRange;

// The first frame at or after `point` at `sampleRate`: a time's frame is rounded up, so that a
// range's start frame is the first in it and its end frame the first behind it.
std::uint64_t cut_frame(CutPoint point, std::uint32_t sampleRate);

// The entries in the order the dialog reads them. The milliseconds come last, so that six
// entries still make a whole-second range (an empty entry counts as 0 milliseconds).
enum CutField {
  kStartHours,
  kStartMinutes,
  kStartSeconds,
  kEndHours,
  kEndMinutes,
  kEndSeconds,
  kStartMilliseconds,
  kEndMilliseconds,
  kCutFieldCount
};
using CutEntries = std::array<std::string, kCutFieldCount>;

inline constexpr int kMaxHours = 23;
inline constexpr int kMaxMinutesOrSeconds = 59;
inline constexpr int kMaxMilliseconds = 999;
// The fade of the dialog's "fade edges": long enough to hide a click, too short to hear as a fade.
inline constexpr std::uint32_t kDialogFadeMs = 5;

// Entries that the next cut dialog opens with in place of zeros, taken by that dialog alone. The
// window sets them to cut a range chosen elsewhere, e.g. g_cutDialogPreset = cut_entries_ms(a, b).
extern thread_local std::optional<CutEntries> g_cutDialogPreset;
// The preset, if any, leaving none behind.
std::optional<CutEntries> take_cut_dialog_preset();

// The dialog's entries for a range in milliseconds. Times past 23:59:59.999 give hours the
// dialog refuses.
CutEntries cut_entries_ms(std::uint64_t startMs, std::uint64_t endMs);

struct CutDialogVerdict {
  bool accepted = false;
  std::string message;  // what the dialog says when it stays open
  int field = -1;       // the entry that was refused, -1 for the order of start and end
};

// OK of the dialog: every entry must be an integer in its range (hours 0..23, minutes and
// seconds 0..59, milliseconds 0..999 or empty); then g_cutRange takes the times and `fadeMs`, and
// start must lie before end, unless end is 0:00:00.000, which stands for the end of the file.
CutDialogVerdict accept_cut_entries(const CutEntries& entries, std::uint32_t fadeMs = 0);

// An entry read as the dialog's integer fields read it: blanks around an optional sign and
// digits; false for anything else.
bool parse_dialog_integer(std::string_view text, long& value);

}  // namespace tunekiln
