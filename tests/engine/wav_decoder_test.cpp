// The WAV decoder on files built in memory: what it accepts, what it hands out, where it seeks,
// and how it tells the end of the samples from a failed read.
#include "engine/wav_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tests/engine/engine_doubles.h"
#include "tests/support/failing_reader.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/tone_analyser.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

class WavDecoderTest : public ::testing::Test {
 protected:
  bool open(const Bytes& file, std::uint64_t failFrom = std::numeric_limits<std::uint64_t>::max()) {
    file_ = file;
    failFrom_ = failFrom;
    return decoder.open("in.wav");
  }

  Bytes file_;
  std::uint64_t failFrom_ = 0;
  WavDecoder decoder{[this](const std::string&) { return std::make_unique<FailingReader>(file_, failFrom_); }};
};

// `frames` frames of a full-scale ramp (in 16-bit units), falling on the right channel, stored
// at `bits` bits; floats overshoot full scale by a tenth so that clipping is seen.
struct Ramp {
  Bytes stored;
  std::vector<double> expected;  // the 16-bit value of every sample, before dither
};

Ramp make_ramp(std::uint16_t channels, std::uint16_t bits, bool isFloat, std::size_t frames) {
  Ramp ramp;
  for (std::size_t i = 0; i < frames * channels; ++i) {
    const double rising = -32768.0 + 65535.0 * static_cast<double>(i / channels) / static_cast<double>(frames - 1);
    const double x = i % channels == 0 ? rising : -1.0 - rising;
    std::uint8_t bytes[8];
    if (isFloat) {
      const double value = x / 32768.0 * 1.1;
      if (bits == 32) {
        const auto narrow = static_cast<float>(value);
        std::memcpy(bytes, &narrow, 4);
      } else {
        std::memcpy(bytes, &value, 8);
      }
      ramp.expected.push_back(std::clamp(value * 32768.0, -32768.0, 32767.0));
    } else {
      const auto n = static_cast<std::int64_t>(std::floor(std::ldexp(x, bits - 16)));
      for (int b = 0; b < bits / 8; ++b) bytes[b] = static_cast<std::uint8_t>(n >> (8 * b));
      ramp.expected.push_back(std::ldexp(static_cast<double>(n), 16 - bits));
    }
    ramp.stored.insert(ramp.stored.end(), bytes, bytes + bits / 8);
  }
  return ramp;
}

TEST_F(WavDecoderTest, EveryEncodingAndFormComesOutAs16BitsOr8BitsAsStored) {
  const struct {
    WavShape shape;
    bool bw64 = false;
  } rows[] = {
      {{.channels = 1, .sampleRate = 8000, .bits = 8}},
      {{.bits = 16}},
      {{.bits = 16, .extensible = true}},
      {{.bits = 24}},
      {{.channels = 1, .bits = 32}},
      {{.bits = 32, .formatTag = 3}},
      {{.channels = 1, .bits = 64, .formatTag = 3}},
      {{.sampleRate = 96000, .bits = 24, .extensible = true}},
      {{.bits = 32, .formatTag = 3, .extensible = true}},
      {{.bits = 24, .rf64 = true}},
      {{.bits = 16, .rf64 = true}, true},
  };
  for (const auto& row : rows) {
    const WavShape& shape = row.shape;
    const bool isFloat = shape.formatTag == 3;
    SCOPED_TRACE(std::to_string(shape.bits) + (isFloat ? " float" : " bits") + (shape.extensible ? " EXTENSIBLE" : "") +
                 (shape.rf64 ? (row.bw64 ? " BW64" : " RF64") : ""));
    const Ramp ramp = make_ramp(shape.channels, shape.bits, isFloat, 3000);
    Bytes file = make_wav(shape, ramp.stored);
    if (row.bw64) std::copy_n("BW64", 4, file.begin());
    ASSERT_TRUE(open(file));
    const bool asStored = shape.bits <= 16;
    EXPECT_EQ(decoder.getInfo(), (StreamInfo{.lengthSeconds = 0,
                                             .sampleRate = static_cast<std::int32_t>(shape.sampleRate),
                                             .stereo = shape.channels - 1,
                                             .sixteenBit = shape.bits == 8 ? 0 : 1,
                                             .bitsPerSample = shape.bits,
                                             .floatSamples = isFloat ? 1 : 0}));
    const Decoded decoded = decode_all(decoder, 10000);
    EXPECT_EQ(decoded.last, ReadResult::end);
    if (asStored) {
      EXPECT_EQ(decoded.pcm, ramp.stored);
      continue;
    }
    const auto samples = samples_of(decoded.pcm);
    ASSERT_EQ(samples.size(), ramp.expected.size());
    double worst = 0, sum = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
      const double error = samples[i] - ramp.expected[i];
      worst = std::max(worst, std::abs(error));
      sum += error;
    }
    // Noise shaping moves a sample by a few steps, but on average it is where it belongs.
    EXPECT_LE(worst, 5.0);
    EXPECT_LT(std::abs(sum / static_cast<double>(samples.size())), 0.5);
  }
}

TEST_F(WavDecoderTest, SeeksToWholeFramesAndCountsPositionsAcrossBlocks) {
  const Bytes samples = ramp_bytes(1764000);
  ASSERT_TRUE(open(make_wav({}, samples)));
  EXPECT_EQ(decoder.getInfo().lengthSeconds, 10);
  decoder.seek(50, 100);
  EXPECT_EQ(decoder.getPosition(), 5);
  decoder.seek(7, 1000);  // 12348 bytes: a whole frame
  Bytes block(4);
  std::size_t size = block.size();
  ASSERT_EQ(decoder.read(block.data(), size), ReadResult::more);
  EXPECT_EQ(block, Bytes(samples.begin() + 12348, samples.begin() + 12352));
  decoder.seek(3, 2);  // beyond the end: at the end
  EXPECT_EQ(decode_all(decoder).pcm, Bytes{});

  // 24-bit stereo: 6-byte frames, and 12 bytes a step; 1/7 of 600 frames is 514.28 bytes.
  ASSERT_TRUE(open(make_wav({.bits = 24}, Bytes(3600))));
  decoder.seek(1, 7);
  EXPECT_EQ(decode_all(decoder).pcm.size(), (3600 - 504) / 6 * 4);

  ASSERT_TRUE(open(make_wav({.channels = 1, .sampleRate = 8000, .bits = 8}, ramp_bytes(80000))));
  EXPECT_EQ(decoder.getInfo().lengthSeconds, 10);
  block.resize(32768);
  for (const int expected : {4, 8, 10}) {  // 32768 = 4 × 8000 + 768: the remainder carries over
    size = block.size();
    decoder.read(block.data(), size);
    EXPECT_EQ(decoder.getPosition(), expected);
  }
}

TEST_F(WavDecoderTest, ReadsTheDataChunkBehindATagAndChunksAndNothingBehindIt) {
  const Bytes samples = samples16({1, -2, 3, -4, 5, -6});
  Bytes chunks = make_chunk("odd ", {1, 2, 3});
  chunks.push_back(0);  // the pad byte
  const Bytes list = make_chunk("LIST", Bytes(10, 'd'));
  chunks.insert(chunks.end(), list.begin(), list.end());
  Bytes file = id3v2_tag(2 * 128 + 1);
  const Bytes wav = make_wav({.chunksBeforeData = chunks, .bytesAfterData = make_chunk("LIST", Bytes(64, 0x55))}, samples);
  file.insert(file.end(), wav.begin(), wav.end());
  ASSERT_TRUE(open(file));
  const Decoded inFives = decode_all(decoder, 5);
  EXPECT_EQ(inFives.pcm, samples);
  EXPECT_EQ(inFives.readSizes.back(), 0u) << "the end comes with no bytes";

  // A size of 0 (a recording not yet finished) or one beyond the end: up to the end of the file.
  for (const std::uint32_t declared : {0u, 1000u}) {
    ASSERT_TRUE(open(make_wav({.declaredDataSize = declared}, samples)));
    EXPECT_EQ(decode_all(decoder).pcm, samples) << declared;
  }
}

TEST_F(WavDecoderTest, AFailedReadIsNoEnd) {
  const Bytes wav16 = make_wav({}, ramp_bytes(100000));
  const Bytes wav24 = make_wav({.bits = 24}, ramp_bytes(150000));
  for (const Bytes* file : {&wav16, &wav24}) {
    ASSERT_TRUE(open(*file, 60000));
    const Decoded decoded = decode_all(decoder);
    EXPECT_EQ(decoded.last, ReadResult::failed);
    EXPECT_LT(decoded.pcm.size(), 60000u);
  }
  EXPECT_FALSE(open(wav16, 30)) << "inside the header";
  EXPECT_EQ(decoder.lastParse().result, AudioFileResult::readFailed);

  ASSERT_TRUE(open(make_wav({}, {})));
  const Decoded empty = decode_all(decoder);
  EXPECT_EQ(empty.last, ReadResult::end);
  EXPECT_EQ(empty.readSizes, std::vector<std::size_t>{0}) << "no samples: the end at once";
}

TEST_F(WavDecoderTest, RefusesWhatItCannotHandOutAndSaysWhy) {
  const struct {
    Bytes file;
    AudioFileResult why;
  } rows[] = {
      {make_wav({.channels = 6, .bits = 24}, Bytes(36)), AudioFileResult::unsupportedChannels},
      {make_wav({.bits = 8, .formatTag = 6}, Bytes(4)), AudioFileResult::unsupportedEncoding},
      {make_wav({.bits = 24, .formatTag = 3}, Bytes(12)), AudioFileResult::unsupportedEncoding},
      {make_mp3({.tone = {.seconds = 0.5}}), AudioFileResult::notThisFormat},
  };
  for (const auto& row : rows) {
    EXPECT_FALSE(open(row.file));
    EXPECT_EQ(decoder.lastParse().result, row.why);
  }
}

}  // namespace
}  // namespace tunekiln::test
