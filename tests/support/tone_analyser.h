#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tunekiln::test {

// What one channel of a recording holds, if it is a steady tone.
struct ToneMeasure {
  // Hz, from the spacing of rising zero crossings; 0 when there are fewer than two
  double frequency = 0;
  // Root mean square, 1.0 = full scale (32768)
  double rms = 0;

  // The sine amplitude the RMS stands for, 1.0 = full scale.
  double amplitude() const { return rms * std::sqrt(2.0); }
};

// Measures one channel of interleaved 16-bit PCM, leaving out the first `skipFrames` frames
// (a decoder's delay, a fade-in).
ToneMeasure measure_tone(const std::vector<std::int16_t>& interleaved, int channels, int channel,
                         int sampleRate, std::size_t skipFrames = 0);

// 16-bit little-endian PCM bytes as samples; a trailing odd byte is left out.
std::vector<std::int16_t> samples_of(const Bytes& bytes);

}  // namespace tunekiln::test
