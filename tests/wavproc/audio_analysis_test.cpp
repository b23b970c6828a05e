#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <tuple>

#include "audiofile/wave_header.h"
#include "tests/support/wav_builder.h"
#include "wavproc/audio_analysis.h"
#include "wavproc/centre_bass.h"

namespace tunekiln::test {
namespace {

using Tone = std::function<double(std::size_t frame)>;
Tone sine(double amplitude, double period) {
  return [=](std::size_t i) { return amplitude * std::sin(2 * M_PI * static_cast<double>(i) / period); };
}

PcmAnalysis analyse(const Bytes& file) {
  const MemoryByteReader reader(file);
  return *analyse_pcm(reader, *read_wave_header(reader).header);
}

TEST(AudioAnalysis, LevelsCorrelationAndWhatClearVoiceWillDo) {
  constexpr std::size_t kFrames = 44100 + 1001;  // odd, so the lanes' tail is walked too
  const Tone centred = [](auto i) { return sine(16384, 100)(i) + sine(3000, 7)(i); };
  // Left, right, the left peak, the correlation and the verdict.
  const std::tuple<Tone, Tone, double, double, CentreRemoval> rows[] = {
      {sine(16384, 100), sine(16384, 100), 0.5, 1.0, CentreRemoval::silence},
      {sine(16384, 100), centred, 0.5, 0.98, CentreRemoval::likely},
      {sine(8192, 100), sine(-8192, 100), 0.25, -1.0, CentreRemoval::unlikely},
  };
  for (const auto& [left, right, leftPeak, correlation, verdict] : rows) {
    Bytes samples;
    for (std::size_t i = 0; i < kFrames; ++i) {
      for (const auto sample : {std::lround(left(i)), std::lround(right(i))}) {
        samples.insert(samples.end(), {static_cast<std::uint8_t>(sample), static_cast<std::uint8_t>(sample >> 8)});
      }
    }
    const auto analysis = analyse(make_wav({}, samples));
    EXPECT_EQ(analysis.frames, kFrames);
    EXPECT_NEAR(analysis.channels[0].peak, leftPeak, 1e-4);
    // A sine's RMS is its peak / sqrt(2).
    EXPECT_NEAR(to_dbfs(analysis.channels[0].rms), to_dbfs(leftPeak / std::sqrt(2.0)), 0.01);
    EXPECT_NEAR(analysis.correlation.value_or(99), correlation, 0.02);
    EXPECT_EQ(judge_centre_removal(analysis), verdict) << correlation;
  }
}

TEST(AudioAnalysis, PeaksOnOneScaleRunsAtFullScaleAndTheMultipleThatDoesNotClip) {
  float half = 0.5f;
  Bytes f32(4);
  std::memcpy(f32.data(), &half, 4);
  // Half scale in every encoding: -6.02 dBFS.
  for (const auto& [shape, sample] : {std::pair{WavShape{.channels = 1, .bits = 24}, Bytes{0x00, 0x00, 0x40}},
                                      {WavShape{.channels = 1, .bits = 32, .formatTag = 3}, f32},
                                      {WavShape{.channels = 1, .bits = 8}, Bytes{128 + 64}}}) {
    EXPECT_NEAR(to_dbfs(analyse(make_wav(shape, sample)).channels[0].peak), -6.02, 0.01) << shape.bits;
  }
  // A lone full-scale sample is a peak; three or more in a row are clipping.
  const auto loud = analyse(make_wav({.channels = 1}, samples16({32767, 0, 32767, 32767, 32767, 32767, 0, -32768,
                                                                 -32768, 5, -32768, -32768, -32768})));
  EXPECT_EQ(loud.channels[0].clipped, 4u + 3u);
  EXPECT_EQ(largest_unclipped_multiple(loud, SampleEncoding::signed16), 1.0);
  // 32768 / 12000 = 2.7306...: the largest multiple in hundredths below it.
  const auto quiet = samples16({1000, -12000, 300});
  EXPECT_EQ(largest_unclipped_multiple(analyse(make_wav({.channels = 1}, quiet)), SampleEncoding::signed16), 2.73);
  EXPECT_FALSE(largest_unclipped_multiple(analyse(make_wav({.channels = 1}, samples16({0, 0}))), SampleEncoding::signed16));
  ClipCounter counter(SampleEncoding::signed16);
  counter.add(quiet.data(), 3);
  for (const auto& [multiple, clipped] : {std::pair{2.73, 0u}, {2.74, 1u}, {40.0, 2u}, {200.0, 3u}}) {
    EXPECT_EQ(counter.clippedBy(multiple), clipped) << multiple;
  }
  const auto file = make_wav({}, ramp_bytes(4000));
  bool failed = false;
  EXPECT_FALSE(analyse_pcm(MemoryByteReader(Bytes(file.begin(), file.end() - 100)), *read_wave_header(MemoryByteReader(file)).header,
                           {}, &failed));
  EXPECT_TRUE(failed) << "a shortened file is a failure, not a result";
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
  EXPECT_NEAR(gain(kDefaultKeepBassHz, kDefaultKeepBassHz), -3.01, 0.1);  // Butterworth: -3 dB at the cut-off
  EXPECT_LT(gain(1000, kDefaultKeepBassHz), -70.0);                         // 24 dB per octave
  EXPECT_NEAR(gain(1000, 30000), 0.0, 0.1) << "a cut-off beyond half the rate passes everything";
}

}  // namespace
}  // namespace tunekiln::test
