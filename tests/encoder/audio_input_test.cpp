// The audio input reader on files the tests write: what it tells the encoder, the values it
// delivers, how it falls back to raw input, and how a read or close failure comes back.
#include "encoder/audio_input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <tuple>

#include "tests/support/run_program.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

using Values = std::vector<double>;
constexpr double kFull = 0x1p31;  // a float file's full scale among the integers

// Bytes whose reads fail behind the first `goodBytes`, and which cannot be closed.
class FailingSource final : public ByteSource {
 public:
  FailingSource(const Bytes& bytes, std::size_t goodBytes) : good_(std::span(bytes).first(goodBytes)) {}
  std::size_t read(void* buffer, std::size_t count) override {
    const std::size_t got = good_.read(buffer, count);
    failed_ = failed_ || got < count;
    return got;
  }
  bool seek(std::int64_t offset, SeekOrigin origin) override { return good_.seek(offset, origin); }
  bool failed() const override { return failed_; }
  bool close() override { return false; }

 private:
  MemoryByteSource good_;
  bool failed_ = false;
};

using Failure = std::pair<std::string, InputFailureKind>;

// What the reader told a fresh encoder, as each conversion has one, and delivered: integers,
// or a float file's reals at kFull (both channels interleaved, the right one of mono too); then
// the failures of the reading and of the close.
struct Reading {
  InputType type;
  int channels, rate;
  unsigned long count;
  Values values;
  std::string messages;
  std::vector<Failure> failures;
};

// Opens the file's bytes, whole or failing behind `goodBytes` (an input of unknown size), reads
// every frame and closes it.
Reading read(const Bytes& file, std::size_t goodBytes = 0) {
  const std::unique_ptr<lame_global_flags, decltype(&lame_close)> encoder(lame_init(), lame_close);
  const CapturedStream messages;
  AudioInput input{.messages = messages.get()};
  std::unique_ptr<ByteSource> source = std::make_unique<MemoryByteSource>(file);
  if (goodBytes > 0) source = std::make_unique<FailingSource>(file, goodBytes);
  const bool opened = attach_audio_input(input, encoder.get(), std::move(source), goodBytes ? -1 : static_cast<std::int32_t>(file.size()));
  Reading r{input.inputType, lame_get_num_channels(encoder.get()), lame_get_in_samplerate(encoder.get()), lame_get_num_samples(encoder.get())};
  FrameSamples f;
  const bool ready = opened && lame_init_params(encoder.get()) >= 0;
  for (std::optional<std::size_t> n; ready && (n = read_audio_frame(input, encoder.get(), f)) && *n > 0;) {
    const bool real = input.realSamples();
    for (std::size_t i = 0; i < *n; ++i) r.values.insert(r.values.end(), {real ? f.realLeft[i] * kFull : f.left[i], real ? f.realRight[i] * kFull : f.right[i]});
  }
  if (input.failure) r.failures.emplace_back(input.failure->text, input.failure->kind);
  if (!close_audio_input(input) && input.failure) r.failures.emplace_back(input.failure->text, input.failure->kind);
  r.messages = messages.text();
  return r;
}

constexpr std::int32_t kHigh(std::int32_t sample16) { return sample16 * 65536; }
constexpr std::int32_t kBits(std::uint32_t bits) { return static_cast<std::int32_t>(bits); }

TEST(AudioInput, EveryHeaderGivesItsPropertiesAndSamplesAndARefusedOneIsReadAsRawBigEndianStereo) {
  const Bytes aiff = {0x01, 0x02, 0xFF, 0xFE, 0x00, 0x10, 0x00, 0x20};
  const Values big{0x01020000, kBits(0xFFFE0000), kHigh(0x10), kHigh(0x20)}, ramp{kHigh(1), kHigh(2), kHigh(3), kHigh(4)};
  const Values form{kHigh(0x464F), kHigh(0x524D)};  // "FORM" read as samples
  const std::string raw = "Assuming raw pcm input file\n";
  const struct {
    Bytes file;
    InputType type;
    Values values;  // raw input: the first frame, the header read as samples ("RI" or "FO")
    std::string messages = "";
    int channels = 2, rate = 44100;
  } cases[] = {
      {make_wav({.channels = 1, .bits = 8}, {0x80, 0x00, 0xFF}), INPUT_WAVE, {0x007F0000, 0, kBits(0x807F0000), 0, 0x7F7F0000, 0}, "", 1},
      {make_wav({}, samples16({1, -2, 300, 4})), INPUT_WAVE, {kHigh(1), kHigh(-2), kHigh(300), kHigh(4)}},
      {make_wav({.channels = 1, .bits = 24}, {0x56, 0x34, 0x12}), INPUT_WAVE, {0x12345600, 0}, "", 1},
      {make_wav({.channels = 1, .bits = 32}, {0x78, 0x56, 0x34, 0xF2}), INPUT_WAVE, {kBits(0xF2345678), 0}, "", 1},
      // A chunk larger than the reader keeps in memory is skipped, and so is one behind the samples.
      {make_wav({.sampleRate = 22050, .chunksBeforeData = make_chunk("JUNK", Bytes(3 << 20, 'd')), .bytesAfterData = make_chunk("LIST", Bytes(8))},
                samples16({1, 2, 3, 4})), INPUT_WAVE, ramp, "", 2, 22050},
      // An unknown length is what the file holds.
      {make_wav({.declaredDataSize = 0}, samples16({1, 2, 3, 4})), INPUT_WAVE, ramp},
      // Floats keep what lies beyond full scale up to what the encoder takes; not-a-number is silence.
      // 0.5, -0.25, 3.0 and not-a-number; 0.25 and -2.0; big-endian 0.5 and -0.25.
      {make_wav({.bits = 32, .formatTag = 3}, {0, 0, 0, 0x3F, 0, 0, 0x80, 0xBE, 0, 0, 0x40, 0x40, 0, 0, 0xC0, 0x7F}), INPUT_WAVE, {0.5 * kFull, -0.25 * kFull, 1.5 * kFull, 0}},
      {make_wav({.channels = 1, .bits = 64, .formatTag = 3}, {0, 0, 0, 0, 0, 0, 0xD0, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0xC0}), INPUT_WAVE, {0.25 * kFull, 0, -1.5 * kFull, 0}, "", 1},
      {make_aiff({.formType = "AIFC", .compression = "fl32", .sampleSize = 32}, {0x3F, 0, 0, 0, 0xBE, 0x80, 0, 0}), INPUT_AIFF, {0.5 * kFull, -0.25 * kFull}},
      {make_aiff({.formType = "AIFC", .compression = "twos"}, aiff), INPUT_AIFF, big},
      {make_aiff({.channels = 1, .sampleRate = 8000, .soundBeforeCommon = true}, aiff), INPUT_AIFF, {big[0], 0, big[1], 0, big[2], 0, big[3], 0}, "", 1, 8000},
      {make_aiff({.formType = "AIFC", .compression = "sowt"}, aiff), INPUT_AIFF, {0x02010000, kBits(0xFEFF0000), kHigh(0x1000), kHigh(0x2000)}},
      {{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}, INPUT_RAW, {kHigh(0x5249), kHigh(0x4646)}, "Warning: corrupt or unsupported WAVE format\n" + raw},
      // A refused "sowt" header leaves raw input big-endian.
      {make_aiff({.formType = "AIFC", .compression = "sowt", .blockSize = 4}, Bytes(12)), INPUT_RAW, form, "Block size is not 0 bytes in 'name'\n" + raw},
      // A chunk of size -8 would lead a walk back to itself for ever.
      {{'F', 'O', 'R', 'M', 0x7F, 0xFF, 0xFF, 0xFF, 'A', 'I', 'F', 'F', 'J', 'U', 'N', 'K', 0xFF, 0xFF, 0xFF, 0xF8}, INPUT_RAW, form, raw},
      {{0xFF, 0xFB, 0x90, 0x00, 0, 0, 0, 0}, INPUT_RAW, {kHigh(-5), kHigh(-0x7000)}, raw},  // a frame sync, no second frame
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    const Reading r = read(c.file);
    // A frame counts once, whatever its width; raw input has 4 bytes a frame.
    const unsigned long frames = c.type == INPUT_RAW ? c.file.size() / 4 : c.values.size() / 2;
    EXPECT_EQ(std::tuple(r.type, r.channels, r.rate, r.messages, r.failures.size(), r.count, r.values.size()),
              std::tuple(c.type, c.channels, c.rate, c.messages, 0u, frames, 2 * frames));
    EXPECT_EQ(Values(r.values.begin(), r.values.begin() + std::min(r.values.size(), c.values.size())), c.values);
  }
}

TEST(AudioInput, AReadFailureInTheHeaderOrAmongTheSamplesAndACloseFailureComeBackWithTheirKind) {
  const Bytes wav = make_wav({.chunksBeforeData = make_chunk("LIST", Bytes(40))}, Bytes(400));
  const std::vector<Failure> failures{{"Error reading input file\n", InputFailureKind::unusable},
                                      {"Could not close audio input file\n", InputFailureKind::notClosed}};
  for (const std::size_t goodBytes : {30, 40 + 44 + 100}) EXPECT_EQ(read(wav, goodBytes).failures, failures) << goodBytes;
}

}  // namespace
}  // namespace tunekiln::test
