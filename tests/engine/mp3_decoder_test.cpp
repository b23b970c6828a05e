// The MP3 decoder on files made with libmp3lame, checked against an account of their frames
// made without libmad. The tone's level is checked by the encoder's round trips.
#include "engine/mp3_decoder.h"

#include <gtest/gtest.h>

#include "engine/dither.h"
#include "audiofile/mp3_frame_walk.h"
#include "tests/support/engine_doubles.h"
#include "tests/support/failing_reader.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/tone_analyser.h"

namespace tunekiln::test {
namespace {

// The decoder of a file that holds `file`.
struct Mp3DecoderTest : ::testing::Test {
  bool open() {
    write_file(path, file);
    return decoder.open(path);
  }
  TempDir dir;
  const std::string path = dir.file("in.mp3");
  Bytes file;
  Mp3Decoder decoder;
};

TEST_F(Mp3DecoderTest, EveryShapeBehindAnId3v2TagDecodesEachFrameButTheLastAndLearnsItsLength) {
  const Mp3Shape rows[] = {{.tone = {.seconds = 3.0}},
                           {.tone = {.sampleRate = 22050, .channels = 1, .seconds = 2.0}, .kbps = 32},
                           {.tone = {.seconds = 20.0, .amplitude = 0.1}, .variableBitrate = true},  // no frame count anywhere
                           {.tone = {.seconds = 3.0}, .variableBitrate = true, .tagFrame = true}};
  for (const auto& shape : rows) {
    SCOPED_TRACE(std::to_string(shape.tone.sampleRate) + (shape.variableBitrate ? " VBR" : " CBR"));
    const Bytes mp3 = make_mp3(shape);
    const std::size_t frames = mpeg_frames(mp3).size(), samplesPerFrame = shape.tone.sampleRate >= 32000 ? 1152 : 576;
    file = id3v2_tag(2 * 128 + 1);  // size bytes 00 00 02 01, seven bits each
    file.insert(file.end(), mp3.begin(), mp3.end());
    ASSERT_TRUE(open());
    EXPECT_EQ(decoder.getInfo().sampleRate, shape.tone.sampleRate);
    EXPECT_EQ(decoder.getInfo().stereo, shape.tone.channels - 1);
    const Decoded decoded = decode_all(decoder);
    // libmad needs bytes behind a frame to decode it, and none are added: the last is not played.
    EXPECT_EQ(decoded.pcm.size(), (frames - 1) * samplesPerFrame * static_cast<std::size_t>(shape.tone.channels) * 2);
    for (std::size_t i = 0; i + 1 < decoded.readSizes.size(); ++i) ASSERT_EQ(decoded.readSizes[i], 32768u) << i;
    EXPECT_EQ(decoded.last, ReadResult::end);
    const auto rate = static_cast<std::size_t>(shape.tone.sampleRate);
    EXPECT_NEAR(measure_tone(samples_of(decoded.pcm), shape.tone.channels, 0, shape.tone.sampleRate, rate / 2).frequency, 440.0, 0.5);
    decoder.settleLength();
    EXPECT_EQ(decoder.getInfo().lengthSeconds,
              static_cast<std::int32_t>((frames - shape.tagFrame) * samplesPerFrame / rate));
    EXPECT_EQ(std::string(decoder.lengthSource()), shape.tagFrame ? "xing" : "frames");
  }
}

TEST_F(Mp3DecoderTest, SeeksByTheTableOfContentsOrFromTheStart) {
  file = make_mp3({.tone = {.seconds = 8.0}, .variableBitrate = true, .tagFrame = true});
  const std::uint64_t frames = mpeg_frames(file).size() - 1;  // behind the Xing frame
  ASSERT_TRUE(open());
  decoder.seek(50, 100);  // entry 50 of the table: half-way
  const double afterPriming = static_cast<double>(frames * 1152 * 1000 / 44100 / 2) / 1000 + 2 * 1152.0 / 44100;
  EXPECT_EQ(decoder.getPosition(), static_cast<std::int32_t>(afterPriming));
  const Decoded rest = decode_all(decoder);
  EXPECT_NEAR(static_cast<double>(rest.pcm.size()) / 4 / 44100, static_cast<double>(frames * 1152 / 44100) / 2, 0.3);
  EXPECT_NEAR(measure_tone(samples_of(rest.pcm), 2, 0, 44100, 2000).frequency, 440.0, 0.5) << "it landed on a frame";
  decoder.seek(0, 100);
  EXPECT_EQ(decoder.getPosition(), 0);
  const Decoded whole = decode_all(decoder, 1001);
  EXPECT_EQ(whole.readSizes.front(), 1000u) << "whole stereo samples only";
  EXPECT_EQ(whole.pcm.size(), frames * 1152 * 4);
}

TEST_F(Mp3DecoderTest, TruncatedUnreadableAndFramelessFilesAndPcmContainers) {
  const Bytes whole = make_mp3({.tone = {.seconds = 3.0}});
  file.assign(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(mpeg_frames(whole)[60].offset + 100));
  ASSERT_TRUE(open());
  EXPECT_EQ(decode_all(decoder).pcm.size(), 60u * 1152 * 4) << "up to the last frame that is whole";
  Mp3Decoder failing([&](const std::string&) { return input_over(std::make_unique<FailingReader>(whole, whole.size() - 1000)); });
  ASSERT_TRUE(failing.open("failing.mp3"));
  EXPECT_EQ(decode_all(failing).last, ReadResult::failed);

  file = Bytes(24000, 'x');
  EXPECT_FALSE(open()) << "no frame";
  // MPEG frames behind a WAVE or AIFF header, as the samples of such a file may look by chance.
  for (const char* header : {"RIFF\4\0\0\0WAVE", "RF64\4\0\0\0WAVE", "BW64\4\0\0\0WAVE", "FORM\0\0\0\4AIFF", "FORM\0\0\0\4AIFC"}) {
    file.assign(header, header + 12);
    file.insert(file.end(), whole.begin(), whole.end());
    EXPECT_FALSE(open()) << header;
  }
  EXPECT_FALSE(decoder.open(dir.file("missing.mp3")));
  // A false sync inside junk in front of a frame is skipped: the real frames all count.
  Bytes damaged = whole;
  damaged.insert(damaged.begin() + static_cast<std::ptrdiff_t>(mpeg_frames(whole)[1].offset), {0xFF, 0xFB, 0x90, 0x00, 1, 2, 3});
  EXPECT_EQ(walk_mp3_frames(MemoryByteReader(damaged)).frames, mpeg_frames(whole).size());
}

TEST(DitherTo16, FollowsTheNoiseShapingAndDitherRules) {
  // Expected values from a separate model of the rules with unbounded integers.
  const mad_fixed_t in[] = {0, 0, 0x08000000, -0x08000000, 0x18000000, -0x18000000, 12345, -1, 0x1000, 0x0FFFF000, -0x0FFFF000};
  const std::int16_t expected[] = {1, -1, 16385, -16385, 32767, -32768, 1, 1, 0, 32767, -32767};
  DitherState state;
  std::uint8_t out[2 * std::size(in)];
  dither_to_16(state, in, std::size(in), out, 2);
  for (std::size_t i = 0; i < std::size(in); ++i) {
    EXPECT_EQ(static_cast<std::int16_t>(out[2 * i] | out[2 * i + 1] << 8), expected[i]) << i;
  }
  EXPECT_EQ((std::vector<std::int64_t>{state.error[0], state.error[1], state.error[2], state.random}),
            (std::vector<std::int64_t>{43, 3086, 13, 3421909937}));
}

}  // namespace
}  // namespace tunekiln::test
