#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "audiofile/pcm_samples.h"
#include "wavproc/loudness.h"

namespace tunekiln::test {
namespace {

using enum SampleEncoding;
// Feeds `seconds` of `sample(frame, channel)` to a meter in pieces of an odd size, as a file's pass would.
LoudnessMeter measure(const PcmFormat& f, double seconds, const auto& sample, std::uint64_t piece = 4801) {
  auto meter = *LoudnessMeter::make(f);
  const std::uint64_t frames = std::llround(seconds * f.sampleRate());
  std::vector<std::uint8_t> bytes(piece * f.bytesPerFrame());
  for (std::uint64_t done = 0, now = 0; done < frames; done += now) {
    now = std::min(piece, frames - done);
    for (std::uint64_t i = 0; i < now * f.channels(); ++i) {
      const auto value = sample(done + i / f.channels(), i % f.channels());
      auto* at = &bytes[i * f.bytesPerSample()];
      if (f.isFloat()) pcm::store_float(at, f.encoding(), value);
      else pcm::store_integer(at, f.encoding(), std::llround(std::ldexp(value, f.bitsPerSample() - 1)));
    }
    meter.add(bytes.data(), now);
  }
  return meter;
}

PcmFormat at48k(SampleEncoding encoding, std::uint16_t channels = 2) {
  return *PcmFormat::make(48000, channels, encoding);
}

// Peak level in dBFS, length in seconds (in tenths).
using Stretches = std::vector<std::pair<double, double>>;

// Stretches of a 1 kHz tone on every channel.
LoudnessMeter programme(const Stretches& stretches, const PcmFormat& format) {
  // The amplitude in each tenth of a second.
  std::vector<double> tenths;
  for (const auto& [dbfs, seconds] : stretches) {
    tenths.resize(tenths.size() + std::lround(seconds * 10), std::pow(10, dbfs / 20));
  }
  return measure(format, tenths.size() / 10.0, [&](auto n, auto) {
    return tenths[n / 4800] * std::sin(M_PI * (n % 48) / 24);
  });
}

// Every width and a mono file (heard on both loudspeakers) take a turn, at levels 8 bits can hold.
TEST(Loudness, BroadcastTestProgrammes) {
  constexpr auto kI = &LoudnessResult::integrated, kLra = &LoudnessResult::range;
  struct Case { Stretches stretches; PcmFormat format; LoudnessFigure LoudnessResult::*figure; double is; };
  const Case cases[] = {
      {{{-23, 20}}, at48k(signed24), kI, -23}, {{{-33, 20}}, at48k(signed16, 1), kI, -33},
      {{{-36, 10}, {-23, 60}, {-36, 10}}, at48k(float32), kI, -23},
      {{{-72, 10}, {-36, 10}, {-23, 60}, {-36, 10}, {-72, 10}}, at48k(signed32), kI, -23},
      {{{-26, 20}, {-20, 20.1}, {-26, 20}}, at48k(unsigned8), kI, -23},
      {{{-20, 20}, {-30, 20}}, at48k(float64), kLra, 10},
      {{{-20, 20}, {-15, 20}}, at48k(unsigned8, 1), kLra, 5},
      {{{-40, 20}, {-20, 20}}, at48k(signed16), kLra, 20},
      {{{-50, 20}, {-35, 20}, {-20, 20}, {-35, 20}, {-50, 20}}, at48k(signed24), kLra, 15}};
  for (const Case& c : cases) {
    const auto result = programme(c.stretches, c.format).result();
    EXPECT_NEAR(std::get<double>(result.*c.figure), c.is, c.figure == kLra ? 1 : 0.1);
  }
}

// Tones at +0.5 dBTP whose phase puts no sample on the crest, on the first channel only; they
// fade in and out over 10 ms, since an abrupt edge really overshoots. The 48 kHz one reaches the
// crest only when oversampled by 4. From 192 kHz on, the samples are the peak.
TEST(Loudness, FindsTruePeaksBetweenSamples) {
  struct Case { PcmFormat format; double cycle, phase, seconds, dbtp; };
  const Case cases[] = {{at48k(float64, 1), 4, 67.5, 1, 0.5},
                        {*PcmFormat::make(44100, 2, signed16), 4, 45, 0.02, 0.5},
                        {*PcmFormat::make(96000, 3, float32), 4, 45, 1, 0.5},
                        {*PcmFormat::make(192000, 2, unsigned8), 4, 45, 1, 0.5 + 20 * std::log10(M_SQRT1_2)}};
  for (const Case& c : cases) {
    const double rate = c.format.sampleRate(), edge = rate / 100, frames = std::round(c.seconds * rate);
    double samplePeak = 0;
    const auto result = measure(c.format, c.seconds, [&](auto n, auto channel) {
      const double wave = std::sin(2 * M_PI * n / c.cycle + c.phase * M_PI / 180);
      const double fade = std::min({n / edge, (frames - n) / edge, 1.0});
      const double at = channel ? 0 : fade * std::pow(10, 0.5 / 20) * wave;
      samplePeak = std::max(samplePeak, std::abs(at));
      return at;
    }).result();
    EXPECT_NEAR(result.samplePeak, samplePeak, 0.005);
    // Within +0.2 and -0.4 dB.
    EXPECT_NEAR(20 * std::log10(result.channelTruePeaks[0]), c.dbtp - 0.1, 0.3) << c.format.sampleRate();
    EXPECT_EQ(std::accumulate(result.channelTruePeaks.begin() + 1, result.channelTruePeaks.end(), 0.0), 0);
  }
}

// A meter filters whole blocks of its own: how the frames come changes no peak. The signal ends
// on its true peak, between two equal samples, and in silence: 48 frames of it more change nothing.
TEST(Loudness, PiecesOfAnySizeGiveTheSamePeaks) {
  std::vector<LoudnessResult> results;
  for (const std::uint64_t piece : {1, 7, 4096}) {
    results.push_back(measure(at48k(float32), 0.5 + piece / 4096 * 0.001, [](auto n, auto c) {
      return n < 23998 ? 0.5 * std::sin(n * (0.3 + c) + 40 * std::sin(n * 0.001)) : n < 24000 ? 0.9 : 0;
    }, piece).result());
    EXPECT_EQ(results.back().channelTruePeaks, results[0].channelTruePeaks);
    EXPECT_EQ(results.back().samplePeak, results[0].samplePeak);
  }
}

// Whatever the ceiling, the gain stops the loudest peak of the album, -20 dB, at full scale.
TEST(Loudness, AnAlbumGainStopsAtFullScale) {
  const auto loud = programme({{-20, 5}}, at48k(signed16)), quiet = programme({{-26, 5}}, at48k(signed16));
  const std::vector album{&quiet, &loud};
  const auto reached = std::get<TargetGain>(album_gain_to_target(album, 0, 3));
  EXPECT_NEAR(reached.db, 20, 0.1);
  EXPECT_TRUE(reached.loweredForPeak);
}

}  // namespace
}  // namespace tunekiln::test
