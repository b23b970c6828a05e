// tunekiln-cli decode and info, run as a user runs them: a real process, real files.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/dither.h"
#include "engine/mp3_decoder.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/run_program.h"
#include "tests/support/tone_analyser.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

class EngineCommands : public ::testing::Test {
 protected:
  ProgramResult cli(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), TUNEKILN_CLI);
    return run_program(arguments);
  }

  TempDir dir;
  std::string mp3 = dir.file("in.mp3");
  std::string out = dir.file("out.wav");
};

TEST_F(EngineCommands, DecodeWritesEverySampleTheDecoderGives) {
  write_file(mp3, make_mp3({.tone = {.seconds = 4.0}}));
  write_file(out, {'o', 'l', 'd'});
  const auto result = cli({"decode", mp3, out});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "") << "no progress line when standard error is not a terminal";

  // The same decoding in this process, from the same fresh dither states as a new process.
  Mp3Decoder decoder;
  ASSERT_TRUE(decoder.open(mp3));
  leftDitherState = rightDitherState = {};
  Bytes expected;
  Bytes block(32768);
  for (bool more = true; more;) {
    std::size_t size = block.size();
    more = decoder.read(block.data(), size);
    expected.insert(expected.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(size));
  }

  const Bytes file = read_file(out);
  ASSERT_EQ(file.size(), 46 + expected.size());
  EXPECT_EQ(le32(file, 4), expected.size() + 38);
  EXPECT_EQ(le32(file, 42), expected.size());
  EXPECT_EQ(le32(file, 24), 44100u);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + 46)) << "no block lost or repeated";
  EXPECT_NEAR(measure_tone(samples_of(file, 46), 2, 0, 44100, 4410).frequency, 440.0, 0.5);
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.mp3", "out.wav"}));
}

TEST_F(EngineCommands, DecodeOfAWavFileKeepsItsSamples) {
  const std::string wav = dir.file("in.wav");
  const Bytes samples = ramp_bytes(100001);
  write_file(wav, make_wav({.channels = 1, .sampleRate = 11025, .bits = 8}, samples));
  ASSERT_EQ(cli({"decode", wav, out}).status, 0);
  const Bytes file = read_file(out);
  EXPECT_EQ(Bytes(file.begin() + 46, file.end()), samples);
  EXPECT_EQ(le16(file, 34), 8u);
  EXPECT_EQ(le32(file, 42), 100001u);
}

TEST_F(EngineCommands, DecodeFailuresEndWithAMessageAndLeaveNoFile) {
  const std::string text = dir.file("notes.txt");
  write_file(text, Bytes(20000, 'x'));
  const struct {
    std::vector<std::string> arguments;
    const char* message;
  } cases[] = {
      {{"decode", text, out}, "can not recongnize this file format!\n"},
      {{"decode", dir.file("missing.mp3"), out}, "Open the input file error!\n"},
      {{"decode", text, text}, "Input file and Output file are the same!\n"},
  };
  for (const auto& c : cases) {
    const auto result = cli(c.arguments);
    EXPECT_EQ(result.status, 1) << c.message;
    EXPECT_EQ(result.err, c.message);
    EXPECT_EQ(result.out, "");
  }
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"notes.txt"});
  EXPECT_EQ(read_file(text), Bytes(20000, 'x'));

  write_file(mp3, make_mp3({.tone = {.seconds = 0.5}}));
  const auto unwritable = cli({"decode", mp3, dir.file("no/such/folder/out.wav")});
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_EQ(unwritable.err, "Open the output wav file error!\n");
}

TEST_F(EngineCommands, InfoShowsTheStreamAndItsDecoder) {
  const Bytes bytes = make_mp3({.tone = {.sampleRate = 22050, .channels = 1, .seconds = 2.0}, .kbps = 32});
  write_file(mp3, bytes);
  auto result = cli({"info", mp3});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "lengthSeconds=" + std::to_string(bytes.size() / 4000) +
                            "\nbitrateKbps=32\nsampleRate=22050\nstereo=0\nsixteenBit=1\ndecoder=mp3\n");

  const std::string wav = dir.file("in.wav");
  write_file(wav, make_wav({}, Bytes(176400 * 3 + 8, 0)));
  result = cli({"info", wav});
  EXPECT_EQ(result.out, "lengthSeconds=3\nbitrateKbps=0\nsampleRate=44100\nstereo=1\nsixteenBit=1\ndecoder=wav\n");

  write_file(wav, Bytes(100, 'x'));
  result = cli({"info", wav});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "can not recongnize this file format!\n");
  EXPECT_EQ(cli({"info"}).status, 2);
  EXPECT_EQ(cli({"decode", mp3}).status, 2);
}

TEST_F(EngineCommands, TerminalShowsElapsedAndLengthWhileDecoding) {
  write_file(mp3, make_mp3({.tone = {.seconds = 3.0}}));
  const auto result = run_on_terminal({TUNEKILN_CLI, "decode", mp3, out});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("0:00:02 / 0:00:03"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.back(), '\r') << "the line is erased at the end";
}

}  // namespace
}  // namespace tunekiln::test
