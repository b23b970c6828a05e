#include <gtest/gtest.h>

#include "wavproc/cut_dialog_logic.h"
#include "wavproc/volume_dialog_logic.h"

namespace tunekiln {
namespace {

TEST(VolumeDialog, TakesDigitsWithPointsAndStoresTheFactor) {
  for (const char* accepted : {"0", "007", "10.", "0.5"}) EXPECT_TRUE(volume_entry_is_valid(accepted)) << accepted;
  for (const char* refused : {"", "-1", ".5", " 2", "2 ", "1e3", "+2", "2x"}) EXPECT_FALSE(volume_entry_is_valid(refused)) << refused;
  ASSERT_TRUE(accept_volume_entry("1.2.3"));
  EXPECT_FLOAT_EQ(g_volumeMultiple, 1.2f);
  EXPECT_FALSE(accept_volume_entry("-1"));
  EXPECT_FLOAT_EQ(g_volumeMultiple, 1.2f) << "a refused entry stores nothing";
}

TEST(CutDialog, EveryFieldMustBeAnIntegerInItsRangeAndStartBeforeEnd) {
  for (int field = 0; field < kCutFieldCount; ++field) {
    const bool hours = field == kStartHours || field == kEndHours;
    CutEntries entries{"1", "2", "3", "23", "59", "59"};
    entries[field] = hours ? "24" : "60";
    const auto tooLarge = accept_cut_entries(entries);
    EXPECT_FALSE(tooLarge.accepted);
    EXPECT_EQ(tooLarge.field, field);
    EXPECT_EQ(tooLarge.message, hours ? "Please enter an integer between 0 and 23." : "Please enter an integer between 0 and 59.");
    entries[field] = "1.5";
    EXPECT_EQ(accept_cut_entries(entries).message, "Please enter an integer.");
  }
  for (const CutEntries& refused : {CutEntries{"", "0", "0", "0", "0", "0"}, {"99999999999999999999999", "0", "0", "0", "0", "0"},
                                    {"0", "0", "-1", "0", "0", "5"}, {"0", "0", "5", "0", "0", "5"}}) {
    EXPECT_FALSE(accept_cut_entries(refused).accepted) << refused[0] << ":" << refused[2];
  }
  EXPECT_EQ(accept_cut_entries({"0", "1", "0", "0", "0", "30"}).message, "start time must be less than end time!");
  EXPECT_TRUE(accept_cut_entries({" 1 ", "2", "3", "2", "0", "0"}).accepted) << "blanks around a number";
  // An end of 0:00:00 stands for the end of the file, after any start.
  EXPECT_TRUE(accept_cut_entries({"5", "0", "0", "0", "0", "0"}).accepted);
  EXPECT_EQ(g_cutEndSeconds, 0u);
}

}  // namespace
}  // namespace tunekiln
