#pragma once

#include <array>
#include <cstdint>

namespace tunekiln {

// The low end of the centre, (L + R) / 2 through a fourth-order Butterworth low-pass made of two
// second-order sections. Voice removal adds it back to R - L, so that the bass and the kick drum,
// which are mixed to the centre as much as the voice, survive it.
class CentreBass {
 public:
  // Frequencies are in hertz; a cut-off at or above half the rate passes everything.
  CentreBass(double cutoffHz, std::uint32_t sampleRate);

  // The next sample of the filtered centre of one frame, on the frame's own scale.
  double next(double left, double right);

 private:
  struct Section {
    double b0, b1, b2, a1, a2;  // normalised so that a0 = 1
    double z1 = 0, z2 = 0;      // transposed direct form II: two numbers of state
    double process(double x);
  };
  std::array<Section, 2> sections_;
};

// The frequency voice removal keeps below when asked to keep the bass without a number.
inline constexpr double kDefaultKeepBassHz = 120.0;

}  // namespace tunekiln
