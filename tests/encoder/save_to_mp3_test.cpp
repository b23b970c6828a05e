// Save to MP3 as the window and the command line run it: the files it writes, how they sound
// when the player's own decoder plays them back, and how it ends. The reader's test has every
// input format's exact samples; these cases are the ways to the encoder.
#include "encoder/save_to_mp3.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>

#include "engine/mp3_decoder.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/run_program.h"
#include "tests/support/scripted_host.h"
#include "tests/support/tone_analyser.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

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

TEST_F(SaveToMp3Test, IntegersAndFloatsComeBackAsTheirToneAtTheirLengthBehindALameTag) {
  const ToneShape stereo, low{.sampleRate = 22050}, mono{.sampleRate = 48000, .channels = 1};
  const auto monoTone = make_tone(mono);
  Bytes floats(4 * monoTone.size());
  for (std::size_t i = 0; i < monoTone.size(); ++i) {
    const auto bits = std::bit_cast<std::uint32_t>(monoTone[i] / 32768.0f);
    for (int b = 0; b < 4; ++b) floats[4 * i + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(bits >> 8 * b);
  }
  const struct {
    ToneShape tone;
    Bytes file;
    int kbps;  // 0: any constant rate
  } cases[] = {
      {stereo, make_wav({}, little_endian_bytes(make_tone(stereo))), 128},
      {low, make_wav({.sampleRate = 22050}, little_endian_bytes(make_tone(low))), 0},
      {mono, make_wav({.channels = 1, .sampleRate = 48000, .bits = 32, .formatTag = 3}, floats), 0},
  };
  for (const auto& [tone, file, kbps] : cases) {
    SCOPED_TRACE(tone.sampleRate);
    const SaveToMp3Result result = save(file);
    ASSERT_EQ(result.status, SaveToMp3Status::finished) << err.text();
    EXPECT_EQ(result.text, "the Mp3 file changed ok!");
    EXPECT_TRUE(out.text().ends_with("Writing LAME Tag...done\n"));
    EXPECT_TRUE(err.text().ends_with(" \n"));
    EXPECT_EQ(read_file(inputPath), file);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.mp3"}));

    // Constant bitrate throughout, joint stereo or mono; the first frame holds the LAME Tag.
    const Bytes mp3 = read_file(outputPath);
    const auto frames = mpeg_frames(mp3);
    ASSERT_GT(frames.size(), 2u * static_cast<unsigned>(tone.sampleRate) / (tone.sampleRate >= 32000 ? 1152 : 576));
    for (const auto& frame : frames) {
      EXPECT_EQ(frame.kbps, kbps ? kbps : frames[0].kbps);
      EXPECT_EQ(mp3[frame.offset + 3] >> 6, tone.channels == 2 ? 1 : 3);
    }
    const std::string first(mp3.begin(), mp3.begin() + static_cast<std::ptrdiff_t>(frames[1].offset));
    EXPECT_TRUE(first.find("Info") != std::string::npos && first.find("LAME") != std::string::npos);

    StreamInfo info{};
    const auto decoded = decode_all(outputPath, info);
    EXPECT_EQ(info.sampleRate, tone.sampleRate);
    EXPECT_EQ(info.stereo + 1, tone.channels);
    // The encoder's delay and padding add less than three frames of 1152 samples; the decoder
    // leaves out the last frame, so the length is the input's give or take that much.
    EXPECT_NEAR(static_cast<long>(decoded.size()) / tone.channels, 2 * tone.sampleRate, 3 * 1152);
    for (int channel = 0; channel < tone.channels; ++channel) {
      const auto measured = measure_tone(decoded, tone.channels, channel, tone.sampleRate, 2 * 1152);
      EXPECT_NEAR(measured.frequency, channel == 0 ? 440.0 : 660.0, 2.0) << "channel " << channel;
      EXPECT_NEAR(measured.amplitude(), 0.5, 0.03) << "channel " << channel;
    }
  }
  const Bytes again = read_file(outputPath);
  save(cases[2].file);
  EXPECT_EQ(read_file(outputPath), again) << "each conversion starts afresh";
}

TEST_F(SaveToMp3Test, InputsItCannotEncodeAreRefusedWithTheReasonAndTheOldFileStays) {
  Bytes taggedMp3 = id3v2_tag(100);
  const Bytes mp3 = make_mp3({.tone = {.seconds = 0.2}});
  taggedMp3.insert(taggedMp3.end(), mp3.begin(), mp3.end());
  const std::string unsupported = "Unsupported data format";
  using enum SaveToMp3Status;
  const struct {
    Bytes input;
    SaveToMp3Status status;
    std::string text, reason;
  } cases[] = {
      {mp3, inputFailed, unsupported, "MP3 audio is not supported"},
      {taggedMp3, inputFailed, unsupported, "MP3 audio is not supported"},
      {id3v2_tag(100), inputFailed, unsupported, "MP3 audio is not supported"},
      {{'f', 'L', 'a', 'C', 0, 0, 0, 34}, inputFailed, unsupported, "FLAC audio is not supported"},
      {{'O', 'g', 'g', 'S', 0, 2, 0, 0}, inputFailed, unsupported, "Ogg audio is not supported"},
      {make_wav({.bits = 4, .formatTag = 0x11}, Bytes(24)), inputFailed, unsupported, "IMA ADPCM in a 2-channel file is not supported"},
      {make_wav({.channels = 6}, Bytes(24)), inputFailed, "Unsupported number of channels: 6d", "16-bit PCM in a 6-channel file is not supported"},
      {make_wav({.bits = 12}, Bytes(24)), inputFailed, "Only 8, 16, 24 and 32 bit input files supported ", "12-bit PCM in a 2-channel file is not supported"},
      {make_aiff({.formType = "AIFC", .compression = "ima4"}, Bytes(12)), inputFailed, unsupported, "AIFC compression 'ima4' is not supported"},
      {make_aiff({.sampleRate = HUGE_VAL}, Bytes(8)), settingsRefused, "fatal error during initialization", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + " " + c.reason);
    write_file(outputPath, {'k', 'e', 'e', 'p'});
    const auto result = save(c.input);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.text, c.text);
    EXPECT_EQ(result.reason, c.reason);
    EXPECT_EQ(read_file(outputPath), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.mp3"}));
  }
}

TEST_F(SaveToMp3Test, ProgressRisesFromZeroToTheTopAndCancelledDialogsOpenNothing) {
  save(make_wav({}, ramp_bytes(44100 * 3)));  // over 100 frames
  ASSERT_GE(host.percents.size(), 3u);
  EXPECT_EQ(host.percents.front(), 0);
  EXPECT_TRUE(std::is_sorted(host.percents.begin(), host.percents.end()));
  EXPECT_EQ(host.percents.back(), 100);
  host.percents.clear();
  EXPECT_EQ(save(make_wav({}, {})).status, SaveToMp3Status::finished);
  EXPECT_EQ(host.percents, (std::vector<int>{0, 100})) << "an empty input is read once";

  std::filesystem::remove(outputPath);
  const std::string shown = err.text() + out.text();
  host.dialogsShown.clear();
  host.input.reset();
  EXPECT_EQ(SaveToMp3File(host, console).status, SaveToMp3Status::cancelled);
  host.input = inputPath;
  host.output.reset();
  EXPECT_EQ(SaveToMp3File(host, console).status, SaveToMp3Status::cancelled);
  ASSERT_EQ(host.dialogsShown.size(), 3u);
  EXPECT_EQ(host.dialogsShown[1].filter, "Wav File(*.wav)|*.wav||");
  EXPECT_EQ(host.dialogsShown[2].filter, "Mp3 File(*.mp3)|*.mp3||");
  EXPECT_EQ(err.text() + out.text(), shown);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.wav"});
}

}  // namespace
}  // namespace tunekiln::test
