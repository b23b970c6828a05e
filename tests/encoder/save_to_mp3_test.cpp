// Save to MP3 as the window and the command line run it: the files it writes, how they sound
// when the player's own decoder plays them back, and how it ends. The reader's test has every
// input format's exact samples; these cases are the ways to the encoder.
#include "encoder/save_to_mp3.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <functional>
#include <tuple>

#include "engine/mp3_decoder.h"
#include "tests/support/engine_doubles.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/run_program.h"
#include "tests/support/scripted_host.h"
#include "tests/support/tone_analyser.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

// The user of the window or the command line, whose answers are the test's, and who may change
// the input once the encoding has begun.
class SaveToMp3Test : public ::testing::Test, public ScriptedHost {
 protected:
  SaveToMp3Test() {
    console.err = err.get();
    console.out = out.get();
    input = dir.file("in.wav");
    output = dir.file("out.mp3");
  }
  SaveToMp3Result save(const Bytes& bytes, std::function<void()> change = {}) {
    write_file(*input, bytes);
    percents.clear();
    change_ = std::move(change);
    return SaveToMp3File(*this, console);
  }
  void encodeProgress(int percent) override {
    ScriptedHost::encodeProgress(percent);
    if (change_) std::exchange(change_, nullptr)();
  }

  EncoderConsole console;  // outlives the streams that use its buffer
  CapturedStream err, out;
  TempDir dir;
  std::function<void()> change_;
};

TEST_F(SaveToMp3Test, IntegersAndFloatsComeBackAsTheirToneAtTheirLengthBehindALameTag) {
  const ToneShape stereo, mono{.sampleRate = 48000, .channels = 1};
  Bytes floats;  // the mono tone as 32-bit floats
  for (const std::int16_t sample : make_tone(mono)) {
    const auto bits = std::bit_cast<std::uint32_t>(sample / 32768.0f);
    for (const int shift : {0, 8, 16, 24}) floats.push_back(static_cast<std::uint8_t>(bits >> shift));
  }
  const std::tuple<ToneShape, Bytes, std::function<void()>> cases[] = {
      // An input removed once the encoding has begun is read to its end all the same.
      {stereo, make_wav({}, little_endian_bytes(make_tone(stereo))), [&] { std::filesystem::remove(*input); }},
      {mono, make_wav({.channels = 1, .sampleRate = 48000, .bits = 32, .formatTag = 3}, floats), {}},
  };
  for (const auto& [tone, file, change] : cases) {
    SCOPED_TRACE(tone.sampleRate);
    const SaveToMp3Result result = save(file, change);
    ASSERT_EQ(std::pair(result.status, result.text), std::pair(SaveToMp3Status::finished, std::string("the Mp3 file changed ok!"))) << err.text();
    // The bar rises from 0 to the top.
    EXPECT_TRUE(percents.size() > 2 && percents.front() == 0 && percents.back() == 100 && std::ranges::is_sorted(percents));
    const Bytes mp3 = read_file(*output);
    const std::string start(mp3.begin(), mp3.begin() + 400);  // the first frame, which holds the tag
    EXPECT_TRUE(start.find("Info") != std::string::npos && start.find("LAME") != std::string::npos);

    Mp3Decoder decoder;  // as the engine plays it, in blocks the size of its output's
    ASSERT_TRUE(decoder.open(*output));
    EXPECT_EQ(std::pair(decoder.getInfo().sampleRate, decoder.getInfo().stereo + 1), std::pair(tone.sampleRate, tone.channels));
    const auto decoded = samples_of(decode_all(decoder).pcm);
    // The encoder's delay and padding add less than three frames of 1152 samples; the decoder
    // leaves out the last frame, so the length is the input's give or take that much.
    EXPECT_NEAR(static_cast<long>(decoded.size()) / tone.channels, 2 * tone.sampleRate, 3 * 1152);
    for (int channel = 0; channel < tone.channels; ++channel) {
      const auto measured = measure_tone(decoded, tone.channels, channel, tone.sampleRate, 2 * 1152);
      EXPECT_NEAR(measured.frequency, channel == 0 ? 440.0 : 660.0, 2.0);
      EXPECT_NEAR(measured.amplitude(), 0.5, 0.03);
    }
  }
  const Bytes again = read_file(*output);
  save(std::get<Bytes>(cases[1]));
  EXPECT_EQ(read_file(*output), again) << "each conversion starts afresh";
}

TEST_F(SaveToMp3Test, InputsItCannotEncodeOrThatAreCutShortFailWithTheReasonAndTheOldFileStays) {
  using enum SaveToMp3Status;
  const struct {
    Bytes input;
    std::string reason, text = "Unsupported data format";
    SaveToMp3Status status = inputFailed;
    std::function<void()> change = {};
  } cases[] = {
      {make_mp3({.tone = {.seconds = 0.2}}), "MP3 audio is not supported"},
      {id3v2_tag(100), "MP3 audio is not supported"},
      {{'f', 'L', 'a', 'C', 0, 0, 0, 34}, "FLAC audio is not supported"},
      {make_wav({.channels = 6}, Bytes(24)), "16-bit PCM in a 6-channel file is not supported", "Unsupported number of channels: 6d"},
      {make_wav({.bits = 12}, Bytes(24)), "12-bit PCM in a 2-channel file is not supported", "Only 8, 16, 24 and 32 bit input files supported "},
      {make_aiff({.formType = "AIFC", .compression = "ima4"}, Bytes(12)), "AIFC compression 'ima4' is not supported"},
      {make_aiff({.sampleRate = HUGE_VAL}, Bytes(8)), "", "fatal error during initialization", settingsRefused},
      {make_wav({}, ramp_bytes(200000)), "", "Error reading input file", inputFailed, [&] { std::filesystem::resize_file(*input, 50000); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + " " + c.reason);
    write_file(*output, {'k', 'e', 'e', 'p'});
    const auto result = save(c.input, c.change);
    EXPECT_EQ(std::tuple(result.status, result.text, result.reason, read_file(*output), dir.entries()),
              std::tuple(c.status, c.text, c.reason, Bytes{'k', 'e', 'e', 'p'}, std::vector<std::string>{"in.wav", "out.mp3"}));
  }
  // A cancelled dialog ends it with nothing opened and nothing said.
  const std::string said = err.text() + out.text();
  output.reset();
  EXPECT_EQ(SaveToMp3File(*this, console).status, SaveToMp3Status::cancelled);
  EXPECT_EQ(err.text() + out.text(), said);
}

}  // namespace
}  // namespace tunekiln::test
