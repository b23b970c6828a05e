#pragma once

#include <array>
#include <cstddef>
#include <vector>

// The true peak of each channel (ITU-R BS.1770 Annex 2): the largest magnitude of the signal
// oversampled by 4 below 96 kHz, by 2 below 192 kHz, not at all above, as libebur128 chooses.
namespace tunekiln {

class TruePeakMeter {
 public:
  static constexpr std::size_t kTaps = 12;  // per phase of the interpolating filter
  using Taps = std::array<float, kTaps>;

  TruePeakMeter(unsigned channels, unsigned sampleRate);

  // `count` interleaved frames on the ±1.0 scale, every sample finite.
  void add(const double* frames, std::size_t count);
  // Linear, full scale = 1.0, over every frame added; the true peak is never below the sample peak.
  double truePeak(unsigned channel) const;
  double samplePeak(unsigned channel) const;

 private:
  // The filter runs over whole blocks only, so where the caller's pieces begin and end changes
  // nothing; the frames of an unfinished block wait in the channel's line.
  static constexpr std::size_t kBlock = 1024;
  static constexpr std::size_t kHistory = kTaps - 1;

  struct Channel {
    std::vector<float> line;  // kHistory samples already filtered, then those waiting
    float truePeak = 0;
    float samplePeak = 0;
  };

  void filterBlock(Channel& channel) const;

  std::vector<Taps> phases_;  // the phases between samples: the phase on the samples is the sample peak
  std::vector<Channel> channels_;
  std::size_t waiting_ = 0;  // frames in each line after its history
};

}  // namespace tunekiln
