#pragma once

#include <functional>
#include <string_view>

#include "wavproc/wav_job.h"

namespace tunekiln {

// How one output sample comes from one stereo frame: the loop for an encoding.
using StereoToMonoRule = std::function<FrameTransform(SampleEncoding)>;

// The run that channel extraction and voice clearing share: a stereo input, a mono output of
// the same rate and encoding, one sample per input frame.
// `beforeWriting`, when given, looks at the opened stereo input first and may end the operation.
using StereoCheck = std::function<std::optional<OperationResult>(WavJob& job, const WaveHeader& header)>;
OperationResult run_stereo_to_mono(WavProcessHost& host, const ByteReader* input, const StereoToMonoRule& rule,
                                   std::string_view finishMessage, const StereoCheck& beforeWriting = {});

}  // namespace tunekiln
