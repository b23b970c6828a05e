// tunekiln-cli play where nothing is played, and the keys it reads.
#include <gtest/gtest.h>

#include "cli/play_keys.h"
#include "tests/support/mp3_maker.h"
#include "tests/support/run_program.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

std::vector<PlayKey> keys_of(PlayKeyDecoder& decoder, const std::string& bytes) {
  return decoder.decode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

TEST(PlayKeys, SpaceArrowsAndQuitAreKnownAndEverythingElseIsIgnored) {
  PlayKeyDecoder decoder;
  EXPECT_EQ(keys_of(decoder, " \x1b[D\x1b[Cq"),
            (std::vector<PlayKey>{PlayKey::pauseOrResume, PlayKey::back, PlayKey::forward, PlayKey::quit}));
  EXPECT_EQ(keys_of(decoder, "Q\x03"), (std::vector<PlayKey>{PlayKey::quit, PlayKey::quit}));
  EXPECT_EQ(keys_of(decoder, "\x1bOD"), std::vector<PlayKey>{PlayKey::back}) << "application cursor mode";
  EXPECT_EQ(keys_of(decoder, "x\n\x1b[A\x1b[B\x1bx"), std::vector<PlayKey>{}) << "up and down, letters, a lone escape";
  EXPECT_EQ(keys_of(decoder, "\x1b\x1b[C"), std::vector<PlayKey>{PlayKey::forward});
}

TEST(PlayKeys, AnArrowSplitOverSeveralReadsStillCounts) {
  PlayKeyDecoder decoder;
  EXPECT_EQ(keys_of(decoder, "\x1b"), std::vector<PlayKey>{});
  EXPECT_EQ(keys_of(decoder, "["), std::vector<PlayKey>{});
  EXPECT_EQ(keys_of(decoder, "C "), (std::vector<PlayKey>{PlayKey::forward, PlayKey::pauseOrResume}));
}

TEST(PlayKeys, ArrowsStep5PercentWithinTheStream) {
  EXPECT_EQ(seek_target(300, PlayKey::forward), 350u);
  EXPECT_EQ(seek_target(300, PlayKey::back), 250u);
  EXPECT_EQ(seek_target(980, PlayKey::forward), 1000u);
  EXPECT_EQ(seek_target(30, PlayKey::back), 0u);
}

class PlayCommandFailures : public ::testing::Test {
 protected:
  ProgramResult play(const std::string& file, const std::string& server = "") {
    std::vector<std::string> arguments{"/usr/bin/env"};
    if (!server.empty()) arguments.push_back("PULSE_SERVER=" + server);
    arguments.insert(arguments.end(), {TUNEKILN_CLI, "play", file});
    return run_program(arguments);
  }

  TempDir dir;
};

TEST_F(PlayCommandFailures, WithoutASoundServerItSaysSoInsteadOfWaiting) {
  const std::string file = dir.file("tone.wav");
  write_file(file, make_wav({}, little_endian_bytes(make_tone({.seconds = 30.0}))));
  const auto result = play(file, "unix:" + dir.file("no-server-here"));
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "No sound server can be reached!\n");
}

TEST_F(PlayCommandFailures, FilesThatCannotBePlayedAreRefusedWithTheirMessages) {
  auto result = play(dir.file("missing.mp3"));
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "Open the input file error!\n");
  const std::string text = dir.file("notes.txt");
  write_file(text, {'n', 'o', 't', ' ', 's', 'o', 'u', 'n', 'd'});
  result = play(text);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "can not recongnize this file format!\n");
  EXPECT_EQ(run_program({TUNEKILN_CLI, "play"}).status, 2) << "FILE is required";
}

}  // namespace
}  // namespace tunekiln::test
