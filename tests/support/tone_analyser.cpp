#include "tests/support/tone_analyser.h"

#include <algorithm>
#include <cmath>

namespace tunekiln::test {

double ToneMeasure::amplitude() const { return rms * std::sqrt(2.0); }

ToneMeasure measure_tone(const std::vector<std::int16_t>& interleaved, int channels, int channel, int sampleRate,
                         std::size_t skipFrames) {
  ToneMeasure measure;
  const auto stride = static_cast<std::size_t>(channels);
  const std::size_t total = interleaved.size() / stride;
  if (skipFrames >= total) return measure;
  const auto at = [&](std::size_t frame) {
    return static_cast<double>(interleaved[frame * stride + static_cast<std::size_t>(channel)]) / 32768.0;
  };

  double squares = 0;
  for (std::size_t frame = skipFrames; frame < total; ++frame) {
    squares += at(frame) * at(frame);
    measure.peak = std::max(measure.peak, std::abs(at(frame)));
  }
  measure.rms = std::sqrt(squares / static_cast<double>(total - skipFrames));

  // A crossing counts only after the signal has been clearly negative, so noise around zero
  // does not count twice; its time is interpolated between the two samples around it.
  const double threshold = measure.peak * 0.25;
  bool armed = false;
  double first = -1, last = -1;
  std::size_t crossings = 0;
  for (std::size_t frame = skipFrames + 1; frame < total; ++frame) {
    const double before = at(frame - 1), now = at(frame);
    if (now < -threshold) armed = true;
    if (!armed || before >= 0 || now < 0) continue;
    armed = false;
    const double time = static_cast<double>(frame - 1) + before / (before - now);
    if (first < 0) first = time;
    last = time;
    ++crossings;
  }
  if (crossings >= 2) measure.frequency = static_cast<double>(crossings - 1) * sampleRate / (last - first);
  return measure;
}

std::vector<std::int16_t> samples_of(const Bytes& bytes) {
  std::vector<std::int16_t> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  return samples;
}

}  // namespace tunekiln::test
