#include "encoder/console_status.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/run_program.h"

namespace tunekiln::test {
namespace {

double g_wall = 1000;
double g_processor = 5;

class ConsoleStatusTest : public ::testing::Test {
 protected:
  ConsoleStatusTest() {
    console.err = err.get();
    console.wallClock = [] { return g_wall; };
    console.processorClock = [] { return g_processor; };
  }

  EncoderConsole console;  // outlives the stream that may use its buffer
  CapturedStream err;
};

TEST_F(ConsoleStatusTest, FirstReportIsSilentAndLaterOnesShowBothClocksAndTheRoundedShare) {
  EXPECT_EQ(show_time_status(console, 0, 400), 0);
  EXPECT_EQ(err.text(), "");
  g_wall += 30.5;
  g_processor += 20.9;
  EXPECT_EQ(show_time_status(console, 100, 400), 25);
  // Processor 20 of 83 s, wall 30 of 122 s, 92 s left; no frame count, no line break.
  EXPECT_EQ(err.text(), "    0:20/    1:23|    0:30/    2:02|    1:32 ");
  g_wall -= 60;  // a clock set back counts as no time
  const std::size_t before = err.text().size();
  EXPECT_EQ(show_time_status(console, 400, 400), 100);
  EXPECT_EQ(err.text().substr(before), "    0:20/    0:20|    0:30/    0:30|    0:00 ");
  EXPECT_EQ(show_time_status(console, 301, 300), 100);
  EXPECT_EQ(show_time_status(console, 2, 300), 1);
  EXPECT_EQ(show_time_status(console, 50, 0x7FFFFFFF), 0) << "an input of unknown length";
  // A report with a frame above 0 makes the next conversion's first report silent again.
  const std::size_t shown = err.text().size();
  EXPECT_EQ(show_time_status(console, 0, 300), 0);
  EXPECT_EQ(err.text().size(), shown);
  show_time_status(console, 0, 300);
  EXPECT_GT(err.text().size(), shown) << "silent only once";
}

TEST_F(ConsoleStatusTest, StatusIsBufferedUntilFlushedAndEndsWithALineBreak) {
  std::setvbuf(err.get(), nullptr, _IONBF, 0);  // as standard error starts
  const auto written = [&] {
    struct stat status {};
    ::fstat(::fileno(err.get()), &status);
    return status.st_size;
  };
  prepare_console_output(console);
  print_duration(console.err, 59, '|');
  print_duration(console.err, 3725, '/');
  print_duration(console.err, 360000, ' ');
  EXPECT_EQ(written(), 0);
  flush_console_output(console);
  EXPECT_EQ(written(), 27);
  end_time_status(console);
  EXPECT_EQ(err.text(), "    0:59| 1:02:05/   100 h \n");
}

}  // namespace
}  // namespace tunekiln::test
