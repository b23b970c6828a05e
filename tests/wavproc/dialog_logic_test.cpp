#include <gtest/gtest.h>

#include "wavproc/cut_dialog_logic.h"
#include "wavproc/volume_dialog_logic.h"

namespace tunekiln {
namespace {

TEST(VolumeDialog, EntryCheckDecibelTextAndStoredValue) {
  for (const char* accepted : {"0", "007", "1.2.3", "10.", "0.5"}) EXPECT_TRUE(volume_entry_is_valid(accepted)) << accepted;
  for (const char* refused : {"", "-1", ".5", " 2", "2 ", "1e3", "+2", "2x"}) {
    EXPECT_FALSE(volume_entry_is_valid(refused)) << refused;
  }
  ASSERT_TRUE(accept_volume_entry("1.2.3"));
  EXPECT_FLOAT_EQ(g_volumeMultiple, 1.2f);
  EXPECT_FALSE(accept_volume_entry("-1"));
  EXPECT_FLOAT_EQ(g_volumeMultiple, 1.2f) << "a refused entry stores nothing";

  EXPECT_EQ(volume_decibel_text("2"), "6.02");
  EXPECT_EQ(volume_decibel_text("0.1"), "-20.00");
  EXPECT_EQ(volume_decibel_text("0"), "-inf");
  EXPECT_EQ(volume_decibel_text("abc"), "-inf");
  // Any length of entry, and a text longer than five characters, is handled whole.
  EXPECT_EQ(volume_decibel_text("1" + std::string(300, '0')), "6000.00");
}

TEST(CutDialog, EveryFieldMustBeAnIntegerInItsRange) {
  const CutEntries good{"1", "2", "3", "23", "59", "59"};
  for (int field = 0; field < kCutFieldCount; ++field) {
    const bool hours = field == kStartHours || field == kEndHours;
    CutEntries entries = good;
    entries[field] = hours ? "24" : "60";
    const auto tooLarge = accept_cut_entries(entries);
    EXPECT_FALSE(tooLarge.accepted);
    EXPECT_EQ(tooLarge.field, field);
    EXPECT_EQ(tooLarge.message, hours ? "Please enter an integer between 0 and 23."
                                      : "Please enter an integer between 0 and 59.");
    entries[field] = "-1";
    EXPECT_FALSE(accept_cut_entries(entries).accepted);
    entries[field] = "1.5";
    EXPECT_EQ(accept_cut_entries(entries).message, "Please enter an integer.");
  }
  EXPECT_FALSE(accept_cut_entries({"", "0", "0", "0", "0", "0"}).accepted);
  EXPECT_FALSE(accept_cut_entries({"99999999999999999999999", "0", "0", "0", "0", "0"}).accepted);
}

TEST(CutDialog, StoresTheRangeInSecondsAndRequiresStartBeforeEnd) {
  ASSERT_TRUE(accept_cut_entries({" 1 ", "2", "3", "2", "0", "0"}).accepted);
  EXPECT_EQ(g_cutStartSeconds, 3723u);
  EXPECT_EQ(g_cutEndSeconds, 7200u);
  const auto reversed = accept_cut_entries({"0", "1", "0", "0", "0", "30"});
  EXPECT_FALSE(reversed.accepted);
  EXPECT_EQ(reversed.message, "start time must be less than end time!");
  EXPECT_FALSE(accept_cut_entries({"0", "0", "5", "0", "0", "5"}).accepted);
  // An end of 0:00:00 stands for the end of the file, after any start.
  EXPECT_TRUE(accept_cut_entries({"5", "0", "0", "0", "0", "0"}).accepted);
  EXPECT_EQ(g_cutEndSeconds, 0u);
}

}  // namespace
}  // namespace tunekiln
