// The WAV decoder on files built in memory: what it hands out for each encoding, where it
// seeks, and how it tells the end of the samples from a failed read. The header's forms are
// read by the audiofile layer and checked there.
#include "engine/wav_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "tests/support/engine_doubles.h"
#include "tests/support/failing_reader.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/tone_analyser.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

// The decoder of `file`, which fails to read from `failFrom` on.
struct WavDecoderTest : ::testing::Test {
  bool open(const Bytes& bytes, std::uint64_t failFrom = UINT64_MAX) {
    file = bytes;
    return decoder.open(opened_from(std::make_shared<FailingReader>(file, failFrom)));
  }
  Bytes file;
  WavDecoder decoder;
};

TEST_F(WavDecoderTest, EachEncodingAs16BitsOrAsStored) {
  const WavShape rows[] = {{.sampleRate = 8000, .bits = 8}, {.bits = 16}, {.bits = 24},
                           {.channels = 1, .bits = 32}, {.bits = 32, .formatTag = 3},
                           {.channels = 1, .bits = 64, .formatTag = 3}};
  for (const WavShape& shape : rows) {
    SCOPED_TRACE(&shape - rows);
    const int bits = shape.bits;
    // A full-scale ramp, falling on the right; floats overshoot full scale by a tenth to be clipped.
    const std::size_t count = 3000 * shape.channels;
    std::vector<double> values, expected;
    for (std::size_t i = 0; i < count; ++i) {
      const double ramp = -1.0 + static_cast<double>(i / shape.channels) / 1500, x = i % 2 ? -ramp : ramp;
      // Integers stop one step short of +1.
      const double top = std::ldexp(1.0, bits - 1);
      const double n = shape.formatTag == 3 ? 1.1 * x : std::min(std::floor(x * top), top - 1);
      values.push_back(n);
      const double scaled = shape.formatTag == 3 ? n * 32768 : std::ldexp(n, 16 - bits);
      expected.push_back(std::clamp(scaled, -32768.0, 32767.0));
    }
    const Bytes stored = encode_samples(shape, values);
    // A data chunk that ends inside a frame: that frame is no sound, and no sound card takes it.
    Bytes cut = stored;
    cut.resize(stored.size() + bits / 8 * shape.channels - 1, 0x7F);
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
  // 12348 bytes: a whole frame
  decoder.seek(7, 1000);
  EXPECT_EQ(decode_all(decoder).pcm.size(), 1764000u - 12348);
  EXPECT_EQ(decoder.getPosition(), 10);
  // Beyond the end: at the end
  decoder.seek(3, 2);
  EXPECT_EQ(decode_all(decoder).pcm, Bytes{});
  // 24-bit stereo: 6-byte frames, and 12 bytes a step; 1/7 of 600 frames is 514.28 bytes.
  ASSERT_TRUE(open(make_wav({.bits = 24}, Bytes(3600))));
  decoder.seek(1, 7);
  EXPECT_EQ(decode_all(decoder).pcm.size(), (3600 - 504) / 6 * 4);
}

TEST_F(WavDecoderTest, EndsWithTheDataChunkOrAFailedRead) {
  // Behind an ID3v2 tag, in reads of odd sizes, with a chunk behind the samples.
  const Bytes samples = samples16({1, -2, 3, -4, 5, -6});
  const Bytes wav = make_wav({.bytesAfterData = make_chunk("LIST", Bytes(64, 0x55))}, samples);
  ASSERT_TRUE(open(id3v2_tag(2 * 128 + 1) + wav));
  EXPECT_EQ(decode_all(decoder, 5).pcm, samples);
  TempDir dir;
  const std::string path = dir.file("shrinking.wav");
  // As stored, and converted
  for (const std::uint16_t bits : {16, 24}) {
    const Bytes ramp = make_wav({.bits = bits}, ramp_bytes(150000));
    ASSERT_TRUE(open(ramp, 60000));
    EXPECT_EQ(decode_all(decoder).last, ReadResult::failed) << bits;
    // A file cut short while it is read has lost samples: as much a failure as a disk's.
    write_file(path, ramp);
    WavDecoder shrinking;
    ASSERT_TRUE(shrinking.open(open_audio_file(path)));
    std::filesystem::resize_file(path, 60000);
    EXPECT_EQ(decode_all(shrinking).last, ReadResult::failed) << bits;
  }
  EXPECT_FALSE(open(wav, 30)) << "a failed read inside the header";
  EXPECT_EQ(decoder.refusal(), "the file could not be read");
}

}  // namespace
}  // namespace tunekiln::test
