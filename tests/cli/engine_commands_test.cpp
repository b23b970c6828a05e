// tunekiln-cli decode, info and play as a user runs them. Their failures on a user's machine
// are checked with every other command in the fault tests; what the engine writes and plays,
// in the engine's and the sound tests.
#include <gtest/gtest.h>
#include <signal.h>

#include "audiofile/wave_header.h"
#include "cli/play_keys.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/run_program.h"
#include "tests/support/terminal_session.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

std::vector<PlayKey> keys_of(PlayKeyDecoder& decoder, const std::string& bytes) {
  return decoder.decode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

TEST(PlayKeys, SpaceArrowsAndQuitAreKnownAndEverythingElseIsIgnored) {
  PlayKeyDecoder decoder;
  // \x1bOD: the left arrow in the application cursor mode
  EXPECT_EQ(keys_of(decoder, " \x1b[D\x1b[C\x1bODqQ\x03"), (std::vector<PlayKey>{PlayKey::pauseOrResume, PlayKey::back, PlayKey::forward,
                                                                               PlayKey::back, PlayKey::quit, PlayKey::quit, PlayKey::interrupt}));
  EXPECT_EQ(keys_of(decoder, "x\n\x1b[A\x1b[B\x1bx\x1b\x1b["), std::vector<PlayKey>{}) << "up and down, letters, a lone escape";
  EXPECT_EQ(keys_of(decoder, "C "), (std::vector<PlayKey>{PlayKey::forward, PlayKey::pauseOrResume})) << "split over reads";
  const std::vector<std::uint32_t> targets{seek_target(300, PlayKey::forward), seek_target(980, PlayKey::forward), seek_target(30, PlayKey::back)};
  EXPECT_EQ(targets, (std::vector<std::uint32_t>{350, 1000, 0})) << "5 % a step, within the stream";
}

TEST(EngineCommands, InfoShowsTheStreamAndDecodeWritesIt) {
  TempDir dir;
  const std::string mp3 = dir.file("in.mp3"), out = dir.file("out.wav");
  const Bytes bytes = make_mp3({.tone = {.sampleRate = 22050, .channels = 1, .seconds = 3.0}, .kbps = 32});
  write_file(mp3, bytes);
  EXPECT_EQ(run_program({TUNEKILN_CLI, "info", mp3}).out,
            "lengthSeconds=3\nbitrateKbps=32\nsampleRate=22050\nstereo=0\nsixteenBit=1\ndecoder=mp3\nbitsPerSample=0\nfloat=0\nlengthSource=frames\n");

  write_file(out, {'o', 'l', 'd'});
  const auto result = run_program({TUNEKILN_CLI, "decode", mp3, out});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out + result.err, "") << "no progress line when standard error is not a terminal";
  const auto parse = read_wave_header(MemoryByteReader(read_file(out)));
  ASSERT_EQ(parse.result, AudioFileResult::ok);
  EXPECT_EQ(parse.header->format.sampleRate(), 22050u);
  EXPECT_EQ(parse.header->data.size, (mpeg_frames(bytes).size() - 1) * 576 * 2) << "every frame libmad decodes";
}

TEST(EngineCommands, WhatCannotBeReadOrPlayedIsRefusedWithItsReasonInsteadOfWaiting) {
  TempDir dir;
  const std::string tone = dir.file("tone.wav"), text = dir.file("notes.txt"), surround = dir.file("surround.wav");
  const std::string aiff = dir.file("song.aiff"), missing = dir.file("missing.mp3");
  write_file(tone, make_wav({}, Bytes(30 * 176400, 0)));
  write_file(text, Bytes(20000, 'x'));
  write_file(surround, make_wav({.channels = 6, .bits = 32, .formatTag = 3}, Bytes(2400, 0)));
  write_file(aiff, {'F', 'O', 'R', 'M', 0, 0, 0, 4, 'A', 'I', 'F', 'F'});
  const std::string unrecognized = "can not recongnize this file format!\n";
  const struct { std::vector<std::string> command; std::string message; } refusals[] = {
      {{"PULSE_SERVER=unix:" + dir.file("no-server-here"), TUNEKILN_CLI, "play", tone}, "No sound server can be reached!\n"},
      {{TUNEKILN_CLI, "play", missing}, "Open the input file error!\n" + missing + ": No such file or directory\n"},
      {{TUNEKILN_CLI, "decode", text, dir.file("out.wav")}, unrecognized},
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
  const std::string shortFile = dir.file("short.wav"), longFile = dir.file("long.wav");
  write_file(shortFile, make_wav({}, little_endian_bytes(make_tone({.seconds = 2.0}))));
  write_file(longFile, make_wav({}, Bytes(30 * 176400, 1)));
  const struct { std::string file, key; int status; } cases[] = {{shortFile, "", 0}, {longFile, "q", 0}, {longFile, "\x03", 128 + SIGINT}};
  for (const auto& c : cases) {
    TerminalSession session({TUNEKILN_CLI, "play", c.file});
    ASSERT_TRUE(session.waitForText(c.key.empty() ? " / 0:00:02" : " / ")) << session.shown();
    if (!c.key.empty()) session.type(c.key);
    EXPECT_EQ(session.wait(), c.status) << session.shown();
  }
}

}  // namespace
}  // namespace tunekiln::test
