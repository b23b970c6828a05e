#include "audiofile/pcm_samples.h"
#include "wavproc/sample_loops.h"
#include "wavproc/stereo_to_mono.h"
#include "wavproc/wav_operations.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {
namespace {

// Right minus left: integers clipped to the sample's range rather than wrapped around; floats
// need no clipping.
template <SampleEncoding kEncoding>
FrameTransform right_minus_left(EncodingConstant<kEncoding>) {
  constexpr std::size_t kBytes = bytes_per_sample(kEncoding);
  return [](const std::uint8_t* in, std::size_t frames, std::uint8_t* out) {
    for (std::size_t i = 0; i < frames; ++i) {
      const std::uint8_t* left = in + 2 * kBytes * i;
      if constexpr (is_float(kEncoding)) {
        using Real = FloatSample<kEncoding>;
        const Real difference = load_real_sample<Real>(left + kBytes) - load_real_sample<Real>(left);
        store_real_sample<Real>(out + kBytes * i, difference);
      } else {
        const std::int64_t difference =
            std::int64_t{pcm::load_integer(left + kBytes, kEncoding)} - pcm::load_integer(left, kEncoding);
        pcm::store_integer(out + kBytes * i, kEncoding, difference);
      }
    }
    return kBytes * frames;
  };
}

}  // namespace

Outcome ClearVoice(WavProcessHost& host, const ByteReader* input) {
  const auto rule = [](SampleEncoding encoding) {
    return for_encoding(encoding, [](auto constant) { return right_minus_left(constant); });
  };
  return run_stereo_to_mono(host, input, rule, wav_texts::kClearVoiceFinished);
}

}  // namespace tunekiln
