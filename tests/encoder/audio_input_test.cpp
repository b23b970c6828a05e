// The audio input reader on files the tests write: what it tells the encoder, the values it
// delivers, how it falls back to raw input, and how a read or close failure comes back.
#include "encoder/audio_input.h"

#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <utility>

#include "audiofile/pcm_samples.h"
#include "encoder/byte_source.h"
#include "tests/support/run_program.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

using Values = std::vector<std::int32_t>;
using Reals = std::vector<float>;

struct Reading {
  InputType type = INPUT_UNKNOWN;
  int channels = 0;
  int rate = 0;
  unsigned long count = 0;
  Values left, right;
  Reals realLeft, realRight;
  std::string messages;
  std::optional<InputFailure> failure;
};

struct LameCloser {
  void operator()(lame_global_flags* encoder) const { lame_close(encoder); }
};

// An input that cannot seek, as a pipe; its reads fail behind its first `goodBytes`, and it
// cannot be closed.
class PipeSource final : public ByteSource {
 public:
  PipeSource(const Bytes& bytes, std::size_t goodBytes) : good_(std::span(bytes).first(goodBytes)), whole_(goodBytes == bytes.size()) {}
  std::size_t read(void* buffer, std::size_t count) override {
    const std::size_t got = good_.read(buffer, count);
    failed_ = failed_ || (got < count && !whole_);
    return got;
  }
  bool seek(std::int64_t, SeekOrigin) override { return false; }
  bool failed() const override { return failed_; }
  bool close() override { return false; }

 private:
  MemoryByteSource good_;
  bool whole_;
  bool failed_ = false;
};

class AudioInputTest : public ::testing::Test {
 protected:
  // Each file with a fresh encoder, as each conversion has.
  Reading read(const Bytes& file) {
    write_file(path, file);
    encoder.reset(lame_init());
    messages = std::make_unique<CapturedStream>();
    AudioInput input{.messages = messages->get()};
    return read_all(input, open_audio_input(input, encoder.get(), path));
  }
  Reading read_pipe(const Bytes& file, std::size_t goodBytes) {
    encoder.reset(lame_init());
    messages = std::make_unique<CapturedStream>();
    AudioInput input{.messages = messages->get()};
    return read_all(input, attach_audio_input(input, encoder.get(), std::make_unique<PipeSource>(file, goodBytes), -1));
  }
  Reading read_all(AudioInput& input, bool opened) {
    Reading r{input.inputType, lame_get_num_channels(encoder.get()), lame_get_in_samplerate(encoder.get()),
              lame_get_num_samples(encoder.get())};
    if (opened && lame_init_params(encoder.get()) >= 0) {
      FrameSamples frame;
      for (std::optional<std::size_t> n; (n = read_audio_frame(input, encoder.get(), frame)) && *n > 0;) {
        const auto end = static_cast<std::ptrdiff_t>(*n);
        if (input.realSamples()) {
          r.realLeft.insert(r.realLeft.end(), frame.realLeft.begin(), frame.realLeft.begin() + end);
          r.realRight.insert(r.realRight.end(), frame.realRight.begin(), frame.realRight.begin() + end);
        } else {
          r.left.insert(r.left.end(), frame.left.begin(), frame.left.begin() + end);
          r.right.insert(r.right.end(), frame.right.begin(), frame.right.begin() + end);
        }
      }
    }
    r.messages = messages->text();
    r.failure = input.failure;
    return r;
  }

  TempDir dir;
  std::string path = dir.file("input");
  std::unique_ptr<CapturedStream> messages = std::make_unique<CapturedStream>();  // each read's own
  std::unique_ptr<lame_global_flags, LameCloser> encoder{lame_init()};
};

constexpr std::int32_t kHigh(std::int32_t sample16) { return sample16 * 65536; }
constexpr const char* kRawNotice = "Assuming raw pcm input file\n";

Bytes data_before_format() {
  const Bytes wav = make_wav({}, {});
  Bytes file{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
  for (const Bytes& chunk : {make_chunk("data", samples16({1, 2})), make_chunk("fmt ", Bytes(wav.begin() + 20, wav.begin() + 36))}) {
    file.insert(file.end(), chunk.begin(), chunk.end());
  }
  return file;
}

TEST_F(AudioInputTest, WaveSamplesOfEveryWidthArriveInTheHighBits) {
  const Bytes list = make_info_list({{"INAM", "Canada day"}});
  const struct {
    Bytes file;
    int channels, rate;
    unsigned long count;
    Values left, right;
  } cases[] = {
      {make_wav({.channels = 1, .bits = 8}, {0x80, 0x00, 0xFF}), 1, 44100, 3,
       {0x007F0000, static_cast<std::int32_t>(0x807F0000), 0x7F7F0000}, {0, 0, 0}},
      {make_wav({.bits = 16}, samples16({1, -2, 300, 4})), 2, 44100, 2, {kHigh(1), kHigh(300)}, {kHigh(-2), kHigh(4)}},
      {make_wav({.channels = 1, .bits = 24}, {0x56, 0x34, 0x12}), 1, 44100, 1, {0x12345600}, {0}},
      {make_wav({.channels = 1, .bits = 32}, {0x78, 0x56, 0x34, 0xF2}), 1, 44100, 1, {static_cast<std::int32_t>(0xF2345678)}, {0}},
      {data_before_format(), 2, 44100, 1, {kHigh(1)}, {kHigh(2)}},
      // Chunks around the samples are skipped, a title holding "da" among them.
      {make_wav({.sampleRate = 22050, .extensionSizeField = true, .chunksBeforeData = list, .bytesAfterData = list},
                samples16({1, 2, 3, 4})), 2, 22050, 2, {kHigh(1), kHigh(3)}, {kHigh(2), kHigh(4)}},
      // An unknown length, or one past the end, is what the file holds; a value without its
      // partner is dropped.
      {make_wav({.declaredDataSize = 0}, samples16({1, 2, 3, 4})), 2, 44100, 2, {kHigh(1), kHigh(3)}, {kHigh(2), kHigh(4)}},
      {make_wav({.declaredDataSize = 32}, samples16({1, 2, 3, 4, 5})), 2, 44100, 2, {kHigh(1), kHigh(3)}, {kHigh(2), kHigh(4)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    const Reading r = read(c.file);
    EXPECT_EQ(r.type, INPUT_WAVE);
    EXPECT_EQ(r.channels, c.channels);
    EXPECT_EQ(r.rate, c.rate);
    EXPECT_EQ(r.count, c.count);
    EXPECT_EQ(r.left, c.left);
    EXPECT_EQ(r.right, c.right);
    EXPECT_EQ(r.messages, "");
  }
}

Bytes reals(SampleEncoding encoding, std::initializer_list<double> values) {
  Bytes out(values.size() * bytes_per_sample(encoding));
  std::uint8_t* at = out.data();
  for (const double value : values) pcm::store_float(std::exchange(at, at + bytes_per_sample(encoding)), encoding, value);
  return out;
}

TEST_F(AudioInputTest, FloatSamplesArriveAsRealsOncePerFrameWithinWhatTheEncoderTakes) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    Bytes file;
    Reals left, right;
  } cases[] = {
      {make_wav({.bits = 32, .formatTag = 3}, reals(SampleEncoding::float32, {0.5, -0.25, 3.0, nan})), {0.5f, 1.5f}, {-0.25f, 0}},
      {make_wav({.channels = 1, .bits = 64, .formatTag = 3}, reals(SampleEncoding::float64, {0.25, -2.0})), {0.25f, -1.5f}, {0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    const Reading r = read(c.file);
    EXPECT_EQ(r.count, c.left.size()) << "a frame is counted once, whatever its width";
    EXPECT_EQ(r.realLeft, c.left);
    EXPECT_EQ(r.realRight, c.right);
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
      {{.soundBeforeCommon = true}, big},
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

TEST_F(AudioInputTest, RefusedHeadersAndUnknownFilesAreReadAsRawBigEndianStereoAt44100) {
  const std::string wave = "Warning: corrupt or unsupported WAVE format\n";
  Bytes noData = make_wav({}, {});
  noData.resize(36);  // the format chunk, and nothing behind it
  const struct {
    Bytes file;
    std::string message;
    std::int32_t first;  // the header read as big-endian samples: "RI" or "FO"
  } cases[] = {
      {noData, wave, kHigh(0x5249)},
      {{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}, wave, kHigh(0x5249)},
      {make_aiff({.sampleSize = 8}, Bytes(12, 0)), "Sound data is not 16 bits in 'name'\n", kHigh(0x464F)},
      {make_aiff({.formType = "AIFC", .compression = "fl32", .sampleSize = 64}, Bytes(16, 0)),
       "Sound data is not 32 bits in 'name'\n", kHigh(0x464F)},
      {make_aiff({.channels = 3}, Bytes(12, 0)), "Sound data is not mono or stereo in 'name'\n", kHigh(0x464F)},
      // A refused "sowt" header leaves raw input big-endian.
      {make_aiff({.formType = "AIFC", .compression = "sowt", .blockSize = 4}, Bytes(12, 0)),
       "Block size is not 0 bytes in 'name'\n", kHigh(0x464F)},
      // A chunk of size -8 would lead a walk back to itself for ever.
      {{'F', 'O', 'R', 'M', 0x7F, 0xFF, 0xFF, 0xFF, 'A', 'I', 'F', 'F', 'J', 'U', 'N', 'K', 0xFF, 0xFF, 0xFF, 0xF8}, "",
       kHigh(0x464F)},
      {{0x12, 0x34, 0, 1, 5, 6}, "", 0x12340000},  // the truncated second frame is dropped
      {{0xFF, 0xFB, 0x90, 0x00, 0, 0, 0, 0}, "", kHigh(-5)},  // a frame sync with no second frame behind it
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
}

TEST_F(AudioInputTest, AHeaderIsReadFromAnInputThatCannotSeekAsFromAFile) {
  // The chunk in front of the data is larger than what the reader keeps in memory.
  const Bytes padding = make_chunk("JUNK", Bytes(3 << 20, 'd'));
  const Bytes samples = ramp_bytes(4 * 3000);
  for (const Bytes& file : {make_wav({.chunksBeforeData = padding}, samples), make_wav({.bits = 32, .formatTag = 3}, Bytes(8)),
                            make_aiff({.formType = "AIFC", .compression = "sowt"}, samples), samples}) {
    const Reading fromFile = read(file);
    const Reading fromPipe = read_pipe(file, file.size());
    EXPECT_EQ(fromPipe.type, fromFile.type);
    EXPECT_EQ(fromPipe.left, fromFile.left);
    EXPECT_EQ(fromPipe.right, fromFile.right);
    EXPECT_EQ(fromPipe.realLeft, fromFile.realLeft);
    EXPECT_FALSE(fromPipe.failure);
  }
}

TEST_F(AudioInputTest, ReadAndCloseFailuresComeBackWithTheirStatus) {
  const Bytes wav = make_wav({.chunksBeforeData = make_chunk("LIST", Bytes(40))}, Bytes(400, 0));
  for (const std::size_t goodBytes : {std::size_t{30}, std::size_t{40 + 44 + 100}}) {
    const Reading r = read_pipe(wav, goodBytes);
    EXPECT_TRUE(r.left.empty());
    ASSERT_TRUE(r.failure);
    EXPECT_EQ(r.failure->text, "Error reading input file\n");
    EXPECT_EQ(r.failure->exitStatus, 1);
  }

  AudioInput input{.messages = messages->get()};
  ASSERT_TRUE(attach_audio_input(input, encoder.get(), std::make_unique<PipeSource>(wav, wav.size()), -1));
  EXPECT_FALSE(close_audio_input(input));
  EXPECT_EQ(input.failure->text, "Could not close audio input file\n");
  EXPECT_EQ(input.failure->exitStatus, 2);
}

}  // namespace
}  // namespace tunekiln::test
