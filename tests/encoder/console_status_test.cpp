#include "encoder/console_status.h"

#include <gtest/gtest.h>

#include "tests/support/run_program.h"

namespace tunekiln::test {
namespace {

TEST(ConsoleStatus, FirstReportIsSilentAndLaterOnesShowBothClocksTheRoundedShareAndLongTimes) {
  static double wall = 1000, processor = 5;
  const CapturedStream err;
  EncoderConsole console{.err = err.get(), .wallClock = [] { return wall; }, .processorClock = [] { return processor; }};
  EXPECT_EQ(show_time_status(console, 0, 400), 0);
  EXPECT_EQ(err.text(), "");
  wall += 30.5;
  processor += 20.9;
  EXPECT_EQ(show_time_status(console, 100, 400), 25);
  // Processor 20 of 83 s, wall 30 of 122 s, 92 s left; no frame count, no line break.
  EXPECT_EQ(err.text(), "    0:20/    1:23|    0:30/    2:02|    1:32 ");
  wall -= 60;  // a clock set back counts as no time
  EXPECT_EQ(show_time_status(console, 400, 400), 100);
  EXPECT_TRUE(err.text().ends_with("    0:20/    0:20|    0:30/    0:30|    0:00 "));
  EXPECT_EQ(show_time_status(console, 301, 300), 100);
  EXPECT_EQ(show_time_status(console, 2, 300), 1);
  EXPECT_EQ(show_time_status(console, 50, 0x7FFFFFFF), 0) << "an input of unknown length";
  // A report with a frame above 0 makes the next conversion's first report silent again, once.
  const std::size_t shown = err.text().size();
  EXPECT_EQ(show_time_status(console, 0, 300), 0);
  EXPECT_EQ(err.text().size(), shown);
  show_time_status(console, 0, 300);
  EXPECT_GT(err.text().size(), shown) << "silent only once";
  const std::size_t before = err.text().size();
  print_duration(console.err, 3725, '/');
  print_duration(console.err, 360000, '|');
  EXPECT_EQ(err.text().substr(before), " 1:02:05/   100 h|");
}

}  // namespace
}  // namespace tunekiln::test
