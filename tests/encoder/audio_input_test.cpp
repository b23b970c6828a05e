// The audio input reader on files the tests write: what it tells the encoder, the values it
// delivers, how it falls back or fails, and what a failure does to the conversion.
#include "encoder/audio_input.h"

#include <gtest/gtest.h>

#include <cmath>
#include <span>

#include "encoder/byte_source.h"
#include "encoder/save_to_mp3.h"
#include "tests/support/run_program.h"
#include "tests/support/scripted_host.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

void put_be(Bytes& out, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

Bytes be_chunk(const char* id, const Bytes& body) {
  Bytes out(id, id + 4);
  put_be(out, body.size(), 4);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// The header of a test AIFF or AIFC file; by default 16-bit stereo AIFF at 44100 Hz.
struct AiffShape {
  const char* formType = "AIFF";
  const char* compression = "NONE";  // AIFC only
  std::int16_t channels = 2;
  std::int16_t sampleSize = 16;
  double sampleRate = 44100;  // a whole number, or infinity
  std::uint32_t blockSize = 0;
  bool soundBeforeCommon = false;
};

Bytes make_aiff(const AiffShape& shape, const Bytes& samples) {
  Bytes common;
  put_be(common, static_cast<std::uint16_t>(shape.channels), 2);
  put_be(common, samples.size() / static_cast<std::size_t>(shape.channels * ((shape.sampleSize + 7) / 8)), 4);
  put_be(common, static_cast<std::uint16_t>(shape.sampleSize), 2);
  if (std::isinf(shape.sampleRate)) {
    common.insert(common.end(), {0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0});
  } else {  // the 80-bit extended form
    const int exponent = std::ilogb(shape.sampleRate);
    put_be(common, static_cast<std::uint64_t>(16383 + exponent), 2);
    put_be(common, static_cast<std::uint64_t>(std::ldexp(shape.sampleRate, 63 - exponent)), 8);
  }
  if (std::string(shape.formType) == "AIFC") {
    common.insert(common.end(), shape.compression, shape.compression + 4);
    common.insert(common.end(), {0, 0});  // an empty name, padded to an even length
  }
  Bytes sound(4, 0);  // block offset
  put_be(sound, shape.blockSize, 4);
  sound.insert(sound.end(), samples.begin(), samples.end());
  Bytes body(shape.formType, shape.formType + 4);
  for (const Bytes& chunk : shape.soundBeforeCommon ? std::vector{be_chunk("SSND", sound), be_chunk("COMM", common)}
                                                    : std::vector{be_chunk("COMM", common), be_chunk("SSND", sound)}) {
    body.insert(body.end(), chunk.begin(), chunk.end());
  }
  return be_chunk("FORM", body);
}

using Values = std::vector<std::int32_t>;

struct Reading {
  InputType type = INPUT_UNKNOWN;
  int channels = 0;
  int rate = 0;
  unsigned long count = 0;
  Values left, right;
  std::string messages;
  std::optional<InputFailure> failure;
};

struct LameCloser {
  void operator()(lame_global_flags* encoder) const { lame_close(encoder); }
};

class AudioInputTest : public ::testing::Test {
 protected:
  // Each file with a fresh encoder, as each conversion has.
  Reading read(const Bytes& file) {
    write_file(path, file);
    encoder.reset(lame_init());
    const CapturedStream warnings;
    AudioInput input{.messages = warnings.get()};
    return read_all(input, open_audio_input(input, encoder.get(), path), warnings);
  }
  Reading read_all(AudioInput& input, bool opened, const CapturedStream& warnings) {
    Reading r{input.inputType, lame_get_num_channels(encoder.get()), lame_get_in_samplerate(encoder.get()),
              lame_get_num_samples(encoder.get())};
    if (opened && lame_init_params(encoder.get()) >= 0) {
      std::array<std::int32_t, kMaxFrameSamples> left{}, right{};
      for (std::optional<std::size_t> n; (n = read_audio_frame(input, encoder.get(), left, right)) && *n > 0;) {
        r.left.insert(r.left.end(), left.begin(), left.begin() + static_cast<std::ptrdiff_t>(*n));
        r.right.insert(r.right.end(), right.begin(), right.begin() + static_cast<std::ptrdiff_t>(*n));
      }
    }
    r.messages = warnings.text();
    r.failure = input.failure;
    return r;
  }

  TempDir dir;
  std::string path = dir.file("input");
  CapturedStream messages;
  std::unique_ptr<lame_global_flags, LameCloser> encoder{lame_init()};
};

constexpr std::int32_t kHigh(std::int32_t sample16) { return sample16 * 65536; }
constexpr const char* kRawNotice = "Assuming raw pcm input file\n";

TEST_F(AudioInputTest, WaveSamplesOfEveryWidthArriveInTheHighBits) {
  const Bytes list = make_chunk("LIST", samples16({7, 7, 7, 7}));
  const struct {
    WavShape shape;
    Bytes samples;
    unsigned long count;
    Values left, right;
  } cases[] = {
      {{.channels = 1, .bits = 8}, {0x80, 0x00, 0xFF}, 3, {0x007F0000, static_cast<std::int32_t>(0x807F0000), 0x7F7F0000}, {0, 0, 0}},
      {{.bits = 16}, samples16({1, -2, 300, 4}), 2, {kHigh(1), kHigh(300)}, {kHigh(-2), kHigh(4)}},
      {{.channels = 1, .bits = 24}, {0x56, 0x34, 0x12}, 1, {0x12345600}, {0}},
      {{.channels = 1, .bits = 32}, {0x78, 0x56, 0x34, 0xF2}, 1, {static_cast<std::int32_t>(0xF2345678)}, {0}},
      // Chunks around the samples are skipped.
      {{.sampleRate = 22050, .extensionSizeField = true, .chunksBeforeData = make_chunk("LIST", Bytes(9, 'x')),
        .bytesAfterData = list}, samples16({1, 2, 3, 4}), 2, {kHigh(1), kHigh(3)}, {kHigh(2), kHigh(4)}},
      // An unknown length is read on to the end of the file.
      {{.declaredDataSize = 0}, samples16({1, 2, 3, 4}), 0, {kHigh(1), kHigh(3)}, {kHigh(2), kHigh(4)}},
      // A length past the end: the value without its partner is dropped.
      {{.declaredDataSize = 32}, samples16({1, 2, 3, 4, 5}), 8, {kHigh(1), kHigh(3)}, {kHigh(2), kHigh(4)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.shape.bits << " bits, " << c.shape.sampleRate << " Hz, size " << c.count);
    const Reading r = read(make_wav(c.shape, c.samples));
    EXPECT_EQ(r.type, INPUT_WAVE);
    EXPECT_EQ(r.channels, c.shape.channels);
    EXPECT_EQ(r.rate, static_cast<int>(c.shape.sampleRate));
    EXPECT_EQ(r.count, c.count);
    EXPECT_EQ(r.left, c.left);
    EXPECT_EQ(r.right, c.right);
    EXPECT_EQ(r.messages, "");
  }
}

TEST_F(AudioInputTest, AiffAndAifcSamplesInTheirByteOrder) {
  const Bytes samples = {0x01, 0x02, 0xFF, 0xFE, 0x00, 0x10, 0x00, 0x20};
  const Values big{0x01020000, static_cast<std::int32_t>(0xFFFE0000), kHigh(0x10), kHigh(0x20)};
  const Values little{0x02010000, static_cast<std::int32_t>(0xFEFF0000), kHigh(0x1000), kHigh(0x2000)};
  const struct {
    AiffShape shape;
    Values values;
  } cases[] = {
      {{}, big},
      {{.formType = "AIFC", .compression = "NONE"}, big},
      {{.formType = "AIFC", .compression = "twos"}, big},
      {{.formType = "AIFC", .compression = "sowt"}, little},
      {{.channels = 1, .sampleRate = 8000}, big},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.shape.formType << " " << c.shape.compression << " " << c.shape.channels);
    const Reading r = read(make_aiff(c.shape, samples));
    EXPECT_EQ(r.type, INPUT_AIFF);
    EXPECT_EQ(r.rate, static_cast<int>(c.shape.sampleRate));
    EXPECT_EQ(r.count, 4u / static_cast<unsigned>(c.shape.channels));
    ASSERT_EQ(r.left.size(), r.count);
    const Values interleaved{r.left[0], r.right[0], r.left[1], r.right[1]};
    EXPECT_EQ(c.shape.channels == 1 ? r.left : interleaved, c.values);
  }
}

TEST_F(AudioInputTest, RefusedHeadersAreReadAsRawBigEndianStereoAt44100) {
  const Bytes wav = make_wav({}, {});
  Bytes dataFirst{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  for (const Bytes& chunk : {make_chunk("data", samples16({1, 2})), make_chunk("fmt ", Bytes(wav.begin() + 20, wav.begin() + 36))}) {
    dataFirst.insert(dataFirst.end(), chunk.begin(), chunk.end());
  }
  const std::string wave = "Warning: corrupt or unsupported WAVE format\n";
  const struct {
    Bytes file;
    std::string message;
    std::int32_t first;  // the header read as big-endian samples: "RI" or "FO"
  } cases[] = {
      {dataFirst, wave, kHigh(0x5249)},
      {make_wav({.formatTag = 3}, Bytes(8, 0)), wave, kHigh(0x5249)},
      {make_aiff({.sampleSize = 8}, Bytes(12, 0)), "Sound data is not 16 bits in 'name'\n", kHigh(0x464F)},
      {make_aiff({.soundBeforeCommon = true}, Bytes(12, 0)), "Sound data is not 16 bits in 'name'\n", kHigh(0x464F)},
      {make_aiff({.channels = 3}, Bytes(12, 0)), "Sound data is not mono or stereo in 'name'\n", kHigh(0x464F)},
      {make_aiff({.blockSize = 8}, Bytes(12, 0)), "Block size is not 0 bytes in 'name'\n", kHigh(0x464F)},
      {make_aiff({.formType = "AIFC", .compression = "ACE2"}, Bytes(12, 0)), "", kHigh(0x464F)},
      // A refused "sowt" header leaves raw input big-endian.
      {make_aiff({.formType = "AIFC", .compression = "sowt", .blockSize = 4}, Bytes(12, 0)),
       "Block size is not 0 bytes in 'name'\n", kHigh(0x464F)},
      // A chunk of size -8 would lead the walk back to itself for ever, and growing.
      {{'F', 'O', 'R', 'M', 0x7F, 0xFF, 0xFF, 0xFF, 'A', 'I', 'F', 'F', 'J', 'U', 'N', 'K', 0xFF, 0xFF, 0xFF, 0xF8}, "",
       kHigh(0x464F)},
      {{0x12, 0x34, 0, 1, 5, 6}, "", 0x12340000},  // the truncated second frame is dropped
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const Reading r = read(c.file);
    EXPECT_EQ(r.type, INPUT_RAW);
    EXPECT_EQ(r.messages, c.message + kRawNotice);
    EXPECT_EQ(r.count, c.file.size() / 4);
    EXPECT_EQ(r.channels, 2);
    EXPECT_EQ(r.rate, 44100);
    ASSERT_EQ(r.left.size(), c.file.size() / 4);
    EXPECT_EQ(r.left[0], c.first);
  }
  EXPECT_EQ(read({0x12, 0x34, 0, 1}).right, Values{0x00010000});
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
  const Reading r = read_all(input, true, messages);
  EXPECT_TRUE(r.left.empty());
  ASSERT_TRUE(r.failure);
  EXPECT_EQ(r.failure->text, "Error reading input file\n");
  EXPECT_EQ(r.failure->exitStatus, 1);

  ASSERT_TRUE(attach_audio_input(input, encoder.get(), std::make_unique<FailingSource>(wav, wav.size()), -1));
  EXPECT_FALSE(close_audio_input(input));
  EXPECT_EQ(input.failure->text, "Could not close audio input file\n");
  EXPECT_EQ(input.failure->exitStatus, 2);
}

TEST(SaveToMp3, InputsTheEncoderCannotUseEndTheConversionAndKeepTheOldFile) {
  TempDir dir;
  ScriptedHost host;
  host.input = dir.file("in");
  host.output = dir.file("out.mp3");
  EncoderConsole console;  // outlives the streams that use its buffer
  CapturedStream err, out;
  console.err = err.get();
  console.out = out.get();
  const struct {
    Bytes input;
    std::string message;  // shown without the console's line break
  } cases[] = {
      {make_wav({.channels = 6}, Bytes(24, 0)), "Unsupported number of channels: 6d"},
      {make_wav({.bits = 12}, Bytes(24, 0)), "Only 8, 16, 24 and 32 bit input files supported "},  // after the output was made
      {make_wav({.bits = 0}, Bytes(24, 0)), "Only 8, 16, 24 and 32 bit input files supported "},  // not a division by zero
      {make_aiff({.sampleRate = HUGE_VAL}, Bytes(8, 0)), "fatal error during initialization"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    write_file(*host.input, c.input);
    write_file(*host.output, {'k', 'e', 'e', 'p'});
    const auto result = SaveToMp3File(host, console);
    EXPECT_EQ(result.outcome, SaveOutcome::failed);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(host.messages.back(), c.message);
    EXPECT_EQ(read_file(*host.output), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in", "out.mp3"}));
  }
  EXPECT_NE(err.text().find("\nMPEG-1   layer III sample frequencies (kHz):  32  48  44.1\n"
                            "bitrates (kbps): 32 40 48 56 64 80 96 112 128 160 192 224 256 320\n"
                            "\nMPEG-2   layer III sample frequencies (kHz):  16  24  22.05\n"
                            "bitrates (kbps):  8 16 24 32 40 48 56 64 80 96 112 128 144 160\n"
                            "\nMPEG-2.5 layer III sample frequencies (kHz):   8  12  11.025\n"
                            "bitrates (kbps):  8 16 24 32 40 48 56 64 80 96 112 128 144 160\n\n"),
            std::string::npos)
      << "the bitrate table: " << err.text();
  EXPECT_EQ(out.text(), "");
}

}  // namespace
}  // namespace tunekiln::test
