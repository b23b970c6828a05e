#include "wavproc/stereo_to_mono.h"
#include "wavproc/wav_operations.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {

Outcome ExtractChannel(WavProcessHost& host, Channel channel) {
  const std::size_t half = channel == Channel::left ? 0 : 1;  // left comes first in a frame
  const StereoToMonoRule rule{
      [half](const std::uint8_t* in, std::size_t frames, std::uint8_t* out) {
        for (std::size_t i = 0; i < frames; ++i) out[i] = in[2 * i + half];
        return frames;
      },
      [half](const std::uint8_t* in, std::size_t frames, std::uint8_t* out) {
        for (std::size_t i = 0; i < frames; ++i) {
          out[2 * i] = in[4 * i + 2 * half];
          out[2 * i + 1] = in[4 * i + 2 * half + 1];
        }
        return 2 * frames;
      }};
  return run_stereo_to_mono(host, rule,
                            channel == Channel::left ? wav_texts::kLeftFinished : wav_texts::kRightFinished);
}

}  // namespace tunekiln
