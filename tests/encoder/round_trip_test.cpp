// A tone saved as MP3 and played back by the player's own MP3 decoder sounds the same:
// frequency, level and length survive the round trip.
#include <gtest/gtest.h>

#include <vector>

#include "encoder/save_to_mp3.h"
#include "engine/mp3_decoder.h"
#include "tests/encoder/encoder_fixtures.h"
#include "tests/support/tone_analyser.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

// Decodes the whole file as the engine would, in blocks the size of its output's.
std::vector<std::int16_t> decode_all(const std::string& path, StreamInfo& info) {
  Mp3Decoder decoder;
  EXPECT_TRUE(decoder.open(path));
  info = decoder.getInfo();
  Bytes pcm;
  std::vector<std::uint8_t> block(32768);
  for (bool more = true; more;) {
    std::size_t size = block.size();
    more = decoder.read(block.data(), size);
    pcm.insert(pcm.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(size));
  }
  return samples_of(pcm);
}

struct RoundTrip {
  int channels;
  int sampleRate;
};

class RoundTripTest : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(RoundTripTest, ToneKeepsItsFrequencyLevelAndLength) {
  const auto [channels, sampleRate] = GetParam();
  const int frames = 3 * sampleRate;
  TempDir dir;
  write_file(dir.file("tone.wav"),
             make_wav({.channels = static_cast<std::uint16_t>(channels), .sampleRate = static_cast<std::uint32_t>(sampleRate)},
                      tone16(channels, frames, sampleRate)));
  ScriptedSaveHost host;
  host.input = dir.file("tone.wav");
  host.output = dir.file("tone.mp3");
  EncoderConsole console;  // outlives the streams, which hold its buffer
  CapturedStream err, out;
  console.err = err.get();
  console.out = out.get();
  ASSERT_EQ(SaveToMp3File(host, console).outcome, SaveOutcome::finished) << err.text();

  StreamInfo info{};
  const auto decoded = decode_all(dir.file("tone.mp3"), info);
  EXPECT_EQ(info.sampleRate, sampleRate);
  EXPECT_EQ(info.stereo, channels == 2 ? 1 : 0);
  EXPECT_EQ(info.lengthSeconds, 3);

  // The encoder's delay and padding add less than three frames of 1152 samples; the decoder
  // leaves out the last frame, so the length is the input's give or take that much.
  const auto decodedFrames = static_cast<long>(decoded.size()) / channels;
  EXPECT_NEAR(decodedFrames, frames, 3 * 1152);

  const double expected[] = {440.0, 660.0};
  for (int channel = 0; channel < channels; ++channel) {
    const auto tone = measure_tone(decoded, channels, channel, sampleRate, 2 * 1152);
    EXPECT_NEAR(tone.frequency, expected[channel], 2.0) << "channel " << channel;
    EXPECT_NEAR(tone.amplitude(), 12000.0 / 32768.0, 0.03) << "channel " << channel;
  }
}

INSTANTIATE_TEST_SUITE_P(Inputs, RoundTripTest,
                         ::testing::Values(RoundTrip{2, 44100}, RoundTrip{1, 44100}, RoundTrip{2, 22050}),
                         [](const auto& test) {
                           return (test.param.channels == 2 ? "Stereo" : "Mono") + std::to_string(test.param.sampleRate);
                         });

}  // namespace
}  // namespace tunekiln::test
