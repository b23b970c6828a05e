#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <variant>
#include <vector>

#include "audiofile/pcm_format.h"

// Loudness as broadcasters measure it (ITU-R BS.1770 with EBU R128 gating), through libebur128;
// the true peak is measured by true_peak.h.
namespace tunekiln {

// Why the meter has no figure where one was asked for.
enum class Unmeasured {
  tooShort,  // no whole gating block: shorter than 400 ms (3 s for the loudness range)
  silent,    // no block louder than the absolute gate of -70 LUFS (for a peak: every sample is 0)
};

// A figure in LUFS, LU or dBTP, or why there is none; never an infinity standing for "none".
using LoudnessFigure = std::variant<double, Unmeasured>;

struct LoudnessResult {
  std::uint64_t frames = 0;
  LoudnessFigure integrated = Unmeasured::tooShort;  // LUFS, gated
  LoudnessFigure range = Unmeasured::tooShort;       // LU
  std::vector<double> channelTruePeaks;              // linear, full scale = 1.0
  double truePeak = 0;                               // the largest of them
  double samplePeak = 0;                             // the largest sample, linear
  std::uint64_t nonFiniteSamples = 0;                // NaN or infinite floats, measured as silence
};

// dBTP of a linear true peak; silent for 0.
LoudnessFigure to_dbtp(double truePeak);

struct LoudnessState;

// Measures interleaved PCM block by block, in memory that does not grow with the length: the
// gating blocks go to a histogram of 0.1 LU steps, so a figure may lie up to 0.05 LU from the
// exact mean.
class LoudnessMeter {
 public:
  // Nothing for a format libebur128 does not take (below 16 Hz or above 2822400 Hz, more than 64
  // channels) or when memory runs out. Without the range the meter keeps 0.4 s of samples
  // instead of 3 s, as many meters held at once for an album want; its range is then tooShort.
  static std::optional<LoudnessMeter> make(const PcmFormat& format, bool withRange = true);
  LoudnessMeter(LoudnessMeter&&) noexcept;
  LoudnessMeter& operator=(LoudnessMeter&&) noexcept;
  ~LoudnessMeter();

  // `count` whole frames in the meter's format.
  void add(const std::uint8_t* frames, std::size_t count);
  LoudnessResult result() const;

 private:
  LoudnessMeter(const PcmFormat& format, std::unique_ptr<LoudnessState> state);
  friend LoudnessFigure album_loudness(std::span<const LoudnessMeter* const> meters);

  PcmFormat format_;
  std::unique_ptr<LoudnessState> state_;
};

// The integrated loudness of several files taken together, gated as if they were one programme.
LoudnessFigure album_loudness(std::span<const LoudnessMeter* const> meters);

// A gain that brings a loudness to a target without taking the true peak above a ceiling or a
// sample beyond full scale, where it would clip.
struct TargetGain {
  double fromLufs = 0;         // the loudness measured
  double db = 0;
  double reachedLufs = 0;      // the target, or less where a peak lowered the gain
  bool loweredForPeak = false;
};

std::variant<TargetGain, Unmeasured> gain_to_target(const LoudnessResult& file, double targetLufs,
                                                    double ceilingDbtp);
// One gain for every file of an album, so their relative loudness stays; the ceiling holds for
// the loudest peaks among them.
std::variant<TargetGain, Unmeasured> album_gain_to_target(std::span<const LoudnessMeter* const> meters,
                                                          double targetLufs, double ceilingDbtp);

// ReplayGain 2.0 track values: the gain to its reference of -18 LUFS, and the true peak.
struct ReplayGain {
  double trackGainDb = 0;
  double trackPeak = 0;  // linear, full scale = 1.0
};

std::variant<ReplayGain, Unmeasured> replay_gain(const LoudnessResult& file);

}  // namespace tunekiln
