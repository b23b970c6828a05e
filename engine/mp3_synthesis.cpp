#include "engine/mp3_synthesis.h"

#include <cstring>

namespace tunekiln {

bool Mp3Synthesis::vectorised() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

Mp3Synthesis::Mp3Synthesis() : vectorised_(vectorised()) {
  mad_synth_init(&libmad_);
  mute();
}

void Mp3Synthesis::mute() {
  std::memset(banks_, 0, sizeof banks_);
  mad_synth_mute(&libmad_);
}

void Mp3Synthesis::synthesise(const mad_frame& frame) {
#if defined(__x86_64__)
  if (vectorised_) {
    const unsigned channels = MAD_NCHANNELS(&frame.header);
    const unsigned slots = MAD_NSBSAMPLES(&frame.header);
    pcm_.samplerate = frame.header.samplerate;
    pcm_.channels = static_cast<unsigned short>(channels);
    pcm_.length = static_cast<unsigned short>(32 * slots);
    for (unsigned channel = 0; channel < channels; ++channel) {
      synthesiseChannel(banks_[channel], phase_, frame.sbsample[channel], slots, pcm_.samples[channel]);
    }
    phase_ = (phase_ + slots) % 16;
    return;
  }
#endif
  mad_synth_frame(&libmad_, &frame);
}

}  // namespace tunekiln
