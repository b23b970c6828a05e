// The WAV decoder on files the tests write: what it accepts, what it hands out and where it seeks.
#include "engine/wav_decoder.h"

#include <gtest/gtest.h>

#include "tests/engine/engine_doubles.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

class WavDecoderTest : public ::testing::Test {
 protected:
  bool open(const Bytes& file) {
    write_file(path, file);
    return decoder.open(path);
  }

  TempDir dir;
  std::string path = dir.file("in.wav");
  WavDecoder decoder;
};

TEST_F(WavDecoderTest, SeeksToWholeFramesAndCountsPositionsAcrossBlocks) {
  const Bytes samples = ramp_bytes(1764000);
  ASSERT_TRUE(open(make_wav({}, samples)));
  EXPECT_EQ(decoder.getInfo(), (StreamInfo{.lengthSeconds = 10, .sampleRate = 44100, .stereo = 1, .sixteenBit = 1}));
  decoder.seek(50, 100);
  EXPECT_EQ(decoder.getPosition(), 5);
  decoder.seek(7, 1000);  // 12348 bytes: a whole frame
  Bytes block(4);
  std::size_t size = block.size();
  ASSERT_TRUE(decoder.read(block.data(), size));
  EXPECT_EQ(block, Bytes(samples.begin() + 12348, samples.begin() + 12352));
  decoder.seek(3, 2);  // beyond the end: at the end
  EXPECT_EQ(decode_all(decoder).pcm, Bytes{});

  ASSERT_TRUE(open(make_wav({.channels = 1, .sampleRate = 8000, .bits = 8}, ramp_bytes(80000))));
  EXPECT_EQ(decoder.getInfo(), (StreamInfo{.lengthSeconds = 10, .sampleRate = 8000, .stereo = 0, .sixteenBit = 0}));
  block.resize(32768);
  for (const int expected : {4, 8, 10}) {  // 32768 = 4 × 8000 + 768: the remainder carries over
    size = block.size();
    decoder.read(block.data(), size);
    EXPECT_EQ(decoder.getPosition(), expected);
  }
}

TEST_F(WavDecoderTest, ReadsTheDataChunkAndNothingBehindIt) {
  const Bytes samples = samples16({1, -2, 3, -4, 5, -6});
  ASSERT_TRUE(open(make_wav({.bytesAfterData = make_chunk("LIST", Bytes(64, 0x55))}, samples)));
  const Decoded inFives = decode_all(decoder, 5);
  EXPECT_EQ(inFives.pcm, samples);
  EXPECT_EQ(inFives.readSizes.back(), 0u) << "the end comes with no bytes";
  // A size of 0 (a recording not yet finished) or one beyond the end: up to the end of the file.
  for (const std::uint32_t declared : {0u, 1000u}) {
    ASSERT_TRUE(open(make_wav({.declaredDataSize = declared}, samples)));
    EXPECT_EQ(decode_all(decoder).pcm, samples) << declared;
  }
}

TEST_F(WavDecoderTest, SkipsAnId3v2TagAndOtherChunksHonouringThePadByteOfAnOddSize) {
  const Bytes samples = samples16({100, 200});
  Bytes chunks = make_chunk("odd ", {1, 2, 3});
  chunks.push_back(0);  // the pad byte
  const Bytes list = make_chunk("LIST", Bytes(10, 'd'));
  chunks.insert(chunks.end(), list.begin(), list.end());
  Bytes file = id3v2_tag(2 * 128 + 1);
  const Bytes wav = make_wav({.extensionSizeField = true, .chunksBeforeData = chunks}, samples);
  file.insert(file.end(), wav.begin(), wav.end());
  ASSERT_TRUE(open(file));
  EXPECT_EQ(decode_all(decoder).pcm, samples);
}

// The fuzz target walks the damaged headers; these pin that a format it cannot hand out is refused.
TEST_F(WavDecoderTest, RefusesWhatItCannotHandOutAsPcm) {
  EXPECT_FALSE(open(make_wav({.formatTag = 0xFFFE}, samples16({1, 2}))));
  EXPECT_FALSE(open(make_wav({.bits = 24}, Bytes(6, 0))));
  EXPECT_FALSE(open(make_mp3({.tone = {.seconds = 0.5}})));
}

}  // namespace
}  // namespace tunekiln::test
