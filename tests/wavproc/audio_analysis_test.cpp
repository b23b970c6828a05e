#include <gtest/gtest.h>

#include <cmath>

#include "audiofile/wave_header.h"
#include "tests/support/wav_builder.h"
#include "wavproc/audio_analysis.h"
#include "wavproc/centre_bass.h"

namespace tunekiln::test {
namespace {

PcmAnalysis analyse(const Bytes& file) {
  return *analyse_pcm(MemoryByteReader(file), *read_wave_header(MemoryByteReader(file)).header);
}

TEST(AudioAnalysis, CountsRunsAtFullScaleAndFindsTheMultipleThatDoesNotClip) {
  // A lone full-scale sample is a peak; three or more in a row are clipping.
  const auto loud = samples16({32767, 0, 32767, 32767, 32767, 32767, 0, -32768, -32768, 5, -32768, -32768, -32768});
  EXPECT_EQ(analyse(make_wav({.channels = 1}, loud)).channels[0].clipped, 4u + 3u);
  // The command line's volume --multiple max checks a multiple in hundredths; a silent file has none.
  EXPECT_EQ(largest_unclipped_multiple(analyse(make_wav({}, samples16({0, 0}))), SampleEncoding::signed16), std::nullopt);
  const Bytes quiet = samples16({1000, -12000, 300});
  ClipCounter counter(SampleEncoding::signed16);
  counter.add(quiet.data(), 3);
  for (const auto& [multiple, clipped] : {std::pair{2.73, 0u}, {2.74, 1u}, {200.0, 3u}}) EXPECT_EQ(counter.clippedBy(multiple), clipped);
  // A shortened file is a failure, not a result.
  const Bytes file = make_wav({}, ramp_bytes(4000)), shortened(file.begin(), file.end() - 100);
  bool failed = false;
  EXPECT_FALSE(analyse_pcm(MemoryByteReader(shortened), *read_wave_header(MemoryByteReader(file)).header, {}, &failed));
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
