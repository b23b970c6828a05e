#pragma once

#include <string>
#include <string_view>

#include "wavproc/audio_analysis.h"
#include "wavproc/volume_dialog_logic.h"

namespace tunekiln {

// What the volume dialog says under its controls about the chosen file: its peak with the
// largest multiple that does not clip, and how many samples the multiple typed so far would clip.
class VolumeHeadroom {
 public:
  VolumeHeadroom(const PcmAnalysis& analysis, const ClipCounter& counter, SampleEncoding encoding,
                 std::optional<LoudnessResult> loudness = std::nullopt);

  const std::string& headroomLine() const { return headroom_; }
  // Empty when none would clip, and for an entry that OK refuses.
  std::string clippingLine(std::string_view entry) const;
  // The file's loudness, and the entry's; empty when the file was not measured.
  std::string loudnessLine() const;
  std::string enteredLoudnessLine(std::string_view entry) const;
  // What the target button puts in the multiple entry, or why it cannot.
  TargetFill targetFill(std::string_view targetEntry) const;
  bool measuredLoudness() const { return loudness_.has_value(); }

 private:
  ClipCounter counter_;
  std::string headroom_;
  std::optional<LoudnessResult> loudness_;
};

}  // namespace tunekiln
