#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "audiofile/wave_header.h"
#include "tests/support/wav_builder.h"
#include "wavproc/audio_analysis.h"
#include "wavproc/centre_bass.h"

namespace tunekiln {
namespace {

using test::Bytes;

// Stereo 16-bit frames from two functions of the frame index.
template <typename Left, typename Right>
Bytes stereo16(std::size_t frames, Left left, Right right) {
  Bytes out;
  for (std::size_t i = 0; i < frames; ++i) {
    for (const std::int32_t value : {left(i), right(i)}) {
      out.push_back(static_cast<std::uint8_t>(value));
      out.push_back(static_cast<std::uint8_t>(value >> 8));
    }
  }
  return out;
}

PcmAnalysis analyse(const Bytes& file) {
  const MemoryByteReader reader(file);
  const auto parse = read_wave_header(reader);
  EXPECT_EQ(parse.result, AudioFileResult::ok);
  return *analyse_pcm(reader, *parse.header);
}

std::int32_t sine(std::size_t i, double amplitude, double period) {
  return static_cast<std::int32_t>(std::lround(amplitude * std::sin(2 * M_PI * static_cast<double>(i) / period)));
}

TEST(AudioAnalysis, LevelsCorrelationAndWhatClearVoiceWillDo) {
  // 1001 frames: odd, so the lanes' tail is walked too. A sine's RMS is its peak / sqrt(2).
  constexpr std::size_t kFrames = 44100 + 1001;
  const struct {
    const char* name;
    Bytes samples;
    double leftPeak;
    double correlation;
    CentreRemoval verdict;
  } rows[] = {
      {"dual mono", stereo16(kFrames, [](auto i) { return sine(i, 16384, 100); }, [](auto i) { return sine(i, 16384, 100); }),
       0.5, 1.0, CentreRemoval::silence},
      {"mostly centred", stereo16(kFrames, [](auto i) { return sine(i, 16384, 100); },
                                  [](auto i) { return sine(i, 16384, 100) + sine(i, 3000, 7); }),
       0.5, 0.98, CentreRemoval::likely},
      {"wide", stereo16(kFrames, [](auto i) { return sine(i, 16384, 100); }, [](auto i) { return sine(i, 16384, 37); }),
       0.5, 0.0, CentreRemoval::unlikely},
      {"inverted", stereo16(kFrames, [](auto i) { return sine(i, 32768 * 0.25, 100); },
                            [](auto i) { return -sine(i, 32768 * 0.25, 100); }),
       0.25, -1.0, CentreRemoval::unlikely},
  };
  for (const auto& row : rows) {
    const auto analysis = analyse(test::make_wav({}, row.samples));
    EXPECT_EQ(analysis.frames, kFrames) << row.name;
    EXPECT_NEAR(analysis.channels[0].peak, row.leftPeak, 1e-4) << row.name;
    EXPECT_NEAR(to_dbfs(analysis.channels[0].rms), to_dbfs(row.leftPeak / std::sqrt(2.0)), 0.01) << row.name;
    EXPECT_NEAR(analysis.correlation.value_or(99), row.correlation, 0.02) << row.name;
    EXPECT_EQ(judge_centre_removal(analysis), row.verdict) << row.name;
  }
}

TEST(AudioAnalysis, CountsRunsAtFullScaleAndTheMultipleThatDoesNotClip) {
  // A lone full-scale sample is a peak; three or more in a row are clipping.
  Bytes samples = test::samples16({32767, 0, 32767, 32767, 32767, 32767, 0, -32768, -32768, 5, -32768, -32768, -32768});
  const auto mono = analyse(test::make_wav({.channels = 1}, samples));
  EXPECT_EQ(mono.channels[0].clipped, 4u + 3u);
  EXPECT_EQ(largest_unclipped_multiple(mono, SampleEncoding::signed16), 1.0);

  const auto quiet = analyse(test::make_wav({.channels = 1}, test::samples16({1000, -12000, 300})));
  // 32768 / 12000 = 2.7306...: the largest multiple in hundredths below it, checked as the
  // volume change computes (a float factor, truncation toward zero).
  EXPECT_EQ(largest_unclipped_multiple(quiet, SampleEncoding::signed16), 2.73);
  EXPECT_LE(std::trunc(-12000.0 * static_cast<float>(2.73)), 32767);

  // The count as the entry changes: exact for 16 bits, at the boundary the volume change has.
  ClipCounter counter(SampleEncoding::signed16);
  const auto quietSamples = test::samples16({1000, -12000, 300});
  counter.add(quietSamples.data(), 3);
  for (const auto& [multiple, clipped] : {std::pair{2.73, 0u}, {2.74, 1u}, {40.0, 2u}, {200.0, 3u}}) {
    EXPECT_EQ(counter.clippedBy(multiple), clipped) << multiple;
  }

  const auto silent = analyse(test::make_wav({.channels = 1}, test::samples16({0, 0})));
  EXPECT_FALSE(largest_unclipped_multiple(silent, SampleEncoding::signed16).has_value());
}

TEST(AudioAnalysis, ReadsEveryEncodingOnOneScale) {
  // Half scale in every encoding: -6.02 dBFS.
  Bytes s24 = {0x00, 0x00, 0x40}, f32(4), u8 = {128 + 64};
  const float half = 0.5f;
  std::memcpy(f32.data(), &half, 4);
  for (const auto& [shape, sample] : {std::pair{test::WavShape{.channels = 1, .bits = 24}, s24},
                                      std::pair{test::WavShape{.channels = 1, .bits = 32, .formatTag = 3}, f32},
                                      std::pair{test::WavShape{.channels = 1, .bits = 8}, u8}}) {
    const auto analysis = analyse(test::make_wav(shape, sample));
    EXPECT_NEAR(to_dbfs(analysis.channels[0].peak), -6.02, 0.01) << shape.bits;
  }
}

TEST(AudioAnalysis, AShortenedFileIsAFailureNotAResult) {
  const auto file = test::make_wav({}, test::ramp_bytes(4000));
  const auto parse = read_wave_header(MemoryByteReader(file));
  const Bytes cut(file.begin(), file.end() - 100);
  bool failed = false;
  EXPECT_FALSE(analyse_pcm(MemoryByteReader(cut), *parse.header, {}, &failed).has_value());
  EXPECT_TRUE(failed);
}

TEST(CentreBass, KeepsTheCentreBelowTheCutOffAndRemovesItAbove) {
  // Gain of a centred tone after a second of settling, measured over the next second.
  const auto gain = [](double frequency, double cutoff) {
    CentreBass filter(cutoff, 44100);
    double peak = 0;
    for (int i = 0; i < 2 * 44100; ++i) {
      const double x = std::sin(2 * M_PI * frequency * i / 44100);
      const double y = filter.next(x, x);
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
}  // namespace tunekiln
