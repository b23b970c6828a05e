// The MP3 decoder on files made with libmp3lame, checked against an account of their frames
// made without libmad. The tone's frequency and level are checked by the encoder's round trips.
#include "engine/mp3_decoder.h"

#include <gtest/gtest.h>

#include "engine/dither.h"
#include "tests/engine/engine_doubles.h"
#include "tests/support/failing_reader.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/tone_analyser.h"

namespace tunekiln::test {
namespace {

// A file in memory that records where the decoder seeks in it.
class MemorySource final : public InputSource {
 public:
  MemorySource(const Bytes& bytes, std::vector<std::uint32_t>& seeks) : bytes_(bytes), seeks_(seeks) {}

  bool read(void* buffer, std::uint32_t count, std::uint32_t& got) override {
    const std::size_t from = std::min<std::size_t>(position_, bytes_.size());
    got = static_cast<std::uint32_t>(std::min<std::size_t>(count, bytes_.size() - from));
    std::copy_n(bytes_.data() + from, got, static_cast<std::uint8_t*>(buffer));
    position_ += got;
    return true;
  }
  void seekTo(std::uint32_t offset) override {
    seeks_.push_back(offset);
    position_ = offset;
  }
  std::uint32_t tell() override { return position_; }
  std::uint32_t size() override { return static_cast<std::uint32_t>(bytes_.size()); }
  bool canSeek() override { return true; }

 private:
  const Bytes& bytes_;
  std::vector<std::uint32_t>& seeks_;
  std::uint32_t position_ = 0;
};

// libmad needs bytes behind a frame to decode it, and none are added: the last frame is not played.
std::size_t played_bytes(const Bytes& mp3, std::size_t samplesPerFrame = 1152, std::size_t channels = 2) {
  return (mpeg_frames(mp3).size() - 1) * samplesPerFrame * channels * 2;
}

std::uint32_t be32(const Bytes& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at] << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 | bytes[at + 3]);
}

constexpr std::uint32_t kXing = 0x58696E67;
// Where the Xing header of a first frame of MPEG-1 stereo starts: behind the header and the side information.
constexpr std::size_t kXingAt = 4 + 32;
constexpr Mp3Shape kConstant{.tone = {.seconds = 3.0}};

class Mp3DecoderTest : public ::testing::Test {
 protected:
  // Decodes from a file on disk, through the real input source.
  bool openFile(const Bytes& mp3) {
    write_file(path, mp3);
    return decoder.open(path);
  }

  TempDir dir;
  std::string path = dir.file("tone.mp3");
  Mp3Decoder decoder;
  // The decoder of `file`, held in memory.
  Bytes file;
  std::vector<std::uint32_t> seeks;
  Mp3Decoder memory{[this](const std::string&) { return std::make_unique<MemorySource>(file, seeks); }};
};

TEST_F(Mp3DecoderTest, ConstantBitrateWithoutXingFrameInStereoAndInMonoAtTheRatesOfMpeg2AndMpeg25) {
  const struct {
    int rate, channels, kbps;
    std::size_t samplesPerFrame;
  } cases[] = {{44100, 2, 128, 1152}, {22050, 1, 32, 576}, {11025, 1, 32, 576}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rate);
    const Bytes mp3 = make_mp3({.tone = {.sampleRate = c.rate, .channels = c.channels, .seconds = 3.0}, .kbps = c.kbps});
    ASSERT_NE(be32(mp3, kXingAt), kXing);
    ASSERT_TRUE(openFile(mp3));
    const StreamInfo opened = decoder.getInfo();
    EXPECT_EQ(opened, (StreamInfo{.lengthSeconds = static_cast<std::int32_t>(mp3.size() / (c.kbps * 125u)),
                                  .bitrateKbps = c.kbps, .sampleRate = c.rate, .stereo = c.channels - 1, .sixteenBit = 1}));
    const Decoded decoded = decode_all(decoder);
    EXPECT_EQ(decoded.pcm.size(), played_bytes(mp3, c.samplesPerFrame, static_cast<std::size_t>(c.channels)));
    for (std::size_t i = 0; i + 1 < decoded.readSizes.size(); ++i) ASSERT_EQ(decoded.readSizes[i], 32768u) << i;
    const auto frameBytes = static_cast<std::size_t>(2 * c.channels);
    EXPECT_EQ(decoder.getPosition(), static_cast<std::int32_t>(decoded.pcm.size() / frameBytes / static_cast<std::size_t>(c.rate)));
    EXPECT_EQ(decoder.getInfo().lengthSeconds, opened.lengthSeconds) << "a constant bitrate refines to itself";
    const auto tone = measure_tone(samples_of(decoded.pcm), c.channels, 0, c.rate, static_cast<std::size_t>(c.rate / 10));
    EXPECT_NEAR(tone.frequency, 440.0, 0.5);
    std::size_t size = 32768;
    Bytes block(size);
    EXPECT_EQ(decoder.read(block.data(), size), ReadResult::end);
    EXPECT_EQ(size, 0u) << "a read after the end hands out nothing";
  }
}

TEST_F(Mp3DecoderTest, VariableBitrateWithXingFrameAndTableOfContents) {
  file = make_mp3({.tone = {.seconds = 8.0}, .variableBitrate = true, .tagFrame = true});
  ASSERT_EQ(be32(file, kXingAt), kXing);
  ASSERT_EQ(be32(file, kXingAt + 4), 0x0Fu) << "frame count, bytes, table of contents and scale";
  const std::uint64_t frames = be32(file, kXingAt + 8);
  const std::uint8_t tocHalfWay = file[kXingAt + 16 + 50];
  ASSERT_TRUE(memory.open("tone.mp3"));
  const auto length = static_cast<std::int32_t>(frames * 1152 / 44100);
  EXPECT_EQ(memory.getInfo().lengthSeconds, length);

  // Half-way: the table's entry 50 gives the file offset, the time is half the length.
  memory.seek(50, 100);
  EXPECT_EQ(seeks.back(), static_cast<std::uint32_t>(file.size() * (tocHalfWay / 256.0)));
  const double afterPriming = static_cast<double>(frames * 1152 * 1000 / 44100 / 2) / 1000 + 2 * 1152.0 / 44100;
  EXPECT_EQ(memory.getPosition(), static_cast<std::int32_t>(afterPriming));
  const Decoded rest = decode_all(memory);
  EXPECT_EQ(memory.getInfo().lengthSeconds, length) << "a Xing frame count is not refined";
  EXPECT_NEAR(static_cast<double>(rest.pcm.size()) / 4 / 44100, length / 2.0, 0.3);
  EXPECT_NEAR(measure_tone(samples_of(rest.pcm), 2, 0, 44100, 2000).frequency, 440.0, 0.5) << "it landed on a frame";

  // From the start, the Xing frame itself is decoded as silence.
  ASSERT_TRUE(openFile(file));
  const auto whole = samples_of(decode_all(decoder).pcm);
  EXPECT_EQ(whole.size() * 2, played_bytes(file));
  EXPECT_LT(measure_tone({whole.begin(), whole.begin() + 2 * 1152}, 2, 0, 44100).peak, 0.001);
}

TEST_F(Mp3DecoderTest, Id3v2TagIsSkippedAndASeekToTheStartReadsFromByteZero) {
  file = id3v2_tag(2 * 128 + 1);  // size bytes 00 00 02 01, seven bits each
  const Bytes audio = make_mp3(kConstant);
  file.insert(file.end(), audio.begin(), audio.end());
  ASSERT_TRUE(memory.open("tagged.mp3"));
  EXPECT_EQ(seeks, (std::vector<std::uint32_t>{267, 267, 267})) << "for a look, the scan and decoding";
  EXPECT_EQ(memory.getInfo().lengthSeconds, static_cast<std::int32_t>(file.size() / 16000)) << "the tag counts";
  EXPECT_EQ(decode_all(memory).pcm.size(), played_bytes(audio));

  // Without a table of contents: inside the tag, which libmad resynchronises over, and no priming.
  memory.seek(0, 100);
  EXPECT_EQ(seeks.back(), 0u);
  EXPECT_EQ(memory.getPosition(), 0);
  EXPECT_EQ(decode_all(memory, 100000).pcm.size(), played_bytes(audio));
}

TEST_F(Mp3DecoderTest, OddSizedReadsGiveTheSameSamplesAsWholeBlocks) {
  ASSERT_TRUE(openFile(make_mp3({.tone = {.seconds = 1.0}})));
  leftDitherState = rightDitherState = {};
  const Decoded blocks = decode_all(decoder);
  decoder.open(path);
  leftDitherState = rightDitherState = {};
  const Decoded pieces = decode_all(decoder, 1001);
  EXPECT_EQ(pieces.readSizes.front(), 1000u) << "whole stereo samples only";
  EXPECT_EQ(pieces.pcm, blocks.pcm);
}

TEST_F(Mp3DecoderTest, TruncatedUnreadableAndFramelessFilesAndPcmContainers) {
  const Bytes whole = make_mp3(kConstant);
  const auto frames = mpeg_frames(whole);
  ASSERT_TRUE(openFile({whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(frames[60].offset + 100)}));
  const Decoded truncated = decode_all(decoder);
  EXPECT_EQ(truncated.pcm.size(), 60u * 1152 * 4) << "up to the last frame that is whole";
  EXPECT_EQ(truncated.last, ReadResult::end);
  Mp3Decoder failing([&](const std::string&) { return input_over(std::make_unique<FailingReader>(whole, whole.size() - 1000)); });
  ASSERT_TRUE(failing.open("failing.mp3"));
  EXPECT_EQ(decode_all(failing).last, ReadResult::failed);

  // MPEG frames behind a WAVE or AIFF header, as the samples of such a file may look by chance.
  for (const char* header : {"RIFF\4\0\0\0WAVE", "RF64\4\0\0\0WAVE", "BW64\4\0\0\0WAVE", "FORM\0\0\0\4AIFF",
                             "FORM\0\0\0\4AIFC"}) {
    for (const bool tagged : {false, true}) {
      file = tagged ? id3v2_tag(20) : Bytes{};
      file.insert(file.end(), header, header + 12);
      file.insert(file.end(), whole.begin(), whole.end());
      EXPECT_FALSE(memory.open("in.wav")) << header << tagged;
    }
  }
  EXPECT_FALSE(openFile({whole.begin(), whole.begin() + 200})) << "no frame decodes";
  EXPECT_FALSE(decoder.open(dir.file("missing.mp3")));
  EXPECT_FALSE(openFile(Bytes(24000, 'x'))) << "no frame at all";
}

TEST_F(Mp3DecoderTest, LengthEstimateIsRefinedByTheAverageBitrateOfDecodedFrames) {
  const Bytes mp3 = make_mp3({.tone = {.seconds = 6.0}, .variableBitrate = true});
  const auto frames = mpeg_frames(mp3);
  ASSERT_NE(be32(mp3, kXingAt), kXing);
  ASSERT_TRUE(openFile(mp3));
  // The scan decodes two frames and keeps the second one's header.
  EXPECT_EQ(decoder.getInfo().lengthSeconds, static_cast<std::int32_t>(mp3.size() / (frames[1].kbps * 125)));

  decode_all(decoder);
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < frames.size(); ++i) sum += static_cast<std::uint32_t>(frames[i].kbps);
  const std::uint64_t estimate = mp3.size() / (sum / (frames.size() - 1) * 125);
  const std::uint64_t played = (frames.size() - 1) * 1152 / 44100;
  EXPECT_EQ(decoder.getInfo().lengthSeconds, static_cast<std::int32_t>(std::max(estimate, played)));
  EXPECT_EQ(decoder.getInfo().bitrateKbps, frames[frames.size() - 2].kbps) << "of the last frame decoded";
}

TEST(DitherTo16, FollowsTheNoiseShapingAndDitherRules) {
  // Expected values from a separate model of the rules with unbounded integers.
  const mad_fixed_t in[] = {0, 0, 0x08000000, -0x08000000, 0x18000000, -0x18000000, 12345, -1, 0x1000, 0x0FFFF000,
                            -0x0FFFF000};
  const std::int16_t expected[] = {1, -1, 16385, -16385, 32767, -32768, 1, 1, 0, 32767, -32767};
  DitherState state;
  std::uint8_t out[2 * std::size(in)];
  dither_to_16(state, in, std::size(in), out, 2);
  for (std::size_t i = 0; i < std::size(in); ++i) {
    EXPECT_EQ(static_cast<std::int16_t>(out[2 * i] | out[2 * i + 1] << 8), expected[i]) << i;
  }
  EXPECT_EQ(state.error[0], 43);
  EXPECT_EQ(state.error[1], 3086);
  EXPECT_EQ(state.error[2], 13);
  EXPECT_EQ(state.random, 3421909937u);
}

}  // namespace
}  // namespace tunekiln::test
