#pragma once

#include <string>
#include <string_view>

#include "wavproc/audio_analysis.h"

namespace tunekiln {

// What the volume dialog says under its controls about the chosen file: its peak with the
// largest multiple that does not clip, and how many samples the multiple typed so far would clip.
class VolumeHeadroom {
 public:
  VolumeHeadroom(const PcmAnalysis& analysis, const ClipCounter& counter, SampleEncoding encoding);

  const std::string& headroomLine() const { return headroom_; }
  // Empty when none would clip, and for an entry that OK refuses.
  std::string clippingLine(std::string_view entry) const;

 private:
  ClipCounter counter_;
  std::string headroom_;
};

}  // namespace tunekiln
