#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

// For a factor of zero or more, clipping grows with the sample's size: each limit is found by halving.
UnclippedRange unclipped_range(float factor, SampleEncoding encoding) {
  UnclippedRange range;
  for (std::int64_t above = pcm::integer_max(encoding) + 1; above - range.highest > 1;) {
    const std::int64_t middle = range.highest + (above - range.highest) / 2;
    if (clips(middle, factor, encoding)) {
      above = middle;
    } else {
      range.highest = static_cast<std::int32_t>(middle);
    }
  }
  for (std::int64_t below = pcm::integer_min(encoding) - 1; range.lowest - below > 1;) {
    const std::int64_t middle = range.lowest - (range.lowest - below) / 2;
    if (clips(middle, factor, encoding)) {
      below = middle;
    } else {
      range.lowest = static_cast<std::int32_t>(middle);
    }
  }
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

// The loops below in 256-bit vectors where the processor has them, chosen at run time: the
// same double arithmetic as scale_sample, four samples an instruction, and the clipped ones
// counted by comparing the inputs with the unclipped range.
#if defined(__x86_64__) && defined(__GNUC__)
#define TUNEKILN_VOLUME_AVX2 1
#define TUNEKILN_AVX2_TARGET __attribute__((target("avx2,popcnt")))

bool have_avx2() {
  static const bool have = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
  return have;
}

// s × factor for four samples, clamped to [low, high] and truncated toward zero.
TUNEKILN_AVX2_TARGET inline __m128i scale_four(__m128i samples, __m256d factor, __m256d low, __m256d high) {
  const __m256d product = _mm256_mul_pd(_mm256_cvtepi32_pd(samples), factor);
  return _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(product, low), high));
}

// Scales the samples of whole vectors and gives how many it did; `clipped` grows by their count.
TUNEKILN_AVX2_TARGET std::size_t scale_16_bit_avx2(const std::uint8_t* in, std::size_t samples, double factor,
                                                   UnclippedRange range, std::uint8_t* out,
                                                   std::uint64_t& clipped) {
  const __m256d multiple = _mm256_set1_pd(factor), low = _mm256_set1_pd(-32768.0), high = _mm256_set1_pd(32767.0);
  const __m128i lowest = _mm_set1_epi16(static_cast<std::int16_t>(range.lowest));
  const __m128i highest = _mm_set1_epi16(static_cast<std::int16_t>(range.highest));
  std::uint64_t maskBits = 0;  // two per clipped sample
  std::size_t i = 0;
  for (; i + 8 <= samples; i += 8) {
    const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i));
    const __m256i wide = _mm256_cvtepi16_epi32(eight);
    const __m128i first = scale_four(_mm256_castsi256_si128(wide), multiple, low, high);
    const __m128i second = scale_four(_mm256_extracti128_si256(wide, 1), multiple, low, high);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_packs_epi32(first, second));
    const __m128i outside = _mm_or_si128(_mm_cmplt_epi16(eight, lowest), _mm_cmpgt_epi16(eight, highest));
    maskBits += static_cast<std::uint64_t>(__builtin_popcount(static_cast<unsigned>(_mm_movemask_epi8(outside))));
  }
  clipped += maskBits / 2;
  return i;
}

TUNEKILN_AVX2_TARGET std::size_t scale_24_bit_avx2(const std::uint8_t* in, std::size_t samples, double factor,
                                                   UnclippedRange range, std::uint8_t* out,
                                                   std::uint64_t& clipped) {
  const __m256d multiple = _mm256_set1_pd(factor);
  const __m256d low = _mm256_set1_pd(-8388608.0), high = _mm256_set1_pd(8388607.0);
  const __m128i lowest = _mm_set1_epi32(range.lowest), highest = _mm_set1_epi32(range.highest);
  // Each sample's three bytes to the top of a 32-bit lane, and back.
  const __m128i spread = _mm_setr_epi8(-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11);
  const __m128i gather = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  std::uint64_t maskBits = 0;  // four per clipped sample
  std::size_t i = 0;
  for (; i + 6 <= samples; i += 4) {  // a 16-byte load reaches into the sixth sample
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * i));
    const __m128i four = _mm_srai_epi32(_mm_shuffle_epi8(bytes, spread), 8);
    const __m128i packed = _mm_shuffle_epi8(scale_four(four, multiple, low, high), gather);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 3 * i), packed);  // 12 bytes, none beyond
    const auto last = static_cast<std::uint32_t>(_mm_extract_epi32(packed, 2));
    std::memcpy(out + 3 * i + 8, &last, 4);
    const __m128i outside = _mm_or_si128(_mm_cmplt_epi32(four, lowest), _mm_cmpgt_epi32(four, highest));
    maskBits += static_cast<std::uint64_t>(__builtin_popcount(static_cast<unsigned>(_mm_movemask_epi8(outside))));
  }
  clipped += maskBits / 4;
  return i;
}
#endif

template <SampleEncoding kEncoding>
std::uint64_t scale_wide_block(const std::uint8_t* in, std::size_t samples, double factor, UnclippedRange range,
                               std::uint8_t* out);

FrameTransform sixteen_bit_scaler(float factor, std::size_t channels, const SharedCounts& counts) {
#ifdef TUNEKILN_VOLUME_AVX2
  if (std::isfinite(factor) && have_avx2()) {
    const UnclippedRange range = unclipped_range(factor, SampleEncoding::signed16);
    return [factor, channels, range, counts](const std::uint8_t* in, std::size_t frames, std::uint8_t* out) {
      const std::size_t samples = frames * channels;
      std::uint64_t clipped = 0;
      const std::size_t done = scale_16_bit_avx2(in, samples, factor, range, out, clipped);
      clipped += scale_wide_block<SampleEncoding::signed16>(in + 2 * done, samples - done, factor, range,
                                                            out + 2 * done);
      counts->clipped += clipped;
      return 2 * samples;
    };
  }
#endif
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

// Samples of 16 to 32 bits by a finite factor: the product never is NaN, so the loop needs no test
// for it. Gives the count of clipped samples.
template <SampleEncoding kEncoding>
std::uint64_t scale_wide_block(const std::uint8_t* in, std::size_t samples, double factor, UnclippedRange range,
                               std::uint8_t* out) {
  constexpr std::size_t kBytes = bytes_per_sample(kEncoding);
  const auto low = static_cast<double>(pcm::integer_min(kEncoding));
  const auto high = static_cast<double>(pcm::integer_max(kEncoding));
  std::uint64_t count = 0;
  for (std::size_t i = 0; i < samples; ++i) {
    std::uint32_t raw = 0;  // the sample in the top bytes, so that the shift back extends its sign
    for (std::size_t byte = 0; byte < kBytes; ++byte) {
      raw |= std::uint32_t{in[kBytes * i + byte]} << (8 * (4 - kBytes + byte));
    }
    const std::int32_t sample = static_cast<std::int32_t>(raw) >> (8 * (4 - kBytes));
    const double product = static_cast<double>(sample) * factor;
    const double clamped = product < low ? low : product > high ? high : product;
    const auto scaled = static_cast<std::uint32_t>(static_cast<std::int32_t>(clamped));
    count += static_cast<std::uint64_t>(range.clips(sample));
    for (std::size_t byte = 0; byte < kBytes; ++byte) {
      out[kBytes * i + byte] = static_cast<std::uint8_t>(scaled >> (8 * byte));
    }
  }
  return count;
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
    if constexpr (!is_float(kEncoding)) {
      if (std::isfinite(factor)) {
        const UnclippedRange range = unclipped_range(factor, kEncoding);
        return [factor, channels, range, counts](const std::uint8_t* in, std::size_t frames, std::uint8_t* out) {
          const std::size_t samples = frames * channels;
          std::uint64_t clipped = 0;
          std::size_t done = 0;
#ifdef TUNEKILN_VOLUME_AVX2
          if (kEncoding == SampleEncoding::signed24 && have_avx2()) {
            done = scale_24_bit_avx2(in, samples, factor, range, out, clipped);
          }
#endif
          constexpr std::size_t kBytes = bytes_per_sample(kEncoding);
          clipped +=
              scale_wide_block<kEncoding>(in + kBytes * done, samples - done, factor, range, out + kBytes * done);
          counts->clipped += clipped;
          return bytes_per_sample(kEncoding) * samples;
        };
      }
    }
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
