#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "audiofile/byte_reader.h"
#include "audiofile/wave_header.h"
#include "wavproc/loudness.h"

namespace tunekiln {

// The levels of one channel. Values are on the scale where full scale is 1.0.
struct ChannelLevels {
  double peak = 0;             // the largest magnitude
  double peakValue = 0;        // the sample that has it, as stored (an integer for integer files)
  double highest = 0;          // the largest and the smallest sample, as stored
  double lowest = 0;
  double rms = 0;              // root mean square
  std::uint64_t clipped = 0;   // samples in runs of kClippedRun or more at full scale
  std::uint64_t nonFinite = 0;  // infinite or NaN samples (float files), left out of every level
};

// A run of this many samples at full scale in a row is taken for clipping, not for a peak.
inline constexpr std::uint32_t kClippedRun = 3;

// What removing the centre (right minus left) will leave, judged from the channels' correlation.
enum class CentreRemoval {
  silence,   // both channels are identical: the result is silence
  likely,    // strongly correlated: a centred voice is likely to go
  unlikely,  // weakly or negatively correlated: little is centred, so little can be removed
};

struct PcmAnalysis {
  std::uint64_t frames = 0;
  std::vector<ChannelLevels> channels;
  // Stereo only: Pearson's correlation of left and right (nothing when one channel is silent)
  // and whether every frame has equal channels.
  std::optional<double> correlation;
  bool identicalChannels = false;
};

// How many samples each volume multiple would clip, from a histogram of every sample: exact for
// 8- and 16-bit files, to the nearest of 65536 steps of the range for wider and float ones.
class ClipCounter {
 public:
  explicit ClipCounter(SampleEncoding encoding);

  void add(const std::uint8_t* samples, std::size_t count);
  // The samples that `multiple` would clip as "change volume" computes (a float factor, the
  // product truncated toward zero, for integers); for float files, those it would take past
  // full scale.
  std::uint64_t clippedBy(double multiple) const;
  // The share of the samples' power that "change volume" keeps at `multiple` once it truncates
  // the products toward zero: below 1 where few steps make up the samples, as in 8-bit files.
  // 1 where the counts are not exact.
  double keptPower(double multiple) const;
  std::uint64_t samples() const { return samples_; }
  bool exact() const { return bytes_per_sample(encoding_) <= 2; }

 private:
  double binValue(std::size_t bin) const;

  SampleEncoding encoding_;
  std::vector<std::uint64_t> bins_;
  std::uint64_t samples_ = 0;
};

struct AnalysisSums;

// Gathers the sums of interleaved PCM block by block, in constant memory.
class PcmAnalyser {
 public:
  explicit PcmAnalyser(const PcmFormat& format);
  ~PcmAnalyser();
  PcmAnalyser(const PcmAnalyser&) = delete;
  PcmAnalyser& operator=(const PcmAnalyser&) = delete;

  void add(const std::uint8_t* frames, std::size_t count);
  PcmAnalysis result() const;
  // Counts every sample for clippedBy as well; slower, so only where the answer is shown.
  void countForClipping() { clipCounter_.emplace(format_.encoding()); }
  const std::optional<ClipCounter>& clipCounter() const { return clipCounter_; }
  // Measures the loudness in the same pass (the range too, unless told not to); false for a
  // format the meter does not take.
  bool measureLoudness(bool withRange = true);
  const std::optional<LoudnessMeter>& loudness() const { return loudness_; }
  std::optional<LoudnessMeter> takeLoudness() { return std::exchange(loudness_, std::nullopt); }

 private:
  PcmFormat format_;
  std::uint64_t frames_ = 0;
  std::unique_ptr<AnalysisSums> sums_;
  std::optional<ClipCounter> clipCounter_;
  std::optional<LoudnessMeter> loudness_;
};

// Feeds the samples of a WAVE file to `analyser` once, in large blocks. `progress` is told the
// frames done so far and may return false to stop the pass. False when stopped or after a read
// failure (`failed` set).
bool read_pcm_into(const ByteReader& reader, const WaveHeader& header, PcmAnalyser& analyser,
                   const std::function<bool(std::uint64_t done)>& progress = {}, bool* failed = nullptr);

// The same with an analyser of its own: the analysis, or nothing when stopped or failed.
std::optional<PcmAnalysis> analyse_pcm(const ByteReader& reader, const WaveHeader& header,
                                       const std::function<bool(std::uint64_t done)>& progress = {},
                                       bool* failed = nullptr);

CentreRemoval judge_centre_removal(const PcmAnalysis& analysis);

// The largest volume multiple, to multiple_decimals() decimals, that changes no sample into a
// clipped one as "change volume" computes it; nothing for a silent file, which no multiple can
// clip. Infinite and NaN samples stay so at any multiple and are left out.
std::optional<double> largest_unclipped_multiple(const PcmAnalysis& analysis, SampleEncoding encoding);

// Decibels relative to full scale; -inf for 0.
double to_dbfs(double level);

}  // namespace tunekiln
