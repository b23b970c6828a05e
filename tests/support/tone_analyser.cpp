#include "tests/support/tone_analyser.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tunekiln::test {

double ToneMeasure::amplitude() const { return rms * std::sqrt(2.0); }

ToneMeasure measure_tone(const std::vector<std::int16_t>& interleaved, int channels, int channel,
                         int sampleRate, std::size_t skipFrames) {
  // The channel from skipFrames on, 1.0 = full scale
  std::vector<double> x;
  const auto stride = static_cast<std::size_t>(channels);
  for (std::size_t i = skipFrames * stride + channel; i < interleaved.size(); i += stride) {
    x.push_back(interleaved[i] / 32768.0);
  }
  ToneMeasure measure;
  if (x.empty()) return measure;
  for (const double value : x) measure.peak = std::max(measure.peak, std::abs(value));
  measure.rms = std::sqrt(std::inner_product(x.begin(), x.end(), x.begin(), 0.0) / double(x.size()));

  // A crossing counts only after the signal has been clearly negative, so noise around zero
  // does not count twice; its time is interpolated between the two samples around it.
  bool armed = false;
  double first = -1, last = -1;
  std::size_t crossings = 0;
  for (std::size_t i = 1; i < x.size(); ++i) {
    armed = armed || x[i] < -measure.peak / 4;
    if (!armed || x[i - 1] >= 0 || x[i] < 0) continue;
    armed = false;
    last = static_cast<double>(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
    first = first < 0 ? last : first;
    ++crossings;
  }
  if (crossings >= 2) measure.frequency = static_cast<double>(crossings - 1) * sampleRate / (last - first);
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
