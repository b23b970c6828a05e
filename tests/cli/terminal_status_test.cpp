#include "cli/terminal_status.h"

#include <gtest/gtest.h>

namespace tunekiln {
namespace {

TEST(ProgressBarText, FillsInProportionToThePosition) {
  EXPECT_EQ(progress_bar_text(0), "[----------------------------------------]   0%");
  EXPECT_EQ(progress_bar_text(500000), "[####################--------------------]  50%");
  EXPECT_EQ(progress_bar_text(1000000), "[########################################] 100%");
  EXPECT_EQ(progress_bar_text(-5), progress_bar_text(0));
  EXPECT_EQ(progress_bar_text(2000000), progress_bar_text(1000000));
}

}  // namespace
}  // namespace tunekiln
