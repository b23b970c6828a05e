#include "shell/waveform_strip_logic.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tunekiln {
namespace {

// A hand that clicks moves a little; a drag this short is still a click.
constexpr int kDragColumns = 3;

}  // namespace

double strip_share(int x, int width) {
  if (width <= 1) return 0;
  return std::clamp(static_cast<double>(x) / (width - 1), 0.0, 1.0);
}

int strip_column(double share, int width) {
  if (width <= 1) return 0;
  return static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * (width - 1)));
}

std::uint64_t share_milliseconds(double share, std::uint64_t lengthMs) {
  return static_cast<std::uint64_t>(std::llround(std::clamp(share, 0.0, 1.0) * static_cast<double>(lengthMs)));
}

StripGesture strip_gesture(int pressX, int releaseX, int width) {
  const double press = strip_share(pressX, width);
  if (std::abs(releaseX - pressX) < kDragColumns) return {false, {press, press}};
  const double release = strip_share(releaseX, width);
  return {true, {std::min(press, release), std::max(press, release)}};
}

}  // namespace tunekiln
