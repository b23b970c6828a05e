// The MP3 decoder on files made with libmp3lame, checked against an account of their frames
// made without libmad. The tone's level is checked by the encoder's round trips.
#include "engine/mp3_decoder.h"

#include <gtest/gtest.h>

#include <random>

#include "audiofile/mp3_frame_walk.h"
#include "engine/dither.h"
#include "tests/support/engine_doubles.h"
#include "tests/support/failing_reader.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/tone_analyser.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

// The decoder of whatever `file` holds when it opens.
struct Mp3DecoderTest : ::testing::Test {
  Bytes file;
  Mp3Decoder decoder{[this](const std::string&) { return std::make_unique<MemoryByteReader>(file); }};
};

TEST_F(Mp3DecoderTest, EveryShapeBehindAnId3v2TagDecodesEveryFrameAndLearnsItsLength) {
  const Mp3Shape rows[] = {
      {.tone = {.seconds = 3.0}},
      {.tone = {.sampleRate = 22050, .channels = 1, .seconds = 2.0}, .kbps = 32},
      {.tone = {.seconds = 20.0, .amplitude = 0.1}, .variableBitrate = true},  // no frame count anywhere
      {.tone = {.seconds = 3.0}, .variableBitrate = true, .tagFrame = true}};
  for (const auto& shape : rows) {
    SCOPED_TRACE(std::to_string(shape.tone.sampleRate) + (shape.variableBitrate ? " VBR" : " CBR"));
    const Bytes mp3 = make_mp3(shape);
    const int rate = shape.tone.sampleRate, channels = shape.tone.channels;
    const std::size_t frames = mpeg_frames(mp3).size(), perFrame = rate >= 32000 ? 1152 : 576;
    decoder.close();
    file = id3v2_tag(2 * 128 + 1) + mp3;  // size bytes 00 00 02 01, seven bits each
    ASSERT_TRUE(decoder.open("in.mp3"));
    EXPECT_EQ(decoder.getInfo().sampleRate, rate);
    EXPECT_EQ(decoder.getInfo().stereo, channels - 1);
    const Decoded decoded = decode_all(decoder);
    // The last frame too: libmad decodes it only with zero bytes behind it.
    EXPECT_EQ(decoded.pcm.size(), frames * perFrame * static_cast<std::size_t>(channels) * 2);
    EXPECT_EQ(decoded.last, ReadResult::end);
    const auto samples = samples_of(decoded.pcm);
    EXPECT_NEAR(measure_tone(samples, channels, 0, rate, static_cast<std::size_t>(rate) / 2).frequency, 440.0, 0.5);
    decoder.settleLength();
    EXPECT_EQ(decoder.getInfo().lengthSeconds, static_cast<int>((frames - shape.tagFrame) * perFrame / rate));
    EXPECT_STREQ(decoder.lengthSource(), shape.tagFrame ? "xing" : "frames");
  }
}

TEST_F(Mp3DecoderTest, SeeksByTheTableOfContentsOrFromTheStart) {
  file = make_mp3({.tone = {.seconds = 8.0}, .variableBitrate = true, .tagFrame = true});
  const std::uint64_t frames = mpeg_frames(file).size() - 1;  // behind the Xing frame
  ASSERT_TRUE(decoder.open("in.mp3"));
  decoder.seek(50, 100);  // entry 50 of the table: half-way
  const double half = static_cast<double>(frames * 1152 * 1000 / 44100 / 2) / 1000;
  EXPECT_EQ(decoder.getPosition(), static_cast<int>(half + 2 * 1152.0 / 44100)) << "two priming frames";
  const Decoded rest = decode_all(decoder);
  EXPECT_NEAR(static_cast<double>(rest.pcm.size()) / 4 / 44100, half, 0.3);
  EXPECT_NEAR(measure_tone(samples_of(rest.pcm), 2, 0, 44100, 2000).frequency, 440.0, 0.5) << "it landed on a frame";
  decoder.seek(0, 100);
  EXPECT_EQ(decoder.getPosition(), 0);
  EXPECT_EQ(decode_all(decoder, 1001).pcm.size(), (frames + 1) * 1152 * 4) << "whole stereo samples, each frame";
}

// Where the frames are is told by the frame walk, which libmad has no part in.
TEST_F(Mp3DecoderTest, PlaysOnlyWhatIsMpegAudioAndOnlyTheStreamItOpened) {
  const Bytes mp3 = make_mp3({.tone = {.seconds = 1.0}}), after = Bytes(900, 0x55);
  const Bytes narrow = make_mp3({.tone = {.sampleRate = 8000, .channels = 1, .seconds = 1.0}, .kbps = 8});
  const std::size_t frames = mpeg_frames(mp3).size();
  const Bytes cut(mp3.begin(), mp3.begin() + static_cast<std::ptrdiff_t>(mpeg_frames(mp3)[30].offset + 100));
  std::mt19937 random(18);
  Bytes noise(2000000);
  for (auto& byte : noise) byte = static_cast<std::uint8_t>(random());
  Bytes quiet = make_wav({}, little_endian_bytes(make_tone({.seconds = 3.0, .amplitude = 0.01})));
  quiet[3] = 'X';  // "RIFX": a damaged WAVE file
  const struct {
    Bytes file;
    std::size_t samples;  // per channel, 0: refused
  } rows[] = {
      {cut, 30 * 1152},  // up to the last frame that is whole
      {Bytes(5000, 0) + mp3, frames * 1152},
      {Bytes(999, 'x') + mp3, frames * 1152},
      {make_wav({.formatTag = 0x55, .bytesAfterData = make_chunk("LIST", mp3)}, mp3 + after), frames * 1152},
      {narrow + mp3, mpeg_frames(narrow).size() * 576},  // played at 8 kHz: the other stream is not
      {make_wav({}, mp3), 0},
      {make_wav({.rf64 = true}, mp3), 0},
      {Bytes{'F', 'O', 'R', 'M', 0, 0, 0, 4, 'A', 'I', 'F', 'F'} + mp3, 0},
      {noise, 0},
      {quiet, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file.size());
    decoder.close();  // its frame walk reads `file` no more
    file = row.file;
    const bool opened = decoder.open("in");
    EXPECT_EQ(opened, row.samples > 0);
    if (!opened || row.samples == 0) continue;
    const std::size_t channels = static_cast<std::size_t>(decoder.getInfo().stereo) + 1;
    EXPECT_EQ(decode_all(decoder).pcm.size(), row.samples * channels * 2);
  }
  Mp3Decoder failing([&](const std::string&) { return std::make_unique<FailingReader>(mp3, mp3.size() - 1000); });
  ASSERT_TRUE(failing.open("failing.mp3"));
  EXPECT_EQ(decode_all(failing).last, ReadResult::failed);
  EXPECT_FALSE(Mp3Decoder().open(TempDir().file("missing.mp3")));
}

TEST(Mp3FrameWalk, ResynchronisesOnlyAtAFrameTheNextOneConfirms) {
  const Bytes whole = make_mp3({.tone = {.seconds = 3.0}});
  const auto frames = mpeg_frames(whole);
  Bytes damaged = whole;
  damaged.insert(damaged.begin() + static_cast<std::ptrdiff_t>(frames[1].offset), {0xFF, 0xFB, 0x90, 0, 1, 2, 3});
  EXPECT_EQ(walk_mp3_frames(MemoryByteReader(damaged)).frames, frames.size());
}

TEST(DitherTo16, FollowsTheNoiseShapingAndDitherRules) {
  // Expected values from a separate model of the rules with unbounded integers.
  const mad_fixed_t in[] = {0, 0, 0x08000000, -0x08000000, 0x18000000, -0x18000000, 12345, -1, 0x1000,
                            0x0FFFF000, -0x0FFFF000};
  const std::int16_t expected[] = {1, -1, 16385, -16385, 32767, -32768, 1, 1, 0, 32767, -32767};
  DitherState state;
  std::uint8_t out[2 * std::size(in)];
  dither_to_16(state, in, std::size(in), out, 2);
  const auto samples = samples_of(Bytes(std::begin(out), std::end(out)));
  EXPECT_TRUE(std::equal(samples.begin(), samples.end(), std::begin(expected), std::end(expected)));
  EXPECT_EQ((std::vector<std::int64_t>{state.error[0], state.error[1], state.error[2], state.random}),
            (std::vector<std::int64_t>{43, 3086, 13, 3421909937}));
}

}  // namespace
}  // namespace tunekiln::test
