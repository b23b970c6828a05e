// The WAV decoder on files built in memory: what it hands out for each encoding, where it
// seeks, and how it tells the end of the samples from a failed read. The header's forms are
// read by the audiofile layer and checked there.
#include "engine/wav_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "audiofile/pcm_samples.h"
#include "tests/support/engine_doubles.h"
#include "tests/support/failing_reader.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/tone_analyser.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

// The decoder of `file`, which fails to read from `failFrom` on.
struct WavDecoderTest : ::testing::Test {
  bool open(const Bytes& bytes, std::uint64_t from = UINT64_MAX) {
    file = bytes;
    failFrom = from;
    return decoder.open("in.wav");
  }
  Bytes file;
  std::uint64_t failFrom = 0;
  WavDecoder decoder{[this](const std::string&) { return std::make_unique<FailingReader>(file, failFrom); }};
};

TEST_F(WavDecoderTest, EachEncodingComesOutAsStoredUpTo16BitsAndNear16BitsAbove) {
  using enum SampleEncoding;
  const std::pair<WavShape, SampleEncoding> rows[] = {
      {{.sampleRate = 8000, .bits = 8}, unsigned8}, {{.bits = 16}, signed16}, {{.bits = 24}, signed24},
      {{.channels = 1, .bits = 32}, signed32}, {{.bits = 32, .formatTag = 3}, float32},
      {{.channels = 1, .bits = 64, .formatTag = 3}, float64}};
  for (const auto& [shape, encoding] : rows) {
    SCOPED_TRACE(describe_encoding(encoding));
    // A full-scale ramp, falling on the right; floats overshoot full scale by a tenth to be clipped.
    const std::size_t count = 3000 * shape.channels, width = bytes_per_sample(encoding);
    const int bits = 8 * static_cast<int>(width);
    Bytes stored(count * width);
    std::vector<double> expected;
    for (std::size_t i = 0; i < count; ++i) {
      const double ramp = -1.0 + static_cast<double>(i / shape.channels) / 1500, x = i % 2 ? -ramp : ramp;
      if (shape.formatTag == 3) {
        pcm::store_float(stored.data() + i * width, encoding, 1.1 * x);
        expected.push_back(std::clamp(1.1 * x * 32768, -32768.0, 32767.0));
      } else {
        const auto n = static_cast<std::int64_t>(std::floor(std::ldexp(x, bits - 1)));
        pcm::store_integer(stored.data() + i * width, encoding, n);
        expected.push_back(std::ldexp(static_cast<double>(n), 16 - bits));
      }
    }
    // A data chunk that ends inside a frame: that frame is no sound, and no sound card takes it.
    Bytes cut = stored;
    cut.resize(stored.size() + width * shape.channels - 1, 0x7F);
    ASSERT_TRUE(open(make_wav(shape, cut)));
    const StreamInfo info{.sampleRate = static_cast<int>(shape.sampleRate), .stereo = shape.channels > 1,
                          .sixteenBit = bits > 8, .bitsPerSample = bits, .floatSamples = shape.formatTag > 1};
    EXPECT_EQ(decoder.getInfo(), info);
    const Decoded decoded = decode_all(decoder, 10001);
    EXPECT_EQ(decoded.last, ReadResult::end);
    if (bits <= 16) {
      EXPECT_EQ(decoded.pcm, stored);
      continue;
    }
    const auto samples = samples_of(decoded.pcm);
    ASSERT_EQ(samples.size(), expected.size());
    double worst = 0, sum = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
      worst = std::max(worst, std::abs(samples[i] - expected[i]));
      sum += samples[i] - expected[i];
    }
    // Noise shaping moves a sample by a few steps, but on average it is where it belongs.
    EXPECT_LE(worst, 5.0);
    EXPECT_LT(std::abs(sum) / static_cast<double>(count), 0.5);
  }
}

TEST_F(WavDecoderTest, SeeksToWholeFrames) {
  ASSERT_TRUE(open(make_wav({}, Bytes(1764000))));
  EXPECT_EQ(decoder.getInfo().lengthSeconds, 10);
  decoder.seek(7, 1000);  // 12348 bytes: a whole frame
  EXPECT_EQ(decode_all(decoder).pcm.size(), 1764000u - 12348);
  EXPECT_EQ(decoder.getPosition(), 10);
  decoder.seek(3, 2);  // beyond the end: at the end
  EXPECT_EQ(decode_all(decoder).pcm, Bytes{});
  // 24-bit stereo: 6-byte frames, and 12 bytes a step; 1/7 of 600 frames is 514.28 bytes.
  ASSERT_TRUE(open(make_wav({.bits = 24}, Bytes(3600))));
  decoder.seek(1, 7);
  EXPECT_EQ(decode_all(decoder).pcm.size(), (3600 - 504) / 6 * 4);
}

TEST_F(WavDecoderTest, EndsWithTheDataChunkAndTellsAFailedReadOrARefusalApart) {
  // Behind an ID3v2 tag, in reads of odd sizes, with a chunk behind the samples.
  const Bytes samples = samples16({1, -2, 3, -4, 5, -6});
  const Bytes wav = make_wav({.bytesAfterData = make_chunk("LIST", Bytes(64, 0x55))}, samples);
  ASSERT_TRUE(open(id3v2_tag(2 * 128 + 1) + wav));
  EXPECT_EQ(decode_all(decoder, 5).pcm, samples);
  TempDir dir;
  const std::string path = dir.file("shrinking.wav");
  for (const std::uint16_t bits : {16, 24}) {  // as stored, and converted
    const Bytes ramp = make_wav({.bits = bits}, ramp_bytes(150000));
    ASSERT_TRUE(open(ramp, 60000));
    EXPECT_EQ(decode_all(decoder).last, ReadResult::failed) << bits;
    // A file cut short while it is read has lost samples: as much a failure as a disk's.
    write_file(path, ramp);
    WavDecoder shrinking;
    ASSERT_TRUE(shrinking.open(path));
    std::filesystem::resize_file(path, 60000);
    EXPECT_EQ(decode_all(shrinking).last, ReadResult::failed) << bits;
  }
  EXPECT_FALSE(open(wav, 30)) << "a failed read inside the header";
  EXPECT_EQ(decoder.lastParse().result, AudioFileResult::readFailed);
  EXPECT_FALSE(open(make_wav({.channels = 3}, Bytes(12))));
  EXPECT_EQ(decoder.lastParse().result, AudioFileResult::unsupportedChannels);
}

}  // namespace
}  // namespace tunekiln::test
