// decode's --jobs as a user gives it: a number of threads changes no byte; anything else is
// a usage error that writes nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/mp3_maker.h"
#include "tests/support/run_program.h"

namespace tunekiln::test {
namespace {

TEST(DecodeJobs, EveryCountGivesTheSameFileOthersAreRefused) {
  TempDir dir;
  const std::string in = dir.file("in.mp3"), out = dir.file("out.wav");
  write_file(in, make_mp3({.tone = {.seconds = 12}, .variableBitrate = true}));
  const auto decode = [&](const char* jobs) {
    return run_program({TUNEKILN_CLI, "--quiet", "decode", "--jobs", jobs, in, out});
  };
  ASSERT_EQ(decode("1").status, 0);
  const Bytes expected = read_file(out);
  ASSERT_EQ(decode("64").status, 0);
  EXPECT_TRUE(read_file(out) == expected);
  std::filesystem::remove(out);
  for (const char* jobs : {"0", "1.5", ""}) {
    const auto result = decode(jobs);
    EXPECT_EQ(result.status, 2) << jobs;
    EXPECT_NE(result.err.find("--jobs"), std::string::npos) << jobs;
    EXPECT_FALSE(std::filesystem::exists(out)) << jobs;
  }
}

}  // namespace
}  // namespace tunekiln::test
