// tunekiln-cli decode and info, run as a user runs them: a real process, real files. Their
// failures on a user's machine are checked with every other command in the command line's
// fault tests.
#include <gtest/gtest.h>

#include "engine/dither.h"
#include "engine/mp3_decoder.h"
#include "tests/engine/engine_doubles.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/run_program.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

TEST(EngineCommands, DecodeWritesEverySampleTheDecoderGivesBehindTheSizesWritten) {
  TempDir dir;
  const std::string mp3 = dir.file("in.mp3"), out = dir.file("out.wav");
  write_file(mp3, make_mp3({.tone = {.seconds = 3.0}}));
  write_file(out, {'o', 'l', 'd'});
  const auto result = run_program({TUNEKILN_CLI, "decode", mp3, out});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out + result.err, "") << "no progress line when standard error is not a terminal";

  // The same decoding in this process, from the same fresh dither states as a new process.
  Mp3Decoder decoder;
  ASSERT_TRUE(decoder.open(mp3));
  leftDitherState = rightDitherState = {};
  EXPECT_EQ(read_file(out), make_wav({.extensionSizeField = true}, decode_all(decoder).pcm));
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.mp3", "out.wav"}));

  const auto shown = run_on_terminal({TUNEKILN_CLI, "decode", mp3, out});
  EXPECT_EQ(shown.status, 0);
  EXPECT_NE(shown.out.find("0:00:02 / 0:00:03"), std::string::npos) << shown.out;
  EXPECT_EQ(shown.out.back(), '\r') << "the line is erased at the end";
}

TEST(EngineCommands, InfoShowsTheStreamAndItsDecoderAndBothRefuseWhatNoDecoderTakes) {
  TempDir dir;
  const std::string mp3 = dir.file("in.mp3"), wav = dir.file("in.wav"), text = dir.file("notes.txt");
  const std::string surround = dir.file("surround.wav");
  const Bytes bytes = make_mp3({.tone = {.sampleRate = 22050, .channels = 1, .seconds = 2.0}, .kbps = 32});
  write_file(mp3, bytes);
  write_file(wav, make_wav({.sampleRate = 48000, .bits = 24}, Bytes(288000 * 3 + 6, 0)));
  write_file(text, Bytes(20000, 'x'));
  write_file(surround, make_wav({.channels = 6, .bits = 32, .formatTag = 3}, Bytes(2400, 0)));
  const std::string aiff = dir.file("song.aiff");
  write_file(aiff, {'F', 'O', 'R', 'M', 0, 0, 0, 4, 'A', 'I', 'F', 'F'});
  EXPECT_EQ(run_program({TUNEKILN_CLI, "info", mp3}).out,
            "lengthSeconds=" + std::to_string(bytes.size() / 4000) +
                "\nbitrateKbps=32\nsampleRate=22050\nstereo=0\nsixteenBit=1\ndecoder=mp3\nbitsPerSample=0\nfloat=0\nlengthSource=frames\n");
  EXPECT_EQ(run_program({TUNEKILN_CLI, "info", wav}).out,
            "lengthSeconds=3\nbitrateKbps=0\nsampleRate=48000\nstereo=1\nsixteenBit=1\ndecoder=wav\nbitsPerSample=24\nfloat=0\nlengthSource=header\n");
  const struct {
    std::vector<std::string> command;
    std::string reason;
  } refusals[] = {
      {{"info", text}, ""},
      {{"decode", text, dir.file("out.wav")}, ""},
      {{"play", surround}, surround + ": 32-bit float in a 6-channel file is not supported\n"},
      {{"info", aiff}, aiff + ": AIFF files are read only by encode\n"},
  };
  for (const auto& refusal : refusals) {
    auto arguments = refusal.command;
    arguments.insert(arguments.begin(), TUNEKILN_CLI);
    const auto result = run_program(arguments);
    EXPECT_EQ(result.status, 1) << arguments[1];
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "can not recongnize this file format!\n" + refusal.reason);
  }
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.mp3", "in.wav", "notes.txt", "song.aiff", "surround.wav"}));
  EXPECT_EQ(run_program({TUNEKILN_CLI, "info"}).status, 2);
  EXPECT_EQ(run_program({TUNEKILN_CLI, "decode", mp3}).status, 2);
}

}  // namespace
}  // namespace tunekiln::test
