#pragma once

#include <cstdint>

// Where things are on the waveform strip, without a toolkit: its first column shows the start
// of the stream and its last column the end.
namespace tunekiln {

// The share of the stream, 0 to 1, shown at column `x` of a strip `width` columns wide; a
// point outside the strip counts as its nearer edge.
double strip_share(int x, int width);
// The column of a strip `width` columns wide that shows `share` of the stream.
int strip_column(double share, int width);
// The millisecond of a stream `lengthMs` long at `share` of it, to the nearest.
std::uint64_t share_milliseconds(double share, std::uint64_t lengthMs);

// A range of the stream, as shares, first the earlier.
struct StripSelection {
  double from = 0;
  double to = 0;
};

// What a press at `pressX` and a release at `releaseX` make: a range when the pointer went at
// least a few columns, else nothing (a click).
struct StripGesture {
  bool isSelection = false;
  StripSelection range;  // for a click, `from` is where it was
};
StripGesture strip_gesture(int pressX, int releaseX, int width);

}  // namespace tunekiln
