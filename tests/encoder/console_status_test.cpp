#include "encoder/console_status.h"

#include <gtest/gtest.h>

#include "tests/support/run_program.h"

namespace tunekiln::test {

TEST(ConsoleStatus, ClocksAndTimeLeft) {
  static double wall = 1000, processor = 5;
  const CapturedStream err;
  EncoderConsole console{
      .err = err.file, .wallClock = [] { return wall; }, .processorClock = [] { return processor; }};
  EXPECT_EQ(show_time_status(console, 0, 400), 0);
  wall += 30.5;
  processor += 20.9;
  EXPECT_EQ(show_time_status(console, 100, 400), 25);
  // Processor 20 of 83 s, wall 30 of 122 s, 92 s left; no frame count, no line break.
  EXPECT_EQ(err.text(), "    0:20/    1:23|    0:30/    2:02|    1:32 ");
}

}  // namespace tunekiln::test
