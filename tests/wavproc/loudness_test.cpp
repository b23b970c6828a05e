#include <gtest/gtest.h>
#include <malloc.h>

#include <array>
#include <cmath>
#include <functional>
#include <limits>

#include "audiofile/pcm_samples.h"
#include "wavproc/loudness.h"

namespace tunekiln::test {
namespace {

using Sample = std::function<double(std::uint64_t frame, unsigned channel)>;

// Feeds `seconds` of a signal to a meter in pieces of an odd size, as a file's pass would.
LoudnessMeter measure(const PcmFormat& format, double seconds, const Sample& sample) {
  LoudnessMeter meter = *LoudnessMeter::make(format);
  const std::uint64_t frames = std::llround(seconds * format.sampleRate()), piece = 4801;
  std::vector<std::uint8_t> bytes(piece * format.bytesPerFrame());
  for (std::uint64_t done = 0; done < frames; done += piece) {
    const std::uint64_t now = std::min(piece, frames - done);
    for (std::uint64_t i = 0; i < now * format.channels(); ++i) {
      const double value = sample(done + i / format.channels(), i % format.channels());
      std::uint8_t* at = &bytes[i * format.bytesPerSample()];
      if (format.isFloat()) pcm::store_float(at, format.encoding(), value);
      else pcm::store_integer(at, format.encoding(), std::llround(value * (pcm::integer_max(format.encoding()) + 1)));
    }
    meter.add(bytes.data(), now);
  }
  return meter;
}

const PcmFormat kStereo = *PcmFormat::make(48000, 2, SampleEncoding::signed24);
double lufs(const LoudnessResult& result) { return std::get<double>(result.integrated); }

// A 1 kHz sine at 48000 Hz, 48 frames a period.
double sine_1khz(std::uint64_t frame) {
  static const auto period = [] {
    std::array<double, 48> values;
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = std::sin(2 * M_PI * static_cast<double>(i) / 48);
    return values;
  }();
  return period[frame % 48];
}

using Stretches = std::vector<std::pair<double, double>>;  // peak level in dBFS, length in seconds

// Stretches of a 1 kHz tone on every channel.
LoudnessResult programme(const Stretches& stretches, const PcmFormat& format = kStereo) {
  std::vector<std::pair<std::uint64_t, double>> ends;  // the frame where each stretch ends, its amplitude
  double seconds = 0;
  for (const auto& [dbfs, length] : stretches) {
    ends.emplace_back(std::llround((seconds += length) * 48000), std::pow(10, dbfs / 20));
  }
  return measure(format, seconds, [&](std::uint64_t frame, unsigned) {
    while (frame >= ends.front().first) ends.erase(ends.begin());
    return ends.front().second * sine_1khz(frame);
  }).result();
}

TEST(Loudness, MeasuresTheBroadcastersTestProgrammes) {
  constexpr auto kIntegrated = &LoudnessResult::integrated, kRange = &LoudnessResult::range;
  struct Case { Stretches stretches; LoudnessFigure LoudnessResult::*figure; double is; };
  const Case cases[] = {
      {{{-23, 20}}, kIntegrated, -23}, {{{-33, 20}}, kIntegrated, -33},
      {{{-36, 10}, {-23, 60}, {-36, 10}}, kIntegrated, -23},
      {{{-72, 10}, {-36, 10}, {-23, 60}, {-36, 10}, {-72, 10}}, kIntegrated, -23},
      {{{-26, 20}, {-20, 20.1}, {-26, 20}}, kIntegrated, -23},
      {{{-20, 20}, {-30, 20}}, kRange, 10}, {{{-20, 20}, {-15, 20}}, kRange, 5}, {{{-40, 20}, {-20, 20}}, kRange, 20},
      {{{-50, 20}, {-35, 20}, {-20, 20}, {-35, 20}, {-50, 20}}, kRange, 15}};
  for (const Case& c : cases) {
    const double measured = std::get<double>(programme(c.stretches).*c.figure);
    EXPECT_NEAR(measured, c.is, c.figure == kRange ? 1 : 0.1) << c.stretches.size() << " stretches, " << c.is;
  }
}

TEST(Loudness, FindsTruePeaksBetweenSamples) {
  // Tones at a fraction of the rate, started at a phase that puts no sample on the crest; right 20 dB lower.
  for (const auto& [divisor, degrees, dbtp] : {std::tuple{4, 0.0, -6.0}, {4, 45.0, -6.0}, {6, 60.0, -6.0},
                                              {8, 67.5, -6.0}, {4, 45.0, 3.0}}) {
    const LoudnessResult result = measure(kStereo, 1, [&](auto n, auto c) {
      return std::min(n / 480.0, 1.0) * std::pow(10, (dbtp - 20.0 * c) / 20) * std::sin(2 * M_PI * n / divisor + degrees * M_PI / 180);
    }).result();
    for (const auto& [peak, expected] : {std::pair{result.truePeak, dbtp}, {result.channelTruePeaks[1], dbtp - 20}}) {
      EXPECT_LE(std::get<double>(to_dbtp(peak)), expected + 0.2) << divisor << " " << degrees;
      EXPECT_GE(std::get<double>(to_dbtp(peak)), expected - 0.4) << divisor << " " << degrees;
    }
  }
}

TEST(Loudness, GivesTheSameFiguresForEveryWidthAndForMonoAsHeard) {
  // -3.05 dBFS lies mid-way in one of the meter's 0.1 LU steps, so rounding noise cannot change the step.
  const LoudnessResult reference = programme({{-3.05, 1}}, *PcmFormat::make(48000, 2, SampleEncoding::float64));
  for (const auto encoding : {SampleEncoding::unsigned8, SampleEncoding::signed16, SampleEncoding::signed24,
                              SampleEncoding::signed32, SampleEncoding::float32}) {
    for (const std::uint16_t channels : {1, 2}) {
      const LoudnessResult result = programme({{-3.05, 1}}, *PcmFormat::make(48000, channels, encoding));
      EXPECT_NEAR(lufs(result), lufs(reference), 0.01) << static_cast<int>(encoding) << " " << channels;
      EXPECT_NEAR(result.truePeak, reference.truePeak, 0.005) << static_cast<int>(encoding) << " " << channels;
    }
  }
}

TEST(Loudness, SaysWhyAFigureIsMissingAndMeasuresNonFiniteSamplesAsSilence) {
  const PcmFormat format = *PcmFormat::make(48000, 2, SampleEncoding::float32);
  const auto silence = measure(format, 5, [](auto, auto) { return 0.0; }).result();
  EXPECT_EQ(silence.integrated, LoudnessFigure(Unmeasured::silent));
  EXPECT_EQ(silence.range, LoudnessFigure(Unmeasured::silent));
  EXPECT_EQ(to_dbtp(silence.truePeak), LoudnessFigure(Unmeasured::silent));
  const auto blip = programme({{-20, 0.39}}, format);
  EXPECT_EQ(blip.integrated, LoudnessFigure(Unmeasured::tooShort));
  EXPECT_EQ(blip.range, LoudnessFigure(Unmeasured::tooShort));
  // A NaN or infinity left in the K-weighting filter would silence every block after it.
  const auto spoiled = measure(format, 3, [](std::uint64_t frame, auto) {
    // Where the tone crosses 0, so that silence in their place leaves the tone as it was.
    if (frame == 480 || frame == 24000) return frame == 480 ? std::nan("") : -std::numeric_limits<double>::infinity();
    return 0.1 * sine_1khz(frame);
  }).result();
  EXPECT_NEAR(lufs(spoiled), -20, 0.1);
  EXPECT_NEAR(spoiled.truePeak, 0.1, 0.001);
  EXPECT_EQ(spoiled.nonFiniteSamples, 4u);
}

TEST(Loudness, KeepsItsMemoryWhateverTheLength) {
  LoudnessMeter meter = *LoudnessMeter::make(*PcmFormat::make(8000, 1, SampleEncoding::signed16));
  std::vector<std::uint8_t> second(2 * 8000);  // a loud square wave at half the rate
  for (std::size_t i = 1; i < second.size(); i += 2) second[i] = i % 4 == 1 ? 0x40 : 0xc0;
  meter.add(second.data(), 8000);
  const auto before = mallinfo2().uordblks;
  for (int i = 0; i < 300; ++i) meter.add(second.data(), 8000);
  EXPECT_EQ(mallinfo2().uordblks, before);
}

TEST(Loudness, GainsReachTheTargetBelowTheCeilingForATrackAndAnAlbum) {
  const PcmFormat format = *PcmFormat::make(48000, 2, SampleEncoding::signed16);
  const auto tone = [](double amplitude) { return [=](auto n, auto) { return amplitude * sine_1khz(n); }; };
  const LoudnessMeter loud = measure(format, 5, tone(0.1)), quiet = measure(format, 5, tone(0.05));
  const std::vector<const LoudnessMeter*> album{&quiet, &loud};
  // Together: the mean of -20 and -26 LUFS as energies is -22.04; the loudest peak is -20 dBTP.
  for (const auto& [ceiling, gain, lowered] : {std::tuple{-1.0, 8.04, false}, {-15.0, 5.0, true}}) {
    const TargetGain reached = std::get<TargetGain>(album_gain_to_target(album, -14, ceiling));
    EXPECT_NEAR(reached.db, gain, 0.1);
    EXPECT_NEAR(reached.reachedLufs, -14 - 8.04 + gain, 0.1);
    EXPECT_EQ(reached.loweredForPeak, lowered);
  }
  const TargetGain track = std::get<TargetGain>(gain_to_target(quiet.result(), -14, -1));
  EXPECT_NEAR(track.db, 12.0, 0.1);
  const ReplayGain replayGain = std::get<ReplayGain>(replay_gain(loud.result()));
  EXPECT_NEAR(replayGain.trackGainDb, 2.0, 0.1);
  EXPECT_NEAR(replayGain.trackPeak, 0.1, 0.001);
}

}  // namespace
}  // namespace tunekiln::test
