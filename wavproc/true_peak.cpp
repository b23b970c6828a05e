#include "wavproc/true_peak.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tunekiln {
namespace {

// Outputs computed side by side: the loops below vectorise across them, and their maxima stay
// apart until the end, since a running maximum of floats does not vectorise.
constexpr std::size_t kLanes = 16;
using Lanes = std::array<float, kLanes>;
// A Kaiser window this wide keeps the interpolation within 0.1 dB up to 0.35 of the rate and
// within 0.3 dB up to 0.4 of it.
constexpr double kKaiserBeta = 4;

unsigned oversampling(unsigned sampleRate) {
  if (sampleRate < 96000) return 4;
  return sampleRate < 192000 ? 2 : 1;
}

// The windowed-sinc taps that put a point `fraction` of a sample after the middle sample of the
// window, oldest sample first.
TruePeakMeter::Taps interpolating_taps(double fraction) {
  constexpr double kHalfWidth = TruePeakMeter::kTaps / 2.0;
  TruePeakMeter::Taps taps{};
  for (std::size_t k = 0; k < taps.size(); ++k) {
    const double from = static_cast<double>(k) - (kHalfWidth - 1) - fraction;
    const double sinc = std::sin(std::numbers::pi * from) / (std::numbers::pi * from);
    const double window = std::cyl_bessel_i(0.0, kKaiserBeta * std::sqrt(1 - std::pow(from / kHalfWidth, 2))) /
                          std::cyl_bessel_i(0.0, kKaiserBeta);
    taps[k] = static_cast<float>(sinc * window);
  }
  return taps;
}

// The filter is nearly all the meter's work; on x86-64 a processor with AVX2 and FMA runs it
// twice as fast, chosen when the program loads. ThreadSanitizer's runtime is not up yet when the
// choice is made, so its builds keep the one version.
#if defined(__x86_64__) && defined(__has_attribute) && !defined(__SANITIZE_THREAD__)
#if __has_attribute(target_clones)
#define TUNEKILN_WIDEST_VECTORS __attribute__((target_clones("arch=x86-64-v3", "default")))
#endif
#endif
#ifndef TUNEKILN_WIDEST_VECTORS
#define TUNEKILN_WIDEST_VECTORS
#endif

// The largest magnitude over the first `windows` windows of the taps' length in `line`;
// `windows` is a multiple of kLanes.
TUNEKILN_WIDEST_VECTORS float filtered_peak(const float* line, std::size_t windows, const TruePeakMeter::Taps& taps) {
  Lanes peaks{};
  for (std::size_t first = 0; first < windows; first += kLanes) {
    for (std::size_t lane = 0; lane < kLanes; ++lane) {
      float sum = 0;
      for (std::size_t k = 0; k < taps.size(); ++k) sum += taps[k] * line[first + lane + k];
      peaks[lane] = std::max(peaks[lane], std::abs(sum));
    }
  }
  return *std::max_element(peaks.begin(), peaks.end());
}

// The largest magnitude among `count` samples, a multiple of kLanes.
float sample_peak(const float* samples, std::size_t count) {
  Lanes peaks{};
  for (std::size_t first = 0; first < count; first += kLanes) {
    for (std::size_t lane = 0; lane < kLanes; ++lane) {
      peaks[lane] = std::max(peaks[lane], std::abs(samples[first + lane]));
    }
  }
  return *std::max_element(peaks.begin(), peaks.end());
}

}  // namespace

TruePeakMeter::TruePeakMeter(unsigned channels, unsigned sampleRate) : channels_(channels) {
  const unsigned factor = oversampling(sampleRate);
  for (unsigned phase = 1; phase < factor; ++phase) phases_.push_back(interpolating_taps(double(phase) / factor));
  // The signal is silent before its first sample.
  for (Channel& channel : channels_) channel.line.assign(kHistory + kBlock, 0.0f);
}

void TruePeakMeter::add(const double* frames, std::size_t count) {
  const std::size_t channels = channels_.size();
  while (count > 0) {
    const std::size_t now = std::min(count, kBlock - waiting_);
    for (std::size_t c = 0; c < channels; ++c) {
      float* into = channels_[c].line.data() + kHistory + waiting_;
      for (std::size_t i = 0; i < now; ++i) into[i] = static_cast<float>(frames[i * channels + c]);
    }
    waiting_ += now;
    frames += now * channels;
    count -= now;
    if (waiting_ == kBlock) {
      for (Channel& channel : channels_) filterBlock(channel);
      waiting_ = 0;
    }
  }
}

void TruePeakMeter::filterBlock(Channel& channel) const {
  float* line = channel.line.data();
  channel.samplePeak = std::max(channel.samplePeak, sample_peak(line + kHistory, kBlock));
  for (const Taps& taps : phases_) channel.truePeak = std::max(channel.truePeak, filtered_peak(line, kBlock, taps));
  std::copy(line + kBlock, line + kBlock + kHistory, line);
}

double TruePeakMeter::samplePeak(unsigned channel) const {
  // The samples of an unfinished block count too; past them the line is silent.
  const std::vector<float>& line = channels_[channel].line;
  const std::size_t rounded = (waiting_ + kLanes - 1) / kLanes * kLanes;
  std::vector<float> waiting(line.begin() + kHistory, line.begin() + kHistory + waiting_);
  waiting.resize(rounded, 0.0f);
  return std::max(channels_[channel].samplePeak, sample_peak(waiting.data(), rounded));
}

double TruePeakMeter::truePeak(unsigned channel) const {
  // The signal ends in silence: the windows that reach past the last sample count as well.
  const std::vector<float>& line = channels_[channel].line;
  const std::size_t windows = (waiting_ + kHistory + kLanes - 1) / kLanes * kLanes;
  std::vector<float> ending(line.begin(), line.begin() + kHistory + waiting_);
  ending.resize(windows + kHistory, 0.0f);
  float peak = channels_[channel].truePeak;
  for (const Taps& taps : phases_) peak = std::max(peak, filtered_peak(ending.data(), windows, taps));
  return std::max<double>(peak, samplePeak(channel));
}

}  // namespace tunekiln
