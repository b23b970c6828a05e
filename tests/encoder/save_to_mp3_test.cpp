// Save to MP3 as the window and the command line run it: the files it writes, how they sound
// when the player's own decoder plays them back, what it tells the user and the console.
#include "encoder/save_to_mp3.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "audiofile/pcm_samples.h"

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

// A tone of 440 Hz on the left and 660 Hz on the right at half of full scale, as `encoding`
// stores it, little-endian unless `bigEndian`.
Bytes tone_in(SampleEncoding encoding, int channels, int sampleRate, double seconds, bool bigEndian = false) {
  const std::uint32_t width = bytes_per_sample(encoding);
  const auto frames = static_cast<std::size_t>(seconds * sampleRate);
  Bytes out(frames * static_cast<std::size_t>(channels) * width);
  std::uint8_t* sample = out.data();
  for (std::size_t i = 0; i < frames; ++i) {
    for (int channel = 0; channel < channels; ++channel, sample += width) {
      const double value = 0.5 * std::sin(2 * M_PI * (channel == 0 ? 440.0 : 660.0) * static_cast<double>(i) / sampleRate);
      if (encoding == SampleEncoding::float32 || encoding == SampleEncoding::float64) {
        pcm::store_float(sample, encoding, value);
      } else {
        pcm::store_integer(sample, encoding, std::lround(value * static_cast<double>(pcm::integer_max(encoding) + 1)));
      }
      if (bigEndian) std::reverse(sample, sample + width);
    }
  }
  return out;
}

TEST_F(SaveToMp3Test, EveryFormatComesBackAsItsToneAtItsLengthBehindALameTag) {
  using enum SampleEncoding;
  const Bytes title = make_info_list({{"INAM", "Canada day"}});
  const struct {
    const char* name;
    Bytes file;
    int channels, sampleRate, kbps;  // kbps 0: any constant rate
  } cases[] = {
      {"16-bit", tone_wav(2, 44100, 2), 2, 44100, 128},
      {"16-bit mono", tone_wav(1, 48000, 2), 1, 48000, 0},
      {"16-bit at 22050 Hz", tone_wav(2, 22050, 2), 2, 22050, 0},
      {"8-bit", make_wav({.sampleRate = 22050, .bits = 8}, tone_in(unsigned8, 2, 22050, 2)), 2, 22050, 0},
      {"24-bit", make_wav({.bits = 24}, tone_in(signed24, 2, 44100, 2)), 2, 44100, 128},
      {"32-bit", make_wav({.bits = 32}, tone_in(signed32, 2, 44100, 2)), 2, 44100, 128},
      {"float32", make_wav({.bits = 32, .formatTag = 3}, tone_in(float32, 2, 44100, 2)), 2, 44100, 128},
      {"float64 mono", make_wav({.channels = 1, .sampleRate = 48000, .bits = 64, .formatTag = 3}, tone_in(float64, 1, 48000, 2)), 1, 48000, 0},
      {"extensible 24-bit", make_wav({.bits = 24, .extensible = true}, tone_in(signed24, 2, 44100, 2)), 2, 44100, 128},
      {"RF64", make_wav({.rf64 = true}, tone_in(signed16, 2, 44100, 2)), 2, 44100, 128},
      {"LIST before data", make_wav({.chunksBeforeData = title}, tone_in(signed16, 2, 44100, 2)), 2, 44100, 128},
      {"AIFC fl32", make_aiff({.formType = "AIFC", .compression = "fl32", .sampleSize = 32}, tone_in(float32, 2, 44100, 2, true)), 2, 44100, 128},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(save(c.file).outcome, SaveOutcome::finished) << err.text();
    EXPECT_EQ(host.messages.back(), "the Mp3 file changed ok!");
    EXPECT_TRUE(out.text().ends_with("Writing LAME Tag...done\n"));
    EXPECT_TRUE(err.text().ends_with(" \n"));
    EXPECT_EQ(read_file(inputPath), c.file);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.mp3"}));

    // Constant bitrate throughout, joint stereo or mono; the first frame holds the LAME Tag:
    // "Info" behind the side information, then "LAME".
    const bool mpeg1 = c.sampleRate >= 32000;
    const Bytes file = read_file(outputPath);
    const auto frames = mpeg_frames(file);
    ASSERT_GT(frames.size(), 2u * c.sampleRate / (mpeg1 ? 1152 : 576));
    for (const auto& frame : frames) {
      EXPECT_EQ(frame.kbps, c.kbps ? c.kbps : frames[0].kbps);
      EXPECT_EQ(file[frame.offset + 3] >> 6, c.channels == 2 ? 1 : 3);
    }
    const std::size_t sideInfoBytes = mpeg1 == (c.channels == 2) ? (mpeg1 ? 32 : 9) : 17;
    const std::string first(file.begin() + 4 + static_cast<std::ptrdiff_t>(sideInfoBytes), file.begin() + 200);
    EXPECT_TRUE(first.starts_with("Info") && first.find("LAME") != std::string::npos);

    StreamInfo info{};
    const auto decoded = decode_all(outputPath, info);
    EXPECT_EQ(info.sampleRate, c.sampleRate);
    EXPECT_EQ(info.stereo + 1, c.channels);
    // The encoder's delay and padding add less than three frames of 1152 samples; the decoder
    // leaves out the last frame, so the length is the input's give or take that much.
    EXPECT_NEAR(static_cast<long>(decoded.size()) / c.channels, 2 * c.sampleRate, 3 * 1152);
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

TEST_F(SaveToMp3Test, InputsItCannotEncodeAreRefusedAndTheOldFileStays) {
  Bytes taggedMp3 = id3v2_tag(100);
  const Bytes mp3 = make_mp3({.tone = {.seconds = 0.2}});
  taggedMp3.insert(taggedMp3.end(), mp3.begin(), mp3.end());
  const std::string unsupported = "Unsupported data format";
  const std::string width = "Only 8, 16, 24 and 32 bit input files supported ";
  const struct {
    Bytes input;
    std::string message;  // shown without the console's line break
    std::string reason;
  } cases[] = {
      {mp3, unsupported, "MP3 audio is not supported"},
      {taggedMp3, unsupported, "MP3 audio is not supported"},
      {{'f', 'L', 'a', 'C', 0, 0, 0, 34}, unsupported, "FLAC audio is not supported"},
      {{'O', 'g', 'g', 'S', 0, 2, 0, 0}, unsupported, "Ogg audio is not supported"},
      {make_wav({.bits = 4, .formatTag = 0x11}, Bytes(24, 0)), unsupported, "IMA ADPCM in a 2-channel file is not supported"},
      {make_wav({.channels = 1, .bits = 8, .formatTag = 6}, Bytes(24, 0)), unsupported, "A-law in a 1-channel file is not supported"},
      {make_wav({.channels = 6}, Bytes(24, 0)), "Unsupported number of channels: 6d", "16-bit PCM in a 6-channel file is not supported"},
      {make_wav({.bits = 12}, Bytes(24, 0)), width, "12-bit PCM in a 2-channel file is not supported"},
      {make_wav({.bits = 0}, Bytes(24, 0)), width, "0-bit PCM in a 2-channel file is not supported"},
      {make_aiff({.formType = "AIFC", .compression = "ima4"}, Bytes(12, 0)), unsupported, "AIFC compression 'ima4' is not supported"},
      {make_aiff({.sampleRate = HUGE_VAL}, Bytes(8, 0)), "fatal error during initialization", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message + " " + c.reason);
    write_file(outputPath, {'k', 'e', 'e', 'p'});
    const auto result = save(c.input);
    EXPECT_EQ(result.outcome, SaveOutcome::failed);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.reason, c.reason);
    EXPECT_EQ(host.messages.back(), c.message);
    EXPECT_EQ(read_file(outputPath), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.mp3"}));
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

  write_file(inputPath, {'f', 'L', 'a', 'C', 0, 0, 0, 34});
  const auto refused = run_program({TUNEKILN_CLI, "encode", inputPath, outputPath});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "Unsupported data format\n" + inputPath + ": FLAC audio is not supported\n");

  write_file(inputPath, tone_wav(2, 44100, 1));
  const auto shown = run_on_terminal({TUNEKILN_CLI, "encode", inputPath, outputPath});
  EXPECT_EQ(shown.status, 0);
  EXPECT_NE(shown.out.find("\r    0:0"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("the Mp3 file changed ok!"), std::string::npos);
}

}  // namespace
}  // namespace tunekiln::test
