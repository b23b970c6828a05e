#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audiofile/pcm_samples.h"
#include "wavproc/sample_loops.h"
#include "wavproc/volume_dialog_logic.h"
#include "wavproc/wav_operations.h"
#include "wavproc/wav_texts.h"

namespace tunekiln {
namespace {

// Counted as the loops go: samples whose product left the encoding's range, and the infinite or
// NaN samples of a float file, which no multiple brings back into it.
struct SampleCounts {
  std::uint64_t clipped = 0;
  std::uint64_t nonFinite = 0;
};
using SharedCounts = std::shared_ptr<SampleCounts>;

// Whether s × factor, truncated toward zero, lies outside the encoding's range.
bool clips(std::int64_t sample, float factor, SampleEncoding encoding) {
  const double product = std::trunc(static_cast<double>(sample) * static_cast<double>(factor));
  return product > static_cast<double>(pcm::integer_max(encoding)) ||
         product < static_cast<double>(pcm::integer_min(encoding));
}

// The samples a factor leaves unclipped form one range around zero: a sample clips when it lies
// beyond it. Found once for the encodings whose values a table covers.
struct UnclippedRange {
  std::int32_t lowest = 0, highest = 0;
  bool clips(std::int32_t sample) const { return sample < lowest || sample > highest; }
};

UnclippedRange unclipped_range(float factor, SampleEncoding encoding) {
  UnclippedRange range;
  while (range.highest < pcm::integer_max(encoding) && !clips(range.highest + 1, factor, encoding)) ++range.highest;
  while (range.lowest > pcm::integer_min(encoding) && !clips(range.lowest - 1, factor, encoding)) --range.lowest;
  return range;
}

// s × factor in double precision, truncated toward zero, clipped to the encoding's range.
std::int64_t scale_sample(std::int64_t sample, float factor, SampleEncoding encoding) {
  const double product = static_cast<double>(sample) * static_cast<double>(factor);
  if (std::isnan(product)) return 0;  // 0 × an infinite factor
  // Clipped to whole-number limits first, the conversion's truncation gives what truncating
  // first would, without a call to trunc on processors that lack an instruction for it.
  const auto low = static_cast<double>(pcm::integer_min(encoding));
  const auto high = static_cast<double>(pcm::integer_max(encoding));
  return static_cast<std::int64_t>(std::clamp(product, low, high));
}

// Every possible input sample's result, computed once: the loops then cost a lookup per sample.
FrameTransform eight_bit_scaler(float factor, std::size_t channels, const SharedCounts& counts) {
  std::vector<std::uint8_t> table(256);
  for (int byte = 0; byte < 256; ++byte) {
    const std::uint8_t in = static_cast<std::uint8_t>(byte);
    constexpr auto kEncoding = SampleEncoding::unsigned8;
    const auto scaled = scale_sample(pcm::load_integer(&in, kEncoding), factor, kEncoding);
    pcm::store_integer(&table[in], kEncoding, scaled);
  }
  const UnclippedRange range = unclipped_range(factor, SampleEncoding::unsigned8);
  return [table = std::move(table), channels, range, counts](const std::uint8_t* in, std::size_t frames,
                                                             std::uint8_t* out) {
    const std::size_t samples = frames * channels;
    std::uint64_t count = 0;
    for (std::size_t i = 0; i < samples; ++i) {
      out[i] = table[in[i]];
      count += range.clips(in[i] - pcm::kEightBitZero);
    }
    counts->clipped += count;
    return samples;
  };
}

static_assert(std::endian::native == std::endian::little);

FrameTransform sixteen_bit_scaler(float factor, std::size_t channels, const SharedCounts& counts) {
  std::vector<std::uint16_t> table(65536);
  for (std::uint32_t raw = 0; raw < table.size(); ++raw) {
    const auto scaled = scale_sample(static_cast<std::int16_t>(raw), factor, SampleEncoding::signed16);
    table[raw] = static_cast<std::uint16_t>(scaled);
  }
  const UnclippedRange range = unclipped_range(factor, SampleEncoding::signed16);
  return [table = std::move(table), channels, range, counts](const std::uint8_t* in, std::size_t frames,
                                                             std::uint8_t* out) {
    const std::uint16_t* results = table.data();  // a local the compiler knows no store can change
    const std::size_t samples = frames * channels;
    std::uint64_t count = 0;
    for (std::size_t i = 0; i < samples; ++i) {
      std::uint16_t sample;
      std::memcpy(&sample, in + 2 * i, 2);  // whole 16-bit loads: the host's byte order is the file's
      std::memcpy(out + 2 * i, &results[sample], 2);
      count += range.clips(static_cast<std::int16_t>(sample));
    }
    counts->clipped += count;
    return 2 * samples;
  };
}

// Wider samples have too many values for a table: each is scaled as it comes; a float file is
// multiplied in its own precision, without clipping.
template <SampleEncoding kEncoding>
FrameTransform scaler(EncodingConstant<kEncoding>, float factor, std::size_t channels, const SharedCounts& counts) {
  if constexpr (kEncoding == SampleEncoding::unsigned8) {
    return eight_bit_scaler(factor, channels, counts);
  } else if constexpr (kEncoding == SampleEncoding::signed16) {
    return sixteen_bit_scaler(factor, channels, counts);
  } else {
    return [factor, channels, counts](const std::uint8_t* in, std::size_t frames, std::uint8_t* out) {
      constexpr std::size_t kBytes = bytes_per_sample(kEncoding);
      const std::size_t samples = frames * channels;
      std::uint64_t nonFinite = 0;
      for (std::size_t i = 0; i < samples; ++i) {
        if constexpr (is_float(kEncoding)) {
          using Real = FloatSample<kEncoding>;
          const Real sample = load_real_sample<Real>(in + kBytes * i);
          nonFinite += !std::isfinite(sample);
          store_real_sample<Real>(out + kBytes * i, sample * static_cast<Real>(factor));
        } else {
          // Clipped already: the bytes go out without a second clamp, which costs a third of the loop.
          const std::int64_t sample = pcm::load_integer(in + kBytes * i, kEncoding);
          const std::int64_t scaled = scale_sample(sample, factor, kEncoding);
          if (scaled == pcm::integer_max(kEncoding) || scaled == pcm::integer_min(kEncoding)) {
            counts->clipped += clips(sample, factor, kEncoding);  // at the limit: clipped, or exactly there
          }
          for (std::size_t byte = 0; byte < kBytes; ++byte) {
            out[kBytes * i + byte] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(scaled) >> (8 * byte));
          }
        }
      }
      counts->nonFinite += nonFinite;
      return kBytes * samples;
    };
  }
}

}  // namespace

OperationResult ChangeVolume(WavProcessHost& host, const ByteReader* input) {
  WavJob job(host, input);
  if (auto ended = job.open()) return *ended;
  const WaveHeader* header = job.header();
  if (!header) return job.refuse(wav_texts::kUnsupportedEncoding);
  if (!host.askVolumeMultiple()) return job.cancel();

  // Every sample is scaled alone, so any number of channels will do.
  const PcmFormat& format = header->format;
  const std::uint64_t dataBytes = header->frameCount() * format.bytesPerFrame();
  if (auto ended = job.copyHeader(format, dataBytes)) return *ended;
  const auto counts = std::make_shared<SampleCounts>();
  const auto transform = for_encoding(format.encoding(), [&](auto constant) {
    return scaler(constant, g_volumeMultiple, format.channels(), counts);
  });
  if (auto ended = job.processFrames(header->dataBegin, header->dataBegin + dataBytes, format.bytesPerFrame(),
                                     job.inputLength(), transform)) {
    return *ended;
  }
  // Nothing else tells the user that the result is louder than the file can hold, or that some
  // samples are no numbers a multiple can change.
  std::string message(wav_texts::kChangeVolumeFinished);
  const std::uint64_t samples = dataBytes / format.bytesPerSample();
  if (counts->clipped > 0) message.append("\n").append(clipped_samples_line(counts->clipped, samples));
  if (counts->nonFinite > 0) message.append("\n").append(non_finite_samples_line(counts->nonFinite, samples));
  return job.finish(message);
}

}  // namespace tunekiln
