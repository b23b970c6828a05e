#include <cstring>

#include "wavproc/stereo_to_mono.h"
#include "wavproc/wav_operations.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {
namespace {

// The samples of one half of each frame, byte for byte.
template <std::size_t kBytes>
FrameTransform one_channel(std::size_t half) {
  return [skip = half * kBytes](const std::uint8_t* in, std::size_t frames, std::uint8_t* out) {
    for (std::size_t i = 0; i < frames; ++i) std::memcpy(out + kBytes * i, in + 2 * kBytes * i + skip, kBytes);
    return kBytes * frames;
  };
}

}  // namespace

OperationResult ExtractChannel(WavProcessHost& host, Channel channel, const ByteReader* input) {
  const std::size_t half = channel == Channel::left ? 0 : 1;  // left comes first in a frame
  const auto rule = [half](SampleEncoding encoding) {
    switch (bytes_per_sample(encoding)) {
      case 1:
        return one_channel<1>(half);
      case 2:
        return one_channel<2>(half);
      case 3:
        return one_channel<3>(half);
      case 4:
        return one_channel<4>(half);
      default:
        return one_channel<8>(half);
    }
  };
  return run_stereo_to_mono(host, input, rule,
                            channel == Channel::left ? wav_texts::kLeftFinished : wav_texts::kRightFinished);
}

}  // namespace tunekiln
