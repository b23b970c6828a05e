#include "tests/support/tone_analyser.h"

#include <cmath>
#include <numeric>

namespace tunekiln::test {

ToneMeasure measure_tone(const std::vector<std::int16_t>& interleaved, int channels, int channel,
                         int sampleRate, std::size_t skipFrames) {
  // The channel from skipFrames on, 1.0 = full scale
  std::vector<double> x;
  const auto stride = static_cast<std::size_t>(channels);
  for (std::size_t i = skipFrames * stride + channel; i < interleaved.size(); i += stride) {
    x.push_back(interleaved[i] / 32768.0);
  }
  ToneMeasure measure;
  measure.rms = std::sqrt(std::inner_product(x.begin(), x.end(), x.begin(), 0.0) / double(x.size()));
  // A crossing counts only after the signal has been clearly negative, so noise around zero
  // does not count twice.
  bool armed = false;
  std::vector<std::size_t> rises;
  for (std::size_t i = 1; i < x.size(); ++i) {
    armed = armed || x[i] < -measure.rms / 2;
    if (!armed || x[i - 1] >= 0 || x[i] < 0) continue;
    armed = false;
    rises.push_back(i);
  }
  if (rises.size() >= 2) {
    measure.frequency = double(rises.size() - 1) * sampleRate / double(rises.back() - rises.front());
  }
  return measure;
}

std::vector<std::int16_t> samples_of(const Bytes& bytes) {
  std::vector<std::int16_t> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<std::int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  return samples;
}

}  // namespace tunekiln::test
