#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "audiofile/pcm_samples.h"
#include "wavproc/centre_bass.h"
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

// Right minus left plus the centre's bass, on the encoding's own scale, rounded and clipped
// for integers.
template <SampleEncoding kEncoding>
FrameTransform right_minus_left_keeping_bass(EncodingConstant<kEncoding>, double cutoffHz, std::uint32_t rate) {
  constexpr std::size_t kBytes = bytes_per_sample(kEncoding);
  return [bass = CentreBass(cutoffHz, rate)](const std::uint8_t* in, std::size_t frames, std::uint8_t* out) mutable {
    for (std::size_t i = 0; i < frames; ++i) {
      const std::uint8_t* left = in + 2 * kBytes * i;
      if constexpr (is_float(kEncoding)) {
        const double l = pcm::load_float(left, kEncoding), r = pcm::load_float(left + kBytes, kEncoding);
        pcm::store_float(out + kBytes * i, kEncoding, r - l + bass.next(l, r));
      } else {
        const double l = pcm::load_integer(left, kEncoding), r = pcm::load_integer(left + kBytes, kEncoding);
        pcm::store_integer(out + kBytes * i, kEncoding, std::llround(r - l + bass.next(l, r)));
      }
    }
    return kBytes * frames;
  };
}

// True when there are frames and every frame's two samples are the same; stops at the first that
// differs, which in a real recording is one of the first.
std::optional<bool> channels_identical(const ByteReader& reader, const WaveHeader& header) {
  if (header.frameCount() == 0) return false;
  const std::size_t frameBytes = header.format.bytesPerFrame(), sampleBytes = header.format.bytesPerSample();
  std::vector<std::uint8_t> block(std::max<std::size_t>(frameBytes, 256 * 1024 / frameBytes * frameBytes));
  const std::uint64_t end = header.dataBegin + header.frameCount() * frameBytes;
  for (std::uint64_t offset = header.dataBegin; offset < end;) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), end - offset));
    if (reader.readAt(offset, block.data(), want).status != AudioFileResult::ok) return std::nullopt;
    for (std::size_t frame = 0; frame < want; frame += frameBytes) {
      if (std::memcmp(&block[frame], &block[frame + sampleBytes], sampleBytes) != 0) return false;
    }
    offset += want;
  }
  return true;
}

}  // namespace

OperationResult ClearVoice(WavProcessHost& host, const ByteReader* input, std::optional<double> keepBassHz) {
  std::uint32_t rate = 0;
  // Dual mono leaves silence, which the user should hear of before the file is written.
  const StereoCheck warnOfSilence = [&](WavJob& job, const WaveHeader& header) -> std::optional<OperationResult> {
    rate = header.format.sampleRate();
    if (keepBassHz) return std::nullopt;
    const auto identical = channels_identical(job.input(), header);
    if (!identical) return job.fail(wav_texts::kReadError);
    if (*identical && !host.confirmSilentResult(keepBassHz)) return job.cancel();
    return std::nullopt;
  };
  const auto rule = [&](SampleEncoding encoding) {
    return for_encoding(encoding, [&](auto constant) {
      return keepBassHz ? right_minus_left_keeping_bass(constant, *keepBassHz, rate) : right_minus_left(constant);
    });
  };
  return run_stereo_to_mono(host, input, rule, wav_texts::kClearVoiceFinished, warnOfSilence);
}

}  // namespace tunekiln
