// Our MPEG audio synthesis against libmad's mad_synth_frame on frames the input
// describes; any sample that differs ends the run. Each frame takes from the input:
//   a shape byte: layer (bits 0-1, 0 meaning III), two channels (bit 2), the half-length frames of
//     the lower sample rates (bit 3), a mute of the filter bank before the frame (bit 4);
//   a shift byte: how far the samples are shifted right (0..31), so values of every size occur;
//   a count byte and then up to 4 x count bytes: the samples, repeated to fill the frame.
#include <mad.h>

#include <cstdint>
#include <cstring>

#include "engine/mp3_synthesis.h"
#include "fuzz/fuzz_checks.h"

namespace {

using tunekiln::Mp3Synthesis;
using tunekiln::fuzz::check;

bool same_pcm(const mad_pcm& expected, const mad_pcm& actual) {
  if (expected.samplerate != actual.samplerate || expected.channels != actual.channels ||
      expected.length != actual.length)
    return false;
  for (int channel = 0; channel < expected.channels; ++channel)
    if (std::memcmp(expected.samples[channel], actual.samples[channel],
                    expected.length * sizeof(mad_fixed_t)) != 0)
      return false;
  return true;
}

void fill_samples(mad_frame& frame, const std::uint8_t* pattern, std::size_t words, unsigned shift) {
  std::size_t next = 0;
  for (auto& channel : frame.sbsample)
    for (auto& slot : channel)
      for (auto& sample : slot) {
        std::uint32_t word = 0;
        std::memcpy(&word, pattern + 4 * next, 4);
        next = (next + 1) % words;
        sample = static_cast<mad_fixed_t>(word) >> shift;
      }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static mad_frame frame;
  mad_synth libmad;
  mad_synth_init(&libmad);
  Mp3Synthesis ours;
  constexpr mad_layer kLayers[] = {MAD_LAYER_III, MAD_LAYER_I, MAD_LAYER_II, MAD_LAYER_III};
  while (size >= 7) {
    const std::uint8_t shape = data[0];
    const unsigned shift = data[1] & 31;
    const std::size_t words = data[2] == 0 ? 1 : data[2] < (size - 3) / 4 ? data[2] : (size - 3) / 4;
    frame.header.layer = kLayers[shape & 3];
    frame.header.mode = shape & 4 ? MAD_MODE_STEREO : MAD_MODE_SINGLE_CHANNEL;
    frame.header.flags = shape & 8 ? MAD_FLAG_LSF_EXT : 0;
    frame.header.samplerate = shape & 8 ? 22050 : 44100;
    frame.options = 0;  // never the half sample rate
    fill_samples(frame, data + 3, words, shift);
    data += 3 + 4 * words;
    size -= 3 + 4 * words;
    if (shape & 16) {
      mad_synth_mute(&libmad);
      ours.mute();
    }
    mad_synth_frame(&libmad, &frame);
    ours.synthesise(frame);
    check(same_pcm(libmad.pcm, ours.pcm()));
  }
  return 0;
}
