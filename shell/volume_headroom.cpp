#include "shell/volume_headroom.h"

#include <algorithm>

#include "wavproc/volume_dialog_logic.h"

namespace tunekiln {

VolumeHeadroom::VolumeHeadroom(const PcmAnalysis& analysis, const ClipCounter& counter, SampleEncoding encoding,
                               std::optional<LoudnessResult> loudness)
    : counter_(counter), loudness_(std::move(loudness)) {
  double peak = 0;
  for (const ChannelLevels& channel : analysis.channels) peak = std::max(peak, channel.peak);
  headroom_ = volume_headroom_text(to_dbfs(peak), largest_unclipped_multiple(analysis, encoding));
}

std::string VolumeHeadroom::clippingLine(std::string_view entry) const {
  if (!volume_entry_is_valid(entry)) return {};
  return volume_clipping_text(counter_.clippedBy(leading_number(entry)), counter_.samples());
}

std::string VolumeHeadroom::loudnessLine() const { return loudness_ ? volume_loudness_text(*loudness_) : ""; }

std::string VolumeHeadroom::enteredLoudnessLine(std::string_view entry) const {
  return loudness_ ? entered_loudness_text(*loudness_, entry) : "";
}

TargetFill VolumeHeadroom::targetFill(std::string_view targetEntry) const {
  if (!loudness_) return {.entry = {}, .refusal = "The file's loudness was not measured."};
  return target_multiple_fill(*loudness_, targetEntry);
}

}  // namespace tunekiln
