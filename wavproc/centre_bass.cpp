#include "wavproc/centre_bass.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tunekiln {
namespace {

// The quality factors of the two sections of a fourth-order Butterworth filter:
// 1 / (2 cos(pi/8)) and 1 / (2 cos(3 pi/8)).
constexpr double kQualities[2] = {0.54119610014619698, 1.3065629648763766};

}  // namespace

double CentreBass::Section::process(double x) {
  const double y = b0 * x + z1;
  z1 = b1 * x - a1 * y + z2;
  z2 = b2 * x - a2 * y;
  return y;
}

CentreBass::CentreBass(double cutoffHz, std::uint32_t sampleRate) {
  // Bilinear transform with the cut-off pre-warped; kept just below half the rate, where the
  // transform has no frequency left.
  const double nyquist = sampleRate / 2.0;
  const double cutoff = std::clamp(cutoffHz, 1.0, nyquist * 0.999);
  const double omega = 2 * std::numbers::pi * cutoff / sampleRate;
  const double cosine = std::cos(omega);
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    const double alpha = std::sin(omega) / (2 * kQualities[i]);
    const double a0 = 1 + alpha;
    sections_[i] = {.b0 = (1 - cosine) / 2 / a0,
                    .b1 = (1 - cosine) / a0,
                    .b2 = (1 - cosine) / 2 / a0,
                    .a1 = -2 * cosine / a0,
                    .a2 = (1 - alpha) / a0};
  }
}

double CentreBass::next(double left, double right) {
  double value = (left + right) / 2;
  for (Section& section : sections_) value = section.process(value);
  return value;
}

}  // namespace tunekiln
