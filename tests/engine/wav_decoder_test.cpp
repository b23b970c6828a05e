// The WAV decoder on files the tests write: what it accepts, what it hands out and where it seeks.
#include "engine/wav_decoder.h"

#include <gtest/gtest.h>

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

  // Everything the decoder hands out from where it stands, in reads of `blockBytes`.
  Bytes readAll(std::size_t blockBytes = 32768) {
    Bytes all, block(blockBytes);
    for (bool more = true; more;) {
      std::size_t size = block.size();
      more = decoder.read(block.data(), size);
      EXPECT_TRUE(more || size == 0) << "the end comes with no bytes";
      all.insert(all.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(size));
    }
    return all;
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
  EXPECT_EQ(readAll(), Bytes{});

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
  EXPECT_EQ(readAll(5), samples);
  // A size of 0 (a recording not yet finished) or one beyond the end: up to the end of the file.
  for (const std::uint32_t declared : {0u, 1000u}) {
    ASSERT_TRUE(open(make_wav({.declaredDataSize = declared}, samples)));
    EXPECT_EQ(readAll(), samples) << declared;
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
  EXPECT_EQ(readAll(), samples);
}

TEST_F(WavDecoderTest, RefusesWhatItCannotHandOutAsPcm) {
  const Bytes samples = samples16({1, 2});
  Bytes fmtTooShort = make_wav({}, samples);
  fmtTooShort[16] = 14;
  Bytes notRiff = make_wav({}, samples);
  notRiff[0] = 'X';
  Bytes noData = make_wav({}, {});
  noData.resize(36);
  const struct {
    const char* what;
    Bytes file;
  } refused[] = {
      {"extensible format", make_wav({.formatTag = 0xFFFE}, samples)},
      {"not RIFF", notRiff},
      {"format chunk under 16 bytes", fmtTooShort},
      {"no data chunk", noData},
      {"24 bits", make_wav({.bits = 24}, Bytes(6, 0))},
      {"three channels", make_wav({.channels = 3}, Bytes(6, 0))},
      {"no channel", make_wav({.channels = 0}, Bytes(6, 0))},
      {"rate 0", make_wav({.sampleRate = 0}, samples)},
      {"an MP3 file", make_mp3({.tone = {.seconds = 0.5}})},
      {"empty", {}},
  };
  for (const auto& file : refused) EXPECT_FALSE(open(file.file)) << file.what;
  EXPECT_FALSE(decoder.open(dir.file("missing.wav")));
}

}  // namespace
}  // namespace tunekiln::test
