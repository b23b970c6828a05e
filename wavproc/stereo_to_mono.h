#pragma once

#include <string_view>

#include "wavproc/wav_job.h"

namespace tunekiln {

// How one output sample comes from one stereo frame, for each sample width.
struct StereoToMonoRule {
  FrameTransform eightBit;
  FrameTransform sixteenBit;
};

// The run that channel extraction and voice clearing share: a stereo 8- or 16-bit input,
// a mono output of the same rate and width, one sample per input frame.
Outcome run_stereo_to_mono(WavProcessHost& host, const StereoToMonoRule& rule, std::string_view finishMessage);

}  // namespace tunekiln
