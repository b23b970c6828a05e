// The MP3 decoder on files made with libmp3lame, checked against an account of their frames
// made without libmad and against the tone that was encoded.
#include "engine/mp3_decoder.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/dither.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/tone_analyser.h"

namespace tunekiln::test {
namespace {

// A file in memory that records how the decoder moves through it.
class MemorySource final : public InputSource {
 public:
  struct Record {
    std::vector<std::uint32_t> seeks;
    std::uint64_t bytesRead = 0;
  };
  MemorySource(Bytes bytes, bool seekable, Record& record)
      : bytes_(std::move(bytes)), seekable_(seekable), record_(record) {}

  bool read(void* buffer, std::uint32_t count, std::uint32_t& got) override {
    got = position_ < bytes_.size() ? static_cast<std::uint32_t>(std::min<std::size_t>(count, bytes_.size() - position_)) : 0;
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), got, static_cast<std::uint8_t*>(buffer));
    position_ += got;
    record_.bytesRead += got;
    return true;
  }
  void seekTo(std::uint32_t offset) override {
    record_.seeks.push_back(offset);
    if (seekable_) position_ = offset;
  }
  std::uint32_t tell() override { return static_cast<std::uint32_t>(position_); }
  std::uint32_t size() override { return static_cast<std::uint32_t>(bytes_.size()); }
  bool canSeek() override { return seekable_; }

 private:
  Bytes bytes_;
  bool seekable_;
  Record& record_;
  std::size_t position_ = 0;
};

Mp3Decoder::SourceOpener memory_opener(const Bytes& bytes, MemorySource::Record& record, bool seekable = true) {
  return [&bytes, &record, seekable](const std::string&) { return std::make_unique<MemorySource>(bytes, seekable, record); };
}

struct Decoded {
  Bytes pcm;
  std::vector<std::size_t> readSizes;  // bytes of each read, the last one with the end
};

Decoded decode_all(Decoder& decoder, std::size_t blockBytes = 32768) {
  Decoded decoded;
  Bytes block(blockBytes);
  for (bool more = true; more;) {
    std::size_t size = block.size();
    more = decoder.read(block.data(), size);
    decoded.pcm.insert(decoded.pcm.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(size));
    decoded.readSizes.push_back(size);
  }
  return decoded;
}

class Mp3DecoderTest : public ::testing::Test {
 protected:
  // Decodes from a file on disk, through the real input source.
  Mp3Decoder& openFile(const Bytes& mp3) {
    write_file(path, mp3);
    EXPECT_TRUE(decoder.open(path));
    return decoder;
  }

  TempDir dir;
  std::string path = dir.file("tone.mp3");
  Mp3Decoder decoder;
};

constexpr Mp3Shape kConstant{.tone = {.seconds = 3.0}};

TEST_F(Mp3DecoderTest, ConstantBitrateWithoutXingFrame) {
  const Bytes mp3 = make_mp3(kConstant);
  const MpegFrames frames = walk_mpeg_frames(mp3);
  ASSERT_GT(frames.offsets.size(), 100u);
  EXPECT_FALSE(read_xing(mp3, 0).present);

  openFile(mp3);
  const StreamInfo opened = decoder.getInfo();
  EXPECT_EQ(opened, (StreamInfo{.lengthSeconds = static_cast<std::int32_t>(mp3.size() / 16000),
                                .bitrateKbps = 128, .sampleRate = 44100, .stereo = 1, .sixteenBit = 1}));

  const Decoded decoded = decode_all(decoder);
  // libmad needs bytes behind a frame to decode it, and none are added: the last frame is not played.
  EXPECT_EQ(decoded.pcm.size(), (frames.offsets.size() - 1) * 1152 * 4);
  for (std::size_t i = 0; i + 1 < decoded.readSizes.size(); ++i) ASSERT_EQ(decoded.readSizes[i], 32768u) << i;
  EXPECT_LE(decoded.readSizes.back(), 32768u);
  EXPECT_EQ(decoder.getPosition(), static_cast<std::int32_t>((frames.offsets.size() - 1) * 1152 / 44100));

  const auto samples = samples_of(decoded.pcm);
  const ToneMeasure left = measure_tone(samples, 2, 0, 44100, 4410);
  const ToneMeasure right = measure_tone(samples, 2, 1, 44100, 4410);
  EXPECT_NEAR(left.frequency, 440.0, 0.5);
  EXPECT_NEAR(right.frequency, 660.0, 0.5);
  EXPECT_NEAR(left.amplitude(), 0.5, 0.03);
  EXPECT_NEAR(right.amplitude(), 0.5, 0.03);
  EXPECT_EQ(decoder.getInfo().lengthSeconds, opened.lengthSeconds) << "a constant bitrate refines to itself";
}

TEST_F(Mp3DecoderTest, LengthOfAMillionByteFileAt128Kbps) {
  Bytes mp3 = make_mp3({.tone = {.seconds = 70.0, .amplitude = 0.2}});
  ASSERT_GT(mp3.size(), 1000000u);
  mp3.resize(1000000);
  openFile(mp3);
  EXPECT_EQ(decoder.getInfo().lengthSeconds, 62);
}

TEST_F(Mp3DecoderTest, VariableBitrateWithXingFrameAndTableOfContents) {
  const Bytes mp3 = make_mp3({.tone = {.seconds = 8.0}, .variableBitrate = true, .tagFrame = true});
  const MpegFrames frames = walk_mpeg_frames(mp3);
  const XingFields xing = read_xing(mp3, 0);
  ASSERT_TRUE(xing.present);
  ASSERT_EQ(xing.flags & 0x5, 0x5u) << "frame count and table of contents";

  MemorySource::Record record;
  Mp3Decoder memory(memory_opener(mp3, record));
  ASSERT_TRUE(memory.open("tone.mp3"));
  const std::int32_t length = static_cast<std::int32_t>(std::uint64_t{xing.frames} * 1152 / 44100);
  EXPECT_EQ(memory.getInfo().lengthSeconds, length);

  // Half-way: the table's entry 50 gives the file offset, the time is half the length.
  const long durationMs = static_cast<long>(std::uint64_t{xing.frames} * 1152 * 1000 / 44100);
  memory.seek(50, 100);
  EXPECT_EQ(record.seeks.back(), static_cast<std::uint32_t>(mp3.size() * (xing.toc[50] / 256.0)));
  const double afterPriming = static_cast<double>(durationMs / 2) / 1000 + 2 * 1152.0 / 44100;
  EXPECT_EQ(memory.getPosition(), static_cast<std::int32_t>(afterPriming));

  const Decoded rest = decode_all(memory);
  EXPECT_EQ(memory.getInfo().lengthSeconds, length) << "a Xing frame count is not refined";
  EXPECT_NEAR(static_cast<double>(rest.pcm.size()) / 4 / 44100, length / 2.0, 0.3);
  EXPECT_NEAR(measure_tone(samples_of(rest.pcm), 2, 0, 44100, 2000).frequency, 440.0, 0.5) << "it landed on a frame";

  // From the start, the Xing frame itself is decoded as silence, and the last frame is not played.
  const Decoded whole = decode_all(openFile(mp3));
  EXPECT_EQ(whole.pcm.size(), (frames.offsets.size() - 1) * 1152 * 4);
  const auto samples = samples_of(whole.pcm);
  EXPECT_LT(measure_tone(std::vector<std::int16_t>(samples.begin(), samples.begin() + 2 * 1152), 2, 0, 44100).peak,
            0.001);
}

TEST_F(Mp3DecoderTest, SeekToTheStartWithoutTableOfContentsReadsFromByteZeroWithoutPriming) {
  Bytes mp3 = id3v2_tag(300);
  const Bytes audio = make_mp3(kConstant);
  mp3.insert(mp3.end(), audio.begin(), audio.end());

  MemorySource::Record record;
  Mp3Decoder memory(memory_opener(mp3, record));
  ASSERT_TRUE(memory.open("tone.mp3"));
  decode_all(memory, 100000);
  memory.seek(0, 100);
  EXPECT_EQ(record.seeks.back(), 0u) << "inside the tag, which libmad resynchronises over";
  EXPECT_EQ(memory.getPosition(), 0);
  const Decoded again = decode_all(memory);
  EXPECT_EQ(again.pcm.size(), (walk_mpeg_frames(audio).offsets.size() - 1) * 1152 * 4);
}

TEST_F(Mp3DecoderTest, Id3v2TagIsSkipped) {
  Bytes mp3 = id3v2_tag(2 * 128 + 1);  // size bytes 00 00 02 01
  ASSERT_EQ(mp3[8], 2);
  ASSERT_EQ(mp3[9], 1);
  const Bytes audio = make_mp3(kConstant);
  mp3.insert(mp3.end(), audio.begin(), audio.end());

  MemorySource::Record record;
  Mp3Decoder memory(memory_opener(mp3, record));
  ASSERT_TRUE(memory.open("tagged.mp3"));
  EXPECT_EQ(record.seeks, (std::vector<std::uint32_t>{267, 267})) << "for the scan and for decoding";
  EXPECT_EQ(memory.getInfo().lengthSeconds, static_cast<std::int32_t>(mp3.size() / 16000)) << "the tag counts";
  const Decoded decoded = decode_all(memory);
  EXPECT_EQ(decoded.pcm.size(), (walk_mpeg_frames(audio).offsets.size() - 1) * 1152 * 4);
  EXPECT_NEAR(measure_tone(samples_of(decoded.pcm), 2, 1, 44100, 4410).frequency, 660.0, 0.5);
}

TEST_F(Mp3DecoderTest, MonoAtTheRatesOfMpeg2AndMpeg25) {
  for (const int rate : {22050, 11025}) {
    const Bytes mp3 = make_mp3({.tone = {.sampleRate = rate, .channels = 1, .seconds = 3.0}, .kbps = 32});
    const MpegFrames frames = walk_mpeg_frames(mp3);
    ASSERT_EQ(frames.samplesPerFrame, 576);
    ASSERT_EQ(frames.sampleRate, rate);

    openFile(mp3);
    EXPECT_EQ(decoder.getInfo(), (StreamInfo{.lengthSeconds = static_cast<std::int32_t>(mp3.size() / 4000),
                                             .bitrateKbps = 32, .sampleRate = rate, .stereo = 0, .sixteenBit = 1}));
    const Decoded decoded = decode_all(decoder);
    EXPECT_EQ(decoded.readSizes.front(), 32768u) << "16384 samples of 2 bytes";
    EXPECT_EQ(decoded.pcm.size(), (frames.offsets.size() - 1) * 576 * 2);
    const ToneMeasure tone = measure_tone(samples_of(decoded.pcm), 1, 0, rate, static_cast<std::size_t>(rate / 10));
    EXPECT_NEAR(tone.frequency, 440.0, 0.5) << rate;
    EXPECT_NEAR(tone.amplitude(), 0.5, 0.03) << rate;
  }
}

TEST_F(Mp3DecoderTest, OddSizedReadsGiveTheSameSamplesAsWholeBlocks) {
  const Bytes mp3 = make_mp3({.tone = {.seconds = 1.0}});
  openFile(mp3);
  leftDitherState = rightDitherState = {};
  const Decoded blocks = decode_all(decoder);
  decoder.open(path);
  leftDitherState = rightDitherState = {};
  const Decoded pieces = decode_all(decoder, 1001);
  EXPECT_EQ(pieces.readSizes.front(), 1000u) << "whole stereo samples only";
  EXPECT_EQ(pieces.pcm, blocks.pcm);
}

TEST_F(Mp3DecoderTest, TruncatedFileEndsAtTheLastFrameThatIsWhole) {
  const Bytes whole = make_mp3(kConstant);
  const MpegFrames frames = walk_mpeg_frames(whole);
  const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(frames.offsets[60] + 100));
  openFile(cut);
  EXPECT_EQ(decode_all(decoder).pcm.size(), 60u * 1152 * 4);

  const Bytes firstFramePart(whole.begin(), whole.begin() + 200);
  write_file(path, firstFramePart);
  EXPECT_FALSE(decoder.open(path)) << "no frame decodes";
}

TEST_F(Mp3DecoderTest, ReadsAfterTheEndHandOutNothingAgain) {
  openFile(make_mp3(kConstant));
  decode_all(decoder);
  Bytes block(32768);
  for (int i = 0; i < 3; ++i) {
    std::size_t size = block.size();
    EXPECT_FALSE(decoder.read(block.data(), size));
    EXPECT_EQ(size, 0u);
  }
}

TEST_F(Mp3DecoderTest, FileWithoutAnyFrameIsReadToItsEndAndRefused) {
  Bytes text;
  for (int i = 0; i < 3000; ++i) {
    for (const char c : std::string("no mpeg audio here. ")) text.push_back(static_cast<std::uint8_t>(c));
  }
  MemorySource::Record record;
  Mp3Decoder memory(memory_opener(text, record));
  EXPECT_FALSE(memory.open("text.mp3"));
  EXPECT_GE(record.bytesRead, text.size()) << "libmad keeps asking for more while it finds no frame";
  EXPECT_FALSE(decoder.open(dir.file("missing.mp3")));
}

TEST_F(Mp3DecoderTest, DamagedBytesInTheStreamAreSkipped) {
  Bytes mp3 = make_mp3(kConstant);
  const MpegFrames frames = walk_mpeg_frames(mp3);
  Bytes noise(1500);
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 37 + 11);
  mp3.insert(mp3.begin() + static_cast<std::ptrdiff_t>(frames.offsets[50]), noise.begin(), noise.end());
  openFile(mp3);
  const auto samples = samples_of(decode_all(decoder).pcm);
  EXPECT_GT(samples.size() / 2, (frames.offsets.size() - 5) * 1152);
  EXPECT_NEAR(measure_tone(samples, 2, 0, 44100, 80 * 1152).frequency, 440.0, 1.0);
}

TEST_F(Mp3DecoderTest, LengthEstimateIsRefinedByTheAverageBitrateOfDecodedFrames) {
  const Bytes mp3 = make_mp3({.tone = {.seconds = 6.0}, .variableBitrate = true});
  const MpegFrames frames = walk_mpeg_frames(mp3);
  ASSERT_FALSE(read_xing(mp3, 0).present);
  openFile(mp3);
  // The scan decodes two frames and keeps the second one's header.
  EXPECT_EQ(decoder.getInfo().lengthSeconds, static_cast<std::int32_t>(mp3.size() / (frames.kbps[1] * 125)));

  decode_all(decoder);
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < frames.kbps.size(); ++i) sum += static_cast<std::uint32_t>(frames.kbps[i]);
  const std::uint32_t average = sum / static_cast<std::uint32_t>(frames.kbps.size() - 1);
  const std::uint64_t estimate = mp3.size() / (average * 125);
  const std::uint64_t played = (frames.kbps.size() - 1) * 1152 / 44100;
  EXPECT_EQ(decoder.getInfo().lengthSeconds, static_cast<std::int32_t>(std::max(estimate, played)));
  EXPECT_EQ(decoder.getInfo().bitrateKbps, frames.kbps[frames.kbps.size() - 2]) << "of the last frame decoded";
}

TEST_F(Mp3DecoderTest, SeekOnASourceThatCannotSeekDoesNothing) {
  const Bytes mp3 = make_mp3({.tone = {.seconds = 1.0}});
  MemorySource::Record record;
  Mp3Decoder memory(memory_opener(mp3, record, false));
  ASSERT_TRUE(memory.open("stream.mp3"));
  EXPECT_EQ(record.seeks, (std::vector<std::uint32_t>{0})) << "no tag is looked for";
  memory.seek(50, 100);
  memory.seek(1, 0);
  EXPECT_EQ(record.seeks.size(), 1u);
  EXPECT_EQ(memory.getPosition(), 0);
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

TEST(DitherTo16, KeepsTheLevelOfAConstantInputBetweenTwoSteps) {
  // 100.3 steps of 16 bits: the fed-back error carries the fraction, and the half step added
  // before the low bits are cut makes the rounding unbiased, so the mean keeps it.
  const auto level = static_cast<mad_fixed_t>(100.3 * 8192);
  const std::vector<mad_fixed_t> in(100000, level);
  std::vector<std::uint8_t> out(2 * in.size());
  DitherState state;
  dither_to_16(state, in.data(), in.size(), out.data(), 2);
  double sum = 0;
  for (std::size_t i = 0; i < in.size(); ++i) sum += static_cast<std::int16_t>(out[2 * i] | out[2 * i + 1] << 8);
  EXPECT_NEAR(sum / static_cast<double>(in.size()), 100.3, 0.01);
}

TEST(XingParse, ReadsTheFieldsTheFlagsAnnounceAndRefusesShortOrForeignHeaders) {
  Bytes bits = {'X', 'i', 'n', 'g', 0, 0, 0, 0x0F, 0, 0, 0x01, 0x02, 0, 0, 0x30, 0x00};
  for (int i = 0; i < 100; ++i) bits.push_back(static_cast<std::uint8_t>(i * 2));
  bits.insert(bits.end(), {0, 0, 0, 77});
  const auto parse = [&](std::size_t bytes, XingHeader& xing) {
    mad_bitptr pointer;
    mad_bit_init(&pointer, bits.data());
    return xing_parse(xing, pointer, static_cast<unsigned>(bytes * 8));
  };
  XingHeader xing;
  ASSERT_TRUE(parse(bits.size(), xing));
  EXPECT_EQ(xing.flags, 0x0Fu);
  EXPECT_EQ(xing.frames, 0x102u);
  EXPECT_EQ(xing.bytes, 0x3000u);
  EXPECT_EQ(xing.toc[99], 198);
  EXPECT_EQ(xing.scale, 77u);

  EXPECT_FALSE(parse(bits.size() - 1, xing)) << "the scale is cut short";
  EXPECT_EQ(xing.flags, 0u);
  EXPECT_FALSE(parse(7, xing));
  bits[0] = 'I';
  EXPECT_FALSE(parse(bits.size(), xing)) << "only \"Xing\" is recognised";
}

}  // namespace
}  // namespace tunekiln::test
