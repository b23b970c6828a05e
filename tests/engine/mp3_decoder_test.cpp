// The MP3 decoder on files made with libmp3lame, checked against an account of their frames
// made without libmad. The tone's level is checked by the encoder's round trips.
#include "engine/mp3_decoder.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/dither.h"
#include "tests/support/engine_doubles.h"
#include "tests/support/failing_reader.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/tone_analyser.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

struct Mp3DecoderTest : ::testing::Test {
  // Samples per channel of `bytes` decoded to the end, or nothing when the decoder refuses them.
  std::optional<std::size_t> decode(const Bytes& bytes) {
    // Its frame walk reads `file` no more
    decoder.close();
    file = bytes;
    if (!decoder.open(opened_from(std::make_shared<MemoryByteReader>(file)))) return std::nullopt;
    decoded = decode_all(decoder);
    return decoded.pcm.size() / 2 / static_cast<std::size_t>(decoder.getInfo().stereo + 1);
  }
  Bytes file;
  Decoded decoded;
  Mp3Decoder decoder;
};

TEST_F(Mp3DecoderTest, DecodesEveryFrameBehindATagAndLearnsTheLength) {
  // 22050 Hz mono at 32 kbit/s is decoded through tunekiln-cli, in the command line's tests.
  const Mp3Shape rows[] = {{.tone = {.seconds = 3.0}},
                           {.tone = {.seconds = 20.0, .amplitude = 0.1}, .variableBitrate = true},
                           {.tone = {.seconds = 3.0}, .variableBitrate = true, .tagFrame = true}};
  for (const auto& shape : rows) {
    SCOPED_TRACE(&shape - rows);
    const Bytes mp3 = make_mp3(shape);
    const int frames = static_cast<int>(mpeg_frames(mp3).size());
    // Every frame, the last one too: libmad decodes it only with zero bytes behind it.
    // The tag's size is 00 00 02 01 in 7-bit bytes.
    EXPECT_EQ(decode(id3v2_tag(2 * 128 + 1) + mp3), frames * 1152);
    EXPECT_NEAR(measure_tone(samples_of(decoded.pcm), 2, 0, 44100).frequency, 440, 0.5);
    decoder.settleLength();
    EXPECT_EQ(decoder.getInfo().lengthSeconds, (frames - shape.tagFrame) * 1152 / 44100);
    EXPECT_STREQ(decoder.lengthSource(), shape.tagFrame ? "xing" : "frames");
  }
}

TEST_F(Mp3DecoderTest, SeeksByTheTableOfContents) {
  const Bytes mp3 = make_mp3({.tone = {.seconds = 8.0}, .variableBitrate = true, .tagFrame = true});
  const std::size_t frames = mpeg_frames(mp3).size();
  ASSERT_EQ(decode(mp3), frames * 1152);
  // Entry 50 of the table: half-way
  decoder.seek(50, 100);
  const double half = static_cast<double>((frames - 1) * 1152 * 1000 / 44100 / 2) / 1000;
  EXPECT_EQ(decoder.getPosition(), static_cast<int>(half + 2 * 1152.0 / 44100)) << "two frames prime";
  const Decoded rest = decode_all(decoder);
  EXPECT_NEAR(static_cast<double>(rest.pcm.size()) / 4 / 44100, half, 0.3);
  EXPECT_NEAR(measure_tone(samples_of(rest.pcm), 2, 0, 44100, 2000).frequency, 440, 0.5) << "on a frame";
  decoder.seek(0, 100);
  EXPECT_EQ(decode_all(decoder, 1001).pcm.size(), decoded.pcm.size()) << "whole stereo samples";
}

// What is MPEG audio is told by the frames the test finds; libmad has no part in that.
TEST_F(Mp3DecoderTest, PlaysOnlyMpegAudioAndTheStreamItOpened) {
  const Bytes mp3 = make_mp3({.tone = {.seconds = 1.0}});
  const Bytes narrow = make_mp3({.tone = {.sampleRate = 8000, .channels = 1}, .kbps = 8});
  const std::size_t frames = mpeg_frames(mp3).size();
  const Bytes free = make_mp3({.tone = {.seconds = 1.0}, .kbps = 320, .freeFormat = true});
  std::mt19937 random(18);
  // libmad finds two frames in a row in such bytes
  Bytes noise(2000000);
  for (auto& byte : noise) byte = static_cast<std::uint8_t>(random());
  Bytes damaged = make_wav({}, little_endian_bytes(make_tone({.seconds = 3.0, .amplitude = 0.01})));
  damaged[3] = 'X';
  const std::pair<Bytes, std::optional<std::size_t>> rows[] = {
      {Bytes(mp3.begin(), mp3.begin() + static_cast<long>(mpeg_frames(mp3)[9].offset) + 99), 9 * 1152},
      // Zero bytes in front take the same search as junk.
      {Bytes(999, 'x') + mp3, frames * 1152},
      {free, mpeg_frames(free, 320).size() * 1152},
      // At 8 kHz, the other stream is no sound
      {narrow + mp3, mpeg_frames(narrow).size() * 576},
      {make_wav({}, mp3), std::nullopt},
      {noise, std::nullopt},
      {damaged, std::nullopt},
  };
  for (const auto& [bytes, samples] : rows) EXPECT_EQ(decode(bytes), samples) << bytes.size();
  Mp3Decoder failing;
  ASSERT_TRUE(failing.open(opened_from(std::make_shared<FailingReader>(mp3, 9000))));
  EXPECT_EQ(decode_all(failing).last, ReadResult::failed);
}

TEST(DitherTo16, ShapesTheNoiseAndDithers) {
  // Expected values from a separate model of the rules with unbounded integers.
  const mad_fixed_t in[] = {0, 0, 1 << 27, -1 << 27, 3 << 27, -3 << 27, 12345, -1, 4096, 0xFFFF000,
                            -0xFFFF000};
  DitherState state;
  std::uint8_t out[2 * std::size(in)];
  dither_to_16(state, in, std::size(in), out, 2);
  EXPECT_EQ(samples_of(Bytes(out, out + sizeof out)),
            (std::vector<std::int16_t>{1, -1, 16385, -16385, 32767, -32768, 1, 1, 0, 32767, -32767}));
}

}  // namespace
}  // namespace tunekiln::test
