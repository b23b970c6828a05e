// The levels of every width against the test's own sums, the largest multiple that does not clip
// against hand-worked boundaries, and the volume change that applies it.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <numeric>
#include <tuple>

#include "audiofile/wave_header.h"
#include "tests/support/scripted_host.h"
#include "tests/support/wav_builder.h"
#include "wavproc/audio_analysis.h"
#include "wavproc/centre_bass.h"
#include "wavproc/volume_dialog_logic.h"
#include "wavproc/wav_operations.h"

namespace tunekiln::test {
namespace {

PcmAnalysis analyse(const Bytes& file) {
  return *analyse_pcm(MemoryByteReader(file), *read_wave_header(MemoryByteReader(file)).header);
}

const WavShape k8{.bits = 8}, k16{.bits = 16}, k24{.bits = 24}, k32{.bits = 32};
const WavShape kFloat32{.bits = 32, .formatTag = 3}, kFloat64{.bits = 64, .formatTag = 3};

TEST(AudioAnalysis, LevelsAndCorrelationOfEveryWidthAndChannelCountAreThoseOfTheSamples) {
  for (WavShape shape : {k8, k16, k24, k32, kFloat32, kFloat64}) {
    for (const std::uint16_t channels : {1, 2, 3}) {
      SCOPED_TRACE(testing::Message() << shape.bits << "/" << shape.formatTag << "/" << channels);
      shape.channels = channels;
      // Sixteenths of full scale, the second channel mostly the first one's mirror. A float file
      // also holds a NaN and an infinite sample, which count as silence and stay out of the levels.
      std::vector<double> stored, x[3];
      std::uint64_t finite[3] = {};
      for (int frame = 0; frame < 50; ++frame) {
        const int first = frame * 5 % 32 - 16;
        const int sixteenths[] = {first, frame % 4 == 0 ? 0 : -first - 1, (frame * 11 + 7) % 32 - 16};
        for (int c = 0; c < channels; ++c) {
          double value = sixteenths[c] / 16.0;
          if (shape.formatTag == 3 && frame == 10 + c) value = c == 0 ? NAN : -INFINITY;
          stored.push_back(shape.formatTag == 3 ? value : std::ldexp(value, shape.bits - 1));
          finite[c] += std::isfinite(value);
          x[c].push_back(std::isfinite(value) ? value : 0);
        }
      }
      const PcmAnalysis analysis = analyse(make_wav(shape, encode_samples(shape, stored)));
      ASSERT_EQ(analysis.channels.size(), channels);
      double sum[3], squares[3];
      for (std::size_t c = 0; c < channels; ++c) {
        sum[c] = std::accumulate(x[c].begin(), x[c].end(), 0.0);
        squares[c] = std::inner_product(x[c].begin(), x[c].end(), x[c].begin(), 0.0);
        const auto [low, high] = std::minmax_element(x[c].begin(), x[c].end());
        EXPECT_EQ(analysis.channels[c].peak, std::max(-*low, *high));
        EXPECT_NEAR(analysis.channels[c].rms, std::sqrt(squares[c] / static_cast<double>(finite[c])), 1e-6);
        EXPECT_EQ(analysis.channels[c].nonFinite, 50 - finite[c]);
      }
      if (channels != 2) continue;
      const double products = std::inner_product(x[0].begin(), x[0].end(), x[1].begin(), 0.0);
      const auto deviation = [&](std::size_t c) { return std::sqrt(squares[c] - sum[c] * sum[c] / 50); };
      const double covariance = products - sum[0] * sum[1] / 50;
      EXPECT_NEAR(analysis.correlation.value_or(9), covariance / deviation(0) / deviation(1), 1e-6);
    }
  }
}

TEST(AudioAnalysis, TheLargestMultipleIsTheLastThatDoesNotClipAndTheVolumeChangeAppliesItUnclipped) {
  // Stored samples, and the float factor of the largest multiple that clips none of them.
  const std::tuple<WavShape, std::vector<double>, float> rows[] = {
      // The product is truncated: 2.00 takes 64 to one past the largest 8-bit sample, while 2.01
      // takes -64 to -128.64, which truncates to the smallest.
      {k8, {64, 3}, 1.99f},
      {k8, {-64, 3}, 2.01f},
      {k16, {16384}, 1.99f},
      {k16, {-16384, 16383}, 2.0f},
      {k24, {1 << 22}, 1.99f},
      {k24, {-(1 << 22), 5}, 2.0f},
      // 1.10 as a float is 1.10000002: this sample times 1.1 fits, times the float it clips.
      {k32, {1952257850}, 1.09f},
      {k32, {-1073741824}, 2.0f},
      {kFloat32, {0.5, -0.25}, 2.0f},
      // Beyond full scale, legal in float: a multiple below 1, to two significant digits.
      {kFloat32, {200}, 0.005f},
      {kFloat64, {-0.3, 150}, 0.0066f},
      {kFloat32, {INFINITY, 0.25, NAN}, 4.0f},
      // Far below full scale: the largest float factor that fits. Near 2^50 the floats lie 2^27
      // apart, so 2^50 + 2^27 clips this sample and 2^50 is the answer.
      {kFloat32, {1e-40}, FLT_MAX},
      {kFloat64, {1 / (0x1p50 + 0x1p26 + 0x1p20)}, 0x1p50f},
  };
  TempDir dir;
  ScriptedHost host;
  host.input = host.output = dir.file("out.wav");
  for (auto [shape, values, factor] : rows) {
    SCOPED_TRACE(values[0]);
    shape.channels = 1;
    const Bytes file = make_wav(shape, encode_samples(shape, values));
    const auto encoding = read_wave_header(MemoryByteReader(file)).header->format.encoding();
    const auto multiple = largest_unclipped_multiple(analyse(file), encoding);
    ASSERT_TRUE(multiple);
    EXPECT_EQ(static_cast<float>(*multiple), factor);
    // Entered as the command line enters it: nothing clips, and the result is no silence.
    host.volumeDialog = [&] { return accept_volume_entry(multiple_entry_text(*multiple)); };
    const MemoryByteReader reader(file);
    const OperationResult result = ChangeVolume(host, &reader);
    ASSERT_EQ(result.outcome, Outcome::finished);
    const PcmAnalysis out = analyse(read_file(*host.output));
    EXPECT_EQ(result.message.find("clipped"), std::string::npos);
    EXPECT_EQ(result.message.find("infinite or NaN") != std::string::npos, std::isnan(values.back()));
    EXPECT_LE(out.channels[0].peak, 1.0);
    EXPECT_GT(out.channels[0].peak, 0.0);
  }
  const auto silent = analyse(make_wav({}, samples16({0, 0})));
  EXPECT_EQ(largest_unclipped_multiple(silent, SampleEncoding::signed16), std::nullopt);
}

TEST(AudioAnalysis, CountsRunsAtFullScaleAndWhatEachMultipleWouldClip) {
  // A lone full-scale sample is a peak; three or more in a row are clipping.
  const std::int32_t high = 32767, low = -32768;
  const Bytes loud = samples16({high, 0, high, high, high, high, 0, low, low, 5, low, low, low});
  EXPECT_EQ(analyse(make_wav({.channels = 1}, loud)).channels[0].clipped, 4u + 3u);
  const Bytes quiet = samples16({1000, -12000, 300});
  ClipCounter counter(SampleEncoding::signed16);
  counter.add(quiet.data(), 3);
  for (const auto& [multiple, clipped] : {std::pair{2.73, 0u}, {2.74, 1u}, {200.0, 3u}}) {
    EXPECT_EQ(counter.clippedBy(multiple), clipped);
  }
  // A shortened file is a failure, not a result.
  const Bytes file = make_wav({}, ramp_bytes(4000)), shortened(file.begin(), file.end() - 100);
  const WaveHeader header = *read_wave_header(MemoryByteReader(file)).header;
  bool failed = false;
  EXPECT_FALSE(analyse_pcm(MemoryByteReader(shortened), header, {}, &failed));
  EXPECT_TRUE(failed);
}

TEST(CentreBass, KeepsTheCentreBelowTheCutOffAndRemovesItAbove) {
  // Gain of a centred tone after a second of settling, measured over the next second.
  const auto gain = [](double frequency, double cutoff) {
    CentreBass filter(cutoff, 44100);
    double peak = 0;
    for (int i = 0; i < 2 * 44100; ++i) {
      const double x = std::sin(2 * M_PI * frequency * i / 44100), y = filter.next(x, x);
      if (i >= 44100) peak = std::max(peak, std::abs(y));
    }
    return 20 * std::log10(peak);
  };
  EXPECT_NEAR(gain(40, kDefaultKeepBassHz), 0.0, 0.1);
  EXPECT_LT(gain(1000, kDefaultKeepBassHz), -70.0);
}

}  // namespace
}  // namespace tunekiln::test
