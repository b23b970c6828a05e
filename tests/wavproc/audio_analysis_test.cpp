// The levels of every width against the test's own sums, and the largest multiple that does not
// clip against hand-worked boundaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <numeric>
#include <tuple>

#include "audiofile/wave_header.h"
#include "tests/support/wav_builder.h"
#include "wavproc/audio_analysis.h"
#include "wavproc/volume_dialog_logic.h"

namespace tunekiln::test {
namespace {

PcmAnalysis analyse(const Bytes& file) {
  return *analyse_pcm(MemoryByteReader(file), *read_wave_header(MemoryByteReader(file)).header);
}

double dot(const std::vector<double>& a, const std::vector<double>& b) {
  return std::inner_product(a.begin(), a.end(), b.begin(), 0.0);
}

const WavShape k8{.bits = 8}, k16{.bits = 16}, k24{.bits = 24}, k32{.bits = 32};
const WavShape kFloat32{.bits = 32, .formatTag = 3}, kFloat64{.bits = 64, .formatTag = 3};

TEST(AudioAnalysis, LevelsAndCorrelation) {
  for (WavShape shape : {k8, k16, k24, k32, kFloat32, kFloat64}) {
    for (const std::uint16_t channels : {1, 2, 3}) {
      SCOPED_TRACE(testing::Message() << shape.bits << "/" << shape.formatTag << "/" << channels);
      shape.channels = channels;
      // Sixteenths of full scale, the second channel mostly the first one's mirror. The first
      // holds lone samples at full scale and a run of four, which counts as clipped. A float file
      // also holds a NaN or an infinite sample in each channel, which count as silence and stay
      // out of the levels.
      const int nonFinite = shape.formatTag == 3;
      std::vector<double> stored, x[3];
      for (int frame = 0; frame < 50; ++frame) {
        const int first = frame >= 20 && frame < 24 ? -16 : frame * 5 % 32 - 16;
        const int sixteenths[] = {first, frame % 4 == 0 ? 0 : -first - 1, (frame * 11 + 7) % 32 - 16};
        for (int c = 0; c < channels; ++c) {
          double value = sixteenths[c] / 16.0;
          if (nonFinite && frame == 10 + c) value = c == 0 ? NAN : -INFINITY;
          stored.push_back(nonFinite ? value : std::ldexp(value, shape.bits - 1));
          x[c].push_back(std::isfinite(value) ? value : 0);
        }
      }
      const PcmAnalysis analysis = analyse(make_wav(shape, encode_samples(shape, stored)));
      ASSERT_EQ(analysis.channels.size(), channels);
      for (int c = 0; c < channels; ++c) {
        const auto [low, high] = std::ranges::minmax(x[c]);
        EXPECT_EQ(analysis.channels[c].peak, std::max(-low, high));
        EXPECT_NEAR(analysis.channels[c].rms, std::sqrt(dot(x[c], x[c]) / (50 - nonFinite)), 1e-6);
        EXPECT_EQ(analysis.channels[c].nonFinite, nonFinite);
        EXPECT_EQ(analysis.channels[c].clipped, c == 0 ? 4u : 0u);
      }
      if (channels != 2) continue;
      // Pearson's: the sums of products about the means.
      const std::vector<double> one(50, 1.0);
      const auto moment = [&](auto& a, auto& b) { return dot(a, b) - dot(a, one) * dot(b, one) / 50; };
      const double correlation = moment(x[0], x[1]) / std::sqrt(moment(x[0], x[0]) * moment(x[1], x[1]));
      EXPECT_NEAR(analysis.correlation.value_or(9), correlation, 1e-6);
    }
  }
}

TEST(AudioAnalysis, LargestUnclippedMultiple) {
  // Stored samples, and the float factor of the largest multiple that clips none of them.
  const std::tuple<WavShape, std::vector<double>, float> rows[] = {
      // The product is truncated: 2.00 takes 64 to one past the largest 8-bit sample, while 2.01
      // takes -64 to -128.64, which truncates to the smallest.
      {k8, {64, 3}, 1.99f},
      {k8, {-64, 3}, 2.01f},
      // 1.10 as a float is 1.10000002: this sample times 1.1 fits, times the float it clips.
      {k32, {1952257850}, 1.09f},
      // Beyond full scale, legal in float: a multiple below 1, to two significant digits.
      {kFloat64, {-0.3, 150}, 0.0066f},
      {kFloat32, {INFINITY, 0.25, NAN}, 4.0f},
      // Far below full scale: the largest float factor.
      {kFloat32, {1e-40}, FLT_MAX},
  };
  for (auto [shape, values, factor] : rows) {
    SCOPED_TRACE(values[0]);
    shape.channels = 1;
    const Bytes file = make_wav(shape, encode_samples(shape, values));
    const auto encoding = read_wave_header(MemoryByteReader(file)).header->format.encoding();
    const auto multiple = largest_unclipped_multiple(analyse(file), encoding);
    ASSERT_TRUE(multiple);
    // Entered as the command line enters it.
    EXPECT_TRUE(accept_volume_entry(multiple_entry_text(*multiple)));
    EXPECT_EQ(g_volumeMultiple, factor);
  }
}

// The dialog's labels: what a multiple would clip, and its decibels. Full scale itself does not
// clip; 5 × 6553.5 truncates to the largest sample, 5 × 6553.6 passes it.
TEST(VolumeDialog, ClipCountsAndDecibels) {
  EXPECT_EQ(volume_decibel_text("0.5x"), "-6.02");
  const Bytes samples = samples16({32767, -32768, 5, 0});
  ClipCounter counter(SampleEncoding::signed16);
  counter.add(samples.data(), 4);
  for (const auto& [multiple, clipped] : {std::pair{1.0, 0u}, {1.01, 2u}, {6553.5, 2u}, {6553.6, 3u}}) {
    EXPECT_EQ(counter.clippedBy(multiple), clipped) << multiple;
  }
}

}  // namespace
}  // namespace tunekiln::test
