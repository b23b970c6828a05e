// Save to MP3 as the window and the command line run it: the files it writes, how they sound
// when the player's own decoder plays them back, and how it ends. The reader's test has every
// input format's exact samples; these cases are the ways to the encoder.
#include "encoder/save_to_mp3.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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
class SaveToMp3 : public ::testing::Test, public ScriptedHost {
 protected:
  SaveToMp3() {
    console.err = console.out = err.file;
    input = dir.file("in.wav");
    output = dir.file("out.mp3");
  }
  SaveToMp3Result save(const Bytes& bytes, std::function<void()> change = {}, const Mp3Settings& tags = {}) {
    write_file(*input, bytes);
    change_ = std::move(change);
    return SaveToMp3File(*this, console, tags);
  }
  void encodeProgress(int) override {
    if (change_) std::exchange(change_, nullptr)();
  }

  // Outlives the streams that use its buffer.
  EncoderConsole console;
  CapturedStream err;
  TempDir dir;
  std::function<void()> change_;
};

// The float path: the integers' is the command line's test's, whose plain MP3 has known bytes.
TEST_F(SaveToMp3, FloatsComeBackAsTheirTone) {
  const WavShape floats{.bits = 32, .formatTag = 3};
  std::vector<double> reals;
  for (const std::int16_t sample : make_tone({})) reals.push_back(sample / 32768.0);
  // An input removed once the encoding has begun is read to its end all the same.
  const auto remove = [&] { std::filesystem::remove(*input); };
  ASSERT_EQ(save(make_wav(floats, encode_samples(floats, reals)), remove).status, SaveToMp3Status::finished);
  // As the engine plays it, in blocks the size of its output's.
  Mp3Decoder decoder;
  ASSERT_TRUE(decoder.open(open_audio_file(*output)));
  const auto decoded = samples_of(decode_all(decoder).pcm);
  // The encoder's delay and padding add less than three frames of 1152 samples.
  EXPECT_NEAR(static_cast<long>(decoded.size()) / 2, 2 * 44100, 3 * 1152);
  for (int channel = 0; channel < 2; ++channel) {
    const auto measured = measure_tone(decoded, 2, channel, 44100, 2 * 1152);
    EXPECT_NEAR(measured.frequency, channel == 0 ? 440.0 : 660.0, 2.0);
    EXPECT_NEAR(measured.amplitude(), 0.5, 0.03);
  }
}

// Only an input that starts like no known kind of file is raw; any other it cannot read is refused.
TEST_F(SaveToMp3, RefusalsKeepTheOldFile) {
  using enum SaveToMp3Status;
  const Bytes wav = make_wav({}, Bytes(24));
  const struct {
    Bytes input;
    // Of the text or its reason.
    std::string word;
    SaveToMp3Status status = inputFailed;
    std::function<void()> change = {};
  } cases[] = {
      {Bytes{'O', 'g', 'g', 'S'} + Bytes(60), "Ogg"}, {id3v2_tag(100), "ID3v2"},
      {{'f', 'L', 'a', 'C', 0, 0, 0, 34}, "FLAC"}, {{}, "no audio"},
      {Bytes(wav.begin(), wav.begin() + 30), "damaged"}, {make_aiff({.channels = 3}, Bytes(24)), "3-channel"},
      {make_wav({.channels = 6}, Bytes(24)), "6-channel"},
      {make_aiff({.sampleSize = 12}, Bytes(8)), "12-bit"}, {make_aiff({.blockSize = 4}, Bytes(8)), "block"},
      {make_aiff({.formType = "AIFC", .compression = "ima4"}, Bytes(12)), "ima4"},
      {make_aiff({.sampleRate = 0.5}, Bytes(8)), "rate of 0.5 Hz"},
      // A chunk of size -8 would lead a walk back to itself for ever.
      {{'F', 'O', 'R', 'M', 0, 0, 0, 12, 'A', 'I', 'F', 'F', 'J', 'U', 'N', 'K', 255, 255, 255, 248},
       "damaged"},
      {make_aiff({.sampleRate = HUGE_VAL}, Bytes(8)), "initialization", settingsRefused},
      {make_wav({}, Bytes(800000)), "reading", inputFailed,
       [&] { std::filesystem::resize_file(*input, 500); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    write_file(*output, {'k', 'e', 'e', 'p'});
    const auto result = save(c.input, c.change);
    EXPECT_NE((result.text + " " + result.reason).find(c.word), std::string::npos) << result.reason;
    EXPECT_EQ(std::tuple(result.status, read_file(*output).size(), dir.entries().size()),
              std::tuple(c.status, 4u, 2u));
  }
}

// Tag texts longer than the library takes are cut after a whole character; the encoding goes on.
TEST_F(SaveToMp3, LongTagTextIsCut) {
  std::string clefs;
  // Four bytes each in UTF-16.
  for (int i = 0; i < 40000; ++i) clefs += "\U0001D11E";
  const std::string few(4096, 'a');
  const Mp3Settings settings{.tags = {.title = clefs, .artist = few, .album = few, .comment = few}};
  ASSERT_EQ(save(make_wav({}, Bytes(400)), {}, settings).status, SaveToMp3Status::finished) << err.text();
  // The text bytes of an ID3v2.3 frame, behind its encoding byte and byte order mark.
  const auto text_bytes = [mp3 = read_file(*output)](const std::string& id) {
    const auto at = std::search(mp3.begin(), mp3.end(), id.begin(), id.end()) + 4;
    return (std::size_t{at[0]} << 24 | std::size_t{at[1]} << 16 | std::size_t{at[2]} << 8 | at[3]) - 3;
  };
  const std::size_t title = text_bytes("TIT2");
  EXPECT_TRUE(title % 4 == 0 && title > 2 * few.size() && title < 4 * 40000) << title;
  EXPECT_EQ(text_bytes("TPE1"), 2 * few.size());
  EXPECT_NE(err.text().find("title"), std::string::npos);
}

}  // namespace
}  // namespace tunekiln::test
