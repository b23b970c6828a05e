// Save to MP3 as the window and the command line run it: the files it writes, how they sound
// when the player's own decoder plays them back, what it tells the user and the console.
#include "encoder/save_to_mp3.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "encoder/activity_mode.h"
#include "engine/mp3_decoder.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/run_program.h"
#include "tests/support/scripted_host.h"
#include "tests/support/tone_analyser.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

Bytes tone_wav(int channels, int sampleRate, double seconds) {
  return make_wav({.channels = static_cast<std::uint16_t>(channels), .sampleRate = static_cast<std::uint32_t>(sampleRate)},
                  little_endian_bytes(make_tone({.sampleRate = sampleRate, .channels = channels, .seconds = seconds})));
}

// Decodes the whole file as the engine would, in blocks the size of its output's.
std::vector<std::int16_t> decode_all(const std::string& path, StreamInfo& info) {
  Mp3Decoder decoder;
  EXPECT_TRUE(decoder.open(path));
  info = decoder.getInfo();
  Bytes pcm, block(32768);
  for (bool more = true; more;) {
    std::size_t size = block.size();
    more = decoder.read(block.data(), size) == ReadResult::more;
    pcm.insert(pcm.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(size));
  }
  return samples_of(pcm);
}

class SaveToMp3Test : public ::testing::Test {
 protected:
  SaveToMp3Test() {
    console.err = err.get();
    console.out = out.get();
    host.input = inputPath;
    host.output = outputPath;
  }
  SaveToMp3Result save(const Bytes& input) {
    write_file(inputPath, input);
    return SaveToMp3File(host, console);
  }

  EncoderConsole console;  // outlives the streams that use its buffer
  CapturedStream err, out;
  TempDir dir;
  ScriptedHost host;
  std::string inputPath = dir.file("in.wav");
  std::string outputPath = dir.file("out.mp3");
};

TEST_F(SaveToMp3Test, ToneComesBackWithItsFrequencyLevelAndLengthBehindALameTag) {
  const struct {
    int channels, sampleRate, kbps, mode;  // kbps 0: any constant rate; mode: 1 joint stereo, 3 mono
    std::size_t sideInfoBytes;
  } cases[] = {{2, 44100, 128, 1, 32}, {1, 48000, 0, 3, 17}, {2, 22050, 0, 1, 17}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.channels << " channels at " << c.sampleRate);
    const Bytes input = tone_wav(c.channels, c.sampleRate, 3);
    ASSERT_EQ(save(input).outcome, SaveOutcome::finished) << err.text();
    EXPECT_EQ(host.messages.back(), "the Mp3 file changed ok!");
    EXPECT_TRUE(out.text().ends_with("Writing LAME Tag...done\n"));
    EXPECT_TRUE(err.text().ends_with(" \n"));
    EXPECT_EQ(read_file(inputPath), input);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.mp3"}));

    // Constant bitrate throughout; the first frame holds the LAME Tag: "Info" behind the side
    // information, then "LAME".
    const Bytes file = read_file(outputPath);
    const auto frames = mpeg_frames(file);
    ASSERT_GT(frames.size(), 3u * c.sampleRate / (c.sampleRate < 32000 ? 576 : 1152));
    for (const auto& frame : frames) {
      EXPECT_EQ(frame.kbps, c.kbps ? c.kbps : frames[0].kbps);
      EXPECT_EQ(file[frame.offset + 3] >> 6, c.mode);
    }
    const std::string first(file.begin() + 4 + static_cast<std::ptrdiff_t>(c.sideInfoBytes), file.begin() + 200);
    EXPECT_TRUE(first.starts_with("Info") && first.find("LAME") != std::string::npos);

    StreamInfo info{};
    const auto decoded = decode_all(outputPath, info);
    EXPECT_EQ(info.sampleRate, c.sampleRate);
    EXPECT_EQ(info.stereo, c.channels == 2 ? 1 : 0);
    EXPECT_EQ(info.lengthSeconds, 3);
    // The encoder's delay and padding add less than three frames of 1152 samples; the decoder
    // leaves out the last frame, so the length is the input's give or take that much.
    EXPECT_NEAR(static_cast<long>(decoded.size()) / c.channels, 3 * c.sampleRate, 3 * 1152);
    for (int channel = 0; channel < c.channels; ++channel) {
      const auto tone = measure_tone(decoded, c.channels, channel, c.sampleRate, 2 * 1152);
      EXPECT_NEAR(tone.frequency, channel == 0 ? 440.0 : 660.0, 2.0) << "channel " << channel;
      EXPECT_NEAR(tone.amplitude(), 0.5, 0.03) << "channel " << channel;
    }
  }
  save(tone_wav(2, 44100, 3));
  const Bytes again = read_file(outputPath);
  save(tone_wav(2, 44100, 3));
  EXPECT_EQ(read_file(outputPath), again) << "each conversion starts afresh";
}

TEST_F(SaveToMp3Test, ProgressStartsAtZeroMovesEveryFiftyFramesAndEndsAtTheTop) {
  save(tone_wav(2, 44100, 10));  // about 385 frames
  ASSERT_GE(host.percents.size(), 8u);
  EXPECT_EQ(host.percents.front(), 0);
  EXPECT_TRUE(std::is_sorted(host.percents.begin(), host.percents.end()));
  EXPECT_EQ(host.percents.back(), 100);

  host.percents.clear();
  EXPECT_EQ(save(make_wav({}, {})).outcome, SaveOutcome::finished);
  EXPECT_EQ(host.percents, (std::vector<int>{0, 100})) << "an empty input is read once";
}

TEST_F(SaveToMp3Test, CancelledDialogsOpenNothing) {
  write_file(inputPath, tone_wav(2, 44100, 0.01));
  activityMode = MODE_NONE;
  host.input.reset();
  EXPECT_EQ(SaveToMp3File(host, console).outcome, SaveOutcome::cancelled);
  EXPECT_EQ(activityMode, MODE_ENCODING) << "set before any dialog";
  host.input = inputPath;
  host.output.reset();
  EXPECT_EQ(SaveToMp3File(host, console).outcome, SaveOutcome::cancelled);
  ASSERT_EQ(host.dialogsShown.size(), 3u);
  EXPECT_EQ(host.dialogsShown[1].filter, "Wav File(*.wav)|*.wav||");
  EXPECT_EQ(host.dialogsShown[2].filter, "Mp3 File(*.mp3)|*.mp3||");
  EXPECT_EQ(err.text() + out.text(), "");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.wav"});
}

TEST_F(SaveToMp3Test, CommandPrintsTheStatusOnStandardErrorAndStartsEachLineAtColumnZeroOnATerminal) {
  write_file(inputPath, tone_wav(2, 44100, 1));
  const auto piped = run_program({TUNEKILN_CLI, "encode", inputPath, outputPath});
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.out, "Writing LAME Tag...done\nthe Mp3 file changed ok!\n");
  EXPECT_TRUE(piped.err.starts_with("    0:00/") && piped.err.ends_with(" \n")) << piped.err;
  EXPECT_EQ(piped.err.find('\r'), std::string::npos) << "no cursor return into a pipe";

  const auto shown = run_on_terminal({TUNEKILN_CLI, "encode", inputPath, outputPath});
  EXPECT_EQ(shown.status, 0);
  EXPECT_NE(shown.out.find("\r    0:0"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("the Mp3 file changed ok!"), std::string::npos);
}

}  // namespace
}  // namespace tunekiln::test
