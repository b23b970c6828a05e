// tunekiln-cli encode, run as a user runs it: a real process, real files.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/encoder/encoder_fixtures.h"
#include "tests/support/run_program.h"
#include "tests/support/wav_builder.h"

namespace tunekiln::test {
namespace {

class EncodeCommand : public ::testing::Test {
 protected:
  ProgramResult encode(const std::string& input, const std::string& output) {
    return run_program({TUNEKILN_CLI, "encode", input, output});
  }

  TempDir dir;
  std::string in = dir.file("in.wav");
  std::string out = dir.file("out.mp3");
};

TEST_F(EncodeCommand, StatusOnStandardErrorTagAndFinishOnStandardOutput) {
  write_file(in, make_wav({}, tone16(2, 3 * 44100)));
  const auto result = encode(in, out);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "Writing LAME Tag...done\nthe Mp3 file changed ok!\n");
  EXPECT_NE(result.err.find("    0:00/"), std::string::npos) << result.err;
  EXPECT_TRUE(result.err.ends_with(" \n"));
  EXPECT_EQ(result.err.find('\r'), std::string::npos) << "no cursor return into a pipe";
  EXPECT_FALSE(mp3_frames(read_file(out)).empty());
}

TEST_F(EncodeCommand, FailuresPrintTheirTextAndExitWithTheirStatus) {
  write_file(in, make_wav({.channels = 6}, Bytes(24, 0)));
  const struct {
    std::string input, output, err;
  } cases[] = {
      {in, out, "Unsupported number of channels: 6d\n"},
      {in, in, "Input file and Output file are the same. Abort.\n"},
      {dir.file("missing.wav"), out, "Could not find \"" + dir.file("missing.wav") + "\".\n"},
  };
  for (const auto& c : cases) {
    const auto result = encode(c.input, c.output);
    EXPECT_EQ(result.status, 1) << c.err;
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.out, "");
  }
  EXPECT_EQ(run_program({TUNEKILN_CLI, "encode", in}).status, 2) << "a usage error";
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.wav"});
}

TEST_F(EncodeCommand, OnATerminalEachStatusLineStartsAtColumnZero) {
  write_file(in, make_wav({}, tone16(2, 44100)));
  const auto result = run_on_terminal({TUNEKILN_CLI, "encode", in, out});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("\r    0:0"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("the Mp3 file changed ok!"), std::string::npos);
}

}  // namespace
}  // namespace tunekiln::test
