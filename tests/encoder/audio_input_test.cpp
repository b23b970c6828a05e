// The audio input reader on files the tests write: what it tells the encoder, the values it
// delivers, and how it falls back or fails.
#include "encoder/audio_input.h"

#include <gtest/gtest.h>

#include <span>

#include "tests/encoder/encoder_fixtures.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

struct Reading {
  bool opened = false;
  InputType type = INPUT_UNKNOWN;
  int channels = 0;
  int rate = 0;
  unsigned long count = 0;
  std::vector<std::int32_t> left, right;
  std::string messages;
  std::optional<InputFailure> failure;
};

Reading read_all(AudioInput& input, lame_t encoder, bool opened, const CapturedStream& messages) {
  Reading r{opened, input.inputType, lame_get_num_channels(encoder), lame_get_in_samplerate(encoder),
            lame_get_num_samples(encoder)};
  if (opened && lame_init_params(encoder) >= 0) {
    std::array<std::int32_t, kMaxFrameSamples> left{}, right{};
    for (std::optional<std::size_t> n; (n = read_audio_frame(input, encoder, left, right)) && *n > 0;) {
      r.left.insert(r.left.end(), left.begin(), left.begin() + static_cast<std::ptrdiff_t>(*n));
      r.right.insert(r.right.end(), right.begin(), right.begin() + static_cast<std::ptrdiff_t>(*n));
    }
  }
  r.messages = messages.text();
  r.failure = input.failure;
  return r;
}

class AudioInputTest : public ::testing::Test {
 protected:
  // Each file with a fresh encoder, as each conversion has.
  Reading read(const Bytes& file) {
    write_file(path, file);
    const LameContext fresh(lame_init());
    const CapturedStream warnings;
    AudioInput input{.messages = warnings.get()};
    const bool opened = open_audio_input(input, fresh.get(), path);
    return read_all(input, fresh.get(), opened, warnings);
  }

  TempDir dir;
  std::string path = dir.file("input");
  CapturedStream messages;
  LameContext encoder{lame_init()};
};

using Values = std::vector<std::int32_t>;
constexpr std::int32_t kHigh(std::int32_t sample16) { return sample16 * 65536; }
constexpr const char* kRawNotice = "Assuming raw pcm input file\n";

TEST_F(AudioInputTest, WaveSamplesOfEveryWidthArriveInTheHighBits) {
  const struct {
    WavShape shape;
    Bytes samples;
    Values left, right;
  } cases[] = {
      {{.channels = 1, .bits = 8}, {0x80, 0x00, 0xFF}, {0x007F0000, static_cast<std::int32_t>(0x807F0000), 0x7F7F0000}, {0, 0, 0}},
      {{.channels = 2, .bits = 16}, samples16({1, -2, 300, 4}), {kHigh(1), kHigh(300)}, {kHigh(-2), kHigh(4)}},
      {{.channels = 1, .bits = 24}, {0x56, 0x34, 0x12}, {0x12345600}, {0}},
      {{.channels = 1, .bits = 32}, {0x78, 0x56, 0x34, 0xF2}, {static_cast<std::int32_t>(0xF2345678)}, {0}},
  };
  for (const auto& c : cases) {
    const Reading r = read(make_wav(c.shape, c.samples));
    EXPECT_EQ(r.type, INPUT_WAVE);
    EXPECT_EQ(r.channels, c.shape.channels);
    EXPECT_EQ(r.count, c.left.size());
    EXPECT_EQ(r.left, c.left) << c.shape.bits;
    EXPECT_EQ(r.right, c.right) << c.shape.bits;
    EXPECT_EQ(r.messages, "");
  }
}

TEST_F(AudioInputTest, ChunksAroundTheSamplesAreSkipped) {
  const Reading r = read(make_wav({.sampleRate = 22050,
                                   .extensionSizeField = true,
                                   .chunksBeforeData = make_chunk("LIST", Bytes(9, 'x')),
                                   .bytesAfterData = make_chunk("LIST", samples16({7, 7, 7, 7}))},
                                  samples16({1, 2, 3, 4})));
  EXPECT_EQ(r.rate, 22050);
  EXPECT_EQ(r.count, 2u);
  EXPECT_EQ(r.left, (Values{kHigh(1), kHigh(3)}));
  EXPECT_EQ(r.right, (Values{kHigh(2), kHigh(4)}));
}

TEST_F(AudioInputTest, WaveLengthsThatDoNotMatchTheFile) {
  const Reading unknown = read(make_wav({.declaredDataSize = 0}, samples16({1, 2, 3, 4})));
  EXPECT_EQ(unknown.count, 0u);
  EXPECT_EQ(unknown.left, (Values{kHigh(1), kHigh(3)})) << "read on to the end of the file";

  Bytes truncated = make_wav({.declaredDataSize = 32}, samples16({1, 2, 3, 4, 5}));
  const Reading r = read(truncated);
  EXPECT_EQ(r.count, 8u);
  EXPECT_EQ(r.left, (Values{kHigh(1), kHigh(3)})) << "the value without its partner is dropped";
}

TEST_F(AudioInputTest, RefusedWaveHeadersAreReadAsRawWithAWarning) {
  const Bytes wav = make_wav({}, {});
  const Bytes format(wav.begin() + 20, wav.begin() + 36);
  Bytes dataFirst{'W', 'A', 'V', 'E'};
  for (const Bytes& chunk : {make_chunk("data", samples16({1, 2})), make_chunk("fmt ", format)}) {
    dataFirst.insert(dataFirst.end(), chunk.begin(), chunk.end());
  }
  dataFirst.insert(dataFirst.begin(), {'R', 'I', 'F', 'F', 0, 0, 0, 0});

  for (const Bytes& file : {dataFirst, make_wav({.formatTag = 3}, Bytes(8, 0))}) {
    const Reading r = read(file);
    EXPECT_EQ(r.type, INPUT_RAW);
    EXPECT_EQ(r.messages, std::string("Warning: corrupt or unsupported WAVE format\n") + kRawNotice);
    EXPECT_EQ(r.count, file.size() / 4);
    ASSERT_FALSE(r.left.empty());
    EXPECT_EQ(r.left[0], kHigh(0x5249)) << "the header is read as big-endian samples: \"RI\"";
  }
}

TEST_F(AudioInputTest, UnusableWaveHeadersFailWithTheirText) {
  const Reading six = read(make_wav({.channels = 6}, Bytes(12, 0)));
  EXPECT_FALSE(six.opened);
  ASSERT_TRUE(six.failure);
  EXPECT_EQ(six.failure->text, "Unsupported number of channels: 6d\n");
  EXPECT_EQ(six.failure->exitStatus, 1);

  for (std::uint16_t bits : {0, 12}) {  // 0 would be a division by zero
    const Reading r = read(make_wav({.bits = bits}, Bytes(8, 0)));
    EXPECT_TRUE(r.opened);
    EXPECT_TRUE(r.left.empty());
    ASSERT_TRUE(r.failure) << bits;
    EXPECT_EQ(r.failure->text, "Only 8, 16, 24 and 32 bit input files supported \n");
  }

  for (const std::string& missing : {dir.file("missing.wav"), dir.path().string()}) {
    AudioInput input{.messages = messages.get()};
    EXPECT_FALSE(open_audio_input(input, encoder.get(), missing));
    EXPECT_EQ(input.failure->text, "Could not find \"" + missing + "\".\n");
  }
}

TEST_F(AudioInputTest, AiffAndAifcSamplesInTheirByteOrder) {
  const Bytes samples = {0x01, 0x02, 0xFF, 0xFE, 0x00, 0x10, 0x00, 0x20};
  const Values bigLeft{0x01020000, kHigh(0x10)}, bigRight{static_cast<std::int32_t>(0xFFFE0000), kHigh(0x20)};
  const Values littleLeft{0x02010000, kHigh(0x1000)}, littleRight{static_cast<std::int32_t>(0xFEFF0000), kHigh(0x2000)};
  const struct {
    AiffShape shape;
    Values left, right;
  } cases[] = {
      {{}, bigLeft, bigRight},
      {{.formType = "AIFC", .compression = "NONE"}, bigLeft, bigRight},
      {{.formType = "AIFC", .compression = "twos"}, bigLeft, bigRight},
      {{.formType = "AIFC", .compression = "sowt"}, littleLeft, littleRight},
  };
  for (const auto& c : cases) {
    const Reading r = read(make_aiff(c.shape, samples));
    EXPECT_EQ(r.type, INPUT_AIFF) << c.shape.compression;
    EXPECT_EQ(r.rate, 44100);
    EXPECT_EQ(r.count, 2u);
    EXPECT_EQ(r.left, c.left) << c.shape.formType << " " << c.shape.compression;
    EXPECT_EQ(r.right, c.right) << c.shape.formType << " " << c.shape.compression;
  }
  const Reading mono = read(make_aiff({.channels = 1, .sampleRate = 8000}, samples));
  EXPECT_EQ(mono.rate, 8000);
  EXPECT_EQ(mono.left.size(), 4u);
}

TEST_F(AudioInputTest, RefusedAiffHeadersAreReadAsRaw) {
  const struct {
    AiffShape shape;
    std::string message;
  } cases[] = {
      {{.sampleSize = 8}, "Sound data is not 16 bits in 'name'\n"},
      {{.soundBeforeCommon = true}, "Sound data is not 16 bits in 'name'\n"},
      {{.channels = 3}, "Sound data is not mono or stereo in 'name'\n"},
      {{.blockSize = 8}, "Block size is not 0 bytes in 'name'\n"},
      {{.formType = "AIFC", .compression = "ACE2"}, ""},
      // A refused "sowt" header leaves raw input big-endian.
      {{.formType = "AIFC", .compression = "sowt", .blockSize = 4}, "Block size is not 0 bytes in 'name'\n"},
  };
  for (const auto& c : cases) {
    const Reading r = read(make_aiff(c.shape, Bytes(12, 0)));
    EXPECT_EQ(r.type, INPUT_RAW);
    EXPECT_EQ(r.messages, c.message + kRawNotice);
    ASSERT_FALSE(r.left.empty());
    EXPECT_EQ(r.left[0], kHigh(0x464F)) << "\"FO\" of FORM, high byte first";
  }
}

TEST_F(AudioInputTest, CorruptAiffSizesEndTheWalkAtOnce) {
  // A chunk of size -8 would lead the walk back to itself for ever, and growing.
  const Bytes file{'F', 'O', 'R', 'M', 0x7F, 0xFF, 0xFF, 0xFF, 'A', 'I', 'F', 'F', 'J', 'U', 'N', 'K', 0xFF, 0xFF, 0xFF, 0xF8};
  EXPECT_EQ(read(file).type, INPUT_RAW);
}

TEST_F(AudioInputTest, RawInputIsBigEndianStereoAt44100) {
  Bytes file(4000, 0);
  file[0] = 0x12;
  file[1] = 0x34;
  file[3] = 0x01;
  const Reading r = read(file);
  EXPECT_EQ(r.type, INPUT_RAW);
  EXPECT_EQ(r.messages, kRawNotice);
  EXPECT_EQ(r.count, 1000u);
  EXPECT_EQ(r.channels, 2);
  EXPECT_EQ(r.rate, 44100);
  ASSERT_EQ(r.left.size(), 1000u);
  EXPECT_EQ(r.left[0], 0x12340000);
  EXPECT_EQ(r.right[0], 0x00010000);

  EXPECT_EQ(read(Bytes{1, 2, 3, 4, 5, 6}).left.size(), 1u) << "a truncated frame is dropped";
}

// A file whose reads fail behind its first `goodBytes`, and which cannot be closed.
class FailingSource final : public ByteSource {
 public:
  FailingSource(const Bytes& bytes, std::size_t goodBytes) : good_(std::span(bytes).first(goodBytes)) {}
  std::size_t read(void* buffer, std::size_t count) override {
    const std::size_t got = good_.read(buffer, count);
    failed_ = failed_ || got < count;
    return got;
  }
  bool seek(std::int64_t, SeekOrigin) override { return false; }  // a well-formed header needs none
  bool failed() const override { return failed_; }
  bool close() override { return false; }

 private:
  MemoryByteSource good_;
  bool failed_ = false;
};

TEST_F(AudioInputTest, ReadAndCloseFailuresComeBackWithTheirStatus) {
  const Bytes wav = make_wav({}, Bytes(400, 0));
  AudioInput input{.messages = messages.get()};
  ASSERT_TRUE(attach_audio_input(input, encoder.get(), std::make_unique<FailingSource>(wav, 44 + 100), -1));
  const Reading r = read_all(input, encoder.get(), true, messages);
  EXPECT_TRUE(r.left.empty());
  ASSERT_TRUE(r.failure);
  EXPECT_EQ(r.failure->text, "Error reading input file\n");
  EXPECT_EQ(r.failure->exitStatus, 1);

  ASSERT_TRUE(attach_audio_input(input, encoder.get(), std::make_unique<FailingSource>(wav, wav.size()), -1));
  EXPECT_FALSE(close_audio_input(input));
  EXPECT_EQ(input.failure->text, "Could not close audio input file\n");
  EXPECT_EQ(input.failure->exitStatus, 2);
}

}  // namespace
}  // namespace tunekiln::test
