#include "wavproc/pcm_samples.h"
#include "wavproc/stereo_to_mono.h"
#include "wavproc/wav_operations.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {

Outcome ClearVoice(WavProcessHost& host) {
  // Right minus left, clipped to the sample's range rather than wrapped around.
  const StereoToMonoRule rule{
      [](const std::uint8_t* in, std::size_t frames, std::uint8_t* out) {
        for (std::size_t i = 0; i < frames; ++i) pcm::write8(out + i, pcm::read8(in + 2 * i + 1) - pcm::read8(in + 2 * i));
        return frames;
      },
      [](const std::uint8_t* in, std::size_t frames, std::uint8_t* out) {
        for (std::size_t i = 0; i < frames; ++i) {
          pcm::write16(out + 2 * i, pcm::clip16(pcm::read16(in + 4 * i + 2) - pcm::read16(in + 4 * i)));
        }
        return 2 * frames;
      }};
  return run_stereo_to_mono(host, rule, wav_texts::kClearVoiceFinished);
}

}  // namespace tunekiln
