// tunekiln-cli play where nothing is played, and the keys it reads.
#include <gtest/gtest.h>

#include "cli/play_keys.h"
#include "tests/support/run_program.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

std::vector<PlayKey> keys_of(PlayKeyDecoder& decoder, const std::string& bytes) {
  return decoder.decode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

TEST(PlayKeys, SpaceArrowsAndQuitAreKnownAndEverythingElseIsIgnored) {
  PlayKeyDecoder decoder;
  EXPECT_EQ(keys_of(decoder, " \x1b[D\x1b[CqQ\x03"), (std::vector<PlayKey>{PlayKey::pauseOrResume, PlayKey::back, PlayKey::forward,
                                                                          PlayKey::quit, PlayKey::quit, PlayKey::interrupt}));
  EXPECT_EQ(keys_of(decoder, "\x1bOD"), std::vector<PlayKey>{PlayKey::back}) << "application cursor mode";
  EXPECT_EQ(keys_of(decoder, "x\n\x1b[A\x1b[B\x1bx"), std::vector<PlayKey>{}) << "up and down, letters, a lone escape";
  EXPECT_EQ(keys_of(decoder, "\x1b\x1b["), std::vector<PlayKey>{});
  EXPECT_EQ(keys_of(decoder, "C "), (std::vector<PlayKey>{PlayKey::forward, PlayKey::pauseOrResume})) << "split over reads";

  EXPECT_EQ(seek_target(300, PlayKey::forward), 350u);
  EXPECT_EQ(seek_target(300, PlayKey::back), 250u);
  EXPECT_EQ(seek_target(980, PlayKey::forward), 1000u);
  EXPECT_EQ(seek_target(30, PlayKey::back), 0u);
}

TEST(PlayCommand, WhatCannotBePlayedIsRefusedInsteadOfWaiting) {
  TempDir dir;
  write_file(dir.file("tone.wav"), make_wav({}, Bytes(30 * 176400, 0)));
  write_file(dir.file("notes.txt"), Bytes(100, 'x'));
  const struct {
    std::string server, file, message;
  } cases[] = {
      {"unix:" + dir.file("no-server-here"), dir.file("tone.wav"), "No sound server can be reached!\n"},
      {"", dir.file("missing.mp3"), "Open the input file error!\n" + dir.file("missing.mp3") + ": No such file or directory\n"},
      {"", dir.file("notes.txt"), "can not recongnize this file format!\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments{"/usr/bin/env"};
    if (!c.server.empty()) arguments.push_back("PULSE_SERVER=" + c.server);
    arguments.insert(arguments.end(), {TUNEKILN_CLI, "play", c.file});
    const auto result = run_program(arguments);
    EXPECT_EQ(result.status, 1) << c.message;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.message);
  }
  EXPECT_EQ(run_program({TUNEKILN_CLI, "play"}).status, 2) << "FILE is required";
}

}  // namespace
}  // namespace tunekiln::test
