#include "wavproc/loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>

#include "audiofile/pcm_samples.h"
#include "wavproc/true_peak.h"

namespace tunekiln {
namespace {

// Gated loudness and loudness range; histograms instead of a list of every block, so memory stays
// the same however long the file is. The peaks are our own: the library's true peak, in scalar
// code, took twice as long as all the rest.
constexpr int kMeterMode = EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM;
// Samples converted at a time: enough to keep the library's per-call work small beside its filtering.
constexpr std::size_t kPieceSamples = 16384;
constexpr double kReplayGainReferenceLufs = -18.0;

// Converts samples to doubles on the ±1.0 scale; NaN and infinities become 0 and are counted,
// since one of them would stay in the K-weighting filter's state and spoil every later block.
using Converter = std::uint64_t (*)(const std::uint8_t* bytes, std::size_t samples, double* into);

template <SampleEncoding kEncoding>
std::uint64_t convert(const std::uint8_t* bytes, std::size_t samples, double* into) {
  constexpr std::size_t width = bytes_per_sample(kEncoding);
  std::uint64_t nonFinite = 0;
  for (std::size_t i = 0; i < samples; ++i) {
    const double value = pcm::load_real(bytes + i * width, kEncoding);
    if constexpr (kEncoding == SampleEncoding::float32 || kEncoding == SampleEncoding::float64) {
      const bool finite = std::isfinite(value);
      nonFinite += finite ? 0 : 1;
      into[i] = finite ? value : 0.0;
    } else {
      into[i] = value;
    }
  }
  return nonFinite;
}

Converter converter_for(SampleEncoding encoding) {
  switch (encoding) {
    case SampleEncoding::unsigned8:
      return convert<SampleEncoding::unsigned8>;
    case SampleEncoding::signed16:
      return convert<SampleEncoding::signed16>;
    case SampleEncoding::signed24:
      return convert<SampleEncoding::signed24>;
    case SampleEncoding::signed32:
      return convert<SampleEncoding::signed32>;
    case SampleEncoding::float32:
      return convert<SampleEncoding::float32>;
    case SampleEncoding::float64:
      return convert<SampleEncoding::float64>;
  }
  return convert<SampleEncoding::float64>;
}

// libebur128 steps in 100 ms rounded to whole frames: its first gating block is 4 steps, its
// first short-term block (the loudness range's) 30.
std::uint64_t frames_in_steps(const PcmFormat& format, std::uint64_t steps) {
  return steps * ((format.sampleRate() + 5) / 10);
}

// The gain that takes `lufs` to the target, lowered where a peak would pass its limit.
TargetGain gain_within_peaks(double lufs, double truePeak, double samplePeak, double targetLufs, double ceilingDbtp) {
  TargetGain gain{.fromLufs = lufs, .db = targetLufs - lufs, .reachedLufs = targetLufs};
  // A peak of 0 leaves an infinite headroom.
  const double headroom = std::min(ceilingDbtp - 20 * std::log10(truePeak), -20 * std::log10(samplePeak));
  if (gain.db > headroom) {
    gain = {.fromLufs = lufs, .db = headroom, .reachedLufs = lufs + headroom, .loweredForPeak = true};
  }
  return gain;
}

// The library answers -inf where it has no block above the gates.
LoudnessFigure loudness_figure(double lufs, bool tooShort) {
  if (std::isfinite(lufs)) return lufs;
  return tooShort ? Unmeasured::tooShort : Unmeasured::silent;
}

}  // namespace

struct LoudnessState {
  LoudnessState(ebur128_state* opened, const PcmFormat& format)
      : meter(opened), peaks(format.channels(), format.sampleRate()) {}
  ~LoudnessState() { ebur128_destroy(&meter); }
  LoudnessState(const LoudnessState&) = delete;
  LoudnessState& operator=(const LoudnessState&) = delete;

  ebur128_state* meter;
  TruePeakMeter peaks;
  Converter convert = nullptr;
  std::vector<double> converted;  // one piece of the input, as the library takes it
  std::uint64_t frames = 0;
  std::uint64_t nonFinite = 0;
  bool withRange = true;
};

std::optional<LoudnessMeter> LoudnessMeter::make(const PcmFormat& format, bool withRange) {
  ebur128_state* meter =
      ebur128_init(format.channels(), format.sampleRate(), kMeterMode | (withRange ? EBUR128_MODE_LRA : 0));
  if (meter == nullptr) return std::nullopt;
  auto state = std::make_unique<LoudnessState>(meter, format);
  // A mono file plays on both loudspeakers, so it is measured as it is heard: as two channels.
  if (format.channels() == 1) ebur128_set_channel(meter, 0, EBUR128_DUAL_MONO);
  state->convert = converter_for(format.encoding());
  state->withRange = withRange;
  state->converted.resize(std::max<std::size_t>(kPieceSamples / format.channels(), 1) * format.channels());
  return LoudnessMeter(format, std::move(state));
}

LoudnessMeter::LoudnessMeter(const PcmFormat& format, std::unique_ptr<LoudnessState> state)
    : format_(format), state_(std::move(state)) {}
LoudnessMeter::LoudnessMeter(LoudnessMeter&&) noexcept = default;
LoudnessMeter& LoudnessMeter::operator=(LoudnessMeter&&) noexcept = default;
LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::add(const std::uint8_t* frames, std::size_t count) {
  LoudnessState& state = *state_;
  const std::size_t channels = format_.channels();
  const std::size_t pieceFrames = state.converted.size() / channels;
  for (std::size_t done = 0; done < count;) {
    const std::size_t now = std::min(pieceFrames, count - done);
    state.nonFinite += state.convert(frames + done * format_.bytesPerFrame(), now * channels, state.converted.data());
    // With histograms the library allocates nothing while adding, so this cannot fail.
    ebur128_add_frames_double(state.meter, state.converted.data(), now);
    state.peaks.add(state.converted.data(), now);
    done += now;
  }
  state.frames += count;
}

LoudnessResult LoudnessMeter::result() const {
  ebur128_state* meter = state_->meter;
  LoudnessResult result;
  result.frames = state_->frames;
  result.nonFiniteSamples = state_->nonFinite;
  double lufs = 0;
  ebur128_loudness_global(meter, &lufs);
  result.integrated = loudness_figure(lufs, result.frames < frames_in_steps(format_, 4));
  if (result.frames < frames_in_steps(format_, 30) || !state_->withRange) {
    result.range = Unmeasured::tooShort;
  } else if (std::holds_alternative<Unmeasured>(result.integrated)) {
    result.range = Unmeasured::silent;
  } else {
    double range = 0;
    ebur128_loudness_range(meter, &range);
    result.range = range;
  }
  for (unsigned channel = 0; channel < format_.channels(); ++channel) {
    const double truePeak = state_->peaks.truePeak(channel), samplePeak = state_->peaks.samplePeak(channel);
    result.channelTruePeaks.push_back(truePeak);
    result.truePeak = std::max(result.truePeak, truePeak);
    result.samplePeak = std::max(result.samplePeak, samplePeak);
  }
  return result;
}

LoudnessFigure to_dbtp(double truePeak) {
  if (truePeak > 0) return 20 * std::log10(truePeak);
  return Unmeasured::silent;
}

LoudnessFigure album_loudness(std::span<const LoudnessMeter* const> meters) {
  std::vector<ebur128_state*> states;
  bool allTooShort = true;
  for (const LoudnessMeter* meter : meters) {
    states.push_back(meter->state_->meter);
    allTooShort = allTooShort && meter->state_->frames < frames_in_steps(meter->format_, 4);
  }
  double lufs = 0;
  ebur128_loudness_global_multiple(states.data(), states.size(), &lufs);
  return loudness_figure(lufs, allTooShort);
}

std::variant<TargetGain, Unmeasured> gain_to_target(const LoudnessResult& file, double targetLufs,
                                                    double ceilingDbtp) {
  if (const auto* why = std::get_if<Unmeasured>(&file.integrated)) return *why;
  return gain_within_peaks(std::get<double>(file.integrated), file.truePeak, file.samplePeak, targetLufs, ceilingDbtp);
}

std::variant<TargetGain, Unmeasured> album_gain_to_target(std::span<const LoudnessMeter* const> meters,
                                                          double targetLufs, double ceilingDbtp) {
  const LoudnessFigure lufs = album_loudness(meters);
  if (const auto* why = std::get_if<Unmeasured>(&lufs)) return *why;
  double truePeak = 0, samplePeak = 0;
  for (const LoudnessMeter* meter : meters) {
    const LoudnessResult file = meter->result();
    truePeak = std::max(truePeak, file.truePeak);
    samplePeak = std::max(samplePeak, file.samplePeak);
  }
  return gain_within_peaks(std::get<double>(lufs), truePeak, samplePeak, targetLufs, ceilingDbtp);
}

std::variant<ReplayGain, Unmeasured> replay_gain(const LoudnessResult& file) {
  if (const auto* why = std::get_if<Unmeasured>(&file.integrated)) return *why;
  return ReplayGain{.trackGainDb = kReplayGainReferenceLufs - std::get<double>(file.integrated),
                    .trackPeak = file.truePeak};
}

}  // namespace tunekiln
