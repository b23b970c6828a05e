// decode's --jobs as a user gives it: a number of threads changes no byte; anything else is
// a usage error that writes nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/mp3_maker.h"
#include "tests/support/run_program.h"

namespace tunekiln::test {
namespace {

ProgramResult decode(const std::vector<std::string>& options, const std::string& in, const std::string& out) {
  std::vector<std::string> arguments{TUNEKILN_CLI, "--quiet", "decode"};
  arguments.insert(arguments.end(), options.begin(), options.end());
  arguments.insert(arguments.end(), {in, out});
  return run_program(arguments);
}

TEST(DecodeJobs, EveryCountGivesTheSameFileAndAnythingElseIsAUsageError) {
  TempDir dir;
  const std::string in = dir.file("in.mp3"), out = dir.file("out.wav");
  write_file(in, make_mp3({.tone = {.seconds = 12}, .variableBitrate = true}));
  ASSERT_EQ(decode({"--jobs", "1"}, in, out).status, 0);
  const Bytes expected = read_file(out);
  ASSERT_EQ(decode({"--jobs", "64"}, in, out).status, 0);
  EXPECT_TRUE(read_file(out) == expected);
  std::filesystem::remove(out);
  for (const char* jobs : {"0", "1.5", ""}) {
    const auto result = decode({"--jobs", jobs}, in, out);
    EXPECT_EQ(result.status, 2) << jobs;
    EXPECT_NE(result.err.find("--jobs: not a number of threads"), std::string::npos) << jobs;
    EXPECT_FALSE(std::filesystem::exists(out)) << jobs;
  }
}

}  // namespace
}  // namespace tunekiln::test
