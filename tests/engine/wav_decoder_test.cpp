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

  // Everything the decoder hands out, in reads of `blockBytes`.
  Bytes readAll(std::size_t blockBytes = 32768) {
    Bytes all;
    Bytes block(blockBytes);
    for (;;) {
      std::size_t size = block.size();
      const bool more = decoder.read(block.data(), size);
      all.insert(all.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(size));
      if (!more) {
        EXPECT_EQ(size, 0u) << "the end comes with no bytes";
        return all;
      }
    }
  }

  TempDir dir;
  std::string path = dir.file("in.wav");
  WavDecoder decoder;
};

TEST_F(WavDecoderTest, TenSecondsOf16BitStereoSeekHalfWay) {
  const Bytes samples = ramp_bytes(1764000);
  ASSERT_TRUE(open(make_wav({}, samples)));
  EXPECT_EQ(decoder.getInfo(),
            (StreamInfo{.lengthSeconds = 10, .bitrateKbps = 0, .sampleRate = 44100, .stereo = 1, .sixteenBit = 1}));
  decoder.seek(50, 100);
  EXPECT_EQ(decoder.getPosition(), 5);
  Bytes block(1000);
  std::size_t size = block.size();
  ASSERT_TRUE(decoder.read(block.data(), size));
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 1000), Bytes(samples.begin() + 882000, samples.begin() + 883000));

  decoder.seek(1, 3);  // 588000 bytes: already a multiple of 4
  EXPECT_EQ(decoder.getPosition(), 3);
  decoder.seek(7, 1000);  // 12348 bytes
  size = 4;
  decoder.read(block.data(), size);
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 4), Bytes(samples.begin() + 12348, samples.begin() + 12352));
  decoder.seek(3, 2);  // beyond the end: at the end
  EXPECT_EQ(readAll(), Bytes{});
}

TEST_F(WavDecoderTest, PositionCarriesTheRemainderOfEachBlock) {
  const Bytes samples = ramp_bytes(80000);
  ASSERT_TRUE(open(make_wav({.channels = 1, .sampleRate = 8000, .bits = 8}, samples)));
  EXPECT_EQ(decoder.getInfo(),
            (StreamInfo{.lengthSeconds = 10, .bitrateKbps = 0, .sampleRate = 8000, .stereo = 0, .sixteenBit = 0}));
  Bytes block(32768);
  for (const int expected : {4, 8, 10}) {  // 32768 = 4 × 8000 + 768
    std::size_t size = block.size();
    EXPECT_TRUE(decoder.read(block.data(), size));
    EXPECT_EQ(decoder.getPosition(), expected);
  }
  std::size_t size = block.size();
  EXPECT_FALSE(decoder.read(block.data(), size));
}

TEST_F(WavDecoderTest, ReadsTheDataChunkAndNothingBehindIt) {
  const Bytes samples = samples16({1, -2, 3, -4, 5, -6});
  const Bytes trailer = make_chunk("LIST", Bytes(64, 0x55));
  ASSERT_TRUE(open(make_wav({.bytesAfterData = trailer}, samples)));
  EXPECT_EQ(readAll(5), samples);

  // A size of 0 (a recording not yet finished) or one beyond the end: up to the end of the file.
  ASSERT_TRUE(open(make_wav({.declaredDataSize = 0}, samples)));
  EXPECT_EQ(readAll(), samples);
  ASSERT_TRUE(open(make_wav({.declaredDataSize = 1000}, samples)));
  EXPECT_EQ(readAll(), samples);
  EXPECT_EQ(decoder.getInfo().lengthSeconds, 0);
}

TEST_F(WavDecoderTest, SkipsOtherChunksHonouringThePadByteOfAnOddSize) {
  const Bytes samples = samples16({100, 200});
  Bytes chunks = make_chunk("odd ", {1, 2, 3});
  chunks.push_back(0);  // the pad byte
  const Bytes list = make_chunk("LIST", Bytes(10, 'd'));
  chunks.insert(chunks.end(), list.begin(), list.end());
  ASSERT_TRUE(open(make_wav({.chunksBeforeData = chunks}, samples)));
  EXPECT_EQ(readAll(), samples);

  ASSERT_TRUE(open(make_wav({.extensionSizeField = true}, samples))) << "the 46-byte header of decoded files";
  EXPECT_EQ(readAll(), samples);
}

TEST_F(WavDecoderTest, AcceptsAFileBehindAnId3v2Tag) {
  Bytes file = id3v2_tag(2 * 128 + 1);
  const Bytes samples = samples16({7, 8, 9, 10});
  const Bytes wav = make_wav({}, samples);
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
  decoder.close();  // harmless when closed
}

}  // namespace
}  // namespace tunekiln::test
