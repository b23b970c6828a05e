// tunekiln-cli decode, info, analyse and play as a user runs them. Their failures on a user's
// machine are checked with every other command in the fault tests; what the engine writes and
// plays, in the engine's and the sound tests.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <random>

#include "audiofile/wave_header.h"
#include "cli/play_keys.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/run_program.h"
#include "tests/support/terminal_session.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

ProgramResult cli(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), TUNEKILN_CLI);
  return run_program(arguments);
}

std::vector<PlayKey> keys_of(PlayKeyDecoder& decoder, const std::string& bytes) {
  return decoder.decode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

TEST(PlayKeys, SpaceArrowsAndQuitAreKnownAndEverythingElseIsIgnored) {
  using enum PlayKey;
  PlayKeyDecoder decoder;
  // \x1bOD: the left arrow in the application cursor mode
  EXPECT_EQ(keys_of(decoder, " \x1b[D\x1b[C\x1bODqQ\x03"),
            (std::vector{pauseOrResume, back, forward, back, quit, quit, interrupt}));
  EXPECT_EQ(keys_of(decoder, "x\n\x1b[A\x1b[B\x1bx\x1b\x1b["), std::vector<PlayKey>{}) << "up, down, a lone escape";
  EXPECT_EQ(keys_of(decoder, "C "), (std::vector{forward, pauseOrResume})) << "split over reads";
  EXPECT_EQ((std::vector{seek_target(300, forward), seek_target(980, forward), seek_target(30, back)}),
            (std::vector<std::uint32_t>{350, 1000, 0}))
      << "5 % a step, within the stream";
}

// An MP3 file and a WAVE file that holds the same MPEG audio, with a chunk behind it.
TEST(EngineCommands, InfoDecodeAndAnalyseReadMp3FilesAndMpegAudioInWaveFiles) {
  TempDir dir;
  const Bytes mp3 = make_mp3({.tone = {.sampleRate = 22050, .channels = 1, .seconds = 3.0}, .kbps = 32});
  const std::size_t frames = mpeg_frames(mp3).size();
  write_file(dir.file("in.mp3"), mp3);
  write_file(dir.file("in.wav"), make_wav({.formatTag = 0x55, .bytesAfterData = make_chunk("LIST", mp3)}, mp3));
  for (const std::string& in : {dir.file("in.mp3"), dir.file("in.wav")}) {
    SCOPED_TRACE(in);
    EXPECT_EQ(cli({"info", in}).out, "lengthSeconds=3\nbitrateKbps=32\nsampleRate=22050\nstereo=0\nsixteenBit=1\n"
                                     "decoder=mp3\nbitsPerSample=0\nfloat=0\nlengthSource=frames\n");
    const std::string out = dir.file("out.wav");
    write_file(out, {'o', 'l', 'd'});
    const auto result = cli({"decode", in, out});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out + result.err, "") << "no progress line when standard error is not a terminal";
    const auto parse = read_wave_header(MemoryByteReader(read_file(out)));
    ASSERT_EQ(parse.result, AudioFileResult::ok);
    EXPECT_EQ(parse.header->format.sampleRate(), 22050u);
    EXPECT_EQ(parse.header->data.size, frames * 576 * 2) << "every frame, the last one too";
    const std::string report = cli({"analyse", in}).out;
    EXPECT_NE(report.find("\nframes=" + std::to_string(frames) + "\n"), std::string::npos) << report;
  }
}

TEST(EngineCommands, AnalyseGivesTheEnginesOpeningLengthAndJsonNullForMinusInfinity) {
  TempDir dir;
  const std::string mp3 = dir.file("tagged.mp3"), silence = dir.file("silence.wav");
  // The estimate at open counts the tag's bytes as 32 kbit/s of sound; the walk does not.
  write_file(mp3, id3v2_tag(40000) + make_mp3({.tone = {.sampleRate = 22050, .channels = 1}, .kbps = 32}));
  const auto estimate = static_cast<int>(std::filesystem::file_size(mp3) * 8 / 32000);
  const std::string report = cli({"analyse", mp3}).out;
  EXPECT_NE(report.find("engineLengthSeconds=" + std::to_string(estimate) + "\n"), std::string::npos) << report;
  write_file(silence, make_wav({}, Bytes(400, 0)));
  const std::string json = cli({"analyse", "--json", silence}).out, text = cli({"analyse", silence}).out;
  EXPECT_NE(json.find("\"left.peakDbfs\": null, "), std::string::npos) << json;
  EXPECT_EQ(json.find("inf"), std::string::npos) << json;
  EXPECT_NE(text.find("left.peakDbfs=-inf\n"), std::string::npos) << text;
}

TEST(EngineCommands, WhatCannotBeReadOrPlayedIsRefusedWithItsReasonInsteadOfWaiting) {
  TempDir dir;
  const std::string tone = dir.file("tone.wav"), noise = dir.file("noise.bin"), surround = dir.file("surround.wav");
  const std::string aiff = dir.file("song.aiff"), missing = dir.file("missing.mp3");
  write_file(tone, make_wav({}, Bytes(30 * 176400, 0)));
  std::mt19937 random(11);
  Bytes bytes(2000000);  // libmad finds frames in such bytes, and more than two in a row
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  write_file(noise, bytes);
  write_file(surround, make_wav({.channels = 6, .bits = 32, .formatTag = 3}, Bytes(2400, 0)));
  write_file(aiff, {'F', 'O', 'R', 'M', 0, 0, 0, 4, 'A', 'I', 'F', 'F'});
  const std::string unrecognized = "can not recongnize this file format!\n";
  const struct {
    std::vector<std::string> command;
    std::string message;
  } refusals[] = {
      {{"PULSE_SERVER=unix:" + dir.file("none"), TUNEKILN_CLI, "play", tone}, "No sound server can be reached!\n"},
      {{TUNEKILN_CLI, "play", missing}, "Open the input file error!\n" + missing + ": No such file or directory\n"},
      {{TUNEKILN_CLI, "decode", noise, dir.file("out.wav")}, unrecognized},
      {{TUNEKILN_CLI, "info", noise}, unrecognized},
      {{TUNEKILN_CLI, "play", surround}, unrecognized + surround + ": 32-bit float in a 6-channel file is not supported\n"},
      {{TUNEKILN_CLI, "info", aiff}, unrecognized + aiff + ": AIFF files are read only by encode\n"},
  };
  const auto entries = dir.entries();
  for (const auto& refusal : refusals) {
    auto arguments = refusal.command;
    arguments.insert(arguments.begin(), "/usr/bin/env");
    const auto result = run_program(arguments);
    EXPECT_EQ(result.status, 1) << refusal.message;
    EXPECT_EQ(result.out + result.err, refusal.message);
  }
  EXPECT_EQ(dir.entries(), entries);
}

// Plays through the sound server of scripts/with-sound-server; what is heard is checked in the
// sound tests.
TEST(EngineCommands, PlayEndsAtTheStreamsEndOrAtQWithZeroAndAtCtrlCAsAnInterrupt) {
  TempDir dir;
  const std::string shortFile = dir.file("short.wav"), cutFile = dir.file("cut.wav"), longFile = dir.file("long.wav");
  const Bytes tone = little_endian_bytes(make_tone({.seconds = 2.0}));
  write_file(shortFile, make_wav({}, tone));
  write_file(cutFile, make_wav({}, Bytes(tone.begin(), tone.end() - 1)));  // a download one byte short
  write_file(longFile, make_wav({}, Bytes(30 * 176400, 1)));
  const struct {
    std::string file, key;
    int status;
  } cases[] = {{shortFile, "", 0}, {cutFile, "", 0}, {longFile, "q", 0}, {longFile, "\x03", 128 + SIGINT}};
  for (const auto& c : cases) {
    TerminalSession session({TUNEKILN_CLI, "play", c.file});
    ASSERT_TRUE(session.waitForText(c.key.empty() ? " / 0:00:0" : " / ")) << session.shown();
    if (!c.key.empty()) session.type(c.key);
    EXPECT_EQ(session.wait(), c.status) << session.shown();
  }
}

}  // namespace
}  // namespace tunekiln::test
