#include "wavproc/audio_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "audiofile/pcm_samples.h"
#include "wavproc/volume_dialog_logic.h"

namespace tunekiln {
namespace {

constexpr std::size_t kBlockBytes = 256 * 1024;
// A correlation this high or higher means the channels share most of what they hold.
constexpr double kStrongCorrelation = 0.5;

// Sums of one channel over the whole file, in the sample's own units.
struct ChannelSums {
  double sum = 0;
  double sumSquares = 0;
  double highest = 0;
  double lowest = 0;
  std::uint64_t clipped = 0;
  std::uint64_t nonFinite = 0;
  std::uint32_t run = 0;  // full-scale samples in a row so far
};

}  // namespace

struct AnalysisSums {
  std::vector<ChannelSums> channels;
  double sumProducts = 0;  // left × right
  bool identical = true;
};

namespace {

using Sums = AnalysisSums;

// Bytes per sample of an encoding, known when the loops are compiled.
template <SampleEncoding Encoding>
constexpr std::size_t kWidth = Encoding == SampleEncoding::unsigned8  ? 1
                               : Encoding == SampleEncoding::signed16 ? 2
                               : Encoding == SampleEncoding::signed24 ? 3
                               : Encoding == SampleEncoding::float64  ? 8
                                                                      : 4;

template <SampleEncoding Encoding>
constexpr bool kIsFloat = Encoding == SampleEncoding::float32 || Encoding == SampleEncoding::float64;

// 8- and 16-bit sums stay exact in 64-bit integers over a block; wider samples add up in doubles.
template <SampleEncoding Encoding>
using Accumulator = std::conditional_t<kWidth<Encoding> <= 2 && !kIsFloat<Encoding>, std::int64_t, double>;

template <SampleEncoding Encoding>
auto load(const std::uint8_t* p) {
  if constexpr (kIsFloat<Encoding>) {
    return pcm::load_float(p, Encoding);
  } else if constexpr (kWidth<Encoding> <= 2) {
    return static_cast<std::int64_t>(pcm::load_integer(p, Encoding));
  } else {
    return static_cast<double>(pcm::load_integer(p, Encoding));
  }
}

// A sample as it enters the sums: an infinite or NaN one (float files) holds no level and counts
// as silence, so that one of them cannot make every level infinite or NaN.
template <SampleEncoding Encoding, typename Value>
Value level(Value value) {
  if constexpr (kIsFloat<Encoding>) return std::isfinite(value) ? value : Value{0};
  return value;
}

// Counts the samples of one channel that stand in runs of full scale; only called for a block
// that has any sample at full scale, which keeps the run logic out of the main loop.
template <SampleEncoding Encoding>
void count_clipped_runs(const std::uint8_t* bytes, std::size_t frames, std::size_t stride, double high, double low,
                        ChannelSums& into) {
  for (std::size_t frame = 0; frame < frames; ++frame) {
    const double value = static_cast<double>(load<Encoding>(bytes + frame * stride));
    if (value >= high || value <= low) {
      // The samples of a run count once the run is long enough, the earlier ones with them.
      ++into.run;
      if (into.run == kClippedRun) into.clipped += kClippedRun;
      if (into.run > kClippedRun) ++into.clipped;
    } else {
      into.run = 0;
    }
  }
}

// One block of frames in one encoding, one channel at a time, so that every loop is a plain
// strided reduction the compiler can vectorise.
template <SampleEncoding Encoding>
void add_block(const std::uint8_t* bytes, std::size_t frames, std::size_t channels, Sums& sums) {
  using Sum = Accumulator<Encoding>;
  constexpr std::size_t width = kWidth<Encoding>;
  const double high = kIsFloat<Encoding> ? 1.0 : static_cast<double>(pcm::integer_max(Encoding));
  const double low = kIsFloat<Encoding> ? -1.0 : static_cast<double>(pcm::integer_min(Encoding));
  const std::size_t stride = channels * width;
  for (std::size_t channel = 0; channel < channels; ++channel) {
    const std::uint8_t* first = bytes + channel * width;
    Sum sum = 0, squares = 0, largest = 0, smallest = 0;
    std::size_t atFullScale = 0, nonFinite = 0;
    for (std::size_t frame = 0; frame < frames; ++frame) {
      const Sum raw = load<Encoding>(first + frame * stride);
      if constexpr (kIsFloat<Encoding>) nonFinite += !std::isfinite(raw);
      const Sum value = level<Encoding>(raw);
      sum += value;
      squares += value * value;
      largest = std::max(largest, value);
      smallest = std::min(smallest, value);
      atFullScale += static_cast<std::size_t>(value >= high) | static_cast<std::size_t>(value <= low);
    }
    ChannelSums& into = sums.channels[channel];
    if (atFullScale > 0) {
      count_clipped_runs<Encoding>(first, frames, stride, high, low, into);
    } else {
      into.run = 0;
    }
    into.nonFinite += nonFinite;
    into.sum += static_cast<double>(sum);
    into.sumSquares += static_cast<double>(squares);
    into.highest = std::max(into.highest, static_cast<double>(largest));
    into.lowest = std::min(into.lowest, static_cast<double>(smallest));
  }
  if (channels == 2) {
    Sum products = 0;
    std::size_t different = 0;
    for (std::size_t frame = 0; frame < frames; ++frame) {
      const Sum left = level<Encoding>(load<Encoding>(bytes + frame * stride));
      const Sum right = level<Encoding>(load<Encoding>(bytes + frame * stride + width));
      products += left * right;
      different += static_cast<std::size_t>(left != right);
    }
    sums.sumProducts += static_cast<double>(products);
    sums.identical = sums.identical && different == 0;
  }
}

// The 8- and 16-bit loops, which the common files take, run over the interleaved samples in
// sixteen lanes, where lane j always holds channel j % channels: plain element-wise loops that
// the compiler turns into vector code. Single precision is exact enough over a flush interval.
constexpr std::size_t kLanes = 16;
constexpr std::size_t kFlushRounds = 1024;

template <SampleEncoding Encoding>
std::int16_t load_narrow(const std::uint8_t* p) {
  if constexpr (Encoding == SampleEncoding::unsigned8) {
    return static_cast<std::int16_t>(p[0] - pcm::kEightBitZero);
  } else {
    std::int16_t value;
    std::memcpy(&value, p, sizeof value);  // the host's byte order is the file's
    return value;
  }
}

template <SampleEncoding Encoding>
[[gnu::always_inline]] inline void add_block_in_lanes(const std::uint8_t* bytes, std::size_t frames,
                                                      std::size_t channels, Sums& sums) {
  constexpr std::size_t width = kWidth<Encoding>;
  const auto high = static_cast<std::int16_t>(pcm::integer_max(Encoding));
  const auto low = static_cast<std::int16_t>(pcm::integer_min(Encoding));
  const std::size_t samples = frames * channels;
  const std::size_t rounds = samples / kLanes;

  double sum[kLanes] = {}, squares[kLanes] = {}, products[kLanes] = {};
  // Narrow lanes where no sum is kept: sixteen of them fit one vector.
  std::int16_t largest[kLanes] = {}, smallest[kLanes] = {}, atFullScale[kLanes] = {}, different[kLanes] = {};
  for (std::size_t done = 0; done < rounds;) {
    const std::size_t until = std::min(rounds, done + kFlushRounds);
    float partSum[kLanes] = {}, partSquares[kLanes] = {}, partProducts[kLanes] = {};
    for (; done < until; ++done) {
      const std::uint8_t* round = bytes + done * kLanes * width;
      std::int16_t values[kLanes], partners[kLanes];
      for (std::size_t j = 0; j < kLanes; ++j) values[j] = load_narrow<Encoding>(round + j * width);
      // Lane j ^ 1 holds the other sample of a stereo frame, so products stay lane by lane.
      for (std::size_t j = 0; j < kLanes; ++j) partners[j] = values[j ^ 1];
      for (std::size_t j = 0; j < kLanes; ++j) {
        const auto value = static_cast<float>(values[j]);
        partSum[j] += value;
        partSquares[j] += value * value;
        largest[j] = std::max(largest[j], values[j]);
        smallest[j] = std::min(smallest[j], values[j]);
        atFullScale[j] |= static_cast<std::int16_t>(values[j] == high) | static_cast<std::int16_t>(values[j] == low);
        // Kept for every channel count and used for stereo only: a branch here costs more.
        partProducts[j] += value * static_cast<float>(partners[j]);
        different[j] |= static_cast<std::int16_t>(values[j] ^ partners[j]);
      }
    }
    for (std::size_t j = 0; j < kLanes; ++j) {
      sum[j] += partSum[j];
      squares[j] += partSquares[j];
      products[j] += partProducts[j];
    }
  }

  bool anyAtFullScale = false;
  for (std::size_t j = 0; j < kLanes; ++j) {
    ChannelSums& into = sums.channels[j % channels];
    into.sum += sum[j];
    into.sumSquares += squares[j];
    into.highest = std::max(into.highest, static_cast<double>(largest[j]));
    into.lowest = std::min(into.lowest, static_cast<double>(smallest[j]));
    anyAtFullScale = anyAtFullScale || atFullScale[j] > 0;
  }
  for (std::size_t j = 0; channels == 2 && j < kLanes; ++j) {
    sums.sumProducts += products[j] / 2;  // every frame's product stands in both of its lanes
    sums.identical = sums.identical && different[j] == 0;
  }

  // The frames behind the last whole round, and the runs of full scale, go the plain way.
  const std::size_t laneFrames = rounds * kLanes / channels;
  for (std::size_t channel = 0; channel < channels; ++channel) {
    ChannelSums& into = sums.channels[channel];
    const std::uint8_t* first = bytes + channel * width;
    if (anyAtFullScale) {
      count_clipped_runs<Encoding>(first, laneFrames, channels * width, high, low, into);
    } else if (laneFrames > 0) {
      into.run = 0;
    }
    for (std::size_t frame = laneFrames; frame < frames; ++frame) {
      const double value = load_narrow<Encoding>(first + frame * channels * width);
      into.sum += value;
      into.sumSquares += value * value;
      into.highest = std::max(into.highest, value);
      into.lowest = std::min(into.lowest, value);
    }
    count_clipped_runs<Encoding>(first + laneFrames * channels * width, frames - laneFrames, channels * width, high,
                                 low, into);
  }
  if (channels == 2) {
    for (std::size_t frame = laneFrames; frame < frames; ++frame) {
      const double left = load_narrow<Encoding>(bytes + frame * 2 * width);
      const double right = load_narrow<Encoding>(bytes + frame * 2 * width + width);
      sums.sumProducts += left * right;
      sums.identical = sums.identical && left == right;
    }
  }
}

// Wider vectors where the processor has them: the sixteen lanes then take two instructions, not four.
// Not under the sanitizers, whose instrumented code the clones' resolver would run before their
// runtime has started.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__) && \
    !defined(__SANITIZE_ADDRESS__)
#define TUNEKILN_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define TUNEKILN_VECTOR_CLONES
#endif

TUNEKILN_VECTOR_CLONES void add_eight_bit_block(const std::uint8_t* bytes, std::size_t frames, std::size_t channels,
                                                Sums& sums) {
  add_block_in_lanes<SampleEncoding::unsigned8>(bytes, frames, channels, sums);
}

TUNEKILN_VECTOR_CLONES void add_sixteen_bit_block(const std::uint8_t* bytes, std::size_t frames,
                                                  std::size_t channels, Sums& sums) {
  add_block_in_lanes<SampleEncoding::signed16>(bytes, frames, channels, sums);
}

using BlockAdder = void (*)(const std::uint8_t*, std::size_t, std::size_t, Sums&);

BlockAdder adder_for(SampleEncoding encoding, std::size_t channels) {
  switch (encoding) {
    case SampleEncoding::unsigned8:
      return kLanes % channels == 0 ? add_eight_bit_block : add_block<SampleEncoding::unsigned8>;
    case SampleEncoding::signed16:
      return kLanes % channels == 0 ? add_sixteen_bit_block : add_block<SampleEncoding::signed16>;
    case SampleEncoding::signed24:
      return add_block<SampleEncoding::signed24>;
    case SampleEncoding::signed32:
      return add_block<SampleEncoding::signed32>;
    case SampleEncoding::float32:
      return add_block<SampleEncoding::float32>;
    case SampleEncoding::float64:
      return add_block<SampleEncoding::float64>;
  }
  return nullptr;
}

}  // namespace

PcmAnalyser::PcmAnalyser(const PcmFormat& format)
    : format_(format), sums_(std::make_unique<Sums>(Sums{.channels = std::vector<ChannelSums>(format.channels())})) {}

PcmAnalyser::~PcmAnalyser() = default;

void PcmAnalyser::add(const std::uint8_t* frames, std::size_t count) {
  adder_for(format_.encoding(), format_.channels())(frames, count, format_.channels(), *sums_);
  if (clipCounter_) clipCounter_->add(frames, count * format_.channels());
  if (loudness_) loudness_->add(frames, count);
  frames_ += count;
}

bool PcmAnalyser::measureLoudness(bool withRange) {
  loudness_ = LoudnessMeter::make(format_, withRange);
  return loudness_.has_value();
}

PcmAnalysis PcmAnalyser::result() const {
  PcmAnalysis analysis{.frames = frames_};
  const double scale = format_.isFloat() ? 1.0 : -static_cast<double>(pcm::integer_min(format_.encoding()));
  for (const ChannelSums& channel : sums_->channels) {
    const std::uint64_t levelled = frames_ - channel.nonFinite;
    const double meanSquare = levelled > 0 ? channel.sumSquares / static_cast<double>(levelled) : 0;
    const double peakValue = channel.highest >= -channel.lowest ? channel.highest : channel.lowest;
    analysis.channels.push_back({.peak = std::abs(peakValue) / scale,
                                 .peakValue = peakValue,
                                 .highest = channel.highest,
                                 .lowest = channel.lowest,
                                 .rms = std::sqrt(meanSquare) / scale,
                                 .clipped = channel.clipped,
                                 .nonFinite = channel.nonFinite});
  }
  if (format_.channels() == 2 && frames_ > 0) {
    const double n = static_cast<double>(frames_);
    const ChannelSums& left = sums_->channels[0];
    const ChannelSums& right = sums_->channels[1];
    const double covariance = sums_->sumProducts - left.sum * right.sum / n;
    const double leftVariance = left.sumSquares - left.sum * left.sum / n;
    const double rightVariance = right.sumSquares - right.sum * right.sum / n;
    if (leftVariance > 0 && rightVariance > 0) {
      analysis.correlation = std::clamp(covariance / std::sqrt(leftVariance * rightVariance), -1.0, 1.0);
    }
    analysis.identicalChannels = sums_->identical;
  }
  return analysis;
}

bool read_pcm_into(const ByteReader& reader, const WaveHeader& header, PcmAnalyser& analyser,
                   const std::function<bool(std::uint64_t done)>& progress, bool* failed) {
  const std::size_t frameBytes = header.format.bytesPerFrame();
  const std::size_t framesPerBlock = std::max<std::size_t>(1, kBlockBytes / frameBytes);
  std::vector<std::uint8_t> block(framesPerBlock * frameBytes);
  const std::uint64_t total = header.frameCount();
  for (std::uint64_t done = 0; done < total;) {
    const auto frames = static_cast<std::size_t>(std::min<std::uint64_t>(framesPerBlock, total - done));
    if (reader.readAt(header.dataBegin + done * frameBytes, block.data(), frames * frameBytes).status !=
        AudioFileResult::ok) {
      // The header promised these bytes: a shorter file now is as much a failure as an error.
      if (failed != nullptr) *failed = true;
      return false;
    }
    analyser.add(block.data(), frames);
    done += frames;
    if (progress && !progress(done)) return false;
  }
  return true;
}

std::optional<PcmAnalysis> analyse_pcm(const ByteReader& reader, const WaveHeader& header,
                                       const std::function<bool(std::uint64_t done)>& progress, bool* failed) {
  PcmAnalyser analyser(header.format);
  if (!read_pcm_into(reader, header, analyser, progress, failed)) return std::nullopt;
  return analyser.result();
}

ClipCounter::ClipCounter(SampleEncoding encoding)
    : encoding_(encoding), bins_(encoding == SampleEncoding::unsigned8 ? 256 : 65536) {}

void ClipCounter::add(const std::uint8_t* samples, std::size_t count) {
  const std::size_t width = bytes_per_sample(encoding_);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* p = samples + i * width;
    std::size_t bin;
    if (encoding_ == SampleEncoding::float32 || encoding_ == SampleEncoding::float64) {
      // Four times full scale either way covers what float files hold; beyond it, the last bin.
      const double scaled = (pcm::load_float(p, encoding_) + 4.0) / 8.0 * 65536.0;
      bin = std::isnan(scaled) ? 32768 : static_cast<std::size_t>(std::clamp(scaled, 0.0, 65535.0));
    } else {
      // The top bits of the value, counted from the most negative: for 8 and 16 bits, the value.
      const std::int64_t value = pcm::load_integer(p, encoding_) - pcm::integer_min(encoding_);
      bin = static_cast<std::size_t>(value >> (width <= 2 ? 0 : 8 * width - 16));
    }
    ++bins_[bin];
  }
  samples_ += count;
}

double ClipCounter::binValue(std::size_t bin) const {
  const std::size_t width = bytes_per_sample(encoding_);
  if (encoding_ == SampleEncoding::float32 || encoding_ == SampleEncoding::float64) {
    return (static_cast<double>(bin) + 0.5) / 65536.0 * 8.0 - 4.0;
  }
  if (width <= 2) return static_cast<double>(pcm::integer_min(encoding_)) + static_cast<double>(bin);
  const double step = std::ldexp(1.0, static_cast<int>(8 * width - 16));
  return static_cast<double>(pcm::integer_min(encoding_)) + (static_cast<double>(bin) + 0.5) * step;
}

std::uint64_t ClipCounter::clippedBy(double multiple) const {
  const bool isFloat = encoding_ == SampleEncoding::float32 || encoding_ == SampleEncoding::float64;
  const double high = isFloat ? 1.0 : static_cast<double>(pcm::integer_max(encoding_));
  const double low = isFloat ? -1.0 : static_cast<double>(pcm::integer_min(encoding_));
  const double factor = static_cast<float>(multiple);
  std::uint64_t clipped = 0;
  for (std::size_t bin = 0; bin < bins_.size(); ++bin) {
    if (bins_[bin] == 0) continue;
    const double product = binValue(bin) * factor;
    const double result = isFloat ? product : std::trunc(product);
    if (result > high || result < low) clipped += bins_[bin];
  }
  return clipped;
}

double ClipCounter::keptPower(double multiple) const {
  if (!exact()) return 1.0;
  const double factor = static_cast<float>(multiple);
  double kept = 0, whole = 0;
  for (std::size_t bin = 0; bin < bins_.size(); ++bin) {
    const double product = binValue(bin) * factor, count = static_cast<double>(bins_[bin]);
    kept += count * std::trunc(product) * std::trunc(product);
    whole += count * product * product;
  }
  return whole > 0 ? kept / whole : 1.0;
}

CentreRemoval judge_centre_removal(const PcmAnalysis& analysis) {
  if (analysis.identicalChannels) return CentreRemoval::silence;
  return analysis.correlation.value_or(0) >= kStrongCorrelation ? CentreRemoval::likely : CentreRemoval::unlikely;
}

std::optional<double> largest_unclipped_multiple(const PcmAnalysis& analysis, SampleEncoding encoding) {
  const bool isFloat = encoding == SampleEncoding::float32 || encoding == SampleEncoding::float64;
  double high = 1.0, low = -1.0;
  if (!isFloat) {
    high = static_cast<double>(pcm::integer_max(encoding));
    low = static_cast<double>(pcm::integer_min(encoding));
  }
  double largest = 0, smallest = 0;
  for (const ChannelLevels& channel : analysis.channels) {
    largest = std::max(largest, channel.highest);
    smallest = std::min(smallest, channel.lowest);
  }
  if (largest == 0 && smallest == 0) return std::nullopt;
  // As "change volume" computes: the factor is a float, the product truncated toward zero.
  const auto clips = [&](double multiple) {
    const double factor = static_cast<float>(multiple);
    if (isFloat) return largest * factor > high || smallest * factor < low;
    return std::trunc(largest * factor) > high || std::trunc(smallest * factor) < low;
  };
  // Truncation keeps an integer product that stays short of one past a limit. No float factor
  // is larger than the last term, and a float file far below full scale would ask for more.
  const double slack = isFloat ? 0 : 1;
  const double room = std::min({largest > 0 ? (high + slack) / largest : HUGE_VAL,
                                smallest < 0 ? (low - slack) / smallest : HUGE_VAL,
                                double{std::numeric_limits<float>::max()}});
  const double scale = std::pow(10.0, multiple_decimals(room));
  // Counted in steps of the last decimal. The float factor's rounding may still clip the last
  // steps below the room: the largest that does not is found by halving, which ends after a
  // bounded number of rounds even where a count of steps is too large for a double to step down.
  double fits = 0, clipsAt = std::floor(room * scale);
  if (!clips(clipsAt / scale)) return clipsAt / scale;
  for (double middle = std::floor((fits + clipsAt) / 2); fits < middle && middle < clipsAt;
       middle = std::floor((fits + clipsAt) / 2)) {
    (clips(middle / scale) ? clipsAt : fits) = middle;
  }
  return fits / scale;
}

double to_dbfs(double level) {
  return level > 0 ? 20.0 * std::log10(level) : -std::numeric_limits<double>::infinity();
}

}  // namespace tunekiln
