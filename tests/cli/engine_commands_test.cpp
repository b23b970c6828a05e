// tunekiln-cli decode, info, analyse and play as a user runs them. Their failures on a user's
// machine are checked with every other command in the fault tests; what the engine writes and
// plays, in the engine's and the sound tests.
#include <gtest/gtest.h>
#include <signal.h>

#include "audiofile/wave_header.h"
#include "cli/play_keys.h"
#include "tests/cli/run_cli.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/terminal_session.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

std::vector<PlayKey> keys_of(PlayKeyDecoder& decoder, const std::string& bytes) {
  return decoder.decode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

TEST(PlayKeys, KnowsSpaceArrowsAndQuitOnly) {
  using enum PlayKey;
  PlayKeyDecoder decoder;
  // \x1bOD: the left arrow in the application cursor mode
  EXPECT_EQ(keys_of(decoder, " \x1b[D\x1b[C\x1bODqQ\x03"),
            (std::vector{pauseOrResume, back, forward, back, quit, quit, interrupt}));
  EXPECT_EQ(keys_of(decoder, "x\n\x1b[A\x1b[B\x1bx\x1b\x1b["), std::vector<PlayKey>{}) << "up, down, escape";
  EXPECT_EQ(keys_of(decoder, "C "), (std::vector{forward, pauseOrResume})) << "split over reads";
  // 5 % a step, within the stream.
  EXPECT_EQ((std::vector{seek_target(300, forward), seek_target(980, forward), seek_target(30, back)}),
            (std::vector<std::uint32_t>{350, 1000, 0}));
}

// An MP3 file behind a tag, and a WAVE file that holds the same MPEG audio with a chunk behind it.
TEST(EngineCommands, ReadMp3AndMpegInWave) {
  TempDir dir;
  const std::string out = dir.file("out.wav"), mp3 = dir.file("in.mp3"), wav = dir.file("in.wav");
  const Bytes audio = make_mp3({.tone = {.sampleRate = 22050, .channels = 1, .seconds = 3.0}, .kbps = 32});
  const std::size_t frames = mpeg_frames(audio).size();
  write_file(mp3, id3v2_tag(40000) + audio);
  write_file(wav, make_wav({.formatTag = 0x55, .bytesAfterData = make_chunk("LIST", audio)}, audio));
  for (const auto& [in, bytes] : {std::pair(mp3, 40010 + audio.size()), std::pair(wav, audio.size())}) {
    SCOPED_TRACE(in);
    const std::string info = cli({"info", in}).out;
    EXPECT_TRUE(info.starts_with("lengthSeconds=3\n") && has(info, "=mp3\n")) << info;
    const auto result = cli({"decode", in, out});
    // No progress line when standard error is no terminal; every frame, the last one too.
    const auto header = read_wave_header(MemoryByteReader(read_file(out))).header.value();
    EXPECT_EQ(std::tuple(result.status, result.out + result.err, header.data.size),
              std::tuple(0, "", frames * 1152));
    // The engine's length at open counts every byte, the tag's too, as 32 kbit/s of sound.
    const std::string report = cli({"analyse", in}).out, length = std::to_string(bytes / 4000);
    EXPECT_TRUE(has(report, "\nframes=" + std::to_string(frames) + "\n")) << report;
    EXPECT_TRUE(has(report, "\nengineLengthSeconds=" + length + "\n")) << report;
  }
  write_file(wav, make_wav({}, Bytes(400, 0)));
  const std::string json = cli({"analyse", "--json", wav}).out;
  EXPECT_TRUE(has(json, "\"left.peakDbfs\": null, ") && !has(json, "inf")) << json;
}

TEST(EngineCommands, RefuseWithTheReason) {
  TempDir dir;
  const std::string tone = dir.file("tone.wav"), noise = dir.file("notes.txt"), surround = dir.file("6.wav");
  const std::string aiff = dir.file("song.aiff"), missing = dir.file("missing.mp3");
  const std::string no = "can not recongnize this file format!\n";
  write_file(tone, make_wav({}, Bytes(30 * 176400, 0)));
  write_file(noise, Bytes(20000, 'x'));  // random bytes are the decoder's tests' matter
  write_file(surround, make_wav({.channels = 6, .bits = 32, .formatTag = 3}, Bytes(2400, 0)));
  write_file(aiff, {'F', 'O', 'R', 'M', 0, 0, 0, 4, 'A', 'I', 'F', 'F'});
  const std::pair<Words, std::string> refusals[] = {
      {{"play", tone}, "No sound server can be reached!\n"},
      {{"play", missing}, "Open the input file error!\n" + missing + ": No such file or directory\n"},
      {{"decode", noise, dir.file("out.wav")}, no},
      {{"play", surround}, no + surround + ": 32-bit float in a 6-channel file is not supported\n"},
      {{"info", aiff}, no + aiff + ": AIFF files are read only by encode\n"},
  };
  // Without a sound server: play is to refuse at once.
  const Words noServer{"/usr/bin/env", "PULSE_SERVER=unix:/nonexistent", TUNEKILN_CLI};
  for (const auto& [arguments, message] : refusals) {
    const auto result = run_program(noServer + arguments);
    EXPECT_EQ(std::pair(result.status, result.out + result.err), std::pair(1, message));
  }
}

// Plays through the sound server of scripts/with-sound-server; what is heard is checked in the
// sound tests.
TEST(EngineCommands, PlayEndsAtTheEndAtQAndAtCtrlC) {
  TempDir dir;
  const std::string cut = dir.file("cut.wav"), longer = dir.file("long.wav");
  // A download one byte short ends all the same.
  write_file(cut, make_wav({}, Bytes(2 * 176400 - 1, 1)));
  write_file(longer, make_wav({}, Bytes(30 * 176400, 1)));
  const std::tuple<std::string, std::string, int> cases[] = {
      {cut, "", 0}, {longer, "q", 0}, {longer, "\x03", 128 + SIGINT}};
  for (const auto& [file, key, status] : cases) {
    TerminalSession session({TUNEKILN_CLI, "play", file});
    ASSERT_TRUE(session.waitForText(" / 0:00:")) << session.shown();
    session.type(key);
    EXPECT_EQ(session.wait(), status) << session.shown();
  }
}

}  // namespace
}  // namespace tunekiln::test
