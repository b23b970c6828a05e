// The volume dialog's loudness lines and its target button, through the logic without a window.
#include <gtest/gtest.h>

#include <cmath>

#include "wavproc/volume_dialog_logic.h"

namespace tunekiln::test {
namespace {

// A file measured at `lufs` (or not measured) with its true peak at `peakDbtp`.
LoudnessResult file(LoudnessFigure lufs, double peakDbtp) {
  const double peak = std::pow(10, peakDbtp / 20);
  return {.integrated = lufs, .channelTruePeaks = {peak}, .truePeak = peak, .samplePeak = peak};
}

TEST(VolumeLoudness, FileAndEntryLines) {
  const auto measured = file(-23.0, -20), silent = file(Unmeasured::silent, -300);
  EXPECT_EQ(volume_loudness_text(measured), "Loudness -23.0 LUFS, true peak -20.0 dBTP");
  EXPECT_EQ(entered_loudness_text(measured, "2"), "The multiple gives -17.0 LUFS, true peak -14.0 dBTP");
  EXPECT_EQ(entered_loudness_text(measured, "0"), "");
  EXPECT_EQ(volume_loudness_text(silent), "The file is silent: it has no loudness.");
  EXPECT_EQ(entered_loudness_text(silent, "2"), "");
}

// The multiple is rounded down, so a gain the ceiling lowered still keeps to it, and has digits
// enough for a small one.
TEST(VolumeLoudness, TargetFillsTheMultiple) {
  // The file, the target entered, and the multiple entry or the start of the refusal.
  const std::tuple<LoudnessResult, const char*, std::string> cases[] = {
      {file(-23.0, -20), "-16", "2.2387"},  {file(-10.0, -5), "-1", "1.5848"},
      {file(-3.0, -1.5), "-40", "0.01412"}, {file(-23.0, -20), "-80", "The loudness target is"},
      {file(Unmeasured::silent, -300), "-16", "The file is silent"},
  };
  for (const auto& [loudness, target, expected] : cases) {
    const TargetFill fill = target_multiple_fill(loudness, target);
    EXPECT_EQ(fill.entry.empty() ? fill.refusal.substr(0, expected.size()) : fill.entry, expected) << target;
  }
}

}  // namespace
}  // namespace tunekiln::test
